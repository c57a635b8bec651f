#include "web/WebHosts.h"

#include <QNetworkInterface>

namespace {

struct Authority {
    QString name;  // lower case; an IPv6 address without its brackets
    int port = -1;
    bool ok = false;
};

bool nameCharacter(char c, bool bracketed) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || (bracketed && c == ':');
}

// "name", "name:port" or "[v6]:port", strictly: anything else is no authority.
Authority parseAuthority(const QByteArray& text) {
    Authority a;
    QByteArray host, port;
    bool hasPort = false;
    const bool bracketed = text.startsWith('[');
    if (bracketed) {
        const qsizetype close = text.indexOf(']');
        if (close < 0) return a;
        host = text.mid(1, close - 1);
        const QByteArray rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(':')) return a;
            port = rest.mid(1);
            hasPort = true;
        }
        if (QHostAddress(QString::fromLatin1(host)).protocol() != QAbstractSocket::IPv6Protocol)
            return a;
    } else {
        const qsizetype colon = text.indexOf(':');
        host = colon < 0 ? text : text.left(colon);
        if (colon >= 0) {
            port = text.mid(colon + 1);
            hasPort = true;
        }
    }
    if (host.isEmpty()) return a;
    for (char c : host)
        if (!nameCharacter(c, bracketed)) return a;
    if (hasPort) {
        if (port.isEmpty() || port.size() > 5) return a;
        for (char c : port)
            if (c < '0' || c > '9') return a;
        a.port = port.toInt();
        if (a.port < 1 || a.port > 65535) return a;
    }
    a.name = QString::fromLatin1(host).toLower();
    a.ok = true;
    return a;
}

QHostAddress withoutScope(QHostAddress a) {
    a.setScopeId(QString());
    return a;
}

}  // namespace

WebHosts::WebHosts(const QHostAddress& listen, quint16 port, const QStringList& names)
    : listen_(listen), port_(port) {
    for (const QString& name : names) names_.append(name.trimmed().toLower());
    refresh();
}

void WebHosts::refresh() {
    addresses_.clear();
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        addresses_.append(withoutScope(a));
    const bool any = listen_ == QHostAddress::Any || listen_ == QHostAddress::AnyIPv4 ||
                     listen_ == QHostAddress::AnyIPv6;
    if (!any && !listen_.isNull()) addresses_.append(withoutScope(listen_));
}

bool WebHosts::allowsName(const QString& name) const {
    QHostAddress address;
    if (address.setAddress(name)) {
        for (const QHostAddress& own : addresses_)
            if (own.isEqual(address, QHostAddress::TolerantConversion)) return true;
        return false;
    }
    return names_.contains(name);
}

bool WebHosts::allows(const QByteArray& host) const {
    const Authority a = parseAuthority(host);
    return a.ok && allowsName(a.name);
}

bool WebHosts::allowsOrigin(const QByteArray& origin, bool https, bool viaProxy) const {
    const QByteArray scheme = https ? "https://" : "http://";
    if (!origin.startsWith(scheme)) return false;
    const Authority a = parseAuthority(origin.mid(scheme.size()));
    if (!a.ok || !allowsName(a.name)) return false;
    if (viaProxy || names_.contains(a.name)) return true;
    return (a.port < 0 ? (https ? 443 : 80) : a.port) == port_;
}
