#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "board/ui/LogList.h"

namespace {

// Paints one line into an image and reports the colours it used: the
// background at the corner and whether any pixel has the expected ink.
struct Painted {
    QColor background;
    bool hasInk;
};

Painted paintLine(const QString& text, const QColor& preparedText, const QColor& preparedBack,
                  bool lastSelected, const QColor& ink) {
    QImage image(200, LogLinePainter::kLineHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    {
        QPainter p(&image);
        QFont f(QStringLiteral("NanumGothicCoding"));
        f.setBold(true);
        f.setPixelSize(17);
        p.setFont(f);
        LogLinePainter::paintLine(p, image.rect(), text, preparedText, preparedBack, lastSelected);
    }
    bool found = false;
    for (int y = 0; y < image.height() && !found; ++y)
        for (int x = 0; x < image.width() && !found; ++x) found = image.pixelColor(x, y) == ink;
    return {image.pixelColor(image.width() - 1, image.height() - 1), found};
}

TEST(LogLinePainterTest, ColoursByTheFirstWordAndWhitensWhileTheNewestIsSelected) {
    const QColor highlight(0, 120, 215);
    const struct {
        const char* text;
        bool selected;      // the line itself: prepared in the highlight colours
        bool lastSelected;  // the newest line is the selected one
        QColor back;
        QColor ink;
    } cases[] = {
        {"101호 대실", false, false, Qt::white, QColor(0, 0, 255)},
        {"101호 숙박취소", false, false, Qt::white, QColor(255, 0, 0)},
        {"101호 완료", false, true, Qt::white, QColor(0, 128, 0)},
        {"101호 청소", true, false, highlight, QColor(128, 128, 128)},
        {"101호 퇴실", true, true, Qt::white, QColor(128, 0, 128)},
        // No word of the table: the prepared colours stay.
        {"101호 객실교체", true, false, highlight, Qt::white},
    };
    for (const auto& c : cases) {
        const Painted p = paintLine(QString::fromUtf8(c.text), c.selected ? Qt::white : Qt::black,
                                    c.selected ? highlight : Qt::white, c.lastSelected, c.ink);
        EXPECT_EQ(p.background, c.back) << c.text;
        EXPECT_TRUE(p.hasInk) << c.text;
    }
    EXPECT_EQ(LogLinePainter::kLineHeight, 24);
}

}  // namespace
