#include "SimLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// How long a write may wait for a board that is not reading before the bytes are dropped.
constexpr int kFullLineMs = 2000;

}  // namespace

SimLine::~SimLine() {
    if (!linkPath_.isEmpty()) QFile::remove(linkPath_);
    if (device_ >= 0) close(device_);
    if (master_ >= 0) close(master_);
}

bool SimLine::open(QString* error) {
    char name[256] = {};
    if (openpty(&master_, &device_, name, nullptr, nullptr) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(strerror(errno));
        return false;
    }
    termios tio{};
    tcgetattr(device_, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B4800);
    tcsetattr(device_, TCSANOW, &tio);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(device_, F_SETFD, FD_CLOEXEC);
    devicePath_ = QString::fromLocal8Bit(name);
    return true;
}

bool SimLine::link(const QString& path, QString* error) {
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isSymLink()) {
        *error = QStringLiteral("%1 exists and is not a link").arg(path);
        return false;
    }
    // Built beside and renamed over, so a board retrying its port never sees no link.
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh);
    if (symlink(QFile::encodeName(devicePath_).constData(), QFile::encodeName(fresh).constData()) !=
            0 ||
        rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()) != 0) {
        *error =
            QStringLiteral("cannot link %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        QFile::remove(fresh);
        return false;
    }
    linkPath_ = path;
    return true;
}

qsizetype SimLine::send(const QByteArray& bytes, int baud) {
    qsizetype written = 0;
    if (baud <= 0) {
        writeWithin(bytes.constData(), bytes.size(), &written, kFullLineMs);
        return written;
    }
    // Paced against a schedule, so the time spent writing does not add up.
    using namespace std::chrono;
    const auto byteTime = duration_cast<steady_clock::duration>(microseconds(10'000'000 / baud));
    auto next = steady_clock::now();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        std::this_thread::sleep_until(next);
        qsizetype one = 0;
        if (!writeWithin(bytes.constData() + i, 1, &one, kFullLineMs)) break;
        ++written;
        next += byteTime;
    }
    return written;
}

bool SimLine::writeWithin(const char* data, qsizetype size, qsizetype* written, int timeoutMs) {
    while (*written < size) {
        const ssize_t n = write(master_, data + *written, size_t(size - *written));
        if (n > 0) {
            *written += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd fd = {master_, POLLOUT, 0};
        if (poll(&fd, 1, timeoutMs) == 0) return false;
    }
    return true;
}
