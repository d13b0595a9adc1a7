// The tape image's life: construction with its code tables, opening the input, destruction.
#include "tape/tarqo_bin_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/fatal.h"
#include "base/messages.h"

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

TarqoBinFile::TarqoBinFile() {
    buildCodeTables(plainTable, quotedTable);
}

// Members go in reverse order: the encoder first (which finishes the audio file), then the
// input stream, then the loads.
TarqoBinFile::~TarqoBinFile() = default;

int TarqoBinFile::open(const std::string& fileName, const std::string& mode, int verbosityLevel) {
    verbosity = verbosityLevel;
    if (mode != "r") {
        kelvanto::fatal("Invalid open mode for TarqoBinFile " + fileName + "\n");
    }
    // A directory opens as a stream but cannot be read: it is refused like a missing file.
    std::error_code error;
    if (!std::filesystem::is_directory(fileName, error)) {
        input.open(fileName, std::ios::in | std::ios::binary | std::ios::ate);
    }
    if (!input.is_open() || !input) {
        kelvanto::fatal(messages::unableToOpen(fileName));
    }
    input.seekg(0);
    read(input, verbosityLevel);
    return 0;
}

void TarqoBinFile::read(std::istream& stream, int verbosityLevel) {
    verbosity = verbosityLevel;
    source = &stream;
    readTag("OPEN");
    source = nullptr;
}

void TarqoBinFile::setName(std::string_view text) {
    name = std::string(text.substr(0, maxNameLength));
}

void TarqoBinFile::setScreenName(std::string_view text) {
    screenName = std::string(text.substr(0, maxNameLength));
}
