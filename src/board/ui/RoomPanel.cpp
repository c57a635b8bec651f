#include "board/ui/RoomPanel.h"

#include <qdrawutil.h>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "board/ui/DesignScaler.h"
#include "board/ui/PanelPictures.h"
#include "board/ui/PanelTexts.h"

namespace {
// Where each part lies in the panel's 161 x 68 design, its text's design
// pixel size, and how it spreads on a screen wider than the design.
struct PartDesign {
    QRect rect;
    int fontPixels;
    DesignScaler::Spread spread;
};
constexpr int kDesignHeight = 68;
const PartDesign kDesign[RoomPanel::kParts] = {
    {QRect(5, 5, 52, 26), 21, DesignScaler::Spread::Wide},      // room button
    {QRect(61, 6, 63, 24), 24, DesignScaler::Spread::Wide},     // state label
    {QRect(131, 5, 24, 26), 0, DesignScaler::Spread::Picture},  // stay kind button
    {QRect(33, 35, 26, 28), 0, DesignScaler::Spread::Picture},  // door picture
    {QRect(6, 37, 25, 25), 0, DesignScaler::Spread::Picture},   // state picture
    {QRect(60, 37, 47, 21), 13, DesignScaler::Spread::Wide},    // start time
    {QRect(109, 37, 47, 21), 13, DesignScaler::Spread::Wide},   // elapsed time
};

QFont boldFont(const QString& family) {
    QFont f(family);
    f.setBold(true);
    return f;
}
}  // namespace

RoomPanel::RoomPanel(int slot, PanelPictures& pictures, PanelTexts& texts, QWidget* parent)
    : QFrame(parent),
      slot_(slot),
      pictures_(pictures),
      texts_(texts),
      buttonFont_(boldFont(QStringLiteral("굴림체"))),
      labelFont_(boldFont(QStringLiteral("굴림체"))),
      timeFont_(boldFont(QStringLiteral("굴림"))) {
    setObjectName(QStringLiteral("roomPanel") + QString::number(slot));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the hand over the label, the raised kind button
    setScale(1.0, 1.0);
}

int RoomPanel::fontPixels(Part part) const {
    const int design = kDesign[index(part)].fontPixels;
    return design > 0 ? DesignScaler::scaledPixels(design, scale_) : 0;
}

void RoomPanel::setScale(double scale, double wide) {
    if (!first_ && scale == scale_ && wide == wide_) return;
    scale_ = scale;
    wide_ = wide;
    for (std::size_t i = 0; i < rects_.size(); ++i)
        rects_[i] = DesignScaler::scaled(kDesign[i].rect, scale, wide, kDesign[i].spread);
    buttonFont_.setPixelSize(fontPixels(Part::RoomButton));
    labelFont_.setPixelSize(fontPixels(Part::StateLabel));
    timeFont_.setPixelSize(fontPixels(Part::StartTime));
    update();
}

void RoomPanel::render(const SlotView& v) {
    const bool all = first_;
    first_ = false;
    if (all || v.visible != shown_.visible) setVisible(v.visible);
    if (all || v.hint != shown_.hint) setToolTip(v.hint);
    if (all || v.panelColor != shown_.panelColor) {
        background_ = toQColor(v.panelColor);
        update();
    }
    if (v.buttonCaption != shown_.buttonCaption || v.buttonFontColor != shown_.buttonFontColor)
        updatePart(Part::RoomButton);
    if (v.labelCaption != shown_.labelCaption || v.labelColor != shown_.labelColor ||
        v.labelFontColor != shown_.labelFontColor)
        updatePart(Part::StateLabel);
    if (v.kindGlyphFile != shown_.kindGlyphFile || v.kindVisible != shown_.kindVisible)
        updatePart(Part::KindButton);
    if (v.doorImage != shown_.doorImage) updatePart(Part::DoorPicture);
    if (v.stateImage != shown_.stateImage) updatePart(Part::StatePicture);
    if (v.startText != shown_.startText || v.startColor != shown_.startColor)
        updatePart(Part::StartTime);
    if (v.elapsedText != shown_.elapsedText || v.elapsedFontColor != shown_.elapsedFontColor)
        updatePart(Part::ElapsedTime);
    shown_ = v;
    // A hidden stay kind button takes no clicks and shows no raise.
    if (!shown_.kindVisible && hovered_ == Part::KindButton) setHovered(std::nullopt);
}

std::optional<RoomPanel::Part> RoomPanel::partAt(const QPoint& point) const {
    for (Part part : {Part::RoomButton, Part::StateLabel, Part::KindButton}) {
        if (part == Part::KindButton && !shown_.kindVisible) continue;
        if (rects_[index(part)].contains(point)) return part;
    }
    return std::nullopt;
}

void RoomPanel::setHovered(std::optional<Part> part) {
    if (part == hovered_) return;
    if (hovered_) updatePart(*hovered_);
    hovered_ = part;
    if (hovered_) updatePart(*hovered_);
    if (part == Part::StateLabel)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void RoomPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    pressed_ = partAt(event->position().toPoint());
    if (pressed_) updatePart(*pressed_);
}

void RoomPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return QFrame::mouseReleaseEvent(event);
    const Part pressed = *pressed_;
    pressed_.reset();
    updatePart(pressed);
    // A click is a press and a release on the same part.
    if (partAt(event->position().toPoint()) != pressed) return;
    switch (pressed) {
        case Part::RoomButton:
            emit roomButtonClicked(slot_);
            break;
        case Part::StateLabel:
            emit labelClicked(slot_);
            break;
        case Part::KindButton:
            emit kindClicked(slot_);
            break;
        default:
            break;
    }
}

void RoomPanel::mouseMoveEvent(QMouseEvent* event) {
    setHovered(partAt(event->position().toPoint()));
    QFrame::mouseMoveEvent(event);
}

void RoomPanel::leaveEvent(QEvent* event) {
    setHovered(std::nullopt);
    QFrame::leaveEvent(event);
}

void RoomPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, background_);
    drawFrame(&painter);
    const auto wanted = [&](Part part) { return dirty.intersects(rects_[index(part)]); };
    if (wanted(Part::RoomButton)) paintRoomButton(painter);
    if (wanted(Part::StateLabel))
        paintTextBox(painter, Part::StateLabel, labelFont_, shown_.labelColor,
                     shown_.labelFontColor, shown_.labelCaption);
    if (wanted(Part::KindButton) && shown_.kindVisible) paintKindButton(painter);
    if (wanted(Part::DoorPicture)) paintPicture(painter, Part::DoorPicture, shown_.doorImage);
    if (wanted(Part::StatePicture)) paintPicture(painter, Part::StatePicture, shown_.stateImage);
    if (wanted(Part::StartTime))
        paintTextBox(painter, Part::StartTime, timeFont_, shown_.startColor, Colors::White,
                     shown_.startText);
    if (wanted(Part::ElapsedTime))
        paintTextBox(painter, Part::ElapsedTime, timeFont_, Colors::Black, shown_.elapsedFontColor,
                     shown_.elapsedText);
}

void RoomPanel::paintRoomButton(QPainter& painter) {
    const QRect r = partRect(Part::RoomButton);
    // A plain bevelled button: the style's rounded one costs a path stroke
    // per panel, 72 of them in the first frame.
    const QBrush face = palette().button();
    qDrawWinButton(&painter, r, palette(), pressed_ == Part::RoomButton, &face);
    painter.setPen(toQColor(shown_.buttonFontColor));
    const int shift = pressed_ == Part::RoomButton ? 1 : 0;
    texts_.drawCentred(painter, r.adjusted(2 + shift, 2 + shift, -2 + shift, -2 + shift),
                       buttonFont_, shown_.buttonCaption);
}

void RoomPanel::paintKindButton(QPainter& painter) {
    const QRect r = partRect(Part::KindButton);
    // Flat until the pointer is over it, as a tool button of the toolbar.
    if (hovered_ == Part::KindButton)
        qDrawShadePanel(&painter, r, palette(), pressed_ == Part::KindButton, 1);
    // The glyph grows with the board like everything else on the panel.
    const int side = std::max(8, height() * 20 / kDesignHeight);
    const QPixmap glyph = pictures_.fitted(shown_.kindGlyphFile, QSize(side, side));
    if (glyph.isNull()) return;
    QRect place(QPoint(), glyph.size());
    place.moveCenter(r.center());
    painter.drawPixmap(place, glyph);
}

void RoomPanel::paintTextBox(QPainter& painter, Part part, const QFont& font, WinColor back,
                             WinColor ink, const QString& text) {
    const QRect r = partRect(part);
    painter.fillRect(r, toQColor(back));
    painter.setPen(toQColor(ink));
    texts_.drawCentred(painter, r, font, text);
}

void RoomPanel::paintPicture(QPainter& painter, Part part, const QString& name) {
    const QRect r = partRect(part);
    const QPixmap picture = pictures_.scaled(name, r.size());
    if (!picture.isNull()) painter.drawPixmap(r.topLeft(), picture);
}
