#include "board/ui/RoomActionPopup.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "board/WinColor.h"

namespace {
constexpr int kButtonTop = 16;
// The button columns of the design: an odd number of buttons stands on the
// first row of places, an even number on the places between them, centred.
constexpr std::array<int, 5> kOddPlaces = {8, 110, 213, 316, 419};
constexpr std::array<int, 4> kEvenPlaces = {62, 165, 268, 371};

int placeOf(std::size_t i, std::size_t count) {
    if (count % 2 == 1) return kOddPlaces.at((kOddPlaces.size() - count) / 2 + i);
    return kEvenPlaces.at((kEvenPlaces.size() - count) / 2 + i);
}

void fill(QWidget* w, WinColor colour) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, toQColor(colour));
    w->setPalette(p);
}
}  // namespace

RoomActionPopup::RoomActionPopup(const RoomOffer& offer, const QString& room, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("roomActionPopup"));
    setWindowTitle(QStringLiteral("확인"));
    setFixedSize(553, 123);
    move(245, 225);
    fill(this, 0xE0EBEB);
    QFont font(QStringLiteral("굴림"));
    font.setPixelSize(13);
    setFont(font);

    auto* questionArea = new QFrame(this);
    questionArea->setObjectName(QStringLiteral("questionArea"));
    questionArea->setGeometry(16, 8, 520, 33);
    questionArea->setFrameStyle(QFrame::Panel | QFrame::Raised);
    fill(questionArea, 0xB3C6C1);
    auto* question = new QLabel(questionArea);
    question->setObjectName(QStringLiteral("question"));
    question->setGeometry(questionArea->rect().adjusted(2, 2, -2, -2));
    question->setAlignment(Qt::AlignCenter);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(15);
    question->setFont(bold);
    prompt_ = QStringLiteral("[") + room + offer.question;
    question->setText(prompt_);

    // A sunken box is a groove: lowered outside, raised inside.
    auto* buttonArea = new QFrame(this);
    buttonArea->setObjectName(QStringLiteral("buttonArea"));
    buttonArea->setGeometry(14, 48, 523, 54);
    buttonArea->setFrameStyle(QFrame::Box | QFrame::Sunken);

    const std::size_t count = offer.actions.size() + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const bool cancel = i == offer.actions.size();
        auto* b = new QPushButton(
            cancel ? QStringLiteral("취 소") : actionCaption(offer.actions[i]), buttonArea);
        b->setGeometry(placeOf(i, count), kButtonTop, 96, 25);
        b->setAutoDefault(false);
        if (cancel) {
            b->setObjectName(QStringLiteral("cancelButton"));
            connect(b, &QPushButton::clicked, this, &QDialog::reject);
        } else {
            const RoomAction action = offer.actions[i];
            b->setObjectName(QStringLiteral("actionButton%1").arg(i + 1));
            // Moving a guest to another room stands out.
            if (action == RoomAction::MoveRoom) {
                QPalette red = b->palette();
                red.setColor(QPalette::ButtonText, Qt::red);
                b->setPalette(red);
            }
            connect(b, &QPushButton::clicked, this, [this, action] {
                chosen_ = action;
                accept();
            });
        }
        buttons_.push_back(b);
    }
}

QString RoomActionPopup::prompt() const { return prompt_; }
