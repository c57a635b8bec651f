#include "board/ui/DesignScaler.h"

#include <cmath>

namespace {
int toPixel(double v) { return static_cast<int>(std::lround(v)); }
}  // namespace

void DesignScaler::place(QWidget* widget, const QRect& designRect, int fontPixels, Spread spread,
                         int origin) {
    entries_.push_back({widget, designRect, fontPixels, spread, origin});
}

int DesignScaler::scaledPixels(int designPixels, double scale) {
    return std::max(1, toPixel(designPixels * scale));
}

QRect DesignScaler::scaled(const QRect& r, double scale) {
    return scaled(r, scale, scale, Spread::None);
}

QRect DesignScaler::scaled(const QRect& r, double scale, double wide, Spread spread, int origin) {
    const int top = toPixel(r.top() * scale);
    const int bottom = toPixel((r.top() + r.height()) * scale);
    const auto spreadX = [&](double x) { return origin * scale + (x - origin) * wide; };
    int left = 0;
    int right = 0;
    switch (spread) {
        case Spread::None:
            left = toPixel(r.left() * scale);
            right = toPixel((r.left() + r.width()) * scale);
            break;
        case Spread::Wide:
            left = toPixel(spreadX(r.left()));
            right = toPixel(spreadX(r.left() + r.width()));
            break;
        case Spread::Picture: {
            const double centre = spreadX(r.left() + r.width() / 2.0);
            const int width = toPixel((r.left() + r.width()) * scale) - toPixel(r.left() * scale);
            left = toPixel(centre - width / 2.0);
            right = left + width;
            break;
        }
    }
    return QRect(left, top, right - left, bottom - top);
}

void DesignScaler::apply(double scale, double wide) {
    for (const Entry& e : entries_) {
        if (!e.widget) continue;
        e.widget->setGeometry(scaled(e.rect, scale, wide, e.spread, e.origin));
        const int px = scaledPixels(e.fontPixels, scale);
        // A font set again, even the same, is taken up again by the widget
        // and every child of it.
        if (e.fontPixels > 0 && e.widget->font().pixelSize() != px) {
            QFont f = e.widget->font();
            f.setPixelSize(px);
            e.widget->setFont(f);
        }
    }
}
