// SPDX-License-Identifier: MIT
// Writes a tape image in its canonical layouts: markup text (.bml, loads of formats 1 and 2,
// BASIC lines where the data holds a program) and binary (.bin, loads of format 3).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tape/tarqo_bin_file.h"

enum class TapeLayout { text, binary };

// Where a tape image goes as it is written, load by load.
class TapeSink {
  public:
    virtual ~TapeSink() = default;
    virtual void put(std::string_view bytes) = 0;
    // True when the first bytes put can be put again, once the whole length is known (a file);
    // false for a pipe, which the writer then measures first.
    virtual bool canReplaceStart() const = 0;
    // Writes bytes over the first bytes put, as many as they are.
    virtual void replaceStart(std::string_view bytes) = 0;
};

struct WrittenTape {
    std::string bytes;
    // One line per load that the layout cannot hold exactly: what was written instead.
    std::vector<std::string> warnings;
};

// Nothing sensible can be written (a load with more characters than a binary load holds).
struct TapeWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TapeWriter {
  public:
    // The writer takes the code tables of a tape image, so text and codes stay one table.
    explicit TapeWriter(const TarqoBinFile& tables) : tables(tables) {}

    // Every load is written so that the receiver reads the same characters, checksum and
    // filler included, and reading the result gives the same loads again.
    WrittenTape write(const TarqoBinFile& tape, TapeLayout layout) const;
    // The same bytes into a sink, load by load, with no more than one load in memory; returns
    // the warnings. A TapeWriteError can come after some loads were put: the sink's owner
    // then throws the output away.
    std::vector<std::string> write(const TarqoBinFile& tape, TapeLayout layout,
                                   TapeSink& out) const;

  private:
    // Appends one load in the layout to out, and a warning when the layout cannot hold it.
    void appendLoad(const TapeLoad& load, int position, TapeLayout layout, std::string& out,
                    std::vector<std::string>& warnings) const;
    // Each appends its text to out.
    void textLoad(const TapeLoad& load, int number, std::string& out) const;
    void textData(const TapeLoad& load, bool basic, std::string& out) const;
    // True when the load written with BASIC lines reads back as the same load.
    bool readsBack(const TapeLoad& load, const std::string& element) const;

    const TarqoBinFile& tables;
};

// The layout an output name asks for by its extension (.bml or .bin, any letter case).
bool layoutForName(const std::string& name, TapeLayout& layout);
