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

std::optional<Bit> BitClassifier::push(const Cycle& input) {
    Cycle cycle = input;
    bool joined = false;
    if (holding) {
        cycle.start = held.start;
        cycle.period += held.period;
        cycle.middle = 0.5f;
        cycle.amplitude = std::max(cycle.amplitude, held.amplitude);
        holding = false;
        joined = true;
    }
    const double relative = cycle.period / onePeriod;
    if (relative < glitchLimit) {
        held = cycle;
        holding = true;
        return std::nullopt;
    }
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
