// SPDX-License-Identifier: MIT
// The run from the command line to a finished .wav file.
#include "app/run.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/options.h"
#include "audio/conversion_run.h"
#include "base/fatal.h"
#include "base/messages.h"
#include "base/temporary_files.h"
#include "tape/tarqo_bin_file.h"

namespace {

void printUsage() {
    std::cout << "Kelvanto v2.0beta\n" << std::flush;
    std::cout << "Released December 31, 2005\n" << std::flush;
    std::cerr << "Usage:\n";
    std::cerr << "   Kelvanto [-b ] ([8], 16) number of bits per sample in .wav file\n";
    std::cerr << "            [-c ] ([1], 2) number of audio channels\n" << std::flush;
    std::cout << "            [-f ] footer length in seconds (e.g. 2.5)\n";
    std::cout << "            [-g ] gap length in seconds\n";
    std::cout << "            [-h ] header length in seconds\n";
    std::cout << "            [-k ] ([22050], 44100) sample rate\n";
    std::cout << "            [-v ] verbosity 0-2 where 0 is silent and 2 is the most detailed\n";
    std::cout << "                  Default = 1\n";
    std::cout << "            [-w (.wav file name)]\n" << std::flush;
    std::cerr << "            (input .bin filename)\n" << std::flush;
}

// The audio name when -w gave none: the input name without .bin, then without .bml, plus .wav.
std::string deriveAudioFileName(std::string name) {
    stripExtension(name, ".bin");
    stripExtension(name, ".bml");
    return name + ".wav";
}

constexpr const char* outOfMemory = "Out of memory\n";

// Every line for standard output went out: the stream has no error and nothing is left in
// its buffer. Progress lines are flushed as they are written, so a full disk or a closed
// pipe shows here at the latest.
bool standardOutputWritten() {
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    return flushed && std::cout.good() && std::ferror(stdout) == 0;
}

int convert(int argc, char** argv) {
    auto tape = std::make_unique<TarqoBinFile>();
    auto run = std::make_unique<ConversionRun>();
    if (argc <= 1) {
        printUsage();
        return 1;
    }
    const RunOptions options = scanOptions(std::vector<std::string>(argv + 1, argv + argc));
    tape->setScreenName(options.screenName);
    tape->setInputName(options.inputName);
    if (options.verbosity != 0) {
        std::cout << "Kelvanto v2.0beta\n"
                  << "Released January 31, 2004\n"
                  << std::flush;
    }
    tape->headerLengthOverride = options.headerLength;
    tape->footerLengthOverride = options.footerLength;
    tape->gapLengthOverride = options.gapLength;

    std::string failure;
    std::string audioFileName = options.audioFileName;
    run->protectFile(options.inputName);
    try {
        tape->open(options.inputName, "r", options.verbosity);
        if (tape->loads.empty()) {
            kelvanto::fatal(messages::noLoads(options.inputName));
        }
        if (audioFileName.empty()) {
            audioFileName = deriveAudioFileName(options.inputName);
        }
        if (audioFileName.size() > TarqoBinFile::maxNameLength) {
            throw Error::badOutputFileName{};
        }
        run->createAudioFile(*tape, audioFileName, options.sampleRate, options.bitsPerSample,
                             options.channels);
    } catch (const Error::badOutputFileName&) {
        failure = messages::invalidOutputName;
    } catch (const Error::endOfFile&) {
        failure = messages::unexpectedEnd;
    }
    if (!failure.empty()) {
        run.reset();
        tape.reset();
        kelvanto::fatal(failure);
    }
    // Finish the file before reporting success, so that a failing last write is reported as
    // the error it is and never follows a success line.
    run->finish();
    if (options.verbosity != 0) {
        std::cout << "Successfully created .wav file " << audioFileName << "!\n" << std::flush;
    }
    run.reset();
    tape.reset();
    // The audio file is complete and in place; a lost progress line is still an error.
    if (!standardOutputWritten()) {
        kelvanto::fatal("Can not write to standard output\n");
    }
    return 0;
}

}  // namespace

int runKelvanto(int argc, char** argv) {
    kelvanto::installTerminationCleanup();
    // Memory runs out in the middle of a run: the temporary audio file goes and an earlier
    // file of its name stays (fatal() removes it). The handler also covers allocations where
    // an exception could not travel.
    std::set_new_handler([] { kelvanto::fatal(outOfMemory); });
    try {
        return convert(argc, argv);
    } catch (const std::bad_alloc&) {
        kelvanto::fatal(outOfMemory);
    }
}
