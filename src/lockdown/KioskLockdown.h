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
    void powerOffComputer() override;
    void markScreenSaver() override;

    bool holdsKeyboard() const { return grabbed_; }
    bool canLock() const { return x11_ != nullptr; }

private:
    void tryGrab();

    std::unique_ptr<X11Desk> x11_;
    Logind logind_;
    KioskSession session_;
    QList<xcb_window_t> hiddenDocks_;
    QTimer grabRetry_;
    QString lastGrabFailure_;
    bool grabbed_ = false;
    bool inhibitTried_ = false;
};
