#include "controls/PaintedFrame.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

// Draws an axis-aligned polyline the way the Windows canvas does: a one-pixel
// line covers every pixel of its path except the very last point, a wider
// line is a geometric pen with round ends and joins centred on the path.
void canvasPolyline(QPainter& painter, std::initializer_list<QPoint> points, const QColor& color,
                    int width) {
    if (width > 1) {
        QPolygonF path;
        for (const QPoint& p : points) path << QPointF(p) + QPointF(0.5, 0.5);
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(path);
        return;
    }
    const QPoint* from = points.begin();
    for (const QPoint* to = from + 1; to != points.end(); from = to++) {
        QPoint end = *to;
        if (to + 1 == points.end()) {
            if (*to == *from) continue;
            end -= QPoint(sign(to->x() - from->x()), sign(to->y() - from->y()));
        }
        painter.fillRect(QRect(QPoint(std::min(from->x(), end.x()), std::min(from->y(), end.y())),
                               QPoint(std::max(from->x(), end.x()), std::max(from->y(), end.y()))),
                         color);
    }
}

void drawBitmap(QPainter& painter, const QImage& bitmap, const QSize& size) {
    if (bitmap.width() >= size.width() && bitmap.height() >= size.height()) {
        painter.drawImage(0, 0, bitmap);
        return;
    }
    const int rows = size.height() / bitmap.height() + 1;
    const int columns = size.width() / bitmap.width() + 1;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            painter.drawImage(column * bitmap.width(), row * bitmap.height(), bitmap);
        }
    }
}

}  // namespace

PaintedFrame::PaintedFrame(QWidget* parent) : QWidget(parent) {
    QFont captionFont = font();
    captionFont.setFamily(QStringLiteral("Arial"));
    setFont(captionFont);
    // The Windows "window colour" is the background of text areas, which Qt
    // calls Base (its Window role is the button face).
    color_ = palette().color(QPalette::Base);
    resize(60, 22);
}

void PaintedFrame::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    repaint();
}

void PaintedFrame::setColor(const QColor& color) {
    color_ = color;
    repaint();
}

QColor PaintedFrame::fontColor() const { return palette().color(QPalette::WindowText); }

void PaintedFrame::setFontColor(const QColor& color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
    repaint();
}

void PaintedFrame::setAlignment(CaptionAlignment alignment) {
    alignment_ = alignment;
    repaint();
}

void PaintedFrame::setInactivePicture(const QImage& bitmap) { inactivePicture_ = bitmap; }

void PaintedFrame::setActivePicture(const QImage& bitmap) {
    activePicture_ = bitmap;
    repaint();
}

void PaintedFrame::setActive(bool isActive) {
    active_ = isActive;
    repaint();
}

void PaintedFrame::setOpenSide(OpenSide openSide) {
    openSide_ = openSide;
    repaint();
}

void PaintedFrame::setBorder(int border) {
    if (border > 0) border_ = border;
    repaint();
}

void PaintedFrame::setBevelStyle(BevelStyle style) {
    bevelStyle_ = style;
    repaint();
}

void PaintedFrame::click() {
    if (!active_) setActive(true);
    emit clicked();
}

void PaintedFrame::paintFrame(QPainter& painter, const QSize& size) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect bounds(QPoint(0, 0), size);
    painter.setClipRect(bounds, Qt::IntersectClip);
    paintBackground(painter, size);
    const QRect area = paintBorder(painter, bounds);
    paintCaption(painter, area);
    painter.restore();
}

void PaintedFrame::paintBackground(QPainter& painter, const QSize& size) const {
    if (activePicture_.isNull()) {
        painter.fillRect(QRect(QPoint(0, 0), size), color_);
    } else if (active_) {
        drawBitmap(painter, activePicture_, size);
    } else if (!inactivePicture_.isNull()) {
        drawBitmap(painter, inactivePicture_, size);
    }
}

// Returns the rectangle left for the caption: inside the rings of a closed
// bevel, the whole control when a side is open.
QRect PaintedFrame::paintBorder(QPainter& painter, const QRect& bounds) const {
    if (bevelStyle_ == NoBevel) return bounds;
    QColor first = palette().color(QPalette::Light);
    QColor second = palette().color(QPalette::Dark);
    if (bevelStyle_ == BevelLowered) std::swap(first, second);

    // Rt: right and bottom on the last pixel inside the control.
    int l = bounds.left();
    int t = bounds.top();
    int r = bounds.left() + bounds.width() - 1;
    int b = bounds.top() + bounds.height() - 1;
    switch (openSide_) {
        case NoOpenSide:
            for (int ring = 0; ring < border_; ++ring) {
                canvasPolyline(painter, {{l, b}, {l, t}, {r, t}}, first, 1);
                canvasPolyline(painter, {{r, t}, {r, b}, {l - 1, b}}, second, 1);
                ++l, ++t, --r, --b;
            }
            return bounds.adjusted(border_, border_, -border_, -border_);
        case OpenLeft:
            canvasPolyline(painter, {{l, t}, {r, t}}, first, border_);
            canvasPolyline(painter, {{r, t}, {r, b}, {l - 1, b}}, second, border_);
            break;
        case OpenRight:
            canvasPolyline(painter, {{l, b}, {l, t}, {r, t}}, first, border_);
            canvasPolyline(painter, {{r, b}, {l - 1, b}}, second, border_);
            break;
        case OpenTop:
            canvasPolyline(painter, {{l, b}, {l, t}}, first, border_);
            canvasPolyline(painter, {{r, t}, {r, b}, {l - 1, b}}, second, border_);
            break;
        case OpenBottom:
            canvasPolyline(painter, {{l, b}, {l, t}, {r, t}}, first, border_);
            canvasPolyline(painter, {{r, t}, {r, b}}, second, border_);
            break;
    }
    return bounds;
}

// One line of text at the vertical middle of the area: the line is as high as
// the font's text height, the text starts at its top, and anything below it, a
// second line included, is cut off.
void PaintedFrame::paintCaption(QPainter& painter, const QRect& area) const {
    painter.setFont(font());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(fontColor());
    const int lineHeight = painter.fontMetrics().height();
    const int top = (area.top() + area.top() + area.height() - lineHeight) / 2;
    const QRect line(area.left(), top, area.width(), lineHeight);
    if (line.isEmpty() || caption_.isEmpty()) return;

    int flags = Qt::AlignTop | Qt::TextExpandTabs;
    switch (alignment_) {
        case CaptionLeft:
            flags |= Qt::AlignLeft;
            break;
        case CaptionRight:
            flags |= Qt::AlignRight;
            break;
        case CaptionCentre:
            flags |= Qt::AlignHCenter;
            break;
    }
    painter.setClipRect(line, Qt::IntersectClip);
    painter.drawText(line, flags, caption_.left(kCaptionMaxChars));
}

void PaintedFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintFrame(painter, size());
}

void PaintedFrame::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void PaintedFrame::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        click();
    }
    event->accept();
}
