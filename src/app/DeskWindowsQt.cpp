#include "app/DeskWindowsQt.h"

#include "admin/PasswordWindow.h"
#include "admin/RoomSetupWindow.h"
#include "board/BoardModel.h"
#include "board/ui/RoomActionPopup.h"

DeskWindowsQt::DeskWindowsQt(BoardModel& board, PasswordRules& passwords, QWidget* owner)
    : board_(board), passwords_(passwords), owner_(owner) {}

RoomAction DeskWindowsQt::runPopup(int mode, const QString& room) {
    RoomActionPopup popup(mode, room, owner_);
    popup.exec();
    return popup.chosen();
}

RoomSetupResult DeskWindowsQt::runRoomSetup(int slot, const QString& room, Query& history) {
    RoomSetupWindow setup(
        board_, slot, room, history, [this](QWidget* opener) { runPassword(opener); }, owner_);
    setup.exec();
    return setup.result();
}

bool DeskWindowsQt::runPassword(QWidget* opener) {
    PasswordWindow pass(passwords_, board_.context().dialogs, opener ? opener : owner_.data());
    return pass.exec() == QDialog::Accepted;
}
