#pragma once

#include <QPointer>
#include <QWidget>

#include "board/DeskWindows.h"

class BoardModel;
class PasswordRules;

// The desk's windows as modal Qt windows over the board, each created for
// one showing and freed when it closes.
class DeskWindowsQt final : public DeskWindows {
public:
    DeskWindowsQt(BoardModel& board, PasswordRules& passwords, QWidget* owner);

    RoomAction runPopup(int mode, const QString& room) override;
    RoomSetupResult runRoomSetup(int slot, const QString& room, Query& history) override;
    // The password window for the grade in `gradeToCheck`, over its opener;
    // true when that grade signed in.
    bool runPassword(QWidget* opener);

private:
    BoardModel& board_;
    PasswordRules& passwords_;
    QPointer<QWidget> owner_;
};
