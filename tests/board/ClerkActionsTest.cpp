#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "board/ClerkActions.h"
#include "board/RoomModalWindows.h"
#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Query.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

using A = RoomAction;
const std::optional<RoomAction> kNone;  // 취 소, or the popup's close box
const QString kReady = storedText(RoomState::Finished);

// The popup and the room setup answer from the test. `whileOpen` runs while
// the window would be shown, as reports and ticks do in the real event loop.
class ScriptedWindows : public RoomModalWindows {
public:
    std::optional<RoomAction> runPopup(const RoomOffer& offer, const QString& room) override {
        offers.push_back(offer);
        rooms.push_back(room);
        if (whileOpen) whileOpen();
        return result;
    }
    RoomSetupResult runRoomSetup(int slot, const QString& room, Query& history) override {
        ++setups;
        historyRows = history.rows();
        setupSlot = slot;
        setupRoom = room;
        RoomSetupResult r;
        if (setup) setup(r);
        return r;
    }

    std::optional<RoomAction> result;  // none: cancelled or closed
    std::function<void()> whileOpen;
    std::function<void(RoomSetupResult&)> setup;
    std::vector<RoomOffer> offers;
    QStringList rooms;
    int setups = 0;
    int setupSlot = 0;
    QString setupRoom;
    std::vector<QStringList> historyRows;
};

const QString kStayKey = QStringLiteral("200604011500");  // the stay that runs before each test
const QString kNow = QStringLiteral("200604011735");      // the fixture's clock

// Room 101 in slot 1, day-use fee 30000 and overnight fee 50000, on a board
// with a real database for its history and ledger.
struct DeskRig {
    DeskRig() {
        copyFreshDatabase(f.dataDir());
        db.open();
        f.board.setRecords(&ledger);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs1"), 50000);
        ini.writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 129);
    }

    // The room as the board restores it; a room that is not `Finish` has a
    // stay that began at 15:00 with its open ledger row.
    void start(const QString& state, int sleep) {
        ini.writeString(QStringLiteral("rStatus"), QStringLiteral("r1"), state);
        ini.writeInteger(QStringLiteral("Sleep"), QStringLiteral("r1"), sleep);
        if (state != kReady) {
            ini.writeString(
                QStringLiteral("Time"), QStringLiteral("r1"),
                StayTime::startingAt(QDateTime(QDate(2006, 4, 1), QTime(15, 0))).stored());
            ini.writeString(QStringLiteral("TimeEnd"), QStringLiteral("r1"),
                            QStringLiteral("16:10"));
            ini.writeString(QStringLiteral("Alram"), QStringLiteral("r1"),
                            QStringLiteral("2006-04-02 07:00"));
            execSql(db,
                    QStringLiteral(R"(Insert Into "Cash.DB" Values('101','%1','','%2','%3'))")
                        .arg(kStayKey, sleep == 1 ? QStringLiteral("숙박") : QStringLiteral("대실"),
                             sleep == 1 ? QStringLiteral("50000") : QStringLiteral("30000")));
        }
        f.start();
        f.board.onSecondTick();  // the board's clock reads 17:35
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();
    }

    QString stored(const QString& section, const QString& key = QStringLiteral("r1")) {
        return ini.readString(section, key, QStringLiteral("?"));
    }
    std::vector<QStringList> history() {
        return rowsOf(db, QStringLiteral(R"(Select * From "room.DB" Order By rowid)"));
    }
    std::vector<QStringList> ledgerRows() {
        return rowsOf(db, QStringLiteral(R"(Select * From "Cash.DB" Order By rowid)"));
    }
    void choose(std::optional<RoomAction> result) {
        windows.result = result;
        actions.onStateLabelClicked(1);
    }
    // Minutes pass, each with its tick.
    void pass(int minutes) {
        for (int i = 0; i < minutes; ++i) {
            f.clock.advanceMinutes(1);
            f.board.onMinuteTick();
        }
    }
    QStringList historyWords() {
        QStringList words;
        for (const auto& row : history()) words << row[3] + row[4];
        return words;
    }

    BoardFixture f;
    IniStore ini{f.iniPath()};
    Database db{f.dataDir()};
    RoomRecords ledger{db, f.clock, f.dialogs};
    ScriptedWindows windows;
    ClerkActions actions{f.board, db, windows};
};

// Each action of the popup from each state where it is offered.
struct ActionCase {
    const char* from;
    int sleep;
    std::optional<RoomAction> result;  // what the clerk picks
    const char* label;
    int sleepAfter;
    int outMark;
    const char* time;  // "new", "kept" or "" (emptied)
    const char* startText;
    const char* elapsedText;
    const char* word;          // log and history; empty for no change
    const char* logWord;       // when the log says otherwise
    const char* ledgerEnd;     // the stay's ODateTime afterwards ("open" if the row is open)
    const char* ledgerAction;  // and its kind and amount
    const char* ledgerCash;
    const char* sound;
};

TEST(ClerkActions, EveryPopupActionFromEveryState) {
    const ActionCase cases[] = {
        // A new stay.
        {"완 료", 0, A::StartDayUse, "대 실", 0, 0, "new", "17:35", "0:0", "대실", "", "open",
         "대실", "30000", "bell.wav"},
        {"완 료", 1, A::StartOvernight, "숙 박", 1, 0, "new", "17:35", "0:0", "숙박", "", "open",
         "숙박", "50000", "bell.wav"},
        // A running stay.
        {"대 실", 0, A::CheckOut, "퇴 실", 0, 0, "kept", "15:00", "17:35", "퇴실", "", "open",
         "대실", "30000", "Bell2.Wav"},
        {"대 실", 0, A::CancelDayUse, "완 료", 0, 0, "", "", "0:0", "대실취소", "",
         "200604011735대실취소", "대실", "30000", ""},
        {"대 실", 0, A::ToOvernight, "숙 박", 1, 0, "kept", "15:00", "", "숙박전환", "", "open",
         "숙박", "50000", ""},
        {"숙 박", 1, A::CheckOut, "퇴 실", 1, 0, "kept", "15:00", "17:35", "퇴실", "", "open",
         "숙박", "50000", "Bell2.Wav"},
        {"숙 박", 1, A::CancelOvernight, "완 료", 0, 0, "", "", "0:0", "숙박취소", "",
         "200604011735숙박취소", "숙박", "50000", ""},
        {"숙 박", 1, A::ToDayUse, "대 실", 0, 0, "kept", "15:00", "", "대실전환", "", "open",
         "대실", "30000", ""},
        // The guest has left.
        {"퇴 실", 0, A::GoOut, "외 출", 0, 1, "kept", "15:00", "16:10", "외출", "", "open", "대실",
         "30000", ""},
        {"퇴 실", 0, A::DayUseGoesOn, "대 실", 0, 0, "kept", "15:00", "2:35", "대실유지", "",
         "open", "대실", "30000", "bell.wav"},
        {"퇴 실", 1, A::OvernightGoesOn, "숙 박", 1, 0, "kept", "15:00", "2:35", "숙박유지", "",
         "open", "숙박", "50000", "bell.wav"},
        {"퇴 실", 0, A::Clean, "청 소", 0, 0, "kept", "17:35", "0:0", "청소", "", "open", "대실",
         "30000", ""},
        {"퇴 실", 1, A::MoveRoom, "완 료", 0, 0, "", "", "0:0", "객실교체", "완료",
         "200604011735객실교체", "숙박", "50000", ""},
        // Gone out.
        {"외 출", 1, A::CheckOut, "퇴 실", 1, 0, "kept", "15:00", "17:35", "퇴실", "", "open",
         "숙박", "50000", "Bell2.Wav"},
        {"외 출", 0, A::DayUseGoesOn, "대 실", 0, 0, "kept", "15:00", "2:35", "대실유지", "",
         "open", "대실", "30000", "bell.wav"},
        {"외 출", 1, A::OvernightGoesOn, "숙 박", 1, 0, "kept", "15:00", "2:35", "숙박유지", "",
         "open", "숙박", "50000", "bell.wav"},
        // Cleaned.
        {"청 소", 0, A::Finish, "완 료", 0, 0, "", "", "0:0", "완료", "", "200604011735", "대실",
         "30000", ""},
        // Cancelled, or closed without a choice (the popup still holds its mode).
        {"대 실", 0, kNone, "대 실", 0, 0, "kept", "15:00", "", "", "", "open", "대실", "30000",
         ""},
        {"퇴 실", 1, kNone, "퇴 실", 1, 0, "kept", "15:00", "16:10", "", "", "open", "숙박",
         "50000", ""},
    };
    for (const ActionCase& c : cases) {
        const QString from = QString::fromUtf8(c.from);
        SCOPED_TRACE(QStringLiteral("%1 (Sleep %2) -> %3")
                         .arg(from)
                         .arg(c.sleep)
                         .arg(c.result ? actionCaption(*c.result) : QStringLiteral("-"))
                         .toStdString());
        DeskRig d;
        auto& f = d.f;
        d.start(from, c.sleep);
        const QString timeBefore = f.board.slot(1).stayStart.stored();
        const QString alramBefore = f.board.slot(1).morningCall;
        const auto logBefore = f.board.eventLog().lines().size();

        d.choose(c.result);

        ASSERT_EQ(d.windows.offers.size(), 1u);
        if (c.result) {
            EXPECT_TRUE(std::ranges::count(d.windows.offers[0].actions, *c.result));
        }
        EXPECT_EQ(d.windows.rooms, QStringList{QStringLiteral("101")});
        const SlotView& v = f.board.view(1);
        const RoomSlot& s = f.board.slot(1);
        const QString label = QString::fromUtf8(c.label);
        EXPECT_EQ(v.labelCaption, label);
        EXPECT_EQ(d.stored(QStringLiteral("rStatus")), label);
        EXPECT_EQ(storedValue(s.kind), c.sleepAfter);
        EXPECT_EQ(d.stored(QStringLiteral("Sleep")), QString::number(c.sleepAfter));
        EXPECT_EQ(v.kindGlyphFile,
                  c.sleepAfter == 1 ? QStringLiteral("moon.bmp") : QStringLiteral("imp.bmp"));
        EXPECT_EQ(s.guestOut, c.outMark == 1);
        const QString time = QString::fromUtf8(c.time);
        const QString timeAfter = time == QStringLiteral("new")
                                      ? StayTime::startingAt(f.clock.now()).stored()
                                  : time == QStringLiteral("kept") ? timeBefore
                                                                   : QString();
        EXPECT_EQ(s.stayStart.stored(), timeAfter);
        EXPECT_EQ(d.stored(QStringLiteral("Time")), s.stayStart.stored());
        EXPECT_EQ(v.startText, QString::fromUtf8(c.startText));
        EXPECT_EQ(v.elapsedText, QString::fromUtf8(c.elapsedText));
        if (c.result == A::CheckOut) {
            EXPECT_EQ(d.stored(QStringLiteral("TimeEnd")), QStringLiteral("17:35"));
        }

        const QString word = QString::fromUtf8(c.word);
        const QString logWord = *c.logWord ? QString::fromUtf8(c.logWord) : word;
        const auto rows = d.history();
        if (word.isEmpty()) {
            EXPECT_TRUE(rows.empty());
            EXPECT_EQ(f.board.eventLog().lines().size(), logBefore);
            EXPECT_EQ(v.buttonFontColor, Colors::Navy);
            EXPECT_EQ(d.stored(QStringLiteral("rStatus")), from);
        } else {
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0], (QStringList{"101", "20060401", "1735", word, "0"}));
            EXPECT_EQ(f.board.eventLog().lines().last(), QStringLiteral("101호 ") + logWord);
            EXPECT_EQ(v.buttonFontColor, Colors::Maroon);
        }

        const QString end = QString::fromUtf8(c.ledgerEnd);
        const auto cash = d.ledgerRows();
        ASSERT_EQ(cash.size(), 1u);
        EXPECT_EQ(cash[0], (QStringList{"101", time == QStringLiteral("new") ? kNow : kStayKey,
                                        end == QStringLiteral("open") ? QString() : end,
                                        QString::fromUtf8(c.ledgerAction),
                                        QString::fromUtf8(c.ledgerCash)}));

        if (*c.sound) {
            ASSERT_FALSE(f.sound.played.isEmpty());
            EXPECT_TRUE(
                f.sound.played.last().endsWith(QLatin1Char('/') + QString::fromUtf8(c.sound)));
        } else {
            EXPECT_TRUE(f.sound.played.isEmpty());
        }
        // A finished room forgets its morning call; every other keeps it.
        if (label == kReady) {
            EXPECT_EQ(s.morningCall, QString());
            EXPECT_EQ(d.stored(QStringLiteral("Alram")), QString());
            EXPECT_EQ(v.startColor, Colors::Black);
            EXPECT_EQ(v.elapsedFontColor, Colors::White);
            EXPECT_EQ(v.labelColor, Colors::Green);
            EXPECT_EQ(s.clockRunning, 1);
        } else {
            EXPECT_EQ(s.morningCall, alramBefore);
        }
        EXPECT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();
    }
}

TEST(ClerkActions, RoomChangeChargesNothingUnderFifteenMinutes) {
    const struct {
        int minutes;
        const char* cash;
    } cases[] = {{14, "0"}, {15, "30000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        DeskRig d;
        d.start(kReady, 0);
        d.choose(A::StartDayUse);  // 대 실
        d.pass(c.minutes);
        d.choose(A::CheckOut);  // 퇴 실
        d.choose(A::MoveRoom);  // 객실교체
        const QString moved = stampText(d.f.clock.now()) + QStringLiteral("객실교체");
        EXPECT_EQ(d.ledgerRows(), (std::vector<QStringList>{{"101", kNow, moved, "대실", c.cash}}));
    }
}

TEST(ClerkActions, TicksDuringThePopupCountForTheChosenAction) {
    DeskRig d;
    d.start(kReady, 0);
    d.choose(A::StartDayUse);  // 대 실
    d.pass(14);
    d.choose(A::CheckOut);  // 퇴 실

    // The fifteenth minute passes while the popup is shown: the room change
    // chosen afterwards charges the stay.
    d.windows.whileOpen = [&] { d.pass(1); };
    d.choose(A::MoveRoom);
    EXPECT_EQ(d.ledgerRows()[0][4], QStringLiteral("30000"));
    EXPECT_TRUE(d.f.dialogs.infos.isEmpty());
}

TEST(ClerkActions, ChoiceForAStateTheRoomNoLongerHasIsNotCarriedOut) {
    using Ledger = std::vector<std::pair<QString, QString>>;  // IDateTime, ODateTime
    const QString k = kStayKey;
    // While the popup is open: a controller event of room 101 (key 129), or
    // "kind" (the stay kind button), "renumber" or "tick".
    const struct {
        const char* meanwhile;
        const char* from;
        int sleep;
        std::optional<RoomAction> result;
        bool carriedOut;
        const char* labelAfter;
        QStringList historyAfter;  // Action + Comm
        Ledger ledgerAfter;
    } cases[] = {
        {"\x03", "완 료", 0, A::StartDayUse, false, "대 실", {"대실1"}, {{kNow, ""}}},  // stay
                                                                                        // started
        {"\x04", "대 실", 0, A::CancelDayUse, false, "퇴 실", {"퇴실1"}, {{k, ""}}},  // checked out
        {"\x06", "청 소", 0, A::Finish, false, "완 료", {"완료1"}, {{k, kNow}}},      // finished
        {"\x05", "퇴 실", 1, A::MoveRoom, false, "청 소", {"청소1"}, {{k, ""}}},      // cleaned
        {"kind", "완 료", 0, A::StartDayUse, false, "완 료", {}, {}},
        {"renumber", "대 실", 0, A::CheckOut, false, "대 실", {}, {{k, ""}}},
        // Changes that leave the room in its state: the choice stands.
        {"\x01", "대 실", 0, A::CheckOut, true, "퇴 실", {"문열림1", "퇴실0"}, {{k, ""}}},
        {"\x03", "숙 박", 1, A::ToDayUse, true, "대 실", {"숙박유지1", "대실전환0"}, {{k, ""}}},
        {"tick", "대 실", 0, A::ToOvernight, true, "숙 박", {"숙박전환0"}, {{k, ""}}},
        // Nothing chosen: nothing to tell.
        {"\x04", "대 실", 0, kNone, true, "퇴 실", {"퇴실1"}, {{k, ""}}},
    };
    for (const auto& c : cases) {
        const QString meanwhile = QString::fromLatin1(c.meanwhile);
        SCOPED_TRACE(
            QStringLiteral("%1 from %2, choice %3")
                .arg(meanwhile.size() == 1 ? QString::number(meanwhile[0].unicode()) : meanwhile,
                     QString::fromUtf8(c.from))
                .arg(c.result ? actionCaption(*c.result) : QStringLiteral("-"))
                .toStdString());
        DeskRig d;
        d.start(QString::fromUtf8(c.from), c.sleep);
        d.windows.whileOpen = [&] {
            if (meanwhile == QStringLiteral("kind")) {
                d.actions.toggleStayKind(1);
            } else if (meanwhile == QStringLiteral("renumber")) {
                d.f.board.slot(1).roomName = QStringLiteral("109");
                d.f.board.editView(1).buttonCaption = QStringLiteral("109");
                d.f.board.viewChanged(1);
            } else if (meanwhile == QStringLiteral("tick")) {
                d.f.board.onMinuteTick();
            } else {
                d.f.board.onControllerBlock(QByteArray("\x81", 1) + c.meanwhile);
            }
        };
        d.choose(c.result);

        EXPECT_EQ(d.f.board.view(1).labelCaption, QString::fromUtf8(c.labelAfter));
        EXPECT_EQ(d.stored(QStringLiteral("rStatus")), QString::fromUtf8(c.labelAfter));
        EXPECT_EQ(d.historyWords(), c.historyAfter);
        Ledger ledger;
        for (const QStringList& row : d.ledgerRows()) ledger.emplace_back(row[1], row[2]);
        EXPECT_EQ(ledger, c.ledgerAfter);
        const QStringList told{QStringLiteral(
            "101호의 상태가 바뀌어 선택하신 작업을 하지 않았습니다. 다시 선택하여 주십시오")};
        EXPECT_EQ(d.f.dialogs.infos, c.carriedOut ? QStringList() : told);
        EXPECT_TRUE(d.f.dialogs.errors.isEmpty()) << d.f.dialogs.errors.join(';').toStdString();
    }
}

TEST(ClerkActions, NoPopupForASlotWithoutARoomNumber) {
    DeskRig d;
    d.ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("10"));
    d.start(kReady, 0);
    d.choose(A::StartDayUse);
    EXPECT_TRUE(d.windows.offers.empty());
    EXPECT_TRUE(d.history().empty());
}

TEST(ClerkActions, PictureThatCannotBeLoadedEndsTheActionWithItsError) {
    DeskRig d;
    d.start(kReady, 0);
    writeBytes(QDir(d.f.dataDir()).filePath(QStringLiteral("bed.bmp")), "not a picture");
    d.choose(A::StartDayUse);
    ASSERT_EQ(d.f.dialogs.errors.size(), 1);
    // The pictures are loaded before anything of the change is done.
    EXPECT_TRUE(d.f.board.eventLog().lines().isEmpty());
    EXPECT_EQ(d.f.board.slot(1).state, RoomState::Finished);
    EXPECT_EQ(d.f.board.view(1).labelCaption, kReady);
    EXPECT_EQ(d.stored(QStringLiteral("rStatus")), kReady);
    EXPECT_TRUE(d.history().empty());
    EXPECT_TRUE(d.ledgerRows().empty());
}

// ---- the stay kind button ------------------------------------------------

TEST(ClerkActions, StayKindButtonSwitchesTheKindInEveryState) {
    const struct {
        const char* state;
        int sleep;
        const char* label;  // afterwards
        WinColor labelColor;
        const char* kind;  // of the converted stay; "" when none runs
        const char* cash;
    } cases[] = {
        {"완 료", 0, "완 료", Colors::LightPink, "", ""},
        {"완 료", 1, "완 료", Colors::Green, "", ""},
        {"대 실", 0, "숙 박", Colors::Red, "숙박", "50000"},
        {"숙 박", 1, "대 실", Colors::Blue, "대실", "30000"},
        // The label and the stored state keep showing the room's state.
        {"청 소", 0, "청 소", Colors::Gray, "숙박", "50000"},
        {"퇴 실", 1, "퇴 실", Colors::Purple, "대실", "30000"},
        {"외 출", 0, "외 출", Colors::Yellow, "숙박", "50000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        DeskRig d;
        auto& f = d.f;
        d.start(QString::fromUtf8(c.state), c.sleep);
        const QString startText = f.board.view(1).startText;

        d.actions.toggleStayKind(1);

        const int sleep = 1 - c.sleep;
        const QString label = QString::fromUtf8(c.label);
        const SlotView& v = f.board.view(1);
        EXPECT_EQ(storedValue(f.board.slot(1).kind), sleep);
        EXPECT_EQ(d.stored(QStringLiteral("Sleep")), QString::number(sleep));
        EXPECT_EQ(v.kindGlyphFile,
                  sleep == 1 ? QStringLiteral("moon.bmp") : QStringLiteral("imp.bmp"));
        EXPECT_EQ(v.labelCaption, label);
        EXPECT_EQ(v.labelColor, c.labelColor);
        EXPECT_EQ(d.stored(QStringLiteral("rStatus")), label);
        EXPECT_EQ(v.buttonFontColor, Colors::Navy);
        EXPECT_EQ(v.startText, startText);
        EXPECT_TRUE(f.sound.played.isEmpty());
        const QString kind = QString::fromUtf8(c.kind);
        if (kind.isEmpty()) {
            EXPECT_TRUE(d.history().empty());
            EXPECT_TRUE(d.ledgerRows().empty());
            // The popup now offers the other kind of stay.
            EXPECT_EQ(offeredActions(f.board.slot(1).state, f.board.slot(1).kind).actions,
                      std::vector<RoomAction>{sleep == 1 ? A::StartOvernight : A::StartDayUse});
        } else {
            EXPECT_EQ(d.historyWords(), QStringList{kind + QStringLiteral("전환0")});
            EXPECT_EQ(f.board.eventLog().lines().last(), QStringLiteral("101호 %1전환").arg(kind));
            EXPECT_EQ(
                d.ledgerRows(),
                (std::vector<QStringList>{{"101", kStayKey, "", kind, QString::fromUtf8(c.cash)}}));
        }
    }
}

// ---- the room number button ----------------------------------------------

TEST(ClerkActions, RoomSetupGetsTheRoomsHistory) {
    DeskRig d;
    d.start(kReady, 0);
    const std::pair<const char*, int> rows[] = {
        {"101", 0}, {"102", 1}, {"101", 2}, {"호수", 3}, {"호수", 4}};
    for (const auto& [room, minute] : rows) {
        d.f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(9, minute)));
        d.ledger.addHistory(QString::fromUtf8(room), QStringLiteral("청소"), QStringLiteral("0"));
    }
    d.actions.onRoomButtonClicked(1);
    EXPECT_EQ(d.windows.setupRoom, QStringLiteral("101"));
    EXPECT_EQ(d.windows.setupSlot, 1);
    ASSERT_EQ(d.windows.historyRows.size(), 2u);  // newest first
    EXPECT_EQ(d.windows.historyRows[0][2], QStringLiteral("0902"));
    EXPECT_EQ(d.windows.historyRows[1][2], QStringLiteral("0900"));

    // A slot without a number sees the rows of "호수", oldest first.
    d.actions.onRoomButtonClicked(2);
    EXPECT_EQ(d.windows.setupRoom, QStringLiteral("호수"));
    EXPECT_EQ(d.windows.setupSlot, 2);
    ASSERT_EQ(d.windows.historyRows.size(), 2u);
    EXPECT_EQ(d.windows.historyRows[0][2], QStringLiteral("0903"));
}

TEST(ClerkActions, RoomSetupResultsAreAppliedAndSaved) {
    const struct {
        const char* name;
        int key;
        bool fees;
        const char* caption;  // afterwards, as shown and stored
        const char* storedKey;
    } cases[] = {
        {"305", 133, false, "305", "133"},
        {"30", 133, false, "101", "129"},    // fewer than three characters
        {"3055", 133, false, "101", "129"},  // more
        {"", 0, true, "101", "129"},
        {"306", 0x10085, true, "306", "133"},  // the key code's low 16 bits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeskRig d;
        d.start(kReady, 0);
        d.windows.setup = [&](RoomSetupResult& r) {
            r.newRoomName = QString::fromUtf8(c.name);
            r.newKeyCode = c.key;
            r.feesSaved = c.fees;
            if (c.fees) {
                d.f.board.slot(1).dayUseFee = 25000;
                d.f.board.slot(1).overnightFee = 45000;
            }
        };
        d.actions.onRoomButtonClicked(1);
        const QString caption = QString::fromUtf8(c.caption);
        EXPECT_EQ(d.f.board.view(1).buttonCaption, caption);
        EXPECT_EQ(d.stored(QStringLiteral("Name"), QStringLiteral("LName1")), caption);
        EXPECT_EQ(d.stored(QStringLiteral("RoomKey")), QString::fromUtf8(c.storedKey));
        EXPECT_EQ(d.stored(QStringLiteral("Money"), QStringLiteral("rd1")),
                  c.fees ? "25000" : "30000");
        EXPECT_EQ(d.stored(QStringLiteral("Money"), QStringLiteral("rs1")),
                  c.fees ? "45000" : "50000");
    }
}

TEST(ClerkActions, RenumberedRoomTakesItsRunningStayAlong) {
    const auto finishByController = [](DeskRig& d) {
        d.f.board.onControllerBlock(QByteArray("\x81\x04\x81\x05\x81\x06", 6));
    };
    const struct {
        const char* from;
        int sleep;
        std::optional<RoomAction>
            result;  // the stay's end chosen in the popup; none: by the controller
        const char* end;
    } cases[] = {
        {"대 실", 0, A::CancelDayUse, "200604011735대실취소"},
        {"숙 박", 1, A::CancelOvernight, "200604011735숙박취소"},
        {"퇴 실", 1, A::MoveRoom, "200604011735객실교체"},
        {"청 소", 0, A::Finish, "200604011735"},
        {"숙 박", 1, kNone, "200604011735"},
        {"대 실", 0, kNone, "200604011735"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " " +
                     (c.result ? actionCaption(*c.result).toStdString() : std::string("-")));
        DeskRig d;
        execSql(
            d.db,
            QStringLiteral(
                R"(Insert Into "Cash.DB" Values('101','200603311000','200603311200','대실','30000'))"));
        d.start(QString::fromUtf8(c.from), c.sleep);
        d.windows.setup = [](RoomSetupResult& r) {
            r.newRoomName = QStringLiteral("201");
            r.newKeyCode = 129;
        };
        d.actions.onRoomButtonClicked(1);
        ASSERT_EQ(d.f.board.view(1).buttonCaption, QStringLiteral("201"));
        // Renumbered in the same step, before anything else can happen.
        EXPECT_EQ(d.ledgerRows()[1][0], QStringLiteral("201"));

        if (c.result)
            d.choose(c.result);
        else
            finishByController(d);
        const auto rows = d.ledgerRows();
        ASSERT_EQ(rows.size(), 2u);
        // The settled stay keeps its number; the running one ended under the new.
        EXPECT_EQ(rows[0][0], QStringLiteral("101"));
        EXPECT_EQ(rows[0][2], QStringLiteral("200603311200"));
        EXPECT_EQ(rows[1][0], QStringLiteral("201"));
        EXPECT_EQ(rows[1][1], kStayKey);
        EXPECT_EQ(rows[1][2], QString::fromUtf8(c.end));
        EXPECT_TRUE(d.f.dialogs.errors.isEmpty()) << d.f.dialogs.errors.join(';').toStdString();
    }

    // A ready room has no running stay to take along.
    DeskRig d;
    execSql(d.db, QStringLiteral(
                      R"(Insert Into "Cash.DB" Values('101','200603311000','','대실','30000'))"));
    d.start(kReady, 0);
    d.windows.setup = [](RoomSetupResult& r) { r.newRoomName = QStringLiteral("201"); };
    d.actions.onRoomButtonClicked(1);
    EXPECT_EQ(d.ledgerRows()[0][0], QStringLiteral("101"));
}

TEST(ClerkActions, NumberGivenToASlotWithoutOneShowsItsStayKindButton) {
    DeskRig d;
    d.ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("1"));
    d.start(kReady, 0);
    ASSERT_FALSE(d.f.board.view(1).kindVisible);
    d.windows.setup = [](RoomSetupResult& r) { r.newRoomName = QStringLiteral("201"); };
    d.actions.onRoomButtonClicked(1);
    EXPECT_EQ(d.f.board.view(1).buttonCaption, QStringLiteral("201"));
    EXPECT_TRUE(d.f.board.view(1).kindVisible);
    d.choose(A::StartDayUse);
    EXPECT_EQ(d.windows.rooms, QStringList{QStringLiteral("201")});
}

TEST(ClerkActions, ResetForgetsTheRoom) {
    DeskRig d;
    d.ini.writeString(QStringLiteral("Memo"), QStringLiteral("r1"), QStringLiteral("창가 방"));
    d.ini.writeInteger(QStringLiteral("DoorStatus"), QStringLiteral("r1"), 1);
    d.start(storedText(RoomState::CheckedOut), 1);
    d.windows.setup = [](RoomSetupResult& r) { r.resetRequested = true; };
    d.actions.onRoomButtonClicked(1);

    const SlotView& v = d.f.board.view(1);
    EXPECT_EQ(v.buttonCaption, QStringLiteral("호수"));
    EXPECT_EQ(v.labelCaption, kReady);
    EXPECT_EQ(v.labelColor, Colors::Green);
    EXPECT_FALSE(v.kindVisible);
    EXPECT_EQ(v.kindGlyphFile, QStringLiteral("imp.bmp"));
    EXPECT_EQ(v.startText, QString());
    EXPECT_EQ(v.elapsedText, QString());
    EXPECT_TRUE(v.visible);
    // The panel shows what the file keeps now, as it would after a restart.
    EXPECT_EQ(v.doorImage, QString());
    EXPECT_EQ(v.hint, QString());

    const RoomSlot& s = d.f.board.slot(1);
    EXPECT_EQ(s.roomName, QStringLiteral("1"));
    EXPECT_EQ(s.keyCode, 0);
    EXPECT_EQ(s.clockRunning, 0);
    EXPECT_EQ(s.kind, StayKind::DayUse);
    EXPECT_EQ(s.dayUseFee + s.overnightFee, 0);
    EXPECT_TRUE(s.stayStart.isEmpty() && s.morningCall.isEmpty() && s.checkoutTime.isEmpty() &&
                s.repeatKey.isEmpty());

    EXPECT_EQ(d.stored(QStringLiteral("Name"), QStringLiteral("LName1")), QStringLiteral("1"));
    EXPECT_EQ(d.stored(QStringLiteral("Sleep")), QStringLiteral("0"));
    const std::pair<const char*, const char*> emptied[] = {
        {"rStatus", "r1"},    {"RoomKey", "r1"}, {"TimeEnd", "r1"},
        {"Money", "rd1"},     {"Money", "rs1"},  {"Time", "r1"},
        {"DoorStatus", "r1"}, {"Alram", "r1"},   {"Memo", "r1"}};
    for (const auto& [section, key] : emptied)
        EXPECT_EQ(d.stored(QString::fromLatin1(section), QString::fromLatin1(key)), QString())
            << section;

    // The clock is off, the controller no longer finds the room, and the
    // label offers no popup.
    d.f.board.onMinuteTick();
    EXPECT_EQ(d.f.board.view(1).elapsedText, QString());
    d.f.board.onControllerBlock(QByteArray("\x81\x03", 2));
    EXPECT_EQ(d.f.board.view(1).labelCaption, kReady);
    d.choose(A::StartDayUse);
    EXPECT_TRUE(d.windows.offers.empty());
}

TEST(ClerkActions, RoomSetupClosedWithoutResultsChangesNothing) {
    DeskRig d;
    d.start(storedText(RoomState::DayUse), 0);
    const SlotView before = d.f.board.view(1);
    const QByteArray file = readBytes(d.f.iniPath());
    d.actions.onRoomButtonClicked(1);
    EXPECT_EQ(d.windows.setups, 1);
    EXPECT_EQ(d.f.board.view(1), before);
    EXPECT_EQ(readBytes(d.f.iniPath()), file);
}

}  // namespace
