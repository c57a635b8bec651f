#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>

#include "board/ui/LogList.h"
#include "support/Fakes.h"

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
        // The line's event is the word after the room.
        LogLinePainter::paintLine(p, image.rect(), text,
                                  EventLog::wordColor(text.section(QLatin1Char(' '), 1)),
                                  preparedText, preparedBack, lastSelected);
    }
    bool found = false;
    for (int y = 0; y < image.height() && !found; ++y)
        for (int x = 0; x < image.width() && !found; ++x) found = image.pixelColor(x, y) == ink;
    return {image.pixelColor(image.width() - 1, image.height() - 1), found};
}

TEST(LogLinePainterTest, ColoursByTheEventAndWhitensWhileTheNewestIsSelected) {
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
        // An event without a colour: the prepared colours stay.
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

// The list on the board's log, as the clerk sees it.
struct ShownLog {
    ShownLog() {
        list.resize(165, 400);
        list.show();
    }
    void add(int count) {
        for (int i = 0; i < count; ++i)
            f.board.logEvent(i % 2 ? QStringLiteral("대실") : QStringLiteral("완료"),
                             QString::number(100 + ++added));
        QCoreApplication::processEvents();  // the list follows once the events are handled
    }
    QStringList shown() const {
        QStringList texts;
        for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
        return texts;
    }
    void clickRow(int row) {
        list.scrollToItem(list.item(row));
        const QRect r = list.visualItemRect(list.item(row));
        ASSERT_TRUE(list.viewport()->rect().contains(r.center())) << row;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r.center());
    }

    BoardFixture f;
    LogList list{f.board, nullptr};
    int added = 0;
};

TEST(LogList, ClickedEarlierLineLetsTheListGrowAndNeverDriftsFromTheLog) {
    ShownLog l;
    l.add(499);
    EXPECT_EQ(l.list.count(), 499);
    l.add(1);  // 499 lines: nothing is trimmed
    ASSERT_EQ(l.list.count(), 500);
    EXPECT_EQ(l.list.currentRow(), 499);
    l.add(1);  // 500 lines, the newest selected: the oldest goes
    EXPECT_EQ(l.shown(), l.f.board.eventLog().lines());
    EXPECT_EQ(l.list.count(), 500);
    EXPECT_EQ(l.list.item(0)->text(), QStringLiteral("102호 대실"));

    // A click on an earlier line selects it on the board too; the next
    // event then trims nothing, and the one after trims again.
    const struct {
        int clickedRow;  // -1: no click before the event
        int linesAfter;
        const char* firstAfter;
    } steps[] = {
        {10, 501, "102호 대실"}, {-1, 501, "103호 완료"}, {498, 502, "103호 완료"},
        {0, 503, "103호 완료"},  {-1, 503, "104호 대실"}, {499, 503, "105호 완료"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.clickedRow);
        if (s.clickedRow >= 0) {
            ASSERT_NO_FATAL_FAILURE(l.clickRow(s.clickedRow));
            EXPECT_EQ(l.f.board.eventLog().selected(), s.clickedRow);
        }
        l.add(1);
        EXPECT_EQ(l.shown(), l.f.board.eventLog().lines());
        EXPECT_EQ(l.list.count(), s.linesAfter);
        EXPECT_EQ(l.list.item(0)->text(), QString::fromUtf8(s.firstAfter));
        EXPECT_EQ(l.list.currentRow(), l.list.count() - 1);
        EXPECT_EQ(l.f.board.eventLog().selected(), l.list.count() - 1);
    }
}

}  // namespace
