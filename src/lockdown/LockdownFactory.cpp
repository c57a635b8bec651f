#include "lockdown/LockdownFactory.h"

#include <QDBusConnection>
#include <QDir>
#include <exception>

#include "lockdown/DesktopLockdown.h"
#include "lockdown/KioskLockdown.h"
#include "lockdown/LockdownLog.h"
#include "platform/Errors.h"
#include "store/IniStore.h"

std::unique_ptr<Lockdown> makeLockdown(const QString& dataDir, std::function<void()> endProgram) {
    setLockdownLogDir(dataDir);
    QString mode;
    try {
        IniStore ini(QDir(dataDir).filePath(QStringLiteral("TavolenConfig.ini")));
        mode = ini.readString(QStringLiteral("Lockdown"), QStringLiteral("Mode"),
                              QStringLiteral("desktop"))
                   .trimmed();
    } catch (const std::exception& e) {
        logLockdown(QStringLiteral("cannot read the lockdown mode, using desktop: ") +
                    errorText(e));
    }
    if (mode.compare(QLatin1String("kiosk"), Qt::CaseInsensitive) == 0)
        return std::make_unique<KioskLockdown>(std::move(endProgram), QDBusConnection::systemBus());
    if (!mode.isEmpty() && mode.compare(QLatin1String("desktop"), Qt::CaseInsensitive) != 0)
        logLockdown(QStringLiteral("unknown lockdown mode \"%1\", using desktop").arg(mode));
    return std::make_unique<DesktopLockdown>(std::move(endProgram));
}
