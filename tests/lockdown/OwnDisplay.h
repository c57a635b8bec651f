#pragma once

// An Xvfb of the test's own on a display number that Xvfb finds free itself;
// nothing here touches any other display.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

class OwnDisplay {
public:
    ~OwnDisplay() {
        if (connection_) xcb_disconnect(connection_);
        if (xvfb_.state() != QProcess::NotRunning) {
            xvfb_.terminate();
            if (!xvfb_.waitForFinished(3000)) xvfb_.kill();
            xvfb_.waitForFinished();
        }
    }

    // Starts Xvfb and connects to it; an empty text on success, else why not.
    QString start() {
        xvfb_.start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
             QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!xvfb_.waitForStarted(10000)) return QStringLiteral("Xvfb did not start");
        QElapsedTimer t;
        t.start();
        while (!xvfb_.canReadLine() && t.elapsed() < 15000) xvfb_.waitForReadyRead(100);
        const QByteArray number = xvfb_.readLine().trimmed();
        if (number.isEmpty()) return QStringLiteral("Xvfb did not tell its display number");
        name_ = QStringLiteral(":") + QString::fromLatin1(number);
        while (t.elapsed() < 15000) {
            xcb_connection_t* c = xcb_connect(name_.toLatin1().constData(), nullptr);
            if (!xcb_connection_has_error(c)) {
                connection_ = c;
                root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
                return {};
            }
            xcb_disconnect(c);
            QThread::msleep(50);
        }
        return QStringLiteral("Xvfb on %1 does not accept connections").arg(name_);
    }

    const QString& name() const { return name_; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return root_; }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

private:
    QProcess xvfb_;
    QString name_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};
