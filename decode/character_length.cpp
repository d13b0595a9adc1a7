// SPDX-License-Identifier: MIT
// How far a character's measured length is from the length a value would give it, in half
// units at the speed of the characters read cleanly around it.
#include "decode/character_length.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelvanto::decode {

namespace {

bool framedCleanly(const FramedCharacter& c) {
    return !c.extraCycleDropped && !c.signalLost && !c.startMisread && !c.stopBad &&
           c.length > 0.0f;
}

// Speed drifts with wow: only characters this close count.
constexpr std::size_t nearest = 4;

}  // namespace

double lengthMisfit(const FramedLoad& framed, std::size_t at, std::uint8_t value) {
    const auto& characters = framed.characters;
    if (at >= characters.size() || !(characters[at].length > 0.0f)) {
        return std::nan("");
    }
    double units = 0.0;
    int counted = 0;
    // The nearest clean character on one side (step -1 or +1), if any.
    auto nearestOn = [&](long step) {
        for (std::size_t k = 1; k <= nearest; ++k) {
            const long i = static_cast<long>(at) + step * static_cast<long>(k);
            if (i < 0 || i >= static_cast<long>(characters.size())) {
                return;
            }
            const FramedCharacter& c = characters[static_cast<std::size_t>(i)];
            if (framedCleanly(c)) {
                units += c.length / characterHalves(c.value);
                ++counted;
                return;
            }
        }
    };
    nearestOn(-1);
    nearestOn(+1);
    if (counted == 0) {
        return std::nan("");
    }
    return characters[at].length / (units / counted) - characterHalves(value);
}

double typicalMisfit(const FramedLoad& framed) {
    std::vector<double> misfits;
    misfits.reserve(framed.characters.size());
    for (std::size_t i = 0; i < framed.characters.size(); ++i) {
        const FramedCharacter& c = framed.characters[i];
        const double misfit = framedCleanly(c) ? lengthMisfit(framed, i, c.value) : std::nan("");
        if (std::isfinite(misfit)) {
            misfits.push_back(std::fabs(misfit));
        }
    }
    if (misfits.empty()) {
        return std::nan("");
    }
    const auto middle = misfits.begin() + static_cast<long>(misfits.size() / 2);
    std::nth_element(misfits.begin(), middle, misfits.end());
    return *middle;
}

}  // namespace kelvanto::decode
