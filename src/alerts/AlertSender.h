#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "alerts/AlertSettings.h"

struct sqlite3;

// Sends the queued alerts (alertQueue) on a thread of its own, with a connection of its own to
// the desk's database, so that a slow or dead mail server delays only itself. Each way of
// sending (mail, webhook) goes on by itself: a failure is tried again after 1 s, doubling to
// 10 minutes; at most one message per kind goes each way per 10 minutes, and the next one
// carries everything that came meanwhile, saying how many were folded into it.
class AlertSender {
public:
    struct Timing {
        qint64 coalesceMs = 10 * 60 * 1000;
        qint64 firstRetryMs = 1000;
        qint64 lastRetryMs = 10 * 60 * 1000;
        int transferSeconds = 30;  // a server that never answers is given up after this
    };

    AlertSender(QString databasePath, AlertSettings settings, Timing timing);
    AlertSender(QString databasePath, AlertSettings settings)
        : AlertSender(std::move(databasePath), std::move(settings), Timing{}) {}
    ~AlertSender();
    AlertSender(const AlertSender&) = delete;
    AlertSender& operator=(const AlertSender&) = delete;

    void start();
    // Ends a transfer under way and waits for the thread.
    void stop();

    // An event of the desk's own (a silent line, a failing disk, the central sender stopped):
    // queued by the sender's thread, never by the caller's. `at` is the desk's time.
    void raise(const QString& kind, const QString& at, const QString& detail);
    // Wakes the thread for what the desk has just queued.
    void wake();

    // Called on the sender's thread with a failure to show and log (once per run of failures
    // of a way of sending).
    std::function<void(const QString&)> problem;

private:
    struct Raised {
        QString kind, at, detail;
    };
    struct Way {
        QString channel;
        qint64 retryMs = 0;  // 0 while the last attempt went
        qint64 nextTryMs = 0;
        bool failing = false;
    };

    void run();
    // Sends what is due; the time of the next thing due (ms since 1970).
    qint64 sendDue(sqlite3* db, qint64 nowMs);
    QString deliver(const QString& channel, const QByteArray& mail, const QByteArray& json);

    QString path_;
    AlertSettings settings_;
    Timing timing_;
    std::vector<Way> ways_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Raised> raised_;
    bool woken_ = false;
    std::atomic<bool> stopping_{false};
};
