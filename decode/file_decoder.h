// SPDX-License-Identifier: MIT
// Decodes a whole audio file: the file reader feeding the recording decoder block by block,
// so a recording of any length is read with flat memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/decoded_load.h"
#include "decode/recording_decoder.h"

namespace kelvanto::decode {

struct FileDecodeResult {
    bool readable = false;
    std::string error;  // the audio library's reason when the file could not be read
    // A readable file whose reading broke off before its end: where and why.
    std::string warning;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;
    std::vector<DecodedLoad> loads;
};

// Shown every block after the decoder has it: the block's interleaved samples, the frames read
// so far, the file's frame count (0 or less than read when unknown, as on a pipe), its rate and
// its channel count.
using BlockObserver = std::function<void(const std::vector<float>& block, std::int64_t framesRead,
                                         std::int64_t framesTotal, int sampleRate, int channels)>;

FileDecodeResult decodeAudioFile(const std::string& path, const DecoderOptions& options = {},
                                 const BlockObserver& observer = {});

}  // namespace kelvanto::decode
