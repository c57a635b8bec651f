#include "lockdown/LockdownLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {
QString& logPath() {
    static QString path;
    return path;
}
}  // namespace

void setLockdownLogDir(const QString& dataDir) {
    logPath() =
        dataDir.isEmpty() ? QString() : QDir(dataDir).filePath(QStringLiteral("lockdown.log"));
}

void logLockdown(const QString& line) {
    const QByteArray text =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) +
         QStringLiteral("lockdown: ") + line + QLatin1Char('\n'))
            .toUtf8();
    std::fputs(text.constData(), stderr);
    if (logPath().isEmpty()) return;
    QFile file(logPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) file.write(text);
}
