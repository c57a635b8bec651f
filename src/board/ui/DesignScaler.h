#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

// The board is laid out once in design pixels; on the real screen every
// registered widget gets its design rectangle and font size times one
// uniform factor, so the whole board grows or shrinks together.
class DesignScaler {
public:
    // Registers a widget with its rectangle in its parent's design
    // coordinates and its font's design pixel size (0 = leave the font).
    void place(QWidget* widget, const QRect& designRect, int fontPixels = 0);
    void apply(double scale);
    static QRect scaled(const QRect& r, double scale);

private:
    struct Entry {
        QPointer<QWidget> widget;
        QRect rect;
        int fontPixels;
    };
    std::vector<Entry> entries_;
};
