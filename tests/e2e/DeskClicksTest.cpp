// The real program under Xvfb, driven by mouse clicks as the clerk would:
// a stay started, checked out, cleaned and finished through the room's
// popup, then checked in the room-state file and the database.
#include "e2e/DeskMouse.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/StoreHelpers.h"

namespace {

class DeskClicks : public DeskMouse {
protected:
    // Slot 1's state label, in design pixels times the board's scale.
    QPoint label(const QRect& boardWindow) {
        return onBoard(boardWindow, QPoint(162 + 61 + 63 / 2, 29 + 6 + 24 / 2));
    }

    // Opens slot 1's popup and picks the button at its left position in
    // the button panel.
    void choose(const QRect& boardWindow, int buttonLeft) {
        click(label(boardWindow));
        const QRect popup = window(QStringLiteral("확인"));
        ASSERT_EQ(popup.size(), QSize(553, 123));
        click(popup.topLeft() + QPoint(14 + buttonLeft + 48, 48 + 16 + 12));
        ASSERT_TRUE(waitFor([&] { return findWindow(QStringLiteral("확인")).isNull(); }, 5000));
    }
};

TEST_F(DeskClicks, StayStartedCheckedOutCleanedAndFinishedByMouse) {
    startBoard();
    const QRect main = window(QStringLiteral("객실 관리 프로그램 Tavolen 1.0.0"));
    ASSERT_FALSE(main.isNull());

    choose(main, 165);  // 대 실
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("대 실"); }));
    const QString time = stored("Time");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{13,}$")).match(time).hasMatch())
        << time.toStdString();
    choose(main, 62);  // 퇴 실
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("퇴 실"); }));
    EXPECT_FALSE(stored("TimeEnd").isEmpty());
    choose(main, 213);  // 청 소
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("청 소"); }));
    choose(main, 165);  // 완 료
    ASSERT_TRUE(waitFor([&] { return stored("rStatus") == QStringLiteral("완 료"); }));
    EXPECT_EQ(stored("Time"), QString());
    EXPECT_EQ(stored("Sleep"), QStringLiteral("0"));

    Database db(dataDir());
    db.open();
    QStringList history;
    for (const auto& row : rowsOf(
             db, QStringLiteral(R"(Select roomNum, Action, Comm From "room.DB" Order By rowid)")))
        history << row.join(QLatin1Char(' '));
    EXPECT_EQ(history, (QStringList{"101 대실 0", "101 퇴실 0", "101 청소 0", "101 완료 0"}));
    const auto cash = rowsOf(db, QStringLiteral(R"(Select * From "Cash.DB")"));
    ASSERT_EQ(cash.size(), 1u);
    EXPECT_EQ(cash[0][0], QStringLiteral("101"));
    EXPECT_EQ(cash[0][1], time.left(12));
    EXPECT_EQ(cash[0][2].size(), 12);  // closed with its end
    EXPECT_EQ(cash[0].mid(3), (QStringList{"대실", "30000"}));
}

}  // namespace
