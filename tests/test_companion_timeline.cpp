// SPDX-License-Identifier: MIT
// The SVG timeline of decode --picture and list --picture: well-formed XML that a standard
// renderer draws, marks where a known dropout stands, spans in the verdict's colour, a row per
// take and one merged, the picture of a decoded screen.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support.h"

using testing_support::Bytes;
using testing_support::readFile;
using testing_support::runKelvanto;
using testing_support::runKelvantoTape;
using testing_support::runProgram;
using testing_support::ScratchDir;
using testing_support::sourcePath;
using testing_support::writeFile;

namespace {

// A name that XML must escape, for the recording with the dropout.
const std::string cutName = "cut&\"<1>.wav";

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// kelvanto's recording of the example tape (two loads, the second from 2.86 s) and a copy
// with 2 ms of silence at 3.9 s, inside the second load's data.
void record(const ScratchDir& dir) {
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "rec.wav", sourcePath("examples/tape.bin")},
                          dir.path().string())
                  .status,
              0);
    Bytes cut = readFile(dir.file("rec.wav"));
    const std::size_t from = 44 + 2 * static_cast<std::size_t>(3.9 * 22050);  // 8-bit stereo
    std::fill(cut.begin() + static_cast<long>(from), cut.begin() + static_cast<long>(from + 176),
              0x80);
    writeFile(dir.file(cutName), cut);
}

struct Line {
    std::string kind;
    double seconds = 0.0;
    double x = 0.0;
};

// The marks and ticks: <line class="K" data-seconds="S" x1="X" ...
std::vector<Line> lines(const std::string& svg) {
    static const std::regex pattern(
        "<line class=\"([a-z]+)\" data-seconds=\"([0-9.]+)\" x1=\"([0-9.]+)\"");
    std::vector<Line> found;
    for (std::sregex_iterator it(svg.begin(), svg.end(), pattern), end; it != end; ++it) {
        found.push_back({(*it)[1], std::stod((*it)[2]), std::stod((*it)[3])});
    }
    return found;
}

bool toolWorks(const std::string& script, const std::string& work) {
    return runProgram("/bin/sh", {"-c", script}, work).status == 0;
}

}  // namespace

TEST(CompanionTimeline, TheDropoutIsMarkedWhereItIsAndTheFileIsWellFormed) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    record(dir);
    const auto decode = runKelvantoTape(
        {"decode", cutName, "-o", "cut.bml", "--json", "cut.json", "--picture", "cut.svg"}, work);
    ASSERT_EQ(decode.status, 2) << decode.out << decode.err;
    const std::string svg = text(readFile(dir.file("cut.svg")));
    const Bytes json = readFile(dir.file("cut.json"));
    const auto report = nlohmann::json::parse(json.begin(), json.end());
    ASSERT_EQ(report["loads"].size(), 2u);
    ASSERT_EQ(report["loads"][1]["verdict"], "BAD");
    const double problem = report["loads"][1]["problem"]["seconds"];
    EXPECT_NEAR(problem, 3.9, 0.01);

    // The time axis: ticks every half second here; each mark between its two ticks.
    std::map<double, double> ticks;
    std::vector<Line> marks;
    for (const Line& line : lines(svg)) {
        if (line.kind == "tick") {
            ticks[line.seconds] = line.x;
        } else {
            marks.push_back(line);
        }
    }
    ASSERT_TRUE(ticks.count(3.5) == 1 && ticks.count(4.0) == 1) << svg.substr(0, 2000);
    const double perSecond = (ticks[4.0] - ticks[3.5]) / 0.5;
    ASSERT_FALSE(marks.empty());
    bool problemMarked = false;
    for (const Line& mark : marks) {
        SCOPED_TRACE(mark.kind);
        // Nothing in the first load, which read OK; everything of the second after its start.
        EXPECT_GT(mark.seconds, 2.86);
        EXPECT_NEAR(mark.x, ticks[3.5] + (mark.seconds - 3.5) * perSecond, 0.02);
        if (mark.kind == "problem") {
            problemMarked = true;
            EXPECT_NEAR(mark.seconds, problem, 0.0001);
            EXPECT_NEAR(mark.x, ticks[3.5] + 0.4 * perSecond, 0.01 * perSecond);
        }
    }
    EXPECT_TRUE(problemMarked);
    // The spans in the colours of the legend, with their numbers.
    const std::regex key("<rect class=\"key\" data-verdict=\"BAD\" [^>]*fill=\"(#[0-9a-f]{6})\"");
    std::smatch badColour;
    ASSERT_TRUE(std::regex_search(svg, badColour, key));
    EXPECT_NE(svg.find("<g class=\"load\" data-load=\"2\" data-verdict=\"BAD\">"),
              std::string::npos);
    EXPECT_NE(svg.find("<g class=\"load\" data-load=\"1\" data-verdict=\"OK\">"),
              std::string::npos);
    const std::size_t second = svg.find("data-load=\"2\"");
    EXPECT_NE(svg.find("fill=\"" + badColour[1].str() + "\"", second), std::string::npos);
    // The name is escaped, never raw.
    EXPECT_NE(svg.find("cut&amp;&quot;&lt;1&gt;.wav"), std::string::npos);
    EXPECT_EQ(svg.find(cutName), std::string::npos);

    if (!toolWorks("printf '<a/>' | xmllint --noout -", work)) {
        GTEST_SKIP() << "xmllint does not run here";
    }
    const auto xml = runProgram("xmllint", {"--noout", "cut.svg"}, work);
    EXPECT_EQ(xml.status, 0) << xml.err;
    EXPECT_EQ(xml.err, "");
}

TEST(CompanionTimeline, AStandardRendererDrawsIt) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    if (!toolWorks("printf '<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"2\" height=\"2\"/>' "
                   "> t.svg && rsvg-convert t.svg -o t.png && test -s t.png",
                   work)) {
        GTEST_SKIP() << "rsvg-convert does not run here";
    }
    record(dir);
    ASSERT_EQ(runKelvantoTape({"decode", "rec.wav", "--picture", "rec.svg"}, work).status, 0);
    const auto render = runProgram("rsvg-convert", {"rec.svg", "-o", "rec.png"}, work);
    EXPECT_EQ(render.status, 0) << render.err;
    const Bytes png = readFile(dir.file("rec.png"));
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

TEST(CompanionTimeline, ARowPerTakeOneMergedAndTheScreenBesideItsSpan) {
    ScratchDir dir;
    const std::string work = dir.path().string();
    record(dir);
    const auto takes = runKelvantoTape(
        {"decode", "rec.wav", cutName, "-o", "both.bml", "--picture", "both.svg"}, work);
    ASSERT_EQ(takes.status, 0) << takes.out << takes.err;  // the clean take wins load 2
    const std::string both = text(readFile(dir.file("both.svg")));
    const std::regex row("<g class=\"row\" data-label=\"([^\"]*)\">");
    std::vector<std::string> rows;
    for (std::sregex_iterator it(both.begin(), both.end(), row), end; it != end; ++it) {
        rows.push_back((*it)[1]);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"rec.wav", "cut&amp;&quot;&lt;1&gt;.wav", "merged"}));
    const std::size_t merged = both.find("data-label=\"merged\"");
    EXPECT_NE(both.find("<g class=\"load\" data-load=\"2\" data-verdict=\"OK\">", merged),
              std::string::npos);
    // Two envelopes, one per take; none for the merged row.
    std::size_t envelopes = 0;
    for (std::size_t at = both.find("class=\"envelope\""); at != std::string::npos;
         at = both.find("class=\"envelope\"", at + 1)) {
        ++envelopes;
        EXPECT_LT(at, merged);
    }
    EXPECT_EQ(envelopes, 2u);
    EXPECT_EQ(both.find("class=\"screen\""), std::string::npos);

    // A screen load: its picture follows, as a path of lit pixels; list draws the same file.
    ASSERT_EQ(runKelvanto({"-v", "0", "-w", "screen.wav", sourcePath("examples/screen.bml")}, work)
                  .status,
              0);
    ASSERT_EQ(runKelvantoTape({"decode", "screen.wav", "--picture", "s.svg"}, work).status, 0);
    const std::string screen = text(readFile(dir.file("s.svg")));
    EXPECT_NE(screen.find("<g class=\"screen\" data-load=\"1\">"), std::string::npos);
    const auto list = runKelvantoTape({"list", "screen.wav", "--picture", "l.svg"}, work);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(text(readFile(dir.file("l.svg"))) == screen);
    const auto refused =
        runKelvantoTape({"list", sourcePath("examples/basic.bml"), "--picture", "x.svg"}, work);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err,
              "kelvanto-tape: list: --picture draws one recording (.wav, .flac, ...)\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.svg")));
}
