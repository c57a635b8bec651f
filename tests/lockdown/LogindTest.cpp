#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>

#include "LockdownLogFile.h"
#include "PrivateBus.h"
#include "lockdown/KioskLockdown.h"

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kSystemdPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kSystemdManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

// The power-off, restart and idle inhibitor of the kiosk against
// python3-dbusmock's logind on a private bus.
class LogindOnPrivateBus : public ::testing::Test {
protected:
    PrivateBus bus;
    LockdownLogFile log;
    int ended = 0;
    std::unique_ptr<KioskLockdown> lockdown;

    void SetUp() override {
        const QString failure = bus.start();
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        const QString mock = bus.startMock(
            {QStringLiteral("--system"), QStringLiteral("--template"), QStringLiteral("logind")},
            kLogind);
        ASSERT_TRUE(mock.isEmpty()) << mock.toStdString();
        lockdown = std::make_unique<KioskLockdown>([this] { ++ended; }, bus.connection());
    }

    // The arguments of every call of `method` that the mock has seen.
    QList<QVariantList> calls(const QString& service, const QString& path, const QString& method) {
        const QDBusMessage reply =
            bus.call(service, path, kMock, QStringLiteral("GetMethodCalls"), {method});
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
        QList<QVariantList> result;
        if (reply.arguments().isEmpty()) return result;
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            quint64 time = 0;
            QVariantList arguments;
            list.beginStructure();
            list >> time >> arguments;
            list.endStructure();
            result.append(arguments);
        }
        list.endArray();
        return result;
    }

    void replaceMethod(const QString& service, const QString& path, const QString& interface,
                       const QString& method, const QString& in, const QString& out,
                       const QString& code) {
        const QDBusMessage reply = bus.call(service, path, kMock, QStringLiteral("AddMethod"),
                                            {interface, method, in, out, code});
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
};

TEST_F(LogindOnPrivateBus, PowerOffAndRestartAskLogindWithoutInteraction) {
    lockdown->powerOffComputer();
    lockdown->restartComputer();
    const auto powerOffs = calls(kLogind, kLogindPath, QStringLiteral("PowerOff"));
    const auto reboots = calls(kLogind, kLogindPath, QStringLiteral("Reboot"));
    ASSERT_EQ(powerOffs.size(), 1);
    ASSERT_EQ(reboots.size(), 1);
    EXPECT_EQ(powerOffs[0], QVariantList{false});
    EXPECT_EQ(reboots[0], QVariantList{false});
    EXPECT_EQ(ended, 0);  // logind ends the program with the PC
    EXPECT_FALSE(log.text().contains(QStringLiteral("refused")));
}

TEST_F(LogindOnPrivateBus, RefusedPowerOffIsLoggedAndTheBoardGoesOn) {
    replaceMethod(
        kLogind, kLogindPath, kManager, QStringLiteral("PowerOff"), QStringLiteral("b"), QString(),
        QStringLiteral(
            "raise dbus.exceptions.DBusException('Interactive authentication "
            "required.', name='org.freedesktop.DBus.Error.InteractiveAuthorizationRequired')"));
    lockdown->armKeyboardFilter();
    lockdown->disarmKeyboardFilter();
    // The refusal goes back to 종료, which locks the desk again and says so.
    EXPECT_TRUE(lockdown->powerOffComputer().contains(
        QStringLiteral("InteractiveAuthorizationRequired")));
    EXPECT_EQ(ended, 0);
    EXPECT_FALSE(lockdown->isArmed());
    EXPECT_TRUE(log.text().contains(QStringLiteral("power-off refused")));
    EXPECT_TRUE(log.text().contains(QStringLiteral("InteractiveAuthorizationRequired")));
}

TEST_F(LogindOnPrivateBus, TheScreenSaverMarkHoldsOneIdleInhibitor) {
    for (int key = 0; key < 5; ++key) lockdown->markScreenSaver();
    EXPECT_EQ(calls(kLogind, kLogindPath, QStringLiteral("Inhibit")).size(), 1);
    const QDBusMessage list =
        bus.call(kLogind, kLogindPath, kManager, QStringLiteral("ListInhibitors"));
    ASSERT_NE(list.type(), QDBusMessage::ErrorMessage);
    const QDBusArgument inhibitors = list.arguments().constFirst().value<QDBusArgument>();
    QStringList what;
    inhibitors.beginArray();
    while (!inhibitors.atEnd()) {
        QString w, who, why, mode;
        quint32 uid = 0, pid = 0;
        inhibitors.beginStructure();
        inhibitors >> w >> who >> why >> mode >> uid >> pid;
        inhibitors.endStructure();
        what.append(w + QLatin1Char('/') + mode);
    }
    inhibitors.endArray();
    EXPECT_EQ(what, QStringList{QStringLiteral("idle/block")});
}

// The first start enables the kiosk unit unless systemd says it is enabled.
TEST_F(LogindOnPrivateBus, InstallingTheKioskSessionEnablesTheUnitOnce) {
    const QString mock = bus.startMock(
        {QStringLiteral("--system"), kSystemd, kSystemdPath, kSystemdManager}, kSystemd);
    ASSERT_TRUE(mock.isEmpty()) << mock.toStdString();
    struct Case {
        const char* state;
        int enables;
    };
    for (const Case c : {Case{"disabled", 1}, Case{"enabled", 0}, Case{"masked", 1}}) {
        bus.call(kSystemd, kSystemdPath, kMock, QStringLiteral("ClearCalls"));
        replaceMethod(kSystemd, kSystemdPath, kSystemdManager, QStringLiteral("GetUnitFileState"),
                      QStringLiteral("s"), QStringLiteral("s"),
                      QStringLiteral("ret = '%1'").arg(QString::fromLatin1(c.state)));
        replaceMethod(kSystemd, kSystemdPath, kSystemdManager, QStringLiteral("EnableUnitFiles"),
                      QStringLiteral("asbb"), QStringLiteral("ba(sss)"),
                      QStringLiteral("ret = (True, [])"));
        replaceMethod(kSystemd, kSystemdPath, kSystemdManager, QStringLiteral("Reload"), QString(),
                      QString(), QString());
        lockdown->installKioskSession();
        const auto enables = calls(kSystemd, kSystemdPath, QStringLiteral("EnableUnitFiles"));
        ASSERT_EQ(enables.size(), c.enables) << c.state;
        if (c.enables) {
            EXPECT_EQ(enables[0][0].toStringList(),
                      QStringList{QStringLiteral("tavolen-kiosk.service")});
        }
        EXPECT_EQ(calls(kSystemd, kSystemdPath, QStringLiteral("Reload")).size(), c.enables);
    }
    // A unit that systemd does not know is logged, and nothing is enabled.
    bus.call(kSystemd, kSystemdPath, kMock, QStringLiteral("ClearCalls"));
    replaceMethod(kSystemd, kSystemdPath, kSystemdManager, QStringLiteral("GetUnitFileState"),
                  QStringLiteral("s"), QStringLiteral("s"),
                  QStringLiteral("raise dbus.exceptions.DBusException('No such file', "
                                 "name='org.freedesktop.DBus.Error.FileNotFound')"));
    lockdown->installKioskSession();
    EXPECT_TRUE(calls(kSystemd, kSystemdPath, QStringLiteral("EnableUnitFiles")).isEmpty());
    EXPECT_TRUE(log.text().contains(QStringLiteral("is the package installed?")));
}

// No logind on the bus at all.
TEST(LogindMissing, PowerOffIsLoggedAndTheBoardGoesOn) {
    PrivateBus bus;
    const QString failure = bus.start();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    LockdownLogFile log;
    int ended = 0;
    KioskLockdown lockdown([&] { ++ended; }, bus.connection());
    lockdown.powerOffComputer();
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(log.text().contains(QStringLiteral("ServiceUnknown"))) << log.text().toStdString();
}

}  // namespace
