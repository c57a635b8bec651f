#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The program's command line, read before anything else exists (no
// application object, no display), so that a mistyped scheduled job never
// starts the board and --help works on a machine without a screen.
//
//   tavolen [OPTIONS] [COMMAND ARGUMENTS...]
//
// Options and the command's words may come in any order. Every command is
// one entry of a table: its word, how many words follow it and the options
// it takes. --data-dir, --help and --version go with every command.

struct CommandOption {
    QString name;       // without the dashes
    QString valueName;  // empty for a switch
    QString help;
    // Checks a value; returns why it is bad, or an empty text.
    std::function<QString(const QString&)> check = {};
};

struct CommandSpec {
    QString name;       // the command's word; empty for the board itself
    QString arguments;  // the words after it, as the usage shows them
    int minArguments = 0;
    int maxArguments = 0;
    QList<CommandOption> options;
    QString help;
};

struct CommandLine {
    enum class Action {
        Run,      // run `command`
        Help,     // print the usage, exit 0
        Version,  // print the version, exit 0
        Usage,    // a mistake: print `error` and the usage, exit 2
    };
    Action action = Action::Run;
    QString command;  // empty: the board
    QStringList arguments;
    QHash<QString, QString> options;  // by name; a switch has an empty value
    QString error;

    bool has(const QString& name) const { return options.contains(name); }
    QString value(const QString& name) const { return options.value(name); }
};

// The commands of tavolen: the board, report, passwd, web-user and central.
const QList<CommandSpec>& tavolenCommands();

// `args` without the program's name.
CommandLine parseCommandLine(const QStringList& args,
                             const QList<CommandSpec>& commands = tavolenCommands());

QString usageText(const QList<CommandSpec>& commands = tavolenCommands());
QString versionText();

// Prints what the action asks for and returns the exit code, for every
// action but Run.
int answerWithoutRunning(const CommandLine& line);
