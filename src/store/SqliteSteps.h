#pragma once

// Small steps on a SQLite connection for the desk's own tables (the trail, the alert queue):
// statements with their values bound as text, a transaction that rolls back unless committed.
// All raise DatabaseError with SQLite's message.
#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <memory>

#include "store/Database.h"

namespace sqliteSteps {

inline void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

// `values` bound to ?1, ?2, ... (or the named parameters in the order they appear).
inline Statement prepare(sqlite3* db, const char* sql, const QStringList& values = {}) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    Statement statement(raw, sqlite3_finalize);
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray value = values.at(i).toUtf8();
        sqlite3_bind_text(raw, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }
    return statement;
}

// Steps the statement to its end, or to its next row; true on a row.
inline bool step(sqlite3* db, sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    return rc == SQLITE_ROW;
}

inline QString text(sqlite3_stmt* statement, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                             sqlite3_column_bytes(statement, column));
}

class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        exec(db_, "COMMIT");
        db_ = nullptr;
    }

private:
    sqlite3* db_;
};

}  // namespace sqliteSteps
