// SPDX-License-Identifier: MIT
// Growable texts (TString) and the small text helpers of the image layer's record level.
// Memory is malloc'd; k_EmptyString releases it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

// Size of the buffer k_SprintfString formats into.
inline constexpr int SPRINTF_BUFFER_SIZE = 200;

// An empty text that holds no memory.
void k_InitString(TString* pString);

// Frees the characters and leaves the text empty.
void k_EmptyString(TString* pString);

// Makes room for at least Capacity characters including the terminating null.
bool k_ReAllocString(std::uint32_t Capacity, TString* pString);

// Appends a null-terminated text.
bool k_AddCharArrayToString(const char* pChars, TString* pString);

// Formats like printf into a buffer of SPRINTF_BUFFER_SIZE bytes and appends the result; a
// result that does not fit is reported and not appended.
[[gnu::format(printf, 2, 3)]] bool k_SprintfString(TString* pString, const char* pFormat, ...);

// Turns a text into upper case in place, character by character.
void k_StringToUpper(char* pText);

// A malloc'd copy of Length characters of a text, null-terminated; null when out of memory.
char* k_CopyChars(const char* pText, std::size_t Length);

// A malloc'd copy of a null-terminated text; null when out of memory.
char* k_CopyText(const char* pText);

}  // namespace ipl
