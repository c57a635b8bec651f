#pragma once

#include <QString>
#include <optional>

#include "board/RoomRules.h"

class Query;

// What the room setup changed: the room's number and key code, the fees
// (already in the slot), or a reset of the whole room.
struct RoomSetupResult {
    bool resetRequested = false;
    QString newRoomName;  // empty when the number was not saved
    int newKeyCode = 0;   // key number + 128, 0 for none
    bool feesSaved = false;
};

// The interface to the modal windows that the clerk opens over a room:
// ModalWindows (app/) shows the real ones, tests script the answers. While one
// is shown the event loop runs on, so controller reports and ticks may change
// the room meanwhile.
class RoomModalWindows {
public:
    virtual ~RoomModalWindows() = default;
    // The room action popup offering `offer` for `room`; the clerk's choice,
    // none when the popup was cancelled or closed.
    virtual std::optional<RoomAction> runPopup(const RoomOffer& offer, const QString& room) = 0;
    // The room setup of slot `slot` showing `room` ("호수" for a slot
    // without a room), with the room's history open on `history`.
    virtual RoomSetupResult runRoomSetup(int slot, const QString& room, Query& history) = 0;
};
