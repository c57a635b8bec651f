#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "board/States.h"
#include "board/ui/RoomPanel.h"
#include "board/ui/TformMain.h"
#include "controls/TMFrame.h"
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
        ini.WriteString(QStringLiteral("Motel"), QStringLiteral("Coname"), QStringLiteral("타볼렌 모텔"));
        for (int n : {1, 2, 8}) ini.WriteInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.WriteString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        ini.WriteString(QStringLiteral("rStatus"), QStringLiteral("r1"), States::Sleep);
        ini.WriteInteger(QStringLiteral("Sleep"), QStringLiteral("r1"), 1);
        ini.WriteString(QStringLiteral("Name"), QStringLiteral("LName2"), QStringLiteral("102"));
        ini.WriteString(QStringLiteral("rStatus"), QStringLiteral("r2"), States::WithOut2);
        ini.WriteString(QStringLiteral("Memo"), QStringLiteral("r2"), QStringLiteral("늦게 도착"));
    }
    TformMain window(f.board, f.assets);
    f.start();
    window.resize(TformMain::kDesignWidth, TformMain::kDesignHeight);
    window.show();
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();

    auto* label1 = child<QLabel>(window, QStringLiteral("Label1"));
    ASSERT_TRUE(label1);
    EXPECT_EQ(label1->text(), QStringLiteral("숙 박"));
    EXPECT_EQ(label1->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(label1->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_FALSE(child<QLabel>(window, QStringLiteral("Image1001"))->pixmap().isNull());
    EXPECT_EQ(child<QPushButton>(window, QStringLiteral("BitBtn1"))->text(), QStringLiteral("101"));

    auto* label2 = child<QLabel>(window, QStringLiteral("Label2"));
    EXPECT_EQ(label2->text(), QStringLiteral("외 출"));
    EXPECT_EQ(label2->palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_EQ(child<QWidget>(window, QStringLiteral("Panel2"))->toolTip(), QStringLiteral("늦게 도착"));

    // A slot without a room number shows "호수" and no stay kind button.
    EXPECT_EQ(child<QPushButton>(window, QStringLiteral("BitBtn8"))->text(), QStringLiteral("호수"));
    EXPECT_FALSE(child<QToolButton>(window, QStringLiteral("SpeedButton8"))->isVisible());
    EXPECT_TRUE(child<QWidget>(window, QStringLiteral("Panel8"))->isVisible());
    EXPECT_FALSE(child<QWidget>(window, QStringLiteral("Panel3"))->isVisible());

    EXPECT_EQ(child<TMFrame>(window, QStringLiteral("MFrame3"))->caption(), QStringLiteral("타볼렌 모텔"));
    EXPECT_EQ(child<QLabel>(window, QStringLiteral("lbSt"))->text(), QStringLiteral("신호대기"));

    // Panels stand in a grid of 6 columns, in design pixels at scale 1.
    EXPECT_EQ(child<QWidget>(window, QStringLiteral("Panel8"))->geometry(),
              QRect(162 + 161, 29 + 66, 161, 68));
}

TEST(BoardWindow, ScalesUniformlyAndForwardsClicks) {
    BoardFixture f;
    TformMain window(f.board, f.assets);
    f.start();
    window.resize(TformMain::kDesignWidth * 2, TformMain::kDesignHeight * 2);
    window.show();
    auto* panel = child<QWidget>(window, QStringLiteral("Panel7"));
    EXPECT_EQ(panel->geometry(), QRect(2 * 162, 2 * (29 + 66), 2 * 161, 2 * 68));
    auto* label = child<QLabel>(window, QStringLiteral("Label7"));
    EXPECT_EQ(label->font().pixelSize(), 48);

    f.board.editView(7).visible = true;
    f.board.viewChanged(7);
    QSignalSpy labels(&window, &TformMain::labelClicked);
    QSignalSpy buttons(&window, &TformMain::roomButtonClicked);
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(window, QStringLiteral("BitBtn7")), Qt::LeftButton);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0][0].toInt(), 7);
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0][0].toInt(), 7);
}

}  // namespace
