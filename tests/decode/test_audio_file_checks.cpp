// SPDX-License-Identifier: MIT
// The audio file reader's own checks before and around the audio library: what is not a
// regular file is refused without waiting, no refusal leaks a descriptor, channel and rate
// faults are named, and a file that breaks off keeps what was read before the break.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "decode/file_decoder.h"
#include "tests/decode/degradations.h"
#include "tests/decode/tape_maker.h"
#include "tests/support.h"

using namespace decode_testing;
using namespace kelvanto::decode;
using testing_support::ScratchDir;

namespace {

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

void writeWav(const std::string& path, const Recording& recording) {
    SF_INFO info{};
    info.samplerate = recording.rate;
    info.channels = recording.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_float(file, recording.samples.data(), static_cast<sf_count_t>(recording.frames()));
    sf_close(file);
}

}  // namespace

TEST(AudioFileChecks, RefusalsNameTheFaultAndLeakNothing) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder.wav"));
    std::ofstream(dir.file("empty.mp3")).close();
    std::ofstream(dir.file("text.wav")) << "not audio at all";
    const Recording stereo = render(threeFormats(), 22050, 16, 2);
    writeWav(dir.file("stereo.wav"), stereo);
    struct Case {
        std::string name;
        int channel;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"pipe.wav", -1, "Not a regular file"},
        {"folder.wav", -1, "Is a directory"},
        {"empty.mp3", -1, "File is empty"},
        {"missing.wav", -1, "No such file or directory"},
        {"stereo.wav", 2, "recording has 2 channels; --channel 3 does not exist"},
        {"stereo.wav", 63, "recording has 2 channels; --channel 64 does not exist"},
    };
    const std::size_t before = openDescriptors();
    for (int round = 0; round < 3; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            DecoderOptions options;
            options.channel = c.channel;
            const FileDecodeResult result = decodeAudioFile(dir.file(c.name), options);
            EXPECT_FALSE(result.readable);
            EXPECT_EQ(result.error, c.error);
            EXPECT_TRUE(result.loads.empty());
        }
        const FileDecodeResult text = decodeAudioFile(dir.file("text.wav"));
        EXPECT_FALSE(text.readable);
        EXPECT_EQ(text.error,
                  "not a format read here (WAV, FLAC, Ogg, Opus, MP3, AIFF and the like); "
                  "convert it first, for example: ffmpeg -i IN OUT.wav");
    }
    EXPECT_EQ(openDescriptors(), before);
    DecoderOptions second;
    second.channel = 1;
    const FileDecodeResult right = decodeAudioFile(dir.file("stereo.wav"), second);
    EXPECT_TRUE(right.readable) << right.error;
    EXPECT_EQ(right.loads.size(), 3u);
}

// A WAV whose header promises more than the file holds reads to its end, as before.
TEST(AudioFileChecks, ACutFileKeepsTheLoadsBeforeTheCut) {
    ScratchDir dir;
    const Recording mono = render(threeFormats(), 22050, 16, 1);
    writeWav(dir.file("whole.wav"), mono);
    const auto bytes = testing_support::readFile(dir.file("whole.wav"));
    // Two thirds of the samples: the last load is cut.
    testing_support::writeFile(
        dir.file("cut.wav"),
        testing_support::Bytes(bytes.begin(),
                               bytes.begin() + static_cast<long>(bytes.size() * 2 / 3)));
    const FileDecodeResult cut = decodeAudioFile(dir.file("cut.wav"));
    ASSERT_TRUE(cut.readable) << cut.error;
    ASSERT_GE(cut.loads.size(), 2u);
    EXPECT_EQ(cut.loads[0].verdict, Verdict::ok);
}

TEST(AudioFileChecks, AReadingOfTheTwoChannelsMixedIsReportedAsChannelOnePlusTwo) {
    Recording stereo = noisyStereo().recording;
    scale(stereo, 0.25);  // the hiss's peaks stay inside the 16-bit file
    ScratchDir dir;
    writeWav(dir.file("rec.wav"), stereo);
    const auto run = testing_support::runKelvantoTape(
        {"decode", "--json", "rec.json", "-o", "rec.bin", "rec.wav"}, dir.path().string());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("  normal        1+2  "), std::string::npos) << run.out;
    std::ifstream json(dir.file("rec.json"));
    const std::string text((std::istreambuf_iterator<char>(json)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"channel\": 0,"), std::string::npos) << text.substr(0, 400);
}
