// A restart in the middle of a stay: the board started again on the files
// the last one left shows what that one showed and goes on as it would have.
#include <gtest/gtest.h>

#include "board/StayTime.h"
#include "board/StoredRoomState.h"
#include "store/IniStore.h"
#include "support/DeskOnDisk.h"

namespace {

class ChosenAction : public RoomModalWindows {
public:
    std::optional<RoomAction> runPopup(const RoomOffer&, const QString&) override { return choice; }
    RoomSetupResult runRoomSetup(int, const QString&, Query&) override { return {}; }
    std::optional<RoomAction> choice;
};

// Room 101 in slot 1 (key code 129), ready, at the time `now`.
struct RestartRig {
    explicit RestartRig(const QDateTime& now = QDateTime(QDate(2006, 4, 1), QTime(15, 0))) {
        desk.clock.set(now);
        IniStore ini(desk.iniPath());
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        ini.writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r1"), 129);
        desk.start();
    }
    void report(int code) {
        desk.board->onControllerBlock(QByteArray{"\x81"} + static_cast<char>(code));
    }
    void choose(RoomAction action) {
        windows.choice = action;
        desk.actions->onStateLabelClicked(1);
    }
    // Minutes pass with the minute tick, as on the desk.
    void pass(int minutes) {
        for (int i = 0; i < minutes; ++i) {
            desk.clock.advanceMinutes(1);
            desk.board->onSecondTick();
            desk.board->onMinuteTick();
        }
    }
    const SlotView& view() const { return desk.board->view(1); }
    std::vector<QStringList> ledgerRows() {
        return rowsOf(*desk.db, QStringLiteral(R"(Select * From "Cash.DB")"));
    }

    ChosenAction windows;
    DeskOnDisk desk{windows};
};

// The clerk marked the guest out; the cleaning or a key taken out meanwhile
// leaves the mark, and after the restart the controller's "ready" shows the
// guest out again instead of finishing an occupied room.
TEST(Restart, KeepsTheGuestOutMarkOfTheDesk) {
    const struct {
        const char* name;
        int whileOut;  // the controller's report while the guest is out
        const char* label;
    } cases[] = {{"cleaned while out", 5, "청 소"}, {"key taken out while out", 4, "퇴 실"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestartRig r;
        r.report(3);  // a day-use stay
        r.pass(30);
        r.report(4);
        r.choose(RoomAction::GoOut);
        r.report(1);  // the door: the next report is no repeat of the last
        r.report(c.whileOut);
        ASSERT_EQ(r.view().labelCaption, QString::fromUtf8(c.label));

        r.desk.restart();
        EXPECT_EQ(r.view().labelCaption, QString::fromUtf8(c.label));
        r.report(6);
        EXPECT_EQ(r.view().labelCaption, QStringLiteral("외 출"));
        ASSERT_EQ(r.ledgerRows().size(), 1u);
        EXPECT_EQ(r.ledgerRows()[0][2], QString()) << "the stay's row stays open";
        EXPECT_EQ(r.desk.board->eventLog().lines().last(), QStringLiteral("101호 외출"));
    }
}

// The controller's cleaning starts the clock from zero; a restart keeps it
// counting from the cleaning, not from the stay.
TEST(Restart, ACleaningKeepsItsClock) {
    RestartRig r;
    r.report(3);
    r.pass(140);
    r.report(5);  // 17:20
    r.pass(10);
    ASSERT_EQ(r.view().elapsedText, QStringLiteral("0:10"));

    r.desk.restart();
    EXPECT_EQ(r.view().startText, QStringLiteral("17:20"));
    EXPECT_EQ(r.view().elapsedText, QStringLiteral("0:10"));
    r.pass(1);
    EXPECT_EQ(r.view().elapsedText, QStringLiteral("0:11"));
}

// The stored start keeps its digits, which count no 29 February; the time
// the stay has run is that of the real calendar.
TEST(Restart, AStayAcross29FebruaryKeepsItsLength) {
    RestartRig r(QDateTime(QDate(2008, 2, 28), QTime(22, 0, 30)));
    r.report(3);
    EXPECT_EQ(IniStore(r.desk.iniPath())
                  .readString(QStringLiteral("Time"), QStringLiteral("r1"), QString()),
              QStringLiteral("2008022822004289640"));
    r.desk.clock.set(QDateTime(QDate(2008, 3, 1), QTime(10, 0, 10)));

    r.desk.restart();
    EXPECT_EQ(r.view().startText, QStringLiteral("22:00"));
    EXPECT_EQ(r.view().elapsedText, QStringLiteral("36:0"));
    EXPECT_EQ(r.desk.board->slot(1).stayStart.minuteCount().value_or(-1), 4289640);
}

// A finished room's clock tells how long it has been ready, also after a restart.
TEST(Restart, AReadyRoomKeepsItsClock) {
    RestartRig r;
    r.report(3);
    r.report(4);
    r.report(5);
    r.pass(50);
    r.report(6);
    r.pass(20);
    ASSERT_EQ(r.view().elapsedText, QStringLiteral("0:20"));

    r.desk.restart();
    EXPECT_EQ(r.view().startText, QString());
    EXPECT_EQ(r.view().elapsedText, QStringLiteral("0:20"));
    r.pass(1);
    EXPECT_EQ(r.view().elapsedText, QStringLiteral("0:21"));
}

}  // namespace
