// SPDX-License-Identifier: MIT
// kelvanto-tape play TAPE: the signal kelvanto would write, as a WAV stream on standard
// output whose sizes are right from the first byte, for a player such as aplay.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "audio/conversion_run.h"
#include "audio/wav_file.h"
#include "base/fatal.h"
#include "companion/arguments.h"
#include "companion/command_error.h"
#include "companion/commands.h"
#include "companion/standard_streams.h"
#include "companion/tape_input.h"

namespace {

constexpr const char* help =
    "Usage: kelvanto-tape play [-b 8|16] [-c 1|2] [-k 22050|44100] TAPE | aplay\n"
    "Writes the signal of the tape image TAPE as a WAV stream on standard output, the same\n"
    "bytes as kelvanto would write into a file, so a tape plays into the machine directly.\n"
    "  -b, --bits N      bits per sample (default 8)\n"
    "  -c, --channels N  channels (default 2)\n"
    "  -k, --rate N      samples per second (default 22050)\n";

}  // namespace

int playCommand(const Words& words) {
    const Arguments arguments(
        "play", words,
        {{"bits", 'b', true}, {"channels", 'c', true}, {"rate", 'k', true}, {"help", 'h', false}});
    if (arguments.has("help")) {
        std::cout << help;
        return 0;
    }
    if (arguments.words().size() != 1) {
        throw CommandError("play", "needs one tape image (see --help)");
    }
    if (::isatty(STDOUT_FILENO)) {
        throw CommandError("standard output",
                           "is a terminal; send the stream to a player: kelvanto-tape play "
                           "TAPE | aplay");
    }
    const int bits =
        static_cast<int>(arguments.number("bits", WavFile::defaultBitsPerSample, 0, 64));
    const int channels =
        static_cast<int>(arguments.number("channels", WavFile::defaultChannels, 0, 64));
    const int rate =
        static_cast<int>(arguments.number("rate", WavFile::defaultSampleRate, 0, 1000000));
    const std::string& input = arguments.words()[0];
    const auto tape = readTapeImage(input);
    if (tape->loads.empty()) {
        throw CommandError(input, "holds no loads");
    }
    // The header comes first with the exact length, worked out from the loads' cycles, and
    // the samples follow as they are made: nothing waits in a file.
    ConversionRun run;
    try {
        run.streamAudio(*tape, stdout, rate, bits, channels);
        run.finish();
    } catch (const kelvanto::FatalError& error) {
        if (const int code = run.getWriter().writeError()) {
            // A player that stops early is normal for a pipeline: end quietly, as cat does.
            if (code == EPIPE || standardOutputClosed()) {
                throw OutputClosed{};
            }
            throw CommandError("standard output", std::strerror(code));
        }
        throw CommandError(input, error.message);
    }
    return 0;
}
