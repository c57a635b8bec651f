#pragma once

// The real program on a display of its own: an Xvfb started for the test,
// the board's controller line on a pseudo-terminal, and room 101 set up in
// slot 1 of a fresh data directory.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "store/IniStore.h"

inline bool waitFor(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return true;
        QThread::msleep(50);
    }
    return done();
}

class RealDesk : public ::testing::Test {
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
        // Xvfb picks a free display itself and tells its number.
        xvfb.start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
             QStringLiteral("tcp"), QStringLiteral("-noreset")});
        ASSERT_TRUE(xvfb.waitForStarted(10000))
            << "Xvfb could not be started: " << xvfb.errorString().toStdString();
        ASSERT_NO_FATAL_FAILURE(readDisplay());
        ASSERT_NO_FATAL_FAILURE(awaitDisplay());
        char name[128] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw{};
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);

        QDir().mkpath(dataDir());
        IniStore store(ini());
        store.writeString(QStringLiteral("Motel"), QStringLiteral("ComPort"),
                          QString::fromLatin1(name));
        store.writeString(QStringLiteral("Name"), QStringLiteral("LName1"), QStringLiteral("101"));
        store.writeInteger(QStringLiteral("Panel"), QStringLiteral("P1"), 1);
        store.writeInteger(QStringLiteral("Money"), QStringLiteral("rd1"), 30000);
        store.writeInteger(QStringLiteral("Money"), QStringLiteral("rs1"), 50000);
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

    // The number Xvfb writes once it listens: a whole line of digits, never
    // a part of one, and never a display of the machine's own.
    void readDisplay() {
        QByteArray line;
        const bool complete = waitFor([&] {
            if (xvfb.canReadLine()) return true;
            if (xvfb.state() == QProcess::NotRunning) return true;
            xvfb.waitForReadyRead(100);
            return xvfb.canReadLine();
        });
        if (complete && xvfb.canReadLine()) line = xvfb.readLine().trimmed();
        bool number = false;
        line.toInt(&number);
        ASSERT_TRUE(number) << "the test's Xvfb told no display number (got \""
                            << line.toStdString()
                            << "\"): " << xvfb.readAllStandardError().toStdString();
        display = QStringLiteral(":") + QString::fromLatin1(line);
    }

    // Waits until the test's own X server accepts a client, so that the
    // program never meets a server that is still starting.
    void awaitDisplay() {
        QString reason;
        const bool accepted = waitFor([&] {
            if (xvfb.state() == QProcess::NotRunning) return true;
            QProcess probe;
            probe.setProcessChannelMode(QProcess::MergedChannels);
            probe.start(QStringLiteral("xdpyinfo"), {QStringLiteral("-display"), display});
            if (!probe.waitForStarted(5000)) {
                reason = QStringLiteral("xdpyinfo cannot be started (scripts/install-deps)");
                return false;
            }
            if (!probe.waitForFinished(5000)) {
                probe.kill();
                probe.waitForFinished();
                reason = QStringLiteral("xdpyinfo did not answer");
                return false;
            }
            reason = QString::fromLocal8Bit(probe.readAll()).trimmed();
            return probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
        });
        ASSERT_EQ(xvfb.state(), QProcess::Running)
            << "the test's Xvfb on " << display.toStdString()
            << " ended: " << xvfb.readAllStandardError().toStdString();
        ASSERT_TRUE(accepted) << "the test's X server on " << display.toStdString()
                              << " never accepted a connection: " << reason.left(300).toStdString();
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

    // Slot 1's value in the room-state file, "?" when it has none.
    QString stored(const char* section) {
        return IniStore(ini()).readString(QString::fromLatin1(section), QStringLiteral("r1"),
                                          QStringLiteral("?"));
    }
};
