// SPDX-License-Identifier: MIT
// Finding where the framing picks up after a dropout, and how many characters it took.
#include "decode/dropout_bridge.h"

#include <algorithm>
#include <cmath>

#include "base/machine.h"
#include "decode/character_length.h"

namespace kelvanto::decode {

namespace {

constexpr std::size_t characterCycles = machine::cyclesPerCharacter;
// Cycles at the start of what came back that may still be in the dropout's fade, or read
// while the filters settle: the framing is looked for this far in.
constexpr std::size_t settlingCycles = 3 * characterCycles;
// A run of this many 1s is a tone, not data: data has a 0 start bit every ten cycles.
constexpr std::size_t toneRun = 12;
constexpr double shortestHalves = characterHalves(0x00);
constexpr double longestCharacterHalves = characterHalves(0xFF);

// Framing bits that read wrong in the characters after the first from a place (the first
// may still be in the dropout's fade).
int framingWrong(const std::deque<Bit>& bits, std::size_t from) {
    int wrong = 0;
    for (std::size_t c = 1; c <= DropoutBridge::framedAfter; ++c) {
        const std::size_t at = from + c * characterCycles;
        wrong += bits[at].value != machine::startBit ? 1 : 0;
        wrong += bits[at + characterCycles - 1].value != machine::stopBit ? 1 : 0;
    }
    return wrong;
}

// A character read whole: its framing right and every cycle of it clear.
bool clear(const std::deque<Bit>& bits, std::size_t from) {
    if (bits[from].value != machine::startBit ||
        bits[from + characterCycles - 1].value != machine::stopBit) {
        return false;
    }
    for (std::size_t i = from; i < from + characterCycles; ++i) {
        if (bits[i].certainty < DropoutBridge::clearAtEdge) {
            return false;
        }
    }
    return true;
}

}  // namespace

DropoutBridge::Outcome DropoutBridge::find(const std::deque<Bit>& bits, double lostFrom, double now,
                                           double halfUnitBefore, bool final, Found& out,
                                           bool afterSync) {
    const std::size_t fewest = afterSync ? 0 : 1;
    const std::size_t settling = afterSync ? 2 * settlingCycles : settlingCycles;
    const double longest = afterSync ? longestAfterTone : longestHalves;
    const double lostSoFar = (bits.empty() ? now : bits.front().start) - lostFrom;
    if (halfUnitBefore > 0.0 && lostSoFar > longest * halfUnitBefore) {
        return Outcome::none;
    }
    // A tone anywhere: the load ended in the dropout, or another began.
    std::size_t run = 0;
    for (const Bit& b : bits) {
        run = b.value == Bit::one ? run + 1 : 0;
        if (run >= toneRun) {
            return Outcome::none;
        }
    }
    // A place from which the characters after it frame must have every framing bit right: once
    // every place has one wrong among the bits come so far, nothing will frame here.
    auto ruledOut = [&](std::size_t from) {
        for (std::size_t c = 1; c <= framedAfter; ++c) {
            const std::size_t at = from + c * characterCycles;
            const std::size_t stop = at + characterCycles - 1;
            if ((at < bits.size() && bits[at].value != machine::startBit) ||
                (stop < bits.size() && bits[stop].value != machine::stopBit)) {
                return true;
            }
        }
        return false;
    };
    // Inside the data, hiss read in a dropout (once the level has sunk, hiss passes for a
    // signal) leaves cycles that frame nothing before the data comes back: the framing is
    // looked for from the first place the bits come so far leave open, as long as the signal
    // may still have been lost there.
    std::size_t open = 0;
    while (open < bits.size() && ruledOut(open)) {
        const bool stillLost = !afterSync && halfUnitBefore > 0.0 &&
                               bits[open].end - lostFrom <= longest * halfUnitBefore;
        if (open + 1 >= settling && !stillLost) {
            return Outcome::none;
        }
        ++open;
    }
    const std::size_t start = open < settling ? 0 : open;
    const std::size_t needed =
        start + settling + 2 * characterCycles + framedAfter * characterCycles;
    if (bits.size() < needed) {
        return final ? Outcome::none : Outcome::wait;
    }
    // The first place from which the characters after it frame; every other place within a
    // character of it must clearly not.
    std::size_t place = start;
    while (place < start + settling && framingWrong(bits, place) != 0) {
        ++place;
    }
    if (place == start + settling) {
        return Outcome::none;
    }
    // (A place a whole character away is the same framing, not a rival.)
    for (std::size_t q = place >= characterCycles ? place - characterCycles + 1 : 0;
         q < place + characterCycles; ++q) {
        if (q != place && framingWrong(bits, q) < rivalsWrongAtLeast) {
            return Outcome::none;
        }
    }
    // A character still in the fade of the dropout is lost with it; the characters read
    // again that the rate is measured on follow the first clear one.
    const std::size_t span = framedAfter * characterCycles;
    std::size_t offset = place;
    for (;;) {
        if (offset + span >= bits.size()) {
            return final ? Outcome::none : Outcome::wait;
        }
        if (clear(bits, offset)) {
            break;
        }
        if (offset >= place + 2 * settling) {
            return Outcome::none;
        }
        offset += characterCycles;
    }
    // The half unit right after the dropout, from the characters read there.
    double halvesRead = 0.0;
    for (std::size_t i = offset; i < offset + span; ++i) {
        halvesRead += halfUnitsOf(bits[i]);
    }
    const double halfUnit = (bits[offset + span].start - bits[offset].start) / halvesRead;
    if (!(halfUnit > 0.0)) {
        return Outcome::none;
    }
    // A header tone and the data after it run at one speed: data at another is not this
    // tone's load (a stretch of a load's data can read as tone, and more of it follow).
    if (afterSync && halfUnitBefore > 0.0 &&
        std::fabs(halfUnit / halfUnitBefore - 1.0) > speedChangeAfterTone) {
        return Outcome::none;
    }
    const double halves = (bits[offset].start - lostFrom) / halfUnit;
    if (!(halves > (afterSync ? -slackHalves : 0.0)) || halves > longest) {
        return Outcome::none;
    }
    const double slack = slackHalves + slackShare * std::fabs(halves);
    // The counts that fit run from the stretch over the longest character to the stretch
    // over the shortest.
    Found fits{offset, 0, 0, halves, true};
    for (std::size_t c = 1; c < framedAfter; ++c) {
        fits.clearAfter = fits.clearAfter && clear(bits, offset + c * characterCycles);
    }
    bool any = false;
    for (std::size_t n = fewest; shortestHalves * static_cast<double>(n) <= halves + slack; ++n) {
        if (longestCharacterHalves * static_cast<double>(n) >= halves - slack) {
            fits.fewest = any ? fits.fewest : n;
            fits.most = n;
            any = true;
        }
    }
    if (!any) {
        return Outcome::none;
    }
    out = fits;
    return Outcome::found;
}

}  // namespace kelvanto::decode
