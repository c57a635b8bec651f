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
#include "board/DeskSession.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/Database.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"
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

class WebServerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FixedClock clock{QDateTime(QDate(2006, 4, 1), QTime(17, 35))};
    Database db{dir.path()};
    DeskSession deskSession;
    RecordingLockdown lockdown;
    PasswordRules rules{db, clock, deskSession, lockdown};
    std::unique_ptr<WebServer> server;
    int passwordChecks = 0;

    void SetUp() override {
        db.open();
        WebOptions o;
        o.listen = QHostAddress::LocalHost;
        o.port = 0;
        o.dataDir = dir.path();
        o.reportProgram = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen");
        o.limits.requestMs = 400;
        o.limits.idleMs = 3000;
        o.limits.maxPerAddress = 6;
        server = std::make_unique<WebServer>(o, clock,
                                             [this](int grade, const QString& password, auto done) {
                                                 ++passwordChecks;
                                                 switch (rules.checkGrade(grade, password)) {
                                                     case PasswordRules::Outcome::SignedIn:
                                                         return done(PasswordVerdict::Right);
                                                     case PasswordRules::Outcome::LockedOut:
                                                         return done(PasswordVerdict::LockedOut);
                                                     default:
                                                         return done(PasswordVerdict::Wrong);
                                                 }
                                             });
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        server->publish(snapshotWithRoom(QStringLiteral("707"), RoomState::Overnight, 1));
    }

    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(server->port()); }
    QByteArray origin() const { return "http://" + host(); }

    QByteArray get(const QByteArray& path, const QByteArray& session = {},
                   const QByteArray& extra = {}) const {
        QByteArray r = "GET " + path + " HTTP/1.1\r\nHost: " + host() + "\r\n";
        if (!session.isEmpty()) r += "Cookie: tavolen_session=" + session + "\r\n";
        return r + extra + "\r\n";
    }
    QByteArray signInRequest(const QByteArray& grade, const QByteArray& password) const {
        const QByteArray body = "grade=" + grade + "&password=" + password;
        return "POST /login HTTP/1.1\r\nHost: " + host() + "\r\nOrigin: " + origin() +
               "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    Reply ask(const QByteArray& raw) {
        Client c(server->port());
        c.write(raw);
        return c.next();
    }
    QByteArray signIn(const QByteArray& grade = "1", const QByteArray& password = "1111") {
        return ask(signInRequest(grade, password)).sessionCookie();
    }
};

TEST_F(WebServerTest, SignInGivesAStrictHttpOnlySessionThatOpensThePages) {
    const Reply page = ask(get("/login"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("name=\"password\""));

    const Reply signedIn = ask(signInRequest("1", "1111"));
    EXPECT_EQ(signedIn.status, 303);
    EXPECT_EQ(signedIn.header("Location"), "/board");
    const QByteArray cookie = signedIn.header("Set-Cookie");
    EXPECT_TRUE(cookie.contains("HttpOnly")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("SameSite=Strict"));
    EXPECT_FALSE(cookie.contains("Secure")) << "plain HTTP";
    const QByteArray session = signedIn.sessionCookie();
    ASSERT_EQ(session.size(), 64);
    EXPECT_EQ(deskSession.grade, 0) << "the desk itself stays signed out";
    EXPECT_TRUE(deskLogLines(dir.path()).join('\n').contains(QStringLiteral("웹: 로그인 사용자")));

    for (const char* path : {"/board", "/today", "/month", "/log", "/app.js", "/app.css"})
        EXPECT_EQ(ask(get(path, session)).status, 200) << path;
    const Reply snapshot = ask(get("/api/snapshot", session));
    EXPECT_EQ(snapshot.status, 200);
    EXPECT_TRUE(snapshot.body.contains("\"number\":\"707\""));
    EXPECT_EQ(ask(get("/nothing", session)).status, 404);

    // The supplier's password opens the same pages; the Windows-use one does not sign in.
    EXPECT_EQ(signIn("3", "3333").size(), 64);
    const Reply windows = ask(signInRequest("2", "2222"));
    EXPECT_EQ(windows.status, 400);
    EXPECT_TRUE(windows.sessionCookie().isEmpty());

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
    const QByteArray stale = signIn("1", "1111");
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
         QByteArray(signInRequest("1", "1111")).replace(origin(), "http://evil.example"), 403},
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
    db.setPassword(1, QStringLiteral("5555"));
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

    const QByteArray fresh = signIn("1", "5555");
    EXPECT_EQ(ask(get("/api/snapshot", fresh)).status, 200) << "the owner still gets in";
}

TEST_F(WebServerTest, AThousandWrongPasswordsFromOneAddressAreHeldOffWithoutABan) {
    Client c(server->port());
    int refusedWithWait = 0, wrong = 0;
    QByteArray retryAfter;
    for (int i = 0; i < 1000; ++i) {
        c.write(signInRequest("1", "wrong" + QByteArray::number(i)));
        const Reply r = c.next();
        ASSERT_TRUE(r.sessionCookie().isEmpty());
        if (r.status == 429) {
            ++refusedWithWait;
            retryAfter = r.header("Retry-After");
        } else {
            ASSERT_EQ(r.status, 303) << i;
            EXPECT_EQ(r.header("Location"), "/login?e=wrong");
            ++wrong;
        }
    }
    EXPECT_EQ(wrong + refusedWithWait, 1000);
    EXPECT_LE(passwordChecks, SignInLimiter::kFreeAttempts)
        << "the hash is not computed 1,000 times";
    EXPECT_GT(retryAfter.toInt(), 0);
    EXPECT_LE(retryAfter.toInt(), SignInLimiter::kWindowSeconds);
    EXPECT_EQ(rules.checkGrade(1, QStringLiteral("1111")), PasswordRules::Outcome::LockedOut)
        << "the desk's own lock-out for the grade counted them";
    const QStringList log = deskLogLines(dir.path());
    EXPECT_LT(log.size(), 100) << "a flood is summed up in the log, not written line by line";

    // Once the wait is over the owner's right password gets in from the same address.
    clock.set(clock.now().addSecs(SignInLimiter::kWindowSeconds + 1));
    c.write(signInRequest("1", "1111"));
    EXPECT_EQ(c.next().sessionCookie().size(), 64);
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
    WebOptions o;
    o.listen = QHostAddress::LocalHost;
    o.port = 0;
    o.dataDir = dir.path();
    o.certificate = cert;
    o.key = key;
    WebServer server(o, clock, [](int, const QString& password, auto done) {
        done(password == QLatin1String("1111") ? PasswordVerdict::Right : PasswordVerdict::Wrong);
    });
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();
    ASSERT_TRUE(server.secure());

    const QByteArray host = "127.0.0.1:" + QByteArray::number(server.port());
    const QByteArray body = "grade=1&password=1111";
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
