#include "app/ReportCommand.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QStringList>
#include <QUrl>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/SettlementWindows.h"
#include "settlement/Report.h"
#include "settlement/Settlement.h"
#include "store/IniStore.h"

namespace {

struct Request {
    QString dataDir;
    QString kind;
    QString period;
    int hour = -1;
    QString out;
};

int fail(const QString& message) {
    std::fprintf(stderr, "tavolen report: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The command line has been read (options checked); what is left are the
// report's own rules. Returns an error text or empty.
QString readRequest(const CommandLine& line, Request& r) {
    r.dataDir = line.value(QStringLiteral("data-dir"));
    r.kind = line.arguments.value(0);
    r.period = line.arguments.value(1);
    r.out = line.value(QStringLiteral("out"));
    if (line.has(QStringLiteral("hour"))) r.hour = line.value(QStringLiteral("hour")).toInt();
    if (r.kind != QStringLiteral("day") && r.kind != QStringLiteral("month"))
        return QStringLiteral("unknown report '%1' (day or month)").arg(r.kind);
    if (r.out.isEmpty()) return QStringLiteral("--out FILE is missing");
    const QString suffix = QFileInfo(r.out).suffix().toLower();
    if (!QStringList{QStringLiteral("xlsx"), QStringLiteral("xls"), QStringLiteral("pdf"),
                     QStringLiteral("csv")}
             .contains(suffix))
        return QStringLiteral("unknown file type '%1' (.xlsx, .xls, .pdf or .csv)").arg(r.out);
    return QString();
}

// The database opened for reading only: the command creates and changes
// nothing, so it works for a user who may only read the data directory, and
// a missing file or table is reported, never made.
class ReadOnlyDatabase {
public:
    explicit ReadOnlyDatabase(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        open(name, SQLITE_OPEN_READONLY);
        // A database in WAL mode needs its shared-memory file beside it; where
        // the directory cannot hold one and no write-ahead log is pending, the
        // file alone is the whole database.
        const int rc =
            sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        const int primary = rc & 0xFF;
        if ((primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY) &&
            !QFileInfo::exists(path + QStringLiteral("-wal"))) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            open("file:" + QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded).mid(7) +
                     "?immutable=1",
                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        }
        if (!hasTable("Cash.DB"))
            throw SettlementError(
                QStringLiteral("no table \"Cash.DB\" in %1 (the ledger is missing)").arg(path));
    }
    ~ReadOnlyDatabase() { sqlite3_close_v2(db_); }
    ReadOnlyDatabase(const ReadOnlyDatabase&) = delete;
    ReadOnlyDatabase& operator=(const ReadOnlyDatabase&) = delete;
    sqlite3* connection() const { return db_; }

private:
    void open(const QByteArray& name, int flags) {
        if (sqlite3_open_v2(name.constData(), &db_, flags, nullptr) != SQLITE_OK) fail();
        sqlite3_busy_timeout(db_, 5000);
    }
    bool hasTable(const char* table) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_,
                               "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1", -1,
                               &st, nullptr) != SQLITE_OK)
            fail();
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail();
        return rc == SQLITE_ROW;
    }
    [[noreturn]] void fail() {
        throw SettlementError(
            QStringLiteral("cannot read the database: %1")
                .arg(QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : "out of memory")));
    }
    sqlite3* db_ = nullptr;
};

void substituteFonts() {
    QFont::insertSubstitutions(QStringLiteral("굴림체"), {QStringLiteral("NanumGothicCoding"),
                                                          QStringLiteral("NanumGothic")});
}

}  // namespace

int runReportCommand(const CommandLine& line, int& argc, char** argv) {
    Request request;
    const QString problem = readRequest(line, request);
    if (!problem.isEmpty()) {
        std::fputs(usageText().toLocal8Bit().constData(), stderr);
        return fail(problem);
    }
    // No display is needed; the chart and the PDF are drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    substituteFonts();
    const QString dataDir =
        request.dataDir.isEmpty() ? QApplication::applicationDirPath() : request.dataDir;
    if (!QFileInfo::exists(QDir(dataDir).filePath(QStringLiteral("DB/motel.db"))))
        return fail(QStringLiteral("no database in %1 (DB/motel.db)").arg(dataDir));

    try {
        const ReadOnlyDatabase db(QDir(dataDir).filePath(QStringLiteral("DB/motel.db")));
        const IniStore ini(QDir(dataDir).filePath(QStringLiteral("TavolenConfig.ini")));
        const int hour = request.hour >= 0 ? request.hour : settlementSettings::hour(ini);
        SettlementReport report;
        if (request.kind == QStringLiteral("day")) {
            const QDate date = QDate::fromString(request.period, QStringLiteral("yyyy-MM-dd"));
            if (!date.isValid())
                return fail(QStringLiteral("bad date '%1' (YYYY-MM-DD)").arg(request.period));
            DailySettlement day;
            day.fill(ledger::readStays(db.connection(), settlementDayFrom(date, hour),
                                       StayOrder::ByRoom));
            report = SettlementReport::daily(date, day);
        } else {
            const QDate first = QDate::fromString(request.period + QStringLiteral("-01"),
                                                  QStringLiteral("yyyy-MM-dd"));
            if (!first.isValid())
                return fail(QStringLiteral("bad month '%1' (YYYY-MM)").arg(request.period));
            const MonthSums sums =
                ledger::readMonth(db.connection(), first.year(), first.month(), hour, false);
            report = SettlementReport::monthly(
                QStringLiteral("%1-%2").arg(first.year()).arg(first.month()), sums);
        }
        ChartPainter chart;
        if (report.month)
            chart = [&](QPainter& p, const QRectF& r) {
                settlementWindows::paintMonthChart(p, r, *report.month);
            };
        writeReport(report, request.out, chart);
        std::printf("%s: %zu lines\n", request.out.toLocal8Bit().constData(), report.grid.size());
    } catch (const std::exception& e) {
        return fail(errorText(e));
    }
    return 0;
}
