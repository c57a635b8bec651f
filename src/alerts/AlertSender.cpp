#include "alerts/AlertSender.h"

#include <curl/curl.h>
#include <sqlite3.h>

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "alerts/AlertMessage.h"
#include "alerts/AlertQueue.h"

namespace {

qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// How long the thread sleeps at most between looks at the queue: the desk's own inserts wake it.
constexpr qint64 kIdleMs = 5000;

struct Upload {
    const QByteArray* bytes;
    qsizetype offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const size_t left = size_t(upload->bytes->size() - upload->offset);
    const size_t n = std::min(left, size * count);
    std::memcpy(buffer, upload->bytes->constData() + upload->offset, n);
    upload->offset += qsizetype(n);
    return n;
}

// What a webhook receiver may answer: its headers and as much of its body are read, no more.
constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr size_t kMaxBodyBytes = 64 * 1024;

struct Answer {
    size_t headerBytes = 0;
    size_t bodyBytes = 0;
    bool cut = false;  // the body went on past kMaxBodyBytes and was not read further
};

// Returning less than was given ends the transfer.
size_t countHeader(char*, size_t size, size_t count, void* data) {
    auto* answer = static_cast<Answer*>(data);
    answer->headerBytes += size * count;
    return answer->headerBytes > kMaxHeaderBytes ? 0 : size * count;
}

size_t countBody(char*, size_t size, size_t count, void* data) {
    auto* answer = static_cast<Answer*>(data);
    answer->bodyBytes += size * count;
    answer->cut = answer->bodyBytes > kMaxBodyBytes;
    return answer->cut ? 0 : size * count;
}

// Ends a transfer when the sender stops.
int progress(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(stopping)->load() ? 1 : 0;
}

// One transfer's handle with the settings both ways share: certificates always verified.
class Transfer {
public:
    Transfer(const AlertSettings& settings, int seconds, std::atomic<bool>* stopping)
        : curl_(curl_easy_init()) {
        if (!curl_) return;
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, long(std::min(seconds, 10)));
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, long(seconds));
        curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, static_cast<void*>(stopping));
        if (!settings.caFile.isEmpty()) {
            caFile_ = settings.caFile.toUtf8();
            curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile_.constData());
        }
    }
    ~Transfer() {
        curl_slist_free_all(list_);
        curl_easy_cleanup(curl_);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    CURL* get() const { return curl_; }
    // Keeps the text for the transfer's life.
    const char* keep(const QByteArray& text) {
        kept_.push_back(text);
        return kept_.back().constData();
    }
    curl_slist* list(const QByteArrayList& items) {
        for (const QByteArray& item : items) list_ = curl_slist_append(list_, keep(item));
        return list_;
    }
    QString perform() {
        if (!curl_) return QStringLiteral("libcurl을 쓸 수 없습니다");
        const CURLcode rc = curl_easy_perform(curl_);
        return rc == CURLE_OK ? QString() : QString::fromUtf8(curl_easy_strerror(rc));
    }

private:
    CURL* curl_;
    curl_slist* list_ = nullptr;
    QByteArray caFile_;
    std::vector<QByteArray> kept_;
};

// The address inside a From or To entry ("이름 <a@b>" or "a@b").
QByteArray address(const QString& entry) {
    const qsizetype open = entry.indexOf(QLatin1Char('<'));
    const qsizetype close = entry.indexOf(QLatin1Char('>'), open);
    const QString bare = open >= 0 && close > open ? entry.mid(open + 1, close - open - 1) : entry;
    return "<" + bare.trimmed().toUtf8() + ">";
}

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
    return channel == QLatin1String("mail") ? sendMail(mail) : post(json);
}

QString AlertSender::sendMail(const QByteArray& mail) {
    Transfer t(settings_, timing_.transferSeconds, &stopping_);
    CURL* curl = t.get();
    if (!curl) return t.perform();
    curl_easy_setopt(curl, CURLOPT_URL, t.keep(settings_.smtp.toUtf8()));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // smtp:// goes on only after STARTTLS; smtps:// is TLS from the start.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!settings_.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, t.keep(settings_.user.toUtf8()));
        curl_easy_setopt(curl, CURLOPT_PASSWORD, t.keep(settings_.password.toUtf8()));
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, t.keep(address(settings_.from)));
    QByteArrayList to;
    for (const QString& entry : settings_.to) to << address(entry);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, t.list(to));
    Upload upload{&mail};
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, static_cast<void*>(&upload));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    return t.perform();
}

QString AlertSender::post(const QByteArray& json) {
    Transfer t(settings_, timing_.transferSeconds, &stopping_);
    CURL* curl = t.get();
    if (!curl) return t.perform();
    curl_easy_setopt(curl, CURLOPT_URL, t.keep(settings_.webhook.toUtf8()));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, json.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(json.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER,
                     t.list({QByteArrayLiteral("Content-Type: application/json; charset=utf-8")}));
    // A receiver that answers without end costs a bounded read, not the whole transfer time.
    Answer answer;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, countHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, static_cast<void*>(&answer));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, countBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(&answer));
    const QString failed = t.perform();
    if (answer.headerBytes > kMaxHeaderBytes) return QStringLiteral("웹훅의 답 머리가 너무 깁니다");
    // Its status is in: an answer cut short still says whether the alert was taken.
    if (!failed.isEmpty() && !answer.cut) return failed;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return QStringLiteral("웹훅이 HTTP %1로 답했습니다").arg(status);
    return {};
}
