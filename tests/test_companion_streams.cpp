// SPDX-License-Identifier: MIT
// kelvanto-tape with standard streams: "-" as the input of list, convert and screen, as the
// output of convert, decode and screen with the format named, and a reader that leaves early.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/companion_binary.h"
#include "tests/support.h"

using testing_support::Bytes;
using testing_support::example;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::shellQuoted;
using testing_support::sourcePath;

namespace {

// Runs kelvanto-tape with these words inside a shell command line: "$T" stands for it.
testing_support::RunResult shell(const std::string& script, const std::string& work) {
    return runProgram(
        "/bin/sh",
        {"-c", "T=" + shellQuoted(testing_support::kelvantoTapeBinary()) + "; " + script}, work);
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(CompanionStreams, DashReadsStandardInputAndWritesStandardOutput) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const std::string screen = shellQuoted(example("screen.bml"));
    ASSERT_EQ(runKelvantoTape({"convert", example("screen.bml"), "c.bin"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"screen", example("screen.bml"), "-o", "s.bmp"}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"list", "--hex", example("screen.bml")}, work).status, 0);
    const std::string listed = runKelvantoTape({"list", "--hex", example("screen.bml")}, work).out;
    struct Case {
        std::string script;
        std::string expected;  // the file whose bytes standard output must hold
    };
    const std::vector<Case> cases = {
        {"\"$T\" convert --to bin - - < " + screen, "c.bin"},
        {"\"$T\" convert - out.bin < " + screen + " && cat out.bin", "c.bin"},
        {"\"$T\" screen --to bmp - -o - < " + screen, "s.bmp"},
        {"\"$T\" screen -o - --to bmp c.bin", "s.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const auto run = shell(c.script, work);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, text(readFile(dir.file(c.expected))));
    }
    // A listing of standard input names it so, and lists the same loads.
    const auto list = shell("\"$T\" list --hex - < " + screen, work);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.rfind("standard input\n", 0), 0u) << list.out;
    EXPECT_EQ(list.out.substr(list.out.find('\n')), listed.substr(listed.find('\n')));
    // A bad tape image on standard input is reported as standard input's.
    const auto bad = shell("printf '<TARQO format=2><FOO>' | \"$T\" list -", work);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "kelvanto-tape: standard input: byte 21 (line 1): Invalid Tag FOO found for parent "
              "tag TARQO\n");
}

TEST(CompanionStreams, DecodeOfStandardInputNeedsAnOutputAndStandardOutputAFormat) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "rec.wav", example("tape.bin")}, work).status, 0);
    ASSERT_EQ(runKelvantoTape({"decode", "rec.wav", "-o", "rec.bin"}, work).status, 0);
    struct Case {
        std::string script;
        std::string err;
    };
    const std::vector<Case> refused = {
        {"\"$T\" decode - < rec.wav",
         "kelvanto-tape: decode: standard input needs -o OUT (see "
         "--help)\n"},
        {"\"$T\" decode -o - rec.wav",
         "kelvanto-tape: decode: standard output needs --to bml or --to bin\n"},
        {"\"$T\" screen -o - rec.wav",
         "kelvanto-tape: screen: standard output needs --to pbm or --to bmp\n"},
        {"\"$T\" screen --to gif -o - rec.wav",
         "kelvanto-tape: screen: --to takes pbm or bmp, not gif\n"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.script);
        const auto run = shell(c.script, work);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("-.bml")));
    // The tape image on standard output, the report on standard error.
    const auto piped = shell("\"$T\" decode --to bin -o - - < rec.wav", work);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, text(readFile(dir.file("rec.bin"))));
    EXPECT_NE(piped.err.find("2 loads: 2 OK, 0 REPAIRED, 0 BAD\n"), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find("wrote"), std::string::npos);
    const auto named = shell("\"$T\" decode -o in.bin - < rec.wav", work);
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(readFile(dir.file("in.bin")), readFile(dir.file("rec.bin")));
}

TEST(CompanionStreams, AReaderThatLeavesEarlyEndsTheRunQuietly) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    // The status of the companion itself, written by the left side of the pipe.
    const std::vector<std::string> commands = {
        "\"$T\" play " + shellQuoted(example("screen.bml")),
        "\"$T\" list --hex " + shellQuoted(example("screen.bml")),
        "\"$T\" convert --to bml " + shellQuoted(example("screen.bml")) + " -",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const auto run = shell("{ " + command + "; echo $? > status; } | head -c 44 > head", work);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(text(readFile(dir.file("status"))), "0\n");
        EXPECT_EQ(readFile(dir.file("head")).size(), 44u);
    }
}
