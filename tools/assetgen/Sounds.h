#pragma once

#include <QString>
#include <vector>

// The board's sounds, synthesised: short, soft, with faded edges so that
// cutting one off with the next never clicks.
struct Sound {
    QString file;
    std::vector<double> samples;  // at media::kSampleRate, in [-1, 1]
};

std::vector<Sound> makeSounds();
