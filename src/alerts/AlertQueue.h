#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
struct AlertSettings;

// The alerts waiting to be sent, in the desk's database: `tavolen_alert_queue`, one row per
// event and way of sending ("mail", "webhook"). A row of the trail whose action raises an
// alert adds its rows through a trigger, inside the very transaction that records the action;
// the desk's own conditions (a silent line, a failing disk, a stopped central sender) are
// added by the sender. A row is sent once; sent rows are kept a week.
namespace alertQueue {

// Creates the queue, and makes the trail's rows raise the kinds switched on for the ways
// configured; none when `settings` configures none. Raises DatabaseError.
void install(sqlite3* db, const AlertSettings& settings);

// Adds an event of the desk's own for every way configured. Raises DatabaseError.
void raise(sqlite3* db, const QString& kind, const QString& at, const QString& detail);

struct Event {
    qint64 seq = 0;
    QString at;
    QString detail;  // JSON
};
// The events of one kind waiting for one way of sending, oldest first.
struct Batch {
    QString channel;
    QString kind;
    QList<Event> events;
};
QList<Batch> pending(sqlite3* db);
// When the last message of the kind went that way (ms since 1970), or 0.
qint64 lastSent(sqlite3* db, const QString& channel, const QString& kind);
void markSent(sqlite3* db, const Batch& batch, qint64 sentMs);

}  // namespace alertQueue
