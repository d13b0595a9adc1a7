// SPDX-License-Identifier: MIT
// Set-up shared by the fuzz targets: fatal errors as exceptions, a private scratch folder as
// the working folder, and quiet standard streams so that a run costs no terminal output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_support {

// Installs the throwing fatal hook, creates /tmp/kelvanto-fuzz-<name>-<pid>, makes it the
// working folder (text loads leave screen_<n>.txt there) and silences standard output (fd 1,
// which the image layer prints to) and std::cerr (checksum repairs). libFuzzer and the
// sanitizers report on fd 2, which stays open. Returns the folder, ending in '/'.
std::string prepare(const char* name);

// Writes the bytes to a file, replacing it. False when the file cannot be written.
bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz_support
