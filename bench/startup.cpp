// Start-up of the board from a full room-state file (72 rooms, every key set)
// to its first painted frame, beside the start-up of an empty Qt window, both
// as whole processes on the same display in the same run.
#include <pty.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "board/MinuteStamp.h"
#include "store/IniStore.h"

namespace {

void writeFullBoard(const QString& dir, const QString& port) {
    IniStore ini(QDir(dir).filePath(QStringLiteral("TavolenConfig.ini")));
    const QString states[] = {QStringLiteral("대 실"), QStringLiteral("숙 박"),
                              QStringLiteral("청 소"), QStringLiteral("퇴 실"),
                              QStringLiteral("외 출"), QStringLiteral("완 료")};
    const QString time = TimeText(QDateTime::currentDateTime().addSecs(-3600));
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

Runs timeRuns(const QString& program, const QStringList& args, int runs) {
    Runs r;
    for (int i = 0; i < runs; ++i) {
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
        r.toFrame.push_back((frame - start) / 1e6);
        r.toExit.push_back((exited - start) / 1e6);
    }
    return r;
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
    writeFullBoard(dir.path(), QString::fromLatin1(device));
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    const QString empty =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("bench_empty_window"));
    const QString board =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tavolen"));

    // Warm the caches (fonts, libraries) once for each.
    timeRuns(empty, {}, 1);
    timeRuns(board,
             {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--quit-after-first-frame")},
             1);

    const Runs emptyRuns = timeRuns(empty, {}, runs);
    const Runs fullRuns = timeRuns(
        board,
        {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--quit-after-first-frame")},
        runs);
    const double emptyMs = medianOf(emptyRuns.toFrame);
    const double fullMs = medianOf(fullRuns.toFrame);
    std::printf("platform: %s\n",
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"))));
    std::printf("empty Qt window, start to first frame: %8.1f ms (median of %d)\n", emptyMs,
                runs);
    std::printf("full board (72 rooms), start to first frame: %8.1f ms (median of %d)\n", fullMs,
                runs);
    std::printf("ratio: %.2f (goal <= 1.5)\n", fullMs / emptyMs);
    std::printf("start to exit, for comparison: empty %.1f ms, board %.1f ms (ratio %.2f)\n",
                medianOf(emptyRuns.toExit), medianOf(fullRuns.toExit),
                medianOf(fullRuns.toExit) / medianOf(emptyRuns.toExit));
    return 0;
}
