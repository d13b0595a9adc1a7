// Writes a tape image in its canonical layouts: markup text (.bml, loads of formats 1 and 2,
// BASIC lines where the data holds a program) and binary (.bin, loads of format 3).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tape/tarqo_bin_file.h"

enum class TapeLayout { text, binary };

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

  private:
    // Each appends its text to out.
    void textLoad(const TapeLoad& load, int number, std::string& out) const;
    void textData(const TapeLoad& load, bool basic, std::string& out) const;
    // True when the load written with BASIC lines reads back as the same load.
    bool readsBack(const TapeLoad& load, const std::string& element) const;

    const TarqoBinFile& tables;
};

// The layout an output name asks for by its extension (.bml or .bin, any letter case).
bool layoutForName(const std::string& name, TapeLayout& layout);
