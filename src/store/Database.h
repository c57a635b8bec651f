#pragma once

#include <QList>
#include <QString>
#include <memory>

#include "platform/Errors.h"
#include "store/StatementCache.h"

struct sqlite3;
class Query;

// A refusal of the database; the text is SQLite's own message.
class DatabaseError : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// The motel's database: DB/motel.db under the data directory, holding the
// tables "room.DB" (room history), "Cash.DB" (cash ledger) and "grade.DB"
// (passwords). It owns the board's two shared queries. Until open()
// succeeds every statement fails with the reason it could not be opened.
class Database {
public:
    explicit Database(const QString& dataDir);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Whether the installation was set up before: then a database found
    // missing or empty is one that was lost, not a new one.
    enum class Installation { New, SetUp };

    // Opens the file, creating the directory, the file and any missing
    // history or ledger table. Only a new installation's database set up new
    // here gets "grade.DB" with the default password of each grade. A set-up
    // installation's empty database gets an empty "grade.DB"; an existing
    // database without it stays without. Both sign nobody in and say so in
    // passwordProblem(), as does a grade without its row. A file that is not
    // a database is left as it is. Raises DatabaseError.
    void open(Installation installation = Installation::New);
    // True when the last open() found the file without a single table (it
    // set the database up).
    bool wasEmpty() const { return wasEmpty_; }
    bool isOpen() const { return db_ != nullptr; }
    // What is wrong with the password table, for the start-up to show; empty
    // when nothing is.
    const QString& passwordProblem() const { return passwordProblem_; }
    const QString& path() const { return path_; }

    Query& historyQuery() { return *queryRoom_; }
    Query& ledgerQuery() { return *queryCash_; }

    // Grade 1 user, 2 Windows use, 3 supplier. `Pass` holds a salted hash,
    // never the password itself. A row still holding plain text (a table
    // prepared by hand or brought from an older installation) matches that
    // exact text and is replaced by its hash in the same call. An empty text
    // matches nothing. Both raise DatabaseError when the table cannot be read or
    // written; setPassword also when the grade has no row.
    bool checkPassword(int grade, const QString& text);
    void setPassword(int grade, const QString& text);
    // The supplier's restore: sets the grade's password whatever it was,
    // adding the row, and the table, when missing. Raises DatabaseError.
    void restorePassword(int grade, const QString& text);

    // Writes a consistent copy of the whole database to `target` (a single
    // file, no journal beside it). Raises DatabaseError.
    void backupTo(const QString& target);

    // The open connection for the queries; raises DatabaseError when closed.
    sqlite3* connection() const;
    // The statements run on it again and again, prepared once.
    StatementCache& statements() { return statements_; }

private:
    void createMissingTables(Installation installation);
    void findMissingPasswords();
    void storeHash(int grade, const QString& text);

    QString path_;
    QString openError_;
    QString passwordProblem_;
    QList<int> gradesWithoutPassword_;
    bool wasEmpty_ = false;
    sqlite3* db_ = nullptr;
    StatementCache statements_;
    std::unique_ptr<Query> queryRoom_;
    std::unique_ptr<Query> queryCash_;
    std::unique_ptr<Query> queryGrade_;
};
