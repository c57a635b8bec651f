#include "board/ui/PanelTexts.h"

#include <QPainter>
#include <QRect>

void PanelTexts::drawCentred(QPainter& painter, const QRect& box, const QFont& font,
                             const QString& text) {
    if (text.isEmpty()) return;
    const Key key{font, text};
    auto it = texts_.find(key);
    if (it == texts_.end()) {
        if (texts_.size() >= kMaxTexts) texts_.clear();
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), font);
        it = texts_.insert(key, laidOut);
    }
    const QSizeF size = it->size();
    const QPointF at(box.x() + (box.width() - size.width()) / 2.0,
                     box.y() + (box.height() - size.height()) / 2.0);
    painter.setFont(font);
    const bool fits = size.width() <= box.width() && size.height() <= box.height();
    if (!fits) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    painter.drawStaticText(at, *it);
    if (!fits) painter.restore();
}
