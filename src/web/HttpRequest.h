#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One request as the owner's pages send it: a method, a path, a few headers
// and at most a small form body.
struct HttpRequest {
    QByteArray method;
    QByteArray target;  // as sent: path and query
    QString path;       // percent-decoded, never containing ".." segments
    QByteArray query;
    QList<QPair<QByteArray, QByteArray>> headers;  // names in lower case
    QByteArray body;
    // Where it came from, as the server judges it: a reverse proxy's word on
    // the browser's address and scheme is taken from the configured proxy only.
    QString client;
    bool secure = false;  // the browser spoke HTTPS (to the server or to the proxy)
    bool viaProxy = false;

    // The first header of that name; lastHeader() the last.
    QByteArray header(const QByteArray& lowerName) const;
    QByteArray lastHeader(const QByteArray& lowerName) const;
    QByteArray cookie(const QByteArray& name) const;
    QString queryValue(const QString& name) const;
    bool wantsWebSocket() const;
    bool keepAlive() const;
};

// Reads requests off a connection's bytes with every part bounded: the
// request line and headers together, the number of headers and the body.
// Anything beyond a bound, or anything malformed, ends the connection with
// the status that says why; nothing of such a request is handed on.
class HttpRequestReader {
public:
    static constexpr int kMaxHeaderBytes = 8 * 1024;
    static constexpr int kMaxHeaders = 40;
    static constexpr int kMaxBodyBytes = 4 * 1024;

    enum class State { NeedMore, Complete, Refused };

    // Appends bytes that arrived; `Complete` leaves the request in request()
    // and keeps what follows it, unread, until next().
    State feed(const QByteArray& bytes);
    const HttpRequest& request() const { return request_; }
    // After `Refused`: 400, 413, 414, 431, 501 or 505.
    int refusal() const { return refusal_; }
    // Whether a completed request waits for next().
    bool holdsRequest() const { return complete_; }
    // Bytes held that do not belong to the request just completed.
    bool hasPartial() const { return !buffer_.isEmpty(); }
    // Forgets the completed request; the next feed() starts on what is left.
    State next();
    // The raw bytes of the request just completed (for a WebSocket hand-over).
    const QByteArray& rawRequest() const { return raw_; }

private:
    State parse();
    State refuse(int status);
    bool refuseHead(int status) {
        refuse(status);
        return false;
    }
    bool parseHead(const QByteArray& head);

    QByteArray buffer_;
    QByteArray raw_;
    HttpRequest request_;
    qsizetype headLength_ = -1;  // with the blank line, once known
    qsizetype bodyLength_ = 0;
    int refusal_ = 0;
    bool complete_ = false;  // until next()
};

// "/a/%2e%2e/b" style paths: decodes and refuses any path that would leave
// the root or contains control bytes or NUL. Returns false when refused.
bool cleanRequestPath(const QByteArray& rawPath, QString& path);
