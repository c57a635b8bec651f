#include "platform/Assets.h"

#include <dirent.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool isAscii(const char* name) {
    for (; *name; ++name)
        if (static_cast<unsigned char>(*name) >= 0x80) return false;
    return true;
}

QString findIn(const QString& dir, const QString& name) {
    const QDir d(dir);
    const QString exact = d.filePath(name);
    if (QFileInfo::exists(exact)) return exact;
    // A sound is looked for at every event, so the folder is read as it stands, without
    // sorting it or asking each entry's type first. Of several names that differ only in case
    // the first in order wins, as in a sorted listing.
    DIR* folder = ::opendir(QFile::encodeName(dir).constData());
    if (!folder) return QString();
    const QByteArray wanted = QFile::encodeName(name);
    const bool asciiWanted = isAscii(wanted.constData());
    QString best;
    while (const dirent* entry = ::readdir(folder)) {
        const char* raw = entry->d_name;
        const bool same = asciiWanted && isAscii(raw)
                              ? qstricmp(raw, wanted.constData()) == 0
                              : QFile::decodeName(raw).compare(name, Qt::CaseInsensitive) == 0;
        if (!same) continue;
        const QString candidate = QFile::decodeName(raw);
        if ((best.isNull() || candidate < best) && QFileInfo(d.filePath(candidate)).isFile())
            best = candidate;
    }
    ::closedir(folder);
    return best.isNull() ? QString() : d.filePath(best);
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
