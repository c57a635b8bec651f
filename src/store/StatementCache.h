#pragma once

#include <QByteArray>
#include <QHash>

struct sqlite3;
struct sqlite3_stmt;

// The statements a connection runs again and again, prepared once. Preparing is what costs:
// a statement on the history or ledger table compiles the outbox's triggers into itself, and a
// step runs a hundred and more of them. Statements are kept by their text; a changed schema
// makes SQLite prepare them again by itself. At most `capacity` are kept, the longest unused
// going first.
class StatementCache {
public:
    explicit StatementCache(int capacity = 48) : capacity_(capacity) {}
    ~StatementCache() { clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // A statement in use, reset with its values cleared when the use ends, so that it holds no
    // lock and no value between uses. A statement that was in use already when asked for again
    // (a statement run from within the reading of the same text) is prepared apart and
    // finalized at the end.
    class Use {
    public:
        Use() = default;
        Use(sqlite3_stmt* statement, bool kept) : statement_(statement), kept_(kept) {}
        Use(Use&& other) noexcept : statement_(other.statement_), kept_(other.kept_) {
            other.statement_ = nullptr;
        }
        Use& operator=(Use&& other) noexcept;
        ~Use() { release(); }
        sqlite3_stmt* get() const { return statement_; }

    private:
        void release();
        sqlite3_stmt* statement_ = nullptr;
        bool kept_ = false;
    };

    // Prepares the first statement of `sql` on `db`, or takes the one kept. Returns SQLite's
    // result code; on SQLITE_OK `use` holds the statement (none for text without a statement)
    // and `tail` what follows the first statement.
    int prepare(sqlite3* db, const QByteArray& sql, Use& use, QByteArray* tail = nullptr);

    // Finalizes every statement; needed before the connection closes.
    void clear();

private:
    struct Entry {
        sqlite3_stmt* statement = nullptr;
        QByteArray tail;
        quint64 lastUse = 0;
    };

    int capacity_;
    quint64 uses_ = 0;
    sqlite3* db_ = nullptr;
    QHash<QByteArray, Entry> entries_;
};
