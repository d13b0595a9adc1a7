// SPDX-License-Identifier: MIT
// Nothing of the user's is lost, whatever the names and descriptors: outputs checked against
// inputs and each other, new names made without replacing, modes and links kept, closed
// standard descriptors, FIFOs, long names, and every failure with its line on standard error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "base/output_path.h"
#include "tests/child_process.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::Child;
using testing_support::ChildSetup;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

// kelvanto's recording of the example tape: 8-bit stereo at 22050, two binary loads.
void recordExample(const ScratchDir& dir, const std::string& name,
                   const std::vector<std::string>& options = {}) {
    std::vector<std::string> words = {"-v", "0", "-w", name};
    words.insert(words.end(), options.begin(), options.end());
    words.push_back(sourcePath("examples/tape.bin"));
    const auto run = runKelvanto(words, dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
}

mode_t modeOf(const std::string& path) {
    struct stat found {};
    EXPECT_EQ(::stat(path.c_str(), &found), 0) << path;
    return found.st_mode & 07777;
}

bool isLink(const std::string& path) {
    struct stat found {};
    return ::lstat(path.c_str(), &found) == 0 && S_ISLNK(found.st_mode);
}

// An 8-bit mono recording at 22050 made cycle by cycle: a 0 bit is 7 frames, a 1 bit 14, each
// low then high. Characters are framed by a 0 start bit and a 1 stop bit, least significant
// bit first.
class SquareWave {
  public:
    void tone(int cycles) {
        for (int i = 0; i < cycles; ++i) {
            cycle(14);
        }
    }
    void character(std::uint8_t value) {
        cycle(7);
        for (int bit = 0; bit < 8; ++bit) {
            cycle((value >> bit) & 1 ? 14 : 7);
        }
        cycle(14);
    }
    void silence(int frames) {
        samples.insert(samples.end(), static_cast<std::size_t>(frames), 0x80);
    }
    // The samples after the 44-byte header of `prefix` (a WAV of the same format) or alone.
    Bytes wav(const Bytes& prefix = {}) const {
        Bytes out = prefix;
        if (out.empty()) {
            const unsigned char header[44] = {
                'R', 'I', 'F', 'F', 0, 0, 0,   0,   'W', 'A',  'V',  'E', 'f', 'm',  't',
                ' ', 16,  0,   0,   0, 1, 0,   1,   0,   0x22, 0x56, 0,   0,   0x22, 0x56,
                0,   0,   1,   0,   8, 0, 'd', 'a', 't', 'a',  0,    0,   0,   0};
            out.assign(header, header + 44);
        }
        out.insert(out.end(), samples.begin(), samples.end());
        const auto data = static_cast<std::uint32_t>(out.size() - 44);
        for (int i = 0; i < 4; ++i) {
            out[4 + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>((data + 36) >> (8 * i));
            out[40 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(data >> (8 * i));
        }
        return out;
    }

  private:
    void cycle(int frames) {
        samples.insert(samples.end(), static_cast<std::size_t>(frames / 2), 0x30);
        samples.insert(samples.end(), static_cast<std::size_t>(frames - frames / 2), 0xD0);
    }
    Bytes samples;
};

bool soxWorks() {
    return std::system("sox -n -r 8000 -c 1 -t wav /dev/null trim 0 0.01 >/dev/null 2>&1") == 0;
}

}  // namespace

// Every output against every input and every other output, links and other spellings
// included, with and without --force; each refusal leaves every file as it was.
TEST(OutputSafety, OutputsThatAreInputsOrEachOtherAreRefused) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "rec.wav");
    recordExample(dir, "b.wav");
    writeFile(dir.file("take.bml"), "mine");
    std::filesystem::create_symlink("rec.wav", dir.file("link.json"));
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_symlink("loop.bml", dir.file("loop.bml"));
    ASSERT_EQ(
        runKelvantoTape({"convert", sourcePath("examples/tape.bin"), "tape.bml"}, work).status, 0);
    const Bytes recording = readFile(dir.file("rec.wav"));
    const Bytes take = readFile(dir.file("b.wav"));
    const Bytes tape = readFile(dir.file("tape.bml"));
    writeFile(dir.file("pic.bmp"), tape);
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const std::string recordingRefused = ": is a recording; choose another output name\n";
    const std::string twice =
        ": is both the tape image and the --json report; give each output a name of its own\n";
    const std::vector<Case> cases = {
        {{"decode", "--force", "rec.wav", "--json", "rec.wav"},
         "kelvanto-tape: rec.wav" + recordingRefused},
        {{"decode", "--force", "rec.wav", "b.wav", "-o", "out.bml", "--json", "b.wav"},
         "kelvanto-tape: b.wav" + recordingRefused},
        {{"decode", "rec.wav", "-o", "o.bml", "--json", "o.bml"}, "kelvanto-tape: o.bml" + twice},
        {{"decode", "--force", "rec.wav", "-o", "o.bml", "--json", "sub/../o.bml"},
         "kelvanto-tape: sub/../o.bml" + twice},
        {{"decode", "--force", "rec.wav", "-o", "o.bml", "--json", "link.json"},
         "kelvanto-tape: link.json" + recordingRefused},
        {{"decode", "--force", "rec.wav", "--json", "sub/../rec.wav"},
         "kelvanto-tape: sub/../rec.wav" + recordingRefused},
        {{"decode", "rec.wav", "-o", "sub.bml", "--json", "sub"},
         "kelvanto-tape: sub: Is a directory\n"},
        {{"decode", "rec.wav", "-o", "o.bml", "--json", "take.bml"},
         "kelvanto-tape: take.bml: File exists (use --force to replace it)\n"},
        {{"decode", "rec.wav", "-o", "e.bml", "--json", ""},
         "kelvanto-tape: No such file or directory\n"},
        {{"decode", "--force", "rec.wav", "-o", "loop.bml"},
         "kelvanto-tape: loop.bml: Too many levels of symbolic links\n"},
        {{"decode", "rec.wav", "-o", std::string(252, 'x') + ".bml"},
         "kelvanto-tape: " + std::string(252, 'x') + ".bml: File name too long\n"},
        {{"convert", "--force", "tape.bml", "./tape.bml"},
         "kelvanto-tape: ./tape.bml: is the input file; choose another output name\n"},
        {{"screen", "--force", "--offset", "0", "pic.bmp", "-o", "sub/../pic.bmp"},
         "kelvanto-tape: sub/../pic.bmp: is the input file; choose another output name\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        const auto run = runKelvantoTape(c.words, work);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(readFile(dir.file("rec.wav")) == recording);
    EXPECT_TRUE(readFile(dir.file("b.wav")) == take);
    EXPECT_TRUE(readFile(dir.file("tape.bml")) == tape);
    EXPECT_TRUE(readFile(dir.file("pic.bmp")) == tape);
    EXPECT_EQ(readFile(dir.file("take.bml")), Bytes({'m', 'i', 'n', 'e'}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.bml")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.bml")));
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
}

// The outputs are checked before the decoding: an existing report fails the run before any
// tape image is made; a report that cannot be written after the image says the image is there.
TEST(OutputSafety, DecodeChecksItsOutputsFirstAndNamesWhatWasWritten) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "rec.wav");
    writeFile(dir.file("old.json"), "{}");
    const auto early =
        runKelvantoTape({"decode", "rec.wav", "-o", "o.bin", "--json", "old.json"}, work);
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.err, "kelvanto-tape: old.json: File exists (use --force to replace it)\n");
    EXPECT_EQ(early.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.bin")));

    // The binary image (273 bytes) fits under the file size limit, its report does not.
    ChildSetup limited;
    limited.binary = testing_support::kelvantoTapeBinary();
    limited.workDir = work;
    limited.fileSizeLimit = 600;
    Child child({"decode", "rec.wav", "-o", "o.bin", "--json", "new.json"}, limited);
    const auto late = child.finish();
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.err,
              "kelvanto-tape: new.json: File too large; the tape image o.bin was written\n");
    EXPECT_NE(late.out.find("wrote o.bin\n"), std::string::npos);
    EXPECT_EQ(late.out.find("no load could be read"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.file("o.bin")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.json")));
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
}

// A file opened while descriptor 2 was closed would take its number and receive the checksum
// repair lines. The example tape states a wrong checksum, so those lines are written.
TEST(OutputSafety, AClosedStandardErrorNeverEndsUpInTheAudio) {
    const char* runner = std::getenv("KELVANTO_RUNNER");
    if (runner != nullptr && *runner != '\0') {
        GTEST_SKIP() << "a runner such as valgrind does not start with standard error closed";
    }
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "reference.wav");
    const Bytes reference = readFile(dir.file("reference.wav"));
    ChildSetup closed;
    closed.workDir = work;
    closed.closeStandardError = true;
    Child kelvanto({"-v0", "-w", "out.wav", sourcePath("examples/tape.bin")}, closed);
    EXPECT_EQ(kelvanto.finish().status, 0);
    EXPECT_TRUE(readFile(dir.file("out.wav")) == reference);

    closed.binary = testing_support::kelvantoTapeBinary();
    closed.outputFile = dir.file("played.wav");
    Child play({"play", sourcePath("examples/tape.bin")}, closed);
    EXPECT_EQ(play.finish().status, 0);
    EXPECT_TRUE(readFile(dir.file("played.wav")) == reference);

    // A closed standard output still fails a write to it, and says so.
    ChildSetup noOutput;
    noOutput.binary = testing_support::kelvantoTapeBinary();
    noOutput.workDir = work;
    noOutput.closeStandardOutput = true;
    Child convert({"convert", "--to", "bml", sourcePath("examples/tape.bin"), "-"}, noOutput);
    const auto run = convert.finish();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kelvanto-tape: standard output: Bad file descriptor\n");
}

// Two runs writing one new name at once: exactly one wins, the other says so.
TEST(OutputSafety, OfTwoRunsRacingForANewNameExactlyOneWins) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ChildSetup setup;
    setup.binary = testing_support::kelvantoTapeBinary();
    setup.workDir = work;
    for (int round = 0; round < 20; ++round) {
        std::filesystem::remove(dir.file("race.bml"));
        Child first({"convert", sourcePath("examples/tape.bin"), "race.bml"}, setup);
        Child second({"convert", sourcePath("examples/basic.bml"), "race.bml"}, setup);
        const auto a = first.finish();
        const auto b = second.finish();
        ASSERT_EQ((a.status == 0) + (b.status == 0), 1) << a.err << b.err;
        const auto& loser = a.status == 0 ? b : a;
        EXPECT_EQ(loser.status, 1);
        EXPECT_EQ(loser.err, "kelvanto-tape: race.bml: File exists (use --force to replace it)\n");
    }
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
}

// The mechanism under the race: a file is put in place without replacing only where no entry
// is; the temporary file is gone whatever happened.
TEST(OutputSafety, PlacingWithoutReplacingLeavesAnExistingFile) {
    ScratchDir dir;
    writeFile(dir.file("target"), "first");
    writeFile(dir.file(".tmp1"), "second");
    EXPECT_EQ(kelvanto::placeFile(dir.file(".tmp1"), dir.file("target"), false), EEXIST);
    EXPECT_EQ(readFile(dir.file("target")), Bytes({'f', 'i', 'r', 's', 't'}));
    EXPECT_FALSE(std::filesystem::exists(dir.file(".tmp1")));
    writeFile(dir.file(".tmp2"), "third");
    EXPECT_EQ(kelvanto::placeFile(dir.file(".tmp2"), dir.file("new"), false), 0);
    EXPECT_EQ(readFile(dir.file("new")), Bytes({'t', 'h', 'i', 'r', 'd'}));
    writeFile(dir.file(".tmp3"), "4");
    EXPECT_EQ(kelvanto::placeFile(dir.file(".tmp3"), dir.file("target"), true), 0);
    EXPECT_EQ(readFile(dir.file("target")), Bytes({'4'}));
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
}

// A valid name always has a valid temporary name: a folder entry holds 255 bytes.
TEST(OutputSafety, TemporaryNamesFitBesideNamesOfEveryLength) {
    for (const std::size_t length : {1u, 200u, 246u, 247u, 248u, 255u}) {
        const std::string base(length, 'n');
        const std::string pattern = kelvanto::temporaryNameBeside("some/folder/" + base);
        EXPECT_EQ(pattern.rfind("some/folder/.", 0), 0u);
        const std::string entry = pattern.substr(std::string("some/folder/").size());
        EXPECT_LE(entry.size(), 255u) << length;
        EXPECT_EQ(entry.substr(entry.size() - 7), ".XXXXXX");
        EXPECT_EQ(entry.substr(1, std::min<std::size_t>(length, 5)), base.substr(0, 5));
    }
}

// Replacing keeps the permission bits of the file replaced, and a link stays a link whose
// file gets the new contents, in both programs; a link to a file not made yet makes that file.
TEST(OutputSafety, ReplacingKeepsModesAndLinks) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "reference.wav");
    const Bytes reference = readFile(dir.file("reference.wav"));
    const auto canonical =
        runKelvantoTape({"convert", sourcePath("examples/tape.bin"), "c.bml"}, work);
    ASSERT_EQ(canonical.status, 0);
    const Bytes converted = readFile(dir.file("c.bml"));
    std::filesystem::create_directory(dir.file("real"));
    writeFile(dir.file("private.wav"), "old");
    ::chmod(dir.file("private.wav").c_str(), 0640);
    const auto audio =
        runKelvanto({"-v0", "-w", "private.wav", sourcePath("examples/tape.bin")}, work);
    EXPECT_EQ(audio.status, 0) << audio.err;
    EXPECT_EQ(modeOf(dir.file("private.wav")), 0640u);
    EXPECT_TRUE(readFile(dir.file("private.wav")) == reference);

    writeFile(dir.file("private.bml"), "old");
    ::chmod(dir.file("private.bml").c_str(), 0640);
    writeFile(dir.file("real/target"), "old");
    ::chmod(dir.file("real/target").c_str(), 0600);
    std::filesystem::create_symlink("real/target", dir.file("link"));
    std::filesystem::create_symlink("real/new", dir.file("dangling"));
    for (const char* name : {"private.bml", "link", "dangling"}) {
        const auto run = runKelvantoTape(
            {"convert", "--force", "--to", "bml", sourcePath("examples/tape.bin"), name}, work);
        EXPECT_EQ(run.status, 0) << name << run.err;
    }
    EXPECT_EQ(modeOf(dir.file("private.bml")), 0640u);
    EXPECT_TRUE(readFile(dir.file("private.bml")) == converted);
    EXPECT_TRUE(isLink(dir.file("link")));
    EXPECT_EQ(modeOf(dir.file("real/target")), 0600u);
    EXPECT_TRUE(readFile(dir.file("real/target")) == converted);
    EXPECT_TRUE(isLink(dir.file("dangling")));
    EXPECT_TRUE(readFile(dir.file("real/new")) == converted);
    // Without --force a link to nothing is still a name that is taken.
    std::filesystem::create_symlink("real/none", dir.file("nothing.bml"));
    const auto taken =
        runKelvantoTape({"convert", sourcePath("examples/tape.bin"), "nothing.bml"}, work);
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "kelvanto-tape: nothing.bml: File exists (use --force to replace it)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("real/none")));
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path() / "real").empty());

    // kelvanto adds .wav to a name without it: its links are named so.
    writeFile(dir.file("real/audio.wav"), "old");
    ::chmod(dir.file("real/audio.wav").c_str(), 0600);
    std::filesystem::create_symlink("real/audio.wav", dir.file("audio.wav"));
    std::filesystem::create_symlink("real/fresh.wav", dir.file("fresh.wav"));
    for (const char* name : {"audio.wav", "fresh.wav"}) {
        const auto run = runKelvanto({"-v0", "-w", name, sourcePath("examples/tape.bin")}, work);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(isLink(dir.file(name))) << name;
    }
    EXPECT_EQ(modeOf(dir.file("real/audio.wav")), 0600u);
    EXPECT_TRUE(readFile(dir.file("real/audio.wav")) == reference);
    EXPECT_TRUE(readFile(dir.file("real/fresh.wav")) == reference);
}

// Refusals of recordings that name the fault, none of which may block: a FIFO is refused
// without waiting for a writer.
TEST(OutputSafety, RecordingsThatCannotBeReadNameTheirFault) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "rec.wav");
    ASSERT_EQ(::mkfifo(dir.file("f.wav").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("folder.wav"));
    writeFile(dir.file("empty.mp3"), "");
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"decode", "f.wav"}, "kelvanto-tape: f.wav: Not a regular file\n"},
        {{"list", "f.wav"}, "kelvanto-tape: f.wav: Not a regular file\n"},
        {{"decode", "folder.wav"}, "kelvanto-tape: folder.wav: Is a directory\n"},
        {{"list", "folder.wav"}, "kelvanto-tape: folder.wav: Is a directory\n"},
        {{"decode", "empty.mp3"}, "kelvanto-tape: empty.mp3: File is empty\n"},
        {{"decode", "--channel", "3", "rec.wav"},
         "kelvanto-tape: rec.wav: recording has 2 channels; --channel 3 does not exist\n"},
        {{"decode", "missing.wav"}, "kelvanto-tape: missing.wav: No such file or directory\n"},
    };
    ChildSetup setup;
    setup.binary = testing_support::kelvantoTapeBinary();
    setup.workDir = work;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.back());
        Child child(c.words, setup);
        const auto run = child.finish(std::chrono::seconds(20));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("f.bml")));
}

// Every failure status has its line on standard error beside the report: a header tone with
// nothing readable after it, and some load BAD (status 2).
TEST(OutputSafety, EveryFailureStatusHasItsLineOnStandardError) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    SquareWave lost;
    lost.silence(2000);
    lost.tone(1575);
    lost.silence(11025);
    writeFile(dir.file("tone.wav"), lost.wav());
    const auto tone = runKelvantoTape({"decode", "tone.wav"}, work);
    EXPECT_EQ(tone.status, 1);
    EXPECT_EQ(tone.err, "kelvanto-tape: tone.wav: no load could be read\n");
    EXPECT_NE(tone.out.find("no load could be read; no tape image written\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("tone.bml")));

    recordExample(dir, "rec.wav");
    Bytes cut = readFile(dir.file("rec.wav"));
    const std::size_t from = 44 + static_cast<std::size_t>(3.9 * 44100);
    std::fill(cut.begin() + static_cast<long>(from), cut.begin() + static_cast<long>(from + 2205),
              0x78);
    writeFile(dir.file("cut.wav"), cut);
    const auto bad = runKelvantoTape({"decode", "cut.wav"}, work);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "kelvanto-tape: cut.wav: 1 of 2 loads BAD\n");
}

// A load that runs on past 8192 characters (its footer lost) is cut to fit and BAD; the good
// load before it stays, and both programs read the image, in both layouts.
TEST(OutputSafety, ARunawayLoadIsCutToFitAndTheGoodLoadsStay) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "good.wav", {"-c", "1"});
    SquareWave runaway;
    runaway.silence(11025);
    runaway.tone(1575);
    runaway.character(0xA5);
    std::mt19937 random(7);
    for (int i = 0; i < 9000; ++i) {
        runaway.character(static_cast<std::uint8_t>(random()));
    }
    writeFile(dir.file("runaway.wav"), runaway.wav(readFile(dir.file("good.wav"))));
    for (const char* image : {"x.bin", "x.bml"}) {
        SCOPED_TRACE(image);
        const auto decode = runKelvantoTape({"decode", "runaway.wav", "-o", image}, work);
        EXPECT_EQ(decode.status, 2) << decode.err;
        EXPECT_EQ(decode.err.find("kelvanto-tape: runaway.wav: "), 0u) << decode.err;
        EXPECT_NE(decode.out.find("   1   0:00.001          24  OK "), std::string::npos)
            << decode.out;
        // The converter starts the second load at frame 63049 (2.8594 s).
        EXPECT_NE(decode.out.find("   2   0:02.859          41  OK "), std::string::npos)
            << decode.out;
        EXPECT_NE(decode.out.find("  BAD  "), std::string::npos);
        const auto list = runKelvantoTape({"list", image}, work);
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_NE(list.out.find("\n   1  "), std::string::npos) << list.out;
        EXPECT_NE(list.out.find("\n   2  "), std::string::npos) << list.out;
        EXPECT_NE(list.out.find("\n   3  "), std::string::npos) << list.out;
        const auto convert = runKelvanto({"-v0", "-w", "again.wav", image}, work);
        EXPECT_EQ(convert.status, 0) << convert.err;
    }
    const auto binary = runKelvantoTape({"decode", "--force", "runaway.wav", "-o", "x.bin"}, work);
    EXPECT_NE(binary.out.find("cut to the 8192 characters that fit in the tape image"),
              std::string::npos)
        << binary.out;
}

// Output names of 248 to 255 bytes are valid; their temporary names are cut to fit.
TEST(OutputSafety, LongOutputNamesAreWritten) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    for (const std::size_t length : {248u, 251u, 255u}) {
        const std::string name = std::string(length - 4, 'n') + ".bml";
        const auto run = runKelvantoTape({"convert", sourcePath("examples/tape.bin"), name}, work);
        EXPECT_EQ(run.status, 0) << length << run.err;
        EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << length;
        const auto again =
            runKelvantoTape({"convert", "--force", sourcePath("examples/basic.bml"), name}, work);
        EXPECT_EQ(again.status, 0) << length << again.err;
    }
    EXPECT_TRUE(testing_support::hiddenFiles(dir.path()).empty());
}

// A temporary folder whose name leaves no room for the audio file's name is named as the
// fault; nothing is left in it.
// play streams its signal without any temporary file, so no TMPDIR, however long, can make
// it fail or leave anything behind.
TEST(OutputSafety, ALongTemporaryFolderDoesNotMatterToPlay) {
    ScratchDir dir;
    const std::string folder = dir.file(std::string(240 - dir.path().string().size() - 1, 't'));
    std::filesystem::create_directory(folder);
    ASSERT_EQ(folder.size(), 240u);
    const char* saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", folder.c_str(), 1);
    const auto run =
        runKelvantoTape({"play", sourcePath("examples/basic.bml")}, dir.path().string());
    if (saved != nullptr) {
        ::setenv("TMPDIR", previous.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(0, 4), "RIFF");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

// Under a tight address space limit, start-up ends with "Out of memory" or runs, never with
// an abort; a limit too tight for the system's loader is its own (status 127).
TEST(OutputSafety, StartUpUnderAMemoryLimitNeverAborts) {
    if (!testing_support::memoryIsMeasurable()) {
        GTEST_SKIP() << "an address space limit breaks a sanitizer or valgrind";
    }
    ScratchDir dir;
    ChildSetup setup;
    setup.binary = testing_support::kelvantoTapeBinary();
    setup.workDir = dir.path().string();
    int outOfMemory = 0;
    for (rlim_t kilobytes = 7000; kilobytes <= 14000; kilobytes += 250) {
        setup.addressSpaceLimit = kilobytes * 1024;
        Child child({"list", "missing.bml"}, setup);
        const auto run = child.finish();
        EXPECT_EQ(run.signal, 0) << kilobytes << " KB: " << run.err;
        if (run.status == 127) {
            continue;  // the loader could not map the libraries
        }
        EXPECT_EQ(run.status, 1) << kilobytes;
        if (run.err == "kelvanto-tape: Out of memory\n") {
            ++outOfMemory;
        } else {
            EXPECT_EQ(run.err, "kelvanto-tape: missing.bml: No such file or directory\n")
                << kilobytes;
        }
    }
    RecordProperty("outOfMemoryRuns", outOfMemory);
}

// The MP3 decoder's own notes on a damaged stream never reach the terminal; what was decoded
// before the damage is kept, with a warning of where reading stopped.
TEST(OutputSafety, TheAudioLibrarysNotesAreSilenced) {
    if (!soxWorks()) {
        GTEST_SKIP() << "sox does not work here";
    }
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordExample(dir, "rec.wav");
    const auto sox =
        testing_support::runProgram("/bin/sh", {"-c", "sox rec.wav -C 64 rec.mp3"}, work);
    if (sox.status != 0) {
        GTEST_SKIP() << "sox writes no MP3 here: " << sox.err;
    }
    const Bytes mp3 = readFile(dir.file("rec.mp3"));
    Bytes damaged(mp3.begin(), mp3.begin() + 5000);
    std::mt19937 random(3);
    for (int i = 0; i < 3000; ++i) {
        damaged.push_back(static_cast<unsigned char>(random()));
    }
    damaged.insert(damaged.end(), mp3.end() - 20000, mp3.end());
    writeFile(dir.file("damaged.mp3"), damaged);
    writeFile(dir.file("cut.mp3"), Bytes(mp3.begin(), mp3.begin() + 3000));
    writeFile(dir.file("stub.mp3"), Bytes(mp3.begin(), mp3.begin() + 100));
    const auto stub = runKelvantoTape({"decode", "stub.mp3"}, work);
    EXPECT_EQ(stub.status, 1);
    // The first bytes of a stream: whatever the encoder put there, the message names the
    // file and never suggests a pipe.
    EXPECT_EQ(stub.err.rfind("kelvanto-tape: stub.mp3: ", 0), 0u) << stub.err;
    EXPECT_EQ(stub.err.find("pipe"), std::string::npos) << stub.err;
    for (const char* name : {"damaged.mp3", "cut.mp3"}) {
        SCOPED_TRACE(name);
        const auto run = runKelvantoTape({"decode", name}, work);
        EXPECT_NE(run.status, 0);
        EXPECT_FALSE(run.err.empty());
        std::istringstream lines(run.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_EQ(line.rfind("kelvanto-tape: ", 0), 0u) << line;
        }
    }
}

// A minute of noise framed as characters behind a header tone: loads full of doubts. The JSON
// report, written load by load, is whole and holds at most the first 1000 doubts of a load
// with the count of all.
TEST(OutputSafety, TheJsonReportHoldsTheFirstThousandDoubtsOfALoad) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    SquareWave noise;
    noise.tone(1575);
    noise.character(0xA5);  // the sync character, then nothing but doubts
    std::mt19937 random(11);
    for (int i = 0; i < 12000; ++i) {
        // A few frames of silence now and then: framing that slips.
        noise.character(static_cast<std::uint8_t>(random()));
        if (random() % 3 == 0) {
            noise.silence(3 + static_cast<int>(random() % 5));
        }
    }
    writeFile(dir.file("noise.wav"), noise.wav());
    const auto run = runKelvantoTape({"decode", "noise.wav", "--json", "noise.json"}, work);
    EXPECT_EQ(run.status, 2) << run.err;
    const Bytes json = readFile(dir.file("noise.json"));
    const auto report = nlohmann::json::parse(json.begin(), json.end());
    EXPECT_EQ(report["output"], "noise.bml");
    ASSERT_FALSE(report["loads"].empty());
    bool capped = false;
    for (const auto& load : report["loads"]) {
        EXPECT_LE(load["uncertain"].size(), 1000u);
        EXPECT_GE(load["uncertainCount"].get<std::size_t>(), load["uncertain"].size());
        if (load["uncertainCount"].get<std::size_t>() > 1000) {
            capped = true;
            EXPECT_EQ(load["uncertain"].size(), 1000u);
        }
    }
    EXPECT_TRUE(capped) << "no load with more than 1000 doubts: " << run.out;
}
