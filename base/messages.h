// SPDX-License-Identifier: MIT
// The texts of the messages that more than one piece reports, each written in one place.
// Every text ends with its line feed, as it is printed.
#pragma once

#include <string>
#include <string_view>

namespace messages {

inline std::string unableToOpen(std::string_view name) {
    return "Unable to open " + std::string(name) + "\n";
}
inline constexpr const char* invalidOutputName = "Invalid output .wav filename\n";
inline constexpr const char* unexpectedEnd = "Unexpected end of input reached\n";
// The load is named by its position in the tape image, counting from 1.
inline std::string dataDoesNotFit(int position) {
    return "Data of load " + std::to_string(position) + " does not fit in 8192 bytes\n";
}
// The reader reports this text without a line feed; the conversion run adds one.
inline std::string invalidLoadFormat(int format, int position) {
    return "Invalid load format " + std::to_string(format) + " found in load " +
           std::to_string(position);
}
inline std::string noLoads(std::string_view name) {
    return "No loads found in " + std::string(name) + "\n";
}

}  // namespace messages
