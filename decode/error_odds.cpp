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
// The number of wrong decisions is judged from the number of unclear ones (below half), and
// never taken as less than this many per load. A count, not a share: a long load without one
// unclear decision among its tens of thousands is better evidence of a clean reading than a
// short one, not worse (as a share of 1 in 10 000 made it: six wrong decisions taken for
// granted in every 8 KB load, some of them looking clear, and its right checksum not trusted).
constexpr double leastWrong = 0.25;
// The load's own certainties are counted over this many steps on either side.
constexpr int window = 4;
// A shifted centre is measured only on this many decisions of each kind.
constexpr double minimumForCentre = 200.0;
// Certainties of a clean recording sit within a few hundredths of 1.
constexpr double leastSpread = 0.05 * 0.05;

}  // namespace

ErrorOdds::ErrorOdds(const FramedLoad& load) {
    std::array<double, 256> counts{};
    std::array<std::array<double, 256>, 2> byValue{};
    double total = 0.0;
    double shortfall = 0.0;
    auto count = [&](std::uint8_t q, unsigned bit) {
        counts[q] += 1.0;
        byValue[bit][q] += 1.0;
        total += 1.0;
        const double gap = 1.0 - q / 255.0;
        shortfall += gap * gap;
    };
    for (const FramedCharacter& character : load.characters) {
        if (character.signalLost) {
            continue;  // nothing of it was read
        }
        for (std::size_t b = 1; b <= 8; ++b) {
            count(character.certainty[b], (character.value >> (b - 1)) & 1u);
        }
    }
    // The filler's decisions are the load's too (a near guess among them is as likely wrong).
    if (load.hasFiller) {
        for (std::size_t b = 0; b < load.fillerCertainty.size(); ++b) {
            count(load.fillerCertainty[b], (load.filler >> b) & 1u);
        }
    }
    const double n = std::max(total, 1.0);
    // Only the shortfall below the nominal length is seen (longer cycles read as certain),
    // half of a symmetric spread.
    double spread = std::max(leastSpread, 2.0 * shortfall / n);
    double centre = 1.0;
    // A recording whose cycles all came out shorter or longer than nominal (a low-pass
    // rounds the 0 cycles next to 1s, a codec moves edges) has its certainties shifted as a
    // whole: its decisions stand around a centre below 1 with a spread of their own, and
    // the odds of steady noise are measured from there. Each kind of decision (0s and 1s)
    // is measured on its own; the lower centre and the wider spread count.
    bool shifted = true;
    double lowestCentre = 1.0;
    double widest = 0.0;
    for (const auto& histogram : byValue) {
        double count = 0.0;
        for (const double h : histogram) {
            count += h;
        }
        if (count < minimumForCentre) {
            shifted = false;
            break;
        }
        // The median and the point a standard deviation below it (the 16th percentile).
        double seen = 0.0;
        int low = -1;
        int median = -1;
        for (int q = 0; q < 256 && median < 0; ++q) {
            seen += histogram[static_cast<std::size_t>(q)];
            if (low < 0 && seen >= 0.159 * count) {
                low = q;
            }
            if (seen >= 0.5 * count) {
                median = q;
            }
        }
        if (median >= 255) {
            shifted = false;
            break;
        }
        lowestCentre = std::min(lowestCentre, median / 255.0);
        widest = std::max(widest, (median - low) / 255.0);
    }
    if (shifted) {
        centre = lowestCentre;
        spread = std::max(leastSpread, widest * widest);
    }
    // Unclear: below half way from the threshold to where the load's decisions stand.
    double unclear = 0.0;
    for (int q = 0; q < 256 && q < 128.0 * centre; ++q) {
        unclear += counts[static_cast<std::size_t>(q)];
    }
    const double wrong = std::max(leastWrong, unclear) / n;
    auto foundNear = [&](int q) {
        double sum = 0.0;
        int width = 0;
        for (int k = std::max(0, q - window); k <= std::min(254, q + window); ++k) {
            sum += counts[static_cast<std::size_t>(k)];
            ++width;
        }
        return sum / (n * width);
    };
    // The median certainty of all decisions, and how many decisions stand around it.
    int middle = 0;
    for (double seen = 0.0; middle < 255; ++middle) {
        seen += counts[static_cast<std::size_t>(middle)];
        if (seen >= 0.5 * n) {
            break;
        }
    }
    const double middleFound = middle < 255 ? foundNear(middle) : 0.0;
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
        // share of the load's decisions at this certainty
        double found = q == 255 ? counts[255] / n : foundNear(q);
        if (q > middle && q < 255) {
            // More certain than most of the load's decisions: few are found up there only
            // because few cycles come out better than the recording's usual ones, not
            // because one that does is a stray.
            found = std::max(found, middleFound);
        }
        const double sampled = found > 0.0 ? expected / std::max(found - expected, expected) : 0.0;
        const double noise = std::exp(-2.0 * c * centre / spread);
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

ErrorOdds ErrorOdds::ofEvidence(double strongest) {
    ErrorOdds scale;
    for (std::size_t q = 0; q < 256; ++q) {
        scale.logTable[q] = strongest * static_cast<double>(q) / 255.0;
        scale.table[q] = std::exp(-scale.logTable[q]);
    }
    return scale;
}

std::uint8_t ErrorOdds::certaintyOf(double evidence) const {
    // The table rises with the certainty: the last entry no stronger. (The first entry at
    // least as strong overstated it wherever the load has no decisions of its own: a clean
    // load's table is flat from a near guess to its clean decisions, and a joint bit on
    // which two takes disagree, or that only a doubtful take heard, took the odds of a
    // clean one.)
    const auto above = std::upper_bound(logTable.begin(), logTable.end(), evidence);
    if (above == logTable.begin()) {
        return 0;
    }
    return static_cast<std::uint8_t>(above - logTable.begin() - 1);
}

}  // namespace kelvanto::decode
