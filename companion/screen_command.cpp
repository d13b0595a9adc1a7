// SPDX-License-Identifier: MIT
// kelvanto-tape screen IN -o PICTURE: the 1800 screen bytes of a screen load (the bytes that
// kelvanto's -s replaces) as a picture, from a tape image or straight from a recording.
#include <iostream>

#include "base/machine.h"
#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/output_file.h"
#include "companion/progress.h"
#include "companion/recording_input.h"
#include "companion/screen_load.h"
#include "companion/screen_picture.h"
#include "companion/tape_input.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape screen [--load N] [--offset K] [--to pbm|bmp] [--force] IN -o PICTURE\n"
    "Writes the 160 x 90 screen of a screen load of IN as PICTURE: .pbm (P4) or .bmp (1 bit,\n"
    "black first, which kelvanto -s reads back). IN is a tape image (.bml, .bin; - for\n"
    "standard input) or a recording (.wav, .flac, ...), which is decoded first.\n"
    "The screen load is found by itself: a load of format 2 (its screen is the second half\n"
    "of its data), or a load of 3601 characters on tape, which is what a screen load of 3600\n"
    "bytes (as kelvanto -s fills it) becomes through a recording and decode.\n"
    "  --load N        the load at position N (default: the first screen load); any load\n"
    "                  named so is read as a screen load, a short one (cut by a dropout)\n"
    "                  as far as its characters go, the rest blank\n"
    "  --offset K      take the 1800 bytes from data index K, for a load of another format\n"
    "  --to pbm|bmp    the kind of picture, whatever PICTURE is called\n"
    "  -o, --output    the picture file; - for standard output (with --to)\n"
    "  -f, --force     replace an existing PICTURE\n"
    "  -q, --quiet     no progress line while a recording is decoded\n"
    "Exit status: 0 the picture was written; 2 it was written from a load of a recording\n"
    "that read BAD; 1 failure.\n";

bool endsWith(const std::string& name, const std::string& extension) {
    if (name.size() < extension.size()) {
        return false;
    }
    std::string tail = name.substr(name.size() - extension.size());
    for (char& c : tail) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return tail == extension;
}

// Whether the picture is a PBM (else a BMP): from --to, or from the name.
bool pbmWanted(const Arguments& arguments, const std::string& output) {
    if (const auto to = arguments.value("to")) {
        if (*to != "pbm" && *to != "bmp") {
            throw CommandError("screen", "--to takes pbm or bmp, not " + *to);
        }
        return *to == "pbm";
    }
    if (output == "-") {
        throw CommandError("screen", "standard output needs --to pbm or --to bmp");
    }
    const bool pbm = endsWith(output, ".pbm");
    if (!pbm && !endsWith(output, ".bmp")) {
        throw CommandError(output, "the picture name must end in .pbm or .bmp");
    }
    return pbm;
}

}  // namespace

int screenCommand(const Words& words) {
    const Arguments arguments("screen", words,
                              {{"output", 'o', true},
                               {"load", 0, true},
                               {"offset", 0, true},
                               {"to", 0, true},
                               {"force", 'f', false},
                               {"quiet", 'q', false},
                               {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    const auto output = arguments.value("output");
    if (arguments.words().size() != 1 || !output) {
        throw CommandError("screen", "needs a tape image and -o PICTURE (see --help)");
    }
    const bool pbm = pbmWanted(arguments, *output);
    const std::string& input = arguments.words()[0];
    std::unique_ptr<TarqoBinFile> tape;
    DecodedTape decoded;
    if (isRecordingName(input)) {
        ProgressLine progress(!arguments.has("quiet"), atOnce);
        decoded = decodeRecordings({input}, -1, false, {&progress, false});
        tape = std::move(decoded.tape);
    } else {
        tape = readTapeImage(input);
    }
    const std::string shown = input == "-" ? "standard input" : input;
    const long count = static_cast<long>(tape->loads.size());
    // With an offset the load is any load, the first by default; without one it must hold a
    // screen, the first such load by default.
    const bool named = arguments.has("load");
    long position =
        arguments.number("load", arguments.has("offset") ? 1 : 0, 1, std::max(1L, count));
    if (position == 0) {
        position = firstScreenLoad(*tape);
    }
    if (position == 0 || position > count) {
        throw CommandError(shown, arguments.has("offset") || named
                                      ? "has no load " + std::to_string(std::max(position, 1L))
                                      : std::string("holds no screen load (") + screenLoadRule +
                                            "); name one with --load, or give --offset K");
    }
    const TapeLoad& load = tape->loads[static_cast<std::size_t>(position - 1)];
    ScreenBytes screen{};
    if (arguments.has("offset")) {
        const long start = arguments.number("offset", 0, 0, machine::loadDataSize - 1);
        for (std::size_t i = 0; i < screen.size(); ++i) {
            screen[i] = load.byteAt(start + static_cast<long>(i));
        }
    } else if (const auto found = screenOf(load, named)) {
        screen = found->bytes;
        if (found->received < screen.size()) {
            reportWarning(shown, "load " + std::to_string(position) + " holds " +
                                     std::to_string(found->received) + " of the screen's " +
                                     std::to_string(screen.size()) +
                                     " bytes; the rest of the picture is blank");
        }
    } else {
        throw CommandError(shown, "load " + std::to_string(position) + " of format " +
                                      std::to_string(load.getFormat()) + " and length " +
                                      std::to_string(load.getLength()) +
                                      " holds no screen; give --offset K");
    }
    writeOutputFile(*output, pbm ? pbmPicture(screen) : bmpPicture(screen), arguments.has("force"),
                    input);
    // A load of a recording that read BAD gives a picture with wrong bytes somewhere.
    const auto decodedIndex = static_cast<std::size_t>(load.getLoadNumber() - 1);
    if (!decoded.loads.empty() && decodedIndex < decoded.loads.size() &&
        decoded.loads[decodedIndex].verdict == kelvanto::decode::Verdict::bad) {
        reportWarning(shown, "load " + std::to_string(position) +
                                 " read BAD: the picture may be wrong where the reading failed");
        return 2;
    }
    return 0;
}
