// SPDX-License-Identifier: MIT
// A load as the tape carries it: a stream of square-wave cycles on the 22050 grid (header tone,
// the framed sync and load characters, footer tone) and the gap as silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/machine.h"
#include "tape/load_layout.h"
#include "tape/tape_load.h"

// The rule for a tone's length: a tone of some seconds holds whole 1 cycles, as many as it
// takes until their length plus one byte of the audio file reaches the seconds. The byte is
// the format's own (bytesPerSecond of the file): tapes have always been made this way, so a
// tone can hold one cycle more in one format than in another near a cycle's edge. Lengths
// that are not above zero, and lengths that are not finite, hold no cycle.
std::int64_t toneCycles(double seconds, int bytesPerSecond);

struct LoadSignal {
    std::int64_t headerCycles = 0;
    // After the header, the sync character; then every character of the load in the order
    // sent (the filler last, behind a 1 cycle in place of its start bit), each framed by its
    // start and stop bit and sent least significant bit first. The checksums are for the
    // report.
    static constexpr std::uint8_t sync = machine::syncCharacter;
    LoadCharacters sent;
    std::int64_t footerCycles = 0;
    // Silence after the footer; how many samples it takes is the audio format's matter.
    double gapSeconds = 0.0;

    // The sum of every cycle, in frames of the 22050 grid: the signal's exact length before
    // its gap.
    std::int64_t cycleFrames() const;
    // Calls cycle(frames) for every cycle in the order sent.
    template <typename Cycle>
    void forEachCycle(Cycle cycle) const;
};

// The signal of a load whose characters were laid out as sent; the tone rule takes the audio
// format's bytes per second.
LoadSignal loadSignal(const TapeLoad& load, LoadCharacters sent, int bytesPerSecond);
LoadSignal loadSignal(const TapeLoad& load, int bytesPerSecond);

template <typename Cycle>
void LoadSignal::forEachCycle(Cycle cycle) const {
    for (std::int64_t i = 0; i < headerCycles; ++i) {
        cycle(machine::toneCycleFrames);
    }
    auto framed = [&cycle](std::uint8_t character, int startBit) {
        cycle(machine::bitFrames(startBit));
        for (int bit = 0; bit < machine::dataBitsPerCharacter; ++bit) {
            cycle(machine::bitFrames((character >> bit) & 1));
        }
        cycle(machine::bitFrames(machine::stopBit));
    };
    framed(sync, machine::startBit);
    const std::vector<std::uint8_t>& characters = sent.characters;
    for (std::size_t index = 0; index < characters.size(); ++index) {
        const bool filler = sent.filler && index + 1 == characters.size();
        framed(characters[index], filler ? machine::fillerStartBit : machine::startBit);
    }
    for (std::int64_t i = 0; i < footerCycles; ++i) {
        cycle(machine::toneCycleFrames);
    }
}
