// An empty Qt window, the yardstick of the board's start-up (bench_startup): it tells when its
// first frame has reached the screen, as the board does, and ends.
#include <QApplication>
#include <QScreen>
#include <QWidget>

#include "../src/platform/FirstFrame.h"

// With --full-screen the window is shown over the whole screen without a frame, the way the
// board shows itself; otherwise it has the board's design size.
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
    window.installEventFilter(&quit);
    if (app.arguments().contains(QStringLiteral("--full-screen")))
        window.showMaximized();
    else
        window.show();
    return app.exec();
}
