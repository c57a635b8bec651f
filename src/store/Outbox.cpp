#include "store/Outbox.h"

#include <sqlite3.h>

#include <memory>

#include "store/Database.h"

namespace {

// Milliseconds since 1970 by the database's own clock, for the lag the sender measures.
#define NOW_MS "CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER)"

#define HISTORY_VALUES(R)                                                   \
    "json_object('row', " R ".rowid, 'roomNum', " R ".roomNum, 'Sdate', " R \
    ".Sdate, "                                                              \
    "'Stime', " R ".Stime, 'Action', " R ".Action, 'Comm', " R ".Comm)"
#define LEDGER_VALUES(R)                                                        \
    "json_object('row', " R ".rowid, 'roomNum', " R ".roomNum, 'IDateTime', " R \
    ".IDateTime, 'ODateTime', " R ".ODateTime, 'Action', " R ".Action, 'Cash', " R ".Cash)"
#define DELETE_KIND(TABLE)                                                              \
    "CASE WHEN (SELECT purging FROM tavolen_outbox_mode WHERE id = 1) = 1 THEN '" TABLE \
    "_purge' ELSE '" TABLE "_delete' END"

// The desk's tables have no key of their own; the rowid names a row to the central ledger,
// and a rowid reused after a deletion comes after that deletion in the outbox.
const char* const kInstall[] = {
    "CREATE TABLE tavolen_outbox ("
    "seq INTEGER PRIMARY KEY AUTOINCREMENT, "
    "uid TEXT NOT NULL UNIQUE DEFAULT (lower(hex(randomblob(16)))), "
    "kind TEXT NOT NULL, "
    "payload TEXT NOT NULL, "
    "made_at INTEGER NOT NULL DEFAULT (" NOW_MS
    "), "
    "sent_at INTEGER)",
    "CREATE TABLE tavolen_outbox_mode (id INTEGER PRIMARY KEY CHECK (id = 1), "
    "purging INTEGER NOT NULL)",
    "INSERT INTO tavolen_outbox_mode (id, purging) VALUES (1, 0)",
    // What the tables hold already is the first thing the central ledger receives.
    "INSERT INTO tavolen_outbox (kind, payload) SELECT 'history_insert', " HISTORY_VALUES(
        "h") " FROM \"room.DB\" h ORDER BY h.rowid",
    "INSERT INTO tavolen_outbox (kind, payload) SELECT 'ledger_insert', " LEDGER_VALUES(
        "c") " FROM \"Cash.DB\" c ORDER BY c.rowid",
    "CREATE TRIGGER tavolen_outbox_history_insert AFTER INSERT ON \"room.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES ('history_insert', " HISTORY_VALUES(
        "NEW") "); END",
    "CREATE TRIGGER tavolen_outbox_history_update AFTER UPDATE ON \"room.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES ('history_update', " HISTORY_VALUES(
        "NEW") "); END",
    "CREATE TRIGGER tavolen_outbox_history_delete AFTER DELETE ON \"room.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES (" DELETE_KIND(
        "history") ", json_object('row', OLD.rowid)); END",
    "CREATE TRIGGER tavolen_outbox_ledger_insert AFTER INSERT ON \"Cash.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES ('ledger_insert', " LEDGER_VALUES(
        "NEW") "); END",
    "CREATE TRIGGER tavolen_outbox_ledger_update AFTER UPDATE ON \"Cash.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES ('ledger_update', " LEDGER_VALUES(
        "NEW") "); END",
    "CREATE TRIGGER tavolen_outbox_ledger_delete AFTER DELETE ON \"Cash.DB\" BEGIN "
    "INSERT INTO tavolen_outbox (kind, payload) VALUES (" DELETE_KIND(
        "ledger") ", json_object('row', OLD.rowid)); END",
    // The sender looks for what it has not sent yet.
    "CREATE INDEX tavolen_outbox_sent ON tavolen_outbox (sent_at)",
};

#undef NOW_MS
#undef HISTORY_VALUES
#undef LEDGER_VALUES
#undef DELETE_KIND

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

// Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        exec(db_, "COMMIT");
        db_ = nullptr;
    }

private:
    sqlite3* db_;
};

}  // namespace

bool outbox::isInstalled(sqlite3* db) {
    sqlite3_stmt* raw = nullptr;
    const char* sql =
        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tavolen_outbox'";
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    return rc == SQLITE_ROW;
}

void outbox::install(sqlite3* db) {
    Transaction transaction(db);
    if (isInstalled(db)) return;
    for (const char* sql : kInstall) exec(db, sql);
    transaction.commit();
}

void outbox::runPurge(sqlite3* db, const QString& statement, const QString& limit) {
    Transaction transaction(db);
    const bool marked = isInstalled(db);
    if (marked) exec(db, "UPDATE tavolen_outbox_mode SET purging = 1 WHERE id = 1");
    sqlite3_stmt* raw = nullptr;
    const QByteArray sql = statement.toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(raw, sqlite3_finalize);
    const QByteArray value = limit.toUtf8();
    sqlite3_bind_text(raw, 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(raw) != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    guard.reset();
    if (marked) exec(db, "UPDATE tavolen_outbox_mode SET purging = 0 WHERE id = 1");
    transaction.commit();
}
