#include "board/RoomLook.h"

#include "board/StoredRoomState.h"

StateLook stateLook(RoomState state, StayKind kind) {
    switch (state) {
        case RoomState::Finished:
            if (kind == StayKind::Overnight)
                return {stateCaption(state), Colors::Black, Colors::LightPink, QString()};
            return {stateCaption(state), Colors::White, Colors::Green, QString()};
        case RoomState::DayUse:
            return {stateCaption(state), Colors::White, Colors::Blue, QStringLiteral("bed.bmp")};
        case RoomState::Overnight:
            return {stateCaption(state), Colors::White, Colors::Red, QStringLiteral("night.bmp")};
        case RoomState::Cleaning:
            return {stateCaption(state), Colors::White, Colors::Gray, QStringLiteral("Clean.bmp")};
        case RoomState::CheckedOut:
            return {stateCaption(state), Colors::White, Colors::Purple,
                    QStringLiteral("withOut.bmp")};
        case RoomState::GuestOut:
            // The guest is out of the room, as after a check-out.
            return {stateCaption(state), Colors::Black, Colors::Yellow,
                    QStringLiteral("withOut.bmp")};
    }
    return {};
}

// The label shows the words the room-state file keeps for the state.
QString stateCaption(RoomState state) { return storedText(state); }

QString kindGlyphFile(RoomState state, StayKind kind) {
    if (state == RoomState::DayUse) kind = StayKind::DayUse;
    if (state == RoomState::Overnight) kind = StayKind::Overnight;
    return kind == StayKind::Overnight ? QStringLiteral("moon.bmp") : QStringLiteral("imp.bmp");
}

WinColor markColor(ChangeMark mark) {
    return mark == ChangeMark::Desk ? Colors::Maroon : Colors::Navy;
}
