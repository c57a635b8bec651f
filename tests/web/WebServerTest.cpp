#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <map>

#include "alerts/AlertMessage.h"
#include "alerts/AlertQueue.h"
#include "alerts/AlertSettings.h"
#include "audit/AuditTrail.h"
#include "auth/PasswordRules.h"
#include "auth/WebAccounts.h"
#include "board/DeskSession.h"
#include "platform/Errors.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/Fakes.h"
#include "support/FreePort.h"
#include "support/ReverseProxy.h"
#include "support/SelfSigned.h"
#include "support/StoreHelpers.h"
#include "web/WebFace.h"
#include "web/WebServer.h"

namespace {

struct Reply {
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray header(const QByteArray& name) const {
        for (const auto& [n, v] : headers)
            if (n.compare(name, Qt::CaseInsensitive) == 0) return v;
        return {};
    }
    QByteArray sessionCookie() const {
        const QByteArray c = header("Set-Cookie");
        const qsizetype eq = c.indexOf('='), semi = c.indexOf(';');
        return c.startsWith("tavolen_session=") ? c.mid(eq + 1, semi - eq - 1) : QByteArray();
    }
};

// A connection to the server under test (or to a proxy before it), plain or
// over TLS without checking the certificate; every wait is bounded.
class Client {
public:
    explicit Client(quint16 port, const QHostAddress& from = QHostAddress::LocalHost,
                    bool tls = false) {
        socket.bind(from);
        if (tls) {
            socket.setPeerVerifyMode(QSslSocket::VerifyNone);
            socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
            connected = QTest::qWaitFor([&] { return socket.isEncrypted(); }, 10000);
        } else {
            socket.connectToHost(QHostAddress::LocalHost, port);
            connected = QTest::qWaitFor(
                [&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
        }
    }
    void write(const QByteArray& bytes) { socket.write(bytes); }
    // The next whole response; status 0 when none came (or the server closed).
    // The answer to HEAD has its length said but no body.
    Reply next(int ms = 5000, bool head = false) {
        headAnswer = head;
        Reply r;
        QDeadlineTimer deadline(ms);
        // What came while another client waited is read before waiting for more.
        while ((buffer += socket.readAll(), !parse(r)) &&
               socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            QEventLoop loop;
            QObject::connect(&socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
            QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
            QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), &loop,
                               &QEventLoop::quit);
            loop.exec();
        }
        if (r.status == 0) parse(r);
        return r;
    }
    bool closedByServer(int ms = 3000) {
        return QTest::qWaitFor(
            [&] {
                buffer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            ms);
    }
    QSslSocket socket;
    QByteArray buffer;
    bool connected = false;

private:
    bool headAnswer = false;
    bool parse(Reply& r) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return false;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        Reply candidate;
        candidate.status = lines.first().split(' ').value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            candidate.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
        }
        const qsizetype length = headAnswer ? 0 : candidate.header("Content-Length").toLongLong();
        if (buffer.size() < end + 4 + length) return false;
        candidate.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        r = candidate;
        return true;
    }
};

BoardSnapshotPtr snapshotWithRoom(const QString& number, RoomState state, quint64 sequence) {
    auto s = std::make_shared<BoardSnapshot>();
    s->sequence = sequence;
    s->takenAt = QDateTime::currentDateTime();
    BoardSnapshot::Room room;
    room.slot = 1;
    room.number = number;
    room.state = state;
    s->rooms.push_back(room);
    return s;
}

// The owner's account, which may fetch the reports, and a clerk's that only reads.
const QByteArray kOwnerPassword = "owner-pass-1";
const QByteArray kClerkPassword = "clerk-pass-22";

class WebServerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FixedClock clock{QDateTime(QDate(2006, 4, 1), QTime(17, 35))};
    Database db{dir.path()};
    DeskSession deskSession;
    RecordingLockdown lockdown;
    PasswordRules rules{db, clock, deskSession, lockdown};
    std::unique_ptr<WebServer> server;

    void SetUp() override {
        db.open();
        WebAccounts accounts(db.connection());
        accounts.add("owner", kOwnerPassword, kOwnerPassword, true, clock.now());
        accounts.add("clerk", kClerkPassword, kClerkPassword, false, clock.now());
        startServer(options());
    }

    WebOptions options() {
        WebOptions o;
        o.listen = QHostAddress::LocalHost;
        o.port = 0;
        o.dataDir = dir.path();
        o.reportProgram = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen");
        o.hosts = {QStringLiteral("desk.example")};
        o.limits.requestMs = 400;
        o.limits.idleMs = 3000;
        o.limits.maxPerAddress = 6;
        customise(o);
        return o;
    }
    void startServer(const WebOptions& o) {
        server.reset();
        server = std::make_unique<WebServer>(o, clock);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        server->publish(snapshotWithRoom(QStringLiteral("707"), RoomState::Overnight, 1));
    }

    virtual void customise(WebOptions&) {}

    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(server->port()); }
    QByteArray origin() const { return "http://" + host(); }

    QByteArray get(const QByteArray& path, const QByteArray& session = {},
                   const QByteArray& extra = {}) const {
        QByteArray r = "GET " + path + " HTTP/1.1\r\nHost: " + host() + "\r\n";
        if (!session.isEmpty()) r += "Cookie: tavolen_session=" + session + "\r\n";
        return r + extra + "\r\n";
    }
    // The one place that knows how the view is signed in to.
    QByteArray signInRequest(const QByteArray& name, const QByteArray& password,
                             const QByteArray& hostName = {},
                             const QByteArray& pageOrigin = {}) const {
        const QByteArray body = "name=" + name + "&password=" + password;
        return "POST /login HTTP/1.1\r\nHost: " + (hostName.isEmpty() ? host() : hostName) +
               "\r\nOrigin: " + (pageOrigin.isEmpty() ? origin() : pageOrigin) +
               "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    Reply ask(const QByteArray& raw, const QHostAddress& from = QHostAddress::LocalHost) {
        Client c(server->port(), from);
        c.write(raw);
        return c.next();
    }
    QByteArray signIn(const QByteArray& name = "owner",
                      const QByteArray& password = kOwnerPassword) {
        return ask(signInRequest(name, password)).sessionCookie();
    }
};

TEST_F(WebServerTest, SignInGivesAStrictHttpOnlySessionThatOpensThePages) {
    const Reply page = ask(get("/login"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("name=\"password\""));

    const Reply signedIn = ask(signInRequest("Owner", kOwnerPassword));
    EXPECT_EQ(signedIn.status, 303);
    EXPECT_EQ(signedIn.header("Location"), "/board");
    const QByteArray cookie = signedIn.header("Set-Cookie");
    EXPECT_TRUE(cookie.contains("HttpOnly")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("SameSite=Strict"));
    EXPECT_FALSE(cookie.contains("Secure")) << "plain HTTP";
    const QByteArray session = signedIn.sessionCookie();
    ASSERT_EQ(session.size(), 64);
    EXPECT_EQ(deskSession.grade, 0) << "the desk itself stays signed out";
    EXPECT_TRUE(deskLogLines(dir.path()).join('\n').contains(QStringLiteral("웹: 로그인 owner")));

    for (const char* path : {"/board", "/today", "/month", "/log", "/app.js", "/app.css"})
        EXPECT_EQ(ask(get(path, session)).status, 200) << path;
    const Reply snapshot = ask(get("/api/snapshot", session));
    EXPECT_EQ(snapshot.status, 200);
    EXPECT_TRUE(snapshot.body.contains("\"number\":\"707\""));
    EXPECT_EQ(ask(get("/nothing", session)).status, 404);

    EXPECT_EQ(signIn("clerk", kClerkPassword).size(), 64) << "a read-only account";

    Client c(server->port());
    c.write("POST /logout HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + origin() +
            "\r\nCookie: tavolen_session=" + session + "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(c.next().status, 303);
    EXPECT_EQ(ask(get("/api/snapshot", session)).status, 401);
}

// Every way in without a live session, or past a bound, is refused: nothing
// of the board is served, and the server goes on for the owner.
TEST_F(WebServerTest, RefusesEveryRequestWithoutASessionOrPastABound) {
    const QByteArray session = signIn();
    ASSERT_FALSE(session.isEmpty());
    const QByteArray expired = signIn();
    const QByteArray stale = signIn();
    const QByteArray ws =
        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    struct Case {
        const char* name;
        QByteArray request;
        int status;
    };
    const QByteArray forged = QByteArray(session).replace(0, 4, "beef");
    const std::vector<Case> cases = {
        {"page without session", get("/board"), 303},
        {"data without session", get("/api/snapshot"), 401},
        {"script without session", get("/app.js"), 401},
        {"download without session", get("/download/day.xlsx?date=2006-04-01"), 401},
        {"forged cookie", get("/api/snapshot", forged), 401},
        {"socket without session", get("/ws", {}, "Origin: " + origin() + "\r\n" + ws), 401},
        {"socket from another origin", get("/ws", session, "Origin: http://evil.example\r\n" + ws),
         403},
        {"socket without origin", get("/ws", session, ws), 403},
        {"header too big", get("/api/snapshot", session, "X: " + QByteArray(9000, 'x') + "\r\n"),
         431},
        {"body too big",
         "POST /login HTTP/1.1\r\nHost: " + host() + "\r\nContent-Length: 100000\r\n\r\n" +
             QByteArray(5000, 'x'),
         413},
        {"traversal", get("/../../etc/passwd", session), 400},
        {"encoded traversal", get("/%2e%2e/%2e%2e/etc/passwd", session), 400},
        {"encoded slashes", get("/pages/..%2f..%2fapp.js", session), 400},
        {"sign-in from another site",
         QByteArray(signInRequest("owner", kOwnerPassword))
             .replace(origin(), "http://evil.example"),
         403},
        {"changing method",
         "DELETE /api/snapshot HTTP/1.1\r\nHost: " + host() +
             "\r\nCookie: tavolen_session=" + session + "\r\n\r\n",
         405},
    };
    for (const Case& c : cases) {
        const Reply r = ask(c.request);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_FALSE(r.body.contains("707")) << c.name;
        EXPECT_TRUE(r.sessionCookie().isEmpty()) << c.name;
    }

    // A session idle for 30 minutes, and one whose grade's password changed.
    clock.advanceMinutes(29);
    EXPECT_EQ(ask(get("/api/snapshot", stale)).status, 200);
    clock.advanceMinutes(2);
    EXPECT_EQ(ask(get("/api/snapshot", expired)).status, 401) << "expired";
    WebAccounts(db.connection())
        .changePassword("owner", "owner-pass-2", "owner-pass-2", clock.now());
    EXPECT_EQ(ask(get("/api/snapshot", stale)).status, 401) << "password changed";

    // A slow sender: part of a request, then nothing.
    Client slow(server->port());
    slow.write("GET /board HTTP/1.1\r\nHost: x\r\n");
    const Reply late = slow.next(3000);
    EXPECT_EQ(late.status, 408);
    EXPECT_TRUE(slow.closedByServer());
    // One that trickles a byte at a time is cut off by the same deadline.
    Client trickle(server->port());
    const QByteArray request = get("/api/snapshot", session);
    int sent = 0;
    while (sent < request.size() && trickle.socket.state() == QAbstractSocket::ConnectedState) {
        trickle.write(request.mid(sent++, 1));
        QTest::qWait(50);
    }
    EXPECT_LT(sent, request.size());
    EXPECT_FALSE(trickle.buffer.contains("707"));

    // Too many connections from one address.
    std::vector<std::unique_ptr<Client>> many;
    for (int i = 0; i < 6; ++i) many.push_back(std::make_unique<Client>(server->port()));
    Client extra(server->port());
    EXPECT_EQ(extra.next().status, 503);
    many.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() <= 1; }, 5000));

    const QByteArray fresh = signIn("owner", "owner-pass-2");
    EXPECT_EQ(ask(get("/api/snapshot", fresh)).status, 200) << "the owner still gets in";
}

// Only the view's own accounts sign in: never a desk PIN, never an empty
// password. An account reads, or also downloads, and its sessions end when it
// goes, when its password changes, or 12 hours after they opened.
TEST_F(WebServerTest, OnlyTheViewsOwnAccountsSignInAndTheirSessionsAreBounded) {
    const struct Case {
        const char* name;
        QByteArray body;
        int status;
    } cases[] = {
        {"a desk grade and its PIN", "grade=1&password=1111", 400},
        {"the supplier's PIN under the grade's number", "name=3&password=3333", 303},
        {"an empty password", "name=owner&password=", 400},
        {"an unknown account", "name=nobody&password=" + kOwnerPassword, 303},
        {"another account's password", "name=clerk&password=" + kOwnerPassword, 303},
        {"a name too long to be one", "name=" + QByteArray(200, 'a') + "&password=x", 400},
    };
    int from = 1;
    for (const Case& c : cases) {
        const QByteArray request = "POST /login HTTP/1.1\r\nHost: " + host() +
                                   "\r\nContent-Length: " + QByteArray::number(c.body.size()) +
                                   "\r\n\r\n" + c.body;
        const Reply r = ask(request, QHostAddress(QStringLiteral("127.0.1.%1").arg(from++)));
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_TRUE(r.sessionCookie().isEmpty()) << c.name;
    }

    const QByteArray owner = signIn();
    const QByteArray clerk = signIn("clerk", kClerkPassword);
    ASSERT_EQ(clerk.size(), 64);
    // Permission comes before the date is looked at, so no report is made here.
    EXPECT_EQ(ask(get("/download/day.xlsx?date=x", owner)).status, 400);
    EXPECT_EQ(ask(get("/download/day.xlsx?date=2006-04-01", clerk)).status, 403);
    EXPECT_TRUE(ask(get("/api/me", clerk)).body.contains("\"downloads\":false"))
        << "its page offers no downloads";
    EXPECT_EQ(ask(get("/api/snapshot", clerk)).status, 200);
    WebAccounts(db.connection()).remove("clerk");
    EXPECT_EQ(ask(get("/api/snapshot", clerk)).status, 401) << "its account was removed";

    // Used every 20 minutes, a session still ends 12 hours after it opened.
    for (int minutes = 20; minutes < 12 * 60; minutes += 20) {
        clock.advanceMinutes(20);
        ASSERT_EQ(ask(get("/api/snapshot", owner)).status, 200) << minutes;
    }
    clock.advanceMinutes(20);
    EXPECT_EQ(ask(get("/api/snapshot", owner)).status, 401);
}

// Nobody on the network locks the desk, and no change of address, parallel

// A page of another name, its name rebound to the desk's address, is told
// nothing: its Host is refused before anything else, its Origin is no page
// of the view's whatever Host it sends.
TEST_F(WebServerTest, AnswersOnlyItsOwnNamesAndPages) {
    const QByteArray session = signIn();
    ASSERT_FALSE(session.isEmpty());
    const QByteArray port = QByteArray::number(server->port());
    const QByteArray ws =
        "Origin: http://evil.example:" + port +
        "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    const auto named = [&](const QByteArray& path, const QByteArray& hostHeader,
                           const QByteArray& extra = {}) {
        return QByteArray(get(path, session, extra)).replace("Host: " + host(), hostHeader);
    };
    struct Case {
        const char* name;
        QByteArray request;
        int status;
    };
    const std::vector<Case> cases = {
        {"rebound name", named("/api/snapshot", "Host: evil.example:" + port), 421},
        {"rebound name, sign-in page", named("/login", "Host: evil.example"), 421},
        {"rebound name, socket", named("/ws", "Host: evil.example:" + port, ws), 421},
        {"empty host", named("/api/snapshot", "Host: "), 421},
        {"no host at all",
         "GET /api/snapshot HTTP/1.0\r\nCookie: tavolen_session=" + session + "\r\n\r\n", 421},
        {"own address with a name after it", named("/api/snapshot", "Host: 127.0.0.1.evil.example"),
         421},
        {"user part", named("/api/snapshot", "Host: 127.0.0.1@evil.example"), 421},
        {"address", get("/api/snapshot", session), 200},
        {"address without port", named("/api/snapshot", "Host: 127.0.0.1"), 200},
        {"own IPv6 address", named("/api/snapshot", "Host: [::1]:" + port), 200},
        {"proxy's public name", named("/api/snapshot", "Host: DESK.example"), 200},
        {"sign-in from a rebound page",
         signInRequest("owner", kOwnerPassword, host(), "http://evil.example:" + port), 403},
        {"sign-in from another port of the desk",
         signInRequest("owner", kOwnerPassword, host(), "http://127.0.0.1:1"), 403},
        {"sign-in claiming https over http",
         signInRequest("owner", kOwnerPassword, host(), "https://127.0.0.1:" + port), 403},
        {"sign-in from the proxy's name",
         signInRequest("owner", kOwnerPassword, "desk.example", "http://desk.example"), 303},
    };
    for (const Case& c : cases) {
        const Reply r = ask(c.request);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.body.contains("707"), c.status == 200) << c.name;
    }
    EXPECT_EQ(server->pageCount(), 0);
    EXPECT_TRUE(
        deskLogLines(dir.path()).join('\n').contains(QStringLiteral("다른 호스트 evil.example")));
}

// Behind a real reverse proxy that terminates TLS the browser's scheme and
// address are the proxy's word; from anyone else the same headers are nobody's.
TEST_F(WebServerTest, BehindItsProxyTheBrowsersSchemeAndAddressAreTheProxysWord) {
    if (!ReverseProxy::available()) GTEST_SKIP() << "nginx is not installed";
    WebOptions o = options();
    o.proxy = QHostAddress(QStringLiteral("127.0.0.2"));
    startServer(o);
    const SelfSigned certificate(dir.path(), QStringLiteral("proxy"));
    ASSERT_TRUE(certificate.error.isEmpty()) << certificate.error.toStdString();
    ReverseProxy proxy(server->port(), certificate.certificate, certificate.key,
                       QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(proxy.running()) << proxy.errors().toStdString();
    const QByteArray publicHost = "desk.example:" + QByteArray::number(proxy.port());
    const QByteArray publicOrigin = "https://" + publicHost;
    const auto viaProxy = [&](Client& c, const QByteArray& raw) {
        EXPECT_TRUE(c.connected);
        c.write(QByteArray(raw).replace("Host: " + host(), "Host: " + publicHost));
        return c.next(10000);
    };

    Client browser(proxy.port(), QHostAddress::LocalHost, true);
    const Reply signedIn =
        viaProxy(browser, signInRequest("owner", kOwnerPassword, publicHost, publicOrigin));
    ASSERT_EQ(signedIn.status, 303) << signedIn.body.toStdString();
    EXPECT_TRUE(signedIn.header("Set-Cookie").endsWith("; Secure"))
        << signedIn.header("Set-Cookie").toStdString();
    EXPECT_FALSE(signedIn.header("Strict-Transport-Security").isEmpty());
    const QByteArray session = signedIn.sessionCookie();
    EXPECT_EQ(viaProxy(browser, get("/api/snapshot", session)).status, 200);

    Client page(proxy.port(), QHostAddress::LocalHost, true);
    const Reply upgraded = viaProxy(
        page,
        get("/ws", session,
            "Origin: " + publicOrigin +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"));
    EXPECT_EQ(upgraded.status, 101);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 1; }, 5000));

    const QByteArray out =
        viaProxy(browser,
                 "POST /logout HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + publicOrigin +
                     "\r\nCookie: tavolen_session=" + session + "\r\nContent-Length: 0\r\n\r\n")
            .header("Set-Cookie");
    EXPECT_TRUE(out.contains("Max-Age=0") && out.endsWith("; Secure")) << out.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 0; }, 5000));

    // Straight to the server the same headers are the sender's claims: still plain HTTP.
    const QByteArray claims = "X-Forwarded-Proto: https\r\nX-Forwarded-For: 10.9.8.7\r\nOrigin:";
    EXPECT_EQ(ask(QByteArray(signInRequest("owner", kOwnerPassword, host(), "https://" + host()))
                      .replace("Origin:", claims))
                  .status,
              403);
    const Reply direct =
        ask(QByteArray(signInRequest("owner", kOwnerPassword)).replace("Origin:", claims));
    EXPECT_EQ(direct.status, 303);
    EXPECT_FALSE(direct.header("Set-Cookie").contains("Secure"));

    const QString log = deskLogLines(dir.path()).join('\n');
    EXPECT_TRUE(log.contains(QStringLiteral("웹: 로그인 owner 127.0.0.1"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("127.0.0.2"))) << "the proxy is not the browser";
    EXPECT_FALSE(log.contains(QStringLiteral("10.9.8.7"))) << "a claim from a client";
}

// Behind the proxy a browser's wrong passwords count against the address the proxy tells, so
// that one browser's guesses never hold off another's sign-in through the same proxy.
TEST_F(WebServerTest, BehindTheProxyWrongPasswordsCountAgainstTheBrowsersAddress) {
    WebOptions o = options();
    o.proxy = QHostAddress(QStringLiteral("127.0.0.2"));
    startServer(o);
    const QHostAddress proxy(QStringLiteral("127.0.0.2"));
    const auto from = [&](const char* browser, const QByteArray& name, const QByteArray& password) {
        const QByteArray body = "name=" + name + "&password=" + password;
        return ask("POST /login HTTP/1.1\r\nHost: " + host() + "\r\nX-Forwarded-For: " + browser +
                       "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       QByteArray::number(body.size()) + "\r\n\r\n" + body,
                   proxy);
    };
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i)
        EXPECT_EQ(from("198.51.100.7", "name" + QByteArray::number(i), "guess").status, 303) << i;
    EXPECT_EQ(from("198.51.100.7", "clerk", kClerkPassword).status, 429);
    EXPECT_EQ(from("198.51.100.8", "owner", kOwnerPassword).sessionCookie().size(), 64)
        << "another browser behind the same proxy";
}

// A client that pipelines requests gets one answer for each, in order, and
// HEAD's without a body; one that never reads is not answered further than a
// bounded backlog, and is let go once it has read nothing for the idle time.
TEST_F(WebServerTest, PipelinedRequestsAreAnsweredOnceEachInOrderWithBoundedBacklog) {
    const QByteArray session = signIn();
    struct Step {
        QByteArray request;
        int status;
        bool head;
    };
    const std::vector<Step> steps = {
        {get("/api/snapshot", session), 200, false},
        {QByteArray(get("/app.js", session)).replace("GET", "HEAD"), 200, true},
        {get("/nothing", session), 404, false},
        {get("/app.css", session), 200, false},
        {QByteArray(get("/login")).replace("GET", "HEAD"), 200, true},
        {get("/api/snapshot"), 401, false},
    };
    QByteArray all;
    for (int round = 0; round < 200; ++round)
        for (const Step& s : steps) all += s.request;
    Client c(server->port());
    c.write(all);
    for (int round = 0; round < 200; ++round)
        for (const Step& s : steps) {
            const Reply r = c.next(5000, s.head);
            ASSERT_EQ(r.status, s.status) << round << ' ' << s.request.left(30).toStdString();
            if (s.head) {
                EXPECT_GT(r.header("Content-Length").toInt(), 0);
            }
        }
    EXPECT_FALSE(QTest::qWaitFor(
        [&] {
            c.buffer += c.socket.readAll();
            return !c.buffer.isEmpty();
        },
        500))
        << "one answer each: " << c.buffer.left(200).toStdString();

    // Thousands of requests for the script, and nothing read.
    c.socket.abort();
    Client greedy(server->port());
    const QByteArray script = get("/app.js", session);
    for (int i = 0; i < 4000; ++i) greedy.write(script);
    greedy.socket.setReadBufferSize(1);
    QTest::qWait(1500);
    EXPECT_LT(server->unsentBytes(), 256 * 1024) << "answers wait in the kernel, not here";
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 0; }, 8000))
        << "let go once it has read nothing for the idle time";
}

// Silent connections go after the request limit; when every connection is
// taken, a newcomer from another address takes the place of the greediest.
TEST_F(WebServerTest, SilentConnectionsGoAndNoAddressShutsOutAnother) {
    Client silent(server->port());
    EXPECT_TRUE(silent.closedByServer(2000)) << "no request within the request limit";
    EXPECT_TRUE(silent.buffer.isEmpty());

    WebOptions o = options();
    o.limits.requestMs = 20000;
    o.limits.maxConnections = 8;
    o.limits.maxPerAddress = 5;
    startServer(o);
    std::vector<std::unique_ptr<Client>> held;
    for (const char* from : {"127.0.0.11", "127.0.0.12"})
        for (int i = 0; i < 4; ++i)
            held.push_back(std::make_unique<Client>(server->port(), QHostAddress(from)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 8; }, 3000));
    std::vector<std::unique_ptr<Client>> newcomers;
    for (const char* from : {"127.0.0.13", "127.0.0.14", "127.0.0.15"}) {
        newcomers.push_back(std::make_unique<Client>(server->port(), QHostAddress(from)));
        newcomers.back()->write(get("/login"));
        EXPECT_EQ(newcomers.back()->next().status, 200) << from;
    }
    // One that already holds the most waits its turn.
    Client greedy(server->port(), QHostAddress("127.0.0.11"));
    greedy.write(get("/login"));
    const Reply r = greedy.next();
    EXPECT_TRUE(r.status == 503 || r.status == 0) << r.status;
    int dropped = 0;
    for (const auto& c : held) dropped += c->closedByServer(100);
    EXPECT_EQ(dropped, 3) << "one place given for each newcomer";
}

// requests or right sign-in of another account between guesses gets round
// the limits.
TEST_F(WebServerTest, WrongPasswordsAreHeldOffPerAccountAndAddressAndNeverReachTheDesk) {
    Client c(server->port());
    int wrong = 0;
    QByteArray retryAfter;
    for (int i = 0; i < 200; ++i) {
        c.write(signInRequest("owner", "wrong" + QByteArray::number(i)));
        const Reply r = c.next();
        ASSERT_TRUE(r.sessionCookie().isEmpty());
        if (r.status == 429) {
            retryAfter = r.header("Retry-After");
        } else {
            ASSERT_EQ(r.status, 303) << i;
            EXPECT_EQ(r.header("Location"), "/login?e=wrong");
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, SignInLimiter::kFreeFailures) << "only the free tries were checked";
    EXPECT_EQ(retryAfter.toInt(), SignInLimiter::kSlowWaitSeconds);
    EXPECT_LT(deskLogLines(dir.path()).size(), 100) << "a flood is summed up in the log";
    for (int grade : {1, 3}) {
        deskSession.gradeToCheck = grade;
        EXPECT_EQ(rules.check(QString(4, QChar(u'0' + grade))), PasswordRules::Outcome::SignedIn)
            << "the desk's grade " << grade << " never saw the web's failures";
    }

    const auto from = [](int n) { return QHostAddress(QStringLiteral("127.0.0.%1").arg(n)); };
    EXPECT_EQ(ask(signInRequest("owner", "guess"), from(2)).status, 429) << "a new address";
    EXPECT_EQ(ask(signInRequest("owner", kOwnerPassword), from(3)).status, 429)
        << "the right password waits too";
    EXPECT_EQ(ask(signInRequest("clerk", kClerkPassword), from(2)).sessionCookie().size(), 64);
    EXPECT_EQ(ask(signInRequest("owner", "guess"), from(2)).status, 429)
        << "another account's success cleared nothing";

    // Sent at once from one address, for as many names: only the free tries are checked.
    std::vector<std::unique_ptr<Client>> parallel;
    for (int i = 0; i <= SignInLimiter::kFreeFailures; ++i) {
        parallel.push_back(std::make_unique<Client>(server->port(), from(9)));
        parallel.back()->write(signInRequest("name" + QByteArray::number(i), "guess"));
    }
    int checked = 0;
    for (auto& p : parallel) checked += p->next(30000).status == 303;
    EXPECT_EQ(checked, SignInLimiter::kFreeFailures);

    // Then one a minute, and from the tenth failure one every ten minutes.
    int address = 20;
    for (int failures = SignInLimiter::kFreeFailures; failures < SignInLimiter::kSlowFailures;
         ++failures) {
        clock.set(clock.now().addSecs(SignInLimiter::kSlowWaitSeconds));
        EXPECT_EQ(ask(signInRequest("owner", "guess"), from(address++)).status, 303) << failures;
        EXPECT_EQ(ask(signInRequest("owner", "guess"), from(address++)).status, 429) << failures;
    }
    clock.set(clock.now().addSecs(SignInLimiter::kSlowWaitSeconds));
    const Reply slower = ask(signInRequest("owner", kOwnerPassword), from(address++));
    EXPECT_EQ(slower.status, 429);
    EXPECT_EQ(slower.header("Retry-After").toInt(),
              SignInLimiter::kSlowerWaitSeconds - SignInLimiter::kSlowWaitSeconds);
    clock.set(clock.now().addSecs(SignInLimiter::kSlowerWaitSeconds));
    EXPECT_EQ(ask(signInRequest("owner", kOwnerPassword), from(address++)).sessionCookie().size(),
              64)
        << "the owner gets in once the wait is over";
}

class WebServerBusyTest : public WebServerTest {
    void customise(WebOptions& o) override { o.limits.signInQueue = 1; }
};

// The password checks run one at a time off the server's loop; beyond its
// queue a sign-in is answered "busy" at once, and nothing else waits for them.
TEST_F(WebServerBusyTest, SignInsBeyondTheQueueAreAnsweredBusy) {
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<Client>(
            server->port(), QHostAddress(QStringLiteral("127.0.2.%1").arg(i + 1))));
        clients.back()->write(signInRequest("owner", "guess" + QByteArray::number(i)));
    }
    const Reply page = ask(get("/login"));
    EXPECT_EQ(page.status, 200) << "the server answers while a check runs";
    int busy = 0;
    for (auto& c : clients) {
        const Reply r = c->next();
        EXPECT_TRUE(r.sessionCookie().isEmpty());
        if (r.status == 503) {
            ++busy;
            EXPECT_EQ(r.header("Retry-After"), "5");
        } else {
            EXPECT_EQ(r.status, 303);
        }
    }
    EXPECT_GE(busy, 2);
    EXPECT_EQ(signIn().size(), 64) << "busy answers were not counted as failures";
}

class WebServerStrangersTest : public WebServerTest {
    void customise(WebOptions& o) override { o.limits.strangerEntries = 4; }
};

// Names that are no account count in a few shared entries: made up by the thousand they cannot
// fill the limiter's table and shut the owner out, and one repeated is held off as an account
// would be, so that the answers do not tell which names exist.
TEST_F(WebServerStrangersTest, MadeUpNamesShareAFewEntriesAndAreHeldOffLikeAccounts) {
    const auto from = [](int n) { return QHostAddress(QStringLiteral("127.0.3.%1").arg(n)); };
    int address = 1;
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i)
        EXPECT_EQ(ask(signInRequest("nobody", "guess"), from(address++)).status, 303) << i;
    EXPECT_EQ(ask(signInRequest("nobody", "guess"), from(address++)).status, 429);

    for (int i = 0; i < 30; ++i) {
        const int status =
            ask(signInRequest("made-up-" + QByteArray::number(i), "guess"), from(address++)).status;
        EXPECT_TRUE(status == 303 || status == 429) << status;
    }
    EXPECT_LE(server->signInEntries(), address - 1 + 4)
        << "the addresses and the four shared entries, no entry of a name";
    EXPECT_EQ(ask(signInRequest("owner", kOwnerPassword), from(address++)).sessionCookie().size(),
              64);
}

TEST(WebServerAccounts, WithoutAnAccountTheViewDoesNotStartAndListensOnLoopbackByDefault) {
    QTemporaryDir dir;
    FixedClock clock;
    Database db(dir.path());
    db.open();
    WebOptions o;
    o.port = 0;
    o.dataDir = dir.path();
    WebServer server(o, clock);
    QString error;
    EXPECT_FALSE(server.start(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("웹 계정이 없어"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("tavolen web-user add")));
    EXPECT_EQ(server.port(), 0);

    IniStore ini(dir.filePath(QStringLiteral("TavolenConfig.ini")));
    ini.writeInteger(QStringLiteral("Web"), QStringLiteral("Enabled"), 1);
    EXPECT_EQ(WebFace::readOptions(ini, dir.path(), QString()).listen,
              QHostAddress(QHostAddress::LocalHost));
    ini.writeString(QStringLiteral("Web"), QStringLiteral("Listen"), QStringLiteral("::"));
    EXPECT_EQ(WebFace::readOptions(ini, dir.path(), QString()).listen,
              QHostAddress(QHostAddress::AnyIPv6));
}

TEST_F(WebServerTest, PagesGetTheBoardLiveAndAreClosedAtSignOut) {
    const QByteArray session = signIn();
    QWebSocket page(QString::fromLatin1(origin()));
    QStringList messages;
    QObject::connect(&page, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { messages << m; });
    QNetworkRequest request(QUrl(QStringLiteral("ws://%1/ws").arg(QString::fromLatin1(host()))));
    request.setRawHeader("Cookie", "tavolen_session=" + session);
    page.open(request);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, 5000));
    EXPECT_TRUE(messages.last().contains(QStringLiteral("\"number\":\"707\"")));
    EXPECT_EQ(server->pageCount(), 1);

    {
        // A page whose connection just ends (a phone switched off) is dropped and freed.
        QTcpSocket gone;
        gone.connectToHost(QHostAddress::LocalHost, server->port());
        ASSERT_TRUE(gone.waitForConnected(3000));
        gone.write(get(
            "/ws", session,
            "Origin: " + origin() +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 2; }, 5000));
        gone.abort();
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 1; }, 5000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 1; }, 5000))
            << server->connectionCount();
    }
    server->publish(snapshotWithRoom(QStringLiteral("707"), RoomState::Cleaning, 2));
    server->publish(snapshotWithRoom(QStringLiteral("707"), RoomState::Finished, 3));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return messages.last().contains(QStringLiteral("\"ready\"")); }, 5000));
    EXPECT_EQ(messages.size(), 2) << "two steps in one turn reach the page as one";

    Client c(server->port());
    c.write("POST /logout HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + origin() +
            "\r\nCookie: tavolen_session=" + session + "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(c.next().status, 303);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return page.state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 0; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() <= 1; }, 5000))
        << "closed pages no longer count against their address: " << server->connectionCount();
}

// A handshake the WebSocket server refuses (an unknown version, no key) or that never ends
// leaves nothing counted against the address once its connection is gone.
TEST_F(WebServerTest, ARefusedPageHandshakeCountsNoLongerThanItsConnection) {
    const QByteArray session = signIn();
    const QByteArray base =
        "Origin: " + origin() + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n";
    for (const QByteArray& extra :
         {QByteArray(
              "Sec-WebSocket-Version: 99\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"),
          QByteArray("Sec-WebSocket-Version: 13\r\n")}) {
        SCOPED_TRACE(extra.toStdString());
        {
            Client page(server->port());
            page.write(get("/ws", session, base + extra));
            EXPECT_NE(page.next().status, 101);
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->connectionCount() == 0; }, 5000))
            << "still counted: " << server->connectionCount();
    }
}

// The desk's messages reach the page without the place of its files.
TEST_F(WebServerTest, TheSnapshotNamesTheDesksFilesWithoutTheirDirectory) {
    auto s = std::make_shared<BoardSnapshot>(
        *snapshotWithRoom(QStringLiteral("707"), RoomState::Overnight, 2));
    s->storageWarning =
        QStringLiteral("⚠ 저장 실패, 다시 시도 중: %1/TavolenConfig.ini: 공간이 없습니다")
            .arg(dir.path());
    s->notice = QStringLiteral("10:00 %1 을(를) 열 수 없습니다").arg(dir.path());
    server->publish(s);
    const QString body = QString::fromUtf8(ask(get("/api/snapshot", signIn())).body);
    EXPECT_FALSE(body.contains(dir.path())) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("다시 시도 중: TavolenConfig.ini: 공간이 없습니다")));
    EXPECT_TRUE(body.contains(QStringLiteral("데이터 폴더 을(를) 열 수 없습니다")));
}

// Requests with cookies that name no session cost the open pages nothing;
// signing out closes every page of the session at once.
TEST_F(WebServerTest, UnknownCookiesPingNoPageAndSignOutClosesEveryPage) {
    const QByteArray session = signIn();
    std::vector<std::unique_ptr<Client>> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(std::make_unique<Client>(server->port()));
        pages.back()->write(get(
            "/ws", session,
            "Origin: " + origin() +
                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"));
        ASSERT_EQ(pages.back()->next().status, 101);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 3; }, 5000));
    QTest::qWait(200);
    for (const auto& page : pages) page->buffer += page->socket.readAll();
    const qsizetype before = pages.front()->buffer.size();
    for (int i = 0; i < 50; ++i) ask(get("/api/snapshot", QByteArray(64, 'a' + char(i % 6))));
    QTest::qWait(200);
    pages.front()->buffer += pages.front()->socket.readAll();
    // A ping is two bytes and its payload; the pages' own timer may send one.
    EXPECT_LT(pages.front()->buffer.size() - before, 20);

    Client out(server->port());
    out.write("POST /logout HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + origin() +
              "\r\nCookie: tavolen_session=" + session + "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(out.next().status, 303);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->pageCount() == 0; }, 5000));
}

TEST_F(WebServerTest, TodayIsTheDailyViewsSettlementDayWithItsChangesAndTheirSource) {
    execSql(db, QStringLiteral(R"(INSERT INTO "Cash.DB" VALUES
        ('101', '200604011000', '200604011200', '대실', '30000'),
        ('102', '200604011800', '200604011810숙박취소', '숙박', '50000'),
        ('103', '200604010100', '200604010200객실교체', '대실', '25000'),
        ('104', '200604012330', '', '숙박', '60000'),
        ('105', '200604020100', '', '대실', '99999'))"));
    execSql(db, QStringLiteral(R"(INSERT INTO "room.DB" VALUES
        ('102', '20060401', '1810', '숙박취소', '0'),
        ('103', '20060401', '0200', '객실교체', '0'),
        ('101', '20060401', '1200', '완료', '1'))"));
    const QByteArray session = signIn();
    const Reply r = ask(get("/api/today", session));
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    const QJsonObject t = QJsonDocument::fromJson(r.body).object();

    DailySettlement day;
    day.fill(ledger::readStays(db.connection(), settlementDayFrom(QDate(2006, 4, 1), 0),
                               StayOrder::ByTime));
    EXPECT_EQ(t["from"].toString(), QStringLiteral("2006-04-01 00:00"));
    EXPECT_EQ(qint64(t["dayUseSum"].toDouble()), day.dayUseSum());
    EXPECT_EQ(qint64(t["overnightSum"].toDouble()), day.overnightSum());
    EXPECT_EQ(qint64(t["total"].toDouble()), 165000);
    EXPECT_EQ(qint64(t["cancelledSum"].toDouble()), 50000);
    EXPECT_EQ(qint64(t["movedSum"].toDouble()), 25000);
    EXPECT_EQ(t["cancelledCount"].toInt(), 1);
    EXPECT_EQ(t["movedCount"].toInt(), 1);
    EXPECT_EQ(t["stays"].toArray().size(), 4);
    const QJsonArray changes = t["changes"].toArray();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0].toObject()["action"].toString(), QStringLiteral("객실교체"));
    EXPECT_EQ(changes[0].toObject()["time"].toString(), QStringLiteral("2006-04-01 02:00"));
    EXPECT_EQ(changes[1].toObject()["source"].toString(), QStringLiteral("desk"));

    for (const char* asked : {"2006-4", "2006-04"}) {
        const Reply m = ask(get("/api/month?m=" + QByteArray(asked), session));
        const QJsonObject month = QJsonDocument::fromJson(m.body).object();
        EXPECT_EQ(month["month"].toString(), QStringLiteral("2006-4")) << asked;
        EXPECT_EQ(month["days"].toArray().size(), 30) << asked;
        EXPECT_EQ(qint64(month["total"].toDouble()), 165000 + 99999)
            << asked << ": the 2nd's stay counts in April";
    }
    const QJsonObject march =
        QJsonDocument::fromJson(ask(get("/api/month?m=2006-03", session)).body).object();
    EXPECT_EQ(march["month"].toString(), QStringLiteral("2006-3"));
    EXPECT_EQ(march["days"].toArray().size(), 31);
}

TEST_F(WebServerTest, DownloadsAreTheReportCommandsFiles) {
    execSql(
        db,
        QStringLiteral(
            R"(INSERT INTO "Cash.DB" VALUES ('101', '200604011000', '200604011200', '대실', '30000'))"));
    const QByteArray session = signIn();
    const Reply xlsx = ask(get("/download/day.xlsx?date=2006-04-01", session));
    ASSERT_EQ(xlsx.status, 200) << xlsx.body.left(200).toStdString();
    EXPECT_TRUE(xlsx.body.startsWith("PK"));
    EXPECT_TRUE(xlsx.header("Content-Disposition").contains("tavolen-2006-04-01.xlsx"));
    const Reply pdf = ask(get("/download/month.pdf?m=2006-04", session));
    ASSERT_EQ(pdf.status, 200);
    EXPECT_TRUE(pdf.body.startsWith("%PDF"));
    EXPECT_EQ(ask(get("/download/day.xlsx?date=2006-4-1;rm", session)).status, 400);
    EXPECT_EQ(ask(get("/download/day.csv?date=2006-04-01", session)).status, 404);
}

class WebServerTlsTest : public WebServerTest {
protected:
    SelfSigned certificate{dir.path(), QStringLiteral("web")};

    void SetUp() override {
        WebServerTest::SetUp();
        ASSERT_TRUE(certificate.error.isEmpty()) << certificate.error.toStdString();
        startServer(tlsOptions());
        ASSERT_TRUE(server->secure());
    }
    // Handshakes take their time on a loaded machine.
    WebOptions tlsOptions() {
        WebOptions o = options();
        o.certificate = certificate.certificate;
        o.key = certificate.key;
        o.limits.requestMs = 5000;
        return o;
    }
    QByteArray origin() const { return "https://" + host(); }
    Reply askTls(const QByteArray& raw, const QHostAddress& from = QHostAddress::LocalHost) {
        Client c(server->port(), from, true);
        EXPECT_TRUE(c.connected);
        c.write(raw);
        return c.next(10000);
    }
};

TEST_F(WebServerTlsTest, SpeaksHttpsOnlyAndMarksTheCookieSecure) {
    const Reply signedIn = askTls(signInRequest("owner", kOwnerPassword, host(), origin()));
    EXPECT_EQ(signedIn.status, 303);
    EXPECT_TRUE(signedIn.header("Set-Cookie").endsWith("HttpOnly; SameSite=Strict; Secure"));
    EXPECT_EQ(signedIn.header("Strict-Transport-Security"), "max-age=31536000");

    // Plain HTTP on the same port gets nothing.
    Client plain(server->port());
    plain.write(get("/login"));
    EXPECT_TRUE(plain.closedByServer(12000));
    EXPECT_FALSE(plain.buffer.contains("HTTP/1.1 200"));
    EXPECT_FALSE(plain.buffer.contains("password"));
}

// A certificate and key that would fail every handshake, or a key that others
// can read, keep the server from starting, with the reason.
TEST_F(WebServerTlsTest, RefusesToStartWithAKeyOfAnotherCertificateOrOneOthersCanRead) {
    const SelfSigned other(dir.path(), QStringLiteral("other"),
                           {QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:P-256")});
    ASSERT_TRUE(other.error.isEmpty()) << other.error.toStdString();
    const QString shared = dir.filePath(QStringLiteral("shared.key"));
    QFile::copy(certificate.key, shared);
    QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    struct Case {
        const char* name;
        QString certificate, key, error;
    };
    const std::vector<Case> cases = {
        {"key of another certificate", certificate.certificate, other.key,
         QStringLiteral("웹: 인증서와 키가 서로 맞지 않습니다")},
        {"certificate of another key", other.certificate, certificate.key,
         QStringLiteral("웹: 인증서와 키가 서로 맞지 않습니다")},
        {"key readable by others", certificate.certificate, shared,
         QStringLiteral("웹: 키 파일을 다른 사용자도 읽을 수 있습니다 (chmod 600 %1)").arg(shared)},
        {"EC pair", other.certificate, other.key, QString()},
    };
    for (const Case& c : cases) {
        WebOptions o = options();
        o.certificate = c.certificate;
        o.key = c.key;
        WebServer refused(o, clock);
        QString error;
        EXPECT_EQ(refused.start(&error), c.error.isEmpty()) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
}

// Silent connections count before their handshake: one address holding as
// many as it may does not keep a browser from another address waiting.
TEST_F(WebServerTlsTest, SilentConnectionsCountBeforeTheirHandshake) {
    WebOptions o = tlsOptions();
    o.limits.requestMs = 10000;
    startServer(o);
    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 40; ++i)
        silent.push_back(std::make_unique<Client>(server->port(), QHostAddress("127.0.0.5")));
    QElapsedTimer timer;
    timer.start();
    const Reply r = askTls(get("/login"), QHostAddress("127.0.0.6"));
    EXPECT_EQ(r.status, 200);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_LE(server->connectionCount(), o.limits.maxPerAddress + 1);
}

// What a scanner finds: TLS 1.2 and 1.3 only, every suite ECDHE with AEAD.
TEST_F(WebServerTlsTest, OffersOnlyForwardSecretAeadSuitesFromTls12) {
    WebOptions o = tlsOptions();
    o.limits.maxPerAddress = 128;  // the scanner's many handshakes are no attack
    startServer(o);
    QProcess scan;
    scan.start(QStringLiteral("sslscan"),
               {QStringLiteral("--no-colour"), QStringLiteral("--no-heartbleed"),
                QStringLiteral("--no-renegotiation"), QStringLiteral("--no-compression"),
                QStringLiteral("--no-fallback"), QStringLiteral("--no-groups"),
                QStringLiteral("--no-check-certificate"),
                QStringLiteral("127.0.0.1:%1").arg(server->port())});
    if (!scan.waitForStarted(5000)) GTEST_SKIP() << "sslscan is not installed";
    // The server answers on this thread: the scan is waited for with the loop running.
    ASSERT_TRUE(QTest::qWaitFor([&] { return scan.state() == QProcess::NotRunning; }, 120000));
    const QString out = QString::fromUtf8(scan.readAllStandardOutput());
    const QRegularExpression accepted(
        QStringLiteral("^(?:Preferred|Accepted)\\s+(\\S+)\\s+\\d+\\s+bits\\s+(\\S+)"),
        QRegularExpression::MultilineOption);
    int suites = 0;
    for (auto it = accepted.globalMatch(out); it.hasNext();) {
        const auto m = it.next();
        ++suites;
        const QString protocol = m.captured(1), suite = m.captured(2);
        EXPECT_TRUE(protocol == QLatin1String("TLSv1.2") || protocol == QLatin1String("TLSv1.3"))
            << m.captured(0).toStdString();
        EXPECT_TRUE(suite.startsWith(QLatin1String("TLS_")) ||
                    (suite.startsWith(QLatin1String("ECDHE-")) &&
                     (suite.contains(QLatin1String("-GCM-")) ||
                      suite.contains(QLatin1String("CHACHA20-POLY1305")))))
            << m.captured(0).toStdString();
    }
    EXPECT_GT(suites, 0) << out.toStdString();
    for (const char* old : {"SSLv2", "SSLv3", "TLSv1.0", "TLSv1.1"})
        EXPECT_FALSE(QRegularExpression(QStringLiteral("%1\\s+enabled").arg(QLatin1String(old)))
                         .match(out)
                         .hasMatch())
            << old << "\n"
            << out.toStdString();
}

// The proxy's names and address come from `Web`; a value that is neither is
// refused with its key named.
TEST(WebOptions, HostsAndProxyAreReadFromTheirKeys) {
    QTemporaryDir dir;
    IniStore ini(dir.filePath(QStringLiteral("TavolenConfig.ini")));
    ini.writeString(QStringLiteral("Web"), QStringLiteral("Hosts"),
                    QStringLiteral("desk.example.com, Other.example"));
    ini.writeString(QStringLiteral("Web"), QStringLiteral("Proxy"), QStringLiteral("127.0.0.1"));
    const WebOptions o = WebFace::readOptions(ini, dir.path(), QString());
    EXPECT_EQ(o.hosts, QStringList({"desk.example.com", "Other.example"}));
    EXPECT_EQ(o.proxy, QHostAddress(QHostAddress::LocalHost));

    for (const auto& [key, value] : std::vector<std::pair<QString, QString>>{
             {"Hosts", "desk.example.com/x"}, {"Hosts", "evil@desk"}, {"Proxy", "proxy.example"}}) {
        IniStore bad(dir.filePath(key + QStringLiteral(".ini")));
        bad.writeString(QStringLiteral("Web"), key, value);
        try {
            WebFace::readOptions(bad, dir.path(), QString());
            ADD_FAILURE() << value.toStdString();
        } catch (const TavolenError& e) {
            EXPECT_TRUE(errorText(e).contains(QStringLiteral("Web/") + key)) << value.toStdString();
        }
    }
}

TEST_F(WebServerTest, TheTrailPageListsTheDeskActionsByDayNewestFirstInKorean) {
    EXPECT_TRUE(ask(get("/trail", signIn())).body.contains("기록이 없습니다"));
    AuditTrail trail(db, clock);
    trail.record({audit::Action::Backup, 1, {}});
    clock.set(QDateTime(QDate(2006, 4, 2), QTime(9, 5)));
    trail.record({audit::Action::RemoveAll, 3, {}});
    trail.record({audit::Action::EnvironmentSaved,
                  3,
                  {{QStringLiteral("key"), QStringLiteral("CoName")},
                   {QStringLiteral("new"), QStringLiteral("<b>모텔</b>")}}});
    const Reply page = ask(get("/trail", signIn()));  // the next day's session
    ASSERT_EQ(page.status, 200);
    const QString html = QString::fromUtf8(page.body);
    const QStringList inOrder{"<h2>2006-04-02</h2>", "환경설정 저장", "공급업체", "전체제거",
                              "<h2>2006-04-01</h2>", "17:35:00",      "사용자",   "자료복사"};
    qsizetype at = 0;
    for (const QString& text : inOrder) {
        const qsizetype found = html.indexOf(text, at);
        EXPECT_GE(found, at) << text.toStdString();
        at = std::max(at, found);
    }
    EXPECT_FALSE(html.contains("<b>모텔</b>"));  // a stored value is shown, never run
    EXPECT_EQ(ask(get("/trail")).status, 303);
}

// Ten thousand wrong sign-ins from fifty addresses, through the live view as the program starts
// it: the owner hears of them through the trail, whose row queues the alert, once for the flood
// and once more a minute later for what was limited meanwhile; the desk's grades never hear.
TEST(WebWrongPasswords, AFloodQueuesOneAlertAMinuteThroughTheTrailAndNeverReachesTheDesk) {
    BoardFixture f;
    f.clock.set(QDateTime(QDate(2026, 12, 11), QTime(3, 15)));
    Database db{f.dataDir()};
    db.open();
    WebAccounts(db.connection()).add("owner", kOwnerPassword, kOwnerPassword, true, f.clock.now());
    AlertSettings settings;
    settings.webhook = QStringLiteral("https://127.0.0.1:9/hook");
    settings.kinds = {audit::storedName(audit::Action::WrongPasswords)};
    alertQueue::install(db.connection(), settings);
    AuditTrail trail(db, f.clock);
    DeskSession deskSession;
    RecordingLockdown lockdown;
    PasswordRules rules{db, f.clock, deskSession, lockdown};

    WebOptions o;
    o.port = freePort();
    o.dataDir = f.dataDir();
    QList<QJsonObject> heard;
    const WebFace face(o, f.board, f.clock, [&](const QJsonObject& detail) {
        heard.append(detail);
        trail.note({audit::Action::WrongPasswords, 0, detail});
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, o.port);
            return probe.waitForConnected(200);
        },
        5000));

    const auto from = [](int n) { return QHostAddress(QStringLiteral("127.0.3.%1").arg(n)); };
    const QByteArray host = "127.0.0.1:" + QByteArray::number(o.port);
    const auto signIn = [&](const QByteArray& name) {
        const QByteArray body = "name=" + name + "&password=guess";
        return "POST /login HTTP/1.1\r\nHost: " + host +
               "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    constexpr int kAddresses = 50, kEach = 200;
    std::vector<std::unique_ptr<Client>> flood;
    for (int n = 1; n <= kAddresses; ++n) {
        flood.push_back(std::make_unique<Client>(o.port, from(n)));
        ASSERT_TRUE(flood.back()->connected) << n;
    }
    std::map<int, int> statuses;
    for (int i = 0; i < kEach; ++i) {
        for (auto& c : flood) c->write(signIn("owner"));
        for (auto& c : flood) ++statuses[c->next(30000).status];
    }
    EXPECT_EQ(statuses,
              (std::map<int, int>{{303, SignInLimiter::kFreeFailures},
                                  {429, kAddresses * kEach - SignInLimiter::kFreeFailures}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !heard.isEmpty(); }, 5000));

    // Within the minute another address tries names of its own until it too is limited.
    Client guesser(o.port, from(kAddresses + 1));
    for (int i = 0; i < SignInLimiter::kFreeFailures; ++i) {
        guesser.write(signIn("name" + QByteArray::number(i)));
        EXPECT_NE(guesser.next(30000).status, 0);
    }
    QTest::qWait(200);
    const auto rows = [&](const char* table) {
        return rowsOf(db, QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table)))
            .front()
            .front()
            .toInt();
    };
    ASSERT_EQ(heard.size(), 1);
    EXPECT_EQ(heard[0].value("accounts").toArray(), QJsonArray{"owner"});
    EXPECT_EQ(rows("tavolen_alert_queue"), 1) << "one alert for the flood, not one per attempt";
    EXPECT_EQ(rowsOf(db, QStringLiteral("SELECT grade, action, json_extract(detail, '$.where') "
                                        "FROM tavolen_audit")),
              (std::vector<QStringList>{{"0", "wrong_passwords", "web"}}));

    // A minute on, what was limited meanwhile is told, with the rest of the count.
    f.clock.set(f.clock.now().addSecs(WebServer::kWrongPasswordsReportSeconds));
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() == 2; }, 15000));
    EXPECT_EQ(heard[1].value("addresses").toArray(), QJsonArray{"127.0.3.51"});
    int wrong = 0, held = 0;
    for (const QJsonObject& d : heard) {
        wrong += d.value("count").toInt();
        held += d.value("held").toInt();
    }
    EXPECT_EQ(wrong, 2 * SignInLimiter::kFreeFailures)
        << "the owner's free tries and the guesser's";
    EXPECT_EQ(held, kAddresses * kEach - SignInLimiter::kFreeFailures);
    const QList<alertQueue::Batch> queued = alertQueue::pending(db.connection());
    ASSERT_EQ(queued.size(), 1);
    const AlertMessage told = AlertMessage::compose(settings, queued.front());
    EXPECT_TRUE(told.subject.contains(QStringLiteral("웹 로그인 암호 연속 오류")));
    EXPECT_TRUE(told.body.contains(QStringLiteral("주소 127.0.3.51"))) << told.body.toStdString();
    EXPECT_EQ(told.folded, 1) << "the flood's own alert goes with it as one message";

    for (int grade : {1, 3}) {
        deskSession.gradeToCheck = grade;
        EXPECT_EQ(rules.check(QString(4, QChar(u'0' + grade))), PasswordRules::Outcome::SignedIn)
            << "the desk's grade " << grade << " never saw the web's failures";
    }
}

}  // namespace
