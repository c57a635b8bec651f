#include "admin/TFormPass.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "board/PasswordCheck.h"
#include "board/SharedValues.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"

namespace {
// The window's frame and caption take this much of its outer height.
constexpr int kFrameHeight = 30;
constexpr int kWidth = 336;

const QString kWrong = QStringLiteral("암호가 맞지 않습니다");

QString lockedOutMessage() {
    return QStringLiteral("비밀번호를 %1번 잘못 입력했습니다. %2초 후에 다시 시도하십시오.")
        .arg(PasswordCheck::kMaxFailures)
        .arg(PasswordCheck::kLockSeconds);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, QRect place) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setGeometry(place);
    return b;
}

// Flat, captionless and the colour of the window: found only by those who
// know where it is.
QPushButton* hiddenSwitch(QWidget* parent, const QString& name, int x) {
    auto* b = new QPushButton(parent);
    b->setObjectName(name);
    b->setGeometry(x, 0, 10, 10);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));
    return b;
}
}  // namespace

TFormPass::TFormPass(PasswordCheck& check, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      check_(check),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormPass"));
    setWindowTitle(QStringLiteral("사용자확인"));
    QFont font(QStringLiteral("굴림"));
    font.setPixelSize(12);
    setFont(font);
    // Every password box shows a star for each character.
    setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    Edit1 = passwordBox(QStringLiteral("Edit1"), QStringLiteral("암호"), 24, true);
    auto* ok =
        button(this, QStringLiteral("BitBtn1"), QStringLiteral("확인"), QRect(240, 21, 80, 27));
    ok->setDefault(true);
    auto* change = button(this, QStringLiteral("BitBtn2"), QStringLiteral("PassWord 변경"),
                          QRect(96, 70, 130, 27));
    change->setAutoDefault(false);
    auto* cancel =
        button(this, QStringLiteral("BitBtn4"), QStringLiteral("취소"), QRect(240, 70, 80, 27));
    cancel->setAutoDefault(false);

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(8, kShortHeight - kFrameHeight, kWidth - 16, 2);
    Edit4 = passwordBox(QStringLiteral("Edit4"), QStringLiteral("암호확인"), 142, false);
    Edit2 = passwordBox(QStringLiteral("Edit2"), QStringLiteral("새암호"), 172, false);
    Edit3 = passwordBox(QStringLiteral("Edit3"), QStringLiteral("새암호확인"), 202, true);
    auto* save =
        button(this, QStringLiteral("BitBtn3"), QStringLiteral("저장"), QRect(240, 199, 80, 27));
    save->setAutoDefault(false);

    auto* maker = hiddenSwitch(this, QStringLiteral("spMaker"), 4);
    auto* windowUse = hiddenSwitch(this, QStringLiteral("spWindow"), 20);

    connect(ok, &QPushButton::clicked, this, &TFormPass::BitBtn1Click);
    connect(change, &QPushButton::clicked, this, &TFormPass::BitBtn2Click);
    connect(save, &QPushButton::clicked, this, &TFormPass::BitBtn3Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(maker, &QPushButton::clicked, this, [&check] { check.shared().AuthMode = 3; });
    connect(windowUse, &QPushButton::clicked, this, [&check] { check.shared().AuthMode = 2; });

    setDesignHeight(kShortHeight);
    Edit1->clear();
    Edit1->setFocus();
}

QLineEdit* TFormPass::passwordBox(const QString& name, const QString& label, int top, bool cream) {
    auto* caption = new QLabel(label, this);
    caption->setGeometry(16, top, 72, 21);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* box = new QLineEdit(this);
    box->setObjectName(name);
    box->setGeometry(96, top, 130, 21);
    box->setEchoMode(QLineEdit::Password);
    if (cream) {
        QPalette p = box->palette();
        p.setColor(QPalette::Base, QColor(255, 251, 240));
        box->setPalette(p);
    }
    caption->setBuddy(box);
    return box;
}

void TFormPass::setDesignHeight(int height) {
    designHeight_ = height;
    setFixedSize(kWidth, height - kFrameHeight);
}

void TFormPass::BitBtn1Click() {
    try {
        switch (check_.check(Edit1->text())) {
            case PasswordCheck::Outcome::SignedIn:
                accept();
                break;
            case PasswordCheck::Outcome::LockedOut:
                dialogs_.ShowError(lockedOutMessage());
                break;
            default:
                dialogs_.ShowError(kWrong);
                break;
        }
    } catch (const std::exception& e) {
        dialogs_.ShowError(errorText(e));
    }
}

void TFormPass::BitBtn2Click() {
    if (designHeight_ != kShortHeight) {
        setDesignHeight(kShortHeight);
        return;
    }
    setDesignHeight(kTallHeight);
    Edit4->clear();
    Edit2->clear();
    Edit3->clear();
    Edit4->setFocus();
}

void TFormPass::BitBtn3Click() {
    try {
        switch (check_.change(Edit4->text(), Edit2->text(), Edit3->text())) {
            case PasswordCheck::Outcome::Mismatch:
                dialogs_.ShowError(QStringLiteral("새암호와 암호확인 번호가 서로 틀림니다"));
                Edit2->clear();
                Edit3->clear();
                Edit2->setFocus();
                break;
            case PasswordCheck::Outcome::Changed:
                Edit1->setFocus();
                dialogs_.ShowInfo(
                    QStringLiteral("암호가 변경되었습니다.변경된 암호로 확인하여주십시오"));
                setDesignHeight(kShortHeight);
                break;
            case PasswordCheck::Outcome::LockedOut:
                dialogs_.ShowError(lockedOutMessage());
                break;
            default:
                dialogs_.ShowError(kWrong);
                Edit2->clear();
                Edit2->setFocus();
                break;
        }
    } catch (const std::exception& e) {
        dialogs_.ShowError(errorText(e));
    }
}
