#include "app/ModalWindows.h"

#include "admin/AboutWindow.h"
#include "admin/EnvironmentSetupWindow.h"
#include "admin/MorningCallWindow.h"
#include "admin/PasswordWindow.h"
#include "admin/RoomSetupWindow.h"
#include "board/BoardModel.h"
#include "board/ui/RoomActionPopup.h"
#include "settlement/ui/SettlementView.h"
#include "store/IniStore.h"

ModalWindows::ModalWindows(BoardModel& board, PasswordRules& passwords, Database& db,
                             QWidget* owner)
    : board_(board), passwords_(passwords), db_(db), owner_(owner) {}

std::optional<RoomAction> ModalWindows::runPopup(const RoomOffer& offer, const QString& room) {
    RoomActionPopup popup(offer, room, owner_);
    popup.exec();
    return popup.chosen();
}

RoomSetupResult ModalWindows::runRoomSetup(int slot, const QString& room, Query& history) {
    RoomSetupWindow setup(
        board_, slot, room, history, [this](QWidget* opener) { runPassword(opener); }, owner_);
    setup.exec();
    return setup.result();
}

bool ModalWindows::runPassword(QWidget* opener) {
    PasswordWindow pass(passwords_, board_.context().dialogs, opener ? opener : owner_.data());
    const bool signedIn = pass.exec() == QDialog::Accepted;
    if (signInChanged) signInChanged();
    return signedIn;
}

void ModalWindows::runEnvironmentSetup(EnvironmentSetup& setup) {
    EnvironmentSetupWindow window(setup, owner_);
    window.exec();
}

void ModalWindows::runMorningCalls() {
    MorningCallWindow window(board_, owner_);
    window.exec();
}

void ModalWindows::runAbout() {
    AboutWindow window(owner_);
    window.exec();
}

void ModalWindows::runSettlement(SettlementKind kind) {
    BoardContext& ctx = board_.context();
    SettlementViewParts parts{db_,
                              board_.ini(),
                              ctx.clock,
                              ctx.dialogs,
                              [this] { return board_.context().shared.grade; },
                              [this](int grade) {
                                  board_.context().shared.gradeToCheck = grade;
                                  runPassword(owner_);
                              },
                              [this](int months) { board_.ledgerMonths = months; }};
    SettlementView view(kind, parts, owner_);
    view.exec();
}
