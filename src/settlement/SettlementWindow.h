#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The span of one settlement day: from the settlement hour of one day to the
// same hour of the next, start included, end excluded.
struct SettlementWindow {
    QDateTime start;
    QDateTime end;
    // True when the day D is settled up to its own settlement hour (the span
    // began the day before).
    bool startsDayBefore = false;

    // Ledger stamps of the two ends, "yyyyMMddHHmm".
    QString startStamp() const;
    QString endStamp() const;
};

// The window of `day` as the desk shows it at `currentHour`: before the
// settlement hour the day runs up to its own `hour` o'clock, from then on from
// that hour to the next day's.
SettlementWindow settlementWindow(QDate day, int hour, int currentHour);

// The settlement day that starts at `hour` of `day`, whatever the time now.
SettlementWindow settlementDayFrom(QDate day, int hour);
