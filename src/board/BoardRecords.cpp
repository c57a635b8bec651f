// The board's side of the room history and the cash ledger: a slot's rows
// are found by its room's number (RoomSlot::roomCaption) and its stay's key, the
// first 12 characters of its `Time`.
#include "board/BoardModel.h"
#include "store/RoomRecords.h"

void BoardModel::setRecords(RoomRecords* records) {
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
QString stayKey(const RoomSlot& s) { return s.stayStart.stamp(); }
}  // namespace

void BoardModel::addHistory(int n, const QString& action, const QString& comm) {
    if (records_) records_->addHistory(slot(n).roomCaption(), action, comm);
}

void BoardModel::openLedgerRow(int n) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->openLedgerRow(s.roomCaption(), stayKey(s), s.kind, s.dayUseFee, s.overnightFee);
}

void BoardModel::closeLedgerRow(int n) {
    if (records_) records_->closeLedgerRow(slot(n).roomCaption(), stayKey(slot(n)));
}

void BoardModel::convertLedgerRow(int n, StayKind kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->convertLedgerRow(slot(n).roomCaption(), stayKey(s), kind, s.dayUseFee,
                                   s.overnightFee);
}

void BoardModel::cancelLedgerRow(int n, StayKind kind) {
    if (records_) records_->cancelLedgerRow(slot(n).roomCaption(), stayKey(slot(n)), kind);
}

void BoardModel::moveLedgerRow(int n, StayKind kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->moveLedgerRow(slot(n).roomCaption(), stayKey(s), kind, s.elapsed, s.dayUseFee,
                                s.overnightFee);
}

void BoardModel::renumberLedgerRow(int n, const QString& oldRoomCaption) {
    if (records_)
        records_->renumberLedgerRow(oldRoomCaption, slot(n).roomCaption(), stayKey(slot(n)));
}
