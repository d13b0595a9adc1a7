// SPDX-License-Identifier: MIT
// The diagnostic screen files (screen_N.txt) that text loads leave in the working folder,
// written only where that harms nothing: never over the input, never into a FIFO or device.
#pragma once

#include <string>

// Replaces the file's content with the picture when the name is free or a regular file other
// than the input; anything else is left alone. A screen file that cannot be written is only a
// lost diagnostic, so nothing is reported.
void writeScreenFile(const std::string& fileName, const std::string& inputName,
                     const std::string& picture);
