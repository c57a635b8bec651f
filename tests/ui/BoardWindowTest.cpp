#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <cmath>

#include "board/StoredRoomState.h"
#include "board/ui/BoardWindow.h"
#include "board/ui/RoomPanel.h"
#include "controls/PaintedFrame.h"
#include "store/IniStore.h"
#include "support/Fakes.h"

namespace {

template <typename T>
T* child(QWidget& w, const QString& name) {
    T* found = w.findChild<T*>(name);
    if (!found) ADD_FAILURE() << "no control " << name.toStdString();
    return found;
}

TEST(BoardWindow, ShowsTheRestoredRooms) {
    BoardFixture f;
    {
        IniStore ini(f.iniPath());
        ini.writeString(QStringLiteral("Motel"), QStringLiteral("Coname"),
                        QStringLiteral("타볼렌 모텔"));
        for (int n : {1, 2, 8})
            ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        ini.writeString(QStringLiteral("rStatus"), QStringLiteral("r1"),
                        storedText(RoomState::Overnight));
        ini.writeInteger(QStringLiteral("Sleep"), QStringLiteral("r1"), 1);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName2"), QStringLiteral("102"));
        ini.writeString(QStringLiteral("rStatus"), QStringLiteral("r2"),
                        storedText(RoomState::GuestOut));
        ini.writeString(QStringLiteral("Memo"), QStringLiteral("r2"), QStringLiteral("늦게 도착"));
    }
    BoardWindow window(f.board, f.assets);
    f.start();
    window.resize(BoardWindow::kDesignWidth, BoardWindow::kDesignHeight);
    window.show();
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();

    auto* label1 = child<QLabel>(window, QStringLiteral("stateLabel1"));
    ASSERT_TRUE(label1);
    EXPECT_EQ(label1->text(), QStringLiteral("숙 박"));
    EXPECT_EQ(label1->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(label1->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_FALSE(child<QLabel>(window, QStringLiteral("stateImage1"))->pixmap().isNull());
    EXPECT_EQ(child<QPushButton>(window, QStringLiteral("roomButton1"))->text(),
              QStringLiteral("101"));

    auto* label2 = child<QLabel>(window, QStringLiteral("stateLabel2"));
    EXPECT_EQ(label2->text(), QStringLiteral("외 출"));
    EXPECT_EQ(label2->palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_EQ(child<QWidget>(window, QStringLiteral("roomPanel2"))->toolTip(),
              QStringLiteral("늦게 도착"));

    // A slot without a room number shows "호수" and no stay kind button.
    EXPECT_EQ(child<QPushButton>(window, QStringLiteral("roomButton8"))->text(),
              QStringLiteral("호수"));
    EXPECT_FALSE(child<QToolButton>(window, QStringLiteral("stayKindButton8"))->isVisible());
    EXPECT_TRUE(child<QWidget>(window, QStringLiteral("roomPanel8"))->isVisible());
    EXPECT_FALSE(child<QWidget>(window, QStringLiteral("roomPanel3"))->isVisible());

    EXPECT_EQ(child<PaintedFrame>(window, QStringLiteral("businessName"))->caption(),
              QStringLiteral("타볼렌 모텔"));
    EXPECT_EQ(child<QLabel>(window, QStringLiteral("lastEventWord"))->text(),
              QStringLiteral("신호대기"));

    // Panels stand in a grid of 6 columns, in design pixels at scale 1.
    EXPECT_EQ(child<QWidget>(window, QStringLiteral("roomPanel8"))->geometry(),
              QRect(162 + 161, 29 + 66, 161, 68));
}

TEST(BoardWindow, ScalesUniformlyAndForwardsClicks) {
    BoardFixture f;
    BoardWindow window(f.board, f.assets);
    f.start();
    window.resize(BoardWindow::kDesignWidth * 2, BoardWindow::kDesignHeight * 2);
    window.show();
    auto* panel = child<QWidget>(window, QStringLiteral("roomPanel7"));
    EXPECT_EQ(panel->geometry(), QRect(2 * 162, 2 * (29 + 66), 2 * 161, 2 * 68));
    auto* label = child<QLabel>(window, QStringLiteral("stateLabel7"));
    EXPECT_EQ(label->font().pixelSize(), 48);

    f.board.editView(7).visible = true;
    f.board.viewChanged(7);
    QSignalSpy labels(&window, &BoardWindow::labelClicked);
    QSignalSpy buttons(&window, &BoardWindow::roomButtonClicked);
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(window, QStringLiteral("roomButton7")), Qt::LeftButton);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0][0].toInt(), 7);
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0][0].toInt(), 7);
}

TEST(BoardWindow, ToolbarButtonsForwardTheirCommandAndShowTheSignIn) {
    BoardFixture f;
    f.start();
    BoardWindow window(f.board, f.assets);
    const struct {
        ToolbarButton button;
        const char* name;
        const char* caption;
    } buttons[] = {
        {ToolbarButton::EnvironmentSetup, "spBB", "환경정보"},
        {ToolbarButton::DailySettlement, "spDay", "일결산"},
        {ToolbarButton::MonthlySettlement, "spMonth", "월결산"},
        {ToolbarButton::MorningCalls, "spMoning", "모닝콜/ 메모"},
        {ToolbarButton::SignIn, "spLogIn", "사용자인증"},
        {ToolbarButton::Backup, "spFileCopy", "자료복사"},
        {ToolbarButton::About, "spAbout", "프로그램 A/S"},
        {ToolbarButton::ShutDown, "spClose", "종료"},
        {ToolbarButton::UseWindows, "spMini", ""},
    };
    QList<ToolbarButton> clicked;
    QObject::connect(&window, &BoardWindow::toolbarClicked, [&](ToolbarButton b) { clicked << b; });
    for (const auto& b : buttons) {
        auto* button = child<QToolButton>(window, QString::fromLatin1(b.name));
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        button->click();
        EXPECT_EQ(clicked.last(), b.button) << b.name;
    }
    EXPECT_EQ(clicked.size(), 9);

    window.setSignIn(QStringLiteral("공급업체인증해제"), QStringLiteral("lockO.bmp"));
    EXPECT_EQ(window.toolbarButton(ToolbarButton::SignIn)->text(),
              QStringLiteral("공급업체인증해제"));
    EXPECT_FALSE(window.toolbarButton(ToolbarButton::SignIn)->icon().isNull());
}

TEST(BoardWindow, RoomsTakeTheWholeWidthOfAWideScreen) {
    BoardFixture f;
    BoardWindow window(f.board, f.assets);
    f.start();
    window.show();
    const QSize sizes[] = {{1280, 1024},
                           {1920, 1080},
                           {1920, 1200},
                           {2560, 1080},
                           {BoardWindow::kDesignWidth * 2, BoardWindow::kDesignHeight * 2}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        window.resize(size);
        ASSERT_EQ(window.size(), size);
        const double s = std::min(double(size.width()) / BoardWindow::kDesignWidth,
                                  double(size.height()) / BoardWindow::kDesignHeight);
        const auto px = [s](int design) { return int(std::lround(design * s)); };

        // The left column and the title strip as at the uniform factor.
        EXPECT_EQ(child<QWidget>(window, QStringLiteral("leftColumn"))->width(), px(165));
        EXPECT_EQ(child<QWidget>(window, QStringLiteral("titleStrip"))->width(), size.width());

        // Six panels side by side from the left column to the right margin.
        const QRect first = child<QWidget>(window, QStringLiteral("roomPanel1"))->geometry();
        const QRect last = child<QWidget>(window, QStringLiteral("roomPanel72"))->geometry();
        EXPECT_EQ(first.left(), px(162));
        EXPECT_EQ(first.top(), px(29));
        EXPECT_NEAR(size.width() - (last.right() + 1), px(4), 1);
        EXPECT_EQ(last.bottom() + 1, px(29 + 66 * 11 + 68));
        for (int n = 2; n <= 6; ++n) {
            const QRect left =
                child<QWidget>(window, QStringLiteral("roomPanel%1").arg(n - 1))->geometry();
            const QRect right =
                child<QWidget>(window, QStringLiteral("roomPanel%1").arg(n))->geometry();
            EXPECT_EQ(right.left(), left.right() + 1) << n;
            EXPECT_NEAR(right.width(), first.width(), 1) << n;
        }

        // Texts keep the uniform size, pictures their shape, and every
        // control stays inside its panel.
        EXPECT_EQ(child<QLabel>(window, QStringLiteral("stateLabel1"))->font().pixelSize(), px(24));
        EXPECT_EQ(child<QLabel>(window, QStringLiteral("startTime1"))->font().pixelSize(), px(13));
        const QRect picture = child<QLabel>(window, QStringLiteral("stateImage1"))->geometry();
        EXPECT_NEAR(picture.width(), picture.height(), 1);
        for (const char* name : {"roomButton1", "stateLabel1", "stayKindButton1", "doorImage1",
                                 "stateImage1", "startTime1", "elapsedTime1"}) {
            const QRect r = child<QWidget>(window, QString::fromLatin1(name))->geometry();
            EXPECT_TRUE(QRect(QPoint(), first.size()).contains(r)) << name;
        }
    }
}

}  // namespace
