// A controller block or a desk action is one step on disk, a failed write heals, and no
// background work waits for a person.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QTimer>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "store/StepJournal.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

QByteArray pairs(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) b.append(static_cast<char>(v));
    return b;
}

// A board whose every box holds the work up until released, with a real database and room
// 101 in slot 1 (key 129). A box still open after two seconds is released and counted.
class Unattended : public ::testing::Test {
protected:
    BoardFixture f;
    BlockingDialogs dialogs;
    BoardModel board{{f.clock, f.sound, dialogs, f.lockdown, f.assets, f.session}};
    std::unique_ptr<Database> db;
    std::unique_ptr<RoomRecords> ledger;
    QTimer patience;

    void SetUp() override {
        copyFreshDatabase(f.dataDir());
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        ledger = std::make_unique<RoomRecords>(*db, f.clock, dialogs);
        // As the desk wires them.
        ledger->notice = [this](const QString& text) { board.notify(text); };
        board.purgeTables = [this] { ledger->purge(1); };
        board.setRecords(ledger.get());
        IniStore ini(f.iniPath());
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
        ini.writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 129);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        patience.setSingleShot(true);
        patience.setInterval(2000);
        QObject::connect(&patience, &QTimer::timeout, [this] { dialogs.release(); });
        patience.start();
    }

    QString stored(const QString& section) {
        return IniStore(f.iniPath()).readString(section, QStringLiteral("r1"), QString());
    }
    int steps() {
        const auto rows = rowsOf(*db, QStringLiteral("select seq from tavolen_step"));
        return rows.empty() ? 0 : rows[0][0].toInt();
    }
    std::vector<QStringList> openStays() {
        return rowsOf(*db, QStringLiteral(
                               R"(select roomNum, IDateTime from "Cash.DB" where ODateTime = '')"));
    }
    // The database takes no more pages until the limit is raised again.
    void fillDatabase() {
        sqlite3* raw = db->connection();
        const auto pages = rowsOf(*db, QStringLiteral("PRAGMA page_count"))[0][0];
        sqlite3_exec(raw, qPrintable(QStringLiteral("PRAGMA max_page_count = ") + pages), nullptr,
                     nullptr, nullptr);
        for (int i = 0; i < 10000; ++i) {
            if (sqlite3_exec(raw, R"(insert into "room.DB" (roomNum) values ('filler'))", nullptr,
                             nullptr, nullptr) != SQLITE_OK)
                break;
        }
    }
    void roomForDatabase() {
        sqlite3_exec(db->connection(), "PRAGMA max_page_count = 1000000", nullptr, nullptr,
                     nullptr);
    }
};

TEST_F(Unattended, ABlockIsOneStepThatAStartUpFindsWhole) {
    board.startUp(f.dataDir());
    const int before = steps();
    board.onControllerBlock(pairs({129, 3, 129, 1, 129, 2}));
    EXPECT_EQ(steps(), before + 1);  // one transaction for the three pairs
    EXPECT_EQ(stored(QStringLiteral("rStatus")), storedText(RoomState::DayUse));
    EXPECT_EQ(stored(QStringLiteral("DoorStatus")), QStringLiteral("0"));
    const QString start = stored(QStringLiteral("Time"));
    ASSERT_EQ(openStays().size(), 1u);
    EXPECT_EQ(openStays()[0], (QStringList{"101", start.left(12)}));
    EXPECT_EQ(StepJournal::recover(board.ini(), *db), StepJournal::Recovery::Nothing);

    board.onControllerBlock(pairs({129, 4, 129, 5, 129, 6}));
    EXPECT_EQ(steps(), before + 2);
    EXPECT_EQ(stored(QStringLiteral("rStatus")), storedText(RoomState::Finished));
    EXPECT_TRUE(stored(QStringLiteral("Time")).isEmpty());
    EXPECT_TRUE(openStays().empty());
}

TEST_F(Unattended, AFailedWriteKeepsTheBoardWarnsAndHealsWithTheRepeat) {
    board.startUp(f.dataDir());
    fillDatabase();
    board.onControllerBlock(pairs({129, 3}));
    EXPECT_EQ(board.view(1).labelCaption,
              storedText(RoomState::DayUse));  // the board keeps its state
    EXPECT_FALSE(board.storageWarning().isEmpty());
    EXPECT_TRUE(board.writesPending());
    // Neither store took half of it.
    EXPECT_TRUE(stored(QStringLiteral("rStatus")).isEmpty());
    EXPECT_TRUE(openStays().empty());

    // The controller repeats the event: the board already shows it and skips it, but what the
    // board shows is still on its way to the disk.
    board.onControllerBlock(pairs({129, 3}));
    EXPECT_FALSE(board.storageWarning().isEmpty());
    roomForDatabase();
    board.onControllerBlock(pairs({129, 3}));
    EXPECT_TRUE(board.storageWarning().isEmpty());
    EXPECT_FALSE(board.writesPending());
    EXPECT_EQ(stored(QStringLiteral("rStatus")), storedText(RoomState::DayUse));
    EXPECT_EQ(openStays().size(), 1u);
    EXPECT_EQ(dialogs.held, 0);
    const QStringList log = deskLogLines(f.dataDir());
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QString& l) {
        return l.contains(QStringLiteral("저장 실패"));
    })) << log.join(u'\n').toStdString();
}

TEST_F(Unattended, TheRetryTimerHealsWithoutANewEvent) {
    board.startUp(f.dataDir());
    fillDatabase();
    board.onControllerBlock(pairs({129, 1}));
    ASSERT_FALSE(board.storageWarning().isEmpty());
    roomForDatabase();
    // Nothing else happens at the desk; the board tries again by itself.
    QTimer::singleShot(BoardModel::kRetryMs + 2000, [] { QCoreApplication::exit(); });
    patience.stop();
    QCoreApplication::exec();
    EXPECT_TRUE(board.storageWarning().isEmpty());
    EXPECT_EQ(stored(QStringLiteral("DoorStatus")), QStringLiteral("1"));
}

TEST_F(Unattended, APurgeFailureDoesNotHoldTheMinuteTick) {
    board.startUp(f.dataDir());
    board.onControllerBlock(pairs({129, 3}));
    board.slot(1).morningCall = QStringLiteral("2006-04-01 17:37");
    execSql(*db, QStringLiteral(R"(Drop Table "room.DB")"));  // the history purge now fails
    const qint32 elapsed = board.slot(1).elapsed;

    for (int minute = 1; minute <= 2; ++minute) {
        f.clock.advanceMinutes(1);
        board.onMinuteTick();
    }
    EXPECT_EQ(dialogs.held, 0);
    EXPECT_EQ(board.slot(1).elapsed, elapsed + 2);
    ASSERT_FALSE(f.sound.played.isEmpty());
    EXPECT_TRUE(f.sound.played.last().endsWith(QStringLiteral("Alram.wav")));
    EXPECT_TRUE(board.notice().contains(QStringLiteral("room.DB"))) << board.notice().toStdString();
    EXPECT_TRUE(board.notice().startsWith(QStringLiteral("17:36 ")));
    EXPECT_TRUE(deskLogLines(f.dataDir()).last().contains(QStringLiteral("room.DB")));
}

TEST_F(Unattended, ABlockIsAppliedWhileAnEarlierErrorIsOnTheBoard) {
    board.startUp(f.dataDir());
    execSql(*db, QStringLiteral(R"(Drop Table "Cash.DB")"));
    board.onControllerBlock(pairs({129, 3}));  // the stay's ledger row is refused
    EXPECT_TRUE(board.notice().endsWith(QStringLiteral("요금이 초기저장이 되지 않았습니다")));

    board.onControllerBlock(pairs({129, 4}));
    EXPECT_EQ(dialogs.held, 0);
    EXPECT_EQ(board.view(1).labelCaption, storedText(RoomState::CheckedOut));
    EXPECT_EQ(stored(QStringLiteral("rStatus")), storedText(RoomState::CheckedOut));
    EXPECT_EQ(rowsOf(*db, QStringLiteral(R"(select Action from "room.DB")")).size(), 2u);
    EXPECT_TRUE(board.notice().endsWith(QStringLiteral("요금이 초기저장이 되지 않았습니다")));
}

TEST_F(Unattended, StartUpWithoutTheSerialPortRestoresTheBoardAndRunsItsClocks) {
    IniStore(f.iniPath())
        .writeString(QStringLiteral("rStatus"), QStringLiteral("r1"),
                     storedText(RoomState::DayUse));
    IniStore(f.iniPath())
        .writeString(QStringLiteral("Time"), QStringLiteral("r1"),
                     StayTime::startingAt(f.clock.now().addSecs(-600)).stored());
    QStringList started;
    BoardSeams seams;
    seams.startSecondTimer = [&] { started << "second"; };
    seams.openPort = [](const QString& port) {
        throw TavolenError(QStringLiteral("Error opening %1 port").arg(port));
    };
    seams.showBorderlessMaximised = [&] { started << "shown"; };
    seams.startMinuteTimer = [&] { started << "minute"; };
    board.startUp(f.dataDir(), seams);

    EXPECT_EQ(dialogs.held, 0);
    EXPECT_EQ(started, (QStringList{"second", "shown", "minute"}));
    EXPECT_EQ(board.view(1).labelCaption, storedText(RoomState::DayUse));
    EXPECT_TRUE(board.notice().contains(QStringLiteral("Error opening COM2 port")));
    f.clock.advanceMinutes(1);
    board.onMinuteTick();
    EXPECT_EQ(board.view(1).elapsedText, QStringLiteral("0:11"));
}

TEST_F(Unattended, TheDesksBoardWritesABlockRightAfterPaintingIt) {
    board.setWriteAfterPaint(true);
    board.startUp(f.dataDir());
    board.onControllerBlock(pairs({129, 3}));
    board.onControllerBlock(pairs({129, 1}));
    EXPECT_EQ(board.view(1).labelCaption, storedText(RoomState::DayUse));
    EXPECT_TRUE(stored(QStringLiteral("rStatus")).isEmpty());  // not yet: the paint goes first
    board.painted();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(stored(QStringLiteral("rStatus")), storedText(RoomState::DayUse));
    EXPECT_EQ(stored(QStringLiteral("DoorStatus")), QStringLiteral("1"));
    EXPECT_FALSE(board.writesPending());

    // No paint comes (the window is covered, say): the step is written all the same.
    board.onControllerBlock(pairs({129, 2}));
    QTimer::singleShot(BoardModel::kPaintWaitMs + 100, [] { QCoreApplication::exit(); });
    QCoreApplication::exec();
    EXPECT_EQ(stored(QStringLiteral("DoorStatus")), QStringLiteral("0"));
}

}  // namespace
