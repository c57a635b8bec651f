#include "lockdown/KioskSession.h"

#include <QDBusMessage>
#include <QStringList>
#include <utility>

#include "lockdown/LockdownLog.h"

KioskSession::KioskSession(QDBusConnection bus) : bus_(std::move(bus)) {}

QString KioskSession::call(const QString& method, const QVariantList& arguments, QVariant* answer) {
    if (!bus_.isConnected()) return QStringLiteral("no system bus: ") + bus_.lastError().message();
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
        QStringLiteral("org.freedesktop.systemd1.Manager"), method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    if (answer && !reply.arguments().isEmpty()) *answer = reply.arguments().constFirst();
    return {};
}

QString KioskSession::install() {
    const QString unit = QString::fromLatin1(kUnit);
    QVariant state;
    QString error = call(QStringLiteral("GetUnitFileState"), {unit}, &state);
    if (!error.isEmpty())
        return QStringLiteral("cannot find %1 (is the package installed?): %2").arg(unit, error);
    if (state.toString() == QLatin1String("enabled")) {
        logLockdown(unit + QStringLiteral(" is enabled already"));
        return {};
    }
    error = call(QStringLiteral("EnableUnitFiles"), {QStringList{unit}, false, false});
    if (!error.isEmpty()) return QStringLiteral("cannot enable %1: %2").arg(unit, error);
    error = call(QStringLiteral("Reload"), {});
    if (!error.isEmpty())
        return QStringLiteral("enabled %1, but systemd did not reload: %2").arg(unit, error);
    logLockdown(unit + QStringLiteral(" enabled"));
    return {};
}
