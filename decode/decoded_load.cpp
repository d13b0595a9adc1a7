// SPDX-License-Identifier: MIT
// Names of the verdicts and of the kinds of repairs and doubts, as reports print them, and how
// far two readings hold the same characters. (The result structure itself: decoded_load.h.)
#include "decode/decoded_load.h"

#include <algorithm>
#include <array>

namespace kelvanto::decode {

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::ok:
            return "OK";
        case Verdict::repaired:
            return "REPAIRED";
        case Verdict::bad:
            break;
    }
    return "BAD";
}

const char* repairKindName(Repair::Kind kind) {
    switch (kind) {
        case Repair::Kind::vote:
            return "vote";
        case Repair::Kind::slip:
            return "slip";
        case Repair::Kind::lost:
            return "lost";
        case Repair::Kind::bitFlip:
            break;
    }
    return "bitFlip";
}

const char* doubtKindName(CharacterDoubt::Kind kind) {
    switch (kind) {
        case CharacterDoubt::Kind::framing:
            return "framing";
        case CharacterDoubt::Kind::slipped:
            return "slipped";
        case CharacterDoubt::Kind::lost:
            return "lost";
        case CharacterDoubt::Kind::unclear:
            break;
    }
    return "unclear";
}

namespace {

constexpr std::size_t compared = 512;
// How far one reading's characters may stand off the other's, and what moving from one
// shift to another along the load costs, in characters: a cycle lost that the framer could
// not put right moves every later character a place, a dropout whose count of characters
// was not known a few.
constexpr long largestShift = 8;
constexpr double shiftChangeCost = 2.0;

// The characters among the first `count` whose value is unknown: a cycle slipped in them, or
// the signal was lost over them.
std::vector<bool> unknownCharacters(const DecodedLoad& load, std::size_t count) {
    std::vector<bool> unknown(count, false);
    for (const CharacterDoubt& doubt : load.doubts) {
        if (doubt.character < count && (doubt.kind == CharacterDoubt::Kind::slipped ||
                                        doubt.kind == CharacterDoubt::Kind::lost)) {
            unknown[doubt.character] = true;
        }
    }
    return unknown;
}

}  // namespace

double agreement(const DecodedLoad& a, const DecodedLoad& b) {
    const std::size_t common = std::min({a.characters.size(), b.characters.size(), compared});
    if (common == 0) {
        return -1.0;
    }
    // An unknown character speaks neither for nor against the same load (a dropout in one
    // take and not the other): it matches nothing and the share leaves it out, as long as
    // most characters are known.
    const std::vector<bool> unknownA = unknownCharacters(a, common);
    const std::vector<bool> unknownB =
        unknownCharacters(b, std::min(b.characters.size(), common + largestShift));
    const auto countOf = [&](const std::vector<bool>& unknown) {
        return static_cast<std::size_t>(
            std::count(unknown.begin(), unknown.begin() + static_cast<long>(common), true));
    };
    const std::size_t known =
        std::max(common - std::max(countOf(unknownA), countOf(unknownB)), (common + 1) / 2);
    // The most characters that agree over the first `common` of a, each laid beside b's at
    // a shift that may change along the way.
    constexpr std::size_t width = 2 * largestShift + 1;
    std::array<double, width> equal{};
    std::array<double, width> next{};
    for (std::size_t i = 0; i < common; ++i) {
        const double moved = *std::max_element(equal.begin(), equal.end()) - shiftChangeCost;
        for (std::size_t k = 0; k < width; ++k) {
            const long j = static_cast<long>(i) + static_cast<long>(k) - largestShift;
            const bool same = j >= 0 && static_cast<std::size_t>(j) < b.characters.size() &&
                              !unknownA[i] &&
                              !(static_cast<std::size_t>(j) < unknownB.size() &&
                                unknownB[static_cast<std::size_t>(j)]) &&
                              a.characters[i] == b.characters[static_cast<std::size_t>(j)];
            next[k] = std::max(equal[k], moved) + (same ? 1.0 : 0.0);
        }
        equal.swap(next);
    }
    const double best = std::max(0.0, *std::max_element(equal.begin(), equal.end()));
    double share = std::min(1.0, best / static_cast<double>(known));
    if (a.whole && b.whole) {
        share *= static_cast<double>(std::min(a.characters.size(), b.characters.size())) /
                 static_cast<double>(std::max(a.characters.size(), b.characters.size()));
    }
    return share;
}

}  // namespace kelvanto::decode
