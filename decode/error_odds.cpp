// SPDX-License-Identifier: MIT
// The odds of a wrong decision per certainty, from the load's own spread of certainties.
// Where wrong decisions land is a fixed, deliberately wide form; everything else is measured.
#include "decode/error_odds.h"

#include <algorithm>
#include <cmath>

namespace kelvanto::decode {

namespace {

// Wrong decisions land at certainty c with density falloff * exp(-falloff * c): one in ten
// beyond 0.25, one in ninety beyond 0.5. Kept wide on purpose: a judge that believed wrong
// decisions always look unclear would repair loads into wrong data (with a falloff of 10
// the seeded loads of the trust test already get a few wrong repairs; see there).
constexpr double falloff = 9.0;
// A wrong decision that reads as a clean cycle (certainty 255) takes a cycle cut in two or
// two merged, which the framing shows; this share of them is allowed all the same.
constexpr double clearShare = 1e-4;
// The share of wrong decisions is judged from the share of unclear ones (below half), and
// never taken as less than this.
constexpr double leastWrong = 1e-4;
// The load's own certainties are counted over this many steps on either side.
constexpr int window = 4;
// Certainties of a clean recording sit within a few hundredths of 1.
constexpr double leastSpread = 0.05 * 0.05;

}  // namespace

ErrorOdds::ErrorOdds(const FramedLoad& load) {
    std::array<double, 256> counts{};
    double total = 0.0;
    double unclear = 0.0;
    double shortfall = 0.0;
    for (const FramedCharacter& character : load.characters) {
        for (std::size_t b = 1; b <= 8; ++b) {
            const std::uint8_t q = character.certainty[b];
            counts[q] += 1.0;
            total += 1.0;
            unclear += q < 128 ? 1.0 : 0.0;
            const double gap = 1.0 - q / 255.0;
            shortfall += gap * gap;
        }
    }
    const double n = std::max(total, 1.0);
    const double wrong = std::max(leastWrong, unclear / n);
    // Only the shortfall below the nominal length is seen (longer cycles read as certain),
    // half of a symmetric spread.
    const double spread = std::max(leastSpread, 2.0 * shortfall / n);
    // Where the load has no decisions at all, the odds of the next more certain place stand
    // (nothing of this load is judged there; readings of several takes may be).
    for (int q = 0; q < 256; ++q) {
        const double c = q / 255.0;
        double landing = 0.0;  // share of wrong decisions expected at exactly this certainty
        if (q == 255) {
            landing = clearShare;
        } else {
            const double from = std::max(0.0, (q - 0.5) / 255.0);
            landing = std::exp(-falloff * from) - std::exp(-falloff * ((q + 0.5) / 255.0));
        }
        const double expected = wrong * landing;
        double found = 0.0;  // share of the load's decisions at this certainty
        if (q == 255) {
            found = counts[255] / n;
        } else {
            int width = 0;
            for (int k = std::max(0, q - window); k <= std::min(254, q + window); ++k) {
                found += counts[static_cast<std::size_t>(k)];
                ++width;
            }
            found /= n * width;
        }
        const double sampled = found > 0.0 ? expected / std::max(found - expected, expected) : 0.0;
        const double noise = std::exp(-2.0 * c / spread);
        table[static_cast<std::size_t>(q)] = std::min(1.0, std::max(sampled, noise));
    }
    // More certain never means more likely wrong.
    for (std::size_t q = 255; q-- > 0;) {
        table[q] = std::max(table[q], table[q + 1]);
    }
    for (std::size_t q = 0; q < 256; ++q) {
        logTable[q] = -std::log(table[q]);
    }
}

std::uint8_t ErrorOdds::certaintyOf(double evidence) const {
    // The table rises with the certainty: the first entry at least as strong.
    const auto found = std::lower_bound(logTable.begin(), logTable.end(), evidence);
    if (found == logTable.end()) {
        return 255;
    }
    return static_cast<std::uint8_t>(found - logTable.begin());
}

}  // namespace kelvanto::decode
