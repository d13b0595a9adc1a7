// SPDX-License-Identifier: MIT
// Renders the tape's cycles into samples: every cycle a number of frames of the 22050 grid
// (frames are doubled at 44100), rendered once per file and copied as blocks from then on.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wav_file.h"
#include "base/bit_order.h"
#include "tape/load_signal.h"

class TapeWavWriter : public WavFile {
  public:
    const int zeroBitLength = machine::zeroBitFrames;
    const int oneBitLength = machine::oneBitFrames;

    TapeWavWriter() = default;
    ~TapeWavWriter();

    void open(const std::string& fileName, int sampleRate, int bitsPerSample, int channels);
    // Writes to a stream that cannot be patched (standard output): the header states
    // dataBytes at once, and close() checks that exactly that many were written.
    void openStream(std::FILE* stream, int sampleRate, int bitsPerSample, int channels,
                    std::int64_t dataBytes);
    void close();

    // Samples of one channel for each frame of the 22050 grid: a cycle keeps its length in
    // seconds at any rate (2 at 44100).
    static int samplesPerFrame(int sampleRate) { return sampleRate / machine::frameRate; }
    // Bytes of one frame of the 22050 grid in a format: every channel, twice at 44100.
    static int frameBytes(int sampleRate, int bitsPerSample, int channels) {
        return bitsPerSample / 8 * channels * samplesPerFrame(sampleRate);
    }
    // Bytes of a load's signal in a format: its cycles and its gap.
    static std::int64_t signalBytes(const LoadSignal& signal, int sampleRate, int bitsPerSample,
                                    int channels);

    // One frame at a level on every channel; twice at 44100.
    void writeLevel(int level);
    // One cycle of a number of frames: low half, a middle frame when odd, high half.
    void writeCycle(int frames);
    // A tone: this many 1 cycles.
    void writeTone(std::int64_t cycles);
    // Framed characters as sent (start bit, eight bits least significant first, stop bit),
    // the last one after a 1 in place of its start bit when it is the filler.
    void writeCharacters(const std::uint8_t* values, std::size_t count, bool lastIsFiller);
    // Eight cycles, most significant bit first, without framing.
    void writeByte(std::uint8_t value);
    // A framed character as sent; copied from a table rendered when the file is opened.
    void writeCharacter(std::uint8_t value) {
        if (characters.empty()) {  // not opened through open(): render it bit by bit
            writeCycle(zeroBitLength);
            writeByte(reverseBits(value));
            writeCycle(oneBitLength);
            return;
        }
        const std::uint32_t begin = characterOffset[value];
        writeBytes(characters.data() + begin, characterOffset[value + 1u] - begin);
    }

  private:
    void renderCycles();
    void renderCycle(int frames, std::vector<unsigned char>& bytes) const;

    std::vector<unsigned char> zeroCycle;
    std::vector<unsigned char> oneCycle;
    std::vector<unsigned char> characters;
    std::array<std::uint32_t, 257> characterOffset{};
    std::size_t longestCharacter = 0;
};
