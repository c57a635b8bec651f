#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "board/RoomState.h"
#include "board/WinColor.h"

// An immutable picture of the board that the board publishes after each step
// and each minute tick. The faces outside the desk (the owner's pages) read
// only these, never the model or the widgets, from any thread.
struct BoardSnapshot {
    struct Room {
        int slot = 0;    // 1..72
        QString number;  // the room number shown on the panel
        RoomState state = RoomState::Finished;
        StayKind kind = StayKind::DayUse;
        bool doorOpen = false;
        QDateTime stayStart;        // invalid when no stay runs
        int elapsedMinutes = 0;     // of the running stay
        QString checkoutTime;       // "h:m", empty for none
        QString morningCall;        // "yyyy-mm-dd hh:mm", empty for none
        WinColor labelColor{};      // the desk's colours for the state,
        WinColor labelFontColor{};  // from the board's one look table
    };
    struct LogLine {
        QString text;
        WinColor color{};
    };

    quint64 sequence = 0;  // grows by one with every publication
    QDateTime takenAt;
    QString businessName;
    std::vector<Room> rooms;       // rooms with a panel, in slot order
    std::vector<LogLine> logTail;  // the event log's last lines, oldest first
    bool controllerConnected = false;
    QString controllerPort;
    QDateTime lastControllerReport;   // invalid before the first
    QString storageWarning;           // empty while everything is on disk
    QString notice;                   // the message line
    QString centralLink;              // the group ledger's link, empty when off
    bool centralLinkHealthy = false;  // connected, or only behind
};

using BoardSnapshotPtr = std::shared_ptr<const BoardSnapshot>;
