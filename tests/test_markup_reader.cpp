// SPDX-License-Identifier: MIT
// Tests of the markup reader: attribute lookup, tag nesting and its messages, element texts,
// HEX and LINE texts, limits, and input that ends early.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "tape/tarqo_bin_file.h"
#include "tests/support.h"

namespace {

using testing_support::ScratchDir;

// Text loads write screen files into the working folder: run every test in a scratch folder.
[[maybe_unused]] ::testing::Environment* const scratchWorkingDir =
    ::testing::AddGlobalTestEnvironment(new testing_support::ScratchWorkingDir);

std::unique_ptr<TarqoBinFile> readTape(const std::string& bytes) {
    auto tape = std::make_unique<TarqoBinFile>();
    std::istringstream stream(bytes);
    tape->read(stream, 0);
    return tape;
}

// A text tape with one load of format 1 whose DATA holds the given children.
std::string tapeWithData(const std::string& children) {
    return "<TARQO format=2>\n<LOAD format=1 loadNumber=1>\n<DATA length=20>\n" + children +
           "\n</DATA>\n</LOAD>\n</TARQO>";
}

std::string tapeWithLine(const std::string& lineText) {
    return tapeWithData("<BASIC><LINE number=10>" + lineText + "</LINE></BASIC>");
}

// The first bytes of a load's data.
std::string firstBytes(const TapeLoad& load, std::size_t count) {
    std::string result;
    for (std::size_t index = 0; index < count; ++index) {
        result.push_back(static_cast<char>(load.byteAt(static_cast<long>(index))));
    }
    return result;
}

// The BASIC bytes of a one-line program after its two line-number bytes, up to the 0x0D.
std::string encodedLine(const TarqoBinFile& tape) {
    const auto& data = tape.loads.front().dataBytes;
    std::string bytes;
    for (std::size_t i = 2; i < LoadData::capacity && data[i] != 0x0D; ++i) {
        bytes.push_back(static_cast<char>(data[i]));
    }
    return bytes;
}

TEST(GetAttribute, FindsNamesWithoutRegardToCase) {
    const std::string tag = "LOAD format=1 loadNumber=7 checkSum=0xAb";
    EXPECT_EQ(TarqoBinFile::getAttribute(tag, "format"), "1");
    EXPECT_EQ(TarqoBinFile::getAttribute(tag, "LOADNUMBER"), "7");
    EXPECT_EQ(TarqoBinFile::getAttribute(tag, "checksum"), "0xAb");  // value keeps its case
    EXPECT_EQ(TarqoBinFile::getAttribute(tag, "LOAD"), "0");         // the tag name is no name
}

TEST(GetAttribute, AbsentOrValuelessGivesZero) {
    EXPECT_EQ(TarqoBinFile::getAttribute("HEX address=10", "count"), "0");
    EXPECT_EQ(TarqoBinFile::getAttribute("HEX", "address"), "0");
    EXPECT_EQ(TarqoBinFile::getAttribute("", "address"), "0");
    EXPECT_EQ(TarqoBinFile::getAttribute("HEX count=3 address", "address"), "0");
    EXPECT_EQ(TarqoBinFile::getAttribute("HEX address=", "address"), "0");
}

TEST(GetAttribute, FirstMatchWinsAndBlanksBeforeValueAreSkipped) {
    EXPECT_EQ(TarqoBinFile::getAttribute("LOAD format=1 format=2", "format"), "1");
    EXPECT_EQ(TarqoBinFile::getAttribute("LINE number=  10", "number"), "10");
    EXPECT_EQ(TarqoBinFile::getAttribute("LOAD\tformat=3", "format"), "3");
    // Blanks around the equals sign make the equals sign the value.
    EXPECT_EQ(TarqoBinFile::getAttribute("TARQO format = 2", "format"), "=");
    EXPECT_EQ(TarqoBinFile::getAttribute("DATA length=\"12\"", "length"), "\"12\"");
    // A tab ends a value, but does not separate before a name.
    EXPECT_EQ(TarqoBinFile::getAttribute("LOAD a=1\tb=2", "b"), "2");
    EXPECT_EQ(TarqoBinFile::getAttribute("LOAD a=1 \tb=2", "b"), "0");
    EXPECT_EQ(TarqoBinFile::getAttribute("LOAD a=1 \tb=2", "\tb"), "2");
}

TEST(ReadTag, FirstTagMustBeTheRoot) {
    EXPECT_FATAL(readTape("<?xml version=\"1.0\"?>\n<TARQO format=2></TARQO>"),
                 "Invalid Tag ?xml found for parent tag OPEN\n");
    EXPECT_FATAL(readTape("<tarqo format=2></tarqo>"),
                 "Invalid Tag tarqo found for parent tag OPEN\n");
    EXPECT_FATAL(readTape("<>"), "Invalid Tag  found for parent tag OPEN\n");
    EXPECT_FATAL(readTape("<   >"), "Invalid Tag  found for parent tag OPEN\n");
}

TEST(ReadTag, TextBetweenTagsAndAfterTheRootIsIgnored) {
    const auto tape = readTape(
        "\xEF\xBB\xBF# comment line\n  <TARQO format=2 loadCount=1>free text<NAME>N</NAME>"
        "stray\x01<LOAD format=1>x</LOAD></TARQO><garbage><<<");
    EXPECT_EQ(tape->getName(), "N");
    EXPECT_EQ(tape->loads.size(), 1u);
}

TEST(ReadTag, TagsOutsideTheirParentAreFatal) {
    EXPECT_FATAL(readTape("<TARQO format=2><load format=1></load></TARQO>"),
                 "Invalid Tag load found for parent tag TARQO\n");
    EXPECT_FATAL(readTape("<TARQO format=2><LOAD format=1></TARQO>"),
                 "Invalid Tag /TARQO found for parent tag LOAD\n");
    EXPECT_FATAL(readTape("<TARQO format=2><LOAD format=1><HEADER></GAP>"),
                 "Invalid Tag /GAP found for parent tag HEADER\n");
    EXPECT_FATAL(readTape(tapeWithData("<HEX address=0>01<LINE>")),
                 "Invalid Tag LINE found for parent tag HEX\n");
    EXPECT_FATAL(readTape(tapeWithData("<BASIC><HEX></BASIC>")),
                 "Invalid Tag HEX found for parent tag BASIC\n");
    EXPECT_FATAL(readTape(tapeWithData("<HEX>01 <CHAR>x<HEX></CHAR></HEX>")),
                 "Invalid Tag HEX found for parent tag CHAR\n");
    // A tag split over two lines has the line break in its name, shown as \x0a so that the
    // message stays one line.
    EXPECT_FATAL(readTape("<TARQO format=2><LOAD\nformat=1></LOAD></TARQO>"),
                 "Invalid Tag LOAD\\x0aformat=1 found for parent tag TARQO\n");
}

TEST(ReadTag, AnUnknownTagEndsDataAndItsEndTagIsThenMisplaced) {
    EXPECT_FATAL(readTape(tapeWithData("<HEX address=0>01</HEX><NOTE>")),
                 "Invalid Tag /DATA found for parent tag LOAD\n");
}

TEST(ReadTag, TagTextIsLimitedTo255Characters) {
    const std::string longest = "LOAD format=1" + std::string(255 - 13, ' ');
    const auto tape = readTape("<TARQO format=2><" + longest + "></LOAD></TARQO>");
    EXPECT_EQ(tape->loads.size(), 1u);
    EXPECT_FATAL(readTape("<TARQO format=2><" + longest + " ></LOAD></TARQO>"),
                 "Tag longer than 255 characters found\n");
}

TEST(ReadElementText, NameKeepsWhiteSpaceAndIsCutTo255) {
    auto tape = readTape("<TARQO format=2><NAME>\n  MY TAPE\t\n</NAME></TARQO>");
    EXPECT_EQ(tape->getName(), "\n  MY TAPE\t\n");
    const std::string longName(300, 'N');
    tape = readTape("<TARQO format=2><NAME>" + longName + "</NAME></TARQO>");
    EXPECT_EQ(tape->getName(), longName.substr(0, 255));
}

TEST(ReadElementText, MalformedEndTagsHaveThreeMessages) {
    EXPECT_FATAL(readTape("<TARQO format=2><NAME>A<B</NAME></TARQO>"),
                 "Tag NAME not properly ended: No slash found in end-tag\n");
    EXPECT_FATAL(readTape("<TARQO format=2><NAME>A</Name></TARQO>"),
                 "Tag NAME not properly ended: Found Name instead\n");
    EXPECT_FATAL(readTape("<TARQO format=2><NAME>A</NAMES></TARQO>"),
                 "Tag NAME not properly ended: closing bracket found on end-tag\n");
    EXPECT_FATAL(readTape("<TARQO format=2><NAME>A</NAME ></TARQO>"),
                 "Tag NAME not properly ended: closing bracket found on end-tag\n");
}

TEST(ReadHexText, StopsBeforeTheNextTagAndAfter512Characters) {
    // 200 values of three characters: only the first 512 characters (171 values) count.
    std::string values;
    for (int i = 0; i < 200; ++i) {
        values += "11 ";
    }
    const auto tape = readTape(tapeWithData("<HEX address=0>" + values + "</HEX>"));
    EXPECT_EQ(tape->getHexByteCount(), 171);
    const auto& data = tape->loads.front().dataBytes;
    EXPECT_EQ(data[170], 0x11);
    EXPECT_EQ(data[171], 0x00);
}

TEST(ReadLineText, AngleBracketsThatStartNoTagAreProgramText) {
    const auto tape = readTape(tapeWithLine("IF A<B GOTO 10<"));
    EXPECT_EQ(encodedLine(*tape), std::string("\x6D"
                                              "A<B \x6E"
                                              "10<"));
}

TEST(ReadLineText, BreaksAreRemoved) {
    const auto tape = readTape(tapeWithLine("PRINT <BR>\n\t\t\t\t</BR>A<BR> any text </BR>B"));
    EXPECT_EQ(encodedLine(*tape),
              "\x74"
              "AB");
}

TEST(ReadLineText, TheCharacterAfterABreakIsAlwaysText) {
    // "</BR>" followed by "</LINE>" takes that '<' as text; the line runs to the next end tag.
    const auto tape = readTape(tapeWithLine("A<BR></BR></LINE>B"));
    EXPECT_EQ(encodedLine(*tape), "A</LINE>B");
}

TEST(ReadLineText, ABreakWithoutEndSkipsEverythingToTheNextOne) {
    const auto tape =
        readTape(tapeWithData("<BASIC><LINE number=10>A<BR>B</LINE><LINE number=20>C</BR>D"
                              "</LINE></BASIC>"));
    EXPECT_EQ(firstBytes(tape->loads.front(), 8), std::string("\x0A\x00"
                                                              "AD\x0D\x00\xFF\x00",
                                                              8));
}

TEST(ReadLineText, LinesOf8000CharactersAreRefused) {
    const auto tape = readTape(tapeWithLine(std::string(7999, 'A')));
    EXPECT_EQ(encodedLine(*tape).size(), 7999u);
    EXPECT_FATAL(readTape(tapeWithLine(std::string(8000, 'A'))),
                 "Line longer than 8000 characters found in load 1\n");
}

TEST(ReadCharText, CharIsReadByCountSoItMayHoldBrackets) {
    const auto tape =
        readTape(tapeWithData("<HEX address=0010 count=99>3C 3E 41 <CHAR><>A</CHAR></HEX>"));
    EXPECT_EQ(tape->getHexByteCount(), 3);
    const auto& data = tape->loads.front().dataBytes;
    EXPECT_EQ(data[16], 0x3C);
    EXPECT_EQ(data[17], 0x3E);
    EXPECT_EQ(data[18], 0x41);
    // One character too few: the count runs into the end tag, which is then missing.
    EXPECT_FATAL(readTape(tapeWithData("<HEX address=0>3C 3E 41 <CHAR><></CHAR></HEX>")),
                 "Invalid Tag /HEX found for parent tag CHAR\n");
}

TEST(ReadBinaryPayload, PayloadBytesAreDataEvenWhenTheyLookLikeTags) {
    const std::string image = std::string("<TARQO format=1>\x01\x00\x00\x00\x00", 21) +
                              "<LOAD format=3>\x05<DATA>" + std::string("\x04\x00<</>", 6) +
                              "</DATA></LOAD></TARQO>";
    const auto tape = readTape(image);
    EXPECT_EQ(firstBytes(tape->loads.front(), 4), "<</>");
}

// Every prefix of a valid image must end with the end-of-input exception, whichever element
// the input stops in: tag, attribute text, element text, end tag, LINE text, CHAR, payload.
void expectEveryPrefixEndsEarly(const std::string& image) {
    ASSERT_NO_THROW(readTape(image));
    for (std::size_t length = 0; length < image.size(); ++length) {
        EXPECT_THROW(readTape(image.substr(0, length)), Error::endOfFile) << length;
    }
}

TEST(EndOfInput, EveryTruncatedTextImageEndsWithEndOfFile) {
    expectEveryPrefixEndsEarly(
        "<TARQO format=2 loadCount=1>\n<NAME>T</NAME>\n"
        "<LOAD format=2 loadNumber=1 checkSum=0x12>\n<HEADER headerLength=1></HEADER>\n"
        "<DATA length=40>\n<HEX address=0>01 02 <CHAR><></CHAR></HEX>\n"
        "<BASIC><LINE number=10>PRINT A<B<BR>\n</BR>X</LINE></BASIC>\n</DATA>\n"
        "<FOOTER footerLength=1></FOOTER><GAP gapLength=1></GAP>\n</LOAD>\n</TARQO>");
}

TEST(EndOfInput, EveryTruncatedBinaryImageEndsWithEndOfFile) {
    expectEveryPrefixEndsEarly(std::string("<TARQO format=1>\x01\x50\x00\x00\x00", 21) +
                               "<NAME>B</NAME><LOAD format=3>\x07<HEADER>\x01\x02</HEADER>" +
                               std::string("<DATA>\x03\x00\x01<\x03\x00</DATA>", 19) +
                               std::string("<FOOTER>\x00\x19</FOOTER><GAP>\x00\x00</GAP>", 32) +
                               "</LOAD></TARQO>");
}

TEST(EndOfInput, EveryTruncatedExampleEndsWithEndOfFile) {
    for (const char* name : {"examples/basic.bml", "examples/tape.bin"}) {
        const auto bytes = testing_support::readFile(testing_support::sourcePath(name));
        ASSERT_FALSE(bytes.empty()) << name;
        expectEveryPrefixEndsEarly(std::string(bytes.begin(), bytes.end()));
    }
}

}  // namespace
