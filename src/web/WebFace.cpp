#include "web/WebFace.h"

#include <QRegularExpression>

#include "board/BoardModel.h"
#include "platform/Errors.h"
#include "platform/ThreadPriority.h"
#include "store/IniStore.h"

WebOptions WebFace::readOptions(const IniStore& ini, const QString& dataDir,
                                const QString& program) {
    const QString section = QStringLiteral("Web");
    WebOptions o;
    const qint32 port = ini.readInteger(section, QStringLiteral("Port"), 8080);
    if (port < 1 || port > 65535)
        throw TavolenError(QStringLiteral("웹: Web/Port 값이 올바르지 않습니다 (%1)").arg(port));
    o.port = quint16(port);
    const QString listen = ini.readString(section, QStringLiteral("Listen"), QString()).trimmed();
    if (!listen.isEmpty() && !o.listen.setAddress(listen))
        throw TavolenError(
            QStringLiteral("웹: Web/Listen 주소가 올바르지 않습니다 (%1)").arg(listen));
    // Names, not addresses: the PC's own addresses are allowed without being listed.
    const QString hosts = ini.readString(section, QStringLiteral("Hosts"), QString());
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9.-]+$"));
    for (const QString& name :
         hosts.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        if (!hostName.match(name).hasMatch())
            throw TavolenError(
                QStringLiteral("웹: Web/Hosts 이름이 올바르지 않습니다 (%1)").arg(name));
        o.hosts.append(name);
    }
    const QString proxy = ini.readString(section, QStringLiteral("Proxy"), QString()).trimmed();
    if (!proxy.isEmpty() && !o.proxy.setAddress(proxy))
        throw TavolenError(
            QStringLiteral("웹: Web/Proxy 주소가 올바르지 않습니다 (%1)").arg(proxy));
    o.certificate = ini.readString(section, QStringLiteral("Certificate"), QString()).trimmed();
    o.key = ini.readString(section, QStringLiteral("Key"), QString()).trimmed();
    o.dataDir = dataDir;
    o.reportProgram = program;
    return o;
}

WebFace::WebFace(WebOptions options, BoardModel& board, const Clock& clock,
                 std::function<void(const QJsonObject&)> wrongPasswords)
    : board_(board) {
    qRegisterMetaType<BoardSnapshotPtr>("BoardSnapshotPtr");
    server_ = new WebServer(std::move(options), clock);
    if (wrongPasswords)
        connect(server_, &WebServer::wrongPasswords, this, std::move(wrongPasswords),
                Qt::QueuedConnection);
    server_->moveToThread(&thread_);
    thread_.setObjectName(QStringLiteral("web"));
    thread_.start();
    QMetaObject::invokeMethod(server_, [this] {
        runBehindTheDesk();
        QString error;
        if (server_->start(&error)) return;
        QMetaObject::invokeMethod(this, [this, error] { board_.notify(error); });
    });

    connect(&board_, &BoardModel::snapshotPublished, this, &WebFace::forward);
    forward(board_.snapshot());
}

WebFace::~WebFace() {
    QMetaObject::invokeMethod(
        server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void WebFace::setLinkUp(bool up) {
    linkUp_ = up;
    forward(board_.snapshot());
}

void WebFace::setCentralLink(const QString& text, bool healthy) {
    centralLink_ = text;
    centralHealthy_ = healthy;
    forward(board_.snapshot());
}

// The board's snapshot with the links added; the server takes it on its own thread.
void WebFace::forward(const BoardSnapshotPtr& snapshot) {
    auto withLink = std::make_shared<BoardSnapshot>(*snapshot);
    withLink->controllerConnected = linkUp_;
    withLink->centralLink = centralLink_;
    withLink->centralLinkHealthy = centralHealthy_;
    BoardSnapshotPtr done = std::move(withLink);
    QMetaObject::invokeMethod(server_, [server = server_, done] { server->publish(done); });
}
