#include "MediaFiles.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace media {
namespace {

void put16(QByteArray& out, std::uint16_t v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, std::uint32_t v) {
    put16(out, std::uint16_t(v & 0xffff));
    put16(out, std::uint16_t(v >> 16));
}

bool writeAll(const QByteArray& bytes, const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

bool writeBmp24(const QImage& image, const QString& path) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t pixelBytes = std::uint32_t(stride) * std::uint32_t(height);
    const std::uint32_t headerBytes = 14 + 40;

    QByteArray out;
    out.reserve(int(headerBytes + pixelBytes));
    out.append("BM");
    put32(out, headerBytes + pixelBytes);
    put32(out, 0);
    put32(out, headerBytes);
    put32(out, 40);
    put32(out, std::uint32_t(width));
    put32(out, std::uint32_t(height));  // positive: rows run bottom-up
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);  // no compression
    put32(out, pixelBytes);
    put32(out, 3780);  // 96 dpi
    put32(out, 3780);
    put32(out, 0);
    put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
        }
        out.append(QByteArray(stride - width * 3, '\0'));
    }
    return writeAll(out, path);
}

bool writeWav16Mono(const std::vector<double>& samples, const QString& path) {
    const std::uint32_t dataBytes = std::uint32_t(samples.size() * 2);
    QByteArray out;
    out.append("RIFF");
    put32(out, 36 + dataBytes);
    out.append("WAVEfmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, kSampleRate);
    put32(out, kSampleRate * 2);
    put16(out, 2);
    put16(out, 16);
    out.append("data");
    put32(out, dataBytes);
    for (double s : samples) {
        const long v = std::lround(std::clamp(s, -1.0, 1.0) * 32767.0);
        put16(out, std::uint16_t(std::int16_t(v)));
    }
    return writeAll(out, path);
}

}  // namespace media
