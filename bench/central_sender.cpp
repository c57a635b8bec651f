// The group's central ledger on a throwaway PostgreSQL on this machine (Unix socket):
// - changes shipped per second from one desk's outbox, and from ten desks at once
//   (goal: at least 20 times the 240 pairs a second of the controller's line);
// - lag from a desk's step to the central commit, p50 and p99, while the server is up
//   (goal: p99 under 1 s);
// - the controller pairs the board handles per second with the sender on and off, in turns,
//   in one run (goal: within 5 %), the desk keeping its outbox in both; and beside it, the
//   whole central ledger (outbox and sender) against none;
// - the group's month report over ten sites of six months of ledger each (78,000 rows a
//   site, as in the settlement benchmark; goal: under 500 ms).
//
// Usage: bench_central_sender [shipping] [lag] [controller] [report]   (all when none is named)

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

#include "../tests/support/PgServer.h"
#include "BenchFigures.h"
#include "BenchLedger.h"
#include "BenchRooms.h"
#include "board/BoardModel.h"
#include "central/CentralSchema.h"
#include "central/GroupReport.h"
#include "central/OutboxSender.h"
#include "central/PgConnection.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SoundPlayer.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/Outbox.h"
#include "store/Query.h"
#include "store/RoomRecords.h"
#include "store/StepJournal.h"

namespace {

constexpr double kLinePairsPerSecond = 240.0;
constexpr int kRooms = BoardModel::kSlots;

class SteppedClock : public Clock {
public:
    QDateTime now() const override { return t_; }
    void advanceMinutes(int m) { t_ = t_.addSecs(60 * m); }

private:
    QDateTime t_ = QDateTime::currentDateTime();
};

class SilentSound : public SoundPlayer {
public:
    void play(const QString&) override {}
};

class QuietDialogs : public Dialogs {
public:
    void showError(const QString& text) override {
        std::fprintf(stderr, "the board showed a box: %s\n", qPrintable(text));
    }
    void showInfo(const QString& text) override { showError(text); }
    bool askYesNo(const QString& text) override {
        showError(text);
        return false;
    }
};

void exec(Database& db, const QString& sql) {
    Query q(db);
    q.addLine(sql);
    q.exec();
}

qint64 centralLast(PgConnection& pg, const QString& site) {
    const PgResult r =
        pg.exec(QStringLiteral("SELECT last_seq FROM tavolen.site WHERE site = $1"), {site});
    return r.rows() ? r.text(0, 0).toLongLong() : 0;
}

// A desk's database whose outbox holds `changes` history rows not yet sent.
std::unique_ptr<Database> filledDesk(const QString& dir, int changes) {
    auto db = std::make_unique<Database>(dir);
    db->open();
    outbox::install(db->connection());
    exec(*db, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < %1) INSERT INTO \"room.DB\" SELECT 100 + i % 72, "
                             "strftime('%Y%m%d', 'now'), '0930', '문열림', '1' FROM n")
                  .arg(changes));
    return db;
}

std::unique_ptr<OutboxSender> sender(const QString& dbPath, const QString& connection,
                                     const QString& site) {
    OutboxSender::Options o;
    o.databasePath = dbPath;
    o.connection = connection;
    o.site = site;
    o.pollMs = 20;
    return std::make_unique<OutboxSender>(o);
}

// Ships `changes` from each of `desks` desks at once; changes per second in all.
double shippingRate(PgServer& server, int desks, int changes) {
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    std::vector<std::unique_ptr<Database>> dbs;
    std::vector<std::unique_ptr<OutboxSender>> senders;
    static int run = 0;
    ++run;
    for (int i = 0; i < desks; ++i) {
        dirs.push_back(std::make_unique<QTemporaryDir>());
        dbs.push_back(filledDesk(dirs.back()->path(), changes));
        senders.push_back(sender(dbs.back()->path(), server.connection(),
                                 QStringLiteral("rate%1-%2").arg(run).arg(i)));
    }
    PgConnection pg(server.connection());
    QElapsedTimer timer;
    timer.start();
    for (auto& s : senders) s->start();
    for (int i = 0; i < desks; ++i) {
        const QString site = QStringLiteral("rate%1-%2").arg(run).arg(i);
        while (centralLast(pg, site) < changes && timer.elapsed() < 300000) QThread::msleep(10);
    }
    const double seconds = timer.elapsed() / 1000.0;
    for (auto& s : senders) s->stop();
    return desks * changes / seconds;
}

// Steps of one history row and one ledger change every `everyMs`, for `seconds`; the lag of
// each change from its step to the commit that brought it to the server.
void lag(PgServer& server, int everyMs, double seconds) {
    QTemporaryDir dir;
    Database db(dir.path());
    db.open();
    outbox::install(db.connection());
    IniStore ini(dir.filePath(QStringLiteral("TavolenConfig.ini")));
    SteppedClock clock;
    QuietDialogs dialogs;
    RoomRecords ledger(db, clock, dialogs);
    StepJournal journal;
    journal.setIni(&ini);
    journal.setDatabase(&db);
    ledger.collectStep = [&](StepStatement s) { journal.addStatement(std::move(s)); };

    std::mutex mutex;
    std::vector<double> lags;
    OutboxSender::Options o;
    o.databasePath = db.path();
    o.connection = server.connection();
    o.site = QStringLiteral("lag");
    o.onCommitted = [&](const std::vector<qint64>& madeAt, qint64 committedAt) {
        std::lock_guard lock(mutex);
        for (qint64 m : madeAt) lags.push_back(double(committedAt - m));
    };
    OutboxSender s(o);
    s.start();
    QThread::msleep(500);  // connected
    {
        std::lock_guard lock(mutex);
        lags.clear();
    }
    QElapsedTimer timer;
    timer.start();
    int steps = 0;
    while (timer.elapsed() < seconds * 1000) {
        const QString key = clock.now().toString(QStringLiteral("yyyyMMddHHmm"));
        ledger.addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
        ledger.openLedgerRow(QStringLiteral("101"), key, StayKind::DayUse, 30000, 50000);
        journal.flush();
        clock.advanceMinutes(1);
        ++steps;
        QThread::msleep(everyMs);
    }
    QThread::msleep(1500);
    s.stop();
    std::lock_guard lock(mutex);
    std::printf(
        "  lag step -> central commit, one step every %d ms for %.0f s (%d steps, %zu "
        "changes): p50 %.0f ms, p99 %.0f ms, max %.0f ms (goal: p99 under 1000 ms)\n",
        everyMs, seconds, steps, lags.size(), percentile(lags, 0.5), percentile(lags, 0.99),
        percentile(lags, 1.0));
}

enum class Central { Off, OutboxOnly, Sending };

// Controller pairs handled per second by a board writing every block as one step, with the
// central ledger off (no outbox), with the outbox but nothing sending it, or on (outbox and
// sender).
// Every turn handles the same blocks, so that each configuration does the same work however
// fast the machine is at the moment.
struct Turn {
    double pairsPerSecond = 0;
    double pagesPerBlock = 0;  // database pages written by the desk's connection per block
    double cpuMsPerBlock = 0;  // the desk thread's own processor time per block
};

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

Turn controllerRate(PgServer& server, Central central, int cycles) {
    QTemporaryDir dir;
    writeBenchRooms(dir.path());
    SteppedClock clock;
    SilentSound sound;
    QuietDialogs dialogs;
    NoLockdown lockdown;
    DeskSession session;
    Assets assets(dir.path(), QCoreApplication::applicationDirPath());
    BoardModel board({clock, sound, dialogs, lockdown, assets, session});
    Database db(dir.path());
    db.open();
    RoomRecords ledger(db, clock, dialogs);
    board.setRecords(&ledger);
    board.startUp(dir.path());
    std::unique_ptr<OutboxSender> s;
    if (central != Central::Off) outbox::install(db.connection());
    if (central == Central::Sending) {
        s = sender(db.path(), server.connection(),
                   QStringLiteral("board%1").arg(QDateTime::currentMSecsSinceEpoch()));
        s->start();
    }
    double total = 0, cpu = 0;
    int pairs = 0, blocks = 0;
    int pagesBefore = 0, highest = 0;
    sqlite3_db_status(db.connection(), SQLITE_DBSTATUS_CACHE_WRITE, &pagesBefore, &highest, 0);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        for (int code : {3, 1, 2, 4, 5, 6}) {
            QByteArray block;
            for (int n = 1; n <= kRooms; ++n) {
                block.append(char(benchKeyOf(n)));
                block.append(char(code));
            }
            clock.advanceMinutes(1);
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = threadCpuSeconds();
            board.onControllerBlock(block);
            cpu += threadCpuSeconds() - cpuStart;
            total +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            pairs += kRooms;
            ++blocks;
        }
    }
    int pagesAfter = 0;
    sqlite3_db_status(db.connection(), SQLITE_DBSTATUS_CACHE_WRITE, &pagesAfter, &highest, 0);
    if (s) s->stop();
    board.setRecords(nullptr);
    return {pairs / total, double(pagesAfter - pagesBefore) / blocks, 1000.0 * cpu / blocks};
}

// The controller's rate with the central ledger off and on, in one run.
void controllerRates(PgServer& server) {
    // Short turns in alternation, so that what else the machine does falls on each alike.
    constexpr int kTurns = 7;
    constexpr int kCycles = 30;  // 180 blocks, three simulated hours
    std::vector<double> off, outboxOnly, on;
    double pagesOff = 0, pagesOn = 0;
    std::vector<double> cpuOff, cpuOn;
    for (int turn = 0; turn < kTurns; ++turn) {
        const Turn without = controllerRate(server, Central::Off, kCycles);
        off.push_back(without.pairsPerSecond);
        pagesOff = without.pagesPerBlock;
        cpuOff.push_back(without.cpuMsPerBlock);
        outboxOnly.push_back(controllerRate(server, Central::OutboxOnly, kCycles).pairsPerSecond);
        const Turn with = controllerRate(server, Central::Sending, kCycles);
        on.push_back(with.pairsPerSecond);
        pagesOn = with.pagesPerBlock;
        cpuOn.push_back(with.cpuMsPerBlock);
    }
    const double offRate = percentile(off, 0.5), onRate = percentile(on, 0.5);
    const double outboxRate = percentile(outboxOnly, 0.5);
    // The sender against no sender, the outbox kept by the desk's steps in both: what the
    // sender's thread costs the desk. Then the whole central ledger against none: the outbox
    // rows every step writes besides.
    std::printf(
        "  controller pairs handled/s, median of %d turns each: outbox kept, sender off %.0f, "
        "on %.0f (%+.1f %%; goal: within 5 %%)\n",
        kTurns, outboxRate, onRate, 100.0 * (onRate - outboxRate) / outboxRate);
    std::printf(
        "  the whole central ledger: none %.0f, outbox and sender %.0f (%+.1f %%), "
        "outbox alone %+.1f %%\n",
        offRate, onRate, 100.0 * (onRate - offRate) / offRate,
        100.0 * (outboxRate - offRate) / offRate);
    std::printf(
        "  per block of %d pairs, no central ledger / outbox and sender: database pages written "
        "%.1f / %.1f, "
        "processor time of the desk's thread %.2f / %.2f ms (medians)\n",
        kRooms, pagesOff, pagesOn, percentile(cpuOff, 0.5), percentile(cpuOn, 0.5));
}

// Ten sites of six months each straight into the central tables, then the month report.
void groupMonthReport(PgServer& server) {
    PgConnection pg(server.connection());
    const QDate first(2024, 1, 1), last(2024, 6, 30);
    int perSite = 0;
    for (int site = 0; site < 10; ++site) {
        const QString id = QStringLiteral("group%1").arg(site);
        pg.exec(QStringLiteral("INSERT INTO tavolen.site (site, name) VALUES ($1, $2)"),
                {id, QStringLiteral("모텔 %1").arg(site)});
        QStringList room, start, end, action, cash;
        const auto flush = [&] {
            const auto array = [](const QStringList& values) {
                return QStringLiteral("{\"") + values.join(QStringLiteral("\",\"")) +
                       QStringLiteral("\"}");
            };
            pg.exec(QStringLiteral(
                        "INSERT INTO tavolen.ledger SELECT $1, (SELECT coalesce(max(row_id), 0) "
                        "FROM tavolen.ledger WHERE site = $1) + n, r, s, e, a, c FROM "
                        "unnest($2::text[], $3::text[], $4::text[], $5::text[], $6::text[]) "
                        "WITH ORDINALITY AS t(r, s, e, a, c, n)"),
                    {id, array(room), array(start), array(end), array(action), array(cash)});
            room.clear(), start.clear(), end.clear(), action.clear(), cash.clear();
        };
        perSite = forEachBenchLedgerRow(first, last, [&](const BenchLedgerRow& r) {
            room << r.room;
            start << r.start;
            end << r.end;
            action << r.action;
            cash << r.cash;
            if (room.size() == 10000) flush();
        });
        flush();
    }
    pg.exec(QStringLiteral("ANALYZE tavolen.ledger"));
    std::vector<double> ms;
    GroupReport report;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        report = groupReport::month(pg, 2024, 3, 3);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    qint64 total = 0;
    for (const SiteFigures& s : report.sites)
        for (int d = 0; d < s.month.days(); ++d)
            total += s.month.dayUse[size_t(d)] + s.month.overnight[size_t(d)];
    std::printf(
        "  group month report, 10 sites x %d ledger rows (2024-03 of 6 months): median "
        "%.0f ms, best %.0f ms of 7 (goal: under 500 ms); month total %lld\n",
        perSite, percentile(ms, 0.5), percentile(ms, 0.0), static_cast<long long>(total));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!PgServer::available()) {
        std::fprintf(stderr, "PostgreSQL 15 is not installed (scripts/install-deps)\n");
        return 1;
    }
    PgServer server;
    if (!server.isUp()) {
        std::fprintf(stderr, "the server did not start: %s\n", qPrintable(server.log()));
        return 1;
    }
    {
        PgConnection pg(server.connection());
        centralSchema::migrate(pg);
    }
#ifdef NDEBUG
    const char* build = "release";
#else
    const char* build = "debug";
#endif
    std::printf("central_sender (%s, PostgreSQL 15 on a Unix socket, fsync off)\n", build);
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char* part) {
        return parts.isEmpty() || parts.contains(QLatin1String(part));
    };
    if (wanted("shipping")) {
        const double one = shippingRate(server, 1, 60000);
        std::printf(
            "  shipped from one desk: %.0f changes/s, %.0f times the line's %.0f pairs/s "
            "(goal: 20 times)\n",
            one, one / kLinePairsPerSecond, kLinePairsPerSecond);
        const double ten = shippingRate(server, 10, 20000);
        std::printf("  shipped from ten desks at once: %.0f changes/s in all, %.0f per desk\n", ten,
                    ten / 10);
    }
    if (wanted("lag")) lag(server, 20, 10);
    if (wanted("controller")) controllerRates(server);
    if (wanted("report")) groupMonthReport(server);
    return 0;
}
