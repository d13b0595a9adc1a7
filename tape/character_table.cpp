// SPDX-License-Identifier: MIT
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

CodeTable::CodeTable(Texts textsOfCodes) : texts(std::move(textsOfCodes)), prefixes(slotCount) {
    std::iota(byText.begin(), byText.end(), std::uint8_t{0});
    std::stable_sort(byText.begin(), byText.end(),
                     [this](std::uint8_t a, std::uint8_t b) { return texts[a] < texts[b]; });
    for (std::size_t code = 0; code < texts.size(); ++code) {
        const std::string_view text = texts[code];
        for (std::size_t length = 1; length <= text.size() && length < 256; ++length) {
            const std::string_view prefix = text.substr(0, length);
            std::size_t slot = slotOf(prefix);
            while (prefixes[slot].length != 0 &&
                   std::string_view(texts[prefixes[slot].code]).substr(0, prefixes[slot].length) !=
                       prefix) {
                slot = (slot + 1) & (slotCount - 1);
            }
            if (prefixes[slot].length == 0) {
                prefixes[slot] =
                    Prefix{static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(length),
                           static_cast<std::int16_t>(searchSorted(prefix))};
            }
        }
    }
}

std::size_t CodeTable::slotOf(std::string_view token) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : token) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    return hash & (slotCount - 1);
}

int CodeTable::answer(std::string_view token) const {
    if (token.empty()) {
        return searchSorted(token);
    }
    for (std::size_t slot = slotOf(token);; slot = (slot + 1) & (slotCount - 1)) {
        const Prefix& entry = prefixes[slot];
        if (entry.length == 0) {
            return 0;  // no form begins with the token
        }
        if (entry.length == token.size() &&
            std::string_view(texts[entry.code]).substr(0, entry.length) == token) {
            return entry.answer;
        }
    }
}

int CodeTable::searchSorted(std::string_view token) const {
    // Every form that begins with the token sorts at or after it, and before any text that
    // does not begin with it but sorts after it: those forms start at the lower bound.
    const auto first = std::lower_bound(
        byText.begin(), byText.end(), token,
        [this](std::uint8_t code, std::string_view text) { return texts[code] < text; });
    const auto begins = [&](auto at) {
        return at != byText.end() && std::string_view(texts[*at]).starts_with(token);
    };
    if (!begins(first)) {
        return 0;
    }
    // A token that begins several forms, or only a longer one, needs more characters to
    // decide.
    if (begins(first + 1) || texts[*first] != token) {
        return -1;
    }
    return *first;
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
    return table.answer(token);
}
