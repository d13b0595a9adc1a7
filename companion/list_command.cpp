// SPDX-License-Identifier: MIT
// kelvanto-tape list FILE...: one line per load (format, number, length, tones, checksums,
// contents), the tape's name, load count and audio length; BASIC text and hex on request.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "audio/signal_length.h"
#include "audio/wav_file.h"
#include "base/formatted.h"
#include "base/machine.h"
#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/decode_report.h"
#include "companion/load_program.h"
#include "companion/output_file.h"
#include "companion/progress.h"
#include "companion/recording_input.h"
#include "companion/standard_streams.h"
#include "companion/svg_timeline.h"
#include "companion/tape_input.h"
#include "tape/basic_program.h"
#include "tape/hex_text.h"
#include "tape/load_layout.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape list [--basic] [--hex] FILE...\n"
    "       kelvanto-tape list [--basic] [--hex] RECORDING --picture FILE.svg [--force]\n"
    "FILE may be - for a tape image on standard input.\n"
    "Lists the loads of each tape image (or recording: .wav, .flac, ... are decoded first and\n"
    "listed with the decoder's report): position, format, load number, length, header,\n"
    "footer and gap seconds, the stated and the computed checksum (OK or BAD) and what the\n"
    "load holds; then the tape's name, its load count and the length of its audio.\n"
    "  --basic  print each BASIC program as numbered text lines: of any load that holds one,\n"
    "           markup, binary or decoded from a recording\n"
    "  --hex    print each load's data up to its length in hex\n"
    "  --picture FILE.svg  the recording's timeline as an SVG picture (as decode draws it)\n"
    "  -f, --force  replace an existing picture\n"
    "  -q, --quiet  no progress line (shown on a terminal while a recording is decoded, or\n"
    "           when reading a tape image takes over a second)\n"
    "A tape with a bad checksum still lists with status 0; an unreadable file gives 1.\n";

std::string holds(const TapeLoad& load, const LoadCharacters& sent) {
    if (const auto program = programOf(load, sent)) {
        const std::size_t lines = program->lines.size();
        return "BASIC program of " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
    }
    return load.getFormat() == machine::screenLoadFormat ? "screen" : "data";
}

// Sixteen bytes a line; the whole load is made in one string and printed at once.
void printHex(const TapeLoad& load) {
    const int length = std::max(0, load.getLength());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    load.dataBytes.copyTo(bytes.data(), bytes.size());
    std::string out;
    out.reserve(static_cast<std::size_t>(length / 16 + 1) * 80);
    for (int at = 0; at < length; at += 16) {
        const auto count = static_cast<std::size_t>(std::min(16, length - at));
        const std::uint8_t* line = bytes.data() + at;
        out += "    ";
        hexText::appendNumber(out, static_cast<unsigned>(at), 4);
        out += "  ";
        hexText::appendValues(out, line, count, 16);
        out += ' ';
        hexText::appendCharacters(out, line, count);
        out += '\n';
    }
    std::cout << out;
}

void listTape(const std::string& name, const TarqoBinFile* tape, bool basic, bool hex) {
    std::cout << printable(shownInputName(name)) << "\n";
    std::cout << "   #  format  number  length  header  footer     gap  stated  computed       "
                 "holds\n";
    double seconds = 0.0;
    int position = 0;
    for (const TapeLoad& load : tape->loads) {
        ++position;
        const LoadCharacters sent = loadLayout::sentCharacters(load);
        const std::string stated = sent.hasCheckSum ? formatted("%02x", sent.statedCheckSum) : "-";
        const std::string computed =
            sent.hasCheckSum ? formatted("%02x", sent.computedCheckSum) : "-";
        const char* verdict = !sent.hasCheckSum ? "--" : sent.checkSumRight() ? "OK" : "BAD";
        std::cout << formatted("%4d  %6d  %6d  %6d  %6.2f  %6.2f  %6.2f  %6s  %8s  %-3s  ",
                               position, load.getFormat(), load.getLoadNumber(), load.getLength(),
                               load.getHeaderLength(), load.getFooterLength(), load.getGapLength(),
                               stated.c_str(), computed.c_str(), verdict)
                  << holds(load, sent) << "\n";
        seconds += loadSeconds(load, sent, WavFile::defaultSampleRate,
                               WavFile::defaultBitsPerSample, WavFile::defaultChannels);
    }
    const std::size_t count = tape->loads.size();
    std::cout << "name \"" << printable(tape->getName()) << "\", " << count
              << (count == 1 ? " load, " : " loads, ") << formatted("%.3f", seconds)
              << " s of audio\n";
    position = 0;
    for (const TapeLoad& load : tape->loads) {
        ++position;
        const auto program = basic ? programOf(load) : std::nullopt;
        if (program) {
            std::cout << "  load " << position << ": BASIC\n";
            for (const BasicLine& line : program->lines) {
                std::cout << formatted("    %5d ", line.number)
                          << printable(basicLineText(line.codes, tape->getPlainTable(),
                                                     tape->getQuotedTable()))
                          << "\n";
            }
        }
        if (hex) {
            std::cout << "  load " << position << ": " << load.getLength() << " bytes\n";
            printHex(load);
        }
    }
}

}  // namespace

int listCommand(const Words& words) {
    const Arguments arguments("list", words,
                              {{"basic", 0, false},
                               {"hex", 0, false},
                               {"picture", 0, true},
                               {"force", 'f', false},
                               {"quiet", 'q', false},
                               {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().empty()) {
        throw CommandError("list", "needs at least one tape image (see --help)");
    }
    const auto picture = arguments.value("picture");
    if (picture && (arguments.words().size() != 1 || !isRecordingName(arguments.words()[0]))) {
        throw CommandError("list", "--picture draws one recording (.wav, .flac, ...)");
    }
    int status = 0;
    for (const std::string& name : arguments.words()) {
        try {
            // A recording lists as the tape image it decodes to, then the decoder's report.
            const bool quiet = arguments.has("quiet");
            if (isRecordingName(name)) {
                ProgressLine progress(!quiet, atOnce);
                const DecodedTape decoded =
                    decodeRecordings({name}, -1, false, {&progress, picture.has_value()});
                progress.finish();
                listTape(name, decoded.tape.get(), arguments.has("basic"), arguments.has("hex"));
                printDecodeReport(std::cout, decoded);
                if (picture) {
                    writeOutputFile(*picture, timelineSvg(decoded), arguments.has("force"), name);
                }
            } else {
                ProgressLine progress(!quiet, afterASecond);
                progress.set("list: reading " + shownInputName(name));
                const auto tape = readTapeImage(name);
                progress.finish();
                listTape(name, tape.get(), arguments.has("basic"), arguments.has("hex"));
            }
        } catch (const CommandError& error) {
            reportError(error.subject, error.what());
            status = 1;
        }
    }
    return status;
}
