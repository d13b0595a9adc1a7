// SPDX-License-Identifier: MIT
// The tape image reader as kelvanto-tape uses it: bytes in memory, errors with their place.
#include "companion/tape_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "base/fatal.h"
#include "base/messages.h"
#include "companion/command_error.h"
#include "companion/standard_streams.h"
#include "tape/input_file.h"

namespace {

// The place of the byte the reader stopped at. A markup place also names its line; a binary
// tape image (root format 1) has no lines to speak of.
std::string placeOf(const std::string& bytes, std::size_t offset, bool markup) {
    offset = std::min(offset, bytes.size());
    std::string place = "byte " + std::to_string(offset);
    if (markup) {
        const auto line =
            1 + std::count(bytes.begin(), bytes.begin() + static_cast<long>(offset), '\n');
        place += " (line " + std::to_string(line) + ")";
    }
    return place;
}

// Gives the memory of the input's bytes before `position` back to the system, whole pages only:
// a binary image's loads take as much memory as the image itself, so without this both would
// be held at once. The bytes there read as zeros afterwards; only a binary image's places
// are given as offsets, without looking at the bytes before them.
class ReadBytesRelease {
  public:
    explicit ReadBytesRelease(std::string& bytes) : bytes(bytes) {}

    void before(std::size_t position) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto base = reinterpret_cast<std::uintptr_t>(bytes.data());
        const std::uintptr_t start = (base + released + page - 1) / page * page;
        const std::uintptr_t end = (base + std::min(position, bytes.size())) / page * page;
        if (end >= start + minimumRelease) {
            ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
            released = end - base;
        }
    }

  private:
    static constexpr std::uintptr_t minimumRelease = std::uintptr_t{1} << 20;
    std::string& bytes;
    std::size_t released = 0;
};

}  // namespace

std::unique_ptr<TarqoBinFile> readTapeImage(const std::string& fileName) {
    const std::string name = shownInputName(fileName);
    InputFile input = fileName == "-" ? readStandardInput(TarqoBinFile::maxInputSize)
                                      : readInputFile(fileName, TarqoBinFile::maxInputSize);
    if (input.status != InputFile::Status::read) {
        throw CommandError(name, input.reason);
    }
    const std::string& bytes = input.bytes;
    auto tape = std::make_unique<TarqoBinFile>();
    tape->setQuiet(true);
    ReadBytesRelease release(input.bytes);
    tape->setAfterLoad([&release, &tape = *tape](std::size_t position) {
        if (tape.getFileFormat() == 1) {
            release.before(position);
        }
    });
    try {
        kelvanto::FatalHookScope throwing(kelvanto::throwFatalError);
        tape->read(std::string_view(bytes), 0);
    } catch (const kelvanto::FatalError& error) {
        throw CommandError(
            name, placeOf(bytes, tape->getReadPosition(), tape->getFileFormat() != 1) + ": " +
                      error.message);
    } catch (const Error::endOfFile&) {
        throw CommandError(name, placeOf(bytes, bytes.size(), tape->getFileFormat() != 1) + ": " +
                                     messages::unexpectedEnd);
    }
    tape->setAfterLoad(nullptr);
    return tape;
}
