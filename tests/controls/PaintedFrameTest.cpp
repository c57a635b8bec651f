#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <vector>

#include "controls/PaintedFrame.h"

namespace {

const QColor kMarker(255, 0, 255);  // what the target held before painting
const QColor kColor(20, 120, 200);
const QColor kLight(250, 240, 200);
const QColor kDark(200, 60, 60);
const QColor kActive(0, 160, 0);
const QColor kInactive(160, 160, 0);

QImage solid(const QSize& size, const QColor& color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QImage render(const PaintedFrame& frame, const QSize& size) {
    QImage image = solid(size, kMarker);
    QPainter painter(&image);
    frame.paintFrame(painter, size);
    return image;
}

QColor at(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)); }

// A frame with colours that no two roles share, so every pixel says who drew it.
struct FrameFixture : ::testing::Test {
    FrameFixture() {
        QPalette colours = frame.palette();
        colours.setColor(QPalette::Light, kLight);
        colours.setColor(QPalette::Dark, kDark);
        colours.setColor(QPalette::WindowText, Qt::black);
        frame.setPalette(colours);
        frame.setColor(kColor);
    }
    PaintedFrame frame;
};

TEST(PaintedFrameDefaults, NewFrameLooksAsDesigned) {
    PaintedFrame frame;
    EXPECT_EQ(frame.size(), QSize(60, 22));
    EXPECT_EQ(frame.font().family(), "Arial");
    EXPECT_EQ(frame.color(), frame.palette().color(QPalette::Base));
    EXPECT_EQ(frame.alignment(), PaintedFrame::CaptionCentre);
    EXPECT_EQ(frame.placement(), PaintedFrame::PlaceNone);
    EXPECT_EQ(frame.openSide(), PaintedFrame::NoOpenSide);
    EXPECT_EQ(frame.border(), 1);
    EXPECT_EQ(frame.bevelStyle(), PaintedFrame::BevelRaised);
    EXPECT_FALSE(frame.isActive());
    EXPECT_TRUE(frame.caption().isEmpty());
    EXPECT_TRUE(frame.activePicture().isNull());
    EXPECT_TRUE(frame.inactivePicture().isNull());
}

struct BackgroundCase {
    const char* name;
    bool withActive;
    bool withInactive;
    bool isActive;
    QColor expected;  // kMarker: nothing painted
};
void PrintTo(const BackgroundCase& c, std::ostream* os) { *os << c.name; }

class PaintedFrameBackground : public FrameFixture,
                               public ::testing::WithParamInterface<BackgroundCase> {};

TEST_P(PaintedFrameBackground, PicksColourOrBitmap) {
    const BackgroundCase& c = GetParam();
    frame.setBevelStyle(PaintedFrame::NoBevel);
    if (c.withActive) frame.setActivePicture(solid({80, 40}, kActive));
    if (c.withInactive) frame.setInactivePicture(solid({80, 40}, kInactive));
    frame.setActive(c.isActive);
    const QImage image = render(frame, {60, 22});
    EXPECT_EQ(at(image, 0, 0), c.expected);
    EXPECT_EQ(at(image, 30, 11), c.expected);
    EXPECT_EQ(at(image, 59, 21), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaintedFrameBackground,
    ::testing::Values(
        BackgroundCase{"NoBitmaps", false, false, false, kColor},
        BackgroundCase{"NoBitmapsActive", false, false, true, kColor},
        BackgroundCase{"OnlyInactiveBitmapStillShowsColour", false, true, false, kColor},
        BackgroundCase{"OnlyInactiveBitmapActive", false, true, true, kColor},
        BackgroundCase{"OnlyActiveBitmapActive", true, false, true, kActive},
        BackgroundCase{"OnlyActiveBitmapInactivePaintsNothing", true, false, false, kMarker},
        BackgroundCase{"BothActive", true, true, true, kActive},
        BackgroundCase{"BothInactive", true, true, false, kInactive}),
    [](const auto& info) { return std::string(info.param.name); });

struct TilingCase {
    const char* name;
    QSize bitmap;
    QSize frame;
    std::vector<QPoint> copies;
    int bottomRowPixels;  // pixels of the bitmap's last row left on screen
};
void PrintTo(const TilingCase& c, std::ostream* os) { *os << c.name; }

class PaintedFrameTiling : public FrameFixture, public ::testing::WithParamInterface<TilingCase> {};

TEST_P(PaintedFrameTiling, DrawsCopiesFromTopLeftAndClips) {
    const TilingCase& c = GetParam();
    const QColor fill(10, 10, 10), corner(250, 0, 0), lastRow(0, 0, 250);
    QImage bitmap = solid(c.bitmap, fill);
    for (int x = 0; x < bitmap.width(); ++x) bitmap.setPixelColor(x, bitmap.height() - 1, lastRow);
    bitmap.setPixelColor(0, 0, corner);
    frame.setBevelStyle(PaintedFrame::NoBevel);
    frame.setActivePicture(bitmap);
    frame.setActive(true);

    const QImage image = render(frame, c.frame);
    std::vector<QPoint> corners;
    int lastRowPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = at(image, x, y);
            if (pixel == corner) corners.emplace_back(x, y);
            if (pixel == lastRow) ++lastRowPixels;
            ASSERT_NE(pixel, kMarker) << x << "," << y;
        }
    }
    EXPECT_EQ(corners, c.copies);
    EXPECT_EQ(lastRowPixels, c.bottomRowPixels);
}

std::vector<QPoint> titleStripCopies() {
    std::vector<QPoint> copies;
    for (int x = 0; x <= 950; x += 95) copies.emplace_back(x, 0);
    return copies;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaintedFrameTiling,
    ::testing::Values(
        TilingCase{"TitleStrip", {95, 29}, {1028, 28}, titleStripCopies(), 0},
        TilingCase{
            "LeftPlate", {157, 152}, {161, 225}, {{0, 0}, {157, 0}, {0, 152}, {157, 152}}, 161},
        TilingCase{"LargerBitmapOnce", {100, 30}, {60, 22}, {{0, 0}}, 0},
        TilingCase{"ExactFitOnce", {60, 22}, {60, 22}, {{0, 0}}, 60}),
    [](const auto& info) { return std::string(info.param.name); });

struct BevelCase {
    const char* name;
    PaintedFrame::BevelStyle style;
    int border;
    QColor first;
    QColor second;
};
void PrintTo(const BevelCase& c, std::ostream* os) { *os << c.name; }

class PaintedFrameBevel : public FrameFixture, public ::testing::WithParamInterface<BevelCase> {};

TEST_P(PaintedFrameBevel, DrawsOnePixelRingsFromTheOutside) {
    const BevelCase& c = GetParam();
    frame.setBevelStyle(c.style);
    frame.setBorder(c.border);
    const int w = 40, h = 20;
    const QImage image = render(frame, {w, h});
    for (int i = 0; i < c.border; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(at(image, i, h / 2), c.first);
        EXPECT_EQ(at(image, w / 2, i), c.first);
        EXPECT_EQ(at(image, w - 1 - i, h / 2), c.second);
        EXPECT_EQ(at(image, w / 2, h - 1 - i), c.second);
        // The second colour closes each ring over both far corners.
        EXPECT_EQ(at(image, w - 1 - i, i), c.second);
        EXPECT_EQ(at(image, i, h - 1 - i), c.second);
    }
    EXPECT_EQ(at(image, c.border, h / 2), kColor);
    EXPECT_EQ(at(image, w - 1 - c.border, h / 2), kColor);
    EXPECT_EQ(at(image, w / 2, h - 1 - c.border), kColor);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaintedFrameBevel,
    ::testing::Values(BevelCase{"Raised1", PaintedFrame::BevelRaised, 1, kLight, kDark},
                      BevelCase{"Raised3", PaintedFrame::BevelRaised, 3, kLight, kDark},
                      BevelCase{"Lowered2", PaintedFrame::BevelLowered, 2, kDark, kLight},
                      BevelCase{"None", PaintedFrame::NoBevel, 0, kColor, kColor}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameFixture, BorderOfZeroOrLessKeepsTheOldWidth) {
    frame.setBorder(2);
    frame.setBorder(0);
    EXPECT_EQ(frame.border(), 2);
    frame.setBorder(-5);
    EXPECT_EQ(frame.border(), 2);
    const QImage image = render(frame, {40, 20});
    EXPECT_EQ(at(image, 1, 10), kLight);
    EXPECT_EQ(at(image, 2, 10), kColor);
}

struct AttachCase {
    const char* name;
    PaintedFrame::OpenSide openSide;
    int border;
    // Colour at the middle of the left, top, right and bottom edges.
    QColor left, top, right, bottom;
};
void PrintTo(const AttachCase& c, std::ostream* os) { *os << c.name; }

class PaintedFrameAttach : public FrameFixture, public ::testing::WithParamInterface<AttachCase> {};

TEST_P(PaintedFrameAttach, LeavesTheAttachedSideOpen) {
    const AttachCase& c = GetParam();
    frame.setOpenSide(c.openSide);
    frame.setBorder(c.border);
    const QImage image = render(frame, {40, 20});
    EXPECT_EQ(at(image, 0, 10), c.left);
    EXPECT_EQ(at(image, 20, 0), c.top);
    EXPECT_EQ(at(image, 39, 10), c.right);
    EXPECT_EQ(at(image, 20, 19), c.bottom);
    // A wide pen stays on the edge: the middle of the control is untouched.
    EXPECT_EQ(at(image, 20, 10), kColor);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaintedFrameAttach,
    ::testing::Values(
        AttachCase{"None", PaintedFrame::NoOpenSide, 1, kLight, kLight, kDark, kDark},
        AttachCase{"Left", PaintedFrame::OpenLeft, 1, kColor, kLight, kDark, kDark},
        AttachCase{"Right", PaintedFrame::OpenRight, 1, kLight, kLight, kColor, kDark},
        AttachCase{"Top", PaintedFrame::OpenTop, 1, kLight, kColor, kDark, kDark},
        AttachCase{"Bottom", PaintedFrame::OpenBottom, 1, kLight, kLight, kDark, kColor},
        AttachCase{"LeftWide", PaintedFrame::OpenLeft, 3, kColor, kLight, kDark, kDark},
        AttachCase{"BottomWide", PaintedFrame::OpenBottom, 3, kLight, kLight, kDark, kColor}),
    [](const auto& info) { return std::string(info.param.name); });

// The caption's ink: the grey pixels of black text on a white frame (the
// bevel colours are not grey).
QRect inkOf(const QImage& image) {
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = at(image, x, y);
            if (p.red() == p.green() && p.green() == p.blue() && p.red() < 160) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

struct CaptionCase {
    const char* name;
    PaintedFrame::BevelStyle style;
    int border;
    PaintedFrame::OpenSide openSide;
    PaintedFrame::CaptionAlignment alignment;
    int shift;  // of the ink against a frame without border, inwards
};
void PrintTo(const CaptionCase& c, std::ostream* os) { *os << c.name; }

class PaintedFrameCaption : public FrameFixture, public ::testing::WithParamInterface<CaptionCase> {
protected:
    QRect inkFor(PaintedFrame::BevelStyle style, int border, PaintedFrame::OpenSide openSide,
                 PaintedFrame::CaptionAlignment alignment) {
        frame.setColor(Qt::white);
        frame.setCaption("WM");
        frame.setBevelStyle(style);
        frame.setBorder(border);
        frame.setOpenSide(openSide);
        frame.setAlignment(alignment);
        return inkOf(render(frame, {120, 40}));
    }
};

TEST_P(PaintedFrameCaption, SitsInsideTheRingsOnly) {
    const CaptionCase& c = GetParam();
    const QRect base = inkFor(PaintedFrame::NoBevel, 1, PaintedFrame::NoOpenSide, c.alignment);
    const QRect ink = inkFor(c.style, c.border, c.openSide, c.alignment);
    ASSERT_FALSE(base.isEmpty());
    switch (c.alignment) {
        case PaintedFrame::CaptionLeft:
            EXPECT_EQ(ink.left(), base.left() + c.shift);
            break;
        case PaintedFrame::CaptionRight:
            EXPECT_EQ(ink.right(), base.right() - c.shift);
            break;
        case PaintedFrame::CaptionCentre:
            EXPECT_EQ(ink.left(), base.left());
            EXPECT_NEAR(ink.center().x(), 60, 2);
            break;
    }
    // Rings shrink the area evenly, so the line stays in the vertical middle.
    EXPECT_EQ(ink.top(), base.top());
    EXPECT_EQ(ink.bottom(), base.bottom());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PaintedFrameCaption,
    ::testing::Values(CaptionCase{"LeftInsideThreeRings", PaintedFrame::BevelRaised, 3,
                                  PaintedFrame::NoOpenSide, PaintedFrame::CaptionLeft, 3},
                      CaptionCase{"RightInsideTwoRings", PaintedFrame::BevelLowered, 2,
                                  PaintedFrame::NoOpenSide, PaintedFrame::CaptionRight, 2},
                      CaptionCase{"CentredInsideThreeRings", PaintedFrame::BevelRaised, 3,
                                  PaintedFrame::NoOpenSide, PaintedFrame::CaptionCentre, 0},
                      CaptionCase{"AttachedUsesWholeControl", PaintedFrame::BevelRaised, 3,
                                  PaintedFrame::OpenLeft, PaintedFrame::CaptionLeft, 0},
                      CaptionCase{"AttachedUsesWholeControlRight", PaintedFrame::BevelRaised, 3,
                                  PaintedFrame::OpenRight, PaintedFrame::CaptionRight, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameFixture, CaptionIsOneLineInTheMiddle) {
    frame.setColor(Qt::white);
    frame.setBevelStyle(PaintedFrame::NoBevel);
    const QSize size(120, 60);
    frame.setCaption("W");
    const QRect oneLine = inkOf(render(frame, size));
    frame.setCaption("W\nW");
    const QRect twoLines = inkOf(render(frame, size));
    ASSERT_FALSE(oneLine.isEmpty());
    EXPECT_EQ(twoLines, oneLine);

    QImage probe = solid(size, Qt::white);
    const int lineHeight = QFontMetrics(frame.font(), &probe).height();
    const int top = (size.height() - lineHeight) / 2;
    EXPECT_GE(oneLine.top(), top);
    EXPECT_LT(oneLine.bottom(), top + lineHeight);
}

TEST_F(FrameFixture, CaptionStopsAfter255Characters) {
    frame.setColor(Qt::white);
    frame.setBevelStyle(PaintedFrame::NoBevel);
    frame.setAlignment(PaintedFrame::CaptionRight);
    frame.setCaption(QString(255, '.') + "WWW");
    // Right-justified, the dots end the visible text; the Ws never show.
    const QRect cut = inkOf(render(frame, {120, 30}));
    ASSERT_FALSE(cut.isEmpty());
    frame.setCaption(QString(255, '.'));
    EXPECT_EQ(cut, inkOf(render(frame, {120, 30})));
}

TEST_F(FrameFixture, ClickActivatesOnceAndReportsEveryClick) {
    QSignalSpy clicks(&frame, &PaintedFrame::clicked);
    frame.show();
    QTest::mouseClick(&frame, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(frame.isActive());
    EXPECT_EQ(clicks.count(), 1);
    QTest::mouseClick(&frame, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(frame.isActive());
    EXPECT_EQ(clicks.count(), 2);
    frame.setActive(false);
    EXPECT_FALSE(frame.isActive());
}

}  // namespace
