// SPDX-License-Identifier: MIT
// The text forms of the 256 byte codes of a Tarqo BASIC program, outside and inside strings.
// The line encoder goes from text to code with lookupToken; indexing goes from code to text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CharacterRow {
    unsigned char code;
    const char* text;
    int verbatim;
};

// Special characters and keywords of the machine, ending with a row of code 0.
extern const CharacterRow characterTable[];

// The text of every code, and an index of every beginning of a form (every prefix of every
// text) with the answer lookupToken gives for it: a token that begins no form is not in it.
class CodeTable {
  public:
    using Texts = std::array<std::string, 256>;
    using const_iterator = Texts::const_iterator;
    using iterator = const_iterator;

    CodeTable();
    explicit CodeTable(Texts texts);

    const std::string& operator[](std::size_t code) const { return texts[code]; }
    static constexpr std::size_t size() { return 256; }
    const_iterator begin() const { return texts.begin(); }
    const_iterator end() const { return texts.end(); }
    bool operator==(const CodeTable& other) const { return texts == other.texts; }

    // lookupToken's answer for a token.
    int answer(std::string_view token) const;

  private:
    // A prefix of a text, named by its code and length (a view would not survive a copy).
    struct Prefix {
        std::uint8_t code = 0;
        std::uint8_t length = 0;  // 0: a free slot
        std::int16_t answer = 0;
    };
    static constexpr std::size_t slotCount = 4096;  // a power of two, over twice the prefixes

    // The answer by the texts in sorted order, where the forms that begin with a token are
    // neighbours; used to fill the index.
    int searchSorted(std::string_view token) const;
    static std::size_t slotOf(std::string_view token);

    Texts texts;
    std::array<std::uint8_t, 256> byText;
    std::vector<Prefix> prefixes;
};

void buildCodeTables(CodeTable& plainTable, CodeTable& quotedTable);

// > 0: the token is exactly one complete form that no other form begins with;
// 0: no form begins with the token; < 0: the token begins several forms, or a longer one.
int lookupToken(std::string_view token, const CodeTable& table);
