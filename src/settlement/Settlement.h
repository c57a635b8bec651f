#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "settlement/LedgerReader.h"

class IniStore;

enum class SettlementKind { Daily, Monthly };

// The grid both views show: row 0 holds the column titles; cells hold plain
// digits for amounts (grouping is done by drawing and printing).
using SettlementGrid = std::vector<QStringList>;

// The settings the settlement reads from and writes to the INI file
// (`CashTime`/`start` and `CashTime`/`SaveMonth`).
namespace settlementSettings {
// 0..23; anything else in the file reads as 0.
int hour(const IniStore& ini);
void setHour(IniStore& ini, int hour);
// Months of ledger kept, 1..6: a hand-edited value outside reads as the nearer end.
int ledgerMonths(const IniStore& ini);
void setLedgerMonths(IniStore& ini, int months);
// Room slots that carry a panel on the board (`Panel`/`P<n>` = 1).
int roomsOnBoard(const IniStore& ini);
}  // namespace settlementSettings

// One settlement day: its stays, the grid built from them, and the clerk's
// marks for deletion.
class DailySettlement {
public:
    static QStringList titles();

    // Replaces the stays; the marks start again empty, one per grid row.
    void fill(std::vector<LedgerStay> stays);

    const std::vector<LedgerStay>& stays() const { return stays_; }
    const SettlementGrid& grid() const { return grid_; }
    // Grid row of the 합계 line; 0 without stays.
    int totalRow() const { return stays_.empty() ? 0 : int(stays_.size()) + 1; }

    qint64 dayUseSum() const { return dayUse_; }
    qint64 overnightSum() const { return overnight_; }
    qint64 cancelledSum() const { return cancelled_; }
    qint64 movedSum() const { return moved_; }

    enum class MarkResult { Ignored, Toggled, Running };
    // A press on grid row `row`: rows of stays still running cannot be
    // marked; only a plain left press toggles the mark.
    MarkResult press(int row, bool plainLeftButton);
    bool isMarked(int row) const { return row >= 0 && row < int(marks_.size()) && marks_[row]; }
    int markCount() const { return markCount_; }
    std::vector<LedgerStay> markedStays() const;
    void clearMarks();

    // The figures under the grid: stays by kind, cancelled and moved counts,
    // turnover and the average day-use stay.
    QString figures(int roomsOnBoard) const;

private:
    std::vector<LedgerStay> stays_;
    SettlementGrid grid_;
    std::vector<bool> marks_;
    int markCount_ = 0;
    qint64 dayUse_ = 0, overnight_ = 0, cancelled_ = 0, moved_ = 0;
};

// The month's grid: one row per day, then 총합.
namespace monthlySettlement {
QStringList titles();
SettlementGrid grid(const MonthSums& sums);
// "yyyy-m" of `current` and the `ledgerMonths` months before it, newest first.
QStringList monthList(QDate current, int ledgerMonths);
// Reads "yyyy-m" back; false when the text is not a month.
bool parseMonth(const QString& text, int& year, int& month);
}  // namespace monthlySettlement

// "2006년04월01일17시35분" from "200604011735"; what follows the twelve digits is kept.
QString stampText(const QString& stamp);
