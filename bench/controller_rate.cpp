// Through the real serial path (pseudo-terminal, SerialPort, the board and its window): how long
// after a block's last byte the room's panel has been painted again, beyond the 250 ms of
// silence that ends the block. Then the controller pairs handled per second with the
// room-state file and the database on the disk, beside the 240 pairs a second that the
// controller's 4800 bit/s line can carry.
//
// Usage: bench_controller_rate [directory]   (default: beside the program, on the work disk)

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "BenchRooms.h"
#include "board/BoardModel.h"
#include "board/ui/BoardWindow.h"
#include "board/ui/RoomPanel.h"
#include "comm/SerialPort.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SoundPlayer.h"
#include "store/Database.h"
#include "store/IniStore.h"
#include "store/RoomRecords.h"

using Steady = std::chrono::steady_clock;

namespace {

constexpr int kRooms = BoardModel::kSlots;
constexpr double kLinePairsPerSecond = 240.0;  // 4800 bit/s, 10 bits a byte, 2 bytes a pair
constexpr auto kByteTime = std::chrono::microseconds(2083);
constexpr double kSilenceMs = 250.0;
// A typical stay: taken, door opened and closed, left, cleaned, ready.
constexpr std::array<int, 6> kStay = {3, 1, 2, 4, 5, 6};

class SteppedClock : public Clock {
public:
    QDateTime now() const override { return t_; }
    void advanceMinutes(int m) { t_ = t_.addSecs(60 * m); }

private:
    QDateTime t_{QDate(2024, 6, 15), QTime(9, 0)};
};

class SilentSound : public SoundPlayer {
public:
    void play(const QString&) override {}
};

// Any box means the figures are not those of a working board.
class FailingDialogs : public Dialogs {
public:
    void showError(const QString& text) override { fail(text); }
    void showInfo(const QString& text) override { fail(text); }
    bool askYesNo(const QString& text) override {
        fail(text);
        return false;
    }

private:
    static void fail(const QString& text) {
        std::fprintf(stderr, "the board showed a box: %s\n", qPrintable(text));
        std::exit(1);
    }
};

// A board on its own data directory with the real database and ledger.
struct RealBoard {
    RealBoard(const QString& dataDir, Clock& clock)
        : assets(dataDir, QCoreApplication::applicationDirPath()),
          board({clock, sound, dialogs, lockdown, assets, session}),
          db(dataDir),
          ledger(db, clock, dialogs) {
        writeBenchRooms(dataDir);
        db.open();
        board.setRecords(&ledger);
    }

    SilentSound sound;
    FailingDialogs dialogs;
    NoLockdown lockdown;
    DeskSession session;
    Assets assets;
    BoardModel board;
    Database db;
    RoomRecords ledger;
};

double msBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Blocks of one pair for every room, the rooms going through their stays together, until
// enough time has been spent in the handler.
void handlingRate(const QString& dataDir, double budgetSeconds, const char* where) {
    SteppedClock clock;
    RealBoard desk(dataDir, clock);
    desk.board.startUp(dataDir);

    std::array<double, 7> seconds{};
    std::array<int, 7> pairs{};
    double total = 0;
    while (total < budgetSeconds) {
        for (int code : kStay) {
            QByteArray block;
            for (int n = 1; n <= kRooms; ++n) {
                block.append(char(benchKeyOf(n)));
                block.append(char(code));
            }
            clock.advanceMinutes(1);
            desk.board.onSecondTick();
            const Steady::time_point start = Steady::now();
            desk.board.onControllerBlock(block);
            const double s = std::chrono::duration<double>(Steady::now() - start).count();
            seconds[size_t(code)] += s;
            pairs[size_t(code)] += kRooms;
            total += s;
        }
    }
    int all = 0;
    for (int n : pairs) all += n;
    const double rate = all / total;
    std::printf("  %s: %d pairs in %.2f s = %.0f pairs/s, %.1f times the line\n", where, all, total,
                rate, rate / kLinePairsPerSecond);
    std::printf("    per pair by event:");
    for (int code : kStay)
        std::printf("  %d: %.2f ms", code, 1000.0 * seconds[size_t(code)] / pairs[size_t(code)]);
    std::printf("\n");
}

// What one flush of a small file to the disk costs here: the unit that every saver and every
// committed statement pays at least once.
double diskFlushMs(const QString& dir) {
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(QStringLiteral("flush.probe")));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::vector<double> ms;
    const QByteArray page(4096, 'x');
    for (int i = 0; fd >= 0 && i < 200; ++i) {
        if (::pwrite(fd, page.constData(), size_t(page.size()), 0) != page.size()) break;
        const Steady::time_point start = Steady::now();
        ::fsync(fd);
        ms.push_back(msBetween(start, Steady::now()));
    }
    if (fd >= 0) ::close(fd);
    ::unlink(path.constData());
    return ms.empty() ? 0.0 : percentile(ms, 0.5);
}

// Stamps the end of the first paint pass of the awaited panel after its block was handled.
class PaintWatch : public QObject {
public:
    QObject* awaited = nullptr;
    bool handled = false;
    Steady::time_point painted;
    bool done = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && handled && !done && watched == awaited) {
            // The whole window is painted and flushed in this pass; the timer runs after it.
            QTimer::singleShot(0, this, [this] {
                painted = Steady::now();
                done = true;
            });
            handled = false;
        }
        return QObject::eventFilter(watched, event);
    }
};

void serialDelay(const QString& dataDir) {
    int master = -1;
    int device = -1;
    char name[256] = {};
    if (openpty(&master, &device, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        std::exit(1);
    }
    termios tio{};
    tcgetattr(device, &tio);
    cfmakeraw(&tio);
    tcsetattr(device, TCSANOW, &tio);

    SystemClock clock;
    RealBoard desk(dataDir, clock);
    desk.board.setWriteAfterPaint(true);  // as the desk's board does
    BoardWindow window(desk.board, desk.assets);
    window.setAllowClose(true);
    desk.board.startUp(dataDir);
    window.show();
    QTimer second;
    QObject::connect(&second, &QTimer::timeout, [&] { desk.board.onSecondTick(); });
    second.start(1000);

    PaintWatch watch;
    for (int n = 1; n <= kRooms; ++n) window.panel(n)->installEventFilter(&watch);

    SerialPort port;
    port.setBaudRate(BaudRate::Baud4800);
    port.portName = QString::fromLocal8Bit(name);
    Steady::time_point deliveredAt, handledAt;
    port.receiveHandler = [&](const void* buffer, quint16 length) {
        deliveredAt = Steady::now();
        desk.board.onControllerBlock(QByteArray(static_cast<const char*>(buffer), length));
        handledAt = Steady::now();
        watch.handled = true;
    };
    if (!port.openPort()) std::exit(1);
    const auto runFor = [](std::chrono::milliseconds span) {
        const Steady::time_point end = Steady::now() + span;
        while (Steady::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    runFor(std::chrono::milliseconds(500));  // the first paint of the whole window

    // Every pair goes to the next room, so a block never holds the same room twice and no
    // room's event repeats its last one.
    std::array<int, kRooms + 1> step{};
    int room = 0;
    constexpr std::array<int, 3> kSizes = {1, 4, 8};
    constexpr int kRounds = 40;
    std::array<std::vector<double>, kSizes.size()> delivered, handled, painted;
    for (int round = 0; round < kRounds; ++round) {
        for (size_t size = 0; size < kSizes.size(); ++size) {
            QByteArray burst;
            for (int i = 0; i < kSizes[size]; ++i) {
                room = room % kRooms + 1;
                burst.append(char(benchKeyOf(room)));
                burst.append(char(kStay[size_t(step[room]++ % int(kStay.size()))]));
            }
            watch.awaited = window.panel(room);
            watch.done = false;
            watch.handled = false;
            const Steady::time_point start = Steady::now();
            Steady::time_point lastByte;
            for (int i = 0; i < burst.size(); ++i) {
                std::this_thread::sleep_until(start + i * kByteTime);
                writeAll(master, burst.constData() + i, 1);
                lastByte = Steady::now();
            }
            const Steady::time_point giveUp = lastByte + std::chrono::seconds(3);
            while (!watch.done && Steady::now() < giveUp)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (!watch.done) {
                std::fprintf(stderr, "room %d's panel was not painted\n", room);
                std::exit(1);
            }
            delivered[size].push_back(msBetween(lastByte, deliveredAt) - kSilenceMs);
            handled[size].push_back(msBetween(deliveredAt, handledAt));
            painted[size].push_back(msBetween(lastByte, watch.painted) - kSilenceMs);
            runFor(std::chrono::milliseconds(30));
        }
    }

    // Few blocks of each size: the p99 is their slowest.
    std::vector<double> all;
    for (size_t size = 0; size < kSizes.size(); ++size) {
        const auto& d = delivered[size];
        const auto& h = handled[size];
        const auto& p = painted[size];
        std::printf(
            "  %d pair(s) a block, %d blocks: delivered p50 %.2f p99 %.2f, handled in p50 %.2f "
            "p99 %.2f, panel painted p50 %.2f p99 %.2f ms\n",
            kSizes[size], kRounds, percentile(d, 0.5), percentile(d, 0.99), percentile(h, 0.5),
            percentile(h, 0.99), percentile(p, 0.5), percentile(p, 0.99));
        all.insert(all.end(), p.begin(), p.end());
    }
    std::printf(
        "  all blocks: panel painted p50 %.2f ms, p99 %.2f ms beyond the silence   "
        "(baseline: the 250 ms silence that ends a block; goal p99 < 20 ms)\n",
        percentile(all, 0.5), percentile(all, 0.99));
    port.closePort();
    close(master);
    close(device);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString base =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationDirPath();
    QTemporaryDir rateDir(QDir(base).filePath(QStringLiteral("controller-rate-XXXXXX")));
    QTemporaryDir delayDir(QDir(base).filePath(QStringLiteral("controller-delay-XXXXXX")));
    if (!rateDir.isValid() || !delayDir.isValid()) {
        std::fprintf(stderr, "no temporary directory under %s\n", qPrintable(base));
        return 1;
    }
#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "debug build";
#endif
    std::printf("controller_rate (%s, files under %s, platform %s)\n", build, qPrintable(base),
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM")));
    // The delay first: the flood of writes of the rate below leaves the disk busy for a while.
    std::printf(
        "  through the pseudo-terminal at 4800 bit/s, files on the disk, beyond the "
        "silence:\n");
    serialDelay(delayDir.path());
    std::printf(
        "  pairs handled, events cycling a typical stay (3 1 2 4 5 6) over 72 rooms   "
        "(baseline: the 4800 bit/s line carries %.0f pairs/s; goal >= 20 times)\n",
        kLinePairsPerSecond);
    handlingRate(rateDir.path(), 8.0, "on the disk");
    std::printf("    one flush of a small file to this disk: %.2f ms (median)\n",
                diskFlushMs(rateDir.path()));
    // The same on memory shows what the board costs when flushing is free.
    QTemporaryDir memoryDir(QStringLiteral("/dev/shm/controller-rate-XXXXXX"));
    if (memoryDir.isValid()) handlingRate(memoryDir.path(), 2.0, "on tmpfs, for comparison");
    return 0;
}
