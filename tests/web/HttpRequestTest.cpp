#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/Fakes.h"
#include "web/HttpRequest.h"
#include "web/SnapshotJson.h"
#include "web/WebSessions.h"

namespace {

struct ReaderCase {
    const char* name;
    QByteArray bytes;
    HttpRequestReader::State state;
    int refusal;
};

QByteArray repeated(const char* line, int times) {
    QByteArray out;
    for (int i = 0; i < times; ++i) out += QByteArray(line).replace("%d", QByteArray::number(i));
    return out;
}

void expectReadings(const std::vector<ReaderCase>& cases) {
    for (const ReaderCase& c : cases) {
        HttpRequestReader reader;
        EXPECT_EQ(reader.feed(c.bytes), c.state) << c.name;
        EXPECT_EQ(reader.refusal(), c.refusal) << c.name;
    }
}

}  // namespace

TEST(HttpRequestReader, BoundsAndRefusesWhatIsNotASmallPlainRequest) {
    const QByteArray big(HttpRequestReader::kMaxHeaderBytes, 'a');
    const std::vector<ReaderCase> cases = {
        {"plain get", "GET /board HTTP/1.1\r\nHost: h\r\n\r\n", HttpRequestReader::State::Complete,
         0},
        {"head not yet whole", "GET /board HTTP/1.1\r\nHost: h\r\n",
         HttpRequestReader::State::NeedMore, 0},
        {"body not yet whole", "POST /login HTTP/1.1\r\nHost: h\r\nContent-Length: 10\r\n\r\nabc",
         HttpRequestReader::State::NeedMore, 0},
        {"header too long", "GET / HTTP/1.1\r\nX: " + big + "\r\n\r\n",
         HttpRequestReader::State::Refused, 431},
        {"endless header", "GET / HTTP/1.1\r\nX: " + big, HttpRequestReader::State::Refused, 431},
        {"too many headers", "GET / HTTP/1.1\r\n" + repeated("X%d: 1\r\n", 50) + "\r\n",
         HttpRequestReader::State::Refused, 431},
        {"body too big", "POST /login HTTP/1.1\r\nHost: h\r\nContent-Length: 5000\r\n\r\n",
         HttpRequestReader::State::Refused, 413},
        {"chunked body", "POST /login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
         HttpRequestReader::State::Refused, 501},
        {"negative length", "POST /login HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"other protocol", "GET / HTTP/2.0\r\n\r\n", HttpRequestReader::State::Refused, 505},
        {"bare newlines", "GET / HTTP/1.1\nHost: h\n\n\r\n\r\n", HttpRequestReader::State::Refused,
         400},
        {"folded header", "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n", HttpRequestReader::State::Refused,
         400},
        {"dot dot", "GET /../etc/passwd HTTP/1.1\r\n\r\n", HttpRequestReader::State::Refused, 400},
        {"encoded dot dot", "GET /%2e%2e/etc/passwd HTTP/1.1\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"encoded slash", "GET /a/..%2f..%2fetc HTTP/1.1\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"twice encoded", "GET /%252e%252e/etc HTTP/1.1\r\n\r\n", HttpRequestReader::State::Refused,
         400},
        {"backslash", "GET /..%5c..%5cetc HTTP/1.1\r\n\r\n", HttpRequestReader::State::Refused,
         400},
        {"nul byte", "GET /app.js%00.html HTTP/1.1\r\n\r\n", HttpRequestReader::State::Refused,
         400},
        {"relative target", "GET board HTTP/1.1\r\n\r\n", HttpRequestReader::State::Refused, 400},
        // A lone CR or an escape sequence in a value would reach the log as it came.
        {"carriage return in a value", "GET / HTTP/1.1\r\nHost: h\rforged line\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"escape in a value", "GET / HTTP/1.1\r\nHost: h\x1b[2J\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"escape in the query", "GET /?m=\x1b[2J HTTP/1.1\r\nHost: h\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"tab in a value", "GET / HTTP/1.1\r\nHost: h\r\nX: a\tb\r\n\r\n",
         HttpRequestReader::State::Complete, 0},
    };
    expectReadings(cases);
}

// Framing that another reader on the way (a proxy, a browser's cache) could
// read otherwise: every such request is refused, whatever its values.
TEST(HttpRequestReader, RefusesAmbiguousFraming) {
    const QByteArray post = "POST /login HTTP/1.1\r\n";
    const std::vector<ReaderCase> cases = {
        {"empty encoding before chunked",
         post + "Host: h\r\nTransfer-Encoding:\r\nTransfer-Encoding: chunked\r\n\r\n",
         HttpRequestReader::State::Refused, 501},
        {"identity encoding", post + "Host: h\r\nTransfer-Encoding: identity\r\n\r\n",
         HttpRequestReader::State::Refused, 501},
        {"encoding beside a length",
         post + "Host: h\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nabc",
         HttpRequestReader::State::Refused, 501},
        {"two lengths", post + "Host: h\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx",
         HttpRequestReader::State::Refused, 400},
        {"two hosts", "GET / HTTP/1.1\r\nHost: h\r\nHost: evil.example\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"two hosts in other case", "GET / HTTP/1.1\r\nHost: h\r\nHOST: h\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"two origins", "GET / HTTP/1.1\r\nHost: h\r\nOrigin: http://h\r\nOrigin: x\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"1.1 without host", "GET / HTTP/1.1\r\nAccept: */*\r\n\r\n",
         HttpRequestReader::State::Refused, 400},
        {"1.0 without host", "GET / HTTP/1.0\r\n\r\n", HttpRequestReader::State::Complete, 0},
    };
    expectReadings(cases);
}

TEST(HttpRequestReader, ReadsPipelinedRequestsOneByOneWithTheirBodies) {
    HttpRequestReader reader;
    const QByteArray two =
        "POST /login HTTP/1.1\r\nHost: h\r\nContent-Length: 21\r\nCookie: a=1; "
        "tavolen_session=xyz\r\n\r\n"
        "grade=1&password=1111GET /today?m=2006-4 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
    // Byte by byte, as a slow but honest client would send them.
    HttpRequestReader::State state = HttpRequestReader::State::NeedMore;
    qsizetype i = 0;
    for (; i < two.size() && state == HttpRequestReader::State::NeedMore; ++i)
        state = reader.feed(two.mid(i, 1));
    ASSERT_EQ(state, HttpRequestReader::State::Complete);
    EXPECT_EQ(reader.request().method, "POST");
    EXPECT_EQ(reader.request().body, "grade=1&password=1111");
    EXPECT_EQ(reader.request().cookie("tavolen_session"), "xyz");
    EXPECT_TRUE(reader.request().keepAlive());
    EXPECT_EQ(reader.feed(two.mid(i)),
              HttpRequestReader::State::Complete);  // nothing new: still the first
    ASSERT_EQ(reader.next(), HttpRequestReader::State::Complete);
    EXPECT_EQ(reader.request().path, QStringLiteral("/today"));
    EXPECT_EQ(reader.request().queryValue(QStringLiteral("m")), QStringLiteral("2006-4"));
    EXPECT_FALSE(reader.request().keepAlive());
    EXPECT_FALSE(reader.hasPartial());
}

TEST(WebSessions, EndAfterThirtyIdleMinutesOnSignOutAndWhenThePasswordChanges) {
    FixedClock clock;
    WebSessions sessions(clock);
    const QByteArray owner = sessions.open("owner", true, "a");
    const QByteArray clerk = sessions.open("clerk", false, "b");
    ASSERT_EQ(owner.size(), 64);
    EXPECT_NE(owner, clerk);

    clock.advanceMinutes(29);
    ASSERT_TRUE(sessions.use(owner));  // restarts its idle time
    clock.advanceMinutes(29);
    EXPECT_TRUE(sessions.peek(owner));
    EXPECT_FALSE(sessions.use(clerk)) << "58 idle minutes";
    clock.advanceMinutes(1);
    EXPECT_FALSE(sessions.peek(owner)) << "peeking is not activity: 30 idle minutes";

    const QByteArray a = sessions.open("owner", true, "a");
    const QByteArray b = sessions.open("clerk", false, "b");
    EXPECT_EQ(sessions.closeStale("owner", "changed"), 1);
    EXPECT_FALSE(sessions.use(a));
    EXPECT_TRUE(sessions.use(b));
    sessions.close(b);
    EXPECT_FALSE(sessions.use(b));

    QByteArray forged = sessions.open("owner", true, "a");
    forged[0] = forged[0] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(sessions.use(forged));
    EXPECT_FALSE(sessions.use(QByteArray(64, 'G')));
    EXPECT_FALSE(sessions.use("short"));
}

TEST(WebSessions, KeepABoundedNumberDroppingTheLongestIdle) {
    FixedClock clock;
    WebSessions sessions(clock);
    const QByteArray first = sessions.open("owner", true, "s");
    clock.advanceMinutes(1);
    const QByteArray second = sessions.open("owner", true, "s");
    clock.advanceMinutes(1);
    for (int i = 0; i < WebSessions::kMaxSessions; ++i) sessions.open("clerk", false, "t");
    EXPECT_EQ(sessions.count(), WebSessions::kMaxSessions);
    EXPECT_FALSE(sessions.peek(first));
    EXPECT_FALSE(sessions.peek(second));
}

TEST(SnapshotJson, CarriesStateValuesTheDesksColoursAndTheStatus) {
    BoardSnapshot s;
    s.sequence = 42;
    s.takenAt = QDateTime(QDate(2006, 4, 1), QTime(17, 35, 10));
    s.businessName = QStringLiteral("모텔");
    BoardSnapshot::Room r;
    r.slot = 7;
    r.number = QStringLiteral("101");
    r.state = RoomState::GuestOut;
    r.kind = StayKind::Overnight;
    r.doorOpen = true;
    r.stayStart = QDateTime(QDate(2006, 4, 1), QTime(15, 5));
    r.elapsedMinutes = 150;
    r.labelColor = Colors::Yellow;
    r.labelFontColor = Colors::Black;
    s.rooms.push_back(r);
    s.logTail.push_back({QStringLiteral("101호 숙박"), Colors::Red});
    s.controllerConnected = true;
    s.lastControllerReport = QDateTime(QDate(2006, 4, 1), QTime(17, 34, 59));
    s.storageWarning = QStringLiteral("저장할 수 없습니다");
    EXPECT_TRUE(QJsonDocument::fromJson(snapshotJson(s)).object()["central"].isNull())
        << "no group ledger, no central link on the page";
    s.centralLink = QStringLiteral("◐ 중앙 12건 대기");
    s.centralLinkHealthy = true;

    const QJsonObject o = QJsonDocument::fromJson(snapshotJson(s)).object();
    EXPECT_EQ(o["sequence"].toString(), QStringLiteral("42"));
    EXPECT_EQ(qint64(o["takenAt"].toDouble()), s.takenAt.toMSecsSinceEpoch());
    const QJsonObject room = o["rooms"].toArray().at(0).toObject();
    EXPECT_EQ(room["state"].toString(), QStringLiteral("guestOut"));
    EXPECT_EQ(room["kind"].toString(), QStringLiteral("overnight"));
    EXPECT_EQ(room["back"].toString(), QStringLiteral("#ffff00"));
    EXPECT_EQ(room["fore"].toString(), QStringLiteral("#000000"));
    EXPECT_EQ(room["start"].toString(), QStringLiteral("2006-04-01 15:05"));
    EXPECT_TRUE(room["door"].toBool());
    EXPECT_EQ(o["log"].toArray().at(0).toObject()["color"].toString(), QStringLiteral("#ff0000"));
    EXPECT_EQ(o["controller"].toObject()["lastReport"].toString(),
              QStringLiteral("2006-04-01 17:34:59"));
    EXPECT_EQ(o["storageWarning"].toString(), s.storageWarning);
    EXPECT_EQ(o["central"].toObject(), (QJsonObject{{"text", s.centralLink}, {"healthy", true}}));
}
