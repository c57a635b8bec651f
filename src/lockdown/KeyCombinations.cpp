#include "lockdown/KeyCombinations.h"

bool leavesTheBoard(int key, Qt::KeyboardModifiers modifiers) {
    switch (key) {
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return true;
        case Qt::Key_Escape:
            return modifiers.testAnyFlags(Qt::ControlModifier | Qt::AltModifier);
        case Qt::Key_Tab:
        case Qt::Key_Backtab:  // Shift+Alt+Tab
        case Qt::Key_F4:
        case Qt::Key_Delete:
            return modifiers.testFlag(Qt::AltModifier);
        default:
            return false;
    }
}
