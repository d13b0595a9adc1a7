// SPDX-License-Identifier: MIT
// History texts (TIplText): lines recording what was done to an image, stamped with date
// and time, and the indentation that shows how deep in the loading calls a line was written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

// The layer's version, quoted at the start of the history lines it writes itself.
inline constexpr double IPL_VERSION = 2.16;

// Text put in front of every history entry of a load; one tab longer while the record-level
// loader runs inside the object-level one. Loading nests one level deep, so a few tabs are
// plenty.
inline constexpr std::size_t HISTORY_INDENT_CAPACITY = 16;
inline char HistoryIndent[HISTORY_INDENT_CAPACITY] = "";

// Appends one tab to HistoryIndent (ignored when it is full).
void k_AppendHistoryIndent();

// Removes the last character of HistoryIndent, if any.
void k_RemoveHistoryIndent();

// A text with both stamp flags set, no lines and no file name, holding no memory.
void k_InitText(TIplText* pText);

// Frees every line and the file name; the stamp flags keep their values.
void k_EmptyText(TIplText* pText);

// Makes room for Lines lines.
bool k_ReAllocText(std::uint32_t Lines, TIplText* pText);

// Adds the line "# " [date " "] [time " "] text "\n". A text with a line feed is refused.
bool k_AppendText(TIplText* pText, const char* pLine);

// k_AppendText of "IPL Version 2.16 " followed by the text.
bool k_AddIPLText(TIplText* pText, const char* pLine);

// Adds a line exactly as given, with a line end added when it has none (for comment lines
// copied from a file).
bool k_AddLine(TIplText* pText, const char* pLine);

// Adds copies of all lines of one text to the end of another.
bool k_AddLinesFromText(const TIplText* pSource, TIplText* pDest);

// Replaces the lines of a text by copies of another's; the file name of the text is cleared.
bool k_CopyTextLines(const TIplText* pSource, TIplText* pDest);

// Names the text after a file: the file's name with its extension replaced by ".txt".
bool k_SetFileInfoFromPathFileText(TIplText* pText, const char* pPathAndFileName);

}  // namespace ipl
