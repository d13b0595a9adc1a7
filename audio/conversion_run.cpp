// The conversion run: every load of the tape image becomes header tone, sync character, data
// pairs with the checksum in the last one, footer tone and gap, in queue order.
#include "audio/conversion_run.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "audio/screen_bitmap.h"
#include "audio/wav_clock.h"
#include "base/fatal.h"
#include "base/formatted.h"
#include "base/machine.h"
#include "base/messages.h"

namespace {

// The longest framed character: start bit, eight 1 bits, stop bit, in frames.
constexpr double longestCharacterFrames = 7 + 8 * 14 + 14;

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
        if (!machine::isLoadFormat(format)) {
            kelvanto::fatal(messages::invalidLoadFormat(format, position) + "\n");
        }
        if (load.getLength() > machine::loadDataSize) {
            kelvanto::fatal(messages::dataDoesNotFit(position));
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
        const double pairs = loadLayout::halfLength(load.getFormat(), load.getLength());
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

void ConversionRun::createAudioFile(const TarqoBinFile& tape, const std::string& audioFileName,
                                    int sampleRate, int bitsPerSample, int channels) {
    std::string baseName = audioFileName.substr(0, machine::maxNameLength);
    stripExtension(baseName, ".wav");
    // The name holds 255 characters with its extension too: a given name without ".wav"
    // grows by four characters here.
    if (baseName.size() + 4 > machine::maxNameLength) {
        throw Error::badOutputFileName{};
    }
    verbosity = tape.getVerbosity();
    const std::deque<TapeLoad>& loads = tape.loads;
    checkLoads(loads);

    TapeWavWriter& writer = encoder.getWriter();
    int index = 0;
    for (const TapeLoad& queued : loads) {
        ++index;
        // The signal is made from a copy: the screen bitmap replaces bytes of the copy only.
        TapeLoad load = queued;
        const int format = load.getFormat();
        if (index == 1 && format == machine::screenLoadFormat && !tape.getScreenName().empty()) {
            applyScreenBitmap(load, loadLayout::halfLength(format, load.getLength()),
                              tape.getScreenName());
        }
        if (index == 1) {
            const std::string audioName = baseName + ".wav";
            WavFile::validateParameters(sampleRate, bitsPerSample, channels);
            checkAudioSize(loads, sampleRate, bitsPerSample, channels);
            writer.open(audioName, sampleRate, bitsPerSample, channels);
            if (verbosity != 0) {
                std::cout << "Creating audio file " << audioName << "\n" << std::flush;
            }
        }
        if (verbosity != 0) {
            std::cout << "  Processing load " << index << "\n" << std::flush;
        }
        sendLoad(load);
    }
}

void ConversionRun::sendLoad(const TapeLoad& load) {
    TapeWavWriter& writer = encoder.getWriter();
    WavClock clock(writer);
    while (load.getHeaderLength() > clock.elapsedSeconds()) {
        encoder.writeBit(1);
    }

    encoder.setRunningSum(machine::syncCharacter);
    encoder.writeBit(0);
    writer.writeByte(machine::syncCharacter);
    encoder.writeBit(1);

    const LoadCharacters sent = loadLayout::sentCharacters(load);
    const std::vector<std::uint8_t>& characters = sent.characters;
    for (std::size_t i = 0; i < characters.size(); i += 2) {
        const bool last = i + 2 == characters.size();
        sendPair(load.getFormat(), last && sent.filler, characters[i], characters[i + 1]);
    }
    if (sent.hasCheckSum) {
        reportCheckSum(sent);
    }

    clock.restart();
    while (load.getFooterLength() > clock.elapsedSeconds()) {
        encoder.writeBit(1);
    }
    writer.writeSilence(load.getGapLength());
}

// Plain loads send their characters as they are; screen and binary loads send the two bytes
// whose interleaving the receiver reads as these characters.
void ConversionRun::sendPair(int format, bool filler, std::uint8_t first, std::uint8_t second) {
    if (format == machine::plainLoadFormat) {
        encoder.writePair(filler ? 1 : 0, first, second);
        return;
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    interleavePair(reverseBits(first), reverseBits(second), a, b);
    encoder.writeInterleavedPair(filler ? 1 : 0, a, b);
}

void ConversionRun::reportCheckSum(const LoadCharacters& sent) const {
    if (sent.checkSumRight()) {
        if (verbosity != 0) {
            std::cout << formatted("    Checksum %x is OK!\n", sent.statedCheckSum) << std::flush;
        }
        return;
    }
    std::cerr << formatted("Calculated Checksum = %x - Read Checksum = %x\n", sent.computedCheckSum,
                           sent.statedCheckSum)
              << "Repairing checksum\n"
              << std::flush;
}
