// Band limiting of one channel before its zero crossings are timed.
#include "decode/signal_filter.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

namespace {

Biquad lowPassFor(double sampleRate) {
    const double corner = std::min(SignalFilter::lowCorner, 0.42 * sampleRate);
    return corner > SignalFilter::highCorner * 2.0 ? Biquad::lowPass(sampleRate, corner)
                                                   : Biquad::identity();
}

}  // namespace

SignalFilter::SignalFilter(double sampleRate)
    : highPass(Biquad::highPass(sampleRate, highCorner)), lowPass(lowPassFor(sampleRate)) {}

void SignalFilter::process(std::span<float> samples) {
    for (float& sample : samples) {
        // A sample that is not a number (a broken float file) counts as silence and absurd
        // values are clipped, so that neither can poison the filter state for the rest of
        // the recording.
        const double x =
            std::isnan(sample) ? 0.0 : std::clamp(static_cast<double>(sample), -16.0, 16.0);
        sample = static_cast<float>(lowPass.process(highPass.process(x)));
    }
}

}  // namespace kelvanto::decode
