#pragma once

#include <QListWidget>
#include <QStyledItemDelegate>

class BoardModel;

// Paints one line of the event log: coloured by the first event word it
// contains, on white whenever the newest line is the selected one.
class LogLinePainter : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The ListBox1DrawItem rules, on a painter the caller has prepared.
    static void ListBox1DrawItem(QPainter& painter, const QRect& rect, const QString& text,
                                 const QColor& preparedText, const QColor& preparedBack,
                                 bool lastLineSelected);
    static constexpr int ListBox1MeasureItem = 24;
};

// The board's event log (ListBox1), showing the lines of the board's log.
class LogList : public QListWidget {
    Q_OBJECT
public:
    LogList(BoardModel& board, QWidget* parent);
    void sync();

private:
    BoardModel& board_;
    bool syncing_ = false;
    qint64 trimmed_ = 0;
};
