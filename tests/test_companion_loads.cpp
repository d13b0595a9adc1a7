// SPDX-License-Identifier: MIT
// What a decoded load holds, seen through kelvanto-tape: a picture packed with kelvanto -s
// comes back from the recording, and from the tape image decode wrote, as the same picture;
// list --basic shows a program whatever the load's format and wherever it came from.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/bitmap_writer.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::example;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

// A picture with something in every row and column: diagonal stripes, a frame and a block.
bool lit(int x, int y) {
    return (x + 2 * y) % 7 == 0 || x == 0 || y == 89 || (x >= 100 && x < 131 && y >= 10 && y < 40);
}

// The PBM of that picture, written here pixel by pixel: 1 is a lit (black) pixel.
std::string expectedPbm() {
    std::string pbm = "P4\n160 90\n";
    for (int y = 0; y < 90; ++y) {
        for (int group = 0; group < 20; ++group) {
            unsigned char byte = 0;
            for (int k = 0; k < 8; ++k) {
                if (lit(8 * group + k, y)) {
                    byte |= static_cast<unsigned char>(0x80 >> k);
                }
            }
            pbm.push_back(static_cast<char>(byte));
        }
    }
    return pbm;
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(CompanionLoads, APicturePackedWithDashSComesBackFromTheRecordingAndTheDecodedImage) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    // Palette index 0 (black) is a lit pixel for kelvanto -s.
    writeFile(dir.file("pic.bmp"), testing_support::makeBitmap(
                                       160, 90, 1, [](int x, int y) { return lit(x, y) ? 0 : 1; }));
    const auto packed =
        runKelvanto({"-v", "0", "-s", "pic.bmp", "-w", "side-a.wav", example("screen.bml")}, work);
    ASSERT_EQ(packed.status, 0) << packed.err;
    ASSERT_EQ(runKelvantoTape({"decode", "side-a.wav", "-o", "side-a.bml"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"decode", "side-a.wav", "-o", "side-a.bin"}, work).status, 0);
    // The recording, the markup and the binary image decode wrote: one command each.
    for (const char* input : {"side-a.wav", "side-a.bml", "side-a.bin"}) {
        SCOPED_TRACE(input);
        const std::string picture = std::string(input) + ".pbm";
        const auto screen = runKelvantoTape({"screen", input, "-o", picture}, work);
        ASSERT_EQ(screen.status, 0) << screen.err;
        EXPECT_EQ(screen.err, "");
        EXPECT_EQ(text(readFile(dir.file(picture))), expectedPbm());
    }
    // The BMP it writes packs the same signal again.
    ASSERT_EQ(runKelvantoTape({"screen", "side-a.wav", "-o", "back.bmp"}, work).status, 0);
    const auto again =
        runKelvanto({"-v", "0", "-s", "back.bmp", "-w", "again.wav", example("screen.bml")}, work);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(readFile(dir.file("again.wav")) == readFile(dir.file("side-a.wav")));
}

TEST(CompanionLoads, LoadsWithoutAScreenAndAScreenThatReadBad) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "rec.wav", example("screen.bml")}, work).status, 0);
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string err;
    };
    const std::string basic = example("basic.bml");
    const std::vector<Case> cases = {
        {{"screen", basic, "-o", "x.pbm"},
         1,
         "kelvanto-tape: " + basic +
             ": holds no screen load (format 2, or 3601 characters on tape as a decoded screen "
             "load has); name one with --load, or give --offset K\n"},
        {{"screen", example("tape.bin"), "-o", "x.pbm"},
         1,
         "kelvanto-tape: " + example("tape.bin") +
             ": holds no screen load (format 2, or 3601 characters on tape as a decoded screen "
             "load has); name one with --load, or give --offset K\n"},
        {{"screen", "--load", "2", "rec.wav", "-o", "x.pbm"},
         1,
         "kelvanto-tape: screen: --load takes a whole number from 1 to 1, not 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[1]);
        const auto run = runKelvantoTape(c.words, work);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.pbm")));

    // 20 ms of silence in the middle of the screen's pairs (8-bit stereo at 22050 Hz): the
    // load reads BAD, the characters under the dropout unknown and those after it read on.
    // It still holds as many characters as a screen load, so it is found unnamed as well,
    // and gives the whole picture with a warning and status 2: the rows before the dropout
    // and after it are the screen's own, only the few bytes under it may differ.
    Bytes cut = readFile(dir.file("rec.wav"));
    const std::size_t from = 44 + static_cast<std::size_t>(6.0 * 44100);
    std::fill(cut.begin() + static_cast<long>(from), cut.begin() + static_cast<long>(from + 882),
              0x80);
    writeFile(dir.file("cut.wav"), cut);
    const auto unnamed = runKelvantoTape({"screen", "cut.wav", "-o", "found.pbm"}, work);
    const auto bad = runKelvantoTape({"screen", "--load", "1", "cut.wav", "-o", "cut.pbm"}, work);
    for (const auto& run : {unnamed, bad}) {
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.err,
                  "kelvanto-tape: warning: cut.wav: load 1 read BAD: the picture may be wrong "
                  "where the reading failed\n");
    }
    EXPECT_TRUE(readFile(dir.file("found.pbm")) == readFile(dir.file("cut.pbm")));
    ASSERT_EQ(runKelvantoTape({"screen", "rec.wav", "-o", "whole.pbm"}, work).status, 0);
    const Bytes whole = readFile(dir.file("whole.pbm"));
    const Bytes part = readFile(dir.file("cut.pbm"));
    ASSERT_EQ(part.size(), whole.size());
    // 10 bytes of PBM header, the 675 screen bytes before the dropout; after it, each of the
    // (at most seven) characters lost holds bits of two bytes.
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + 10 + 675, whole.begin()));
    std::size_t differ = 0;
    for (std::size_t i = 10 + 675; i < part.size(); ++i) {
        differ += part[i] != whole[i] ? 1 : 0;
    }
    EXPECT_LE(differ, 14u);
}

TEST(CompanionLoads, ListBasicShowsTheProgramOfEveryLoadThatHoldsOne) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(runKelvantoTape({"convert", example("basic.bml"), "basic.bin"}, work).status, 0);
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "basic.wav", example("basic.bml")}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"decode", "basic.wav", "-o", "dec.bin"}, work).status, 0);
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "tape.wav", example("tape.bin")}, work).status, 0);
    const std::string basicProgram =
        "  load 1: BASIC\n"
        "       10 CLEAR \n"
        "       20 PRINT \"HELLO FROM KELVANTO\"\n"
        "       30 FOR I=1 TO 8\n"
        "       40 PRINT \"|right_arrow|\";I\n"
        "       50 NEXT I\n"
        "       60 INPUT A$\n"
        "       70 IF A$=\"Y\" GOTO 20\n"
        "       80 PRINT \"BYE\"|up_arrow|\n";
    const std::string tapeProgram =
        "  load 1: BASIC\n"
        "       10 PRINT \"TAPE DEMO\"\n"
        "       20 GOTO 10\n";
    struct Case {
        std::string input;
        std::string program;
    };
    const std::vector<Case> cases = {
        {example("basic.bml"), basicProgram}, {"basic.bin", basicProgram},
        {"basic.wav", basicProgram},          {"dec.bin", basicProgram},
        {example("tape.bin"), tapeProgram},   {"tape.wav", tapeProgram},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const auto run = runKelvantoTape({"list", "--basic", c.input}, work);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.program), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("BASIC program of "), std::string::npos);
        // The data load of tape.bin holds no program, and says so.
        EXPECT_EQ(run.out.find("load 2: BASIC"), std::string::npos);
    }
}
