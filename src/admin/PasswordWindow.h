#pragma once

#include <QDialog>

class Dialogs;
class PasswordRules;
class QLineEdit;
class QPushButton;

// The password window: checks the password of the grade in `gradeToCheck` and
// signs that grade in, or changes its password. Two flat 10-pixel switches
// in the top-left corner, invisible on the window, choose the supplier's
// grade and the Windows-use grade instead.
class PasswordWindow : public QDialog {
    Q_OBJECT
public:
    // Outer heights: the password rows alone, and with the change area.
    static constexpr int kShortHeight = 158;
    static constexpr int kTallHeight = 269;

    PasswordWindow(PasswordRules& check, Dialogs& dialogs, QWidget* parent = nullptr);

    int designHeight() const { return designHeight_; }

private:
    void setDesignHeight(int height);
    void centreOnScreen();
    void checkPassword();
    void toggleChangeArea();
    void changePassword();
    QLineEdit* passwordBox(const QString& name, const QString& label, int top, bool cream);

    PasswordRules& check_;
    Dialogs& dialogs_;
    int designHeight_ = 0;
    QLineEdit* passwordBox_ = nullptr;
    QLineEdit* newBox_ = nullptr;
    QLineEdit* repeatBox_ = nullptr;
    QLineEdit* currentBox_ = nullptr;
};
