#include "platform/Assets.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString findIn(const QString& dir, const QString& name) {
    const QDir d(dir);
    const QString exact = d.filePath(name);
    if (QFileInfo::exists(exact)) return exact;
    for (const QString& entry : d.entryList(QDir::Files, QDir::Name))
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return d.filePath(entry);
    return QString();
}

}  // namespace

Assets::Assets(QString dataDir, QString programDir)
    : dataDir_(std::move(dataDir)), programDir_(std::move(programDir)) {}

QString Assets::path(const QString& name) const {
    const QString own = findIn(dataDir_, name);
    if (!own.isEmpty()) return own;
    const QString installed = findIn(programDir_, name);
    if (!installed.isEmpty()) return installed;
    return QDir(dataDir_).filePath(name);
}

const QImage& Assets::picture(const QString& name) {
    const QString key = name.toLower();
    auto it = pictures_.constFind(key);
    if (it != pictures_.constEnd()) return *it;
    const QString file = path(name);
    // Naming the format spares the probe through every image plugin.
    const QByteArray format = QFileInfo(file).suffix().toUpper().toLatin1();
    QImage image(file, format.isEmpty() ? nullptr : format.constData());
    if (image.isNull()) image.load(file);
    if (image.isNull()) throw TavolenError(QStringLiteral("그림 파일을 읽을 수 없습니다: ") + file);
    return *pictures_.insert(key, std::move(image));
}
