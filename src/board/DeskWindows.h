#pragma once

class Query;

// The modal windows that the desk's actions open over the board. They talk
// back through the shared values, as every window of the desk does. While
// one is shown the event loop runs on, so controller reports and ticks may
// change the room meanwhile.
class DeskWindows {
public:
    virtual ~DeskWindows() = default;
    // The room action popup: shows the mode in `PopupCode` for the room in
    // `PopupRoom` and leaves the chosen result (11 to 24) in `PopupCode`.
    virtual void runPopup() = 0;
    // The room setup for `SelRoomName` / `SelSlot`, with the room's history
    // open on `history`; it leaves its results in `RoomSetupState`,
    // `NewRoomName`, `NewRoomKey`, `FeesSaved` and the slot's fees.
    virtual void runRoomSetup(Query& history) = 0;
};
