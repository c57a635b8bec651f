// The real program under Xvfb, driven by mouse clicks as the clerk would:
// a stay started, checked out, cleaned and finished through the room's
// popup, then checked in the room-state file and the database.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>

#include "board/ui/TformMain.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/StoreHelpers.h"

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return true;
        QThread::msleep(50);
    }
    return done();
}

class DeskClicks : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess xvfb;
    QProcess board;
    QString display;
    int master = -1;
    int slave = -1;

    QString dataDir() const { return dir.filePath(QStringLiteral("data")); }
    QString ini() const { return QDir(dataDir()).filePath(QStringLiteral("TavolenConfig.ini")); }

    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed (scripts/install-deps)";
        // Xvfb picks a free display itself and tells its number.
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        ASSERT_TRUE(xvfb.waitForStarted(10000));
        ASSERT_TRUE(waitFor([&] { return xvfb.canReadLine() || xvfb.waitForReadyRead(100); }));
        display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();

        // The controller's line is a pseudo-terminal that stays silent.
        char name[128] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw{};
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);

        QDir().mkpath(dataDir());
        IniStore store(ini());
        store.WriteString(QStringLiteral("Motel"), QStringLiteral("ComPort"),
                          QString::fromLatin1(name));
        store.WriteString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        store.WriteInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
        store.WriteInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        store.WriteInteger(QStringLiteral("Money"), QStringLiteral("rs1"), 50000);
    }

    void TearDown() override {
        if (board.state() != QProcess::NotRunning) {
            board.kill();
            board.waitForFinished();
        }
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished();
        }
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        return env;
    }

    void startBoard() {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        board.setProcessEnvironment(env);
        board.setProcessChannelMode(QProcess::ForwardedChannels);
        board.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                    {QStringLiteral("--data-dir"), dataDir(), QStringLiteral("--windowed")});
        ASSERT_TRUE(board.waitForStarted(10000));
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
        const double scale = std::min(double(boardWindow.width()) / TformMain::kDesignWidth,
                                      double(boardWindow.height()) / TformMain::kDesignHeight);
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

    QString stored(const char* section) {
        return IniStore(ini()).ReadString(QString::fromLatin1(section), QStringLiteral("r1"),
                                          QStringLiteral("?"));
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
