#include "board/ui/LogList.h"

#include <QPainter>
#include <algorithm>

#include "board/BoardModel.h"

void LogLinePainter::paintLine(QPainter& painter, const QRect& rect, const QString& text,
                               const std::optional<LogColor>& colour, const QColor& preparedText,
                               const QColor& preparedBack, bool lastLineSelected) {
    QColor textColour = preparedText;
    if (colour)
        textColour =
            colour->has_value() ? toQColor(**colour) : QPalette().color(QPalette::WindowText);
    const QColor back = lastLineSelected ? QColor(Qt::white) : preparedBack;
    painter.fillRect(rect, back);
    painter.setPen(textColour);
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(rect.left() + 4, rect.top() + 2 + metrics.ascent()), text);
}

void LogLinePainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& p = option.palette;
    const auto* view = qobject_cast<const QListWidget*>(parent());
    const bool lastSelected = view && view->count() > 0 && view->currentRow() == view->count() - 1;
    painter->save();
    painter->setFont(option.font);
    const QVariant colour = index.data(kColourRole);
    paintLine(*painter, option.rect, index.data().toString(),
              colour.isValid() ? colour.value<std::optional<LogColor>>() : std::nullopt,
              selected ? p.color(QPalette::HighlightedText) : p.color(QPalette::WindowText),
              selected ? p.color(QPalette::Highlight) : QColor(Qt::white), lastSelected);
    painter->restore();
}

QSize LogLinePainter::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), kLineHeight);
}

LogList::LogList(BoardModel& board, QWidget* parent) : QListWidget(parent), board_(board) {
    setObjectName(QStringLiteral("eventLog"));
    setFocusPolicy(Qt::NoFocus);
    setItemDelegate(new LogLinePainter(this));
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    setPalette(p);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!syncing_) board_.selectLogLine(row);
        viewport()->update();
    });
    connect(&board_, &BoardModel::logChanged, this, [this] {
        if (syncQueued_) return;
        syncQueued_ = true;
        QMetaObject::invokeMethod(this, &LogList::sync, Qt::QueuedConnection);
    });
}

void LogList::sync() {
    syncQueued_ = false;
    const EventLog& log = board_.eventLog();
    const QStringList& lines = log.lines();
    // Lines are only appended at the bottom and trimmed from the top: each
    // sync takes both as one change of the list, which is never rebuilt.
    const qint64 trimmed = log.trimmed() - trimmed_;
    trimmed_ = log.trimmed();
    if (trimmed == 0 && count() == lines.size() && currentRow() == log.selected()) return;
    syncing_ = true;
    if (trimmed > 0 && count() > 0) model()->removeRows(0, int(std::min<qint64>(trimmed, count())));
    // A frame's new lines are usually one or two; each carries its event's colour.
    for (qsizetype i = count(); i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(lines[i]);
        item->setData(LogLinePainter::kColourRole, QVariant::fromValue(log.lineColor(i)));
        addItem(item);
    }
    if (currentRow() != log.selected()) setCurrentRow(log.selected());
    scrollToItem(currentItem());
    syncing_ = false;
    viewport()->update();
}
