// The desk's changes reach a real PostgreSQL once, in order, through crashes of either side,
// and the group's report equals each site's own.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <functional>

#include "central/CentralSchema.h"
#include "central/GroupReport.h"
#include "central/OutboxSender.h"
#include "central/PgConnection.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/HistoryLedger.h"
#include "store/IniStore.h"
#include "store/Outbox.h"
#include "store/StepJournal.h"
#include "support/Fakes.h"
#include "support/OutboxReplay.h"
#include "support/PgServer.h"
#include "support/StoreHelpers.h"

namespace {

// Waits for `done`, letting queued signals through; at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    return true;
}

// One desk: its database and ledger on a temporary directory, with the outbox.
struct Site {
    QString id;
    QTemporaryDir dir;
    FixedClock clock;
    ScriptedDialogs dialogs;
    std::unique_ptr<Database> db;
    std::unique_ptr<IniStore> ini;
    std::unique_ptr<HistoryLedger> ledger;
    StepJournal journal;
    std::unique_ptr<OutboxSender> sender;
    QStringList problems;
    QString name;  // `Motel`/`CoName`; a desk may have none

    explicit Site(QString site) : id(std::move(site)), name(QStringLiteral("모텔 ") + id) {
        copyFreshDatabase(dir.path());
        db = std::make_unique<Database>(dir.path());
        db->open();
        ini = std::make_unique<IniStore>(dir.filePath(QStringLiteral("TavolenConfig.ini")));
        ledger = std::make_unique<HistoryLedger>(*db, clock, dialogs);
        journal.setIni(ini.get());
        journal.setDatabase(db.get());
        ledger->collectStep = [this](StepStatement s) { journal.addStatement(std::move(s)); };
        outbox::install(db->connection());
    }
    ~Site() {
        if (sender) sender->stop();
    }
    void startSender(const QString& connection, int batchSize = 500) {
        OutboxSender::Options o;
        o.databasePath = db->path();
        o.connection = connection;
        o.site = id;
        o.siteName = name;
        o.batchSize = batchSize;
        o.pollMs = 20;
        o.firstRetryMs = 20;
        o.longestRetryMs = 300;
        sender = std::make_unique<OutboxSender>(o);
        QObject::connect(sender.get(), &OutboxSender::problem,
                         [this](const QString& text) { problems << text; });
        sender->start();
    }
    void step() { ASSERT_TRUE(journal.flush().written); }
    // A day-use stay turned overnight, finished 2 hours after it began; every third one
    // cancelled and every fifth moved.
    void stay(int n) {
        const QString room = QString::number(101 + n % 12);
        const QString key = clock.now().toString(QStringLiteral("yyyyMMddHHmm"));
        ledger->addHistory(room, QStringLiteral("대실"), QStringLiteral("1"));
        ledger->openLedgerRow(room, key, 0, 30000 + n, 50000);
        step();
        clock.advanceMinutes(20);
        if (n % 2) ledger->convertLedgerRow(room, key, QStringLiteral("숙박"), 30000, 50000 + n);
        step();
        clock.advanceMinutes(100);
        ledger->addHistory(room, QStringLiteral("완료"), QStringLiteral("1"));
        if (n % 3 == 0)
            ledger->cancelLedgerRow(room, key, QStringLiteral("대 실"));
        else if (n % 5 == 0)
            ledger->moveLedgerRow(room, key, QStringLiteral("대실"), 120, 30000, 50000);
        else
            ledger->closeLedgerRow(room, key);
        step();
    }
    qint64 lastSeq() {
        return rowsOf(*db, QStringLiteral("select coalesce(max(seq), 0) from tavolen_outbox"))[0][0]
            .toLongLong();
    }
};

class CentralLedgerTest : public ::testing::Test {
protected:
    std::unique_ptr<PgServer> pg;

    void SetUp() override {
        if (!PgServer::available()) GTEST_SKIP() << "PostgreSQL 15 is not installed";
        pg = std::make_unique<PgServer>();
        ASSERT_TRUE(pg->isUp()) << pg->log().toStdString();
        PgConnection c(pg->connection());
        EXPECT_EQ(centralSchema::migrate(c), centralSchema::latestVersion());
        EXPECT_EQ(centralSchema::migrate(c), 0);  // a second init finds nothing to do
    }
    qint64 centralLast(const QString& site) {
        const QString v = pg->psql(
            QStringLiteral("select last_seq from tavolen.site where site = '%1'").arg(site));
        return v.isEmpty() ? -1 : v.toLongLong();
    }
    bool caughtUp(Site& s, int ms = 30000) {
        return waitFor([&] { return centralLast(s.id) == s.lastSeq(); }, ms);
    }
    // No change twice, none missing, the history and ledger the desk holds.
    void expectCentralIsTheDesk(Site& s) {
        EXPECT_EQ(pg->psql(QStringLiteral("select count(*), min(seq), max(seq) from tavolen.change "
                                          "where site = '%1'")
                               .arg(s.id)),
                  QStringLiteral("%1|1|%1").arg(s.lastSeq()));
        PgConnection c(pg->connection());
        const auto central = [&](const char* sql) {
            std::map<qint64, QStringList> rows;
            const PgResult r = c.exec(QString::fromLatin1(sql), {s.id});
            for (int i = 0; i < r.rows(); ++i)
                rows[r.text(i, 0).toLongLong()] = {r.text(i, 1), r.text(i, 2), r.text(i, 3),
                                                   r.text(i, 4), r.text(i, 5)};
            return rows;
        };
        EXPECT_EQ(central("select row_id, roomnum, sdate, stime, action, comm from "
                          "tavolen.history where site = $1"),
                  historyRows(s.db->connection()));
        EXPECT_EQ(central("select row_id, roomnum, idatetime, odatetime, action, cash from "
                          "tavolen.ledger where site = $1"),
                  ledgerRows(s.db->connection()));
    }
    // The group's figures of the site's day and month equal the site's own settlement.
    void expectReportsEqual(Site& s, QDate day, int hour) {
        PgConnection c(pg->connection());
        const GroupReport group = groupReport::day(c, day, hour);
        const auto found = std::find_if(group.sites.begin(), group.sites.end(),
                                        [&](const SiteFigures& f) { return f.site == s.id; });
        ASSERT_NE(found, group.sites.end());
        DailySettlement own;
        own.fill(
            ledger::readStays(s.db->connection(), settlementDayFrom(day, hour), StayOrder::ByRoom));
        EXPECT_GT(own.dayUseSum() + own.overnightSum(), 0);
        EXPECT_EQ(found->dayUse, own.dayUseSum());
        EXPECT_EQ(found->overnight, own.overnightSum());
        EXPECT_EQ(found->cancelled, own.cancelledSum());
        EXPECT_EQ(found->moved, own.movedSum());
        EXPECT_EQ(found->lastSeq, s.lastSeq());

        const GroupReport month = groupReport::month(c, day.year(), day.month(), hour);
        const auto inMonth = std::find_if(month.sites.begin(), month.sites.end(),
                                          [&](const SiteFigures& f) { return f.site == s.id; });
        ASSERT_NE(inMonth, month.sites.end());
        const MonthSums ownMonth =
            ledger::readMonth(s.db->connection(), day.year(), day.month(), hour, false);
        EXPECT_EQ(inMonth->month.dayUse, ownMonth.dayUse);
        EXPECT_EQ(inMonth->month.overnight, ownMonth.overnight);
    }
};

TEST_F(CentralLedgerTest, AStaysChangesArriveOnceInOrderAndTheGroupReportEqualsTheSites) {
    Site s(QStringLiteral("site-a"));
    s.clock.set(QDateTime(QDate(2006, 4, 1), QTime(9, 0)));
    for (int n = 0; n < 8; ++n) s.stay(n);
    s.startSender(pg->connection(), 7);  // several batches
    ASSERT_TRUE(caughtUp(s)) << s.problems.join(u'\n').toStdString();
    ASSERT_TRUE(
        waitFor([&] { return s.sender->status().state == CentralLinkStatus::State::Connected; }));
    expectCentralIsTheDesk(s);
    // Marked sent only now, in order.
    EXPECT_EQ(
        rowsOf(*s.db, QStringLiteral("select count(*) from tavolen_outbox where sent_at is null")),
        (std::vector<QStringList>{{"0"}}));
    expectReportsEqual(s, QDate(2006, 4, 1), 3);
    EXPECT_EQ(s.sender->status().text(), QStringLiteral("● 중앙 연결"));

    // A clerk's deletion at the settlement reaches the central ledger too.
    execSql(*s.db, QStringLiteral(R"(delete from "Cash.DB" where rowid = 2)"));
    ASSERT_TRUE(caughtUp(s));
    expectCentralIsTheDesk(s);
    expectReportsEqual(s, QDate(2006, 4, 1), 3);

    // A row the desk cannot count stops the group's month as it stops the site's, by name.
    execSql(*s.db,
            QStringLiteral(
                R"(insert into "Cash.DB" values ('109', '200604011200', '', '대실', '3만원'))"));
    ASSERT_TRUE(caughtUp(s));
    QString own, group;
    try {
        ledger::readMonth(s.db->connection(), 2006, 4, 3, false);
    } catch (const SettlementError& e) {
        own = e.text();
    }
    try {
        PgConnection c(pg->connection());
        groupReport::month(c, 2006, 4, 3);
    } catch (const SettlementError& e) {
        group = e.text();
    }
    EXPECT_TRUE(own.contains(QStringLiteral("3만원"))) << own.toStdString();
    EXPECT_EQ(group, own);
}

TEST_F(CentralLedgerTest, AServerKilledInTheMiddleOfABatchLosesNothingAndDoublesNothing) {
    Site s(QStringLiteral("site-b"));
    for (int n = 0; n < 40; ++n) {
        for (int i = 0; i < 100; ++i)
            s.ledger->addHistory(QString::number(101 + i % 12), QStringLiteral("문열림"),
                                 QStringLiteral("1"));
        s.step();
        s.stay(n);
    }
    s.startSender(pg->connection(), 50);
    ASSERT_TRUE(waitFor([&] { return centralLast(s.id) > 200; }));
    pg->stop(QStringLiteral("immediate"));
    ASSERT_LT(centralLast(s.id), 0);  // it is down
    ASSERT_TRUE(
        waitFor([&] { return s.sender->status().state == CentralLinkStatus::State::Stalled; }));
    EXPECT_GT(s.sender->status().behind, 0);
    EXPECT_FALSE(s.problems.isEmpty());       // said once on the message line
    for (int n = 40; n < 45; ++n) s.stay(n);  // the desk goes on meanwhile
    ASSERT_TRUE(pg->start()) << pg->log().toStdString();
    ASSERT_TRUE(caughtUp(s, 60000));
    expectCentralIsTheDesk(s);
}

TEST_F(CentralLedgerTest, AnHourWithoutTheServerIsSentWholeAfterwards) {
    Site s(QStringLiteral("site-c"));
    s.clock.set(QDateTime(QDate(2006, 4, 1), QTime(9, 0)));
    s.stay(0);  // old enough to be purged during the hour
    s.clock.set(QDateTime(QDate(2006, 4, 3), QTime(12, 0)));
    pg->stop(QStringLiteral("immediate"));
    s.startSender(pg->connection());
    for (int minute = 0; minute < 60; ++minute) {
        if (minute % 4 == 0) {
            const QString key = s.clock.now().toString(QStringLiteral("yyyyMMddHHmm"));
            s.ledger->addHistory(QStringLiteral("201"), QStringLiteral("대실"),
                                 QStringLiteral("1"));
            s.ledger->openLedgerRow(QStringLiteral("201"), key, minute % 8 ? 1 : 0, 30000, 50000);
            s.step();
            s.ledger->closeLedgerRow(QStringLiteral("201"), key);
            s.step();
        }
        s.ledger->purge(1);  // the minute tick's purge
        s.clock.advanceMinutes(1);
    }
    // Each try counts what waits.
    ASSERT_TRUE(waitFor([&] {
        return s.sender->status().state == CentralLinkStatus::State::Stalled &&
               s.sender->status().behind == s.lastSeq();
    }));
    const CentralLinkStatus stalled = s.sender->status();
    EXPECT_TRUE(stalled.since.isValid());
    EXPECT_TRUE(stalled.text().startsWith(QStringLiteral("○ 중앙 끊김 ")))
        << stalled.text().toStdString();
    ASSERT_TRUE(pg->start()) << pg->log().toStdString();
    ASSERT_TRUE(caughtUp(s, 60000));
    expectCentralIsTheDesk(s);
    // What the desk purged, the group keeps.
    EXPECT_EQ(
        pg->psql(QStringLiteral("select count(*) from tavolen.history_kept where site = 'site-c'")),
        QStringLiteral("2"));
    expectReportsEqual(s, QDate(2006, 4, 3), 0);
}

TEST_F(CentralLedgerTest, AChangedRowUnderAnExistingNumberStopsTheSender) {
    Site s(QStringLiteral("site-d"));
    s.stay(1);
    s.startSender(pg->connection());
    ASSERT_TRUE(caughtUp(s));
    s.sender->stop();
    // The desk's copy of change 2 differs from what the central holds, and is sent again.
    execSql(*s.db, QStringLiteral("update tavolen_outbox set sent_at = null, payload = "
                                  "json_set(payload, '$.Cash', '99999') where seq = 2"));
    s.stay(2);
    s.startSender(pg->connection());
    ASSERT_TRUE(
        waitFor([&] { return s.sender->status().state == CentralLinkStatus::State::Stopped; }));
    const QString problem = s.sender->status().problem;
    EXPECT_TRUE(problem.contains(QStringLiteral("일련번호 2의 변경이 중앙 서버에 다른 값으로")))
        << problem.toStdString();
    ASSERT_TRUE(waitFor([&] { return !s.problems.isEmpty(); }));
    EXPECT_EQ(s.problems.last(), problem);
    EXPECT_EQ(s.sender->status().text(), QStringLiteral("✕ 중앙 전송 중지"));
    // Nothing of the batch, nor after it, went.
    EXPECT_EQ(centralLast(s.id), 5);
    EXPECT_EQ(pg->psql(QStringLiteral("select payload->>'Cash' from tavolen.change where seq = 2")),
              QStringLiteral("30001"));
}

TEST_F(CentralLedgerTest, ASitesRoleSeesAndSendsOnlyItsSiteTheGroupSeesAll) {
    {
        PgConnection c(pg->connection());
        centralSchema::grantSite(c, QStringLiteral("north"), QStringLiteral("north_desk"));
        centralSchema::grantSite(c, QStringLiteral("south"), QStringLiteral("south_desk"));
        c.exec(QStringLiteral("CREATE ROLE owner LOGIN IN ROLE tavolen_group"));
    }
    Site north(QStringLiteral("north")), south(QStringLiteral("south"));
    north.name = QString();
    north.stay(1);
    south.stay(2);
    south.stay(4);
    north.startSender(pg->connection(QStringLiteral("north_desk")));
    south.startSender(pg->connection(QStringLiteral("south_desk")));
    ASSERT_TRUE(caughtUp(north)) << north.problems.join(u'\n').toStdString();
    ASSERT_TRUE(caughtUp(south)) << south.problems.join(u'\n').toStdString();

    const QString count = QStringLiteral(
        "select string_agg(site || ':' || n, ',' order by site) "
        "from (select site, count(*) n from tavolen.ledger group by site) t");
    EXPECT_EQ(pg->psql(count, QStringLiteral("north_desk")), QStringLiteral("north:1"));
    EXPECT_EQ(pg->psql(count, QStringLiteral("south_desk")), QStringLiteral("south:2"));
    EXPECT_EQ(pg->psql(count, QStringLiteral("owner")), QStringLiteral("north:1,south:2"));
    EXPECT_EQ(pg->psql(QStringLiteral("select string_agg(site, ',') from tavolen.site"),
                       QStringLiteral("north_desk")),
              QStringLiteral("north"));
    // Writing under another site is refused.
    pg->psql(QStringLiteral("insert into tavolen.change (site, seq, uid, kind, payload) values "
                            "('south', 99, 'x', 'history_delete', '{\"row\": 1}')"),
             QStringLiteral("north_desk"));
    EXPECT_TRUE(pg->log().contains(QStringLiteral("row-level security")))
        << pg->log().toStdString();
    EXPECT_EQ(centralLast(QStringLiteral("south")), south.lastSeq());
}

TEST_F(CentralLedgerTest, TheCommandInitialisesGrantsAndWritesTheGroupReport) {
    Site s(QStringLiteral("east"));
    s.clock.set(QDateTime(QDate(2006, 4, 2), QTime(10, 0)));
    for (int n = 0; n < 4; ++n) s.stay(n);
    s.startSender(pg->connection());
    ASSERT_TRUE(caughtUp(s));

    const auto tavolen = [&](const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"),
                QStringList{QStringLiteral("central")} + args +
                    (args.contains(QStringLiteral("--connection"))
                         ? QStringList()
                         : QStringList{QStringLiteral("--connection"), pg->connection()}));
        p.waitForFinished(60000);
        if (out) *out = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
        return p.exitCode();
    };
    QString out;
    EXPECT_EQ(tavolen({QStringLiteral("init")}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("0 applied")));
    EXPECT_EQ(
        tavolen({QStringLiteral("grant"), QStringLiteral("east"), QStringLiteral("east_desk")},
                &out),
        0)
        << out.toStdString();
    QTemporaryDir reports;
    for (const char* type : {"csv", "xlsx", "pdf"}) {
        const QString file = reports.filePath(QStringLiteral("group.") + QLatin1String(type));
        EXPECT_EQ(
            tavolen({QStringLiteral("report"), QStringLiteral("day"), QStringLiteral("2006-04-02"),
                     QStringLiteral("--hour"), QStringLiteral("3"), QStringLiteral("--out"), file},
                    &out),
            0)
            << out.toStdString();
        EXPECT_GT(QFileInfo(file).size(), 100) << type;
    }
    DailySettlement own;
    own.fill(ledger::readStays(s.db->connection(), settlementDayFrom(QDate(2006, 4, 2), 3),
                               StayOrder::ByRoom));
    const QString csv = QString::fromUtf8(readBytes(reports.filePath(QStringLiteral("group.csv"))));
    EXPECT_TRUE(
        csv.contains(QStringLiteral("합계,%1,%1").arg(own.dayUseSum() + own.overnightSum())))
        << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("모텔 east (east)")));
    EXPECT_TRUE(csv.contains(QStringLiteral("#%1").arg(s.lastSeq())));

    const QString month = reports.filePath(QStringLiteral("month.csv"));
    EXPECT_EQ(tavolen({QStringLiteral("report"), QStringLiteral("month"), QStringLiteral("2006-04"),
                       QStringLiteral("--out"), month}),
              0);
    EXPECT_EQ(tavolen({QStringLiteral("report"), QStringLiteral("month"), QStringLiteral("2006-13"),
                       QStringLiteral("--out"), month},
                      &out),
              2);
    EXPECT_TRUE(out.contains(QStringLiteral("bad month")));
    EXPECT_EQ(tavolen({QStringLiteral("init"), QStringLiteral("--connection"),
                       QStringLiteral("host=/nonexistent user=x password=secret")},
                      &out),
              2);
    EXPECT_TRUE(out.contains(QStringLiteral("passfile"))) << out.toStdString();
}

}  // namespace
