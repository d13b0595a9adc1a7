// SPDX-License-Identifier: MIT
// The tool from the command line: usage text, option scanning, derived names, messages and
// exit statuses, and the files it leaves (or must not leave) behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support.h"

using testing_support::Bytes;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

const std::string banner = "Kelvanto v2.0beta\nReleased January 31, 2004\n";
// One format-1 load holding "AB" with its right checksum.
const std::string smallTape =
    "<TARQO format=2 loadCount=1>\n"
    "\t<LOAD format=1 loadNumber=1 checkSum=0xd7>\n"
    "\t\t<HEADER headerLength=1.0></HEADER>\n"
    "\t\t<DATA length=2>\n\t\t\t<HEX address=0000>41 42 </HEX>\n\t\t</DATA>\n"
    "\t</LOAD>\n</TARQO>\n";

}  // namespace

TEST(CommandLine, UsageGoesToBothStreamsAndFails) {
    ScratchDir dir;
    const auto run = runKelvanto({}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "Kelvanto v2.0beta\n"
              "Released December 31, 2005\n"
              "            [-f ] footer length in seconds (e.g. 2.5)\n"
              "            [-g ] gap length in seconds\n"
              "            [-h ] header length in seconds\n"
              "            [-k ] ([22050], 44100) sample rate\n"
              "            [-v ] verbosity 0-2 where 0 is silent and 2 is the most detailed\n"
              "                  Default = 1\n"
              "            [-w (.wav file name)]\n");
    EXPECT_EQ(run.err,
              "Usage:\n"
              "   Kelvanto [-b ] ([8], 16) number of bits per sample in .wav file\n"
              "            [-c ] ([1], 2) number of audio channels\n"
              "            (input .bin filename)\n");
}

TEST(CommandLine, BadOptionsAndMissingInput) {
    ScratchDir dir;
    auto run = runKelvanto({"-x", "game.bin"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Invalid option x\n");

    run = runKelvanto({"-B16", "game.bin"}, dir.path());
    EXPECT_EQ(run.err, "Invalid option B\n");

    run = runKelvanto({"-v", "1", "-b"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Missing value for option b\n");

    run = runKelvanto({"-v", "2"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, banner);
    EXPECT_EQ(run.err, "Unable to open \n");

    run = runKelvanto({"-v0", "-", "missing.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Unable to open missing.bml\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.wav"));

    run = runKelvanto({"-s", std::string(256, 'b') + ".bmp", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Screen bitmap file name longer than 255 characters\n");
}

TEST(CommandLine, ConvertsAndDerivesTheAudioName) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    auto run =
        runKelvanto({"game.bml", "-v", "0"}, dir.path());  // options after the input are ignored
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, banner +
                           "Creating audio file game.wav\n"
                           "  Processing load 1\n"
                           "    Checksum d7 is OK!\n"
                           "Successfully created .wav file game.wav!\n");
    const Bytes wav = readFile(dir.file("game.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav[22], 2);  // two channels unless told otherwise
    EXPECT_EQ(wav[34], 8);
    // The sizes are patched.
    const auto riff = static_cast<std::size_t>(wav[4] | wav[5] << 8 | wav[6] << 16 | wav[7] << 24);
    EXPECT_EQ(riff, wav.size() - 8);

    for (const auto& [input, output] :
         std::vector<std::pair<std::string, std::string>>{{"GAME.BML", "GAME.wav"},
                                                          {"a.bml.bin", "a.wav"},
                                                          {"a.bin.bml", "a.bin.wav"},
                                                          {"song.txt", "song.txt.wav"}}) {
        writeFile(dir.file(input), smallTape);
        run = runKelvanto({"-v0", input}, dir.path());
        EXPECT_EQ(run.status, 0) << input;
        EXPECT_TRUE(std::filesystem::exists(dir.path() / output)) << output;
    }

    run = runKelvanto({"-w", "out", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Successfully created .wav file out!\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "out.wav"));
}

TEST(CommandLine, JoinedAndSeparateValuesAreTheSame) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    ASSERT_EQ(
        runKelvanto({"-k44100", "-c1", "-b16", "-w", "joined", "game.bml"}, dir.path()).status, 0);
    ASSERT_EQ(
        runKelvanto({"-k", "44100", "-c", "1", "-b", "16", "-wseparate", "game.bml"}, dir.path())
            .status,
        0);
    const Bytes joined = readFile(dir.file("joined.wav"));
    EXPECT_TRUE(joined == readFile(dir.file("separate.wav")));
    EXPECT_EQ(joined[22], 1);
    EXPECT_EQ(joined[24], 0x44);
    EXPECT_EQ(joined[25], 0xAC);
    EXPECT_EQ(joined[34], 16);
}

TEST(CommandLine, RefusalsLeaveNoFileOrKeepTheOldOne) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    writeFile(dir.file("game.wav"), std::string("old recording"));
    // A numeric value counts from its first 19 characters: these 25 digits read as 0.
    auto run = runKelvanto({"-k", "0000000000000000000044100", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Only 22050 and 44100 sample rates supported\n");
    run = runKelvanto({"-b", "12", "-k", "48000", "game.bml"}, dir.path());
    EXPECT_EQ(run.err, "Only 8 and 16 bits per sample supported\n");
    EXPECT_EQ(readFile(dir.file("game.wav")).size(), 13u);

    writeFile(dir.file("empty.bml"), std::string("<TARQO format=2></TARQO>"));
    run = runKelvanto({"empty.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No loads found in empty.bml\n");
    EXPECT_EQ(run.out.find("Successfully"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "empty.wav"));

    writeFile(dir.file(".bin"), smallTape);
    run = runKelvanto({".bin"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Invalid output .wav filename\n");

    run = runKelvanto({"-w", std::string(252, 'n') + ".wav", "game.bml"}, dir.path());
    EXPECT_EQ(run.err, "Invalid output .wav filename\n");
    run = runKelvanto({"-v0", "-w", std::string(251, 'n') + ".wav", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

TEST(CommandLine, HugeLengthsAreRefusedAtOnce) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    for (const char* value : {"1e9", "inf", "1e300"}) {
        const auto run = runKelvanto({"-h", value, "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "Audio file would reach 2 GB, more than a .wav file can hold\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "game.wav"));
    }
    // Not a number: no tone at all, and no hang.
    const auto run = runKelvanto({"-v0", "-f", "nan", "-g", "nan", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
}

TEST(CommandLine, WriteErrorsAreReported) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    if (std::filesystem::exists("/dev/full")) {
        // A full disk, as the output sees it.
        std::filesystem::create_symlink("/dev/full", dir.path() / "full.wav");
        const auto run = runKelvanto({"-w", "full", "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("Can not write to .wav file\n"), std::string::npos);
        EXPECT_EQ(run.out.find("Successfully"), std::string::npos);
    }
    std::filesystem::create_directory(dir.path() / "folder.wav");
    const auto run = runKelvanto({"-w", "folder", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open folder.wav\n");
    const auto input = runKelvanto({dir.path().string()}, dir.path());
    EXPECT_EQ(input.status, 1);
    EXPECT_EQ(input.err, "Unable to open " + dir.path().string() + "\n");
}
