#pragma once

#include <QDateTime>

#include "board/BoardSnapshot.h"

class BoardModel;

// What the desk knows of its controller besides the board.
struct ControllerStatus {
    bool connected = false;
    QDateTime lastReport;
};

// The board as the faces outside the desk read it, taken from the model's
// public values on the main thread.
BoardSnapshotPtr takeDeskSnapshot(const BoardModel& board, quint64 sequence,
                                  const ControllerStatus& controller);
