#include "admin/RoomSetupWindow.h"

#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "board/BoardModel.h"
#include "board/DeskSession.h"
#include "controls/PaintedFrame.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "store/Query.h"

namespace {
// The window's frame and caption take this much of its outer height.
constexpr int kFrameHeight = 22;
constexpr int kWidth = 356;
constexpr int kRowHeight = 20;
const QString kArrowUp = QStringLiteral("arrow3u.bmp");
const QString kArrowDown = QStringLiteral("arrow3d.bmp");

// The text colour of a history row, by its state word; invalid for the
// words painted normally.
QColor rowColour(const QString& word) {
    static const QStringList overnight = {QStringLiteral("숙박"), QStringLiteral("숙박전환"),
                                          QStringLiteral("숙박유지"), QStringLiteral("숙박취소")};
    static const QStringList dayUse = {QStringLiteral("대실"), QStringLiteral("대실전환"),
                                       QStringLiteral("대실유지"), QStringLiteral("대실취소")};
    if (overnight.contains(word)) return QColor(255, 0, 0);
    if (dayUse.contains(word)) return QColor(0, 0, 255);
    if (word == QStringLiteral("청소")) return QColor(128, 128, 128);
    if (word == QStringLiteral("퇴실") || word == QStringLiteral("외출"))
        return QColor(128, 0, 128);
    if (word == QStringLiteral("완료")) return QColor(0, 128, 0);
    return QColor();
}

// Cells with a row colour are filled again and their text drawn two pixels
// in from the top-left corner, in that colour.
class HistoryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        const QVariant colour = index.data(Qt::ForegroundRole);
        if (!colour.isValid()) return;
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        painter->save();
        painter->fillRect(option.rect,
                          option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
        painter->setFont(option.font);
        painter->setPen(colour.value<QBrush>().color());
        painter->drawText(option.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

QLabel* caption(QWidget* parent, const QString& text, QRect place) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text, QRect place) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(place);
    b->setAutoDefault(false);
    return b;
}
}  // namespace

RoomSetupWindow::RoomSetupWindow(BoardModel& board, int slot, const QString& room, Query& history,
                                 std::function<void(QWidget*)> signIn, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      board_(board),
      session_(board.context().session),
      slot_(slot),
      room_(room),
      signIn_(std::move(signIn)) {
    setObjectName(QStringLiteral("roomSetupWindow"));
    move(315, 96);
    QFont font(QStringLiteral("굴림체"));
    font.setPixelSize(12);
    setFont(font);

    // A plain raised plate: a picture here would read as the board behind.
    background_ = new PaintedFrame(this);
    background_->setObjectName(QStringLiteral("background"));
    background_->setColor(QColor(0xEB, 0xEB, 0xE0));
    background_->setBevelStyle(PaintedFrame::BevelRaised);

    historyGrid_ = new QTableWidget(this);
    historyGrid_->setObjectName(QStringLiteral("historyGrid"));
    historyGrid_->setGeometry(2, 4, kWidth - 4, 264);
    fillGrid(history);

    setupToggle_ = button(this, QStringLiteral("setupToggle"), QStringLiteral("룸설정"),
                          QRect(6, 274, 220, 28));
    auto* close = button(this, QStringLiteral("closeButton"), QStringLiteral("닫기"),
                         QRect(kWidth - 106, 274, 100, 28));

    feeArea_ = new QWidget(this);
    feeArea_->setGeometry(0, 306, kWidth, 69);
    caption(feeArea_, QStringLiteral("대실요금"), QRect(14, 6, 70, 23));
    dayUseFeeBox_ = numberBox(feeArea_, QStringLiteral("dayUseFeeBox"), 6, QRect(86, 6, 100, 23),
                              QColor(255, 255, 0));
    caption(feeArea_, QStringLiteral("원"), QRect(190, 6, 20, 23));
    caption(feeArea_, QStringLiteral("숙박요금"), QRect(14, 38, 70, 23));
    overnightFeeBox_ = numberBox(feeArea_, QStringLiteral("overnightFeeBox"), 6,
                                 QRect(86, 38, 100, 23), QColor(0, 255, 255));
    caption(feeArea_, QStringLiteral("원"), QRect(190, 38, 20, 23));
    auto* saveFees = button(feeArea_, QStringLiteral("saveFeesButton"), QStringLiteral("저장"),
                            QRect(kWidth - 106, 20, 100, 28));

    roomArea_ = new QWidget(this);
    roomArea_->setGeometry(0, 375, kWidth, 72);
    caption(roomArea_, QStringLiteral("방번호"), QRect(14, 6, 56, 23));
    roomNumberBox_ = numberBox(roomArea_, QStringLiteral("roomNumberBox"), 3, QRect(72, 6, 48, 23),
                               QColor(255, 255, 255));
    caption(roomArea_, QStringLiteral("호"), QRect(124, 6, 20, 23));
    caption(roomArea_, QStringLiteral("Key값"), QRect(150, 6, 48, 23));
    keyNumberBox_ = numberBox(roomArea_, QStringLiteral("keyNumberBox"), 3, QRect(200, 6, 44, 23),
                              QColor(166, 202, 240));
    saveRoomButton_ = button(roomArea_, QStringLiteral("saveRoomButton"), QStringLiteral("저장"),
                             QRect(kWidth - 106, 4, 100, 27));
    resetButton_ = button(roomArea_, QStringLiteral("resetButton"),
                          QStringLiteral(" 룸설정 초기화"), QRect(6, 38, kWidth - 12, 28));

    connect(setupToggle_, &QPushButton::clicked, this, &RoomSetupWindow::toggleSetup);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(saveFees, &QPushButton::clicked, this, &RoomSetupWindow::saveFees);
    connect(saveRoomButton_, &QPushButton::clicked, this, &RoomSetupWindow::saveRoom);
    connect(resetButton_, &QPushButton::clicked, this, [this] {
        result_.resetRequested = true;
        accept();
    });
    connect(roomNumberBox_, &QLineEdit::textChanged, this, &RoomSetupWindow::onRoomNumberEdited);
    roomNumberBox_->installEventFilter(this);

    setDesignHeight(kCollapsed);
    try {
        setArrow(kArrowDown);
    } catch (const std::exception& e) {
        board_.showError(errorText(e));
    }
    saveRoomButton_->setEnabled(false);
    if (room_ != RoomSlot::noRoomCaption()) {
        setupToggle_->setText(room_ + QStringLiteral("호 룸설정"));
        setWindowTitle(room_ + QStringLiteral("호 내역"));
    } else {
        setWindowTitle(room_ + QStringLiteral("호 설정"));
    }
    resetButton_->setVisible(room_ != RoomSlot::noRoomCaption());
}

QLineEdit* RoomSetupWindow::numberBox(QWidget* area, const QString& name, int maxLength,
                                      QRect place, const QColor& colour) {
    auto* box = new QLineEdit(area);
    box->setObjectName(name);
    box->setGeometry(place);
    box->setMaxLength(maxLength);
    // The board's font: the window's own fixed-width one slashes its zeros,
    // and a fee must read as a fee.
    QFont font(QStringLiteral("굴림"));
    font.setBold(true);
    font.setPixelSize(13);
    box->setFont(font);
    box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Digits only: every other key, and pasted text, is refused.
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    QPalette p = box->palette();
    p.setColor(QPalette::Base, colour);
    box->setPalette(p);
    return box;
}

void RoomSetupWindow::fillGrid(Query& history) {
    historyGrid_->setColumnCount(6);
    historyGrid_->setHorizontalHeaderLabels({QStringLiteral("순번"), QStringLiteral("방번호"),
                                             QStringLiteral("상태"), QStringLiteral("날짜"),
                                             QStringLiteral("시간"), QStringLiteral("입력")});
    const int widths[] = {35, 50, 70, 87, 52, 46};
    for (int c = 0; c < 6; ++c) historyGrid_->setColumnWidth(c, widths[c]);
    QFont gridFont(QStringLiteral("굴림체"));
    gridFont.setPointSize(12);
    historyGrid_->setFont(gridFont);
    historyGrid_->verticalHeader()->hide();
    historyGrid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    historyGrid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    historyGrid_->horizontalHeader()->setFixedHeight(kRowHeight + 2);
    historyGrid_->horizontalHeader()->setSectionsClickable(false);
    // The last column takes what the scroll bar leaves of its width.
    historyGrid_->horizontalHeader()->setStretchLastSection(true);
    historyGrid_->setFrameShape(QFrame::NoFrame);
    historyGrid_->horizontalHeader()->setHighlightSections(false);
    historyGrid_->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: #f0f0f0; border: none;"
                       " border-bottom: 1px solid #808080; padding-left: 2px; }"));
    historyGrid_->setShowGrid(false);
    historyGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    historyGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    historyGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    historyGrid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    historyGrid_->setItemDelegate(new HistoryDelegate(historyGrid_));

    // A room without history still shows one empty row under the header.
    historyGrid_->setRowCount(std::max(1, history.rowCount()));
    history.first();
    for (int number = 1; number <= history.rowCount() && !history.atEnd(); ++number) {
        const QString date = history.field(1);
        const QString time = history.field(2);
        const QString action = history.field(3);
        const QStringList cells = {
            QString::number(number),
            history.field(0) + QStringLiteral("호"),
            action,
            date.mid(0, 4) + QLatin1Char('-') + date.mid(4, 2) + QLatin1Char('-') + date.mid(6, 2),
            time.mid(0, 2) + QLatin1Char(':') + time.mid(2, 2),
            history.field(4) == QStringLiteral("0") ? QStringLiteral("지정")
                                                    : QStringLiteral("신호"),
        };
        const QColor colour = rowColour(action);
        for (int c = 0; c < 6; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (colour.isValid()) item->setForeground(colour);
            historyGrid_->setItem(number - 1, c, item);
        }
        history.next();
    }
    // The numbering column cannot be selected, filled or not.
    for (int r = 0; r < historyGrid_->rowCount(); ++r) {
        if (!historyGrid_->item(r, 0)) historyGrid_->setItem(r, 0, new QTableWidgetItem);
        historyGrid_->item(r, 0)->setFlags(Qt::ItemIsEnabled);
    }
}

void RoomSetupWindow::setDesignHeight(int height) {
    designHeight_ = height;
    feeArea_->setVisible(height >= kFees);
    roomArea_->setVisible(height >= kFull);
    setFixedSize(kWidth, height - kFrameHeight);
}

void RoomSetupWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    background_->setGeometry(rect());
}

void RoomSetupWindow::setArrow(const QString& picture) {
    setupToggle_->setIcon(QIcon(QPixmap::fromImage(board_.context().assets.picture(picture))));
    arrow_ = picture;
}

// Opens the fee view (kFees) or the full view (kFull) from the collapsed
// one, or collapses whatever is open.
void RoomSetupWindow::toggle(int openHeight) {
    if (designHeight_ == kCollapsed) {
        setDesignHeight(openHeight);
        setArrow(kArrowUp);
        if (room_ != RoomSlot::noRoomCaption()) {
            const RoomSlot& s = board_.slot(slot_);
            if (openHeight == kFull) roomNumberBox_->setText(room_);
            dayUseFeeBox_->setText(QString::number(s.dayUseFee));
            overnightFeeBox_->setText(QString::number(s.overnightFee));
            if (openHeight == kFull && s.keyCode != 0)
                keyNumberBox_->setText(QString::number(int(s.keyCode) - 128));
        }
    } else {
        setDesignHeight(kCollapsed);
        setArrow(kArrowDown);
    }
    (openHeight == kFull ? roomNumberBox_ : dayUseFeeBox_)->setFocus();
}

void RoomSetupWindow::toggleSetup() {
    try {
        int level = session_.grade;
        if (level == 0) {
            if (!board_.askYesNo(QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?")))
                return;
            session_.gradeToCheck = 1;
            if (signIn_) signIn_(this);
            level = session_.grade;
        }
        if (level == 1) toggle(kFees);
        if (level == 3) toggle(kFull);
    } catch (const std::exception& e) {
        board_.showError(errorText(e));
    }
}

void RoomSetupWindow::saveFees() {
    if (dayUseFeeBox_->text().isEmpty() || overnightFeeBox_->text().isEmpty()) {
        board_.showError(QStringLiteral("입력을 하지않고 저장버튼을 누르셨습니다"));
        return;
    }
    RoomSlot& s = board_.slot(slot_);
    s.dayUseFee = dayUseFeeBox_->text().toInt();
    s.overnightFee = overnightFeeBox_->text().toInt();
    result_.feesSaved = true;
}

void RoomSetupWindow::saveRoom() {
    result_.newRoomName = roomNumberBox_->text();
    result_.newKeyCode = keyNumberBox_->text().isEmpty() ? 0 : keyNumberBox_->text().toInt() + 128;
}

void RoomSetupWindow::onRoomNumberEdited(const QString& text) {
    if (!RoomSlot::isNewRoomNumber(text)) return;
    saveRoomButton_->setEnabled(true);
    keyNumberBox_->setFocus();
}

// Leaving the room number box for another control of the window checks that
// no other room has the number already.
void RoomSetupWindow::checkRoomNumber() {
    const QString text = roomNumberBox_->text();
    if (text == room_) return;
    int taken = 0;
    for (int n = 1; n <= BoardModel::kSlots; ++n)
        if (board_.slot(n).roomCaption() == text) ++taken;
    if (taken == 0) return;
    saveRoomButton_->setEnabled(false);
    board_.showError(QStringLiteral("이미 지정된 방번호 입니다"));
    roomNumberBox_->clear();
    roomNumberBox_->setFocus();
}

bool RoomSetupWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == roomNumberBox_ && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus (a message box, the password
        // window) is not leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            checkRoomNumber();
    }
    return QDialog::eventFilter(watched, event);
}
