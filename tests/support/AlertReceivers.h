#pragma once

// The owner's mail server and webhook receiver of the alert tests (tests/alerts/receivers.py)
// on loopback ports free at the moment, with the certificate authority it makes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

#include "support/FreePort.h"

// The owner's mail server and webhook receiver (receivers.py), with the certificates it makes.
class Receivers {
public:
    const int smtpPort = freePort();
    const int httpsPort = freePort();
    QTemporaryDir dir;

    Receivers() { makeCertificates(); }
    ~Receivers() { stop(); }

    void start() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(TAVOLEN_SOURCE_DIR "/tests/alerts/receivers.py"),
                        QStringLiteral("--dir"), dir.path(), QStringLiteral("--smtp-port"),
                        QString::number(smtpPort), QStringLiteral("--https-port"),
                        QString::number(httpsPort)});
        ASSERT_TRUE(process_.waitForReadyRead(30000));
        ASSERT_EQ(process_.readLine().trimmed(), "ready");
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }
    QList<QJsonObject> received(const char* prefix) const {
        QList<QJsonObject> all;
        for (int n = 1;; ++n) {
            QFile f(QDir(dir.path()).filePath(QStringLiteral("%1-%2.json").arg(prefix).arg(n)));
            if (!f.open(QIODevice::ReadOnly)) return all;
            all.append(QJsonDocument::fromJson(f.readAll()).object());
        }
    }
    QString caFile() const { return QDir(dir.path()).filePath(QStringLiteral("ca.pem")); }

private:
    // Made before the server runs, so that a test may start it late.
    void makeCertificates() {
        QProcess make;
        make.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import sys; sys.path.insert(0, '" TAVOLEN_SOURCE_DIR
                                   "/tests/alerts'); import receivers; "
                                   "receivers.make_certificates(sys.argv[1])"),
                    dir.path()});
        make.waitForFinished(60000);
    }
    QProcess process_;
};
