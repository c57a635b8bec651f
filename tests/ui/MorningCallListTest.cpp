#include <gtest/gtest.h>

#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "admin/MorningCallList.h"
#include "admin/MorningCallWindow.h"
#include "store/IniStore.h"
#include "support/Fakes.h"

namespace {

// Rooms 101 (slot 1, a memo) and 305 (slot 3, a call); slot 2 has no panel.
class MorningCalls : public ::testing::Test {
protected:
    BoardFixture f;
    void SetUp() override {
        f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(22, 10)));
        IniStore ini(f.iniPath());
        ini.writeString("Name", "LName1", "101");
        ini.writeInteger("Panel", "P1", 1);
        ini.writeString("Memo", "r1", "조용한 방");
        ini.writeString("Name", "LName2", "102");
        ini.writeString("Name", "LName3", "305");
        ini.writeInteger("Panel", "P3", 1);
        ini.writeString("Alram", "r3", "2006-04-02 07:00");
        f.start();
    }
    QString stored(const char* section, const char* key) {
        return IniStore(f.iniPath()).readString(section, key, "?");
    }
};

TEST_F(MorningCalls, ListsTheRoomsWithPanels) {
    MorningCallList list(f.board);
    ASSERT_EQ(list.rows().size(), 2);
    EXPECT_EQ(list.rows()[0].room, QStringLiteral("101 호"));
    EXPECT_EQ(list.rows()[0].memo, QStringLiteral("조용한 방"));
    EXPECT_EQ(list.rows()[1].slot, 3);
    EXPECT_EQ(list.rows()[1].call, QStringLiteral("2006-04-02 07:00"));

    BoardFixture empty;
    empty.start();
    EXPECT_TRUE(MorningCallList(empty.board).rows().isEmpty());
}

// Several edits before 저장 all survive, and each reaches the file and the board.
TEST_F(MorningCalls, EveryEditStaysUntilSaved) {
    MorningCallWindow window(f.board);
    std::deque<std::optional<QString>> answers = {
        QStringLiteral("2006-04-02 06:30"), QStringLiteral("첫 메모"), QStringLiteral("둘째 메모"),
        QString()};  // 모닝콜 해제 for 305
    const auto next = [&](const QString&) {
        auto a = answers.front();
        answers.pop_front();
        return a;
    };
    window.setPickers(next, next);
    window.editCell(0, 1);
    window.editCell(0, 2);
    window.editCell(1, 2);
    window.editCell(1, 1);
    window.editCell(0, 0);  // the room column edits nothing
    EXPECT_EQ(window.grid()->item(0, 1)->text(), QStringLiteral("2006-04-02 06:30"));
    EXPECT_EQ(window.grid()->item(0, 2)->text(), QStringLiteral("첫 메모"));
    EXPECT_EQ(window.grid()->item(1, 2)->text(), QStringLiteral("둘째 메모"));
    EXPECT_EQ(window.grid()->item(1, 1)->text(), QString());
    EXPECT_EQ(stored("Alram", "r1"), QStringLiteral("?"));  // nothing stored yet

    window.findChild<QPushButton*>("saveButton")->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(stored("Alram", "r1"), QStringLiteral("2006-04-02 06:30"));
    EXPECT_EQ(stored("Memo", "r1"), QStringLiteral("첫 메모"));
    EXPECT_EQ(stored("Memo", "r3"), QStringLiteral("둘째 메모"));
    EXPECT_EQ(stored("Alram", "r3"), QString());
    EXPECT_EQ(f.board.slot(1).morningCall, QStringLiteral("2006-04-02 06:30"));
    EXPECT_EQ(f.board.view(1).hint, QStringLiteral("첫 메모"));
    EXPECT_EQ(f.board.view(1).startColor, Colors::Magenta);  // later than now
    EXPECT_EQ(f.board.view(3).startColor, Colors::Black);    // none
}

// The list stores only what the clerk edited, over the room's values of that moment.
TEST(MorningCallSave, ControllerChangesWhileTheListIsOpenAreKept) {
    BoardFixture f;
    f.clock.set(QDateTime(QDate(2006, 4, 1), QTime(22, 10)));
    {
        IniStore ini(f.iniPath());
        for (int n : {1, 3}) {
            ini.writeString("Name", QStringLiteral("LName%1").arg(n), QString::number(100 + n));
            ini.writeInteger("Panel", QStringLiteral("P%1").arg(n), 1);
            ini.writeInteger("RoomKey", QStringLiteral("r%1").arg(n), 128 + n);
        }
        ini.writeString("rStatus", "r3", "청 소");
        ini.writeString("Alram", "r3", "2006-04-02 07:00");
        ini.writeString("Memo", "r3", "창문 고장");
    }
    f.start();
    MorningCallList list(f.board);
    ASSERT_EQ(list.rows().size(), 2);
    ASSERT_TRUE(list.setMemo(0, QStringLiteral("새 메모")));

    f.board.onControllerBlock(QByteArray("\x83\x06", 2));  // room 103 ready: its call goes
    f.board.writeStep();
    ASSERT_EQ(IniStore(f.iniPath()).readString("Alram", "r3", "?"), QString());

    ASSERT_TRUE(list.save());
    f.board.writeStep();
    IniStore ini(f.iniPath());
    EXPECT_EQ(ini.readString("Memo", "r1", "?"), QStringLiteral("새 메모"));
    EXPECT_EQ(ini.readString("Alram", "r3", "?"), QString()) << "the old call came back";
    EXPECT_EQ(ini.readString("Memo", "r3", "?"), QStringLiteral("창문 고장"));
    EXPECT_EQ(f.board.slot(3).morningCall, QString());
    EXPECT_NE(f.board.view(3).startColor, Colors::Magenta);

    // A call the clerk did set again is stored, over the controller's change.
    list.setCall(1, QStringLiteral("2006-04-02 08:00"));
    ASSERT_TRUE(list.save());
    f.board.writeStep();
    EXPECT_EQ(IniStore(f.iniPath()).readString("Alram", "r3", "?"),
              QStringLiteral("2006-04-02 08:00"));
}

TEST_F(MorningCalls, ClosingDropsTheEdits) {
    {
        MorningCallWindow window(f.board);
        window.setPickers([](const QString&) { return QStringLiteral("2006-04-02 08:00"); },
                          [](const QString&) { return QStringLiteral("바뀐 메모"); });
        window.editCell(0, 2);
        window.editCell(0, 1);
        window.findChild<QPushButton*>("closeButton")->click();
        EXPECT_EQ(window.result(), QDialog::Rejected);
    }
    EXPECT_EQ(stored("Memo", "r1"), QStringLiteral("조용한 방"));
    EXPECT_EQ(stored("Alram", "r1"), QStringLiteral("?"));
    EXPECT_EQ(f.board.view(1).hint, QStringLiteral("조용한 방"));
}

TEST_F(MorningCalls, MemoTheFileCannotHoldIsRefused) {
    MorningCallList list(f.board);
    EXPECT_FALSE(list.setMemo(0, QStringLiteral("두 줄\n메모")));
    EXPECT_FALSE(list.setMemo(0, QStringLiteral("웃음 😀")));
    EXPECT_EQ(f.dialogs.errors.size(), 2);
    EXPECT_EQ(list.rows()[0].memo, QStringLiteral("조용한 방"));
    EXPECT_TRUE(list.setMemo(0, QString()));
}

TEST(AlarmTimeText, ReadsAndWritesTheCallsForm) {
    const QDate today(2006, 4, 1);
    const AlarmTime stored = AlarmTime::fromText(QStringLiteral("2003-01-14 07:05"), today);
    EXPECT_EQ(stored.date, QDate(2003, 1, 14));
    EXPECT_EQ(stored.hour, 7);
    EXPECT_EQ(stored.minute, 5);
    EXPECT_EQ(stored.text(), QStringLiteral("2003-01-14 07:05"));
    for (const char* unreadable : {"", "2003-13-14 07:05", "2003-01-14 25:00", "garbage"}) {
        const AlarmTime t = AlarmTime::fromText(QString::fromLatin1(unreadable), today);
        EXPECT_EQ(t.text(), QStringLiteral("2006-04-01 00:00")) << unreadable;
    }
    const QDateTime now(today, QTime(7, 5, 40));
    EXPECT_TRUE((AlarmTime{today, 7, 4}).isPast(now));
    EXPECT_FALSE((AlarmTime{today, 7, 5}).isPast(now));  // this very minute still rings
}

TEST_F(MorningCalls, AlarmWindowRefusesATimeGoneBy) {
    AlarmWindow past(f.board, QStringLiteral("2006-04-01 21:00"));
    past.findChild<QPushButton*>("saveButton")->click();
    EXPECT_FALSE(past.result().has_value());
    EXPECT_EQ(f.dialogs.errors.size(), 1);
    past.findChild<QSpinBox*>("hourBox")->setValue(23);
    past.findChild<QPushButton*>("saveButton")->click();
    EXPECT_EQ(past.result(), QStringLiteral("2006-04-01 23:00"));

    AlarmWindow cleared(f.board, QStringLiteral("2006-04-02 07:00"));
    cleared.findChild<QPushButton*>("clearButton")->click();
    EXPECT_EQ(cleared.result(), QString());
    AlarmWindow closed(f.board, QStringLiteral("2006-04-02 07:00"));
    closed.findChild<QPushButton*>("closeButton")->click();
    EXPECT_FALSE(closed.result().has_value());
}

}  // namespace
