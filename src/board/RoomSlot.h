#pragma once

#include <QString>
#include <QtGlobal>

// The values of one room slot. Those with an INI section (named in the
// comments) are restored at start-up and written through by the savers; the
// rest live only while the program runs.
struct RoomSlot {
    QString roomName;         // Name/LName<n>: the room number, "호수" when none
    quint8 hasPanel = 0;      // Panel/P<n>
    QString state;            // rStatus: the state label, "완 료" and so on
    quint8 overnight = 0;     // Sleep: the stay kind, 1 overnight, 0 day-use
    QString stayStart;        // Time: "yyyymmddhhmm" + minute stamp of the running stay
    QString checkoutTime;     // TimeEnd: "h:m"
    qint32 dayUseFee = 0;     // Money/rd<n>
    qint32 overnightFee = 0;  // Money/rs<n>
    QString morningCall;      // Alram: "yyyy-mm-dd hh:mm"
    quint16 keyCode = 0;      // RoomKey: key number + 128, 0 for none
    quint8 doorOpen = 0;      // DoorStatus

    quint8 longStayMarked = 0;  // the stay has passed 180 minutes
    QString lastEvent;          // the last controller event, against repeats
    quint8 clockRunning = 0;
    quint8 showElapsed = 0;
    qint32 elapsed = 0;  // minutes of the running stay
    qint32 elapsedHours = 0;
    qint32 elapsedMinutes = 0;  // past the full hours
};
