// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as a tape image (.bml or .bin), read and then converted into a
// scratch .wav file, so the reader, the element rules and the conversion run all see them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "audio/conversion_run.h"
#include "base/fatal.h"
#include "fuzz/fuzz_support.h"
#include "tape/tarqo_bin_file.h"
#include "tests/bitmap_writer.h"

namespace {

std::string screenBitmap;

// A 160 x 90 one-bit bitmap with a diagonal pattern, so that screen loads also go through
// the bitmap step.
void writeScreenBitmap(const std::string& path) {
    const std::vector<unsigned char> file = testing_support::makeBitmap(
        160, 90, 1, [](int x, int y) { return x % 8 == y % 8 ? 1u : 0u; });
    fuzz_support::writeFile(path, file.data(), file.size());
}

// Lengths in a tape image may legitimately ask for hours of audio (the run only refuses a
// file of 2 GB or more), and a few KB of input can hold many loads. Writing that much would
// make each run slow and fill the disk, so the conversion is skipped when the audio would
// pass 1 MB - unless the tones and gaps alone reach 100000 s: at 22050 bytes a second or
// more, that is past 2 GB, so the run must refuse it before writing anything, and that
// refusal is worth checking.
constexpr double audioBudgetBytes = 1 << 20;
constexpr double surelyRefusedSeconds = 1e5;
// A character is at most 133 frames of the 22050 frame grid (start, eight 1 bits, stop).
constexpr double longestCharacterSeconds = 133.0 / 22050.0;

bool worthConverting(const std::deque<TapeLoad>& loads, double bytesPerSecond) {
    double toneSeconds = 0.0;
    double dataSeconds = 0.0;
    // Negative and NaN lengths write nothing; they must not cancel out a long one.
    auto positive = [](double seconds) { return seconds > 0.0 ? seconds : 0.0; };
    for (const TapeLoad& load : loads) {
        toneSeconds += positive(load.getHeaderLength()) + positive(load.getFooterLength()) +
                       positive(load.getGapLength());
        // The data, the sync character and the checksum pair.
        const double characters = std::max(0, load.getLength()) + 3.0;
        dataSeconds += characters * longestCharacterSeconds;
    }
    if (toneSeconds >= surelyRefusedSeconds) {
        return true;
    }
    return (toneSeconds + dataSeconds) * bytesPerSecond <= audioBudgetBytes;
}

// The loads keep only what the input stored: whatever the input, they take at most ten times
// its size and a fixed amount (inputs go up to 1 MB, see fuzz/run.sh).
void checkMemoryBound(const std::deque<TapeLoad>& loads, std::size_t inputSize) {
    std::size_t held = 0;
    for (const TapeLoad& load : loads) {
        held += sizeof(TapeLoad) + load.dataBytes.storedBytes();
    }
    if (held > 10 * inputSize + 65536) {
        std::fprintf(stderr, "%zu bytes of input hold %zu bytes of loads\n", inputSize, held);
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string dir = fuzz_support::prepare("tape");
    screenBitmap = dir + "screen.bmp";
    writeScreenBitmap(screenBitmap);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input's length picks the audio format and whether a screen bitmap is given, so that
    // every format is reached without spending input bytes on it.
    const int rate = size & 1 ? 44100 : 22050;
    const int bits = size & 2 ? 16 : 8;
    const int channels = size & 4 ? 2 : 1;
    const bool withScreen = (size & 8) != 0;

    TarqoBinFile tape;
    if (withScreen) {
        tape.setScreenName(screenBitmap);
    }
    try {
        // Read as both programs read a file: a binary image's loads share its bytes.
        tape.read(std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size),
                  2);
        if (!tape.loads.empty() &&
            worthConverting(tape.loads, static_cast<double>(rate) * bits / 8 * channels)) {
            ConversionRun run;
            run.createAudioFile(tape, "fuzz.wav", rate, bits, channels);
            run.finish();
        }
    } catch (const kelvanto::FatalError&) {
    } catch (const Error::endOfFile&) {
    } catch (const Error::badOutputFileName&) {
    }
    checkMemoryBound(tape.loads, size);
    // Every text load leaves screen_<loadNumber>.txt behind; over millions of runs with
    // arbitrary numbers they would fill the disk.
    for (const TapeLoad& load : tape.loads) {
        std::remove(("screen_" + std::to_string(load.getLoadNumber()) + ".txt").c_str());
    }
    return 0;
}
