#include "board/ui/QtDeskWindows.h"

#include "admin/TFormPass.h"
#include "admin/TformIn.h"
#include "board/BoardModel.h"
#include "board/ui/TFormLabel.h"

QtDeskWindows::QtDeskWindows(BoardModel& board, PasswordCheck& passwords, QWidget* owner)
    : board_(board), passwords_(passwords), owner_(owner) {}

void QtDeskWindows::runPopup() {
    TFormLabel popup(board_.context().shared, owner_);
    popup.exec();
}

void QtDeskWindows::runRoomSetup(Query& history) {
    TformIn setup(
        board_, history, [this](QWidget* opener) { runPassword(opener); }, owner_);
    setup.exec();
}

void QtDeskWindows::runPassword(QWidget* opener) {
    TFormPass pass(passwords_, board_.context().dialogs, opener ? opener : owner_.data());
    pass.exec();
}
