#pragma once

#include <QString>
#include <memory>

#include "board/BoardModel.h"
#include "board/ui/QtDialogs.h"
#include "board/ui/TformMain.h"
#include "comm/TThreadTimer.h"
#include "lockdown/Lockdown.h"
#include "platform/AlsaSoundPlayer.h"
#include "platform/Assets.h"
#include "platform/Clock.h"

// The whole desk program wired together: the real clock, sound, boxes and
// lockdown around the board, its window and its two timers.
class Desk {
public:
    struct Options {
        QString dataDir;
        QString programDir;
        bool windowed = false;
    };

    explicit Desk(const Options& options);
    ~Desk();

    BoardModel& board() { return board_; }
    TformMain& window() { return window_; }

private:
    Options options_;
    SystemClock clock_;
    AlsaSoundPlayer sound_;
    QtDialogs dialogs_;
    NoLockdown lockdown_;
    Assets assets_;
    SharedValues shared_;
    BoardModel board_;
    TformMain window_;
    TThreadTimer ThreadTimer1;  // the minute timer
    TThreadTimer ThreadTimer2;  // the one-second clock
};
