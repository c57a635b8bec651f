#include "store/StatementCache.h"

#include <sqlite3.h>

void StatementCache::Use::release() {
    if (!statement_) return;
    if (kept_) {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    } else {
        sqlite3_finalize(statement_);
    }
    statement_ = nullptr;
}

StatementCache::Use& StatementCache::Use::operator=(Use&& other) noexcept {
    if (this != &other) {
        release();
        statement_ = other.statement_;
        kept_ = other.kept_;
        other.statement_ = nullptr;
    }
    return *this;
}

int StatementCache::prepare(sqlite3* db, const QByteArray& sql, Use& use, QByteArray* tail) {
    // Statements belong to one connection; another one starts afresh.
    if (db != db_) {
        clear();
        db_ = db;
    }
    use = Use();
    auto found = entries_.find(sql);
    if (found != entries_.end() && sqlite3_stmt_busy(found->statement)) {
        sqlite3_stmt* statement = nullptr;
        const int rc =
            sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr);
        if (rc != SQLITE_OK) return rc;
        use = Use(statement, false);
        if (tail) *tail = found->tail;
        return SQLITE_OK;
    }
    if (found == entries_.end()) {
        sqlite3_stmt* statement = nullptr;
        const char* rest = nullptr;
        const int rc = sqlite3_prepare_v3(db, sql.constData(), int(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &statement, &rest);
        if (rc != SQLITE_OK) return rc;
        if (!statement) {
            if (tail) tail->clear();
            return SQLITE_OK;
        }
        if (entries_.size() >= capacity_) {
            // The longest unused that is not being run just now.
            auto oldest = entries_.end();
            for (auto it = entries_.begin(); it != entries_.end(); ++it)
                if (!sqlite3_stmt_busy(it->statement) &&
                    (oldest == entries_.end() || it->lastUse < oldest->lastUse))
                    oldest = it;
            if (oldest != entries_.end()) {
                sqlite3_finalize(oldest->statement);
                entries_.erase(oldest);
            }
        }
        Entry entry;
        entry.statement = statement;
        entry.tail = rest ? QByteArray(rest) : QByteArray();
        found = entries_.insert(sql, entry);
    }
    found->lastUse = ++uses_;
    if (tail) *tail = found->tail;
    use = Use(found->statement, true);
    return SQLITE_OK;
}

void StatementCache::clear() {
    for (const Entry& entry : std::as_const(entries_)) sqlite3_finalize(entry.statement);
    entries_.clear();
    db_ = nullptr;
}
