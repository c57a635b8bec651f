#include "lockdown/DesktopLockdown.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <utility>

#include "lockdown/KeyCombinations.h"
#include "lockdown/LockdownLog.h"

DesktopLockdown::DesktopLockdown(std::function<void()> endProgram)
    : endProgram_(std::move(endProgram)) {}

DesktopLockdown::~DesktopLockdown() { disarmKeyboardFilter(); }

void DesktopLockdown::armKeyboardFilter() {
    if (armed_ || !QCoreApplication::instance()) return;
    QCoreApplication::instance()->installEventFilter(this);
    armed_ = true;
}

void DesktopLockdown::disarmKeyboardFilter() {
    if (!armed_) return;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
    armed_ = false;
}

bool DesktopLockdown::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (leavesTheBoard(key->key(), key->modifiers())) return true;
            break;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void DesktopLockdown::installKioskSession() {
    logLockdown(QStringLiteral("desktop mode: the kiosk session is not installed"));
}

// The first start restarts the PC so that the kiosk session takes over; a
// desktop trial installed nothing, and ending the program here would close
// the board on every fresh start before anyone saw it.
void DesktopLockdown::restartComputer() {
    logLockdown(QStringLiteral("desktop mode: no restart, the board goes on"));
}

QString DesktopLockdown::powerOffComputer() {
    logLockdown(QStringLiteral("desktop mode: the program ends instead of powering off"));
    endProgram();
    return {};
}

void DesktopLockdown::endProgram() {
    if (endProgram_) endProgram_();
}
