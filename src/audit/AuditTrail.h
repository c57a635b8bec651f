#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

#include "store/StepJournal.h"

struct sqlite3;
class Clock;
class Database;

// The trail of privileged desk actions: the table `tavolen_audit` in the desk's database, one row
// per action (when, the grade signed in, what, and its particulars as JSON), written in the same
// transaction as the action itself. The database refuses to change a row, and deletes one only
// within the trail's own retention purge (`[Audit] KeepMonths`): neither the settlement, nor
// 전체제거, nor the history and ledger purges can touch it.
namespace audit {

enum class Action {
    SignIn,
    SignOut,
    WrongPasswords,
    PasswordChanged,
    LedgerRowsDeleted,
    RemoveAll,
    EnvironmentSaved,
    RoomSetupSaved,
    Backup,
    LockLifted,
    ProgramClosed,
    PowerOff,
    UncleanStart,
    MorningCallMissed,
    WebAccountAdded,
    WebAccountRemoved,
};

// The stored word of an action and the one the owner reads.
QString storedName(Action action);
QString actionText(const QString& storedName);
QString gradeText(int grade);

struct Entry {
    Action action;
    int grade =
        0;  // the grade signed in (or concerned): 0 nobody, 1 user, 2 Windows use, 3 supplier
    QJsonObject detail;
};

constexpr int kDefaultKeepMonths = 24;
// `[Audit] KeepMonths`: at least one month.
int keepMonths(int configured);

// Creates the trail's tables and the triggers that guard them; nothing when they are there.
// Runs inside the caller's transaction, if any. Raises DatabaseError.
void install(sqlite3* db);

// The entry as statements of a board step: its row, and for the program closing or the PC powering
// off the mark that the run ended as it should.
QList<StepStatement> statements(const Entry& entry, const QDateTime& at);
// Adds the entry's row on `db`, inside the caller's transaction. Raises DatabaseError.
void insert(sqlite3* db, const Entry& entry, const QDateTime& at);

// Deletes the rows older than `keepMonths` before `now`: one transaction, none when no row is due.
// Raises DatabaseError.
void purge(sqlite3* db, const QDateTime& now, int keepMonths);

// One row of the trail as read back.
struct Row {
    qint64 seq = 0;
    QString at;  // "yyyy-MM-dd HH:mm:ss", the desk's clock
    int grade = 0;
    QString action;
    QString detail;
};
// The newest `limit` rows, newest first. Raises DatabaseError.
QList<Row> newest(sqlite3* db, int limit);

}  // namespace audit

// The trail for the parts outside the board's steps (the password rules, the program's start and
// end, the web accounts): each entry in a transaction of its own, together with the change it
// records.
class AuditTrail {
public:
    AuditTrail(Database& db, Clock& clock) : db_(db), clock_(clock) {}

    // Runs `change` (a change of the same database) and writes the entry with it: both or
    // neither. Raises DatabaseError.
    void record(const audit::Entry& entry, const std::function<void()>& change = {});
    // For entries that record what happened anyway (a sign-in, a refused password): a failure
    // is handed to `problem` and does not stop the desk.
    void note(const audit::Entry& entry);
    std::function<void(const QString&)> problem;

    // A web account added or removed (`tavolen web-user`), by its name, with `change` that
    // adds or removes it: both or neither.
    void webAccount(bool added, const QString& name, const std::function<void()>& change = {});

    // The program's run: started() returns how long the desk was down when the last run ended
    // without closing (a power cut, a crash), in seconds, and records that start; alive() marks
    // the minute. The program closing and the PC powering off end the run (statements()).
    // Both raise DatabaseError.
    std::optional<qint64> started();
    void alive();

private:
    Database& db_;
    Clock& clock_;
};
