#include "comm/SerialReader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "comm/SerialLine.h"

using Clock = std::chrono::steady_clock;

SerialReader::SerialReader(int fd, int closeEvent, CommPoster post)
    : fd_(fd), closeEvent_(closeEvent), post_(std::move(post)) {}

SerialReader::~SerialReader() { join(); }

void SerialReader::start() {
    // Errors counted before the port was ours are not reported.
    hasCounters_ = readLineErrorCounts(fd_, &counts_);
    thread_ = std::thread(&SerialReader::run, this);
}

void SerialReader::join() {
    if (thread_.joinable()) thread_.join();
}

void SerialReader::run() {
    char buffer[kBlockSize];
    int count = 0;
    Clock::time_point lastByte;

    const auto deliver = [&] {
        if (count == 0) return;
        post_(CommNotice::Data, QByteArray(buffer, count));
        count = 0;
    };

    post_(CommNotice::ReaderReady, {});

    pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {fd_, POLLIN, 0}};
    for (;;) {
        // Without bytes in hand the wait has no end; with some, it ends with the silence.
        timespec timeout{};
        if (count > 0) {
            const auto left =
                std::max(Clock::duration::zero(),
                         lastByte + std::chrono::milliseconds(kSilenceMs) - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = {time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
        }
        const int ready = ppoll(fds, 2, count > 0 ? &timeout : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) {
            // Bytes already read still reach the owner; only the reading stops.
            deliver();
            return;
        }
        if (ready == 0) {
            deliver();
            continue;
        }
        if (fds[1].revents & POLLNVAL) break;

        const ssize_t got = read(fd_, buffer + count, kBlockSize - count);
        if (got > 0) {
            count += int(got);
            lastByte = Clock::now();
            if (count == kBlockSize) deliver();
            if (hasCounters_) checkLineErrors();
            continue;
        }
        // A device that reports a hang-up but has nothing to read is gone all the same.
        if (got < 0 && (errno == EAGAIN || errno == EINTR) &&
            !(fds[1].revents & (POLLHUP | POLLERR)))
            continue;
        break;  // end of file or a read error: the other side or the adapter is gone
    }
    deliver();
    post_(CommNotice::Hangup, {});
}

void SerialReader::checkLineErrors() {
    LineErrorCounts now;
    if (!readLineErrorCounts(fd_, &now)) return;
    const quint32 flags = commErrorFlags(counts_, now);
    counts_ = now;
    if (flags != 0) post_(CommNotice::Data, commEventText(flags));
}
