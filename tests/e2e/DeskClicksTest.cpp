// The real program under Xvfb, driven by mouse clicks as the clerk would:
// a stay started, checked out, cleaned and finished through the room's
// popup, then checked in the room-state file and the database.
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>

#include "board/ui/BoardWindow.h"
#include "e2e/RealDesk.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/StoreHelpers.h"

namespace {

class DeskClicks : public RealDesk {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps)";
        RealDesk::SetUp();
    }

    QString xdotool(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The place of the one shown window with this title; null if none.
    QRect findWindow(const QString& title) {
        const QStringList ids =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"),
                     QStringLiteral("^%1$").arg(QRegularExpression::escape(title))})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (ids.size() != 1) return QRect();
        const QString shell =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), ids[0]});
        const auto value = [&](const char* key) {
            return QRegularExpression(QStringLiteral("%1=(-?\\d+)").arg(QLatin1String(key)))
                .match(shell)
                .captured(1)
                .toInt();
        };
        return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
    }
    QRect window(const QString& title) {
        QRect found;
        waitFor([&] { return !(found = findWindow(title)).isNull(); });
        return found;
    }

    void click(QPoint at) {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                 QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    }

    // Slot 1's state label, in design pixels times the board's scale.
    QPoint label(const QRect& boardWindow) {
        const double scale = std::min(double(boardWindow.width()) / BoardWindow::kDesignWidth,
                                      double(boardWindow.height()) / BoardWindow::kDesignHeight);
        const QPoint design(162 + 61 + 63 / 2, 29 + 6 + 24 / 2);
        return boardWindow.topLeft() +
               QPoint(std::lround(design.x() * scale), std::lround(design.y() * scale));
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
