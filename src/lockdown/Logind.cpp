#include "lockdown/Logind.h"

#include <QDBusMessage>
#include <utility>

namespace {
// Long enough for a loaded machine, short enough that a clerk's 종료 or the
// start-up never hangs on a login manager that does not answer.
constexpr int kTimeoutMs = 5000;
}  // namespace

Logind::Logind(QDBusConnection bus) : bus_(std::move(bus)) {}

QString Logind::call(const QString& method, const QVariantList& arguments, QVariant* answer) {
    if (!bus_.isConnected()) return QStringLiteral("no system bus: ") + bus_.lastError().message();
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    if (answer && !reply.arguments().isEmpty()) *answer = reply.arguments().constFirst();
    return {};
}

QString Logind::powerOff() { return call(QStringLiteral("PowerOff"), {false}); }

QString Logind::reboot() { return call(QStringLiteral("Reboot"), {false}); }

QString Logind::inhibitIdle() {
    if (inhibitor_.isValid()) return {};
    QVariant answer;
    const QString error =
        call(QStringLiteral("Inhibit"),
             {QStringLiteral("idle"), QStringLiteral("Tavolen"),
              QStringLiteral("the board is on the desk's screen"), QStringLiteral("block")},
             &answer);
    if (!error.isEmpty()) return error;
    inhibitor_ = answer.value<QDBusUnixFileDescriptor>();
    if (!inhibitor_.isValid()) return QStringLiteral("Inhibit gave no file descriptor");
    return {};
}
