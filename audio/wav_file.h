// SPDX-License-Identifier: MIT
// An uncompressed PCM RIFF/WAVE file written in one pass: 44-byte header, samples, and the
// two size fields patched on close, which only then puts the file in place. Samples are
// collected in a block of our own and written in whole blocks; every write is checked.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_target.h"
#include "audio/block_writer.h"

class WavFile {
  public:
    static constexpr int headerSize = 44;
    // Byte positions are 32-bit signed; no file may reach 2^31 bytes.
    static constexpr std::int64_t maxFileLength = 0x7FFFFFFF;
    static constexpr const char* tooLargeMessage =
        "Audio file would reach 2 GB, more than a .wav file can hold\n";
    // The format written when the command line names none (and in which list gives lengths:
    // a second lasts as long in every format).
    static constexpr int defaultSampleRate = 22050;
    static constexpr int defaultBitsPerSample = 8;
    static constexpr int defaultChannels = 2;

    WavFile();
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;
    // A file that was not closed is abandoned: an earlier file of its name stays as it was.
    ~WavFile();

    // Refuses, in this order, bits other than 8 or 16, rates other than 22050 or 44100 and
    // channel counts other than 1 or 2, each with its own message and exit status 1.
    static void validateParameters(int sampleRate, int bitsPerSample, int channels);

    // The one file this writer must never replace (the run's input); empty for none.
    void protectFile(const std::string& name) { protectedFile = name; }

    // The file is written under a temporary name beside its target (see AudioTarget).
    void openForOutput(const std::string& fileName, int sampleRate, int bitsPerSample,
                       int channels);
    // Writes to a stream that is never patched nor closed here (standard output): the header
    // states dataBytes of samples from the start. Refuses a file that would reach 2 GB.
    void openForStream(std::FILE* stream, int sampleRate, int bitsPerSample, int channels,
                       std::int64_t dataBytes);
    // Patches the sizes, closes the file and puts it in place of any earlier one. A stream
    // is flushed instead, and must have received exactly the bytes its header states.
    void close();
    // The system's error number of the write that failed, or 0.
    int writeError() const { return lastWriteError; }

    // Bytes of a silence of some seconds in a format: the seconds at the format's bytes per
    // second, cut to whole bytes and then to whole samples of one channel. Not above zero
    // (or not a number) is none.
    static std::int64_t silenceBytes(double seconds, int sampleRate, int bitsPerSample,
                                     int channels);
    // One sample of one channel at a level from -100 to +100 (clamped).
    void writeSample(int level);
    void writeSilence(double seconds);

    bool isOpen() const { return output != nullptr; }
    // The put position: bytes of the file produced so far, header included.
    std::int32_t position() const {
        return static_cast<std::int32_t>(flushed + static_cast<std::int64_t>(used));
    }

    int getFormat() const { return format; }
    int getChannels() const { return channels; }
    int getBytesPerSample() const { return bytesPerSample; }
    int getBitsPerSample() const { return bitsPerSample; }
    int getSampleRate() const { return sampleRate; }
    int getBytesPerSecond() const { return bytesPerSecond; }
    int getAmplitude() const { return amplitude; }
    const std::array<unsigned char, headerSize>& getHeader() const { return header; }

  protected:
    // The bytes of one sample at a level, as writeSample puts them; returns their count.
    int sampleBytes(int level, unsigned char* bytes) const;
    // Appends bytes to the output; ends the run if the file is not open or cannot be written.
    void writeBytes(const unsigned char* bytes, std::size_t count) {
        // Unsigned: a count of 0 takes the checked path too, so a closed file still fails.
        if (count - 1 < room) {
            std::memcpy(buffer + used, bytes, count);
            used += count;
            room -= count;
            return;
        }
        writeBytesSlow(bytes, count);
    }
    // Appends a pattern count times over.
    void writeRepeated(const unsigned char* pattern, std::size_t patternSize, std::int64_t count);
    // The way in for a renderer that stores its bytes itself: up to putRoom() bytes may be
    // stored from putPointer() on, and are then counted with advance(). Once the room is
    // used up, writeBytes() sends the block and goes on in the next one.
    unsigned char* putPointer() { return buffer + used; }
    std::size_t putRoom() const { return room; }
    void advance(std::size_t count) {
        used += count;
        room -= count;
    }

  private:
    void begin(int sampleRate, int bitsPerSample, int channels, std::int32_t dataBytes);
    void reserveOutput(std::int64_t count);
    // Appends bytes whose room was reserved, sending every block as it fills.
    void append(const unsigned char* bytes, std::size_t count);
    // Writes what the block holds and empties it.
    void flushBuffer();
    void writeBytesSlow(const unsigned char* bytes, std::size_t count);
    void updateRoom();

    int format = 0;
    int channels = 0;
    int bytesPerSample = 0;
    int bitsPerSample = 0;
    int sampleRate = 0;
    int bytesPerSecond = 0;
    int amplitude = 100;
    std::array<unsigned char, headerSize> header;
    std::FILE* output = nullptr;
    bool streaming = false;
    std::int64_t promisedBytes = 0;
    int lastWriteError = 0;
    AudioTarget target;
    std::string protectedFile;
    std::int64_t flushed = 0;  // bytes handed to the stream
    BlockWriter writer;
    unsigned char* buffer = nullptr;  // the writer's block being filled
    std::size_t used = 0;
    std::size_t room = 0;  // bytes that may be appended without a flush or a limit check
};
