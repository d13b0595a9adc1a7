// SPDX-License-Identifier: MIT
// kelvanto-tape convert IN OUT: a tape image in its canonical text (.bml) or binary (.bin)
// layout, sending the same signal and reading back as the same loads.
#include <iostream>

#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/output_file.h"
#include "companion/output_layout.h"
#include "companion/progress.h"
#include "companion/standard_streams.h"
#include "companion/tape_input.h"
#include "tape/tape_writer.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape convert [--to bml|bin] [--force] IN OUT\n"
    "Writes the tape image IN (.bml or .bin) in the canonical layout that OUT's name asks for:\n"
    ".bml (markup text) or .bin (binary). IN may be - for standard input, OUT - for standard\n"
    "output with --to.\n"
    "Loads are converted between formats so that the tape sends the same signal.\n"
    "  --to bml|bin  the layout, whatever OUT is called\n"
    "  -f, --force   replace an existing OUT\n"
    "  -q, --quiet   no progress line (shown on a terminal when the work takes over a second)\n";

// The writer's loads go into the output file as they are laid out.
class FileSink : public TapeSink {
  public:
    explicit FileSink(OutputFile& file) : file(file) {}
    void put(std::string_view bytes) override { file.write(bytes); }
    bool canReplaceStart() const override { return file.canReplaceStart(); }
    void replaceStart(std::string_view bytes) override { file.replaceStart(bytes); }

  private:
    OutputFile& file;
};

}  // namespace

int convertCommand(const Words& words) {
    const Arguments arguments(
        "convert", words,
        {{"to", 0, true}, {"force", 'f', false}, {"quiet", 'q', false}, {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().size() != 2) {
        throw CommandError("convert", "needs an input and an output name (see --help)");
    }
    const std::string& input = arguments.words()[0];
    const std::string& output = arguments.words()[1];
    const TapeLayout layout = outputLayout("convert", output, arguments.value("to"));
    ProgressLine progress(!arguments.has("quiet"), afterASecond);
    progress.set("convert: reading " + shownInputName(input));
    const auto tape = readTapeImage(input);
    progress.set("convert: writing " + std::to_string(tape->loads.size()) + " loads to " +
                 (output == "-" ? std::string("standard output") : output));
    const bool force = arguments.has("force");
    checkOutputNames({{output, "the output"}}, {input}, "the input file", force);
    // Load by load into the output: a failure on the way leaves no file (and standard output
    // gets nothing before the loads have all been laid out once).
    OutputFile file(output, force);
    FileSink sink(file);
    std::vector<std::string> warnings;
    try {
        warnings = TapeWriter(*tape).write(*tape, layout, sink);
    } catch (const TapeWriteError& error) {
        throw CommandError(input, error.what());
    }
    file.commit();
    progress.finish();
    for (const std::string& warning : warnings) {
        reportWarning(shownInputName(input), warning);
    }
    return 0;
}
