#include "app/PasswdCommand.h"

#include <QCoreApplication>
#include <cstdio>
#include <exception>

#include "app/CommandLine.h"
#include "app/DeskTerminal.h"
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

}  // namespace

int runPasswdCommand(const CommandLine& line, int& argc, char** argv) {
    const int grade = gradeOf(line.arguments.value(0));
    if (grade == 0)
        return fail(QStringLiteral("unknown grade '%1' (1 user, 2 Windows use, 3 supplier)")
                        .arg(line.arguments.value(0)));
    QCoreApplication app(argc, argv);
    QString dataDir;
    const QString problem = deskDataDirProblem(line, dataDir);
    if (!problem.isEmpty()) return fail(problem);

    restoreTerminalOnSignals();
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
