#include "app/WebUserCommand.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <exception>

#include "app/CommandLine.h"
#include "app/DeskTerminal.h"
#include "store/Database.h"

namespace {

WebUserOutcome fail(const QString& message) {
    std::fprintf(stderr, "tavolen web-user: %s\n", message.toLocal8Bit().constData());
    return {2, std::nullopt};
}

bool askTwice(QString& fresh, QString& repeat) {
    return askHidden("new password: ", fresh) && askHidden("again: ", repeat);
}

}  // namespace

WebUserOutcome runWebUserCommand(const CommandLine& line, int& argc, char** argv) {
    const QString verb = line.arguments.value(0);
    const QString name = line.arguments.value(1);
    const bool needsName = verb != QLatin1String("list");
    if (!QStringList{"add", "passwd", "remove", "list"}.contains(verb))
        return fail(QStringLiteral("unknown request '%1' (add, passwd, remove or list)").arg(verb));
    if (needsName != (line.arguments.size() == 2))
        return fail(needsName ? QStringLiteral("%1 takes the account's name").arg(verb)
                              : QStringLiteral("list takes no name"));
    if (line.has(QStringLiteral("downloads")) && verb != QLatin1String("add"))
        return fail(QStringLiteral("--downloads goes with add"));

    QCoreApplication app(argc, argv);
    QString dataDir;
    const QString problem = deskDataDirProblem(line, dataDir);
    if (!problem.isEmpty()) return fail(problem);
    // A database made here would hold none of the desk's passwords: its first start makes it.
    if (!QFileInfo::exists(QDir(dataDir).filePath(QStringLiteral("DB/motel.db"))))
        return fail(QStringLiteral("no database in %1 yet: start the desk once, then add the "
                                   "accounts")
                        .arg(dataDir));
    restoreTerminalOnSignals();

    WebUserOutcome outcome;
    try {
        Database db(dataDir);
        // Whatever the database holds, this never brings the desk's default passwords back.
        db.open(Database::Installation::SetUp);
        WebAccounts accounts(db.connection());
        const QDateTime now = QDateTime::currentDateTime();
        if (verb == QLatin1String("list")) {
            for (const WebAccount& a : accounts.list())
                std::printf("%s\t%s\t%s\n", a.name.toLocal8Bit().constData(),
                            a.downloads ? "downloads" : "read-only",
                            a.changed.toLocal8Bit().constData());
            return outcome;
        }
        if (verb == QLatin1String("remove")) {
            outcome.change = accounts.remove(name);
        } else {
            // Refused before a password is asked for.
            const QString bad = WebAccounts::nameProblem(name);
            if (!bad.isEmpty()) return fail(bad + QStringLiteral("; nothing changed"));
            QString fresh, repeat;
            if (!askTwice(fresh, repeat))
                return fail(QStringLiteral("no password given; nothing changed"));
            outcome.change =
                verb == QLatin1String("add")
                    ? accounts.add(name, fresh, repeat, line.has(QStringLiteral("downloads")), now)
                    : accounts.changePassword(name, fresh, repeat, now);
        }
    } catch (const WebAccountRefused& e) {
        return fail(e.text() + QStringLiteral("; nothing changed"));
    } catch (const std::exception& e) {
        return fail(errorText(e));
    }
    const char* done = outcome.change->kind == WebAccountChange::Kind::Added ? "added"
                       : outcome.change->kind == WebAccountChange::Kind::Removed
                           ? "removed"
                           : "password changed";
    std::printf("web account %s %s\n", outcome.change->name.toLocal8Bit().constData(), done);
    return outcome;
}
