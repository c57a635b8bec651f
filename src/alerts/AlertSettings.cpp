#include "alerts/AlertSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "store/IniStore.h"

namespace {
const QString kSection = QStringLiteral("Alert");

// The mail account's file: refused unless it belongs to the program's user and nobody else may
// read or write it, as the password in it would otherwise be anybody's.
QString readAccount(const QString& path, QString& user, QString& password) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("알림 메일 계정 파일을 찾을 수 없습니다: ") + path;
    if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        return QStringLiteral(
                   "알림 메일 계정 파일은 프로그램 사용자만 읽을 수 있어야 합니다 "
                   "(chmod 600): ") +
               path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("알림 메일 계정 파일을 읽을 수 없습니다: ") + path;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    user = lines.value(0).trimmed();
    password = lines.value(1).trimmed();
    return {};
}
}  // namespace

const QList<AlertSettings::Kind>& AlertSettings::allKinds() {
    static const QList<Kind> kinds{
        {"line_silent", "LineSilent"},
        {"unclean_start", "UncleanStart"},
        {"storage_warning", "StorageWarning"},
        {"central_stopped", "CentralStopped"},
        {"ledger_rows_deleted", "LedgerRowsDeleted"},
        {"remove_all", "RemoveAll"},
        {"password_changed", "PasswordChanged"},
        {"morning_call_missed", "MorningCallMissed"},
        {"wrong_passwords", "WrongPasswords"},
    };
    return kinds;
}

AlertSettings AlertSettings::read(const IniStore& ini, QStringList& problems) {
    const IniStore::Snapshot store = ini.snapshot();
    AlertSettings s;
    const auto text = [&](const char* key) {
        return store.readString(kSection, QString::fromLatin1(key), QString()).trimmed();
    };
    s.smtp = text("Smtp");
    s.from = text("From");
    for (const QString& to : text("To").split(QLatin1Char(','), Qt::SkipEmptyParts))
        s.to.append(to.trimmed());
    s.webhook = text("Webhook");
    s.caFile = text("CaFile");
    s.lineSilentMinutes =
        qMax(1, store.readInteger(kSection, QStringLiteral("LineSilentMinutes"), 30));
    s.businessName = store.readString(QStringLiteral("Motel"), QStringLiteral("CoName"), QString());
    for (const Kind& k : allKinds())
        if (store.readInteger(kSection, QString::fromLatin1(k.key), 1) != 0)
            s.kinds.append(QString::fromLatin1(k.stored));

    if (s.mails()) {
        QString refused;
        if (!s.smtp.startsWith(QLatin1String("smtps://")) &&
            !s.smtp.startsWith(QLatin1String("smtp://")))
            refused = QStringLiteral(
                          "알림 메일 서버는 smtps:// 또는 smtp://(STARTTLS) 주소여야 "
                          "합니다: ") +
                      s.smtp;
        else if (s.from.isEmpty() || s.to.isEmpty())
            refused = QStringLiteral("알림 메일의 From과 To를 설정하십시오");
        else if (const QString account = text("CredentialsFile"); !account.isEmpty())
            refused = readAccount(account, s.user, s.password);
        if (!refused.isEmpty()) {
            problems.append(refused);
            s.smtp.clear();
        }
    }
    if (s.posts() && !s.webhook.startsWith(QLatin1String("https://"))) {
        problems.append(QStringLiteral("알림 웹훅은 https:// 주소여야 합니다: ") + s.webhook);
        s.webhook.clear();
    }
    return s;
}
