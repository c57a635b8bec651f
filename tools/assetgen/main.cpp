#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "MediaFiles.h"
#include "Pictures.h"
#include "Sounds.h"

// Writes every picture and sound the program ships with into one directory.
// The output depends on nothing but this code (and the fonts for the
// program's name on the plate), so running it again gives the same files.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tavolen-assetgen <output directory>\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    int failures = 0;
    const auto report = [&failures](bool ok, const QString& path) {
        std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "cannot write",
                     qPrintable(path));
        failures += ok ? 0 : 1;
    };
    for (const Picture& picture : makePictures()) {
        const QString path = out.filePath(picture.file);
        report(media::writeBmp24(picture.image, path), path);
    }
    for (const Sound& sound : makeSounds()) {
        const QString path = out.filePath(sound.file);
        report(media::writeWav16Mono(sound.samples, path), path);
    }
    return failures == 0 ? 0 : 1;
}
