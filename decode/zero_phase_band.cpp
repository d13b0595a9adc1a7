// SPDX-License-Identifier: MIT
// Forward and backward band-pass over blocks with a short lookahead.
// The backward sections restart from rest for every block.
#include "decode/zero_phase_band.h"

#include <algorithm>

namespace kelvanto::decode {

namespace {

Biquad lowPassFor(double rate, double corner) {
    return corner < ZeroPhaseBand::openAbove * rate ? Biquad::lowPass(rate, corner)
                                                    : Biquad::identity();
}

}  // namespace

ZeroPhaseBand::ZeroPhaseBand(double sampleRate, double lowCorner, double highCorner)
    : rate(sampleRate),
      highPass(Biquad::highPass(sampleRate, lowCorner)),
      lowPass(lowPassFor(sampleRate, highCorner)),
      backHighPass(highPass),
      backLowPass(lowPass) {
    pending.reserve(4 * lookahead);
}

void ZeroPhaseBand::retune(double lowCorner, double highCorner) {
    highPass.retune(Biquad::highPass(rate, lowCorner));
    lowPass.retune(lowPassFor(rate, highCorner));
    backHighPass.retune(highPass);
    backLowPass.retune(lowPass);
}

std::size_t ZeroPhaseBand::emit(std::span<float> out, bool last) {
    // Between ends, a block is at least as long as its lookahead, so that settling the
    // backward sections costs at most as much again as the samples given out.
    if (pending.empty() || (!last && pending.size() < 2 * lookahead)) {
        return 0;
    }
    const std::size_t ready =
        std::min(out.size(), last ? pending.size() : pending.size() - lookahead);
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

}  // namespace kelvanto::decode
