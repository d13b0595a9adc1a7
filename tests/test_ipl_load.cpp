// SPDX-License-Identifier: MIT
// Loading image files: choice of reader by extension, file names, the bitmap, greymap and
// Photo CD readers with their refusals, history entries, and files written by a real tool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ipl/cpp/image.h"
#include "ipl/kernel_c/image/kernel_functions.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_text.h"
#include "tests/bitmap_writer.h"
#include "tests/ipl_capture.h"
#include "tests/support.h"

namespace {

using testing_support::Bytes;
using testing_support::captureStdout;
using testing_support::makeBitmap;
using testing_support::putLittleEndian;
using testing_support::withoutLocations;
namespace field = testing_support::bmp_field;
using namespace std::string_literals;

std::string failedLoad(const std::string& name) {
    return "IPL_ERROR: CImage::Load(\"" + name + "\") Failed loading image (@)\n";
}

std::string lineOf(const ipl::TImage& image, std::uint32_t i) {
    return image.History.Lines.pStrings[i].pChars;
}

// A history line "# <date> <time> <text>\n": the stamps vary, the text must match.
void expectHistoryLine(const std::string& line, const std::string& text) {
    static const std::regex stamp(
        R"(# [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} )");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(line, match, stamp, std::regex_constants::match_continuous))
        << line;
    EXPECT_EQ(line.substr(static_cast<std::size_t>(match.length())), text);
}

class Loading : public testing::Test {
  protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = scratch.file(name);
        testing_support::writeFile(path, bytes);
        return path;
    }
    std::string write(const std::string& name, const std::string& text) {
        return write(name, Bytes(text.begin(), text.end()));
    }
    // Loads and gives the printed output with locations masked.
    std::string load(const std::string& path, bool expected) {
        bool ok = !expected;
        const std::string out = captureStdout([&] { ok = image.Load(path.c_str()); });
        EXPECT_EQ(ok, expected) << path;
        EXPECT_STREQ(ipl::HistoryIndent, "");
        return withoutLocations(out);
    }
    const ipl::TImage& record() const { return *image.GetConstTImagePtr(); }

    testing_support::ScratchDir scratch;
    ipl::CImage image;
    const Bytes smallBitmap = makeBitmap(4, 2, 8, [](int x, int y) { return x + 10u * y; });
};

TEST_F(Loading, ExtensionMatchesInAnyCase) {
    for (const char* name : {"a.bmp", "b.Bmp", "c.BMP"}) {
        EXPECT_EQ(load(write(name, smallBitmap), true), "");
        EXPECT_EQ(record().Origin, ipl::DISC);
        EXPECT_EQ(image.GetPixel(3, 1), 13u);
    }
}

TEST_F(Loading, NamesThatChooseNoReader) {
    const std::string dir = scratch.path().string();
    write("screen", smallBitmap);
    write("pic.gif", smallBitmap);
    std::filesystem::create_directory(scratch.path() / "dir.old");
    write("dir.old/screen", smallBitmap);
    const std::string noExtension = "IPL_ERROR: k_Load() No extension found (@)\n\n";
    EXPECT_EQ(load(dir + "/screen", false), noExtension + failedLoad(dir + "/screen"));
    EXPECT_EQ(load(dir + "/dir.old/screen", false),
              noExtension + failedLoad(dir + "/dir.old/screen"));
    EXPECT_EQ(load(dir + "/screen.", false), noExtension + failedLoad(dir + "/screen."));
    EXPECT_EQ(
        load(dir + "/pic.gif", false),
        "IPL_ERROR: k_Load() No valid extension found (@)\n\n" + failedLoad(dir + "/pic.gif"));
    // Opening comes before the extension is judged.
    EXPECT_EQ(load(dir + "/missing.gif", false), "IPL_ERROR: k_Load() Failed opening file " + dir +
                                                     "/missing.gif (@)\n\n" +
                                                     failedLoad(dir + "/missing.gif"));
    EXPECT_EQ(load("", false),
              "IPL_WARNING: k_SplitFileName() The given file name is empty - doing nothing "
              "(@)\n\nIPL_ERROR: k_Load() Filename not valid (@)\n\n" +
                  failedLoad(""));
    EXPECT_EQ(load("dir\\", false),
              "IPL_ERROR: k_SplitFileName() The given file name ends with a '/' character "
              "(@)\n\nIPL_ERROR: k_Load() Filename not valid (@)\n\n" +
                  failedLoad("dir\\"));
}

TEST(IplFileName, SplitTakesEitherSlashAndKeepsEveryOtherCharacter) {
    struct Case {
        const char* name;
        const char* path;
        const char* file;
        const char* extension;
    };
    for (const Case c : {Case{"dir\\sub\\screen.bmp", "dir/sub/", "screen.bmp", "bmp"},
                         Case{"dir.old/screen", "dir.old/", "screen", ""},
                         Case{"screen.tar.bmp", "", "screen.tar.bmp", "bmp"},
                         Case{" my pic.bmp ", "", " my pic.bmp ", "bmp "},
                         Case{"/a/.profile", "/a/", ".profile", "profile"}}) {
        char* path = nullptr;
        char* file = nullptr;
        char* extension = nullptr;
        ASSERT_TRUE(ipl::k_SplitFileName(c.name, &path, &file, &extension)) << c.name;
        EXPECT_STREQ(path, c.path);
        EXPECT_STREQ(file, c.file);
        EXPECT_STREQ(extension, c.extension);
        std::free(path);
        std::free(file);
        std::free(extension);
    }
}

TEST_F(Loading, FileInformationOfANameWithBackslashes) {
    const std::string path = write("a\\b.bmp", smallBitmap);
    EXPECT_EQ(load(path, true), "");
    EXPECT_STREQ(record().FileInfo.FileName, "b.bmp");
    EXPECT_EQ(record().FileInfo.PathName, scratch.path().string() + "/a/");
    EXPECT_EQ(record().FileInfo.PathAndFileName, path);
}

TEST_F(Loading, BitmapSizesAndPalettes) {
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette[i] = 0x01000000u * (i & 3) + 0x123456u * i % 0x1000000u;
    }
    load(write("eight.bmp", makeBitmap(
                                160, 90, 8, [](int, int) { return 0u; }, palette)),
         true);
    EXPECT_EQ(record().PalEntries, 256);
    EXPECT_EQ(record().ByteWidth, 160);
    EXPECT_EQ(record().SizeImage, 14400);
    EXPECT_EQ(std::vector<std::uint32_t>(record().PalValues, record().PalValues + 256), palette);

    load(write("true.bmp", makeBitmap(160, 90, 24, [](int, int) { return 0u; })), true);
    EXPECT_EQ(record().PalEntries, 0);
    EXPECT_EQ(record().PalValues, nullptr);
    EXPECT_EQ(record().SizeImage, 43200);

    load(write("one.bmp", makeBitmap(160, 90, 1, [](int, int) { return 0u; })), true);
    EXPECT_EQ(record().ByteWidth, 20);
    EXPECT_EQ(record().PalEntries, 2);
    EXPECT_EQ(record().Bits, 1);
    EXPECT_EQ(record().BorderSize, 0);
}

TEST_F(Loading, MalformedBitmapsAreRefused) {
    const std::string notBmp = "IPL_ERROR: k_LoadBMP() Not a BMP file (@)\n\n";
    const std::string notWindows = "IPL_ERROR: k_LoadBMP() Not a windows BMP file (@)\n\n";
    const std::string compressed =
        "IPL_ERROR: k_LoadBMP() Cannot read compressed BMP files (@)\n\n";
    const std::string failed = "IPL_ERROR: k_LoadBMP() Failed reading image data (@)\n\n";
    const Bytes good = makeBitmap(6, 4, 8, [](int, int) { return 1u; });
    auto patched = [&](std::size_t offset, std::uint32_t value, int size = 4) {
        Bytes bytes = good;
        putLittleEndian(bytes, offset, value, size);
        return bytes;
    };
    // 16383 pixels of 32 bits fill the widest row, 65532 bytes; 40000 of them pass 2^31.
    Bytes blockBeyond31Bits = patched(field::kWidth, 16383);
    putLittleEndian(blockBeyond31Bits, field::kBits, 32, 2);
    putLittleEndian(blockBeyond31Bits, field::kHeight, 40000, 4);
    struct Case {
        const char* what;
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {"gif", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}, notBmp},
        {"empty", Bytes{}, failed},
        {"header cut", Bytes(good.begin(), good.begin() + 30), failed},
        {"os/2 header", patched(field::kInfoSize, 12), notWindows},
        {"v5 header", patched(field::kInfoSize, 124), notWindows},
        {"rle8", patched(field::kCompression, 1), compressed},
        {"one byte short", Bytes(good.begin(), good.end() - 1), failed},
        {"top row first", patched(field::kHeight, static_cast<std::uint32_t>(-4)), failed},
        {"zero width", patched(field::kWidth, 0), failed},
        {"zero bits", patched(field::kBits, 0, 2), failed},
        {"row too wide for 16 bits", patched(field::kWidth, 70000), failed},
        {"height beyond the file", patched(field::kHeight, 0x7FFFFFFF), failed},
        {"block beyond 31 bits", blockBeyond31Bits, failed},
        {"palette beyond the file", patched(field::kPixelOffset, 0xFFFFFFF0u), failed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(write("bad.bmp", c.bytes), false),
                  c.message + failedLoad(scratch.file("bad.bmp")))
            << c.what;
    }
}

TEST_F(Loading, HeaderSizesAreRecordedBeforeTheFormatIsJudged) {
    Bytes bytes = makeBitmap(6, 4, 8, [](int, int) { return 1u; });
    putLittleEndian(bytes, field::kInfoSize, 108, 4);
    load(write("v4.bmp", bytes), false);
    EXPECT_EQ(record().Width, 6);
    EXPECT_EQ(record().Height, 4);
    EXPECT_EQ(record().ByteWidth, 8);
    EXPECT_EQ(record().SizeImage, 32);
    EXPECT_EQ(record().Bits, 8);
    EXPECT_EQ(record().PixelData, nullptr);
    EXPECT_EQ(record().Origin, ipl::EMPTY);
    // Sizes but no rows: no position is inside.
    const std::string out = captureStdout([&] { EXPECT_EQ(image.GetPixel(0, 0), 0u); });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CImage::GetPixel(0,0) Outside image and border (@)\n");
}

TEST_F(Loading, FailureBeforeReadingKeepsTheImage) {
    load(write("keep.bmp", smallBitmap), true);
    load(scratch.file("missing.bmp"), false);
    load(write("keep.txt", smallBitmap), false);
    EXPECT_EQ(record().Width, 4);
    EXPECT_STREQ(record().FileInfo.FileName, "keep.bmp");
    EXPECT_EQ(image.GetPixel(1, 1), 11u);
}

TEST_F(Loading, HistoryHoldsBothEntriesOnceIndentedByDepth) {
    const std::string first = write("first.bmp", smallBitmap);
    const std::string second = write("second.bmp", smallBitmap);
    load(first, true);
    load(second, true);  // replaces, does not add to, the history
    ASSERT_EQ(record().History.Lines.NumberOfStrings, 2u);
    expectHistoryLine(lineOf(record(), 0), "IPL Version 2.16 CStdImage::Load(" + second + ")\n");
    expectHistoryLine(lineOf(record(), 1), "IPL Version 2.16 \tk_Load(" + second + ")\n");
    EXPECT_EQ(record().History.FileInfo.FileName, nullptr);
}

TEST_F(Loading, RecordLevelLoadNamesTheHistoryAfterTheFile) {
    ipl::TImage bare{};
    ipl::k_InitImage(&bare);
    const std::string path = write("shot.x.bmp", smallBitmap);
    EXPECT_EQ(captureStdout([&] { EXPECT_TRUE(ipl::k_Load(path.c_str(), &bare)); }), "");
    EXPECT_STREQ(bare.History.FileInfo.FileName, "shot.x.txt");
    ASSERT_EQ(bare.History.Lines.NumberOfStrings, 1u);
    expectHistoryLine(lineOf(bare, 0), "IPL Version 2.16 k_Load(" + path + ")\n");
    ipl::k_EmptyImage(&bare);
}

TEST_F(Loading, OverlongHistoryEntriesAreReportedButTheLoadSucceeds) {
    const std::string path = write(std::string(200, 'n') + ".bmp", smallBitmap);
    const std::string tooLong =
        "IPL_ERROR: k_SprintfString() array contained in the parameter fmt too long (@)\n\n";
    EXPECT_EQ(load(path, true), tooLong + tooLong);
    ASSERT_EQ(record().History.Lines.NumberOfStrings, 2u);
    expectHistoryLine(lineOf(record(), 0), "IPL Version 2.16 \n");
}

TEST(IplHistory, LinesWithoutStampsAndRefusedLineFeeds) {
    ipl::TIplText text{};
    ipl::k_InitText(&text);
    text.UseDate = 0;
    text.UseTime = 0;
    EXPECT_TRUE(ipl::k_AppendText(&text, "plain"));
    EXPECT_TRUE(ipl::k_AddIPLText(&text, "banner"));
    const std::string out = captureStdout([&] { EXPECT_FALSE(ipl::k_AppendText(&text, "a\nb")); });
    EXPECT_EQ(withoutLocations(out),
              "IPL_ERROR: CText::k_AppendText() String argument=\"a\nb\" contains a newline "
              "character - no insertion (@)\n\n");
    for (int i = 0; i < 5; ++i) {  // past the first capacity of 4
        ipl::k_AppendText(&text, "more");
    }
    ASSERT_EQ(text.Lines.NumberOfStrings, 7u);
    EXPECT_STREQ(text.Lines.pStrings[0].pChars, "# plain\n");
    EXPECT_STREQ(text.Lines.pStrings[1].pChars, "# IPL Version 2.16 banner\n");
    EXPECT_STREQ(text.Lines.pStrings[6].pChars, "# more\n");
    ipl::k_EmptyText(&text);
    EXPECT_EQ(text.UseDate, 0);  // the flags outlive the lines
    EXPECT_EQ(text.Lines.NumberOfStrings, 0u);
}

TEST_F(Loading, GreymapWithCommentsReadsTopRowFirst) {
    const std::string path = write("g.pgm", "P5\n# made by hand\n#second\n3 2\n255\n" +
                                                std::string("\x01\x02\x03\xfd\xfe\xff"));
    EXPECT_EQ(load(path, true), "");
    EXPECT_EQ(record().Bits, 8);
    EXPECT_EQ(record().ByteWidth, 4);
    EXPECT_EQ(record().SizeImage, 8);
    EXPECT_EQ(image.GetPixel(0, 0), 1u);
    EXPECT_EQ(image.GetPixel(2, 0), 3u);
    EXPECT_EQ(image.GetPixel(0, 1), 0xfdu);
    EXPECT_EQ(image.GetPixel(2, 1), 0xffu);
    ASSERT_EQ(record().PalEntries, 256);
    EXPECT_EQ(record().PalValues[0], 0u);
    EXPECT_EQ(record().PalValues[0x80], 0x808080u);
    EXPECT_EQ(record().PalValues[255], 0xFFFFFFu);
    ASSERT_EQ(record().History.Lines.NumberOfStrings, 4u);
    expectHistoryLine(lineOf(record(), 0), "IPL Version 2.16 CStdImage::Load(" + path + ")\n");
    EXPECT_EQ(lineOf(record(), 1), "# made by hand\n");
    EXPECT_EQ(lineOf(record(), 2), "#second\n");
    expectHistoryLine(lineOf(record(), 3), "IPL Version 2.16 \tk_Load(" + path + ")\n");
}

TEST_F(Loading, GreymapNumbersAreReadLikeScanfIntegers) {
    // Hexadecimal and octal; the one byte after 255 is a blank, the pixels follow.
    EXPECT_EQ(load(write("n.pgm", "P5 0x3\t02 255 \x09\x0a\x20\x0d\x00\x07"s), true), "");
    EXPECT_EQ(record().Width, 3);
    EXPECT_EQ(record().Height, 2);
    EXPECT_EQ(image.GetPixel(0, 0), 0x09u);  // a pixel that looks like a blank stays a pixel
    EXPECT_EQ(image.GetPixel(1, 0), 0x0au);
    EXPECT_EQ(image.GetPixel(2, 1), 0x07u);
}

TEST_F(Loading, MalformedGreymapsAreRefused) {
    const std::string failed = "IPL_ERROR: k_LoadPGM() Failed reading image data (@)\n\n";
    struct Case {
        std::string content;
        std::string message;
    };
    const std::string pixels(6, '\x10');
    const Case cases[] = {
        {"P2\n3 2\n255\n1 2 3 4 5 6\n",
         "IPL_ERROR: k_LoadPGM() PGM in ascii format not supported (@)\n\n"},
        {"P6\n3 2\n255\n", "IPL_ERROR: k_LoadPGM() Not a PGM file (@)\n\n"},
        {"P", "IPL_ERROR: k_LoadPGM() Not a PGM file (@)\n\n"},
        {"P5", "IPL_ERROR: k_LoadPGM() Invalid header (1) (@)\n\n"},
        {"P5\n\n", "IPL_ERROR: k_LoadPGM() Invalid header (1) (@)\n\n"},
        {"P53 2\n255\n" + pixels, "IPL_ERROR: k_LoadPGM() Invalid header (1) (@)\n\n"},
        {"P5\n3x2\n255\n" + pixels, "IPL_ERROR: k_LoadPGM() Invalid header (2) (@)\n\n"},
        {"P5\n3 2", "IPL_ERROR: k_LoadPGM() Invalid header (2) (@)\n\n"},
        {"P5\n3 2\nwhite\n", "IPL_ERROR: k_LoadPGM() Invalid header (2) (@)\n\n"},
        {"P5\n3 2\n65535\n" + pixels + pixels,
         "IPL_ERROR: k_LoadPGM() Number of gray tones must be 255 (actual is 65535) (@)\n\n"},
        {"P5\n3 2\n15\n" + pixels,
         "IPL_ERROR: k_LoadPGM() Number of gray tones must be 255 (actual is 15) (@)\n\n"},
        {"P5\n3 2\n255\n" + pixels.substr(1), failed},
        {"P5\n3 2\n255", failed},
        {"P5\n-3 2\n255\n" + pixels, failed},
        {"P5\n3 0\n255\n" + pixels, failed},
        {"P5\n70000 1\n255\n" + pixels, failed},
        {"P5\n16 99999999999\n255\n" + pixels, failed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(write("bad.pgm", c.content), false),
                  c.message + failedLoad(scratch.file("bad.pgm")))
            << c.content;
    }
}

// A Photo CD file of a given length, filled with one byte.
Bytes photoCd(std::size_t length) {
    return Bytes(length, 0x80);
}

TEST_F(Loading, PhotoCdResolutionFollowsTheLength) {
    struct Case {
        std::size_t length;
        int width;
        int height;
    };
    for (const Case c : {Case{49152, 192, 128}, Case{196608, 384, 256}, Case{786432, 768, 512},
                         Case{1100000, 768, 512}}) {
        EXPECT_EQ(load(write("p.pcd", photoCd(c.length)), true), "") << c.length;
        EXPECT_EQ(record().Width, c.width);
        EXPECT_EQ(record().Height, c.height);
        EXPECT_EQ(record().Bits, 24);
        EXPECT_EQ(record().ByteWidth, 3 * c.width);
        EXPECT_EQ(record().PalEntries, 0);
    }
}

TEST_F(Loading, PhotoCdFilesOfNoResolutionAreRefused) {
    EXPECT_EQ(load(write("p.pcd", photoCd(49151)), false),
              "IPL_ERROR: k_LoadPCD() probably not a PhotoCD image (too small) (@)\n\n" +
                  failedLoad(scratch.file("p.pcd")));
    for (const std::size_t length : {49153u, 196607u, 786431u}) {
        EXPECT_EQ(load(write("p.pcd", photoCd(length)), false),
                  "IPL_ERROR: k_LoadPCD() probably not a PhotoCD image (" + std::to_string(length) +
                      " bytes match no resolution) (@)\n\n" + failedLoad(scratch.file("p.pcd")));
    }
}

TEST_F(Loading, PhotoCdColoursFromLumaAndChroma) {
    // 192 x 128 from offset 8192: row pairs of 192 upper luma, 192 lower luma, 96 C1, 96 C2.
    Bytes bytes = photoCd(49152);
    const std::size_t pair0 = 8192;
    bytes[pair0 + 0] = 100;        // (0,0)
    bytes[pair0 + 1] = 100;        // (1,0)
    bytes[pair0 + 192 + 0] = 0;    // (0,1)
    bytes[pair0 + 192 + 1] = 255;  // (1,1)
    bytes[pair0 + 384] = 157;      // C1 of block 0
    bytes[pair0 + 480] = 137;      // C2 of block 0
    const std::size_t pair63 = 8192 + 63 * 576;
    bytes[pair63 + 192 + 191] = 128;  // (191,127)
    bytes[pair63 + 384 + 95] = 0;
    bytes[pair63 + 480 + 95] = 0;
    load(write("p.pcd", bytes), true);
    // Y 100, C1 157, C2 137: luma 140; blue 140 + 2; green 140 + 0 + floor(-33 / 256) = 139;
    // red 140 + 0. Rounding towards zero would give green 140.
    EXPECT_EQ(image.GetPixel(0, 0), 142u + 256u * 139 + 65536u * 140);
    EXPECT_EQ(image.GetPixel(1, 0), 142u + 256u * 139 + 65536u * 140);
    EXPECT_EQ(image.GetPixel(0, 1), 2u);             // green and red clamp at 0
    EXPECT_EQ(image.GetPixel(1, 1), 0xFFFFFFu);      // all clamp at 255
    EXPECT_EQ(image.GetPixel(191, 127), 0x00FF00u);  // Y 128, C1 0, C2 0
    // The bottom picture row is the first stored row.
    EXPECT_EQ(record().PixelData[3 * 191 + 1], 0xFF);
}

TEST(IplFixtures, FilesWrittenByNetpbmLoad) {
    const std::string dir = testing_support::sourcePath("tests/fixtures/");
    ipl::CImage image;
    std::string out = captureStdout([&] {
        ASSERT_TRUE(image.Load((dir + "screen_1bit.bmp").c_str()));
        const ipl::TImage& record = *image.GetConstTImagePtr();
        ASSERT_EQ(record.Width, 160);
        ASSERT_EQ(record.Height, 90);
        ASSERT_EQ(record.PalValues[0] & 0xFFFFFF, 0u);  // index 0 is black
        for (int y = 0; y < 90; ++y) {
            for (int x = 0; x < 160; ++x) {
                ASSERT_EQ(image.GetPixel(x, y), (x + 3 * y) % 7 == 0 ? 0u : 1u) << x << "," << y;
            }
        }
        ASSERT_TRUE(image.Load((dir + "grey_8bit.bmp").c_str()));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const std::uint32_t entry = record.PalValues[image.GetPixel(x, y)];
                ASSERT_EQ(entry & 0xFFFFFF, 0x010101u * ((3 * x + 5 * y) % 256)) << x << "," << y;
            }
        }
        ASSERT_TRUE(image.Load((dir + "colour_24bit.bmp").c_str()));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const std::uint32_t colour = (x * y) % 256 + 256u * (9 * y) + 65536u * (5 * x);
                ASSERT_EQ(image.GetPixel(x, y), colour) << x << "," << y;
            }
        }
        ASSERT_TRUE(image.Load((dir + "grey.pgm").c_str()));
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(image.GetPixel(x, y), static_cast<std::uint32_t>((3 * x + 5 * y) % 256));
            }
        }
    });
    EXPECT_EQ(out, "");
}

}  // namespace
