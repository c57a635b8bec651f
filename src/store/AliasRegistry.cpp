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

// The name of a "[name]" line, or an empty text for any other line.
QString sectionOf(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('[') || !t.endsWith(']')) return QString();
    return QString::fromUtf8(t.mid(1, t.size() - 2)).trimmed();
}

bool hasSection(const QByteArray& file, const QString& name) {
    for (const QByteArray& line : file.split('\n'))
        if (sectionOf(line).compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// The value of `key` in section `name`; a null text when it is not there.
QString valueIn(const QByteArray& file, const QString& name, const QString& key) {
    bool inSection = false;
    for (const QByteArray& line : file.split('\n')) {
        const QString section = sectionOf(line);
        if (!section.isEmpty()) {
            inSection = section.compare(name, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inSection || eq < 0) continue;
        if (QString::fromUtf8(line.left(eq)).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(line.mid(eq + 1)).trimmed();
    }
    return QString();
}

QString motelPath(const QString& dataDir) {
    return QDir::cleanPath(QDir(dataDir).absoluteFilePath(QStringLiteral("DB")));
}

const QString kPath = QStringLiteral("PATH");
const QString kSetUp = QStringLiteral("SETUP");

}  // namespace

AliasRegistry::AliasRegistry()
    : AliasRegistry(QDir(configHome()).filePath(QStringLiteral("tavolen/aliases.ini"))) {}

AliasRegistry::AliasRegistry(QString registryPath) : path_(std::move(registryPath)) {}

QByteArray AliasRegistry::read() const {
    QFile in(path_);
    if (!in.exists()) return QByteArray();
    if (!in.open(QIODevice::ReadOnly))
        throw TavolenError(QStringLiteral("Unable to read ") + path_);
    return in.readAll();
}

void AliasRegistry::write(const QByteArray& file) const {
    // Other names in the file are kept; the file is replaced whole, atomically.
    QSaveFile out(path_);
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()) || !out.open(QIODevice::WriteOnly) ||
        out.write(file) != file.size() || !out.commit())
        throw TavolenError(QStringLiteral("Unable to write to ") + path_);
}

bool AliasRegistry::ensureMotelLocation(const QString& dataDir) {
    QByteArray file = read();
    if (hasSection(file, kAlias)) return false;
    if (!file.isEmpty() && !file.endsWith('\n')) file.append('\n');
    file.append(QStringLiteral("[%1]\nPATH=%2\n").arg(kAlias, motelPath(dataDir)).toUtf8());
    write(file);
    return true;
}

bool AliasRegistry::isSetUp(const QString& dataDir) const {
    const QByteArray file = read();
    return valueIn(file, kAlias, kPath) == motelPath(dataDir) &&
           !valueIn(file, kAlias, kSetUp).isEmpty();
}

void AliasRegistry::recordSetUp(const QString& dataDir, const QString& when) {
    const QByteArray file = read();
    if (valueIn(file, kAlias, kPath) != motelPath(dataDir) ||
        !valueIn(file, kAlias, kSetUp).isEmpty())
        return;
    // The mark goes right under the section's name line; the rest stays as it is.
    QList<QByteArray> lines = file.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (sectionOf(lines[i]).compare(kAlias, Qt::CaseInsensitive) != 0) continue;
        lines.insert(i + 1, QStringLiteral("%1=%2").arg(kSetUp, when).toUtf8());
        break;
    }
    write(lines.join('\n'));
}
