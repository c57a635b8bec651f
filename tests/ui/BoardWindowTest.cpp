#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
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

// The colour a panel shows at a part's top left corner, clear of its text.
QColor cornerOf(RoomPanel* panel, RoomPanel::Part part) {
    return panel->grab().toImage().pixelColor(panel->partRect(part).topLeft() + QPoint(1, 1));
}

// Whether a part shows anything but one flat colour.
bool drawsSomething(RoomPanel* panel, RoomPanel::Part part) {
    const QImage image = panel->grab().toImage().copy(panel->partRect(part));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0)) return true;
    return false;
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
    window.renderChanges();
    window.resize(BoardWindow::kDesignWidth, BoardWindow::kDesignHeight);
    window.show();
    ASSERT_TRUE(f.dialogs.errors.isEmpty()) << f.dialogs.errors.join(';').toStdString();

    using Part = RoomPanel::Part;
    RoomPanel* panel1 = window.panel(1);
    EXPECT_EQ(panel1->shown().labelCaption, QStringLiteral("숙 박"));
    EXPECT_EQ(panel1->shown().buttonCaption, QStringLiteral("101"));
    EXPECT_EQ(cornerOf(panel1, Part::StateLabel), QColor(255, 0, 0));
    EXPECT_TRUE(drawsSomething(panel1, Part::StatePicture));
    EXPECT_TRUE(drawsSomething(panel1, Part::KindButton));

    RoomPanel* panel2 = window.panel(2);
    EXPECT_EQ(panel2->shown().labelCaption, QStringLiteral("외 출"));
    EXPECT_EQ(cornerOf(panel2, Part::StateLabel), QColor(255, 255, 0));
    EXPECT_EQ(panel2->toolTip(), QStringLiteral("늦게 도착"));

    // A slot without a room number shows "호수" and no stay kind button.
    RoomPanel* panel8 = window.panel(8);
    EXPECT_EQ(panel8->shown().buttonCaption, QStringLiteral("호수"));
    EXPECT_FALSE(drawsSomething(panel8, Part::KindButton));
    EXPECT_TRUE(panel8->isVisible());
    EXPECT_FALSE(window.panel(3)->isVisible());

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
    window.renderChanges();
    window.resize(BoardWindow::kDesignWidth * 2, BoardWindow::kDesignHeight * 2);
    window.show();
    using Part = RoomPanel::Part;
    RoomPanel* panel = window.panel(7);
    EXPECT_EQ(panel->geometry(), QRect(2 * 162, 2 * (29 + 66), 2 * 161, 2 * 68));
    EXPECT_EQ(panel->fontPixels(Part::StateLabel), 48);
    EXPECT_EQ(panel->partRect(Part::StateLabel), QRect(2 * 61, 2 * 6, 2 * 63, 2 * 24));

    f.board.editView(7).visible = true;
    f.board.editView(7).kindVisible = true;
    f.board.viewChanged(7);
    window.renderChanges();
    QSignalSpy labels(&window, &BoardWindow::labelClicked);
    QSignalSpy buttons(&window, &BoardWindow::roomButtonClicked);
    QSignalSpy kinds(&window, &BoardWindow::kindClicked);
    const auto at = [panel](Part part) { return panel->partRect(part).center(); };
    QTest::mouseClick(panel, Qt::LeftButton, {}, at(Part::StateLabel));
    QTest::mouseClick(panel, Qt::LeftButton, {}, at(Part::RoomButton));
    QTest::mouseClick(panel, Qt::LeftButton, {}, at(Part::KindButton));
    // Neither a press that ends on another part nor a click beside the parts is a click.
    QTest::mousePress(panel, Qt::LeftButton, {}, at(Part::StateLabel));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, at(Part::RoomButton));
    QTest::mouseClick(panel, Qt::LeftButton, {}, at(Part::ElapsedTime));
    QTest::mouseClick(panel, Qt::RightButton, {}, at(Part::RoomButton));
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0][0].toInt(), 7);
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0][0].toInt(), 7);
    ASSERT_EQ(kinds.size(), 1);
    EXPECT_EQ(kinds[0][0].toInt(), 7);

    // A hidden stay kind button takes no click.
    f.board.editView(7).kindVisible = false;
    f.board.viewChanged(7);
    window.renderChanges();
    QTest::mouseClick(panel, Qt::LeftButton, {}, at(Part::KindButton));
    EXPECT_EQ(kinds.size(), 1);
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
    window.renderChanges();
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
        using Part = RoomPanel::Part;
        const RoomPanel* panel = window.panel(1);
        EXPECT_EQ(panel->fontPixels(Part::StateLabel), px(24));
        EXPECT_EQ(panel->fontPixels(Part::StartTime), px(13));
        const QRect picture = panel->partRect(Part::StatePicture);
        EXPECT_NEAR(picture.width(), picture.height(), 1);
        for (int part = 0; part < RoomPanel::kParts; ++part) {
            const QRect r = panel->partRect(static_cast<Part>(part));
            EXPECT_TRUE(QRect(QPoint(), first.size()).contains(r)) << part;
        }
    }
}

// A full board: every slot has a panel and a room with its key.
void writeFullBoard(const QString& iniPath) {
    IniStore ini(iniPath);
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                        QString::number(100 * ((n - 1) / 6 + 1) + (n - 1) % 6 + 1));
        ini.writeInteger(QStringLiteral("RoomKey"), QStringLiteral("r%1").arg(n), 128 + n);
        ini.writeString(QStringLiteral("rStatus"), QStringLiteral("r%1").arg(n), storedText(RoomState::DayUse));
    }
}

// Every panel lies inside the window and clear of every line the strip shows.
void expectRoomsUncovered(BoardWindow& window) {
    const QWidget* strip = window.findChild<QWidget*>(QStringLiteral("messageStrip"));
    ASSERT_TRUE(strip);
    ASSERT_TRUE(strip->isVisible());
    std::vector<QRect> lines;
    for (const QWidget* line : strip->findChildren<QWidget*>())
        if (line->isVisible())
            lines.push_back(QRect(strip->mapTo(&window, line->pos()), line->size()));
    ASSERT_FALSE(lines.empty());
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const QWidget* panel = window.panel(n);
        ASSERT_TRUE(panel->isVisible()) << n;
        EXPECT_TRUE(window.rect().contains(panel->geometry())) << "room panel " << n;
        for (const QRect& line : lines)
            EXPECT_FALSE(panel->geometry().intersects(line)) << "room panel " << n;
    }
}

TEST(BoardWindow, TheMessageLineAndTheStorageWarningNeverCoverARoom) {
    BoardFixture f;
    writeFullBoard(f.iniPath());
    BoardWindow window(f.board, f.assets);
    f.start();
    window.renderChanges();
    window.show();
    auto* strip = child<QWidget>(window, QStringLiteral("messageStrip"));
    auto* notice = child<QLabel>(window, QStringLiteral("noticeLine"));
    auto* warning = child<QLabel>(window, QStringLiteral("storageWarning"));
    ASSERT_TRUE(strip && notice && warning);
    EXPECT_FALSE(strip->isVisible());  // nothing to say, no room taken

    const QString port = QStringLiteral("직렬 포트를 열 수 없습니다: /dev/ttyS1 (%1)")
                             .arg(QString(QStringLiteral("Error opening port; ")).repeated(12));
    f.board.notify(port);
    // The storage warning: the room-state file cannot be replaced.
    QFile::remove(f.iniPath());
    ASSERT_TRUE(QDir().mkdir(f.iniPath()));
    f.board.onControllerBlock(QByteArray("\x81\x01", 2));
    f.board.writeStep();
    ASSERT_FALSE(f.board.storageWarning().isEmpty());

    for (const QSize size : {QSize(1280, 1024), QSize(1920, 1080), QSize(1920, 1200)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        window.resize(size);
        ASSERT_EQ(window.size(), size);
        EXPECT_TRUE(notice->isVisible());
        EXPECT_TRUE(warning->isVisible());
        expectRoomsUncovered(window);
        // Too long for its place: shortened, and whole as the tooltip.
        EXPECT_TRUE(notice->text().endsWith(QChar(0x2026))) << notice->text().toStdString();
        EXPECT_TRUE(notice->toolTip().endsWith(port));
        EXPECT_EQ(warning->toolTip(), f.board.storageWarning());
        EXPECT_LE(notice->fontMetrics().horizontalAdvance(notice->text()), notice->width());
    }

    // Several messages: the newest with their count, all of them in the tooltip.
    f.board.notify(QStringLiteral("일결산 파일을 쓸 수 없습니다"));
    f.board.notify(QStringLiteral("일결산 파일을 쓸 수 없습니다"));
    EXPECT_TRUE(notice->text().contains(QStringLiteral("일결산 파일을 쓸 수 없습니다")));
    EXPECT_TRUE(notice->text().endsWith(QStringLiteral("(3건)"))) << notice->text().toStdString();
    EXPECT_EQ(notice->toolTip().split(QLatin1Char('\n')).size(), 3);

    // Put away with a click, the message line leaves the warning alone.
    QTest::mouseClick(strip, Qt::LeftButton, {}, notice->geometry().center());
    EXPECT_FALSE(notice->isVisible());
    EXPECT_TRUE(warning->isVisible());
    expectRoomsUncovered(window);
    // With the disk back the strip goes and the rooms take the height again.
    ASSERT_TRUE(QDir().rmdir(f.iniPath()));
    f.board.writeStep();
    ASSERT_TRUE(f.board.storageWarning().isEmpty());
    EXPECT_FALSE(strip->isVisible());
    const double s =
        std::min(1920.0 / BoardWindow::kDesignWidth, 1200.0 / BoardWindow::kDesignHeight);
    EXPECT_EQ(window.panel(72)->geometry().bottom() + 1, int(std::lround((29 + 66 * 11 + 68) * s)));
}

}  // namespace
