#include "store/StepJournal.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <memory>
#include <optional>

#include "platform/Cp949.h"
#include "store/Database.h"

namespace {

// The one row of our own table: the file content the last committed step belongs to, and the
// digests of the files it replaces that a power cut may bring back (space-separated).
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS tavolen_step ("
    "id INTEGER PRIMARY KEY CHECK (id = 1), seq INTEGER NOT NULL, "
    "before_digest TEXT NOT NULL, ini BLOB NOT NULL)";

// A step waits this long at most for another connection's lock; it is tried again later.
constexpr int kLockWaitMs = 200;
constexpr int kOpenLockWaitMs = 5000;

QByteArray digest(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Failures that go away by themselves or by the owner's hand: the step is kept and tried again.
bool passes(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_NOMEM:
        case SQLITE_PROTOCOL:
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_NOLFS:
            return true;
        default:
            return false;
    }
}

struct Failure {
    int rc;
    QString text;
};

// Runs one statement with its values bound as text; the failure, if any.
std::optional<Failure> run(sqlite3* db, StatementCache& statements, const QByteArray& sql,
                           const QStringList& params, const QByteArray* blob = nullptr) {
    StatementCache::Use statement;
    int rc = statements.prepare(db, sql, statement);
    if (rc != SQLITE_OK || !statement.get())
        return Failure{rc == SQLITE_OK ? SQLITE_ERROR : rc, QString::fromUtf8(sqlite3_errmsg(db))};
    sqlite3_stmt* raw = statement.get();
    const int count = sqlite3_bind_parameter_count(raw);
    for (int i = 1; i <= count; ++i) {
        const char* name = sqlite3_bind_parameter_name(raw, i);
        const int position = name && name[0] && name[1] == 'N' ? atoi(name + 2) : 0;
        if (blob && i == count) {
            rc = sqlite3_bind_blob(raw, i, blob->constData(), int(blob->size()), SQLITE_TRANSIENT);
        } else if (position >= 1 && position <= params.size()) {
            const QByteArray value = params.at(position - 1).toUtf8();
            rc = sqlite3_bind_text(raw, i, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        } else {
            return Failure{SQLITE_RANGE, QStringLiteral("매개변수 값이 없습니다: ") +
                                             QString::fromUtf8(name ? name : "?")};
        }
        if (rc != SQLITE_OK) return Failure{rc, QString::fromUtf8(sqlite3_errmsg(db))};
    }
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) return Failure{rc, QString::fromUtf8(sqlite3_errmsg(db))};
    return std::nullopt;
}

void rollback(sqlite3* db) { sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr); }

// The recorded file of the last step and the digest of the one it replaced.
struct Record {
    QByteArray beforeDigest;
    QByteArray ini;
};

std::optional<Record> lastRecord(sqlite3* db, StatementCache& statements) {
    if (const auto failed = run(db, statements, kCreateTable, {}))
        throw DatabaseError(failed->text);
    StatementCache::Use statement;
    if (statements.prepare(db,
                           QByteArrayLiteral("SELECT before_digest, ini FROM tavolen_step "
                                             "WHERE id = 1"),
                           statement) != SQLITE_OK ||
        !statement.get())
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_stmt* raw = statement.get();
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    Record record;
    record.beforeDigest = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)),
                                     sqlite3_column_bytes(raw, 0));
    record.ini = QByteArray(static_cast<const char*>(sqlite3_column_blob(raw, 1)),
                            sqlite3_column_bytes(raw, 1));
    return record;
}

}  // namespace

void StepJournal::setValue(const QString& section, const QString& key, const QString& value) {
    IniStore::Change change{section, key, value};
    IniStore::checkWritable(change);
    // Refused here, not at the write: a value the file cannot hold would fail every step after.
    Cp949::encode(value);
    // A value set again in the same pending step only changes the value: a long outage keeps
    // one entry per key, not one per event.
    for (IniStore::Change& pending : changes_) {
        if (pending.section.compare(section, Qt::CaseInsensitive) == 0 &&
            pending.key.compare(key, Qt::CaseInsensitive) == 0) {
            pending.value = value;
            return;
        }
    }
    changes_.append(std::move(change));
}

void StepJournal::addStatement(StepStatement statement) {
    statements_.append(std::move(statement));
}

StepOutcome StepJournal::flush() {
    StepOutcome outcome;
    if (!hasPending()) return outcome;
    if (!ini_) {
        outcome.written = false;
        outcome.error = QStringLiteral("객실 상태 파일이 열려 있지 않습니다");
        return outcome;
    }
    try {
        const QByteArray before = ini_->bytes();
        const QByteArray after = IniStore::withChanges(before, changes_);
        // A file changed by another writer (which flushes its directory) or the first step
        // of this run: the file as it is now is the one a power cut leaves.
        if (mayBeOnDisk_.isEmpty() || mayBeOnDisk_.last() != digest(before)) {
            ini_->syncDirectory();
            mayBeOnDisk_ = {digest(before)};
        }
        if (!statements_.isEmpty() && !commitStatements(after, outcome)) return outcome;
        if (after != before) replaceFile(after);
        changes_.clear();
    } catch (const std::exception& e) {
        outcome.written = false;
        outcome.error = QString::fromUtf8(e.what());
    }
    return outcome;
}

// The committed record names every file a power cut may bring back, so the directory's flush
// (a third flush per step) is needed only every few steps.
void StepJournal::replaceFile(const QByteArray& after) {
    const bool flushDirectory = mayBeOnDisk_.size() >= kUnflushedReplacements;
    ini_->replace(after, flushDirectory);
    if (flushDirectory) mayBeOnDisk_.clear();
    mayBeOnDisk_.append(digest(after));
}

bool StepJournal::commitStatements(const QByteArray& after, StepOutcome& outcome) {
    if (!db_ || !db_->isOpen()) {
        // Without a database the rows cannot be kept at all; each is reported, and the file
        // still follows the board.
        for (const StepStatement& s : statements_) outcome.refused.append(s.failureMessage);
        statements_.clear();
        return true;
    }
    sqlite3* db = db_->connection();
    StatementCache& statements = db_->statements();
    const auto fail = [&](const Failure& failure) {
        rollback(db);
        sqlite3_busy_timeout(db, kOpenLockWaitMs);
        outcome.refused.clear();  // they are all tried again with the step
        outcome.written = false;
        outcome.error = failure.text;
        return false;
    };
    sqlite3_busy_timeout(db, kLockWaitMs);
    if (const auto failed = run(db, statements, "BEGIN IMMEDIATE", {})) return fail(*failed);
    if (const auto failed = run(db, statements, kCreateTable, {})) return fail(*failed);
    for (const StepStatement& s : statements_) {
        const auto failed = run(db, statements, s.sql.toUtf8(), s.params);
        if (!failed) continue;
        if (passes(failed->rc)) return fail(*failed);
        outcome.refused.append(s.failureMessage);
    }
    const QByteArray record =
        "INSERT INTO tavolen_step (id, seq, before_digest, ini) VALUES (1, 1, :N1, :N2) "
        "ON CONFLICT(id) DO UPDATE SET seq = seq + 1, before_digest = excluded.before_digest, "
        "ini = excluded.ini";
    const QString mayComeBack = QString::fromLatin1(mayBeOnDisk_.join(' '));
    if (const auto failed = run(db, statements, record, {mayComeBack}, &after))
        return fail(*failed);
    if (const auto failed = run(db, statements, "COMMIT", {})) return fail(*failed);
    sqlite3_busy_timeout(db, kOpenLockWaitMs);
    statements_.clear();
    return true;
}

StepJournal::Recovery StepJournal::recover(IniStore& ini, Database& db) {
    const std::optional<Record> record = lastRecord(db.connection(), db.statements());
    if (!record) return Recovery::Nothing;
    const QByteArray file = ini.bytes();
    if (file == record->ini) return Recovery::Nothing;
    if (!record->beforeDigest.split(' ').contains(digest(file))) return Recovery::LeftAlone;
    ini.replace(record->ini);
    return Recovery::Finished;
}
