#include "comm/SerialWriter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

SerialWriter::SerialWriter(int fd, int closeEvent, CommPoster post)
    : fd_(fd), closeEvent_(closeEvent), post_(std::move(post)) {}

SerialWriter::~SerialWriter() {
    join();
    if (wake_ >= 0) close(wake_);
}

void SerialWriter::start() {
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) throw std::system_error(errno, std::generic_category());
    thread_ = std::thread(&SerialWriter::run, this);
}

void SerialWriter::join() {
    if (thread_.joinable()) thread_.join();
}

void SerialWriter::request(QByteArray block) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(block));
    }
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
}

bool SerialWriter::closing() const {
    pollfd fd = {closeEvent_, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

void SerialWriter::run() {
    post_(CommNotice::WriterReady, {});

    pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {wake_, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            post_(CommNotice::Hangup, {});
            break;
        }
        if (fds[0].revents != 0) break;

        quint64 wakeups = 0;
        [[maybe_unused]] const ssize_t got = read(wake_, &wakeups, sizeof wakeups);
        std::deque<QByteArray> blocks;
        {
            std::lock_guard lock(mutex_);
            blocks.swap(queue_);
        }
        bool ended = false;
        for (const QByteArray& block : blocks) {
            if (closing() || !writeBlock(block)) {
                ended = true;
                break;
            }
        }
        if (ended) break;
    }
    // Whatever the driver still holds for sending is dropped with the port.
    tcflush(fd_, TCOFLUSH);
}

bool SerialWriter::writeBlock(const QByteArray& block) {
    qsizetype offset = 0;
    while (offset < block.size()) {
        const ssize_t written = write(fd_, block.constData() + offset, block.size() - offset);
        if (written > 0) {
            offset += written;
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) {
            post_(CommNotice::Hangup, {});
            return false;
        }
        // The driver's queue is full: wait until it drains or the port closes.
        pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {fd_, POLLOUT, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            post_(CommNotice::Hangup, {});
            return false;
        }
        if (fds[0].revents != 0) return false;
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            post_(CommNotice::Hangup, {});
            return false;
        }
    }
    return true;
}
