#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "board/RoomState.h"
#include "store/StepJournal.h"

class Clock;
class Database;
class Dialogs;
class Query;

// The months of ledger kept before the current one, from `CashTime`/`SaveMonth`:
// 1 to 6, a value outside reading as the nearer end. The settlement's month
// list and the ledger purge both go by it, so no month is offered that the
// purge has emptied.
int ledgerMonthsKept(int saveMonth);

// A room's records: the room history ("room.DB") and the cash ledger
// ("Cash.DB"), both written by the board on the database's two shared queries
// and both purged by the minute tick. A stay's ledger row is
// found by the room text (the caption of the room's number button) and the
// stay key (the first 12 characters of the slot's `Time`).
//
// The row operations report a refusal of the database in the error box with
// their own message and return normally; the caller goes on. With a step
// collector set they hand their statements to it instead, to be written with
// the rest of the step (see StepJournal).
class RoomRecords {
public:
    RoomRecords(Database& db, Clock& clock, Dialogs& dialogs);

    Database& database() { return db_; }
    std::function<void(StepStatement)> collectStep;
    // Where the minute tick's purge reports a failure; without it, the error box.
    std::function<void(const QString&)> notice;

    // One history row; comm is "1" for the controller, "0" for the desk.
    void addHistory(const QString& roomCaption, const QString& action, const QString& comm);
    // Opens a stay of `kind`, charged that kind's fee.
    void openLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind,
                       qint32 dayUseFee, qint32 overnightFee);
    void closeLedgerRow(const QString& roomCaption, const QString& stayKey);
    // The stay becomes `kind`, charged that kind's fee.
    void convertLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind,
                          qint32 dayUseFee, qint32 overnightFee);
    // `kind` is the kind of the stay cancelled.
    void cancelLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind);
    // A move to another room: nothing is charged under 15 minutes.
    void moveLedgerRow(const QString& roomCaption, const QString& stayKey, StayKind kind,
                       qint32 elapsed, qint32 dayUseFee, qint32 overnightFee);

    // A room given a new number during a stay: the stay's open row follows
    // it. Finished rows keep the number they were settled under.
    void renumberLedgerRow(const QString& roomCaption, const QString& newRoomCaption,
                           const QString& stayKey);

    // Empties both tables: within the board's step when it collects one (so
    // that the tables go with the room-state file's reset), at once otherwise.
    // These raise DatabaseError to their caller.
    void deleteAllRecords();
    // History rows of more than 48 hours ago.
    void purgeHistory();
    // Finished, cancelled and moved stays that the monthly settlement can no
    // longer show (it offers the current month and saveMonth months before).
    void purgeLedger(int saveMonth);

    // The minute tick's purge: both of the above. Never raises; a failure is
    // shown once, and again only after a success or when the error changes.
    void purge(int saveMonth);

private:
    static void execute(Query& query, const QStringList& lines, const QStringList& params);
    void deliver(Query& query, const QStringList& lines, const QStringList& params,
                 const QString& message);
    QString nowStamp() const;

    Database& db_;
    Clock& clock_;
    Dialogs& dialogs_;
    QString lastPurgeError_;
};
