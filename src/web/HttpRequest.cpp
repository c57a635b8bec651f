#include "web/HttpRequest.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

bool isToken(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool allToken(const QByteArray& s) {
    if (s.isEmpty()) return false;
    for (char c : s)
        if (!isToken(c)) return false;
    return true;
}

// A field value or request target may hold no control byte (a tab only in a value): a CR alone
// or an escape sequence would otherwise reach the log as it came.
bool hasControl(const QByteArray& s, bool tabAllowed) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && !(tabAllowed && b == '\t')) || b == 0x7f) return true;
    }
    return false;
}

}  // namespace

QByteArray HttpRequest::header(const QByteArray& lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName) return value;
    return {};
}

QByteArray HttpRequest::lastHeader(const QByteArray& lowerName) const {
    for (auto it = headers.crbegin(); it != headers.crend(); ++it)
        if (it->first == lowerName) return it->second;
    return {};
}

QByteArray HttpRequest::cookie(const QByteArray& name) const {
    for (const auto& [headerName, value] : headers) {
        if (headerName != "cookie") continue;
        for (const QByteArray& part : value.split(';')) {
            const QByteArray pair = part.trimmed();
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0 && pair.left(eq) == name) return pair.mid(eq + 1);
        }
    }
    return {};
}

QString HttpRequest::queryValue(const QString& name) const {
    return QUrlQuery(QString::fromLatin1(query)).queryItemValue(name, QUrl::FullyDecoded);
}

bool HttpRequest::wantsWebSocket() const {
    return header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

bool HttpRequest::keepAlive() const { return header("connection").toLower().indexOf("close") < 0; }

bool cleanRequestPath(const QByteArray& rawPath, QString& path) {
    if (!rawPath.startsWith('/')) return false;
    const QByteArray decoded = QByteArray::fromPercentEncoding(rawPath);
    // Decoded twice over, "%252e" is still a dot to some readers: refuse any
    // percent sign left, and anything that is not printable.
    for (char c : decoded) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\' || c == '%') return false;
    }
    for (const QByteArray& segment : decoded.split('/'))
        if (segment == ".." || segment == ".") return false;
    path = QString::fromUtf8(decoded);
    return true;
}

HttpRequestReader::State HttpRequestReader::refuse(int status) {
    refusal_ = status;
    buffer_.clear();
    return State::Refused;
}

HttpRequestReader::State HttpRequestReader::feed(const QByteArray& bytes) {
    if (refusal_) return State::Refused;
    buffer_.append(bytes);
    return complete_ ? State::Complete : parse();
}

HttpRequestReader::State HttpRequestReader::next() {
    request_ = HttpRequest();
    raw_.clear();
    headLength_ = -1;
    bodyLength_ = 0;
    complete_ = false;
    return parse();
}

HttpRequestReader::State HttpRequestReader::parse() {
    if (headLength_ < 0) {
        // Blank lines before a request are allowed and skipped.
        while (buffer_.startsWith("\r\n")) buffer_.remove(0, 2);
        const qsizetype end = buffer_.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer_.size() > kMaxHeaderBytes) return refuse(431);
            return State::NeedMore;
        }
        if (end + 4 > kMaxHeaderBytes) return refuse(431);
        if (!parseHead(buffer_.left(end + 2))) return State::Refused;
        headLength_ = end + 4;
    }
    if (buffer_.size() < headLength_ + bodyLength_) return State::NeedMore;
    raw_ = buffer_.left(headLength_ + bodyLength_);
    request_.body = buffer_.mid(headLength_, bodyLength_);
    buffer_.remove(0, headLength_ + bodyLength_);
    complete_ = true;
    return State::Complete;
}

bool HttpRequestReader::parseHead(const QByteArray& head) {
    // Every line ends in CR LF; the split leaves an empty piece after the last.
    QList<QByteArray> lines = head.split('\n');
    lines.removeLast();
    if (lines.size() - 1 > kMaxHeaders) return refuseHead(431);
    QByteArray first = lines.first();
    if (!first.endsWith('\r')) return refuseHead(400);
    first.chop(1);
    const QList<QByteArray> parts = first.split(' ');
    if (parts.size() != 3 || !allToken(parts[0])) return refuseHead(400);
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0") return refuseHead(505);
    if (parts[1].size() > 2048) return refuseHead(414);
    if (hasControl(parts[1], false)) return refuseHead(400);
    request_.method = parts[0];
    request_.target = parts[1];
    const qsizetype q = parts[1].indexOf('?');
    const QByteArray rawPath = q < 0 ? parts[1] : parts[1].left(q);
    request_.query = q < 0 ? QByteArray() : parts[1].mid(q + 1);
    if (!cleanRequestPath(rawPath, request_.path)) return refuseHead(400);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (!line.endsWith('\r')) return refuseHead(400);
        line.chop(1);
        const qsizetype colon = line.indexOf(':');
        // No folded lines, no blanks before the colon.
        if (colon <= 0 || !allToken(line.left(colon))) return refuseHead(400);
        if (hasControl(line.mid(colon + 1), true)) return refuseHead(400);
        request_.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    }
    // One reader, one framing: a request that another reader on the way could cut
    // differently (a body in chunks, two lengths, two hosts) is refused whole.
    int hosts = 0, origins = 0, lengths = 0;
    for (const auto& [name, value] : request_.headers) {
        if (name == "transfer-encoding") return refuseHead(501);
        hosts += name == "host";
        origins += name == "origin";
        lengths += name == "content-length";
    }
    if (hosts > 1 || origins > 1 || lengths > 1) return refuseHead(400);
    if (hosts == 0 && parts[2] == "HTTP/1.1") return refuseHead(400);
    if (lengths == 1) {
        bool ok = false;
        const QByteArray text = request_.header("content-length");
        const qint64 length = text.toLongLong(&ok);
        if (!ok || length < 0 || text.startsWith('+') || text.startsWith('-'))
            return refuseHead(400);
        if (length > kMaxBodyBytes) return refuseHead(413);
        bodyLength_ = length;
    }
    return true;
}
