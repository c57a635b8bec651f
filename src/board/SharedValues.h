#pragma once

#include <QString>
#include <QtGlobal>

// The values that the board and its windows hand to each other. One instance,
// owned by the application and passed by reference, so that every test starts
// from a clean board.
struct SharedValues {
    QString ExeDir;  // the data directory, with a trailing separator

    qint32 PopupCode = 0;
    QString PopupRoom;

    QString SelRoomName;
    int SelSlot = 0;
    int RoomSetupState = 0;
    QString NewRoomName;
    int NewRoomKey = 0;
    bool FeesSaved = false;

    int CashViewKind = 0;
    QString AlarmText;

    int LoginLevel = 0;  // 0 nobody, 1 user, 2 Windows use, 3 supplier
    int AuthMode = 0;
    // What the toolbar's sign-in button shows after the last sign-in.
    QString LogInCaption;
    QString LogInPicture;
};
