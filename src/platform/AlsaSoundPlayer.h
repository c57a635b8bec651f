#pragma once

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/SoundPlayer.h"

// Plays 16-bit PCM wave files on the default ALSA device from a thread of its
// own. A new sound cuts the one still playing; a missing or unreadable file
// plays a short default beep; a PC without a sound device stays silent.
class AlsaSoundPlayer final : public SoundPlayer {
public:
    AlsaSoundPlayer();
    ~AlsaSoundPlayer() override;
    void play(const QString& wavePath) override;

private:
    struct Clip {
        QByteArray samples;  // interleaved signed 16-bit little-endian
        unsigned rate = 22050;
        unsigned channels = 1;
    };
    static Clip load(const QString& path);
    static Clip beep();
    void run();
    bool playClip(const Clip& clip, unsigned generation);

    std::mutex mutex_;
    std::condition_variable wake_;
    QString pending_;
    bool hasPending_ = false;
    bool quit_ = false;
    unsigned generation_ = 0;
    bool reportedNoDevice_ = false;
    std::thread thread_;
};
