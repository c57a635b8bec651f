#pragma once

#include <QByteArray>
#include <QString>

struct sqlite3;
class StatementCache;

// The changes the group's central ledger has yet to receive, in the database itself: every
// row added to, changed in or removed from "room.DB" and "Cash.DB" adds one row to the table
// `tavolen_outbox` through triggers, inside the very transaction that changes the table, so
// after a crash the outbox holds exactly the changes the tables hold. Rows are numbered by
// `seq`, which never repeats (AUTOINCREMENT), and carry a unique id, the kind of change and
// the row's values as JSON:
//
//   history_insert, history_update   {"row", "roomNum", "Sdate", "Stime", "Action", "Comm"}
//   ledger_insert, ledger_update     {"row", "roomNum", "IDateTime", "ODateTime", "Action", "Cash"}
//   history_delete, ledger_delete    {"row"}   a row deleted at the desk (the clerk, remove-all)
//   history_purge, ledger_purge      {"row"}   a row the desk no longer keeps (retention)
//   audit                            {"uid", "at", "grade", "action", "detail"}: a row added to
//                                    the trail of desk actions (AuditTrail.h), which the
//                                    central ledger keeps whatever becomes of the desk's copy
//
// "row" is the row's rowid in its table. The central ledger mirrors deletions and keeps what
// the desk merely purged.
namespace outbox {

// Creates the outbox and its triggers, and fills it with the rows the tables already hold,
// all in one transaction; when it is there, only replaces triggers an earlier version made.
// Raises DatabaseError.
void install(sqlite3* db);
bool isInstalled(sqlite3* db);

// Deletes the rows of `table` that meet `condition` (no parameters but :N1, bound to `limit`) as
// a retention purge: its deletions go into the outbox as purges. One transaction, and none when
// no row is due. Raises DatabaseError.
void runPurge(sqlite3* db, StatementCache& statements, const QByteArray& table,
              const QByteArray& condition, const QString& limit);

}  // namespace outbox
