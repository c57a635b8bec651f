#pragma once

#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

#include "platform/Errors.h"
#include "settlement/SettlementWindow.h"
#include "store/LedgerStatus.h"

struct sqlite3;

// A ledger row the settlement cannot count (a start or an amount that is not
// a number) or a refusal of the database; the text says which.
class SettlementError : public TavolenError {
public:
    using TavolenError::TavolenError;
};

// One row of "Cash.DB" as the settlement reads it.
struct LedgerStay {
    qint64 rowId = 0;
    QString room;    // roomNum
    QString start;   // IDateTime, "yyyyMMddHHmm"
    QString end;     // ODateTime, as stored: see status()
    QString action;  // Action, as stored: "대실", "숙박"; see kind()
    qint64 cash = 0;

    LedgerStatus status() const { return LedgerStatus::read(end); }
    StayKind kind() const { return stayKindOfWord(action); }
    bool isOpen() const { return status().isOpen(); }
    bool isCancelled() const { return status().isCancelled(); }
    bool isMoved() const { return status().isMoved(); }
    bool isDayUse() const { return kind() == StayKind::DayUse; }
};

enum class StayOrder { ByRoom, ByTime };

// The day-use and overnight sums of each settlement day of a month; index 0 is
// day 1.
struct MonthSums {
    int year = 0;
    int month = 0;
    std::vector<qint64> dayUse;
    std::vector<qint64> overnight;
    int days() const { return static_cast<int>(dayUse.size()); }
};

// The settlement's reads and its deletion, straight on the connection with
// bound parameters. All raise SettlementError.
namespace ledger {

std::vector<LedgerStay> readStays(sqlite3* db, const SettlementWindow& window, StayOrder order);

// One grouped query for the whole month: each row falls into the settlement
// day whose window holds its start. `startsDayBefore` as in SettlementWindow.
MonthSums readMonth(sqlite3* db, int year, int month, int hour, bool startsDayBefore);

// Deletes exactly these rows (matched by row id and their stored values), all
// or none, and records which went and their amounts in the trail of desk
// actions, under `grade`, in the same transaction. Returns how many went.
int deleteStays(sqlite3* db, const std::vector<LedgerStay>& stays, int grade, const QDateTime& now);

}  // namespace ledger
