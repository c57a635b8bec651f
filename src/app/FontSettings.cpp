#include "app/FontSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void useProgramFontSettings(const QString& programDir) {
    if (qEnvironmentVariableIsSet("FONTCONFIG_FILE") || qEnvironmentVariableIsSet("FONTCONFIG_PATH"))
        return;
    const QString file = QDir(programDir).filePath(QStringLiteral("tavolen-fonts.conf"));
    // A file named that is not there would leave fontconfig without a single font.
    if (!QFileInfo(file).isReadable()) return;
    qputenv("FONTCONFIG_FILE", QFile::encodeName(file));
}

QString runningProgramDir() {
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}
