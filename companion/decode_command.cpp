// SPDX-License-Identifier: MIT
// kelvanto-tape decode RECORDING... [-o OUT]: every load found in the recordings back as a
// tape image, with a report of where each load stood and how well it read.
#include <algorithm>
#include <iostream>
#include <optional>

#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/decode_report.h"
#include "companion/output_file.h"
#include "companion/output_layout.h"
#include "companion/progress.h"
#include "companion/recording_input.h"
#include "companion/svg_timeline.h"
#include "tape/tape_writer.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape decode [--channel N] [--json FILE] [--force] RECORDING... [-o OUT]\n"
    "Finds every load in the recordings (WAV, FLAC, AIFF, Ogg, MP3, ...) and writes them as\n"
    "the tape image OUT (.bml or .bin; default: the first recording's name with .bml).\n"
    "Several recordings are takes of the same tape: per load a take with a right checksum wins.\n"
    "A recording named - is standard input, and then -o is needed.\n"
    "  -o, --output OUT  the tape image; - for standard output (with --to; the report then\n"
    "                    goes to standard error)\n"
    "  --to bml|bin      the layout, whatever OUT is called\n"
    "  --channel N       read only channel N (1 = left); default: every channel\n"
    "  --json FILE       the report as JSON as well\n"
    "  --picture FILE    the recordings' timeline as an SVG picture: level, loads coloured\n"
    "                    by verdict, repairs and doubts at their time, screens beside them\n"
    "  -f, --force       replace existing files\n"
    "  -q, --quiet       no progress line (shown only when standard error is a terminal)\n"
    "Exit status: 0 every load read with a right checksum; 2 the tape image was written but\n"
    "some load is BAD; 1 a failure: nothing could be decoded, or a file could not be read or\n"
    "written (the message on standard error says which, and whether the tape image was\n"
    "written).\n";

std::string defaultOutput(const std::string& recording) {
    const std::size_t slash = recording.rfind('/');
    const std::size_t dot = recording.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (extension ? recording.substr(0, dot) : recording) + ".bml";
}

}  // namespace

int decodeCommand(const Words& words) {
    const Arguments arguments("decode", words,
                              {{"output", 'o', true},
                               {"to", 0, true},
                               {"channel", 0, true},
                               {"json", 0, true},
                               {"picture", 0, true},
                               {"force", 'f', false},
                               {"quiet", 'q', false},
                               {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().empty()) {
        throw CommandError("decode", "needs at least one recording (see --help)");
    }
    const bool readsStandardInput = std::find(arguments.words().begin(), arguments.words().end(),
                                              "-") != arguments.words().end();
    if (readsStandardInput && !arguments.has("output")) {
        throw CommandError("decode", "standard input needs -o OUT (see --help)");
    }
    const std::string output =
        arguments.value("output").value_or(defaultOutput(arguments.words()[0]));
    const TapeLayout layout = outputLayout("decode", output, arguments.value("to"));
    // With the tape image on standard output, the report goes to standard error.
    std::ostream& out = output == "-" ? std::cerr : std::cout;
    const int channel = static_cast<int>(arguments.number("channel", 0, 1, 64)) - 1;
    const bool force = arguments.has("force");
    const std::optional<std::string> json = arguments.value("json");
    const auto picture = arguments.value("picture");
    // Every output is checked, and made as its temporary file, before the minutes of
    // decoding: a name that cannot be written fails now, not after the work.
    std::vector<OutputName> outputs = {{output, "the tape image"}};
    if (json) {
        outputs.push_back({*json, "the --json report"});
    }
    if (picture) {
        outputs.push_back({*picture, "the --picture timeline"});
    }
    checkOutputNames(outputs, arguments.words(), "a recording", force);
    OutputFile image(output, force);
    std::optional<OutputFile> report;
    if (json) {
        report.emplace(*json, force);
    }
    std::optional<OutputFile> timeline;
    if (picture) {
        timeline.emplace(*picture, force);
    }

    ProgressLine progress(!arguments.has("quiet"), atOnce);
    DecodedTape decoded = decodeRecordings(arguments.words(), channel, layout == TapeLayout::binary,
                                           {&progress, picture.has_value()});
    progress.finish();
    const std::string& first = arguments.words()[0];
    if (decoded.loads.empty()) {
        throw CommandError("", "No loads found in " + first);
    }
    printDecodeReport(out, decoded);
    std::size_t bad = 0;
    for (const auto& load : decoded.loads) {
        bad += load.verdict == kelvanto::decode::Verdict::bad ? 1 : 0;
    }
    const std::size_t loadCount = decoded.loads.size();
    // The JSON report goes to its temporary file first, load by load; then the loads' doubts
    // and repairs are let go before the tape image is made, so the two never add up.
    std::optional<CommandError> reportFailure;
    if (report) {
        try {
            writeDecodeReportJson([&](std::string_view text) { report->write(text); }, decoded,
                                  output);
            if (*json == "-") {
                // Standard output takes it whole now, before any later line.
                report->commit();
                report.reset();
            }
        } catch (const CommandError& error) {
            reportFailure = error;  // the tape image is still written
            report.reset();
        }
    }
    // The timeline is drawn from the loads too, before they are let go.
    if (timeline && !reportFailure) {
        try {
            timeline->write(timelineSvg(decoded));
        } catch (const CommandError& error) {
            reportFailure = error;  // the tape image is still written
            timeline.reset();
        }
    }
    std::vector<kelvanto::decode::DecodedLoad>().swap(decoded.loads);
    const bool anyLoad = !decoded.tape->loads.empty();
    if (anyLoad) {
        WrittenTape written;
        try {
            written = TapeWriter(*decoded.tape).write(*decoded.tape, layout);
        } catch (const TapeWriteError& error) {
            throw CommandError(output, error.what());
        }
        decoded.tape.reset();
        for (const std::string& warning : written.warnings) {
            reportWarning(output, warning);
        }
        image.write(written.bytes);
        image.commit();
        if (output != "-") {
            out << "wrote " << printable(output) << "\n";
        }
    } else {
        out << "no load could be read; no tape image written\n";
    }
    if (report && !reportFailure) {
        try {
            report->commit();
        } catch (const CommandError& error) {
            reportFailure = error;
        }
    }
    if (timeline && !reportFailure) {
        try {
            timeline->commit();
        } catch (const CommandError& error) {
            reportFailure = error;
        }
    }
    if (reportFailure && anyLoad) {
        // The loads are safe: say so, rather than leave the user to think nothing came of
        // the run.
        throw CommandError(
            reportFailure->subject,
            std::string(reportFailure->what()) + "; the tape image " + output + " was written");
    }
    if (reportFailure) {
        throw *reportFailure;
    }
    if (!anyLoad) {
        throw CommandError(first, "no load could be read");
    }
    if (bad > 0) {
        // Status 2 has its line too, for whoever reads only standard error.
        reportError(first, std::to_string(bad) + " of " + std::to_string(loadCount) +
                               (loadCount == 1 ? " load" : " loads") + " BAD");
        return 2;
    }
    return 0;
}
