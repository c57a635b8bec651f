#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>

// The rhythm of one tick thread: the first tick at once, then one every interval counted from
// the start of the previous tick, the tick's own time taken off the pause. The clock and the
// sleep are injected so that a test can drive the rhythm without waiting for real time.
class TickPacer {
public:
    // A free-running millisecond clock; it may wrap around.
    using Millis = std::function<std::uint32_t()>;
    // Waits about `ms` milliseconds, returning early once `stop` is requested.
    using Sleep = std::function<void(std::int32_t ms, std::stop_token stop)>;

    // Shortest pause between two ticks, so that a slow tick never makes the thread spin.
    static constexpr std::int32_t kMinPause = 10;

    TickPacer();
    TickPacer(Millis millis, Sleep sleep);

    static std::uint32_t steadyMillis();
    static void interruptibleSleep(std::int32_t ms, std::stop_token stop);
    static std::int32_t pauseAfter(std::int32_t interval, std::uint32_t elapsed);

    // Calls `tick` until `stop` is requested; `interval` is read anew after every tick.
    void run(std::stop_token stop, const std::atomic<std::int32_t>& interval,
             const std::function<void()>& tick) const;

private:
    Millis millis_;
    Sleep sleep_;
};
