#include "app/DeskTerminal.h"

#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <string>

#include "app/CommandLine.h"

namespace {

// The terminal's settings while echo is off, put back by a signal too.
termios savedTerminal;
volatile sig_atomic_t echoIsOff = 0;

void restoreTerminal() {
    if (echoIsOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    echoIsOff = 0;
}

extern "C" void onInterrupt(int signal) {
    if (echoIsOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    _exit(128 + signal);
}

// One line without its line end; false at the end of the input.
bool readLine(QString& into) {
    std::string line;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    into = QString::fromLocal8Bit(line.data(), static_cast<qsizetype>(line.size()));
    return true;
}

QString ownerName(uint id) {
    const passwd* entry = getpwuid(id);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(id);
}

}  // namespace

QString deskDataDirProblem(const CommandLine& line, QString& dataDir) {
    dataDir = line.has(QStringLiteral("data-dir")) ? line.value(QStringLiteral("data-dir"))
                                                   : QCoreApplication::applicationDirPath();
    const QDir dir(dataDir);
    // A mistyped directory would otherwise get a database of its own.
    if (!dir.exists() || (!dir.exists(QStringLiteral("DB/motel.db")) &&
                          !dir.exists(QStringLiteral("TavolenConfig.ini"))))
        return QStringLiteral("no desk data in %1 (TavolenConfig.ini or DB/motel.db)").arg(dataDir);
    // Files the superuser made in the database's directory would keep the
    // board from writing there.
    const uint owner = QFileInfo(dataDir).ownerId();
    if (geteuid() == 0 && owner != 0)
        return QStringLiteral("run it as the owner of %1: sudo -u %2 tavolen %3 ...")
            .arg(dataDir, ownerName(owner), line.command);
    return QString();
}

void restoreTerminalOnSignals() {
    struct sigaction interrupt = {};
    interrupt.sa_handler = onInterrupt;
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGTERM, &interrupt, nullptr);
    sigaction(SIGHUP, &interrupt, nullptr);
}

bool askHidden(const char* prompt, QString& into) {
    const bool terminal = isatty(STDIN_FILENO);
    if (!terminal) return readLine(into);
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    if (tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        echoIsOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    const bool read = readLine(into);
    restoreTerminal();
    return read;
}
