#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "app/CommandLine.h"
#include "support/StoreHelpers.h"

namespace {

using Action = CommandLine::Action;

TEST(CommandLine, CommandsAndOptionsInAnyOrder) {
    const struct Case {
        QStringList args;
        Action action;
        QString command;    // for Run
        QStringList words;  // for Run
        QString errorPart;  // for Usage
        QHash<QString, QString> options = {};
    } cases[] = {
        {{}, Action::Run, "", {}, ""},
        {{"--windowed", "--data-dir", "/d"},
         Action::Run,
         "",
         {},
         "",
         {{"windowed", ""}, {"data-dir", "/d"}}},
        {{"--quit-after=250"}, Action::Run, "", {}, "", {{"quit-after", "250"}}},
        // Options before the command, between its words and after them.
        {{"--hour", "5", "report", "day", "2006-04-01", "--out", "x.csv"},
         Action::Run,
         "report",
         {"day", "2006-04-01"},
         "",
         {{"hour", "5"}, {"out", "x.csv"}}},
        {{"report", "--out=x.csv", "month", "--data-dir", "/d", "2006-04"},
         Action::Run,
         "report",
         {"month", "2006-04"},
         "",
         {{"out", "x.csv"}, {"data-dir", "/d"}}},
        {{"--data-dir", "/d", "passwd", "3"},
         Action::Run,
         "passwd",
         {"3"},
         "",
         {{"data-dir", "/d"}}},
        // A value that looks like a command word is still the option's value.
        {{"--data-dir", "report", "passwd", "1"},
         Action::Run,
         "passwd",
         {"1"},
         "",
         {{"data-dir", "report"}}},

        {{"--help"}, Action::Help, "", {}, ""},
        {{"reprot", "-h"}, Action::Help, "", {}, ""},
        {{"report", "day", "--version"}, Action::Version, "", {}, ""},
        {{"-v"}, Action::Version, "", {}, ""},

        {{"reprot", "day", "2006-04-01"}, Action::Usage, "", {}, "unknown command 'reprot'"},
        {{"--windowed", "extra"}, Action::Usage, "", {}, "unknown command 'extra'"},
        {{"report", "day", "2006-04-01", "x", "--out", "f.csv"},
         Action::Usage,
         "",
         {},
         "stray argument 'x'"},
        {{"passwd", "3", "4"}, Action::Usage, "", {}, "stray argument '4'"},
        {{"report", "day", "--out", "f.csv"}, Action::Usage, "", {}, "report needs"},
        {{"passwd"}, Action::Usage, "", {}, "passwd needs: GRADE"},
        {{"--hour", "5"}, Action::Usage, "", {}, "--hour does not go with the board"},
        {{"report", "day", "d", "--out", "f.csv", "--windowed"},
         Action::Usage,
         "",
         {},
         "--windowed does not go with report"},
        {{"--frobnicate"}, Action::Usage, "", {}, "unknown option --frobnicate"},
        {{"-platform", "xcb"}, Action::Usage, "", {}, "unknown option -platform"},
        {{"--data-dir"}, Action::Usage, "", {}, "--data-dir needs DIR"},
        {{"--windowed=1"}, Action::Usage, "", {}, "--windowed takes no value"},
        {{"--data-dir", "a", "--data-dir", "b"}, Action::Usage, "", {}, "--data-dir given twice"},
        {{"report", "day", "d", "--out", "f.csv", "--hour", "24"},
         Action::Usage,
         "",
         {},
         "--hour: bad hour '24'"},
        {{"--quit-after", "soon"}, Action::Usage, "", {}, "--quit-after: 'soon'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine line = parseCommandLine(c.args);
        EXPECT_EQ(line.action, c.action) << line.error.toStdString();
        if (c.action == Action::Run) {
            EXPECT_EQ(line.command, c.command);
            EXPECT_EQ(line.arguments, c.words);
            EXPECT_EQ(line.options, c.options);
        }
        if (c.action == Action::Usage) {
            EXPECT_TRUE(line.error.contains(c.errorPart)) << line.error.toStdString();
        }
    }
}

TEST(CommandLine, ANewCommandIsOneMoreEntry) {
    QList<CommandSpec> commands = tavolenCommands();
    commands.append({"audit", "show ...", 1, 2, {{"since", "DATE", "from this day"}}, "an audit"});
    const CommandLine line =
        parseCommandLine({"--since", "2006-04-01", "audit", "show", "desk2"}, commands);
    ASSERT_EQ(line.action, Action::Run) << line.error.toStdString();
    EXPECT_EQ(line.command, "audit");
    EXPECT_EQ(line.arguments, (QStringList{"show", "desk2"}));
    EXPECT_EQ(line.value("since"), "2006-04-01");
    EXPECT_TRUE(usageText(commands).contains("tavolen audit show ..."));
    EXPECT_EQ(parseCommandLine({"--since", "x"}).action, Action::Usage);

    // The group ledger's command is such an entry: its options go with it alone.
    const CommandLine central = parseCommandLine(
        {"--connection", "host=/tmp", "central", "grant", "desk2", "desk2_role"});
    ASSERT_EQ(central.action, Action::Run) << central.error.toStdString();
    EXPECT_EQ(central.command, "central");
    EXPECT_EQ(central.arguments, (QStringList{"grant", "desk2", "desk2_role"}));
    EXPECT_EQ(parseCommandLine({"--connection", "x", "report", "day", "2006-04-01"}).action,
              Action::Usage);
}

// The program itself without a display: nothing that needs one may start,
// and a mistake starts nothing at all.
struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome runTavolen(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TAVOLEN_BIN_DIR "/tavolen"), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

TEST(CommandLine, TheProgramAnswersWithoutADisplayAndStartsNothingOnAMistake) {
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const struct Case {
        QStringList args;
        int exitCode;
        const char* out;  // in standard output
        const char* err;  // in standard error
    } cases[] = {
        {{"--help"}, 0, "tavolen report day YYYY-MM-DD | month YYYY-MM", ""},
        {{"report", "--help"}, 0, "tavolen passwd GRADE", ""},
        {{"--version"}, 0, "tavolen " TAVOLEN_TEST_VERSION, ""},
        {{"--data-dir", data, "reprot", "day", "2006-04-01", "--out", "x.csv"},
         2,
         "",
         "unknown command 'reprot'"},
        {{"--data-dir", data, "--hour", "5"}, 2, "", "usage: tavolen"},
        {{"--data-dir", data, "passwd", "3", "again"}, 2, "", "stray argument 'again'"},
        {{"--data-dir", data, "passwd", "7"}, 2, "", "unknown grade '7'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Outcome r = runTavolen(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(data)) << "a mistake made the data directory";
    }
}

TEST(CommandLine, OptionsBeforeTheReportCommand) {
    QTemporaryDir dir;
    copyFreshDatabase(dir.path());
    const QString out = dir.filePath("day.csv");
    const Outcome r = runTavolen(
        {"--hour", "5", "--data-dir", dir.path(), "report", "day", "2006-04-01", "--out", out});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out));
}

}  // namespace
