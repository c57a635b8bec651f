#pragma once

#include <QString>
#include <QtGlobal>

// The values of one room slot. Those with an INI section are restored at
// start-up and written through by the savers; the rest live only while the
// program runs.
struct RoomSlot {
    QString Name;
    quint8 Panel = 0;
    QString rStatus;
    quint8 Sleep = 0;
    QString Time;
    QString TimeEnd;
    qint32 MoneyRd = 0;
    qint32 MoneyRs = 0;
    QString Alram;
    quint16 RoomKey = 0;
    quint8 DoorStatus = 0;

    quint8 OutMark = 0;
    QString LastEvent;
    quint8 ClockOn = 0;
    quint8 ShowElapsed = 0;
    qint32 Elapsed = 0;
    qint32 ElapsedHour = 0;
    qint32 ElapsedMinute = 0;
};
