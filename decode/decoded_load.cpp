// SPDX-License-Identifier: MIT
// Names of the verdicts and of the kinds of repairs and doubts, as reports print them, and how
// far two readings hold the same characters. (The result structure itself: decoded_load.h.)
#include "decode/decoded_load.h"

#include <algorithm>

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
constexpr long largestShift = 2;

}  // namespace

double agreement(const DecodedLoad& a, const DecodedLoad& b) {
    const std::size_t common = std::min({a.characters.size(), b.characters.size(), compared});
    if (common == 0) {
        return -1.0;
    }
    std::size_t best = 0;
    for (long shift = -largestShift; shift <= largestShift; ++shift) {
        std::size_t equal = 0;
        for (std::size_t i = 0; i < common; ++i) {
            const long j = static_cast<long>(i) + shift;
            equal += j >= 0 && static_cast<std::size_t>(j) < b.characters.size() &&
                             a.characters[i] == b.characters[static_cast<std::size_t>(j)]
                         ? 1
                         : 0;
        }
        best = std::max(best, equal);
    }
    double share = static_cast<double>(best) / static_cast<double>(common);
    if (a.whole && b.whole) {
        share *= static_cast<double>(std::min(a.characters.size(), b.characters.size())) /
                 static_cast<double>(std::max(a.characters.size(), b.characters.size()));
    }
    return share;
}

}  // namespace kelvanto::decode
