// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as a tape image; when they read, both canonical layouts are
// written and read back, and every load must send the same characters, with the same lengths,
// and convert to the same bytes again.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "base/fatal.h"
#include "fuzz/fuzz_support.h"
#include "tape/load_layout.h"
#include "tape/tape_writer.h"

namespace {

bool readTape(const std::string& bytes, TarqoBinFile& tape) {
    tape.setQuiet(true);
    std::istringstream stream(bytes);
    try {
        tape.read(stream, 0);
    } catch (const kelvanto::FatalError&) {
        return false;
    } catch (const Error::endOfFile&) {
        return false;
    }
    return true;
}

bool sameLength(double a, double b) {
    return a == b || std::fabs(a - b) <= 1e-9 || (!(a > 0.0) && !(b > 0.0));
}

void requireSameLoads(const TarqoBinFile& in, const TarqoBinFile& out) {
    if (in.loads.size() != out.loads.size() || in.getName() != out.getName()) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < in.loads.size(); ++i) {
        const TapeLoad& a = in.loads[i];
        const TapeLoad& b = out.loads[i];
        const LoadCharacters sentA = loadLayout::sentCharacters(a);
        const LoadCharacters sentB = loadLayout::sentCharacters(b);
        if (sentA.characters != sentB.characters || sentA.filler != sentB.filler ||
            sentA.statedCheckSum != sentB.statedCheckSum ||
            !sameLength(a.getHeaderLength(), b.getHeaderLength()) ||
            !sameLength(a.getFooterLength(), b.getFooterLength()) ||
            !sameLength(a.getGapLength(), b.getGapLength())) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = fuzz_support::prepare("writer");
    (void)folder;
    TarqoBinFile tape;
    if (!readTape(std::string(reinterpret_cast<const char*>(data), size), tape)) {
        return 0;
    }
    for (const TapeLayout layout : {TapeLayout::text, TapeLayout::binary}) {
        WrittenTape written;
        try {
            written = TapeWriter(tape).write(tape, layout);
        } catch (const TapeWriteError&) {
            continue;  // a load of 8193 characters has no binary form
        }
        TarqoBinFile back;
        if (!readTape(written.bytes, back)) {
            __builtin_trap();  // a written tape image always reads
        }
        if (written.warnings.empty()) {
            requireSameLoads(tape, back);
        }
        if (TapeWriter(back).write(back, layout).bytes != written.bytes) {
            __builtin_trap();
        }
    }
    return 0;
}
