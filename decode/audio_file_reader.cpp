// SPDX-License-Identifier: MIT
// Block reading of audio files through libsndfile, with its own error texts.
// The only file of the decoder that includes libsndfile, which it loads on first use.
#include "decode/audio_file_reader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace kelvanto::decode {

namespace {

SNDFILE* handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

// libsndfile is loaded when the first recording is opened, not when the program starts: with
// the codec libraries under it (FLAC, Vorbis, Opus, MPEG) it is seven libraries, and mapping
// them costs 2 to 3 ms at every start of kelvanto-tape (a whole `list` of a small tape takes 4
// to 5 ms without them), though only the commands that read recordings use it. Loaded once
// and kept.
struct Sndfile {
    decltype(&::sf_open_fd) open = nullptr;
    decltype(&::sf_close) close = nullptr;
    decltype(&::sf_command) command = nullptr;
    decltype(&::sf_readf_float) readFloat = nullptr;
    decltype(&::sf_error) error = nullptr;
    decltype(&::sf_strerror) describe = nullptr;
    std::string problem;  // why it could not be loaded; empty when it was
};

template <typename Function>
void bind(void* library, const char* name, Function& function, std::string& problem) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (function == nullptr && problem.empty()) {
        problem = std::string("the audio library has no ") + name;
    }
}

const Sndfile& sndfile() {
    static const Sndfile library = [] {
        Sndfile loaded;
        void* handle = ::dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            loaded.problem = std::string("the audio library could not be loaded (") +
                             (why != nullptr ? why : "libsndfile.so.1") +
                             "); install it with: apt-get install libsndfile1";
            return loaded;
        }
        bind(handle, "sf_open_fd", loaded.open, loaded.problem);
        bind(handle, "sf_close", loaded.close, loaded.problem);
        bind(handle, "sf_command", loaded.command, loaded.problem);
        bind(handle, "sf_readf_float", loaded.readFloat, loaded.problem);
        bind(handle, "sf_error", loaded.error, loaded.problem);
        bind(handle, "sf_strerror", loaded.describe, loaded.problem);
        return loaded;
    }();
    return library;
}

bool libraryMessagesShown = false;

// The decoders under the audio library write their own notes to standard error ("Note:
// Illegal Audio-MPEG-Header ..." for every resync in a damaged MP3), which would reach the
// user's terminal without saying whose they are. While the library works, standard error
// leads to /dev/null; it is back before any message of ours.
class QuietLibrary {
  public:
    QuietLibrary() {
        if (libraryMessagesShown) {
            return;
        }
        std::fflush(stderr);
        saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved < 0 || null < 0 || ::dup2(null, STDERR_FILENO) < 0) {
            restore();
        }
        if (null >= 0) {
            ::close(null);
        }
    }
    ~QuietLibrary() { restore(); }
    QuietLibrary(const QuietLibrary&) = delete;
    QuietLibrary& operator=(const QuietLibrary&) = delete;

  private:
    void restore() {
        if (saved >= 0) {
            std::fflush(stderr);
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
            saved = -1;
        }
    }
    int saved = -1;
};

}  // namespace

AudioFileReader::~AudioFileReader() {
    close();
}

void AudioFileReader::showLibraryMessages(bool shown) {
    libraryMessagesShown = shown;
}

void AudioFileReader::close() {
    if (file != nullptr) {
        const QuietLibrary quiet;
        sndfile().close(handle(file));
        file = nullptr;
    }
}

bool AudioFileReader::open(const std::string& path) {
    close();
    message.clear();
    const Sndfile& library = sndfile();
    if (!library.problem.empty()) {
        message = library.problem;
        return false;
    }
    // Opened without waiting, so that a FIFO without a writer cannot hold the run, and
    // checked before the library sees it: only a regular file is a recording.
    // "-" is standard input, which the user named on purpose: a pipe is fine there (the audio
    // library reads WAV and other stream formats from a pipe).
    const bool standardInput = path == "-";
    const int fd = standardInput
                       ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3)
                       : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        message = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (!standardInput &&
        (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)) {
        const int error = errno;
        message = S_ISDIR(status.st_mode) ? std::strerror(EISDIR)
                  : S_ISREG(status.st_mode)
                      ? (status.st_size == 0 ? "File is empty" : std::strerror(error))
                      : "Not a regular file";
        ::close(fd);
        return false;
    }
    if (!standardInput) {
        // Reads may block from here on, as they should on a regular file.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            message = std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    SF_INFO info{};
    SNDFILE* opened = nullptr;
    {
        const QuietLibrary quiet;
        // The library closes the descriptor with the file, also when the open fails.
        opened = library.open(fd, SFM_READ, &info, SF_TRUE);
    }
    if (opened == nullptr) {
        message = library.describe(nullptr);
        // The library says this of a file it could not read a first frame from (an MP3 cut
        // after its first bytes); here the file is known to be a regular one.
        if (message.rfind("File does not exist or is not a regular file", 0) == 0) {
            message = "cut short or damaged: no audio could be read from it";
        }
        // Recordings also come as AAC (.m4a), WMA or video files, which the library does not
        // read: say what it reads and how to get there.
        if (message.rfind("Format not recognised", 0) == 0) {
            message = notAudioWeRead;
        }
        return false;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        library.close(opened);
        message = "the file holds no audio channels";
        return false;
    }
    file = opened;
    rate = info.samplerate;
    channelCount = info.channels;
    frameCount = static_cast<std::int64_t>(info.frames);
    // Integer samples come in as +-1 full scale, and float files are not rescaled.
    library.command(opened, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return true;
}

std::size_t AudioFileReader::read(std::vector<float>& samples, std::size_t maxFrames) {
    samples.clear();
    if (file == nullptr || maxFrames == 0) {
        return 0;
    }
    const std::size_t width = static_cast<std::size_t>(channelCount);
    maxFrames = std::min<std::size_t>(maxFrames, (std::size_t{1} << 24) / width);
    samples.resize(maxFrames * width);
    // In pieces: a decoder that fails inside a piece (a damaged MP3) loses that piece only,
    // and the frames before it still come back, the error with the next call.
    constexpr sf_count_t piece = 1024;
    sf_count_t got = 0;
    {
        const QuietLibrary quiet;
        while (got < static_cast<sf_count_t>(maxFrames)) {
            const sf_count_t want = std::min(piece, static_cast<sf_count_t>(maxFrames) - got);
            const sf_count_t more = sndfile().readFloat(
                handle(file), samples.data() + static_cast<std::size_t>(got) * width, want);
            if (more <= 0) {
                break;
            }
            got += more;
        }
    }
    if (got <= 0) {
        samples.clear();
        if (sndfile().error(handle(file)) != SF_ERR_NO_ERROR) {
            message = sndfile().describe(handle(file));
        }
        return 0;
    }
    samples.resize(static_cast<std::size_t>(got) * width);
    return static_cast<std::size_t>(got);
}

}  // namespace kelvanto::decode
