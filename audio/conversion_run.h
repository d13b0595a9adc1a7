// SPDX-License-Identifier: MIT
// The conversion run: every load of a tape image becomes its signal (header tone, sync
// character, data pairs with the checksum in the last one, footer tone, gap), in the tape's order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/tape_wav_writer.h"
#include "tape/load_layout.h"
#include "tape/tarqo_bin_file.h"

class ConversionRun {
  public:
    // Opens the audio file at the first load and writes every load. A name that is ".wav"
    // alone throws Error::badOutputFileName; other failures end the run with their message.
    void createAudioFile(const TarqoBinFile& tape, const std::string& audioFileName, int sampleRate,
                         int bitsPerSample, int channels);
    // The same signal as a stream that is never patched (standard output): the header holds
    // the exact length, worked out from the loads' cycles before the first sample.
    void streamAudio(const TarqoBinFile& tape, std::FILE* stream, int sampleRate, int bitsPerSample,
                     int channels);
    // Patches the header's sizes and closes the file (reported if that fails).
    void finish() { writer.close(); }

    // The run's input: the audio file never replaces it.
    void protectFile(const std::string& name) { writer.protectFile(name); }
    const TapeWavWriter& getWriter() const { return writer; }

  private:
    void sendLoad(const TapeLoad& load);
    // The line that confirms a checksum, or the two that report its repair.
    void reportCheckSum(const LoadCharacters& sent) const;

    TapeWavWriter writer;
    int verbosity = 0;
};
