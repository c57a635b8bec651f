#include "Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

// Surfaces the pictures sit on.
const QColor kPanel(165, 218, 217);     // a room panel
const QColor kButton(239, 239, 239);    // a push button's face
const QColor kTitleTop(226, 236, 247);  // the title strip, top to bottom
const QColor kTitleBottom(168, 190, 216);

const QColor kOutline(40, 48, 64);

QImage canvas(int width, int height, const QColor& background) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

QImage draw(int width, int height, const QColor& background,
            const std::function<void(QPainter&)>& paint) {
    QImage image = canvas(width, height, background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return image;
}

void titleGradient(QPainter& p, const QRectF& area, double firstRow, double rows) {
    QLinearGradient shade(0, -firstRow, 0, rows - firstRow);
    shade.setColorAt(0, kTitleTop);
    shade.setColorAt(1, kTitleBottom);
    p.fillRect(area, shade);
}

// A four-pointed glint.
void sparkle(QPainter& p, QPointF c, double r, const QColor& color) {
    QPainterPath star;
    const double w = r * 0.28;
    star.moveTo(c.x(), c.y() - r);
    star.quadTo(c.x() + w, c.y() - w, c.x() + r, c.y());
    star.quadTo(c.x() + w, c.y() + w, c.x(), c.y() + r);
    star.quadTo(c.x() - w, c.y() + w, c.x() - r, c.y());
    star.quadTo(c.x() - w, c.y() - w, c.x(), c.y() - r);
    p.fillPath(star, color);
}

QPainterPath crescent(QPointF centre, double radius, QPointF bite, double biteRadius) {
    QPainterPath moon;
    moon.addEllipse(centre, radius, radius);
    QPainterPath cut;
    cut.addEllipse(bite, biteRadius, biteRadius);
    return moon.subtracted(cut);
}

void sun(QPainter& p, QPointF c, double radius, double rayLength) {
    p.setPen(QPen(QColor(236, 128, 0), std::max(1.2, radius * 0.35), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        const QPointF dir(std::cos(a), std::sin(a));
        p.drawLine(c + dir * (radius + 1.6), c + dir * (radius + 1.6 + rayLength));
    }
    p.setPen(QPen(QColor(214, 104, 0), 1));
    p.setBrush(QColor(255, 196, 40));
    p.drawEllipse(c, radius, radius);
}

// Day-use stay: a made bed under a small sun.
QImage bed() {
    return draw(25, 25, kPanel, [](QPainter& p) {
        sun(p, {19.5, 6}, 2.4, 1.4);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(110, 66, 34));
        p.drawRoundedRect(QRectF(1.5, 8.5, 3.5, 14), 1, 1);  // headboard
        p.drawRect(QRectF(21, 17, 2.5, 5.5));                // foot post
        p.setBrush(QColor(150, 96, 52));
        p.drawRect(QRectF(4.5, 17, 17, 3));  // frame
        p.setBrush(Qt::white);
        p.setPen(QPen(QColor(120, 130, 150), 0.8));
        p.drawRoundedRect(QRectF(5, 11, 6, 5), 2, 2);  // pillow
        p.setBrush(QColor(38, 98, 214));
        p.setPen(QPen(QColor(20, 60, 150), 0.8));
        p.drawRoundedRect(QRectF(9.5, 12, 13, 5.5), 1.8, 1.8);  // blanket
    });
}

// Overnight stay: moon and stars on a night sky.
QImage night() {
    return draw(25, 25, kPanel, [](QPainter& p) {
        QLinearGradient sky(0, 0, 0, 25);
        sky.setColorAt(0, QColor(14, 24, 70));
        sky.setColorAt(1, QColor(34, 56, 124));
        p.setPen(Qt::NoPen);
        p.setBrush(sky);
        p.drawRoundedRect(QRectF(0.5, 0.5, 24, 24), 4, 4);
        p.fillPath(crescent({11, 13.5}, 7.5, {15, 10}, 6.5), QColor(255, 220, 90));
        sparkle(p, {19.5, 6}, 2.8, QColor(255, 248, 210));
        sparkle(p, {20, 17}, 2, QColor(220, 230, 255));
        sparkle(p, {6, 5}, 1.7, QColor(220, 230, 255));
    });
}

// Cleaning: a broom sweeping, with glints.
QImage clean() {
    return draw(25, 25, kPanel, [](QPainter& p) {
        p.save();
        p.translate(11, 15);
        p.rotate(35);
        p.setPen(QPen(QColor(122, 72, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -1), QPointF(0, -15));  // handle
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 50, 50));
        p.drawRoundedRect(QRectF(-3.2, -2, 6.4, 2.6), 0.8, 0.8);  // binding
        QPainterPath bristles;
        bristles.moveTo(-3, 0.5);
        bristles.lineTo(3, 0.5);
        bristles.lineTo(5.5, 9);
        bristles.lineTo(-5.5, 9);
        bristles.closeSubpath();
        p.setBrush(QColor(236, 184, 58));
        p.setPen(QPen(QColor(170, 120, 20), 0.8));
        p.drawPath(bristles);
        p.setPen(QPen(QColor(170, 120, 20), 0.7));
        for (double x : {-2.5, 0.0, 2.5}) p.drawLine(QPointF(x * 0.9, 2), QPointF(x * 1.5, 8.5));
        p.restore();
        sparkle(p, {5, 5}, 3.6, Qt::white);
        sparkle(p, {20.5, 20}, 3, Qt::white);
        sparkle(p, {10, 3}, 1.8, QColor(255, 255, 255, 220));
    });
}

// Checked out: an open door and an arrow leading away from it.
QImage withOut() {
    return draw(25, 25, kPanel, [](QPainter& p) {
        p.setPen(QPen(QColor(84, 52, 30), 1.2));
        p.setBrush(QColor(250, 238, 196));
        p.drawRect(QRectF(2.5, 2.5, 10, 20));  // lit doorway
        QPolygonF leaf({{3, 2}, {8.5, 4}, {8.5, 24}, {3, 23}});
        p.setBrush(QColor(176, 112, 56));
        p.drawPolygon(leaf);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 210, 80));
        p.drawEllipse(QPointF(7.2, 13.5), 0.9, 0.9);
        QPolygonF arrow({{11, 11}, {17, 11}, {17, 7}, {23.5, 13}, {17, 19}, {17, 15}, {11, 15}});
        p.setBrush(QColor(128, 0, 128));
        p.setPen(QPen(Qt::white, 0.8));
        p.drawPolygon(arrow);
    });
}

// Day-use kind: a sun.
QImage imp() {
    return draw(20, 20, kPanel, [](QPainter& p) { sun(p, {10, 10}, 4.2, 2.6); });
}

// Overnight kind: a crescent moon in a night disc.
QImage moon() {
    return draw(20, 20, kPanel, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(24, 40, 100));
        p.drawEllipse(QPointF(10, 10), 9, 9);
        p.fillPath(crescent({9, 10.5}, 5.8, {12, 8}, 5), QColor(255, 220, 90));
        sparkle(p, {14.5, 13.5}, 1.8, Qt::white);
    });
}

// The room's door stands open.
QImage door() {
    return draw(26, 28, kPanel, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(92, 58, 34));
        p.drawRect(QRectF(4, 0, 19, 28));  // frame
        QLinearGradient light(0, 3, 0, 28);
        light.setColorAt(0, QColor(255, 244, 200));
        light.setColorAt(1, QColor(250, 214, 120));
        p.setBrush(light);
        p.drawRect(QRectF(6.5, 3, 14, 25));  // lit room beyond
        QPolygonF leaf({{6.5, 3}, {14, 1}, {14, 28}, {6.5, 28}});
        p.setBrush(QColor(176, 112, 56));
        p.setPen(QPen(QColor(92, 58, 34), 1));
        p.drawPolygon(leaf);
        p.setPen(QPen(QColor(140, 86, 40), 0.8));
        p.drawLine(QPointF(9, 5), QPointF(9, 25));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 210, 80));
        p.drawEllipse(QPointF(12.3, 15), 1.2, 1.2);
    });
}

// A padlock on the title strip, shackle closed or lifted open.
QImage lock(bool open) {
    return draw(24, 24, kTitleTop, [open](QPainter& p) {
        titleGradient(p, QRectF(0, 0, 24, 24), 2, 28);  // on a button 2 px down
        QPainterPath shackle;
        const double lift = open ? 4.5 : 0;
        if (open) {
            shackle.moveTo(16, 12);
            shackle.lineTo(16, 8 - lift);
            shackle.arcTo(QRectF(8, 4 - lift, 8, 8), 0, 180);
            shackle.lineTo(8, 9 - lift);
        } else {
            shackle.moveTo(8, 12);
            shackle.lineTo(8, 8);
            shackle.arcTo(QRectF(8, 4, 8, 8), 180, -180);
            shackle.lineTo(16, 12);
        }
        p.setPen(QPen(QColor(96, 104, 118), 2.6, Qt::SolidLine, Qt::FlatCap));
        p.drawPath(shackle);
        QLinearGradient metal(0, 11, 0, 22);
        metal.setColorAt(0, QColor(252, 200, 70));
        metal.setColorAt(1, QColor(212, 142, 20));
        p.setBrush(metal);
        p.setPen(QPen(QColor(140, 90, 10), 1));
        p.drawRoundedRect(QRectF(4.5, 11.5, 15, 10.5), 2, 2);
        p.setPen(Qt::NoPen);
        p.setBrush(kOutline);
        p.drawEllipse(QPointF(12, 15.6), 1.5, 1.5);
        p.drawRect(QRectF(11.4, 15.6, 1.2, 3.6));
    });
}

// An arrow head with a short stem, pointing up (or down, mirrored).
QImage arrow(bool up) {
    QImage image = draw(16, 16, kButton, [](QPainter& p) {
        QPolygonF shape(
            {{8, 2}, {14, 8.5}, {10.2, 8.5}, {10.2, 14}, {5.8, 14}, {5.8, 8.5}, {2, 8.5}});
        p.setBrush(QColor(42, 96, 180));
        p.setPen(QPen(QColor(20, 56, 120), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.drawPolygon(shape);
    });
    return up ? image : image.mirrored(false, true);
}

// The title strip: a soft light-blue gradient with a highlight on top and a
// shadow below, the same on every column so it tiles without seams.
QImage title() {
    return draw(95, 29, kTitleTop, [](QPainter& p) {
        titleGradient(p, QRectF(0, 0, 95, 29), 0, 28);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 0, 95, 1), QColor(250, 252, 255));
        p.fillRect(QRect(0, 26, 95, 1), QColor(140, 162, 192));
        p.fillRect(QRect(0, 27, 95, 2), QColor(104, 126, 158));
    });
}

// Behind the room panels: a quiet slate tone with fine diagonal lines that
// repeat every 16 pixels, so the tile joins itself on every side.
QImage roomArea() {
    QImage image = canvas(64, 64, QColor(184, 198, 206));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((x + y) % 16 == 0) image.setPixelColor(x, y, QColor(164, 181, 192));
            if ((x + y) % 16 == 1) image.setPixelColor(x, y, QColor(198, 210, 217));
        }
    }
    return image;
}

// The left column's emblem: a key and a bed under the program's name.
QImage plate() {
    return draw(161, 100, kPanel, [](QPainter& p) {
        QLinearGradient back(0, 0, 0, 100);
        back.setColorAt(0, QColor(26, 70, 104));
        back.setColorAt(1, QColor(38, 116, 132));
        p.fillRect(QRectF(0, 0, 161, 100), back);
        QRadialGradient glow(QPointF(80.5, 40), 70);
        glow.setColorAt(0, QColor(255, 255, 255, 46));
        glow.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillRect(QRectF(0, 0, 161, 100), glow);
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(3.5, 3.5, 154, 93), 6, 6);

        // Bed.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(236, 242, 248));
        p.drawRoundedRect(QRectF(44, 22, 6, 32), 2, 2);
        p.drawRoundedRect(QRectF(110, 38, 5, 16), 1.5, 1.5);
        p.drawRect(QRectF(48, 44, 64, 6));
        p.drawRoundedRect(QRectF(52, 34, 14, 9), 3.5, 3.5);
        p.setBrush(QColor(255, 196, 60));
        p.drawRoundedRect(QRectF(67, 35, 44, 10), 3, 3);

        // Key hanging over the bed.
        p.setPen(QPen(QColor(255, 214, 90), 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(86, 18), 5.5, 5.5);
        p.drawLine(QPointF(91.5, 18), QPointF(108, 18));
        p.drawLine(QPointF(104, 18), QPointF(104, 23));
        p.drawLine(QPointF(108, 18), QPointF(108, 22));

        QFont name(QStringLiteral("DejaVu Sans"));
        name.setPixelSize(20);
        name.setBold(true);
        name.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
        p.setFont(name);
        p.setPen(QColor(250, 250, 250));
        p.drawText(QRectF(0, 60, 161, 30), Qt::AlignCenter, QStringLiteral("Tavolen"));
    });
}

}  // namespace

std::vector<Picture> makePictures() {
    return {{"bed.bmp", bed()},
            {"night.bmp", night()},
            {"Clean.bmp", clean()},
            {"withOut.bmp", withOut()},
            {"imp.bmp", imp()},
            {"moon.bmp", moon()},
            {"door.bmp", door()},
            {"lockO.bmp", lock(true)},
            {"lockS.bmp", lock(false)},
            {"arrow3u.bmp", arrow(true)},
            {"arrow3d.bmp", arrow(false)},
            {"title.bmp", title()},
            {"roomarea.bmp", roomArea()},
            {"plate.bmp", plate()}};
}
