#pragma once

// A D-Bus daemon of the test's own with python3-dbusmock services on it.
// Nothing here ever reaches the machine's system bus: the code under test is
// handed a connection to this bus, and the mocks are told that it is their
// system bus too.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QUuid>
#include <memory>
#include <vector>

class PrivateBus {
public:
    ~PrivateBus() {
        for (auto& mock : mocks_) stop(*mock);
        if (!name_.isEmpty()) QDBusConnection::disconnectFromBus(name_);
        stop(daemon_);
    }

    // Starts the daemon; an empty text on success, else why not.
    QString start() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) return QStringLiteral("dbus-daemon did not start");
        QElapsedTimer t;
        t.start();
        while (!daemon_.canReadLine() && t.elapsed() < 10000) daemon_.waitForReadyRead(100);
        address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
        if (address_.isEmpty()) return QStringLiteral("dbus-daemon gave no address");
        name_ = QStringLiteral("private-") + QUuid::createUuid().toString(QUuid::Id128);
        if (!connection().isConnected()) return QStringLiteral("cannot connect to ") + address_;
        return {};
    }

    QDBusConnection connection() const { return QDBusConnection::connectToBus(address_, name_); }

    // Runs Debian's python3 -m dbusmock with these arguments and waits for `service`.
    QString startMock(const QStringList& arguments, const QString& service) {
        auto mock = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
        mock->setProcessEnvironment(env);
        mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock->start(QStringLiteral("/usr/bin/python3"),
                    QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} + arguments);
        if (!mock->waitForStarted(5000)) return QStringLiteral("python3 -m dbusmock did not start");
        mocks_.push_back(std::move(mock));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000) {
            if (connection().interface()->isServiceRegistered(service)) return {};
            QThread::msleep(50);
        }
        return service + QStringLiteral(" did not appear on the private bus");
    }

    // A call on a mock's object; the reply (an error message on failure).
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {}) const {
        QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
        m.setArguments(arguments);
        return connection().call(m, QDBus::Block, 5000);
    }

private:
    static void stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished();
        }
    }

    QProcess daemon_;
    std::vector<std::unique_ptr<QProcess>> mocks_;
    QString address_;
    QString name_;
};
