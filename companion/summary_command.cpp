// SPDX-License-Identifier: MIT
// kelvanto-tape summary REPORT.json...: one line per decoded recording of an archive, from
// the JSON reports that decode --json wrote (one per recording, as a batch run makes them).
#include <iostream>

#include "base/formatted.h"
#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/decode_report.h"
#include "companion/report_summary.h"
#include "tape/input_file.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape summary [--csv] REPORT.json...\n"
    "One line per decode report (decode --json FILE): the recording, its loads OK, REPAIRED\n"
    "and BAD, its length and its worst place (the first BAD load, else the load with most\n"
    "repairs, else the one with most uncertain characters); then the totals.\n"
    "  --csv  comma-separated values with a header line, for a spreadsheet\n"
    "Exit status: 0 every report was read; 1 some report could not be read.\n";

// Reports are small; a bound keeps a wrong file (a recording named .json) from filling memory.
constexpr std::size_t reportSizeLimit = std::size_t{64} << 20;

// A CSV field: quoted when it holds a comma, a quote or a line end (RFC 4180).
std::string csvField(const std::string& text) {
    const std::string shown = printable(text);
    if (shown.find_first_of(",\"") == std::string::npos) {
        return shown;
    }
    std::string quoted = "\"";
    for (char c : shown) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string worstText(const ReportSummary& s) {
    if (s.worstLoad == 0) {
        return "-";
    }
    std::string text = "load " + std::to_string(s.worstLoad) + " " + s.worstVerdict + " at " +
                       clockTime(s.worstSeconds);
    if (!s.worstWhat.empty()) {
        text += ": " + s.worstWhat;
    }
    return printable(text);
}

void printLine(const std::string& report, const ReportSummary& s, bool csv) {
    if (csv) {
        std::cout << csvField(report) << "," << csvField(s.recordings) << "," << s.loads << ","
                  << s.ok << "," << s.repaired << "," << s.bad << ","
                  << formatted("%.3f", s.seconds) << ",";
        if (s.worstLoad > 0) {
            std::cout << s.worstLoad << "," << s.worstVerdict << ","
                      << formatted("%.3f", s.worstSeconds) << "," << csvField(s.worstWhat);
        } else {
            std::cout << ",,,";
        }
        std::cout << "\n";
        return;
    }
    std::cout << printable(s.recordings)
              << formatted(": %d %s, %d OK, %d REPAIRED, %d BAD, %s; worst: ", s.loads,
                           s.loads == 1 ? "load" : "loads", s.ok, s.repaired, s.bad,
                           clockTime(s.seconds).c_str())
              << worstText(s) << "\n";
}

}  // namespace

int summaryCommand(const Words& words) {
    const Arguments arguments("summary", words, {{"csv", 0, false}, {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().empty()) {
        throw CommandError("summary", "needs at least one decode report (see --help)");
    }
    const bool csv = arguments.has("csv");
    if (csv) {
        std::cout << "report,recording,loads,ok,repaired,bad,seconds,worst_load,worst_verdict,"
                     "worst_seconds,worst_what\n";
    }
    int status = 0;
    ReportSummary total;
    int read = 0;
    for (const std::string& name : arguments.words()) {
        try {
            const InputFile input = readInputFile(name, reportSizeLimit);
            if (input.status != InputFile::Status::read) {
                throw CommandError(name, input.reason);
            }
            const ReportSummary summary = summariseReport(name, input.bytes);
            printLine(name, summary, csv);
            ++read;
            total.loads += summary.loads;
            total.ok += summary.ok;
            total.repaired += summary.repaired;
            total.bad += summary.bad;
            total.seconds += summary.seconds;
        } catch (const CommandError& error) {
            reportError(error.subject, error.what());
            status = 1;
        }
    }
    if (!csv) {
        std::cout << read << (read == 1 ? " recording: " : " recordings: ") << total.loads
                  << (total.loads == 1 ? " load, " : " loads, ") << total.ok << " OK, "
                  << total.repaired << " REPAIRED, " << total.bad << " BAD, "
                  << clockTime(total.seconds) << "\n";
    }
    return status;
}
