#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QStringList>

// The names the view answers to: the address it listens on, the PC's own
// addresses and the public names of a reverse proxy in front of it. A page
// of any other name (a name of someone else's rebound to the desk's
// address) is no page of the view's, whatever address it reached.
class WebHosts {
public:
    // `names` are the proxy's public names, matched without regard to case.
    WebHosts(const QHostAddress& listen, quint16 port, const QStringList& names);

    // Whether a `Host` header ("name", "name:port", "[v6]:port") names this
    // server. An empty or malformed one never does.
    bool allows(const QByteArray& host) const;
    // Whether `origin` ("scheme://host[:port]") is a page of this server: the
    // scheme the browser used, an allowed host, and for an address of the
    // PC's the server's own port (behind the proxy the public port is the
    // proxy's, and is not known here).
    bool allowsOrigin(const QByteArray& origin, bool https, bool viaProxy) const;
    // Reads the PC's addresses again (an address given by DHCP may change).
    void refresh();
    void setPort(quint16 port) { port_ = port; }

private:
    bool allowsName(const QString& name) const;

    QHostAddress listen_;
    quint16 port_;
    QStringList names_;
    QList<QHostAddress> addresses_;
};
