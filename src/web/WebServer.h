#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <memory>

#include "auth/WebAccounts.h"
#include "board/BoardSnapshot.h"
#include "web/SignInLimiter.h"
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
    int requestMs = 10000;  // a request must have arrived whole by then (slow senders)
    int idleMs = 30000;     // a connection with nothing in progress is closed after this
    int maxConnections = 128;
    int maxPerAddress = 32;
    int reportMs = 60000;  // a report file must be written by then
    int signInQueue = 8;   // password checks waiting or running; more are answered "busy"
};

// `Web` in the room-state file.
struct WebOptions {
    QHostAddress listen = QHostAddress::LocalHost;  // until `Listen` says otherwise
    quint16 port = 8080;
    QString certificate;  // PEM; with `key` set too the server speaks HTTPS only
    QString key;
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
    int pageCount() const { return int(pages_.size()); }

public slots:
    // The board's latest state; pushed to every open page.
    void publish(BoardSnapshotPtr snapshot);

private:
    struct Peer;
    struct Page {
        QByteArray session;
        quint64 sentSequence = 0;
        qint64 lastHeard = 0;  // ms since the epoch, the last pong
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void onTimeout(QTcpSocket* socket);
    void afterResponse(QTcpSocket* socket, bool keepAlive);
    void handle(QTcpSocket* socket, const HttpRequest& request);
    void signIn(QTcpSocket* socket, const HttpRequest& request);
    void finishSignIn(QPointer<QTcpSocket> socket, const QString& name,
                      const std::optional<WebAccounts::Current>& account, bool failed,
                      bool keepAlive);
    void signOut(QTcpSocket* socket, const HttpRequest& request);
    void serveLedger(QTcpSocket* socket, const HttpRequest& request, bool month);
    void serveReport(QTcpSocket* socket, const HttpRequest& request,
                     const WebSessions::Session& session);
    void openPage(QTcpSocket* socket, const HttpRequest& request);
    void onPageConnected();
    void pushSnapshot();
    void sendTo(QWebSocket* page);
    void refreshSessions();

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

    WebOptions options_;
    const Clock& clock_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QWebSocketServer> pageServer_;
    bool secure_ = false;
    QHash<QTcpSocket*, std::shared_ptr<Peer>> peers_;
    std::shared_ptr<QHash<QString, int>> perAddress_ = std::make_shared<QHash<QString, int>>();
    QHash<QWebSocket*, Page> pages_;
    QHash<QString, QPointer<QTcpSocket>> handedOver_;  // by peer address and port, until upgraded
    WebSessions sessions_;
    SignInLimiter limiter_;
    BoardSnapshotPtr latest_;
    QByteArray latestJson_;
    bool pushScheduled_ = false;
    QTimer* sessionTimer_ = nullptr;
    sqlite3* accountsDb_ = nullptr;  // read-only
    std::unique_ptr<WebAccounts> accounts_;
    QThreadPool checker_;  // the password checks, one at a time
    int checksWaiting_ = 0;
    qint64 fullLoggedMinute_ = -1;
    bool reportRunning_ = false;
    QThreadPool readers_;  // the ledger reads
    int refusalsThisMinute_ = 0;
    int refusalsUnlogged_ = 0;
    qint64 refusalMinute_ = 0;
};
