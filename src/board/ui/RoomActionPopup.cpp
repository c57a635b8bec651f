#include "board/ui/RoomActionPopup.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "board/WinColor.h"

namespace {
constexpr int kCancel = 4;
constexpr int kButtonTop = 16;

const char* const kCaptions[RoomActionPopup::kButtons] = {
    "외 출", "대실유지", "청 소", "취 소",    "퇴 실",    "대실취소", "완 료",
    "대 실", "숙박유지", "숙 박", "숙박전환", "대실전환", "숙박취소", "객실교체"};

// Per mode: the buttons shown, left to right, with their left edge in the
// button panel, and the prompt's text after "[" + room.
struct Mode {
    std::initializer_list<std::pair<int, int>> buttons;
    const char* text;
};

const Mode kModes[] = {
    {{{1, 8}, {2, 110}, {3, 213}, {14, 316}, {4, 419}}, "]호의 퇴실사항을 선택하세요!"},
    {{{5, 62}, {6, 165}, {11, 268}, {4, 371}}, "]호의 대실사항을 선택하세요!"},
    {{{7, 165}, {4, 268}}, "]호의 청소사항을 선택하세요!"},
    {{{8, 165}, {4, 268}}, "]호 대실입니까?"},
    {{{1, 8}, {9, 110}, {3, 213}, {14, 316}, {4, 419}}, "]호의 퇴실사항을 선택하세요!"},
    {{{5, 62}, {13, 165}, {12, 268}, {4, 371}}, "]호의 숙박사항을 선택하세요!"},
    {{{10, 165}, {4, 268}}, "]호 숙박입니까?"},
    {{{5, 110}, {9, 213}, {4, 316}}, "]호의 외출사항을 선택하세요 ?"},
    {{{5, 110}, {2, 213}, {4, 316}}, "]호의 외출사항을 선택하세요 ?"},
};

void fill(QWidget* w, WinColor colour) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, toQColor(colour));
    w->setPalette(p);
}
}  // namespace

RoomActionPopup::RoomActionPopup(int mode, const QString& room, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("roomActionPopup"));
    setWindowTitle(QStringLiteral("확인"));
    setFixedSize(553, 123);
    move(245, 225);
    fill(this, 0xE0EBEB);
    QFont font(QStringLiteral("굴림"));
    font.setPixelSize(13);
    setFont(font);

    questionArea_ = new QFrame(this);
    questionArea_->setObjectName(QStringLiteral("questionArea"));
    questionArea_->setGeometry(16, 8, 520, 33);
    questionArea_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    fill(questionArea_, 0xB3C6C1);
    question_ = new QLabel(questionArea_);
    question_->setObjectName(QStringLiteral("question"));
    question_->setGeometry(questionArea_->rect().adjusted(2, 2, -2, -2));
    question_->setAlignment(Qt::AlignCenter);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(15);
    question_->setFont(bold);

    // A sunken box is a groove: lowered outside, raised inside.
    buttonArea_ = new QFrame(this);
    buttonArea_->setObjectName(QStringLiteral("buttonArea"));
    buttonArea_->setGeometry(14, 48, 523, 77);
    buttonArea_->setFrameStyle(QFrame::Box | QFrame::Sunken);

    for (int i = 1; i <= kButtons; ++i) {
        auto* b = new QPushButton(QString::fromUtf8(kCaptions[i - 1]), buttonArea_);
        b->setObjectName(QStringLiteral("actionButton%1").arg(i));
        b->setGeometry(110, kButtonTop, 96, 25);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, i] { choose(i); });
        buttons_[static_cast<std::size_t>(i - 1)] = b;
    }
    QPalette red = button(14)->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    button(14)->setPalette(red);

    showMode(mode, room);
}

QString RoomActionPopup::prompt() const { return question_->text(); }

void RoomActionPopup::showMode(int mode, const QString& room) {
    for (int i = 1; i <= kButtons; ++i) button(i)->setVisible(i == kCancel);
    buttonArea_->resize(buttonArea_->width(), 54);
    for (int i = 1; i <= kButtons; ++i) button(i)->move(button(i)->x(), kButtonTop);

    if (mode < 1 || mode > static_cast<int>(std::size(kModes))) return;
    const Mode& m = kModes[mode - 1];
    for (const auto& [number, left] : m.buttons) {
        button(number)->move(left, kButtonTop);
        button(number)->setVisible(true);
    }
    question_->setText(QStringLiteral("[") + room + QString::fromUtf8(m.text));
}

void RoomActionPopup::choose(int number) {
    chosen_ = static_cast<RoomAction>(10 + number);
    accept();
}
