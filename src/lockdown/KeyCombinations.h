#pragma once

#include <Qt>

// The key combinations that would take a clerk out of the board: the Windows
// (Super) keys, Ctrl+Esc, and Alt with Tab, Esc, F4 or Delete. Key presses and
// releases are judged alike. Only Alt proper counts: AltGr is a key of its own.
bool leavesTheBoard(int key, Qt::KeyboardModifiers modifiers);
