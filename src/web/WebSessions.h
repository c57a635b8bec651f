#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

class Clock;

// The signed-in owners: a session is a random 256-bit id, known only to the
// server and the browser's cookie. It ends when signed out, after 30 minutes
// without a request, 12 hours after it was opened whatever its use, or when
// its account's password or access changes or the account goes (the stamp it
// was opened with no longer matches).
class WebSessions {
public:
    static constexpr int kIdleMinutes = 30;
    static constexpr int kLifetimeHours = 12;
    static constexpr int kMaxSessions = 64;

    struct Session {
        QString account;
        bool downloads = false;
        QByteArray stamp;
        QDateTime opened;
        QDateTime lastSeen;
    };

    explicit WebSessions(const Clock& clock) : clock_(clock) {}

    // A new session id (64 hex digits). The oldest session goes when there
    // are too many.
    QByteArray open(const QString& account, bool downloads, const QByteArray& stamp);
    // The live session of `id`, its idle time restarted; nothing for an
    // unknown, malformed or expired id (an expired one is dropped).
    std::optional<Session> use(const QByteArray& id);
    // Like use() without counting as activity (a live page's socket).
    std::optional<Session> peek(const QByteArray& id);
    void close(const QByteArray& id);
    // The accounts that have a session.
    QStringList accounts() const;
    // Ends every session of `account` whose stamp is not `currentStamp` (all
    // of them for an empty one). Returns how many ended.
    int closeStale(const QString& account, const QByteArray& currentStamp);
    int count() const { return int(sessions_.size()); }

private:
    std::optional<Session> find(const QByteArray& id, bool touch);

    const Clock& clock_;
    QHash<QByteArray, Session> sessions_;
};
