// Opening the morning-call and memo list on a board of 72 rooms, each with a call and a memo,
// until the list's first frame is painted; beside it an empty dialog opened the same way.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

#include "BenchFigures.h"
#include "admin/MorningCallWindow.h"
#include "board/BoardModel.h"
#include "lockdown/Lockdown.h"
#include "platform/Assets.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/SoundPlayer.h"
#include "store/IniStore.h"

namespace {

constexpr int kRuns = 40;

class QuietSound : public SoundPlayer {
public:
    void play(const QString&) override {}
};

class CountingDialogs : public Dialogs {
public:
    void showError(const QString&) override { ++shown; }
    void showInfo(const QString&) override { ++shown; }
    bool askYesNo(const QString&) override { return ++shown, false; }
    int shown = 0;
};

// Notes the first paint of the watched widget.
class FirstPaint : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return QObject::eventFilter(watched, event);
    }
};

void writeFullBoard(const QString& dataDir) {
    QList<IniStore::Change> entries;
    for (int n = 1; n <= BoardModel::kSlots; ++n) {
        const QString k = QStringLiteral("r%1").arg(n);
        entries +=
            {{QStringLiteral("Name"), QStringLiteral("LName%1").arg(n), QString::number(100 + n)},
             {QStringLiteral("Panel"), QStringLiteral("P%1").arg(n), QStringLiteral("1")},
             {QStringLiteral("Alram"), k,
              QStringLiteral("2030-01-01 07:%1").arg(n % 60, 2, 10, QLatin1Char('0'))},
             {QStringLiteral("Memo"), k,
              QStringLiteral("%1호 손님 메모: 늦은 입실, 수건 추가").arg(100 + n)}};
    }
    IniStore(QDir(dataDir).filePath(QLatin1String(BoardModel::kIniName))).writeStrings(entries);
}

// Milliseconds from creating the window to its first painted frame.
double openToFirstPaint(const std::function<QDialog*()>& make, QWidget* watchedOf(QDialog*)) {
    QElapsedTimer t;
    t.start();
    QDialog* window = make();
    FirstPaint first;
    watchedOf(window)->installEventFilter(&first);
    window->show();
    while (!first.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    window->close();
    delete window;
    QCoreApplication::processEvents();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    writeFullBoard(dir.path());

    SystemClock clock;
    QuietSound sound;
    CountingDialogs dialogs;
    NoLockdown lockdown;
    DeskSession session;
    Assets assets(dir.path(), QCoreApplication::applicationDirPath());
    BoardModel board({clock, sound, dialogs, lockdown, assets, session});
    board.startUp(dir.path());

    std::vector<double> emptyMs, listMs;
    int rows = 0;
    for (int i = 0; i < kRuns; ++i) {
        emptyMs.push_back(
            openToFirstPaint([] { return new QDialog; }, [](QDialog* d) -> QWidget* { return d; }));
        listMs.push_back(openToFirstPaint(
            [&] {
                auto* w = new MorningCallWindow(board);
                rows = w->grid()->rowCount();
                return static_cast<QDialog*>(w);
            },
            [](QDialog* d) -> QWidget* {
                return static_cast<MorningCallWindow*>(d)->grid()->viewport();
            }));
    }
#ifdef NDEBUG
    const char* build = "optimised build";
#else
    const char* build = "debug build";
#endif
    std::printf("memo_list_open (%s, platform %s): %d openings, %d rooms listed, %d boxes shown\n",
                build, qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM")), kRuns, rows,
                dialogs.shown);
    std::printf("  empty dialog to first paint:   median %.2f ms, p99 %.2f ms   (baseline)\n",
                percentile(emptyMs, 0.5), percentile(emptyMs, 0.99));
    std::printf("  memo list to first paint:      median %.2f ms, p99 %.2f ms   (goal < 100 ms)\n",
                percentile(listMs, 0.5), percentile(listMs, 0.99));
    return rows == BoardModel::kSlots && dialogs.shown == 0 ? 0 : 1;
}
