#include "web/WebSessions.h"

#include <sodium.h>

#include "platform/Clock.h"

namespace {

bool wellFormed(const QByteArray& id) {
    if (id.size() != 64) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

}  // namespace

QByteArray WebSessions::open(int grade, const QByteArray& passwordStamp) {
    if (sodium_init() < 0) return {};
    QByteArray raw(32, Qt::Uninitialized);
    randombytes_buf(raw.data(), size_t(raw.size()));
    const QByteArray id = raw.toHex();
    if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->lastSeen < oldest->lastSeen) oldest = it;
        sessions_.erase(oldest);
    }
    sessions_.insert(id, {grade, passwordStamp, clock_.now()});
    return id;
}

std::optional<WebSessions::Session> WebSessions::find(const QByteArray& id, bool touch) {
    if (!wellFormed(id)) return std::nullopt;
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return std::nullopt;
    const QDateTime now = clock_.now();
    // A clock set back counts as no idle time; one set far ahead ends it.
    if (it->lastSeen.secsTo(now) >= qint64(kIdleMinutes) * 60) {
        sessions_.erase(it);
        return std::nullopt;
    }
    if (touch && now > it->lastSeen) it->lastSeen = now;
    return *it;
}

std::optional<WebSessions::Session> WebSessions::use(const QByteArray& id) {
    return find(id, true);
}

std::optional<WebSessions::Session> WebSessions::peek(const QByteArray& id) {
    return find(id, false);
}

void WebSessions::close(const QByteArray& id) { sessions_.remove(id); }

int WebSessions::closeStale(int grade, const QByteArray& currentStamp) {
    int ended = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->grade == grade && it->passwordStamp != currentStamp) {
            it = sessions_.erase(it);
            ++ended;
        } else {
            ++it;
        }
    }
    return ended;
}

int SignInLimiter::waitSeconds(const QString& address) {
    const auto it = failures_.find(address);
    if (it == failures_.end()) return 0;
    const qint64 since = it->first.secsTo(clock_.now());
    if (since < 0 || since >= kWindowSeconds) {
        failures_.erase(it);
        return 0;
    }
    return it->count >= kFreeAttempts ? int(kWindowSeconds - since) : 0;
}

void SignInLimiter::failed(const QString& address) {
    if (waitSeconds(address) == 0 && !failures_.contains(address) &&
        failures_.size() >= kMaxAddresses) {
        // Many addresses at once: forget those whose window has passed.
        const QDateTime now = clock_.now();
        for (auto it = failures_.begin(); it != failures_.end();)
            it = it->first.secsTo(now) >= kWindowSeconds ? failures_.erase(it) : std::next(it);
        // Still full: this address goes uncounted here; the per-grade lock-out still holds.
        if (failures_.size() >= kMaxAddresses) return;
    }
    Failures& f = failures_[address];
    if (f.count == 0) f.first = clock_.now();
    ++f.count;
}
