#include <gtest/gtest.h>

#include "board/EventLog.h"

namespace {

EventLog logWith(int lines) {
    EventLog log;
    for (int i = 0; i < lines; ++i) log.logEvent(QStringLiteral("문열림"), QString::number(i));
    return log;
}

TEST(EventLogTest, KeepsAtMost500LinesWhileTheNewestIsSelected) {
    EventLog log = logWith(499);
    log.logEvent(QStringLiteral("완료"), QStringLiteral("101"));
    EXPECT_EQ(log.lines().size(), 500);
    EXPECT_EQ(log.lines().first(), QStringLiteral("0호 문열림"));

    log.logEvent(QStringLiteral("대실"), QStringLiteral("102"));
    EXPECT_EQ(log.lines().size(), 500);
    EXPECT_EQ(log.lines().first(), QStringLiteral("1호 문열림"));
    EXPECT_EQ(log.lines().last(), QStringLiteral("102호 대실"));
    EXPECT_EQ(log.lineColor(499), std::optional<LogColor>(0xFF0000u));  // trimmed along
    EXPECT_EQ(log.lineColor(498), std::optional<LogColor>(0x008000u));
    EXPECT_EQ(log.selected(), 499);
}

TEST(EventLogTest, AnEarlierSelectedLineLetsTheLogGrow) {
    EventLog log = logWith(500);
    log.select(10);
    log.logEvent(QStringLiteral("청소"), QStringLiteral("103"));
    EXPECT_EQ(log.lines().size(), 501);
    EXPECT_EQ(log.selected(), 500);
}

TEST(EventLogTest, LabelsTakeTheColourOfTheWord) {
    const struct {
        const char* word;
        LogColor colour;
    } cases[] = {
        {"문열림", std::nullopt}, {"대실", 0xFF0000u}, {"대실취소", 0xFF0000u},
        {"숙박전환", 0x0000FFu},  {"외출", 0x00FFFFu}, {"퇴실", 0x800080u},
        {"청소", 0x808080u},      {"완료", 0x008000u},
    };
    for (const auto& c : cases) {
        EventLog log;
        log.logEvent(QString::fromUtf8(c.word), QStringLiteral("101"));
        EXPECT_EQ(log.lastEventWordColor(), c.colour) << c.word;
        EXPECT_EQ(log.lastEventRoomColor(), c.colour) << c.word;
        EXPECT_EQ(log.lastEventWord(), QString::fromUtf8(c.word));
        EXPECT_EQ(log.lastEventRoom(), QStringLiteral("101 호"));
        EXPECT_EQ(log.lines().last(), QStringLiteral("101호 ") + QString::fromUtf8(c.word));
    }
}

TEST(EventLogTest, AWordOutsideTheTableKeepsThePreviousColours) {
    EventLog log;
    EXPECT_EQ(log.lastEventWord(), QStringLiteral("신호대기"));
    EXPECT_EQ(log.lastEventRoom(), QStringLiteral("신호대기"));
    log.logEvent(QStringLiteral("숙박"), QStringLiteral("201"));
    log.logEvent(QStringLiteral("객실교체"), QStringLiteral("202"));
    EXPECT_EQ(log.lastEventWordColor(), LogColor(0x0000FFu));
    EXPECT_EQ(log.lastEventWord(), QStringLiteral("객실교체"));
    EXPECT_FALSE(log.lineColor(1).has_value());
}

TEST(EventLogTest, LinesTakeTheColourOfTheirEvent) {
    EventLog log;
    // A room number holding an event word does not colour the line.
    log.logEvent(QStringLiteral("완료"), QStringLiteral("대실A"));
    log.logEvent(QStringLiteral("문닫힘"), QStringLiteral("101"));
    EXPECT_EQ(log.lineColor(0), std::optional<LogColor>(0x008000u));
    EXPECT_EQ(log.lineColor(1), std::optional<LogColor>(std::in_place, std::nullopt));
}

}  // namespace
