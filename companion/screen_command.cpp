// kelvanto-tape screen IN -o PICTURE: the 1800 screen bytes of a screen load (the bytes that
// kelvanto's -s replaces) as a picture.
#include <iostream>

#include "base/machine.h"
#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/output_file.h"
#include "companion/screen_picture.h"
#include "companion/tape_input.h"
#include "tape/load_layout.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape screen [--load N] [--offset K] [--force] IN -o PICTURE\n"
    "Writes the 160 x 90 screen of a screen load (format 2) of IN as PICTURE: .pbm (P4) or\n"
    ".bmp (1 bit, black first, which kelvanto -s reads back).\n"
    "  --load N      the load at position N (default: the first screen load)\n"
    "  --offset K    take the 1800 bytes from data index K, for a load of another format\n"
    "  -o, --output  the picture file\n"
    "  -f, --force   replace an existing PICTURE\n";

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

}  // namespace

int screenCommand(const Words& words) {
    const Arguments arguments("screen", words,
                              {{"output", 'o', true},
                               {"load", 0, true},
                               {"offset", 0, true},
                               {"force", 'f', false},
                               {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    const auto output = arguments.value("output");
    if (arguments.words().size() != 1 || !output) {
        throw CommandError("screen", "needs a tape image and -o PICTURE (see --help)");
    }
    const bool pbm = endsWith(*output, ".pbm");
    if (!pbm && !endsWith(*output, ".bmp")) {
        throw CommandError(*output, "the picture name must end in .pbm or .bmp");
    }
    const std::string& input = arguments.words()[0];
    const auto tape = readTapeImage(input);
    const long count = static_cast<long>(tape->loads.size());
    // With an offset the load is any load, the first by default; without one it must be a
    // screen load, the first of them by default.
    long position =
        arguments.number("load", arguments.has("offset") ? 1 : 0, 1, std::max(1L, count));
    if (position == 0) {
        for (long i = 0; i < count && position == 0; ++i) {
            if (tape->loads[static_cast<std::size_t>(i)].getFormat() == machine::screenLoadFormat) {
                position = i + 1;
            }
        }
    }
    if (position == 0 || position > count) {
        throw CommandError(input, arguments.has("offset")
                                      ? "has no load " + std::to_string(std::max(position, 1L))
                                      : "holds no screen load (format 2); name one with --load "
                                        "and --offset");
    }
    const TapeLoad& load = tape->loads[static_cast<std::size_t>(position - 1)];
    long start = 0;
    if (arguments.has("offset")) {
        start = arguments.number("offset", 0, 0, machine::loadDataSize - 1);
    } else if (load.getFormat() == machine::screenLoadFormat) {
        // The second half of a screen load starts one byte before the middle.
        start = loadLayout::secondHalfStart(load.getFormat(), load.getLength());
    } else {
        throw CommandError(input, "load " + std::to_string(position) + " is of format " +
                                      std::to_string(load.getFormat()) +
                                      ", not a screen load; give --offset K");
    }
    ScreenBytes screen{};
    for (std::size_t i = 0; i < screen.size(); ++i) {
        screen[i] = load.byteAt(start + static_cast<long>(i));
    }
    writeOutputFile(*output, pbm ? pbmPicture(screen) : bmpPicture(screen), arguments.has("force"),
                    input);
    return 0;
}
