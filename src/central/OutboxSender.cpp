#include "central/OutboxSender.h"

#include <sqlite3.h>
#include <unistd.h>

#include <QDateTime>
#include <algorithm>

#include "central/PgConnection.h"
#include "platform/ThreadPriority.h"
#include "store/Database.h"

namespace {

// The sender waits no longer than this for the desk's write lock; the desk comes first.
constexpr int kLockWaitMs = 20;
constexpr qint64 kCleanupEveryMs = 60 * 1000;
// Shipped rows are marked sent at most this often while changes keep coming, and at once when
// the outbox is empty: one short write a second instead of one a batch.
constexpr qint64 kMarkEveryMs = 1000;
// How much nicer than the desk's own threads the sender runs.
// How long a sender whose server has no heartbeat yet waits before trying again.
constexpr qint64 kBeatRetryMs = 3600 * 1000;

// Changes of one batch ($3 to $4), inserted in order; the result names every change that was
// there already with other values.
const char kShipBatch[] = R"SQL(
WITH incoming AS (
    SELECT (e->>'seq')::bigint AS seq, e->>'uid' AS uid, e->>'kind' AS kind,
           e->'payload' AS payload, (e->>'made')::bigint AS made_ms, ord
    FROM pg_catalog.jsonb_array_elements($2::jsonb) WITH ORDINALITY AS a(e, ord)
), inserted AS (
    INSERT INTO tavolen.change (site, seq, uid, kind, payload, made_at)
    SELECT $1, seq, uid, kind, payload,
           pg_catalog.to_timestamp(made_ms OPERATOR(pg_catalog./) 1000.0)
    FROM incoming ORDER BY ord
    ON CONFLICT (site, seq) DO NOTHING
    RETURNING seq
)
SELECT i.seq, c.uid, c.kind, c.payload::text, i.payload::text
FROM incoming i JOIN tavolen.change c ON c.site = $1 AND c.seq = i.seq
WHERE c.seq BETWEEN $3 AND $4
  AND (c.uid <> i.uid OR c.kind <> i.kind OR c.payload <> i.payload)
ORDER BY i.seq
)SQL";

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

struct Finalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

// Raised for what must stop the sender for good: the server's refusal of the order of changes,
// or a change it holds with other values.
class Corruption : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QString sqliteError(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw DatabaseError(sqliteError(db));
    return Statement(raw);
}

}  // namespace

OutboxSender::OutboxSender(Options options) : options_(std::move(options)) {
    qRegisterMetaType<CentralLinkStatus>();
    status_.state = CentralLinkStatus::State::Stalled;
    status_.since = QDateTime::currentDateTime();
}

OutboxSender::~OutboxSender() { stop(); }

void OutboxSender::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void OutboxSender::stop() {
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

CentralLinkStatus OutboxSender::status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

bool OutboxSender::pause(int ms) {
    std::unique_lock lock(wakeMutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
    return !stopping_;
}

void OutboxSender::publish(const CentralLinkStatus& next) {
    {
        std::lock_guard lock(statusMutex_);
        if (status_ == next) return;
        status_ = next;
    }
    emit statusChanged(next);
    if (!next.problem.isEmpty() && next.problem != lastProblem_) emit problem(next.problem);
    lastProblem_ = next.problem;
}

void OutboxSender::openDatabase() {
    if (db_) return;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(options_.databasePath.toUtf8().constData(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = raw ? sqliteError(raw) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(raw);
        throw DatabaseError(text);
    }
    db_ = raw;
    sqlite3_busy_timeout(db_, kLockWaitMs);
    // The sender's own writes (the marks, the removal of old rows) need no flush to the disk of
    // their own: a mark lost to a power cut only sends its rows again, and the server keeps
    // the first. The write-ahead log stays consistent either way.
    if (sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DatabaseError(sqliteError(db_));
    // The rows sent are the first ones: the walk in order of numbers stops at the first row
    // not sent, after at most the sent rows still kept.
    Statement first = prepare(db_,
                              "SELECT coalesce((SELECT seq FROM tavolen_outbox WHERE sent_at IS "
                              "NULL ORDER BY seq LIMIT 1), (SELECT coalesce(max(seq), 0) + 1 "
                              "FROM tavolen_outbox))");
    if (sqlite3_step(first.get()) != SQLITE_ROW) throw DatabaseError(sqliteError(db_));
    next_ = sqlite3_column_int64(first.get(), 0);
    markedBefore_ = next_;
}

std::vector<OutboxSender::Row> OutboxSender::readBatch() {
    Statement q = prepare(db_,
                          "SELECT seq, uid, kind, payload, made_at FROM tavolen_outbox "
                          "WHERE seq >= ?1 ORDER BY seq LIMIT ?2");
    sqlite3_bind_int64(q.get(), 1, next_);
    sqlite3_bind_int(q.get(), 2, options_.batchSize);
    std::vector<Row> rows;
    int rc;
    const auto bytes = [&](int column) {
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(q.get(), column)),
                          sqlite3_column_bytes(q.get(), column));
    };
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW)
        rows.push_back({sqlite3_column_int64(q.get(), 0), bytes(1), bytes(2), bytes(3),
                        sqlite3_column_int64(q.get(), 4)});
    if (rc != SQLITE_DONE) throw DatabaseError(sqliteError(db_));
    return rows;
}

int OutboxSender::shipBatch() {
    const std::vector<Row> rows = readBatch();
    if (rows.empty()) return 0;
    QByteArray batch = "[";
    for (const Row& row : rows) {
        if (batch.size() > 1) batch += ',';
        batch += "{\"seq\":" + QByteArray::number(row.seq) + ",\"uid\":\"" + row.uid +
                 "\",\"kind\":\"" + row.kind + "\",\"made\":" + QByteArray::number(row.madeAt) +
                 ",\"payload\":" + row.payload + '}';
    }
    batch += ']';

    pg_->exec(QStringLiteral("BEGIN"));
    const PgResult differing =
        pg_->exec(QString::fromLatin1(kShipBatch),
                  {options_.site, QString::fromUtf8(batch), QString::number(rows.front().seq),
                   QString::number(rows.back().seq)});
    if (differing.rows() > 0) {
        pg_->exec(QStringLiteral("ROLLBACK"));
        throw Corruption(
            QStringLiteral(
                "중앙 원장 전송을 멈췄습니다: 일련번호 %1의 변경이 중앙 서버에 다른 값으로 "
                "있습니다 (사이트 %2, 중앙: %3 %4, 이 데스크: %5). 확인하기 전에는 더 "
                "보내지 않습니다.")
                .arg(shownServerText(differing.text(0, 0)), options_.site,
                     shownServerText(differing.text(0, 2)), shownServerText(differing.text(0, 3)),
                     shownServerText(differing.text(0, 4)))
                .toStdString());
    }
    pg_->exec(QStringLiteral("COMMIT"));
    const qint64 committedAt = nowMs();
    if (options_.onCommitted) {
        std::vector<qint64> madeAt;
        madeAt.reserve(rows.size());
        for (const Row& row : rows) madeAt.push_back(row.madeAt);
        options_.onCommitted(madeAt, committedAt);
    }
    // Whatever happens to the marks, these are at the central ledger; a mark that is lost
    // only sends them again, and the server keeps the first.
    next_ = rows.back().seq + 1;
    return int(rows.size());
}

void OutboxSender::markSent() {
    if (next_ <= markedBefore_) return;
    Statement mark = prepare(db_,
                             "UPDATE tavolen_outbox SET sent_at = ?1 WHERE seq >= ?3 AND seq < ?2 "
                             "AND sent_at IS NULL");
    const qint64 now = nowMs();
    sqlite3_bind_int64(mark.get(), 1, now);
    sqlite3_bind_int64(mark.get(), 2, next_);
    sqlite3_bind_int64(mark.get(), 3, markedBefore_);
    lastMark_ = now;
    // Busy: the desk is writing. The rows are marked the next time, or sent again after a
    // restart.
    if (sqlite3_step(mark.get()) == SQLITE_DONE) markedBefore_ = next_;
}

void OutboxSender::removeOldSent() {
    const qint64 now = nowMs();
    if (now - lastCleanup_ < kCleanupEveryMs) return;
    lastCleanup_ = now;
    // The oldest sent rows are the first ones, as they were sent in order.
    Statement remove = prepare(db_,
                               "DELETE FROM tavolen_outbox WHERE seq IN (SELECT seq FROM "
                               "tavolen_outbox WHERE seq < ?2 ORDER BY seq LIMIT 2000) "
                               "AND sent_at < ?1");
    sqlite3_bind_int64(remove.get(), 1, now - options_.keepSentMs);
    sqlite3_bind_int64(remove.get(), 2, markedBefore_);
    sqlite3_step(remove.get());
}

void OutboxSender::beat() {
    const qint64 now = nowMs();
    if (now < nextBeat_) return;
    try {
        pg_->exec(QStringLiteral("SELECT tavolen.beat($1)"), {options_.site});
        nextBeat_ = now + options_.heartbeatEveryMs;
    } catch (const CentralError& e) {
        // A server at an older schema: the changes still go, and the heartbeat is tried again
        // an hour later, after the administrator's `central init` perhaps.
        if (e.sqlState() != QStringLiteral("42883") && e.sqlState() != QStringLiteral("42P01"))
            throw;
        nextBeat_ = now + kBeatRetryMs;
        if (beatRefusalSaid_) return;
        beatRefusalSaid_ = true;
        emit problem(QStringLiteral("중앙 서버가 하트비트를 받지 않습니다 (중앙 스키마를 "
                                    "갱신하십시오: tavolen central init): %1")
                         .arg(e.text()));
    }
}

void OutboxSender::refreshStatus(bool failing, const QString& problemText) {
    CentralLinkStatus next;
    if (db_) {
        Statement q =
            prepare(db_, "SELECT count(*), min(made_at) FROM tavolen_outbox WHERE seq >= ?1");
        sqlite3_bind_int64(q.get(), 1, next_);
        if (sqlite3_step(q.get()) == SQLITE_ROW) {
            next.behind = sqlite3_column_int64(q.get(), 0);
            if (next.behind > 0 && !failing &&
                nowMs() - sqlite3_column_int64(q.get(), 1) > options_.behindAfterMs)
                next.state = CentralLinkStatus::State::Behind;
        }
    }
    if (failing) {
        next.state = CentralLinkStatus::State::Stalled;
        next.since = failingSince_;
        next.problem = problemText;
    } else if (next.state != CentralLinkStatus::State::Behind) {
        next.state = CentralLinkStatus::State::Connected;
    }
    if (next.state != CentralLinkStatus::State::Behind && !failing) next.behind = 0;
    publish(next);
}

void OutboxSender::run() {
    runBehindTheDesk();
    int retryMs = options_.firstRetryMs;
    while (!stopping_) {
        try {
            openDatabase();
            if (!pg_) {
                pg_ = std::make_unique<PgConnection>(options_.connection);
                pg_->exec(QStringLiteral(
                              "INSERT INTO tavolen.site (site, name) VALUES ($1, coalesce($2, '')) "
                              "ON CONFLICT (site) DO UPDATE SET name = EXCLUDED.name "
                              "WHERE tavolen.site.name IS DISTINCT FROM EXCLUDED.name"),
                          {options_.site, options_.siteName});
            }
            int shipped = 0, round = 0;
            do {
                shipped = shipBatch();
                round += shipped;
            } while (shipped == options_.batchSize && !stopping_);
            if (round == 0 || nowMs() - lastMark_ >= kMarkEveryMs) {
                markSent();
                // The outbox adds to the desk's write-ahead log; copied into the database
                // here, now and then, the log starts over before the desk's own commits
                // reach the size at which they would copy it themselves.
                sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                          nullptr);
            }
            beat();
            failingSince_ = QDateTime();
            retryMs = options_.firstRetryMs;
            removeOldSent();
            refreshStatus(false, QString());
            pause(options_.pollMs);
        } catch (const Corruption& e) {
            CentralLinkStatus stopped;
            stopped.state = CentralLinkStatus::State::Stopped;
            stopped.problem = QString::fromStdString(e.what());
            stopped.behind = status().behind;
            publish(stopped);
            break;
        } catch (const CentralError& e) {
            // The server refused the order of the changes (a gap, or changes of another
            // database under this site): as bad as a changed row.
            if (e.sqlState().startsWith(u"TV") && e.sqlState() != QStringLiteral("TVCFG")) {
                CentralLinkStatus stopped;
                stopped.state = CentralLinkStatus::State::Stopped;
                stopped.problem = QStringLiteral("중앙 원장 전송을 멈췄습니다: %1").arg(e.text());
                publish(stopped);
                break;
            }
            if (e.isConnectionLost() || !pg_ || !pg_->isUsable())
                pg_.reset();
            else {
                try {
                    pg_->exec(QStringLiteral("ROLLBACK"));
                } catch (const CentralError&) {
                    pg_.reset();
                }
            }
            if (!failingSince_.isValid()) failingSince_ = QDateTime::currentDateTime();
            try {
                refreshStatus(true, e.text());
            } catch (const std::exception&) {
            }
            pause(retryMs);
            retryMs = std::min(retryMs * 2, options_.longestRetryMs);
        } catch (const std::exception& e) {
            // The desk's database: busy, or not there yet. Tried again shortly.
            if (!failingSince_.isValid()) failingSince_ = QDateTime::currentDateTime();
            try {
                refreshStatus(true, errorText(e));
            } catch (const std::exception&) {
            }
            pause(retryMs);
            retryMs = std::min(retryMs * 2, options_.longestRetryMs);
        }
    }
    pg_.reset();
    if (db_) {
        try {
            markSent();
        } catch (const std::exception&) {
            // Unmarked rows are sent again after the restart.
        }
        sqlite3_close_v2(db_);
    }
    db_ = nullptr;
}
