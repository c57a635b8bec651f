#pragma once

// A reverse proxy of Debian's (nginx) that terminates TLS on a free loopback port
// and passes everything, WebSockets included, to a server on loopback: run in the
// foreground by the test from a configuration of its own in a temporary directory,
// never the system's service. It reaches the server from `from`, so that the server
// can tell the proxy from clients that connect to it directly.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class ReverseProxy {
public:
    static bool available() { return QFile::exists(QStringLiteral("/usr/sbin/nginx")); }

    ReverseProxy(quint16 serverPort, const QString& certificate, const QString& key,
                 const QString& from) {
        // A free port may be taken by another test between the look and nginx's bind.
        for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            port_ = probe.serverPort();
            probe.close();
            QFile conf(dir_.filePath(QStringLiteral("nginx.conf")));
            conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
            conf.write(QStringLiteral(R"(daemon off;
master_process off;
worker_processes 1;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path %1/body;
    proxy_temp_path %1/proxy;
    fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi;
    scgi_temp_path %1/scgi;
    server {
        listen 127.0.0.1:%2 ssl;
        ssl_certificate %3;
        ssl_certificate_key %4;
        location / {
            proxy_pass http://127.0.0.1:%5;
            proxy_bind %6;
            proxy_http_version 1.1;
            proxy_set_header Host $host;
            proxy_set_header X-Forwarded-Proto $scheme;
            proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;
            proxy_set_header Upgrade $http_upgrade;
            proxy_set_header Connection "upgrade";
        }
    }
}
)")
                           .arg(dir_.path())
                           .arg(port_)
                           .arg(certificate, key)
                           .arg(serverPort)
                           .arg(from)
                           .toUtf8());
            conf.close();
            process_.start(QStringLiteral("/usr/sbin/nginx"),
                           {QStringLiteral("-p"), dir_.path(), QStringLiteral("-e"),
                            dir_.filePath(QStringLiteral("error.log")), QStringLiteral("-c"),
                            conf.fileName()});
            static_cast<void>(QTest::qWaitFor(
                [&] {
                    if (process_.state() == QProcess::NotRunning) return true;
                    QTcpSocket s;
                    s.connectToHost(QHostAddress::LocalHost, port_);
                    return s.waitForConnected(200);
                },
                10000));
        }
    }
    ~ReverseProxy() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
    }
    ReverseProxy(const ReverseProxy&) = delete;
    ReverseProxy& operator=(const ReverseProxy&) = delete;

    bool running() const { return process_.state() == QProcess::Running; }
    quint16 port() const { return port_; }
    QString errors() const {
        QFile log(dir_.filePath(QStringLiteral("error.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};
