#include <gtest/gtest.h>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/IniStore.h"
#include "support/Fakes.h"

namespace {

class Clocks : public ::testing::Test {
protected:
    BoardFixture f;
    void SetUp() override { f.start(); }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) f.board.onMinuteTick();
    }
    // Minutes of the clock pass, each with its tick.
    void pass(int minutes) {
        for (int i = 0; i < minutes; ++i) {
            f.clock.advanceMinutes(1);
            tick();
        }
    }
};

TEST_F(Clocks, ElapsedTimeTurnsLimeAfter180Minutes) {
    f.board.clockHour = 9;
    f.board.clockMinute = 5;
    f.board.startClock(3);
    EXPECT_EQ(f.board.view(3).startText, QStringLiteral("9:5"));
    EXPECT_EQ(f.board.view(3).elapsedText, QStringLiteral("0:0"));
    pass(180);
    EXPECT_EQ(f.board.view(3).elapsedText, QStringLiteral("3:0"));
    EXPECT_EQ(f.board.view(3).elapsedFontColor, Colors::White);
    pass(1);
    EXPECT_EQ(f.board.view(3).elapsedText, QStringLiteral("3:1"));
    EXPECT_EQ(f.board.view(3).elapsedFontColor, Colors::Lime);
}

TEST_F(Clocks, CheckOutHidesTheCountUntilTheStayGoesOn) {
    f.board.clockHour = 10;
    f.board.clockMinute = 0;
    f.board.startClock(1);
    pass(30);
    f.board.clockHour = 10;
    f.board.clockMinute = 30;
    f.board.showCheckoutTime(1);
    pass(10);
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("10:30"));  // the check-out time stays
    f.board.showElapsedTime(1);
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("0:40"));  // counted all along
    pass(1);
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("0:41"));
    f.board.startFinishedClock(1);
    EXPECT_EQ(f.board.view(1).startText, QString());
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("0:0"));
    pass(1);
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("0:1"));  // how long it has been ready
}

// A call sounds once, on the first tick at or after its minute, whether the
// room's clock runs or not.
TEST_F(Clocks, MorningCallSoundsOnceFromItsMinute) {
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(6, 58, 30)));
    f.board.startClock(4);
    f.board.slot(4).morningCall = QStringLiteral("2006-04-02 07:00");
    f.board.slot(5).morningCall = QStringLiteral("2006-04-02 07:00");  // its clock is off
    for (int i = 0; i < 4; ++i) {
        tick();
        f.clock.advanceMinutes(1);
    }
    ASSERT_EQ(f.sound.played.size(), 2);
    EXPECT_TRUE(f.sound.played[0].endsWith(QStringLiteral("Alram.wav")));
    EXPECT_EQ(f.board.view(4).startColor, Colors::Orange);
    EXPECT_EQ(f.board.view(5).startColor, Colors::Orange);
    EXPECT_EQ(f.board.slot(4).morningCall, QStringLiteral("2006-04-02 07:00"));  // left set
}

TEST_F(Clocks, LateTickStillSoundsTheCallItPassedOnce) {
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(6, 59, 50)));
    f.board.slot(4).morningCall = QStringLiteral("2006-04-02 07:00");
    tick();
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(7, 3, 10)));  // the 7:00 tick never came
    tick();
    EXPECT_EQ(f.sound.played.size(), 1);
    f.clock.advanceMinutes(1);
    tick();
    EXPECT_EQ(f.sound.played.size(), 1);
    // A new call of the room sounds again.
    f.board.setMorningCall(4, QStringLiteral("2006-04-02 07:10"),
                           QStringLiteral("2006-04-02 07:04"));
    EXPECT_EQ(f.board.view(4).startColor, Colors::Magenta);
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(7, 10, 0)));
    tick();
    EXPECT_EQ(f.sound.played.size(), 2);
}

TEST(MorningCallAtStartUp, LateCallsRingOnceAndOlderOnesShowAsMissed) {
    // The board starts at 07:00:20, after a power cut.
    const struct {
        const char* call;
        WinColor colourAtStart;
        bool ringsAtFirstTick;
        bool loggedMissed;
    } cases[] = {
        {"2006-04-02 06:59", Colors::Orange, true, false},
        {"2006-04-02 06:30", Colors::Orange, true, false},  // 30 minutes late: still rings
        {"2006-04-02 06:29", Colors::Red, false, true},
        {"2006-04-01 07:00", Colors::Red, false, true},
        {"2006-04-02 07:00", Colors::Black, true, false},  // its own minute
        {"2006-04-02 07:01", Colors::Magenta, false, false},
    };
    BoardFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 2), QTime(7, 0, 20)));
    IniStore ini(f.iniPath());
    int slot = 0;
    for (const auto& c : cases) {
        ++slot;
        ini.writeString(QStringLiteral("Alram"), QStringLiteral("r%1").arg(slot),
                        QString::fromLatin1(c.call));
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(slot),
                        QString::number(100 + slot));
    }
    f.start();
    f.board.onMinuteTick();
    slot = 0;
    int rings = 0;
    for (const auto& c : cases) {
        ++slot;
        SCOPED_TRACE(c.call);
        const QString missedLine = QStringLiteral("%1호 모닝콜놓침").arg(100 + slot);
        EXPECT_EQ(f.board.eventLog().lines().contains(missedLine), c.loggedMissed);
        if (c.ringsAtFirstTick) {
            ++rings;
            EXPECT_EQ(f.board.view(slot).startColor, Colors::Orange);
        } else {
            EXPECT_EQ(f.board.view(slot).startColor, c.colourAtStart);
        }
    }
    EXPECT_EQ(f.sound.played.size(), rings);
    f.board.onMinuteTick();
    EXPECT_EQ(f.sound.played.size(), rings) << "each rings once";
}

TEST_F(Clocks, MinuteTickPurgesFirstAndRecounts) {
    QStringList order;
    f.board.purgeTables = [&] { order << f.board.left().dayUseCountText; };
    f.board.slot(2).state = RoomState::DayUse;  // unannounced: only the tick counts it
    tick();
    EXPECT_EQ(order, QStringList{QStringLiteral("대실:0")});  // purged before the recount
    EXPECT_EQ(f.board.left().dayUseCountText, QStringLiteral("대실:1"));
}

TEST(ClockRebuild, RebuildsEveryClockFromTheStoredStay) {
    BoardFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(19, 35)));
    const QString started = StayTime::startingAt(QDateTime(QDate(2006, 4, 1), QTime(17, 35)))
                                .stored();  // 120 minutes ago
    const struct {
        const char* status;
        quint8 clockOn, showElapsed;
        qint32 elapsed;
        const char* start;
        const char* elapsedText;
    } cases[] = {
        {"대 실", 1, 1, 120, "17:35", ""},
        {"숙 박", 1, 1, 120, "17:35", ""},
        {"청 소", 1, 1, 120, "17:35", ""},
        {"외 출", 1, 0, 120, "17:35", "18:5"},  // the check-out time, as before the restart
        {"퇴 실", 1, 0, 120, "17:35", "18:5"},
        {"완 료", 0, 0, 0, "", ""},
        {"", 0, 0, 0, "", ""},
    };
    {
        IniStore ini(f.iniPath());
        int n = 0;
        for (const auto& c : cases) {
            const QString k = QStringLiteral("r%1").arg(++n);
            ini.writeString(QStringLiteral("rStatus"), k, QString::fromUtf8(c.status));
            ini.writeString(QStringLiteral("Time"), k, started);
            ini.writeString(QStringLiteral("TimeEnd"), k, QStringLiteral("18:5"));
        }
        ini.writeString(QStringLiteral("rStatus"), QStringLiteral("r8"),
                        storedText(RoomState::DayUse));
        ini.writeString(QStringLiteral("Time"), QStringLiteral("r8"),
                        QStringLiteral("2006o4011735xx"));
    }
    f.start();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const RoomSlot& s = f.board.slot(++n);
        EXPECT_EQ(s.clockRunning, c.clockOn);
        EXPECT_EQ(s.showElapsed, c.showElapsed);
        EXPECT_EQ(s.elapsed, c.elapsed);
        EXPECT_EQ(f.board.view(n).startText, QString::fromUtf8(c.start));
        EXPECT_EQ(f.board.view(n).elapsedText, QString::fromUtf8(c.elapsedText));
    }
    // A damaged start counts from now.
    EXPECT_EQ(f.board.slot(8).clockRunning, 1);
    EXPECT_EQ(f.board.slot(8).elapsed, 0);

    f.board.onMinuteTick();
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("2:0"));   // the first tick shows it
    EXPECT_EQ(f.board.view(4).elapsedText, QStringLiteral("18:5"));  // out: hidden
    EXPECT_EQ(f.board.view(5).elapsedText, QStringLiteral("18:5"));  // checked out: hidden
}

TEST(SecondTick, ShowsDateAndTimeAndFadesTheHighlightOnTheFifthTick) {
    BoardFixture f;
    f.start();
    f.clock.set(QDateTime(QDate(2000, 4, 1), QTime(9, 5, 7)));
    f.board.editView(9).panelColor = Colors::Red;
    f.board.highlightedSlot = QStringLiteral("9");
    f.board.highlightTicks = 1;
    for (int i = 1; i <= 4; ++i) {
        f.board.onSecondTick();
        EXPECT_EQ(f.board.view(9).panelColor, Colors::Red) << i;
    }
    f.board.onSecondTick();
    EXPECT_EQ(f.board.view(9).panelColor, Colors::PanelNormal);
    EXPECT_EQ(f.board.highlightTicks, 0);
    EXPECT_EQ(f.board.previousHighlightedSlot, QStringLiteral("9"));
    EXPECT_EQ(f.board.left().date, QStringLiteral("2000-04-01토"));
    EXPECT_EQ(f.board.left().time, QStringLiteral("09:05:07"));
    EXPECT_EQ(f.board.clockHour, 9);
    EXPECT_EQ(f.board.clockMinute, 5);
}

TEST(SecondTick, WeekdaysAreOneKoreanSyllable) {
    const QString expected[] = {QStringLiteral("월"), QStringLiteral("화"), QStringLiteral("수"),
                                QStringLiteral("목"), QStringLiteral("금"), QStringLiteral("토"),
                                QStringLiteral("일")};
    for (int d = 1; d <= 7; ++d) EXPECT_EQ(BoardModel::weekdayName(d), expected[d - 1]);
}

}  // namespace
