#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <functional>
#include <memory>

#include "board/BoardSnapshot.h"
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
};

// `Web` in the room-state file.
struct WebOptions {
    QHostAddress listen = QHostAddress::Any;
    quint16 port = 8080;
    QString certificate;  // PEM; with `key` set too the server speaks HTTPS only
    QString key;
    QString dataDir;        // the desk's data directory: database, settings, tavolen.log
    QString reportProgram;  // the program whose report command writes the downloads
    WebLimits limits;
};

enum class PasswordVerdict { Right, Wrong, LockedOut, Failed };
// Checks the password of a grade through the desk's password rules (its
// lock-out included) and answers through `done`, from any thread.
using PasswordCheck = std::function<void(int grade, const QString& password,
                                         std::function<void(PasswordVerdict)> done)>;

// The owner's live view: a small HTTP/1.1 server with WebSockets for the
// live pages, serving the board from the snapshots the board publishes, the
// settlement from a read-only connection of its own, and the report files
// from the report command. Every route but the sign-in page needs a session.
// It lives on a thread of its own in the program; nothing in it waits for
// the desk, and the desk never waits for it.
class WebServer : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kCookie = "tavolen_session";

    WebServer(WebOptions options, const Clock& clock, PasswordCheck checkPassword,
              QObject* parent = nullptr);
    ~WebServer() override;

    // Listens; false with the reason in `error`.
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
    void finishSignIn(QPointer<QTcpSocket> socket, int grade, PasswordVerdict verdict,
                      bool keepAlive);
    void signOut(QTcpSocket* socket, const HttpRequest& request);
    void serveLedger(QTcpSocket* socket, const HttpRequest& request, bool month);
    void serveReport(QTcpSocket* socket, const HttpRequest& request);
    void serveTrail(QTcpSocket* socket, const HttpRequest& request);
    void openPage(QTcpSocket* socket, const HttpRequest& request);
    void onPageConnected();
    void pushSnapshot();
    void sendTo(QWebSocket* page);
    void refreshSessions();

    bool sameOrigin(const HttpRequest& request) const;
    std::optional<WebSessions::Session> sessionOf(const HttpRequest& request);
    QByteArray passwordStamp(int grade);
    void respond(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                 bool keepAlive, const QList<QPair<QByteArray, QByteArray>>& extra = {});
    void refuse(QTcpSocket* socket, int status, const QString& why, bool keepAlive = false,
                const QList<QPair<QByteArray, QByteArray>>& extra = {});
    void log(const QString& text);
    void logRefusal(const QString& address, const QString& why);
    QString addressOf(QTcpSocket* socket) const;

    WebOptions options_;
    const Clock& clock_;
    PasswordCheck checkPassword_;
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
    sqlite3* grades_ = nullptr;  // read-only, for the password stamps
    bool reportRunning_ = false;
    QThreadPool readers_;  // the ledger reads
    int refusalsThisMinute_ = 0;
    int refusalsUnlogged_ = 0;
    qint64 refusalMinute_ = 0;
};
