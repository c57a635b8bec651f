#pragma once

#include <cstdio>
#include <ctime>

// Says on standard output when the first frame has reached the screen, on the
// monotonic clock every process shares, so that whoever started the program
// can time its start-up without its exit.
inline void announceFirstFrame() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("first frame at %lld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
}
