#include "alerts/AlertQueue.h"

#include <sqlite3.h>

#include <algorithm>

#include "alerts/AlertSettings.h"
#include "store/Database.h"
#include "store/SqliteSteps.h"

namespace {

using namespace sqliteSteps;

constexpr const char* kTables[] = {
    "CREATE TABLE IF NOT EXISTS tavolen_alert_queue (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
    "channel TEXT NOT NULL, kind TEXT NOT NULL, at TEXT NOT NULL, detail TEXT NOT NULL, "
    "sent_at INTEGER)",
    "CREATE TABLE IF NOT EXISTS tavolen_alert_channel (name TEXT PRIMARY KEY)",
    "CREATE TABLE IF NOT EXISTS tavolen_alert_kind (kind TEXT PRIMARY KEY)",
    "DELETE FROM tavolen_alert_channel",
    "DELETE FROM tavolen_alert_kind",
    "DROP TRIGGER IF EXISTS tavolen_alert_raised",
    "CREATE TRIGGER tavolen_alert_raised AFTER INSERT ON tavolen_audit BEGIN "
    "INSERT INTO tavolen_alert_queue (channel, kind, at, detail) "
    "SELECT c.name, NEW.action, NEW.at, json_set(NEW.detail, '$.grade', NEW.grade) "
    "FROM tavolen_alert_channel c "
    "WHERE EXISTS (SELECT 1 FROM tavolen_alert_kind k WHERE k.kind = NEW.action); END",
};

constexpr qint64 kKeepSentMs = 7LL * 24 * 3600 * 1000;

}  // namespace

void alertQueue::install(sqlite3* db, const AlertSettings& settings) {
    Transaction transaction(db);
    for (const char* sql : kTables) exec(db, sql);
    QStringList channels;
    if (settings.mails()) channels << QStringLiteral("mail");
    if (settings.posts()) channels << QStringLiteral("webhook");
    for (const QString& c : channels)
        step(db, prepare(db, "INSERT INTO tavolen_alert_channel (name) VALUES (?1)", {c}).get());
    for (const QString& k : settings.kinds)
        step(db, prepare(db, "INSERT INTO tavolen_alert_kind (kind) VALUES (?1)", {k}).get());
    transaction.commit();
}

void alertQueue::raise(sqlite3* db, const QString& kind, const QString& at, const QString& detail) {
    step(db, prepare(db,
                     "INSERT INTO tavolen_alert_queue (channel, kind, at, detail) "
                     "SELECT c.name, ?1, ?2, ?3 FROM tavolen_alert_channel c WHERE EXISTS "
                     "(SELECT 1 FROM tavolen_alert_kind k WHERE k.kind = ?1)",
                     {kind, at, detail})
                 .get());
}

QList<alertQueue::Batch> alertQueue::pending(sqlite3* db) {
    const Statement statement =
        prepare(db,
                "SELECT seq, channel, kind, at, detail FROM tavolen_alert_queue "
                "WHERE sent_at IS NULL ORDER BY seq");
    QList<Batch> batches;
    while (step(db, statement.get())) {
        const QString channel = text(statement.get(), 1);
        const QString kind = text(statement.get(), 2);
        const Event event{sqlite3_column_int64(statement.get(), 0), text(statement.get(), 3),
                          text(statement.get(), 4)};
        auto same = std::find_if(batches.begin(), batches.end(), [&](const Batch& b) {
            return b.channel == channel && b.kind == kind;
        });
        if (same == batches.end())
            batches.append({channel, kind, {event}});
        else
            same->events.append(event);
    }
    return batches;
}

qint64 alertQueue::lastSent(sqlite3* db, const QString& channel, const QString& kind) {
    const Statement statement =
        prepare(db, "SELECT max(sent_at) FROM tavolen_alert_queue WHERE channel = ?1 AND kind = ?2",
                {channel, kind});
    return step(db, statement.get()) ? sqlite3_column_int64(statement.get(), 0) : 0;
}

void alertQueue::markSent(sqlite3* db, const Batch& batch, qint64 sentMs) {
    Transaction transaction(db);
    for (const Event& e : batch.events)
        step(db, prepare(db, "UPDATE tavolen_alert_queue SET sent_at = ?1 WHERE seq = ?2",
                         {QString::number(sentMs), QString::number(e.seq)})
                     .get());
    step(db, prepare(db,
                     "DELETE FROM tavolen_alert_queue WHERE sent_at < ?1 AND seq NOT IN "
                     "(SELECT max(seq) FROM tavolen_alert_queue WHERE sent_at IS NOT NULL "
                     "GROUP BY channel, kind)",
                     {QString::number(sentMs - kKeepSentMs)})
                 .get());
    transaction.commit();
}
