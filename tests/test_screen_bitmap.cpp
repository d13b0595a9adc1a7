// SPDX-License-Identifier: MIT
// Screen bitmaps: pixel masks, where the packed bytes go, which loads take a bitmap, and the
// run's messages when a bitmap cannot be read.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio/screen_bitmap.h"
#include "tests/bitmap_writer.h"
#include "tests/support.h"

using testing_support::makeBitmap;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

// Packs a bitmap into a fresh load of the given half length; returns the load and what the
// step printed.
TapeLoad packed(const std::vector<unsigned char>& bitmap, int halfLength,
                std::string* printed = nullptr) {
    ScratchDir dir;
    writeFile(dir.file("picture.bmp"), bitmap);
    TapeLoad load;
    load.dataBytes.fill(0x5A);
    testing::internal::CaptureStdout();
    applyScreenBitmap(load, halfLength, dir.file("picture.bmp"));
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed != nullptr)
        *printed = out;
    return load;
}

}  // namespace

TEST(ScreenBitmap, PixelMasksFollowTheScreenBitOrder) {
    // Index 0 is a lit pixel; in row 0 group 0 pixels 0 and 4 are lit, in group 1 pixels 1 and 7.
    const auto bitmap = makeBitmap(160, 90, 8, [](int x, int y) -> std::uint32_t {
        if (y == 0 && (x == 0 || x == 4 || x == 9 || x == 15))
            return 0;
        return 200;
    });
    std::string printed;
    const TapeLoad load = packed(bitmap, 1801, &printed);
    EXPECT_EQ(load.dataBytes[1800], 0xC0);
    EXPECT_EQ(load.dataBytes[1801], 0x21);
    EXPECT_EQ(load.dataBytes[1802], 0x00);
    EXPECT_EQ(load.dataBytes[3599], 0x00);
    EXPECT_EQ(load.dataBytes[1799], 0x5A);  // the first half is left as it was
    EXPECT_EQ(load.dataBytes[3600], 0x5A);
    EXPECT_NE(printed.find(" Width=160 Height=90 ByteWidth=160 SizeImage=14400 Bits=8\n"),
              std::string::npos);
}

TEST(ScreenBitmap, AllLitAndAllDarkPictures) {
    const TapeLoad lit = packed(makeBitmap(160, 90, 1, [](int, int) { return 0u; }), 1801);
    const TapeLoad dark = packed(makeBitmap(160, 90, 24, [](int, int) { return 0xFFFFFFu; }), 1801);
    for (int i = 1800; i < 3600; ++i) {
        ASSERT_EQ(lit.dataBytes[static_cast<std::size_t>(i)], 0xFF) << i;
        ASSERT_EQ(dark.dataBytes[static_cast<std::size_t>(i)], 0x00) << i;
    }
    // Only a 24-bit pixel with blue, green and red all 0 counts as lit.
    const TapeLoad nearBlack =
        packed(makeBitmap(160, 90, 24, [](int, int) { return 0x000001u; }), 1801);
    EXPECT_EQ(nearBlack.dataBytes[1800], 0x00);
}

TEST(ScreenBitmap, RowsAndGroupsGoToTheirPairs) {
    // Row 1, group 2 lit entirely: target index H - 1 + 20 * 1 + 2.
    const auto bitmap =
        makeBitmap(160, 90, 1, [](int x, int y) { return (y == 1 && x / 8 == 2) ? 0u : 1u; });
    const TapeLoad load = packed(bitmap, 101);
    EXPECT_EQ(load.dataBytes[100 + 22], 0xFF);
    EXPECT_EQ(load.dataBytes[100 + 21], 0x00);
    EXPECT_EQ(load.dataBytes[99], 0x5A);
}

TEST(ScreenBitmap, SmallPicturesReportOutsidePixelsAsLit) {
    std::string printed;
    const TapeLoad load = packed(makeBitmap(8, 1, 1, [](int, int) { return 1u; }), 1801, &printed);
    EXPECT_EQ(load.dataBytes[1800], 0x00);  // the one group inside the picture
    EXPECT_EQ(load.dataBytes[1801], 0xFF);  // outside: reported, and read as 0
    EXPECT_NE(printed.find("CImage::GetPixel(8,0) Outside image and border"), std::string::npos);
}

TEST(ScreenBitmap, BytesBeforeTheDataAreLeftOut) {
    // A load of negative length has H below 1: groups whose index falls before the data are
    // dropped, the rest land from index 0 on.
    const auto bitmap =
        makeBitmap(160, 90, 1, [](int x, int y) { return (y == 2 && x / 8 == 10) ? 0u : 1u; });
    const TapeLoad load = packed(bitmap, -49);
    EXPECT_EQ(load.dataBytes[0], 0xFF);  // -50 + 20 * 2 + 10
    EXPECT_EQ(load.dataBytes[1], 0x00);
    EXPECT_EQ(load.dataBytes[8191], 0x5A);
}

TEST(ScreenBitmapRun, OnlyAFirstScreenLoadOpensTheBitmap) {
    ScratchDir dir;
    const std::string screenLoad = "<LOAD format=2 checkSum=0x0><DATA length=4></DATA></LOAD>";
    const std::string plainLoad = "<LOAD format=1 checkSum=0x0><DATA length=4></DATA></LOAD>";
    writeFile(dir.file("plain.bml"), "<TARQO format=2>" + plainLoad + screenLoad + "</TARQO>");
    auto run = runKelvanto({"-v0", "-s", "missing.bmp", "plain.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");

    writeFile(dir.file("screen.bml"), "<TARQO format=2>" + screenLoad + "</TARQO>");
    run = runKelvanto({"-v0", "-s", "missing.bmp", "screen.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to load bitmap missing.bmp\n");
    EXPECT_NE(run.out.find("IPL_ERROR: k_Load() Failed opening file missing.bmp"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "screen.wav"));

    writeFile(dir.file("tiny.bmp"), makeBitmap(160, 90, 1, [](int, int) { return 0u; }));
    run = runKelvanto({"-v0", "-s", "tiny.bmp", "screen.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, 49), "**************** Image info ********************\n");
}

TEST(ScreenBitmapRun, ExampleScreenTakesThePictureAndRepairsItsChecksum) {
    ScratchDir dir;
    writeFile(dir.file("lit.bmp"), makeBitmap(160, 90, 1, [](int, int) { return 0u; }));
    const auto plain = runKelvanto(
        {"-v0", "-w", "plain", testing_support::sourcePath("examples/screen.bml")}, dir.path());
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err, "");
    const auto run = runKelvanto(
        {"-v0", "-s", "lit.bmp", "-w", "lit", testing_support::sourcePath("examples/screen.bml")},
        dir.path());
    EXPECT_EQ(run.status, 0);
    // The stated checksum was made for the example's own picture.
    EXPECT_NE(run.err.find("Repairing checksum\n"), std::string::npos);
    EXPECT_FALSE(testing_support::readFile(dir.file("lit.wav")) ==
                 testing_support::readFile(dir.file("plain.wav")));
}
