// SPDX-License-Identifier: MIT
// Recordings from audio files of several kinds through the file reader, the decoder's
// options (one channel, planar blocks), and input that is no recording at all.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>

#include "decode/file_decoder.h"
#include "tests/decode/degradations.h"
#include "tests/decode/tape_maker.h"
#include "tests/support.h"

using namespace decode_testing;
using namespace kelvanto::decode;

namespace {

const std::vector<TestLoad>& oneLoad() {
    static const std::vector<TestLoad> loads = {binaryLoadWithRightChecksum(21, 5)};
    return loads;
}

void writeAudio(const std::string& path, const Recording& recording, int format) {
    SF_INFO info{};
    info.samplerate = recording.rate;
    info.channels = recording.channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, recording.samples.data(), static_cast<sf_count_t>(recording.frames()));
    sf_close(file);
}

// Decodes a stereo recording handed over as one array per channel.
std::vector<DecodedLoad> decodePlanar(const Recording& stereo) {
    std::vector<float> left;
    std::vector<float> right;
    for (std::size_t i = 0; i < stereo.frames(); ++i) {
        left.push_back(stereo.samples[2 * i]);
        right.push_back(stereo.samples[2 * i + 1]);
    }
    RecordingDecoder decoder(stereo.rate, 2);
    const std::vector<const float*> planes = {left.data(), right.data()};
    decoder.pushPlanar(planes, left.size());
    return decoder.finish();
}

}  // namespace

TEST(AudioFileInput, ArchiveFormatsDecodeExactly) {
    const Recording recording = render(oneLoad(), 44100, 16, 2);
    const testing_support::ScratchDir dir;
    const std::vector<std::pair<const char*, int>> formats = {
        {"pcm24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm32.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_32},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"tape.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"tape.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    for (const auto& [name, format] : formats) {
        SCOPED_TRACE(name);
        writeAudio(dir.file(name), recording, format);
        const FileDecodeResult result = decodeAudioFile(dir.file(name));
        ASSERT_TRUE(result.readable) << result.error;
        EXPECT_EQ(result.sampleRate, 44100);
        EXPECT_EQ(result.channels, 2);
        EXPECT_EQ(exactLoads(result.loads, oneLoad()), 1);
    }
}

TEST(AudioFileInput, UnreadableFilesGiveTheLibrarysReason) {
    const testing_support::ScratchDir dir;
    FileDecodeResult result = decodeAudioFile(dir.file("missing.wav"));
    EXPECT_FALSE(result.readable);
    EXPECT_FALSE(result.error.empty());
    testing_support::writeFile(dir.file("text.wav"), std::string("RIFF but not really audio"));
    result = decodeAudioFile(dir.file("text.wav"));
    EXPECT_FALSE(result.readable);
    EXPECT_FALSE(result.error.empty());
}

TEST(RecordingDecoder, PicksOneChannelAndTakesPlanarBlocks) {
    const Recording stereo = stereoWithNoiseChannel(render(oneLoad(), 22050, 16, 1), 8);
    DecoderOptions noise;
    noise.channel = 0;
    for (const DecodedLoad& load : decode(stereo, noise)) {
        EXPECT_EQ(load.verdict, Verdict::bad);
    }
    DecoderOptions signal;
    signal.channel = 1;
    const std::vector<DecodedLoad> picked = decode(stereo, signal);
    EXPECT_EQ(exactLoads(picked, oneLoad()), 1);
    ASSERT_FALSE(picked.empty());
    EXPECT_EQ(picked[0].channel, 1);

    EXPECT_EQ(exactLoads(decodePlanar(stereo), oneLoad()), 1);

    EXPECT_THROW(RecordingDecoder(100.0, 1), std::invalid_argument);
    EXPECT_THROW(RecordingDecoder(22050.0, 0), std::invalid_argument);
    EXPECT_THROW(RecordingDecoder(22050.0, 2, DecoderOptions{2, true}), std::invalid_argument);
}

TEST(RecordingDecoder, NoLoadFromNoiseSpeechLikeToneBurstsOrBrokenSamples) {
    std::mt19937 random(3);
    std::normal_distribution<float> normal(0.0f, 0.3f);
    std::vector<float> samples;
    double phase = 0.0;
    for (int i = 0; i < 22050 * 3; ++i) {
        // Noise, then a whistle that slides between 300 and 2500 Hz five times a second
        // (through the tape's tones, but never steady on them), then values no file holds.
        const double t = i / 22050.0;
        phase += 2 * std::numbers::pi * (1400 + 1100 * std::sin(2 * std::numbers::pi * 2.5 * t)) /
                 22050.0;
        float x = i < 22050 ? normal(random) : static_cast<float>(0.5 * std::sin(phase));
        if (i > 44100 && i % 97 == 0) {
            x = i % 2 ? std::numeric_limits<float>::quiet_NaN()
                      : std::numeric_limits<float>::infinity();
        }
        samples.push_back(x);
    }
    RecordingDecoder decoder(22050.0, 1);
    decoder.pushInterleaved(samples);
    const auto found = decoder.finish();
    for (const auto& load : found) {
        ADD_FAILURE() << verdictName(load.verdict) << " at " << load.startSeconds << " s, "
                      << load.headerCycles << " cycles, " << load.problem;
    }
}

TEST(RecordingDecoder, ARecordingThatOpensOnTheToneStartsItsLoadAtItsFirstSample) {
    // The first edge may be interpolated a fraction of a frame before the first sample; no
    // place in the report may lie before the recording.
    for (const int rate : {8000, 22050, 44100}) {
        const Recording recording = resampleLinear(render({TestLoad{}}, 44100, 16, 1), rate);
        const std::vector<DecodedLoad> loads = decode(recording);
        ASSERT_EQ(loads.size(), 1u) << rate;
        EXPECT_GE(loads[0].startSample, 0) << rate;
        EXPECT_LE(loads[0].startSample, rate / 1575 + 1) << rate;  // within the first cycle
        EXPECT_FALSE(std::signbit(loads[0].startSeconds)) << rate;
    }
}

TEST(RecordingDecoder, TheTwoChannelsMixedReadThroughHissNeitherReadsAlone) {
    // The same signal on both channels with hiss of its own on each: mixed, the signal adds
    // up and the hiss partly cancels (3 dB). Interleaved and planar blocks mix alike.
    const auto [loads, stereo] = noisyStereo();
    DecoderOptions left;
    left.channel = 0;
    DecoderOptions right;
    right.channel = 1;
    // Counted here: exactLoads would report each miss as a failure.
    auto readRight = [&](const std::vector<DecodedLoad>& got) {
        int right = 0;
        for (std::size_t i = 0; i < std::min(got.size(), loads.size()); ++i) {
            right += got[i].verdict != Verdict::bad &&
                             got[i].characters == expectedOf(loads[i]).characters
                         ? 1
                         : 0;
        }
        return right;
    };
    EXPECT_LT(readRight(decode(stereo, left)), 3);
    EXPECT_LT(readRight(decode(stereo, right)), 3);
    const std::vector<DecodedLoad> both = decode(stereo);
    EXPECT_EQ(exactLoads(both, loads), 3);
    EXPECT_TRUE(std::any_of(both.begin(), both.end(), [](const DecodedLoad& load) {
        return load.channel == DecodedLoad::mixedChannels;
    }));

    EXPECT_EQ(exactLoads(decodePlanar(stereo), loads), 3);
}
