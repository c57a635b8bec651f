// Carrying out one change of a room, as RoomRules plans it, for the
// controller and the desk alike: the pictures first, the ledger where it
// reads the stay that the change ends, then the slot's values, the clock, the
// look, the file, the history row, the log line and the sound.
#include "board/BoardModel.h"
#include "board/RoomLook.h"
#include "platform/Assets.h"

void BoardModel::changeRoom(int n, RoomChange change, ChangeSource source, StayKind kind) {
    RoomSlot& s = slot(n);
    const ChangePlan plan = planChange(change, source, s, kind);
    // A picture that cannot be loaded stops the change before anything of it
    // is done.
    const StateLook look = stateLook(plan.state, plan.kind);
    if (!look.picture.isEmpty()) ctx_.assets.picture(look.picture);
    ctx_.assets.picture(kindGlyphFile(plan.state, plan.kind));

    // These read the stay's start, its kind and its minutes, which the
    // change may clear.
    switch (plan.ledger) {
        case LedgerChange::Finish:
            closeLedgerRow(n);
            break;
        case LedgerChange::Cancel:
            cancelLedgerRow(n, plan.ledgerKind);
            break;
        case LedgerChange::Move:
            moveLedgerRow(n, plan.ledgerKind);
            break;
        case LedgerChange::None:
        case LedgerChange::Open:
        case LedgerChange::Convert:
            break;
    }

    s.state = plan.state;
    s.kind = plan.kind;
    s.guestOut = plan.guestOut;
    if (plan.startsStay) s.stayStart = StayTime::startingAt(now());
    if (plan.checksOut) s.checkoutTime = clockText();
    if (plan.endsStay) {
        s.stayStart = {};
        s.morningCall.clear();
        s.morningCallRung = false;
        s.morningCallMissed = false;
    }

    switch (plan.clock) {
        case StayClockChange::Start:
            startClock(n);
            break;
        case StayClockChange::ShowElapsed:
            showElapsedTime(n);
            break;
        case StayClockChange::ShowCheckout:
            showCheckoutTime(n);
            break;
        case StayClockChange::StartFinished:
            startFinishedClock(n);
            break;
        case StayClockChange::None:
            break;
    }
    showState(n);
    markChanged(n, plan.mark);
    if (plan.endsStay) {
        SlotView& v = editView(n);
        v.elapsedFontColor = Colors::White;
        v.startColor = Colors::Black;  // no morning call any more
        viewChanged(n);
    }

    saveState(n);
    if (plan.savesKind) saveStayKind(n);
    if (plan.startsStay || plan.endsStay) saveStayStart(n);
    if (plan.checksOut) saveCheckoutTime(n);
    if (plan.endsStay) saveMorningCall(n);
    // Also when the change keeps the mark: a file from before the board kept
    // it holds the mark only as the state 외 출.
    saveOutMark(n);
    if (plan.clock == StayClockChange::Start || plan.clock == StayClockChange::StartFinished)
        saveClockStart(n);
    if (plan.mark != ChangeMark::None) saveChangedBy(n);

    addHistory(n, plan.historyWord, plan.historyComm);
    if (plan.ledger == LedgerChange::Open) openLedgerRow(n);
    if (plan.ledger == LedgerChange::Convert) convertLedgerRow(n, plan.ledgerKind);
    logEvent(plan.word, s.roomCaption());
    if (!plan.sound.isEmpty()) playSound(plan.sound);
}
