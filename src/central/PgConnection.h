#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Errors.h"

struct pg_conn;
struct pg_result;

// A refusal of the central server or a connection that failed; `sqlState` is the server's
// five-character code, empty when the connection itself failed.
class CentralError : public TavolenError {
public:
    CentralError(const QString& text, QString sqlState = {})
        : TavolenError(text), sqlState_(std::move(sqlState)) {}
    const QString& sqlState() const { return sqlState_; }
    bool isConnectionLost() const { return sqlState_.isEmpty() || sqlState_.startsWith(u"08"); }

private:
    QString sqlState_;
};

// Text the server sent, as the desk shows and logs it: one line of printable characters, cut
// at `longest`, whatever length or bytes the server chose.
QString shownServerText(const QString& text, qsizetype longest = 300);

// The rows of one statement; cells read as text, NULL as a null QString.
class PgResult {
public:
    explicit PgResult(pg_result* result);
    int rows() const;
    QString text(int row, int column) const;
    bool isNull(int row, int column) const;
    pg_result* raw() const { return result_.get(); }

private:
    std::shared_ptr<pg_result> result_;
};

// What libpq is given for a connection string: its keywords as written and what this program
// adds. A server reached over TCP proves itself before a password leaves the desk: its
// certificate is verified against its name (`sslmode=verify-full`, the system's authorities
// unless `sslrootcert` names a file) and, where libpq knows `require_auth`, it must ask for
// SCRAM. A weaker `sslmode` is for a server on this computer only; a Unix socket needs no TLS.
struct ConnectionParameters {
    std::vector<std::pair<QByteArray, QByteArray>> keywords;
    QString refusal;  // why the string is refused; empty when it is not

    // The value given for `keyword`; empty when none is.
    QByteArray value(const char* keyword) const;
    static ConnectionParameters of(const QString& conninfo);
};

// One connection to the central PostgreSQL through libpq. Parameters are sent as text, apart
// from the statement. The session's search path holds the system's catalog only, so that no
// function or operator a role of the server created elsewhere is called in its place. Raises
// CentralError.
class PgConnection {
public:
    // `conninfo` is a libpq connection string (key=value or a postgresql:// address); see
    // ConnectionParameters. A password written into it is refused: it belongs in a password
    // file readable by the program only (passfile=...) or in ~/.pgpass.
    explicit PgConnection(const QString& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    PgResult exec(const QString& sql, const QStringList& params = {});
    // Several statements without parameters (a migration).
    void execScript(const QString& sql);
    // Only when the server answered with a statement's refusal, not a lost connection.
    bool isUsable() const;
    // A name quoted for use as an identifier (a role in GRANT, say).
    QString quoteIdentifier(const QString& name) const;

    // Checks a connection string without connecting: an error text, empty when it is usable.
    static QString checkConnectionString(const QString& conninfo);

private:
    // Raises CentralError unless the statement succeeded.
    void check(const PgResult& result);

    pg_conn* conn_ = nullptr;
};
