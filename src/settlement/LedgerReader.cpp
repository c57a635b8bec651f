#include "settlement/LedgerReader.h"

#include <sqlite3.h>

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>

#include "audit/AuditTrail.h"

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
    // The column's bytes, valid until the next step.
    QByteArrayView bytes(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return p ? QByteArrayView(p, sqlite3_column_bytes(stmt_, column)) : QByteArrayView();
    }
    QString text(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt_, column)) : QString();
    }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    [[noreturn]] void fail() const {
        throw SettlementError(QString::fromUtf8(sqlite3_errmsg(db_)));
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

bool isDigits(QByteArrayView s) {
    if (s.isEmpty()) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// No stay costs more than this; a larger amount is a damaged row, and the
// bound keeps every month's sum far from overflowing.
constexpr qint64 kLargestAmount = 100'000'000;

enum class AmountCheck { Good, NotANumber, TooLarge };

// An amount as the daily view reads it: a whole number, blanks around it allowed.
AmountCheck parseAmount(QByteArrayView text, qint64& amount) {
    bool ok = false;
    amount = text.trimmed().toLongLong(&ok);
    if (!ok) return AmountCheck::NotANumber;
    return amount > kLargestAmount || amount < -kLargestAmount ? AmountCheck::TooLarge
                                                               : AmountCheck::Good;
}

[[noreturn]] void badRow(AmountCheck check, const QString& room, const QString& start,
                         const QString& cash) {
    const QString why = check == AmountCheck::TooLarge
                            ? QStringLiteral("투숙 한 번의 금액으로 너무 큰 값")
                            : QStringLiteral("숫자가 아닌 값");
    throw SettlementError(
        QStringLiteral("결산할 수 없는 장부 자료가 있습니다 (%1): %2호, 입실시간 '%3', 금액 '%4'")
            .arg(why, room, start, cash));
}

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
    const char* sql =
        order == StayOrder::ByRoom
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
        const AmountCheck amount = parseAmount(q.bytes(5), s.cash);
        if (s.start.size() != 12 || !isDigits(q.bytes(2)) || amount != AmountCheck::Good)
            badRow(amount, s.room, s.start, cash);
        stays.push_back(std::move(s));
    }
    return stays;
}

MonthSums readMonth(sqlite3* db, int year, int month, int hour, bool startsDayBefore) {
    const QDate first(year, month, 1);
    if (!first.isValid())
        throw SettlementError(QStringLiteral("잘못된 월입니다: %1-%2").arg(year).arg(month));
    MonthSums sums;
    sums.year = year;
    sums.month = month;
    const int days = first.daysInMonth();
    sums.dayUse.assign(days, 0);
    sums.overnight.assign(days, 0);

    // The settlement days of a month follow each other without a gap, so the
    // month is one range of the ledger's start index. The rows come in start
    // order straight from the index (it covers the three columns read) and
    // fall into their days as they pass: one statement, no sort, no table
    // reads. A GROUP BY here would build a temporary tree of every row.
    std::vector<QByteArray> dayEnds;
    for (int d = 1; d <= days; ++d) {
        const QDate day =
            startsDayBefore ? QDate(year, month, d).addDays(-1) : QDate(year, month, d);
        dayEnds.push_back(settlementDayFrom(day, hour).endStamp().toLatin1());
    }
    const QDate firstDay = startsDayBefore ? first.addDays(-1) : first;
    Statement q(db, R"(SELECT IDateTime, Action, Cash, rowid FROM "Cash.DB"
                       WHERE IDateTime >= ?1 AND IDateTime < ?2 ORDER BY IDateTime)");
    q.bind(1, settlementDayFrom(firstDay, hour).startStamp());
    q.bind(2, QString::fromLatin1(dayEnds.back()));
    const QByteArray dayUse = stayWord(StayKind::DayUse).toUtf8();
    const QByteArray overnight = stayWord(StayKind::Overnight).toUtf8();
    int index = 0;
    while (q.step()) {
        const QByteArrayView start = q.bytes(0);
        const QByteArrayView action = q.bytes(1);
        const QByteArrayView cash = q.bytes(2);
        qint64 amount = 0;
        const AmountCheck check = parseAmount(cash, amount);
        if (start.size() != 12 || !isDigits(start) || check != AmountCheck::Good) {
            // The index holds the row id, not the room: one look at the row.
            Statement room(db, R"(SELECT roomNum FROM "Cash.DB" WHERE rowid = ?1)");
            room.bind(1, q.integer(3));
            badRow(check, room.step() ? room.text(0) : QString(), QString::fromUtf8(start),
                   QString::fromUtf8(cash));
        }
        while (index + 1 < days && start >= QByteArrayView(dayEnds[index])) ++index;
        if (action == dayUse)
            sums.dayUse[index] += amount;
        else if (action == overnight)
            sums.overnight[index] += amount;
    }
    return sums;
}

int deleteStays(sqlite3* db, const std::vector<LedgerStay>& stays, int grade,
                const QDateTime& now) {
    if (stays.empty()) return 0;
    QJsonArray rows;
    Statement del(db,
                  R"(DELETE FROM "Cash.DB" WHERE rowid = ?1 AND roomNum IS ?2 AND IDateTime IS ?3
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
            if (sqlite3_changes(db) > 0) {
                ++deleted;
                rows.append(QJsonObject{{QStringLiteral("row"), s.rowId},
                                        {QStringLiteral("roomNum"), s.room},
                                        {QStringLiteral("IDateTime"), s.start},
                                        {QStringLiteral("ODateTime"), s.end},
                                        {QStringLiteral("Action"), s.action},
                                        {QStringLiteral("Cash"), s.cash}});
            }
            del.reset();
        }
        if (deleted > 0)
            audit::insert(
                db, {audit::Action::LedgerRowsDeleted, grade, {{QStringLiteral("rows"), rows}}},
                now);
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return deleted;
}

}  // namespace ledger
