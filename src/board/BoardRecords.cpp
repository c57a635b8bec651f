// The board's side of the room history and the cash ledger: a slot's room
// text is its number button's caption, its stay key the first 12 characters
// of its `Time`.
#include "board/BoardModel.h"
#include "store/HistoryLedger.h"

void BoardModel::setRecords(HistoryLedger* records) {
    records_ = records;
    journal_.setDatabase(records ? &records->database() : nullptr);
    if (!records) return;
    // Outside a step a row is a step of its own, written at once.
    records->collectStep = [this](StepStatement statement) {
        const Step step(*this);
        journal_.addStatement(std::move(statement));
    };
}

namespace {
QString stayKey(const RoomSlot& s) { return s.stayStart.left(12); }
}  // namespace

void BoardModel::addHistory(int n, const QString& action, const QString& comm) {
    if (records_) records_->addHistory(view(n).buttonCaption, action, comm);
}

void BoardModel::openLedgerRow(int n) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->openLedgerRow(view(n).buttonCaption, stayKey(s), s.overnight, s.dayUseFee,
                                s.overnightFee);
}

void BoardModel::closeLedgerRow(int n) {
    if (records_) records_->closeLedgerRow(view(n).buttonCaption, stayKey(slot(n)));
}

void BoardModel::convertLedgerRow(int n, const QString& kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->convertLedgerRow(view(n).buttonCaption, stayKey(s), kind, s.dayUseFee,
                                   s.overnightFee);
}

void BoardModel::cancelLedgerRow(int n) {
    if (records_)
        records_->cancelLedgerRow(view(n).buttonCaption, stayKey(slot(n)), view(n).labelCaption);
}

void BoardModel::moveLedgerRow(int n, const QString& kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->moveLedgerRow(view(n).buttonCaption, stayKey(s), kind, s.elapsed, s.dayUseFee,
                                s.overnightFee);
}

void BoardModel::renumberLedgerRow(int n, const QString& oldRoomText) {
    if (records_) records_->renumberLedgerRow(oldRoomText, view(n).buttonCaption, stayKey(slot(n)));
}
