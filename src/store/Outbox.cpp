#include "store/Outbox.h"

#include <sqlite3.h>

#include <memory>

#include "store/Database.h"
#include "store/StatementCache.h"

namespace {

// Milliseconds since 1970 by the database's own clock, for the lag the sender measures.
#define NOW_MS "CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER)"
// A change's unique id: 32 hexadecimal digits, the time first, so that the ids of a step sit
// side by side in the index of ids instead of touching a page each.
#define NEW_UID "printf('%012x', " NOW_MS ") || lower(hex(randomblob(10)))"

#define HISTORY_VALUES(R)                                                   \
    "json_object('row', " R ".rowid, 'roomNum', " R ".roomNum, 'Sdate', " R \
    ".Sdate, "                                                              \
    "'Stime', " R ".Stime, 'Action', " R ".Action, 'Comm', " R ".Comm)"
#define LEDGER_VALUES(R)                                                        \
    "json_object('row', " R ".rowid, 'roomNum', " R ".roomNum, 'IDateTime', " R \
    ".IDateTime, 'ODateTime', " R ".ODateTime, 'Action', " R ".Action, 'Cash', " R ".Cash)"
// A row of the trail of desk actions (tavolen_audit), which is only ever added to.
#define AUDIT_VALUES(R)                                                                \
    "json_object('uid', " R ".uid, 'at', " R ".at, 'grade', " R ".grade, 'action', " R \
    ".action, 'detail', json(" R ".detail))"
#define DELETE_KIND(TABLE)                                                              \
    "CASE WHEN (SELECT purging FROM tavolen_outbox_mode WHERE id = 1) = 1 THEN '" TABLE \
    "_purge' ELSE '" TABLE "_delete' END"

// The desk's tables have no key of their own; the rowid names a row to the central ledger,
// and a rowid reused after a deletion comes after that deletion in the outbox.
// The outbox has no index but its numbers: every row costs the desk's step a second insert,
// and an index would be a third and a fourth. The ids are unique by how they are made (the
// time and 80 random bits); the sender reads and marks rows by number, and the rows it has
// sent are always the first ones.
#define OUTBOX_TABLE(NAME)                                     \
    "CREATE TABLE " NAME                                       \
    " (seq INTEGER PRIMARY KEY AUTOINCREMENT, "                \
    "uid TEXT NOT NULL DEFAULT (lower(hex(randomblob(16)))), " \
    "kind TEXT NOT NULL, payload TEXT NOT NULL, "              \
    "made_at INTEGER NOT NULL DEFAULT (" NOW_MS "), sent_at INTEGER)"
const char* const kTables[] = {
    OUTBOX_TABLE("tavolen_outbox"),
    "CREATE TABLE tavolen_outbox_mode (id INTEGER PRIMARY KEY CHECK (id = 1), "
    "purging INTEGER NOT NULL)",
    "INSERT INTO tavolen_outbox_mode (id, purging) VALUES (1, 0)",
    // What the tables hold already is the first thing the central ledger receives.
    "INSERT INTO tavolen_outbox (uid, kind, payload) SELECT " NEW_UID
    ", 'history_insert', " HISTORY_VALUES("h") " FROM \"room.DB\" h ORDER BY h.rowid",
    "INSERT INTO tavolen_outbox (uid, kind, payload) SELECT " NEW_UID
    ", 'ledger_insert', " LEDGER_VALUES("c") " FROM \"Cash.DB\" c ORDER BY c.rowid",
};

// An outbox of an earlier version kept its ids unique by an index, and an index on `sent_at`.
// It is made again without them: same rows, same numbers, and the number the next row gets
// stays where it was, even when the last rows were removed.
const char* const kWithoutIndexes[] = {
    "DROP INDEX IF EXISTS tavolen_outbox_sent",
    "CREATE TEMP TABLE tavolen_outbox_next AS SELECT seq FROM sqlite_sequence "
    "WHERE name = 'tavolen_outbox'",
    OUTBOX_TABLE("tavolen_outbox_rebuilt"),
    "INSERT INTO tavolen_outbox_rebuilt (seq, uid, kind, payload, made_at, sent_at) "
    "SELECT seq, uid, kind, payload, made_at, sent_at FROM tavolen_outbox ORDER BY seq",
    "DROP TABLE tavolen_outbox",
    "ALTER TABLE tavolen_outbox_rebuilt RENAME TO tavolen_outbox",
    "DELETE FROM sqlite_sequence WHERE name = 'tavolen_outbox'",
    "INSERT INTO sqlite_sequence (name, seq) SELECT 'tavolen_outbox', last FROM "
    "(SELECT max(seq) AS last FROM (SELECT seq FROM temp.tavolen_outbox_next "
    "UNION ALL SELECT max(seq) FROM tavolen_outbox)) WHERE last IS NOT NULL",
    "DROP TABLE temp.tavolen_outbox_next",
};

// The triggers, by name; an outbox made by an earlier version has its triggers replaced by
// these (its table and rows stay).
#define TRIGGER(NAME, EVENT, TABLE, KIND, VALUES)                                         \
    {                                                                                     \
        NAME, "CREATE TRIGGER " NAME " AFTER " EVENT " ON \"" TABLE                       \
              "\" BEGIN INSERT INTO tavolen_outbox (uid, kind, payload) VALUES (" NEW_UID \
              ", " KIND ", " VALUES "); END"                                              \
    }
const std::pair<const char*, const char*> kTriggers[] = {
    TRIGGER("tavolen_outbox_history_insert", "INSERT", "room.DB", "'history_insert'",
            HISTORY_VALUES("NEW")),
    TRIGGER("tavolen_outbox_history_update", "UPDATE", "room.DB", "'history_update'",
            HISTORY_VALUES("NEW")),
    TRIGGER("tavolen_outbox_history_delete", "DELETE", "room.DB", DELETE_KIND("history"),
            "json_object('row', OLD.rowid)"),
    TRIGGER("tavolen_outbox_ledger_insert", "INSERT", "Cash.DB", "'ledger_insert'",
            LEDGER_VALUES("NEW")),
    TRIGGER("tavolen_outbox_ledger_update", "UPDATE", "Cash.DB", "'ledger_update'",
            LEDGER_VALUES("NEW")),
    TRIGGER("tavolen_outbox_ledger_delete", "DELETE", "Cash.DB", DELETE_KIND("ledger"),
            "json_object('row', OLD.rowid)"),
    TRIGGER("tavolen_outbox_audit", "INSERT", "tavolen_audit", "'audit'", AUDIT_VALUES("NEW")),
};

// The trail as it stands when the outbox first carries it: sent ahead of what follows.
const char* const kAuditSoFar =
    "INSERT INTO tavolen_outbox (uid, kind, payload) SELECT " NEW_UID
    ", 'audit', " AUDIT_VALUES("a") " FROM tavolen_audit a ORDER BY a.seq";

#undef TRIGGER
#undef OUTBOX_TABLE
#undef NEW_UID
#undef NOW_MS
#undef HISTORY_VALUES
#undef LEDGER_VALUES
#undef AUDIT_VALUES
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

namespace {

// Whether the schema has a row for `sql` to find.
bool schemaHas(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    const int rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    return rc == SQLITE_ROW;
}

// Whether the outbox has an index besides its numbers (an earlier version's).
bool hasIndexes(sqlite3* db) {
    return schemaHas(db,
                     "SELECT 1 FROM sqlite_master WHERE type = 'index' AND "
                     "tbl_name = 'tavolen_outbox'");
}

}  // namespace

// Whether the outbox's table is there.
constexpr char kOutboxTableQuery[] =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tavolen_outbox'";

bool outbox::isInstalled(sqlite3* db) { return schemaHas(db, kOutboxTableQuery); }

void outbox::install(sqlite3* db) {
    Transaction transaction(db);
    if (!isInstalled(db)) {
        for (const char* sql : kTables) exec(db, sql);
    } else if (hasIndexes(db)) {
        // The triggers name the table; they are made again below.
        for (const auto& trigger : kTriggers)
            exec(db, (QByteArrayLiteral("DROP TRIGGER IF EXISTS ") + trigger.first).constData());
        for (const char* sql : kWithoutIndexes) exec(db, sql);
    }
    for (const auto& [name, sql] : kTriggers) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?1",
                               -1, &raw, nullptr) != SQLITE_OK)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
        sqlite3_bind_text(raw, 1, name, -1, SQLITE_STATIC);
        const int rc = sqlite3_step(raw);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        if (rc == SQLITE_ROW &&
            qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)), sql) == 0)
            continue;
        const bool trailAlreadySent = rc == SQLITE_ROW;
        statement.reset();
        exec(db, (QByteArrayLiteral("DROP TRIGGER IF EXISTS ") + name).constData());
        exec(db, sql);
        if (!trailAlreadySent && qstrcmp(name, "tavolen_outbox_audit") == 0) exec(db, kAuditSoFar);
    }
    transaction.commit();
}

void outbox::runPurge(sqlite3* db, StatementCache& statements, const QByteArray& table,
                      const QByteArray& condition, const QString& limit) {
    // It runs every minute: its statements are kept with the connection's.
    const auto step = [&](const QByteArray& sql, const QByteArray* value = nullptr) {
        StatementCache::Use use;
        if (statements.prepare(db, sql, use) != SQLITE_OK || !use.get())
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        if (value)
            sqlite3_bind_text(use.get(), 1, value->constData(), int(value->size()),
                              SQLITE_TRANSIENT);
        const int rc = sqlite3_step(use.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        return rc == SQLITE_ROW;
    };
    const QByteArray value = limit.toUtf8();
    // Most minutes have nothing to purge: then no transaction is begun, and nothing is
    // committed to the disk.
    if (!step("SELECT 1 FROM " + table + " WHERE " + condition + " LIMIT 1", &value)) return;
    Transaction transaction(db);
    const bool marked = step(QByteArray(kOutboxTableQuery));
    if (marked) step(QByteArrayLiteral("UPDATE tavolen_outbox_mode SET purging = 1 WHERE id = 1"));
    step("DELETE FROM " + table + " WHERE " + condition, &value);
    if (marked) step(QByteArrayLiteral("UPDATE tavolen_outbox_mode SET purging = 0 WHERE id = 1"));
    transaction.commit();
}
