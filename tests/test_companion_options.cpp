// SPDX-License-Identifier: MIT
// kelvanto-tape's option forms: joined, separate and --name=value values, bundled flags and
// "--" before file names that begin with a dash, and each refusal in the program's own form.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support.h"

using testing_support::example;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

TEST(CompanionOptions, EveryFormOfAValueGivesTheSameStream) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const auto kelvanto =
        runKelvanto({"-v", "0", "-k", "44100", "-w", "k.wav", example("basic.bml")}, work);
    ASSERT_EQ(kelvanto.status, 0) << kelvanto.err;
    const testing_support::Bytes expected = readFile(dir.file("k.wav"));
    const std::vector<std::vector<std::string>> forms = {{"-k44100"},
                                                         {"-k", "44100"},
                                                         {"--rate=44100"},
                                                         {"--rate", "44100"},
                                                         // the last of a repeated option counts
                                                         {"-k", "22050", "--rate", "44100"}};
    for (const auto& form : forms) {
        std::vector<std::string> words = {"play"};
        words.insert(words.end(), form.begin(), form.end());
        words.push_back(example("basic.bml"));
        SCOPED_TRACE(form.front());
        const auto play = runKelvantoTape(words, work);
        ASSERT_EQ(play.status, 0) << play.err;
        EXPECT_TRUE(testing_support::Bytes(play.out.begin(), play.out.end()) == expected);
    }
}

TEST(CompanionOptions, BundledFlagsAndTheEndOfOptions) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    writeFile(dir.file("s.pbm"), "old");
    // -f and -o bundled, the value of -o in the next word; then -f bundled with -o's value.
    const auto bundled = runKelvantoTape({"screen", "-fo", "s.pbm", example("screen.bml")}, work);
    ASSERT_EQ(bundled.status, 0) << bundled.err;
    const auto picture = readFile(dir.file("s.pbm"));
    ASSERT_EQ(picture.size(), 1810u);
    writeFile(dir.file("s.pbm"), "old");
    const auto joined = runKelvantoTape({"screen", "-fos.pbm", example("screen.bml")}, work);
    ASSERT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(readFile(dir.file("s.pbm")), picture);
    // A file whose name begins with a dash, after "--".
    std::filesystem::copy_file(example("basic.bml"), dir.file("-basic.bml"));
    const auto dashed = runKelvantoTape({"convert", "--", "-basic.bml", "-out.bin"}, work);
    ASSERT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("-out.bin")));
    const auto undashed = runKelvantoTape({"convert", "-basic.bml", "other.bin"}, work);
    EXPECT_EQ(undashed.status, 1);
    EXPECT_EQ(undashed.err, "kelvanto-tape: convert: unknown option -basic.bml (see --help)\n");
}

TEST(CompanionOptions, RefusalsInTheProgramsOwnForm) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const std::string tape = example("basic.bml");
    struct Case {
        std::vector<std::string> words;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"convert", "--frob", tape, "x.bin"},
         "kelvanto-tape: convert: unknown option --frob (see --help)\n"},
        {{"convert", "--frob=1", tape, "x.bin"},
         "kelvanto-tape: convert: unknown option --frob=1 (see --help)\n"},
        {{"convert", "-z", tape, "x.bin"},
         "kelvanto-tape: convert: unknown option -z (see --help)\n"},
        {{"convert", "-fz", tape, "x.bin"},
         "kelvanto-tape: convert: unknown option -z (see --help)\n"},
        {{"convert", "---force", tape, "x.bin"},
         "kelvanto-tape: convert: unknown option ---force (see --help)\n"},
        {{"convert", "--force=1", tape, "x.bin"},
         "kelvanto-tape: convert: option --force takes no value\n"},
        {{"convert", tape, "x.bin", "--to"}, "kelvanto-tape: convert: option --to needs a value\n"},
        {{"convert", "--to=", tape, "x.bin"},
         "kelvanto-tape: convert: option --to needs a value\n"},
        {{"play", tape, "-k"}, "kelvanto-tape: play: option --rate needs a value\n"},
        {{"play", "-kfast", tape},
         "kelvanto-tape: play: --rate takes a whole number from 0 to "
         "1000000, not fast\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[1]);
        const auto run = runKelvantoTape(c.words, work);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bin")));
    // -h and --help print the command's help on standard output.
    for (const char* help : {"-h", "--help"}) {
        const auto run = runKelvantoTape({"convert", help}, work);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Usage: kelvanto-tape convert ", 0), 0u) << run.out;
    }
}
