// SPDX-License-Identifier: MIT
// Fuzz target: arbitrary bytes as an audio file on disk, decoded through the entry that
// kelvanto-tape's decode and list use (open, checks, the audio library, the decoder), so that
// WAV, FLAC, Ogg and MP3 headers and their damaged streams all reach the decoder. The seeds
// (fuzz/corpus/audio_file) are short tones written by sox, each behind its control byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decode/audio_file_reader.h"
#include "decode/file_decoder.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string scratch;

// The name's extension; the audio library tells formats apart by their contents, but the
// name is what a user gives.
constexpr const char* extensions[8] = {".wav",  ".flac", ".ogg", ".mp3",
                                       ".aiff", ".au",   ".w64", ".caf"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = fuzz_support::prepare("audio_file");
    // The library's own notes stay on standard error, beside any sanitizer report.
    kelvanto::decode::AudioFileReader::showLibraryMessages(true);
    return 0;
}

// The first byte: bits 0-2 pick the extension, bits 3-4 the channel option (every channel,
// the first, the second, the fourth). The rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string path = scratch + "recording" + extensions[data[0] & 7];
    if (!fuzz_support::writeFile(path, data + 1, size - 1)) {
        return 0;
    }
    kelvanto::decode::DecoderOptions options;
    constexpr int channels[4] = {-1, 0, 1, 3};
    options.channel = channels[(data[0] >> 3) & 3];
    const auto result = kelvanto::decode::decodeAudioFile(path, options);
    // A file that reads has its format, and every load lies inside the recording.
    if (result.readable && (result.sampleRate <= 0 || result.channels <= 0)) {
        __builtin_trap();
    }
    if (!result.readable && (result.error.empty() || !result.loads.empty())) {
        __builtin_trap();
    }
    for (const auto& load : result.loads) {
        if (load.startSample < -16 || load.endSample > result.frames + 16) {
            __builtin_trap();
        }
    }
    return 0;
}
