#pragma once

// The board's rules, with no widgets and no files: what each change of a room
// does (for the controller and the clerk alike, the differences between them
// side by side in one table), which change a controller event means in each
// state, and which actions the clerk's popup offers. The board carries a
// change out (BoardChanges.cpp); the panels' looks are RoomLook's.

#include <QString>
#include <optional>
#include <vector>

#include "board/RoomSlot.h"
#include "board/RoomState.h"

// Who changes a room: the controller's report, the clerk's choice in the
// popup, or the clerk's click on the stay kind button.
enum class ChangeSource { Controller, Popup, KindButton };

// The changes of a room. Each is one plan (planChange), whoever asks for it.
enum class RoomChange {
    StartStay,  // a guest takes the finished room
    KeepStay,   // the guest is back: the stay goes on
    Convert,    // the running stay becomes the other kind
    CheckOut,   // the guest has left the room
    GuestOut,   // the guest is out for a while; the stay goes on
    Clean,
    Finish,  // the room is made up again ("완료"); the stay is settled
    Cancel,  // the stay is cancelled: nothing is charged
    Move,    // the guest moves to another room
};

// Where the two sources really differ, side by side.
struct SourceRules {
    QString historyComm;  // the history row's Comm: "1" the controller, "0" the desk
    ChangeMark mark;      // the room number's colour
    // A check-out ends the guest's absence when the clerk says the guest has
    // left; the controller reports a key taken out during an absence as a
    // check-out too, and the absence goes on.
    bool checkOutEndsGuestOut;
};
SourceRules sourceRules(ChangeSource source);

enum class LedgerChange { None, Open, Finish, Convert, Cancel, Move };

enum class StayClockChange {
    None,
    Start,          // from zero, the start time shown
    ShowElapsed,    // the elapsed time shows again (it went on counting)
    ShowCheckout,   // the check-out time shows; the clock counts on unseen
    StartFinished,  // from zero without a start time: how long the room is finished
};

// What one change does to a room; BoardModel::changeRoom carries it out.
struct ChangePlan {
    RoomState state = RoomState::Finished;  // afterwards
    StayKind kind = StayKind::DayUse;       // afterwards
    bool guestOut = false;                  // afterwards
    QString word;                           // the event log's word
    QString historyWord;                    // the history row's word
    QString historyComm;
    LedgerChange ledger = LedgerChange::None;
    StayKind ledgerKind = StayKind::DayUse;  // the stay's kind for Convert, Cancel and Move
    StayClockChange clock = StayClockChange::None;
    bool startsStay = false;  // `Time` becomes now
    bool checksOut = false;   // `TimeEnd` becomes the board's clock
    bool endsStay = false;    // `Time` and the morning call are emptied
    bool savesKind = false;   // `Sleep` is written
    QString sound;            // empty for none
    ChangeMark mark = ChangeMark::None;
};

// The plan of `change` asked by `source` for a room as it is now. `kind` is
// the kind asked for (a new stay's, a conversion's target); the other changes
// keep the room's kind.
ChangePlan planChange(RoomChange change, ChangeSource source, const RoomSlot& room, StayKind kind);

// The controller's event codes (second byte of a pair).
enum class ControllerEvent : quint8 {
    DoorOpened = 1,
    DoorClosed = 2,
    Taken = 3,     // a stay begins or goes on
    CheckOut = 4,  // the guest leaves
    Cleaning = 5,
    Finish = 6,  // the room is made up; a guest marked out by the desk is out again
};

// The change a controller event means for a room in its present state; none
// when the room ignores it (a check-out of a finished room, a finish during a
// stay). Door events and unknown codes are no change of the room. The one
// rule that reads the guest-out mark: a finish while the guest is out is the
// guest going out again.
std::optional<RoomChange> controllerChange(quint8 code, const RoomSlot& room);

// What the clerk can choose in the room action popup.
enum class RoomAction {
    GoOut,
    DayUseGoesOn,
    OvernightGoesOn,
    Clean,
    CheckOut,
    CancelDayUse,
    CancelOvernight,
    Finish,
    StartDayUse,
    StartOvernight,
    ToOvernight,
    ToDayUse,
    MoveRoom,
};

// The popup's button text of an action.
QString actionCaption(RoomAction action);
// The change an action asks for, and the kind it asks for.
RoomChange actionChange(RoomAction action);
StayKind actionKind(RoomAction action, StayKind current);

// What the popup offers for a room: the question after "[" + room number and
// the actions, left to right (the popup adds its cancel button).
struct RoomOffer {
    QString question;
    std::vector<RoomAction> actions;
    bool operator==(const RoomOffer&) const = default;
};
RoomOffer offeredActions(RoomState state, StayKind kind);
