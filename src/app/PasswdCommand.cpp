#include "app/PasswdCommand.h"

#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>
#include <string>

#include "app/CommandLine.h"
#include "auth/PasswordRules.h"
#include "platform/Errors.h"
#include "store/Database.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "tavolen passwd: %s\n", message.toLocal8Bit().constData());
    return 2;
}

int gradeOf(const QString& word) {
    if (word == QLatin1String("1") || word == QLatin1String("user")) return 1;
    if (word == QLatin1String("2") || word == QLatin1String("windows")) return 2;
    if (word == QLatin1String("3") || word == QLatin1String("supplier")) return 3;
    return 0;
}

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

// Asks for one line; a terminal does not show what is typed.
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

QString ownerName(uint id) {
    const passwd* entry = getpwuid(id);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(id);
}

}  // namespace

int runPasswdCommand(const CommandLine& line, int& argc, char** argv) {
    const int grade = gradeOf(line.arguments.value(0));
    if (grade == 0)
        return fail(QStringLiteral("unknown grade '%1' (1 user, 2 Windows use, 3 supplier)")
                        .arg(line.arguments.value(0)));
    QCoreApplication app(argc, argv);
    const QString dataDir = line.has(QStringLiteral("data-dir"))
                                ? line.value(QStringLiteral("data-dir"))
                                : QCoreApplication::applicationDirPath();
    const QDir dir(dataDir);
    // A mistyped directory would otherwise get a database of its own.
    if (!dir.exists() || (!dir.exists(QStringLiteral("DB/motel.db")) &&
                          !dir.exists(QStringLiteral("TavolenConfig.ini"))))
        return fail(
            QStringLiteral("no desk data in %1 (TavolenConfig.ini or DB/motel.db)").arg(dataDir));
    // Files the superuser made in the database's directory would keep the
    // board from writing there.
    const uint owner = QFileInfo(dataDir).ownerId();
    if (geteuid() == 0 && owner != 0)
        return fail(QStringLiteral("run it as the owner of %1: sudo -u %2 tavolen passwd ...")
                        .arg(dataDir, ownerName(owner)));

    struct sigaction interrupt = {};
    interrupt.sa_handler = onInterrupt;
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGTERM, &interrupt, nullptr);
    sigaction(SIGHUP, &interrupt, nullptr);

    try {
        Database db(dataDir);
        // Whatever the database holds, this never brings the defaults back.
        db.open(Database::Installation::SetUp);
        QString fresh, repeat;
        if (!askHidden("new password: ", fresh) || !askHidden("again: ", repeat))
            return fail(QStringLiteral("no password given; nothing changed"));
        const QString refused = PasswordRules::restore(db, grade, fresh, repeat);
        if (!refused.isEmpty()) return fail(refused + QStringLiteral("; nothing changed"));
    } catch (const std::exception& e) {
        return fail(errorText(e));
    }
    std::printf("password of grade %d set\n", grade);
    return 0;
}
