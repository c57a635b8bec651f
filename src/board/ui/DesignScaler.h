#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

// The board is laid out once in design pixels; on the real screen every
// registered widget gets its design rectangle and font size times one
// uniform factor, so the whole board grows or shrinks together. The room
// area alone may also grow wider than that factor allows (a screen wider
// than the design): its widgets then spread out sideways while their texts
// keep the uniform size, and pictures keep their shape.
class DesignScaler {
public:
    enum class Spread {
        None,     // uniform in both directions
        Wide,     // sideways by the room area's factor
        Picture,  // centred where Wide puts it, uniform in size
    };

    // Registers a widget with its rectangle in its parent's design
    // coordinates and its font's design pixel size (0 = leave the font). A
    // spread widget spreads out from `origin`, a design x in its parent's
    // coordinates that stays where the uniform factor puts it.
    void place(QWidget* widget, const QRect& designRect, int fontPixels = 0,
               Spread spread = Spread::None, int origin = 0);
    // `wide` is the room area's sideways factor, never below `scale`.
    void apply(double scale, double wide);
    void apply(double scale) { apply(scale, scale); }
    static QRect scaled(const QRect& r, double scale);
    // A font's design pixel size at `scale`, never below one pixel.
    static int scaledPixels(int designPixels, double scale);
    static QRect scaled(const QRect& r, double scale, double wide, Spread spread, int origin = 0);

private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect rect;
        int fontPixels;
        Spread spread;
        int origin;
    };
    std::vector<Entry> entries_;
};
