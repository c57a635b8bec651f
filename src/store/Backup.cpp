#include "store/Backup.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <utility>

#include "platform/Dialogs.h"
#include "store/Database.h"

namespace {

const QString kIniName = QStringLiteral("TavolenConfig.ini");

QString failure(const QString& target, const QString& reason) {
    return QStringLiteral("자료복사를 하지 못했습니다: %1 (%2)").arg(target, reason);
}

}  // namespace

Backup::Backup(Database& db, QString dataDir, Dialogs& dialogs)
    : db_(db), dataDir_(std::move(dataDir)), dialogs_(dialogs) {}

QString Backup::directory() const {
    return QDir::cleanPath(QDir(dataDir_).absoluteFilePath(QStringLiteral("DB/Backup")));
}

void Backup::run() {
    const QDir dir(directory());
    if (!QDir().mkpath(dir.path())) {
        dialogs_.showError(QStringLiteral("백업 폴더를 만들 수 없습니다: ") + dir.path());
        return;
    }
    QStringList failures;
    const QString dbCopy = dir.filePath(QStringLiteral("motel.db"));
    try {
        db_.backupTo(dbCopy);
    } catch (const DatabaseError& e) {
        failures.append(failure(dbCopy, e.text()));
    }
    const QString iniError = copyIni();
    if (!iniError.isEmpty()) failures.append(iniError);
    if (!failures.isEmpty()) dialogs_.showError(failures.join(u'\n'));
}

// The room-state file is replaced atomically, so a plain read is a consistent
// snapshot; the copy is replaced atomically in turn.
QString Backup::copyIni() const {
    const QString target = QDir(directory()).filePath(kIniName);
    QFile source(QDir(dataDir_).filePath(kIniName));
    if (!source.open(QIODevice::ReadOnly)) return failure(target, source.errorString());
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError) return failure(target, source.errorString());

    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return failure(target, out.errorString());
    if (out.write(bytes) != bytes.size() || !out.commit())
        return failure(target, out.errorString());
    return {};
}
