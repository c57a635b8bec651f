#include "central/PgConnection.h"

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>

#include <algorithm>
#include <vector>

namespace {

// What libpq reports of the server or the connection, as the desk shows it.
QString serverText(const char* text) {
    return shownServerText(QString::fromUtf8(text ? text : ""));
}

// The authorities a server's certificate is checked against when the string names none.
constexpr char kSystemAuthorities[] = "/etc/ssl/certs/ca-certificates.crt";
// Modes that let a server go unverified, or let the connection go without TLS at all.
const char* const kWeakModes[] = {"disable", "allow", "prefer", "require", "verify-ca"};

using Options = std::vector<std::pair<QByteArray, QByteArray>>;

// The options of libpq's answer, in its order, and frees it; none when there is no answer.
Options valuesOf(PQconninfoOption* options, bool withoutValue) {
    Options values;
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        if (withoutValue || (o->val && o->val[0]))
            values.emplace_back(o->keyword, o->val ? o->val : "");
    PQconninfoFree(options);
    return values;
}

QByteArray valueOf(const Options& options, const char* keyword) {
    for (const auto& [key, value] : options)
        if (key == keyword) return value;
    return {};
}

// Every keyword libpq knows with its default: the environment's (PGHOST and the like), else
// libpq's own; empty when there is none.
const Options& defaults() {
    static const Options values = valuesOf(PQconndefaults(), true);
    return values;
}

bool knowsKeyword(const char* keyword) {
    return std::any_of(defaults().begin(), defaults().end(),
                       [&](const auto& option) { return option.first == keyword; });
}

bool isLoopback(const QByteArray& address) {
    if (address == "localhost") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, address.constData(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.constData(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

// The servers a connection may try, as libpq reads `host` and `hostaddr`: the address, or
// the name when there is none, or an empty text for the default Unix socket.
QList<QByteArray> targets(const QByteArray& hosts, const QByteArray& addresses) {
    const QList<QByteArray> names = hosts.split(','), numbers = addresses.split(',');
    QList<QByteArray> out;
    for (qsizetype i = 0; i < std::max(names.size(), numbers.size()); ++i) {
        const QByteArray number = i < numbers.size() ? numbers[i].trimmed() : QByteArray();
        const QByteArray name = i < names.size() ? names[i].trimmed() : QByteArray();
        out << (number.isEmpty() ? name : number);
    }
    return out;
}

bool isSocket(const QByteArray& target) {
    return target.isEmpty() || target.startsWith('/') || target.startsWith('@');
}

}  // namespace

QString shownServerText(const QString& text, qsizetype longest) {
    QString shown = text.trimmed();
    if (shown.size() > longest) shown = shown.left(longest) + QStringLiteral("…");
    for (QChar& c : shown)
        if (!c.isPrint()) c = u' ';
    return shown.trimmed();
}

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

QByteArray ConnectionParameters::value(const char* keyword) const {
    return valueOf(keywords, keyword);
}

ConnectionParameters ConnectionParameters::of(const QString& conninfo) {
    ConnectionParameters p;
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!parsed) {
        p.refusal =
            QStringLiteral("중앙 서버 연결 문자열이 잘못되었습니다: %1").arg(serverText(error));
        PQfreemem(error);
        return p;
    }
    p.keywords = valuesOf(parsed, false);
    if (!p.value("password").isEmpty()) {
        p.refusal = QStringLiteral(
            "중앙 서버 암호는 연결 문자열에 쓰지 않습니다: passfile 또는 ~/.pgpass에 두십시오");
        return p;
    }
    // A service file would bring a host and a mode of its own, past the checks below.
    if (!p.value("service").isEmpty()) {
        p.refusal = QStringLiteral(
            "중앙 서버 연결 문자열에 service는 쓸 수 없습니다: host, port, dbname, user를 직접 "
            "쓰십시오");
        return p;
    }
    const auto given = [&](const char* keyword) {
        const QByteArray v = p.value(keyword);
        return v.isEmpty() ? valueOf(defaults(), keyword) : v;
    };
    QList<QByteArray> remote;
    bool overTcp = false;
    for (const QByteArray& target : targets(given("host"), given("hostaddr"))) {
        if (isSocket(target)) continue;
        overTcp = true;
        if (!isLoopback(target)) remote << target;
    }
    const QByteArray mode = p.value("sslmode");
    const bool weak = std::any_of(std::begin(kWeakModes), std::end(kWeakModes),
                                  [&](const char* m) { return mode == m; });
    if (weak && !remote.isEmpty()) {
        p.refusal =
            QStringLiteral(
                "중앙 서버 연결의 sslmode=%1은 이 컴퓨터 안의 서버에만 쓸 수 있습니다 (%2): 다른 "
                "곳의 서버는 인증서로 확인합니다. sslmode를 지우거나 verify-full로 두십시오")
                .arg(QString::fromUtf8(mode), QString::fromUtf8(remote.join(", ")));
        return p;
    }
    // Bounded waits: a server that does not answer is a connection error, tried again later.
    if (p.value("connect_timeout").isEmpty()) p.keywords.emplace_back("connect_timeout", "5");
    if (overTcp) {
        if (mode.isEmpty()) p.keywords.emplace_back("sslmode", "verify-full");
        if (given("sslrootcert").isEmpty())
            p.keywords.emplace_back("sslrootcert", kSystemAuthorities);
        if (knowsKeyword("require_auth") && given("require_auth").isEmpty())
            p.keywords.emplace_back("require_auth", "scram-sha-256");
    }
    return p;
}

QString PgConnection::checkConnectionString(const QString& conninfo) {
    return ConnectionParameters::of(conninfo).refusal;
}

PgConnection::PgConnection(const QString& conninfo) {
    const ConnectionParameters parameters = ConnectionParameters::of(conninfo);
    if (!parameters.refusal.isEmpty())
        throw CentralError(parameters.refusal, QStringLiteral("TVCFG"));
    std::vector<const char*> keywords, values;
    for (const auto& [keyword, value] : parameters.keywords) {
        keywords.push_back(keyword.constData());
        values.push_back(value.constData());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    // The database name is a name, never a second connection string.
    conn_ = PQconnectdbParams(keywords.data(), values.data(), 0);
    if (PQstatus(conn_) != CONNECTION_OK) {
        const QString text = serverText(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw CentralError(QStringLiteral("중앙 서버에 연결할 수 없습니다: %1").arg(text));
    }
    // Before any statement calls a function: the catalog's, and never one found in a schema
    // that other roles may write.
    try {
        execScript(QStringLiteral(
            "SET search_path = pg_catalog, pg_temp; SET client_min_messages = warning"));
    } catch (...) {
        PQfinish(conn_);
        conn_ = nullptr;
        throw;
    }
}

PgConnection::~PgConnection() {
    if (conn_) PQfinish(conn_);
}

bool PgConnection::isUsable() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

QString PgConnection::quoteIdentifier(const QString& name) const {
    const QByteArray utf8 = name.toUtf8();
    char* quoted = PQescapeIdentifier(conn_, utf8.constData(), size_t(utf8.size()));
    if (!quoted) throw CentralError(serverText(PQerrorMessage(conn_)), QStringLiteral("22000"));
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
    const QString state = raw ? serverText(PQresultErrorField(raw, PG_DIAG_SQLSTATE)) : QString();
    QString text = raw ? serverText(PQresultErrorMessage(raw)) : QString();
    if (text.isEmpty()) text = serverText(PQerrorMessage(conn_));
    // A server gone in the middle of a statement leaves no SQLSTATE, or one of class 08/57.
    if (!isUsable() || state.startsWith(u"57P")) throw CentralError(text);
    throw CentralError(text, state);
}
