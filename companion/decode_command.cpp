// kelvanto-tape decode RECORDING... [-o OUT]: every load found in the recordings back as a
// tape image, with a report of where each load stood and how well it read.
#include <iostream>
#include <optional>

#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/decode_report.h"
#include "companion/output_file.h"
#include "companion/recording_input.h"
#include "tape/tape_writer.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape decode [--channel N] [--json FILE] [--force] RECORDING... [-o OUT]\n"
    "Finds every load in the recordings (WAV, FLAC, AIFF, Ogg, MP3, ...) and writes them as\n"
    "the tape image OUT (.bml or .bin; default: the first recording's name with .bml).\n"
    "Several recordings are takes of the same tape: per load a take with a right checksum wins.\n"
    "  -o, --output OUT  the tape image\n"
    "  --channel N       read only channel N (1 = left); default: every channel\n"
    "  --json FILE       the report as JSON as well\n"
    "  -f, --force       replace existing files\n"
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
                               {"channel", 0, true},
                               {"json", 0, true},
                               {"force", 'f', false},
                               {"help", 0, false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().empty()) {
        throw CommandError("decode", "needs at least one recording (see --help)");
    }
    const std::string output =
        arguments.value("output").value_or(defaultOutput(arguments.words()[0]));
    TapeLayout layout = TapeLayout::text;
    if (!layoutForName(output, layout)) {
        throw CommandError(output, "the output name must end in .bml or .bin");
    }
    const int channel = static_cast<int>(arguments.number("channel", 0, 1, 64)) - 1;
    const bool force = arguments.has("force");
    const std::optional<std::string> json = arguments.value("json");
    // Every output is checked, and made as its temporary file, before the minutes of
    // decoding: a name that cannot be written fails now, not after the work.
    std::vector<OutputName> outputs = {{output, "the tape image"}};
    if (json) {
        outputs.push_back({*json, "the --json report"});
    }
    checkOutputNames(outputs, arguments.words(), "a recording", force);
    OutputFile image(output, force);
    std::optional<OutputFile> report;
    if (json) {
        report.emplace(*json, force);
    }

    DecodedTape decoded =
        decodeRecordings(arguments.words(), channel, layout == TapeLayout::binary);
    const std::string& first = arguments.words()[0];
    if (decoded.loads.empty()) {
        throw CommandError("", "No loads found in " + first);
    }
    printDecodeReport(std::cout, decoded);
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
        std::cout << "wrote " << printable(output) << "\n";
    } else {
        std::cout << "no load could be read; no tape image written\n";
    }
    if (report && !reportFailure) {
        try {
            report->commit();
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
