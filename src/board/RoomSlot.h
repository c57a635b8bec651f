#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include "board/RoomState.h"
#include "board/StayTime.h"

// The values of one room slot. Those with an INI section (named in the
// comments) are restored at start-up and written through by the savers; the
// rest live only while the program runs.
struct RoomSlot {
    QString roomName;                       // Name/LName<n>: the room number
    quint8 hasPanel = 0;                    // Panel/P<n>
    RoomState state = RoomState::Finished;  // rStatus
    StayKind kind = StayKind::DayUse;       // Sleep: the running stay's kind, or the next one's
    StayTime stayStart;                     // Time: the running stay's start
    QString checkoutTime;                   // TimeEnd: "h:m"
    qint32 dayUseFee = 0;                   // Money/rd<n>
    qint32 overnightFee = 0;                // Money/rs<n>
    QString morningCall;                    // Alram: "yyyy-mm-dd hh:mm"
    quint16 keyCode = 0;                    // RoomKey: key number + 128, 0 for none
    quint8 doorOpen = 0;                    // DoorStatus

    // Kept in keys of the board's own, which older readers of the file
    // ignore: what the room needs beyond the file's own keys to look and act
    // the same after a restart.
    // AlramRung, AlramMissed (each holds the call it is about): the call has
    // sounded, or was found too late at a start-up and shown as missed.
    bool morningCallRung = false;
    bool morningCallMissed = false;
    // OutMark: the desk marked the guest as gone out during this stay: a
    // cleaning keeps the stay's clock, and the controller's finish shows 외출 again.
    bool guestOut = false;
    // LastEvent: the last controller report taken for the room (room caption +
    // event code): the same report again is a repeat and is skipped.
    QString repeatKey;
    // ChangedBy: who changed the room last, shown by the colour of its number.
    ChangeMark changedBy = ChangeMark::None;
    // ClockStart: the minute the room's clock counts from (the stay's start, a
    // cleaning's, the room's being finished); invalid while it is off.
    QDateTime clockStart;

    quint8 clockRunning = 0;
    quint8 showElapsed = 0;
    qint32 elapsed = 0;  // minutes since clockStart at the last minute tick
    qint32 elapsedHours = 0;
    qint32 elapsedMinutes = 0;  // past the full hours

    // A room's number: the room setup gives exactly three characters; a slot
    // without one holds its own number (one or two digits). A longer stored
    // number (written by hand) is a room all the same.
    static constexpr qsizetype kRoomNumberLength = 3;
    static bool isRoomNumber(const QString& name) { return name.size() >= kRoomNumberLength; }
    // What the room setup takes as a room's new number.
    static bool isNewRoomNumber(const QString& name) { return name.size() == kRoomNumberLength; }
    // Whether a room number is set up for the slot.
    bool hasRoom() const { return isRoomNumber(roomName); }
    // What the panel shows and the history and ledger record for a slot without a room.
    static QString noRoomCaption() { return QStringLiteral("호수"); }
    // The room as the panel shows it and the history and ledger record it.
    QString roomCaption() const { return hasRoom() ? roomName : noRoomCaption(); }

    bool operator==(const RoomSlot&) const = default;
};
