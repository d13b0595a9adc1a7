// SPDX-License-Identifier: MIT
// Where the audio goes: a hidden temporary file beside the target, renamed over it only once
// complete, so a failed run never leaves a cut file; a character device is written directly.
#pragma once

#include <cstdio>
#include <string>

class AudioTarget {
  public:
    AudioTarget() = default;
    AudioTarget(const AudioTarget&) = delete;
    AudioTarget& operator=(const AudioTarget&) = delete;
    // A target neither committed nor abandoned is abandoned.
    ~AudioTarget() { abandon(); }

    // A stream to write the file of this name to. Refuses, with its message and exit status
    // 1, a name that is the file named protectedInput (through any link), a folder, any
    // other file that is neither regular nor a character device (a FIFO, a socket, a block
    // device) and a folder where no file can be made.
    std::FILE* open(const std::string& name, const std::string& protectedInput);
    // After the stream was closed without error: puts the file in place of the target.
    // False when that fails; the temporary file is then gone and the target as it was.
    bool commit();
    // Removes the temporary file, if any; the target stays as it was.
    void abandon() noexcept;

    // The name being written: the temporary file, or the device itself.
    const std::string& writtenName() const { return temporary.empty() ? target : temporary; }

  private:
    std::string target;     // the path the finished file replaces (links resolved)
    std::string temporary;  // empty when writing the target directly
};
