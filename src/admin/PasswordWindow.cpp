#include "admin/PasswordWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "auth/PasswordRules.h"
#include "board/DeskSession.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"

namespace {
// The window's frame and caption take this much of its outer height.
constexpr int kFrameHeight = 30;
constexpr int kWidth = 336;

const QString kWrong = QStringLiteral("암호가 맞지 않습니다");

QString lockedOutMessage() {
    return QStringLiteral("비밀번호를 %1번 잘못 입력했습니다. %2초 후에 다시 시도하십시오.")
        .arg(PasswordRules::kMaxFailures)
        .arg(PasswordRules::kLockSeconds);
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

PasswordWindow::PasswordWindow(PasswordRules& check, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      check_(check),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("passwordWindow"));
    setWindowTitle(QStringLiteral("사용자확인"));
    QFont font(QStringLiteral("굴림"));
    font.setPixelSize(12);
    setFont(font);
    // Every password box shows a star for each character.
    setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    passwordBox_ = passwordBox(QStringLiteral("passwordBox"), QStringLiteral("암호"), 24, true);
    auto* ok =
        button(this, QStringLiteral("okButton"), QStringLiteral("확인"), QRect(240, 21, 80, 27));
    ok->setDefault(true);
    auto* change = button(this, QStringLiteral("changeButton"), QStringLiteral("PassWord 변경"),
                          QRect(96, 70, 130, 27));
    change->setAutoDefault(false);
    auto* cancel = button(this, QStringLiteral("cancelButton"), QStringLiteral("취소"),
                          QRect(240, 70, 80, 27));
    cancel->setAutoDefault(false);

    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(8, kShortHeight - kFrameHeight, kWidth - 16, 2);
    currentBox_ =
        passwordBox(QStringLiteral("currentPasswordBox"), QStringLiteral("암호확인"), 142, false);
    newBox_ = passwordBox(QStringLiteral("newPasswordBox"), QStringLiteral("새암호"), 172, false);
    repeatBox_ =
        passwordBox(QStringLiteral("repeatPasswordBox"), QStringLiteral("새암호확인"), 202, true);
    auto* save =
        button(this, QStringLiteral("saveButton"), QStringLiteral("저장"), QRect(240, 199, 80, 27));
    save->setAutoDefault(false);

    auto* maker = hiddenSwitch(this, QStringLiteral("supplierSwitch"), 4);
    auto* windowUse = hiddenSwitch(this, QStringLiteral("windowsUseSwitch"), 20);

    connect(ok, &QPushButton::clicked, this, &PasswordWindow::checkPassword);
    connect(change, &QPushButton::clicked, this, &PasswordWindow::toggleChangeArea);
    connect(save, &QPushButton::clicked, this, &PasswordWindow::changePassword);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(maker, &QPushButton::clicked, this, [&check] { check.session().gradeToCheck = 3; });
    connect(windowUse, &QPushButton::clicked, this, [&check] { check.session().gradeToCheck = 2; });

    setDesignHeight(kShortHeight);
    centreOnScreen();
    passwordBox_->clear();
    passwordBox_->setFocus();
}

// Centred on the screen of its opener, not over the opener: the room setup
// window would otherwise hide under it. A window's position is that of its
// frame, whose outer height is the design height.
void PasswordWindow::centreOnScreen() {
    QWidget* opener = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen =
        opener && opener->screen() ? opener->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - designHeight_) / 2);
}

QLineEdit* PasswordWindow::passwordBox(const QString& name, const QString& label, int top,
                                       bool cream) {
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

void PasswordWindow::setDesignHeight(int height) {
    designHeight_ = height;
    setFixedSize(kWidth, height - kFrameHeight);
}

void PasswordWindow::checkPassword() {
    try {
        switch (check_.check(passwordBox_->text())) {
            case PasswordRules::Outcome::SignedIn:
                accept();
                break;
            case PasswordRules::Outcome::LockedOut:
                dialogs_.showError(lockedOutMessage());
                break;
            default:
                dialogs_.showError(kWrong);
                break;
        }
    } catch (const std::exception& e) {
        dialogs_.showError(errorText(e));
    }
}

void PasswordWindow::toggleChangeArea() {
    if (designHeight_ != kShortHeight) {
        setDesignHeight(kShortHeight);
        return;
    }
    setDesignHeight(kTallHeight);
    currentBox_->clear();
    newBox_->clear();
    repeatBox_->clear();
    currentBox_->setFocus();
}

void PasswordWindow::changePassword() {
    try {
        switch (check_.change(currentBox_->text(), newBox_->text(), repeatBox_->text())) {
            case PasswordRules::Outcome::Mismatch:
                dialogs_.showError(QStringLiteral("새암호와 암호확인 번호가 서로 틀림니다"));
                newBox_->clear();
                repeatBox_->clear();
                newBox_->setFocus();
                break;
            case PasswordRules::Outcome::Empty:
                dialogs_.showError(QStringLiteral("새암호를 입력하십시오"));
                newBox_->setFocus();
                break;
            case PasswordRules::Outcome::Changed:
                passwordBox_->setFocus();
                dialogs_.showInfo(
                    QStringLiteral("암호가 변경되었습니다.변경된 암호로 확인하여주십시오"));
                setDesignHeight(kShortHeight);
                break;
            case PasswordRules::Outcome::LockedOut:
                dialogs_.showError(lockedOutMessage());
                break;
            default:
                dialogs_.showError(kWrong);
                newBox_->clear();
                newBox_->setFocus();
                break;
        }
    } catch (const std::exception& e) {
        dialogs_.showError(errorText(e));
    }
}
