#pragma once

#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <memory>

#include "auth/WebAccounts.h"
#include "board/BoardSnapshot.h"
#include "web/SignInLimiter.h"
#include "web/WebHosts.h"
#include "web/WebSessions.h"

class Clock;
class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;
class QTimer;
struct HttpRequest;
struct sqlite3;

// Bounds of every connection, beyond the request reader's own.
struct WebLimits {
    // A request must have arrived whole by then, counted from the connection's
    // start (TLS handshake included) or from the request's first byte.
    int requestMs = 5000;
    int idleMs = 30000;  // a connection with nothing in progress is closed after this
    int maxConnections = 128;
    int maxPerAddress = 12;  // IPv6 by /64; the proxy's share is the whole
    int reportMs = 60000;    // a report file must be written by then
    int signInQueue = 8;     // password checks waiting or running; more are answered "busy"
    // Names that are no account count their wrong passwords in this many shared entries, so
    // that made-up names cannot fill the sign-in limiter's table.
    int strangerEntries = 256;
};

// `Web` in the room-state file.
struct WebOptions {
    QHostAddress listen = QHostAddress::LocalHost;  // until `Listen` says otherwise
    quint16 port = 8080;
    QString certificate;  // PEM; with `key` set too the server speaks HTTPS only
    QString key;
    QStringList hosts;      // `Hosts`: a reverse proxy's public names, beside the PC's addresses
    QHostAddress proxy;     // `Proxy`: whose X-Forwarded-Proto and -For are believed
    QString dataDir;        // the desk's data directory: database, settings, tavolen.log
    QString reportProgram;  // the program whose report command writes the downloads
    WebLimits limits;
};

// The owner's live view: a small HTTP/1.1 server with WebSockets for the
// live pages, serving the board from the snapshots the board publishes, the
// settlement from a read-only connection of its own, and the report files
// from the report command. Every route but the sign-in page needs a session,
// opened with one of the view's own accounts (WebAccounts); the passwords are
// checked one at a time on a thread of their own.
// It lives on a thread of its own in the program; nothing in it waits for
// the desk, and the desk never waits for it.
class WebServer : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kCookie = "tavolen_session";

    WebServer(WebOptions options, const Clock& clock, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens; false with the reason in `error`, among them a database
    // without a single account.
    bool start(QString* error);
    quint16 port() const;
    bool secure() const { return secure_; }
    int connectionCount() const;
    // Accounts, made-up names' shared entries and addresses the sign-in limiter counts.
    int signInEntries() const { return limiter_.size(); }
    // What the HTTP connections hold written but not yet taken by their clients.
    qint64 unsentBytes() const;
    int pageCount() const { return int(pages_.size()); }

    // How often the owner hears of wrong passwords at most; what is limited meanwhile waits
    // for the next report.
    static constexpr int kWrongPasswordsReportSeconds = 60;
    // Names and addresses listed in one report; the others are only counted.
    static constexpr int kWrongPasswordsListed = 10;

public slots:
    // The board's latest state; pushed to every open page.
    void publish(BoardSnapshotPtr snapshot);

signals:
    // Wrong passwords have brought accounts or addresses to their limit: the desk's
    // "repeated wrong passwords" from the web, at most once per kWrongPasswordsReportSeconds,
    // never per attempt. `detail` = {"where": "web", "accounts": [names], "addresses":
    // [addresses], "limited": how many of both, "count": wrong passwords, "held": attempts
    // held off, since the last report}.
    void wrongPasswords(const QJsonObject& detail);

private:
    struct Peer;
    struct Page {
        QByteArray session;
        quint64 sentSequence = 0;
        qint64 lastHeard = 0;  // ms since the epoch, the last pong
    };

    void onNewConnection();
    void onTimeout(QTcpSocket* socket);
    void onDrained(QTcpSocket* socket);
    void pump(QTcpSocket* socket);
    void dispatch(QTcpSocket* socket);
    void afterResponse(QTcpSocket* socket, bool keepAlive);
    void resume(QTcpSocket* socket);
    QString shareOf(const QHostAddress& address) const;
    bool isProxy(const QHostAddress& address) const;
    bool makeRoomFor(const QString& share);
    void handle(QTcpSocket* socket, const HttpRequest& request);
    void signIn(QTcpSocket* socket, const HttpRequest& request);
    void finishSignIn(QPointer<QTcpSocket> socket, const QString& name,
                      const std::optional<WebAccounts::Current>& account, bool failed,
                      bool keepAlive);
    void noteWrongPassword(const QString& name, const QString& accountKey,
                           const QString& addressKey);
    void reportWrongPasswords();
    void signOut(QTcpSocket* socket, const HttpRequest& request);
    void serveLedger(QTcpSocket* socket, const HttpRequest& request, bool month);
    void serveReport(QTcpSocket* socket, const HttpRequest& request,
                     const WebSessions::Session& session);
    void serveTrail(QTcpSocket* socket, const HttpRequest& request);
    void openPage(QTcpSocket* socket, const HttpRequest& request);
    void onPageConnected();
    void pushSnapshot();
    void sendTo(QWebSocket* page);
    void refreshSessions();
    void walkPages();

    bool sameOrigin(const HttpRequest& request) const;
    std::optional<WebSessions::Session> sessionOf(const HttpRequest& request);
    // The accounts as the database has them now, on a read-only connection
    // of the server's own; none when it cannot be opened.
    WebAccounts* accounts();
    void respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                 bool keepAlive, const QList<QPair<QByteArray, QByteArray>>& extra = {});
    void refuse(QTcpSocket* socket, int status, const QString& why, bool keepAlive = false,
                const QList<QPair<QByteArray, QByteArray>>& extra = {});
    void log(const QString& text);
    void logRefusal(const QString& address, const QString& why);
    QString addressOf(QTcpSocket* socket) const;
    void placeRequest(QTcpSocket* socket, HttpRequest& request);
    bool knownHost(const HttpRequest& request);

    WebOptions options_;
    const Clock& clock_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QWebSocketServer> pageServer_;
    WebHosts hosts_;
    qint64 hostsReadAt_ = 0;  // ms since the epoch
    bool secure_ = false;
    QHash<QTcpSocket*, std::shared_ptr<Peer>> peers_;
    std::shared_ptr<QHash<QString, int>> perAddress_ = std::make_shared<QHash<QString, int>>();
    QHash<QWebSocket*, Page> pages_;
    QHash<QString, QPointer<QTcpSocket>> handedOver_;  // by peer address and port, until upgraded
    WebSessions sessions_;
    SignInLimiter limiter_;
    // Wrong passwords since the last report of them.
    struct WrongPasswords {
        QStringList accounts, addresses;
        int limited = 0;
        int count = 0;
        int held = 0;
    };
    WrongPasswords wrong_;
    qint64 wrongReportedAt_ = 0;  // s since the epoch; 0 before the first report
    BoardSnapshotPtr latest_;
    QByteArray latestJson_;
    bool pushScheduled_ = false;
    static constexpr int kPushDelayMs = 25;
    QTimer* sessionTimer_ = nullptr;
    sqlite3* accountsDb_ = nullptr;  // read-only
    std::unique_ptr<WebAccounts> accounts_;
    QThreadPool checker_;  // the password checks, one at a time
    int checksWaiting_ = 0;
    qint64 fullLoggedMinute_ = -1;
    // Names found to be no account lately (lower case), which count in shared entries.
    QSet<QString> strangers_;
    static constexpr qsizetype kStrangersKept = 1024;
    // The shared entry a name that is no account counts in: a hash keyed for this run, so
    // that nobody outside can choose which names share one.
    QString strangerKey(const QString& lowerName) const;
    bool reportRunning_ = false;
    QThreadPool readers_;  // the ledger reads
    int refusalsThisMinute_ = 0;
    int refusalsUnlogged_ = 0;
    qint64 refusalMinute_ = 0;
};
