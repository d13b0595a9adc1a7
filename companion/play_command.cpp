// kelvanto-tape play TAPE: the signal kelvanto would write, as a WAV stream on standard
// output whose sizes are right from the first byte, for a player such as aplay.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "audio/conversion_run.h"
#include "base/fatal.h"
#include "base/machine.h"
#include "base/messages.h"
#include "base/temporary_files.h"
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

// The whole file is rendered first, so that the header holds the real sizes; a stream cannot
// be patched afterwards. It lives in a temporary file that is gone once played.
class RenderedAudio {
  public:
    RenderedAudio() {
        const char* variable = std::getenv("TMPDIR");
        const bool set = variable != nullptr && *variable != '\0';
        const std::string folder = set ? variable : "/tmp";
        name = folder + "/kelvanto-play-XXXXXX.wav";
        // The audio writer takes names of at most 255 characters, the folder included.
        if (name.size() > machine::maxNameLength) {
            throw CommandError(
                set ? "TMPDIR" : folder,
                "the folder's name is too long for the temporary audio file (" +
                    std::to_string(folder.size()) + " characters, at most " +
                    std::to_string(machine::maxNameLength + folder.size() - name.size()) +
                    "); set TMPDIR to a shorter one");
        }
        int fd = -1;
        {
            kelvanto::SignalHold hold;
            fd = ::mkstemps(name.data(), 4);
            if (fd >= 0) {
                kelvanto::registerTemporaryFile(name.c_str());
            }
        }
        if (fd < 0) {
            throw CommandError(folder, std::string("temporary file: ") + std::strerror(errno));
        }
        ::close(fd);
    }
    ~RenderedAudio() {
        ::unlink(name.c_str());
        kelvanto::forgetTemporaryFile(name.c_str());
    }
    RenderedAudio(const RenderedAudio&) = delete;
    RenderedAudio& operator=(const RenderedAudio&) = delete;
    const std::string& path() const { return name; }

  private:
    std::string name;
};

void copyToStandardOutput(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw CommandError("temporary file", std::strerror(errno));
    }
    char block[1 << 16];
    for (;;) {
        ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        try {
            writeStandardOutput(block, static_cast<std::size_t>(got));
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
}

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
    const int bits = static_cast<int>(arguments.number("bits", 8, 0, 64));
    const int channels = static_cast<int>(arguments.number("channels", 2, 0, 64));
    const int rate = static_cast<int>(arguments.number("rate", 22050, 0, 1000000));
    const std::string& input = arguments.words()[0];
    const auto tape = readTapeImage(input);
    if (tape->loads.empty()) {
        throw CommandError(input, "holds no loads");
    }
    RenderedAudio audio;
    {
        ConversionRun run;
        try {
            run.createAudioFile(*tape, audio.path(), rate, bits, channels);
            run.finish();
        } catch (const kelvanto::FatalError& error) {
            throw CommandError(input, error.message);
        } catch (const Error::badOutputFileName&) {
            throw CommandError(audio.path(), "name too long for the audio writer");
        } catch (const Error::endOfFile&) {
            throw CommandError(input, messages::unexpectedEnd);
        }
    }
    copyToStandardOutput(audio.path());
    return 0;
}
