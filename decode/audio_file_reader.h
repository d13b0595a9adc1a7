// SPDX-License-Identifier: MIT
// Reads a recording from any audio file that libsndfile understands (WAV of every width and
// kind, RF64, W64, AIFF, FLAC, Ogg, MP3 where the library has it) in blocks of float frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvanto::decode {

// Nothing but this class sees libsndfile: the decoder itself takes plain float samples.
class AudioFileReader {
  public:
    // What a file of a format the audio library does not know is told.
    static constexpr const char* notAudioWeRead =
        "not a format read here (WAV, FLAC, Ogg, Opus, MP3, AIFF and the like); convert it "
        "first, for example: ffmpeg -i IN OUT.wav";

    AudioFileReader() = default;
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    // False, with the reason in error(), when the file cannot be read as audio: the system's
    // ("Is a directory", "Not a regular file" for a FIFO or device, which is never waited
    // on), "File is empty", or the audio library's. "-" is standard input, pipes included.
    bool open(const std::string& path);
    // The audio library's decoders write notes of their own to standard error; they are
    // silenced unless shown (a fuzz run keeps standard error as it is).
    static void showLibraryMessages(bool shown);
    void close();

    // Up to maxFrames interleaved frames into samples (resized to what was read), full
    // scale +-1. 0 at the end of the file or after an error (see error()).
    std::size_t read(std::vector<float>& samples, std::size_t maxFrames);

    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    std::int64_t frames() const { return frameCount; }
    const std::string& error() const { return message; }

  private:
    void* file = nullptr;  // SNDFILE*, kept opaque so that users need no libsndfile headers
    int rate = 0;
    int channelCount = 0;
    std::int64_t frameCount = 0;
    std::string message;
};

}  // namespace kelvanto::decode
