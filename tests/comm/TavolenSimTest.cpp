#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "comm/SerialPort.h"

namespace {

constexpr int kWaitMs = 10000;

// The simulator drives a real port: a script's bytes wait in the driver until the port
// reads them, typed commands follow, and quitting hangs the line up.
TEST(TavolenSim, DrivesAPortFromAScriptAndItsPrompt) {
    const QString program = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen-sim");
    if (!QFileInfo::exists(program)) GTEST_SKIP() << "tavolen-sim is not built";

    QTemporaryDir dir;
    const QString script = dir.filePath("script.txt");
    const QString link = dir.filePath("ttyController");
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("# room 106 is ready\nkey 5 6\n");
    }
    QProcess sim;
    sim.start(program, {"--script", script, "--link", link});
    ASSERT_TRUE(sim.waitForStarted(kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine(); }, kWaitMs));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    EXPECT_TRUE(device.startsWith("/dev/"));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), device);

    std::vector<QByteArray> blocks;
    bool hungUp = false;
    SerialPort port;
    port.receiveHandler = [&](const void* buffer, quint16 length) {
        blocks.emplace_back(static_cast<const char*>(buffer), length);
    };
    port.hangupHandler = [&](SerialPort*) { hungUp = true; };
    port.portName = link;
    ASSERT_TRUE(port.openPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocks.size() == 1; }, kWaitMs));

    sim.write("pace 9600\nraw 81 03 82\ncode 130 1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocks.size() == 2; }, kWaitMs));
    sim.write("quit\n");
    ASSERT_TRUE(sim.waitForFinished(kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hungUp; }, kWaitMs));

    EXPECT_EQ(blocks, (std::vector<QByteArray>{"\x85\x06", "\x81\x03\x82\x82\x01"}));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink()) << "the link goes with the simulator";
}

TEST(TavolenSim, RefusesABadScriptBeforeSendingAnything) {
    const QString program = QStringLiteral(TAVOLEN_BIN_DIR "/tavolen-sim");
    if (!QFileInfo::exists(program)) GTEST_SKIP() << "tavolen-sim is not built";

    QTemporaryDir dir;
    const QString script = dir.filePath("script.txt");
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"key 1 3\nkey 128 3\n", ":2: usage: key N EVENT"},
        {"raw 81 1ff\n", ":1: usage: raw HEX"},
        {"wait\n", ":1: usage: wait MS"},
        {"pace fast\n", ":1: usage: pace BAUD"},
        {"quit now\n", ":1: usage: quit"},
        {"jump 3\n", ":1: unknown command \"jump\""},
    };
    for (const auto& [text, message] : cases) {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();

        QProcess sim;
        sim.start(program, {"--script", script});
        ASSERT_TRUE(sim.waitForFinished(kWaitMs));
        EXPECT_EQ(sim.exitCode(), 2) << text.constData();
        EXPECT_TRUE(sim.readAllStandardOutput().isEmpty()) << "no device was offered";
        EXPECT_TRUE(sim.readAllStandardError().contains(message)) << text.constData();
    }
}

}  // namespace
