#pragma once

#include <QImage>
#include <QString>
#include <vector>

// The two file formats the program reads beside itself: uncompressed 24-bit
// Windows bitmaps and 16-bit mono PCM wave files. Written by hand so that the
// exact layout never depends on an image plug-in's choices.
namespace media {

constexpr int kSampleRate = 22050;

bool writeBmp24(const QImage& image, const QString& path);

// Samples in [-1, 1]; anything outside is clipped.
bool writeWav16Mono(const std::vector<double>& samples, const QString& path);

}  // namespace media
