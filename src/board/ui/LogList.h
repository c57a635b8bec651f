#pragma once

#include <QListWidget>
#include <QStyledItemDelegate>
#include <optional>

#include "board/EventLog.h"

class BoardModel;

// Paints one line of the event log: in the colour of its event, on white
// whenever the newest line is the selected one.
class LogLinePainter : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The paintLine rules, on a painter the caller has prepared.
    // `colour` is that of the line's event: none keeps the prepared
    // colour, an empty one is the window text.
    static void paintLine(QPainter& painter, const QRect& rect, const QString& text,
                          const std::optional<LogColor>& colour, const QColor& preparedText,
                          const QColor& preparedBack, bool lastLineSelected);
    static constexpr int kColourRole = Qt::UserRole;
    static constexpr int kLineHeight = 24;
};

// The board's event log, showing the lines of the board's log.
class LogList : public QListWidget {
    Q_OBJECT
public:
    LogList(BoardModel& board, QWidget* parent);
    // Follows the board's log: by itself once the events of the moment are
    // handled, or at once when called.
    void sync();

private:
    BoardModel& board_;
    bool syncing_ = false;
    bool syncQueued_ = false;
    qint64 trimmed_ = 0;
};
