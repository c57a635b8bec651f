#pragma once

#include <QString>
#include <QTimer>
#include <memory>

#include "admin/EnvironmentSetup.h"
#include "alerts/AlertSender.h"
#include "alerts/DeskWatch.h"
#include "app/ActivityFilter.h"
#include "app/FileDialogGuard.h"
#include "app/ModalWindows.h"
#include "app/WebFaceLoader.h"
#include "audit/AuditTrail.h"
#include "auth/PasswordRules.h"
#include "board/BoardModel.h"
#include "board/ClerkActions.h"
#include "board/ToolbarCommands.h"
#include "board/ui/BoardWindow.h"
#include "board/ui/QtDialogs.h"
#include "central/OutboxSender.h"
#include "comm/CommLink.h"
#include "comm/SerialPort.h"
#include "lockdown/Lockdown.h"
#include "lockdown/LockdownFactory.h"
#include "platform/AlsaSoundPlayer.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/ThreadTimer.h"
#include "store/AliasRegistry.h"
#include "store/Backup.h"
#include "store/Database.h"
#include "store/RoomRecords.h"

// The whole desk program wired together: the real clock, sound, boxes and
// lockdown around the board and its window, the database, the controller's
// serial line and the two timers.
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
    BoardWindow& window() { return window_; }
    Database& database() { return db_; }
    Backup& backup() { return backup_; }
    ToolbarCommands& toolbar() { return toolbar_; }

private:
    ToolbarWindows toolbarWindows();
    EnvironmentSeams environmentSeams();
    void startWeb();
    void startCentralLink();
    void releaseIdleMemory();
    void startTrail();
    void startAlerts();
    void watchForAlerts();
    QString centralProblem();

    // How long the controller's line stays quiet after a burst before the memory the burst
    // used is released.
    static constexpr int kQuietLineMs = 2000;

    Options options_;
    SystemClock clock_;
    AlsaSoundPlayer sound_;
    QtDialogs dialogs_;
    std::unique_ptr<Lockdown> lockdown_;  // chosen by `Lockdown`/`Mode`
    Assets assets_;
    DeskSession session_;
    BoardModel board_;
    BoardWindow window_;
    Database db_;
    RoomRecords records_;
    AuditTrail trail_;
    int auditKeepMonths_ = audit::kDefaultKeepMonths;  // `Audit`/`KeepMonths`
    Backup backup_;
    AliasRegistry aliases_;
    SerialPort controllerPort_;
    CommLink link_;
    ThreadTimer minuteTimer_;  // the minute timer
    ThreadTimer secondTimer_;  // the one-second clock
    QTimer quietLine_;         // restarted by every controller block
    PasswordRules passwords_;
    ModalWindows deskWindows_;
    ClerkActions clerkActions_;
    EnvironmentSetup environment_;
    ToolbarCommands toolbar_;
    ActivityFilter activity_;
    FileDialogGuard fileDialogs_;
    bool setUpBefore_ = true;             // the installation was set up before this start
    std::unique_ptr<WebFaceHandle> web_;  // the owner's live view, with `Web`/`Enabled` = 1
    // The owner's alerts, when `Alert` configures a way to send them; stopped first.
    std::unique_ptr<AlertSender> alerts_;
    std::unique_ptr<DeskWatch> watch_;
    QDateTime lastReport_;  // the controller's last block, or the start
    // The group's central ledger, when `Central`/`Enabled` is 1; stopped first.
    std::unique_ptr<OutboxSender> central_;
};
