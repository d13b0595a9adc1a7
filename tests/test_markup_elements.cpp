// SPDX-License-Identifier: MIT
// Tests of the element rules: root and load values, length overrides, binary payloads, HEX and
// BASIC data, the BASIC line encoder, data limits, reader detail lines, screen files, examples.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tape/tarqo_bin_file.h"
#include "tests/support.h"

namespace {

using testing_support::Bytes;
using testing_support::ScratchDir;

// Text loads write screen files into the working folder: run every test in a scratch folder.
[[maybe_unused]] ::testing::Environment* const scratchWorkingDir =
    ::testing::AddGlobalTestEnvironment(new testing_support::ScratchWorkingDir);

struct Overrides {
    double header = -1.0;
    double footer = -1.0;
    double gap = -1.0;
};

std::unique_ptr<TarqoBinFile> readTape(const std::string& bytes, Overrides overrides = {},
                                       int verbosity = 0) {
    auto tape = std::make_unique<TarqoBinFile>();
    tape->headerLengthOverride = overrides.header;
    tape->footerLengthOverride = overrides.footer;
    tape->gapLengthOverride = overrides.gap;
    std::istringstream stream(bytes);
    tape->read(stream, verbosity);
    return tape;
}

// A string literal with its zero bytes: binary payloads hold them.
template <std::size_t N>
std::string raw(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::string textTape(const std::string& loads) {
    return "<TARQO format=2>" + loads + "</TARQO>";
}

// One text load of format 1 whose DATA holds the children.
std::string dataTape(const std::string& children, int length = 20, int format = 1) {
    return textTape("<LOAD format=" + std::to_string(format) + " loadNumber=1><DATA length=" +
                    std::to_string(length) + ">" + children + "</DATA></LOAD>");
}

std::string basicTape(const std::string& lines, int length = 20, int format = 1) {
    return dataTape("<BASIC>" + lines + "</BASIC>", length, format);
}

std::string line(int number, const std::string& text) {
    return "<LINE number=" + std::to_string(number) + ">" + text + "</LINE>";
}

// The first bytes of a load's data.
std::string firstBytes(const TapeLoad& load, std::size_t count) {
    std::string result;
    for (std::size_t index = 0; index < count; ++index) {
        result.push_back(static_cast<char>(load.byteAt(static_cast<long>(index))));
    }
    return result;
}

// The first bytes of the first load's data.
std::string dataStart(const TarqoBinFile& tape, std::size_t count) {
    return firstBytes(tape.loads.front(), count);
}

std::string bytes(std::initializer_list<int> values) {
    std::string result;
    for (const int value : values) {
        result.push_back(static_cast<char>(value));
    }
    return result;
}

// The encoded bytes of one BASIC line (line number first, 0x0D last).
std::string encode(const std::string& text, int number = 10) {
    const auto tape = readTape(basicTape(line(number, text)));
    const std::size_t end = static_cast<std::size_t>(tape->getDataPosition()) - 2;  // before 00 FF
    return firstBytes(tape->loads.front(), end);
}

// ---- root and loads ----

TEST(RootElement, BinaryHeaderAndTextAttributes) {
    auto tape = readTape(raw("<TARQO format=1>\x03\x34\x12\x99\x99</TARQO>"));
    EXPECT_EQ(tape->getFileFormat(), 1);
    EXPECT_EQ(tape->getLoadCount(), 3);
    EXPECT_EQ(tape->getFileLength(), 0x1234);
    tape = readTape("<TARQO FORMAT=2 loadCount=4 fileLength=1234.5></TARQO>");
    EXPECT_EQ(tape->getFileFormat(), 2);
    EXPECT_EQ(tape->getLoadCount(), 4);
    EXPECT_EQ(tape->getFileLength(), 1234.5);
    EXPECT_TRUE(tape->loads.empty());
}

TEST(RootElement, OtherFormatsAreFatal) {
    EXPECT_FATAL(readTape("<TARQO format=3></TARQO>"), "Invalid file format 3 found\n");
    EXPECT_FATAL(readTape("<TARQO></TARQO>"), "Invalid file format 0 found\n");
    EXPECT_FATAL(readTape("<TARQO format=-7></TARQO>"), "Invalid file format -7 found\n");
}

TEST(LoadElement, TextValuesAndTheirDefaults) {
    const auto tape = readTape(textTape(
        "<LOAD format=1></LOAD>"
        "<LOAD format=2 LOADNUMBER=3 headerLength=0.0 footerLength=2.5 gapLength=1.5></LOAD>"
        "<LOAD format=1 headerLength=3 footerLength=abc gapLength=\"2\"></LOAD>"));
    ASSERT_EQ(tape->loads.size(), 3u);
    const TapeLoad& plain = tape->loads[0];
    EXPECT_EQ(plain.getFormat(), 1);
    EXPECT_EQ(plain.getLoadNumber(), 0);
    EXPECT_EQ(plain.getHeaderLength(), 1.0);
    EXPECT_EQ(plain.getFooterLength(), 0.25);
    EXPECT_EQ(plain.getGapLength(), 0.0);
    EXPECT_EQ(plain.getCheckSum(), 0);
    const TapeLoad& second = tape->loads[1];
    EXPECT_EQ(second.getFormat(), 2);
    EXPECT_EQ(second.getLoadNumber(), 3);
    EXPECT_EQ(second.getHeaderLength(), 1.0);
    EXPECT_EQ(second.getFooterLength(), 2.5);
    EXPECT_EQ(second.getGapLength(), 1.5);
    const TapeLoad& third = tape->loads[2];
    EXPECT_EQ(third.getHeaderLength(), 3.0);
    EXPECT_EQ(third.getFooterLength(), 0.25);
    EXPECT_EQ(third.getGapLength(), 0.0);
}

TEST(LoadElement, RealsAreDecimalNumbersOnly) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"2.5s", 2.5}, {".5", 0.5},  {"1e1", 10.0}, {"-2", -2.0},
        {"inf", 1.0},  {"nan", 1.0}, {"0x10", 1.0},  // not numbers: 0, which means the default
    };
    for (const auto& [value, expected] : cases) {
        const auto tape = readTape(textTape("<LOAD format=1 headerLength=" + value + "></LOAD>"));
        EXPECT_EQ(tape->loads.front().getHeaderLength(), expected) << value;
    }
}

TEST(LoadElement, CheckSumIsZeroOrHexWithAtMostTwoDigits) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"", 0},
        {" checkSum=0", 0},
        {" checkSum=0x7", 7},
        {" checkSum=0x1F3", 0x1F},
        {" checkSum=0xd7", 0xD7},
        {" checkSum=0xZZ", 0},
        {" checkSum=1f", 0x1F},
        {" checkSum=0X1F3", 0xF3},
    };
    for (const auto& [attribute, expected] : cases) {
        const auto tape = readTape(textTape("<LOAD format=1" + attribute + "></LOAD>"));
        EXPECT_EQ(tape->loads.front().getCheckSum(), expected) << attribute;
    }
}

TEST(LoadElement, BinaryLoadNumberFollowsTheTag) {
    const auto tape = readTape(textTape("<LOAD format=3 loadNumber=9>\xC8</LOAD>"));
    EXPECT_EQ(tape->loads.front().getFormat(), 3);
    EXPECT_EQ(tape->loads.front().getLoadNumber(), 200);
}

TEST(LoadElement, OtherFormatsAreFatalAndNameTheLoadPosition) {
    EXPECT_FATAL(readTape(textTape("<LOAD format=1></LOAD><LOAD format=4>")),
                 "Invalid load format 4 found in load 2");
    EXPECT_FATAL(readTape(textTape("<LOAD loadNumber=7>")),
                 "Invalid load format 0 found in load 1");
}

TEST(LoadElement, LoadsKeepFileOrder) {
    const auto tape = readTape(textTape(
        "<LOAD format=1 loadNumber=5></LOAD><LOAD format=3>\x06</LOAD><LOAD format=2 loadNumber=4>"
        "</LOAD>"));
    ASSERT_EQ(tape->loads.size(), 3u);
    EXPECT_EQ(tape->loads[0].getLoadNumber(), 5);
    EXPECT_EQ(tape->loads[1].getLoadNumber(), 6);
    EXPECT_EQ(tape->loads[2].getLoadNumber(), 4);
    EXPECT_EQ(tape->getLoadsRead(), 3);
}

// ---- HEADER, FOOTER and GAP ----

const std::string textLengths =
    "<LOAD format=1 headerLength=4 footerLength=5 gapLength=6>"
    "<HEADER headerLength=1.5></HEADER><FOOTER footerLength=0.75></FOOTER>"
    "<GAP gapLength=2.25></GAP></LOAD>";
const std::string binaryLengths =
    raw("<LOAD format=3>\x01<HEADER>\x02\x32</HEADER><FOOTER>\x00\x05</FOOTER>"
        "<GAP>\x01\x63</GAP></LOAD>");

TEST(LengthElements, ElementsReplaceTheLoadValues) {
    const auto tape = readTape(textTape(textLengths + binaryLengths));
    const TapeLoad& text = tape->loads[0];
    EXPECT_EQ(text.getHeaderLength(), 1.5);
    EXPECT_EQ(text.getFooterLength(), 0.75);
    EXPECT_EQ(text.getGapLength(), 2.25);
    const TapeLoad& binary = tape->loads[1];
    EXPECT_EQ(binary.getHeaderLength(), 2.5);
    EXPECT_EQ(binary.getFooterLength(), 0.05);
    EXPECT_DOUBLE_EQ(binary.getGapLength(), 1.99);
}

TEST(LengthElements, TextElementWithoutAttributeSetsZero) {
    const auto tape = readTape(textTape(
        "<LOAD format=1 headerLength=4 footerLength=5 gapLength=6><HEADER></HEADER><FOOTER>"
        "</FOOTER><GAP></GAP></LOAD><LOAD format=1 headerLength=4 footerLength=5 gapLength=6>"
        "</LOAD>"));
    EXPECT_EQ(tape->loads[0].getHeaderLength(), 0.0);
    EXPECT_EQ(tape->loads[0].getFooterLength(), 0.0);
    EXPECT_EQ(tape->loads[0].getGapLength(), 0.0);
    EXPECT_EQ(tape->loads[1].getHeaderLength(), 4.0);
    EXPECT_EQ(tape->loads[1].getFooterLength(), 5.0);
    EXPECT_EQ(tape->loads[1].getGapLength(), 6.0);
}

TEST(LengthElements, OverridesApplyWhereElementsAreRead) {
    const std::string withoutElements =
        "<LOAD format=1 headerLength=4 footerLength=5 gapLength=6>"
        "</LOAD>";
    const auto tape =
        readTape(textTape(textLengths + binaryLengths + withoutElements), Overrides{3.0, 0.0, 7.0});
    const TapeLoad& text = tape->loads[0];
    EXPECT_EQ(text.getHeaderLength(), 3.0);
    EXPECT_EQ(text.getFooterLength(), 0.0);
    EXPECT_EQ(text.getGapLength(), 2.25);  // a text GAP ignores the override
    const TapeLoad& binary = tape->loads[1];
    EXPECT_EQ(binary.getHeaderLength(), 3.0);
    EXPECT_EQ(binary.getFooterLength(), 0.0);
    EXPECT_EQ(binary.getGapLength(), 7.0);
    const TapeLoad& bare = tape->loads[2];  // no elements: the LOAD values stay
    EXPECT_EQ(bare.getHeaderLength(), 4.0);
    EXPECT_EQ(bare.getFooterLength(), 5.0);
    EXPECT_EQ(bare.getGapLength(), 6.0);
}

TEST(LengthElements, DetailLinesAtVerbosityTwo) {
    const std::string image = textTape(textLengths + binaryLengths);
    testing::internal::CaptureStdout();
    readTape(image, {}, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "    Header length: 1.5 seconds \n"
              "    Footer Length: 0.75 seconds\n"
              "    Gap Length: 2.25 seconds\n"
              "    Header length: 2.5 seconds \n"
              "    Footer Length: 0.05 seconds\n"
              "    Gap Length: 1.99 seconds\n");
    testing::internal::CaptureStdout();
    readTape(image, {}, 1);
    readTape(dataTape("", 100), {}, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---- DATA ----

TEST(DataElement, BinaryPayloadIsPaddedToEvenLength) {
    const auto tape = readTape(
        textTape(raw("<LOAD format=3>\x01<DATA>\x05\x00\x01\x02\x03\x04\x05\x06</DATA></LOAD>")));
    EXPECT_EQ(tape->loads.front().getLength(), 5);
    EXPECT_EQ(tape->getDataLength(), 5.0);
    EXPECT_EQ(dataStart(*tape, 7), bytes({1, 2, 3, 4, 5, 6, 0}));
}

TEST(DataElement, BinaryLengthLimitIsTheLoadSize) {
    const std::string full = "<LOAD format=3>\x01<DATA>" + std::string("\x00\x20", 2) +
                             std::string(8192, '\x07') + "</DATA></LOAD>";
    const auto tape = readTape(textTape(full));
    EXPECT_EQ(tape->loads.front().getLength(), 8192);
    EXPECT_EQ(tape->loads.front().dataBytes[8191], 7);
    // Refused from the length alone, before any payload byte is read.
    EXPECT_FATAL(readTape(textTape("<LOAD format=3>\x01<DATA>" + std::string("\x01\x20", 2))),
                 "Data of load 1 does not fit in 8192 bytes\n");
    EXPECT_FATAL(readTape(textTape("<LOAD format=1></LOAD><LOAD format=3>\x01<DATA>\xFF\xFF")),
                 "Data of load 2 does not fit in 8192 bytes\n");
}

TEST(DataElement, LoadLengthDetailLine) {
    testing::internal::CaptureStdout();
    readTape(dataTape("", 100), {}, 2);
    readTape(textTape(raw("<LOAD format=3>\x01<DATA>\x03\x00\x01\x02\x03\x04</DATA></LOAD>")), {},
             2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "    Load length: 100 bytes\n    Load length: 3 bytes\n");
}

TEST(DataElement, TextLengthAboveTheLoadSizeIsRefusedAtTheLoadEnd) {
    const auto tape = readTape(dataTape("", 8192));
    EXPECT_EQ(tape->loads.front().getLength(), 8192);
    EXPECT_FATAL(readTape(dataTape("", 8193)), "Data of load 1 does not fit in 8192 bytes\n");
}

// ---- HEX ----

TEST(HexElement, ValuesGoFromTheAddressOn) {
    const auto tape =
        readTape(dataTape("<HEX address=0010 count=99>01 02  03 <CHAR>abc</CHAR></HEX>"
                          "<HEX address=0x20>0xAB 1FF -1 zz<CHAR>....</CHAR></HEX>"
                          "<HEX address=0x40>5 a Fe 7g g7 0x</HEX>"
                          "<HEX address=12345>77</HEX>"));
    const auto& data = tape->loads.front().dataBytes;
    EXPECT_EQ(data[16], 1);
    EXPECT_EQ(data[17], 2);
    EXPECT_EQ(data[18], 3);
    EXPECT_EQ(data[0x20], 0xAB);
    EXPECT_EQ(data[0x21], 0xFF);  // low 8 bits
    EXPECT_EQ(data[0x22], 0xFF);
    EXPECT_EQ(data[0x23], 0x00);  // no digits
    // One or two characters: digits of either case, up to the first that is none.
    EXPECT_EQ(dataStart(*tape, 0x46).substr(0x40), bytes({0x05, 0x0A, 0xFE, 0x07, 0x00, 0x00}));
    EXPECT_EQ(data[0x1234], 0x77);  // four characters of the address at most
    EXPECT_EQ(tape->getHexByteCount(), 1);
    EXPECT_EQ(tape->getDataPosition(), 0);  // HEX does not move the BASIC position
}

TEST(HexElement, OnlyBlanksSeparateValues) {
    const auto tape =
        readTape(dataTape("<HEX address=0>01\n02\t03 04\r\n</HEX><HEX address=8>\n 05</HEX>"));
    EXPECT_EQ(dataStart(*tape, 3), bytes({0x01, 0x04, 0x00}));
    // A line break before the first value is a value of its own, without digits.
    EXPECT_EQ(dataStart(*tape, 10).substr(8), bytes({0x00, 0x05}));
}

TEST(HexElement, EmptyTextStoresNothingAndCharHoldsNothing) {
    const auto tape = readTape(dataTape("<HEX address=0 count=5>   <CHAR></CHAR></HEX>"));
    EXPECT_EQ(tape->getHexByteCount(), 0);
    EXPECT_EQ(dataStart(*tape, 2), bytes({0, 0}));
}

TEST(HexElement, HexOverwritesBasicBytes) {
    const auto tape =
        readTape(dataTape("<BASIC>" + line(10, "A") + "</BASIC><HEX address=2>42</HEX>"));
    EXPECT_EQ(dataStart(*tape, 6), bytes({0x0A, 0x00, 0x42, 0x0D, 0x00, 0xFF}));
}

TEST(HexElement, ValuesOutsideTheLoadAreRefused) {
    const auto tape = readTape(dataTape("<HEX address=1FFF>5A</HEX>"));
    EXPECT_EQ(tape->loads.front().dataBytes[8191], 0x5A);
    EXPECT_FATAL(readTape(dataTape("<HEX address=1FFF>5A 5B</HEX>")),
                 "Data of load 1 does not fit in 8192 bytes\n");
    EXPECT_FATAL(readTape(dataTape("<HEX address=-1>5A</HEX>")),
                 "Data of load 1 does not fit in 8192 bytes\n");
}

// ---- BASIC ----

TEST(BasicEncoding, KeywordsStringsAndLetters) {
    EXPECT_EQ(encode("PRINT \"HI\""), bytes({0x0A, 0x00, 0x74, 0x22, 0x48, 0x49, 0x22, 0x0D}));
    EXPECT_EQ(encode("PRINTX"), bytes({0x0A, 0x00, 'P', 'R', 'I', 'N', 'T', 'X', 0x0D}));
    EXPECT_EQ(encode("INPUTA"), bytes({0x0A, 0x00, 0x73, 'A', 0x0D}));
    EXPECT_EQ(encode("FOR I=1 TO 9 STEP 2"),
              bytes({0x0A, 0x00, 0x72, 'I', '=', '1', ' ', 0x77, '9', ' ', 0x75, '2', 0x0D}));
    EXPECT_EQ(encode("GOSUB 100"), bytes({0x0A, 0x00, 0x6F, '1', '0', '0', 0x0D}));
    EXPECT_EQ(encode("RUN"), bytes({0x0A, 0x00, 'R', 'U', 'N', 0x0D}));
    EXPECT_EQ(encode("ab"), bytes({0x0A, 0x00, 'a', 'b', 0x0D}));
    EXPECT_EQ(encode(""), bytes({0x0A, 0x00, 0x0D}));
}

TEST(BasicEncoding, InsideStringsKeywordsNeedBars) {
    EXPECT_EQ(encode("\"PRINT \""),
              bytes({0x0A, 0x00, '"', 'P', 'R', 'I', 'N', 'T', ' ', '"', 0x0D}));
    EXPECT_EQ(encode("\"|PRINT |\""), bytes({0x0A, 0x00, '"', 0x74, '"', 0x0D}));
    // Outside a string the first bar starts no longer form once P follows it.
    EXPECT_EQ(encode("|PRINT |"), bytes({0x0A, 0x00, 0x7C, 0x74, 0x7C, 0x0D}));
    // The string ends at its second quote: keywords count again after it.
    EXPECT_EQ(encode("\"A\"PRINT "), bytes({0x0A, 0x00, '"', 'A', '"', 0x74, 0x0D}));
}

TEST(BasicEncoding, BarEscapes) {
    EXPECT_EQ(encode("|200|"), bytes({0x0A, 0x00, 200, 0x0D}));
    EXPECT_EQ(encode("|1|"), bytes({0x0A, 0x00, 1, 0x0D}));
    EXPECT_EQ(encode("|0|"), bytes({0x0A, 0x00, '|', '0', '|', 0x0D}));
    EXPECT_EQ(encode("|31|"), bytes({0x0A, 0x00, '|', '3', '1', '|', 0x0D}));
    EXPECT_EQ(encode("|erase|"), bytes({0x0A, 0x00, 0x1F, 0x0D}));
    EXPECT_EQ(encode("\"|up_arrow||graphic_2|\""), bytes({0x0A, 0x00, '"', 0x5E, 0x65, '"', 0x0D}));
    EXPECT_EQ(encode("|up"), bytes({0x0A, 0x00, '|', 'u', 'p', 0x0D}));
}

TEST(BasicEncoding, LineNumbersAreWordsModulo65536) {
    EXPECT_EQ(encode("", 0x1234), bytes({0x34, 0x12, 0x0D}));
    EXPECT_EQ(encode("", 65546), bytes({0x0A, 0x00, 0x0D}));
    EXPECT_EQ(encode("", -1), bytes({0xFF, 0xFF, 0x0D}));
}

TEST(BasicElement, ProgramEndsWithMarkerAndScreenLoadsDoubleTheirLength) {
    // Lines of 10 bytes in all; the marker follows them.
    const std::string lines = line(10, "AB") + line(20, "PRINT A");
    auto tape = readTape(basicTape(lines, 10, 1));
    EXPECT_EQ(tape->getDataPosition(), 12);
    EXPECT_EQ(dataStart(*tape, 13),
              bytes({0x0A, 0x00, 'A', 'B', 0x0D, 0x14, 0x00, 0x74, 'A', 0x0D, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(tape->loads.front().getLength(), 10);
    tape = readTape(basicTape(lines, 10, 2));
    EXPECT_EQ(tape->loads.front().getLength(), 24);
    tape = readTape(basicTape(lines, 20, 2));
    EXPECT_EQ(tape->loads.front().getLength(), 24);
    tape = readTape(basicTape(lines, 30, 2));
    EXPECT_EQ(tape->loads.front().getLength(), 30);
}

TEST(BasicElement, EachDataElementStartsAtZero) {
    const auto tape =
        readTape(textTape("<LOAD format=1><DATA><BASIC>" + line(1, "A") +
                          "</BASIC></DATA><DATA><BASIC>" + line(2, "") + "</BASIC></DATA></LOAD>"));
    EXPECT_EQ(dataStart(*tape, 6), bytes({0x02, 0x00, 0x0D, 0x00, 0xFF, 0xFF}));
}

TEST(BasicElement, ProgramsOutsideTheLoadAreRefused) {
    // 8002 bytes for the first line, then the marker needs 8192 and 8193.
    const std::string first = line(1, std::string(7999, 'A'));
    auto tape = readTape(basicTape(first + line(2, std::string(185, 'B')), 8000));
    EXPECT_EQ(tape->getDataPosition(), 8192);
    EXPECT_FATAL(readTape(basicTape(first + line(2, std::string(186, 'B')), 8000)),
                 "Data of load 1 does not fit in 8192 bytes\n");
    EXPECT_FATAL(readTape(basicTape(first + line(2, std::string(300, 'B')), 8000)),
                 "Data of load 1 does not fit in 8192 bytes\n");
    // A screen load whose doubled length passes the load size.
    const std::string half = line(1, std::string(4091, 'A'));  // 4096 bytes with the marker
    tape = readTape(basicTape(half, 10, 2));
    EXPECT_EQ(tape->loads.front().getLength(), 8192);
    EXPECT_FATAL(readTape(basicTape(line(1, std::string(4092, 'A')), 10, 2)),
                 "Data of load 1 does not fit in 8192 bytes\n");
}

// ---- screen files ----

std::vector<std::string> screenLines(int loadNumber) {
    const Bytes content =
        testing_support::readFile("screen_" + std::to_string(loadNumber) + ".txt");
    std::vector<std::string> lines;
    std::string current;
    for (const unsigned char c : content) {
        current.push_back(static_cast<char>(c));
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        }
    }
    EXPECT_TRUE(current.empty());
    return lines;
}

TEST(ScreenFile, ShowsTheSecondHalfWithTheScreenBitOrder) {
    readTape(
        textTape("<LOAD format=1 loadNumber=7><DATA length=100>"
                 "<HEX address=32>80 20 08 02 40 10 04 01 FF 00 00 00 00 00 00 00 00 00 00 "
                 "00 C3</HEX></DATA></LOAD>"));
    const auto lines = screenLines(7);
    ASSERT_EQ(lines.size(), 102u);
    for (const auto& text : lines) {
        ASSERT_EQ(text.size(), 161u);
    }
    // Data bytes 50 to 69 (0x32 on), one bit each, in the order of the screen's pixels.
    EXPECT_EQ(lines[0].substr(0, 72),
              "*        *        *        *        *        *        *        *"
              "********");
    EXPECT_EQ(lines[0].substr(72), std::string(88, ' ') + "\n");
    // Byte 70 opens the second line: 0xC3 is pixels 0, 4, 3 and 7.
    EXPECT_EQ(lines[1].substr(0, 8), "*  **  *");
}

TEST(ScreenFile, BytesOutsideTheDataShowAsClear) {
    // Length 16382 starts the picture at index 8191: one byte inside, the rest outside.
    EXPECT_FATAL(readTape(textTape("<LOAD format=1 loadNumber=3><DATA length=16382>"
                                   "<HEX address=1FFF>FF</HEX></DATA></LOAD>")),
                 "Data of load 1 does not fit in 8192 bytes\n");
    auto lines = screenLines(3);
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[0], "********" + std::string(152, ' ') + "\n");
    EXPECT_EQ(lines[101], std::string(160, ' ') + "\n");
    // A negative length starts before the data: -10 starts at -5.
    readTape(
        textTape("<LOAD format=1 loadNumber=3><DATA length=-10><HEX address=0>FF</HEX>"
                 "</DATA></LOAD>"));
    lines = screenLines(3);
    EXPECT_EQ(lines[0], std::string(40, ' ') + "********" + std::string(112, ' ') + "\n");
}

TEST(ScreenFile, SameLoadNumberRewritesTheFile) {
    readTape(
        textTape("<LOAD format=2 loadNumber=4><DATA length=0><HEX address=0>FF</HEX></DATA>"
                 "</LOAD><LOAD format=1 loadNumber=4><DATA length=0><HEX address=0>01</HEX>"
                 "</DATA></LOAD>"));
    EXPECT_EQ(screenLines(4)[0].substr(0, 8), "       *");
}

TEST(ScreenFile, BinaryLoadsWriteNone) {
    readTape(textTape(raw("<LOAD format=3>\x09<DATA>\x00\x00</DATA></LOAD>")));
    EXPECT_FALSE(std::filesystem::exists("screen_9.txt"));
}

// ---- the example tape images ----

std::unique_ptr<TarqoBinFile> readExample(const std::string& name) {
    const Bytes content =
        testing_support::readFile(testing_support::sourcePath("examples/" + name));
    return readTape(std::string(content.begin(), content.end()));
}

// The example images read cleanly; their audio is checked end to end elsewhere.
TEST(ExampleImages, ReadWithoutError) {
    auto tape = readExample("basic.bml");
    ASSERT_EQ(tape->loads.size(), 1u);
    EXPECT_EQ(tape->loads[0].getFormat(), 1);
    EXPECT_EQ(tape->loads[0].getLength(), tape->getDataPosition());
    // Line 70 is written over two lines of the file, with a break between its forms.
    const std::string line70 =
        bytes({0x46, 0x00, 0x6D, 'A', '$', '=', '"', 'Y', '"', ' ', 0x6E, '2', '0', 0x0D});
    EXPECT_NE(dataStart(*tape, 86).find(line70), std::string::npos);

    tape = readExample("screen.bml");
    ASSERT_EQ(tape->loads.size(), 1u);
    EXPECT_EQ(tape->loads[0].getFormat(), 2);
    EXPECT_EQ(tape->loads[0].getLength(), 3600);
    EXPECT_EQ(screenLines(tape->loads[0].getLoadNumber()).size(), 102u);

    tape = readExample("tape.bin");
    EXPECT_EQ(tape->getFileFormat(), 1);
    EXPECT_EQ(tape->getLoadCount(), 2);
    ASSERT_EQ(tape->loads.size(), 2u);
    EXPECT_EQ(tape->loads[0].getFormat(), 3);
    EXPECT_EQ(tape->loads[1].getLoadNumber(), 2);
}

}  // namespace
