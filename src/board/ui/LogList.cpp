#include "board/ui/LogList.h"

#include <QPainter>

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
    connect(&board_, &BoardModel::logChanged, this, &LogList::sync);
}

void LogList::sync() {
    syncing_ = true;
    const QStringList& lines = board_.eventLog().lines();
    // Lines are only appended at the bottom and trimmed from the top.
    for (; trimmed_ < board_.eventLog().trimmed() && count() > 0; ++trimmed_) delete takeItem(0);
    for (qsizetype i = count(); i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(lines[i]);
        item->setData(LogLinePainter::kColourRole,
                      QVariant::fromValue(board_.eventLog().lineColor(i)));
        addItem(item);
    }
    setCurrentRow(board_.eventLog().selected());
    scrollToItem(currentItem());
    syncing_ = false;
    viewport()->update();
}
