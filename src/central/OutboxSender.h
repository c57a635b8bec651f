#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "central/CentralLinkStatus.h"

class PgConnection;
struct sqlite3;

// Ships the desk's outbox (see store/Outbox.h) to the group's central PostgreSQL on a thread
// of its own, with a connection of its own to the desk's database: in order, in batches, one
// PostgreSQL transaction per batch, each change inserted under (site, seq) with ON CONFLICT DO
// NOTHING. A change already there is compared with the one sent; a difference is corruption:
// the sender says so and stops, and sends nothing more. Rows are marked sent only after the
// commit (a second's worth at a time), and sent rows are removed after a while. A connection that
// fails is tried again with a growing pause while the outbox grows. The desk never waits for it:
// the sender's own writes to the desk's database are short and give way at once to the desk's, and
// its thread runs at a lower priority than the desk's. Every minute it writes the site's
// heartbeat, so that the group's watch can tell a desk that is off from one that is quiet.
class OutboxSender : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString databasePath;  // the desk's DB/motel.db
        QString connection;    // libpq connection string
        QString site;
        QString siteName;  // shown beside the site in the group's reports
        int batchSize = 1000;
        int pollMs = 100;            // how often an idle sender looks for new changes
        int firstRetryMs = 1000;     // pause after the first failure, doubled each time
        int longestRetryMs = 60000;  // up to this
        qint64 keepSentMs = 24LL * 3600 * 1000;
        int behindAfterMs = 2000;  // changes waiting longer than this show as "behind"
        // How often the sender tells the central server that the desk is alive, changes or not
        // (tavolen.beat); a server without it is told nothing, said once.
        int heartbeatEveryMs = 60 * 1000;
        // Called on the sender's thread after each commit with the desk-side time of each
        // change shipped (ms since 1970) and the commit's; for measuring the lag.
        std::function<void(const std::vector<qint64>& madeAt, qint64 committedAt)> onCommitted;
    };

    explicit OutboxSender(Options options);
    ~OutboxSender() override;

    void start();
    // Ends the thread; a batch on its way is rolled back by the server or committed.
    void stop();
    CentralLinkStatus status() const;

signals:
    void statusChanged(const CentralLinkStatus& status);
    // A failure or the stop, once per new text, for the message line and tavolen.log.
    void problem(const QString& text);

private:
    struct Row {
        qint64 seq;
        QByteArray uid, kind, payload;
        qint64 madeAt;
    };

    void run();
    void openDatabase();
    std::vector<Row> readBatch();
    int shipBatch();
    // Marks what has reached the central ledger sent.
    void markSent();
    void removeOldSent();
    void beat();
    void refreshStatus(bool failing, const QString& problemText);
    void publish(const CentralLinkStatus& next);
    bool pause(int ms);

    Options options_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    mutable std::mutex statusMutex_;
    CentralLinkStatus status_;
    QString lastProblem_;

    // Only the sender's thread touches these.
    sqlite3* db_ = nullptr;
    std::unique_ptr<PgConnection> pg_;
    qint64 next_ = 0;          // first seq not yet known to be at the central ledger
    qint64 markedBefore_ = 0;  // the rows before this seq are marked sent
    qint64 lastMark_ = 0;
    QDateTime failingSince_;
    qint64 lastCleanup_ = 0;
    qint64 nextBeat_ = 0;
    bool beatRefusalSaid_ = false;  // the server's schema has no heartbeat yet, said once
};
