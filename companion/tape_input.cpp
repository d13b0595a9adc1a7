// The tape image reader as kelvanto-tape uses it: bytes in memory, errors with their place.
#include "companion/tape_input.h"

#include <algorithm>
#include <sstream>

#include "base/fatal.h"
#include "base/file_bytes.h"
#include "base/messages.h"
#include "companion/command_error.h"

namespace {

// A tape image holds at most a few hundred loads of 8 KB; anything far larger is no tape.
constexpr std::size_t maxTapeImageSize = 64u << 20;

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

}  // namespace

std::unique_ptr<TarqoBinFile> readTapeImage(const std::string& name) {
    std::string bytes;
    std::string reason;
    if (!readRegularFile(name, maxTapeImageSize, bytes, reason)) {
        throw CommandError(name, reason);
    }
    auto tape = std::make_unique<TarqoBinFile>();
    tape->setQuiet(true);
    std::istringstream stream(bytes);
    auto offset = [&]() {
        stream.clear();
        const std::streamoff at = stream.tellg();
        return at < 0 ? bytes.size() : static_cast<std::size_t>(at);
    };
    try {
        kelvanto::FatalHookScope throwing(kelvanto::throwFatalError);
        tape->read(stream, 0);
    } catch (const kelvanto::FatalError& error) {
        throw CommandError(
            name, placeOf(bytes, offset(), tape->getFileFormat() != 1) + ": " + error.message);
    } catch (const Error::endOfFile&) {
        throw CommandError(name, placeOf(bytes, bytes.size(), tape->getFileFormat() != 1) + ": " +
                                     messages::unexpectedEnd);
    }
    return tape;
}
