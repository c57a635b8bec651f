// The settlement's reads on a full ledger: six months of a full house (72
// rooms, 6 stays a room a day). Times one settlement-day select and the 31
// selects of a monthly fill, as the settlement view sends them on the shared
// ledger query. Goal: the monthly fill under 50 ms.
//
//   bench_db_settlement [directory] [repeats]

#include <time.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchLedger.h"
#include "store/Database.h"
#include "store/Query.h"

namespace {

const QString kStamp = QStringLiteral("yyyyMMddHHmm");
constexpr int kSettlementHour = 3;

void printFigures(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p90 = ms[std::min(ms.size() - 1, ms.size() * 9 / 10)];
    std::printf("%-48s median %8.3f ms   p90 %8.3f ms   (n=%zu)\n", what, median, p90, ms.size());
}

// Processor time of this thread: on a busy machine the wall clock also counts
// the time other programs had the processor.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void exec(Query& q, const QString& sql) {
    q.clear();
    q.addLine(sql);
    q.exec();
}

int buildLedger(Database& db, QDate first, QDate last) {
    Query& q = db.ledgerQuery();
    exec(q, QStringLiteral("BEGIN"));
    const int rows = forEachBenchLedgerRow(first, last, [&](const BenchLedgerRow& row) {
        q.clear();
        q.addLine(QStringLiteral(R"(Insert Into "Cash.DB")"));
        q.addLine(QStringLiteral("(roomNum,IDateTime,ODateTime,Action,Cash)"));
        q.addLine(QStringLiteral("Values(:N1,:N2,:N3,:N4,:N5)"));
        q.bind(QStringLiteral("N1"), row.room);
        q.bind(QStringLiteral("N2"), row.start);
        q.bind(QStringLiteral("N3"), row.end);
        q.bind(QStringLiteral("N4"), row.action);
        q.bind(QStringLiteral("N5"), row.cash);
        q.exec();
    });
    exec(q, QStringLiteral("COMMIT"));
    return rows;
}

// The settlement day of `day`, read after the settlement hour: from its
// settlement hour to the next day's.
void selectWindow(Query& q, QDate day, const QString& order) {
    const QDateTime start(day, QTime(kSettlementHour, 0));
    q.clear();
    q.addLine(QStringLiteral(R"(Select * From "Cash.DB")"));
    q.addLine(QStringLiteral("Where (IDateTime >= :N1) and "));
    q.addLine(QStringLiteral("(IDateTime < :N2) "));
    if (!order.isEmpty()) q.addLine(order);
    q.bind(QStringLiteral("N1"), start.toString(kStamp));
    q.bind(QStringLiteral("N2"), start.addDays(1).toString(kStamp));
    q.open();
}

// The sums of one day as the monthly fill adds them up.
qint64 daySums(Query& q, qint64& rest, qint64& sleep) {
    for (q.first(); !q.atEnd(); q.next()) {
        const qint64 amount = q.field(4).toLongLong();
        if (q.field(3) == QStringLiteral("대실"))
            rest += amount;
        else if (q.field(3) == QStringLiteral("숙박"))
            sleep += amount;
    }
    return q.rowCount();
}

}  // namespace

int main(int argc, char** argv) {
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int repeats = argc > 2 ? std::max(3, std::atoi(argv[2])) : 30;
    QTemporaryDir dir(QDir(base).filePath(QStringLiteral("tavolen-bench-XXXXXX")));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a directory under %s\n", qPrintable(base));
        return 1;
    }
    Database db(dir.path());
    db.open();

    const QDate first(2005, 10, 1);
    const QDate last(2006, 3, 31);
    QElapsedTimer timer;
    timer.start();
    const int rows = buildLedger(db, first, last);
    std::printf("ledger of %d rows (%s to %s) built in %.1f s in %s\n", rows,
                qPrintable(first.toString(Qt::ISODate)), qPrintable(last.toString(Qt::ISODate)),
                timer.elapsed() / 1000.0, qPrintable(dir.path()));

    Query& q = db.ledgerQuery();
    std::vector<double> day, dayCpu;
    int dayRows = 0;
    for (int i = 0; i < repeats; ++i) {
        const double cpu = threadCpuMs();
        timer.start();
        selectWindow(q, QDate(2006, 3, 15), QStringLiteral("Order By roomNum ASC"));
        day.push_back(timer.nsecsElapsed() / 1e6);
        dayCpu.push_back(threadCpuMs() - cpu);
        dayRows = q.rowCount();
    }

    std::vector<double> month, monthCpu;
    qint64 rest = 0, sleep = 0, monthRows = 0;
    for (int i = 0; i < repeats; ++i) {
        rest = sleep = monthRows = 0;
        const double cpu = threadCpuMs();
        timer.start();
        for (int d = 1; d <= 31; ++d) {
            selectWindow(q, QDate(2006, 3, d), QString());
            monthRows += daySums(q, rest, sleep);
        }
        month.push_back(timer.nsecsElapsed() / 1e6);
        monthCpu.push_back(threadCpuMs() - cpu);
    }

    const QString dayName = QStringLiteral("settlement day (%1 rows)").arg(dayRows);
    const QString monthName = QStringLiteral("monthly fill, 31 selects (%1 rows)").arg(monthRows);
    printFigures(qPrintable(dayName + QStringLiteral(", wall")), day);
    printFigures(qPrintable(dayName + QStringLiteral(", cpu")), dayCpu);
    printFigures(qPrintable(monthName + QStringLiteral(", wall")), month);
    printFigures(qPrintable(monthName + QStringLiteral(", cpu")), monthCpu);
    std::printf("monthly sums: rest %lld, overnight %lld; goal: monthly fill under 50 ms\n",
                static_cast<long long>(rest), static_cast<long long>(sleep));
    return 0;
}
