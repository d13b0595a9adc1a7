// SPDX-License-Identifier: MIT
// The tape image input: regular files read whole, folders, FIFOs and devices refused at once,
// the size bound at its edge, and reading from memory with the reader's look-ahead.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "tape/input_file.h"
#include "tape/tarqo_bin_file.h"
#include "tests/support.h"

namespace {

using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::writeFile;

[[maybe_unused]] ::testing::Environment* const scratchWorkingDir =
    ::testing::AddGlobalTestEnvironment(new testing_support::ScratchWorkingDir);

// A reader that blocks instead of refusing would hang the test: the alarm ends it loudly.
class NoHang {
  public:
    NoHang() { ::alarm(20); }
    ~NoHang() { ::alarm(0); }
};

void makeSparseFile(const std::string& path, std::uintmax_t size) {
    writeFile(path, std::string());
    std::filesystem::resize_file(path, size);
}

TEST(InputFile, RegularFilesAreReadWholeAndExactly) {
    ScratchDir dir;
    std::string bytes;
    for (int i = 0; i < 200000; ++i) {
        bytes.push_back(static_cast<char>(i * 7 % 256));
    }
    writeFile(dir.file("tape.bin"), bytes);
    const InputFile input = readInputFile(dir.file("tape.bin"), bytes.size());
    EXPECT_EQ(input.status, InputFile::Status::read);
    EXPECT_EQ(input.bytes, bytes);

    writeFile(dir.file("empty.bml"), std::string());
    const InputFile empty = readInputFile(dir.file("empty.bml"), 10);
    EXPECT_EQ(empty.status, InputFile::Status::read);
    EXPECT_EQ(empty.bytes, "");
}

TEST(InputFile, TheBoundIsInclusive) {
    ScratchDir dir;
    writeFile(dir.file("ten"), std::string("0123456789"));
    EXPECT_EQ(readInputFile(dir.file("ten"), 10).status, InputFile::Status::read);
    const InputFile refused = readInputFile(dir.file("ten"), 9);
    EXPECT_EQ(refused.status, InputFile::Status::tooLarge);
    EXPECT_EQ(refused.bytes, "");
}

TEST(InputFile, FoldersFifosAndDevicesAreRefusedWithoutBlocking) {
    const NoHang guard;
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.bml").c_str(), 0600), 0);
    EXPECT_EQ(readInputFile(dir.file("pipe.bml"), 100).status, InputFile::Status::unableToOpen);
    EXPECT_EQ(readInputFile(dir.path().string(), 100).status, InputFile::Status::unableToOpen);
    EXPECT_EQ(readInputFile("/dev/zero", 100).status, InputFile::Status::unableToOpen);
    EXPECT_EQ(readInputFile(dir.file("missing.bml"), 100).status, InputFile::Status::unableToOpen);
}

TEST(TapeInput, TheToolRefusesFifosAndDevicesAsUnopenable) {
    const NoHang guard;
    ScratchDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.bml").c_str(), 0600), 0);
    for (const std::string name : {"pipe.bml", "/dev/zero", "/dev/null"}) {
        const auto run = runKelvanto({"-v0", "-w", "out", name}, dir.path());
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.err, "Unable to open " + name + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.wav")) << name;
    }
}

TEST(TapeInput, ImagesAbove64MegabytesAreRefused) {
    ScratchDir dir;
    TarqoBinFile tape;
    // Exactly at the bound the image is read: 64 MB of zero bytes hold no tag.
    const std::string atBound = dir.file("at.bml");
    makeSparseFile(atBound, TarqoBinFile::maxInputSize);
    EXPECT_THROW(tape.open(atBound, "r", 0), Error::endOfFile);

    const std::string above = dir.file("above.bml");
    makeSparseFile(above, TarqoBinFile::maxInputSize + 1);
    EXPECT_FATAL(tape.open(above, "r", 0),
                 "Tape image " + above + " is larger than 67108864 bytes\n");
}

TEST(TapeInput, MemoryAndStreamReadTheSameLoads) {
    const std::string image =
        "<TARQO format=2>\n<LOAD format=1 loadNumber=3>\n<DATA length=12>\n"
        "<BASIC><LINE number=10>A<<B<</LINE></BASIC>\n"
        "<HEX address=000a>41 42 <CHAR>A<</CHAR></HEX>\n</DATA>\n</LOAD>\n</TARQO>";
    TarqoBinFile fromMemory;
    fromMemory.read(std::string_view(image), 0);
    std::istringstream stream(image);
    TarqoBinFile fromStream;
    fromStream.read(stream, 0);
    ASSERT_EQ(fromMemory.loads.size(), 1u);
    ASSERT_EQ(fromStream.loads.size(), 1u);
    std::string data;
    std::string streamed;
    for (long i = 0; i < 8192; ++i) {
        data.push_back(static_cast<char>(fromMemory.loads[0].byteAt(i)));
        streamed.push_back(static_cast<char>(fromStream.loads[0].byteAt(i)));
    }
    // Line 10 (number, A<<B<, carriage return), the end of the program, then the HEX bytes.
    EXPECT_EQ(data.substr(0, 13), std::string("\x0A\x00"
                                              "A<<B<\x0D\x00\xFF"
                                              "AB",
                                              13));
    EXPECT_EQ(data, streamed);
    EXPECT_EQ(fromMemory.loads[0].getLoadNumber(), 3);
}

TEST(TapeInput, ABracketAtTheEndOfTheInputEndsWithEndOfFile) {
    const std::string start =
        "<TARQO format=2>\n<LOAD format=1 loadNumber=1>\n<DATA length=4>\n"
        "<BASIC><LINE number=10>A<";
    for (const std::string tail : {"", "/LIN", "BR", "BR>x"}) {
        TarqoBinFile tape;
        EXPECT_THROW(tape.read(std::string_view(start + tail), 0), Error::endOfFile) << tail;
    }
}

}  // namespace
