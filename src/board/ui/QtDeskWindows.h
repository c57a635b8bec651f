#pragma once

#include <QPointer>
#include <QWidget>

#include "board/DeskWindows.h"

class BoardModel;
class PasswordCheck;

// The desk's windows as modal Qt windows over the board, each created for
// one showing and freed when it closes.
class QtDeskWindows final : public DeskWindows {
public:
    QtDeskWindows(BoardModel& board, PasswordCheck& passwords, QWidget* owner);

    void runPopup() override;
    void runRoomSetup(Query& history) override;
    // The password window for the grade in `AuthMode`, over its opener.
    void runPassword(QWidget* opener);

private:
    BoardModel& board_;
    PasswordCheck& passwords_;
    QPointer<QWidget> owner_;
};
