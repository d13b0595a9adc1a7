// The machine's special characters and keywords, and the two text tables built from them.
// A BASIC byte is a keyword, a special character or a plain character; each has one text form.
#include "tape/character_table.h"

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <utility>

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

CodeTable::CodeTable() : CodeTable(Texts{}) {}

CodeTable::CodeTable(Texts textsOfCodes) : texts(std::move(textsOfCodes)) {
    std::iota(byText.begin(), byText.end(), std::uint8_t{0});
    std::stable_sort(byText.begin(), byText.end(),
                     [this](std::uint8_t a, std::uint8_t b) { return texts[a] < texts[b]; });
    // Texts compare as unsigned bytes, so those of one first byte are neighbours in order.
    std::size_t at = 0;
    for (unsigned byte = 0; byte < byFirstByte.size(); ++byte) {
        while (at < byText.size() && (texts[byText[at]].empty() ||
                                      static_cast<unsigned char>(texts[byText[at]][0]) < byte)) {
            ++at;
        }
        byFirstByte[byte] = static_cast<std::uint16_t>(at);
    }
}

void buildCodeTables(CodeTable& plainCodes, CodeTable& quotedCodes) {
    CodeTable::Texts plainTable;
    CodeTable::Texts quotedTable;
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
    plainCodes = CodeTable(std::move(plainTable));
    quotedCodes = CodeTable(std::move(quotedTable));
}

int lookupToken(std::string_view token, const CodeTable& table) {
    const auto& codes = table.codesByText();
    // Only forms with the token's first byte can begin with it.
    auto from = codes.begin();
    auto to = codes.end();
    if (!token.empty()) {
        const auto byte = static_cast<unsigned char>(token[0]);
        from = codes.begin() + static_cast<std::ptrdiff_t>(table.firstWithByte(byte));
        to = codes.begin() + static_cast<std::ptrdiff_t>(table.firstWithByte(byte + 1u));
    }
    // Every form that begins with the token sorts at or after it, and before any text that
    // does not begin with it but sorts after it: those forms start at the lower bound.
    const auto first = std::lower_bound(
        from, to, token,
        [&table](std::uint8_t code, std::string_view text) { return table[code] < text; });
    const auto begins = [&](auto at) {
        return at != to && std::string_view(table[*at]).starts_with(token);
    };
    if (!begins(first)) {
        return 0;
    }
    // A token that begins several forms, or only a longer one, needs more characters to
    // decide.
    if (begins(first + 1) || table[*first] != token) {
        return -1;
    }
    return *first;
}
