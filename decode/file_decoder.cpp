// A file through the decoder, block by block.
// Errors of the file come back with the audio library's own reason.
#include "decode/file_decoder.h"

#include "decode/audio_file_reader.h"

namespace kelvanto::decode {

FileDecodeResult decodeAudioFile(const std::string& path, const DecoderOptions& options) {
    FileDecodeResult result;
    AudioFileReader reader;
    if (!reader.open(path)) {
        result.error = reader.error();
        return result;
    }
    result.sampleRate = reader.sampleRate();
    result.channels = reader.channels();
    if (reader.sampleRate() < RecordingDecoder::lowestRate ||
        reader.sampleRate() > RecordingDecoder::highestRate ||
        reader.channels() > RecordingDecoder::mostChannels ||
        options.channel >= reader.channels()) {
        result.error = "sample rate, channel count or chosen channel out of range";
        return result;
    }
    RecordingDecoder decoder(reader.sampleRate(), reader.channels(), options);
    std::vector<float> block;
    while (reader.read(block, 16384) > 0) {
        decoder.pushInterleaved(block);
    }
    if (!reader.error().empty()) {
        result.error = reader.error();
        return result;
    }
    result.readable = true;
    result.frames = decoder.framesSeen();
    result.loads = decoder.finish();
    return result;
}

}  // namespace kelvanto::decode
