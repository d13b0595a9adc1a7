// The text forms of the 256 byte codes of a Tarqo BASIC program, outside and inside strings.
// The line encoder goes from text to code with lookupToken; indexing goes from code to text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct CharacterRow {
    unsigned char code;
    const char* text;
    int verbatim;
};

// Special characters and keywords of the machine, ending with a row of code 0.
extern const CharacterRow characterTable[];

// The text of every code, and the codes in the order of their texts: the forms that begin
// with a token are neighbours in that order, so a lookup is a binary search.
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

    // The codes sorted by their texts (codes with equal texts in code order).
    const std::array<std::uint8_t, 256>& codesByText() const { return byText; }
    // Where the texts that start with a byte begin in codesByText; they end where those of
    // the next byte begin (empty texts come before all of them).
    std::size_t firstWithByte(unsigned byte) const { return byFirstByte[byte]; }

  private:
    Texts texts;
    std::array<std::uint8_t, 256> byText;
    std::array<std::uint16_t, 257> byFirstByte;
};

void buildCodeTables(CodeTable& plainTable, CodeTable& quotedTable);

// > 0: the token is exactly one complete form that no other form begins with;
// 0: no form begins with the token; < 0: the token begins several forms, or a longer one.
int lookupToken(std::string_view token, const CodeTable& table);
