#include "platform/Assets.h"

#include <QDir>
#include <QFileInfo>

Assets::Assets(QString dataDir, QString programDir)
    : dataDir_(std::move(dataDir)), programDir_(std::move(programDir)) {}

QString Assets::path(const QString& name) const {
    const QString own = QDir(dataDir_).filePath(name);
    if (QFileInfo::exists(own)) return own;
    const QString installed = QDir(programDir_).filePath(name);
    if (QFileInfo::exists(installed)) return installed;
    return own;
}

const QImage& Assets::picture(const QString& name) {
    auto it = pictures_.constFind(name);
    if (it != pictures_.constEnd()) return *it;
    const QString file = path(name);
    // Naming the format spares the probe through every image plugin.
    const QByteArray format = QFileInfo(file).suffix().toUpper().toLatin1();
    QImage image(file, format.isEmpty() ? nullptr : format.constData());
    if (image.isNull()) image.load(file);
    if (image.isNull()) throw TavolenError(QStringLiteral("그림 파일을 읽을 수 없습니다: ") + file);
    return *pictures_.insert(name, std::move(image));
}
