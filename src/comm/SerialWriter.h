#pragma once

#include <QByteArray>
#include <deque>
#include <mutex>
#include <thread>

#include "comm/CommNotice.h"

// Writes the blocks handed to it, in order, until the close event is signalled.
class SerialWriter {
public:
    SerialWriter(int fd, int closeEvent, CommPoster post);
    ~SerialWriter();

    // Throws std::system_error when no thread or wake-up event can be made.
    void start();
    void join();

    // Queues a block; any thread may call it.
    void request(QByteArray block);

private:
    void run();
    bool writeBlock(const QByteArray& block);
    bool closing() const;

    const int fd_;
    const int closeEvent_;
    const CommPoster post_;
    int wake_ = -1;
    std::mutex mutex_;
    std::deque<QByteArray> queue_;
    std::thread thread_;
};
