#pragma once

#include <thread>

#include "comm/CommEventText.h"
#include "comm/CommNotice.h"

// Reads the port into blocks: a block ends when the line has been silent for 250 ms after
// its last byte, or when it holds 2048 bytes. It sleeps in poll() on the device and the
// close event, so it costs nothing while the line is quiet.
class SerialReader {
public:
    static constexpr int kBlockSize = 2048;
    static constexpr int kSilenceMs = 250;

    SerialReader(int fd, int closeEvent, CommPoster post);
    ~SerialReader();

    // Throws std::system_error when no thread can be made.
    void start();
    void join();

private:
    void run();
    void checkLineErrors();

    const int fd_;
    const int closeEvent_;
    const CommPoster post_;
    bool hasCounters_ = false;
    LineErrorCounts counts_;
    std::thread thread_;
};
