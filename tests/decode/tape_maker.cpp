// SPDX-License-Identifier: MIT
// Test recordings from the converter and their expected characters (see tape_maker.h).
// Expected characters follow the load formats' pair layout and the checksum rule.
#include "tests/decode/tape_maker.h"

#include <gtest/gtest.h>

#include <random>

#include "audio/conversion_run.h"
#include "base/bit_order.h"
#include "decode/audio_file_reader.h"
#include "tape/tarqo_bin_file.h"
#include "tests/decode/degradations.h"
#include "tests/support.h"

namespace decode_testing {

namespace {

std::uint8_t at(const std::vector<std::uint8_t>& data, std::size_t index) {
    return index < data.size() ? data[index] : 0;
}

// The two characters a receiver reads from an interleaved pair.
std::pair<std::uint8_t, std::uint8_t> interleaved(std::uint8_t first, std::uint8_t second) {
    std::uint8_t high = 0;
    std::uint8_t low = 0;
    interleavePair(first, second, high, low);
    return {reverseBits(high), reverseBits(low)};
}

}  // namespace

Expected expectedOf(const TestLoad& load) {
    const std::size_t length = load.data.size();
    const std::size_t positions = load.format == 3 ? length : length + 1;
    const std::size_t pairs = (positions + 1) / 2;
    Expected out;
    if (pairs == 0) {
        return out;
    }
    std::vector<std::pair<std::uint8_t, std::uint8_t>> read;
    for (std::size_t j = 0; j < pairs; ++j) {
        if (load.format == 1) {
            read.emplace_back(at(load.data, 2 * j), at(load.data, 2 * j + 1));
        } else {
            const std::size_t half = load.format == 2 ? pairs - 1 : pairs;
            read.push_back(interleaved(at(load.data, j), at(load.data, j + half)));
        }
    }
    const bool odd = positions % 2 == 1;
    unsigned sum = 0xA5;
    for (std::size_t j = 0; j + 1 < pairs; ++j) {
        out.characters.push_back(read[j].first);
        out.characters.push_back(read[j].second);
        sum += read[j].first + read[j].second;
    }
    const auto [r1, r2] = read.back();
    // The checksum makes 0xA5 + every character + checksum equal 0xFF modulo 256.
    const std::uint8_t checksum =
        static_cast<std::uint8_t>(0xFFu - ((sum + (odd ? 0u : r1)) & 0xFFu));
    const std::uint8_t stated = odd ? r1 : r2;
    if (odd) {
        out.characters.push_back(checksum);
        out.hasFiller = true;
        // Binary data with a right checksum goes out as it is, filler included.
        out.filler = load.format == 3 && stated == checksum ? r2 : 0xFF;
    } else {
        out.characters.push_back(r1);
        out.characters.push_back(checksum);
    }
    return out;
}

std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(random() & 0xFFu);
    }
    return bytes;
}

TestLoad binaryLoadWithRightChecksum(std::size_t length, unsigned seed) {
    TestLoad load;
    load.format = 3;
    // Try last bytes (and, since one byte alone reaches only half the sums, other seeds)
    // until the checksum that the data holds is the right one.
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        load.data = randomBytes(length, seed + attempt);
        for (unsigned value = 0; value < 256; ++value) {
            load.data.back() = static_cast<std::uint8_t>(value);
            const std::size_t pairs = (length + 1) / 2;
            const auto last = interleaved(at(load.data, pairs - 1), at(load.data, 2 * pairs - 1));
            const std::uint8_t stated = length % 2 == 1 ? last.first : last.second;
            if (stated == expectedOf(load).characters.back()) {
                return load;
            }
        }
    }
    ADD_FAILURE() << "no data gives a right checksum";
    return load;
}

std::vector<TestLoad> threeFormats() {
    TestLoad text;
    text.format = 1;
    text.data = randomBytes(41, 7);
    text.gap = 0.15;
    TestLoad screen;
    screen.format = 2;
    screen.data = randomBytes(36, 11);
    screen.gap = 0.0;  // the next header follows the footer directly
    TestLoad binary = binaryLoadWithRightChecksum(33, 13);
    binary.gap = 0.2;
    return {text, screen, binary};
}

Recording render(const std::vector<TestLoad>& loads, int rate, int bits, int channels) {
    testing_support::ScratchDir dir;
    const std::string path = dir.file("tape.wav");
    {
        TarqoBinFile tape;
        tape.setVerbosity(0);
        for (const TestLoad& source : loads) {
            TapeLoad load;
            load.setFormat(source.format);
            load.setLength(static_cast<int>(source.data.size()));
            for (std::size_t i = 0; i < source.data.size(); ++i) {
                load.setByte(static_cast<long>(i), source.data[i]);
            }
            load.setCheckSum(expectedOf(source).characters.back());
            load.setHeaderLength(source.header);
            load.setFooterLength(source.footer);
            load.setGapLength(source.gap);
            tape.loads.push_back(load);
        }
        ConversionRun run;
        run.createAudioFile(tape, path, rate, bits, channels);
        run.finish();
    }
    kelvanto::decode::AudioFileReader reader;
    Recording out;
    if (!reader.open(path)) {
        ADD_FAILURE() << reader.error();
        return out;
    }
    out.rate = reader.sampleRate();
    out.channels = reader.channels();
    std::vector<float> block;
    while (reader.read(block, 4096) > 0) {
        out.samples.insert(out.samples.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<kelvanto::decode::DecodedLoad> decode(const Recording& recording,
                                                  kelvanto::decode::DecoderOptions options) {
    kelvanto::decode::RecordingDecoder decoder(recording.rate, recording.channels, options);
    // Odd block sizes, so that frames and cycles straddle block boundaries.
    std::span<const float> rest(recording.samples);
    while (!rest.empty()) {
        const std::size_t step = std::min<std::size_t>(rest.size(), 3001);
        decoder.pushInterleaved(rest.first(step));
        rest = rest.subspan(step);
    }
    return decoder.finish();
}

int exactLoads(const std::vector<kelvanto::decode::DecodedLoad>& got,
               const std::vector<TestLoad>& loads) {
    EXPECT_EQ(got.size(), loads.size());
    int exact = 0;
    for (std::size_t i = 0; i < std::min(got.size(), loads.size()); ++i) {
        const Expected want = expectedOf(loads[i]);
        const auto& load = got[i];
        const bool same = load.verdict != kelvanto::decode::Verdict::bad &&
                          load.characters == want.characters && load.hasFiller == want.hasFiller &&
                          (!want.hasFiller || load.filler == want.filler);
        EXPECT_TRUE(same) << "load " << i << ": " << kelvanto::decode::verdictName(load.verdict)
                          << " " << load.problem << ", " << load.characters.size() << " of "
                          << want.characters.size() << " characters, at " << load.startSeconds
                          << " s";
        exact += same ? 1 : 0;
    }
    return exact;
}

NoisyStereo noisyStereo() {
    NoisyStereo out;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        out.loads.push_back(binaryLoadWithRightChecksum(256, seed));
    }
    out.recording = render(out.loads, 22050, 16, 2);
    addNoise(out.recording, 3.5, 11);
    return out;
}

}  // namespace decode_testing
