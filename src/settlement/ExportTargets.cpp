#include "settlement/ExportTargets.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <utility>

namespace {

// The path with every link and ".." resolved, as far as it exists: a file not
// yet there is named by its folder's real path.
QString realPath(const QString& path, int links = 0) {
    const QFileInfo info(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    if (info.exists() || info.isSymLink()) {
        const QString real = info.canonicalFilePath();
        // A link leading nowhere: the file would be made where it points. A
        // ring of links leads nowhere at all.
        if (real.isEmpty() && links < 40) return realPath(info.symLinkTarget(), links + 1);
        return real.isEmpty() ? info.absoluteFilePath() : real;
    }
    const QString folder = info.absolutePath();
    if (folder == info.absoluteFilePath()) return folder;  // the root
    return QDir(realPath(folder, links)).filePath(info.fileName());
}

bool inside(const QString& path, const QString& folder) {
    if (folder.isEmpty()) return false;
    return path == folder ||
           path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

}  // namespace

ExportTargets::ExportTargets(QString dataDir, QStringList otherProtectedDirs)
    : dataDir_(std::move(dataDir)), otherProtected_(std::move(otherProtectedDirs)) {}

QString ExportTargets::exportFolder() const {
    return dataDir_.isEmpty() ? QString() : QDir(dataDir_).filePath(QStringLiteral("Export"));
}

QString ExportTargets::startFolder() const {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString folder = documents;
    if (documents.isEmpty() || !refusal(QDir(documents).filePath(QStringLiteral("x"))).isEmpty())
        folder = exportFolder();
    if (!folder.isEmpty()) QDir().mkpath(folder);
    return folder;
}

QString ExportTargets::refusal(const QString& path) const {
    const QString target = realPath(path);
    const QFileInfo info(target);
    if (info.isDir())
        return QStringLiteral("폴더에는 저장할 수 없습니다. 파일 이름을 입력하십시오: %1")
            .arg(path);
    if (info.exists() && !info.isFile())
        return QStringLiteral("이 파일에는 저장할 수 없습니다: %1").arg(path);
    const QString refused = QStringLiteral(
                                "프로그램의 자료가 있는 폴더에는 저장할 수 없습니다. 다른 폴더를 "
                                "고르십시오: %1")
                                .arg(path);
    if (!dataDir_.isEmpty()) {
        const QString data = realPath(dataDir_);
        // The export folder counts only as itself, never as a link to
        // somewhere else in the data directory.
        const QString exports = QDir(data).filePath(QStringLiteral("Export"));
        const bool inExports =
            realPath(exportFolder()) == exports && inside(target, exports) && target != exports;
        if (inside(target, data) && !inExports) return refused;
    }
    for (const QString& folder : otherProtected_)
        if (!folder.isEmpty() && inside(target, realPath(folder))) return refused;
    return QString();
}
