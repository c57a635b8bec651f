#include "web/WebLedger.h"

#include <sqlite3.h>

#include <QDir>
#include <QJsonArray>
#include <memory>

#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "settlement/SettlementWindow.h"
#include "store/IniStore.h"

namespace {

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using ReadConnection = std::unique_ptr<sqlite3, Closer>;

ReadConnection openReadOnly(const QString& dataDir) {
    const QString path = QDir(dataDir).filePath(QStringLiteral("DB/motel.db"));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    ReadConnection db(raw);
    if (rc != SQLITE_OK)
        throw SettlementError(
            QStringLiteral("데이터베이스를 읽을 수 없습니다: %1")
                .arg(QString::fromUtf8(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc))));
    sqlite3_busy_timeout(db.get(), 2000);
    return db;
}

QString settingsPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("TavolenConfig.ini"));
}

QString shown(const QString& stamp) {
    const QDateTime t = QDateTime::fromString(stamp.left(12), QStringLiteral("yyyyMMddHHmm"));
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : stamp;
}

// The desk's changes that move money: cancellations, moves and conversions,
// from the room history of the window, with who made them ("1" the
// controller, anything else the desk).
QJsonArray changes(sqlite3* db, const SettlementWindow& window) {
    static const char* sql = R"(SELECT roomNum, Sdate || Stime, Action, Comm FROM "room.DB"
        WHERE Sdate || Stime >= ?1 AND Sdate || Stime < ?2
          AND Action IN ('대실취소', '숙박취소', '객실교체', '대실전환', '숙박전환')
        ORDER BY Sdate || Stime, rowid)";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw SettlementError(QString::fromUtf8(sqlite3_errmsg(db)));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    const QByteArray from = window.startStamp().toUtf8(), to = window.endStamp().toUtf8();
    sqlite3_bind_text(raw, 1, from.constData(), int(from.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, to.constData(), int(to.size()), SQLITE_TRANSIENT);
    const auto text = [raw](int column) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
        return p ? QString::fromUtf8(p) : QString();
    };
    QJsonArray rows;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW && rows.size() < 500)
        rows.append(
            QJsonObject{{"room", text(0)},
                        {"time", shown(text(1))},
                        {"action", text(2)},
                        {"source", text(3) == QStringLiteral("1") ? "controller" : "desk"}});
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw SettlementError(QString::fromUtf8(sqlite3_errmsg(db)));
    return rows;
}

}  // namespace

namespace webLedger {

QJsonObject today(const QString& dataDir, const QDateTime& now) {
    const IniStore ini(settingsPath(dataDir));
    const int hour = settlementSettings::hour(ini);
    const SettlementWindow window = settlementWindow(now.date(), hour, now.time().hour());
    const ReadConnection db = openReadOnly(dataDir);
    DailySettlement day;
    day.fill(ledger::readStays(db.get(), window, StayOrder::ByTime));

    QJsonArray stays;
    int dayUse = 0, overnight = 0, cancelled = 0, moved = 0;
    for (const LedgerStay& s : day.stays()) {
        ++(s.isDayUse() ? dayUse : overnight);
        cancelled += s.isCancelled();
        moved += s.isMoved();
        stays.append(QJsonObject{
            {"room", s.room},
            {"start", shown(s.start)},
            {"end", s.isOpen() ? QString() : shown(s.end)},
            {"note", s.status().note()},
            {"action", s.action},
            {"cash", double(s.cash)},
        });
    }
    const int rooms = settlementSettings::roomsOnBoard(ini);
    return QJsonObject{
        {"from", window.start.toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
        {"to", window.end.toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
        {"reportDate", window.start.date().toString(Qt::ISODate)},
        {"hour", hour},
        {"stays", stays},
        {"dayUseSum", double(day.dayUseSum())},
        {"overnightSum", double(day.overnightSum())},
        {"total", double(day.dayUseSum() + day.overnightSum())},
        {"cancelledSum", double(day.cancelledSum())},
        {"movedSum", double(day.movedSum())},
        {"dayUseCount", dayUse},
        {"overnightCount", overnight},
        {"cancelledCount", cancelled},
        {"movedCount", moved},
        {"turnover",
         rooms > 0 ? QString::number(double(stays.size()) / rooms, 'f', 2) : QStringLiteral("-")},
        {"figures", day.figures(rooms)},
        {"changes", changes(db.get(), window)},
    };
}

QJsonObject month(const QString& dataDir, const QString& monthText, const QDateTime& now) {
    const IniStore ini(settingsPath(dataDir));
    const int hour = settlementSettings::hour(ini);
    const QStringList offered =
        monthlySettlement::monthList(now.date(), settlementSettings::ledgerMonths(ini));
    // "2026-09" and "2026-9" name the same month; one not offered is the current one.
    int year = 0, month = 0;
    QString chosen = offered.first();
    if (monthlySettlement::parseMonth(monthText, year, month)) {
        const QString asOffered = QStringLiteral("%1-%2").arg(year).arg(month);
        if (offered.contains(asOffered)) chosen = asOffered;
    }
    monthlySettlement::parseMonth(chosen, year, month);
    const ReadConnection db = openReadOnly(dataDir);
    const MonthSums sums = ledger::readMonth(db.get(), year, month, hour, now.time().hour() < hour);
    QJsonArray days;
    qint64 dayUse = 0, overnight = 0;
    for (int d = 0; d < sums.days(); ++d) {
        days.append(QJsonArray{d + 1, double(sums.dayUse[d]), double(sums.overnight[d])});
        dayUse += sums.dayUse[d];
        overnight += sums.overnight[d];
    }
    return QJsonObject{
        {"month", chosen},
        {"reportMonth", QStringLiteral("%1-%2").arg(year).arg(month, 2, 10, QLatin1Char('0'))},
        {"months", QJsonArray::fromStringList(offered)},
        {"days", days},
        {"dayUseSum", double(dayUse)},
        {"overnightSum", double(overnight)},
        {"total", double(dayUse + overnight)},
    };
}

}  // namespace webLedger
