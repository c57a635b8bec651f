// tavolen-sim: a room controller on a pseudo-terminal. It prints the device to put in the
// board's ComPort setting, then sends the byte pairs of a script or of commands typed at
// its prompt.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "SimCommand.h"
#include "SimLine.h"

namespace {

// For the signal handler, which may only unlink and leave.
char linkToRemove[4096];

void leaveOnSignal(int) {
    if (linkToRemove[0] != '\0') unlink(linkToRemove);
    _exit(0);
}

QByteArray hexText(const QByteArray& bytes, qsizetype shown) {
    QByteArray text = bytes.left(shown).toHex(' ');
    if (bytes.size() > shown) text += " ...";
    return text;
}

void say(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

class Controller {
  public:
    explicit Controller(SimLine& line) : line_(line) {}

    // False once the command asks to quit.
    bool run(const SimCommand& command) {
        switch (command.kind) {
            case SimCommand::Kind::Nothing:
                return true;
            case SimCommand::Kind::Quit:
                return false;
            case SimCommand::Kind::Pace:
                baud_ = command.number;
                say(baud_ ? QStringLiteral("pace %1 bit/s").arg(baud_)
                          : QStringLiteral("pace off"));
                return true;
            case SimCommand::Kind::Wait:
                std::this_thread::sleep_for(std::chrono::milliseconds(command.number));
                return true;
            case SimCommand::Kind::Noise: {
                QByteArray bytes(command.number, '\0');
                std::uniform_int_distribution<int> byte(0, 255);
                for (char& b : bytes) b = char(byte(random_));
                send(bytes, QStringLiteral("noise"));
                return true;
            }
            case SimCommand::Kind::Send:
                send(command.bytes, command.note);
                return true;
        }
        return true;
    }

  private:
    void send(const QByteArray& bytes, const QString& note) {
        const qsizetype sent = line_.send(bytes, baud_);
        say(QStringLiteral("sent %1  (%2)").arg(QString::fromLatin1(hexText(bytes, 16)), note));
        if (sent < bytes.size())
            say(QStringLiteral("line full: %1 of %2 bytes not sent (is the board reading?)")
                    .arg(bytes.size() - sent)
                    .arg(bytes.size()));
    }

    SimLine& line_;
    int baud_ = 0;
    std::mt19937 random_{std::random_device{}()};
};

// Reads a whole script first, so that a mistake in it sends nothing.
bool readScript(const QString& path, std::vector<SimCommand>* commands) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "tavolen-sim: cannot read %s\n", qPrintable(path));
        return false;
    }
    QTextStream in(&file);
    for (int number = 1; !in.atEnd(); ++number) {
        SimCommand command;
        QString error;
        if (!SimCommand::parse(in.readLine(), &command, &error)) {
            std::fprintf(stderr, "%s:%d: %s\n", qPrintable(path), number, qPrintable(error));
            return false;
        }
        commands->push_back(command);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavolen-sim"));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "A room controller on a pseudo-terminal. The first line of output is the device for\n"
        "ComPort. Commands, from --script and then from standard input until quit or its end:\n"
        "  key N EVENT     key number N (0..127) sends code N+128, then EVENT (0..255)\n"
        "  code C EVENT    raw key code C (0..255), then EVENT\n"
        "  raw HEX ...     the bytes as given\n"
        "  noise N         N random bytes\n"
        "  pace BAUD       10 bit times per byte (e.g. 4800); 0 sends at once\n"
        "  wait MS         pause\n"
        "  quit            end\n"
        "A # starts a comment."));
    options.addHelpOption();
    const QCommandLineOption script(QStringLiteral("script"),
                                    QStringLiteral("Run the commands in FILE first."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Make PATH a symbolic link to the device."),
                                  QStringLiteral("PATH"));
    options.addOption(script);
    options.addOption(link);
    options.process(app);

    std::vector<SimCommand> scripted;
    if (options.isSet(script) && !readScript(options.value(script), &scripted)) return 2;

    SimLine line;
    QString error;
    if (!line.open(&error) || (options.isSet(link) && !line.link(options.value(link), &error))) {
        std::fprintf(stderr, "tavolen-sim: %s\n", qPrintable(error));
        return 1;
    }
    if (options.isSet(link)) {
        const QByteArray path = QFile::encodeName(options.value(link));
        if (size_t(path.size()) < sizeof linkToRemove)
            std::memcpy(linkToRemove, path.constData(), size_t(path.size()) + 1);
    }
    std::signal(SIGINT, leaveOnSignal);
    std::signal(SIGTERM, leaveOnSignal);
    std::signal(SIGHUP, leaveOnSignal);

    say(line.devicePath());

    Controller controller(line);
    for (const SimCommand& command : scripted)
        if (!controller.run(command)) return 0;

    const bool prompt = isatty(STDIN_FILENO);
    std::string text;
    for (;;) {
        if (prompt) {
            std::printf("sim> ");
            std::fflush(stdout);
        }
        if (!std::getline(std::cin, text)) return 0;
        SimCommand command;
        if (!SimCommand::parse(QString::fromLocal8Bit(text), &command, &error)) {
            say(QStringLiteral("error: %1").arg(error));
            continue;
        }
        if (!controller.run(command)) return 0;
    }
}
