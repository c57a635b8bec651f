#pragma once

// The room's state and stay kind as the room-state file stores them
// (`rStatus`, `Sleep`), read and written in this one place.

#include <QString>
#include <optional>

#include "board/RoomState.h"

// The state a stored label names: "완 료", "대 실", ... An empty label is a
// finished room; a text the board does not know is none (the caller reports it
// and shows the room ready, leaving the text on file until the room changes).
std::optional<RoomState> stateFromStored(const QString& text);
QString storedText(RoomState state);

// `Sleep`: 1 overnight, anything else day-use.
StayKind kindFromStored(int value);
int storedValue(StayKind kind);

// `ChangedBy`: "desk" or "controller"; anything else is no mark (the number
// keeps its colour from the window's design).
ChangeMark markFromStored(const QString& text);
QString storedText(ChangeMark mark);
