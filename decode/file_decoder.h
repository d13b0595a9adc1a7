// Decodes a whole audio file: the file reader feeding the recording decoder block by block,
// so a recording of any length is read with flat memory.
#pragma once

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

FileDecodeResult decodeAudioFile(const std::string& path, const DecoderOptions& options = {});

}  // namespace kelvanto::decode
