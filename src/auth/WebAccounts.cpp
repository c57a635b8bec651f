#include "auth/WebAccounts.h"

#include <sodium.h>
#include <sqlite3.h>

#include "store/Database.h"
#include "store/PasswordHash.h"

namespace {

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS tavolen_web_account (name TEXT PRIMARY KEY COLLATE NOCASE, "
    "pass TEXT NOT NULL, downloads TEXT NOT NULL, changed TEXT NOT NULL)";

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) fail();
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) fail();
        return false;
    }
    QString text(int column) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column)),
                                 sqlite3_column_bytes(stmt_, column));
    }
    int changes() const { return sqlite3_changes(db_); }

private:
    [[noreturn]] void fail() { throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db_))); }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

QByteArray stampOf(const QString& hash, bool downloads) {
    const QByteArray seed = hash.toUtf8() + (downloads ? "|downloads" : "|read-only");
    unsigned char digest[32];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(seed.data()),
                       size_t(seed.size()), nullptr, 0);
    return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
}

// What an unknown name is checked against, made once.
const QString& stranger() {
    static const QString hash = passwordHash::make(QStringLiteral("no account has this name"));
    return hash;
}

}  // namespace

QString WebAccounts::nameProblem(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return QStringLiteral("a name has 1 to %1 characters").arg(kMaxNameLength);
    if (!name.front().isLetterOrNumber())
        return QStringLiteral("a name begins with a letter or a digit");
    for (QChar c : name)
        if (!c.isLetterOrNumber() && c != u'.' && c != u'_' && c != u'-')
            return QStringLiteral("a name has letters, digits, '.', '_' and '-' only");
    return QString();
}

QString WebAccounts::passwordProblem(const QString& fresh, const QString& repeat) {
    if (fresh != repeat) return QStringLiteral("the two passwords differ");
    if (fresh.size() < kMinPasswordLength)
        return QStringLiteral("a password has at least %1 characters").arg(kMinPasswordLength);
    return QString();
}

bool WebAccounts::tableExists() {
    Statement s(db_,
                "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                "'tavolen_web_account'");
    return s.step();
}

WebAccountChange WebAccounts::add(const QString& name, const QString& password,
                                  const QString& repeat, bool downloads, const QDateTime& now) {
    QString problem = nameProblem(name);
    if (problem.isEmpty()) problem = passwordProblem(password, repeat);
    if (!problem.isEmpty()) throw WebAccountRefused(problem);
    const QString hash = passwordHash::make(password);
    Statement(db_, kCreate).step();
    Statement insert(db_,
                     "INSERT OR IGNORE INTO tavolen_web_account (name, pass, downloads, changed) "
                     "VALUES (?1, ?2, ?3, ?4)");
    insert.bind(1, name)
        .bind(2, hash)
        .bind(3, downloads ? QStringLiteral("1") : QStringLiteral("0"))
        .bind(4, now.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    insert.step();
    if (insert.changes() == 0)
        throw WebAccountRefused(QStringLiteral("an account named '%1' exists").arg(name));
    return {WebAccountChange::Kind::Added, name, downloads};
}

WebAccountChange WebAccounts::changePassword(const QString& name, const QString& password,
                                             const QString& repeat, const QDateTime& now) {
    const auto row = find(name);
    if (!row) throw WebAccountRefused(QStringLiteral("no account named '%1'").arg(name));
    const QString problem = passwordProblem(password, repeat);
    if (!problem.isEmpty()) throw WebAccountRefused(problem);
    Statement update(db_, "UPDATE tavolen_web_account SET pass = ?1, changed = ?2 WHERE name = ?3");
    update.bind(1, passwordHash::make(password))
        .bind(2, now.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .bind(3, name);
    update.step();
    return {WebAccountChange::Kind::PasswordChanged, row->current.name, row->current.downloads};
}

WebAccountChange WebAccounts::remove(const QString& name) {
    const auto row = find(name);
    if (!row) throw WebAccountRefused(QStringLiteral("no account named '%1'").arg(name));
    Statement erase(db_, "DELETE FROM tavolen_web_account WHERE name = ?1");
    erase.bind(1, name).step();
    return {WebAccountChange::Kind::Removed, row->current.name, row->current.downloads};
}

QList<WebAccount> WebAccounts::list() {
    QList<WebAccount> accounts;
    if (!tableExists()) return accounts;
    Statement s(db_, "SELECT name, downloads, changed FROM tavolen_web_account ORDER BY name");
    while (s.step()) accounts.append({s.text(0), s.text(1) == QLatin1String("1"), s.text(2)});
    return accounts;
}

std::optional<WebAccounts::Row> WebAccounts::find(const QString& name) {
    if (!tableExists()) return std::nullopt;
    Statement s(db_, "SELECT name, pass, downloads FROM tavolen_web_account WHERE name = ?1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    const bool downloads = s.text(2) == QLatin1String("1");
    return Row{{s.text(0), downloads, stampOf(s.text(1), downloads)}, s.text(1)};
}

std::optional<WebAccounts::Current> WebAccounts::current(const QString& name) {
    const auto row = find(name);
    if (!row) return std::nullopt;
    return row->current;
}

std::optional<WebAccounts::Current> WebAccounts::verify(const QString& name,
                                                        const QString& password) {
    const auto row = find(name);
    const QString& hash = row && passwordHash::isHash(row->hash) ? row->hash : stranger();
    const bool matches = passwordHash::matches(hash, password);
    // Only a stored hash opens an account, and never with an empty password.
    if (!row || !matches || password.isEmpty() || !passwordHash::isHash(row->hash))
        return std::nullopt;
    return row->current;
}
