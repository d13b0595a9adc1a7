// SPDX-License-Identifier: MIT
// An archive of recordings through kelvanto-tape: the batch recipe with GNU parallel (one
// tape image and one JSON report per recording) and summary's lines and CSV of the reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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
using testing_support::writeFile;

namespace {

// Five recordings of the examples in rec/, one with a dropout that leaves a load BAD.
void recordArchive(const ScratchDir& dir) {
    std::filesystem::create_directory(dir.file("rec"));
    const std::string work = dir.path().string();
    struct Recording {
        std::string name;
        std::vector<std::string> options;
        std::string tape;
    };
    const std::vector<Recording> recordings = {
        {"a-basic", {}, "basic.bml"}, {"b-basic-44k", {"-k", "44100", "-b", "16"}, "basic.bml"},
        {"c-tape", {}, "tape.bin"},   {"d-screen", {"-c", "1"}, "screen.bml"},
        {"e-cut", {}, "tape.bin"},
    };
    for (const Recording& r : recordings) {
        std::vector<std::string> words = {"-v", "0", "-w", "rec/" + r.name + ".wav"};
        words.insert(words.end(), r.options.begin(), r.options.end());
        words.push_back(example(r.tape));
        ASSERT_EQ(runKelvanto(words, work).status, 0) << r.name;
    }
    // 50 ms of silence inside the data of the second load (8-bit stereo at 22050 Hz).
    Bytes cut = readFile(dir.file("rec/e-cut.wav"));
    const std::size_t from = 44 + static_cast<std::size_t>(3.9 * 44100);
    std::fill(cut.begin() + static_cast<long>(from), cut.begin() + static_cast<long>(from + 2205),
              0x80);
    writeFile(dir.file("rec/e-cut.wav"), cut);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

bool parallelWorks(const std::string& work) {
    const auto trial = runProgram("/bin/sh", {"-c", "parallel echo {} ::: ok 2>/dev/null"}, work);
    return trial.status == 0 && trial.out == "ok\n";
}

}  // namespace

TEST(CompanionArchive, TheParallelRecipeDecodesEachRecordingAsItsOwnTape) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    if (!parallelWorks(work)) {
        GTEST_SKIP() << "GNU parallel does not run here";
    }
    recordArchive(dir);
    // The recipe as the documentation gives it, with this build's kelvanto-tape on the PATH.
    const std::string folder =
        std::filesystem::path(testing_support::kelvantoTapeBinary()).parent_path().string();
    const auto batch = runProgram(
        "/bin/sh",
        {"-c", "PATH=" + shellQuoted(folder) +
                   ":$PATH; mkdir -p out && "
                   "parallel kelvanto-tape decode {} -o out/{/.}.bml --json out/{/.}.json "
                   "'>' out/{/.}.txt ::: rec/*.wav; "
                   "echo $? > failed; kelvanto-tape summary out/*.json"},
        work);
    // parallel's status counts the jobs that failed: decode's 2 for the BAD recording.
    EXPECT_EQ(readFile(dir.file("failed")), Bytes({'1', '\n'}));
    for (const char* name : {"a-basic", "b-basic-44k", "c-tape", "d-screen", "e-cut"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(std::filesystem::exists(dir.file("out/" + std::string(name) + ".bml")));
        EXPECT_TRUE(std::filesystem::exists(dir.file("out/" + std::string(name) + ".json")));
    }
    EXPECT_EQ(batch.status, 0) << batch.err;
    // The one recording with a BAD load says so on standard error, as decode always does.
    EXPECT_EQ(batch.err, "kelvanto-tape: rec/e-cut.wav: 1 of 2 loads BAD\n");
    const std::vector<std::string> expected = {
        "rec/a-basic.wav: 1 load, 1 OK, 0 REPAIRED, 0 BAD, 0:01.644; worst: -",
        "rec/b-basic-44k.wav: 1 load, 1 OK, 0 REPAIRED, 0 BAD, 0:01.644; worst: -",
        "rec/c-tape.wav: 2 loads, 2 OK, 0 REPAIRED, 0 BAD, 0:04.299; worst: -",
        "rec/d-screen.wav: 1 load, 1 OK, 0 REPAIRED, 0 BAD, 0:14.703; worst: -",
        "5 recordings: 7 loads, 6 OK, 0 REPAIRED, 1 BAD, 0:26.589",
    };
    const std::vector<std::string> got = lines(batch.out);
    ASSERT_EQ(got.size(), 6u) << batch.out;
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(got[i], expected[i]);
    }
    EXPECT_EQ(got[4].rfind("rec/e-cut.wav: 2 loads, 1 OK, 0 REPAIRED, 1 BAD, 0:04.299; worst: "
                           "load 2 BAD at 0:03.9",
                           0),
              0u)
        << got[4];
    EXPECT_EQ(got[5], expected[4]);
}

TEST(CompanionArchive, SummaryAsCsvAndItsRefusals) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    recordArchive(dir);
    ASSERT_EQ(
        runKelvantoTape({"decode", "rec/c-tape.wav", "-o", "c.bml", "--json", "c,1.json"}, work)
            .status,
        0);
    ASSERT_EQ(runKelvantoTape({"decode", "rec/e-cut.wav", "-o", "e.bml", "--json", "e.json"}, work)
                  .status,
              2);
    writeFile(dir.file("other.json"), "{\"recordings\": 3}");
    writeFile(dir.file("broken.json"), "{\"recordings\": [");
    const auto csv = runKelvantoTape(
        {"summary", "--csv", "c,1.json", "other.json", "e.json", "broken.json", "none.json"}, work);
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.err,
              "kelvanto-tape: other.json: is not a decode report (no recordings)\n"
              "kelvanto-tape: broken.json: is not a decode report (not a JSON object)\n"
              "kelvanto-tape: none.json: No such file or directory\n");
    const std::vector<std::string> got = lines(csv.out);
    ASSERT_EQ(got.size(), 3u) << csv.out;
    EXPECT_EQ(got[0],
              "report,recording,loads,ok,repaired,bad,seconds,worst_load,worst_verdict,"
              "worst_seconds,worst_what");
    // A name with a comma is quoted.
    EXPECT_EQ(got[1], "\"c,1.json\",rec/c-tape.wav,2,2,0,0,4.299,,,,");
    EXPECT_EQ(got[2].rfind("e.json,rec/e-cut.wav,2,1,0,1,4.299,2,BAD,3.9", 0), 0u) << got[2];
}

// The worst place of a report: the first BAD load, else the most repairs, else the most
// uncertain characters; reports written here by hand, so the rule alone decides.
TEST(CompanionArchive, SummaryNamesTheWorstPlace) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    const auto load = [](const std::string& verdict, double start, int repairs, int doubts,
                         const std::string& problem) {
        std::string text = "{\"verdict\": \"" + verdict +
                           "\", \"startSeconds\": " + std::to_string(start) + ", \"repairs\": [";
        for (int i = 0; i < repairs; ++i) {
            text += std::string(i > 0 ? ", " : "") +
                    "{\"seconds\": " + std::to_string(start + 0.5 + i) + "}";
        }
        text += "], \"uncertain\": [";
        for (int i = 0; i < doubts; ++i) {
            text += std::string(i > 0 ? ", " : "") +
                    "{\"seconds\": " + std::to_string(start + 0.25 + i) + "}";
        }
        text += "]";
        if (!problem.empty()) {
            text += ", \"problem\": {\"text\": \"" + problem +
                    "\", \"seconds\": " + std::to_string(start + 0.75) + "}";
        }
        return text + "}";
    };
    const auto report = [](const std::string& name, const std::vector<std::string>& loads) {
        std::string text =
            "{\"recordings\": [{\"name\": \"" + name + "\", \"seconds\": 100.0}], \"loads\": [";
        for (std::size_t i = 0; i < loads.size(); ++i) {
            text += (i > 0 ? ", " : "") + loads[i];
        }
        return text + "]}";
    };
    struct Case {
        std::vector<std::string> loads;
        std::string worst;
    };
    const std::vector<Case> cases = {
        {{load("OK", 1, 0, 0, ""), load("OK", 10, 0, 0, "")}, "-"},
        {{load("OK", 1, 0, 1, ""), load("OK", 10, 0, 3, ""), load("OK", 20, 0, 2, "")},
         "load 2 OK at 0:10.250: 3 uncertain"},
        {{load("OK", 1, 0, 9, ""), load("REPAIRED", 10, 1, 0, ""), load("REPAIRED", 20, 2, 0, ""),
          load("REPAIRED", 30, 1, 0, "")},
         "load 3 REPAIRED at 0:20.500: 2 repairs"},
        {{load("REPAIRED", 1, 5, 0, ""), load("BAD", 10, 0, 0, "lost"),
          load("BAD", 20, 0, 0, "later")},
         "load 2 BAD at 0:10.750: lost"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        writeFile(dir.file("r.json"), report("rec.wav", cases[i].loads));
        const auto run = runKelvantoTape({"summary", "r.json"}, work);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> got = lines(run.out);
        ASSERT_EQ(got.size(), 2u) << run.out;
        EXPECT_EQ(got[0].substr(got[0].find("; worst: ") + 9), cases[i].worst);
    }
}
