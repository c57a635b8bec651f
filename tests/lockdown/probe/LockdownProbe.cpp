// A stand-in board for the lockdown tests: one window and the kiosk backend,
// driven by lines on standard input ("arm", "disarm", "hide", "show",
// "state"). It answers each with "ok <command> grabbed=<0|1>", tells its X
// window as "window <id>" when first shown, and reports every key that
// reaches its window as "key <keys>".
#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>

#include "lockdown/KioskLockdown.h"

namespace {
void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class StandInBoard : public QWidget {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        say(QStringLiteral("key ") +
            QKeySequence(event->keyCombination()).toString(QKeySequence::PortableText));
    }
    void showEvent(QShowEvent*) override {
        if (told_) return;
        told_ = true;
        say(QStringLiteral("window %1").arg(winId()));
        say(QStringLiteral("ready"));
    }

private:
    bool told_ = false;
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    StandInBoard board;
    board.setWindowTitle(QStringLiteral("stand-in board"));
    board.setGeometry(0, 0, 400, 300);
    // The probe never talks to a login manager: its bus goes nowhere.
    KioskLockdown lockdown([] {}, QDBusConnection::connectToBus(
                                      QStringLiteral("unix:path=/nonexistent/tavolen-probe-bus"),
                                      QStringLiteral("nowhere")));
    board.show();

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, n);
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString command = QString::fromLatin1(pending.left(end)).trimmed();
            pending.remove(0, end + 1);
            if (command == QLatin1String("arm")) lockdown.armKeyboardFilter();
            if (command == QLatin1String("disarm")) lockdown.disarmKeyboardFilter();
            if (command == QLatin1String("hide")) lockdown.hideTaskBar();
            if (command == QLatin1String("show")) lockdown.showTaskBar();
            say(QStringLiteral("ok %1 grabbed=%2").arg(command).arg(lockdown.holdsKeyboard()));
        }
    });
    return app.exec();
}
