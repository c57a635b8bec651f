#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/FontSettings.h"

namespace {

// Puts the two variables back as they were.
struct SavedFontEnvironment {
    QByteArray file = qgetenv("FONTCONFIG_FILE");
    QByteArray path = qgetenv("FONTCONFIG_PATH");
    bool hadFile = qEnvironmentVariableIsSet("FONTCONFIG_FILE");
    bool hadPath = qEnvironmentVariableIsSet("FONTCONFIG_PATH");
    ~SavedFontEnvironment() {
        hadFile ? qputenv("FONTCONFIG_FILE", file) : qunsetenv("FONTCONFIG_FILE");
        hadPath ? qputenv("FONTCONFIG_PATH", path) : qunsetenv("FONTCONFIG_PATH");
    }
};

TEST(FontSettings, TheProgramsOwnOnlyWhenThereAndNotChosenOtherwise) {
    const SavedFontEnvironment saved;
    QTemporaryDir with;
    QTemporaryDir without;
    QFile conf(QDir(with.path()).filePath(QStringLiteral("tavolen-fonts.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.close();
    const QByteArray ours = QFile::encodeName(conf.fileName());
    const struct {
        const char* name;
        const char* presetFile;
        const char* presetPath;
        QString programDir;
        QByteArray expectedFile;  // empty: unset
    } cases[] = {
        {"nothing chosen, the file there", nullptr, nullptr, with.path(), ours},
        {"nothing chosen, no file", nullptr, nullptr, without.path(), {}},
        {"a file chosen", "/etc/fonts/fonts.conf", nullptr, with.path(), "/etc/fonts/fonts.conf"},
        {"a path chosen", nullptr, "/etc/fonts", with.path(), {}},
    };
    for (const auto& c : cases) {
        c.presetFile ? qputenv("FONTCONFIG_FILE", c.presetFile) : qunsetenv("FONTCONFIG_FILE");
        c.presetPath ? qputenv("FONTCONFIG_PATH", c.presetPath) : qunsetenv("FONTCONFIG_PATH");
        useProgramFontSettings(c.programDir);
        EXPECT_EQ(qgetenv("FONTCONFIG_FILE"), c.expectedFile) << c.name;
    }
}

TEST(FontSettings, TheRunningProgramsDirectory) {
    EXPECT_EQ(runningProgramDir(), QFileInfo(QStringLiteral(TAVOLEN_BIN_DIR)).canonicalFilePath());
}

}  // namespace
