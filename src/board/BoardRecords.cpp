// The board's side of the room history and the cash ledger: a slot's room
// text is its number button's caption, its stay key the first 12 characters
// of its `Time`.
#include "board/BoardModel.h"
#include "store/HistoryLedger.h"

namespace {
QString stayKey(const RoomSlot& s) { return s.Time.left(12); }
}  // namespace

void BoardModel::RoomTable_Insert(int n, const QString& action, const QString& comm) {
    if (records_) records_->RoomTable_Insert(view(n).buttonCaption, action, comm);
}

void BoardModel::CashTable_Insert(int n) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->CashTable_Insert(view(n).buttonCaption, stayKey(s), s.Sleep, s.MoneyRd, s.MoneyRs);
}

void BoardModel::CashTableFinish_Update(int n) {
    if (records_) records_->CashTableFinish_Update(view(n).buttonCaption, stayKey(slot(n)));
}

void BoardModel::CashTableConvert_Update(int n, const QString& kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->CashTableConvert_Update(view(n).buttonCaption, stayKey(s), kind, s.MoneyRd,
                                          s.MoneyRs);
}

void BoardModel::CashTableCancel_Update(int n) {
    if (records_)
        records_->CashTableCancel_Update(view(n).buttonCaption, stayKey(slot(n)),
                                         view(n).labelCaption);
}

void BoardModel::CashTableChange_Update(int n, const QString& kind) {
    const RoomSlot& s = slot(n);
    if (records_)
        records_->CashTableChange_Update(view(n).buttonCaption, stayKey(s), kind, s.Elapsed,
                                         s.MoneyRd, s.MoneyRs);
}
