#pragma once

#include <QString>

class Query;

// What the clerk can choose in the room action popup. The value is 10 + the
// number of the popup's button, so that the popup and the board agree on it.
enum class RoomAction {
    None = 0,  // the popup closed without a choice
    GoOut = 11,
    DayUseGoesOn = 12,
    Clean = 13,
    Cancel = 14,
    CheckOut = 15,
    CancelDayUse = 16,
    Finish = 17,
    StartDayUse = 18,
    OvernightGoesOn = 19,
    StartOvernight = 20,
    ToOvernight = 21,
    ToDayUse = 22,
    CancelOvernight = 23,
    MoveRoom = 24,
};

// What the room setup changed: the room's number and key code, the fees
// (already in the slot), or a reset of the whole room.
struct RoomSetupResult {
    bool resetRequested = false;
    QString newRoomName;  // empty when the number was not saved
    int newKeyCode = 0;   // key number + 128, 0 for none
    bool feesSaved = false;
};

// The modal windows that the desk's actions open over the board. While one
// is shown the event loop runs on, so controller reports and ticks may change
// the room meanwhile.
class DeskWindows {
public:
    virtual ~DeskWindows() = default;
    // The room action popup in `mode` (1 to 9) for `room`; the clerk's choice.
    virtual RoomAction runPopup(int mode, const QString& room) = 0;
    // The room setup of slot `slot` showing `room` ("호수" for a slot
    // without a room), with the room's history open on `history`.
    virtual RoomSetupResult runRoomSetup(int slot, const QString& room, Query& history) = 0;
};
