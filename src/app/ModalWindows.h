#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "board/RoomModalWindows.h"
#include "board/ToolbarCommands.h"

class BoardModel;
class Clock;
class Database;
class EnvironmentSetup;
class PasswordRules;

// The desk's windows as modal Qt windows over the board, each created for
// one showing and freed when it closes.
class ModalWindows final : public RoomModalWindows {
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

    // Closes the open windows whose use rests on a signed-in grade, and every
    // box or dialog shown over them; run when the grade signs out.
    void closeGradedWindows();

private:
    // Keeps a window in gradedWindows_ while it is shown.
    class Graded {
    public:
        Graded(ModalWindows& windows, QDialog* window);
        ~Graded();
        Graded(const Graded&) = delete;
        Graded& operator=(const Graded&) = delete;

    private:
        ModalWindows& windows_;
        QDialog* window_;
    };

    BoardModel& board_;
    PasswordRules& passwords_;
    Database& db_;
    QPointer<QWidget> owner_;
    QList<QPointer<QDialog>> gradedWindows_;
};
