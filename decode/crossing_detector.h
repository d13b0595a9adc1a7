// SPDX-License-Identifier: MIT
// The second stage: finds the zero crossings of one filtered channel, both directions, with
// sub-sample timing and a hysteresis that follows the local amplitude.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "decode/crossing.h"

namespace kelvanto::decode {

// A crossing counts only once the signal has gone past zero on the other side by a tenth of
// the recent mean magnitude (a Schmitt trigger), so ripple on a slow edge gives one
// crossing, not several; never a fixed level: quiet and loud recordings, and level drift
// within one, are treated alike. Behind the zero-phase band a higher trigger read loads
// through less hiss, not more (a quarter: about 1.5 dB less); the pieces of a cycle that
// hiss cuts are joined again by the classifier. The reported time is the last zero crossing
// before the trigger fired, interpolated between its two samples, which matters at low rates
// where a cycle holds only a few samples. Below 16 kHz a 0 cycle holds so few samples that a
// half cycle may show none beyond the trigger level; there the signal is first interpolated
// (windowed sinc) to at least 16 kHz.
class CrossingDetector {
  public:
    static constexpr double hysteresisFraction = 0.1;
    static constexpr double envelopeSeconds = 0.0015;
    // Below this (about -120 dBFS) the signal is taken as digital silence.
    static constexpr double floorLevel = 1e-6;

    // Samples come at sampleRate; each one stands for frameStep frames of the recording,
    // and crossing times are given in frames of the recording.
    explicit CrossingDetector(double sampleRate, int frameStep = 1);

    // Appends the crossings of this block; frame numbers continue from the previous block.
    void process(std::span<const float> samples, std::vector<Crossing>& out);

  private:
    static constexpr int taps = 8;
    struct State {
        float envelope = 0.0f;
        float previous = 0.0f;
        bool high = false;
        double lastZero = 0.0;
        float halfPeak = 0.0f;
    };
    [[gnu::always_inline]] inline void step(State& s, float x, double index,
                                            std::vector<Crossing>& out) const;

    double frameStep;
    int factor;
    double spacing;                               // between interpolated samples, in samples
    std::vector<std::array<float, taps>> phases;  // interpolation weights per sub-sample
    std::array<float, taps> history{};
    float envelopeAlpha;
    State state;
    std::int64_t position = 0;
};

}  // namespace kelvanto::decode
