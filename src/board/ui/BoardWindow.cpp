#include "board/ui/BoardWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QScreen>
#include <QToolButton>
#include <cmath>
#include <utility>

#include "board/ui/LogList.h"
#include "board/ui/MessageStrip.h"
#include "board/ui/RoomPanel.h"
#include "controls/PaintedFrame.h"
#include "platform/Assets.h"

namespace {
constexpr int kTitleHeight = 28;
constexpr int kLeftWidth = 165;
constexpr int kLastEventHeight = 67;
// The message strip, under the last row of panels while it shows.
constexpr int kStripHeight = 22;
constexpr int kStripTextPixels = 12;
// The six columns of panels and the margin to the window's right edge.
constexpr int kRoomsLeft = 162;
constexpr int kRoomsWidth = 6 * 161;
constexpr int kRoomsMargin = BoardWindow::kDesignWidth - kRoomsLeft - kRoomsWidth;

QImage pictureOrNone(Assets& assets, const QString& name) {
    try {
        return assets.picture(name);
    } catch (const std::exception&) {
        return QImage();  // a frame without its picture shows its colour
    }
}
}  // namespace

BoardWindow::BoardWindow(BoardModel& board, Assets& assets, QWidget* parent)
    : QWidget(parent), board_(board), assets_(assets), pictures_(assets) {
    setObjectName(QStringLiteral("boardWindow"));
    setWindowTitle(QStringLiteral("객실 관리 프로그램 Tavolen 1.0.0"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(p);
    resize(kDesignWidth, kDesignHeight);

    titleStrip_ = new PaintedFrame(this);
    titleStrip_->setObjectName(QStringLiteral("titleStrip"));
    titleStrip_->setActivePicture(pictureOrNone(assets_, QStringLiteral("title.bmp")));
    titleStrip_->setActive(true);

    link_ = new QLabel(titleStrip_);
    link_->setObjectName(QStringLiteral("controllerLink"));
    link_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setControllerLink(false);
    buildToolbar();

    roomArea_ = new PaintedFrame(this);
    roomArea_->setObjectName(QStringLiteral("roomArea"));
    roomArea_->setActivePicture(pictureOrNone(assets_, QStringLiteral("roomarea.bmp")));
    roomArea_->setActive(true);
    roomArea_->setBevelStyle(PaintedFrame::BevelLowered);

    buildLeftColumn();

    // The message line of background work and the standing warning of a
    // write that has not reached the disk yet, under the panels (the title
    // strip is full with the toolbar, the left column too narrow for them).
    strip_ = new MessageStrip(board_, this);
    connect(strip_, &MessageStrip::wantedChanged, this, &BoardWindow::layOut);

    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        auto* panel = new RoomPanel(n, pictures_, texts_, this);
        const int column = (n - 1) % 6;
        const int row = (n - 1) / 6;
        scaler_.place(panel, QRect(kRoomsLeft + 161 * column, 29 + 66 * row, 161, 68), 0,
                      DesignScaler::Spread::Wide, kRoomsLeft);
        panel->render(board_.view(n));
        connect(panel, &RoomPanel::roomButtonClicked, this, &BoardWindow::roomButtonClicked);
        connect(panel, &RoomPanel::labelClicked, this, &BoardWindow::labelClicked);
        connect(panel, &RoomPanel::kindClicked, this, &BoardWindow::kindClicked);
        panels_[static_cast<std::size_t>(n - 1)] = panel;
    }

    connect(&board_, &BoardModel::slotChanged, this, [this](int n) {
        changedSlots_.set(static_cast<std::size_t>(n - 1));
        scheduleRender();
    });
    connect(&board_, &BoardModel::leftChanged, this, [this] {
        leftChanged_ = true;
        scheduleRender();
    });
    renderLeft();
}

void BoardWindow::buildToolbar() {
    struct Design {
        ToolbarButton button;
        const char* name;
        const char* caption;
        QRect place;
    };
    const Design buttons[] = {
        {ToolbarButton::EnvironmentSetup, "spBB", "환경정보", QRect(8, 2, 105, 25)},
        {ToolbarButton::DailySettlement, "spDay", "일결산", QRect(112, 2, 105, 25)},
        {ToolbarButton::MonthlySettlement, "spMonth", "월결산", QRect(216, 2, 105, 25)},
        {ToolbarButton::MorningCalls, "spMoning", "모닝콜/ 메모", QRect(321, 2, 150, 25)},
        {ToolbarButton::SignIn, "spLogIn", "사용자인증", QRect(470, 2, 169, 25)},
        {ToolbarButton::Backup, "spFileCopy", "자료복사", QRect(639, 2, 114, 25)},
        {ToolbarButton::About, "spAbout", "프로그램 A/S", QRect(752, 2, 132, 25)},
        {ToolbarButton::ShutDown, "spClose", "종료", QRect(885, 2, 95, 25)},
        {ToolbarButton::UseWindows, "spMini", "", QRect(992, 8, 16, 14)},
    };
    QFont font(QStringLiteral("굴림체"));
    font.setBold(true);
    for (const Design& d : buttons) {
        auto* b = new QToolButton(titleStrip_);
        b->setObjectName(QString::fromLatin1(d.name));
        b->setText(QString::fromUtf8(d.caption));
        b->setAutoRaise(true);  // flat; raised under the pointer
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setFont(font);
        scaler_.place(b, d.place, 16);
        connect(b, &QToolButton::clicked, this,
                [this, which = d.button] { emit toolbarClicked(which); });
        toolbar_[static_cast<std::size_t>(d.button)] = b;
    }
    QToolButton* mini = toolbarButton(ToolbarButton::UseWindows);
    mini->setToolButtonStyle(Qt::ToolButtonIconOnly);
    mini->setToolTip(QStringLiteral("윈도우 사용"));
    const QImage arrow = pictureOrNone(assets_, QStringLiteral("arrow3d.bmp"));
    if (!arrow.isNull()) mini->setIcon(QIcon(QPixmap::fromImage(arrow)));
    setSignIn(QStringLiteral("사용자인증"), QStringLiteral("lockS.bmp"));
}

void BoardWindow::setSignIn(const QString& caption, const QString& picture) {
    QToolButton* b = toolbarButton(ToolbarButton::SignIn);
    b->setText(caption);
    const QImage image = pictureOrNone(assets_, picture);
    b->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
}

QLabel* BoardWindow::plate(const QString& name, QWidget* parent, WinColor back, WinColor text,
                           int px) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette p = label->palette();
    p.setColor(QPalette::Window, toQColor(back));
    p.setColor(QPalette::WindowText, toQColor(text));
    label->setPalette(p);
    QFont f(QStringLiteral("굴림체"));
    f.setBold(true);
    f.setPixelSize(px);
    label->setFont(f);
    return label;
}

void BoardWindow::buildLeftColumn() {
    leftColumn_ = new QWidget(this);
    leftColumn_->setObjectName(QStringLiteral("leftColumn"));

    auto* top = new QWidget(leftColumn_);
    top->setObjectName(QStringLiteral("leftTop"));
    scaler_.place(top, QRect(0, 0, kLeftWidth, 259));

    businessName_ = new PaintedFrame(top);
    businessName_->setObjectName(QStringLiteral("businessName"));
    businessName_->setColor(Qt::white);
    QFont nameFont(QStringLiteral("굴림체"));
    nameFont.setBold(true);
    businessName_->setFont(nameFont);
    scaler_.place(businessName_, QRect(0, 0, kLeftWidth, 36), 21);

    plate_ = new PaintedFrame(top);
    plate_->setObjectName(QStringLiteral("clockPlate"));
    plate_->setActive(true);
    scaler_.place(plate_, QRect(0, 36, kLeftWidth, 100));

    date_ = plate(QStringLiteral("st2"), top, Colors::Green, Colors::White, 15);
    scaler_.place(date_, QRect(0, 136, kLeftWidth, 26), 15);
    time_ = plate(QStringLiteral("st1"), top, Colors::White, Colors::Green, 32);
    scaler_.place(time_, QRect(0, 162, kLeftWidth, 45), 32);
    dasilCount_ = plate(QStringLiteral("st3"), top, Colors::Green, Colors::White, 17);
    scaler_.place(dasilCount_, QRect(0, 207, kLeftWidth, 26), 17);
    sleepCount_ = plate(QStringLiteral("st4"), top, Colors::Green, Colors::White, 17);
    scaler_.place(sleepCount_, QRect(0, 233, kLeftWidth, 26), 17);

    logArea_ = new QWidget(leftColumn_);
    logArea_->setObjectName(QStringLiteral("logArea"));
    log_ = new LogList(board_, logArea_);
    QFont logFont(QStringLiteral("굴림체"));
    logFont.setBold(true);
    logFont.setPixelSize(17);
    log_->setFont(logFont);

    lastEventArea_ = new QWidget(leftColumn_);
    lastEventArea_->setObjectName(QStringLiteral("lastEventArea"));
    lastRoom_ = plate(QStringLiteral("lastEventRoom"), lastEventArea_, Colors::LogLabelBack,
                      Colors::Black, 32);
    lastRoom_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    scaler_.place(lastRoom_, QRect(2, 2, 160, 31), 32);
    lastWord_ = plate(QStringLiteral("lastEventWord"), lastEventArea_, Colors::LogLabelBack,
                      Colors::Black, 32);
    lastWord_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    scaler_.place(lastWord_, QRect(2, 34, 160, 31), 32);
    connect(&board_, &BoardModel::logChanged, this, [this] {
        logChanged_ = true;
        scheduleRender();
    });
    renderLastEvent();
}

void BoardWindow::renderLastEvent() {
    const EventLog& log = board_.eventLog();
    const auto show = [](QLabel* label, const QString& text, const LogColor& colour) {
        label->setText(text);
        const QColor ink = colour ? toQColor(*colour) : QPalette().color(QPalette::WindowText);
        if (label->palette().color(QPalette::WindowText) == ink) return;
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, ink);
        label->setPalette(p);
    };
    show(lastRoom_, log.lastEventRoom(), log.lastEventRoomColor());
    show(lastWord_, log.lastEventWord(), log.lastEventWordColor());
}

void BoardWindow::renderLeft() {
    const LeftColumn& left = board_.left();
    businessName_->setCaption(left.businessName);
    date_->setText(left.date);
    time_->setText(left.time);
    dasilCount_->setText(left.dayUseCountText);
    sleepCount_->setText(left.overnightCountText);
}

void BoardWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOut();
}

void BoardWindow::layOut() {
    const int w = width();
    const int h = height();
    // While the message strip shows, the board is laid out for a design that
    // much taller: everything shrinks a little and together, and the strip
    // gets the bottom for itself.
    const bool strip = strip_->wanted();
    const int designHeight = kDesignHeight + (strip ? kStripHeight : 0);
    scale_ = std::min(double(w) / kDesignWidth, double(h) / designHeight);
    // On a screen wider than the design the panels take the rest of the
    // width too; everything else keeps the uniform factor.
    const double wide =
        std::max(scale_, (w - (kRoomsLeft + kRoomsMargin) * scale_) / double(kRoomsWidth));
    scaler_.apply(scale_, wide);
    for (RoomPanel* panel : panels_) panel->setScale(scale_, wide);

    // The strip, the left column and the room area reach the window's edges;
    // only the panels keep the design's proportions.
    const auto px = [this](int design) { return static_cast<int>(std::lround(design * scale_)); };
    titleStrip_->setGeometry(0, 0, w, px(kTitleHeight));
    QFont linkFont = link_->font();
    linkFont.setPixelSize(std::max(1, px(11)));
    for (QToolButton* b : toolbar_) b->setIconSize(QSize(px(20), px(20)));
    link_->setFont(linkFont);
    // Right of the toolbar's last button.
    link_->setGeometry(px(1012), 0, std::max(px(116), w - px(1012) - px(4)), px(kTitleHeight));
    const int stripHeight = strip ? px(kStripHeight) : 0;
    strip_->setGeometry(px(kLeftWidth), h - stripHeight, w - px(kLeftWidth), stripHeight);
    strip_->setTextPixels(px(kStripTextPixels));
    strip_->setVisible(strip);
    leftColumn_->setGeometry(0, px(kTitleHeight), px(kLeftWidth), h - px(kTitleHeight));
    roomArea_->setGeometry(px(kLeftWidth) - px(3), px(kTitleHeight), w - px(kLeftWidth) + px(3),
                           h - px(kTitleHeight) - stripHeight);
    const int columnHeight = leftColumn_->height();
    logArea_->setGeometry(0, px(259), px(kLeftWidth),
                          columnHeight - px(259) - px(kLastEventHeight));
    log_->setGeometry(logArea_->rect());
    QFont logFont = log_->font();
    logFont.setPixelSize(std::max(1, px(17)));
    log_->setFont(logFont);
    lastEventArea_->setGeometry(0, columnHeight - px(kLastEventHeight), px(kLeftWidth),
                                px(kLastEventHeight));
    // The emblem is one picture, not a tile: it is drawn at the plate's size,
    // scaled again only when that size changes.
    if (plate_->size() != emblemSize_) {
        emblemSize_ = plate_->size();
        const QImage emblem = pictureOrNone(assets_, QStringLiteral("plate.bmp"));
        if (!emblem.isNull())
            plate_->setActivePicture(
                emblem.scaled(emblemSize_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
}

void BoardWindow::setControllerLink(bool up) {
    controllerUp_ = up;
    const auto coloured = [](const QString& text, bool good) {
        return QStringLiteral("<span style='color:%1'>%2</span>")
            .arg(good ? QStringLiteral("#006e00") : QStringLiteral("#962828"),
                 text.toHtmlEscaped());
    };
    QString text =
        coloured(up ? QStringLiteral("● 컨트롤러 연결") : QStringLiteral("○ 컨트롤러 끊김"), up);
    if (!centralText_.isEmpty())
        text = coloured(centralText_, centralHealthy_) + QStringLiteral("<br>") + text;
    link_->setText(text);
    link_->setToolTip(centralText_);
}

void BoardWindow::setCentralLink(const QString& text, bool healthy) {
    centralText_ = text;
    centralHealthy_ = healthy;
    setControllerLink(controllerUp_);
}

void BoardWindow::showBorderlessMaximised() {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    // Without a window manager (a bare X session) maximising does nothing, so
    // the window is also given the whole screen itself.
    if (const QScreen* s = screen()) setGeometry(s->geometry());
    showMaximized();
}

void BoardWindow::scheduleRender() {
    if (renderQueued_) return;
    renderQueued_ = true;
    // Queued behind what is being handled now, and run at the latest when the
    // next frame is painted.
    QMetaObject::invokeMethod(this, &BoardWindow::renderChanges, Qt::QueuedConnection);
}

void BoardWindow::renderChanges() {
    renderQueued_ = false;
    for (int n = 1; n <= BoardModel::kSlots; ++n)
        if (changedSlots_.test(static_cast<std::size_t>(n - 1))) panel(n)->render(board_.view(n));
    changedSlots_.reset();
    if (std::exchange(leftChanged_, false)) renderLeft();
    if (std::exchange(logChanged_, false)) {
        log_->sync();
        renderLastEvent();
    }
}

bool BoardWindow::event(QEvent* event) {
    if (event->type() == QEvent::UpdateRequest) renderChanges();
    const bool handled = QWidget::event(event);
    // What a step changed is on the screen now; the board writes it next.
    if (event->type() == QEvent::UpdateRequest) board_.painted();
    return handled;
}

void BoardWindow::closeEvent(QCloseEvent* event) {
    if (allowClose_)
        event->accept();
    else
        event->ignore();
}
