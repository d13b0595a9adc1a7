// SPDX-License-Identifier: MIT
// Band limiting of one channel before its zero crossings are timed.
// From 40 kHz up only every second (third, ...) filtered sample is kept.
#include "decode/signal_filter.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

namespace {

int keepEveryFor(double sampleRate) {
    return std::clamp(static_cast<int>(sampleRate / SignalFilter::lowestKeptRate), 1, 8);
}

// Near the Nyquist frequency a section no longer removes hiss, it only turns the phase of
// the 0 tone (3150 Hz at 8000 Hz is 2.5 samples a cycle) and moves its edges: below about
// 11 kHz the band is left as the recording has it.
Biquad lowPassFor(double sampleRate) {
    const double corner = std::min(SignalFilter::lowCorner, 0.42 * sampleRate);
    return corner < 0.4 * sampleRate ? Biquad::lowPass(sampleRate, corner) : Biquad::identity();
}

}  // namespace

SignalFilter::SignalFilter(double sampleRate)
    : keepEvery(keepEveryFor(sampleRate)),
      keptRate(sampleRate / keepEvery),
      lowPass(lowPassFor(sampleRate)),
      highPass(Biquad::highPass(keptRate, highCorner)) {}

void SignalFilter::followSpeed(double speed) {
    const double wanted = std::clamp(speed, 0.25, 4.0);
    // Small changes (wow) are not worth the step in the filter's response.
    if (std::fabs(wanted / currentSpeed - 1.0) < 0.1) {
        return;
    }
    currentSpeed = wanted;
    highPass.retune(Biquad::highPass(keptRate, highCorner * std::min(1.0, wanted)));
}

std::size_t SignalFilter::process(std::span<const float> in, std::span<float> out) {
    std::size_t written = 0;
    for (const float sample : in) {
        // Absurd values (and samples that are not a number, from a broken float file) are
        // clipped, so that none can poison the filter state for the rest of the recording.
        // fmax of a NaN gives the other operand.
        const double x = std::fmin(std::fmax(static_cast<double>(sample), -16.0), 16.0);
        const double low = lowPass.process(x);
        if (++phase < keepEvery) {
            continue;
        }
        phase = 0;
        if (written < out.size()) {
            out[written++] = static_cast<float>(highPass.process(low));
        }
    }
    return written;
}

std::size_t SignalFilter::processPair(SignalFilter& left, SignalFilter& right,
                                      std::span<const float> frames, std::span<float> outLeft,
                                      std::span<float> outRight) {
    std::size_t written = 0;
    const std::size_t room = std::min(outLeft.size(), outRight.size());
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        const double a = std::fmin(std::fmax(static_cast<double>(frames[i]), -16.0), 16.0);
        const double b = std::fmin(std::fmax(static_cast<double>(frames[i + 1]), -16.0), 16.0);
        const double lowA = left.lowPass.process(a);
        const double lowB = right.lowPass.process(b);
        if (++left.phase < left.keepEvery) {
            continue;
        }
        left.phase = 0;
        if (written < room) {
            outLeft[written] = static_cast<float>(left.highPass.process(lowA));
            outRight[written] = static_cast<float>(right.highPass.process(lowB));
            ++written;
        }
    }
    return written;
}

}  // namespace kelvanto::decode
