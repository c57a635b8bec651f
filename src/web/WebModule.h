#pragma once

// The owner's live view comes as a module of its own (tavolen-web.so beside the program), with
// Qt Network, Qt WebSockets and the libraries those bring: the program loads it at start-up
// only when `Web`/`Enabled` is 1, so that a desk without the live view starts without them.
// These are the module's doors; the program's side is app/WebFaceLoader.
#include <QJsonObject>
#include <QString>
#include <functional>

class BoardModel;
class Clock;
class IniStore;

// The running live view, as the program holds it: deleting it stops the server.
class WebFaceHandle {
public:
    virtual ~WebFaceHandle() = default;
    // The controller's link and the group ledger's, which the board's snapshots do not carry.
    virtual void setLinkUp(bool up) = 0;
    virtual void setCentralLink(const QString& text, bool healthy) = 0;
};

// What the live view is started from.
struct WebFaceParts {
    const IniStore* ini;
    QString dataDir;
    QString program;  // the program's own file, which renders the ledger's pages
    BoardModel* board;
    const Clock* clock;
    // Called on the program's thread when wrong passwords have brought web accounts or addresses
    // to their limit, at most once a minute, with what was limited (WebServer::wrongPasswords).
    std::function<void(const QJsonObject&)> wrongPasswords = {};
};

extern "C" {
// The live view started from the `Web` settings, owned by the caller; the program asks for it
// only when `Enabled` is 1. A bad value raises TavolenError with the key named.
WebFaceHandle* tavolenStartWebFace(const WebFaceParts* parts);
}
