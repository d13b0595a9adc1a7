// SPDX-License-Identifier: MIT
// PCM WAV output: header, buffered sample writing, silence and the size patch on close.
#include "audio/wav_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>

#include "base/byte_order.h"
#include "base/fatal.h"

namespace {

// The samples go into the writer's blocks: one is filled while the kernel copies the other
// into the file.
constexpr std::size_t bufferCapacity = BlockWriter::blockBytes;

const std::array<unsigned char, WavFile::headerSize> headerTemplate = {
    'R', 'I', 'F', 'F', 0x80, 0x80, 0x80, 0x80, 'W', 'A',  'V',  'E', 'f', 'm',  't',
    ' ', 16,  0,   0,   0,    1,    0,    1,    0,   0x22, 0x56, 0,   0,   0x22, 0x56,
    0,   0,   1,   0,   8,    0,    'd',  'a',  't', 'a',  0,    0,   0,   0};

[[noreturn]] void cannotWrite() {
    kelvanto::fatal("Can not write to .wav file\n");
}

}  // namespace

WavFile::WavFile() : header(headerTemplate) {}

// Reached with the file still open when the run failed before close(): its samples are
// incomplete, so the temporary file goes and the target is left as it was.
WavFile::~WavFile() {
    writer.abandon();
    if (output != nullptr && !streaming) {
        std::fclose(output);
    }
    target.abandon();
}

void WavFile::validateParameters(int rate, int bits, int channelCount) {
    if (bits != 8 && bits != 16) {
        kelvanto::fatal("Only 8 and 16 bits per sample supported\n");
    }
    if (rate != 22050 && rate != 44100) {
        kelvanto::fatal("Only 22050 and 44100 sample rates supported\n");
    }
    if (channelCount != 1 && channelCount != 2) {
        kelvanto::fatal("Only 1 and 2 channel .wav files supported\n");
    }
}

// The parameters are checked before the file is created, so a typing error on the command
// line never truncates a file that already has this name.
void WavFile::openForOutput(const std::string& fileName, int rate, int bits, int channelCount) {
    if (output != nullptr) {
        kelvanto::fatal("Wav file already open for output\n");
    }
    validateParameters(rate, bits, channelCount);
    output = target.open(fileName, protectedFile);
    streaming = false;
    begin(rate, bits, channelCount, 0);
}

void WavFile::openForStream(std::FILE* stream, int rate, int bits, int channelCount,
                            std::int64_t dataBytes) {
    if (output != nullptr) {
        kelvanto::fatal("Wav file already open for output\n");
    }
    validateParameters(rate, bits, channelCount);
    if (dataBytes < 0 || dataBytes > maxFileLength - headerSize) {
        kelvanto::fatal(tooLargeMessage);
    }
    output = stream;
    streaming = true;
    promisedBytes = headerSize + dataBytes;
    begin(rate, bits, channelCount, static_cast<std::int32_t>(dataBytes));
}

void WavFile::begin(int rate, int bits, int channelCount, std::int32_t dataBytes) {
    // The object buffers on its own: every flush becomes one write of the whole block.
    std::setvbuf(output, nullptr, _IONBF, 0);
    format = 1;
    channels = channelCount;
    sampleRate = rate;
    bitsPerSample = bits;
    bytesPerSample = bitsPerSample / 8 * channels;
    bytesPerSecond = sampleRate * bytesPerSample;
    amplitude = 95;
    lastWriteError = 0;

    header = headerTemplate;
    putWord(header.data(), 20, format);
    putWord(header.data(), 22, channels);
    putWord(header.data(), 24, sampleRate);
    putLongWord(header.data(), 28, bytesPerSecond);
    putWord(header.data(), 32, bytesPerSample);
    putWord(header.data(), 34, bitsPerSample);
    putLongWord(header.data(), 40, dataBytes);
    if (streaming) {
        putLongWord(header.data(), 4, dataBytes + headerSize - 8);
    }
    flushed = 0;
    used = 0;
    buffer = writer.block();
    updateRoom();
    writeBytes(header.data(), header.size());
}

void WavFile::close() {
    if (output == nullptr) {
        return;
    }
    const int failure = writer.finish(output, used);
    flushed += static_cast<std::int64_t>(used);
    used = 0;
    if (failure != 0) {
        lastWriteError = failure;
        cannotWrite();
    }
    if (streaming) {
        output = nullptr;
        room = 0;
        streaming = false;
        if (flushed != promisedBytes) {
            kelvanto::fatal("Audio stream of " + std::to_string(flushed) + " bytes, not the " +
                            std::to_string(promisedBytes) + " its header states\n");
        }
        return;
    }
    const auto end = static_cast<std::int32_t>(flushed);
    const std::int32_t riffSize = end - 8;
    const std::int32_t dataSize = riffSize - 36;
    unsigned char bytes[4];
    bool ok = std::fseek(output, 40, SEEK_SET) == 0;
    longWordToBytes(dataSize, bytes);
    ok = ok && std::fwrite(bytes, 1, 4, output) == 4;
    ok = ok && std::fseek(output, 4, SEEK_SET) == 0;
    longWordToBytes(riffSize, bytes);
    ok = ok && std::fwrite(bytes, 1, 4, output) == 4;
    ok = std::fclose(output) == 0 && ok;
    output = nullptr;
    room = 0;
    if (!ok) {
        target.abandon();
    }
    if (!ok || !target.commit()) {
        cannotWrite();
    }
}

int WavFile::sampleBytes(int level, unsigned char* bytes) const {
    level = std::clamp(level, -100, 100);
    if (bitsPerSample == 8) {
        const int v = (level + 100) * 255 / 200;
        bytes[0] = static_cast<unsigned char>(static_cast<int>(v * (amplitude / 100.0)));
        return 1;
    }
    // The amplitude scales the unsigned value before the offset, so the wave is not centred
    // on the format's zero; recorded tapes have always sounded this way.
    const int v = (level + 100) * 65535 / 200;
    const double x = (amplitude / 100.0) * v - 32768.0;
    signedWordToBytes(x, bytes);
    return 2;
}

void WavFile::writeSample(int level) {
    if (output == nullptr) {
        cannotWrite();
    }
    unsigned char bytes[2];
    const int count = sampleBytes(level, bytes);
    writeBytes(bytes, static_cast<std::size_t>(count));
}

std::int64_t WavFile::silenceBytes(double seconds, int rate, int bits, int channelCount) {
    // Written as "not above zero" so that a length that is not a number writes nothing.
    if (!(seconds > 0.0)) {
        return 0;
    }
    const double perSecond = static_cast<double>(rate) * (bits / 8) * channelCount;
    const double byteCount = std::min(std::trunc(perSecond * seconds), 1e18);
    const std::int64_t sampleSize = bits / 8;
    return static_cast<std::int64_t>(byteCount) / sampleSize * sampleSize;
}

void WavFile::writeSilence(double seconds) {
    if (!(seconds > 0.0)) {
        return;
    }
    if (output == nullptr) {
        cannotWrite();
    }
    const double byteCount = std::trunc(bytesPerSecond * seconds);
    reserveOutput(static_cast<std::int64_t>(std::min(byteCount, 1e18)));
    const auto samples = static_cast<std::int64_t>(byteCount) / (bitsPerSample / 8);
    unsigned char bytes[2];
    const int size = sampleBytes(0, bytes);
    writeRepeated(bytes, static_cast<std::size_t>(size), samples);
}

void WavFile::reserveOutput(std::int64_t count) {
    if (count > maxFileLength - (flushed + static_cast<std::int64_t>(used))) {
        kelvanto::fatal(tooLargeMessage);
    }
}

void WavFile::updateRoom() {
    if (output == nullptr) {
        room = 0;
        return;
    }
    const std::int64_t left = maxFileLength - (flushed + static_cast<std::int64_t>(used));
    room = static_cast<std::size_t>(std::max<std::int64_t>(
        0, std::min<std::int64_t>(left, static_cast<std::int64_t>(bufferCapacity - used))));
}

void WavFile::writeBytesSlow(const unsigned char* bytes, std::size_t count) {
    if (output == nullptr) {
        cannotWrite();
    }
    reserveOutput(static_cast<std::int64_t>(count));
    append(bytes, count);
    updateRoom();
}

// Blocks are filled to the last byte, so every write but the last one is a whole block at a
// whole multiple of the block size in the file.
void WavFile::append(const unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        if (used == bufferCapacity) {
            flushBuffer();
        }
        const std::size_t now = std::min(count, bufferCapacity - used);
        std::memcpy(buffer + used, bytes, now);
        used += now;
        bytes += now;
        count -= now;
    }
}

void WavFile::writeRepeated(const unsigned char* pattern, std::size_t patternSize,
                            std::int64_t count) {
    if (count <= 0 || patternSize == 0) {
        return;
    }
    reserveOutput(count * static_cast<std::int64_t>(patternSize));
    while (count > 0) {
        const std::size_t fit = (bufferCapacity - used) / patternSize;
        if (fit == 0) {
            // The pattern that crosses the end of the block.
            append(pattern, patternSize);
            --count;
            continue;
        }
        const auto now = static_cast<std::size_t>(std::min<std::int64_t>(count, fit));
        unsigned char* out = buffer + used;
        const std::size_t total = now * patternSize;
        if (patternSize == 1) {
            std::memset(out, pattern[0], now);
        } else {
            // One pattern, then double the filled part until the block is full.
            std::memcpy(out, pattern, patternSize);
            std::size_t filled = patternSize;
            while (filled < total) {
                const std::size_t step = std::min(filled, total - filled);
                std::memcpy(out + filled, out, step);
                filled += step;
            }
        }
        used += total;
        count -= static_cast<std::int64_t>(now);
    }
    updateRoom();
}

void WavFile::flushBuffer() {
    if (used == 0 || output == nullptr) {
        return;
    }
    const int failure = writer.send(output, used);
    flushed += static_cast<std::int64_t>(used);
    used = 0;
    buffer = writer.block();
    updateRoom();
    if (failure != 0) {
        lastWriteError = failure;
        cannotWrite();
    }
}
