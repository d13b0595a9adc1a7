// SPDX-License-Identifier: MIT
// Inputs past every sensible size, seen from the command line and the image layer: memory
// that follows the input, option values beyond 32 bits, screen bitmaps
// that are FIFOs, devices or folders, and greymap comment lines that never end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ipl/cpp/image.h"
#include "tests/child_process.h"
#include "tests/ipl_capture.h"
#include "tests/support.h"

using testing_support::Child;
using testing_support::ChildSetup;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

const std::string smallTape =
    "<TARQO format=2 loadCount=1>\n"
    "<LOAD format=1 loadNumber=1 checkSum=0xd7>\n"
    "<DATA length=2><HEX address=0000>41 42 </HEX></DATA>\n"
    "</LOAD>\n</TARQO>\n";

std::string emptyLoads(int count) {
    std::string text = "<TARQO format=2>";
    for (int i = 0; i < count; ++i) {
        text += "<LOAD format=1></LOAD>";
    }
    return text + "</TARQO>";
}

ChildSetup in(const ScratchDir& dir) {
    ChildSetup setup;
    setup.workDir = dir.path().string();
    return setup;
}

}  // namespace

TEST(InputLimits, HundredThousandEmptyLoadsTakeLittleMemory) {
    if (!testing_support::memoryIsMeasurable()) {
        GTEST_SKIP() << "peak memory means nothing under a sanitizer or valgrind";
    }
    ScratchDir dir;
    writeFile(dir.file("empty.bml"), emptyLoads(100000));  // 2.2 MB
    Child child({"-v0", "empty.bml"}, in(dir));
    const auto run = child.finish();
    // Each load has a one-second header: the whole would pass 2 GB, refused after reading.
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Audio file would reach 2 GB, more than a .wav file can hold\n");
    EXPECT_LT(run.peakKilobytes, 40 * 1024);
}

TEST(InputLimits, OptionValuesBeyond32BitsAreNotWrapped) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    // 4294967304 is 2^32 + 8 and 4294989346 is 2^32 + 22050: taken as the largest 32-bit
    // value, they are refused as the numbers they are.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-b", "4294967304", "-k", "4294989346"}, "Only 8 and 16 bits per sample supported\n"},
        {{"-b", "99999999999999999999"}, "Only 8 and 16 bits per sample supported\n"},
        {{"-k", "4294989346"}, "Only 22050 and 44100 sample rates supported\n"},
        {{"-c", "4294967297"}, "Only 1 and 2 channel .wav files supported\n"},
        {{"-c", "-4294967295"}, "Only 1 and 2 channel .wav files supported\n"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"-v0", "game.bml"});
        const auto run = runKelvanto(arguments, dir.path());
        EXPECT_EQ(run.status, 1) << options[1];
        EXPECT_EQ(run.err, message) << options[1];
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "game.wav")) << options[1];
    }
    // A verbosity of 2^32 is no 0: the banner is printed.
    const auto run = runKelvanto({"-v", "4294967296", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("Kelvanto v2.0beta\n", 0), 0u);
}

TEST(InputLimits, ScreenBitmapsThatAreNoRegularFilesAreRefusedAtOnce) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("ff.bmp").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.pgm");
    std::filesystem::create_directory(dir.path() / "folder.pcd");
    for (const std::string name : {"ff.bmp", "zero.pgm", "folder.pcd"}) {
        Child child({"-v0", "-s", name, "-w", "screen", sourcePath("examples/screen.bml")},
                    in(dir));
        const auto run = child.finish(std::chrono::seconds(20));
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, "Unable to load bitmap " + name + "\n");
        EXPECT_NE(run.out.find("IPL_ERROR: k_Load() Not a regular file " + name), std::string::npos)
            << run.out;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "screen.wav"));
    }
}

TEST(InputLimits, GreymapCommentLinesHoldAt4096Characters) {
    ScratchDir dir;
    const std::string pixels = "1 1\n255\n" + std::string(1, '\0');
    const std::string fits = dir.file("fits.pgm");
    const std::string over = dir.file("over.pgm");
    writeFile(fits, "P5\n#" + std::string(4096, 'c') + "\n" + pixels);
    writeFile(over, "P5\n#" + std::string(4097, 'c') + "\n" + pixels);
    ipl::CImage image;
    EXPECT_EQ(testing_support::captureStdout([&] { EXPECT_TRUE(image.Load(fits.c_str())); }), "");
    const std::string refused =
        testing_support::captureStdout([&] { EXPECT_FALSE(image.Load(over.c_str())); });
    EXPECT_EQ(testing_support::withoutLocations(refused),
              "IPL_ERROR: k_LoadPGM() Failed reading image data (@)\n\n"
              "IPL_ERROR: CImage::Load(\"" +
                  over + "\") Failed loading image (@)\n");
}

TEST(InputLimits, AGreymapCommentThatNeverEndsIsRefusedSoon) {
    // 300 MB of comment, without taking the disk space: the file is sparse after its header.
    ScratchDir dir;
    writeFile(dir.file("long.pgm"), std::string("P5\n#"));
    std::filesystem::resize_file(dir.path() / "long.pgm", 300u << 20);
    Child child({"-v0", "-s", "long.pgm", "-w", "screen", sourcePath("examples/screen.bml")},
                in(dir));
    const auto run = child.finish(std::chrono::seconds(20));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to load bitmap long.pgm\n");
    if (testing_support::memoryIsMeasurable()) {
        EXPECT_LT(run.peakKilobytes, 40 * 1024);
    }
}
