#include "lockdown/KioskLockdown.h"

#include <QGuiApplication>
#include <QWindow>
#include <utility>

#include "lockdown/LockdownLog.h"
#include "lockdown/X11Desk.h"

namespace {
// The window that receives the grabbed keys: the board, the program's first
// shown top-level window (not a dialog, whose closing would end the grab).
// None before the board is shown: the start-up arms the filter just before.
QWindow* boardWindow() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->type() == Qt::Window && window->isExposed() &&
            window->windowState() != Qt::WindowMinimized)
            return window;
    }
    return nullptr;
}
}  // namespace

KioskLockdown::KioskLockdown(std::function<void()> endProgram, QDBusConnection systemBus)
    : DesktopLockdown(std::move(endProgram)),
      x11_(X11Desk::fromApplication()),
      logind_(systemBus),
      session_(systemBus) {
    if (!x11_)
        logLockdown(QStringLiteral("kiosk mode without an X11 display (platform \"%1\"): cannot "
                                   "lock the PC; keys are held back in the board's windows only")
                        .arg(QGuiApplication::platformName()));
    // Another program may hold the keyboard for a moment (a menu, a window
    // manager's switcher); the board keeps asking while it is armed.
    grabTimer_.setSingleShot(true);
    QObject::connect(&grabTimer_, &QTimer::timeout, &grabTimer_, [this] { takeGrab(); });
}

KioskLockdown::~KioskLockdown() { disarmKeyboardFilter(); }

void KioskLockdown::hideTaskBar() {
    if (!x11_) return;
    hiddenDocks_.append(x11_->unmapDocks());
}

void KioskLockdown::showTaskBar() {
    if (!x11_) return;
    x11_->mapWindows(hiddenDocks_);
    hiddenDocks_.clear();
}

void KioskLockdown::armKeyboardFilter() {
    if (isArmed()) return;
    DesktopLockdown::armKeyboardFilter();
    if (x11_) takeGrab();
}

void KioskLockdown::disarmKeyboardFilter() {
    DesktopLockdown::disarmKeyboardFilter();
    grabTimer_.stop();
    lastGrabFailure_.clear();
    if (grabbed_ && x11_) x11_->ungrabKeyboard();
    grabbed_ = false;
}

bool KioskLockdown::eventFilter(QObject* watched, QEvent* event) {
    // Installed while armed. A window shown again (mapped) or given the
    // focus: the grab may have gone with an unmap.
    if (x11_ && watched->isWindowType() &&
        (event->type() == QEvent::Expose || event->type() == QEvent::FocusIn))
        grabTimer_.start(0);  // once the window has taken it in; many coalesce
    return DesktopLockdown::eventFilter(watched, event);
}

void KioskLockdown::takeGrab() {
    if (!isArmed()) {
        grabTimer_.stop();
        return;
    }
    QWindow* window = boardWindow();
    const QString failure = window ? x11_->grabKeyboard(static_cast<xcb_window_t>(window->winId()))
                                   : QStringLiteral("the board's window is not shown");
    if (failure.isEmpty()) {
        if (!lastGrabFailure_.isEmpty()) logLockdown(QStringLiteral("keyboard grabbed"));
        lastGrabFailure_.clear();
        grabbed_ = true;
        grabTimer_.start(kCheckMs);
        return;
    }
    // Said once per cause, not every half second. Before the board is first
    // shown there is nothing to report.
    if (failure != lastGrabFailure_ && (window || grabbed_))
        logLockdown((grabbed_ ? QStringLiteral("the keyboard grab was lost: ")
                              : QStringLiteral("cannot grab the keyboard yet: ")) +
                    failure);
    if (window || grabbed_) lastGrabFailure_ = failure;
    grabbed_ = false;
    grabTimer_.start(kRetryMs);
}

void KioskLockdown::installKioskSession() {
    const QString error = session_.install();
    if (!error.isEmpty()) logLockdown(error);
}

void KioskLockdown::restartComputer() {
    const QString error = logind_.reboot();
    if (!error.isEmpty())
        logLockdown(QStringLiteral("restart refused, the board goes on: ") + error);
}

QString KioskLockdown::powerOffComputer() {
    const QString error = logind_.powerOff();
    if (!error.isEmpty())
        logLockdown(QStringLiteral("power-off refused, the board goes on: ") + error);
    return error;
}

void KioskLockdown::markScreenSaver() {
    if (x11_) x11_->resetScreenSaver();
    if (inhibitTried_) return;
    // Asked once: a failure is logged once, not after every key.
    inhibitTried_ = true;
    const QString error = logind_.inhibitIdle();
    if (!error.isEmpty()) logLockdown(QStringLiteral("cannot hold off idle blanking: ") + error);
}
