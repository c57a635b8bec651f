#include "lockdown/LockdownFactory.h"

#include <QDBusConnection>
#include <QDir>
#include <exception>

#include "lockdown/DesktopLockdown.h"
#include "lockdown/KioskLockdown.h"
#include "lockdown/LockdownLog.h"
#include "platform/Errors.h"
#include "store/IniStore.h"

namespace {

bool isWord(const QString& mode, const char* word) {
    return mode.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString modeFromIni(const QString& dataDir) {
    try {
        IniStore ini(QDir(dataDir).filePath(QStringLiteral("TavolenConfig.ini")));
        return ini
            .readString(QStringLiteral("Lockdown"), QStringLiteral("Mode"),
                        QStringLiteral("desktop"))
            .trimmed();
    } catch (const std::exception& e) {
        logLockdown(QStringLiteral("cannot read the lockdown mode, using desktop: ") +
                    errorText(e));
        return QString();
    }
}

}  // namespace

std::unique_ptr<Lockdown> makeLockdown(const QString& dataDir, std::function<void()> endProgram) {
    setLockdownLogDir(dataDir);
    bool kiosk = false;
    if (qEnvironmentVariableIsSet("TAVOLEN_LOCKDOWN")) {
        const QString mode = qEnvironmentVariable("TAVOLEN_LOCKDOWN").trimmed();
        kiosk = !isWord(mode, "desktop");
        if (kiosk && !isWord(mode, "kiosk"))
            logLockdown(
                QStringLiteral("unknown lockdown mode \"%1\" in TAVOLEN_LOCKDOWN, using kiosk")
                    .arg(mode));
    } else {
        const QString mode = modeFromIni(dataDir);
        kiosk = isWord(mode, "kiosk");
        if (!kiosk && !mode.isEmpty() && !isWord(mode, "desktop"))
            logLockdown(QStringLiteral("unknown lockdown mode \"%1\", using desktop").arg(mode));
    }
    if (kiosk)
        return std::make_unique<KioskLockdown>(std::move(endProgram), QDBusConnection::systemBus());
    return std::make_unique<DesktopLockdown>(std::move(endProgram));
}
