// The real desk program sending to a real PostgreSQL: killed in the middle of a batch, and ten
// of them at once under controller storms.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <functional>

#include "CentralServerTest.h"
#include "central/CentralSchema.h"
#include "central/GroupReport.h"
#include "central/PgConnection.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "support/StoreHelpers.h"

namespace {

constexpr int kRooms = 12;

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(100);
    }
    return true;
}

// Reads one number from a desk's database while the desk runs.
qint64 deskValue(const QString& dbPath, const char* sql) {
    sqlite3* db = nullptr;
    qint64 value = -1;
    if (sqlite3_open_v2(qPrintable(dbPath), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &q, nullptr) == SQLITE_OK &&
            sqlite3_step(q) == SQLITE_ROW)
            value = sqlite3_column_int64(q, 0);
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return value;
}

struct Desk {
    QString site;
    QTemporaryDir dir;
    QProcess program;
    QProcess sim;

    QString dbPath() const { return dir.filePath(QStringLiteral("DB/motel.db")); }
    qint64 outboxLast() const {
        return deskValue(dbPath(), "SELECT coalesce(max(seq), 0) FROM tavolen_outbox");
    }
    void configure(const QString& connection, const QString& port) {
        IniStore ini(dir.filePath(QStringLiteral("TavolenConfig.ini")));
        QList<IniStore::Change> changes;
        for (int n = 1; n <= kRooms; ++n) {
            const QString r = QStringLiteral("r%1").arg(n);
            changes.append({QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                            QString::number(100 + n)});
            changes.append(
                {QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), QStringLiteral("1")});
            changes.append({QStringLiteral("RoomKey"), r, QString::number(128 + n)});
            changes.append({QStringLiteral("Sleep"), r, QString::number(n % 2)});
            changes.append(
                {QStringLiteral("Money"), QStringLiteral("rd%1").arg(n), QStringLiteral("30000")});
            changes.append(
                {QStringLiteral("Money"), QStringLiteral("rs%1").arg(n), QStringLiteral("50000")});
        }
        changes.append(
            {QStringLiteral("Motel"), QStringLiteral("CoName"), QStringLiteral("모텔 ") + site});
        changes.append({QStringLiteral("Motel"), QStringLiteral("ComPort"), port});
        changes.append({QStringLiteral("Central"), QStringLiteral("Enabled"), QStringLiteral("1")});
        changes.append({QStringLiteral("Central"), QStringLiteral("Connection"), connection});
        changes.append({QStringLiteral("Central"), QStringLiteral("Site"), site});
        ini.writeStrings(changes);
    }
    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                      {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--windowed"),
                       QStringLiteral("--quit-after"), QStringLiteral("120000")});
    }
    ~Desk() {
        for (QProcess* p : {&program, &sim}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
};

class RealDesksTest : public CentralServerTest {};

TEST_F(RealDesksTest, ADeskKilledInTheMiddleOfABatchSendsTheRestOnceAfterItsRestart) {
    Desk desk;
    desk.site = QStringLiteral("killed");
    {
        // A long history of today made before the central ledger was enabled (so that no purge
        // touches it): the first start puts it all in the outbox, many batches of it.
        copyFreshDatabase(desk.dir.path());
        Database db(desk.dir.path());
        db.open();
        execSql(db,
                QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                               "where i < 30000) insert into \"room.DB\" select '101', "
                               "strftime('%Y%m%d', 'now', 'localtime'), strftime('%H%M', 'now', "
                               "'localtime'), '문열림', '1' from n"));
    }
    desk.configure(pg->connection(), QStringLiteral("/nonexistent/tty"));
    desk.start();
    ASSERT_TRUE(waitUntil([&] { return centralLast(desk.site) > 0; }, 30000));
    ::kill(pid_t(desk.program.processId()), SIGKILL);
    desk.program.waitForFinished(5000);
    const qint64 atKill = centralLast(desk.site);
    const qint64 last = desk.outboxLast();
    EXPECT_EQ(last, 30000);
    EXPECT_LT(atKill, last) << "the desk was killed after it had sent everything";
    desk.start();
    // The restart finds the run cut short and records it in the trail: one change more.
    ASSERT_TRUE(waitUntil([&] { return centralLast(desk.site) == last + 1; }, 60000));
    expectNoDuplicateNoGap(desk.site, last + 1);
    EXPECT_EQ(pg->psql(QStringLiteral("select action from tavolen.audit where site = 'killed'")),
              QStringLiteral("unclean_start"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return deskValue(desk.dbPath(),
                             "SELECT count(*) FROM tavolen_outbox WHERE sent_at IS NULL") == 0;
        },
        10000));
}

TEST_F(RealDesksTest, TenDesksUnderControllerStormsEachEqualTheirOwnReport) {
    constexpr int kDesks = 10;
    // Every room through its stays, over and over: ready -> day-use or overnight -> vacated ->
    // cleaning -> ready, with door events between.
    QByteArray storm;
    for (int round = 0; round < 6; ++round)
        for (int event : {3, 1, 2, 4, 5, 6}) {
            for (int key = 1; key <= kRooms; ++key)
                storm += QStringLiteral("key %1 %2\n").arg(key).arg(event).toLatin1();
            storm += "wait 60\n";
        }
    storm += "quit\n";
    std::vector<std::unique_ptr<Desk>> desks;
    {
        PgConnection c(pg->connection());
        for (int i = 0; i < kDesks; ++i) {
            auto desk = std::make_unique<Desk>();
            desk->site = QStringLiteral("site%1").arg(i);
            centralSchema::grantSite(c, desk->site, desk->site + QStringLiteral("_desk"));
            desks.push_back(std::move(desk));
        }
    }
    for (auto& desk : desks) {
        desk->sim.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen-sim"), QStringList());
        ASSERT_TRUE(desk->sim.waitForStarted(10000));
        ASSERT_TRUE(waitUntil(
            [&] {
                desk->sim.waitForReadyRead(100);
                return desk->sim.canReadLine();
            },
            10000));
        const QString device = QString::fromLocal8Bit(desk->sim.readLine()).trimmed();
        desk->configure(pg->connection(desk->site + QStringLiteral("_desk")), device);
        desk->start();
    }
    // The storms begin once every desk is up and has its outbox.
    for (auto& desk : desks)
        ASSERT_TRUE(waitUntil([&] { return desk->outboxLast() >= 0; }, 60000))
            << desk->site.toStdString();
    for (auto& desk : desks) desk->sim.write(storm);
    for (auto& desk : desks)
        ASSERT_TRUE(desk->sim.waitForFinished(90000)) << desk->site.toStdString();
    for (auto& desk : desks) {
        // Everything the desk wrote arrives.
        qint64 last = 0;
        ASSERT_TRUE(waitUntil(
            [&] {
                last = desk->outboxLast();
                return last > 0 && centralLast(desk->site) == last;
            },
            60000))
            << desk->site.toStdString() << " " << last << " " << centralLast(desk->site)
            << readBytes(desk->dir.filePath(QStringLiteral("tavolen.log"))).toStdString()
            << desk->sim.readAllStandardError().toStdString();
        expectNoDuplicateNoGap(desk->site, last);
    }
    for (auto& desk : desks) {
        desk->program.kill();
        desk->program.waitForFinished(5000);
    }

    const QDate today = QDate::currentDate();
    PgConnection group(pg->connection());
    const GroupReport day = groupReport::day(group, today, 0);
    const GroupReport month = groupReport::month(group, today.year(), today.month(), 0);
    ASSERT_EQ(day.sites.size(), size_t(kDesks));
    for (size_t i = 0; i < desks.size(); ++i) {
        Database db(desks[i]->dir.path());
        db.open();
        DailySettlement own;
        own.fill(
            ledger::readStays(db.connection(), settlementDayFrom(today, 0), StayOrder::ByRoom));
        EXPECT_GT(own.stays().size(), 0u);
        EXPECT_EQ(day.sites[i].site, desks[i]->site);
        EXPECT_EQ(day.sites[i].dayUse, own.dayUseSum()) << desks[i]->site.toStdString();
        EXPECT_EQ(day.sites[i].overnight, own.overnightSum()) << desks[i]->site.toStdString();
        const MonthSums ownMonth =
            ledger::readMonth(db.connection(), today.year(), today.month(), 0, false);
        EXPECT_EQ(month.sites[i].month.dayUse, ownMonth.dayUse);
        EXPECT_EQ(month.sites[i].month.overnight, ownMonth.overnight);
    }
    // A site's role reads its own site only.
    EXPECT_EQ(pg->psql(QStringLiteral("select string_agg(distinct site, ',') from tavolen.ledger"),
                       QStringLiteral("site3_desk")),
              QStringLiteral("site3"));
    EXPECT_EQ(pg->psql(QStringLiteral("select count(distinct site) from tavolen.change"),
                       QStringLiteral("site3_desk")),
              QStringLiteral("1"));
}

}  // namespace
