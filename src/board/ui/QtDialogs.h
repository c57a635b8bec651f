#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Dialogs.h"

// The message boxes as modal Qt windows over the board.
class QtDialogs final : public Dialogs {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }
    void showError(const QString& text) override;
    void showInfo(const QString& text) override;
    bool askYesNo(const QString& text) override;

private:
    QPointer<QWidget> owner_;
};
