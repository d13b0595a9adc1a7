// SPDX-License-Identifier: MIT
// The tape image reader as kelvanto-tape uses it: bytes in memory, errors with their place.
#include "companion/tape_input.h"

#include <algorithm>

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

}  // namespace

std::unique_ptr<TarqoBinFile> readTapeImage(const std::string& fileName) {
    const std::string name = shownInputName(fileName);
    InputFile input = fileName == "-" ? readStandardInput(TarqoBinFile::maxInputSize)
                                      : readInputFile(fileName, TarqoBinFile::maxInputSize);
    if (input.status != InputFile::Status::read) {
        throw CommandError(name, input.reason);
    }
    const auto image = std::make_shared<const std::string>(std::move(input.bytes));
    const std::string& bytes = *image;
    auto tape = std::make_unique<TarqoBinFile>();
    tape->setQuiet(true);
    try {
        kelvanto::FatalHookScope throwing(kelvanto::throwFatalError);
        tape->read(image, 0);
    } catch (const kelvanto::FatalError& error) {
        throw CommandError(
            name, placeOf(bytes, tape->getReadPosition(), tape->getFileFormat() != 1) + ": " +
                      error.message);
    } catch (const Error::endOfFile&) {
        throw CommandError(name, placeOf(bytes, bytes.size(), tape->getFileFormat() != 1) + ": " +
                                     messages::unexpectedEnd);
    }
    return tape;
}
