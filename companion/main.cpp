// SPDX-License-Identifier: MIT
// kelvanto-tape: the companion of kelvanto. Writes tape images in their canonical layouts,
// lists them, exports screens, plays them and decodes recordings, one subcommand per file.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "base/fatal.h"
#include "base/messages.h"
#include "base/standard_streams.h"
#include "base/temporary_files.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/standard_streams.h"

namespace {

constexpr const char* version = "kelvanto-tape (Kelvanto v2.0beta)\n";
constexpr const char* usage =
    "Usage: kelvanto-tape COMMAND [options] FILE...\n"
    "Commands:\n"
    "  convert IN OUT     write a tape image as canonical .bml or .bin\n"
    "  list FILE...       the loads of tape images: formats, lengths, checksums, contents\n"
    "  screen IN -o PIC   a screen load as a 160 x 90 picture (.pbm or .bmp)\n"
    "  play TAPE          the tape's signal as a WAV stream on standard output\n"
    "  decode REC... -o OUT  recordings of a tape back into a tape image, with a report\n"
    "  summary REPORT.json...  one line per recording from decode's JSON reports\n"
    "Run 'kelvanto-tape COMMAND --help' for the options of a command. Options take their\n"
    "value joined or not (-k44100, -k 44100, --rate=44100), flags bundle (-fo OUT), and --\n"
    "ends the options. A file named - is standard input or output where a command says so.\n"
    "Exit status: 0 on success, 1 on failure; decode and screen: 2 when the result was\n"
    "written but a load in it read BAD.\n";

// Memory ran out: said without allocating (a bad_alloc may itself find no memory for the
// exception, which would end the process with an abort), after the temporary files went.
void outOfMemory() {
    kelvanto::removeTemporaryFiles();
    static constexpr char line[] = "kelvanto-tape: Out of memory\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line, sizeof line - 1);
    std::_Exit(1);
}

// std::terminate with no exception in flight: in this program that is a throw that found no
// memory for its exception object (the allocation failed and the emergency pool was never
// filled, as under a tight address-space limit). Said as what it is, with status 1.
void terminatedWithoutException() {
    if (std::current_exception() == nullptr) {
        outOfMemory();
    }
    static constexpr char line[] = "kelvanto-tape: internal error: uncaught exception\n";
    kelvanto::removeTemporaryFiles();
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line, sizeof line - 1);
    std::_Exit(1);
}

// Installed before every other static object of the program is built: the libraries' own
// static objects allocate, and under a tight limit their first throw already finds no memory.
struct TerminateHandlerFirst {
    TerminateHandlerFirst() { std::set_terminate(terminatedWithoutException); }
};
__attribute__((init_priority(101))) const TerminateHandlerFirst terminateHandlerFirst;

struct Command {
    const char* name;
    int (*run)(const Words&);
};
constexpr Command commands[] = {{"convert", convertCommand}, {"list", listCommand},
                                {"screen", screenCommand},   {"play", playCommand},
                                {"decode", decodeCommand},   {"summary", summaryCommand}};

}  // namespace

int main(int argc, char** argv) {
    // Before any file is opened: an output file must never take the number of a closed
    // standard descriptor and receive the messages meant for it.
    if (!kelvanto::openClosedStandardDescriptors()) {
        return 127;
    }
    std::set_new_handler(outOfMemory);
    // The layers beneath end the process on a failure; here they throw, so that every failure
    // is reported in this program's own form.
    kelvanto::setFatalHook(kelvanto::throwFatalError);
    // An interrupted run removes its temporary files; a reader that goes away (a player that
    // stops) fails a write instead of ending the process.
    kelvanto::installTerminationCleanup();
    const Words words(argv + std::min(argc, 1), argv + argc);
    if (words.empty()) {
        std::cerr << usage;
        return 1;
    }
    const std::string& name = words.front();
    if (name == "--help" || name == "-h") {
        std::cout << usage;
        return 0;
    }
    if (name == "--version") {
        std::cout << version;
        return 0;
    }
    try {
        for (const Command& command : commands) {
            if (name == command.name) {
                const int status = command.run(Words(words.begin() + 1, words.end()));
                std::cout.flush();
                if (!std::cout) {
                    if (standardOutputClosed()) {
                        return status;  // the reader has all it wanted
                    }
                    reportError("standard output", std::strerror(errno));
                    return 1;
                }
                return status;
            }
        }
        reportError("", "unknown command " + name + " (see --help)");
    } catch (const OutputClosed&) {
        return 0;
    } catch (const CommandError& error) {
        reportError(error.subject, error.what());
    } catch (const kelvanto::FatalError& error) {
        reportError("", error.message);
    } catch (const std::bad_alloc&) {
        reportError("", "Out of memory");
    } catch (const std::exception& error) {
        // Nothing ends the run with an abort: whatever escaped a command is still reported,
        // and unwinding to here has removed its temporary files.
        reportError("", error.what());
    } catch (...) {
        reportError("", "internal error");
    }
    return 1;
}
