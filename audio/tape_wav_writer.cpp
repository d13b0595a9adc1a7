// SPDX-License-Identifier: MIT
// Square-wave cycles for the tape signal, rendered once per file and then copied as blocks.
#include "audio/tape_wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int low = -100;
constexpr int middle = 0;
constexpr int high = 100;
}  // namespace

// A writer that was not closed leaves no file: WavFile abandons it.
TapeWavWriter::~TapeWavWriter() = default;

void TapeWavWriter::open(const std::string& fileName, int rate, int bits, int channelCount) {
    openForOutput(fileName, rate, bits, channelCount);
    renderCycles();
}

void TapeWavWriter::openStream(std::FILE* stream, int rate, int bits, int channelCount,
                               std::int64_t dataBytes) {
    openForStream(stream, rate, bits, channelCount, dataBytes);
    renderCycles();
}

// The two bit cycles and the 256 framed characters, each as the receiver reads it: the start
// bit, the value's bits from the lowest up, the stop bit.
void TapeWavWriter::renderCycles() {
    renderCycle(zeroBitLength, zeroCycle);
    renderCycle(oneBitLength, oneCycle);
    characters.clear();
    for (int value = 0; value < 256; ++value) {
        characterOffset[static_cast<std::size_t>(value)] =
            static_cast<std::uint32_t>(characters.size());
        characters.insert(characters.end(), zeroCycle.begin(), zeroCycle.end());
        for (int bit = 0; bit < machine::dataBitsPerCharacter; ++bit) {
            const auto& cycle = (value >> bit) & 1 ? oneCycle : zeroCycle;
            characters.insert(characters.end(), cycle.begin(), cycle.end());
        }
        characters.insert(characters.end(), oneCycle.begin(), oneCycle.end());
    }
    characterOffset[256] = static_cast<std::uint32_t>(characters.size());
    longestCharacter = characterOffset[256] - characterOffset[255];
}

std::int64_t TapeWavWriter::signalBytes(const LoadSignal& signal, int rate, int bits,
                                        int channelCount) {
    return signal.cycleFrames() * frameBytes(rate, bits, channelCount) +
           silenceBytes(signal.gapSeconds, rate, bits, channelCount);
}

// The rendered cycles belong to the file's format; a later file renders its own.
void TapeWavWriter::close() {
    WavFile::close();
    zeroCycle.clear();
    oneCycle.clear();
    characters.clear();
}

// Every channel carries the same level. Frames are counted on a 22050 grid, so at 44100 each
// sample is written twice and a cycle keeps its length in seconds.
void TapeWavWriter::writeLevel(int level) {
    const int repeat = samplesPerFrame(getSampleRate());
    for (int channel = 0; channel < getChannels(); ++channel) {
        for (int i = 0; i < repeat; ++i) {
            writeSample(level);
        }
    }
}

// A cycle starts low and ends high; an odd frame count puts one frame at the middle level
// between the halves, so the cycle keeps its exact length.
void TapeWavWriter::renderCycle(int frames, std::vector<unsigned char>& bytes) const {
    bytes.clear();
    if (frames <= 0) {
        return;
    }
    const int half = static_cast<int>(frames / 2.0);
    const int mid = static_cast<int>(std::ceil(frames / 2.0)) - half;
    const int repeat = samplesPerFrame(getSampleRate()) * getChannels();
    auto addFrames = [&](int count, int level) {
        unsigned char sample[2];
        const int size = sampleBytes(level, sample);
        for (int i = 0; i < count * repeat; ++i) {
            bytes.insert(bytes.end(), sample, sample + size);
        }
    };
    addFrames(half, low);
    addFrames(mid, middle);
    addFrames(frames - half - mid, high);
}

void TapeWavWriter::writeCycle(int frames) {
    if (frames == zeroBitLength && !zeroCycle.empty()) {
        writeBytes(zeroCycle.data(), zeroCycle.size());
    } else if (frames == oneBitLength && !oneCycle.empty()) {
        writeBytes(oneCycle.data(), oneCycle.size());
    } else if (frames > 0) {
        std::vector<unsigned char> cycle;
        renderCycle(frames, cycle);
        writeBytes(cycle.data(), cycle.size());
    }
}

void TapeWavWriter::writeTone(std::int64_t cycles) {
    if (cycles <= 0) {
        return;
    }
    if (oneCycle.empty()) {
        for (std::int64_t i = 0; i < cycles; ++i) {
            writeCycle(oneBitLength);
        }
        return;
    }
    writeRepeated(oneCycle.data(), oneCycle.size(), cycles);
}

// The loop that makes most of a file: as many characters as surely fit into the block are
// copied without a check each; the one that reaches the block's end goes through
// writeCharacter, which writes the block out.
void TapeWavWriter::writeCharacters(const std::uint8_t* values, std::size_t count,
                                    bool lastIsFiller) {
    const std::size_t framed = lastIsFiller && count > 0 ? count - 1 : count;
    std::size_t index = 0;
    while (index < framed) {
        const std::size_t fit =
            characters.empty() ? 0 : std::min(putRoom() / longestCharacter, framed - index);
        if (fit == 0) {
            writeCharacter(values[index++]);
            continue;
        }
        unsigned char* const start = putPointer();
        unsigned char* out = start;
        for (const std::size_t end = index + fit; index < end; ++index) {
            const std::uint32_t begin = characterOffset[values[index]];
            const std::uint32_t size = characterOffset[values[index] + 1u] - begin;
            std::memcpy(out, characters.data() + begin, size);
            out += size;
        }
        advance(static_cast<std::size_t>(out - start));
    }
    if (framed < count) {
        writeCycle(machine::bitFrames(machine::fillerStartBit));
        writeByte(reverseBits(values[framed]));
        writeCycle(machine::bitFrames(machine::stopBit));
    }
}

void TapeWavWriter::writeByte(std::uint8_t value) {
    for (int bit = 7; bit >= 0; --bit) {
        writeCycle((value >> bit) & 1 ? oneBitLength : zeroBitLength);
    }
}
