#pragma once

#include <QString>

#include "board/DeskWindows.h"

class BoardModel;
class Database;

// What the desk clerk does to a room: the state label's popup and the action
// chosen in it, the stay kind button, and the room setup behind the room
// number button. Each entry point takes the slot number; a failure (a picture
// that cannot be loaded, say) is shown in the error box and ends the action
// where it happened.
class DeskActions {
public:
    DeskActions(BoardModel& board, Database& db, DeskWindows& windows);

    // A click on the state label: chooses the popup's mode from the label and
    // the stay kind, then runs offerActions.
    void onStateLabelClicked(int n);
    // A click on the stay kind button: switches between day-use and overnight.
    void toggleStayKind(int n);
    // A click on the room number button: the room setup and its results.
    void onRoomButtonClicked(int n);

    // The popup's mode for a label and stay kind; 0 when no popup is offered.
    static int popupMode(const QString& label, int sleepFlag);

private:
    void offerActions(int n, int mode, const QString& room);
    void act(int n, RoomAction action);
    void stayGoesOn(int n, bool overnight);
    void startStay(int n);
    void finishRoom(int n, const QString& historyWord);
    void convertStay(int n, bool overnight);
    void resetRoom(int n);
    void openHistory(const QString& room);
    void history(int n, const QString& word);
    void log(int n, const QString& word);
    void setState(int n, const QString& state);

    BoardModel& board_;
    Database& db_;
    DeskWindows& windows_;
};
