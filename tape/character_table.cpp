// The machine's special characters and keywords, and the two text tables built from them.
// A BASIC byte is a keyword, a special character or a plain character; each has one text form.
#include "tape/character_table.h"

#include <cstddef>

// Bytes 0x5B..0x67 are arrows, graphics and brackets on this machine; 0x68..0x77 are the
// keywords. The keyword forms carry their trailing blank (INPUT has none), so PRINTX stays
// letters while "PRINT X" starts with the keyword byte.
const CharacterRow characterTable[] = {
    {0x1F, "|erase|", 1},
    {0x5B, "[", 1},
    {0x5C, "\\", 1},
    {0x5D, "]", 1},
    {0x5E, "|up_arrow|", 1},
    {0x5F, "|left_arrow|", 1},
    {0x60, "|down_arrow|", 1},
    {0x61, "|right_arrow|", 1},
    {0x62, "|*|", 1},
    {0x63, "|divided_by|", 1},
    {0x64, "|graphic_1|", 1},
    {0x65, "|graphic_2|", 1},
    {0x66, "|graphic_3|", 1},
    {0x67, "|graphic_4|", 1},
    {0x68, "LIST ", 0},
    {0x69, "CLEAR ", 0},
    {0x6A, "RUN ", 0},
    {0x6B, "NEXT ", 0},
    {0x6C, "LINE ", 0},
    {0x6D, "IF ", 0},
    {0x6E, "GOTO ", 0},
    {0x6F, "GOSUB ", 0},
    {0x70, "RETURN ", 0},
    {0x71, "BOX ", 0},
    {0x72, "FOR ", 0},
    {0x73, "INPUT", 0},
    {0x74, "PRINT ", 0},
    {0x75, "STEP ", 0},
    {0x76, "RND ", 0},
    {0x77, "TO ", 0},
    {0x00, "", 0},
};

namespace {

std::string betweenBars(std::string_view text) {
    std::string result(1, '|');
    result.append(text);
    result.push_back('|');
    return result;
}

std::string numberBetweenBars(int code) {
    return betweenBars(std::to_string(code));
}

}  // namespace

void buildCodeTables(CodeTable& plainTable, CodeTable& quotedTable) {
    for (std::size_t code = 0; code < plainTable.size(); ++code) {
        const std::string own = code == 0 ? std::string() : std::string(1, static_cast<char>(code));
        plainTable[code] = own;
        quotedTable[code] = own;
    }
    // Inside a string a keyword must be written between bars, so that words in quoted text
    // keep their letters.
    for (const CharacterRow* row = characterTable; row->code != 0; ++row) {
        plainTable[row->code] = row->text;
        quotedTable[row->code] =
            row->verbatim != 0 ? std::string(row->text) : betweenBars(row->text);
    }
    // Control codes and the codes above the keywords have no printable form of their own.
    for (int code = 120; code <= 255; ++code) {
        plainTable[static_cast<std::size_t>(code)] = numberBetweenBars(code);
        quotedTable[static_cast<std::size_t>(code)] = numberBetweenBars(code);
    }
    for (int code = 0; code <= 30; ++code) {
        plainTable[static_cast<std::size_t>(code)] = numberBetweenBars(code);
        quotedTable[static_cast<std::size_t>(code)] = numberBetweenBars(code);
    }
}

int lookupToken(std::string_view token, const CodeTable& table) {
    int matches = 0;
    int lastMatch = 0;
    for (std::size_t code = 0; code < table.size(); ++code) {
        const std::string& text = table[code];
        if (text.size() >= token.size() && text.compare(0, token.size(), token) == 0) {
            ++matches;
            lastMatch = static_cast<int>(code);
        }
    }
    // A token that only begins a form, or begins several, needs more characters to decide.
    if (matches > 1 || (matches == 1 && table[static_cast<std::size_t>(lastMatch)] != token)) {
        return -1;
    }
    return lastMatch;
}
