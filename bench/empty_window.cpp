// An empty Qt window, the yardstick of the board's start-up (bench_startup): it tells when its
// first frame has reached the screen, as the board does, and ends.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "../src/platform/FirstFrame.h"

// Says when its first frame has reached the screen and stays, for its resident memory to be
// read beside the board's (bench_desk_storm).
class FirstFrameStay : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, qApp, [] { announceFirstFrame(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

// With --stay it does not end after its first frame. With --full-screen the window is shown over
// the whole screen without a frame, the way the board shows itself; otherwise it has the board's
// design size.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    if (app.arguments().contains(QStringLiteral("--full-screen"))) {
        window.setWindowFlags(window.windowFlags() | Qt::FramelessWindowHint);
        window.setGeometry(window.screen()->geometry());
    } else {
        window.resize(1028, 753);
    }
    FirstFrameQuit quit;
    FirstFrameStay stay;
    if (app.arguments().contains(QStringLiteral("--stay")))
        window.installEventFilter(&stay);
    else
        window.installEventFilter(&quit);
    if (app.arguments().contains(QStringLiteral("--full-screen")))
        window.showMaximized();
    else
        window.show();
    return app.exec();
}
