#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>

class Clock;

// The signed-in owners: a session is a random 256-bit id, known only to the
// server and the browser's cookie. It ends when signed out, after 30 minutes
// without a request, or when its grade's password changes (the stamp of the
// stored hash it was opened with no longer matches).
class WebSessions {
public:
    static constexpr int kIdleMinutes = 30;
    static constexpr int kMaxSessions = 64;

    struct Session {
        int grade = 0;
        QByteArray passwordStamp;
        QDateTime lastSeen;
    };

    explicit WebSessions(const Clock& clock) : clock_(clock) {}

    // A new session id (64 hex digits). The oldest session goes when there
    // are too many.
    QByteArray open(int grade, const QByteArray& passwordStamp);
    // The live session of `id`, its idle time restarted; nothing for an
    // unknown, malformed or expired id (an expired one is dropped).
    std::optional<Session> use(const QByteArray& id);
    // Like use() without counting as activity (a live page's socket).
    std::optional<Session> peek(const QByteArray& id);
    void close(const QByteArray& id);
    // Ends every session of `grade` whose stamp is not `currentStamp`.
    // Returns how many ended.
    int closeStale(int grade, const QByteArray& currentStamp);
    int count() const { return int(sessions_.size()); }

private:
    std::optional<Session> find(const QByteArray& id, bool touch);

    const Clock& clock_;
    QHash<QByteArray, Session> sessions_;
};

// Sign-in attempts per address: after kFreeAttempts failures within the
// window every attempt is answered "wait" until the window has passed; the
// wait never grows beyond kWindowSeconds, so the owner's own address is never
// shut out for good. A success clears the address.
class SignInLimiter {
public:
    static constexpr int kFreeAttempts = 5;
    static constexpr int kWindowSeconds = 60;
    static constexpr int kMaxAddresses = 4096;

    explicit SignInLimiter(const Clock& clock) : clock_(clock) {}

    // Seconds to wait before the next attempt from `address`; 0 lets it through.
    int waitSeconds(const QString& address);
    void failed(const QString& address);
    void succeeded(const QString& address) { failures_.remove(address); }

private:
    struct Failures {
        QDateTime first;
        int count = 0;
    };
    const Clock& clock_;
    QHash<QString, Failures> failures_;
};
