// SPDX-License-Identifier: MIT
// BASIC programs in a load's data: lines of number (low byte first), codes and 0x0D, ended
// by the bytes 0x00 0xFF; and the text of a line, each code written as its table form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tape/character_table.h"
#include "tape/tape_load.h"

struct BasicLine {
    int number = 0;
    std::vector<std::uint8_t> codes;  // without the line number and the closing 0x0D
};

struct BasicProgram {
    std::vector<BasicLine> lines;
    std::size_t end = 0;  // the data index after the end marker 0x00 0xFF
};

// The program the data begins with, within its first `extent` bytes; none when the data does
// not begin with at least one complete line followed by the end marker.
std::optional<BasicProgram> findBasicProgram(const TapeLoad& load, std::size_t extent);
// The same in `extent` bytes in one run.
std::optional<BasicProgram> findBasicProgram(const std::uint8_t* bytes, std::size_t extent);

// A line's codes as text: plain forms, and after a double quote the quoted forms up to the
// closing quote. With breakAfter above 0, a break "<BR>\n\t\t\t\t</BR>" is put between two
// forms outside a string wherever the text since the last break would pass that many
// characters.
std::string basicLineText(const std::vector<std::uint8_t>& codes, const CodeTable& plainTable,
                          const CodeTable& quotedTable, std::size_t breakAfter = 0);
