#include "board/ui/RoomPanel.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "board/ui/DesignScaler.h"
#include "board/ui/PanelPictures.h"

namespace {
void setColors(QWidget* w, QPalette::ColorRole back, WinColor backColor, QPalette::ColorRole text,
               WinColor textColor) {
    QPalette p = w->palette();
    p.setColor(back, toQColor(backColor));
    p.setColor(text, toQColor(textColor));
    w->setPalette(p);
}

QFont boldFont(const QString& family) {
    QFont f(family);
    f.setBold(true);
    return f;
}

// The time boxes only ever show text; a label is all they need and keeps
// the 72 panels cheap to build.
QLabel* timeBox(QWidget* parent, const QString& name) {
    auto* e = new QLabel(parent);
    e->setObjectName(name);
    e->setAlignment(Qt::AlignCenter);
    e->setAutoFillBackground(true);
    e->setFont(boldFont(QStringLiteral("굴림")));
    return e;
}
}  // namespace

RoomPanel::RoomPanel(int slot, PanelPictures& pictures, DesignScaler& scaler, QWidget* parent)
    : QFrame(parent), slot_(slot), pictures_(pictures) {
    const QString n = QString::number(slot);
    setObjectName(QStringLiteral("roomPanel") + n);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);

    button_ = new QPushButton(this);
    button_->setObjectName(QStringLiteral("roomButton") + n);
    button_->setFont(boldFont(QStringLiteral("굴림체")));
    button_->setFocusPolicy(Qt::NoFocus);
    scaler.place(button_, QRect(5, 5, 52, 26), 21, DesignScaler::Spread::Wide);

    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("stateLabel") + n);
    label_->setAlignment(Qt::AlignCenter);
    label_->setAutoFillBackground(true);
    label_->setFont(boldFont(QStringLiteral("굴림체")));
    label_->setCursor(Qt::PointingHandCursor);
    label_->installEventFilter(this);
    scaler.place(label_, QRect(61, 6, 63, 24), 24, DesignScaler::Spread::Wide);

    kind_ = new QToolButton(this);
    kind_->setObjectName(QStringLiteral("stayKindButton") + n);
    kind_->setAutoRaise(true);
    kind_->setFocusPolicy(Qt::NoFocus);
    scaler.place(kind_, QRect(131, 5, 24, 26), 0, DesignScaler::Spread::Picture);

    door_ = new QLabel(this);
    door_->setObjectName(QStringLiteral("doorImage") + n);
    scaler.place(door_, QRect(33, 35, 26, 28), 0, DesignScaler::Spread::Picture);

    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("stateImage") + n);
    scaler.place(state_, QRect(6, 37, 25, 25), 0, DesignScaler::Spread::Picture);

    start_ = timeBox(this, QStringLiteral("startTime") + n);
    scaler.place(start_, QRect(60, 37, 47, 21), 13, DesignScaler::Spread::Wide);
    elapsed_ = timeBox(this, QStringLiteral("elapsedTime") + n);
    scaler.place(elapsed_, QRect(109, 37, 47, 21), 13, DesignScaler::Spread::Wide);

    connect(button_, &QPushButton::clicked, this, [this] { emit roomButtonClicked(slot_); });
    connect(kind_, &QToolButton::clicked, this, [this] { emit kindClicked(slot_); });
}

bool RoomPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit labelClicked(slot_);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void RoomPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    // The glyph grows with the board like everything else on the panel.
    const int side = std::max(8, height() * 20 / 68);
    kind_->setIconSize(QSize(side, side));
    laidOut_ = true;
    showStatePicture();
    showDoorPicture();
}

void RoomPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    drawFrame(&painter);
}

// The pictures fill their places, scaled once for each size; before the
// panel has its size there is nothing to scale them to.
void RoomPanel::showStatePicture() {
    if (laidOut_) state_->setPixmap(pictures_.scaled(shown_.stateImage, state_->size()));
}

void RoomPanel::showDoorPicture() {
    if (laidOut_) door_->setPixmap(pictures_.scaled(shown_.doorImage, door_->size()));
}

void RoomPanel::render(const SlotView& v) {
    const bool all = first_;
    first_ = false;
    if (all || v.visible != shown_.visible) setVisible(v.visible);
    if (all || v.panelColor != shown_.panelColor) {
        // Painted here rather than through the palette, which every control
        // on the panel would take over again at each highlight.
        background_ = toQColor(v.panelColor);
        update();
    }
    if (all || v.hint != shown_.hint) setToolTip(v.hint);
    if (all || v.buttonCaption != shown_.buttonCaption) button_->setText(v.buttonCaption);
    if (all || v.buttonFontColor != shown_.buttonFontColor) {
        QPalette p = button_->palette();
        p.setColor(QPalette::ButtonText, toQColor(v.buttonFontColor));
        button_->setPalette(p);
    }
    if (all || v.labelCaption != shown_.labelCaption) label_->setText(v.labelCaption);
    if (all || v.labelColor != shown_.labelColor || v.labelFontColor != shown_.labelFontColor)
        setColors(label_, QPalette::Window, v.labelColor, QPalette::WindowText, v.labelFontColor);
    const bool statePicture = all || v.stateImage != shown_.stateImage;
    const bool doorPicture = all || v.doorImage != shown_.doorImage;
    if (all || v.kindGlyph != shown_.kindGlyph) kind_->setIcon(pictures_.icon(v.kindGlyph));
    if (all || v.kindVisible != shown_.kindVisible) kind_->setVisible(v.kindVisible);
    if (all || v.startText != shown_.startText) start_->setText(v.startText);
    if (all || v.startColor != shown_.startColor)
        setColors(start_, QPalette::Window, v.startColor, QPalette::WindowText, Colors::White);
    if (all || v.elapsedText != shown_.elapsedText) elapsed_->setText(v.elapsedText);
    if (all || v.elapsedFontColor != shown_.elapsedFontColor)
        setColors(elapsed_, QPalette::Window, Colors::Black, QPalette::WindowText,
                  v.elapsedFontColor);
    shown_ = v;
    if (statePicture) showStatePicture();
    if (doorPicture) showDoorPicture();
}
