// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary texts through the BASIC line encoder. Each input line becomes one
// program line of the same load, so the encoder also meets the end of the 8192 data bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/fatal.h"
#include "fuzz/fuzz_support.h"
#include "tape/tarqo_bin_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::prepare("basic");
    return 0;
}

// The first two bytes give the first line number (little end first, so negative and large
// numbers occur too as the number counts up). The third byte, from 0xC0 on, starts the
// program 4 to 256 bytes before the end of the load's data, so that short inputs reach the
// 8192-byte limit too (a long line costs milliseconds: every character is looked up in the
// code tables). The rest are line texts split at '\n'.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    int lineNumber = static_cast<std::int16_t>(data[0] | data[1] << 8);
    const int start = data[2] >= 0xC0 ? TapeLoad::dataSize - (256 - data[2]) * 4 : 0;
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

    TarqoBinFile tape;
    TapeLoad::DataBytes& bytes = tape.loads.emplace_back().dataBytes;
    int position = start;
    try {
        std::size_t begin = 0;
        for (;;) {
            const std::size_t end = text.find('\n', begin);
            const std::string line =
                text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
            const int before = position;
            tape.encodeBasicLine(bytes, position, lineNumber, line);
            // Two bytes of line number, at most one byte per character, and the line end.
            if (position <= before || position - before > static_cast<int>(line.size()) + 3) {
                __builtin_trap();
            }
            if (end == std::string::npos) {
                break;
            }
            begin = end + 1;
            lineNumber += 10;
        }
    } catch (const kelvanto::FatalError& error) {
        // The only way the encoder may fail: the data would pass the load's 8192 bytes.
        if (error.message != "Data of load 1 does not fit in 8192 bytes\n" ||
            position + static_cast<int>(text.size()) + 3 < TapeLoad::dataSize) {
            __builtin_trap();
        }
    }
    return 0;
}
