// SPDX-License-Identifier: MIT
// A load as the framer read it, before any checksum judgement: every character with the
// certainty and position of each of its ten cycles, the filler and the footer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/machine.h"

namespace kelvanto::decode {

// The ten cycles of a character: the start bit (index 0), the eight data bits least
// significant first (indices 1 to 8) and the stop bit (index 9).
struct FramedCharacter {
    double start = 0.0;  // frame of the start bit's cycle
    std::array<std::uint16_t, machine::cyclesPerCharacter>
        offsets{};  // frames from start to each cycle
    std::array<std::uint8_t, machine::cyclesPerCharacter>
        certainty{};  // 0 (a guess) .. 255 (clear)
    std::uint8_t value = 0;
    // Frames from the start bit's first edge to the stop bit's last: a slip moves cycles
    // about inside a character but keeps its length, which its value's 1 bits fix.
    float length = 0.0f;
    bool startMisread = false;  // read as 1, taken as 0 because data went on after it
    bool stopBad = false;       // the stop cycle read as 0
    // One cycle too many (a cycle cut in two) or too few (two merged) came in this
    // character; its framing was put right so that the characters after it frame right.
    bool extraCycleDropped = false;
    // The signal was lost over this character (a dropout) and the reading picked up again
    // after it: nothing of it was read, and it counts as slipped as well. lostHalves is how
    // long the stretch lost was, in half units, when it held this character alone (0 when
    // the stretch did not measure it).
    bool signalLost = false;
    float lostHalves = 0.0f;

    double bitFrame(int index) const { return start + offsets[static_cast<std::size_t>(index)]; }
    float bitCertainty(int index) const {
        return certainty[static_cast<std::size_t>(index)] / 255.0f;
    }
};

// A character whose framing slipped and was put right by the likeliest change of its
// cycles (two pieces of a cut cycle joined, a stray cycle dropped, or a cycle split into
// the two that merged): the values every other such change would have given. The
// character's value is one reading among these, which the checksum settles, weighed by
// what the signal says of each: the log of its likelihood against the reading as it came
// (the same for all where the signal was not weighed, or says nothing of the change).
struct SlipReading {
    std::size_t character = 0;
    std::vector<std::uint8_t> others;
    std::vector<double> otherLogOdds;  // one per other reading, when weighed
    double chosenLogOdds = 0.0;
    // Two 0s run together: the quietest 1 of the character against the next quietest
    // (0 when the slip was not of that kind or the character had fewer than two 1s), and the
    // value that splitting it gives; decode_bench measures the level's word on these.
    float quietRatio = 0.0f;
    std::uint8_t quietValue = 0;
    // A 0 and a 1 run into one long cycle: where its middle edge fell (-1 when the slip was
    // not of that kind), and the values of the two orders; decode_bench measures the
    // middle edge's word on the order.
    float longMiddle = -1.0f;
    std::uint8_t zeroOneValue = 0;
    std::uint8_t oneZeroValue = 0;

    // The log odds of other reading number `other`; past the others, of the chosen one.
    double logOddsOf(std::size_t other) const {
        return other < otherLogOdds.size() ? otherLogOdds[other] : chosenLogOdds;
    }
};

// A dropout whose stretch fits several counts of characters (see DropoutBridge): the
// likeliest count was kept as lost from character first on, and every character after it may
// stand as many places off as that count may be wrong. tookSync: the dropout took the sync
// character too (and perhaps the tone's last cycles), so none may have been lost after it.
struct UncountedDropout {
    std::size_t first = 0;
    std::size_t kept = 0;
    std::size_t fewest = 0;
    std::size_t most = 0;
    bool tookSync = false;
};

struct FramedLoad {
    double syncStart = 0.0;
    // The least certainty among the sync character's cycles (0 for a cycle read against its
    // pattern): a load without data has nothing else to vouch for it.
    float syncCertainty = 1.0f;
    std::vector<FramedCharacter> characters;
    bool hasFiller = false;
    std::uint8_t filler = machine::fillerCharacter;
    // The certainty of the filler's eight data bits (as FramedCharacter::certainty, least
    // significant first) and the frame where it starts: the sum leaves the filler out, but a
    // binary load's data holds it, so nothing but these vouches for it.
    std::array<std::uint8_t, 8> fillerCertainty{};
    double fillerStart = 0.0;
    int footerCycles = 0;
    double footerStart = 0.0;
    double footerEnd = 0.0;
    std::vector<SlipReading> slips;
    std::vector<UncountedDropout> uncounted;
    // How clearly the data ended: 1, or 0 where a cycle of the last character, of the 1 in the
    // next start bit's place that ended it, of the filler or of the footer's first cycles
    // lasted other than its value's length. And whether the footer ran straight into another
    // load's sync character (no gap).
    float endCertainty = 1.0f;
    bool runsIntoNext = false;
    // Whole: the footer was reached. Otherwise problem says what stopped the reading where.
    bool complete = false;
    std::string problem;
    double problemAt = 0.0;
    double end = 0.0;  // last frame that belongs to the load
};

}  // namespace kelvanto::decode
