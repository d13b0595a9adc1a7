// SPDX-License-Identifier: MIT
// Writing a result file without ever leaving a half-written one: the bytes go to a hidden
// temporary file in the target's folder, which takes the target's place only once complete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// An output of a command and what it is, for messages: "tape image", "--json", "picture".
struct OutputName {
    std::string name;
    std::string role;
};

// Checks every output of a run before any work is done, links and other spellings included,
// with or without force: no output may be an input (inputRole names them in the message,
// e.g. "a recording") and no two outputs may be one file. Without force an existing output
// is refused ("File exists"); a folder or any other file that is not a regular file is
// refused always. "-" is standard output and is checked only against another "-".
// Throws CommandError.
void checkOutputNames(const std::vector<OutputName>& outputs,
                      const std::vector<std::string>& inputs, const std::string& inputRole,
                      bool force);

// One output file, written in pieces: created (as its temporary file) when constructed, put in
// place by commit(), removed unless committed. "-" writes standard output directly.
class OutputFile {
  public:
    // Throws CommandError when the temporary file cannot be made.
    OutputFile(std::string name, bool force);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // True for a file: what was written first can be written again before commit();
    // standard output cannot go back.
    bool canReplaceStart() const { return !temporary.empty(); }
    // Writes bytes over the first ones written, as many as they are. Throws CommandError.
    void replaceStart(std::string_view bytes);
    // Without force the target is created only where no file is, so that of two runs writing
    // one new name, one wins and the other fails with "File exists". With force an existing
    // file is replaced in one step and keeps its permission bits; a symbolic link keeps
    // leading to the file, which gets the new contents. Throws CommandError.
    void commit();
    const std::string& name() const { return target; }

  private:
    void flush();
    // Writes the bytes at once, gathered ones first (flush).
    void put(std::string_view bytes);
    void abandon() noexcept;

    std::string target;    // the name as given (for messages)
    std::string replaced;  // the file it leads to, links followed
    std::string temporary;
    bool force;
    int fd = -1;
    int mode = -1;  // permission bits of the file replaced, -1 for a new file
    std::string buffer;
};

// Writes the bytes to the named file, or to standard output for "-". An existing file is
// replaced only with force; a file that is the input is never replaced. Throws CommandError.
void writeOutputFile(const std::string& name, const std::string& bytes, bool force,
                     const std::string& inputName = "");
