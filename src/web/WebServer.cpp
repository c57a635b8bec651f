#include "web/WebServer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>
#include <limits>
#include <optional>
#include <utility>

#include "platform/Clock.h"
#include "platform/DeskLog.h"
#include "platform/Errors.h"
#include "web/HttpRequest.h"
#include "web/SnapshotJson.h"
#include "web/WebLedger.h"
#include "web/WebTrail.h"

namespace {

// A page whose socket holds more than this unsent gets only the newest state
// once it has caught up.
constexpr qint64 kPageBacklog = 256 * 1024;
constexpr qint64 kMaxReportBytes = 32 * 1024 * 1024;
// Beyond this much unsent, nothing more is read from a connection until its
// client has read its answers.
constexpr qint64 kMaxUnsentBytes = 64 * 1024;
// A page that has not answered the pings for this long is gone.
constexpr qint64 kPageSilenceMs = 30000;

QByteArray reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 303:
            return "See Other";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 421:
            return "Misdirected Request";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

// Written but not yet taken by the network; under TLS that is ciphertext.
qint64 unsent(QTcpSocket* socket) {
    const auto* tls = qobject_cast<QSslSocket*>(socket);
    return socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
}

// The bytes read so far are the server's: a request that did not begin a
// transaction (one pipelined behind another) has none to end.
void endTransaction(QTcpSocket* socket) {
    if (socket->isTransactionStarted()) socket->commitTransaction();
}

// IPv4 in its own form also when it came over an IPv6 socket.
QString addressText(const QHostAddress& a) {
    bool ok = false;
    const QHostAddress v4(a.toIPv4Address(&ok));
    return ok ? v4.toString() : a.toString();
}

QByteArray resource(const QString& name) {
    QFile f(QStringLiteral(":/web/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A name as the log may show it: what a stranger typed is cut short and kept to one line.
QString loggedName(const QString& name) {
    QString shown = name.left(WebAccounts::kMaxNameLength);
    for (QChar& c : shown)
        if (!c.isPrint()) c = u'?';
    return shown;
}

const QByteArray kPageSecurity =
    "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; form-action 'self'; "
    "base-uri 'none'";
// The sign-in page is served without a session, so it carries its style inline.
const QByteArray kSignInSecurity =
    "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors 'none'; form-action 'self'; "
    "base-uri 'none'";

// Forward secrecy and authenticated encryption only: ECDHE with GCM or
// ChaCha20-Poly1305 under TLS 1.2, and TLS 1.3's suites, which are all such.
QList<QSslCipher> forwardSecretAead() {
    QList<QSslCipher> chosen;
    for (const QSslCipher& c : QSslConfiguration::supportedCiphers()) {
        const QString name = c.name();
        if (name.startsWith(QLatin1String("TLS_")) ||
            (name.startsWith(QLatin1String("ECDHE-")) &&
             (name.contains(QLatin1String("-GCM-")) ||
              name.contains(QLatin1String("CHACHA20-POLY1305")))))
            chosen.append(c);
    }
    return chosen;
}

// Whether the private key in `keyPem` is the one of the first certificate in
// `certificatePem` (a mismatch lets the server start and fail every handshake).
bool keyBelongsTo(const QByteArray& certificatePem, const QByteArray& keyPem) {
    BIO* certBio = BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    X509* certificate = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    const bool belongs = certificate && key && X509_check_private_key(certificate, key) == 1;
    EVP_PKEY_free(key);
    X509_free(certificate);
    BIO_free(keyBio);
    BIO_free(certBio);
    ERR_clear_error();
    return belongs;
}

// Hands every accepted connection over as it is: a TLS connection begins its
// handshake only once the server has counted it against its address.
class WebListener : public QTcpServer {
public:
    explicit WebListener(std::optional<QSslConfiguration> tls) : tls_(std::move(tls)) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        QTcpSocket* socket = tls_ ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(int(descriptor));
            delete socket;
            return;
        }
        if (tls_) static_cast<QSslSocket*>(socket)->setSslConfiguration(*tls_);
        addPendingConnection(socket);
    }

private:
    std::optional<QSslConfiguration> tls_;
};

}  // namespace

// One connection counted against its address for as long as the ticket lives.
class AddressTicket : public QObject {
public:
    AddressTicket(std::shared_ptr<QHash<QString, int>> counts, QString address, QObject* owner)
        : QObject(owner), counts_(std::move(counts)), address_(std::move(address)) {
        ++(*counts_)[address_];
    }
    ~AddressTicket() override {
        if (--(*counts_)[address_] <= 0) counts_->remove(address_);
    }

private:
    std::shared_ptr<QHash<QString, int>> counts_;
    QString address_;
};

// One HTTP connection. At any time it is in one of four phases: a request on
// its way (the request limit runs, from the connection's start or the
// request's first byte), being answered (busy), its answers waiting for the
// client to read them (draining), or idle between requests.
struct WebServer::Peer {
    HttpRequestReader reader;
    QTimer* timer = nullptr;
    QString share;          // the address its connection counts against
    qint64 since = 0;       // when it connected, ms since the epoch
    bool busy = false;      // an answer is being prepared elsewhere
    bool draining = false;  // nothing more is read until its answers are read
    bool idle = false;      // between requests
    bool clean = false;     // the socket's transaction began with this request
    bool head = false;      // the request at hand is HEAD: its answer goes without a body
    QString client;         // the browser's address for the request at hand
    bool secure = false;    // and whether the browser spoke HTTPS
};

WebServer::WebServer(WebOptions options, const Clock& clock, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      clock_(clock),
      hosts_(options_.listen, options_.port, options_.hosts),
      sessions_(clock),
      limiter_(clock) {
    readers_.setMaxThreadCount(1);
    readers_.setExpiryTimeout(30000);
    checker_.setMaxThreadCount(1);
    checker_.setExpiryTimeout(30000);
}

WebServer::~WebServer() {
    checker_.clear();
    checker_.waitForDone();
    readers_.waitForDone();
    for (QWebSocket* page : pages_.keys()) page->abort();
    accounts_.reset();
    sqlite3_close_v2(accountsDb_);
}

bool WebServer::start(QString* error) {
    // The view signs in with its own accounts only; without one nobody could.
    bool anyAccount = false;
    try {
        anyAccount = accounts() && !accounts_->list().isEmpty();
    } catch (const std::exception&) {
    }
    if (!anyAccount) {
        *error = QStringLiteral(
            "웹: 웹 계정이 없어 웹 화면을 열지 않습니다. 'tavolen web-user add 이름'으로 "
            "계정을 만드십시오");
        return false;
    }
    const bool wantsTls = !options_.certificate.isEmpty() || !options_.key.isEmpty();
    if (wantsTls) {
        if (options_.certificate.isEmpty() || options_.key.isEmpty()) {
            *error = QStringLiteral("웹: Certificate와 Key를 함께 지정해야 합니다");
            return false;
        }
        QFile certFile(options_.certificate), keyFile(options_.key);
        if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("웹: 인증서 파일을 읽을 수 없습니다");
            return false;
        }
        // A key that others can read is a key that others may have.
        constexpr auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (keyFile.permissions() & others) {
            *error = QStringLiteral("웹: 키 파일을 다른 사용자도 읽을 수 있습니다 (chmod 600 %1)")
                         .arg(options_.key);
            return false;
        }
        const QByteArray certBytes = certFile.readAll();
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certBytes);
        const QByteArray keyBytes = keyFile.readAll();
        QSslKey key(keyBytes, QSsl::Rsa);
        if (key.isNull()) key = QSslKey(keyBytes, QSsl::Ec);
        if (chain.isEmpty() || key.isNull()) {
            *error = QStringLiteral("웹: 인증서나 키가 올바른 PEM이 아닙니다");
            return false;
        }
        if (!keyBelongsTo(certBytes, keyBytes)) {
            *error = QStringLiteral("웹: 인증서와 키가 서로 맞지 않습니다");
            return false;
        }
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        tls.setCiphers(forwardSecretAead());
        server_ = std::make_unique<WebListener>(tls);
        secure_ = true;
    } else {
        server_ = std::make_unique<WebListener>(std::nullopt);
    }
    server_->setMaxPendingConnections(32);
    connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this,
            &WebServer::onNewConnection);
    if (!server_->listen(options_.listen, options_.port)) {
        *error = QStringLiteral("웹: %1:%2 에서 받을 수 없습니다 (%3)")
                     .arg(options_.listen.toString())
                     .arg(options_.port)
                     .arg(server_->errorString());
        server_.reset();
        return false;
    }
    hosts_.setPort(server_->serverPort());
    pageServer_ = std::make_unique<QWebSocketServer>(QStringLiteral("tavolen"),
                                                     QWebSocketServer::NonSecureMode);
    pageServer_->setHandshakeTimeout(options_.limits.requestMs);
    connect(pageServer_.get(), &QWebSocketServer::newConnection, this, &WebServer::onPageConnected);
    sessionTimer_ = new QTimer(this);
    sessionTimer_->setInterval(5000);
    connect(sessionTimer_, &QTimer::timeout, this, [this] {
        refreshSessions();
        walkPages();
        reportWrongPasswords();
    });
    sessionTimer_->start();
    log(QStringLiteral("웹: %1 포트 %2 에서 시작 (%3)")
            .arg(options_.listen.toString())
            .arg(server_->serverPort())
            .arg(secure_ ? QStringLiteral("HTTPS") : QStringLiteral("HTTP")));
    return true;
}

quint16 WebServer::port() const { return server_ ? server_->serverPort() : 0; }

int WebServer::connectionCount() const {
    int n = 0;
    for (int c : *perAddress_) n += c;
    return n;
}

qint64 WebServer::unsentBytes() const {
    qint64 n = 0;
    for (auto it = peers_.cbegin(); it != peers_.cend(); ++it) n += unsent(it.key());
    return n;
}

QString WebServer::addressOf(QTcpSocket* socket) const {
    const auto peer = peers_.value(socket);
    return peer && !peer->client.isEmpty() ? peer->client : addressText(socket->peerAddress());
}

// Behind the configured proxy the browser's address and scheme are the proxy's
// word: the last address it added to X-Forwarded-For, its X-Forwarded-Proto.
// From anyone else those headers are the sender's own claims and are ignored.
void WebServer::placeRequest(QTcpSocket* socket, HttpRequest& request) {
    request.client = addressText(socket->peerAddress());
    request.secure = secure_;
    if (isProxy(socket->peerAddress())) {
        request.viaProxy = true;
        const QByteArray proto = request.lastHeader("x-forwarded-proto").trimmed().toLower();
        if (!proto.isEmpty()) request.secure = proto == "https";
        const QHostAddress forwarded(
            QString::fromLatin1(request.lastHeader("x-forwarded-for").split(',').last().trimmed()));
        if (!forwarded.isNull()) request.client = addressText(forwarded);
    }
    const auto peer = peers_.value(socket);
    peer->client = request.client;
    peer->secure = request.secure;
}

// The PC's addresses are read again when a name does not match, at most every
// half minute, so that an address given anew by DHCP is soon known.
bool WebServer::knownHost(const HttpRequest& request) {
    const QByteArray host = request.header("host");
    if (hosts_.allows(host)) return true;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - hostsReadAt_ < 30000) return false;
    hostsReadAt_ = now;
    hosts_.refresh();
    return hosts_.allows(host);
}

void WebServer::log(const QString& text) { appendDeskLog(options_.dataDir, clock_.now(), text); }

// Refusals are logged, but a flood of them is summed up, so that an attacker
// cannot fill the disk through the log.
void WebServer::logRefusal(const QString& address, const QString& why) {
    const qint64 minute = QDateTime::currentSecsSinceEpoch() / 60;
    if (minute != refusalMinute_) {
        if (refusalsUnlogged_ > 0)
            log(QStringLiteral("웹: 거절 %1건 더 (기록 생략)").arg(refusalsUnlogged_));
        refusalMinute_ = minute;
        refusalsThisMinute_ = 0;
        refusalsUnlogged_ = 0;
    }
    if (++refusalsThisMinute_ <= 20)
        log(QStringLiteral("웹: 거절 %1 %2").arg(address, why));
    else
        ++refusalsUnlogged_;
}

// The share of the connections an address may hold. IPv6 counts by /64: one
// host usually holds all of its network's addresses.
QString WebServer::shareOf(const QHostAddress& address) const {
    if (isProxy(address)) return QStringLiteral("proxy");
    bool v4 = false;
    address.toIPv4Address(&v4);
    if (v4 || address.protocol() != QAbstractSocket::IPv6Protocol) return addressText(address);
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = 8; i < 16; ++i) bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

bool WebServer::isProxy(const QHostAddress& address) const {
    return !options_.proxy.isNull() &&
           address.isEqual(options_.proxy, QHostAddress::TolerantConversion);
}

// With every connection taken, a newcomer whose address holds fewer than the
// greediest one takes the place of that address's oldest connection not being
// answered: what one address holds never shuts out the others.
bool WebServer::makeRoomFor(const QString& share) {
    QString greediest;
    int most = perAddress_->value(share) + 1;
    for (auto it = perAddress_->cbegin(); it != perAddress_->cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            greediest = it.key();
        }
    if (greediest.isEmpty()) return false;
    QTcpSocket* oldest = nullptr;
    qint64 since = std::numeric_limits<qint64>::max();
    for (auto it = peers_.cbegin(); it != peers_.cend(); ++it)
        if (it.value()->share == greediest && !it.value()->busy && it.value()->since < since) {
            oldest = it.key();
            since = it.value()->since;
        }
    if (!oldest) return false;
    logRefusal(addressOf(oldest), QStringLiteral("다른 주소에 자리를 내줌"));
    oldest->abort();
    return true;
}

void WebServer::onNewConnection() {
    while (server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        if (!socket) return;
        const QString address = addressText(socket->peerAddress());
        const QString share = shareOf(socket->peerAddress());
        // Behind the proxy every browser comes from the proxy: its share is the whole.
        const int limit = share == QLatin1String("proxy") ? options_.limits.maxConnections
                                                          : options_.limits.maxPerAddress;
        // Counted here, before a TLS handshake, so that handshakes never wait in
        // numbers that the limits do not see.
        const bool room =
            perAddress_->value(share) < limit &&
            (connectionCount() < options_.limits.maxConnections || makeRoomFor(share));
        if (!room) {
            logRefusal(address, QStringLiteral("연결 수 초과"));
            // Under TLS nothing can be said before the handshake: the connection just ends.
            if (!secure_)
                socket->write(
                    "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 10\r\n"
                    "Content-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(2000, socket, &QObject::deleteLater);
            continue;
        }
        socket->setParent(this);
        // Counted as long as the connection exists, whoever ends up owning it: the ticket
        // is a child of the socket (a page's socket has all its signals taken away).
        new AddressTicket(perAddress_, share, socket);
        // Bytes beyond one request and its body wait in the kernel, not here.
        socket->setReadBufferSize(HttpRequestReader::kMaxHeaderBytes +
                                  HttpRequestReader::kMaxBodyBytes);
        auto peer = std::make_shared<Peer>();
        peer->share = share;
        peer->since = QDateTime::currentMSecsSinceEpoch();
        peer->timer = new QTimer(socket);
        peer->timer->setSingleShot(true);
        // The first request must arrive whole, handshake included, within the request limit.
        peer->timer->start(options_.limits.requestMs);
        peers_.insert(socket, peer);
        connect(peer->timer, &QTimer::timeout, this, [this, socket] { onTimeout(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { pump(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { onDrained(socket); });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            peers_.remove(socket);
            socket->deleteLater();
        });
        if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
            connect(tls, &QSslSocket::encryptedBytesWritten, this,
                    [this, socket] { onDrained(socket); });
            tls->startServerEncryption();
        } else if (socket->bytesAvailable() > 0) {
            pump(socket);
        }
    }
}

void WebServer::onTimeout(QTcpSocket* socket) {
    const auto peer = peers_.value(socket);
    if (!peer || peer->busy) return;
    if (peer->draining) {
        logRefusal(addressOf(socket), QStringLiteral("답을 읽지 않는 연결"));
        socket->abort();
    } else if (peer->idle) {
        socket->disconnectFromHost();
    } else if (peer->reader.hasPartial()) {
        logRefusal(addressOf(socket), QStringLiteral("느린 요청"));
        refuse(socket, 408, QStringLiteral("요청 시간이 지났습니다"));
    } else {
        // Connected and silent: nothing is owed to it.
        logRefusal(addressOf(socket), QStringLiteral("요청 없는 연결"));
        socket->abort();
    }
}

// Reads the connection's next request when it may: one request is answered at
// a time, in the order sent, and nothing more is read while answers wait for
// the client to read them.
void WebServer::pump(QTcpSocket* socket) {
    const auto peer = peers_.value(socket);
    if (!peer || peer->busy || peer->draining || socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (unsent(socket) > kMaxUnsentBytes) {
        peer->draining = true;
        peer->timer->start(options_.limits.idleMs);
        return;
    }
    auto state = HttpRequestReader::State::Complete;
    if (!peer->reader.holdsRequest()) {
        if (!peer->reader.hasPartial()) {
            if (socket->bytesAvailable() == 0) return;
            // A request that begins with the transaction can be handed back whole
            // (a page's WebSocket handshake).
            peer->clean = true;
            if (!socket->isTransactionStarted()) socket->startTransaction();
        }
        if (peer->idle) {
            peer->idle = false;
            peer->timer->start(options_.limits.requestMs);
        }
        state = peer->reader.feed(socket->readAll());
    }
    if (state == HttpRequestReader::State::NeedMore) return;
    if (state == HttpRequestReader::State::Refused) {
        endTransaction(socket);
        const int status = peer->reader.refusal();
        logRefusal(addressOf(socket), QStringLiteral("잘못된 요청 %1").arg(status));
        refuse(socket, status, QStringLiteral("요청을 받을 수 없습니다"));
        return;
    }
    peer->timer->stop();
    dispatch(socket);
}

void WebServer::onDrained(QTcpSocket* socket) {
    const auto peer = peers_.value(socket);
    if (!peer || !peer->draining) return;
    if (unsent(socket) > kMaxUnsentBytes / 2) {
        // Still reading: the clock starts again.
        peer->timer->start(options_.limits.idleMs);
        return;
    }
    peer->draining = false;
    resume(socket);
}

// The request the reader holds, whole: checked for where it came from and
// what it names, then answered.
void WebServer::dispatch(QTcpSocket* socket) {
    const auto peer = peers_.value(socket);
    HttpRequest request = peer->reader.request();
    placeRequest(socket, request);
    peer->head = request.method == "HEAD";
    // Before anything else: a page of another name (its name rebound to this
    // PC's address) is answered nothing of the view's.
    if (!knownHost(request)) {
        endTransaction(socket);
        logRefusal(addressOf(socket),
                   QStringLiteral("다른 호스트 %1")
                       .arg(QString::fromLatin1(request.header("host").left(64))));
        return refuse(socket, 421, QStringLiteral("이 주소로는 열 수 없습니다"));
    }
    if (request.wantsWebSocket()) return openPage(socket, request);
    endTransaction(socket);
    handle(socket, request);
}

void WebServer::afterResponse(QTcpSocket* socket, bool keepAlive) {
    const auto peer = peers_.value(socket);
    if (!peer) return;
    peer->busy = false;
    peer->head = false;
    if (!keepAlive) {
        peers_.remove(socket);
        socket->disconnectFromHost();
        // A client that does not read its answer does not keep the connection.
        QTimer::singleShot(5000, socket, &QAbstractSocket::abort);
        return;
    }
    peer->reader.next();
    peer->clean = false;
    resume(socket);
}

// Between requests: the next one, pipelined or not, is read in a turn of its
// own, so that an answer never runs inside the one before it.
void WebServer::resume(QTcpSocket* socket) {
    const auto peer = peers_.value(socket);
    peer->idle = !peer->reader.hasPartial() && !peer->reader.holdsRequest();
    peer->timer->start(peer->idle ? options_.limits.idleMs : options_.limits.requestMs);
    QMetaObject::invokeMethod(
        this,
        [this, s = QPointer<QTcpSocket>(socket)] {
            if (s) pump(s);
        },
        Qt::QueuedConnection);
}

void WebServer::respond(QTcpSocket* socket, int status, const QByteArray& type,
                        const QByteArray& body, bool keepAlive,
                        const QList<QPair<QByteArray, QByteArray>>& extra) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    const auto peer = peers_.value(socket);
    const bool secure = secure_ || (peer && peer->secure);
    bool ownSecurity = false;
    for (const auto& [name, value] : extra) {
        // A cookie given over HTTPS, to the browser or to the proxy, is kept to HTTPS.
        const bool secureCookie = secure && name == "Set-Cookie" && !value.contains("; Secure");
        head += name + ": " + value + (secureCookie ? "; Secure\r\n" : "\r\n");
        ownSecurity = ownSecurity || name == "Content-Security-Policy";
    }
    if (!type.isEmpty()) head += "Content-Type: " + type + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head +=
        "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
        "Referrer-Policy: same-origin\r\nX-Frame-Options: DENY\r\n";
    if (!ownSecurity) head += "Content-Security-Policy: " + kPageSecurity + "\r\n";
    if (secure) head += "Strict-Transport-Security: max-age=31536000\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(peer && peer->head ? head : head + body);
    afterResponse(socket, keepAlive);
}

void WebServer::refuse(QTcpSocket* socket, int status, const QString& why, bool keepAlive,
                       const QList<QPair<QByteArray, QByteArray>>& extra) {
    respond(socket, status, "text/plain; charset=utf-8", why.toUtf8() + '\n', keepAlive, extra);
}

bool WebServer::sameOrigin(const HttpRequest& request) const {
    return hosts_.allowsOrigin(request.header("origin"), request.secure, request.viaProxy);
}

WebAccounts* WebServer::accounts() {
    if (!accountsDb_) {
        const QByteArray path =
            QDir(options_.dataDir).filePath(QStringLiteral("DB/motel.db")).toUtf8();
        if (sqlite3_open_v2(path.constData(), &accountsDb_, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK) {
            sqlite3_close_v2(accountsDb_);
            accountsDb_ = nullptr;
            return nullptr;
        }
        sqlite3_busy_timeout(accountsDb_, 1000);
        accounts_ = std::make_unique<WebAccounts>(accountsDb_);
    }
    return accounts_.get();
}

void WebServer::refreshSessions() {
    for (const QString& name : sessions_.accounts()) {
        QByteArray stamp;
        try {
            if (!accounts()) break;
            const auto account = accounts_->current(name);
            if (account) stamp = account->stamp;
        } catch (const std::exception&) {
            // An unreadable table ends nothing now; the next look decides.
            continue;
        }
        const int ended = sessions_.closeStale(name, stamp);
        if (ended > 0)
            log(QStringLiteral("웹: %1 계정의 암호나 권한이 바뀌어 세션 %2개를 끝냈습니다")
                    .arg(name)
                    .arg(ended));
    }
}

// Every few seconds: pages of ended sessions are closed, pages gone silent are
// dropped, the others pinged. Ending a page may take it out of the pages at
// once, so they are walked from a list of their own.
void WebServer::walkPages() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (QWebSocket* page : pages_.keys()) {
        const auto it = pages_.constFind(page);
        if (it == pages_.cend()) continue;
        if (!sessions_.peek(it->session)) {
            page->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("signed out"));
        } else if (now - it->lastHeard > kPageSilenceMs) {
            // A phone gone to sleep or off the network: its connection is dropped.
            page->abort();
        } else {
            page->ping();
        }
    }
}

std::optional<WebSessions::Session> WebServer::sessionOf(const HttpRequest& request) {
    const QByteArray id = request.cookie(kCookie);
    // An unknown cookie costs no look at the password table.
    if (!sessions_.peek(id)) return std::nullopt;
    refreshSessions();
    return sessions_.use(id);
}

void WebServer::handle(QTcpSocket* socket, const HttpRequest& request) {
    const QString& path = request.path;
    const bool keep = request.keepAlive();
    const bool get = request.method == "GET" || request.method == "HEAD";
    const QString address = addressOf(socket);

    if (path == QLatin1String("/login")) {
        if (request.method == "POST") return signIn(socket, request);
        if (!get) return refuse(socket, 405, QStringLiteral("허용되지 않는 방법입니다"), keep);
        QByteArray page = resource("login.html");
        const QString e = request.queryValue(QStringLiteral("e"));
        const QString message = e == QLatin1String("wrong") ? QStringLiteral("암호가 맞지 않습니다")
                                : e == QLatin1String("out") ? QStringLiteral("로그아웃했습니다")
                                                            : QString();
        page.replace("<p class=\"msg\" id=\"msg\"></p>",
                     "<p class=\"msg\" id=\"msg\">" + message.toUtf8() + "</p>");
        return respond(socket, 200, "text/html; charset=utf-8", page, keep,
                       {{"Content-Security-Policy", kSignInSecurity}});
    }

    // Browsers ask for it on their own; there is none, and asking is no refusal worth a line.
    if (path == QLatin1String("/favicon.ico"))
        return refuse(socket, 404, QStringLiteral("없는 파일입니다"), keep);

    static const QStringList pages = {QStringLiteral("/"),      QStringLiteral("/board"),
                                      QStringLiteral("/today"), QStringLiteral("/month"),
                                      QStringLiteral("/log"),   QStringLiteral("/trail")};
    const auto session = sessionOf(request);
    if (!session) {
        logRefusal(address, QStringLiteral("세션 없음 %1").arg(path.left(64)));
        if (get && pages.contains(path))
            return respond(socket, 303, {}, {}, keep, {{"Location", "/login"}});
        return refuse(socket, 401, QStringLiteral("로그인이 필요합니다"), keep);
    }

    if (path == QLatin1String("/logout")) {
        if (request.method != "POST")
            return refuse(socket, 405, QStringLiteral("허용되지 않는 방법입니다"), keep);
        return signOut(socket, request);
    }
    if (!get) return refuse(socket, 405, QStringLiteral("허용되지 않는 방법입니다"), keep);
    if (path == QLatin1String("/"))
        return respond(socket, 303, {}, {}, keep, {{"Location", "/board"}});
    if (path == QLatin1String("/trail")) return serveTrail(socket, request);
    if (pages.contains(path))
        return respond(socket, 200, "text/html; charset=utf-8", resource("app.html"), keep);
    if (path == QLatin1String("/app.css"))
        return respond(socket, 200, "text/css; charset=utf-8", resource("app.css"), keep);
    if (path == QLatin1String("/app.js"))
        return respond(socket, 200, "text/javascript; charset=utf-8", resource("app.js"), keep);
    if (path == QLatin1String("/api/snapshot")) {
        if (!latest_) return refuse(socket, 503, QStringLiteral("보드가 아직 없습니다"), keep);
        if (latestJson_.isEmpty()) latestJson_ = snapshotJson(*latest_, options_.dataDir);
        return respond(socket, 200, "application/json", latestJson_, keep);
    }
    if (path == QLatin1String("/api/me"))
        return respond(socket, 200, "application/json",
                       QJsonDocument(QJsonObject{{"name", session->account},
                                                 {"downloads", session->downloads}})
                           .toJson(QJsonDocument::Compact),
                       keep);
    if (path == QLatin1String("/api/today")) return serveLedger(socket, request, false);
    if (path == QLatin1String("/api/month")) return serveLedger(socket, request, true);
    if (path.startsWith(QLatin1String("/download/"))) return serveReport(socket, request, *session);
    return refuse(socket, 404, QStringLiteral("없는 페이지입니다"), keep);
}

void WebServer::signIn(QTcpSocket* socket, const HttpRequest& request) {
    const QString address = addressOf(socket);
    const bool keep = request.keepAlive();
    // A form posted from another site is no sign-in of the owner's.
    if (!request.header("origin").isEmpty() && !sameOrigin(request)) {
        logRefusal(address, QStringLiteral("다른 출처의 로그인"));
        return refuse(socket, 403, QStringLiteral("허용되지 않는 출처입니다"), keep);
    }
    const QUrlQuery form(QString::fromUtf8(request.body).replace(u'+', u' '));
    const QString name = form.queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded).trimmed();
    const QString password = form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    // Nothing to check: no count, no hash.
    if (name.isEmpty() || password.isEmpty() || name.size() > WebAccounts::kMaxNameLength)
        return refuse(socket, 400, QStringLiteral("이름과 암호를 입력하십시오"), keep);
    if (checksWaiting_ >= options_.limits.signInQueue) {
        logRefusal(address, QStringLiteral("암호 확인 대기 초과"));
        return refuse(socket, 503, QStringLiteral("잠시 뒤에 다시 하십시오"), keep,
                      {{"Retry-After", "5"}});
    }
    // Behind the proxy, the browser's address as the proxy tells it: not the proxy's own, which
    // every browser shares.
    const QString addressKey = SignInLimiter::addressKey(QHostAddress(request.client));
    const QString lowerName = name.toLower();
    const QString accountKey = strangers_.contains(lowerName) ? strangerKey(lowerName) : lowerName;
    const int wait = limiter_.begin(accountKey, addressKey);
    if (wait > 0) {
        if (limiter_.full()) {
            const qint64 minute = clock_.now().toSecsSinceEpoch() / 60;
            if (minute != fullLoggedMinute_)
                log(QStringLiteral("웹: 로그인 제한 표가 가득 차 모든 로그인이 기다립니다"));
            fullLoggedMinute_ = minute;
        } else {
            logRefusal(address, QStringLiteral("로그인 시도 초과 (%1)").arg(loggedName(name)));
        }
        ++wrong_.held;
        return refuse(
            socket, 429,
            QStringLiteral("로그인 시도가 너무 많습니다. %1초 뒤에 다시 하십시오").arg(wait), keep,
            {{"Retry-After", QByteArray::number(wait)}});
    }

    peers_.value(socket)->busy = true;
    ++checksWaiting_;
    const QByteArray database =
        QDir(options_.dataDir).filePath(QStringLiteral("DB/motel.db")).toUtf8();
    QPointer<QTcpSocket> target(socket);
    checker_.start([this, target, database, name, lowerName, password, keep, accountKey,
                    addressKey] {
        std::optional<WebAccounts::Current> account;
        bool failed = false;
        bool known = true;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(database.constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            sqlite3_busy_timeout(db, 1000);
            try {
                WebAccounts accounts(db);
                account = accounts.verify(name, password);
                if (!account) known = accounts.current(name).has_value();
            } catch (const std::exception&) {
                failed = true;
            }
        } else {
            failed = true;
        }
        sqlite3_close_v2(db);
        QMetaObject::invokeMethod(
            this,
            [this, target, name, lowerName, account, failed, known, keep, accountKey, addressKey] {
                --checksWaiting_;
                if (known) strangers_.remove(lowerName);
                if (account) {
                    limiter_.succeeded(accountKey, addressKey);
                } else if (!failed && !known) {
                    // No such account: its tries count with other made-up names'.
                    const QString shared = strangerKey(lowerName);
                    limiter_.fold(accountKey, shared);
                    if (strangers_.size() >= kStrangersKept) strangers_.clear();
                    strangers_.insert(lowerName);
                    noteWrongPassword(name, shared, addressKey);
                } else if (!failed) {
                    noteWrongPassword(name, accountKey, addressKey);
                }
                finishSignIn(target, name, account, failed, keep);
            },
            Qt::QueuedConnection);
    });
}

QString WebServer::strangerKey(const QString& lowerName) const {
    const size_t entries = size_t(std::max(1, options_.limits.strangerEntries));
    return QStringLiteral("?%1").arg(qHash(lowerName, QHashSeed::globalSeed()) % entries);
}

void WebServer::noteWrongPassword(const QString& name, const QString& accountKey,
                                  const QString& addressKey) {
    ++wrong_.count;
    const SignInLimiter::Reached reached = limiter_.wrong(accountKey, addressKey);
    const auto add = [this](QStringList& list, const QString& item) {
        ++wrong_.limited;
        if (list.size() < kWrongPasswordsListed && !list.contains(item)) list.append(item);
    };
    if (reached.account) add(wrong_.accounts, loggedName(name));
    if (reached.address) add(wrong_.addresses, addressKey);
    if (reached.account || reached.address) reportWrongPasswords();
}

// Also on the session timer's beat, for what was limited since the last report.
void WebServer::reportWrongPasswords() {
    if (wrong_.limited == 0) return;
    const qint64 now = clock_.now().toSecsSinceEpoch();
    // A clock set back allows a report at once.
    if (wrongReportedAt_ > 0 && now >= wrongReportedAt_ &&
        now - wrongReportedAt_ < kWrongPasswordsReportSeconds)
        return;
    wrongReportedAt_ = now;
    const WrongPasswords told = std::exchange(wrong_, {});
    emit wrongPasswords(QJsonObject{{"where", "web"},
                                    {"accounts", QJsonArray::fromStringList(told.accounts)},
                                    {"addresses", QJsonArray::fromStringList(told.addresses)},
                                    {"limited", told.limited},
                                    {"count", told.count},
                                    {"held", told.held}});
}

void WebServer::finishSignIn(QPointer<QTcpSocket> socket, const QString& name,
                             const std::optional<WebAccounts::Current>& account, bool failed,
                             bool keepAlive) {
    if (!socket || !peers_.contains(socket)) return;
    const QString address = addressOf(socket);
    if (failed) return refuse(socket, 503, QStringLiteral("암호를 확인할 수 없습니다"), keepAlive);
    if (!account) {
        logRefusal(address, QStringLiteral("틀린 암호 (%1)").arg(loggedName(name)));
        return respond(socket, 303, {}, {}, keepAlive, {{"Location", "/login?e=wrong"}});
    }
    const QByteArray id = sessions_.open(account->name, account->downloads, account->stamp);
    QByteArray cookie = QByteArray(kCookie) + '=' + id + "; Path=/; HttpOnly; SameSite=Strict";
    if (secure_) cookie += "; Secure";
    log(QStringLiteral("웹: 로그인 %1 %2").arg(account->name, address));
    return respond(socket, 303, {}, {}, keepAlive,
                   {{"Location", "/board"}, {"Set-Cookie", cookie}});
}

void WebServer::signOut(QTcpSocket* socket, const HttpRequest& request) {
    if (!sameOrigin(request))
        return refuse(socket, 403, QStringLiteral("허용되지 않는 출처입니다"), request.keepAlive());
    const QByteArray id = request.cookie(kCookie);
    sessions_.close(id);
    // Closing a page may end it at once, and take it out of the pages.
    for (QWebSocket* page : pages_.keys())
        if (pages_.value(page).session == id)
            page->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("signed out"));
    log(QStringLiteral("웹: 로그아웃 %1").arg(addressOf(socket)));
    QByteArray cookie = QByteArray(kCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict";
    if (secure_) cookie += "; Secure";
    respond(socket, 303, {}, {}, request.keepAlive(),
            {{"Location", "/login?e=out"}, {"Set-Cookie", cookie}});
}

void WebServer::serveLedger(QTcpSocket* socket, const HttpRequest& request, bool month) {
    peers_.value(socket)->busy = true;
    const QString dataDir = options_.dataDir;
    const QString monthText = request.queryValue(QStringLiteral("m")).left(8);
    const QDateTime now = clock_.now();
    const bool keep = request.keepAlive();
    QPointer<QTcpSocket> target(socket);
    readers_.start([this, target, dataDir, monthText, now, month, keep] {
        QJsonObject answer;
        int status = 200;
        try {
            answer =
                month ? webLedger::month(dataDir, monthText, now) : webLedger::today(dataDir, now);
        } catch (const std::exception& e) {
            answer = QJsonObject{{"error", errorText(e)}};
            status = 500;
        }
        const QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Compact);
        QMetaObject::invokeMethod(
            this,
            [this, target, status, body, keep] {
                if (target && peers_.contains(target))
                    respond(target, status, "application/json", body, keep);
            },
            Qt::QueuedConnection);
    });
}

void WebServer::serveTrail(QTcpSocket* socket, const HttpRequest& request) {
    peers_.value(socket)->busy = true;
    const QString dataDir = options_.dataDir;
    const bool keep = request.keepAlive();
    const QByteArray page = resource("trail.html");
    QPointer<QTcpSocket> target(socket);
    readers_.start([this, target, dataDir, page, keep] {
        int status = 200;
        QByteArray body;
        try {
            body = webTrail::page(page, dataDir);
        } catch (const std::exception& e) {
            status = 500;
            body = errorText(e).toHtmlEscaped().toUtf8();
        }
        QMetaObject::invokeMethod(
            this,
            [this, target, status, body, keep] {
                if (target && peers_.contains(target))
                    respond(target, status, "text/html; charset=utf-8", body, keep);
            },
            Qt::QueuedConnection);
    });
}

void WebServer::serveReport(QTcpSocket* socket, const HttpRequest& request,
                            const WebSessions::Session& session) {
    const bool keep = request.keepAlive();
    if (!session.downloads)
        return refuse(socket, 403, QStringLiteral("내려받기 권한이 없는 계정입니다"), keep);
    const QString name = request.path.mid(int(qstrlen("/download/")));
    static const QStringList known = {QStringLiteral("day.xlsx"), QStringLiteral("day.pdf"),
                                      QStringLiteral("month.xlsx"), QStringLiteral("month.pdf")};
    if (!known.contains(name)) return refuse(socket, 404, QStringLiteral("없는 파일입니다"), keep);
    const bool day = name.startsWith(QLatin1String("day"));
    const QString period = request.queryValue(day ? QStringLiteral("date") : QStringLiteral("m"));
    const bool valid =
        day ? QDate::fromString(period, QStringLiteral("yyyy-MM-dd")).isValid()
            : QDate::fromString(period + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"))
                  .isValid();
    if (!valid || period.size() != (day ? 10 : 7))
        return refuse(socket, 400, QStringLiteral("날짜가 올바르지 않습니다"), keep);
    if (reportRunning_)
        return refuse(socket, 503, QStringLiteral("다른 보고서를 만드는 중입니다"), keep,
                      {{"Retry-After", "5"}});

    reportRunning_ = true;
    peers_.value(socket)->busy = true;
    auto dir = std::make_shared<QTemporaryDir>();
    const QString suffix = name.mid(name.indexOf(u'.'));
    const QString file = dir->filePath(QStringLiteral("report") + suffix);
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    auto* watchdog = new QTimer(process);
    watchdog->setSingleShot(true);
    connect(watchdog, &QTimer::timeout, process, &QProcess::kill);
    QPointer<QTcpSocket> target(socket);
    const QString download = QStringLiteral("tavolen-%1%2").arg(period, suffix);
    const QByteArray type =
        suffix == QLatin1String(".pdf")
            ? "application/pdf"
            : "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    const auto finish = [this, process, dir, file, target, keep, download, type] {
        reportRunning_ = false;
        process->deleteLater();
        if (!target || !peers_.contains(target)) return;
        QFile f(file);
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0 ||
            !f.open(QIODevice::ReadOnly) || f.size() > kMaxReportBytes) {
            const QString why = QString::fromUtf8(process->readAll()).trimmed().left(300);
            log(QStringLiteral("웹: 보고서를 만들 수 없습니다: %1").arg(why));
            return refuse(target, 500, QStringLiteral("보고서를 만들 수 없습니다"), keep);
        }
        respond(target, 200, type, f.readAll(), keep,
                {{"Content-Disposition", "attachment; filename=\"" + download.toUtf8() + '"'}});
    };
    connect(process, &QProcess::finished, this, finish);
    connect(process, &QProcess::errorOccurred, this, [process, finish](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) finish();
    });
    watchdog->start(options_.limits.reportMs);
    process->start(options_.reportProgram,
                   {QStringLiteral("--data-dir"), options_.dataDir, QStringLiteral("report"),
                    day ? QStringLiteral("day") : QStringLiteral("month"), period,
                    QStringLiteral("--out"), file});
}

void WebServer::openPage(QTcpSocket* socket, const HttpRequest& request) {
    const auto peer = peers_.value(socket);
    const QString address = addressOf(socket);
    const auto session = sessionOf(request);
    const auto refuseSocket = [&](int status, const QString& why) {
        endTransaction(socket);
        logRefusal(address, why);
        refuse(socket, status, QStringLiteral("연결할 수 없습니다"));
    };
    if (request.path != QLatin1String("/ws") || request.method != "GET")
        return refuseSocket(404, QStringLiteral("없는 소켓 %1").arg(request.path.left(64)));
    if (!session) return refuseSocket(401, QStringLiteral("세션 없는 소켓"));
    if (!sameOrigin(request)) return refuseSocket(403, QStringLiteral("다른 출처의 소켓"));
    if (!peer->clean) return refuseSocket(400, QStringLiteral("이어진 요청의 소켓"));

    // The socket goes to the WebSocket server with the handshake put back.
    peers_.remove(socket);
    delete peer->timer;
    disconnect(socket, nullptr, this, nullptr);
    socket->rollbackTransaction();
    socket->setReadBufferSize(0);
    // A page's socket only watches its connection; the connection is ours to free.
    for (auto it = handedOver_.begin(); it != handedOver_.end();)
        it = it->isNull() ? handedOver_.erase(it) : std::next(it);
    handedOver_.insert(
        socket->peerAddress().toString() + u'|' + QString::number(socket->peerPort()), socket);
    pageServer_->handleConnection(socket);
    Q_EMIT socket->readyRead();
}

void WebServer::onPageConnected() {
    while (QWebSocket* page = pageServer_->nextPendingConnection()) {
        page->setParent(this);
        page->setMaxAllowedIncomingFrameSize(512);
        page->setMaxAllowedIncomingMessageSize(512);
        const QByteArray cookie = page->request().rawHeader("Cookie");
        HttpRequest handshake;
        handshake.headers.append({"cookie", cookie});
        const QByteArray id = handshake.cookie(kCookie);
        const QPointer<QTcpSocket> connection = handedOver_.take(
            page->peerAddress().toString() + u'|' + QString::number(page->peerPort()));
        if (!sessions_.peek(id)) {
            // Signed out while the handshake ran.
            page->abort();
            page->deleteLater();
            if (connection) connection->deleteLater();
            continue;
        }
        pages_.insert(page, Page{id, 0, QDateTime::currentMSecsSinceEpoch()});
        connect(page, &QWebSocket::pong, this, [this, page] {
            if (pages_.contains(page)) pages_[page].lastHeard = QDateTime::currentMSecsSinceEpoch();
        });
        connect(page, &QWebSocket::disconnected, this, [this, page, connection] {
            pages_.remove(page);
            page->deleteLater();
            // Freed in a turn of its own, once the page is done with it.
            QMetaObject::invokeMethod(
                this, [connection] { delete connection.data(); }, Qt::QueuedConnection);
        });
        // The pages say nothing; whatever they send is dropped.
        connect(page, &QWebSocket::bytesWritten, this, [this, page] {
            if (latest_ && pages_.contains(page) && pages_[page].sentSequence != latest_->sequence)
                sendTo(page);
        });
        sendTo(page);
    }
}

void WebServer::publish(BoardSnapshotPtr snapshot) {
    if (!snapshot) return;
    latest_ = std::move(snapshot);
    latestJson_.clear();
    if (pushScheduled_ || pages_.isEmpty()) return;
    // The pages follow a moment later: the steps of that moment reach them as one, and their
    // sending does not run while the desk paints the step on its own screen.
    pushScheduled_ = true;
    QTimer::singleShot(kPushDelayMs, this, &WebServer::pushSnapshot);
}

void WebServer::pushSnapshot() {
    pushScheduled_ = false;
    for (QWebSocket* page : pages_.keys()) sendTo(page);
}

void WebServer::sendTo(QWebSocket* page) {
    if (!latest_ || page->bytesToWrite() > kPageBacklog) return;
    if (latestJson_.isEmpty()) latestJson_ = snapshotJson(*latest_, options_.dataDir);
    pages_[page].sentSequence = latest_->sequence;
    page->sendTextMessage(QString::fromUtf8(latestJson_));
}
