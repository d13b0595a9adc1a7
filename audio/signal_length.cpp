// The length of a load's signal, from its characters and the tone rule of the byte clock.
#include "audio/signal_length.h"

#include <cmath>

#include "base/machine.h"
#include "tape/load_layout.h"

namespace {

int bitFrames(int bit) {
    return bit != 0 ? machine::oneBitFrames : machine::zeroBitFrames;
}

// Frames of a framed character: start bit, eight data bits, stop bit.
long characterFrames(std::uint8_t value, int startBit) {
    long frames = bitFrames(startBit) + bitFrames(1);
    for (int bit = 0; bit < 8; ++bit) {
        frames += bitFrames((value >> bit) & 1);
    }
    return frames;
}

// Cycles of a tone: 1 bits are written while the length is above the clock, which counts one
// byte more than was written since the tone began.
double toneCycles(double seconds, double bytesPerSecond, double cycleBytes) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        return 0.0;
    }
    double cycles = std::max(0.0, std::ceil((seconds * bytesPerSecond - 1.0) / cycleBytes));
    // The estimate may be one off where the division rounds; settle it as the clock does.
    while (cycles > 0 && !(seconds > ((cycles - 1) * cycleBytes + 1) / bytesPerSecond)) {
        --cycles;
    }
    while (seconds > (cycles * cycleBytes + 1) / bytesPerSecond) {
        ++cycles;
    }
    return cycles;
}

}  // namespace

double loadSeconds(const TapeLoad& load, int sampleRate, int bitsPerSample, int channels) {
    const double bytesPerSecond = static_cast<double>(sampleRate) * bitsPerSample / 8 * channels;
    const double frameBytes = bytesPerSecond / machine::frameRate;
    const double cycleBytes = machine::oneBitFrames * frameBytes;
    long frames = characterFrames(machine::syncCharacter, 0);
    const LoadCharacters sent = loadLayout::sentCharacters(load);
    for (std::size_t i = 0; i < sent.characters.size(); ++i) {
        const bool filler = sent.filler && i + 1 == sent.characters.size();
        frames += characterFrames(sent.characters[i], filler ? 1 : 0);
    }
    const double tones = toneCycles(load.getHeaderLength(), bytesPerSecond, cycleBytes) +
                         toneCycles(load.getFooterLength(), bytesPerSecond, cycleBytes);
    const double gap = load.getGapLength() > 0.0
                           ? std::trunc(bytesPerSecond * load.getGapLength()) / bytesPerSecond
                           : 0.0;
    return (frames + tones * machine::oneBitFrames) / machine::frameRate + gap;
}
