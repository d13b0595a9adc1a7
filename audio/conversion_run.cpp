// The conversion run: every load of the tape image becomes header tone, sync character, data
// pairs with the checksum in the last one, footer tone and gap, in queue order.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "app/fatal.h"
#include "audio/screen_bitmap.h"
#include "audio/wav_clock.h"
#include "tape/tarqo_bin_file.h"

namespace {

constexpr std::uint8_t syncCharacter = 0xA5;
// The longest framed character: start bit, eight 1 bits, stop bit, in frames.
constexpr double longestCharacterFrames = 7 + 8 * 14 + 14;

std::string hexText(const char* format, int a, int b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Character positions of a load: the data and one for the checksum in text loads; binary
// loads already hold their checksum.
double characterPositions(const TapeLoad& load) {
    return load.getFormat() == 3 ? load.getLength() : load.getLength() + 1.0;
}

// Bytes of a tone of this many seconds: whole 1-bit cycles until the clock, which counts one
// byte more than was written, reaches the length.
double toneBytes(double seconds, double bytesPerSecond, double cycleBytes) {
    if (!(seconds > 0.0)) {
        return 0.0;
    }
    return std::max(0.0, std::ceil((seconds * bytesPerSecond - 1.0) / cycleBytes)) * cycleBytes;
}

}  // namespace

// Loads that the run cannot send are refused before anything is written.
static void checkLoads(const std::deque<TapeLoad>& loads) {
    int position = 0;
    for (const TapeLoad& load : loads) {
        ++position;
        const int format = load.getFormat();
        if (format < 1 || format > 3) {
            kelvanto::fatal("Invalid load format " + std::to_string(format) + " found in load " +
                            std::to_string(position) + "\n");
        }
        if (load.getLength() > TapeLoad::dataSize) {
            kelvanto::fatal("Data of load " + std::to_string(position) +
                            " does not fit in 8192 bytes\n");
        }
    }
}

// A generous estimate of the whole file, so that absurd lengths (a header of a billion
// seconds, an infinite gap) are refused at once instead of after gigabytes of audio.
static void checkAudioSize(const std::deque<TapeLoad>& loads, int rate, int bits, int channels) {
    const double frameBytes = bits / 8.0 * channels * (rate == 44100 ? 2 : 1);
    const double bytesPerSecond = static_cast<double>(rate) * bits / 8 * channels;
    const double cycleBytes = 14 * frameBytes;
    double total = WavFile::headerSize;
    for (const TapeLoad& load : loads) {
        const double pairs = std::max(0.0, std::ceil(characterPositions(load) / 2));
        total += toneBytes(load.getHeaderLength(), bytesPerSecond, cycleBytes);
        total += (1 + 2 * pairs) * longestCharacterFrames * frameBytes;
        total += toneBytes(load.getFooterLength(), bytesPerSecond, cycleBytes);
        const double gap = load.getGapLength();
        total += gap > 0.0 ? std::trunc(bytesPerSecond * gap) : 0.0;
    }
    if (!(total <= static_cast<double>(WavFile::maxFileLength))) {
        kelvanto::fatal(WavFile::tooLargeMessage);
    }
}

void TarqoBinFile::createAudioFile(const std::string& audioFileName, int rate, int bits,
                                   int channelCount) {
    std::string baseName = audioFileName.substr(0, maxNameLength);
    stripExtension(baseName, ".wav");
    // The name holds 255 characters with its extension too: a given name without ".wav"
    // grows by four characters here.
    if (baseName.size() + 4 > maxNameLength) {
        throw Error::badOutputFileName{};
    }
    sampleRate = rate;
    bitsPerSample = bits;
    channels = channelCount;
    checkLoads(loads);

    TapeWavWriter& writer = encoder.getWriter();
    const std::size_t loadTotal = loads.size();
    for (std::size_t i = 1; i <= loadTotal; ++i) {
        // The queue keeps its order: each load goes from the front to the back once.
        TapeLoad load = loads.front();
        loads.pop_front();
        loads.push_back(load);

        const int format = load.getFormat();
        dataLength = characterPositions(load);
        const double positions = dataLength;
        const int halfLength = static_cast<int>(std::ceil(positions / 2));

        if (i == 1 && format == 2 && !screenName.empty()) {
            applyScreenBitmap(load, halfLength, getScreenName());
        }
        if (i == 1) {
            const std::string audioName = baseName + ".wav";
            WavFile::validateParameters(sampleRate, bitsPerSample, channels);
            checkAudioSize(loads, sampleRate, bitsPerSample, channels);
            writer.open(audioName, sampleRate, bitsPerSample, channels);
            if (verbosity != 0) {
                std::cout << "Creating audio file " << audioName << "\n" << std::flush;
            }
        }
        if (verbosity != 0) {
            std::cout << "  Processing load " << i << "\n" << std::flush;
        }

        WavClock clock(writer);
        while (load.getHeaderLength() > clock.elapsedSeconds()) {
            encoder.writeBit(1);
        }

        encoder.setRunningSum(syncCharacter);
        encoder.writeBit(0);
        writer.writeByte(syncCharacter);
        encoder.writeBit(1);

        // Format 1 sends the characters in order; formats 2 and 3 send two halves of the data
        // interleaved bit by bit, format 2's second half starting one byte early.
        const int secondHalf = format == 2 ? halfLength - 1 : halfLength;
        auto sendPair = [&](int j, int lastFlag) {
            if (format == 1) {
                encoder.writePair(lastFlag, load.byteAt(2L * j), load.byteAt(2L * j + 1));
            } else {
                encoder.writeInterleavedPair(lastFlag, load.byteAt(j),
                                             load.byteAt(static_cast<long>(j) + secondHalf));
            }
        };
        for (int j = 0; j <= halfLength - 2; ++j) {
            sendPair(j, 0);
        }

        if (halfLength >= 1) {
            const int j = halfLength - 1;
            const int lastFlag = j + halfLength >= positions ? 1 : 0;
            // The two characters of the final pair as the receiver would read them.
            std::uint8_t first = 0;
            std::uint8_t second = 0;
            if (format == 1) {
                first = load.byteAt(2L * j);
                second = load.byteAt(2L * j + 1);
            } else {
                std::uint8_t high = 0;
                std::uint8_t low = 0;
                interleavePair(load.byteAt(j), load.byteAt(static_cast<long>(j) + secondHalf), high,
                               low);
                first = reverseBits(high);
                second = reverseBits(low);
            }
            // The checksum makes 0xA5 + every data character + checksum equal 0xFF.
            auto computed = static_cast<std::uint8_t>(0xFF - encoder.getRunningSum());
            if (lastFlag == 0) {
                computed = static_cast<std::uint8_t>(computed - first);
            }
            const int stated = format == 3 ? (lastFlag == 1 ? first : second) : load.getCheckSum();
            if (computed == stated) {
                if (verbosity != 0) {
                    std::cout << hexText("    Checksum %x is OK!\n", stated) << std::flush;
                }
            } else {
                std::cerr << hexText("Calculated Checksum = %x - Read Checksum = %x\n", computed,
                                     stated)
                          << "Repairing checksum\n"
                          << std::flush;
            }
            if (format == 3 && computed == stated) {
                sendPair(j, lastFlag);
            } else {
                const std::uint8_t x = lastFlag == 1 ? computed : first;
                const std::uint8_t y = lastFlag == 1 ? 0xFF : computed;
                if (format == 1) {
                    encoder.writePair(lastFlag, x, y);
                } else {
                    std::uint8_t a = 0;
                    std::uint8_t b = 0;
                    interleavePair(reverseBits(x), reverseBits(y), a, b);
                    encoder.writeInterleavedPair(lastFlag, a, b);
                }
            }
        }

        clock.restart();
        while (load.getFooterLength() > clock.elapsedSeconds()) {
            encoder.writeBit(1);
        }
        writer.writeSilence(load.getGapLength());
    }
}
