#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/Desk.h"
#include "app/FontSettings.h"
#include "app/PasswdCommand.h"
#include "app/ReportCommand.h"
#include "app/WebUserCommand.h"
#include "central/CentralCommand.h"
#include "platform/FirstFrame.h"

namespace {
// The board's fonts are named as the desk has always known them; the Nanum
// families stand in for them.
void substituteFonts() {
    QFont::insertSubstitutions(QStringLiteral("굴림체"), {QStringLiteral("NanumGothicCoding"),
                                                          QStringLiteral("NanumGothic")});
    QFont::insertSubstitutions(QStringLiteral("굴림"), {QStringLiteral("NanumGothic"),
                                                        QStringLiteral("NanumGothicCoding")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("NanumGothic")});
    QFont base(QStringLiteral("굴림"));
    base.setPixelSize(12);
    QApplication::setFont(base);
}
int runBoard(const CommandLine& line, int& argc, char** argv) {
    // Qt's own dialogs, which the program can make read-only (FileDialogGuard).
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavolen"));
    QApplication::setApplicationVersion(QStringLiteral(TAVOLEN_VERSION));
    substituteFonts();
    // The standard buttons of every box and dialog ("예", "아니요", "확인")
    // and the calendar speak Korean.
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    QTranslator qtKorean;
    if (qtKorean.load(QStringLiteral("qtbase_ko"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtKorean);

    const QString programDir = QApplication::applicationDirPath();
    const QString dataDir =
        line.has(QStringLiteral("data-dir")) ? line.value(QStringLiteral("data-dir")) : programDir;
    if (!QDir().mkpath(dataDir)) {
        std::fprintf(stderr, "tavolen: cannot use data directory %s\n", qPrintable(dataDir));
        return 2;
    }

    const bool windowed = line.has(QStringLiteral("windowed"));
    Desk desk({dataDir, programDir, windowed});

    if (line.has(QStringLiteral("quit-after"))) {
        desk.window().setAllowClose(true);
        QTimer::singleShot(line.value(QStringLiteral("quit-after")).toInt(), &app,
                           &QApplication::quit);
    }
    FirstFrameQuit firstFrame;
    if (line.has(QStringLiteral("quit-after-first-frame"))) {
        desk.window().setAllowClose(true);
        desk.window().installEventFilter(&firstFrame);
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Read before any application object exists: nothing here needs a display.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(args);
    if (line.action != CommandLine::Action::Run) return answerWithoutRunning(line);
    useProgramFontSettings(runningProgramDir());
    if (line.command == QLatin1String("report")) return runReportCommand(line, argc, argv);
    if (line.command == QLatin1String("passwd")) return runPasswdCommand(line, argc, argv);
    if (line.command == QLatin1String("web-user"))
        return runWebUserCommand(line, argc, argv).exitCode;
    if (line.command == QLatin1String("central")) return runCentralCommand(args);
    return runBoard(line, argc, argv);
}
