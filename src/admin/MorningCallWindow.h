#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "admin/MorningCallList.h"

class BoardModel;
class QCalendarWidget;
class QSpinBox;
class QTableWidget;

// The morning-call and memo list: a grid of the rooms with their calls and
// memos. Enter or a click on a call opens the alarm window, on a memo the
// memo box; 저장 stores every edit, 닫기 drops them.
class MorningCallWindow : public QDialog {
    Q_OBJECT
public:
    // Each returns the new text, or nothing when the clerk left it as it was.
    using Ask = std::function<std::optional<QString>(const QString& current)>;

    MorningCallWindow(BoardModel& board, QWidget* parent = nullptr);

    QTableWidget* grid() const { return grid_; }
    // For tests: what the alarm window and the memo box would answer.
    void setPickers(Ask alarm, Ask memo);
    // Edits the cell of `row` (0 = the first room) and `column` (1 call, 2 memo).
    void editCell(int row, int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill();
    void save();

    BoardModel& board_;
    MorningCallList list_;
    QTableWidget* grid_ = nullptr;
    Ask pickAlarm_;
    Ask askMemo_;
};

// Picks the date and time of one morning call.
class AlarmWindow : public QDialog {
    Q_OBJECT
public:
    AlarmWindow(BoardModel& board, const QString& call, QWidget* parent = nullptr);

    // After exec: the new call, empty for 모닝콜 해제, nothing for 닫기.
    const std::optional<QString>& result() const { return result_; }
    AlarmTime chosen() const;

private:
    void save();

    BoardModel& board_;
    QCalendarWidget* calendar_ = nullptr;
    QSpinBox* hour_ = nullptr;
    QSpinBox* minute_ = nullptr;
    std::optional<QString> result_;
};
