#pragma once

// What a room panel shows for a state, derived in this one place: the state
// label's caption (two syllables with a space between), its colours and the
// state picture; the stay kind's glyph; the colour of the room number that
// says who changed the room last.

#include <QString>

#include "board/RoomRules.h"
#include "board/RoomState.h"
#include "board/WinColor.h"

struct StateLook {
    QString caption;
    WinColor font = Colors::White;
    WinColor back = Colors::Green;
    // The state picture, empty for none. It follows from the state alone,
    // so that a restarted board shows the picture the running one showed.
    QString picture;
};

// A finished room looks different when its next stay is an overnight one.
StateLook stateLook(RoomState state, StayKind kind);
QString stateCaption(RoomState state);
// The stay kind button's glyph, imp.bmp for day-use and moon.bmp for
// overnight: a running stay's by its state, any other room's by its kind.
QString kindGlyphFile(RoomState state, StayKind kind);
// Maroon for the desk, navy for the controller.
WinColor markColor(ChangeMark mark);
