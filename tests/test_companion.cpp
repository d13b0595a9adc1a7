// SPDX-License-Identifier: MIT
// kelvanto-tape from the command line: each subcommand's files, messages and exit statuses,
// conversion that keeps the signal, the screen round trip through kelvanto -s, and play.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "tape/tape_writer.h"
#include "tests/load_maker.h"
#include "tests/support.h"

using testing_support::example;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

// The .wav that kelvanto writes for a tape image, with its standard error.
std::pair<testing_support::Bytes, std::string> wavOf(const ScratchDir& dir,
                                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {"-v", "0", "-w", "out.wav"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const auto run = runKelvanto(words, dir.path().string());
    EXPECT_EQ(run.status, 0) << run.err;
    return {readFile(dir.file("out.wav")), run.err};
}

}  // namespace

TEST(CompanionConvert, ExamplesKeepTheirSignalInBothLayoutsAndConvertToThemselves) {
    for (const char* name : {"basic.bml", "screen.bml", "tape.bin"}) {
        SCOPED_TRACE(name);
        ScratchDir dir;
        const std::string work = dir.path().string();
        const auto original = wavOf(dir, {"-k", "44100", example(name)});
        for (const char* out : {"c.bml", "c.bin"}) {
            const auto convert = runKelvantoTape({"convert", example(name), out}, work);
            ASSERT_EQ(convert.status, 0) << convert.err;
            EXPECT_EQ(convert.out, "");
            EXPECT_EQ(convert.err, "");
            EXPECT_EQ(wavOf(dir, {"-k", "44100", dir.file(out)}), original);
        }
        // Converting the canonical files again gives the same bytes, also the way round
        // through the other layout.
        ASSERT_EQ(runKelvantoTape({"convert", "c.bml", "e.bml"}, work).status, 0);
        ASSERT_EQ(runKelvantoTape({"convert", "c.bin", "d.bml"}, work).status, 0);
        ASSERT_EQ(runKelvantoTape({"convert", "d.bml", "d.bin"}, work).status, 0);
        EXPECT_EQ(readFile(dir.file("e.bml")), readFile(dir.file("c.bml")));
        EXPECT_EQ(readFile(dir.file("d.bin")), readFile(dir.file("c.bin")));
        const auto piped = runKelvantoTape({"convert", "--to", "bml", example(name), "-"}, work);
        const testing_support::Bytes canonical = readFile(dir.file("c.bml"));
        EXPECT_EQ(piped.out, std::string(canonical.begin(), canonical.end()));
    }
}

TEST(CompanionConvert, RefusalsNameTheFileAndTheReason) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    writeFile(dir.file("bad.bml"), "<TARQO format=2>\n<LOAD format=1>\n<FOO>");
    writeFile(dir.file("esc.bml"), "<TARQO format=2><LOAD format=1><\x1b[31m>");
    writeFile(dir.file("cut.bin"), std::string("<TARQO format=1>\x01\x00", 18));
    writeFile(dir.file("taken.bin"), "mine");
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"convert", "bad.bml", "x.bin"},
         "kelvanto-tape: bad.bml: byte 38 (line 3): Invalid Tag FOO found for parent tag LOAD\n"},
        {{"convert", "esc.bml", "x.bin"},
         "kelvanto-tape: esc.bml: byte 38 (line 1): Invalid Tag \\x1b[31m found for parent tag "
         "LOAD\n"},
        {{"convert", "cut.bin", "x.bml"},
         "kelvanto-tape: cut.bin: byte 18: Unexpected end of input reached\n"},
        {{"convert", "missing.bml", "x.bin"},
         "kelvanto-tape: missing.bml: No such file or directory\n"},
        {{"convert", example("basic.bml"), "taken.bin"},
         "kelvanto-tape: taken.bin: File exists (use --force to replace it)\n"},
        {{"convert", example("basic.bml"), "x.wav"},
         "kelvanto-tape: x.wav: the output name must end in .bml or .bin\n"},
        {{"convert", example("basic.bml"), "-"},
         "kelvanto-tape: convert: standard output needs --to bml or --to bin\n"},
        {{"convert", "--frob", "a", "b"},
         "kelvanto-tape: convert: unknown option --frob (see --help)\n"},
        {{"list", "/dev/null"}, "kelvanto-tape: /dev/null: Not a regular file\n"},
        {{"frob"}, "kelvanto-tape: unknown command frob (see --help)\n"},
    };
    for (const Case& c : cases) {
        const auto run = runKelvantoTape(c.words, work);
        EXPECT_EQ(run.status, 1) << c.words[0];
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bml")));
    EXPECT_EQ(readFile(dir.file("taken.bin")), testing_support::Bytes({'m', 'i', 'n', 'e'}));
    // The input itself is never the output, even with --force.
    const auto self = runKelvantoTape({"convert", "--force", "taken.bin", "./taken.bin"}, work);
    EXPECT_EQ(self.status, 1);
    EXPECT_EQ(readFile(dir.file("taken.bin")), testing_support::Bytes({'m', 'i', 'n', 'e'}));
    // Reading leaves nothing behind: no screen files in the working folder.
    ASSERT_EQ(runKelvantoTape({"convert", example("basic.bml"), "b.bin"}, work).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("screen_1.txt")));
}

// The output is written load by load: a load that the layout cannot hold, after one that it
// can, leaves no file and no temporary file, replaces nothing, and sends nothing to a pipe.
TEST(CompanionConvert, AFailureHalfwayLeavesNoOutput) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    writeFile(dir.file("full.bml"),
              "<TARQO format=2><LOAD format=1><DATA length=4></DATA></LOAD>"
              "<LOAD format=1><DATA length=8192></DATA></LOAD></TARQO>");
    writeFile(dir.file("taken.bin"), "mine");
    const std::string err =
        "kelvanto-tape: full.bml: load 2: 8193 characters, more than a binary load holds "
        "(8192)\n";
    const std::vector<std::vector<std::string>> runs = {
        {"convert", "full.bml", "x.bin"},
        {"convert", "--force", "full.bml", "taken.bin"},
        {"convert", "--to", "bin", "full.bml", "-"},
    };
    for (const auto& words : runs) {
        const auto run = runKelvantoTape(words, work);
        EXPECT_EQ(run.status, 1) << words.back();
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(readFile(dir.file("taken.bin")), testing_support::Bytes({'m', 'i', 'n', 'e'}));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"full.bml", "taken.bin"}));
}

// A binary image of some megabytes gives the memory of the bytes it has read back as it goes:
// every load still reads whole (both ways round to the same bytes), and a cut at its end is
// still named by its byte.
TEST(CompanionConvert, LargeBinaryImagesReadWhole) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    TarqoBinFile tape;
    tape.setName("LARGE");
    std::mt19937 random(20040131);
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> data(i % 2 == 0 ? 8192 : 8190);
        for (std::uint8_t& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        tape.loads.push_back(testing_support::makeLoad(3, data, 0, 1.0, 0.25, 0.5));
    }
    const std::string image = TapeWriter(tape).write(tape, TapeLayout::binary).bytes;
    ASSERT_GT(image.size(), std::size_t{2} << 20);
    writeFile(dir.file("large.bin"), image);
    ASSERT_EQ(runKelvantoTape({"convert", "large.bin", "copy.bin"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"convert", "large.bin", "large.bml"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"convert", "large.bml", "back.bin"}, work).status, 0);
    const testing_support::Bytes expected(image.begin(), image.end());
    EXPECT_EQ(readFile(dir.file("copy.bin")), expected);
    EXPECT_EQ(readFile(dir.file("back.bin")), expected);

    const std::size_t cut = image.size() - 5;
    writeFile(dir.file("cut.bin"), image.substr(0, cut));
    const auto run = runKelvantoTape({"list", "cut.bin"}, work);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kelvanto-tape: cut.bin: byte " + std::to_string(cut) +
                           ": Unexpected end of input reached\n");
}

TEST(CompanionList, LoadsChecksumsContentsAndAudioLength) {
    ScratchDir dir;
    const auto run = runKelvantoTape({"list", "--basic", example("tape.bin")}, dir.path().string());
    EXPECT_EQ(run.status, 0) << run.err;  // a bad checksum is listed, not a failure
    const std::string expected =
        "   #  format  number  length  header  footer     gap  stated  computed       holds\n"
        "   1       3       1      24    2.00    0.25    0.50      2d        2d  OK   BASIC "
        "program of 2 lines\n"
        "   2       3       2      41    1.00    0.25    0.00      5c        06  BAD  data\n"
        "name \"KELVANTO TAPE DEMO\", 2 loads, ";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
    const auto basic = runKelvantoTape({"list", "--basic", example("basic.bml")}, ".");
    EXPECT_NE(basic.out.find("BASIC program of 8 lines\n"), std::string::npos) << basic.out;
    EXPECT_NE(basic.out.find("       20 PRINT \"HELLO FROM KELVANTO\"\n"), std::string::npos);
    EXPECT_NE(basic.out.find("       80 PRINT \"BYE\"|up_arrow|\n"), std::string::npos);
    const auto hex = runKelvantoTape({"list", "--hex", example("basic.bml")}, ".");
    EXPECT_NE(hex.out.find("  load 1: 86 bytes\n"
                           "    0000  0a 00 69 0d 14 00 74 22 48 45 4c 4c 4f 20 46 52  "
                           "..i...t\"HELLO FR\n"),
              std::string::npos)
        << hex.out;
    const auto missing = runKelvantoTape({"list", example("basic.bml"), "missing.bin"}, ".");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("BASIC program"), std::string::npos);
}

TEST(CompanionScreen, PictureGoesBackThroughDashSAsTheSameBytes) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(runKelvantoTape({"screen", example("screen.bml"), "-o", "s.bmp"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"screen", example("screen.bml"), "-o", "s.pbm"}, work).status, 0);
    const auto original = wavOf(dir, {example("screen.bml")});
    EXPECT_EQ(wavOf(dir, {"-s", "s.bmp", example("screen.bml")}), original);
    const testing_support::Bytes pbm = readFile(dir.file("s.pbm"));
    ASSERT_EQ(pbm.size(), 10u + 1800u);
    EXPECT_EQ(std::string(pbm.begin(), pbm.begin() + 10), "P4\n160 90\n");
    const auto other = runKelvantoTape({"screen", example("basic.bml"), "-o", "b.pbm"}, work);
    EXPECT_EQ(other.status, 1);
    const auto offset =
        runKelvantoTape({"screen", "--offset", "0", example("basic.bml"), "-o", "b.pbm"}, work);
    EXPECT_EQ(offset.status, 0) << offset.err;
    // The first data byte 0x0a has the bits 0x08 and 0x02 set: pixels 2 and 3 of the group.
    EXPECT_EQ(readFile(dir.file("b.pbm")).at(10), 0x30);
}

TEST(CompanionPlay, StreamsTheSameBytesKelvantoWrites) {
    ScratchDir dir;
    const auto original = wavOf(dir, {"-b", "16", "-c", "1", example("basic.bml")});
    const auto play =
        runKelvantoTape({"play", "-b", "16", "-c", "1", example("basic.bml")}, dir.path().string());
    EXPECT_EQ(play.status, 0) << play.err;
    EXPECT_EQ(testing_support::Bytes(play.out.begin(), play.out.end()), original.first);
    const auto bad = runKelvantoTape({"play", "-b", "12", example("basic.bml")}, ".");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "kelvanto-tape: " + example("basic.bml") +
                           ": Only 8 and 16 bits per sample supported\n");
}
