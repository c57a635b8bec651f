#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "store/Database.h"
#include "store/Outbox.h"
#include "store/RoomRecords.h"
#include "support/Fakes.h"
#include "support/StoreHelpers.h"

namespace {

const QString kStay = QStringLiteral("200604011735");

QDateTime at(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

class HistoryLedgerTest : public ::testing::Test {
protected:
    void SetUp() override {
        copyFreshDatabase(dir.path());
        db.open();
    }

    std::vector<QStringList> cash() {
        return rowsOf(db, QStringLiteral(
                              R"(Select * From "Cash.DB" Order By roomNum, IDateTime, ODateTime)"));
    }
    std::vector<QStringList> history() {
        return rowsOf(db, QStringLiteral(R"(Select * From "room.DB" Order By Sdate, Stime)"));
    }
    void addLedgerRow(const QString& room, const QString& start, const QString& end) {
        execSql(db, QStringLiteral(R"(Insert Into "Cash.DB" Values('%1','%2','%3','대실','30000'))")
                        .arg(room, start, end));
    }

    QTemporaryDir dir;
    Database db{dir.path()};
    FixedClock clock{at(2006, 4, 1, 17, 35)};
    ScriptedDialogs dialogs;
    RoomRecords ledger{db, clock, dialogs};
};

TEST_F(HistoryLedgerTest, HistoryRowHoldsItsColumnsInOrder) {
    ledger.addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
    clock.set(at(2006, 4, 1, 9, 5));
    ledger.addHistory(QStringLiteral("호수"), QStringLiteral("문열림"), QStringLiteral("0"));
    const auto rows = history();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QStringList{"호수", "20060401", "0905", "문열림", "0"}));
    EXPECT_EQ(rows[1], (QStringList{"101", "20060401", "1735", "대실", "1"}));
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(HistoryLedgerTest, StayOpensWithTheFeeOfItsKind) {
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    ledger.openLedgerRow(QStringLiteral("102"), kStay, StayKind::Overnight, 30000, 50000);
    const auto rows = cash();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QStringList{"101", kStay, "", "대실", "30000"}));
    EXPECT_EQ(rows[1], (QStringList{"102", kStay, "", "숙박", "50000"}));
}

TEST_F(HistoryLedgerTest, FinishStampsTheEndOfTheStay) {
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    clock.set(at(2006, 4, 1, 19, 2));
    ledger.closeLedgerRow(QStringLiteral("101"), kStay);
    EXPECT_EQ(cash()[0], (QStringList{"101", kStay, "200604011902", "대실", "30000"}));
}

TEST_F(HistoryLedgerTest, CancelAddsTheStayKindAndKeepsTheAmount) {
    const struct {
        StayKind kind;
        const char* end;
        const char* amount;
    } cases[] = {{StayKind::DayUse, "200604011902대실취소", "30000"},
                 {StayKind::Overnight, "200604011902숙박취소", "50000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        execSql(db, QStringLiteral(R"(Delete From "Cash.DB")"));
        clock.set(at(2006, 4, 1, 17, 35));
        ledger.openLedgerRow(QStringLiteral("101"), kStay, c.kind, 30000, 50000);
        clock.set(at(2006, 4, 1, 19, 2));
        ledger.cancelLedgerRow(QStringLiteral("101"), kStay, c.kind);
        const QStringList row = cash()[0];
        EXPECT_EQ(row[2], QString::fromUtf8(c.end));
        EXPECT_EQ(row[4], QString::fromLatin1(c.amount));
    }
}

TEST_F(HistoryLedgerTest, ConvertChangesKindAndFeeOfTheOpenStay) {
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    ledger.convertLedgerRow(QStringLiteral("101"), kStay, StayKind::Overnight, 30000, 50000);
    EXPECT_EQ(cash()[0], (QStringList{"101", kStay, "", "숙박", "50000"}));
    ledger.convertLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 35000, 50000);
    EXPECT_EQ(cash()[0], (QStringList{"101", kStay, "", "대실", "35000"}));
}

TEST_F(HistoryLedgerTest, RoomChangeChargesNothingUnderFifteenMinutes) {
    const struct {
        int elapsed;
        StayKind kind;
        const char* amount;
    } cases[] = {{14, StayKind::DayUse, "0"},
                 {15, StayKind::DayUse, "30000"},
                 {14, StayKind::Overnight, "0"},
                 {15, StayKind::Overnight, "50000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.elapsed);
        execSql(db, QStringLiteral(R"(Delete From "Cash.DB")"));
        clock.set(at(2006, 4, 1, 17, 35));
        ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 12345, 67890);
        clock.set(at(2006, 4, 1, 17, 35 + c.elapsed));
        ledger.moveLedgerRow(QStringLiteral("101"), kStay, c.kind, c.elapsed, 30000, 50000);
        const QStringList row = cash()[0];
        EXPECT_EQ(row[2], QStringLiteral("2006040117%1객실교체").arg(35 + c.elapsed));
        EXPECT_EQ(row[4], QString::fromLatin1(c.amount));
    }
}

TEST_F(HistoryLedgerTest, UpdatesReachEveryStayOfTheKeyAndNothingElse) {
    // Two stays of one room begun in the same minute share their key.
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::Overnight, 30000, 50000);
    ledger.openLedgerRow(QStringLiteral("102"), kStay, StayKind::DayUse, 30000, 50000);
    ledger.openLedgerRow(QStringLiteral("101"), QStringLiteral("200604011736"), StayKind::DayUse,
                         30000, 50000);
    clock.set(at(2006, 4, 1, 19, 2));
    ledger.closeLedgerRow(QStringLiteral("101"), kStay);
    const auto rows = cash();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][2], QStringLiteral("200604011902"));
    EXPECT_EQ(rows[1][2], QStringLiteral("200604011902"));
    EXPECT_EQ(rows[2][2], QString());  // 101, a minute later
    EXPECT_EQ(rows[3][2], QString());  // 102

    // A key that matches nothing changes nothing and reports nothing.
    ledger.closeLedgerRow(QStringLiteral("103"), kStay);
    EXPECT_EQ(cash(), rows);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(HistoryLedgerTest, RefusedStatementsShowTheirOwnMessageAndReturn) {
    const QString noLedger = QStringLiteral(R"(Drop Table "Cash.DB")");
    const QString ledgerWithoutEnd = QStringLiteral(
        R"(Create Table "Cash.DB" (roomNum TEXT, IDateTime TEXT, Action TEXT, Cash TEXT))");
    const QString ledgerWithoutCash = QStringLiteral(
        R"(Create Table "Cash.DB" (roomNum TEXT, IDateTime TEXT, ODateTime TEXT, Action TEXT))");
    const QString r = QStringLiteral("101");
    const struct {
        const char* name;
        QStringList breakage;
        std::function<void(RoomRecords&)> operation;
        QString message;
    } cases[] = {
        {"history missing",
         {QStringLiteral(R"(Drop Table "room.DB")")},
         [&](RoomRecords& l) { l.addHistory(r, QStringLiteral("대실"), QStringLiteral("1")); },
         QStringLiteral("룸정보가 초기저장되지 않았습니다.")},
        {"ledger missing",
         {noLedger},
         [&](RoomRecords& l) { l.openLedgerRow(r, kStay, StayKind::DayUse, 30000, 50000); },
         QStringLiteral("요금이 초기저장이 되지 않았습니다")},
        {"ledger without Cash",
         {noLedger, ledgerWithoutCash},
         [&](RoomRecords& l) { l.openLedgerRow(r, kStay, StayKind::DayUse, 30000, 50000); },
         QStringLiteral("요금이 초기저장이 되지 않았습니다")},
        {"finish without ODateTime",
         {noLedger, ledgerWithoutEnd},
         [&](RoomRecords& l) { l.closeLedgerRow(r, kStay); },
         QStringLiteral("완료시간이 저장되지 않았습니다")},
        {"convert without Cash",
         {noLedger, ledgerWithoutCash},
         [&](RoomRecords& l) { l.convertLedgerRow(r, kStay, StayKind::Overnight, 1, 2); },
         QStringLiteral("데이터베이스에 수정이 되지 않았습니다")},
        {"cancel without ODateTime",
         {noLedger, ledgerWithoutEnd},
         [&](RoomRecords& l) { l.cancelLedgerRow(r, kStay, StayKind::DayUse); },
         QStringLiteral("데이터베이스에 수정이 되지 않았습니다")},
        {"change without ODateTime",
         {noLedger, ledgerWithoutEnd},
         [&](RoomRecords& l) { l.moveLedgerRow(r, kStay, StayKind::DayUse, 20, 1, 2); },
         QStringLiteral("데이타베이스에 객실교체 저장이 되지 않았습니다")},
        // No page may be added: the disk is full as far as SQLite can tell.
        {"disk full",
         {QStringLiteral("PRAGMA max_page_count = 1")},
         [&](RoomRecords& l) {
             l.addHistory(r.repeated(5000), QStringLiteral("대실"), QStringLiteral("1"));
         },
         QStringLiteral("룸정보가 초기저장되지 않았습니다.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir caseDir;
        copyFreshDatabase(caseDir.path());
        Database caseDb(caseDir.path());
        caseDb.open();
        for (const QString& sql : c.breakage) execSql(caseDb, sql);
        RoomRecords caseLedger(caseDb, clock, dialogs);
        dialogs.errors.clear();
        EXPECT_NO_THROW(c.operation(caseLedger));
        EXPECT_EQ(dialogs.errors, QStringList{c.message});
    }
}

TEST_F(HistoryLedgerTest, DamagedFileLeavesEveryOperationReporting) {
    QTemporaryDir damaged;
    writeBytes(QDir(damaged.path()).filePath(QStringLiteral("DB/motel.db")),
               QByteArray(4096, '\x5a'));
    Database broken(damaged.path());
    EXPECT_THROW(broken.open(), DatabaseError);
    RoomRecords brokenLedger(broken, clock, dialogs);
    brokenLedger.addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
    brokenLedger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    EXPECT_EQ(dialogs.errors, (QStringList{QStringLiteral("룸정보가 초기저장되지 않았습니다."),
                                           QStringLiteral("요금이 초기저장이 되지 않았습니다")}));
    EXPECT_THROW(brokenLedger.deleteAllRecords(), DatabaseError);
}

TEST_F(HistoryLedgerTest, TableAllDeleteEmptiesBothTables) {
    ledger.addHistory(QStringLiteral("101"), QStringLiteral("대실"), QStringLiteral("1"));
    ledger.openLedgerRow(QStringLiteral("101"), kStay, StayKind::DayUse, 30000, 50000);
    ledger.deleteAllRecords();
    EXPECT_TRUE(history().empty());
    EXPECT_TRUE(cash().empty());
    EXPECT_EQ(rowsOf(db, QStringLiteral(R"(Select * From "grade.DB")")).size(), 3u);

    execSql(db, QStringLiteral(R"(Drop Table "Cash.DB")"));
    EXPECT_THROW(ledger.deleteAllRecords(), DatabaseError);
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(HistoryLedgerTest, HistoryIsKeptFortyEightHoursToTheMinute) {
    for (const QDateTime& t : {at(2006, 3, 31, 10, 30), at(2006, 4, 1, 10, 29),
                               at(2006, 4, 1, 10, 30), at(2006, 4, 2, 23, 59)}) {
        clock.set(t);
        ledger.addHistory(QStringLiteral("101"), QStringLiteral("청소"), QStringLiteral("1"));
    }
    clock.set(at(2006, 4, 3, 10, 30));
    ledger.purgeHistory();
    const auto rows = history();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1] + rows[0][2], QStringLiteral("200604011030"));
    EXPECT_EQ(rows[1][1] + rows[1][2], QStringLiteral("200604022359"));
}

TEST_F(HistoryLedgerTest, LedgerIsKeptForTheMonthsTheSettlementOffers) {
    // Each case: the ledger purge's boundary, the first stay start that stays.
    const struct {
        QDateTime now;
        int saveMonth;
        const char* firstKept;
    } cases[] = {
        {at(2006, 4, 3, 10, 30), 1, "200602280000"},  // March, and the day before it
        {at(2006, 4, 30, 23, 59), 2, "200601310000"},
        {at(2006, 1, 15, 8, 0), 1, "200511300000"},  // across the year
        {at(2006, 4, 3, 10, 30), 6, "200509300000"},
        {at(2006, 4, 3, 10, 30), 9, "200509300000"},  // the view offers no more than six
        // Read as 1, as the settlement's month list reads it: last month stays.
        {at(2006, 4, 3, 10, 30), 0, "200602280000"},
        {at(2006, 4, 3, 10, 30), -3, "200602280000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstKept);
        execSql(db, QStringLiteral(R"(Delete From "Cash.DB")"));
        const QDateTime kept =
            QDateTime::fromString(QString::fromLatin1(c.firstKept), QStringLiteral("yyyyMMddHHmm"));
        const QString before = kept.addSecs(-60).toString(QStringLiteral("yyyyMMddHHmm"));
        const QString first = QString::fromLatin1(c.firstKept);
        addLedgerRow(QStringLiteral("101"), before, before.left(8) + QStringLiteral("2359"));
        addLedgerRow(QStringLiteral("102"), before, QStringLiteral("200604011902대실취소"));
        addLedgerRow(QStringLiteral("103"), before, QStringLiteral("200604011902객실교체"));
        addLedgerRow(QStringLiteral("104"), QStringLiteral("200001010000"), QString());  // running
        addLedgerRow(QStringLiteral("105"), first, QStringLiteral("200604011902"));
        clock.set(c.now);
        ledger.purgeLedger(c.saveMonth);
        const auto rows = cash();
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][0], QStringLiteral("104"));
        EXPECT_EQ(rows[1][0], QStringLiteral("105"));
    }
}

// The purges run every minute; a minute with nothing due commits nothing, so the disk is not
// flushed for it, not even to mark the group's outbox. Another connection sees whether a
// commit happened.
TEST_F(HistoryLedgerTest, AMinuteWithNothingToPurgeCommitsNothing) {
    outbox::install(db.connection());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(QDir(dir.path()).filePath("DB/motel.db")), &other),
              SQLITE_OK);
    const auto commits = [other] {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(other, "PRAGMA data_version", -1, &s, nullptr);
        sqlite3_step(s);
        const int version = sqlite3_column_int(s, 0);
        sqlite3_finalize(s);
        return version;
    };
    clock.set(at(2006, 4, 3, 10, 30));
    ledger.addHistory(QStringLiteral("101"), QStringLiteral("청소"), QStringLiteral("1"));
    const int before = commits();
    ledger.purge(1);
    EXPECT_EQ(commits(), before);
    EXPECT_EQ(history().size(), 1u);

    clock.set(at(2006, 4, 6, 10, 30));
    ledger.purge(1);
    EXPECT_NE(commits(), before);
    EXPECT_TRUE(history().empty());
    sqlite3_close(other);
}

TEST_F(HistoryLedgerTest, PurgeFailureIsShownOnceUntilItChanges) {
    addLedgerRow(QStringLiteral("101"), QStringLiteral("200001010000"),
                 QStringLiteral("200001010100"));
    execSql(db, QStringLiteral(R"(Drop Table "room.DB")"));
    clock.set(at(2006, 4, 3, 10, 30));

    for (int minute = 0; minute < 3; ++minute) EXPECT_NO_THROW(ledger.purge(1));
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("room.DB")))
        << dialogs.errors[0].toStdString();
    EXPECT_TRUE(cash().empty());  // the ledger purge ran all the same

    // A different failure is news; so is the old one after a good minute.
    execSql(db, QStringLiteral(R"(Drop Table "Cash.DB")"));
    ledger.purge(1);
    EXPECT_EQ(dialogs.errors.size(), 2);
    execSql(db, QStringLiteral(R"(Create Table "room.DB" (roomNum, Sdate, Stime, Action, Comm))"));
    execSql(db, QStringLiteral(
                    R"(Create Table "Cash.DB" (roomNum, IDateTime, ODateTime, Action, Cash))"));
    ledger.purge(1);
    EXPECT_EQ(dialogs.errors.size(), 2);
    execSql(db, QStringLiteral(R"(Drop Table "room.DB")"));
    ledger.purge(1);
    ASSERT_EQ(dialogs.errors.size(), 3);
    EXPECT_EQ(dialogs.errors[2], dialogs.errors[0]);
}

}  // namespace
