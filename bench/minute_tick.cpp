// The minute tick on a full board (72 running stay clocks, all shown, a morning call for every
// room) with its window attached, beside an empty handler called the same way. The purges of
// the tables are left out: they are the database's cost, not the board's.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchFigures.h"
#include "board/BoardModel.h"
#include "board/StayTime.h"
#include "board/ui/BoardWindow.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SoundPlayer.h"
#include "store/IniStore.h"

using Steady = std::chrono::steady_clock;

namespace {

constexpr int kTicks = 2000;
const QDateTime kStart(QDate(2024, 6, 15), QTime(21, 0));

class SteppedClock : public Clock {
public:
    QDateTime now() const override { return t_; }
    void advanceMinutes(int m) { t_ = t_.addSecs(60 * m); }

private:
    QDateTime t_ = kStart;
};

class CountingSound : public SoundPlayer {
public:
    void play(const QString&) override { ++played; }
    int played = 0;
};

class CountingDialogs : public Dialogs {
public:
    void showError(const QString& text) override { shown.append(text); }
    void showInfo(const QString& text) override { shown.append(text); }
    bool askYesNo(const QString& text) override {
        shown.append(text);
        return false;
    }
    QStringList shown;
};

// Every room in a stay whose clock is shown; the stays began 170 to 241 minutes ago, so their
// boxes turn lime during the run, and every room's morning call falls within it.
void writeFullBoard(const QString& dataDir) {
    const QString states[] = {QStringLiteral("대 실"), QStringLiteral("숙 박"),
                              QStringLiteral("청 소"), QStringLiteral("외 출")};
    IniStore ini(QDir(dataDir).filePath(QLatin1String(BoardModel::kIniName)));
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const QString k = QStringLiteral("r%1").arg(n);
        ini.writeString(QStringLiteral("Name"), QStringLiteral("LName%1").arg(n),
                        QString::number(100 + n));
        ini.writeInteger(QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), 1);
        ini.writeInteger(QStringLiteral("RoomKey"), k, 128 + n);
        ini.writeString(QStringLiteral("rStatus"), k, states[n % 4]);
        ini.writeInteger(QStringLiteral("Sleep"), k, n % 2);
        ini.writeString(QStringLiteral("Time"), k,
                        StayTime::startingAt(kStart.addSecs(-60 * (169 + n))).stored());
        ini.writeString(QStringLiteral("TimeEnd"), k, QStringLiteral("9:5"));
        ini.writeString(QStringLiteral("Alram"), k,
                        kStart.addSecs(60 * 20 * n).toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    }
}

double msSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    writeFullBoard(dir.path());

    SteppedClock clock;
    CountingSound sound;
    CountingDialogs dialogs;
    NoLockdown lockdown;
    DeskSession session;
    Assets assets(dir.path(), QCoreApplication::applicationDirPath());
    BoardModel board({clock, sound, dialogs, lockdown, assets, session});
    BoardWindow window(board, assets);
    window.setAllowClose(true);
    board.startUp(dir.path());
    window.show();
    board.onSecondTick();
    QCoreApplication::processEvents();

    // Called the way the minute timer calls its handler.
    const std::function<void()> empty = [] {};
    const std::function<void()> tick = [&] { board.onMinuteTick(); };

    std::vector<double> emptyMs, tickMs, paintMs;
    for (int i = 0; i < kTicks; ++i) {
        clock.advanceMinutes(1);
        Steady::time_point start = Steady::now();
        empty();
        emptyMs.push_back(msSince(start));
        start = Steady::now();
        tick();
        tickMs.push_back(msSince(start));
        start = Steady::now();
        QCoreApplication::processEvents();
        paintMs.push_back(msSince(start));
    }

    int running = 0;
    for (int n = 1; n <= BoardModel::kSlots; ++n) running += board.slot(n).clockRunning;
#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "debug build";
#endif
    std::printf(
        "minute_tick (%s, platform %s): %d ticks, %d running clocks, %d morning calls "
        "rung, %lld boxes shown\n",
        build, qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM")), kTicks, running, sound.played,
        static_cast<long long>(dialogs.shown.size()));
    std::printf("  empty handler:    median %.4f ms, p99 %.4f ms   (baseline)\n",
                percentile(emptyMs, 0.5), percentile(emptyMs, 0.99));
    std::printf("  onMinuteTick:     median %.3f ms, p99 %.3f ms   (goal < 2 ms)\n",
                percentile(tickMs, 0.5), percentile(tickMs, 0.99));
    std::printf("  repaint after it: median %.3f ms, p99 %.3f ms\n", percentile(paintMs, 0.5),
                percentile(paintMs, 0.99));
    return dialogs.shown.isEmpty() ? 0 : 1;
}
