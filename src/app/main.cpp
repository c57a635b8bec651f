#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>

#include "app/Desk.h"
#include "app/ReportCommand.h"
#include "central/CentralCommand.h"

namespace {
// The board's fonts are named as the desk has always known them; the Nanum
// families stand in for them.
void substituteFonts() {
    QFont::insertSubstitutions(QStringLiteral("굴림체"),
                               {QStringLiteral("NanumGothicCoding"), QStringLiteral("NanumGothic")});
    QFont::insertSubstitutions(QStringLiteral("굴림"),
                               {QStringLiteral("NanumGothic"), QStringLiteral("NanumGothicCoding")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("NanumGothic")});
    QFont base(QStringLiteral("굴림"));
    base.setPixelSize(12);
    QApplication::setFont(base);
}
// Ends the program right after the board's first paint.
class FirstFrameQuit : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) QTimer::singleShot(0, qApp, &QApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};
}  // namespace

int main(int argc, char** argv) {
    if (isReportCommand(argc, argv)) return runReportCommand(argc, argv);
    if (const QStringList args = QStringList(argv + 1, argv + argc); isCentralCommand(args))
        return runCentralCommand(args);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavolen"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    substituteFonts();
    // The standard buttons of every box and dialog ("예", "아니요", "확인")
    // and the calendar speak Korean.
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    QTranslator qtKorean;
    if (qtKorean.load(QStringLiteral("qtbase_ko"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtKorean);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tavolen: the motel's front desk board"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption dataDirOption(QStringLiteral("data-dir"),
                                     QStringLiteral("Data directory (default: the program's own)."),
                                     QStringLiteral("DIR"));
    QCommandLineOption windowedOption(QStringLiteral("windowed"),
                                      QStringLiteral("Show the board in a normal window."));
    QCommandLineOption quitAfterOption(QStringLiteral("quit-after"),
                                       QStringLiteral("End after MS milliseconds (for tests)."),
                                       QStringLiteral("MS"));
    QCommandLineOption firstFrameOption(QStringLiteral("quit-after-first-frame"),
                                        QStringLiteral("End once the board is painted (for benchmarks)."));
    parser.addOption(dataDirOption);
    parser.addOption(windowedOption);
    parser.addOption(quitAfterOption);
    parser.addOption(firstFrameOption);
    parser.process(app);

    const QString programDir = QApplication::applicationDirPath();
    const QString dataDir =
        parser.isSet(dataDirOption) ? parser.value(dataDirOption) : programDir;
    if (!QDir().mkpath(dataDir)) {
        std::fprintf(stderr, "tavolen: cannot use data directory %s\n", qPrintable(dataDir));
        return 2;
    }

    const bool windowed = parser.isSet(windowedOption);
    Desk desk({dataDir, programDir, windowed});

    if (parser.isSet(quitAfterOption)) {
        desk.window().setAllowClose(true);
        QTimer::singleShot(parser.value(quitAfterOption).toInt(), &app, &QApplication::quit);
    }
    FirstFrameQuit firstFrame;
    if (parser.isSet(firstFrameOption)) {
        desk.window().setAllowClose(true);
        desk.window().installEventFilter(&firstFrame);
    }
    return app.exec();
}
