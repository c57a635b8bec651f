#include "settlement/Ledger.h"

#include <sqlite3.h>

#include <QDate>

namespace {

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (!db) throw SettlementError(QStringLiteral("데이터베이스가 열려 있지 않습니다"));
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) fail();
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        if (sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK)
            fail();
    }
    void bind(int index, qint64 value) {
        if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) fail();
    }
    // True while there is a row.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail();
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    QString text(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column)) : QString();
    }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    [[noreturn]] void fail() const { throw SettlementError(QString::fromUtf8(sqlite3_errmsg(db_))); }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

bool isDigits(const QString& s) {
    if (s.isEmpty()) return false;
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

[[noreturn]] void badRow(const QString& room, const QString& start, const QString& cash) {
    throw SettlementError(
        QStringLiteral("결산할 수 없는 장부 자료가 있습니다 (숫자가 아닌 값): %1호, 입실시간 '%2', 금액 '%3'")
            .arg(room, start, cash));
}

// A rule the grouped query and the row reader share: a start of twelve digits
// and an amount of digits only.
const char* const kBadRow =
    "(IDateTime IS NULL OR length(IDateTime) <> 12 OR IDateTime GLOB '*[^0-9]*'"
    " OR Cash IS NULL OR Cash = '' OR Cash GLOB '*[^0-9]*' OR length(Cash) > 15)";

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw SettlementError(text);
    }
}

}  // namespace

namespace ledger {

std::vector<LedgerStay> readStays(sqlite3* db, const SettlementWindow& window, StayOrder order) {
    const char* sql = order == StayOrder::ByRoom
                          ? R"(SELECT rowid, roomNum, IDateTime, ODateTime, Action, Cash FROM "Cash.DB"
                               WHERE IDateTime >= ?1 AND IDateTime < ?2 ORDER BY roomNum ASC, rowid ASC)"
                          : R"(SELECT rowid, roomNum, IDateTime, ODateTime, Action, Cash FROM "Cash.DB"
                               WHERE IDateTime >= ?1 AND IDateTime < ?2 ORDER BY IDateTime ASC, rowid ASC)";
    Statement q(db, sql);
    q.bind(1, window.startStamp());
    q.bind(2, window.endStamp());
    std::vector<LedgerStay> stays;
    while (q.step()) {
        LedgerStay s;
        s.rowId = q.integer(0);
        s.room = q.text(1);
        s.start = q.text(2);
        s.end = q.text(3);
        s.action = q.text(4);
        const QString cash = q.text(5);
        if (s.start.size() != 12 || !isDigits(s.start) || !isDigits(cash) || cash.size() > 15)
            badRow(s.room, s.start, cash);
        s.cash = cash.toLongLong();
        stays.push_back(std::move(s));
    }
    return stays;
}

MonthSums readMonth(sqlite3* db, int year, int month, int hour, bool startsDayBefore) {
    const QDate first(year, month, 1);
    if (!first.isValid()) throw SettlementError(QStringLiteral("잘못된 월입니다: %1-%2").arg(year).arg(month));
    MonthSums sums;
    sums.year = year;
    sums.month = month;
    const int days = first.daysInMonth();
    sums.dayUse.assign(days, 0);
    sums.overnight.assign(days, 0);

    // Day d's window starts at d (or d-1) at the settlement hour. A row's
    // settlement day is its calendar date, or the date before when it began
    // before the settlement hour; the query groups by date and that flag so
    // that no date arithmetic runs per row.
    const int shift = startsDayBefore ? -1 : 0;
    const SettlementWindow firstDay = settlementDayFrom(first.addDays(shift), hour);
    const SettlementWindow lastDay = settlementDayFrom(first.addDays(days - 1 + shift), hour);
    const QString sql = QStringLiteral(
                            R"(SELECT substr(IDateTime, 1, 8), substr(IDateTime, 9, 2) < ?3, Action,
                                      sum(CAST(Cash AS INTEGER)), sum(%1)
                               FROM "Cash.DB" WHERE IDateTime >= ?1 AND IDateTime < ?2
                               GROUP BY 1, 2, 3)")
                            .arg(QString::fromLatin1(kBadRow));
    const QByteArray sqlUtf8 = sql.toUtf8();
    Statement q(db, sqlUtf8.constData());
    q.bind(1, firstDay.startStamp());
    q.bind(2, lastDay.endStamp());
    q.bind(3, QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0')));
    bool anyBad = false;
    while (q.step()) {
        if (q.integer(4) > 0) {
            anyBad = true;
            continue;
        }
        QDate date = QDate::fromString(q.text(0), QStringLiteral("yyyyMMdd"));
        if (!date.isValid()) continue;
        if (q.integer(1) != 0) date = date.addDays(-1);
        const qint64 index = first.daysTo(date) - shift;
        if (index < 0 || index >= days) continue;
        const QString action = q.text(2);
        if (action == QStringLiteral("대실"))
            sums.dayUse[index] += q.integer(3);
        else if (action == QStringLiteral("숙박"))
            sums.overnight[index] += q.integer(3);
    }
    if (anyBad) {
        const QString find = QStringLiteral(
                                 R"(SELECT roomNum, IDateTime, Cash FROM "Cash.DB"
                                    WHERE IDateTime >= ?1 AND IDateTime < ?2 AND %1 LIMIT 1)")
                                 .arg(QString::fromLatin1(kBadRow));
        const QByteArray findUtf8 = find.toUtf8();
        Statement bad(db, findUtf8.constData());
        bad.bind(1, firstDay.startStamp());
        bad.bind(2, lastDay.endStamp());
        if (bad.step()) badRow(bad.text(0), bad.text(1), bad.text(2));
    }
    return sums;
}

int deleteStays(sqlite3* db, const std::vector<LedgerStay>& stays) {
    if (stays.empty()) return 0;
    Statement del(db, R"(DELETE FROM "Cash.DB" WHERE rowid = ?1 AND roomNum IS ?2 AND IDateTime IS ?3
                         AND ODateTime IS ?4)");
    exec(db, "BEGIN IMMEDIATE");
    int deleted = 0;
    try {
        for (const LedgerStay& s : stays) {
            del.bind(1, s.rowId);
            del.bind(2, s.room);
            del.bind(3, s.start);
            del.bind(4, s.end);
            del.step();
            deleted += sqlite3_changes(db);
            del.reset();
        }
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return deleted;
}

}  // namespace ledger
