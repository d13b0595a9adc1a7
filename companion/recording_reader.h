// SPDX-License-Identifier: MIT
// A recording read block by block into the decoder, with what the companion watches on the
// way: the position for a progress line, and the level envelope for the timeline picture.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decode/file_decoder.h"

// The peak level of the recording (all channels read) in buckets of equal length; the
// buckets grow as the recording goes on, so a recording of any length keeps a few thousand.
struct LevelEnvelope {
    double bucketSeconds = 0.0;
    std::vector<float> peaks;  // 0 .. 1 of full scale
};

// framesRead so far, the file's frame count (0 or less than framesRead when unknown, as on
// a pipe) and its sample rate.
using BlockWatcher =
    std::function<void(std::int64_t framesRead, std::int64_t framesTotal, int sampleRate)>;

// decodeAudioFile, calling the watcher after every block and filling the envelope when one
// is given.
kelvanto::decode::FileDecodeResult decodeWatched(const std::string& path,
                                                 const kelvanto::decode::DecoderOptions& options,
                                                 const BlockWatcher& watcher,
                                                 LevelEnvelope* envelope);
