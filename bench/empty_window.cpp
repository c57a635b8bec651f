// An empty Qt window, the yardstick of the board's start-up (bench_startup): it tells when its
// first frame has reached the screen, as the board does, and ends.
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "../src/platform/FirstFrame.h"

namespace {
class QuitOnPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, qApp, [] {
                announceFirstFrame();
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};
}  // namespace

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
    QuitOnPaint quit;
    window.installEventFilter(&quit);
    if (app.arguments().contains(QStringLiteral("--full-screen")))
        window.showMaximized();
    else
        window.show();
    return app.exec();
}
