// SPDX-License-Identifier: MIT
// The image layer's single reporting path: every problem becomes one message printed on
// standard output, with its type in front and, on the record level, the raising source line.
#pragma once

#include <string>

namespace ipl {

enum IPL_MESSAGETYPE : int { IPL_ERROR = 0, IPL_WARNING = 1, IPL_NOTE = 2 };

// Size of each buffer of a record-level message: text, location and whole line.
inline constexpr int MAX_MESSAGE_SIZE = 4000;

// The raising statement's source file and line, as the first two arguments of
// k_ShowMessageStd.
#define IPL_FILE_AND_LINE __FILE__, __LINE__

// The location suffix that object-level texts carry at their end.
#define IPL_LOCATION ::ipl::LocationSuffix(__FILE__, __LINE__)

// The sink of every message: the text and a line end on standard output.
void PrintMessage(const char* pText);

// Object-level message: the type's prefix and the text (which already ends with its location).
void ShowMessage(IPL_MESSAGETYPE Type, const std::string& Text);

// Record-level message, formatted like printf. Errors and warnings get " (file line n)";
// every message is followed by an empty line.
[[gnu::format(printf, 4, 5)]] void k_ShowMessageStd(const char* pFile, int Line, int Type,
                                                    const char* pFormat, ...);

// The source path from the layer's own folder on ("ipl/cpp/image.cpp"), so that messages do
// not depend on where the tree was built.
const char* k_SourceName(const char* pPath);

// " (ipl/cpp/image.cpp line 12)".
std::string LocationSuffix(const char* pFile, int Line);

}  // namespace ipl
