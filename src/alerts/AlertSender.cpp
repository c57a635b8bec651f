#include "alerts/AlertSender.h"

#include <sqlite3.h>

#include <QDateTime>
#include <algorithm>
#include <chrono>

#include "alerts/AlertDelivery.h"
#include "alerts/AlertMessage.h"
#include "alerts/AlertQueue.h"
#include "platform/ThreadPriority.h"

namespace {

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// How long the thread sleeps at most between looks at the queue: the desk's own inserts wake it.
constexpr qint64 kIdleMs = 5000;

}  // namespace

AlertSender::AlertSender(QString databasePath, AlertSettings settings, Timing timing)
    : path_(std::move(databasePath)), settings_(std::move(settings)), timing_(timing) {
    if (settings_.mails()) ways_.push_back({QStringLiteral("mail")});
    if (settings_.posts()) ways_.push_back({QStringLiteral("webhook")});
}

AlertSender::~AlertSender() { stop(); }

void AlertSender::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void AlertSender::stop() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void AlertSender::raise(const QString& kind, const QString& at, const QString& detail) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        raised_.push_back({kind, at, detail});
        woken_ = true;
    }
    wake_.notify_all();
}

void AlertSender::wake() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void AlertSender::run() {
    runBehindTheDesk();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path_.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        if (problem) problem(QStringLiteral("알림 대기열을 열 수 없습니다: ") + path_);
        sqlite3_close_v2(db);
        return;
    }
    // The desk's steps come first: its writes wait at most briefly for this connection.
    sqlite3_busy_timeout(db, 2000);
    std::vector<Raised> unqueued;
    while (!stopping_) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            unqueued.insert(unqueued.end(), raised_.begin(), raised_.end());
            raised_.clear();
            woken_ = false;
        }
        // An event the database cannot take now (the disk the alert is about, say) is kept
        // here and queued at the next look.
        std::vector<Raised> kept;
        for (const Raised& r : unqueued) {
            try {
                alertQueue::raise(db, r.kind, r.at, r.detail);
            } catch (const std::exception&) {
                kept.push_back(r);
            }
        }
        unqueued = std::move(kept);
        qint64 next = nowMs() + kIdleMs;
        try {
            next = std::min(next, sendDue(db, nowMs()));
        } catch (const std::exception& e) {
            if (problem) problem(QStringLiteral("알림 대기열을 읽을 수 없습니다: ") + e.what());
        }
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(10, next - nowMs())),
                       [this] { return stopping_.load() || woken_; });
    }
    sqlite3_close_v2(db);
}

qint64 AlertSender::sendDue(sqlite3* db, qint64 now) {
    qint64 next = now + kIdleMs;
    for (const alertQueue::Batch& batch : alertQueue::pending(db)) {
        auto way = std::find_if(ways_.begin(), ways_.end(),
                                [&](const Way& w) { return w.channel == batch.channel; });
        // Rows of a way no longer configured wait until it is again.
        if (way == ways_.end()) continue;
        const qint64 window = alertQueue::lastSent(db, batch.channel, batch.kind);
        const qint64 due = std::max(way->nextTryMs, window ? window + timing_.coalesceMs : 0);
        if (due > now) {
            next = std::min(next, due);
            continue;
        }
        if (stopping_) break;
        const AlertMessage message = AlertMessage::compose(settings_, batch);
        const QString failed =
            deliver(batch.channel, message.mail(settings_, QDateTime::currentDateTime()),
                    message.json(settings_));
        if (failed.isEmpty()) {
            alertQueue::markSent(db, batch, nowMs());
            way->retryMs = 0;
            way->nextTryMs = 0;
            way->failing = false;
            continue;
        }
        way->retryMs = way->retryMs == 0 ? timing_.firstRetryMs
                                         : std::min(way->retryMs * 2, timing_.lastRetryMs);
        way->nextTryMs = nowMs() + way->retryMs;
        next = std::min(next, way->nextTryMs);
        if (!way->failing && problem && !stopping_)
            problem(QStringLiteral("알림을 보내지 못해 다시 시도합니다 (%1): %2")
                        .arg(batch.channel, failed));
        way->failing = true;
    }
    return next;
}

QString AlertSender::deliver(const QString& channel, const QByteArray& mail,
                             const QByteArray& json) {
    return channel == QLatin1String("mail")
               ? alertDelivery::sendMail(settings_, mail, timing_.transferSeconds, stopping_)
               : alertDelivery::post(settings_, json, timing_.transferSeconds, stopping_);
}
