#pragma once

#include <QObject>
#include <functional>

#include "lockdown/Lockdown.h"

// The lockdown for trials and development on an ordinary desktop: while armed
// the leaving key combinations are held back inside the program's own windows
// (an application event filter); the task bar and the PC are left alone, and
// powering off only ends the program.
class DesktopLockdown : public QObject, public Lockdown {
public:
    // endProgram ends the program even though the board refuses to close.
    explicit DesktopLockdown(std::function<void()> endProgram);
    ~DesktopLockdown() override;

    void hideTaskBar() override {}
    void showTaskBar() override {}
    void armKeyboardFilter() override;
    void disarmKeyboardFilter() override;
    void installKioskSession() override;
    void restartComputer() override;
    QString powerOffComputer() override;
    void markScreenSaver() override {}

    bool isArmed() const override { return armed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void endProgram();

private:
    std::function<void()> endProgram_;
    bool armed_ = false;
};
