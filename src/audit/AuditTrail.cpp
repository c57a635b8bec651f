#include "audit/AuditTrail.h"

#include <sqlite3.h>

#include <QJsonDocument>
#include <array>
#include <memory>

#include "platform/Clock.h"
#include "store/Database.h"
#include "store/SqliteSteps.h"

namespace {

using namespace sqliteSteps;

struct Name {
    audit::Action action;
    const char* stored;
    const char* shown;
};
// Stored words stay as they are once written: the central ledger and older rows read them.
constexpr std::array<Name, 16> kNames{{
    {audit::Action::SignIn, "sign_in", "인증"},
    {audit::Action::SignOut, "sign_out", "인증 해제"},
    {audit::Action::WrongPasswords, "wrong_passwords", "암호 연속 오류"},
    {audit::Action::PasswordChanged, "password_changed", "암호 변경"},
    {audit::Action::LedgerRowsDeleted, "ledger_rows_deleted", "매출 장부 삭제"},
    {audit::Action::RemoveAll, "remove_all", "전체제거"},
    {audit::Action::EnvironmentSaved, "environment_saved", "환경설정 저장"},
    {audit::Action::RoomSetupSaved, "room_setup_saved", "룸설정 저장"},
    {audit::Action::Backup, "backup", "자료복사"},
    {audit::Action::LockLifted, "lock_lifted", "잠금 해제"},
    {audit::Action::ProgramClosed, "program_closed", "프로그램 종료"},
    {audit::Action::PowerOff, "power_off", "PC 전원 끔"},
    {audit::Action::UncleanStart, "unclean_start", "비정상 종료 후 시작"},
    {audit::Action::MorningCallMissed, "morning_call_missed", "모닝콜 놓침"},
    {audit::Action::WebAccountAdded, "web_account_added", "웹 계정 추가"},
    {audit::Action::WebAccountRemoved, "web_account_removed", "웹 계정 삭제"},
}};

// A row is never changed; it is deleted only while the trail's own purge runs (`purging`).
constexpr const char* kInstall[] = {
    "CREATE TABLE IF NOT EXISTS tavolen_audit (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
    "uid TEXT NOT NULL DEFAULT (lower(hex(randomblob(16)))), at TEXT NOT NULL, "
    "grade INTEGER NOT NULL, action TEXT NOT NULL, detail TEXT NOT NULL DEFAULT '{}')",
    "CREATE INDEX IF NOT EXISTS tavolen_audit_at ON tavolen_audit (at)",
    "CREATE TABLE IF NOT EXISTS tavolen_audit_mode (id INTEGER PRIMARY KEY CHECK (id = 1), "
    "purging INTEGER NOT NULL)",
    "INSERT OR IGNORE INTO tavolen_audit_mode (id, purging) VALUES (1, 0)",
    "CREATE TRIGGER IF NOT EXISTS tavolen_audit_kept BEFORE UPDATE ON tavolen_audit "
    "BEGIN SELECT RAISE(ABORT, '작업 기록은 바꿀 수 없습니다'); END",
    "CREATE TRIGGER IF NOT EXISTS tavolen_audit_not_deleted BEFORE DELETE ON tavolen_audit "
    "WHEN (SELECT purging FROM tavolen_audit_mode WHERE id = 1) IS NOT 1 "
    "BEGIN SELECT RAISE(ABORT, '작업 기록은 지울 수 없습니다'); END",
    // The program's run, for telling a start after a power cut from one after closing.
    "CREATE TABLE IF NOT EXISTS tavolen_run (id INTEGER PRIMARY KEY CHECK (id = 1), "
    "alive TEXT NOT NULL, stopped INTEGER NOT NULL)",
};

constexpr char kInsert[] =
    "INSERT INTO tavolen_audit (at, grade, action, detail) VALUES (:N1, :N2, :N3, :N4)";
constexpr char kRunStopped[] = "UPDATE tavolen_run SET alive = :N1, stopped = 1 WHERE id = 1";
const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QStringList values(const audit::Entry& entry, const QDateTime& at) {
    return {at.toString(kStamp), QString::number(entry.grade), audit::storedName(entry.action),
            QString::fromUtf8(QJsonDocument(entry.detail).toJson(QJsonDocument::Compact))};
}

}  // namespace

QString audit::storedName(Action action) {
    for (const Name& n : kNames)
        if (n.action == action) return QString::fromLatin1(n.stored);
    return {};
}

QString audit::actionText(const QString& storedName) {
    for (const Name& n : kNames)
        if (storedName == QLatin1String(n.stored)) return QString::fromUtf8(n.shown);
    return storedName;
}

QString audit::gradeText(int grade) {
    switch (grade) {
        case 1:
            return QStringLiteral("사용자");
        case 2:
            return QStringLiteral("윈도우사용");
        case 3:
            return QStringLiteral("공급업체");
        default:
            return QStringLiteral("인증 없음");
    }
}

int audit::keepMonths(int configured) { return configured < 1 ? 1 : configured; }

void audit::install(sqlite3* db) {
    for (const char* sql : kInstall) exec(db, sql);
}

QList<StepStatement> audit::statements(const Entry& entry, const QDateTime& at) {
    const QString failure =
        QStringLiteral("작업 기록을 남기지 못했습니다: ") + actionText(storedName(entry.action));
    QList<StepStatement> list{{QString::fromLatin1(kInsert), values(entry, at), failure}};
    if (entry.action == Action::ProgramClosed || entry.action == Action::PowerOff)
        list.append({QString::fromLatin1(kRunStopped), {at.toString(kStamp)}, failure});
    return list;
}

void audit::insert(sqlite3* db, const Entry& entry, const QDateTime& at) {
    // The values are numbered in the order they appear.
    for (const StepStatement& s : statements(entry, at))
        step(db, prepare(db, s.sql.toUtf8().constData(), s.params).get());
}

void audit::purge(sqlite3* db, const QDateTime& now, int keepMonths) {
    const QString cutoff = now.addMonths(-audit::keepMonths(keepMonths)).toString(kStamp);
    if (!step(db, prepare(db, "SELECT 1 FROM tavolen_audit WHERE at < ?1 LIMIT 1", {cutoff}).get()))
        return;
    Transaction transaction(db);
    exec(db, "UPDATE tavolen_audit_mode SET purging = 1 WHERE id = 1");
    step(db, prepare(db, "DELETE FROM tavolen_audit WHERE at < ?1", {cutoff}).get());
    exec(db, "UPDATE tavolen_audit_mode SET purging = 0 WHERE id = 1");
    transaction.commit();
}

QList<audit::Row> audit::newest(sqlite3* db, int limit) {
    const Statement statement = prepare(
        db, "SELECT seq, at, grade, action, detail FROM tavolen_audit ORDER BY seq DESC LIMIT ?1",
        {QString::number(limit)});
    QList<Row> rows;
    while (step(db, statement.get()))
        rows.append({sqlite3_column_int64(statement.get(), 0), text(statement.get(), 1),
                     sqlite3_column_int(statement.get(), 2), text(statement.get(), 3),
                     text(statement.get(), 4)});
    return rows;
}

void AuditTrail::record(const audit::Entry& entry, const std::function<void()>& change) {
    sqlite3* db = db_.connection();
    Transaction transaction(db);
    if (change) change();
    audit::insert(db, entry, clock_.now());
    transaction.commit();
}

void AuditTrail::note(const audit::Entry& entry) {
    try {
        record(entry);
    } catch (const std::exception& e) {
        if (problem)
            problem(QStringLiteral("작업 기록을 남기지 못했습니다: %1 (%2)")
                        .arg(audit::actionText(audit::storedName(entry.action)),
                             QString::fromUtf8(e.what())));
    }
}

void AuditTrail::webAccount(bool added, const QString& name, const std::function<void()>& change) {
    record({added ? audit::Action::WebAccountAdded : audit::Action::WebAccountRemoved,
            0,
            {{QStringLiteral("account"), name}}},
           change);
}

std::optional<qint64> AuditTrail::started() {
    sqlite3* db = db_.connection();
    const QDateTime now = clock_.now();
    Transaction transaction(db);
    std::optional<qint64> down;
    const Statement last =
        prepare(db, "SELECT alive FROM tavolen_run WHERE id = 1 AND stopped = 0");
    if (step(db, last.get())) {
        const QString alive = text(last.get(), 0);
        down = qMax<qint64>(0, QDateTime::fromString(alive, kStamp).secsTo(now));
        audit::insert(
            db,
            {audit::Action::UncleanStart,
             0,
             {{QStringLiteral("lastAlive"), alive}, {QStringLiteral("downMinutes"), *down / 60}}},
            now);
    }
    step(db, prepare(db,
                     "INSERT INTO tavolen_run (id, alive, stopped) VALUES (1, ?1, 0) "
                     "ON CONFLICT(id) DO UPDATE SET alive = excluded.alive, stopped = 0",
                     {now.toString(kStamp)})
                 .get());
    transaction.commit();
    return down;
}

void AuditTrail::alive() {
    sqlite3* db = db_.connection();
    step(db, prepare(db, "UPDATE tavolen_run SET alive = ?1, stopped = 0 WHERE id = 1",
                     {clock_.now().toString(kStamp)})
                 .get());
}
