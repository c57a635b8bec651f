#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QTimer>
#include <cstdio>

#include "app/Desk.h"

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
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavolen"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    substituteFonts();

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
    parser.addOption(dataDirOption);
    parser.addOption(windowedOption);
    parser.addOption(quitAfterOption);
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
    return app.exec();
}
