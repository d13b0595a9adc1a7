// SPDX-License-Identifier: MIT
// The canonical text and binary layouts byte by byte, BASIC lines and their fallback to HEX,
// the warnings for what a layout cannot hold, and round trips of generated tapes: both layouts
// read back as the same loads, convert to themselves again and send the same signal.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "audio/conversion_run.h"
#include "base/bit_order.h"
#include "tape/tape_writer.h"
#include "tests/load_maker.h"
#include "tests/support.h"

using testing_support::makeLoad;
using testing_support::readFile;
using testing_support::ScratchDir;

namespace {

WrittenTape writeTape(const std::vector<TapeLoad>& loads, TapeLayout layout,
                      const std::string& name = "") {
    TarqoBinFile tape;
    tape.setName(name);
    tape.loads.assign(loads.begin(), loads.end());
    return TapeWriter(tape).write(tape, layout);
}

std::unique_ptr<TarqoBinFile> readTape(const std::string& bytes) {
    auto tape = std::make_unique<TarqoBinFile>();
    tape->setQuiet(true);
    std::istringstream stream(bytes);
    tape->read(stream, 0);
    return tape;
}

// The root line of the text layout for a file of this many bytes in all.
std::string textRoot(int loads, std::size_t bodySize) {
    const std::string start = "<TARQO format=2 loadCount=";
    const std::size_t total = start.size() + 40 + bodySize;
    std::string stretch = std::to_string(loads) + " fileLength=" + std::to_string(total) + ">";
    stretch.resize(39, ' ');
    return start + stretch + "\n";
}

struct Audio {
    testing_support::Bytes file;
    std::string err;
};

Audio render(const TarqoBinFile& tape) {
    ScratchDir dir;
    testing::internal::CaptureStderr();
    {
        ConversionRun run;
        run.createAudioFile(tape, dir.file("t.wav"), 22050, 8, 1);
        run.finish();
    }
    Audio audio;
    audio.err = testing::internal::GetCapturedStderr();
    audio.file = readFile(dir.file("t.wav"));
    return audio;
}

}  // namespace

TEST(CanonicalText, BasicLinesStringsBarsKeywordsAndHexWithChar) {
    const std::vector<std::uint8_t> data = {
        0x0A, 0x00, 0x74, 0x22, 'H',  'I',  0x22, 0x0D,  // 10 PRINT "HI"
        0x14, 0x00, 0x5E, 0x22, 0x74, 0x22, 0x0D,        // 20 up arrow, "PRINT " in a string
        0x00, 0xFF, 0x3C, 0x00};                         // end of program, '<' and a zero
    TapeLoad load = makeLoad(1, data, 0x12, 2.5, 0.25, 0.5);
    load.setLoadNumber(7);
    const std::string body =
        "\t<NAME>T</NAME>\n"
        "\t<LOAD format=1 loadNumber=1 headerLength=2.500000 footerLength=0.250000 "
        "gapLength=0.500000 checkSum=0x12>\n"
        "\t\t<HEADER headerLength=2.500000></HEADER>\n"
        "\t\t<DATA length=19>\n"
        "\t\t\t<BASIC>\n"
        "\t\t\t\t<LINE number=  10>PRINT \"HI\"</LINE>\n"
        "\t\t\t\t<LINE number=  20>|up_arrow|\"|PRINT |\"</LINE>\n"
        "\t\t\t</BASIC>\n"
        "\t\t\t<HEX address=0011>3c 00 00 " +
        std::string(13 * 3, ' ') +
        "<CHAR><..</CHAR></HEX>\n"
        "\t\t</DATA>\n"
        "\t\t<FOOTER footerLength=0.250000></FOOTER>\n"
        "\t\t<GAP gapLength=0.500000></GAP>\n"
        "\t</LOAD>\n"
        "</TARQO>";
    const WrittenTape written = writeTape({load}, TapeLayout::text, "T");
    EXPECT_EQ(written.bytes, textRoot(1, body.size()) + body);
    EXPECT_TRUE(written.warnings.empty());
}

TEST(CanonicalText, ZeroRunsAreLeftOutAndNoNameNoGap) {
    std::vector<std::uint8_t> data(42, 0);
    data[0] = 0x01;
    data[41] = 'A';
    const std::string body =
        "\t<LOAD format=2 loadNumber=1 headerLength=1.000000 footerLength=0.250000 "
        "checkSum=0x00>\n"
        "\t\t<HEADER headerLength=1.000000></HEADER>\n"
        "\t\t<DATA length=42>\n"
        "\t\t\t<HEX address=0000>01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
        "<CHAR>................</CHAR></HEX>\n"
        "\t\t\t<HEX address=0029>41 " +
        std::string(15 * 3, ' ') +
        "<CHAR>A</CHAR></HEX>\n"
        "\t\t</DATA>\n"
        "\t\t<FOOTER footerLength=0.250000></FOOTER>\n"
        "\t\t<GAP gapLength=0.000000></GAP>\n"
        "\t</LOAD>\n"
        "</TARQO>";
    EXPECT_EQ(writeTape({makeLoad(2, data)}, TapeLayout::text).bytes,
              textRoot(1, body.size()) + body);
}

TEST(CanonicalText, LongLinesBreakOutsideStringsAndKeywordLettersFallBackToHex) {
    // Sixty PRINT keywords: 33 forms of six characters fit in 200, then a break.
    std::vector<std::uint8_t> program = {0x0A, 0x00};
    program.insert(program.end(), 60, 0x74);
    program.insert(program.end(), {0x0D, 0x00, 0xFF});
    const std::string text = writeTape({makeLoad(1, program)}, TapeLayout::text).bytes;
    std::string line;
    for (int i = 0; i < 33; ++i)
        line += "PRINT ";
    line += "<BR>\n\t\t\t\t</BR>";
    for (int i = 0; i < 27; ++i)
        line += "PRINT ";
    EXPECT_NE(text.find("<LINE number=  10>" + line + "</LINE>"), std::string::npos) << text;
    EXPECT_EQ(readTape(text)->loads.front().byteAt(61), 0x74);

    // The letters P R I N T and a blank would read back as the keyword byte.
    const std::vector<std::uint8_t> letters = {0x0A, 0x00, 'P', 'R',  'I',  'N',
                                               'T',  ' ',  'X', 0x0D, 0x00, 0xFF};
    const std::string hex = writeTape({makeLoad(1, letters)}, TapeLayout::text).bytes;
    EXPECT_EQ(hex.find("<BASIC>"), std::string::npos);
    EXPECT_NE(hex.find("<HEX address=0000>0a 00 50 52 49 4e 54 20 58 0d 00 ff "),
              std::string::npos);
    const auto tape = readTape(hex);
    const TapeLoad& back = tape->loads.front();
    for (std::size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(back.byteAt(static_cast<long>(i)), letters[i]) << i;
    }
}

TEST(CanonicalBinary, OddLengthKeepsItsPadByteAndSecondsPairs) {
    const TapeLoad load = makeLoad(3, {0x12, 0x56, 0x34, 0x99}, 0, 2.29, 0.25, 0.0);
    TapeLoad odd = load;
    odd.setLength(3);
    using namespace std::string_literals;
    const std::string body = "<NAME>B</NAME><LOAD format=3>\x01<HEADER>\x02\x1d</HEADER><DATA>"s +
                             "\x03\x00\x12\x56\x34\x99</DATA><FOOTER>\x00\x19</FOOTER>"s +
                             "<GAP>\x00\x00</GAP></LOAD></TARQO>"s;
    const std::size_t total = 16 + 5 + body.size();
    const std::string expected =
        "<TARQO format=1>\x01"s + static_cast<char>(total) + "\x00\x00\x00"s + body;
    EXPECT_EQ(writeTape({odd}, TapeLayout::binary, "B").bytes, expected);
}

TEST(TapeWriterWarnings, WhatALayoutCannotHoldIsNamedPerLoad) {
    // A binary load whose right checksum is followed by the filler 0x00: the text layout
    // always sends 0xff there.
    std::uint8_t a = 0, b = 0;
    interleavePair(reverseBits(0x5A), reverseBits(0x00), a, b);
    const WrittenTape text = writeTape({makeLoad(3, {a, b})}, TapeLayout::text);
    TapeLoad one = makeLoad(3, {a, b});
    one.setLength(1);
    EXPECT_EQ(writeTape({one}, TapeLayout::text).warnings,
              std::vector<std::string>{"load 1: filler 0x00 written as 0xff"});

    const WrittenTape pairs =
        writeTape({makeLoad(1, {1}, 0, 0.255, 300.0, 0.5)}, TapeLayout::binary);
    EXPECT_EQ(pairs.warnings,
              std::vector<std::string>{"load 1: header length 0.255 s written as 0.25 s; "
                                       "footer length 300 s written as 255.99 s"});
    EXPECT_EQ(writeTape({makeLoad(1, {1}, 0, 0.1234567)}, TapeLayout::text).warnings,
              std::vector<std::string>{"load 1: header length 0.1234567 s written as 0.123457 s"});

    // A gap too short for six decimals reads back as none, and is written as none: what was
    // read is written to the same bytes again.
    const WrittenTape tiny = writeTape({makeLoad(2, {1}, 0, 1.0, 0.25, 2e-7)}, TapeLayout::text);
    EXPECT_EQ(tiny.bytes, writeTape({makeLoad(2, {1}, 0, 1.0, 0.25, 0.0)}, TapeLayout::text).bytes);
    EXPECT_EQ(tiny.warnings,
              std::vector<std::string>{"load 1: gap length 2e-07 s written as 0.000000 s"});

    TapeLoad full = makeLoad(1, {});
    full.setLength(8192);
    try {
        writeTape({makeLoad(1, {}), full}, TapeLayout::binary);
        ADD_FAILURE() << "a load of 8193 characters was written";
    } catch (const TapeWriteError& error) {
        EXPECT_STREQ(error.what(), "load 2: 8193 characters, more than a binary load holds (8192)");
    }
}

// Generated tapes of all three formats, with programs, wrong checksums and odd lengths.
TEST(TapeWriterRoundTrip, GeneratedTapesReadBackConvertToThemselvesAndSendTheSameSignal) {
    std::mt19937 random(20261208);
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const std::vector<std::uint8_t> forms = {'A',  'Z',  '1',  ' ',  '"', '=',  '<', 0x74,
                                             0x6E, 0x5E, 0x1F, 0x62, 200, 0x7C, 'P', 0x00};
    int basicLoads = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<TapeLoad> loads;
        const int count = pick(1, 3);
        for (int i = 0; i < count; ++i) {
            const int format = pick(1, 3);
            std::vector<std::uint8_t> data;
            if (format != 3 && pick(0, 2) == 0) {
                for (int line = pick(1, 5); line > 0; --line) {
                    const int number = pick(0, 65000);
                    data.push_back(static_cast<std::uint8_t>(number & 0xFF));
                    data.push_back(static_cast<std::uint8_t>(number >> 8));
                    for (int code = pick(0, 12); code > 0; --code) {
                        data.push_back(forms[static_cast<std::size_t>(pick(0, 15))]);
                    }
                    data.push_back(0x0D);
                }
                data.insert(data.end(), {0x00, 0xFF});
            }
            for (int extra = pick(format == 3 ? 1 : 0, pick(0, 1) ? 40 : 400); extra > 0; --extra) {
                data.push_back(static_cast<std::uint8_t>(pick(0, 3) == 0 ? 0 : pick(0, 255)));
            }
            loads.push_back(makeLoad(format, data, pick(0, 255), pick(0, 100) / 100.0,
                                     pick(0, 60) / 100.0,
                                     pick(0, 3) == 0 ? pick(1, 30) / 100.0 : 0));
        }
        TarqoBinFile original;
        original.setName("GEN " + std::to_string(round));
        original.loads.assign(loads.begin(), loads.end());
        const Audio expected = render(original);
        for (const TapeLayout layout : {TapeLayout::text, TapeLayout::binary}) {
            SCOPED_TRACE("round " + std::to_string(round) +
                         (layout == TapeLayout::text ? " text" : " binary"));
            const WrittenTape written = TapeWriter(original).write(original, layout);
            const auto back = readTape(written.bytes);
            ASSERT_EQ(back->loads.size(), loads.size());
            EXPECT_EQ(back->getName(), original.getName());
            EXPECT_EQ(TapeWriter(*back).write(*back, layout).bytes, written.bytes);
            basicLoads +=
                static_cast<int>(std::count(written.bytes.begin(), written.bytes.end(), '\t') > 0 &&
                                 written.bytes.find("<BASIC>") != std::string::npos);
            if (written.warnings.empty()) {
                const Audio converted = render(*back);
                EXPECT_TRUE(converted.file == expected.file);
                EXPECT_EQ(converted.err, expected.err);
            }
            for (std::size_t i = 0; i < loads.size(); ++i) {
                const TapeLoad& in = loads[i];
                const TapeLoad& out = back->loads[i];
                EXPECT_NEAR(out.getHeaderLength(), in.getHeaderLength(), 1e-9);
                EXPECT_NEAR(out.getGapLength(), in.getGapLength(), 1e-9);
                const bool sameFormat = (in.getFormat() == 3) == (layout == TapeLayout::binary);
                if (sameFormat) {
                    EXPECT_EQ(out.getFormat(), in.getFormat());
                    EXPECT_EQ(out.getLength(), in.getLength());
                    if (in.getFormat() != 3) {  // a binary load holds its checksum in its data
                        EXPECT_EQ(out.getCheckSum(), in.getCheckSum());
                    }
                    const int extent = in.getLength() + in.getLength() % 2;
                    for (int k = 0; k < extent; ++k) {
                        ASSERT_EQ(out.byteAt(k), in.byteAt(k)) << "load " << i << " byte " << k;
                    }
                }
            }
        }
    }
    EXPECT_GT(basicLoads, 20);  // the generator does reach the BASIC form
}
