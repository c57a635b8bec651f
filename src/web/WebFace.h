#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <functional>

#include "web/WebModule.h"
#include "web/WebServer.h"

class BoardModel;
class Clock;
class IniStore;

// The owner's live view in the desk program: the `Web` settings, the server
// on a thread of its own and the board's snapshots handed to it. The server
// signs its owners in with accounts of its own: the desk's grades, and their
// lock-out, never see the web. Nothing here waits for the server.
class WebFace : public QObject, public WebFaceHandle {
    Q_OBJECT
public:
    // The server's options from `Web` (whose `Enabled` the program has read already). A bad
    // value raises TavolenError with the key named.
    static WebOptions readOptions(const IniStore& ini, const QString& dataDir,
                                  const QString& program);

    // `wrongPasswords` hears, on this object's thread, of accounts and addresses that wrong
    // passwords have brought to their limit (WebServer::wrongPasswords).
    WebFace(WebOptions options, BoardModel& board, const Clock& clock,
            std::function<void(const QJsonObject&)> wrongPasswords = {});
    ~WebFace() override;

    void setLinkUp(bool up) override;
    void setCentralLink(const QString& text, bool healthy) override;

private:
    void forward(const BoardSnapshotPtr& snapshot);

    BoardModel& board_;
    QThread thread_;
    WebServer* server_ = nullptr;
    bool linkUp_ = false;
    QString centralLink_;
    bool centralHealthy_ = false;
};
