#include <gtest/gtest.h>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values) b.append(static_cast<char>(v));
    return b;
}

// A board with a real database and rooms 101 (slot 1, key 129) and 102
// (slot 2, key 130).
class Controller : public ::testing::Test {
protected:
    BoardFixture f;
    std::unique_ptr<Database> db;
    std::unique_ptr<RoomRecords> ledger;

    void SetUp() override {
        copyFreshDatabase(f.dataDir());
        db = std::make_unique<Database>(f.dataDir());
        db->open();
        ledger = std::make_unique<RoomRecords>(*db, f.clock, f.dialogs);
        f.board.setRecords(ledger.get());
        {
            IniStore ini(f.iniPath());
            for (int n : {1, 2}) {
                const QString k = QStringLiteral("r%1").arg(n);
                ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                                QString::number(100 + n));
                ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
                ini.writeInteger(QStringLiteral("RoomKey"), k, 128 + n);
                ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd%1").arg(n), 30000);
                ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs%1").arg(n), 50000);
            }
        }
        f.start();
    }

    // Puts slot n into a state (its stored text) as the board would show it.
    void put(int n, const QString& state, int sleep, int outMark) {
        RoomSlot& s = f.board.slot(n);
        s.kind = kindFromStored(sleep);
        s.guestOut = outMark == 1;
        s.state = stateFromStored(state).value();
        f.board.showState(n);
        if (state != storedText(RoomState::Finished)) {
            s.stayStart = StayTime::startingAt(f.clock.now().addSecs(-3600));
            f.board.openLedgerRow(n);
        }
    }

    std::vector<QStringList> history() {
        return rowsOf(
            *db, QStringLiteral("select roomNum, Action, Comm from \"room.DB\" order by rowid"));
    }
    std::vector<QStringList> ledgerRows() {
        return rowsOf(
            *db,
            QStringLiteral("select roomNum, IDateTime, ODateTime, Action, Cash from \"Cash.DB\""));
    }
    QString stored(const QString& section, int n) {
        return IniStore(f.iniPath())
            .readString(section, QStringLiteral("r%1").arg(n), QStringLiteral("?"));
    }
};

TEST_F(Controller, EveryEventInEveryState) {
    const struct {
        const char* state;
        int sleep, outMark, code;
        const char* label;   // nullptr: ignored
        const char* action;  // history row
        const char* comm;
    } cases[] = {
        {"완 료", 0, 0, 1, "완 료", "문열림", "1"},   {"완 료", 0, 0, 2, "완 료", "문닫힘", "1"},
        {"완 료", 0, 0, 3, "대 실", "대실", "1"},     {"완 료", 1, 0, 3, "숙 박", "숙박", "1"},
        {"완 료", 0, 0, 4, nullptr, "", ""},          {"완 료", 0, 0, 5, "청 소", "청소", "1"},
        {"완 료", 0, 0, 6, "완 료", "완료", "1"},     {"완 료", 0, 1, 6, "외 출", "외출", "0"},
        {"대 실", 0, 0, 1, "대 실", "문열림", "1"},   {"대 실", 0, 0, 3, "대 실", "대실유지", "1"},
        {"대 실", 0, 0, 4, "퇴 실", "퇴실", "1"},     {"대 실", 0, 0, 5, "청 소", "청소", "1"},
        {"대 실", 0, 0, 6, nullptr, "", ""},          {"대 실", 0, 1, 6, nullptr, "", ""},
        {"숙 박", 1, 0, 3, "숙 박", "숙박유지", "1"}, {"숙 박", 1, 0, 4, "퇴 실", "퇴실", "1"},
        {"숙 박", 1, 0, 5, "청 소", "청소", "1"},     {"숙 박", 1, 0, 6, nullptr, "", ""},
        {"청 소", 1, 0, 3, "숙 박", "숙박유지", "1"}, {"청 소", 0, 0, 4, "퇴 실", "퇴실", "1"},
        {"청 소", 0, 0, 5, "청 소", "청소", "1"},     {"청 소", 0, 0, 6, "완 료", "완료", "1"},
        {"청 소", 0, 1, 6, "외 출", "외출", "0"},     {"퇴 실", 0, 0, 3, "대 실", "대실유지", "1"},
        {"퇴 실", 0, 0, 4, "퇴 실", "퇴실", "1"},     {"퇴 실", 1, 0, 5, "청 소", "청소", "1"},
        {"퇴 실", 1, 0, 6, "완 료", "완료", "1"},     {"퇴 실", 0, 1, 6, "외 출", "외출", "0"},
        {"외 출", 1, 1, 3, "숙 박", "숙박유지", "1"}, {"외 출", 0, 1, 4, "퇴 실", "퇴실", "1"},
        {"외 출", 0, 1, 5, "청 소", "청소", "1"},     {"외 출", 0, 0, 6, "완 료", "완료", "1"},
        {"외 출", 0, 1, 6, "외 출", "외출", "0"},     {"외 출", 0, 1, 2, "외 출", "문닫힘", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " sleep " + std::to_string(c.sleep) + " out " +
                     std::to_string(c.outMark) + " event " + std::to_string(c.code));
        execSql(*db, QStringLiteral("delete from \"room.DB\""));
        execSql(*db, QStringLiteral("delete from \"Cash.DB\""));
        f.board.slot(1).repeatKey.clear();
        f.board.highlightedSlot.clear();
        f.board.editView(1).panelColor = Colors::PanelNormal;
        const QString state = QString::fromUtf8(c.state);
        put(1, state, c.sleep, c.outMark);
        const QString timeBefore = f.board.slot(1).stayStart.stored();

        f.board.onControllerBlock(bytes({129, c.code}));

        if (!c.label) {
            EXPECT_EQ(f.board.view(1).labelCaption, state);
            EXPECT_TRUE(history().empty());
            EXPECT_EQ(f.board.view(1).panelColor, Colors::PanelNormal);  // no highlight
            continue;
        }
        const QString label = QString::fromUtf8(c.label);
        EXPECT_EQ(f.board.view(1).labelCaption, label);
        EXPECT_EQ(f.board.view(1).panelColor, Colors::Red);
        ASSERT_EQ(history().size(), 1u);
        EXPECT_EQ(history()[0], (QStringList{"101", QString::fromUtf8(c.action), c.comm}));
        if (c.code >= 3) {
            EXPECT_EQ(f.board.slot(1).state, stateFromStored(label));
            EXPECT_EQ(stored(QStringLiteral("rStatus"), 1), label);
            EXPECT_EQ(f.board.view(1).buttonFontColor, Colors::Navy);
        }
        const auto rows = ledgerRows();
        if (c.code == 3 && state == storedText(RoomState::Finished)) {  // a new stay: its row opens
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0][1], f.board.slot(1).stayStart.stamp());
            EXPECT_EQ(rows[0][2], QString());
            EXPECT_EQ(rows[0][4], c.sleep ? QStringLiteral("50000") : QStringLiteral("30000"));
        } else if (label == storedText(RoomState::Finished) &&
                   c.code == 6) {  // the room is ready: the row closes
            EXPECT_TRUE(f.board.slot(1).stayStart.isEmpty());
            EXPECT_EQ(stored(QStringLiteral("Time"), 1), QString());
            EXPECT_EQ(f.board.slot(1).kind, StayKind::DayUse);
            if (state != storedText(RoomState::Finished)) {
                ASSERT_EQ(rows.size(), 1u);
                EXPECT_EQ(rows[0][2], stampText(f.clock.now()));
            }
        } else {
            EXPECT_EQ(f.board.slot(1).stayStart.stored(), timeBefore);
        }
    }
}

TEST_F(Controller, ABlockIsReadPairByPair) {
    f.board.slot(2).keyCode = 0;
    f.board.slot(5).keyCode = 129;
    f.board.slot(9).keyCode = 130;
    f.board.slot(1).keyCode = 0;
    f.board.onControllerBlock(bytes({0x81, 0x03, 0x82, 0x01}));
    EXPECT_EQ(f.board.view(5).labelCaption, storedText(RoomState::DayUse));
    EXPECT_EQ(f.board.view(9).doorImage, QStringLiteral("door.bmp"));
    EXPECT_EQ(f.board.view(9).panelColor, Colors::Red);
    EXPECT_EQ(f.board.view(5).panelColor, Colors::PanelNormal);
    EXPECT_EQ(f.board.highlightedSlot, QStringLiteral("9"));
    EXPECT_EQ(f.board.previousHighlightedSlot, QStringLiteral("5"));
    EXPECT_EQ(f.board.eventLog().lines(),
              (QStringList{QStringLiteral("호수호 대실"), QStringLiteral("호수호 문열림")}));
    EXPECT_EQ(f.sound.played.size(), 2);
}

TEST_F(Controller, RepeatsAreSuppressedUntilAnotherEventOfTheRoom) {
    f.board.onControllerBlock(bytes({129, 3, 129, 3}));
    f.board.onControllerBlock(bytes({129, 3}));
    EXPECT_EQ(history().size(), 1u);
    f.board.onControllerBlock(bytes({129, 2, 129, 3}));
    ASSERT_EQ(history().size(), 3u);
    EXPECT_EQ(history()[2][1], QStringLiteral("대실유지"));

    // An ignored 6 is still remembered, so the next 6 is a repeat.
    f.board.onControllerBlock(bytes({129, 6, 129, 6}));
    EXPECT_EQ(f.board.slot(1).repeatKey, QStringLiteral("1016"));
    EXPECT_EQ(history().size(), 3u);
    // An ignored 4 is not remembered.
    put(2, storedText(RoomState::Finished), 0, 0);
    f.board.onControllerBlock(bytes({130, 4}));
    EXPECT_EQ(f.board.slot(2).repeatKey, QString());
}

TEST_F(Controller, NoiseAndStrangeBytesChangeNothingButTheHighlight) {
    const SlotView before = f.board.view(1);
    f.board.onControllerBlock(QByteArray("Comm Event: Framing error\r\n"));  // all below 128
    f.board.onControllerBlock(bytes({200, 3, 5, 129}));  // unknown key; then below 128
    f.board.onControllerBlock(bytes({129}));             // odd block: event 0
    EXPECT_EQ(f.board.view(1).labelCaption, before.labelCaption);
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(f.board.view(1).panelColor, Colors::Red);  // event 0 highlights only
    f.board.onControllerBlock(bytes({130, 7, 130, 255}));
    EXPECT_EQ(f.board.view(2).panelColor, Colors::Red);
    EXPECT_TRUE(history().empty());
    EXPECT_TRUE(f.dialogs.errors.isEmpty());
}

TEST_F(Controller, TheHighestSlotWithTheKeyIsTheRoom) {
    f.board.slot(2).keyCode = 129;
    f.board.onControllerBlock(bytes({129, 5}));
    EXPECT_EQ(f.board.view(2).labelCaption, storedText(RoomState::Cleaning));
    EXPECT_EQ(f.board.view(1).labelCaption, storedText(RoomState::Finished));
}

TEST_F(Controller, TheTypicalStay) {
    f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(17, 35)));
    f.board.onSecondTick();
    f.board.onControllerBlock(bytes({129, 3}));
    EXPECT_EQ(f.board.slot(1).stayStart.stored(), QStringLiteral("2006040117353284255"));
    EXPECT_EQ(f.board.view(1).startText, QStringLiteral("17:35"));
    EXPECT_TRUE(f.sound.played.last().endsWith(QStringLiteral("bell.wav")));
    f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(19, 2)));
    f.board.onSecondTick();
    f.board.onControllerBlock(bytes({129, 4}));
    EXPECT_EQ(f.board.view(1).elapsedText, QStringLiteral("19:2"));
    EXPECT_EQ(stored(QStringLiteral("TimeEnd"), 1), QStringLiteral("19:2"));
    f.board.onControllerBlock(bytes({129, 5, 129, 6}));
    EXPECT_EQ(f.board.view(1).labelCaption, storedText(RoomState::Finished));
    const auto rows = ledgerRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList{"101", "200604011735", "200604011902", "대실", "30000"}));
    QStringList actions;
    for (const auto& r : history()) actions << r[1];
    EXPECT_EQ(actions, (QStringList{"대실", "퇴실", "청소", "완료"}));
}

TEST_F(Controller, StayCountsChangeTheMomentAStayStartsAndEnds) {
    f.board.onControllerBlock(bytes({129, 3}));
    EXPECT_EQ(f.board.left().dayUseCountText, QStringLiteral("대실:1"));  // no minute tick needed
    f.board.onControllerBlock(bytes({129, 4, 129, 5, 129, 6}));
    EXPECT_EQ(f.board.left().dayUseCountText, QStringLiteral("대실:0"));
}

TEST_F(Controller, ABlockPublishesTheBoardWithTheNewState) {
    std::vector<BoardSnapshotPtr> published;
    QObject::connect(&f.board, &BoardModel::snapshotPublished,
                     [&](BoardSnapshotPtr snap) { published.push_back(std::move(snap)); });
    f.board.onControllerBlock(bytes({129, 3}));
    ASSERT_EQ(published.size(), 1u);  // one block, one step, one snapshot
    const BoardSnapshot& snap = *published.back();
    ASSERT_EQ(snap.rooms.size(), 2u);
    const BoardSnapshot::Room& room = snap.rooms[0];
    EXPECT_EQ(room.number, QStringLiteral("101"));
    EXPECT_EQ(room.state, RoomState::DayUse);
    EXPECT_EQ(room.kind, StayKind::DayUse);
    EXPECT_EQ(room.stayStart, f.clock.now().addSecs(-f.clock.now().time().second()));
    EXPECT_EQ(room.labelColor, Colors::Blue);
    EXPECT_EQ(snap.rooms[1].state, RoomState::Finished);
    ASSERT_FALSE(snap.logTail.empty());
    EXPECT_EQ(snap.logTail.back().text, QStringLiteral("101호 대실"));
    EXPECT_EQ(snap.logTail.back().color, Colors::Blue);
    EXPECT_EQ(snap.lastControllerReport, f.clock.now());

    f.clock.advanceMinutes(1);
    f.board.onMinuteTick();
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published.back()->sequence, snap.sequence + 1);
    EXPECT_EQ(published.back()->rooms[0].elapsedMinutes, 1);
}

// What the board shows and remembers, for comparing two runs.
struct Seen {
    std::vector<RoomSlot> rooms;
    std::vector<SlotView> views;
    QStringList log;
    QString dasil, sleep, highlighted, notice;
    quint64 sequence = 0;
    QDateTime lastReport;
    bool operator==(const Seen&) const = default;
};

TEST_F(Controller, ABoardTakenBackGoesOnAsItDidFromThatMoment) {
    const auto seen = [&] {
        Seen s;
        for (int n = 1; n <= BoardModel::kSlots; ++n) {
            s.rooms.push_back(f.board.slot(n));
            s.views.push_back(f.board.view(n));
        }
        s.log = f.board.eventLog().lines();
        s.dasil = f.board.left().dayUseCountText;
        s.sleep = f.board.left().overnightCountText;
        s.highlighted = f.board.highlightedSlot;
        s.notice = f.board.notice();
        const BoardSnapshotPtr snap = f.board.snapshot();
        s.sequence = snap->sequence;
        s.lastReport = snap->lastControllerReport;
        return s;
    };
    const auto play = [&] {
        f.board.onControllerBlock(bytes({129, 3, 130, 1}));
        f.clock.advanceMinutes(3);
        f.board.onSecondTick();
        f.board.onMinuteTick();
        f.board.onControllerBlock(bytes({129, 4, 130, 0, 130, 3}));
        return seen();
    };
    const QDateTime startTime = f.clock.now();
    const BoardModel::Moment start = f.board.moment();
    const Seen atStart = seen();
    const Seen first = play();
    ASSERT_NE(first, atStart);

    std::vector<int> told;
    QObject::connect(&f.board, &BoardModel::slotChanged, [&](int n) { told.push_back(n); });
    f.board.returnTo(start);
    f.clock.set(startTime);
    EXPECT_EQ(told, (std::vector<int>{1, 2}));  // the window repaints what went back
    EXPECT_EQ(seen(), atStart);
    EXPECT_EQ(play(), first);
}

}  // namespace
