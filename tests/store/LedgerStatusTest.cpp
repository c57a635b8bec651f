#include <gtest/gtest.h>

#include "store/LedgerStatus.h"

using End = LedgerStatus::End;

// The end column as rows hold it, including texts no desk writes: the readers
// of the settlement went by the ending and by a bare stamp's length.
TEST(LedgerStatus, ReadsEveryFormOfTheEndColumn) {
    const struct {
        const char* column;
        End end;
        const char* stamp;
        const char* note;
    } cases[] = {
        {"", End::Open, "", ""},
        {"200604021200", End::Finished, "200604021200", ""},
        {"200604021200대실취소", End::Cancelled, "200604021200", "대실취소"},
        {"200604021200숙박취소", End::Cancelled, "200604021200", "숙박취소"},
        {"200604021200객실교체", End::Moved, "200604021200", "객실교체"},
        {"2006040212", End::Other, "2006040212", ""},
        {"200604021200메모", End::Other, "200604021200", "메모"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        const LedgerStatus status = LedgerStatus::read(QString::fromUtf8(c.column));
        EXPECT_EQ(status.end(), c.end);
        EXPECT_EQ(status.stamp(), QString::fromUtf8(c.stamp));
        EXPECT_EQ(status.note(), QString::fromUtf8(c.note));
        EXPECT_EQ(status.text(), QString::fromUtf8(c.column));
    }
}

TEST(LedgerStatus, WhatIsWrittenReadsBackAsTheSameStatus) {
    const QString stamp = QStringLiteral("200604021200");
    const struct {
        LedgerStatus written;
        const char* column;
    } cases[] = {
        {LedgerStatus::finished(stamp), "200604021200"},
        {LedgerStatus::cancelled(stamp, StayKind::DayUse), "200604021200대실취소"},
        {LedgerStatus::cancelled(stamp, StayKind::Overnight), "200604021200숙박취소"},
        {LedgerStatus::moved(stamp), "200604021200객실교체"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        EXPECT_EQ(c.written.text(), QString::fromUtf8(c.column));
        EXPECT_EQ(LedgerStatus::read(c.written.text()).end(), c.written.end());
    }
}
