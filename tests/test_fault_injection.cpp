// SPDX-License-Identifier: MIT
// Faults from outside, seen from the command line: a full or missing output device, folders
// where files should be, inputs cut short, very many loads, absurd lengths, names at their
// limit and bitmaps with absurd sizes. Every run must end with status 0 or 1 and its message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/bitmap_writer.h"
#include "tests/signal_decoder.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

const std::string tooLarge = "Audio file would reach 2 GB, more than a .wav file can hold\n";
const std::string cutShort = "Unexpected end of input reached\n";

// One format-1 load holding "AB" with its right checksum.
const std::string smallTape =
    "<TARQO format=2 loadCount=1>\n"
    "<LOAD format=1 loadNumber=1 checkSum=0xd7>\n"
    "<HEADER headerLength=1.0></HEADER>\n"
    "<DATA length=2><HEX address=0000>41 42 </HEX></DATA>\n"
    "</LOAD>\n</TARQO>\n";

// Under valgrind every run of the tool takes about a second instead of milliseconds, so the
// loops over many runs take fewer samples there.
bool underRunner() {
    const char* runner = std::getenv("KELVANTO_RUNNER");
    return runner != nullptr && *runner != '\0';
}

std::string loadWithLengths(const std::string& attributes, const std::string& children = "") {
    return "<LOAD format=1 loadNumber=1 checkSum=0xd7 " + attributes + ">" + children +
           "<DATA length=2><HEX address=0000>41 42 </HEX></DATA></LOAD>\n";
}

std::string tapeOf(const std::string& loads) {
    return "<TARQO format=2>\n" + loads + "</TARQO>\n";
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace

TEST(FaultInjection, AFullDeviceIsReportedOnceWhereverTheWriteFails) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    std::filesystem::create_symlink("/dev/full", dir.path() / "full.wav");
    // A few KB fail when the finished file is flushed; 16-bit stereo at 44100 with a 12 s
    // header fills the write block twice, which then fails in the middle of the run.
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-v0"}, {"-v0", "-b16", "-c2", "-k44100", "-h12"}}) {
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"-w", "full", "game.bml"});
        const auto run = runKelvanto(arguments, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "Can not write to .wav file\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(FaultInjection, OutputThatCannotBeCreated) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    // A regular file used as a folder fails for every user, root included.
    writeFile(dir.file("plain.txt"), std::string("not a folder"));
    auto run = runKelvanto({"-v0", "-w", "plain.txt/out", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open plain.txt/out.wav\n");

    run = runKelvanto({"-v0", "-w", "missing/out", "game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open missing/out.wav\n");

    // A folder without write permission stops everyone but root, who ignores the bits.
    std::filesystem::create_directory(dir.path() / "locked");
    std::filesystem::permissions(dir.path() / "locked", std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::owner_exec);
    if (::geteuid() != 0) {
        run = runKelvanto({"-v0", "-w", "locked/out", "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "Unable to open locked/out.wav\n");
    }

    // The derived name taken by a folder.
    std::filesystem::create_directory(dir.path() / "game.wav");
    run = runKelvanto({"game.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open game.wav\n");
    EXPECT_EQ(run.out.find("Successfully"), std::string::npos);
}

TEST(FaultInjection, InputsThatAreNoTapeFiles) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "folder.bml");
    auto run = runKelvanto({"-v0", "folder.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open folder.bml\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "folder.wav"));

    // An empty input ends before its first tag.
    writeFile(dir.file("empty.bml"), std::string());
    run = runKelvanto({"-v0", "-w", "empty", "empty.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, cutShort);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "empty.wav"));

    // A device is no tape file, even one that reads as empty.
    run = runKelvanto({"-v0", "-w", "empty", "/dev/null"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to open /dev/null\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "empty.wav"));
}

namespace {

// Cuts an example at many positions: every one of the first 300 bytes, then every 37th. Each
// cut must end with status 1 and its message, and the whole file last converts. A build
// with AddressSanitizer starts the tool about twenty times slower and takes every fourth of
// those positions; valgrind, a hundred times slower, a few dozen in all.
void expectEveryCutRefused(const std::string& example) {
#if defined(__SANITIZE_ADDRESS__)
    const std::size_t slowdown = 4;
#else
    const std::size_t slowdown = 1;
#endif
    const std::size_t nearStep = underRunner() ? 61 : slowdown;
    const std::size_t farStep = underRunner() ? 4001 : 37 * slowdown;
    ScratchDir dir;
    const Bytes whole = readFile(sourcePath("examples/" + example));
    ASSERT_GT(whole.size(), 300u) << example;
    for (std::size_t size = 0; size < whole.size(); size += size < 300 ? nearStep : farStep) {
        writeFile(dir.file("cut.bin"), Bytes(whole.begin(), whole.begin() + size));
        const auto run = runKelvanto({"-v0", "-w", "cut", "cut.bin"}, dir.path());
        ASSERT_EQ(run.status, 1) << example << " cut to " << size << " bytes: " << run.err;
        ASSERT_EQ(run.err, cutShort) << example << " cut to " << size << " bytes";
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(std::filesystem::exists(dir.path() / "cut.wav"));
    }
    writeFile(dir.file("cut.bin"), whole);
    const auto run = runKelvanto({"-v0", "-w", "cut", "cut.bin"}, dir.path());
    EXPECT_EQ(run.status, 0) << example;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "cut.wav"));
}

}  // namespace

TEST(FaultInjection, BasicExampleCutShortEndsWithAMessage) {
    expectEveryCutRefused("basic.bml");
}

TEST(FaultInjection, ScreenExampleCutShortEndsWithAMessage) {
    expectEveryCutRefused("screen.bml");
}

TEST(FaultInjection, BinaryExampleCutShortEndsWithAMessage) {
    expectEveryCutRefused("tape.bin");
}

TEST(FaultInjection, TwoThousandLoadsAllReachTheTape) {
    constexpr int loadCount = 2000;
    ScratchDir dir;
    std::string loads;
    for (int i = 0; i < loadCount; ++i) {
        // Short tones keep the file small; each load holds "AB" and its checksum.
        loads +=
            loadWithLengths("headerLength=0.01 footerLength=0.01", "<GAP gapLength=0.001></GAP>");
    }
    writeFile(dir.file("many.bml"), tapeOf(loads));
    const auto run = runKelvanto({"-c1", "many.bml"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(countOf(run.out, "    Checksum d7 is OK!\n"), static_cast<std::size_t>(loadCount));
    EXPECT_NE(run.out.find("  Processing load 2000\n"), std::string::npos);
    EXPECT_EQ(run.out.find("  Processing load 2001\n"), std::string::npos);

    // The receiver finds 2000 loads of one pair: 'A', 'B', then the checksum and its filler.
    const auto wav = testing_support::decodeWav(readFile(dir.file("many.wav")));
    const auto received = testing_support::receiveLoads(wav, std::vector<int>(loadCount, 2));
    ASSERT_EQ(received.size(), static_cast<std::size_t>(loadCount));
    for (const auto& load : {received.front(), received.back()}) {
        EXPECT_EQ(load.syncCharacter, 0xA5);
        EXPECT_EQ(load.characters, (std::vector<int>{0x41, 0x42, 0xD7, 0xFF}));
    }
}

TEST(FaultInjection, HugeLengthsInTheMarkupAreRefusedBeforeWriting) {
    ScratchDir dir;
    // Each on its own, in the LOAD tag or in the elements that set them. The markup has no
    // word for infinity ("inf" reads as 0), but a number past the largest double is one.
    const std::vector<std::string> huge = {
        loadWithLengths("headerLength=1e9"),
        loadWithLengths("", "<FOOTER footerLength=1e309></FOOTER>"),
        loadWithLengths("gapLength=1e300"),
        loadWithLengths("", "<GAP gapLength=2e308></GAP>"),
        loadWithLengths("", "<HEADER headerLength=1e999999></HEADER>"),
    };
    for (const std::string& load : huge) {
        writeFile(dir.file("huge.bml"), tapeOf(load));
        const auto run = runKelvanto({"-v0", "huge.bml"}, dir.path());
        EXPECT_EQ(run.status, 1) << load;
        EXPECT_EQ(run.err, tooLarge) << load;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "huge.wav")) << load;
    }
    // 30 hours of gaps, one hour a load: every load fits, the sum does not, and it must not
    // wrap around to a small size in 32 bits.
    std::string loads;
    for (int i = 0; i < 30; ++i) {
        loads += loadWithLengths("", "<GAP gapLength=3600></GAP>");
    }
    writeFile(dir.file("long.bml"), tapeOf(loads));
    auto run = runKelvanto({"-v0", "long.bml"}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, tooLarge);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "long.wav"));

    // Negative and minus infinite lengths write nothing.
    writeFile(
        dir.file("none.bml"),
        tapeOf(loadWithLengths("headerLength=-1e300",
                               "<FOOTER footerLength=-1e309></FOOTER><GAP gapLength=-5></GAP>")));
    run = runKelvanto({"-v0", "none.bml"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const auto received = testing_support::receiveLoads(
        testing_support::decodeWav(readFile(dir.file("none.wav"))), {2});
    EXPECT_EQ(received.at(0).headerCycles, 0);
    EXPECT_EQ(received.at(0).footerCycles, 0);
}

TEST(FaultInjection, HugeLengthsOnTheCommandLineNeverWrap) {
    ScratchDir dir;
    writeFile(dir.file("game.bml"), smallTape);
    // 97400 s at 44100 bytes a second is 2^32 bytes and a few hundred KB: a size kept in 32
    // bits would look small; 48700 s is just past 2^31. Overrides reach the loads through
    // their HEADER, FOOTER and GAP elements, and the gap override binary loads only.
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{"-h", "97400", "game.bml"},
                                               {"-h", "48700", "game.bml"},
                                               {"-f", "1e18", sourcePath("examples/tape.bin")},
                                               {"-g", "97400", sourcePath("examples/tape.bin")},
                                               {"-g", "inf", sourcePath("examples/tape.bin")}}) {
        std::vector<std::string> arguments = {"-v0", "-w", "out"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const auto run = runKelvanto(arguments, dir.path());
        EXPECT_EQ(run.status, 1) << options[0] << " " << options[1];
        EXPECT_EQ(run.err, tooLarge) << options[0] << " " << options[1];
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.wav"));
    }
    // A negative override is no override; minus infinity neither.
    for (const char* value : {"-inf", "-1e300"}) {
        const auto run = runKelvanto({"-v0", "-h", value, "-w", "out", "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 0) << value;
        EXPECT_EQ(run.err, "") << value;
    }
}

TEST(FaultInjection, NamesOf255AndOf256Characters) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "d");
    writeFile(dir.file("game.bml"), smallTape);
    // A -w name with its folder: 255 characters with ".wav" are accepted, whether the
    // extension is given or added; 256 are not.
    const std::string stem249 = "d/" + std::string(247, 'w');
    for (const std::string& name : {stem249 + "aa.wav", stem249 + "bb"}) {
        const auto run = runKelvanto({"-v0", "-w", name, "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (stem249 + "aa.wav")));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (stem249 + "bb.wav")));
    for (const std::string& name : {stem249 + "ccc.wav", stem249 + "ccc", stem249 + "cccc"}) {
        const auto run = runKelvanto({"-v0", "-w", name, "game.bml"}, dir.path());
        EXPECT_EQ(run.status, 1) << name.size();
        EXPECT_EQ(run.err, "Invalid output .wav filename\n") << name.size();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "d"),
                            std::filesystem::directory_iterator()),
              2);

    // A name derived from the input: d/ and 249 characters and ".bml" give a 255-character
    // audio name; one character more gives 256.
    const std::string input255 = "d/" + std::string(249, 'i') + ".bml";
    writeFile(dir.file(input255), smallTape);
    auto run = runKelvanto({"-v0", input255}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / ("d/" + std::string(249, 'i') + ".wav")));
    const std::string input256 = "d/" + std::string(250, 'i') + ".bml";
    writeFile(dir.file(input256), smallTape);
    run = runKelvanto({"-v0", input256}, dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Invalid output .wav filename\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / ("d/" + std::string(250, 'i') + ".wav")));

    // A screen bitmap name of 255 characters is taken (and then looked for).
    const std::string bitmap = std::string(251, 'b') + ".bmp";
    run = runKelvanto({"-v0", "-s", bitmap, "-w", "screen", sourcePath("examples/screen.bml")},
                      dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to load bitmap " + bitmap + "\n");
}

TEST(FaultInjection, BitmapsWithAbsurdSizesAreRefused) {
    using testing_support::putLittleEndian;
    using testing_support::bmp_field::kBits;
    using testing_support::bmp_field::kHeight;
    using testing_support::bmp_field::kPixelOffset;
    using testing_support::bmp_field::kWidth;
    ScratchDir dir;
    const Bytes screen = testing_support::makeBitmap(160, 90, 1, [](int, int) { return 0u; });
    struct Field {
        std::size_t offset;
        std::uint32_t value;
        int size;
    };
    const std::vector<std::vector<Field>> absurd = {
        {{kWidth, 0x7FFFFFFF, 4}},
        {{kHeight, 0x7FFFFFFF, 4}},
        {{kWidth, 0xFFFFFF60, 4}, {kHeight, 0xFFFFFFA6, 4}},  // -160 x -90
        {{kWidth, 0, 4}, {kHeight, 0, 4}},
        {{kWidth, 65535, 4}, {kHeight, 65535, 4}, {kBits, 24, 2}},
        {{kBits, 0xFFFF, 2}},
        {{kPixelOffset, 0xFFFFFFFF, 4}},
    };
    int number = 0;
    for (const auto& fields : absurd) {
        Bytes bitmap = screen;
        for (const Field& field : fields) {
            putLittleEndian(bitmap, field.offset, field.value, field.size);
        }
        const std::string name = "absurd" + std::to_string(++number) + ".bmp";
        writeFile(dir.file(name), bitmap);
        const auto run = runKelvanto(
            {"-v0", "-s", name, "-w", "screen", sourcePath("examples/screen.bml")}, dir.path());
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, "Unable to load bitmap " + name + "\n");
        EXPECT_NE(run.out.find("IPL_ERROR: CImage::Load(\"" + name + "\") Failed loading image"),
                  std::string::npos)
            << run.out;
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "screen.wav"));
    }

    // A greymap claiming 10^8 x 10^8 pixels, and a folder named like a bitmap.
    writeFile(dir.file("huge.pgm"), std::string("P5 99999999 99999999 255\n"));
    std::filesystem::create_directory(dir.path() / "folder.bmp");
    for (const std::string name : {"huge.pgm", "folder.bmp"}) {
        const auto run = runKelvanto(
            {"-v0", "-s", name, "-w", "screen", sourcePath("examples/screen.bml")}, dir.path());
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, "Unable to load bitmap " + name + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "screen.wav"));
    }

    // One unlit pixel: every other position of the screen is reported and counts as lit, so
    // the tape is the one of a full-size picture with only its first pixel unlit.
    writeFile(dir.file("one.bmp"),
              testing_support::makeBitmap(1, 1, 1, [](int, int) { return 1u; }));
    writeFile(dir.file("full.bmp"), testing_support::makeBitmap(160, 90, 1, [](int x, int y) {
                  return x == 0 && y == 0 ? 1u : 0u;
              }));
    const auto one = runKelvanto(
        {"-v0", "-s", "one.bmp", "-w", "one", sourcePath("examples/screen.bml")}, dir.path());
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(countOf(one.out, ") Outside image and border"), 160u * 90u - 1u);
    const auto full = runKelvanto(
        {"-v0", "-s", "full.bmp", "-w", "full", sourcePath("examples/screen.bml")}, dir.path());
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(countOf(full.out, ") Outside image and border"), 0u);
    EXPECT_EQ(one.err, full.err);
    EXPECT_TRUE(readFile(dir.file("one.wav")) == readFile(dir.file("full.wav")));
}
