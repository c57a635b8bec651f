#include "board/ui/DesignScaler.h"

#include <cmath>

void DesignScaler::place(QWidget* widget, const QRect& designRect, int fontPixels) {
    entries_.push_back({widget, designRect, fontPixels});
}

QRect DesignScaler::scaled(const QRect& r, double scale) {
    const int left = static_cast<int>(std::lround(r.left() * scale));
    const int top = static_cast<int>(std::lround(r.top() * scale));
    const int right = static_cast<int>(std::lround((r.left() + r.width()) * scale));
    const int bottom = static_cast<int>(std::lround((r.top() + r.height()) * scale));
    return QRect(left, top, right - left, bottom - top);
}

void DesignScaler::apply(double scale) {
    for (const Entry& e : entries_) {
        if (!e.widget) continue;
        e.widget->setGeometry(scaled(e.rect, scale));
        if (e.fontPixels > 0) {
            QFont f = e.widget->font();
            f.setPixelSize(std::max(1, static_cast<int>(std::lround(e.fontPixels * scale))));
            e.widget->setFont(f);
        }
    }
}
