// SPDX-License-Identifier: MIT
// kelvanto-tape decode and list on recordings from the command line: the tape image it writes
// sends the same signal again, the report, the JSON report and the three exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support.h"

using testing_support::Bytes;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

// kelvanto's recording of the example tape: 8-bit stereo at 22050, two binary loads.
Bytes recordExample(const ScratchDir& dir, const std::string& name) {
    const auto run =
        runKelvanto({"-v", "0", "-w", name, sourcePath("examples/tape.bin")}, dir.path().string());
    EXPECT_EQ(run.status, 0) << run.err;
    return readFile(dir.file(name));
}

}  // namespace

TEST(DecodeCommand, RecordingComesBackAsATapeImageThatSendsTheSameSignal) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const Bytes original = recordExample(dir, "rec.wav");
    const auto decode = runKelvantoTape({"decode", "--json", "rec.json", "rec.wav"}, work);
    ASSERT_EQ(decode.status, 0) << decode.err;
    EXPECT_NE(decode.out.find("   1   0:00.001          24  OK        1.000  normal          1"),
              std::string::npos)
        << decode.out;
    EXPECT_NE(decode.out.find("2 loads: 2 OK, 0 REPAIRED, 0 BAD\nwrote rec.bml\n"),
              std::string::npos);
    ASSERT_TRUE(std::filesystem::exists(dir.file("rec.bml")));
    const auto again = runKelvanto({"-v", "0", "-w", "again.wav", "rec.bml"}, work);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");  // the checksums as received are right
    EXPECT_TRUE(readFile(dir.file("again.wav")) == original);

    const Bytes json = readFile(dir.file("rec.json"));
    const auto report = nlohmann::json::parse(json.begin(), json.end());
    ASSERT_EQ(report["loads"].size(), 2u);
    EXPECT_EQ(report["loads"][1]["verdict"], "OK");
    EXPECT_EQ(report["loads"][1]["characters"], 41);
    EXPECT_EQ(report["output"], "rec.bml");

    // The tape image is there already: kept unless --force.
    const auto kept = runKelvantoTape({"decode", "rec.wav"}, work);
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("kelvanto-tape: rec.bml: File exists (use --force to replace it)"),
              std::string::npos);
    const auto listed = runKelvantoTape({"list", "rec.wav"}, work);
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("   2       3       2      41    1.00    0.25    0.00      06"),
              std::string::npos)
        << listed.out;
}

TEST(DecodeCommand, BadLoadsNoLoadsAndUnreadableFilesEachHaveTheirStatus) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    Bytes cut = recordExample(dir, "rec.wav");
    // 50 ms of silence inside the data of the second load (8-bit stereo: 44100 bytes a second).
    const std::size_t from = 44 + static_cast<std::size_t>(3.9 * 44100);
    std::fill(cut.begin() + static_cast<long>(from), cut.begin() + static_cast<long>(from + 2205),
              0x78);
    writeFile(dir.file("cut.wav"), cut);
    const auto bad = runKelvantoTape({"decode", "cut.wav", "-o", "cut.bin"}, work);
    EXPECT_EQ(bad.status, 2) << bad.out << bad.err;
    EXPECT_NE(bad.out.find("  BAD  "), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find(" at 0:03.9"), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("2 loads: 1 OK, 0 REPAIRED, 1 BAD\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.file("cut.bin")));

    // Silence of a second: a valid recording without a load.
    Bytes silence(cut.begin(), cut.begin() + 44);
    silence.insert(silence.end(), 44100, 0x78);
    for (int i = 0; i < 4; ++i) {  // the header's sizes
        silence[4 + static_cast<std::size_t>(i)] =
            static_cast<unsigned char>((44100 + 36) >> (8 * i));
        silence[40 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(44100 >> (8 * i));
    }
    writeFile(dir.file("silence.wav"), silence);
    const auto none = runKelvantoTape({"decode", "silence.wav"}, work);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "kelvanto-tape: No loads found in silence.wav\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("silence.bml")));
    // As a second take it adds nothing, and the report says so of that take alone.
    const auto withSilence = runKelvantoTape(
        {"decode", "rec.wav", "silence.wav", "-o", "two.bin", "--json", "two.json"}, work);
    EXPECT_EQ(withSilence.status, 0) << withSilence.err;
    EXPECT_EQ(withSilence.out.rfind("rec.wav: 22050 Hz, 2 channels, 0:04.299\n", 0), 0u)
        << withSilence.out;
    EXPECT_NE(withSilence.out.find(
                  "\nsilence.wav: 22050 Hz, 2 channels, 0:01.000, no load found in it\n"),
              std::string::npos)
        << withSilence.out;
    const Bytes twoJson = readFile(dir.file("two.json"));
    const auto twoReport = nlohmann::json::parse(twoJson.begin(), twoJson.end());
    EXPECT_EQ(twoReport["recordings"][0]["loadsFound"], 2);
    EXPECT_EQ(twoReport["recordings"][1]["loadsFound"], 0);

    writeFile(dir.file("text.wav"), "not audio at all");
    const auto unreadable = runKelvantoTape({"decode", "text.wav"}, work);
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.err.rfind("kelvanto-tape: text.wav: ", 0), 0u) << unreadable.err;
    const auto channel = runKelvantoTape({"decode", "--channel", "0", "rec.wav"}, work);
    EXPECT_EQ(channel.status, 1);
    EXPECT_EQ(channel.err,
              "kelvanto-tape: decode: --channel takes a whole number from 1 to 64, not 0\n");
}

// An MP3 round trip at 64 kbit/s, made by sox where it is installed (CI installs it).
TEST(DecodeCommand, Mp3RoundTripReadsEveryLoad) {
    if (std::system("sox -h >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sox is not installed";
    }
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "rec.wav");
    const auto sox =
        testing_support::runProgram("/bin/sh", {"-c", "sox rec.wav -C 64 rec.mp3"}, work);
    if (sox.status != 0) {
        GTEST_SKIP() << "sox writes no MP3 here: " << sox.err;
    }
    const auto decode = runKelvantoTape({"decode", "rec.mp3", "-o", "mp3.bml"}, work);
    EXPECT_EQ(decode.status, 0) << decode.out << decode.err;
    EXPECT_NE(decode.out.find("2 loads: 2 OK, 0 REPAIRED, 0 BAD\n"), std::string::npos)
        << decode.out;
    const auto again = runKelvanto({"-v", "0", "-w", "again.wav", "mp3.bml"}, work);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.err, "");
}

// Takes of one tape: a load broken in one take comes from the other; a load broken in both is
// BAD once, and every place of the report names the take it is in.
TEST(DecodeCommand, TakesAreMatchedAndEveryPlaceNamesItsTake) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const Bytes original = recordExample(dir, "rec.wav");
    // Silence inside the data of the second load (8-bit stereo: 44100 bytes a second),
    // 50 ms from 3.9 s in one take and from 4.0 s in another.
    auto cutAt = [&](double seconds, const std::string& name) {
        Bytes cut = original;
        const auto from = static_cast<long>(44 + static_cast<std::size_t>(seconds * 44100) / 2 * 2);
        std::fill(cut.begin() + from, cut.begin() + from + 4410, 0x78);
        writeFile(dir.file(name), cut);
    };
    cutAt(3.9, "early.wav");
    cutAt(4.0, "late.wav");

    const auto mended =
        runKelvantoTape({"decode", "late.wav", "rec.wav", "-o", "mended.bml"}, work);
    EXPECT_EQ(mended.status, 0) << mended.out << mended.err;
    EXPECT_NE(mended.out.find("2 loads: 2 OK, 0 REPAIRED, 0 BAD\n"), std::string::npos)
        << mended.out;
    const auto again = runKelvanto({"-v", "0", "-w", "again.wav", "mended.bml"}, work);
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(readFile(dir.file("again.wav")) == original);

    const auto both = runKelvantoTape(
        {"decode", "early.wav", "late.wav", "-o", "both.bml", "--json", "both.json"}, work);
    EXPECT_EQ(both.status, 2) << both.out << both.err;
    EXPECT_NE(both.out.find("2 loads: 1 OK, 0 REPAIRED, 1 BAD\n"), std::string::npos) << both.out;
    // The reading that got furthest is the one the places are in: the second take's.
    EXPECT_NE(both.out.find(" at 0:04.0"), std::string::npos) << both.out;
    EXPECT_NE(both.out.find(") in take 2"), std::string::npos) << both.out;
    const Bytes json = readFile(dir.file("both.json"));
    const auto report = nlohmann::json::parse(json.begin(), json.end());
    ASSERT_EQ(report["loads"].size(), 2u);
    EXPECT_EQ(report["loads"][1]["verdict"], "BAD");
    EXPECT_EQ(report["loads"][1]["take"], 2);
    EXPECT_EQ(report["loads"][1]["problem"]["take"], 2);
    EXPECT_NEAR(report["loads"][1]["problem"]["seconds"].get<double>(), 4.0, 0.02);
    EXPECT_NEAR(report["loads"][1]["startSeconds"].get<double>(), 2.86, 0.01);
}
