// Finding a BASIC program in a load's data and writing its lines back as text.
#include "tape/basic_program.h"

#include "base/machine.h"

namespace {

using machine::basicEndMarker;
using machine::basicLineEnd;
constexpr std::uint8_t quote = '"';
constexpr const char* lineBreak = "<BR>\n\t\t\t\t</BR>";

}  // namespace

std::optional<BasicProgram> findBasicProgram(const TapeLoad& load, std::size_t extent) {
    BasicProgram program;
    std::size_t at = 0;
    while (at + 2 <= extent) {
        const int number =
            load.byteAt(static_cast<long>(at)) | load.byteAt(static_cast<long>(at) + 1) << 8;
        if (number == basicEndMarker) {
            if (program.lines.empty()) {
                return std::nullopt;
            }
            program.end = at + 2;
            return program;
        }
        BasicLine line;
        line.number = number;
        std::size_t code = at + 2;
        while (code < extent && load.byteAt(static_cast<long>(code)) != basicLineEnd) {
            line.codes.push_back(load.byteAt(static_cast<long>(code)));
            ++code;
        }
        if (code >= extent) {
            return std::nullopt;
        }
        program.lines.push_back(std::move(line));
        at = code + 1;
    }
    return std::nullopt;
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
