#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <stop_token>
#include <vector>

#include "platform/Errors.h"
#include "platform/ThreadTimer.h"
#include "platform/TickPacer.h"

using namespace std::chrono_literals;

namespace {

// ---------------------------------------------------------------------------------------------
// The rhythm on its own, run on the test's thread with a clock that moves only by the ticks'
// own time and by the pauses.

class PacedRun {
public:
    explicit PacedRun(std::uint32_t clockStart) : clockStart_(clockStart), now_(clockStart) {}

    // Runs one tick per entry of `costs`, each taking that many ms; `during(i)` runs inside
    // tick i. Returns when the last tick has asked the pacer to stop.
    std::vector<std::uint32_t> tickStarts(std::atomic<std::int32_t>& interval,
                                          const std::vector<std::uint32_t>& costs,
                                          const std::function<void(std::size_t)>& during = {}) {
        std::stop_source stop;
        std::vector<std::uint32_t> starts;
        const TickPacer pacer([this] { return now_; },
                              [this](std::int32_t ms, std::stop_token) { now_ += ms; });
        pacer.run(stop.get_token(), interval, [&] {
            const std::size_t i = starts.size();
            starts.push_back(now_ - clockStart_);
            if (during) {
                during(i);
            }
            now_ += costs.at(i);
            if (starts.size() == costs.size()) {
                stop.request_stop();
            }
        });
        return starts;
    }

private:
    std::uint32_t clockStart_;
    std::uint32_t now_;
};

TEST(TickPacerTest, PauseIsTheIntervalLessTheTickButNeverBelowTenMs) {
    struct Case {
        std::int32_t interval;
        std::uint32_t elapsed;
        std::int32_t pause;
    };
    const Case cases[] = {
        {1000, 0, 1000},
        {1000, 300, 700},
        {1000, 989, 11},
        {1000, 990, 10},
        {1000, 1000, 10},
        {1000, 5000, 10},
        {0, 0, 10},
        {10, 0, 10},
        {11, 0, 11},
        {-5, 0, 10},
        {INT32_MAX, 0, INT32_MAX},
        {INT32_MIN, UINT32_MAX, 10},
        {1000, UINT32_MAX, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TickPacer::pauseAfter(c.interval, c.elapsed), c.pause)
            << "interval " << c.interval << ", elapsed " << c.elapsed;
    }
}

TEST(TickPacerTest, TicksAtOnceThenOneIntervalFromStartToStartAcrossTheClockWrap) {
    // The clock wraps 4096 ms in, during the fourth tick.
    PacedRun run(0xFFFFF000u);
    std::atomic<std::int32_t> interval{1000};
    // A slow tick is followed by the 10 ms floor, not by a catch-up burst.
    EXPECT_EQ(run.tickStarts(interval, {300, 0, 995, 2500, 0}),
              (std::vector<std::uint32_t>{0, 1000, 2000, 3005, 5515}));
}

TEST(TickPacerTest, IntervalChangedDuringATickPacesTheNextOne) {
    PacedRun run(0);
    std::atomic<std::int32_t> interval{1000};
    const auto starts = run.tickStarts(interval, {100, 100, 100}, [&](std::size_t i) {
        if (i == 0) {
            interval = 250;
        }
    });
    EXPECT_EQ(starts, (std::vector<std::uint32_t>{0, 250, 500}));
}

TEST(TickPacerTest, SleepEndsWhenStopIsRequested) {
    std::stop_source stop;
    std::promise<void> sleeping;
    auto slept = std::async(std::launch::async, [&] {
        sleeping.set_value();
        TickPacer::interruptibleSleep(60000, stop.get_token());
    });
    sleeping.get_future().wait();
    stop.request_stop();
    EXPECT_EQ(slept.wait_for(10s), std::future_status::ready);
}

// ---------------------------------------------------------------------------------------------
// The timer with real tick threads whose clock and sleep the test holds: the clock moves only
// when a handler says its tick took time, and every sleep blocks until the test releases it or
// the thread is told to stop. Each tick thread is seen starting (its first clock read) and
// ending (its thread-local probe is destroyed at thread exit).

struct Seen {
    int clockReads = 0;
    std::vector<std::int32_t> pauses;
    int threadsStarted = 0;
    int threadsEnded = 0;
    int policy = -1;  // scheduling policy of the last thread that read the clock
};

class ScriptedPace : public std::enable_shared_from_this<ScriptedPace> {
public:
    TickPacer pacer() {
        auto self = shared_from_this();
        return TickPacer([self] { return self->readClock(); },
                         [self](std::int32_t ms, std::stop_token stop) { self->sleep(ms, stop); });
    }

    void advance(std::uint32_t ms) { now_ += ms; }

    void release() {
        std::lock_guard lock(mutex_);
        ++permits_;
        changed_.notify_all();
    }

    // Waits until `done` holds; the bound is far beyond any real delay.
    bool waitFor(const std::function<bool(const Seen&)>& done) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return done(seen_); });
    }

    Seen seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    class ThreadProbe {
    public:
        explicit ThreadProbe(std::shared_ptr<ScriptedPace> pace) : pace_(std::move(pace)) {
            pace_->count(&Seen::threadsStarted);
        }
        ~ThreadProbe() { pace_->count(&Seen::threadsEnded); }

    private:
        std::shared_ptr<ScriptedPace> pace_;
    };

    void count(int Seen::*field) {
        std::lock_guard lock(mutex_);
        ++(seen_.*field);
        changed_.notify_all();
    }

    std::uint32_t readClock() {
        thread_local std::unique_ptr<ThreadProbe> probe;
        if (!probe) {
            probe = std::make_unique<ThreadProbe>(shared_from_this());
        }
        int policy = 0;
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        std::lock_guard lock(mutex_);
        ++seen_.clockReads;
        seen_.policy = policy;
        changed_.notify_all();
        return now_;
    }

    void sleep(std::int32_t ms, std::stop_token stop) {
        std::unique_lock lock(mutex_);
        seen_.pauses.push_back(ms);
        changed_.notify_all();
        if (changed_.wait(lock, stop, [&] { return permits_ > 0; })) {
            --permits_;
        }
    }

    std::atomic<std::uint32_t> now_{0};
    std::mutex mutex_;
    std::condition_variable_any changed_;
    int permits_ = 0;
    Seen seen_;
};

bool allThreadsEnded(const Seen& s) { return s.threadsEnded == s.threadsStarted; }

// Puts standard error aside for the life of the object.
class CapturedStderr {
public:
    CapturedStderr() : previous_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CapturedStderr() { std::cerr.rdbuf(previous_); }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* previous_;
};

class ThreadTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        timer = std::make_unique<ThreadTimer>(pace->pacer());
        timer->setInterval(1000);
        timer->onTick = [this](ThreadTimer* sender) {
            ++ticks;
            sendersRight = sendersRight && sender == timer.get();
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            pausesBeforeTick.push_back(static_cast<int>(pace->seen().pauses.size()));
            pace->advance(tickCost);
            if (during) {
                during(ticks);
            }
        };
    }

    void TearDown() override {
        timer.reset();
        EXPECT_TRUE(pace->waitFor(allThreadsEnded)) << "a tick thread outlived its timer";
    }

    // Lets the event loop serve ticks until `count` have run.
    bool serveUntil(int count) {
        return QTest::qWaitFor([&] { return ticks >= count; }, 10000);
    }

    bool waitForPauses(std::size_t count) {
        return pace->waitFor([count](const Seen& s) { return s.pauses.size() >= count; });
    }

    std::shared_ptr<ScriptedPace> pace = std::make_shared<ScriptedPace>();
    std::unique_ptr<ThreadTimer> timer;
    int ticks = 0;
    bool sendersRight = true;
    bool onMainThread = true;
    std::vector<int> pausesBeforeTick;
    std::uint32_t tickCost = 0;
    std::function<void(int tick)> during;
};

TEST_F(ThreadTimerTest, TicksAtOnceOnTheMainThreadAndTakesTheTickTimeOffThePause) {
    tickCost = 300;
    timer->setEnabled(true);
    EXPECT_TRUE(timer->isEnabled());
    ASSERT_TRUE(serveUntil(1));
    ASSERT_TRUE(waitForPauses(1));
    EXPECT_EQ(pace->seen().pauses, std::vector<std::int32_t>{700});

    pace->release();
    ASSERT_TRUE(serveUntil(2));
    EXPECT_EQ(pausesBeforeTick, (std::vector<int>{0, 1}));
    EXPECT_TRUE(sendersRight);
    EXPECT_TRUE(onMainThread);
}

TEST_F(ThreadTimerTest, EnablingARunningTimerStartsNoSecondThread) {
    timer->setEnabled(true);
    timer->setEnabled(true);
    ASSERT_TRUE(serveUntil(1));
    timer->setEnabled(false);
    ASSERT_TRUE(pace->waitFor(allThreadsEnded));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(pace->seen().threadsStarted, 1);
}

TEST_F(ThreadTimerTest, DisablingLetsAHandedOverTickRunOnceWithoutWaitingForIt) {
    timer->setEnabled(true);
    ASSERT_TRUE(pace->waitFor([](const Seen& s) { return s.clockReads >= 1; }));
    timer->setEnabled(false);
    EXPECT_FALSE(timer->isEnabled());

    // The thread ends although the main thread has not served its tick...
    ASSERT_TRUE(pace->waitFor(allThreadsEnded));
    EXPECT_EQ(ticks, 0);
    // ...and the tick it handed over still runs, once.
    ASSERT_TRUE(serveUntil(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
}

TEST_F(ThreadTimerTest, ReEnablingWithinAnIntervalTicksAtOnceFromAFreshThreadOnly) {
    timer->setEnabled(true);
    ASSERT_TRUE(serveUntil(1));
    ASSERT_TRUE(waitForPauses(1));

    timer->setEnabled(false);
    timer->setEnabled(true);
    ASSERT_TRUE(serveUntil(2));
    ASSERT_TRUE(pace->waitFor([](const Seen& s) {
        return s.threadsStarted == 2 && s.threadsEnded == 1 && s.pauses.size() == 2;
    })) << "the sleeping thread was not stopped for good";

    pace->release();
    ASSERT_TRUE(serveUntil(3));
    ASSERT_TRUE(waitForPauses(3));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 3);
}

TEST_F(ThreadTimerTest, DestroyedWhileAsleepItsThreadEnds) {
    timer->setEnabled(true);
    ASSERT_TRUE(serveUntil(1));
    ASSERT_TRUE(waitForPauses(1));
    timer.reset();
    EXPECT_TRUE(pace->waitFor(allThreadsEnded));
}

TEST_F(ThreadTimerTest, DestroyedWithATickUnservedItsThreadEndsAndTheTickIsDropped) {
    timer->setEnabled(true);
    ASSERT_TRUE(pace->waitFor([](const Seen& s) { return s.clockReads >= 1; }));
    timer.reset();
    EXPECT_TRUE(pace->waitFor(allThreadsEnded));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);
}

TEST_F(ThreadTimerTest, AFailingHandlerKeepsTheTimerTickingAndIsReportedOncePerError) {
    during = [](int tick) {
        switch (tick) {
            case 1:
            case 2:
                throw TavolenError("database is locked");
            case 3:
                throw 42;
            case 4:
                throw std::runtime_error("disk full");
            default:
                break;
        }
    };
    timer->setObjectName("minuteTimer");
    const CapturedStderr err;
    timer->setEnabled(true);
    for (int tick = 1; tick <= 4; ++tick) {
        ASSERT_TRUE(serveUntil(tick));
        ASSERT_TRUE(waitForPauses(tick));
        pace->release();
    }
    ASSERT_TRUE(serveUntil(5));
    EXPECT_TRUE(timer->isEnabled());
    EXPECT_EQ(err.text(),
              "minuteTimer: tick failed: database is locked\n"
              "minuteTimer: tick failed: unknown error\n"
              "minuteTimer: tick failed: disk full\n");
}

TEST_F(ThreadTimerTest, IdlePriorityReachesTheTickThread) {
    timer->setThreadPriority(ThreadPriority::Idle);
    timer->setEnabled(true);
    ASSERT_TRUE(pace->waitFor([](const Seen& s) { return s.clockReads >= 1; }));
    EXPECT_EQ(pace->seen().policy, SCHED_IDLE);
}

// With the real clock and sleep: the handler runs on the main thread, served by its event loop.
TEST(ThreadTimerRealTimeTest, TicksOnTheMainThread) {
    ThreadTimer timer;
    timer.setInterval(10);
    int ticks = 0;
    bool elsewhere = false;
    timer.onTick = [&](ThreadTimer*) {
        ++ticks;
        elsewhere = elsewhere || QThread::currentThread() != qApp->thread();
    };
    timer.setEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    timer.setEnabled(false);
    EXPECT_FALSE(elsewhere);
}

}  // namespace
