// SPDX-License-Identifier: MIT
// Band limiting of one channel before its zero crossings are timed.
// From 40 kHz up only every second (third, ...) filtered sample is kept.
#include "decode/signal_filter.h"

#include <algorithm>
#include <cmath>

#include "decode/biquad_pair.h"

namespace kelvanto::decode {

namespace {

int keepEveryFor(double sampleRate) {
    return std::clamp(static_cast<int>(sampleRate / SignalFilter::lowestKeptRate), 1, 8);
}

}  // namespace

SignalFilter::SignalFilter(double sampleRate)
    : keepEvery(keepEveryFor(sampleRate)),
      keptRate(sampleRate / keepEvery),
      antiAlias(keepEvery > 1 ? Biquad::lowPass(sampleRate, antiAliasCorner) : Biquad::identity()),
      band(keptRate, bandLow, bandHigh) {}

void SignalFilter::followSpeed(double speed) {
    const double wanted = std::clamp(speed, 0.25, 4.0);
    // Small changes (wow) are not worth the step in the filter's response.
    if (std::fabs(wanted / currentSpeed - 1.0) < 0.1) {
        return;
    }
    currentSpeed = wanted;
    band.retune(bandLow * wanted, bandHigh * wanted);
}

// Absurd values (and samples that are not a number, from a broken float file) are clipped,
// so that none can poison the filter state for the rest of the recording; a NaN fails the
// first comparison and gives -16. (Comparisons, not fmin and fmax: those are calls.)
double SignalFilter::clipped(float sample) {
    const double x = sample;
    return x >= -16.0 ? (x > 16.0 ? 16.0 : x) : -16.0;
}

std::size_t SignalFilter::process(std::span<const float> in, std::span<float> out) {
    if (keepEvery == 1) {
        for (const float sample : in) {
            band.push(clipped(sample));
        }
        return band.emit(out, false);
    }
    for (const float sample : in) {
        const double low = antiAlias.process(clipped(sample));
        if (++phase < keepEvery) {
            continue;
        }
        phase = 0;
        band.push(low);
    }
    return band.emit(out, false);
}

std::size_t SignalFilter::finish(std::span<float> out) {
    return band.emit(out, true);
}

std::size_t SignalFilter::processPair(SignalFilter& left, SignalFilter& right,
                                      std::span<const float> frames, std::span<float> outLeft,
                                      std::span<float> outRight) {
    BiquadPair antiAlias(left.antiAlias, right.antiAlias);
    std::vector<double>& a = left.kept;
    std::vector<double>& b = right.kept;
    a.resize(frames.size() / 2 / static_cast<std::size_t>(left.keepEvery) + 1);
    b.resize(a.size());
    std::size_t kept = 0;
    if (left.keepEvery == 1) {
        // Nothing to thin out, so nothing to guard against aliasing.
        for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
            a[kept] = clipped(frames[i]);
            b[kept] = clipped(frames[i + 1]);
            ++kept;
        }
    } else {
        // In a local while the block runs: in the member, every store to the samples would
        // force it back to memory.
        int phase = left.phase;
        for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
            const BiquadPair::Lanes low =
                antiAlias.process(BiquadPair::Lanes{clipped(frames[i]), clipped(frames[i + 1])});
            if (++phase < left.keepEvery) {
                continue;
            }
            phase = 0;
            a[kept] = low[0];
            b[kept] = low[1];
            ++kept;
        }
        left.phase = phase;
    }
    a.resize(kept);
    b.resize(kept);
    antiAlias.store(left.antiAlias, right.antiAlias);
    ZeroPhaseBand::pushPair(left.band, right.band, a, b);
    return ZeroPhaseBand::emitPair(left.band, right.band, outLeft, outRight);
}

}  // namespace kelvanto::decode
