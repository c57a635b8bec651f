#include "board/ui/MessageStrip.h"

#include <QLabel>
#include <QMouseEvent>

#include "board/BoardModel.h"

namespace {
// The tooltip lists the newest messages whole; the rest are in tavolen.log.
constexpr int kTooltipMessages = 10;

QLabel* line(QWidget* parent, const QString& name, Qt::Alignment alignment, const QColor& text) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setAutoFillBackground(true);
    QPalette p = label->palette();
    p.setColor(QPalette::Window, QColor(255, 255, 225));
    p.setColor(QPalette::WindowText, text);
    label->setPalette(p);
    label->hide();
    return label;
}
}  // namespace

MessageStrip::MessageStrip(BoardModel& board, QWidget* parent) : QWidget(parent), board_(board) {
    setObjectName(QStringLiteral("messageStrip"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(255, 255, 225));
    setPalette(p);
    notice_ = line(this, QStringLiteral("noticeLine"), Qt::AlignLeft, QColor(0, 0, 0));
    notice_->setCursor(Qt::PointingHandCursor);
    warning_ = line(this, QStringLiteral("storageWarning"), Qt::AlignRight, QColor(190, 0, 0));
    connect(&board_, &BoardModel::noticeChanged, this, &MessageStrip::sync);
    sync();
}

bool MessageStrip::showsNotice() const {
    return !board_.notice().isEmpty() && board_.noticeCount() > seen_;
}

bool MessageStrip::showsWarning() const { return !board_.storageWarning().isEmpty(); }

void MessageStrip::setTextPixels(int px) {
    QFont f = font();
    f.setPixelSize(std::max(1, px));
    if (f != font()) setFont(f);
    fit();
}

void MessageStrip::sync() {
    if (board_.noticeCount() > counted_) {
        counted_ = board_.noticeCount();
        recent_.prepend(board_.notice());
        if (recent_.size() > kTooltipMessages) recent_.removeLast();
    }
    fit();
    if (wanted() != wanted_) {
        wanted_ = wanted();
        emit wantedChanged();
    }
}

void MessageStrip::fit() {
    const bool notice = showsNotice();
    const bool warning = showsWarning();
    // Both at once: the warning takes the right two fifths.
    const int warningWidth = !warning ? 0 : notice ? width() * 2 / 5 : width();
    const int gap = notice && warning ? 8 : 0;
    notice_->setGeometry(0, 0, width() - warningWidth - gap, height());
    warning_->setGeometry(width() - warningWidth, 0, warningWidth, height());
    const int margin = 2 * fontMetrics().averageCharWidth();

    if (notice) {
        const int unseen = board_.noticeCount() - seen_;
        const QString count = unseen > 1 ? QStringLiteral("  (%1건)").arg(unseen) : QString();
        const QFontMetrics metrics(notice_->font());
        const int room = notice_->width() - margin - metrics.horizontalAdvance(count);
        notice_->setText(metrics.elidedText(board_.notice(), Qt::ElideRight, std::max(0, room)) +
                         count);
        notice_->setToolTip(recent_.join(QLatin1Char('\n')));
    }
    if (warning) {
        const QFontMetrics metrics(warning_->font());
        warning_->setText(metrics.elidedText(board_.storageWarning(), Qt::ElideRight,
                                             std::max(0, warning_->width() - margin)));
        warning_->setToolTip(board_.storageWarning());
    }
    notice_->setVisible(notice);
    warning_->setVisible(warning);
}

void MessageStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fit();
}

void MessageStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !notice_->isVisible() ||
        !notice_->geometry().contains(event->position().toPoint()))
        return QWidget::mouseReleaseEvent(event);
    seen_ = board_.noticeCount();
    recent_.clear();
    sync();
}
