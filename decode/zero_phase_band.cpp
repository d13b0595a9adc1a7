// SPDX-License-Identifier: MIT
// Forward and backward band-pass over blocks with a short lookahead.
// The backward sections restart from rest for every block.
#include "decode/zero_phase_band.h"

#include <algorithm>

#include "decode/biquad_pair.h"

namespace kelvanto::decode {

ZeroPhaseBand::ZeroPhaseBand(double sampleRate, double lowCorner, double highCorner)
    : rate(sampleRate),
      topOpen(!(highCorner < openAbove * sampleRate)),
      highPass(Biquad::highPass(sampleRate, lowCorner)),
      lowPass(topOpen ? Biquad::identity() : Biquad::lowPass(sampleRate, highCorner)),
      backHighPass(highPass),
      backLowPass(lowPass) {
    pending.reserve(4 * lookahead);
}

void ZeroPhaseBand::retune(double lowCorner, double highCorner) {
    highPass.retune(Biquad::highPass(rate, lowCorner));
    // A top that was open stays open, and one that was a filter stays a filter, a little
    // below the limit: a section that turned into a plain wire would spill its state as a
    // click.
    lowPass.retune(topOpen ? Biquad::identity()
                           : Biquad::lowPass(rate, std::min(highCorner, 0.9 * openAbove * rate)));
    backHighPass.retune(highPass);
    backLowPass.retune(lowPass);
}

std::size_t ZeroPhaseBand::readyCount(std::size_t room, bool last) const {
    // Between ends, a block is at least as long as its lookahead, so that settling the
    // backward sections costs at most as much again as the samples given out.
    if (pending.empty() || (!last && pending.size() < 2 * lookahead)) {
        return 0;
    }
    return std::min(room, last ? pending.size() : pending.size() - lookahead);
}

std::size_t ZeroPhaseBand::emit(std::span<float> out, bool last) {
    const std::size_t ready = readyCount(out.size(), last);
    if (ready == 0) {
        return 0;
    }
    Biquad high = backHighPass;
    Biquad low = backLowPass;
    // The samples past the ready ones only settle the backward sections.
    for (std::size_t i = pending.size(); i-- > ready;) {
        high.process(low.process(pending[i]));
    }
    for (std::size_t i = ready; i-- > 0;) {
        out[i] = static_cast<float>(high.process(low.process(pending[i])));
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(ready));
    return ready;
}

void ZeroPhaseBand::pushPair(ZeroPhaseBand& left, ZeroPhaseBand& right, std::span<const double> a,
                             std::span<const double> b) {
    BiquadPair high(left.highPass, right.highPass);
    BiquadPair low(left.lowPass, right.lowPass);
    const std::size_t n = std::min(a.size(), b.size());
    const std::size_t at = left.pending.size();
    left.pending.resize(at + n);
    right.pending.resize(right.pending.size() + n);
    float* outLeft = left.pending.data() + at;
    float* outRight = right.pending.data() + right.pending.size() - n;
    for (std::size_t i = 0; i < n; ++i) {
        const BiquadPair::Lanes y = low.process(high.process(BiquadPair::Lanes{a[i], b[i]}));
        outLeft[i] = static_cast<float>(y[0]);
        outRight[i] = static_cast<float>(y[1]);
    }
    high.store(left.highPass, right.highPass);
    low.store(left.lowPass, right.lowPass);
}

std::size_t ZeroPhaseBand::emitPair(ZeroPhaseBand& left, ZeroPhaseBand& right,
                                    std::span<float> outLeft, std::span<float> outRight) {
    const std::size_t ready = left.readyCount(outLeft.size(), false);
    if (left.pending.size() != right.pending.size() ||
        right.readyCount(outRight.size(), false) != ready) {
        left.emit(outLeft, false);
        return right.emit(outRight, false);
    }
    if (ready == 0) {
        return 0;
    }
    BiquadPair high(left.backHighPass, right.backHighPass);
    BiquadPair low(left.backLowPass, right.backLowPass);
    const std::vector<float>& a = left.pending;
    const std::vector<float>& b = right.pending;
    for (std::size_t i = a.size(); i-- > ready;) {
        high.process(low.process(BiquadPair::Lanes{a[i], b[i]}));
    }
    for (std::size_t i = ready; i-- > 0;) {
        const BiquadPair::Lanes y = high.process(low.process(BiquadPair::Lanes{a[i], b[i]}));
        outLeft[i] = static_cast<float>(y[0]);
        outRight[i] = static_cast<float>(y[1]);
    }
    left.pending.erase(left.pending.begin(),
                       left.pending.begin() + static_cast<std::ptrdiff_t>(ready));
    right.pending.erase(right.pending.begin(),
                        right.pending.begin() + static_cast<std::ptrdiff_t>(ready));
    return ready;
}

}  // namespace kelvanto::decode
