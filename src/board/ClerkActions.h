#pragma once

#include <QString>

#include "board/RoomModalWindows.h"

class BoardModel;
class Database;

// What the desk clerk does to a room: the state label's popup and the action
// chosen in it, the stay kind button, and the room setup behind the room
// number button. Each entry point takes the slot number; a failure (a picture
// that cannot be loaded, say) is shown in the error box and ends the action
// where it happened. The changes themselves are the board's (BoardModel::changeRoom).
class ClerkActions {
public:
    ClerkActions(BoardModel& board, Database& db, RoomModalWindows& windows);

    // A click on the state label: the popup offers what the room's state and
    // stay kind allow (RoomRules' offeredActions), and the choice is carried out.
    void onStateLabelClicked(int n);
    // A click on the stay kind button: switches between day-use and overnight.
    void toggleStayKind(int n);
    // A click on the room number button: the room setup and its results.
    void onRoomButtonClicked(int n);

private:
    void openHistory(const QString& room);
    void resetRoom(int n);

    BoardModel& board_;
    Database& db_;
    RoomModalWindows& windows_;
};
