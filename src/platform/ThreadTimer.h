#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/TickPacer.h"

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// A timer whose ticks are timed by a thread of its own, so that a busy event loop does not
// shift its rhythm, while onTick runs on the thread that owns the timer (the main thread),
// one tick at a time. The tick thread waits until its tick has been served before pacing the
// next one; ticks that fall due meanwhile are not queued.
//
// Live in and use from the main thread only. Disabling never waits for the tick thread, and
// the timer may be destroyed while its thread sleeps or waits: the thread then ends without
// touching the timer again.
class ThreadTimer : public QObject {
public:
    explicit ThreadTimer(QObject* owner = nullptr);
    explicit ThreadTimer(TickPacer pacer, QObject* owner = nullptr);
    ~ThreadTimer() override;

    bool isEnabled() const { return running_ != nullptr; }
    // Enabling starts a fresh tick thread, which ticks at once; enabling a running timer does
    // nothing. Disabling tells the thread to stop: a tick it has already handed over is still
    // served once, nothing after it.
    void setEnabled(bool enabled);

    // Milliseconds from the start of one tick to the start of the next; takes effect from the
    // tick in progress.
    std::int32_t interval() const;
    void setInterval(std::int32_t ms);

    // Given to a tick thread when it starts; a running thread keeps the one it started with.
    ThreadPriority threadPriority() const { return priority_; }
    void setThreadPriority(ThreadPriority priority) { priority_ = priority; }

    // Run on the main thread at every tick. An error escaping it does not stop the timer: the
    // error is written to standard error, once until an error of another text comes.
    std::function<void(ThreadTimer* sender)> onTick;

private:
    struct Link;
    struct Generation;

    static void handOver(Link& link, const std::shared_ptr<Generation>& generation);
    void serveTick();
    void reportFailure(const std::string& text);

    TickPacer pacer_;
    std::shared_ptr<Link> link_;
    std::shared_ptr<Generation> running_;  // the current tick thread's state; null when stopped
    ThreadPriority priority_ = ThreadPriority::Normal;
    std::string lastFailure_;
};
