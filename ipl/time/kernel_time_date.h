// SPDX-License-Identifier: MIT
// The local time and date as texts, for the stamps at the start of history lines.
// Both give a malloc'd text that the caller frees.
#pragma once

namespace ipl {

// "%H:%M:%S", e.g. "14:05:09"; on failure reports it and gives null.
bool k_GetTime(char** ppTime);

// "%a %b %d", e.g. "Sat Dec 31"; on failure reports it and gives null.
bool k_GetDate(char** ppDate);

}  // namespace ipl
