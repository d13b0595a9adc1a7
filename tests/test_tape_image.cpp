// SPDX-License-Identifier: MIT
// The tape image and its loads: fresh state, extension stripping, opening the input.
#include <gtest/gtest.h>

#include "tape/tarqo_bin_file.h"
#include "tests/support.h"

using testing_support::ScratchDir;

TEST(TapeImage, FreshImageAndLoadHoldTheirDefaults) {
    const TarqoBinFile tape;
    EXPECT_TRUE(tape.loads.empty());
    EXPECT_EQ(tape.getName(), "");
    EXPECT_EQ(tape.getScreenName(), "");
    EXPECT_EQ(tape.headerLengthOverride, -1.0);
    EXPECT_EQ(tape.footerLengthOverride, -1.0);
    EXPECT_EQ(tape.gapLengthOverride, -1.0);
    EXPECT_EQ(tape.getPlainTable()[0x74], "PRINT ");

    TapeLoad load;
    for (long index = 0; index < TapeLoad::dataSize; ++index) {
        ASSERT_EQ(load.byteAt(index), 0);
    }
    EXPECT_EQ(load.getHeaderLength(), 1.0);
    EXPECT_EQ(load.getFooterLength(), 0.25);
    EXPECT_EQ(load.getGapLength(), 0.0);
    load.setCheckSum(0x1F3);
    EXPECT_EQ(load.getCheckSum(), 0xF3);
    EXPECT_EQ(load.byteAt(-1), 0);
    EXPECT_EQ(load.byteAt(8192), 0);
}

TEST(TapeImage, NamesAreCutTo255Characters) {
    TarqoBinFile tape;
    tape.setName(std::string(300, 'n'));
    tape.setScreenName(std::string(256, 's'));
    EXPECT_EQ(tape.getName().size(), 255u);
    EXPECT_EQ(tape.getScreenName().size(), 255u);
}

TEST(StripExtension, IgnoresCaseAndRefusesTheExtensionAlone) {
    std::string name = "GAME.BIN";
    stripExtension(name, ".bin");
    EXPECT_EQ(name, "GAME");
    for (const std::string unchanged : {"game.bml", "ab", "bin", "x.bin.txt"}) {
        name = unchanged;
        stripExtension(name, ".bin");
        EXPECT_EQ(name, unchanged);
    }
    name = ".BIN";
    EXPECT_THROW(stripExtension(name, ".bin"), Error::badOutputFileName);
}

TEST(TapeImage, OpenRefusesMissingFilesAndOtherModes) {
    ScratchDir dir;
    TarqoBinFile tape;
    const std::string missing = dir.file("missing.bml");
    EXPECT_FATAL(tape.open(missing, "r", 1), "Unable to open " + missing + "\n");
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FATAL(tape.open(missing, "w", 1),
                 "Invalid open mode for TarqoBinFile " + missing + "\n");
    EXPECT_FATAL(tape.open(dir.path().string(), "r", 1),
                 "Unable to open " + dir.path().string() + "\n");
    EXPECT_EQ(tape.getVerbosity(), 1);
}
