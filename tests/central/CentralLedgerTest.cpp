// The desk's changes reach a real PostgreSQL once, in order, through crashes of either side,
// and the group's report equals each site's own.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <functional>

#include "CentralServerTest.h"
#include "audit/AuditTrail.h"
#include "central/CentralSchema.h"
#include "central/GroupReport.h"
#include "central/OutboxSender.h"
#include "central/PgConnection.h"
#include "settlement/LedgerReader.h"
#include "settlement/Settlement.h"
#include "store/Outbox.h"
#include "support/DeskTables.h"
#include "support/OutboxReplay.h"
#include "support/StoreHelpers.h"

namespace {

// One desk: its database and ledger on a temporary directory, with the outbox.
struct Site : DeskTables {
    QString id;
    std::unique_ptr<OutboxSender> sender;
    QStringList problems;
    QString name;  // `Motel`/`CoName`; a desk may have none

    explicit Site(QString site) : id(std::move(site)), name(QStringLiteral("모텔 ") + id) {
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
        ledger->openLedgerRow(room, key, StayKind::DayUse, 30000 + n, 50000);
        step();
        clock.advanceMinutes(20);
        if (n % 2) ledger->convertLedgerRow(room, key, StayKind::Overnight, 30000, 50000 + n);
        step();
        clock.advanceMinutes(100);
        ledger->addHistory(room, QStringLiteral("완료"), QStringLiteral("1"));
        if (n % 3 == 0)
            ledger->cancelLedgerRow(room, key, StayKind::DayUse);
        else if (n % 5 == 0)
            ledger->moveLedgerRow(room, key, StayKind::DayUse, 120, 30000, 50000);
        else
            ledger->closeLedgerRow(room, key);
        step();
    }
    qint64 lastSeq() {
        return rowsOf(*db, QStringLiteral("select coalesce(max(seq), 0) from tavolen_outbox"))[0][0]
            .toLongLong();
    }
};

class CentralLedgerTest : public CentralServerTest {
protected:
    bool caughtUp(Site& s, int ms = 30000) {
        return waitFor([&] { return centralLast(s.id) == s.lastSeq(); }, ms);
    }
    // No change twice, none missing, the history and ledger the desk holds.
    void expectCentralIsTheDesk(Site& s) {
        expectNoDuplicateNoGap(s.id, s.lastSeq());
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
    // Marked sent after the commit, once nothing more comes.
    EXPECT_TRUE(waitFor([&] {
        return rowsOf(*s.db, QStringLiteral(
                                 "select count(*) from tavolen_outbox where sent_at is null")) ==
               std::vector<QStringList>{{"0"}};
    }));
    expectReportsEqual(s, QDate(2006, 4, 1), 3);
    EXPECT_EQ(s.sender->status().text(), QStringLiteral("● 중앙 연결"));

    // A clerk's deletion at the settlement reaches the central ledger too.
    execSql(*s.db, QStringLiteral(R"(delete from "Cash.DB" where rowid = 2)"));
    ASSERT_TRUE(caughtUp(s));
    expectCentralIsTheDesk(s);
    expectReportsEqual(s, QDate(2006, 4, 1), 3);

    // A row the desk cannot count stops the group's month as it stops the site's, by name.
    execSql(*s.db, QStringLiteral(
                       R"(insert into "Cash.DB" values ('109', '200604011200', '', '대실', '0'))"));
    for (const QString& cash : {QStringLiteral("3만원"), QStringLiteral("300000000")}) {
        execSql(
            *s.db,
            QStringLiteral(R"(update "Cash.DB" set Cash = '%1' where roomNum = '109')").arg(cash));
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
        EXPECT_TRUE(own.contains(cash)) << own.toStdString();
        EXPECT_EQ(group, own);
    }
}

// Changes sent as one batch leave the tables as the same changes sent one by one: a purge
// keeps the row as the batch left it before, a row number used again after a deletion is a
// new row, and the hourly sums follow.
TEST_F(CentralLedgerTest, ABatchLeavesTheTablesAsItsChangesOneByOneWould) {
    const auto ledgerRow = [](int row, const char* room, const char* start, const char* cash,
                              const char* action = "대실") {
        return QStringLiteral(R"({"row": %1, "roomNum": "%2", "IDateTime": "%3", )"
                              R"("ODateTime": "", "Action": "%4", "Cash": "%5"})")
            .arg(row)
            .arg(QString::fromUtf8(room), QLatin1String(start), QString::fromUtf8(action),
                 QString::fromUtf8(cash));
    };
    const auto historyRow = [](int row, const char* room) {
        return QStringLiteral(R"({"row": %1, "roomNum": "%2", "Sdate": "20060401", )"
                              R"("Stime": "0900", "Action": "대실", "Comm": "1"})")
            .arg(row)
            .arg(QLatin1String(room));
    };
    const auto only = [](int row) { return QStringLiteral(R"({"row": %1})").arg(row); };
    using Change = std::pair<QString, QString>;
    const std::vector<Change> before = {
        {"ledger_insert", ledgerRow(1, "101", "200604010900", "30000")},
        {"ledger_insert", ledgerRow(2, "102", "200604011000", "50000", "숙박")},
        {"ledger_insert", ledgerRow(3, "103", "200604011100", "30000")},
        {"history_insert", historyRow(1, "101")},
    };
    const std::vector<Change> batch = {
        {"ledger_update", ledgerRow(1, "101", "200604010900", "35000")},
        {"ledger_purge", only(1)},  // kept as changed in this batch
        {"ledger_purge", only(2)},  // kept as the table held it
        {"ledger_insert", ledgerRow(4, "104", "200604011200", "30000")},
        {"ledger_update", ledgerRow(4, "104", "200604011200", "40000")},
        {"ledger_purge", only(4)},
        {"ledger_insert", ledgerRow(4, "105", "200604011300", "30000")},  // its number again
        {"ledger_delete", only(3)},
        {"ledger_insert", ledgerRow(3, "106", "200604011400", "3만원")},
        {"ledger_purge", only(9)},  // nothing there
        {"history_purge", only(1)},
        {"history_insert", historyRow(1, "107")},
        {"history_delete", only(1)},
        {"history_insert", historyRow(2, "108")},
    };
    PgConnection c(pg->connection());
    c.exec(QStringLiteral("INSERT INTO tavolen.site (site) VALUES ('whole'), ('single')"));
    qint64 seq = 0;
    const auto send = [&](const QString& site, const std::vector<Change>& changes, qint64 first) {
        QStringList values;
        for (const auto& [kind, payload] : changes) {
            const qint64 n = first + qint64(values.size());
            values << QStringLiteral("('%1', %2, '%1-%2', '%3', '%4')")
                          .arg(site)
                          .arg(n)
                          .arg(kind, payload);
        }
        c.exec(
            QStringLiteral("INSERT INTO tavolen.change (site, seq, uid, kind, payload) VALUES %1")
                .arg(values.join(u',')));
    };
    send(QStringLiteral("whole"), before, 1);
    send(QStringLiteral("single"), before, 1);
    seq = qint64(before.size()) + 1;
    send(QStringLiteral("whole"), batch, seq);
    for (const Change& change : batch) send(QStringLiteral("single"), {change}, seq++);

    const auto rows = [&](const QString& site, const char* table, const char* columns) {
        return pg->psql(QStringLiteral("select string_agg(r::text, ' ' order by r) from "
                                       "(select %1 from tavolen.%2 where site = '%3') r")
                            .arg(QLatin1String(columns), QLatin1String(table), site));
    };
    const std::pair<const char*, const char*> tables[] = {
        {"history", "row_id, roomnum, sdate, stime, action, comm"},
        {"history_kept", "purge_seq, row_id, roomnum, sdate, stime, action, comm"},
        {"ledger", "row_id, roomnum, idatetime, odatetime, action, cash"},
        {"ledger_kept", "purge_seq, row_id, roomnum, idatetime, odatetime, action, cash"},
        {"ledger_hour", "hour, action, amount"},
    };
    for (const auto& [table, columns] : tables)
        EXPECT_EQ(rows(QStringLiteral("whole"), table, columns),
                  rows(QStringLiteral("single"), table, columns))
            << table;
    EXPECT_EQ(rows(QStringLiteral("whole"), "ledger_kept", "purge_seq, roomnum, cash"),
              QStringLiteral("(6,101,35000) (7,102,50000) (10,104,40000)"));
    // The sums are those of what the site holds and keeps, uncountable rows left out.
    EXPECT_EQ(
        pg->psql(QStringLiteral("select string_agg(hour || ':' || amount, ' ' order by hour) from "
                                "tavolen.ledger_hour where site = 'whole' and amount <> 0")),
        QStringLiteral("2006040109:35000 2006040110:50000 2006040112:40000 "
                       "2006040113:30000"));
    EXPECT_EQ(centralLast(QStringLiteral("whole")), seq - 1);
}

// A central ledger made before the hourly sums gets them, and its sites' roles may read them,
// when it is brought up to date; the group's month equals the site's then and afterwards.
TEST_F(CentralLedgerTest, AnOlderCentralLedgerIsUpgradedWithItsSums) {
    {
        PgConnection c(pg->connection());
        c.exec(QStringLiteral("DROP SCHEMA tavolen CASCADE"));
        EXPECT_EQ(centralSchema::migrate(c, 1), 1);
        centralSchema::grantSite(c, QStringLiteral("old"), QStringLiteral("old_desk"));
    }
    Site s(QStringLiteral("old"));
    s.clock.set(QDateTime(QDate(2006, 4, 1), QTime(9, 0)));
    for (int n = 0; n < 6; ++n) s.stay(n);
    s.startSender(pg->connection(QStringLiteral("old_desk")));
    ASSERT_TRUE(caughtUp(s)) << s.problems.join(u'\n').toStdString();
    // The older server takes no heartbeat: said once, and the changes go on.
    ASSERT_TRUE(waitFor([&] { return !s.problems.filter(QStringLiteral("하트비트")).isEmpty(); }));
    s.stay(6);
    ASSERT_TRUE(caughtUp(s));
    EXPECT_EQ(s.problems.filter(QStringLiteral("하트비트")).size(), 1);
    s.sender->stop();
    // A row of March the desk purged long ago.
    pg->psql(
        QStringLiteral("insert into tavolen.ledger_kept values ('old', 1, 99, '120', "
                       "'200603150500', '200603150700', '대실', '25000')"));
    {
        PgConnection c(pg->connection());
        EXPECT_EQ(centralSchema::migrate(c), centralSchema::latestVersion() - 1);
    }
    const auto sums = [&](const char* rows) {
        return pg->psql(
            QStringLiteral("select string_agg(hour || ' ' || action || ' ' || amount, ', ' "
                           "order by hour, action) from (%1) t where amount <> 0")
                .arg(QString::fromUtf8(rows)));
    };
    EXPECT_EQ(sums("select hour, action, amount from tavolen.ledger_hour"),
              sums("select left(idatetime, 10) as hour, action, sum(cash::bigint) as amount "
                   "from (select * from tavolen.ledger union all select site, row_id, roomnum, "
                   "idatetime, odatetime, action, cash from tavolen.ledger_kept) r "
                   "where action in ('대실', '숙박') and cash ~ '^[0-9]+$' group by 1, 2"));
    {
        PgConnection c(pg->connection());
        const GroupReport march = groupReport::month(c, 2006, 3, 3);
        ASSERT_EQ(march.sites.size(), 1u);
        EXPECT_EQ(march.sites[0].month.dayUse[14], 25000);
    }
    expectReportsEqual(s, QDate(2006, 4, 1), 3);
    s.clock.set(QDateTime(QDate(2006, 4, 2), QTime(9, 0)));
    s.stay(7);
    s.startSender(pg->connection(QStringLiteral("old_desk")));
    ASSERT_TRUE(caughtUp(s)) << s.problems.join(u'\n').toStdString();
    expectReportsEqual(s, QDate(2006, 4, 2), 3);
    EXPECT_NE(pg->psql(QStringLiteral("select count(*) from tavolen.ledger_hour"),
                       QStringLiteral("old_desk")),
              QStringLiteral("0"))
        << pg->log().toStdString();
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
            s.ledger->openLedgerRow(QStringLiteral("201"), key,
                                    minute % 8 ? StayKind::Overnight : StayKind::DayUse, 30000,
                                    50000);
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

TEST_F(CentralLedgerTest, TheTrailOfDeskActionsReachesTheCentralLedgerAndOutlivesTheDesk) {
    Site s(QStringLiteral("site-trail"));
    AuditTrail trail(*s.db, s.clock);
    trail.record({audit::Action::Backup, 1, {{QStringLiteral("directory"), QStringLiteral("/b")}}});
    s.stay(0);
    s.clock.advanceMinutes(5);
    trail.record({audit::Action::PasswordChanged, 3, {}});
    s.startSender(pg->connection());
    ASSERT_TRUE(caughtUp(s));
    expectCentralIsTheDesk(s);
    const QString rows = QStringLiteral(
        "select string_agg(concat_ws(' ', at, grade, action, detail::text), ' | ' order by seq) "
        "from tavolen.audit where site = 'site-trail'");
    const QString expected = QStringLiteral(
        "2006-04-01 17:35:00 1 backup {\"directory\": \"/b\"} | "
        "2006-04-01 19:40:00 3 password_changed {}");
    EXPECT_EQ(pg->psql(rows), expected);

    // The group's month lists each site's trail, newest first, in Korean; a busy site's is cut
    // after its newest rows, saying how many older ones were left out.
    pg->psql(
        QStringLiteral(
            "insert into tavolen.site (site) values ('busy'); insert into tavolen.audit select "
            "'busy', n, 'u' || n, '2006-04-02 ' || to_char(n, 'FM00000'), 1, 'sign_in', '{}' from "
            "generate_series(1, %1) n; insert into tavolen.audit values ('busy', 0, 'may', "
            "'2006-05-01 00:00:00', 1, 'sign_out', '{}')")
            .arg(groupReport::kTrailRowsPerSite + 3));
    PgConnection c(pg->connection());
    GroupReport month = groupReport::month(c, 2006, 4, 3);
    const size_t monthRows = month.rows.size();
    groupReport::addTrail(c, month, 2006, 4);
    const std::vector<QStringList> trailRows(month.rows.begin() + qsizetype(monthRows),
                                             month.rows.end());
    ASSERT_EQ(trailRows.size(), 3 + groupReport::kTrailRowsPerSite + 1 + 2u);
    EXPECT_EQ(trailRows[1], QStringList{QStringLiteral("작업 기록 (최근 순)")});
    EXPECT_EQ(trailRows[3][1], QStringLiteral("2006-04-02 00503"));
    EXPECT_EQ(trailRows[3][3], QStringLiteral("인증"));
    EXPECT_EQ(trailRows[3 + groupReport::kTrailRowsPerSite],
              QStringList({QStringLiteral("busy"), QStringLiteral("이전 기록 3건 생략")}));
    EXPECT_EQ(trailRows[trailRows.size() - 2],
              QStringList({QStringLiteral("모텔 site-trail (site-trail)"),
                           QStringLiteral("2006-04-01 19:40:00"), QStringLiteral("공급업체"),
                           QStringLiteral("암호 변경"), QString()}));
    EXPECT_EQ(trailRows.back()[4], QStringLiteral("{\"directory\": \"/b\"}"));

    // The desk's database lost: the central ledger keeps its trail.
    s.sender->stop();
    s.sender.reset();
    s.ledger.reset();
    s.db.reset();
    QDir(s.dir.filePath(QStringLiteral("DB"))).removeRecursively();
    EXPECT_EQ(pg->psql(rows), expected);
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

    // Each sender beats for its own site; a role can neither beat for another site nor set a
    // time of its own.
    const QString beats = QStringLiteral(
        "select string_agg(site || ':' || (at > now() - interval '1 minute' and at <= "
        "clock_timestamp()), ',' order by site) from tavolen.heartbeat");
    ASSERT_TRUE(waitFor([&] { return pg->psql(beats) == QStringLiteral("north:true,south:true"); }))
        << pg->psql(beats).toStdString();
    pg->psql(QStringLiteral("select tavolen.beat('south')"), QStringLiteral("north_desk"));
    EXPECT_TRUE(pg->log().contains(QStringLiteral("row-level security")))
        << pg->log().toStdString();
    pg->psql(QStringLiteral("update tavolen.heartbeat set at = '2100-01-01'"),
             QStringLiteral("north_desk"));
    pg->psql(QStringLiteral("insert into tavolen.heartbeat values ('north', '2100-01-01') on "
                            "conflict (site) do update set at = excluded.at"),
             QStringLiteral("north_desk"));
    EXPECT_EQ(pg->psql(beats), QStringLiteral("north:true,south:true"));
    EXPECT_EQ(pg->psql(QStringLiteral("select string_agg(site, ',') from tavolen.heartbeat"),
                       QStringLiteral("north_desk")),
              QStringLiteral("north"));
}

// A site's role on a server that still lets every role create in `public`, as servers made
// before PostgreSQL 15 do, plants functions and an operator there that fit the desk's
// statements better than the catalog's own. None is called: not by another site's sender, not
// by the group's report, not by the administrator's `central init`, which takes the right away.
TEST_F(CentralLedgerTest, AFunctionASitePlantsInPublicIsNeverCalled) {
    {
        PgConnection c(pg->connection());
        centralSchema::grantSite(c, QStringLiteral("mallory"), QStringLiteral("mallory_desk"));
        centralSchema::grantSite(c, QStringLiteral("honest"), QStringLiteral("honest_desk"));
    }
    pg->psql(QStringLiteral("GRANT CREATE ON SCHEMA public TO PUBLIC"));
    pg->psql(QStringLiteral(R"SQL(
CREATE TABLE public.caught (who name, what text);
GRANT INSERT ON public.caught TO PUBLIC;
CREATE FUNCTION public.to_timestamp(numeric) RETURNS timestamptz LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO public.caught VALUES (current_user, 'to_timestamp');
    RETURN pg_catalog.to_timestamp($1::float8);
END $$;
CREATE FUNCTION public.divide(bigint, numeric) RETURNS numeric LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO public.caught VALUES (current_user, '/');
    RETURN $1::numeric OPERATOR(pg_catalog./) $2;
END $$;
CREATE OPERATOR public./ (LEFTARG = bigint, RIGHTARG = numeric, FUNCTION = public.divide);
CREATE FUNCTION public.pg_advisory_xact_lock(integer) RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO public.caught VALUES (current_user, 'pg_advisory_xact_lock');
END $$;
CREATE FUNCTION public.width_bucket(text, text[]) RETURNS integer LANGUAGE plpgsql AS $$
BEGIN
    INSERT INTO public.caught VALUES (current_user, 'width_bucket');
    RETURN pg_catalog.width_bucket($1, $2);
END $$;
)SQL"),
             QStringLiteral("mallory_desk"));
    ASSERT_EQ(pg->psql(QStringLiteral("select count(*) from pg_proc where pronamespace = "
                                      "'public'::regnamespace")),
              QStringLiteral("4"))
        << pg->log().toStdString();

    Site s(QStringLiteral("honest"));
    s.clock.set(QDateTime(QDate(2006, 4, 1), QTime(9, 0)));
    s.stay(1);
    s.startSender(pg->connection(QStringLiteral("honest_desk")));
    ASSERT_TRUE(caughtUp(s)) << s.problems.join(u'\n').toStdString();
    expectReportsEqual(s, QDate(2006, 4, 1), 3);
    {
        PgConnection c(pg->connection());
        centralSchema::migrate(c);
    }
    EXPECT_EQ(pg->psql(QStringLiteral("select coalesce(string_agg(who || ' ' || what, ', '), "
                                      "'none') from public.caught")),
              QStringLiteral("none"));
    EXPECT_EQ(
        pg->psql(QStringLiteral("select has_schema_privilege('mallory_desk', 'public', 'CREATE')")),
        QStringLiteral("f"));
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
    const QByteArray csvBytes = readBytes(reports.filePath(QStringLiteral("group.csv")));
    // A spreadsheet opens it as UTF-8.
    EXPECT_TRUE(csvBytes.startsWith("\xEF\xBB\xBF" + QStringLiteral("그룹 일합계").toUtf8()));
    const QString csv = QString::fromUtf8(csvBytes);
    EXPECT_TRUE(
        csv.contains(QStringLiteral("합계,%1,%1").arg(own.dayUseSum() + own.overnightSum())))
        << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral("모텔 east (east)")));
    EXPECT_TRUE(csv.contains(QStringLiteral("#%1").arg(s.lastSeq())));

    const QString month = reports.filePath(QStringLiteral("month.csv"));
    EXPECT_EQ(tavolen({QStringLiteral("report"), QStringLiteral("month"), QStringLiteral("2006-04"),
                       QStringLiteral("--trail"), QStringLiteral("--out"), month}),
              0);
    EXPECT_TRUE(QString::fromUtf8(readBytes(month))
                    .contains(QStringLiteral("작업 기록 (최근 순)\r\n사이트,시각,등급,작업,내용\r\n"
                                             "이 달의 작업 기록이 없습니다\r\n")));
    EXPECT_EQ(
        tavolen({QStringLiteral("report"), QStringLiteral("day"), QStringLiteral("2006-04-02"),
                 QStringLiteral("--trail"), QStringLiteral("--out"), month},
                &out),
        2);
    EXPECT_TRUE(out.contains(QStringLiteral("--trail goes with report month")));
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
