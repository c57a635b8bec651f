#include "central/PgConnection.h"

#include <libpq-fe.h>

#include <vector>

namespace {

QString trimmed(const char* text) { return QString::fromUtf8(text ? text : "").trimmed(); }

}  // namespace

PgResult::PgResult(pg_result* result) : result_(result, PQclear) {}

int PgResult::rows() const { return PQntuples(result_.get()); }

QString PgResult::text(int row, int column) const {
    if (PQgetisnull(result_.get(), row, column)) return QString();
    return QString::fromUtf8(PQgetvalue(result_.get(), row, column),
                             PQgetlength(result_.get(), row, column));
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

QString PgConnection::checkConnectionString(const QString& conninfo) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        const QString text = trimmed(error);
        PQfreemem(error);
        return QStringLiteral("중앙 서버 연결 문자열이 잘못되었습니다: %1").arg(text);
    }
    QString problem;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && o->val[0])
            problem = QStringLiteral(
                "중앙 서버 암호는 연결 문자열에 쓰지 않습니다: passfile 또는 ~/.pgpass에 두십시오");
    }
    PQconninfoFree(options);
    return problem;
}

PgConnection::PgConnection(const QString& conninfo) {
    const QString problem = checkConnectionString(conninfo);
    if (!problem.isEmpty()) throw CentralError(problem, QStringLiteral("TVCFG"));
    // Bounded waits: a server that does not answer is a connection error, tried again later.
    QString withTimeouts = conninfo;
    if (!conninfo.contains(QStringLiteral("connect_timeout")))
        withTimeouts += QStringLiteral(" connect_timeout=5");
    conn_ = PQconnectdb(withTimeouts.toUtf8().constData());
    if (PQstatus(conn_) != CONNECTION_OK) {
        const QString text = trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw CentralError(QStringLiteral("중앙 서버에 연결할 수 없습니다: %1").arg(text));
    }
    PQclear(PQexec(conn_, "SET client_min_messages = warning"));
}

PgConnection::~PgConnection() {
    if (conn_) PQfinish(conn_);
}

bool PgConnection::isUsable() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

QString PgConnection::quoteIdentifier(const QString& name) const {
    const QByteArray utf8 = name.toUtf8();
    char* quoted = PQescapeIdentifier(conn_, utf8.constData(), size_t(utf8.size()));
    if (!quoted) throw CentralError(trimmed(PQerrorMessage(conn_)), QStringLiteral("22000"));
    const QString out = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return out;
}

void PgConnection::execScript(const QString& sql) {
    if (!isUsable()) throw CentralError(QStringLiteral("중앙 서버 연결이 끊어졌습니다"));
    PgResult result(PQexec(conn_, sql.toUtf8().constData()));
    check(result);
}

PgResult PgConnection::exec(const QString& sql, const QStringList& params) {
    if (!isUsable()) throw CentralError(QStringLiteral("중앙 서버 연결이 끊어졌습니다"));
    std::vector<QByteArray> values;
    values.reserve(size_t(params.size()));
    std::vector<const char*> pointers;
    for (const QString& p : params) {
        values.push_back(p.toUtf8());
        pointers.push_back(p.isNull() ? nullptr : values.back().constData());
    }
    PGresult* raw = PQexecParams(conn_, sql.toUtf8().constData(), int(pointers.size()), nullptr,
                                 pointers.data(), nullptr, nullptr, 0);
    PgResult result(raw);
    check(result);
    return result;
}

void PgConnection::check(const PgResult& result) {
    pg_result* raw = result.raw();
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const QString state = raw ? trimmed(PQresultErrorField(raw, PG_DIAG_SQLSTATE)) : QString();
    QString text = raw ? trimmed(PQresultErrorMessage(raw)) : QString();
    if (text.isEmpty()) text = trimmed(PQerrorMessage(conn_));
    // A server gone in the middle of a statement leaves no SQLSTATE, or one of class 08/57.
    if (!isUsable() || state.startsWith(u"57P")) throw CentralError(text);
    throw CentralError(text, state);
}
