// The outbox holds exactly the changes the history and ledger tables hold: written in the same
// transaction as the step, purges and deletions included.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/Outbox.h"
#include "support/DeskTables.h"
#include "support/OutboxReplay.h"

namespace {

class OutboxTest : public ::testing::Test, protected DeskTables {
protected:
    void stay(const QString& room) {
        const QString key = clock.now().toString(QStringLiteral("yyyyMMddHHmm"));
        ledger->addHistory(room, QStringLiteral("대실"), QStringLiteral("1"));
        ledger->openLedgerRow(room, key, StayKind::DayUse, 30000, 50000);
        ASSERT_TRUE(journal.flush().written);
        clock.advanceMinutes(30);
        ledger->convertLedgerRow(room, key, StayKind::Overnight, 30000, 50000);
        ASSERT_TRUE(journal.flush().written);
        clock.advanceMinutes(90);
        ledger->addHistory(room, QStringLiteral("완료"), QStringLiteral("1"));
        ledger->closeLedgerRow(room, key);
        ASSERT_TRUE(journal.flush().written);
    }
    void expectOutboxIsTheTables() {
        const OutboxReplay replay = replayOutbox(db->connection());
        EXPECT_TRUE(replay.contiguous);
        EXPECT_EQ(replay.history, historyRows(db->connection()));
        EXPECT_EQ(replay.ledger, ledgerRows(db->connection()));
    }
    std::vector<QStringList> kinds() {
        return rowsOf(*db, QStringLiteral("select kind from tavolen_outbox order by seq"));
    }
};

TEST_F(OutboxTest, StartsWithWhatTheTablesHoldAndFollowsEveryChange) {
    stay(QStringLiteral("101"));  // before the outbox: its first rows
    outbox::install(db->connection());
    outbox::install(db->connection());  // a second start changes nothing
    EXPECT_EQ(kinds().size(), 3u);
    expectOutboxIsTheTables();

    stay(QStringLiteral("102"));
    const QString key = clock.now().toString(QStringLiteral("yyyyMMddHHmm"));
    ledger->openLedgerRow(QStringLiteral("103"), key, StayKind::Overnight, 30000, 50000);
    ledger->renumberLedgerRow(QStringLiteral("103"), QStringLiteral("104"), key);
    ASSERT_TRUE(journal.flush().written);
    ledger->cancelLedgerRow(QStringLiteral("104"), key, StayKind::Overnight);
    ASSERT_TRUE(journal.flush().written);
    expectOutboxIsTheTables();
    EXPECT_EQ(kinds().back(), QStringList{"ledger_update"});

    // The clerk deletes a finished stay at the settlement: a deletion, not a purge.
    execSql(*db, QStringLiteral(R"(delete from "Cash.DB" where roomNum = '102')"));
    EXPECT_EQ(kinds().back(), QStringList{"ledger_delete"});
    expectOutboxIsTheTables();
}

TEST_F(OutboxTest, PurgesAreMarkedAsPurgesAndRemoveAllAsDeletions) {
    outbox::install(db->connection());
    stay(QStringLiteral("101"));
    clock.advanceMinutes(60 * 24 * 70);  // beyond the history's 48 hours and a month's ledger
    stay(QStringLiteral("102"));
    const auto before = kinds().size();
    ledger->purge(1);
    const auto all = kinds();
    const std::vector<QStringList> purges(all.begin() + long(before), all.end());
    EXPECT_EQ(purges,
              (std::vector<QStringList>{{"ledger_purge"}, {"history_purge"}, {"history_purge"}}));
    expectOutboxIsTheTables();
    // The marker is down again: a later deletion is a deletion. 전체제거 empties both
    // tables within the step.
    ledger->deleteAllRecords();
    ASSERT_TRUE(journal.flush().written);
    EXPECT_EQ(kinds().back(), QStringList{"ledger_delete"});
    expectOutboxIsTheTables();
    EXPECT_TRUE(historyRows(db->connection()).empty());
}

TEST_F(OutboxTest, AStepThatCannotBeWrittenLeavesNothingInTheOutboxUntilItIs) {
    outbox::install(db->connection());
    // Another connection holds the write lock: the step stays pending, whole.
    sqlite3* other = nullptr;
    sqlite3_open(qPrintable(db->path()), &other);
    sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    ledger->addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
    ledger->openLedgerRow(QStringLiteral("101"), QStringLiteral("200604011735"), StayKind::DayUse,
                          30000, 0);
    EXPECT_FALSE(journal.flush().written);
    EXPECT_TRUE(kinds().empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(journal.flush().written);
    EXPECT_EQ(kinds(), (std::vector<QStringList>{{"history_insert"}, {"ledger_insert"}}));
    expectOutboxIsTheTables();
}

TEST_F(OutboxTest, NumbersAreNeverReusedAfterSentRowsAreRemoved) {
    outbox::install(db->connection());
    stay(QStringLiteral("101"));
    execSql(*db, QStringLiteral("delete from tavolen_outbox"));
    stay(QStringLiteral("102"));
    const auto seqs = rowsOf(*db, QStringLiteral("select min(seq), count(*) from tavolen_outbox"));
    EXPECT_EQ(seqs[0], (QStringList{"6", "5"}));
}

// An outbox an earlier version made keeps its rows and numbers; its triggers are replaced, its
// indexes go (the ids are unique by how they are made), and the ids of new changes begin with
// the time, in hexadecimal, so that a step's ids are neighbours.
TEST_F(OutboxTest, AnEarlierOutboxGetsTheTriggersOfThisVersionAndKeepsItsRows) {
    outbox::install(db->connection());
    execSql(*db, QStringLiteral("drop table tavolen_outbox"));
    execSql(*db,
            QStringLiteral("create table tavolen_outbox (seq integer primary key autoincrement, "
                           "uid text not null unique default (lower(hex(randomblob(16)))), "
                           "kind text not null, payload text not null, made_at integer not null "
                           "default (0), sent_at integer)"));
    execSql(*db, QStringLiteral("create index tavolen_outbox_sent on tavolen_outbox (sent_at)"));
    execSql(*db, QStringLiteral("drop trigger tavolen_outbox_history_insert"));
    execSql(*db, QStringLiteral(
                     R"(create trigger tavolen_outbox_history_insert after insert on "room.DB" )"
                     R"(begin insert into tavolen_outbox (kind, payload) values )"
                     R"(('history_insert', json_object('row', NEW.rowid, 'roomNum', NEW.roomNum, )"
                     R"('Sdate', NEW.Sdate, 'Stime', NEW.Stime, 'Action', NEW.Action, 'Comm', )"
                     R"(NEW.Comm)); end)"));
    stay(QStringLiteral("101"));  // changes 1 to 5
    // Sent, the first two removed, and a sixth removed too: 6 is never used again.
    execSql(*db, QStringLiteral("insert into tavolen_outbox (kind, payload) values ('x', '{}')"));
    execSql(*db, QStringLiteral("update tavolen_outbox set sent_at = 1"));
    execSql(*db, QStringLiteral("delete from tavolen_outbox where seq in (1, 2, 6)"));
    const QString all = QStringLiteral("select * from tavolen_outbox order by seq");
    const auto kept = rowsOf(*db, all);

    outbox::install(db->connection());
    EXPECT_EQ(rowsOf(*db, all), kept);
    EXPECT_EQ(rowsOf(*db, QStringLiteral("select name from sqlite_master where type = 'index' "
                                         "and tbl_name = 'tavolen_outbox'")),
              std::vector<QStringList>{});
    outbox::install(db->connection());  // a second start changes nothing
    EXPECT_EQ(rowsOf(*db, all), kept);

    stay(QStringLiteral("102"));
    EXPECT_EQ(rowsOf(*db, QStringLiteral("select min(seq), count(*), count(distinct uid) from "
                                         "tavolen_outbox where seq > 5 and length(uid) = 32 and "
                                         "substr(uid, 1, 12) = printf('%012x', made_at)")),
              (std::vector<QStringList>{{"7", "5", "5"}}));
}

}  // namespace
