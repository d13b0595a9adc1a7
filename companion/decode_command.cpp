// kelvanto-tape decode RECORDING... [-o OUT]: every load found in the recordings back as a
// tape image, with a report of where each load stood and how well it read.
#include <algorithm>
#include <iostream>

#include "base/same_file.h"
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
    "some load is BAD; 1 nothing could be decoded.\n";

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
    ProgressLine progress(!arguments.has("quiet"), atOnce);
    const auto picture = arguments.value("picture");
    const DecodedTape decoded =
        decodeRecordings(arguments.words(), channel, {&progress, picture.has_value()});
    progress.finish();
    if (decoded.loads.empty()) {
        throw CommandError("", "No loads found in " + arguments.words()[0]);
    }
    printDecodeReport(out, decoded);
    bool bad = false;
    for (const auto& load : decoded.loads) {
        bad = bad || load.verdict == kelvanto::decode::Verdict::bad;
    }
    const bool force = arguments.has("force");
    if (!decoded.tape->loads.empty()) {
        WrittenTape written;
        try {
            written = TapeWriter(*decoded.tape).write(*decoded.tape, layout);
        } catch (const TapeWriteError& error) {
            throw CommandError(output, error.what());
        }
        for (const std::string& warning : written.warnings) {
            reportWarning(output, warning);
        }
        for (const std::string& recording : arguments.words()) {
            if (kelvanto::isSameFile(output, recording)) {
                throw CommandError(output, "is a recording; choose another output name");
            }
        }
        writeOutputFile(output, written.bytes, force);
        if (output != "-") {
            out << "wrote " << printable(output) << "\n";
        }
    } else {
        out << "no load could be read; no tape image written\n";
    }
    if (const auto json = arguments.value("json")) {
        writeOutputFile(*json, decodeReportJson(decoded, output), force);
    }
    if (picture) {
        writeOutputFile(*picture, timelineSvg(decoded), force);
    }
    if (decoded.tape->loads.empty()) {
        return 1;
    }
    return bad ? 2 : 0;
}
