#include "web/SignInLimiter.h"

#include <algorithm>

#include "platform/Clock.h"

namespace {

qint64 since(qint64 then, qint64 now) {
    // A clock set back counts as no time passed.
    return std::max<qint64>(0, now - then);
}

}  // namespace

QString SignInLimiter::addressKey(const QHostAddress& peer) {
    bool v4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&v4);
    if (v4) return QHostAddress(ipv4).toString();
    Q_IPV6ADDR bytes = peer.toIPv6Address();
    for (int i = 8; i < 16; ++i) bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

int SignInLimiter::waitOf(const QHash<QString, Entry>& table, const QString& key,
                          bool attempts) const {
    const auto it = table.constFind(key);
    if (it == table.constEnd()) return 0;
    const qint64 now = clock_.now().toSecsSinceEpoch();
    qint64 wait = 0;
    if (it->failures >= kFreeFailures) {
        const int spacing = it->failures >= kSlowFailures ? kSlowerWaitSeconds : kSlowWaitSeconds;
        wait = spacing - since(it->lastFailure, now);
    }
    if (attempts && it->attemptsThisMinute >= kAttemptsPerMinute)
        wait = std::max(wait, 60 - since(it->minuteStart, now));
    return int(std::max<qint64>(0, wait));
}

// Forgets what has been quiet long enough; when `needed` new entries still
// do not fit, those quiet for kReclaimSeconds go too. False when even that
// leaves no room; the table is then not looked through again for a while, so
// that a flood does not cost a pass over it per attempt.
bool SignInLimiter::makeRoom(int needed) {
    const qint64 now = clock_.now().toSecsSinceEpoch();
    if (size() + needed <= kMaxEntries) return true;
    if (now >= fullUntil_ - kFullWaitSeconds && now < fullUntil_) return false;
    const auto drop = [&](qint64 quiet) {
        for (auto* table : {&accounts_, &addresses_})
            for (auto it = table->begin(); it != table->end();) {
                // Quiet for an hour or more: no wait of its own is left.
                const bool old = since(it->lastFailure, now) >= quiet &&
                                 (it->minuteStart == 0 || since(it->minuteStart, now) >= 60);
                it = old ? table->erase(it) : std::next(it);
            }
    };
    drop(kForgetSeconds);
    if (size() + needed <= kMaxEntries) return true;
    drop(kReclaimSeconds);
    if (size() + needed <= kMaxEntries) return true;
    fullUntil_ = now + kFullWaitSeconds;
    return false;
}

int SignInLimiter::begin(const QString& account, const QString& address) {
    full_ = false;
    const int wait = std::max(waitOf(accounts_, account, false), waitOf(addresses_, address, true));
    if (wait > 0) return wait;
    const int needed = int(!accounts_.contains(account)) + int(!addresses_.contains(address));
    if (needed > 0 && !makeRoom(needed)) {
        full_ = true;
        return kFullWaitSeconds;
    }
    const qint64 now = clock_.now().toSecsSinceEpoch();
    for (Entry* e : {&accounts_[account], &addresses_[address]}) {
        // A day without failures starts the count again.
        if (e->failures > 0 && since(e->lastFailure, now) >= kForgetSeconds) {
            e->failures = 0;
            e->told = false;
        }
        ++e->failures;
        e->lastFailure = now;
    }
    Entry& from = addresses_[address];
    if (from.minuteStart == 0 || since(from.minuteStart, now) >= 60) {
        from.minuteStart = now;
        from.attemptsThisMinute = 0;
    }
    ++from.attemptsThisMinute;
    return 0;
}

void SignInLimiter::succeeded(const QString& account, const QString& address) {
    accounts_.remove(account);
    const auto it = addresses_.find(address);
    if (it != addresses_.end() && it->failures > 0) --it->failures;
}

SignInLimiter::Reached SignInLimiter::wrong(const QString& account, const QString& address) {
    const auto reached = [](QHash<QString, Entry>& table, const QString& key) {
        const auto it = table.find(key);
        if (it == table.end() || it->told || it->failures < kFreeFailures) return false;
        it->told = true;
        return true;
    };
    return {reached(accounts_, account), reached(addresses_, address)};
}

void SignInLimiter::fold(const QString& from, const QString& into) {
    const auto it = accounts_.find(from);
    if (it == accounts_.end() || from == into) return;
    const Entry moved = *it;
    accounts_.erase(it);
    if (!accounts_.contains(into) && !makeRoom(1)) return;
    const qint64 now = clock_.now().toSecsSinceEpoch();
    Entry& e = accounts_[into];
    if (e.failures > 0 && since(e.lastFailure, now) >= kForgetSeconds) {
        e.failures = 0;
        e.told = false;
    }
    e.failures += moved.failures;
    e.lastFailure = std::max(e.lastFailure, moved.lastFailure);
}
