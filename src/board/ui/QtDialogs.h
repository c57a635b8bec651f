#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Dialogs.h"

// The message boxes as modal Qt windows over the board.
class QtDialogs final : public Dialogs {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }
    void ShowError(const QString& text) override;
    void ShowInfo(const QString& text) override;
    bool AskYesNo(const QString& text) override;

private:
    QPointer<QWidget> owner_;
};
