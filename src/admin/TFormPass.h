#pragma once

#include <QDialog>

class Dialogs;
class PasswordCheck;
class QLineEdit;
class QPushButton;

// The password window: checks the password of the grade in `AuthMode` and
// signs that grade in, or changes its password. Two flat 10-pixel switches
// in the top-left corner, invisible on the window, choose the supplier's
// grade and the Windows-use grade instead.
class TFormPass : public QDialog {
    Q_OBJECT
public:
    // Outer heights: the password rows alone, and with the change area.
    static constexpr int kShortHeight = 158;
    static constexpr int kTallHeight = 269;

    TFormPass(PasswordCheck& check, Dialogs& dialogs, QWidget* parent = nullptr);

    int designHeight() const { return designHeight_; }

private:
    void setDesignHeight(int height);
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    QLineEdit* passwordBox(const QString& name, const QString& label, int top, bool cream);

    PasswordCheck& check_;
    Dialogs& dialogs_;
    int designHeight_ = 0;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
};
