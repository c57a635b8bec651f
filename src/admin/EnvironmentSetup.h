#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class BoardModel;

// The outside steps of the environment setup, set by the application.
struct EnvironmentSeams {
    // The toolbar's backup; true when every copy was made (it reports its
    // own failures).
    std::function<bool()> backup;
    // Empties the room history and the cash ledger; throws on failure.
    std::function<void()> deleteAllRecords;
    // Closes the controller's port and opens the one named; throws when it
    // cannot be opened (the link then keeps trying).
    std::function<void(const QString& port)> reopenPort;
};

// The rules of the environment setup: the business's name, representative
// and telephone; which of the 72 panel places carry a room; wiping every
// room; and the controller's port. Each change is stored at once and shown
// on the board at once. Every refusal is told in the error box.
class EnvironmentSetup {
public:
    struct Business {
        QString name, representative, telephone;
    };
    // The column and row boxes as typed; a refused position may correct them
    // for the next press.
    struct Position {
        QString x, y;
    };

    EnvironmentSetup(BoardModel& board, EnvironmentSeams seams);

    Business business() const;
    // The port the board uses now.
    QString port() const;

    bool registerBusiness(const Business& business);
    // The slot of the position, or 0 after telling what is wrong with it.
    int checkPosition(Position& boxes);
    bool createRoom(Position& boxes);
    bool removeRoom(Position& boxes);
    // After asking, and only once the backup has been made: every panel
    // hidden, every room reset, the history and the ledger emptied.
    bool removeAll();
    bool savePort(const QString& port);

    // COM1 and COM2, then the serial devices present under `devRoot`.
    static QStringList availablePorts(const QString& devRoot = QStringLiteral("/dev"));

private:
    BoardModel& board_;
    EnvironmentSeams seams_;
};
