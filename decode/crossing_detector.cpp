// SPDX-License-Identifier: MIT
// Zero crossings with hysteresis relative to the local amplitude.
// Below 16 kHz the samples are first interpolated to at least 16 kHz.
#include "decode/crossing_detector.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelvanto::decode {

namespace {

int factorFor(double sampleRate) {
    return std::clamp(static_cast<int>(std::ceil(16000.0 / sampleRate)), 1, 4);
}

}  // namespace

CrossingDetector::CrossingDetector(double sampleRate, int frameStep)
    : frameStep(frameStep),
      factor(factorFor(sampleRate)),
      spacing(1.0 / factor),
      envelopeAlpha(static_cast<float>(
          1.0 - std::exp(-1.0 / (sampleRate * factorFor(sampleRate) * envelopeSeconds)))) {
    // Sub-sample k of F lies k/F after the middle of the history (4 samples late); a
    // Lanczos kernel of four lobes gives its value from the eight samples around it.
    for (int k = 0; k < factor; ++k) {
        std::array<float, taps> weights{};
        const double offset = static_cast<double>(k) / factor;
        double total = 0.0;
        for (int t = 0; t < taps; ++t) {
            const double d = (t - (taps / 2 - 1)) - offset;
            const double pd = std::numbers::pi * d;
            const double w =
                std::fabs(d) < 1e-9 ? 1.0 : 4.0 * std::sin(pd) * std::sin(pd / 4.0) / (pd * pd);
            weights[static_cast<std::size_t>(t)] = static_cast<float>(w);
            total += w;
        }
        for (float& w : weights) {
            w = static_cast<float>(w / total);
        }
        phases.push_back(weights);
    }
}

// The state lives in a local copy while a block is processed: kept in members, every
// append to the output (which might alias them, as far as the compiler knows) would force
// it back to memory at every sample.
void CrossingDetector::step(State& s, float x, double index, std::vector<Crossing>& out) const {
    const float magnitude = std::fabs(x);
    s.envelope += envelopeAlpha * (magnitude - s.envelope);
    const float trigger = std::max(static_cast<float>(hysteresisFraction) * s.envelope,
                                   static_cast<float>(floorLevel));
    s.halfPeak = std::max(s.halfPeak, magnitude);
    if (s.high) {
        if (s.previous >= 0.0f && x < 0.0f) {
            s.lastZero =
                index - spacing * (1.0 - static_cast<double>(s.previous / (s.previous - x)));
        }
        if (x < -trigger) {
            out.push_back(Crossing{s.lastZero * frameStep + (frameStep - 1.0), s.halfPeak, false});
            s.high = false;
            s.halfPeak = magnitude;
        }
    } else {
        if (s.previous <= 0.0f && x > 0.0f) {
            s.lastZero =
                index - spacing * (1.0 - static_cast<double>(s.previous / (s.previous - x)));
        }
        if (x > trigger) {
            out.push_back(Crossing{s.lastZero * frameStep + (frameStep - 1.0), s.halfPeak, true});
            s.high = true;
            s.halfPeak = magnitude;
        }
    }
    s.previous = x;
}

void CrossingDetector::process(std::span<const float> samples, std::vector<Crossing>& out) {
    State s = state;
    if (factor == 1) {
        for (const float x : samples) {
            step(s, x, static_cast<double>(position), out);
            ++position;
        }
        state = s;
        return;
    }
    for (const float x : samples) {
        std::copy(history.begin() + 1, history.end(), history.begin());
        history.back() = x;
        // The interpolated stream runs taps/2 samples behind the input.
        const double base = static_cast<double>(position) - (taps / 2);
        for (int k = 0; k < factor; ++k) {
            const auto& weights = phases[static_cast<std::size_t>(k)];
            float y = 0.0f;
            for (std::size_t t = 0; t < taps; ++t) {
                y += weights[t] * history[t];
            }
            step(s, y, base + static_cast<double>(k) / factor, out);
        }
        ++position;
    }
    state = s;
}

}  // namespace kelvanto::decode
