#pragma once

#include <QString>

// Plays a wave file asynchronously; a new sound cuts the one still playing.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString& wavePath) = 0;
};
