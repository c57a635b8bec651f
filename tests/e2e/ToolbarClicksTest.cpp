// The real program under Xvfb: the clerk signs in through the toolbar, sets
// a morning call and a memo for room 101 in the list and saves them.
#include <QDate>

#include "e2e/DeskMouse.h"
#include "store/IniStore.h"

namespace {

class ToolbarClicks : public DeskMouse {};

TEST_F(ToolbarClicks, SignInThenAMorningCallAndAMemoReachTheFile) {
    startBoard();
    const QRect main = window(QStringLiteral("객실 관리 프로그램 Tavolen 1.0.0"));
    ASSERT_FALSE(main.isNull());

    click(onBoard(main, QPoint(470 + 169 / 2, 2 + 25 / 2)));  // 사용자인증
    const QRect pass = window(QStringLiteral("사용자확인"));
    ASSERT_FALSE(pass.isNull());
    click(pass.topLeft() + QPoint(96 + 65, 24 + 10));
    type(QStringLiteral("1111"));
    key(QStringLiteral("Return"));
    ASSERT_TRUE(gone(QStringLiteral("사용자확인")));
    EXPECT_TRUE(findWindow(QStringLiteral("에러")).isNull());

    click(onBoard(main, QPoint(321 + 150 / 2, 2 + 25 / 2)));  // 모닝콜/ 메모
    const QRect list = window(QStringLiteral("모닝콜/메모 설정"));
    ASSERT_FALSE(list.isNull());
    const int firstRow = 8 + 22 + 9;  // below the grid's header

    click(list.topLeft() + QPoint(8 + 50 + 70, firstRow));  // room 101's call
    const QRect alarm = window(QStringLiteral("알람시간 설정"));
    ASSERT_FALSE(alarm.isNull());
    // The calendar has the focus on a new call: one day on, at 00:00.
    xdotool({QStringLiteral("mousemove"), QString::number(alarm.x() + 40),
             QString::number(alarm.y() + 230)});
    key(QStringLiteral("Right"));
    const QString tomorrow = QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd"));
    click(alarm.topLeft() + QPoint(8 + 40, 254 + 14));  // 저장
    ASSERT_TRUE(gone(QStringLiteral("알람시간 설정")));

    click(list.topLeft() + QPoint(8 + 50 + 140 + 100, firstRow));  // room 101's memo
    const QRect memo = window(QStringLiteral("메모사항"));
    ASSERT_FALSE(memo.isNull());
    xdotool({QStringLiteral("mousemove"), QString::number(memo.center().x()),
             QString::number(memo.center().y())});
    type(QStringLiteral("VIP late"));
    key(QStringLiteral("Return"));
    ASSERT_TRUE(gone(QStringLiteral("메모사항")));

    EXPECT_EQ(stored("Alram"), QStringLiteral("?"));                // nothing stored before 저장
    click(list.topLeft() + QPoint(611 - 184 + 42, 712 - 40 + 15));  // 저장
    ASSERT_TRUE(gone(QStringLiteral("모닝콜/메모 설정")));
    EXPECT_EQ(stored("Alram"), tomorrow + QStringLiteral(" 00:00"));
    EXPECT_EQ(stored("Memo"), QStringLiteral("VIP late"));
}

}  // namespace
