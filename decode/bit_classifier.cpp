// SPDX-License-Identifier: MIT
// Short/long decisions with a slowly tracked threshold.
// A 1 cycle lasts two 0 cycles, so one tracked unit decides both.
#include "decode/bit_classifier.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

void BitClassifier::calibrate(double period) {
    onePeriod = period;
    holding = false;
}

namespace {

bool isLopsided(const Cycle& cycle) {
    return std::fabs(static_cast<double>(cycle.middle) - 0.5) > 0.25;
}

Cycle joinedCycle(const Cycle& first, const Cycle& second) {
    Cycle cycle = second;
    cycle.start = first.start;
    cycle.period += first.period;
    cycle.middle = 0.5f;
    cycle.amplitude = std::max(second.amplitude, first.amplitude);
    return cycle;
}

}  // namespace

std::optional<Bit> BitClassifier::extra() {
    std::optional<Bit> out = following;
    following.reset();
    return out;
}

std::optional<Bit> BitClassifier::push(const Cycle& input) {
    following.reset();
    if (holding) {
        holding = false;
        const Cycle both = joinedCycle(held, input);
        if (!heldLopsided) {
            if (both.period / onePeriod < glitchLimit) {
                held = both;
                holding = true;
                return std::nullopt;
            }
            return classify(both, true);
        }
        const double relative = both.period / onePeriod;
        if ((relative >= 0.85 && relative <= 1.2) ||
            (relative >= 0.42 && relative <= 0.6 && isLopsided(input))) {
            return classify(both, true);
        }
        // Two bits after all.
        const Bit first = classify(held, false);
        following = take(input);
        return first;
    }
    return take(input);
}

// A cycle that is not joined to a held one: held itself, or classified.
std::optional<Bit> BitClassifier::take(const Cycle& cycle) {
    const double relative = cycle.period / onePeriod;
    if (relative < glitchLimit) {
        held = cycle;
        holding = true;
        heldLopsided = false;
        return std::nullopt;
    }
    if (relative < 0.8 && isLopsided(cycle)) {
        held = cycle;
        holding = true;
        heldLopsided = true;
        return std::nullopt;
    }
    return classify(cycle, false);
}

Bit BitClassifier::classify(const Cycle& cycle, bool joined) {
    const double relative = cycle.period / onePeriod;
    Bit bit;
    bit.start = cycle.start;
    bit.end = cycle.end;
    bit.amplitude = cycle.amplitude;
    if (relative > longestBit) {
        bit.value = Bit::invalid;
        return bit;
    }
    bit.value = relative >= threshold ? Bit::one : Bit::zero;
    // Distance from the threshold, 1 at the nominal length of the decided value.
    const double margin = bit.value == Bit::one ? (relative - threshold) / (1.0 - threshold)
                                                : (threshold - relative) / (threshold - 0.5);
    // In a clean cycle the middle edge falls half way; far off, an edge was lost or added.
    const double lopsided = std::fabs(static_cast<double>(cycle.middle) - 0.5);
    const double balance = 1.0 - std::clamp((lopsided - 0.15) / 0.2, 0.0, 1.0);
    double certainty = std::clamp(std::min(margin, balance), 0.0, 1.0);
    if (joined) {
        certainty *= 0.5;
    }
    bit.certainty = static_cast<float>(certainty);
    if (certainty > 0.3) {
        const double asOne = bit.value == Bit::one ? cycle.period : 2.0 * cycle.period;
        onePeriod += tracking * (asOne - onePeriod);
    }
    return bit;
}

}  // namespace kelvanto::decode
