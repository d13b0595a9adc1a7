// Writing a result file without ever leaving a half-written one: the bytes go to a hidden
// temporary file in the target's folder, which replaces the target only once it is complete.
#pragma once

#include <string>

// Writes the bytes to the named file, or to standard output for "-". An existing file is
// replaced only with force; a file that is the input is never replaced. Throws CommandError.
void writeOutputFile(const std::string& name, const std::string& bytes, bool force,
                     const std::string& inputName = "");
