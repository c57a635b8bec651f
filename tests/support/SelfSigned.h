#pragma once

// A certificate of the test's own for 127.0.0.1, made by openssl in `dir`.
#include <QDir>
#include <QProcess>
#include <QString>

struct SelfSigned {
    QString certificate;
    QString key;
    QString error;  // empty when made

    // `keyType` as openssl's -newkey takes it: "rsa:2048", "ec -pkeyopt ec_paramgen_curve:P-256".
    SelfSigned(const QString& dir, const QString& name,
               const QStringList& keyType = {QStringLiteral("rsa:2048")}) {
        certificate = QDir(dir).filePath(name + QStringLiteral(".crt"));
        key = QDir(dir).filePath(name + QStringLiteral(".key"));
        QProcess openssl;
        openssl.start(
            QStringLiteral("openssl"),
            QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey")} +
                keyType +
                QStringList{QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"),
                            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                            QStringLiteral("-keyout"), key, QStringLiteral("-out"), certificate});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            error = QString::fromUtf8(openssl.readAllStandardError()) + openssl.errorString();
        QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    }
};
