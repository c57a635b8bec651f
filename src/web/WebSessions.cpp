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

QByteArray WebSessions::open(const QString& account, bool downloads, const QByteArray& stamp) {
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
    const QDateTime now = clock_.now();
    sessions_.insert(id, {account, downloads, stamp, now, now});
    return id;
}

std::optional<WebSessions::Session> WebSessions::find(const QByteArray& id, bool touch) {
    if (!wellFormed(id)) return std::nullopt;
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return std::nullopt;
    const QDateTime now = clock_.now();
    // A clock set back counts as no idle time; one set far ahead ends it.
    // A clock set back before the session's opening ends it, so that no
    // setting of the clock stretches its lifetime.
    const qint64 age = it->opened.secsTo(now);
    if (it->lastSeen.secsTo(now) >= qint64(kIdleMinutes) * 60 || age < 0 ||
        age >= qint64(kLifetimeHours) * 3600) {
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

QStringList WebSessions::accounts() const {
    QStringList names;
    for (const Session& s : sessions_)
        if (!names.contains(s.account)) names.append(s.account);
    return names;
}

int WebSessions::closeStale(const QString& account, const QByteArray& currentStamp) {
    int ended = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->account == account && (currentStamp.isEmpty() || it->stamp != currentStamp)) {
            it = sessions_.erase(it);
            ++ended;
        } else {
            ++it;
        }
    }
    return ended;
}
