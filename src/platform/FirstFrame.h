#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <ctime>

// Says on standard output when the first frame has reached the screen, on the
// monotonic clock every process shares, so that whoever started the program
// can time its start-up without its exit.
inline void announceFirstFrame() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("first frame at %lld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
}

// Installed on a window: once its first paint has been flushed to the screen,
// says so and ends the program.
class FirstFrameQuit : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, qApp, [] {
                announceFirstFrame();
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};
