#pragma once

#include <QString>

// The modal boxes that every window of the desk uses. The real ones are Qt
// windows; tests answer them from a script.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Caption "에러", OK button, information icon.
    virtual void showError(const QString& text) = 0;
    // Caption "확인", OK button, information icon.
    virtual void showInfo(const QString& text) = 0;
    // Caption "확인", Yes and No; true only for Yes.
    virtual bool askYesNo(const QString& text) = 0;
};
