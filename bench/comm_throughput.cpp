// Bytes through a pseudo-terminal into SerialPort at full speed, and how long a block takes
// to reach the main thread beyond the 250 ms of silence that ends it.

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "comm/SerialPort.h"

using Clock = std::chrono::steady_clock;

namespace {

template <typename Done>
void runUntil(Done done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    int master = -1;
    int device = -1;
    char name[256] = {};
    if (openpty(&master, &device, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios tio{};
    tcgetattr(device, &tio);
    cfmakeraw(&tio);
    tcsetattr(device, TCSANOW, &tio);

    SerialPort port;
    port.setBaudRate(BaudRate::Baud4800);
    port.portName = QString::fromLocal8Bit(name);
    qint64 received = 0;
    int blocks = 0;
    Clock::time_point delivered;
    port.receiveHandler = [&](const void*, quint16 length) {
        delivered = Clock::now();
        received += length;
        ++blocks;
    };
    if (!port.openPort()) return 1;

    // Delivery delay: one pair, then the silence, then the hop to the main thread.
    constexpr int kRounds = 40;
    std::vector<double> extraMs;
    for (int round = 0; round < kRounds; ++round) {
        const int before = blocks;
        writeAll(master, "\x81\x03", 2);
        const Clock::time_point written = Clock::now();
        runUntil([&] { return blocks > before; });
        extraMs.push_back(std::chrono::duration<double, std::milli>(delivered - written).count() -
                          250.0);
    }

    // Throughput: full 2048-byte blocks, so no silence is waited for.
    constexpr qint64 kBytes = 16 * 1024 * 1024;
    received = 0;
    blocks = 0;
    const Clock::time_point start = Clock::now();
    std::thread writer([&] {
        std::vector<char> chunk(64 * 1024, '\x55');
        for (qint64 sent = 0; sent < kBytes; sent += qint64(chunk.size()))
            writeAll(master, chunk.data(), chunk.size());
    });
    runUntil([&] { return received >= kBytes; });
    const double seconds = std::chrono::duration<double>(delivered - start).count();
    writer.join();

    std::printf("comm_throughput (pseudo-terminal, Debug build)\n");
    std::printf(
        "  delivery beyond the 250 ms silence, %d pairs: p50 %.2f ms, p99 %.2f ms, "
        "max %.2f ms   (baseline: the 250 ms silence that ends a block)\n",
        kRounds, percentile(extraMs, 0.50), percentile(extraMs, 0.99),
        *std::max_element(extraMs.begin(), extraMs.end()));
    std::printf(
        "  full speed: %.1f MB/s in %d blocks (%.0f blocks/s)   "
        "(baseline: the controller's 4800 bit/s line carries 480 B/s)\n",
        double(kBytes) / seconds / 1e6, blocks, blocks / seconds);

    port.closePort();
    close(master);
    close(device);
    return 0;
}
