#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "store/IniStore.h"

namespace {

// The live view comes as a module beside the program. A program copied without it still runs
// its board, and the start-up says why the live view is missing in the log, without a box.
TEST(WebModule, ABoardWithoutItsWebModuleRunsAndSaysWhy) {
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("alone")));
    const QString alone = dir.filePath("alone/tavolen");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"), alone));
    IniStore ini(QDir(data).filePath("TavolenConfig.ini"));
    ini.writeString("Motel", "ComPort", dir.filePath("no-such-tty"));
    ini.writeInteger("Web", "Enabled", 1);
    ini.writeString("Web", "Listen", "127.0.0.1");
    ini.writeInteger("Web", "Port", 1);  // never bound: the module is not there to try

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(alone, {"--windowed", "--quit-after", "1500", "--data-dir", data});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    QFile log(QDir(data).filePath("tavolen.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("웹 화면을 불러올 수 없습니다")) << text.toStdString();
    EXPECT_TRUE(text.contains("tavolen-web.so")) << text.toStdString();
}

}  // namespace
