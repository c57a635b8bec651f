#include "admin/TformIn.h"

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
#include "board/SharedValues.h"
#include "controls/TMFrame.h"
#include "platform/Assets.h"
#include "platform/Errors.h"
#include "store/Query.h"

namespace {
// The window's frame and caption take this much of its outer height.
constexpr int kFrameHeight = 22;
constexpr int kWidth = 356;
constexpr int kRowHeight = 20;
const QString kNoRoom = QStringLiteral("호수");
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

TformIn::TformIn(BoardModel& board, Query& history, std::function<void(QWidget*)> signIn,
                 QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      board_(board),
      shared_(board.context().shared),
      signIn_(std::move(signIn)) {
    setObjectName(QStringLiteral("formIn"));
    move(315, 96);
    QFont font(QStringLiteral("굴림체"));
    font.setPixelSize(12);
    setFont(font);

    // A plain raised plate: a picture here would read as the board behind.
    MFrame1 = new TMFrame(this);
    MFrame1->setObjectName(QStringLiteral("MFrame1"));
    MFrame1->setColor(QColor(0xEB, 0xEB, 0xE0));
    MFrame1->setBorderStyle(TMFrame::bsRaised);

    sgRoom = new QTableWidget(this);
    sgRoom->setObjectName(QStringLiteral("sgRoom"));
    sgRoom->setGeometry(2, 4, kWidth - 4, 264);
    fillGrid(history);

    BitBtn1 =
        button(this, QStringLiteral("BitBtn1"), QStringLiteral("룸설정"), QRect(6, 274, 220, 28));
    auto* close = button(this, QStringLiteral("BitBtn2"), QStringLiteral("닫기"),
                         QRect(kWidth - 106, 274, 100, 28));

    feeArea_ = new QWidget(this);
    feeArea_->setGeometry(0, 306, kWidth, 69);
    caption(feeArea_, QStringLiteral("대실요금"), QRect(14, 6, 70, 23));
    Edit2 =
        numberBox(feeArea_, QStringLiteral("Edit2"), 6, QRect(86, 6, 100, 23), QColor(255, 255, 0));
    caption(feeArea_, QStringLiteral("원"), QRect(190, 6, 20, 23));
    caption(feeArea_, QStringLiteral("숙박요금"), QRect(14, 38, 70, 23));
    Edit3 = numberBox(feeArea_, QStringLiteral("Edit3"), 6, QRect(86, 38, 100, 23),
                      QColor(0, 255, 255));
    caption(feeArea_, QStringLiteral("원"), QRect(190, 38, 20, 23));
    auto* saveFees = button(feeArea_, QStringLiteral("BitBtn4"), QStringLiteral("저장"),
                            QRect(kWidth - 106, 20, 100, 28));

    roomArea_ = new QWidget(this);
    roomArea_->setGeometry(0, 375, kWidth, 72);
    caption(roomArea_, QStringLiteral("방번호"), QRect(14, 6, 56, 23));
    Edit1 = numberBox(roomArea_, QStringLiteral("Edit1"), 3, QRect(72, 6, 48, 23),
                      QColor(255, 255, 255));
    caption(roomArea_, QStringLiteral("호"), QRect(124, 6, 20, 23));
    caption(roomArea_, QStringLiteral("Key값"), QRect(150, 6, 48, 23));
    EditKey = numberBox(roomArea_, QStringLiteral("EditKey"), 3, QRect(200, 6, 44, 23),
                        QColor(166, 202, 240));
    Button1 = button(roomArea_, QStringLiteral("Button1"), QStringLiteral("저장"),
                     QRect(kWidth - 106, 4, 100, 27));
    BitBtn3 = button(roomArea_, QStringLiteral("BitBtn3"), QStringLiteral(" 룸설정 초기화"),
                     QRect(6, 38, kWidth - 12, 28));

    connect(BitBtn1, &QPushButton::clicked, this, &TformIn::BitBtn1Click);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(saveFees, &QPushButton::clicked, this, &TformIn::BitBtn4Click);
    connect(Button1, &QPushButton::clicked, this, &TformIn::Button1Click);
    connect(BitBtn3, &QPushButton::clicked, this, [this] {
        shared_.RoomSetupState = 2;
        accept();
    });
    connect(Edit1, &QLineEdit::textChanged, this, &TformIn::Edit1Change);
    Edit1->installEventFilter(this);

    setDesignHeight(kCollapsed);
    try {
        setArrow(kArrowDown);
    } catch (const std::exception& e) {
        board_.ShowError(errorText(e));
    }
    shared_.NewRoomName.clear();
    shared_.FeesSaved = false;
    Button1->setEnabled(false);
    if (shared_.SelRoomName != kNoRoom) {
        BitBtn1->setText(shared_.SelRoomName + QStringLiteral("호 룸설정"));
        setWindowTitle(shared_.SelRoomName + QStringLiteral("호 내역"));
    } else {
        setWindowTitle(shared_.SelRoomName + QStringLiteral("호 설정"));
    }
    BitBtn3->setVisible(shared_.RoomSetupState == 1);
}

QLineEdit* TformIn::numberBox(QWidget* area, const QString& name, int maxLength, QRect place,
                              const QColor& colour) {
    auto* box = new QLineEdit(area);
    box->setObjectName(name);
    box->setGeometry(place);
    box->setMaxLength(maxLength);
    // Digits only: every other key, and pasted text, is refused.
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    QPalette p = box->palette();
    p.setColor(QPalette::Base, colour);
    box->setPalette(p);
    return box;
}

void TformIn::fillGrid(Query& history) {
    sgRoom->setColumnCount(6);
    sgRoom->setHorizontalHeaderLabels({QStringLiteral("순번"), QStringLiteral("방번호"),
                                       QStringLiteral("상태"), QStringLiteral("날짜"),
                                       QStringLiteral("시간"), QStringLiteral("입력")});
    const int widths[] = {35, 50, 70, 87, 52, 46};
    for (int c = 0; c < 6; ++c) sgRoom->setColumnWidth(c, widths[c]);
    QFont gridFont(QStringLiteral("굴림체"));
    gridFont.setPointSize(12);
    sgRoom->setFont(gridFont);
    sgRoom->verticalHeader()->hide();
    sgRoom->verticalHeader()->setDefaultSectionSize(kRowHeight);
    sgRoom->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sgRoom->horizontalHeader()->setFixedHeight(kRowHeight + 2);
    sgRoom->horizontalHeader()->setSectionsClickable(false);
    // The last column takes what the scroll bar leaves of its width.
    sgRoom->horizontalHeader()->setStretchLastSection(true);
    sgRoom->setFrameShape(QFrame::NoFrame);
    sgRoom->horizontalHeader()->setHighlightSections(false);
    sgRoom->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: #f0f0f0; border: none;"
                       " border-bottom: 1px solid #808080; padding-left: 2px; }"));
    sgRoom->setShowGrid(false);
    sgRoom->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sgRoom->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgRoom->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgRoom->setSelectionMode(QAbstractItemView::SingleSelection);
    sgRoom->setSelectionBehavior(QAbstractItemView::SelectItems);
    sgRoom->setItemDelegate(new HistoryDelegate(sgRoom));

    // A room without history still shows one empty row under the header.
    sgRoom->setRowCount(std::max(1, history.RecordCount()));
    history.First();
    for (int number = 1; number <= history.RecordCount() && !history.Eof(); ++number) {
        const QString date = history.Field(1);
        const QString time = history.Field(2);
        const QString action = history.Field(3);
        const QStringList cells = {
            QString::number(number),
            history.Field(0) + QStringLiteral("호"),
            action,
            date.mid(0, 4) + QLatin1Char('-') + date.mid(4, 2) + QLatin1Char('-') + date.mid(6, 2),
            time.mid(0, 2) + QLatin1Char(':') + time.mid(2, 2),
            history.Field(4) == QStringLiteral("0") ? QStringLiteral("지정")
                                                    : QStringLiteral("신호"),
        };
        const QColor colour = rowColour(action);
        for (int c = 0; c < 6; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (colour.isValid()) item->setForeground(colour);
            sgRoom->setItem(number - 1, c, item);
        }
        history.Next();
    }
    // The numbering column cannot be selected, filled or not.
    for (int r = 0; r < sgRoom->rowCount(); ++r) {
        if (!sgRoom->item(r, 0)) sgRoom->setItem(r, 0, new QTableWidgetItem);
        sgRoom->item(r, 0)->setFlags(Qt::ItemIsEnabled);
    }
}

void TformIn::setDesignHeight(int height) {
    designHeight_ = height;
    feeArea_->setVisible(height >= kFees);
    roomArea_->setVisible(height >= kFull);
    setFixedSize(kWidth, height - kFrameHeight);
}

void TformIn::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    MFrame1->setGeometry(rect());
}

void TformIn::setArrow(const QString& picture) {
    BitBtn1->setIcon(QIcon(QPixmap::fromImage(board_.context().assets.picture(picture))));
    arrow_ = picture;
}

// Opens the fee view (kFees) or the full view (kFull) from the collapsed
// one, or collapses whatever is open.
void TformIn::toggle(int openHeight) {
    if (designHeight_ == kCollapsed) {
        setDesignHeight(openHeight);
        setArrow(kArrowUp);
        if (shared_.SelRoomName != kNoRoom) {
            const RoomSlot& s = board_.slot(shared_.SelSlot);
            if (openHeight == kFull) Edit1->setText(shared_.SelRoomName);
            Edit2->setText(QString::number(s.MoneyRd));
            Edit3->setText(QString::number(s.MoneyRs));
            if (openHeight == kFull && s.RoomKey != 0)
                EditKey->setText(QString::number(int(s.RoomKey) - 128));
        }
    } else {
        setDesignHeight(kCollapsed);
        setArrow(kArrowDown);
    }
    (openHeight == kFull ? Edit1 : Edit2)->setFocus();
}

void TformIn::BitBtn1Click() {
    try {
        int level = shared_.LoginLevel;
        if (level == 0) {
            if (!board_.AskYesNo(QStringLiteral("사용자 인증을 하셔야 합니다. 하시겠습니까?")))
                return;
            shared_.AuthMode = 1;
            if (signIn_) signIn_(this);
            level = shared_.LoginLevel;
        }
        if (level == 1) toggle(kFees);
        if (level == 3) toggle(kFull);
    } catch (const std::exception& e) {
        board_.ShowError(errorText(e));
    }
}

void TformIn::BitBtn4Click() {
    if (Edit2->text().isEmpty() || Edit3->text().isEmpty()) {
        board_.ShowError(QStringLiteral("입력을 하지않고 저장버튼을 누르셨습니다"));
        return;
    }
    RoomSlot& s = board_.slot(shared_.SelSlot);
    s.MoneyRd = Edit2->text().toInt();
    s.MoneyRs = Edit3->text().toInt();
    shared_.FeesSaved = true;
}

void TformIn::Button1Click() {
    shared_.NewRoomName = Edit1->text();
    shared_.NewRoomKey = EditKey->text().isEmpty() ? 0 : EditKey->text().toInt() + 128;
}

void TformIn::Edit1Change(const QString& text) {
    if (text.size() != 3) return;
    Button1->setEnabled(true);
    EditKey->setFocus();
}

// Leaving the room number box for another control of the window checks that
// no other room has the number already.
void TformIn::Edit1Exit() {
    const QString text = Edit1->text();
    if (text == shared_.SelRoomName) return;
    int taken = 0;
    for (int n = 1; n <= BoardModel::kSlots; ++n)
        if (board_.view(n).buttonCaption == text) ++taken;
    if (taken == 0) return;
    Button1->setEnabled(false);
    board_.ShowError(QStringLiteral("이미 지정된 방번호 입니다"));
    Edit1->clear();
    Edit1->setFocus();
}

bool TformIn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus (a message box, the password
        // window) is not leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Edit1Exit();
    }
    return QDialog::eventFilter(watched, event);
}
