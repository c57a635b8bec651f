#include "platform/ThreadTimer.h"

#include <pthread.h>
#include <sched.h>

#include <QMetaObject>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <iostream>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

// What the tick threads may still reach of a timer. They share it with the timer and keep it
// alive after the timer is gone; `timer` is then null.
struct ThreadTimer::Link {
    std::atomic<std::int32_t> interval{0};
    std::mutex mutex;  // guards `timer` against a hand-over racing the timer's destruction
    ThreadTimer* timer = nullptr;
};

// One tick thread's stop state and hand-over. Each enabling gets a fresh one, so a thread once
// told to stop stays stopped even when the timer is enabled again before it wakes.
struct ThreadTimer::Generation {
    std::stop_source stop;
    std::mutex mutex;
    std::condition_variable_any servedChanged;
    bool served = false;
};

namespace {

// Linux's time-sharing scheduler has no priority levels that an unprivileged thread can raise
// itself to, so only ThreadPriority::Idle is honoured, through the idle policy; the others run as
// normal.
void applyPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Idle) {
        const sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    }
}

}  // namespace

ThreadTimer::ThreadTimer(QObject* owner) : ThreadTimer(TickPacer(), owner) {}

ThreadTimer::ThreadTimer(TickPacer pacer, QObject* owner)
    : QObject(owner), pacer_(std::move(pacer)), link_(std::make_shared<Link>()) {
    link_->timer = this;
}

ThreadTimer::~ThreadTimer() {
    setEnabled(false);
    // After this no hand-over can reach the timer; one already posted is dropped with the
    // timer's pending events.
    std::lock_guard lock(link_->mutex);
    link_->timer = nullptr;
}

void ThreadTimer::setEnabled(bool enabled) {
    if (enabled == isEnabled()) {
        return;
    }
    if (!enabled) {
        running_->stop.request_stop();
        running_.reset();
        return;
    }
    auto generation = std::make_shared<Generation>();
    std::thread([pacer = pacer_, link = link_, generation, priority = priority_] {
        applyPriority(priority);
        pacer.run(generation->stop.get_token(), link->interval,
                  [&] { handOver(*link, generation); });
    }).detach();
    running_ = std::move(generation);
}

std::int32_t ThreadTimer::interval() const { return link_->interval.load(); }

void ThreadTimer::setInterval(std::int32_t ms) { link_->interval.store(ms); }

// Runs on the tick thread. A pass that has begun hands its tick over even when the thread was
// told to stop meanwhile; the stop takes effect at the loop's next test. The wait for the main
// thread gives up on a stop, so a main thread that never serves again cannot hold the thread.
void ThreadTimer::handOver(Link& link, const std::shared_ptr<Generation>& generation) {
    {
        std::lock_guard lock(link.mutex);
        if (link.timer == nullptr) {
            return;
        }
        {
            std::lock_guard servedLock(generation->mutex);
            generation->served = false;
        }
        QMetaObject::invokeMethod(
            link.timer,
            [timer = link.timer, generation] {
                timer->serveTick();
                std::lock_guard servedLock(generation->mutex);
                generation->served = true;
                generation->servedChanged.notify_all();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(generation->mutex);
    generation->servedChanged.wait(lock, generation->stop.get_token(),
                                   [&] { return generation->served; });
}

void ThreadTimer::serveTick() {
    if (!onTick) {
        return;
    }
    try {
        onTick(this);
    } catch (const std::exception& e) {
        reportFailure(e.what());
    } catch (...) {
        reportFailure("unknown error");
    }
}

// A handler that fails every tick would otherwise fill the log once a second.
void ThreadTimer::reportFailure(const std::string& text) {
    if (text == lastFailure_) {
        return;
    }
    lastFailure_ = text;
    const std::string name = objectName().isEmpty() ? "ThreadTimer" : objectName().toStdString();
    std::cerr << name << ": tick failed: " << text << std::endl;
}
