#pragma once

#include <QDate>
#include <QDialog>
#include <functional>

#include "settlement/ExportTargets.h"
#include "settlement/Report.h"
#include "settlement/Settlement.h"

class Clock;
class Database;
class Dialogs;
class IniStore;
class QCalendarWidget;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QToolButton;

// What the settlement view works with; the opener owns all of it.
struct SettlementViewParts {
    Database& db;
    IniStore& ini;  // reads and writes `CashTime`/`start` and `CashTime`/`SaveMonth`
    Clock& clock;
    Dialogs& dialogs;
    // The signed-in grade: 0 nobody, 1 user, 2 Windows use, 3 supplier.
    std::function<int()> signedInGrade;
    // Runs the password window for the given grade; deleting entries needs 1.
    std::function<void(int gradeToCheck)> signIn;
    // Told when the clerk changes the months of ledger kept (may be empty).
    std::function<void(int months)> ledgerMonthsChanged = {};
    // Where 엑셀 and a printed PDF may go.
    ExportTargets exportTargets = {};
};

// The settlement view, daily (일합계) or monthly (월합계). Open it with
//
//   SettlementView view(SettlementKind::Daily, {db, ini, clock, dialogs,
//                       [&] { return session.grade; }, runPasswordWindow}, owner);
//   view.exec();
//
// Construction reads the ledger and fills the grid; the view lives for one
// opening. It reads the ledger when opened and after each change of day,
// hour, order or month, so the board's own writes while it is open show at
// the next refill.
class SettlementView : public QDialog {
    Q_OBJECT
public:
    SettlementView(SettlementKind kind, SettlementViewParts parts, QWidget* parent = nullptr);
    ~SettlementView() override;

    SettlementKind kind() const { return kind_; }
    // The report of what the grid shows now, as printed and exported.
    SettlementReport report() const;

    // The modal boxes of printing and exporting; tests replace them.
    // Returns the file name chosen, empty when cancelled.
    std::function<QString()> askExportFile;
    std::function<void(const SettlementReport&)> showPrintPreview;

    // The controls, for the toolbar's tests and the view's own.
    QTableWidget* grid() const { return grid_; }
    QComboBox* hourBox() const { return hourBox_; }
    QComboBox* orderBox() const { return orderBox_; }
    QComboBox* monthBox() const { return monthBox_; }
    QComboBox* monthsKeptBox() const { return monthsKeptBox_; }
    QLineEdit* dateBox() const { return dateBox_; }
    QCalendarWidget* calendar() const { return calendar_; }
    QToolButton* deleteButton() const { return deleteButton_; }
    QLabel* figuresLabel() const { return figures_; }
    QLabel* fromLabel() const { return fromLabel_; }
    QLabel* toLabel() const { return toLabel_; }
    const DailySettlement& day() const { return day_; }
    const MonthSums& month() const { return month_; }

    void setBaseDate(QDate date);
    // A mouse press on grid row `row` (0 = the titles), as the grid reports it.
    void pressGridRow(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void deleteMarked();
    void print();
    void exportSpreadsheet();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildDailyPanel();
    void buildMonthlyPanel();
    void refillDay();
    void refillMonth();
    void rebuildMonthList();
    void showGrid(const SettlementGrid& grid, const QList<int>& widths);
    void updateDeleteButton();

    SettlementKind kind_;
    SettlementViewParts parts_;
    QDate baseDate_;
    DailySettlement day_;
    MonthSums month_;

    QTableWidget* grid_ = nullptr;
    QComboBox* hourBox_ = nullptr;
    QComboBox* hourMirror_ = nullptr;
    QComboBox* orderBox_ = nullptr;
    QComboBox* monthBox_ = nullptr;
    QComboBox* monthsKeptBox_ = nullptr;
    QLineEdit* dateBox_ = nullptr;
    QCalendarWidget* calendar_ = nullptr;
    QToolButton* deleteButton_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* fromLabel_ = nullptr;
    QLabel* toLabel_ = nullptr;
    QChartView* chartView_ = nullptr;
};
