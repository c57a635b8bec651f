#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

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

// One connection to the central PostgreSQL through libpq. Parameters are sent as text, apart
// from the statement. Raises CentralError.
class PgConnection {
public:
    // `conninfo` is a libpq connection string. A password written into it is refused: it belongs
    // in a password file readable by the program only (passfile=...) or in ~/.pgpass.
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
