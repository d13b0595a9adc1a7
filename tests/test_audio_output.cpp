// SPDX-License-Identifier: MIT
// The audio file on disk, seen from the command line: never over the input, never cut short,
// an earlier file kept whole until the new one is complete, whatever ends the run (a full
// disk, SIGINT, SIGTERM, SIGHUP, SIGKILL, no memory), and FIFOs, devices and links handled
// without a hang.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/child_process.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::Child;
using testing_support::ChildSetup;
using testing_support::hiddenFiles;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::waitFor;
using testing_support::writeFile;

namespace {

// One format-1 load holding "AB" with its right checksum.
const std::string smallTape =
    "<TARQO format=2 loadCount=1>\n"
    "<LOAD format=1 loadNumber=1 checkSum=0xd7>\n"
    "<HEADER headerLength=1.0></HEADER>\n"
    "<DATA length=2><HEX address=0000>41 42 </HEX></DATA>\n"
    "</LOAD>\n</TARQO>\n";

// 3000 short binary loads: at verbosity 1 each prints its line, far more than a small pipe
// holds, so a child whose output is not read waits mid-run with its audio file half written.
// (Binary loads leave no screen files, whose rewriting would take most of the time.)
std::string manyLoads() {
    const std::string hundredth = std::string(1, '\0') + '\x01';
    std::string text = "<TARQO format=1>" + std::string(5, '\0');
    for (int i = 0; i < 3000; ++i) {
        text += "<LOAD format=3>\x01<HEADER>" + hundredth + "</HEADER><FOOTER>" + hundredth +
                "</FOOTER><DATA>\x02" + std::string(1, '\0') + "AB</DATA></LOAD>\n";
    }
    return text + "</TARQO>\n";
}

const std::string earlier = "an earlier recording that must survive";

// A folder with the two tapes and an earlier out.wav.
struct Workshop {
    Workshop() {
        writeFile(dir.file("game.bml"), smallTape);
        writeFile(dir.file("many.bin"), manyLoads());
        writeFile(dir.file("out.wav"), earlier);
    }
    std::string text(const std::string& name) const {
        const Bytes bytes = readFile(dir.file(name));
        return std::string(bytes.begin(), bytes.end());
    }
    ScratchDir dir;
};

ChildSetup blockedOutput(const ScratchDir& dir) {
    ChildSetup setup;
    setup.workDir = dir.path().string();
    setup.pipeSize = 4096;
    return setup;
}

}  // namespace

TEST(AudioOutput, AFileThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
    Workshop shop;
    writeFile(shop.dir.file("tape.wav"), smallTape);
    std::filesystem::create_symlink("tape.wav", shop.dir.path() / "link.wav");
    std::filesystem::create_hard_link(shop.dir.path() / "tape.wav", shop.dir.path() / "hard.wav");
    for (const auto& [options, named] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"-w", "tape.wav"}, "tape.wav"},
             {{"-v0", "-w", "tape"}, "tape.wav"},
             {{"-v0", "-w", "link"}, "link.wav"},
             {{"-v0", "-w", "hard.wav"}, "hard.wav"}}) {
        std::vector<std::string> arguments = options;
        arguments.push_back("tape.wav");
        const auto run = runKelvanto(arguments, shop.dir.path());
        EXPECT_EQ(run.status, 1) << named;
        EXPECT_EQ(run.err, "Input and output are the same file " + named + "\n");
        EXPECT_EQ(shop.text("tape.wav"), smallTape) << named;
        EXPECT_TRUE(hiddenFiles(shop.dir.path()).empty()) << named;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(shop.dir.path() / "link.wav"));
}

TEST(AudioOutput, AScreenFileNeverReplacesTheInput) {
    ScratchDir dir;
    const Bytes example = readFile(sourcePath("examples/basic.bml"));
    writeFile(dir.file("reference.bml"), example);
    ASSERT_EQ(runKelvanto({"-v0", "reference.bml"}, dir.path()).status, 0);
    const Bytes picture = readFile(dir.file("screen_1.txt"));
    ASSERT_EQ(picture.size(), 102u * 161u);

    // The example's load is number 1: its screen file would be the input itself.
    std::filesystem::remove(dir.path() / "screen_1.txt");
    writeFile(dir.file("screen_1.txt"), example);
    auto run = runKelvanto({"-v0", "screen_1.txt"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readFile(dir.file("screen_1.txt")) == example);
    EXPECT_TRUE(readFile(dir.file("screen_1.txt.wav")) == readFile(dir.file("reference.wav")));

    // Through a link, the same.
    std::filesystem::remove(dir.path() / "screen_1.txt");
    std::filesystem::create_symlink("reference.bml", dir.path() / "screen_1.txt");
    run = runKelvanto({"-v0", "-w", "linked", "reference.bml"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readFile(dir.file("reference.bml")) == example);

    // Any other file of that name is the diagnostic's own and is rewritten.
    std::filesystem::remove(dir.path() / "screen_1.txt");
    writeFile(dir.file("screen_1.txt"), std::string("old picture"));
    ASSERT_EQ(runKelvanto({"-v0", "reference.bml"}, dir.path()).status, 0);
    EXPECT_TRUE(readFile(dir.file("screen_1.txt")) == picture);
}

TEST(AudioOutput, FifosDevicesAndLinksAsTargets) {
    Workshop shop;
    ASSERT_EQ(::mkfifo(shop.dir.file("ff.wav").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(shop.dir.file("screen_1.txt").c_str(), 0644), 0);
    ChildSetup setup;
    setup.workDir = shop.dir.path().string();
    // Nobody reads the FIFO: refused at once, never waited on.
    Child fifo({"-v0", "-w", "ff", "game.bml"}, setup);
    auto run = fifo.finish(std::chrono::seconds(20));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Audio file ff.wav is not a regular file\n");
    EXPECT_TRUE(hiddenFiles(shop.dir.path()).empty());

    // A character device is written as it is; the screen file's FIFO is passed over. The
    // device is reached through a link (a name given as /dev/null would get ".wav" added and
    // leave a file in /dev).
    std::filesystem::create_symlink("/dev/null", shop.dir.path() / "null.wav");
    Child device({"-w", "null", "game.bml"}, setup);
    run = device.finish(std::chrono::seconds(20));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Successfully created .wav file null!\n"), std::string::npos);
    EXPECT_TRUE(hiddenFiles(shop.dir.path()).empty());
    EXPECT_TRUE(std::filesystem::is_symlink(shop.dir.path() / "null.wav"));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // A link stays a link; the file it leads to gets the recording.
    ASSERT_EQ(runKelvanto({"-v0", "-w", "direct", "game.bml"}, shop.dir.path()).status, 0);
    std::filesystem::create_directory(shop.dir.path() / "sub");
    std::filesystem::create_symlink("out.wav", shop.dir.path() / "sub" / "link.wav");
    std::filesystem::rename(shop.dir.path() / "out.wav", shop.dir.path() / "sub" / "out.wav");
    const auto linked = runKelvanto({"-v0", "-w", "sub/link", "game.bml"}, shop.dir.path());
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_TRUE(std::filesystem::is_symlink(shop.dir.path() / "sub" / "link.wav"));
    EXPECT_TRUE(readFile(shop.dir.file("sub/out.wav")) == readFile(shop.dir.file("direct.wav")));
    EXPECT_TRUE(hiddenFiles(shop.dir.path() / "sub").empty());
}

TEST(AudioOutput, AFullDiskLeavesTheEarlierFileWhole) {
    Workshop shop;
    ChildSetup setup;
    setup.workDir = shop.dir.path().string();
    // A file-size limit fails a write just as a full disk does: 16-bit stereo at 44100 with
    // a 3 s header is far past 64 KB, so the run fails in its middle.
    setup.fileSizeLimit = 64 * 1024;
    Child child({"-v0", "-b16", "-c2", "-k44100", "-h3", "-w", "out", "game.bml"}, setup);
    const auto run = child.finish();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Can not write to .wav file\n");
    EXPECT_EQ(shop.text("out.wav"), earlier);
    EXPECT_TRUE(hiddenFiles(shop.dir.path()).empty());
}

TEST(AudioOutput, ASignalLeavesTheEarlierFileWhole) {
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        Workshop shop;
        Child child({"-w", "out", "many.bin"}, blockedOutput(shop.dir));
        // The temporary file is there once the run writes audio; the full pipe holds it there.
        ASSERT_TRUE(waitFor([&] { return !hiddenFiles(shop.dir.path()).empty(); })) << number;
        child.signal(number);
        const auto run = child.finish();
        EXPECT_EQ(run.signal, number);
        EXPECT_EQ(shop.text("out.wav"), earlier) << number;
        const auto left = hiddenFiles(shop.dir.path());
        if (number == SIGKILL) {
            // Nothing can remove it then, but it is hidden and never the target's name.
            ASSERT_EQ(left.size(), 1u);
            EXPECT_EQ(left[0].rfind(".out.wav.", 0), 0u) << left[0];
        } else {
            EXPECT_TRUE(left.empty()) << number << ": " << left.front();
        }
    }
}

TEST(AudioOutput, TwoRunsAtOnceEachLeaveACompleteFile) {
    Workshop shop;
    ASSERT_EQ(runKelvanto({"-v0", "-c1", "-w", "mono", "many.bin"}, shop.dir.path()).status, 0);
    ASSERT_EQ(runKelvanto({"-v0", "-c2", "-w", "stereo", "many.bin"}, shop.dir.path()).status, 0);
    Child mono({"-c1", "-w", "out", "many.bin"}, blockedOutput(shop.dir));
    Child stereo({"-c2", "-w", "out", "many.bin"}, blockedOutput(shop.dir));
    // Both are half way, each in a temporary file of its own.
    ASSERT_TRUE(waitFor([&] { return hiddenFiles(shop.dir.path()).size() == 2; }));
    EXPECT_EQ(mono.finish().status, 0);
    EXPECT_EQ(stereo.finish().status, 0);
    const Bytes result = readFile(shop.dir.file("out.wav"));
    EXPECT_TRUE(result == readFile(shop.dir.file("mono.wav")) ||
                result == readFile(shop.dir.file("stereo.wav")));
    EXPECT_TRUE(hiddenFiles(shop.dir.path()).empty());
}

TEST(AudioOutput, TheFileGetsTheModeOfANewFile) {
    Workshop shop;
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{0}}) {
        // A new file each time: a file replaced keeps its own mode.
        std::filesystem::remove(shop.dir.path() / "out.wav");
        ChildSetup setup;
        setup.workDir = shop.dir.path().string();
        setup.umask = mask;
        Child child({"-v0", "-w", "out", "game.bml"}, setup);
        ASSERT_EQ(child.finish().status, 0);
        struct stat file {};
        ASSERT_EQ(::stat(shop.dir.file("out.wav").c_str(), &file), 0);
        EXPECT_EQ(file.st_mode & 07777, 0666 & ~mask) << mask;
    }
}

TEST(AudioOutput, AFailedStandardOutputIsReportedAfterTheFileIsComplete) {
    Workshop shop;
    ASSERT_EQ(runKelvanto({"-v0", "-w", "quiet", "game.bml"}, shop.dir.path()).status, 0);
    ChildSetup full;
    full.workDir = shop.dir.path().string();
    full.outputFile = "/dev/full";
    ChildSetup closed;
    closed.workDir = shop.dir.path().string();
    closed.closeOutput = true;
    for (const ChildSetup& setup : {full, closed}) {
        std::filesystem::remove(shop.dir.path() / "out.wav");
        Child child({"-w", "out", "game.bml"}, setup);
        const auto run = child.finish();
        EXPECT_EQ(run.status, 1) << setup.outputFile;
        EXPECT_EQ(run.err, "Can not write to standard output\n");
        EXPECT_TRUE(readFile(shop.dir.file("out.wav")) == readFile(shop.dir.file("quiet.wav")));
    }
    // Silent runs write nothing there, so nothing can fail.
    Child silent({"-v0", "-w", "out", "game.bml"}, full);
    EXPECT_EQ(silent.finish().status, 0);
}

TEST(AudioOutput, RunningOutOfMemoryEndsWithAMessageAndKeepsTheEarlierFile) {
    if (!testing_support::memoryIsMeasurable()) {
        GTEST_SKIP() << "an address space limit breaks a sanitizer or valgrind";
    }
    ScratchDir dir;
    std::string loads = "<TARQO format=2>";
    for (int i = 0; i < 1000000; ++i) {
        loads += "<LOAD format=1></LOAD>";
    }
    writeFile(dir.file("loads.bml"), loads + "</TARQO>");  // 22 MB, about 100 MB of loads
    writeFile(dir.file("loads.wav"), std::string("earlier"));
    ChildSetup setup;
    setup.workDir = dir.path().string();
    setup.addressSpaceLimit = 64 << 20;
    Child child({"-v0", "loads.bml"}, setup);
    const auto run = child.finish();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Out of memory\n");
    const auto kept = readFile(dir.file("loads.wav"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier");
    EXPECT_TRUE(hiddenFiles(dir.path()).empty());
}
