// SPDX-License-Identifier: MIT
// The cycles of a load: the tone rule, the framed characters and their length in frames.
#include "tape/load_signal.h"

#include <algorithm>
#include <cmath>

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
    std::int64_t frames = (headerCycles + footerCycles) * machine::toneCycleFrames;
    // Every character after the usual start bit, in a loop without branches; the filler's
    // start bit is settled once at the end.
    for (const std::uint8_t character : characters) {
        frames += machine::characterFrames(character, machine::startBit);
    }
    if (!characters.empty()) {
        const std::size_t last = characters.size() - 1;
        frames += machine::bitFrames(startBitOf(last)) - machine::bitFrames(machine::startBit);
    }
    return frames;
}

LoadSignal loadSignal(const TapeLoad& load, const LoadCharacters& sent, int bytesPerSecond) {
    LoadSignal signal;
    signal.headerCycles = toneCycles(load.getHeaderLength(), bytesPerSecond);
    signal.characters.reserve(sent.characters.size() + 1);
    signal.characters.push_back(machine::syncCharacter);
    signal.characters.insert(signal.characters.end(), sent.characters.begin(),
                             sent.characters.end());
    signal.filler = sent.filler;
    signal.footerCycles = toneCycles(load.getFooterLength(), bytesPerSecond);
    signal.gapSeconds = load.getGapLength();
    return signal;
}

LoadSignal loadSignal(const TapeLoad& load, int bytesPerSecond) {
    return loadSignal(load, loadLayout::sentCharacters(load), bytesPerSecond);
}
