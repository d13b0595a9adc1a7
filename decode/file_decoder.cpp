// SPDX-License-Identifier: MIT
// A file through the decoder, block by block.
// Errors of the file come back with the audio library's own reason.
#include "decode/file_decoder.h"

#include <cstdio>
#include <string>

#include "decode/audio_file_reader.h"

namespace kelvanto::decode {

FileDecodeResult decodeAudioFile(const std::string& path, const DecoderOptions& options,
                                 const BlockObserver& observer) {
    FileDecodeResult result;
    AudioFileReader reader;
    if (!reader.open(path)) {
        result.error = reader.error();
        return result;
    }
    result.sampleRate = reader.sampleRate();
    result.channels = reader.channels();
    // Each refusal names the fault, with the number the user can compare.
    if (reader.sampleRate() < RecordingDecoder::lowestRate ||
        reader.sampleRate() > RecordingDecoder::highestRate) {
        result.error = "sample rate of " + std::to_string(reader.sampleRate()) +
                       " Hz is out of range (" +
                       std::to_string(static_cast<int>(RecordingDecoder::lowestRate)) + " to " +
                       std::to_string(static_cast<int>(RecordingDecoder::highestRate)) + ")";
        return result;
    }
    const std::string channels = "recording has " + std::to_string(reader.channels()) +
                                 (reader.channels() == 1 ? " channel" : " channels");
    if (reader.channels() > RecordingDecoder::mostChannels) {
        result.error =
            channels + "; at most " + std::to_string(RecordingDecoder::mostChannels) + " are read";
        return result;
    }
    if (options.channel >= reader.channels()) {
        result.error =
            channels + "; --channel " + std::to_string(options.channel + 1) + " does not exist";
        return result;
    }
    RecordingDecoder decoder(reader.sampleRate(), reader.channels(), options);
    std::vector<float> block;
    while (reader.read(block, 16384) > 0) {
        decoder.pushInterleaved(block);
        if (observer) {
            observer(block, decoder.framesSeen(), reader.frames(), reader.sampleRate(),
                     reader.channels());
        }
    }
    if (!reader.error().empty()) {
        // A file that breaks off (a damaged or cut MP3) keeps the loads before the break.
        if (decoder.framesSeen() == 0) {
            result.error = reader.error();
            return result;
        }
        char place[32];
        std::snprintf(place, sizeof place, "%.3f",
                      static_cast<double>(decoder.framesSeen()) / reader.sampleRate());
        result.warning = "the audio library stopped reading after " + std::string(place) + " s (" +
                         reader.error() + "); what came before is decoded";
    }
    result.readable = true;
    result.frames = decoder.framesSeen();
    result.loads = decoder.finish();
    return result;
}

}  // namespace kelvanto::decode
