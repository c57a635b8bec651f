#include <gtest/gtest.h>

#include <QFile>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/IniStore.h"
#include "support/Fakes.h"

namespace {

class BoardStart : public ::testing::Test {
protected:
    BoardFixture f;
    IniStore ini{f.iniPath()};

    void room(int n, const QString& name, const QString& status, int sleep) {
        const QString k = QStringLiteral("r%1").arg(n);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n), name);
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.writeString(QStringLiteral("rStatus"), k, status);
        ini.writeInteger(QStringLiteral("Sleep"), k, sleep);
    }
};

struct PaintCase {
    const char* status;
    int sleep;
    const char* caption;
    WinColor font;
    WinColor back;
    const char* picture;
    const char* glyph;
};

TEST_F(BoardStart, PaintsEveryStateWithItsLookAndGlyph) {
    const PaintCase cases[] = {
        {"", 0, "완 료", Colors::White, Colors::Green, "", "imp.bmp"},
        {"", 1, "완 료", Colors::Black, Colors::LightPink, "", "moon.bmp"},
        {"완 료", 0, "완 료", Colors::White, Colors::Green, "", "imp.bmp"},
        {"완 료", 1, "완 료", Colors::Black, Colors::LightPink, "", "moon.bmp"},
        {"대 실", 1, "대 실", Colors::White, Colors::Blue, "bed.bmp", "imp.bmp"},
        {"숙 박", 0, "숙 박", Colors::White, Colors::Red, "night.bmp", "moon.bmp"},
        {"청 소", 1, "청 소", Colors::White, Colors::Gray, "Clean.bmp", "moon.bmp"},
        {"청 소", 0, "청 소", Colors::White, Colors::Gray, "Clean.bmp", "imp.bmp"},
        {"퇴 실", 1, "퇴 실", Colors::White, Colors::Purple, "withOut.bmp", "moon.bmp"},
        {"외 출", 0, "외 출", Colors::Black, Colors::Yellow, "withOut.bmp", "imp.bmp"},
        // A label the board does not know: a ready room, reported below.
        {"엉 망", 1, "완 료", Colors::Black, Colors::LightPink, "", "moon.bmp"},
    };
    int n = 0;
    for (const auto& c : cases) {
        ++n;
        room(n, QStringLiteral("1%1").arg(n, 2, 10, QLatin1Char('0')), QString::fromUtf8(c.status),
             c.sleep);
    }
    f.start();
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();
    n = 0;
    for (const auto& c : cases) {
        const SlotView& v = f.board.view(++n);
        SCOPED_TRACE(std::string(c.status) + " sleep " + std::to_string(c.sleep));
        EXPECT_EQ(v.labelCaption, QString::fromUtf8(c.caption));
        EXPECT_EQ(v.labelFontColor, c.font);
        EXPECT_EQ(v.labelColor, c.back);
        EXPECT_EQ(v.stateImage, QString::fromUtf8(c.picture));
        EXPECT_EQ(v.kindGlyphFile, QString::fromUtf8(c.glyph));
        EXPECT_TRUE(v.visible);
    }
    EXPECT_EQ(f.board.notice(),
              QStringLiteral("17:35 객실 상태를 알 수 없어 완료로 보입니다: 11번 \"엉 망\""));
    EXPECT_EQ(f.board.slot(11).state, RoomState::Finished);
    EXPECT_EQ(f.board.slot(10).guestOut, true);  // a guest who was out is still out
    EXPECT_EQ(f.board.slot(9).guestOut, false);
}

TEST_F(BoardStart, RoomNumbersPanelsAndDoors) {
    room(1, QStringLiteral("101"), QString(), 0);
    room(2, QStringLiteral("12"), QString(), 0);
    ini.writeInteger(QStringLiteral("DoorStatus"), QStringLiteral("r1"), 1);
    ini.writeString(QStringLiteral("Name"), QStringLiteral("LName3"), QStringLiteral("303"));
    f.start();

    EXPECT_EQ(f.board.view(1).buttonCaption, QStringLiteral("101"));
    EXPECT_TRUE(f.board.view(1).kindVisible);
    EXPECT_EQ(f.board.view(1).doorImage, QStringLiteral("door.bmp"));
    EXPECT_EQ(f.board.view(2).buttonCaption, QStringLiteral("호수"));
    EXPECT_FALSE(f.board.view(2).kindVisible);
    EXPECT_EQ(f.board.view(2).doorImage, QString());
    // No panel: restored and painted, but hidden.
    EXPECT_FALSE(f.board.view(3).visible);
    EXPECT_EQ(f.board.view(3).buttonCaption, QStringLiteral("303"));
    // A missing Name reads as the slot number, which is too short to show.
    EXPECT_EQ(f.board.slot(7).roomName, QStringLiteral("7"));
    EXPECT_EQ(f.board.view(7).buttonCaption, QStringLiteral("호수"));
}

TEST_F(BoardStart, MorningCallColoursAgainstTheStartMinute) {
    f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(7, 30, 42)));
    const struct {
        const char* alarm;
        WinColor colour;
    } cases[] = {{"2006-04-01 07:31", Colors::Magenta},
                 {"2006-04-01 07:30", Colors::Black},
                 {"2006-04-01 07:29", Colors::Orange},
                 {"", Colors::Black}};
    int n = 0;
    for (const auto& c : cases)
        ini.writeString(QStringLiteral("Alram"), QStringLiteral("r%1").arg(++n),
                        QString::fromUtf8(c.alarm));
    f.start();
    n = 0;
    for (const auto& c : cases) EXPECT_EQ(f.board.view(++n).startColor, c.colour) << c.alarm;
}

TEST_F(BoardStart, MissingFileGivesTheDefaults) {
    f.start();
    EXPECT_TRUE(f.dialogs.errors.isEmpty());
    EXPECT_EQ(f.board.portName, QStringLiteral("COM2"));
    EXPECT_EQ(f.board.ledgerMonths, 1);
    for (int n : {1, 36, 72}) {
        EXPECT_FALSE(f.board.view(n).visible);
        EXPECT_EQ(f.board.view(n).labelCaption, storedText(RoomState::Finished));
        EXPECT_EQ(f.board.view(n).labelColor, Colors::Green);
        EXPECT_EQ(f.board.view(n).buttonCaption, QStringLiteral("호수"));
    }
}

TEST_F(BoardStart, FailedStepsAreShownAndTheRestStillRuns) {
    room(1, QStringLiteral("101"), storedText(RoomState::DayUse), 0);
    QFile broken(QDir(f.dataDir()).filePath(QStringLiteral("bed.bmp")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();

    QStringList steps;
    BoardSeams seams;
    seams.startSecondTimer = [&] { steps << "second"; };
    seams.openDatabase = [&]() -> bool { throw TavolenError(QStringLiteral("db down")); };
    seams.openPort = [&](const QString& port) {
        steps << port;
        throw TavolenError(QStringLiteral("Error opening COM2 port"));
    };
    seams.showBorderlessMaximised = [&] { steps << "shown"; };
    seams.startMinuteTimer = [&] { steps << "minute"; };
    f.start(seams);

    // Nothing waited for a person: the failures are on the message line, in
    // the order they happened, and in the log, once the board is up.
    EXPECT_TRUE(f.dialogs.errors.isEmpty());
    const QString notice = f.board.notice();
    const qsizetype db = notice.indexOf(QStringLiteral("db down"));
    const qsizetype port = notice.indexOf(QStringLiteral("Error opening COM2 port"));
    const qsizetype picture = notice.indexOf(QStringLiteral("bed.bmp"));
    EXPECT_TRUE(db >= 0 && port > db && picture > port) << notice.toStdString();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("17:35 "))) << notice.toStdString();
    const QStringList log = deskLogLines(f.dataDir());
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("2006-04-01 17:35:00 db down")))
        << log[0].toStdString();
    EXPECT_EQ(steps, (QStringList{"second", "COM2", "shown", "minute"}));
    EXPECT_EQ(f.lockdown.calls, (QStringList{"hideTaskBar", "armKeyboardFilter"}));
    // The room is restored and its number shown despite its missing picture.
    EXPECT_EQ(f.board.view(1).buttonCaption, QStringLiteral("101"));
    EXPECT_EQ(f.board.view(1).labelCaption, storedText(RoomState::DayUse));
    EXPECT_TRUE(f.board.view(1).visible);
}

TEST_F(BoardStart, FirstStartSwitchesTheLogonAndRestarts) {
    BoardSeams seams;
    seams.openDatabase = [] { return true; };
    f.start(seams);
    EXPECT_EQ(f.lockdown.calls, (QStringList{"installKioskSession", "restartComputer",
                                             "hideTaskBar", "armKeyboardFilter"}));
}

TEST(BoardCounts, CountOccupiedRoomsByStayKind) {
    BoardFixture f;
    f.start();
    const struct {
        int slot;
        RoomState state;
        StayKind kind;
    } rooms[] = {{1, RoomState::DayUse, StayKind::DayUse},
                 {2, RoomState::Overnight, StayKind::Overnight},
                 {3, RoomState::CheckedOut, StayKind::Overnight},
                 {4, RoomState::Cleaning, StayKind::DayUse},
                 {5, RoomState::Finished, StayKind::Overnight},
                 {6, RoomState::GuestOut, StayKind::DayUse},
                 {72, RoomState::CheckedOut, StayKind::DayUse}};
    for (const auto& r : rooms) {
        f.board.slot(r.slot).state = r.state;
        f.board.slot(r.slot).kind = r.kind;
    }
    f.board.recountStays();
    EXPECT_EQ(f.board.left().dayUseCountText, QStringLiteral("대실:4"));
    EXPECT_EQ(f.board.left().overnightCountText, QStringLiteral("숙박:2"));
}

// The picture follows from the state alone, as a restarted board shows it.
TEST(BoardLooks, PictureFollowsTheStateAlone) {
    BoardFixture f;
    f.start();
    const auto show = [&](RoomState state, StayKind kind) {
        f.board.slot(5).state = state;
        f.board.slot(5).kind = kind;
        f.board.showState(5);
    };
    show(RoomState::Cleaning, StayKind::DayUse);
    show(RoomState::GuestOut, StayKind::DayUse);
    EXPECT_EQ(f.board.view(5).stateImage, QStringLiteral("withOut.bmp"));
    show(RoomState::Finished, StayKind::Overnight);
    EXPECT_EQ(f.board.view(5).stateImage, QString());
    f.board.markChanged(5, ChangeMark::Desk);
    EXPECT_EQ(f.board.view(5).buttonFontColor, Colors::Maroon);
    f.board.markChanged(5, ChangeMark::None);
    EXPECT_EQ(f.board.view(5).buttonFontColor, Colors::Maroon);
    f.board.markChanged(5, ChangeMark::Controller);
    EXPECT_EQ(f.board.view(5).buttonFontColor, Colors::Navy);
}

TEST(BoardSavers, EverySavedValueComesBackAfterARestart) {
    BoardFixture f;
    f.start();
    RoomSlot& s = f.board.slot(12);
    s.roomName = QStringLiteral("512");
    s.state = RoomState::GuestOut;
    s.kind = StayKind::Overnight;
    s.stayStart = StayTime::fromStored(QStringLiteral("2006040117353284255"));
    s.checkoutTime = QStringLiteral("9:5");
    s.overnightFee = 50000;
    s.dayUseFee = 30000;
    s.morningCall = QStringLiteral("2006-04-02 07:00");
    s.keyCode = 0xFFFF;
    s.doorOpen = 1;
    f.board.editView(12).hint = QStringLiteral("창가 쪽 방, 담요 추가");
    for (auto saver : {&BoardModel::saveRoomName, &BoardModel::saveState, &BoardModel::saveStayKind,
                       &BoardModel::saveStayStart, &BoardModel::saveCheckoutTime,
                       &BoardModel::saveFees, &BoardModel::saveKeyCode, &BoardModel::saveDoor})
        (f.board.*saver)(12);
    f.board.saveMorningCall(12);
    f.board.saveMemo(12);

    ScriptedDialogs dialogs;
    BoardModel again({f.clock, f.sound, dialogs, f.lockdown, f.assets, f.session});
    again.startUp(f.dataDir());
    const RoomSlot& r = again.slot(12);
    EXPECT_EQ(r.roomName, s.roomName);
    EXPECT_EQ(r.state, s.state);
    EXPECT_EQ(r.kind, StayKind::Overnight);
    EXPECT_EQ(r.stayStart, s.stayStart);
    EXPECT_EQ(r.checkoutTime, s.checkoutTime);
    EXPECT_EQ(r.overnightFee, 50000);
    EXPECT_EQ(r.dayUseFee, 30000);
    EXPECT_EQ(r.morningCall, s.morningCall);  // saved under "alram", read under "Alram"
    EXPECT_EQ(r.keyCode, 0xFFFF);
    EXPECT_EQ(r.doorOpen, 1);
    EXPECT_EQ(again.view(12).hint, QStringLiteral("창가 쪽 방, 담요 추가"));
    EXPECT_EQ(again.slot(12).guestOut, true);
}

TEST(BoardSavers, NeverSavesASlotThatWasNotRestored) {
    BoardFixture f;
    EXPECT_THROW(f.board.saveState(3), TavolenError);
    EXPECT_FALSE(QFile::exists(f.iniPath()));
}

TEST(StayTimeTest, CountsMinutesInYearsOf365Days) {
    const struct {
        const char* text;
        qint64 stamp;
    } cases[] = {
        {"200001010000", 0},
        {"200001010001", 1},
        {"200002010000", 44640},
        {"200012312359", 525599},
        {"200101010000", 525600},
        {"200604011735", 3284255},
        {"200802290000", minuteCount(QStringLiteral("200803010000"))},  // no leap day
        {"202412310000", 24 * 525600 + 480960 + 30 * 1440},
    };
    for (const auto& c : cases)
        EXPECT_EQ(minuteCount(QString::fromUtf8(c.text)), c.stamp) << c.text;
    EXPECT_EQ(StayTime::startingAt(QDateTime(QDate(2006, 4, 1), QTime(17, 35, 59))).stored(),
              QStringLiteral("2006040117353284255"));
}

// The stamp read back reads as the date-time parser of the format reads it.
TEST(StayTimeTest, MomentOfStampReadsAsTheFormatParser) {
    for (const char* text :
         {"200604011735", "200002291200", "202412312359", "200102291200", "200613011200",
          "200604312400", "200604011760", "20060401173", "2006040117355", "2006o4011735",
          "+20604011735", " 200604011735", ""}) {
        const QString stamp = QString::fromUtf8(text);
        const QDateTime parsed = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmm"));
        const QDateTime read = momentOfStamp(stamp);
        EXPECT_EQ(read.isValid(), parsed.isValid()) << text;
        if (parsed.isValid()) {
            EXPECT_EQ(read, parsed) << text;
        }
    }
}

}  // namespace
