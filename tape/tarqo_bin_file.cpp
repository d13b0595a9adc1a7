// SPDX-License-Identifier: MIT
// The tape image's life: construction, the code tables at their first use, opening the input,
// destruction.
#include "tape/tarqo_bin_file.h"

#include <algorithm>
#include <cctype>

#include "base/fatal.h"
#include "base/messages.h"
#include "tape/input_file.h"

void stripExtension(std::string& name, std::string_view extension) {
    if (name.size() < extension.size()) {
        return;
    }
    const std::string_view tail = std::string_view(name).substr(name.size() - extension.size());
    const bool same = std::equal(tail.begin(), tail.end(), extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
    if (!same) {
        return;
    }
    if (name.size() == extension.size()) {
        throw Error::badOutputFileName{};
    }
    name.resize(name.size() - extension.size());
}

TarqoBinFile::TarqoBinFile() = default;

const CodeTable& TarqoBinFile::getPlainTable() const {
    if (!tablesBuilt) {
        buildCodeTables(plainTable, quotedTable);
        tablesBuilt = true;
    }
    return plainTable;
}

const CodeTable& TarqoBinFile::getQuotedTable() const {
    getPlainTable();
    return quotedTable;
}

TarqoBinFile::~TarqoBinFile() = default;

int TarqoBinFile::open(const std::string& fileName, const std::string& mode, int verbosityLevel) {
    verbosity = verbosityLevel;
    if (mode != "r") {
        kelvanto::fatal("Invalid open mode for TarqoBinFile " + fileName + "\n");
    }
    // A folder, a FIFO or a device is refused like a missing file: reading one could block
    // or never end.
    InputFile input = readInputFile(fileName, maxInputSize);
    if (input.status == InputFile::Status::tooLarge) {
        kelvanto::fatal("Tape image " + fileName + " is larger than " +
                        std::to_string(maxInputSize) + " bytes\n");
    }
    if (input.status != InputFile::Status::read) {
        kelvanto::fatal(messages::unableToOpen(fileName));
    }
    read(std::make_shared<const std::string>(std::move(input.bytes)), verbosityLevel);
    return 0;
}

void TarqoBinFile::read(std::shared_ptr<const std::string> bytes, int verbosityLevel) {
    if (!bytes) {
        return;
    }
    sharedSource = std::move(bytes);
    struct Forget {
        TarqoBinFile& tape;
        ~Forget() { tape.sharedSource.reset(); }
    } forget{*this};
    read(std::string_view(*sharedSource), verbosityLevel);
}

void TarqoBinFile::read(std::istream& stream, int verbosityLevel) {
    std::string bytes;
    char block[65536];
    while (const std::streamsize count = stream.rdbuf()->sgetn(block, sizeof block)) {
        bytes.append(block, static_cast<std::size_t>(count));
        if (count < static_cast<std::streamsize>(sizeof block)) {
            break;
        }
    }
    read(std::string_view(bytes), verbosityLevel);
}

void TarqoBinFile::read(std::string_view bytes, int verbosityLevel) {
    verbosity = verbosityLevel;
    source = bytes;
    readIndex = 0;
    // The bytes belong to the caller: forget them however the reading ends.
    struct Forget {
        TarqoBinFile& tape;
        ~Forget() { tape.source = {}; }
    } forget{*this};
    readTag("OPEN");
}

void TarqoBinFile::setName(std::string_view text) {
    name = std::string(text.substr(0, maxNameLength));
}

void TarqoBinFile::setScreenName(std::string_view text) {
    screenName = std::string(text.substr(0, maxNameLength));
}
