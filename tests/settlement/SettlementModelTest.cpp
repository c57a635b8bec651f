#include <gtest/gtest.h>

#include "settlement/NumberFormat.h"
#include "settlement/Settlement.h"
#include "settlement/SettlementFixture.h"
#include "settlement/SettlementWindow.h"

namespace {

const QString kDayUse = QStringLiteral("대실");
const QString kOvernight = QStringLiteral("숙박");

TEST(NumberFormat, GroupsAmountsAndLeavesTextsAlone) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"1234567", "1,234,567"},
        {"123", "123"},
        {"1000", "1,000"},
        {"0", "0"},
        {"1,234", "1234"},
        {"101호", "101호"},
        {"교체금액: 5000", "교체금액: 5000"},
        {"2006년04월01일17시35분", "2006년04월01일17시35분"},
        {"12,a", "12,a"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(numberFormat(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
    EXPECT_EQ(commaInsert(QString()), QStringLiteral("0"));
}

TEST(SettlementWindow, FollowsTheCurrentHourAndTheDayBoundaries) {
    const struct {
        QDate day;
        int hour, now;
        const char *start, *end;
        bool dayBefore;
    } cases[] = {
        {QDate(2006, 4, 2), 3, 1, "200604010300", "200604020300", true},
        {QDate(2006, 4, 2), 3, 9, "200604020300", "200604030300", false},
        {QDate(2006, 4, 2), 3, 3, "200604020300", "200604030300", false},
        {QDate(2006, 4, 2), 0, 0, "200604020000", "200604030000", false},
        {QDate(2006, 1, 1), 5, 4, "200512310500", "200601010500", true},
        {QDate(2004, 2, 28), 0, 12, "200402280000", "200402290000", false},
    };
    for (const auto& c : cases) {
        const SettlementWindow w = settlementWindow(c.day, c.hour, c.now);
        EXPECT_EQ(w.startStamp(), QString::fromLatin1(c.start));
        EXPECT_EQ(w.endStamp(), QString::fromLatin1(c.end));
        EXPECT_EQ(w.startsDayBefore, c.dayBefore);
    }
    EXPECT_EQ(settlementDayFrom(QDate(2006, 4, 2), 3).startStamp(), QStringLiteral("200604020300"));
}

TEST(DailySettlement, SumsCancelledAndMovedStaysApartAndInTheTotals) {
    LedgerFixture f;
    f.addStay("101", "200604020259", "200604020400", kDayUse, "99999");  // before the window
    f.addStay("101", "200604020300", "200604020500", kDayUse, "30000");  // at its start
    f.addStay("102", "200604021000", "200604021200대실취소", kDayUse, "30000");
    f.addStay("103", "200604022200", "200604030101객실교체", kOvernight, "5000");
    f.addStay("104", "200604022300", "", kOvernight, "50000");
    f.addStay("105", "200604030300", "", kDayUse, "77777");  // at its end
    DailySettlement day;
    day.fill(ledger::readStays(f.db.connection(), settlementDayFrom(QDate(2006, 4, 2), 3),
                               StayOrder::ByRoom));
    ASSERT_EQ(day.stays().size(), 4u);
    const SettlementGrid& g = day.grid();
    ASSERT_EQ(g.size(), 7u);
    EXPECT_EQ(g[1], (QStringList{"1", "101호", "2006년04월02일03시00분", "2006년04월02일05시00분",
                                 "30000", "0"}));
    EXPECT_EQ(g[2][3], QStringLiteral("2006년04월02일12시00분대실취소"));
    EXPECT_EQ(g[3][5], QStringLiteral("5000"));
    EXPECT_EQ(g[4][3], QString());
    EXPECT_EQ(g[5], (QStringList{"합계", "", "", "", "60000", "55000"}));
    EXPECT_EQ(g[6], (QStringList{"총합", "교체금액:", "5000", "취소금액:", "30000", "115000"}));
    EXPECT_EQ(day.totalRow(), 5);

    day.fill({});
    EXPECT_EQ(day.grid().size(), 2u);
    EXPECT_EQ(day.grid()[1], QStringList(6));
    EXPECT_EQ(day.totalRow(), 0);
}

TEST(DailySettlement, OrdersByRoomOrByTime) {
    LedgerFixture f;
    f.addStay("102", "200604021000", "", kDayUse, "1");
    f.addStay("101", "200604021100", "", kDayUse, "2");
    const auto window = settlementDayFrom(QDate(2006, 4, 2), 0);
    EXPECT_EQ(ledger::readStays(f.db.connection(), window, StayOrder::ByRoom)[0].room, "101");
    EXPECT_EQ(ledger::readStays(f.db.connection(), window, StayOrder::ByTime)[0].room, "102");
}

TEST(DailySettlement, MarksOnlyFinishedRowsWithAPlainLeftPress) {
    DailySettlement day;
    day.fill({{1, "101", "200604021000", "200604021200", kDayUse, 1},
              {2, "102", "200604021000", "", kDayUse, 1}});
    using R = DailySettlement::MarkResult;
    EXPECT_EQ(day.press(2, true), R::Running);
    EXPECT_EQ(day.press(1, false), R::Ignored);
    EXPECT_EQ(day.markCount(), 0);
    EXPECT_EQ(day.press(1, true), R::Toggled);
    EXPECT_TRUE(day.isMarked(1));
    EXPECT_EQ(day.press(3, true), R::Ignored);  // 합계
    EXPECT_EQ(day.press(0, true), R::Ignored);  // titles
    EXPECT_EQ(day.markCount(), 1);
    EXPECT_EQ(day.press(1, true), R::Toggled);
    EXPECT_EQ(day.markCount(), 0);

    day.press(1, true);
    day.fill({{3, "201", "200604031000", "200604031200", kDayUse, 1}});
    EXPECT_EQ(day.markCount(), 0) << "a refill clears the marks";
    EXPECT_TRUE(day.markedStays().empty());
}

TEST(DailySettlement, MarksCoverMoreThanTwoHundredRows) {
    std::vector<LedgerStay> stays;
    for (int i = 0; i < 2000; ++i)
        stays.push_back(
            {i + 1, QString::number(100 + i % 72), "200604021000", "200604021100", kDayUse, 1});
    DailySettlement day;
    day.fill(stays);
    day.press(1999, true);
    ASSERT_EQ(day.markedStays().size(), 1u);
    EXPECT_EQ(day.markedStays()[0].rowId, 1999);
}

TEST(Ledger, DeletesExactlyTheMarkedRowsEvenWhenTwoStaysShareAKey) {
    LedgerFixture f;
    f.addStay("101", "200604021000", "200604021200", kDayUse, "30000");
    f.addStay("101", "200604021000", "200604021300객실교체", kDayUse, "0");
    f.addStay("102", "200604021000", "200604021200", kDayUse, "30000");
    const auto window = settlementDayFrom(QDate(2006, 4, 2), 0);
    DailySettlement day;
    day.fill(ledger::readStays(f.db.connection(), window, StayOrder::ByTime));
    day.press(2, true);
    EXPECT_EQ(ledger::deleteStays(f.db.connection(), day.markedStays(), 1, QDateTime()), 1);
    day.fill(ledger::readStays(f.db.connection(), window, StayOrder::ByTime));
    ASSERT_EQ(day.stays().size(), 2u);
    EXPECT_EQ(day.stays()[0].end, "200604021200");
    EXPECT_EQ(day.stays()[1].room, "102");
}

TEST(Ledger, DamagedRowsGiveAClearMessageNamingTheRoom) {
    // Each case: the row's start and amount as SQL literals, what the message names.
    const struct {
        const char* start;
        const char* cash;
        const char* says;
    } cases[] = {
        {"'200604021000'", "'3만원'", "3만원"},
        {"'200604021000'", "NULL", "금액 ''"},
        {"'200604021000'", "9223372036854775807", "9223372036854775807"},
        {"'200604021000'", "'100000001'", "너무 큰 값"},
        {"'200604021000'", "'-100000001'", "너무 큰 값"},
        {"'20060402x000'", "'100'", "20060402x000"},
    };
    const auto window = settlementDayFrom(QDate(2006, 4, 2), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cash);
        LedgerFixture f;
        f.addStay("102", "200604021100", "", kDayUse, "100000000");  // the most a stay may cost
        execSql(f.db, QStringLiteral(R"(INSERT INTO "Cash.DB" (roomNum, IDateTime, Action, Cash)
                                         VALUES ('101', %1, '대실', %2))")
                          .arg(QString::fromUtf8(c.start), QString::fromUtf8(c.cash)));
        for (int reader = 0; reader < 2; ++reader) {
            try {
                if (reader == 0)
                    ledger::readStays(f.db.connection(), window, StayOrder::ByRoom);
                else
                    ledger::readMonth(f.db.connection(), 2006, 4, 0, false);
                ADD_FAILURE() << "no error from reader " << reader;
            } catch (const SettlementError& e) {
                EXPECT_TRUE(e.text().contains(QString::fromUtf8(c.says))) << e.text().toStdString();
                EXPECT_TRUE(e.text().contains("101호")) << e.text().toStdString();
            }
        }
    }
    LedgerFixture f;
    f.addStay("101", "200604021000", "", kDayUse, "100000000");
    f.addStay("102", "200604021100", "", kDayUse, "100000000");
    EXPECT_EQ(ledger::readMonth(f.db.connection(), 2006, 4, 0, false).dayUse[1], 200000000);
}

TEST(MonthlySettlement, CountsEveryDayOfTheMonthIncludingLeapDays) {
    LedgerFixture f;
    f.addStay("101", "200402291000", "", kDayUse, "30000");
    f.addStay("101", "200402290100", "", kOvernight, "50000");  // before 03:00: the 28th
    f.addStay("101", "200403010200", "", kOvernight, "40000");  // the 29th, up to 03:00 on March 1
    f.addStay("101", "200403010300", "", kOvernight, "99999");  // March's
    f.addStay("101", "200402011000", "", QStringLiteral("기타"), "12345");
    const MonthSums leap = ledger::readMonth(f.db.connection(), 2004, 2, 3, false);
    ASSERT_EQ(leap.days(), 29);
    EXPECT_EQ(leap.dayUse[28], 30000);
    EXPECT_EQ(leap.overnight[28], 40000);
    EXPECT_EQ(leap.overnight[27], 50000);
    EXPECT_EQ(leap.dayUse[0], 0) << "other actions are not counted";
    const SettlementGrid g = monthlySettlement::grid(leap);
    ASSERT_EQ(g.size(), 31u);
    EXPECT_EQ(g[29], (QStringList{"29일", "30000", "40000", "70000"}));
    EXPECT_EQ(g[30], (QStringList{"총합", "30000", "90000", "120000"}));

    // Before the settlement hour each day runs up to its own hour.
    const MonthSums early = ledger::readMonth(f.db.connection(), 2004, 2, 3, true);
    EXPECT_EQ(early.overnight[28], 50000);
    EXPECT_EQ(early.overnight[27], 0);

    EXPECT_EQ(ledger::readMonth(f.db.connection(), 2006, 2, 0, false).days(), 28);
    EXPECT_EQ(ledger::readMonth(f.db.connection(), 2000, 2, 0, false).days(), 29);
    EXPECT_EQ(ledger::readMonth(f.db.connection(), 1900, 2, 0, false).days(), 28);
}

TEST(MonthlySettlement, MonthListAndMonthsKept) {
    EXPECT_EQ(
        monthlySettlement::monthList(QDate(2006, 4, 9), 6),
        (QStringList{"2006-4", "2006-3", "2006-2", "2006-1", "2005-12", "2005-11", "2005-10"}));
    EXPECT_EQ(monthlySettlement::monthList(QDate(2006, 4, 9), 2).size(), 3);
    int y = 0, m = 0;
    EXPECT_TRUE(monthlySettlement::parseMonth("2005-12", y, m));
    EXPECT_EQ(m, 12);
    EXPECT_FALSE(monthlySettlement::parseMonth("2005-13", y, m));

    LedgerFixture f;
    const struct {
        const char* stored;
        int read;
    } cases[] = {{"0", 1}, {"-3", 1}, {"4", 4}, {"9", 6}, {"x", 1}};
    for (const auto& c : cases) {
        f.ini.writeString("CashTime", "SaveMonth", c.stored);
        EXPECT_EQ(settlementSettings::ledgerMonths(f.ini), c.read) << c.stored;
    }
    f.ini.writeString("CashTime", "start", "03");
    EXPECT_EQ(settlementSettings::hour(f.ini), 3);
    f.ini.writeString("CashTime", "start", "31");
    EXPECT_EQ(settlementSettings::hour(f.ini), 0);
}

TEST(DailySettlement, FiguresOfTheDay) {
    DailySettlement day;
    day.fill({{1, "101", "200604021000", "200604021200", kDayUse, 1},
              {2, "102", "200604021000", "200604021130", kDayUse, 1},
              {3, "103", "200604021000", "200604021100대실취소", kDayUse, 1},
              {4, "104", "200604022200", "", kOvernight, 1}});
    EXPECT_EQ(day.figures(2),
              QStringLiteral(
                  "대실 3건  숙박 1건  취소 1건  교체 0건  회전율 2.00  대실 평균 1시간 45분"));
    EXPECT_TRUE(day.figures(0).contains(QStringLiteral("회전율 -")));
}

}  // namespace
