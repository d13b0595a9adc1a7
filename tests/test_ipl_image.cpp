// SPDX-License-Identifier: MIT
// The image container: row sizes, the row table, pixel access at each depth with its range
// and depth checks, the information block and the palette and text wrappers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ipl/cpp/image.h"
#include "ipl/cpp/palette.h"
#include "ipl/cpp/text.h"
#include "ipl/kernel_c/image/kernel_functions.h"
#include "tests/bitmap_writer.h"
#include "tests/ipl_capture.h"
#include "tests/support.h"

namespace {

using testing_support::captureStdout;
using testing_support::makeBitmap;
using testing_support::withoutLocations;

// An image loaded from a bitmap written into a scratch folder.
class LoadedImage : public testing::Test {
  protected:
    bool load(const std::vector<unsigned char>& bytes, const std::string& name = "screen.bmp") {
        path = scratch.file(name);
        testing_support::writeFile(path, bytes);
        bool ok = false;
        loadOutput = captureStdout([&] { ok = image.Load(path.c_str()); });
        return ok;
    }
    std::uint32_t pixel(int x, int y) { return image.GetPixel(x, y); }
    const ipl::TImage& record() const { return *image.GetConstTImagePtr(); }

    testing_support::ScratchDir scratch;
    std::string path;
    std::string loadOutput;
    ipl::CImage image;
};

TEST(IplByteWidth, RowsArePaddedToFourBytes) {
    EXPECT_EQ(ipl::k_GetByteWidth(5, 24), 16u);
    EXPECT_EQ(ipl::k_GetByteWidth(5, 8), 8u);
    EXPECT_EQ(ipl::k_GetByteWidth(5, 1), 4u);
    EXPECT_EQ(ipl::k_GetByteWidth(32, 1), 4u);
    EXPECT_EQ(ipl::k_GetByteWidth(33, 1), 8u);
    EXPECT_EQ(ipl::k_GetByteWidth(160, 1), 20u);
    EXPECT_EQ(ipl::k_GetByteWidth(160, 8), 160u);
    EXPECT_EQ(ipl::k_GetByteWidth(0, 8), 0u);
}

TEST(IplEmptyImage, EveryPixelIsOutside) {
    ipl::CImage image;
    std::uint32_t value = 7;
    const std::string out = captureStdout([&] { value = image.GetPixel(0, 0); });
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(std::regex_match(out, std::regex(R"(IPL_ERROR: CImage::GetPixel\(0,0\) Outside )"
                                                 R"(image and border \(ipl/cpp/image\.cpp line )"
                                                 R"([0-9]+\)\n)")))
        << out;
}

TEST(IplEmptyImage, PrintInfoShowsNothingAvailable) {
    ipl::CImage image;
    EXPECT_EQ(captureStdout([&] { image.PrintInfo(); }),
              "**************** Image info ********************\n"
              " Width=0 Height=0 ByteWidth=0 SizeImage=0 Bits=0\n"
              " PalEntries=0 BorderSize=0 Origo=(0,0) Origin=EMPTY\n"
              " File name: Not available  Path name: Not available\n"
              " ROI inactive\n");
}

TEST_F(LoadedImage, EightBitPixelsAreIndexesTopRowFirst) {
    auto value = [](int x, int y) { return static_cast<std::uint32_t>((x + 7 * y) & 0xFF); };
    ASSERT_TRUE(load(makeBitmap(160, 90, 8, value)));
    std::string silent = captureStdout([&] {
        for (int y = 0; y < 90; ++y) {
            for (int x = 0; x < 160; ++x) {
                ASSERT_EQ(pixel(x, y), value(x, y)) << x << "," << y;
            }
        }
    });
    EXPECT_EQ(silent, "");
    // Row 0 is the last row stored.
    EXPECT_EQ(record().RowTable[0], record().PixelData + 89 * 160);
    EXPECT_EQ(record().RowTable[89], record().PixelData);
}

TEST_F(LoadedImage, PositionsOutsideAreReportedWithTheirCoordinates) {
    ASSERT_TRUE(load(makeBitmap(160, 90, 8, [](int, int) { return 9u; })));
    const std::string out = captureStdout([&] {
        EXPECT_EQ(pixel(159, 89), 9u);
        EXPECT_EQ(pixel(160, 0), 0u);
        EXPECT_EQ(pixel(-1, 0), 0u);
        EXPECT_EQ(pixel(0, 90), 0u);
        EXPECT_EQ(pixel(0, -1), 0u);
    });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CImage::GetPixel(160,0) Outside image and border (@)\n"
              "IPL_ERROR: CImage::GetPixel(-1,0) Outside image and border (@)\n"
              "IPL_ERROR: CImage::GetPixel(0,90) Outside image and border (@)\n"
              "IPL_ERROR: CImage::GetPixel(0,-1) Outside image and border (@)\n");
}

TEST_F(LoadedImage, OneBitPixelsTakeTheLeftmostFromTheTopBit) {
    // 13 pixels: two bytes of a row are used, the second one partly.
    auto set = [](int x, int y) { return (x + 3 * y) % 7 == 0 ? 1u : 0u; };
    ASSERT_TRUE(load(makeBitmap(13, 5, 1, set)));
    EXPECT_EQ(record().ByteWidth, 4);
    EXPECT_EQ(record().RowTable[0][0], 0x81);  // pixels 0 and 7 of the top row
    EXPECT_EQ(pixel(0, 0), 1u);
    EXPECT_EQ(pixel(1, 0), 0u);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_EQ(pixel(x, y), set(x, y)) << x << "," << y;
        }
    }
}

TEST_F(LoadedImage, TwentyFourBitPixelsAreBlueGreenRed) {
    auto colour = [](int x, int y) {
        return static_cast<std::uint32_t>(x * 40 + 1 + 256 * (y * 30 + 2) + 65536 * (x + y + 3));
    };
    ASSERT_TRUE(load(makeBitmap(5, 3, 24, colour)));
    EXPECT_EQ(record().ByteWidth, 16);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(pixel(x, y), colour(x, y)) << x << "," << y;
        }
    }
    // The three stored bytes 0x10, 0x20, 0x30 of one pixel.
    ASSERT_TRUE(load(makeBitmap(1, 1, 24, [](int, int) { return 0x302010u; })));
    const std::vector<unsigned char> stored(record().PixelData, record().PixelData + 3);
    EXPECT_EQ(stored, (std::vector<unsigned char>{0x10, 0x20, 0x30}));
    EXPECT_EQ(pixel(0, 0), 0x10u + 256u * 0x20 + 65536u * 0x30);
}

TEST_F(LoadedImage, OtherDepthsLoadButGiveNoPixels) {
    auto bytes = makeBitmap(8, 2, 8, [](int, int) { return 1u; });
    testing_support::putLittleEndian(bytes, testing_support::bmp_field::kBits, 4, 2);
    ASSERT_TRUE(load(bytes));
    EXPECT_EQ(withoutLocations(loadOutput),
              "IPL_ERROR: k_SetImageMatrix() Only possible for 1, 8 or 24 bit per pixel (@)\n\n");
    EXPECT_EQ(record().Bits, 4);
    const std::string out = captureStdout([&] {
        EXPECT_EQ(pixel(1, 1), 0u);
        EXPECT_EQ(pixel(8, 0), 0u);  // the range is checked first
    });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CImage::GetPixel() Only implemented for 1,8 and 24 bit per pixels (@)\n"
              "IPL_ERROR: CImage::GetPixel(8,0) Outside image and border (@)\n");
}

TEST_F(LoadedImage, PrintInfoOfALoadedImage) {
    ASSERT_TRUE(load(makeBitmap(160, 90, 8, [](int, int) { return 0u; })));
    EXPECT_EQ(captureStdout([&] { image.PrintInfo(); }),
              "**************** Image info ********************\n"
              " Width=160 Height=90 ByteWidth=160 SizeImage=14400 Bits=8\n"
              " PalEntries=256 BorderSize=0 Origo=(0,0) Origin=DISC\n"
              " File name: screen.bmp  Path name: " +
                  scratch.path().string() + "/\n ROI inactive\n");
}

// A record with a border, built by hand: rows of Width + 2 border pixels, bottom row first.
class BorderedRecord : public testing::Test {
  protected:
    void build(std::uint16_t bits, std::uint16_t border) {
        ipl::k_InitImage(&image);
        image.Width = 3;
        image.Height = 2;
        image.Bits = bits;
        image.BorderSize = border;
        stride = ipl::k_GetByteWidth(3 + 2 * border, bits);
        image.PixelData = static_cast<std::uint8_t*>(std::calloc(stride * (2 + 2 * border), 1));
    }
    ~BorderedRecord() override { ipl::k_EmptyImage(&image); }

    ipl::TImage image{};
    std::size_t stride = 0;
};

TEST_F(BorderedRecord, RowAddressesSkipTheLeftBorder) {
    struct Case {
        std::uint16_t bits;
        std::uint16_t border;
        std::size_t skip;
    };
    for (const Case c : {Case{8, 1, 1}, Case{24, 1, 3}, Case{1, 8, 1}, Case{1, 3, 0}}) {
        build(c.bits, c.border);
        ASSERT_TRUE(ipl::k_SetImageMatrix(&image));
        const int rows = 2 + 2 * c.border;
        // The top border row is stored last, the bottom border row first.
        EXPECT_EQ(image.RowTable[-c.border],
                  image.PixelData + static_cast<std::size_t>(rows - 1) * stride + c.skip);
        EXPECT_EQ(image.RowTable[1 + c.border], image.PixelData + c.skip);
        EXPECT_EQ(
            image.RowTable[0],
            image.PixelData + static_cast<std::size_t>(rows - 1 - c.border) * stride + c.skip);
        ipl::k_EmptyImage(&image);
    }
}

TEST_F(BorderedRecord, OtherDepthsGetNoRowAddresses) {
    build(16, 0);
    const std::string out = captureStdout([&] { EXPECT_FALSE(ipl::k_SetImageMatrix(&image)); });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: k_SetImageMatrix() Only possible for 1, 8 or 24 bit per pixel (@)\n\n");
}

TEST(IplOrigin, NamesAndTheUnknownValue) {
    const std::pair<ipl::ORIGIN, const char*> names[] = {
        {ipl::CAMERA, "CAMERA"}, {ipl::DISC, "DISC"}, {ipl::RAM, "RAM"}, {ipl::EMPTY, "EMPTY"}};
    for (const auto& [origin, name] : names) {
        char* text = nullptr;
        EXPECT_TRUE(ipl::k_PrintOrigin(origin, &text));
        EXPECT_STREQ(text, name);
        std::free(text);
    }
    char* text = nullptr;
    const std::string out = captureStdout(
        [&] { EXPECT_FALSE(ipl::k_PrintOrigin(static_cast<ipl::ORIGIN>(4), &text)); });
    EXPECT_STREQ(text, "UNKNOWN?");
    std::free(text);
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: k_PrintOrigin() Unknown origin (should not be possible!) (@)\n\n");
}

TEST(IplWrappers, NullStructuresAreReported) {
    const std::string out = captureStdout([] {
        ipl::CPalette palette(nullptr);
        ipl::CText text(nullptr);
        EXPECT_EQ(palette.GetConstTPalettePtr(), nullptr);
        EXPECT_FALSE(text.AppendIPL("x"));
    });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CPalette::CPalette(TPalette* pPal) pPal is a NULL-pointer (@)\n"
              "IPL_ERROR: CText::CText(TIplText* pHistory) pHistory is a NULL-pointer (@)\n"
              "IPL_ERROR: CText::AppendIPL() Append failed (@)\n");
}

TEST(IplWrappers, TextOfItsOwnOrOfARecord) {
    ipl::CText own;
    EXPECT_TRUE(own.IsOwner());
    ipl::TIplText record{};
    {
        ipl::CText view(&record);
        EXPECT_FALSE(view.IsOwner());
        EXPECT_TRUE(view.AppendIPL("x"));
    }
    EXPECT_EQ(record.Lines.NumberOfStrings, 1u);  // the view left the record's line alone
    std::free(record.Lines.pStrings[0].pChars);
    std::free(record.Lines.pStrings);
    const std::string out = captureStdout([&] { EXPECT_FALSE(own.AppendIPL(nullptr)); });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CText::AppendIPL(const char* pCharArray) Append failed, pCharArray is "
              "a NULL pointer (@)\n");
}

}  // namespace
