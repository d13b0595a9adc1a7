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
    lengths = nominalLengths;
    previous = 1;
    haveBoundary = false;
    level = 0.0;
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
    // The unit in frames of the recording, and where this cycle began: the boundary the
    // loop put there when the cycle follows straight on, else its own opening edge.
    const double unitFrames =
        cycle.period > 0.0 ? onePeriod * (cycle.end - cycle.start) / cycle.period : 0.0;
    const bool follows = haveBoundary && unitFrames > 0.0 &&
                         std::fabs(cycle.start - boundary) < followingReach * unitFrames;
    const double from = follows ? boundary : cycle.start;
    const bool quiet = level > 0.0 && cycle.amplitude < quietShare * level;
    level = level > 0.0 ? level + levelTracking * (cycle.amplitude - level) : cycle.amplitude;
    const double relative = follows ? (cycle.end - from) / unitFrames : cycle.period / onePeriod;
    Bit bit;
    bit.start = cycle.start;
    bit.end = cycle.end;
    bit.amplitude = cycle.amplitude;
    bit.middle = cycle.middle;
    if (relative > longestBit) {
        bit.value = Bit::invalid;
        return bit;
    }
    const auto& expected = lengths[static_cast<std::size_t>(previous)];
    const double cut = 0.5 * (expected[0] + expected[1]);
    bit.value = relative >= cut ? Bit::one : Bit::zero;
    // Distance from the threshold, 1 at the expected length of the decided value.
    const double margin = bit.value == Bit::one ? (relative - cut) / (expected[1] - cut)
                                                : (cut - relative) / (cut - expected[0]);
    // In a clean cycle the middle edge falls half way; far off, an edge was lost or added.
    const double lopsided = std::fabs(static_cast<double>(cycle.middle) - 0.5);
    const double balance = 1.0 - std::clamp((lopsided - 0.15) / 0.2, 0.0, 1.0);
    // A 1 much longer than expected may be a 1 and a 0 whose edges between them were lost
    // (one and a half units): its certainty falls to 0 on the way there.
    const double merged = bit.value == Bit::one
                              ? (expected[1] + mergedReach - relative) / (mergedReach - mergedSlack)
                              : 1.0;
    double certainty = std::clamp(std::min({margin, balance, merged}), 0.0, 1.0);
    if (joined) {
        certainty *= 0.5;
    }
    bit.certainty = static_cast<float>(certainty);
    const int value = bit.value == Bit::one ? 1 : 0;
    // The loop: the end of a clear cycle is put where the decided length says, moved part of
    // the way to where it was seen, and the rest of the difference corrects the unit. After
    // an unclear cycle, one that did not follow on, or one that ended far off the grid (a
    // wrong decision would otherwise carry its half unit into the next ones), it starts
    // again from the edge as seen.
    const double length = expected[static_cast<std::size_t>(value)];
    const double predicted = from + length * unitFrames;
    const double residual = cycle.end - predicted;
    if (certainty > loopCertainty && follows && std::fabs(residual) < farthestEdge * unitFrames) {
        boundary = predicted + phaseGain * residual;
        onePeriod += quiet ? 0.0 : speedGain * residual * onePeriod / unitFrames;
    } else {
        boundary = cycle.end;
    }
    haveBoundary = true;
    if (!quiet && certainty > 0.3) {
        const double asOne = bit.value == Bit::one ? cycle.period : 2.0 * cycle.period;
        onePeriod += tracking * (asOne - onePeriod);
    }
    // The expected lengths follow faster than the unit, also from decisions too unclear to
    // move it (a shift that makes them unclear must still be learnt), and stay in reach of
    // the nominal ones, so that the threshold stays between three fifths and nine tenths.
    if (!quiet && certainty > 0.1) {
        double& length =
            lengths[static_cast<std::size_t>(previous)][static_cast<std::size_t>(value)];
        length += contextTracking * (relative - length);
        length = value == 1 ? std::clamp(length, 0.8, 1.1) : std::clamp(length, 0.4, 0.7);
    }
    previous = value;
    return bit;
}

}  // namespace kelvanto::decode
