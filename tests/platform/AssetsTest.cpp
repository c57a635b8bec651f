#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <vector>

#include "platform/Assets.h"
#include "support/StoreHelpers.h"

namespace {

struct AssetDirs {
    QTemporaryDir data;
    QTemporaryDir program;
    Assets assets{data.path(), program.path()};

    static void put(const QTemporaryDir& dir, const char* name) {
        writeBytes(QDir(dir.path()).filePath(QString::fromLatin1(name)), QByteArray("x"));
    }
};

TEST(Assets, NamesAreFoundWithoutRegardToCase) {
    const struct {
        const char* asked;
        std::vector<const char*> inData;
        std::vector<const char*> inProgram;
        const char* found;  // "data/..." or "program/..."
    } cases[] = {
        {"Bell.Wav", {}, {"bell.wav"}, "program/bell.wav"},
        {"bell.wav", {"BELL.WAV"}, {"bell.wav"}, "data/BELL.WAV"},    // the data directory first
        {"door.bmp", {"Door.bmp", "door.bmp"}, {}, "data/door.bmp"},  // exact spelling first
        {"Clean.bmp", {"clean.BMP"}, {"Clean.bmp"}, "data/clean.BMP"},
        {"bell.Wav", {"bell.wav", "BELL.WAV", "Bell.wav"}, {}, "data/BELL.WAV"},  // first by name
        {"Alram.wav", {"Alram.wav.bak"}, {}, "data/Alram.wav"},  // missing: the data path
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        AssetDirs d;
        for (const char* name : c.inData) AssetDirs::put(d.data, name);
        for (const char* name : c.inProgram) AssetDirs::put(d.program, name);
        const QString found = QString::fromLatin1(c.found);
        const QString expected = found.startsWith(QStringLiteral("data/"))
                                     ? QDir(d.data.path()).filePath(found.mid(5))
                                     : QDir(d.program.path()).filePath(found.mid(8));
        EXPECT_EQ(d.assets.path(QString::fromLatin1(c.asked)), expected);
    }
}

TEST(Assets, PictureSpeltDifferentlyLoads) {
    AssetDirs d;
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QDir(d.data.path()).filePath(QStringLiteral("BED.BMP")), "BMP"));
    EXPECT_EQ(d.assets.picture(QStringLiteral("bed.bmp")).size(), QSize(4, 3));
    EXPECT_EQ(&d.assets.picture(QStringLiteral("Bed.bmp")),
              &d.assets.picture(QStringLiteral("bed.bmp")));
    EXPECT_THROW(d.assets.picture(QStringLiteral("night.bmp")), TavolenError);
}

}  // namespace
