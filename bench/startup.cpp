// Start-up of the board from a full room-state file (72 rooms, every key set)
// to its first painted frame, beside the start-up of an empty Qt window (at
// the board's design size, and over the whole screen as the board shows
// itself), all as whole processes on the same display in the same run. Each
// program tells when its first frame has reached the screen; the time to its
// exit is printed for comparison.
#include <pty.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "board/StayTime.h"
#include "store/IniStore.h"

namespace {

void writeFullBoard(const QString& dir, const QString& port) {
    IniStore ini(QDir(dir).filePath(QStringLiteral("TavolenConfig.ini")));
    const QString states[] = {QStringLiteral("대 실"), QStringLiteral("숙 박"),
                              QStringLiteral("청 소"), QStringLiteral("퇴 실"),
                              QStringLiteral("외 출"), QStringLiteral("완 료")};
    const QString time = StayTime::startingAt(QDateTime::currentDateTime().addSecs(-3600)).stored();
    ini.writeString(QStringLiteral("Motel"), QStringLiteral("CoName"),
                    QStringLiteral("타볼렌 모텔"));
    ini.writeString(QStringLiteral("Motel"), QStringLiteral("ComPort"), port);
    ini.writeInteger(QStringLiteral("CashTime"), QStringLiteral("SaveMonth"), 3);
    for (int n = 1; n <= 72; ++n) {
        const QString k = QStringLiteral("r%1").arg(n);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                        QString::number(100 + n));
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.writeString(QStringLiteral("rStatus"), k, states[n % 6]);
        ini.writeInteger(QStringLiteral("Sleep"), k, n % 2);
        ini.writeString(QStringLiteral("Time"), k, time);
        ini.writeString(QStringLiteral("TimeEnd"), k, QStringLiteral("9:5"));
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rs%1").arg(n), 50000);
        ini.writeInteger(QStringLiteral("Money"), QStringLiteral("rd%1").arg(n), 30000);
        ini.writeString(QStringLiteral("Alram"), k, QStringLiteral("2030-01-01 07:00"));
        ini.writeString(QStringLiteral("Memo"), k, QStringLiteral("메모 %1번 객실").arg(n));
        ini.writeInteger(QStringLiteral("RoomKey"), k, 128 + n);
        ini.writeInteger(QStringLiteral("DoorStatus"), k, n % 3 == 0);
    }
}

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long long monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Milliseconds from the start of each run to its first frame, and to its exit.
struct Runs {
    std::vector<double> toFrame;
    std::vector<double> toExit;
};

void timeRun(const QString& program, const QStringList& args, Runs& runs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const long long start = monotonicNow();
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        std::fprintf(stderr, "run of %s failed\n", qPrintable(program));
        std::exit(1);
    }
    const long long exited = monotonicNow();
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at = out.lastIndexOf("first frame at ");
    if (at < 0) {
        std::fprintf(stderr, "run of %s told no first frame\n", qPrintable(program));
        std::exit(1);
    }
    const long long frame = out.mid(at + 15).split('\n').first().toLongLong();
    runs.toFrame.push_back((frame - start) / 1e6);
    runs.toExit.push_back((exited - start) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = 15;
    QTemporaryDir dir;
    // The board opens its controller's line at start-up; a pseudo-terminal
    // stands in for it, so that the start-up is the real one without an
    // error box.
    int master = -1;
    int slave = -1;
    char device[128] = {};
    if (openpty(&master, &slave, device, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    // "--write-board DIR" only writes the board's data directory there, for a profiler's run of
    // the board by hand.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--write-board")) {
        writeFullBoard(arguments.at(2), QString::fromLatin1(device));
        return 0;
    }
    writeFullBoard(dir.path(), QString::fromLatin1(device));
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    const QString empty =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_empty_window"));
    const QString board =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tavolen"));

    // Three programs in turn, so that the machine's drift falls on all of them alike: the empty
    // window at the board's design size, the empty window over the whole screen as the board
    // shows itself (the same pixels to fill and flush), and the board. The first turn warms the
    // caches (fonts, libraries) and is not counted.
    const QStringList boardArgs = {QStringLiteral("--data-dir"), dir.path(),
                                   QStringLiteral("--quit-after-first-frame")};
    Runs designSize, wholeScreen, full, warm;
    timeRun(empty, {}, warm);
    timeRun(empty, {QStringLiteral("--full-screen")}, warm);
    timeRun(board, boardArgs, warm);
    for (int i = 0; i < runs; ++i) {
        timeRun(empty, {}, designSize);
        timeRun(empty, {QStringLiteral("--full-screen")}, wholeScreen);
        timeRun(board, boardArgs, full);
    }
    const double designMs = medianOf(designSize.toFrame);
    const double screenMs = medianOf(wholeScreen.toFrame);
    const double fullMs = medianOf(full.toFrame);
    std::printf("platform: %s\n",
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"))));
    std::printf("empty Qt window, 1028x753, start to first frame: %8.1f ms (median of %d)\n",
                designMs, runs);
    std::printf("empty Qt window over the whole screen, shown as the board is: %8.1f ms\n",
                screenMs);
    std::printf("full board (72 rooms), start to first frame: %8.1f ms (median of %d)\n", fullMs,
                runs);
    std::printf(
        "ratio: %.2f to the empty window of the design size, %.2f to the one over the "
        "whole screen (goal <= 1.5)\n",
        fullMs / designMs, fullMs / screenMs);
    std::printf("start to exit, for comparison: empty %.1f and %.1f ms, board %.1f ms\n",
                medianOf(designSize.toExit), medianOf(wholeScreen.toExit), medianOf(full.toExit));
    return 0;
}
