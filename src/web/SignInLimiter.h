#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>

class Clock;

// How often the owner's view lets anybody try a password. Failures are
// counted per account and per address (an IPv6 address by its /64, which one
// machine may fill), each with its own escalating wait: kFreeFailures tries,
// then one a minute, then, from kSlowFailures on, one every ten minutes. An
// attempt counts as a failure from the moment it is let through, so parallel
// requests gain nothing; a right password withdraws its own count and clears
// its account, never another account's nor its address's history. Every
// address also gets at most kAttemptsPerMinute attempts a minute, right or
// wrong. A count is forgotten a day after its last failure. The table is
// bounded: when it is full of counts younger than kReclaimSeconds, nobody is
// let through until room is made.
class SignInLimiter {
public:
    static constexpr int kFreeFailures = 5;
    static constexpr int kSlowFailures = 10;
    static constexpr int kSlowWaitSeconds = 60;
    static constexpr int kSlowerWaitSeconds = 600;
    static constexpr int kAttemptsPerMinute = 5;
    static constexpr int kForgetSeconds = 24 * 3600;
    static constexpr int kReclaimSeconds = 3600;
    static constexpr int kMaxEntries = 4096;
    static constexpr int kFullWaitSeconds = 60;

    explicit SignInLimiter(const Clock& clock) : clock_(clock) {}

    // The address an attempt from `peer` counts against.
    static QString addressKey(const QHostAddress& peer);

    // Seconds to wait before an attempt for `account` from `address` may be
    // made; 0 lets it through and counts it as a failure until succeeded().
    int begin(const QString& account, const QString& address);
    void succeeded(const QString& account, const QString& address);
    // Which of the two a wrong password has just brought to its limit (kFreeFailures tries
    // spent): each is told once, until its count is forgotten.
    struct Reached {
        bool account = false;
        bool address = false;
    };
    Reached wrong(const QString& account, const QString& address);
    // Moves what `from` counts to `into` (an entry that several names share); from then on only
    // `into` counts them.
    void fold(const QString& from, const QString& into);
    // Whether the last begin() was held back because the table was full.
    bool full() const { return full_; }
    int size() const { return int(accounts_.size() + addresses_.size()); }

private:
    // Times in seconds since the epoch.
    struct Entry {
        int failures = 0;
        qint64 lastFailure = 0;
        qint64 minuteStart = 0;  // the address's attempts, right or wrong; 0 for an account
        int attemptsThisMinute = 0;
        bool told = false;  // its limit has been reported by wrong()
    };
    int waitOf(const QHash<QString, Entry>& table, const QString& key, bool attempts) const;
    bool makeRoom(int needed);

    const Clock& clock_;
    QHash<QString, Entry> accounts_;
    QHash<QString, Entry> addresses_;
    bool full_ = false;
    qint64 fullUntil_ = 0;  // no room was found: no look for it again before then
};
