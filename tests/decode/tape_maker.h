// SPDX-License-Identifier: MIT
// Test recordings made by the project's own converter, and the characters the machine must
// receive from them, worked out from each load's data and the checksum rule alone.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/decoded_load.h"
#include "decode/recording_decoder.h"

namespace decode_testing {

struct TestLoad {
    int format = 1;
    std::vector<std::uint8_t> data;
    double header = 0.2;
    double footer = 0.1;
    double gap = 0.15;
};

// What a receiver reads for a load: every character (the checksum last) and the filler.
struct Expected {
    std::vector<std::uint8_t> characters;
    bool hasFiller = false;
    std::uint8_t filler = 0xFF;
};
Expected expectedOf(const TestLoad& load);

// Seeded pseudo-random bytes; a format-3 load gets its checksum stored in its data.
std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed);
TestLoad binaryLoadWithRightChecksum(std::size_t length, unsigned seed);

// Interleaved float samples, full scale +-1.
struct Recording {
    int rate = 22050;
    int channels = 1;
    std::vector<float> samples;
    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

// Converts the loads into a scratch .wav with the converter and reads it back.
Recording render(const std::vector<TestLoad>& loads, int rate, int bits, int channels);

std::vector<kelvanto::decode::DecodedLoad> decode(const Recording& recording,
                                                  kelvanto::decode::DecoderOptions options = {});

// Counts the loads that are exact against the expectation (characters and filler) and
// not BAD; reports every difference through gtest.
int exactLoads(const std::vector<kelvanto::decode::DecodedLoad>& got,
               const std::vector<TestLoad>& loads);

// The three load formats, short enough for the suite: text data, screen-like interleaved
// data, and binary data with a filler other than 0xFF.
std::vector<TestLoad> threeFormats();

// Three loads of 256 random bytes at 22050 Hz, 16 bit, stereo, with hiss of its own on each
// channel at 4.5 dB SNR: neither channel alone reads every load, the two mixed do.
struct NoisyStereo {
    std::vector<TestLoad> loads;
    Recording recording;
};
NoisyStereo noisyStereo();

}  // namespace decode_testing
