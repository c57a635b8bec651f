#include "app/ModalWindows.h"

#include <QApplication>
#include <QFileInfo>
#include <memory>
#include <optional>

#include "admin/AboutWindow.h"
#include "admin/EnvironmentSetupWindow.h"
#include "admin/MorningCallWindow.h"
#include "admin/PasswordWindow.h"
#include "admin/RoomSetupWindow.h"
#include "app/SettlementWindows.h"
#include "board/BoardModel.h"
#include "board/ui/RoomActionPopup.h"
#include "settlement/ui/SettlementView.h"
#include "store/AliasRegistry.h"
#include "store/IniStore.h"

ModalWindows::ModalWindows(BoardModel& board, PasswordRules& passwords, Database& db,
                           QWidget* owner)
    : board_(board), passwords_(passwords), db_(db), owner_(owner) {}

std::optional<RoomAction> ModalWindows::runPopup(const RoomOffer& offer, const QString& room) {
    RoomActionPopup popup(offer, room, owner_);
    popup.exec();
    return popup.chosen();
}

ModalWindows::Graded::Graded(ModalWindows& windows, QDialog* window)
    : windows_(windows), window_(window) {
    windows_.gradedWindows_.append(window);
}

ModalWindows::Graded::~Graded() {
    windows_.gradedWindows_.removeIf([this](const QPointer<QDialog>& w) { return w == window_; });
}

void ModalWindows::closeGradedWindows() {
    const auto anyShown = [this] {
        for (const QPointer<QDialog>& w : gradedWindows_)
            if (w && w->isVisible()) return true;
        return false;
    };
    // Whatever is shown over a graded window was opened from it (they are
    // modal); closing from the top down lets each nested exec() return.
    for (int left = 64; left > 0 && anyShown(); --left) {
        auto* top = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!top) break;
        top->reject();
    }
    for (const QPointer<QDialog>& w : gradedWindows_)
        if (w && w->isVisible()) w->reject();
}

RoomSetupResult ModalWindows::runRoomSetup(int slot, const QString& room, Query& history) {
    RoomSetupWindow setup(
        board_, slot, room, history, [this](QWidget* opener) { runPassword(opener); }, owner_);
    Graded graded(*this, &setup);
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
    Graded graded(*this, &window);
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
    // The program's folder and the alias registry's are the desk's too.
    const ExportTargets targets(
        ctx.session.dataDir,
        {QCoreApplication::applicationDirPath(), QFileInfo(AliasRegistry().path()).absolutePath()});
    SettlementViewParts parts{db_,
                              board_.ini(),
                              ctx.clock,
                              ctx.dialogs,
                              [this] { return board_.context().session.grade; },
                              [this](int grade) {
                                  board_.context().session.gradeToCheck = grade;
                                  runPassword(owner_);
                              },
                              [this](int months) { board_.ledgerMonths = months; },
                              targets};
    const std::unique_ptr<QDialog> view(settlementWindows::makeView(kind, parts, owner_));
    // The monthly view needs a grade to open; the daily view asks for one
    // at each deletion.
    std::optional<Graded> graded;
    if (kind == SettlementKind::Monthly) graded.emplace(*this, view.get());
    view->exec();
}
