// SPDX-License-Identifier: MIT
// The tape image: the loads read from a .bml or .bin file, the command-line overrides and the
// BASIC code tables. The conversion run (audio/) and the tape-image writer work from it.
#pragma once

#include <cstdint>
#include <deque>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

#include "base/machine.h"
#include "tape/character_table.h"
#include "tape/errors.h"
#include "tape/tape_load.h"

// Removes a four-character extension (".bin") from the end of the name, ignoring case.
// A name that is the extension alone throws Error::badOutputFileName.
void stripExtension(std::string& name, std::string_view extension);

class TarqoBinFile {
  public:
    // Names hold at most this many characters.
    static constexpr std::size_t maxNameLength = machine::maxNameLength;

    TarqoBinFile();
    ~TarqoBinFile();
    TarqoBinFile(const TarqoBinFile&) = delete;
    TarqoBinFile& operator=(const TarqoBinFile&) = delete;

    // The largest tape image file that open reads. Real tapes are a few hundred kilobytes.
    static constexpr std::size_t maxInputSize = std::size_t{64} << 20;

    // Mode "r" reads the whole tape image file into memory, then into the loads; other modes
    // are refused, and so are inputs that are no regular file or pass maxInputSize.
    int open(const std::string& fileName, const std::string& mode, int verbosity);
    // Reads a tape image from the rest of a stream (bytes in memory, in tests).
    void read(std::istream& source, int verbosity);
    // Reads a tape image held in memory; the bytes must outlive the call only.
    void read(std::string_view bytes, int verbosity);
    // The same for bytes that may outlive the call: the loads of a binary image share its
    // bytes instead of copying them, so the image is held once (and never written to).
    void read(std::shared_ptr<const std::string> bytes, int verbosity);
    // Where the reader stands in the bytes: after a failed read, the byte it stopped at.
    std::size_t getReadPosition() const { return readIndex; }

    // Reading without side effects: no screen files and no detail lines, whatever the
    // verbosity. The converter keeps both; the companion tool reads quietly.
    void setQuiet(bool value) { quiet = value; }
    int getVerbosity() const { return verbosity; }
    void setVerbosity(int value) { verbosity = value; }

    // What the root element said, for information only.
    int getFileFormat() const { return fileFormat; }
    int getLoadCount() const { return loadCount; }
    double getFileLength() const { return fileLength; }
    int getLoadsRead() const { return loadsRead; }
    // The working fields of the element last read.
    int getDataPosition() const { return dataPosition; }
    int getHexByteCount() const { return hexByteCount; }
    double getDataLength() const { return dataLength; }
    // The BASIC code tables, built at their first use: a binary tape never needs them.
    const CodeTable& getPlainTable() const;
    const CodeTable& getQuotedTable() const;

    void setName(std::string_view text);
    const std::string& getName() const { return name; }
    void setScreenName(std::string_view text);
    std::string getScreenName() const { return screenName; }
    // The file the tape image is read from: no screen file ever replaces it.
    void setInputName(std::string_view text) { inputName = std::string(text); }
    const std::string& getInputName() const { return inputName; }

    // ---- reading: markup reader (tags, attributes, element texts) ----
    int readTag(const std::string& parent);
    static std::string getAttribute(const std::string& attributeText, const std::string& name);
    std::string readElementText(const std::string& element);
    std::string readHexText();
    std::string readLineText();
    void skipBreak();

    // ---- reading: element rules, each given the tag name and the whole tag text ----
    int readRoot(const std::string& tag, const std::string& attributes);
    int readRootChild(const std::string& tag, const std::string& attributes);
    int readLoadChild(const std::string& tag, const std::string& attributes);
    int readDataChild(const std::string& tag, const std::string& attributes);
    int readHex(const std::string& tag, const std::string& attributes);
    int readBasic(const std::string& tag, const std::string& attributes);
    int readLine(const std::string& tag, const std::string& attributes);
    // Appends one encoded BASIC line at dataPosition (which grows).
    void encodeBasicLine(TapeLoad::DataBytes& data, int& position, int lineNumber,
                         const std::string& text);
    void writeScreenDump();

    // ---- state ----
    double headerLengthOverride = -1.0;
    double footerLengthOverride = -1.0;
    double gapLengthOverride = -1.0;
    std::deque<TapeLoad> loads;

  private:
    TapeLoad* currentLoad = nullptr;
    std::int32_t dataPosition = 0;
    std::int32_t loadsRead = 0;
    std::int32_t verbosity = 0;
    std::int32_t fileFormat = 0;
    std::int32_t loadCount = 0;
    std::int32_t hexByteCount = 0;
    double fileLength = 0.0;
    double dataLength = 0.0;
    std::string name;
    mutable CodeTable plainTable;
    mutable CodeTable quotedTable;
    mutable bool tablesBuilt = false;
    std::string screenName;
    std::string inputName;
    TapeLoad::DataBytes* currentData = nullptr;
    bool quiet = false;

    // The bytes the reader takes its input from while read() runs, and the next one's index.
    // Looking ahead and stepping back are index arithmetic on them.
    std::string_view source;
    std::size_t readIndex = 0;
    // What source lies in when the loads may share its bytes.
    std::shared_ptr<const std::string> sharedSource;

    // ---- reader helpers ----
    // The next input byte (0..255); the end of the input throws Error::endOfFile, since every
    // caller still expects bytes there.
    int nextByte();
    // Reads characters while they spell the expected text; false at the first difference.
    bool readMatches(std::string_view expected);
    std::size_t readPosition() const { return readIndex; }
    void setReadPosition(std::size_t position) { readIndex = position; }
    // The tag under a parent, by the nesting rules of the markup; negative when not allowed.
    int dispatchTag(const std::string& parent, const std::string& tag,
                    const std::string& attributes);
    // The CHAR text under HEX: as many raw characters as the HEX element had values.
    void skipCharText();
    // The end of a BASIC program: the bytes 0x00 0xFF where the next line number would stand.
    void appendEndOfProgram();
    // Whole seconds and hundredths, one byte each, as binary loads give their lengths.
    double readSecondsPair();
    // The position of the load being read, counting from 1, as messages name it.
    int currentLoadPosition() const;
    // Ends the run: the current load's data would pass its 8192 bytes.
    [[noreturn]] void refuseOversizedData() const;
    // Stores a byte at a data index, or ends the run when the index is outside the load.
    void storeDataByte(TapeLoad::DataBytes& data, long index, int value) const;
    // A reader detail line at verbosity 2 and above: label, value in the default real form, unit.
    void printDetail(std::string_view label, double value, std::string_view unit) const;
};
