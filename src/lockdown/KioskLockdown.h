#pragma once

#include <xcb/xcb.h>

#include <QDBusConnection>
#include <QList>
#include <QTimer>
#include <memory>

#include "lockdown/DesktopLockdown.h"
#include "lockdown/KioskSession.h"
#include "lockdown/Logind.h"

class X11Desk;

// The lockdown of the desk PC. On X11, while armed, the whole keyboard is
// grabbed for the board (the window manager owns Alt+Tab, so grabbing single
// keys would not hold it) and the leaving combinations are held back in the
// board's windows; hiding the task bar unmaps the dock and panel windows.
// Power-off, restart and the idle inhibitor go through logind; the first
// start enables the kiosk session. Without X11 the locking falls back to what
// the desktop backend does, and says so in the log.
//
// X drops a grab without a word when its window is unmapped, so while armed
// the grab is taken again whenever a window of the board is shown or gains
// the focus, and every few seconds besides (asking again for a grab the
// program holds changes nothing).
class KioskLockdown : public DesktopLockdown {
public:
    KioskLockdown(std::function<void()> endProgram, QDBusConnection systemBus);
    ~KioskLockdown() override;

    void hideTaskBar() override;
    void showTaskBar() override;
    void armKeyboardFilter() override;
    void disarmKeyboardFilter() override;
    void installKioskSession() override;
    void restartComputer() override;
    QString powerOffComputer() override;
    void markScreenSaver() override;

    bool holdsKeyboard() const { return grabbed_; }
    bool canLock() const { return x11_ != nullptr; }

    static constexpr int kRetryMs = 500;   // while the grab is not held
    static constexpr int kCheckMs = 2000;  // while it is

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeGrab();

    std::unique_ptr<X11Desk> x11_;
    Logind logind_;
    KioskSession session_;
    QList<xcb_window_t> hiddenDocks_;
    QTimer grabTimer_;  // runs while armed: retries, then checks
    QString lastGrabFailure_;
    bool grabbed_ = false;
    bool inhibitTried_ = false;
};
