// SPDX-License-Identifier: MIT
// Where the reading of a load picks up again after a dropout inside its data: which cycle
// starts a character, and how many characters the signal lost in between.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "decode/bit.h"

namespace kelvanto::decode {

// A dropout (oxide lost, a crease, a splice) takes the signal for a few milliseconds and
// gives it back unharmed, so the characters after it are as readable as those before. Since
// every character is framed (a 0 start bit, a 1 stop bit), the cycle that starts one is the
// only place from which the next few characters all frame; and since a character lasts 11
// to 19 half units (its 1 bits count two), the stretch from the last character read before
// the dropout to that cycle says how many characters it held: exactly, where only one count
// fits (a dropout of up to about two characters), else a range of counts.
struct DropoutBridge {
    // Characters after the dropout that must frame, and how clearly every other place must
    // not (framing bits that read wrong).
    static constexpr std::size_t framedAfter = 8;
    static constexpr int rivalsWrongAtLeast = 2;
    // A dropout longer than this (in half units, about 127 ms at the nominal speed, with the
    // characters read unclearly at its edges) is no dropout: the load ended or was cut there.
    static constexpr double longestHalves = 400.0;
    // After a header tone whose sync character was lost, a stretch as long as about 63 ms:
    // a longer silence or stretch of hiss after a tone is a gap, and what follows is looked
    // for as a load of its own.
    static constexpr double longestAfterTone = 200.0;
    // How far the data's speed may be from the tone's there: a tone's mean speed and that of
    // the data right after it differ by little more than wow moves it in a second.
    static constexpr double speedChangeAfterTone = 0.15;
    // How far the stretch may miss a whole count of characters: a half unit, and 2 % of it
    // for speed that changes across the dropout.
    static constexpr double slackHalves = 1.0;
    static constexpr double slackShare = 0.02;
    // Cycles of a character read at the edge of the dropout must be at least this certain,
    // or the character counts as lost too.
    static constexpr float clearAtEdge = 0.5f;

    struct Found {
        std::size_t offset = 0;  // the cycle that starts the first character read again
        // Characters lost between lostFrom and that cycle: every count the stretch fits,
        // fewest == most where it measures one.
        std::size_t fewest = 0;
        std::size_t most = 0;
        double halves = 0.0;  // the stretch lost, in half units
        // Whether the framedAfter characters from that one on, whose lengths set the speed
        // after the dropout, all read clearly.
        bool clearAfter = false;
        bool counted() const { return fewest == most; }
    };
    enum class Outcome { wait, none, found };

    // bits: every cycle after the dropout, none of them lost; lostFrom: the frame where the
    // first character lost began; now: the end of the last cycle seen, lost or not;
    // halfUnitBefore: frames of half a unit before the dropout. Nothing found (none) when the
    // bits hold a tone, frame from more than one place, or fit no count of characters,
    // or when the signal stays lost (or hiss comes back instead of data) for longer than
    // longestHalves: then a load ended there (its footer lost, or none) and what follows
    // must go back to the search for tones.
    // afterSync: lostFrom is where the sync character ended, which a dip took with it: no
    // character at all may have been lost, and the cycles the dip left (a dropout leaves
    // none) come before the framing, so it is looked for further in.
    static Outcome find(const std::deque<Bit>& bits, double lostFrom, double now,
                        double halfUnitBefore, bool final, Found& out, bool afterSync = false);
};

}  // namespace kelvanto::decode
