// SPDX-License-Identifier: MIT
// Recordings for kelvanto-tape: every take decoded, the takes merged load by load, and the
// loads as a tape image that sends the same characters again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "companion/progress.h"
#include "companion/recording_reader.h"
#include "decode/decoded_load.h"
#include "tape/tarqo_bin_file.h"

struct RecordingInfo {
    std::string name;
    int sampleRate = 0;
    int channels = 0;
    double seconds = 0.0;
    LevelEnvelope envelope;  // filled only when asked for (DecodeWatch::envelopes)
};

struct DecodedTape {
    std::vector<RecordingInfo> recordings;
    // The loads of each recording on its own, and the loads merged from all of them (the
    // same as the only take's when there is one).
    std::vector<std::vector<kelvanto::decode::DecodedLoad>> takes;
    std::vector<kelvanto::decode::DecodedLoad> loads;
    // One load for each decoded load that holds characters, in the same order.
    std::unique_ptr<TarqoBinFile> tape;
};

// The extensions of audio files that list and decode take as recordings.
bool isRecordingName(const std::string& name);

// What a decoding run shows on the way and keeps for a picture.
struct DecodeWatch {
    ProgressLine* progress = nullptr;  // position, takes and loads so far
    bool envelopes = false;            // each recording's level envelope
};

// channel: -1 for every channel, else 0 for the first. Throws CommandError for a file that
// cannot be read as audio (with the audio library's reason). A load longer than the tape
// image can hold (8193 characters, 8192 for a binary image) is cut to fit and made BAD, with
// the cut in its problem text, so that the image always reads back.
DecodedTape decodeRecordings(const std::vector<std::string>& names, int channel,
                             bool binaryImage = false, const DecodeWatch& watch = {});
