// SPDX-License-Identifier: MIT
// Finding a BASIC program in a load's data and writing its lines back as text.
#include "tape/basic_program.h"

#include <cstring>
#include <utility>

#include "base/machine.h"

namespace {

using machine::basicEndMarker;
using machine::basicLineEnd;
constexpr std::uint8_t quote = '"';
constexpr const char* lineBreak = "<BR>\n\t\t\t\t</BR>";

}  // namespace

std::optional<BasicProgram> findBasicProgram(const std::uint8_t* bytes, std::size_t extent) {
    // The lines are found first as places in the bytes, and copied out only when the whole
    // program is there: most data is no program, and is given up on without a copy.
    std::vector<std::pair<std::size_t, std::size_t>> places;
    std::size_t at = 0;
    while (at + 2 <= extent) {
        const int number = bytes[at] | bytes[at + 1] << 8;
        if (number == basicEndMarker) {
            if (places.empty()) {
                return std::nullopt;
            }
            BasicProgram program;
            program.lines.reserve(places.size());
            for (const auto& [start, end] : places) {
                BasicLine& line = program.lines.emplace_back();
                line.number = bytes[start] | bytes[start + 1] << 8;
                line.codes.assign(bytes + start + 2, bytes + end);
            }
            program.end = at + 2;
            return program;
        }
        const void* found = std::memchr(bytes + at + 2, basicLineEnd, extent - (at + 2));
        if (found == nullptr) {
            return std::nullopt;
        }
        const auto code = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes);
        places.emplace_back(at, code);
        at = code + 1;
    }
    return std::nullopt;
}

std::optional<BasicProgram> findBasicProgram(const TapeLoad& load, std::size_t extent) {
    // Bytes past the 8192 of a load read as 0, as byteAt() says.
    std::vector<std::uint8_t> bytes(extent, 0);
    load.dataBytes.copyTo(bytes.data(), extent);
    return findBasicProgram(bytes.data(), extent);
}

std::string basicLineText(const std::vector<std::uint8_t>& codes, const CodeTable& plainTable,
                          const CodeTable& quotedTable, std::size_t breakAfter) {
    std::string text;
    std::size_t segment = 0;
    bool inString = false;
    for (const std::uint8_t code : codes) {
        const std::string& form = inString ? quotedTable[code] : plainTable[code];
        if (breakAfter > 0 && !inString && segment > 0 && segment + form.size() > breakAfter) {
            text += lineBreak;
            segment = 0;
        }
        text += form;
        segment += form.size();
        if (code == quote) {
            inString = !inString;
        }
    }
    return text;
}
