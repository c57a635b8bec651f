#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>

// The login manager on the system bus: powering off and restarting without
// asking anyone, and holding off idle blanking while the board runs.
class Logind {
public:
    explicit Logind(QDBusConnection bus);

    // Each returns an empty text on success, else what went wrong.
    QString powerOff();
    QString reboot();
    // Takes the idle inhibitor once and keeps it for the program's life.
    QString inhibitIdle();
    bool holdsIdleInhibitor() const { return inhibitor_.isValid(); }

private:
    QString call(const QString& method, const QVariantList& arguments, QVariant* answer = nullptr);

    QDBusConnection bus_;
    QDBusUnixFileDescriptor inhibitor_;
};
