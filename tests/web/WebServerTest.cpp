#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QProcess>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include "auth/PasswordRules.h"
#include "auth/WebAccounts.h"
#include "board/DeskSession.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/Fakes.h"
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

// A connection to the server under test; every wait is bounded.
class Client {
public:
    explicit Client(quint16 port, const QHostAddress& from = QHostAddress::LocalHost) {
        socket.bind(from);
        socket.connectToHost(QHostAddress::LocalHost, port);
        connected = QTest::qWaitFor(
            [&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    void write(const QByteArray& bytes) { socket.write(bytes); }
    // The next whole response; status 0 when none came (or the server closed).
    Reply next(int ms = 5000) {
        Reply r;
        QDeadlineTimer deadline(ms);
        while (!parse(r) && socket.state() == QAbstractSocket::ConnectedState &&
               !deadline.hasExpired()) {
            QEventLoop loop;
            QObject::connect(&socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
            QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
            QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), &loop,
                               &QEventLoop::quit);
            loop.exec();
            buffer += socket.readAll();
        }
        buffer += socket.readAll();
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
    QTcpSocket socket;
    QByteArray buffer;
    bool connected = false;

private:
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
        const qsizetype length = candidate.header("Content-Length").toLongLong();
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
        WebOptions o;
        o.listen = QHostAddress::LocalHost;
        o.port = 0;
        o.dataDir = dir.path();
        o.reportProgram = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen");
        o.limits.requestMs = 400;
        o.limits.idleMs = 3000;
        o.limits.maxPerAddress = 6;
        customise(o);
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
    QByteArray signInRequest(const QByteArray& name, const QByteArray& password) const {
        const QByteArray body = "name=" + name + "&password=" + password;
        return "POST /login HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + origin() +
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
         "POST /login HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'x'), 413},
        {"traversal", get("/../../etc/passwd", session), 400},
        {"encoded traversal", get("/%2e%2e/%2e%2e/etc/passwd", session), 400},
        {"encoded slashes", get("/pages/..%2f..%2fapp.js", session), 400},
        {"sign-in from another site",
         QByteArray(signInRequest("owner", kOwnerPassword))
             .replace(origin(), "http://evil.example"),
         403},
        {"changing method",
         "DELETE /api/snapshot HTTP/1.1\r\nCookie: tavolen_session=" + session + "\r\n\r\n", 405},
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

    const Reply m = ask(get("/api/month?m=2006-4", session));
    const QJsonObject month = QJsonDocument::fromJson(m.body).object();
    EXPECT_EQ(month["days"].toArray().size(), 30);
    EXPECT_EQ(qint64(month["total"].toDouble()), 165000 + 99999)
        << "the 2nd's stay counts in April";
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

TEST(WebServerTls, WithCertificateAndKeyItSpeaksHttpsOnlyAndMarksTheCookieSecure) {
    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("web.crt"));
    const QString key = dir.filePath(QStringLiteral("web.key"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    ASSERT_TRUE(openssl.waitForFinished(60000) && openssl.exitCode() == 0)
        << openssl.readAllStandardError().toStdString();
    FixedClock clock;
    Database db(dir.path());
    db.open();
    WebAccounts(db.connection()).add("owner", kOwnerPassword, kOwnerPassword, false, clock.now());
    WebOptions o;
    o.listen = QHostAddress::LocalHost;
    o.port = 0;
    o.dataDir = dir.path();
    o.certificate = cert;
    o.key = key;
    WebServer server(o, clock);
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    ASSERT_TRUE(server.secure());

    const QByteArray host = "127.0.0.1:" + QByteArray::number(server.port());
    const QByteArray body = "name=owner&password=" + kOwnerPassword;
    QSslSocket tls;
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tls.isEncrypted(); }, 10000));
    tls.write("POST /login HTTP/1.1\r\nHost: " + host + "\r\nOrigin: https://" + host +
              "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
              "\r\n\r\n" + body);
    QByteArray answer;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            answer += tls.readAll();
            return answer.contains("\r\n\r\n");
        },
        10000));
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 303")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("HttpOnly; SameSite=Strict; Secure"));
    EXPECT_TRUE(answer.contains("Strict-Transport-Security"));

    // Plain HTTP on the same port gets nothing.
    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return plain.state() == QAbstractSocket::ConnectedState; }, 5000));
    plain.write("GET /login HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    QByteArray refused;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            refused += plain.readAll();
            return plain.state() == QAbstractSocket::UnconnectedState;
        },
        12000));
    EXPECT_FALSE(refused.contains("HTTP/1.1 200"));
    EXPECT_FALSE(refused.contains("password"));
}

}  // namespace
