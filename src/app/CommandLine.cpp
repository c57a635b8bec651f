#include "app/CommandLine.h"

#include <cstdio>

namespace {

const QString kDataDir = QStringLiteral("data-dir");
const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");

QString checkCount(const QString& value, int low, int high) {
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n >= low && n <= high) return QString();
    return QStringLiteral("'%1' is not a number from %2 to %3").arg(value).arg(low).arg(high);
}

// Go with every command.
QList<CommandOption> commonOptions() {
    return {
        {kDataDir, QStringLiteral("DIR"),
         QStringLiteral("the data directory (default: the program's own)")},
        {kHelp, QString(), QStringLiteral("show this text")},
        {kVersion, QString(), QStringLiteral("show the version")},
    };
}

const CommandOption* findOption(const QList<CommandOption>& options, const QString& name) {
    for (const CommandOption& o : options)
        if (o.name == name) return &o;
    return nullptr;
}

// Any command's option of that name: whether it takes a value is known before
// the command is.
const CommandOption* anyOption(const QList<CommandSpec>& commands, const QString& name) {
    static const QList<CommandOption> common = commonOptions();
    if (const CommandOption* o = findOption(common, name)) return o;
    for (const CommandSpec& c : commands)
        if (const CommandOption* o = findOption(c.options, name)) return o;
    return nullptr;
}

const CommandSpec* findCommand(const QList<CommandSpec>& commands, const QString& name) {
    for (const CommandSpec& c : commands)
        if (c.name == name) return &c;
    return nullptr;
}

QString displayName(const CommandSpec& spec) {
    return spec.name.isEmpty() ? QStringLiteral("the board") : spec.name;
}

CommandLine mistake(const QString& error) {
    CommandLine line;
    line.action = CommandLine::Action::Usage;
    line.error = error;
    return line;
}

// The settlement hour, taken by the report and by the group's report alike.
CommandOption hourOption() {
    return {QStringLiteral("hour"), QStringLiteral("H"),
            QStringLiteral("settlement hour (default: CashTime/start)"), [](const QString& v) {
                return checkCount(v, 0, 23).isEmpty()
                           ? QString()
                           : QStringLiteral("bad hour '%1' (0 to 23)").arg(v);
            }};
}

}  // namespace

const QList<CommandSpec>& tavolenCommands() {
    static const QList<CommandSpec> commands{
        {QString(),
         QString(),
         0,
         0,
         {{QStringLiteral("windowed"), QString(),
           QStringLiteral("show the board in an ordinary window that can be closed")},
          {QStringLiteral("quit-after"), QStringLiteral("MS"),
           QStringLiteral("end after MS milliseconds (tests)"),
           [](const QString& v) { return checkCount(v, 0, 1 << 30); }},
          {QStringLiteral("quit-after-first-frame"), QString(),
           QStringLiteral("end once the board is painted (benchmarks)")}},
         QStringLiteral("runs the desk's board")},
        {QStringLiteral("report"),
         QStringLiteral("day YYYY-MM-DD | month YYYY-MM"),
         2,
         2,
         {hourOption(),
          {QStringLiteral("out"), QStringLiteral("FILE"),
           QStringLiteral("the file to write: .xlsx, .xls, .pdf or .csv")}},
         QStringLiteral("writes the settlement of a day or a month, without a display")},
        {QStringLiteral("passwd"),
         QStringLiteral("GRADE"),
         1,
         1,
         {},
         QStringLiteral("sets the password of grade 1 (user), 2 (Windows use) or 3 (supplier), "
                        "read twice from the terminal")},
        {QStringLiteral("web-user"),
         QStringLiteral("add NAME | passwd NAME | remove NAME | list"),
         1,
         2,
         {{QStringLiteral("downloads"), QString(),
           QStringLiteral("with add: the account may fetch the report files too")}},
         QStringLiteral("the live view's own accounts; a password (10 characters or more) is "
                        "read twice from the terminal")},
        {QStringLiteral("central"),
         QStringLiteral("init | grant SITE ROLE | report day YYYY-MM-DD | report month YYYY-MM "
                        "| watch"),
         1,
         3,
         {{QStringLiteral("connection"), QStringLiteral("CONNINFO"),
           QStringLiteral("the central server (default: Central/Connection)")},
          hourOption(),
          {QStringLiteral("out"), QStringLiteral("FILE"),
           QStringLiteral("the group report's file: .xlsx, .csv or .pdf")},
          {QStringLiteral("trail"), QString(),
           QStringLiteral("with report month: the desks' trail of actions, per site")},
          {QStringLiteral("minutes"), QStringLiteral("N"),
           QStringLiteral("with watch: alert for each site silent for more than N minutes"),
           [](const QString& v) { return checkCount(v, 1, 7 * 24 * 60); }},
          {QStringLiteral("settings"), QStringLiteral("FILE"),
           QStringLiteral("with watch: its own settings ([Alert], [Central]); what it told "
                          "is kept beside it")}},
         QStringLiteral("the group's central ledger: its schema, a site's role, group reports, "
                        "the watch over silent desks")},
    };
    return commands;
}

CommandLine parseCommandLine(const QStringList& args, const QList<CommandSpec>& commands) {
    QStringList words;
    QHash<QString, QString> options;
    bool help = false;
    bool version = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h")) {
            help = true;
            continue;
        }
        if (a == QLatin1String("-v")) {
            version = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            if (a.startsWith(QLatin1Char('-')) && a.size() > 1)
                return mistake(QStringLiteral("unknown option %1").arg(a));
            words << a;
            continue;
        }
        const qsizetype eq = a.indexOf(QLatin1Char('='));
        const QString name = a.mid(2, eq < 0 ? -1 : eq - 2);
        const CommandOption* option = anyOption(commands, name);
        if (!option) return mistake(QStringLiteral("unknown option --%1").arg(name));
        QString value;
        if (option->valueName.isEmpty()) {
            if (eq >= 0) return mistake(QStringLiteral("--%1 takes no value").arg(name));
        } else if (eq >= 0) {
            value = a.mid(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return mistake(QStringLiteral("--%1 needs %2").arg(name, option->valueName));
        }
        if (name == kHelp) help = true;
        if (name == kVersion) version = true;
        if (options.contains(name)) return mistake(QStringLiteral("--%1 given twice").arg(name));
        options.insert(name, value);
    }
    if (help) {
        CommandLine line;
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (version) {
        CommandLine line;
        line.action = CommandLine::Action::Version;
        return line;
    }

    const CommandSpec* spec = findCommand(commands, words.isEmpty() ? QString() : words.first());
    if (spec && !spec->name.isEmpty()) words.removeFirst();
    if (!spec) spec = findCommand(commands, QString());
    if (!spec || (spec->name.isEmpty() && spec->maxArguments < words.size()))
        return mistake(QStringLiteral("unknown command '%1'").arg(words.first()));
    if (words.size() > spec->maxArguments)
        return mistake(QStringLiteral("stray argument '%1'").arg(words[spec->maxArguments]));
    if (words.size() < spec->minArguments)
        return mistake(QStringLiteral("%1 needs: %2").arg(spec->name, spec->arguments));

    static const QList<CommandOption> common = commonOptions();
    for (auto it = options.cbegin(); it != options.cend(); ++it) {
        const CommandOption* option = findOption(spec->options, it.key());
        if (!option) option = findOption(common, it.key());
        if (!option)
            return mistake(
                QStringLiteral("--%1 does not go with %2").arg(it.key(), displayName(*spec)));
        if (option->check) {
            const QString bad = option->check(it.value());
            if (!bad.isEmpty()) return mistake(QStringLiteral("--%1: %2").arg(it.key(), bad));
        }
    }

    CommandLine line;
    line.command = spec->name;
    line.arguments = words;
    line.options = options;
    return line;
}

QString usageText(const QList<CommandSpec>& commands) {
    QString text = QStringLiteral("usage: tavolen [--data-dir DIR] [COMMAND ...] [OPTIONS]\n\n");
    auto optionLine = [](const CommandOption& o) {
        const QString left = QStringLiteral("--") + o.name +
                             (o.valueName.isEmpty() ? QString() : QLatin1Char(' ') + o.valueName);
        return QStringLiteral("    %1  %2\n").arg(left, -26).arg(o.help);
    };
    for (const CommandSpec& c : commands) {
        QString synopsis = QStringLiteral("tavolen");
        if (!c.name.isEmpty()) synopsis += QLatin1Char(' ') + c.name;
        if (!c.arguments.isEmpty()) synopsis += QLatin1Char(' ') + c.arguments;
        text += QStringLiteral("  %1\n      %2\n").arg(synopsis, c.help);
        for (const CommandOption& o : c.options) text += optionLine(o);
    }
    text += QStringLiteral("\nwith every command:\n");
    for (const CommandOption& o : commonOptions()) text += optionLine(o);
    return text;
}

QString versionText() { return QStringLiteral("tavolen " TAVOLEN_VERSION); }

int answerWithoutRunning(const CommandLine& line) {
    switch (line.action) {
        case CommandLine::Action::Help:
            std::fputs(usageText().toLocal8Bit().constData(), stdout);
            return 0;
        case CommandLine::Action::Version:
            std::printf("%s\n", versionText().toLocal8Bit().constData());
            return 0;
        case CommandLine::Action::Usage:
            std::fprintf(stderr, "tavolen: %s\n\n%s", line.error.toLocal8Bit().constData(),
                         usageText().toLocal8Bit().constData());
            return 2;
        case CommandLine::Action::Run:
            break;
    }
    return 0;
}
