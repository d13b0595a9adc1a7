// SPDX-License-Identifier: MIT
// The conversion run: what the receiver reads for each load format, checksums confirmed and
// repaired, tone lengths, gaps, progress lines, queue order and refused loads.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio/conversion_run.h"
#include "tape/tarqo_bin_file.h"
#include "tests/load_maker.h"
#include "tests/reference_writer.h"
#include "tests/signal_decoder.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::decodeWav;
using testing_support::makeLoad;
using testing_support::readFile;
using testing_support::ReceivedLoad;
using testing_support::receiveLoads;
using testing_support::ScratchDir;

namespace {

struct Conversion {
    Bytes file;
    std::string out;
    std::string err;
    std::deque<TapeLoad> loadsAfter;
};

Conversion convert(const std::vector<TapeLoad>& loads, int verbosity = 1, int rate = 22050,
                   int bits = 8, int channels = 1) {
    ScratchDir dir;
    Conversion result;
    {
        TarqoBinFile tape;
        ConversionRun run;
        tape.setVerbosity(verbosity);
        tape.loads.assign(loads.begin(), loads.end());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        run.createAudioFile(tape, dir.file("tape.wav"), rate, bits, channels);
        run.finish();
        result.out = testing::internal::GetCapturedStdout();
        result.err = testing::internal::GetCapturedStderr();
        result.loadsAfter = tape.loads;
    }
    result.file = readFile(dir.file("tape.wav"));
    return result;
}

std::vector<int> charactersOf(const Conversion& run, int pairs) {
    return receiveLoads(decodeWav(run.file), {pairs}).at(0).characters;
}

}  // namespace

TEST(Checksum, FormatOneEvenLengthEndsWithChecksumAndFiller) {
    const Conversion ok = convert({makeLoad(1, {0x41, 0x42}, 0xD7)});
    EXPECT_EQ(ok.out.substr(0, 20), "Creating audio file ");
    EXPECT_EQ(ok.out.substr(ok.out.find(".wav\n")),
              ".wav\n  Processing load 1\n    Checksum d7 is OK!\n");
    const ReceivedLoad load = receiveLoads(decodeWav(ok.file), {2}).at(0);
    EXPECT_EQ(load.syncCharacter, 0xA5);
    EXPECT_EQ(load.characters, (std::vector<int>{0x41, 0x42, 0xD7, 0xFF}));
    EXPECT_EQ(load.startBits, (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(ok.err, "");

    const Conversion wrong = convert({makeLoad(1, {0x41, 0x42}, 0x10)});
    EXPECT_EQ(wrong.err, "Calculated Checksum = d7 - Read Checksum = 10\nRepairing checksum\n");
    EXPECT_TRUE(wrong.file == ok.file);  // the audio does not depend on the stated checksum
}

TEST(Checksum, FormatOneOddLengthEndsWithLastCharacterAndChecksum) {
    const Conversion run = convert({makeLoad(1, {0x41, 0x42, 0x43}, 0x94)}, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(charactersOf(run, 2), (std::vector<int>{0x41, 0x42, 0x43, 0x94}));
}

TEST(Checksum, FormatThreeRepairsAWrongChecksumHeldInTheData) {
    const Conversion run = convert({makeLoad(3, {0x12, 0x56, 0x34, 0x78})});
    EXPECT_EQ(run.err, "Calculated Checksum = d8 - Read Checksum = f4\nRepairing checksum\n");
    EXPECT_EQ(charactersOf(run, 2), (std::vector<int>{0x21, 0x38, 0x29, 0xD8}));
}

TEST(Checksum, FormatThreeSendsRightDataUnchanged) {
    const Conversion run = convert({makeLoad(3, {0x12, 0x56, 0x34, 0x57})});
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("    Checksum fe is OK!\n"), std::string::npos);
    EXPECT_EQ(charactersOf(run, 2), (std::vector<int>{0x21, 0x38, 0x03, 0xFE}));
}

TEST(Checksum, FormatThreeOddLengthGetsAComputedChecksumAndAFillerOfOnes) {
    // L = 3, H = 2: pair 0 is (d0, d2), the final pair (d1, filler d3).
    const Conversion run = convert({makeLoad(3, {0x10, 0x00, 0x20})});
    const std::vector<int> got = charactersOf(run, 2);
    ASSERT_EQ(got.size(), 4u);
    // 0xA5 + both characters of pair 0 + checksum == 0xFF.
    EXPECT_EQ((0xA5 + got[0] + got[1] + got[2]) & 0xFF, 0xFF);
    EXPECT_EQ(got[3], 0xFF);
    EXPECT_EQ(receiveLoads(decodeWav(run.file), {2}).at(0).startBits.back(), 1);
}

TEST(Checksum, FormatTwoInterleavesHalvesFromOneByteEarly) {
    // length 4: L = 5, H = 3, second half from index 2; the final pair holds the checksum.
    const std::vector<std::uint8_t> data = {0x11, 0x22, 0x33, 0x44};
    const Conversion run = convert({makeLoad(2, data, 0)});
    const std::vector<int> got = charactersOf(run, 3);
    std::vector<int> expected;
    int sum = 0xA5;
    for (int j = 0; j < 2; ++j) {
        std::uint8_t high = 0, low = 0;
        interleavePair(data[static_cast<std::size_t>(j)], data[static_cast<std::size_t>(j) + 2],
                       high, low);
        expected.push_back(reverseBits(high));
        expected.push_back(reverseBits(low));
        sum += reverseBits(high) + reverseBits(low);
    }
    expected.push_back((0xFF - sum) & 0xFF);
    expected.push_back(0xFF);
    EXPECT_EQ(got, expected);
    EXPECT_NE(run.err.find("Repairing checksum\n"), std::string::npos);
}

// Loads of all three formats in all eight output formats: the tones hold the same number of
// cycles everywhere, and the block writer's bytes equal a per-sample rendering of the signal.
TEST(Tones, CycleCountsAreTheSameAtEveryRateAndWidth) {
    const std::vector<TapeLoad> loads = {makeLoad(1, {0x41, 0x42}, 0xD7, 1.0, 0.25, 0.5),
                                         makeLoad(2, {1, 2, 3, 4, 5}, 0, 1.0, 0.25, 0.5),
                                         makeLoad(3, {6, 7, 8}, 0, 1.0, 0.25, 0.5)};
    for (int rate : {22050, 44100}) {
        for (int bits : {8, 16}) {
            for (int channels : {1, 2}) {
                SCOPED_TRACE(std::to_string(rate) + "/" + std::to_string(bits) + "/" +
                             std::to_string(channels));
                const Conversion run = convert(loads, 0, rate, bits, channels);
                for (const ReceivedLoad& load : receiveLoads(decodeWav(run.file), {2, 3, 2})) {
                    EXPECT_EQ(load.headerCycles, 1575);
                    EXPECT_EQ(load.footerCycles, 394);
                    EXPECT_EQ(load.silentFrames, 11025);
                }
                ScratchDir dir;
                testing_support::ReferenceWriter reference;
                reference.openForOutput(dir.file("r.wav"), rate, bits, channels);
                reference.render(decodeWav(run.file));
                reference.close();
                EXPECT_TRUE(readFile(dir.file("r.wav")) == run.file);
            }
        }
    }
}

TEST(Tones, ZeroHeaderStartsWithSyncAndEmptyLoadSendsNoPairs) {
    const Conversion run = convert({makeLoad(3, {}, 0, 0.0, 0.0, 0.0)}, 0);
    const ReceivedLoad load = receiveLoads(decodeWav(run.file), {0}).at(0);
    EXPECT_EQ(load.headerCycles, 0);
    EXPECT_EQ(load.syncCharacter, 0xA5);
    EXPECT_TRUE(load.characters.empty());
    EXPECT_EQ(load.footerCycles, 0);
    // Start bit, 0xA5 (four 1 and four 0 cycles), stop bit: 7 + 84 + 14 frames.
    EXPECT_EQ(run.file.size(), 44u + 105u);
}

TEST(Run, LoadsInOrderWithProgressLinesAndQueueKept) {
    std::vector<TapeLoad> loads = {makeLoad(1, {1}, 0, 0.1, 0.1, 0.1),
                                   makeLoad(3, {2, 3}, 0, 0.1, 0.1, 0.1),
                                   makeLoad(2, {4, 5}, 0, 0.1, 0.1, 0.1)};
    loads[0].setLoadNumber(7);
    loads[1].setLoadNumber(8);
    loads[2].setLoadNumber(9);
    ScratchDir dir;
    const Conversion run = convert(loads);
    EXPECT_EQ(run.out.substr(0, 20), "Creating audio file ");
    const std::size_t first = run.out.find("  Processing load 1\n");
    const std::size_t second = run.out.find("  Processing load 2\n");
    const std::size_t third = run.out.find("  Processing load 3\n");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::string::npos);
    ASSERT_EQ(run.loadsAfter.size(), 3u);
    EXPECT_EQ(run.loadsAfter[0].getLoadNumber(), 7);
    EXPECT_EQ(run.loadsAfter[2].getLoadNumber(), 9);
    const auto received = receiveLoads(decodeWav(run.file), {1, 1, 2});
    EXPECT_EQ(received[0].characters.at(0), 1);
    EXPECT_EQ(received[2].silentFrames, 2205);
}

TEST(Run, AudioNamesKeepOrAddTheWavExtension) {
    ScratchDir dir;
    for (const auto& [given, made] : std::vector<std::pair<std::string, std::string>>{
             {"out", "out.wav"}, {"OUT.WAV", "OUT.wav"}, {"x.wav.wav", "x.wav.wav"}}) {
        TarqoBinFile tape;
        ConversionRun run;
        tape.setVerbosity(0);
        tape.loads.push_back(makeLoad(1, {1}, 0, 0.0, 0.0));
        run.createAudioFile(tape, dir.file(given), 22050, 8, 1);
        run.finish();
        EXPECT_TRUE(std::filesystem::exists(dir.file(made))) << made;
    }
    TarqoBinFile tape;
    ConversionRun run;
    tape.loads.push_back(makeLoad(1, {1}));
    EXPECT_THROW(run.createAudioFile(tape, ".WAV", 22050, 8, 1), Error::badOutputFileName);
}

TEST(Run, TheFinalNameHoldsAtMost255Characters) {
    // The name is checked with the extension it gets: 251 characters and ".wav" fit, a
    // 252-character name without an extension would become 256 characters long.
    ScratchDir dir;
    const std::string folder = dir.path().string() + "/";
    const std::string fits = folder + std::string(251 - folder.size(), 'n');
    {
        TarqoBinFile tape;
        ConversionRun run;
        tape.setVerbosity(0);
        tape.loads.push_back(makeLoad(1, {1}, 0, 0.0, 0.0));
        run.createAudioFile(tape, fits, 22050, 8, 1);
        run.finish();
    }
    EXPECT_TRUE(std::filesystem::exists(fits + ".wav"));
    for (const std::string& name : {fits + "n", fits + "n.WAV", fits + "nnnnn"}) {
        TarqoBinFile tape;
        ConversionRun run;
        tape.loads.push_back(makeLoad(1, {1}));
        EXPECT_THROW(run.createAudioFile(tape, name, 22050, 8, 1), Error::badOutputFileName)
            << name;
        EXPECT_FALSE(std::filesystem::exists(fits + "n.wav"));
    }
}

TEST(Run, LoadsThatCannotBeSentAreRefusedBeforeTheFileExists) {
    ScratchDir dir;
    const std::string path = dir.file("never.wav");
    {
        TarqoBinFile tape;
        ConversionRun run;
        tape.loads.push_back(makeLoad(1, {1}));
        tape.loads.push_back(makeLoad(1, {1}));
        tape.loads.back().setLength(8193);
        EXPECT_FATAL(run.createAudioFile(tape, path, 22050, 8, 1),
                     "Data of load 2 does not fit in 8192 bytes\n");
    }
    for (double huge : {1e9, std::numeric_limits<double>::infinity()}) {
        TarqoBinFile tape;
        ConversionRun run;
        tape.loads.push_back(makeLoad(1, {1}, 0, huge));
        EXPECT_FATAL(run.createAudioFile(tape, path, 22050, 8, 1),
                     "Audio file would reach 2 GB, more than a .wav file can hold\n");
    }
    {
        TarqoBinFile tape;
        ConversionRun run;
        tape.loads.push_back(makeLoad(1, {1}));
        EXPECT_FATAL(run.createAudioFile(tape, path, 22050, 12, 1),
                     "Only 8 and 16 bits per sample supported\n");
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Run, FullLoadsNeverReadPastTheData) {
    // length 8192 in format 1 and 2 names position 8192 in the final pair; it is replaced.
    for (int format : {1, 2, 3}) {
        std::vector<std::uint8_t> data(8192, 0x5A);
        const Conversion run = convert({makeLoad(format, data, 0, 0.0, 0.0)}, 0);
        const int pairs = format == 3 ? 4096 : 4097;
        const std::vector<int> got = charactersOf(run, pairs);
        // 0xA5 and every character but a filler add up to 0xFF.
        int sum = 0xA5;
        const std::size_t counted = format == 3 ? got.size() : got.size() - 1;
        for (std::size_t i = 0; i < counted; ++i)
            sum += got[i];
        EXPECT_EQ(sum & 0xFF, 0xFF) << format;
        if (format != 3) {
            EXPECT_EQ(got.back(), 0xFF);
        }
    }
}
