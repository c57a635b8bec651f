#include "Sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>

#include "MediaFiles.h"

namespace {

using Samples = std::vector<double>;

struct Partial {
    double ratio;  // of the fundamental
    double level;
    double decay;  // seconds for the level to fall to 1/e
};

int sampleAt(double seconds) { return int(std::lround(seconds * media::kSampleRate)); }

// Rises over `edge` seconds at the start and falls over `edge` at the end.
double edges(double t, double length, double edge) {
    const auto ramp = [edge](double x) {
        return x >= edge ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * x / edge);
    };
    return ramp(t) * ramp(length - t);
}

void addTone(Samples& out, double start, double length, double frequency, double level,
             std::initializer_list<Partial> partials, double edge = 0.004) {
    const int first = sampleAt(start);
    const int count = sampleAt(length);
    for (int i = 0; i < count && first + i < int(out.size()); ++i) {
        const double t = double(i) / media::kSampleRate;
        double v = 0;
        for (const Partial& p : partials) {
            v += p.level * std::exp(-t / p.decay) *
                 std::sin(2 * std::numbers::pi * frequency * p.ratio * t);
        }
        out[first + i] += level * edges(t, length, edge) * v;
    }
}

// A short burst of softened noise: the wooden edge of a knock.
void addClick(Samples& out, double start, double level, double decay) {
    std::uint32_t seed = 12345;
    double smooth = 0;
    const int first = sampleAt(start);
    for (int i = 0; i < sampleAt(decay * 8) && first + i < int(out.size()); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double white = double(seed >> 8) / double(1u << 24) * 2 - 1;
        smooth += 0.35 * (white - smooth);
        const double t = double(i) / media::kSampleRate;
        out[first + i] += level * edges(t, decay * 8, 0.0005) * std::exp(-t / decay) * smooth;
    }
}

Samples finish(Samples out, double peak) {
    double loudest = 0;
    for (double s : out) loudest = std::max(loudest, std::abs(s));
    const double length = double(out.size()) / media::kSampleRate;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / media::kSampleRate;
        out[i] *= peak / loudest * edges(t, length, 0.03);
    }
    return out;
}

Samples silence(double seconds) { return Samples(std::size_t(sampleAt(seconds)), 0.0); }

// Two bell strokes a major third apart, high then low.
Samples bell() {
    Samples out = silence(0.6);
    const auto strike = {Partial{1, 1, 0.30}, Partial{2, 0.35, 0.15}, Partial{3, 0.12, 0.08},
                         Partial{4.16, 0.06, 0.05}};
    addTone(out, 0.0, 0.6, 987.77, 1.0, strike);
    addTone(out, 0.2, 0.4, 783.99, 1.0, strike);
    return finish(out, 0.6);
}

// A soft falling triad, nearly pure tones.
Samples bell2() {
    Samples out = silence(0.7);
    const auto soft = {Partial{1, 1, 0.22}, Partial{2, 0.12, 0.10}};
    addTone(out, 0.00, 0.70, 783.99, 1.0, soft, 0.008);
    addTone(out, 0.11, 0.59, 659.25, 0.9, soft, 0.008);
    addTone(out, 0.22, 0.48, 523.25, 0.8, soft, 0.008);
    return finish(out, 0.35);
}

// Tick-tock: two knocks on wood, the second lower.
Samples doorOpen() {
    Samples out = silence(0.3);
    const auto wood = {Partial{1, 1, 0.018}, Partial{2.76, 0.3, 0.008}};
    const auto body = {Partial{1, 1, 0.03}};
    for (const auto& [start, pitch] : {std::pair{0.0, 1400.0}, std::pair{0.13, 900.0}}) {
        addTone(out, start, 0.15, pitch, 0.8, wood, 0.0008);
        addTone(out, start, 0.15, pitch / 7.5, 0.5, body, 0.0015);
        addClick(out, start, 0.4, 0.004);
    }
    return finish(out, 0.6);
}

// Four soft two-note calls, half a second apart.
Samples alarm() {
    Samples out = silence(2.0);
    const auto tone = {Partial{1, 1, 0.5}, Partial{2, 0.15, 0.3}, Partial{3, 0.05, 0.2}};
    for (int call = 0; call < 4; ++call) {
        const double start = call * 0.5;
        addTone(out, start, 0.12, 880.0, 1.0, tone, 0.01);
        addTone(out, start + 0.15, 0.12, 1108.73, 1.0, tone, 0.01);
    }
    return finish(out, 0.45);
}

}  // namespace

std::vector<Sound> makeSounds() {
    return {{"bell.wav", bell()},
            {"Bell2.Wav", bell2()},
            {"DoorO.Wav", doorOpen()},
            {"Alram.wav", alarm()}};
}
