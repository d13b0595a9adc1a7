// The tape image: the loads read from a .bml or .bin file, the command-line overrides, the
// BASIC code tables and the encoder that turns the loads into audio. One per run.
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <istream>
#include <string>
#include <string_view>

#include "audio/tape_encoder.h"
#include "tape/character_table.h"
#include "tape/errors.h"
#include "tape/tape_load.h"

// Removes a four-character extension (".bin") from the end of the name, ignoring case.
// A name that is the extension alone throws Error::badOutputFileName.
void stripExtension(std::string& name, std::string_view extension);

class TarqoBinFile {
  public:
    // Names hold at most this many characters.
    static constexpr std::size_t maxNameLength = 255;

    TarqoBinFile();
    ~TarqoBinFile();
    TarqoBinFile(const TarqoBinFile&) = delete;
    TarqoBinFile& operator=(const TarqoBinFile&) = delete;

    // Mode "r" reads the whole tape image file into the loads; other modes are refused.
    int open(const std::string& fileName, const std::string& mode, int verbosity);
    // Reads a tape image from any stream (the file of open, or bytes in memory).
    void read(std::istream& source, int verbosity);

    // Writes every load into the audio file (conversion run).
    void createAudioFile(const std::string& audioFileName, int sampleRate, int bitsPerSample,
                         int channels);

    void setName(std::string_view text);
    const std::string& getName() const { return name; }
    void setScreenName(std::string_view text);
    std::string getScreenName() const { return screenName; }

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

    // ---- state, in the order the tape image has always kept it ----
    std::uint8_t writing = 0;
    double headerLengthOverride = -1.0;
    double footerLengthOverride = -1.0;
    double gapLengthOverride = -1.0;
    std::deque<TapeLoad> loads;
    std::ifstream input;
    TapeEncoder encoder;
    TapeLoad* currentLoad = nullptr;
    std::int32_t sampleRate = 0;
    std::int32_t dataPosition = 0;
    std::int32_t bitsPerSample = 0;
    std::int32_t channels = 0;
    std::int32_t loadsRead = 0;
    std::int32_t verbosity = 0;
    std::int32_t fileFormat = 0;
    std::int32_t loadCount = 0;
    std::int32_t hexByteCount = 0;
    double fileLength = 0.0;
    double dataLength = 0.0;
    std::string name;
    CodeTable plainTable;
    CodeTable quotedTable;
    std::string screenName;
    TapeLoad::DataBytes* currentData = nullptr;

  private:
    // The stream the reader takes its bytes from while read() runs.
    std::istream* source = nullptr;

    // ---- reader helpers ----
    // The next input byte (0..255); the end of the input throws Error::endOfFile, since every
    // caller still expects bytes there.
    int nextByte();
    // Reads characters while they spell the expected text; false at the first difference.
    bool readMatches(std::string_view expected);
    std::streampos readPosition();
    void setReadPosition(std::streampos position);
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
