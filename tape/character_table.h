// The text forms of the 256 byte codes of a Tarqo BASIC program, outside and inside strings.
// The line encoder goes from text to code with lookupToken; indexing goes from code to text.
#pragma once

#include <array>
#include <string>
#include <string_view>

struct CharacterRow {
    unsigned char code;
    const char* text;
    int verbatim;
};

// Special characters and keywords of the machine, ending with a row of code 0.
extern const CharacterRow characterTable[];

using CodeTable = std::array<std::string, 256>;

void buildCodeTables(CodeTable& plainTable, CodeTable& quotedTable);

// > 0: the token is exactly one complete form that no other form begins with;
// 0: no form begins with the token; < 0: the token begins several forms, or a longer one.
int lookupToken(std::string_view token, const CodeTable& table);
