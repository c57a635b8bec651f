#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "board/RoomWindows.h"
#include "board/ToolbarCommands.h"

class BoardModel;
class Clock;
class Database;
class EnvironmentSetup;
class PasswordRules;

// The desk's windows as modal Qt windows over the board, each created for
// one showing and freed when it closes.
class ModalWindows final : public RoomWindows {
public:
    ModalWindows(BoardModel& board, PasswordRules& passwords, Database& db, QWidget* owner);

    std::optional<RoomAction> runPopup(const RoomOffer& offer, const QString& room) override;
    RoomSetupResult runRoomSetup(int slot, const QString& room, Query& history) override;
    // The password window for the grade in `gradeToCheck`, over its opener;
    // true when that grade signed in.
    bool runPassword(QWidget* opener);
    void runEnvironmentSetup(EnvironmentSetup& setup);
    void runMorningCalls();
    void runAbout();
    // The daily or monthly settlement view.
    void runSettlement(SettlementKind kind);

    // Told after every showing of the password window (the grade may have
    // changed).
    std::function<void()> signInChanged;

private:
    BoardModel& board_;
    PasswordRules& passwords_;
    Database& db_;
    QPointer<QWidget> owner_;
};
