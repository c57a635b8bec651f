// The settlement on a full ledger: six months of a full house (72 rooms, 6
// stays a room a day, about 78,000 rows). Prints the monthly fill (one query
// over the start index) beside the 31 day selects it replaces, the monthly view's opening to
// its first painted frame, and the exports of a month to .xlsx and .xls.
// Goals: fill under 5 ms, first frame under 150 ms, each export under 200 ms.
//
//   bench_settlement_views [directory] [repeats]

#include <sqlite3.h>

#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "BenchFigures.h"
#include "BenchLedger.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "settlement/Report.h"
#include "settlement/ui/SettlementView.h"
#include "store/Database.h"
#include "store/IniStore.h"

namespace {

constexpr int kSettlementHour = 3;

class BenchClock : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2006, 3, 31), QTime(12, 0)); }
};

class SilentDialogs : public Dialogs {
public:
    void showError(const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    void showInfo(const QString&) override {}
    bool askYesNo(const QString&) override { return false; }
};

void exec(sqlite3* db, const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// The same ledger as bench_db_settlement.
int buildLedger(sqlite3* db, QDate first, QDate last) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        db, R"(INSERT INTO "Cash.DB" (roomNum,IDateTime,ODateTime,Action,Cash) VALUES (?,?,?,?,?))",
        -1, &st, nullptr);
    exec(db, "BEGIN");
    const int rows = forEachBenchLedgerRow(first, last, [&](const BenchLedgerRow& row) {
        const QByteArray values[] = {row.room.toUtf8(), row.start.toUtf8(), row.end.toUtf8(),
                                     row.action.toUtf8(), row.cash.toUtf8()};
        for (int i = 0; i < 5; ++i)
            sqlite3_bind_text(st, i + 1, values[i].constData(), int(values[i].size()),
                              SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    });
    exec(db, "COMMIT");
    sqlite3_finalize(st);
    return rows;
}

// What the monthly fill cost before: one select of every row per settlement day.
qint64 thirtyOneSelects(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       R"(SELECT * FROM "Cash.DB" WHERE (IDateTime >= ?1) AND (IDateTime < ?2))",
                       -1, &st, nullptr);
    qint64 sum = 0;
    for (int d = 1; d <= 31; ++d) {
        const SettlementWindow w = settlementDayFrom(QDate(2006, 3, d), kSettlementHour);
        const QByteArray a = w.startStamp().toUtf8(), b = w.endStamp().toUtf8();
        sqlite3_bind_text(st, 1, a.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, b.constData(), -1, SQLITE_TRANSIENT);
        std::vector<QStringList> rows;
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            sum += row[4].toLongLong();
            rows.push_back(row);
        }
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    return sum;
}

// Counts the first paints of the two parts of the monthly view.
class PaintWatch : public QObject {
public:
    int painted = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_.contains(watched)) {
            seen_ << watched;
            ++painted;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QList<QObject*> seen_;
};

template <typename F>
std::vector<double> timeIt(int repeats, F f) {
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < repeats; ++i) {
        t.start();
        f();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return ms;
}

void print(const char* what, const std::vector<double>& ms, const char* baseline) {
    std::printf("%-40s median %8.2f ms  p90 %8.2f ms   %s\n", what, percentile(ms, 0.5),
                percentile(ms, 0.9), baseline);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitutions(QStringLiteral("굴림체"), {QStringLiteral("NanumGothicCoding")});
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int repeats = argc > 2 ? std::max(3, std::atoi(argv[2])) : 20;
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("tavolen-bench-XXXXXX")));
    if (!dir.isValid()) return 1;
    Database db(dir.path());
    db.open();
    IniStore ini(QDir(dir.path()).filePath(QStringLiteral("TavolenConfig.ini")));
    ini.writeString(QStringLiteral("CashTime"), QStringLiteral("start"), QStringLiteral("03"));
    ini.writeInteger(QStringLiteral("CashTime"), QStringLiteral("SaveMonth"), 6);
    const int rows = buildLedger(db.connection(), QDate(2005, 10, 1), QDate(2006, 3, 31));
    std::printf("ledger of %d rows\n", rows);

    MonthSums march;
    qint64 baselineTotal = 0;
    print("monthly fill, 31 selects (baseline)",
          timeIt(repeats, [&] { baselineTotal = thirtyOneSelects(db.connection()); }),
          "as the desk read it before");
    print("monthly fill, one query in index order",
          timeIt(
              repeats,
              [&] { march = ledger::readMonth(db.connection(), 2006, 3, kSettlementHour, false); }),
          "goal < 5 ms");

    BenchClock clock;
    SilentDialogs dialogs;
    print("monthly view to first painted frame",
          timeIt(repeats,
                 [&] {
                     SettlementView view(SettlementKind::Monthly,
                                         {db, ini, clock, dialogs, [] { return 0; }, [](int) {}});
                     PaintWatch watch;
                     view.grid()->viewport()->installEventFilter(&watch);
                     view.findChild<QChartView*>()->viewport()->installEventFilter(&watch);
                     view.show();
                     while (watch.painted < 2) app.processEvents(QEventLoop::AllEvents, 5);
                 }),
          "goal < 150 ms");

    const SettlementReport report = SettlementReport::monthly(QStringLiteral("2006-3"), march);
    for (const char* ext : {"xlsx", "xls"}) {
        const QString path = dir.filePath(QStringLiteral("month.") + ext);
        const QString what = QStringLiteral("export of a month to .") + ext;
        print(qPrintable(what), timeIt(repeats, [&] { writeReport(report, path); }),
              "goal < 200 ms");
    }
    qint64 total = 0;
    for (int d = 0; d < march.days(); ++d) total += march.dayUse[d] + march.overnight[d];
    std::printf("March 2006 total %lld (31 selects: %lld)\n", static_cast<long long>(total),
                static_cast<long long>(baselineTotal));
    return 0;
}
