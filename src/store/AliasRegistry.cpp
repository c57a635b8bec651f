#include "store/AliasRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <utility>

#include "platform/Errors.h"

namespace {

const QString kAlias = QStringLiteral("Motel");

QString configHome() {
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
    return QDir(QDir::homePath()).filePath(QStringLiteral(".config"));
}

bool hasSection(const QByteArray& file, const QString& name) {
    for (const QByteArray& line : file.split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.startsWith('[') || !t.endsWith(']')) continue;
        const QString section = QString::fromUtf8(t.mid(1, t.size() - 2)).trimmed();
        if (section.compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

}  // namespace

AliasRegistry::AliasRegistry()
    : AliasRegistry(QDir(configHome()).filePath(QStringLiteral("tavolen/aliases.ini"))) {}

AliasRegistry::AliasRegistry(QString registryPath) : path_(std::move(registryPath)) {}

bool AliasRegistry::ensureMotelLocation(const QString& dataDir) {
    QByteArray file;
    QFile in(path_);
    if (in.exists()) {
        if (!in.open(QIODevice::ReadOnly))
            throw TavolenError(QStringLiteral("Unable to read ") + path_);
        file = in.readAll();
        in.close();
    }
    if (hasSection(file, kAlias)) return false;

    const QString dbDir = QDir::cleanPath(QDir(dataDir).absoluteFilePath(QStringLiteral("DB")));
    if (!file.isEmpty() && !file.endsWith('\n')) file.append('\n');
    file.append(QStringLiteral("[%1]\nPATH=%2\n").arg(kAlias, dbDir).toUtf8());

    // Other names in the file are kept; the file is replaced whole, atomically.
    QSaveFile out(path_);
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()) || !out.open(QIODevice::WriteOnly) ||
        out.write(file) != file.size() || !out.commit())
        throw TavolenError(QStringLiteral("Unable to write to ") + path_);
    return true;
}
