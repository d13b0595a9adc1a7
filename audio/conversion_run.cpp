// SPDX-License-Identifier: MIT
// The conversion run: every load of the tape image becomes header tone, sync character, data
// pairs with the checksum in the last one, footer tone and gap, in queue order.
#include "audio/conversion_run.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <vector>

#include "audio/screen_bitmap.h"
#include "base/fatal.h"
#include "base/formatted.h"
#include "base/machine.h"
#include "base/messages.h"
#include "tape/load_signal.h"

namespace {

// The longest framed character: start bit, eight 1 bits, stop bit, in frames.
constexpr double longestCharacterFrames = machine::characterFrames(0xFF, machine::fillerStartBit);

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
    const double frameBytes = TapeWavWriter::frameBytes(rate, bits, channels);
    const int bytesPerSecond = rate * (bits / 8) * channels;
    const double cycleBytes = machine::toneCycleFrames * frameBytes;
    double total = WavFile::headerSize;
    auto toneBytes = [&](double seconds) {
        return seconds > 0.0 && !std::isfinite(seconds)
                   ? seconds
                   : static_cast<double>(toneCycles(seconds, bytesPerSecond)) * cycleBytes;
    };
    for (const TapeLoad& load : loads) {
        const double pairs = machine::pairCount(load.getFormat(), load.getLength());
        total += toneBytes(load.getHeaderLength());
        total += (1 + 2 * pairs) * longestCharacterFrames * frameBytes;
        total += toneBytes(load.getFooterLength());
        const double gap = load.getGapLength();
        total += gap > 0.0 ? std::trunc(bytesPerSecond * gap) : 0.0;
    }
    if (!(total <= static_cast<double>(WavFile::maxFileLength))) {
        kelvanto::fatal(WavFile::tooLargeMessage);
    }
}

// The load as it is sent: the first load of a screen tape takes the bitmap into a copy, every
// other load is sent as it was read.
static const TapeLoad& loadToSend(const TarqoBinFile& tape, const TapeLoad& queued, int index,
                                  TapeLoad& copy) {
    const int format = queued.getFormat();
    if (index != 1 || format != machine::screenLoadFormat || tape.getScreenName().empty()) {
        return queued;
    }
    copy = queued;
    applyScreenBitmap(copy, machine::pairCount(format, copy.getLength()), tape.getScreenName());
    return copy;
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

    int index = 0;
    for (const TapeLoad& queued : loads) {
        ++index;
        TapeLoad copy;
        const TapeLoad& load = loadToSend(tape, queued, index, copy);
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

void ConversionRun::streamAudio(const TarqoBinFile& tape, std::FILE* stream, int sampleRate,
                                int bitsPerSample, int channels) {
    verbosity = tape.getVerbosity();
    const std::deque<TapeLoad>& loads = tape.loads;
    checkLoads(loads);
    WavFile::validateParameters(sampleRate, bitsPerSample, channels);
    checkAudioSize(loads, sampleRate, bitsPerSample, channels);
    const int bytesPerSecond = sampleRate * (bitsPerSample / 8) * channels;
    // The loads as sent, each measured once before the header and then written.
    TapeLoad copy;
    std::vector<const TapeLoad*> sent;
    std::int64_t dataBytes = 0;
    for (const TapeLoad& queued : loads) {
        sent.push_back(&loadToSend(tape, queued, static_cast<int>(sent.size()) + 1, copy));
        dataBytes += TapeWavWriter::signalBytes(loadSignal(*sent.back(), bytesPerSecond),
                                                sampleRate, bitsPerSample, channels);
    }
    writer.openStream(stream, sampleRate, bitsPerSample, channels, dataBytes);
    for (const TapeLoad* load : sent) {
        sendLoad(*load);
    }
}

// Down the layers: the characters the load sends (tape/), their cycles (tape/), the samples
// (audio/). The checksum is reported once the characters are written, before the footer.
void ConversionRun::sendLoad(const TapeLoad& load) {
    const LoadSignal signal = loadSignal(load, writer.getBytesPerSecond());
    const LoadCharacters& sent = signal.sent;
    writer.writeTone(signal.headerCycles);
    writer.writeCharacters(&LoadSignal::sync, 1, false);
    writer.writeCharacters(sent.characters.data(), sent.characters.size(), sent.filler);
    if (sent.hasCheckSum) {
        reportCheckSum(sent);
    }
    writer.writeTone(signal.footerCycles);
    writer.writeSilence(signal.gapSeconds);
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
