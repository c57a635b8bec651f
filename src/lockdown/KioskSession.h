#pragma once

#include <QDBusConnection>
#include <QString>

// The desk's own session on tty1: a systemd unit shipped with the package and
// enabled on the PC's first start.
class KioskSession {
public:
    static constexpr const char* kUnit = "tavolen-kiosk.service";

    explicit KioskSession(QDBusConnection bus);

    // Enables the unit unless it is enabled already. Returns an empty text
    // when the session is in place afterwards, else what went wrong.
    QString install();

private:
    QString call(const QString& method, const QVariantList& arguments, QVariant* answer = nullptr);

    QDBusConnection bus_;
};
