// SPDX-License-Identifier: MIT
// The cycles of a load: the tone rule, the framed characters and their length in frames.
#include "tape/load_signal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

std::int64_t toneCycles(double seconds, int bytesPerSecond) {
    if (!(seconds > 0.0) || !std::isfinite(seconds) || bytesPerSecond <= 0) {
        return 0;
    }
    // Bytes of one 1 cycle in the file: its frames of the 22050 grid at the file's frame size.
    const double cycleBytes =
        static_cast<double>(machine::toneCycleFrames) * bytesPerSecond / machine::frameRate;
    const double rate = bytesPerSecond;
    // Lengths beyond any file (2 GB last less than a day) are refused by the conversion's size
    // check long before; for them an estimate will do, where settling could not step.
    if (seconds > 1e12) {
        return static_cast<std::int64_t>(std::min(seconds * rate / cycleBytes, 1e18));
    }
    // A tone stops once (cycles * cycleBytes + 1) / rate is no longer below the seconds.
    double cycles = std::max(0.0, std::ceil((seconds * rate - 1.0) / cycleBytes));
    // The estimate may be one off where the division rounds; settle it by the comparison.
    while (cycles > 0 && !(seconds > ((cycles - 1) * cycleBytes + 1) / rate)) {
        --cycles;
    }
    while (seconds > (cycles * cycleBytes + 1) / rate) {
        ++cycles;
    }
    return static_cast<std::int64_t>(cycles);
}

std::int64_t LoadSignal::cycleFrames() const {
    const std::vector<std::uint8_t>& characters = sent.characters;
    std::int64_t frames = (headerCycles + footerCycles) * machine::toneCycleFrames +
                          machine::characterFrames(sync, machine::startBit);
    // A character with the usual start bit lasts as long as a 0 character and the difference
    // of a 1 cycle and a 0 cycle once for each of its 1 bits. Eight characters at a time, the
    // 1 bits are counted in pairs, nibbles, then bytes summed by one multiply.
    const std::int64_t zeroCharacter = machine::characterFrames(0, machine::startBit);
    const std::int64_t perOne = machine::bitFrames(1) - machine::bitFrames(0);
    std::size_t index = 0;
    for (; index + 8 <= characters.size(); index += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, characters.data() + index, sizeof word);
        word -= (word >> 1) & 0x5555555555555555u;
        word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
        word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
        const auto ones = static_cast<std::int64_t>((word * 0x0101010101010101u) >> 56);
        frames += 8 * zeroCharacter + ones * perOne;
    }
    for (; index < characters.size(); ++index) {
        frames += machine::characterFrames(characters[index], machine::startBit);
    }
    // The filler follows a 1 cycle in place of its start bit.
    if (sent.filler && !characters.empty()) {
        frames +=
            machine::bitFrames(machine::fillerStartBit) - machine::bitFrames(machine::startBit);
    }
    return frames;
}

LoadSignal loadSignal(const TapeLoad& load, LoadCharacters sent, int bytesPerSecond) {
    LoadSignal signal;
    signal.headerCycles = toneCycles(load.getHeaderLength(), bytesPerSecond);
    signal.sent = std::move(sent);
    signal.footerCycles = toneCycles(load.getFooterLength(), bytesPerSecond);
    signal.gapSeconds = load.getGapLength();
    return signal;
}

LoadSignal loadSignal(const TapeLoad& load, int bytesPerSecond) {
    return loadSignal(load, loadLayout::sentCharacters(load), bytesPerSecond);
}
