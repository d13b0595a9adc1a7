// SPDX-License-Identifier: MIT
// The length of a load's signal in a format: its cycles on the 22050 grid and its gap.
#include "audio/signal_length.h"

#include <cmath>

#include "base/machine.h"
#include "tape/load_signal.h"

double loadSeconds(const TapeLoad& load, int sampleRate, int bitsPerSample, int channels) {
    return loadSeconds(load, loadLayout::sentCharacters(load), sampleRate, bitsPerSample, channels);
}

double loadSeconds(const TapeLoad& load, const LoadCharacters& sent, int sampleRate,
                   int bitsPerSample, int channels) {
    const int bytesPerSecond = sampleRate * (bitsPerSample / 8) * channels;
    const LoadSignal signal = loadSignal(load, sent, bytesPerSecond);
    const double gap =
        signal.gapSeconds > 0.0
            ? std::trunc(static_cast<double>(bytesPerSecond) * signal.gapSeconds) / bytesPerSecond
            : 0.0;
    return static_cast<double>(signal.cycleFrames()) / machine::frameRate + gap;
}
