#include "platform/DeskLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

void appendDeskLog(const QString& dataDir, const QDateTime& when, const QString& text) {
    if (dataDir.isEmpty()) return;
    QString line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text;
    line.replace(u'\n', u' ');
    const QByteArray bytes = (line + u'\n').toUtf8();
    const QByteArray path = QFile::encodeName(QDir(dataDir).filePath(QLatin1String(kDeskLogName)));
    // One write with O_APPEND: a line is never split by a crash or mixed with another.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}
