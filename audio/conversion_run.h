// The conversion run: every load of a tape image becomes header tone, sync character, data
// pairs with the checksum in the last one, footer tone and gap, in the tape's order.
#pragma once

#include <string>

#include "audio/tape_encoder.h"
#include "tape/load_layout.h"
#include "tape/tarqo_bin_file.h"

class ConversionRun {
  public:
    // Opens the audio file at the first load and writes every load. A name that is ".wav"
    // alone throws Error::badOutputFileName; other failures end the run with their message.
    void createAudioFile(const TarqoBinFile& tape, const std::string& audioFileName, int sampleRate,
                         int bitsPerSample, int channels);
    // Patches the header's sizes and closes the file (reported if that fails).
    void finish() { encoder.getWriter().close(); }

    TapeEncoder& getEncoder() { return encoder; }

  private:
    void sendLoad(const TapeLoad& load);
    void sendPair(int format, bool filler, std::uint8_t first, std::uint8_t second);
    // The line that confirms a checksum, or the two that report its repair.
    void reportCheckSum(const LoadCharacters& sent) const;

    TapeEncoder encoder;
    int verbosity = 0;
};
