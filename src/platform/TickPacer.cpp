#include "platform/TickPacer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

TickPacer::TickPacer() : TickPacer(&TickPacer::steadyMillis, &TickPacer::interruptibleSleep) {}

TickPacer::TickPacer(Millis millis, Sleep sleep)
    : millis_(std::move(millis)), sleep_(std::move(sleep)) {}

std::uint32_t TickPacer::steadyMillis() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    // Truncated to 32 bits on purpose: callers subtract in unsigned arithmetic, which
    // survives the wrap-around every 49.7 days.
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void TickPacer::interruptibleSleep(std::int32_t ms, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wakeup;
    std::unique_lock lock(mutex);
    wakeup.wait_for(lock, stop, std::chrono::milliseconds(ms), [] { return false; });
}

std::int32_t TickPacer::pauseAfter(std::int32_t interval, std::uint32_t elapsed) {
    // 64-bit so that a negative interval or a tick longer than 2^31 ms cannot overflow.
    const std::int64_t rest = std::int64_t{interval} - std::int64_t{elapsed};
    return static_cast<std::int32_t>(std::max<std::int64_t>(rest, kMinPause));
}

void TickPacer::run(std::stop_token stop, const std::atomic<std::int32_t>& interval,
                    const std::function<void()>& tick) const {
    while (!stop.stop_requested()) {
        const std::uint32_t start = millis_();
        tick();
        const std::uint32_t elapsed = millis_() - start;
        sleep_(pauseAfter(interval.load(), elapsed), stop);
    }
}
