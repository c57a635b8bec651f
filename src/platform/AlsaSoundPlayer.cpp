#include "platform/AlsaSoundPlayer.h"

#include <alsa/asoundlib.h>

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <cstdio>

namespace {
// The library's own complaints (no card in a PC without sound, say) would
// fill the program's error stream; the player reports once by itself.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

AlsaSoundPlayer::AlsaSoundPlayer() {
    snd_lib_error_set_handler(quietAlsa);
    thread_ = std::thread([this] { run(); });
}

AlsaSoundPlayer::~AlsaSoundPlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ++generation_;
    }
    wake_.notify_all();
    thread_.join();
}

void AlsaSoundPlayer::play(const QString& wavePath) {
    {
        std::lock_guard lock(mutex_);
        pending_ = wavePath;
        hasPending_ = true;
        ++generation_;
    }
    wake_.notify_all();
}

AlsaSoundPlayer::Clip AlsaSoundPlayer::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return beep();
    const QByteArray data = file.readAll();
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE") return beep();
    Clip clip;
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= data.size()) {
        const QByteArray id = data.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(data.constData() + pos + 4);
        const qsizetype body = pos + 8;
        if (body + qsizetype(size) > data.size() && id != "data") break;
        if (id == "fmt " && size >= 16) {
            const auto* f = data.constData() + body;
            const quint16 format = qFromLittleEndian<quint16>(f);
            clip.channels = qFromLittleEndian<quint16>(f + 2);
            clip.rate = qFromLittleEndian<quint32>(f + 4);
            const quint16 bits = qFromLittleEndian<quint16>(f + 14);
            if (format != 1 || bits != 16 || clip.channels == 0 || clip.channels > 2) return beep();
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            clip.samples = data.mid(body, std::min<qsizetype>(size, data.size() - body));
            return clip;
        }
        pos = body + size + (size & 1);
    }
    return beep();
}

AlsaSoundPlayer::Clip AlsaSoundPlayer::beep() {
    Clip clip;
    const int count = static_cast<int>(clip.rate * 0.15);
    clip.samples.resize(count * 2);
    auto* out = reinterpret_cast<qint16*>(clip.samples.data());
    for (int i = 0; i < count; ++i) {
        const double fade = std::min(1.0, std::min(i, count - i) / 200.0);
        out[i] = static_cast<qint16>(9000 * fade * std::sin(2 * M_PI * 880 * i / clip.rate));
    }
    return clip;
}

void AlsaSoundPlayer::run() {
    for (;;) {
        QString path;
        unsigned generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || hasPending_; });
            if (quit_) return;
            path = pending_;
            hasPending_ = false;
            generation = generation_;
        }
        playClip(load(path), generation);
    }
}

bool AlsaSoundPlayer::playClip(const Clip& clip, unsigned generation) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        if (!reportedNoDevice_) {
            std::fprintf(stderr, "tavolen: no sound device, sounds are off\n");
            reportedNoDevice_ = true;
        }
        return false;
    }
    bool ok = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 clip.channels, clip.rate, 1, 100000) >= 0;
    const auto* samples = reinterpret_cast<const qint16*>(clip.samples.constData());
    const snd_pcm_uframes_t frames = clip.samples.size() / 2 / clip.channels;
    const snd_pcm_uframes_t chunk = clip.rate / 20;  // 50 ms, so a new sound cuts in quickly
    for (snd_pcm_uframes_t done = 0; ok && done < frames;) {
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_) break;
        }
        const snd_pcm_uframes_t n = std::min(chunk, frames - done);
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples + done * clip.channels, n);
        if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
        if (written < 0) ok = false;
        else done += static_cast<snd_pcm_uframes_t>(written);
    }
    snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    return ok;
}
