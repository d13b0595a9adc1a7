// SPDX-License-Identifier: MIT
// The meaning of each tape markup element: root, NAME, LOAD and its lengths, DATA with HEX and
// BASIC text, binary payloads, the BASIC line encoder and the diagnostic screen files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "base/byte_order.h"
#include "base/fatal.h"
#include "base/machine.h"
#include "base/messages.h"
#include "tape/attribute_values.h"
#include "tape/screen_file.h"
#include "tape/tape_lengths.h"
#include "tape/tarqo_bin_file.h"

namespace {

using machine::binaryLoadFormat;
using machine::screenLoadFormat;

// The diagnostic file shows 102 rows of the screen's 20 bytes, 8 pixels to a byte.
constexpr int screenBytesPerRow = machine::screenGroupsPerRow;
constexpr int screenDumpRows = 102;

}  // namespace

int TarqoBinFile::currentLoadPosition() const {
    return static_cast<int>(loads.size());
}

void TarqoBinFile::refuseOversizedData() const {
    kelvanto::fatal(messages::dataDoesNotFit(currentLoadPosition()));
}

void TarqoBinFile::storeDataByte(TapeLoad::DataBytes& data, long index, int value) const {
    if (index < 0 || index >= TapeLoad::dataSize) {
        refuseOversizedData();
    }
    data.set(static_cast<std::size_t>(index), static_cast<std::uint8_t>(value));
}

double TarqoBinFile::readSecondsPair() {
    SecondsPair pair;
    pair.seconds = static_cast<std::uint8_t>(nextByte());
    pair.hundredths = static_cast<std::uint8_t>(nextByte());
    return pair.value();
}

void TarqoBinFile::printDetail(std::string_view label, double value, std::string_view unit) const {
    if (verbosity < 2 || quiet) {
        return;
    }
    std::ostringstream line;
    line << label << value << unit;
    std::cout << line.str() << std::flush;
}

int TarqoBinFile::readRoot(const std::string& tag, const std::string& attributes) {
    if (tag != "TARQO") {
        return -1;
    }
    fileFormat = attributeInteger(getAttribute(attributes, "format"));
    if (fileFormat == 1) {
        // Binary root header: load count, file length (word), two reserved bytes.
        loadCount = nextByte();
        unsigned char word[2];
        word[0] = static_cast<unsigned char>(nextByte());
        word[1] = static_cast<unsigned char>(nextByte());
        fileLength = bytesToWord(word);
        nextByte();
        nextByte();
    } else if (fileFormat == 2) {
        loadCount = attributeInteger(getAttribute(attributes, "loadCount"));
        fileLength = attributeReal(getAttribute(attributes, "fileLength"));
    } else {
        kelvanto::fatal("Invalid file format " + std::to_string(fileFormat) + " found\n");
    }
    while (readTag("TARQO") != 0) {
    }
    return 0;
}

int TarqoBinFile::readRootChild(const std::string& tag, const std::string& attributes) {
    if (tag == "/TARQO") {
        return 0;
    }
    if (tag == "NAME") {
        setName(readElementText("NAME"));
        return 1;
    }
    if (tag != "LOAD") {
        return -1;
    }
    currentLoad = &loads.emplace_back();
    currentData = &currentLoad->dataBytes;
    const int format = attributeInteger(getAttribute(attributes, "format"));
    currentLoad->setFormat(format);
    if (format == binaryLoadFormat) {
        currentLoad->setLoadNumber(nextByte());
    } else if (format == machine::plainLoadFormat || format == screenLoadFormat) {
        currentLoad->setLoadNumber(attributeInteger(getAttribute(attributes, "loadNumber")));
        // A length of 0 on the LOAD tag means "not given": the machine's usual tones apply.
        const double header = attributeReal(getAttribute(attributes, "headerLength"));
        currentLoad->setHeaderLength(header == 0.0 ? machine::defaultHeaderLength : header);
        const double footer = attributeReal(getAttribute(attributes, "footerLength"));
        currentLoad->setFooterLength(footer == 0.0 ? machine::defaultFooterLength : footer);
        currentLoad->setGapLength(attributeReal(getAttribute(attributes, "gapLength")));
        const std::string checkSum = getAttribute(attributes, "checkSum");
        currentLoad->setCheckSum(checkSum == "0" ? 0 : attributeCheckSum(checkSum));
    } else {
        kelvanto::fatal(messages::invalidLoadFormat(format, currentLoadPosition()));
    }
    while (readTag("LOAD") != 0) {
    }
    return 1;
}

int TarqoBinFile::readLoadChild(const std::string& tag, const std::string& attributes) {
    const bool binary = currentLoad->getFormat() == binaryLoadFormat;
    if (tag == "HEADER" || tag == "FOOTER") {
        const bool header = tag == "HEADER";
        const double override = header ? headerLengthOverride : footerLengthOverride;
        double length = 0.0;
        if (binary) {
            // The payload is part of the element and is read even when it is overridden.
            length = readSecondsPair();
        } else {
            length =
                attributeReal(getAttribute(attributes, header ? "headerLength" : "footerLength"));
        }
        if (override >= 0.0) {
            length = override;
        }
        if (header) {
            currentLoad->setHeaderLength(length);
            printDetail("    Header length: ", length, " seconds \n");
        } else {
            currentLoad->setFooterLength(length);
            printDetail("    Footer Length: ", length, " seconds\n");
        }
        readTag(tag);
        return 1;
    }
    if (tag == "GAP") {
        double length = 0.0;
        if (binary) {
            length = readSecondsPair();
            if (gapLengthOverride >= 0.0) {
                length = gapLengthOverride;
            }
        } else {
            // Text loads keep their own gap whatever the command line says.
            length = attributeReal(getAttribute(attributes, "gapLength"));
        }
        currentLoad->setGapLength(length);
        printDetail("    Gap Length: ", length, " seconds\n");
        readTag(tag);
        return 1;
    }
    if (tag == "DATA") {
        if (binary) {
            unsigned char word[2];
            word[0] = static_cast<unsigned char>(nextByte());
            word[1] = static_cast<unsigned char>(nextByte());
            dataLength = bytesToWord(word);
            const long length = static_cast<long>(dataLength);
            // Refused before the payload is read, so nothing lands outside the load.
            if (length > TapeLoad::dataSize) {
                refuseOversizedData();
            }
            // The stored data is padded to an even count of bytes.
            const long stored = length + (length % 2);
            long index = 0;
            // The payload in one piece when the input holds all of it (shared with the image
            // where the image outlives the reading, else copied); a cut payload is stored byte
            // by byte up to where the input ends.
            if (stored <= TapeLoad::dataSize &&
                static_cast<std::size_t>(stored) <= source.size() - readIndex) {
                if (sharedSource && sharedSource->data() == source.data()) {
                    currentData->share(sharedSource, readIndex, static_cast<std::size_t>(stored));
                } else {
                    currentData->assign(
                        reinterpret_cast<const std::uint8_t*>(source.data() + readIndex),
                        static_cast<std::size_t>(stored));
                }
                readIndex += static_cast<std::size_t>(stored);
                index = stored;
            }
            for (; index < stored; ++index) {
                storeDataByte(*currentData, index, nextByte());
            }
        } else {
            dataLength = attributeInteger(getAttribute(attributes, "length"));
        }
        currentLoad->setLength(static_cast<int>(dataLength));
        printDetail("    Load length: ", dataLength, " bytes\n");
        if (binary) {
            readTag("DATA");
            return 1;
        }
        dataPosition = 0;
        while (readTag("DATA") != 0) {
        }
        writeScreenDump();
        return 1;
    }
    if (tag == "/LOAD") {
        ++loadsRead;
        // A screen load holding a BASIC program sends the program in both halves.
        if (currentLoad->getFormat() == screenLoadFormat &&
            currentLoad->getLength() < 2 * dataPosition) {
            currentLoad->setLength(2 * dataPosition);
        }
        if (currentLoad->getLength() > TapeLoad::dataSize) {
            refuseOversizedData();
        }
        return 0;
    }
    return -1;
}

int TarqoBinFile::readDataChild(const std::string& tag, const std::string& attributes) {
    if (tag == "HEX") {
        return readHex(tag, attributes);
    }
    if (tag == "BASIC") {
        readBasic(tag, attributes);
        return 1;
    }
    // Any other tag, /DATA included, ends the data.
    return 0;
}

int TarqoBinFile::readHex(const std::string& tag, const std::string& attributes) {
    hexByteCount = attributeInteger(getAttribute(attributes, "count"));
    const long address = attributeAddress(getAttribute(attributes, "address"));
    const std::string text = readHexText();
    // Values are separated by blanks only: a line break stays inside a value, whose number
    // then ends before it.
    long count = 0;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        storeDataByte(*currentData, address + count,
                      hexTokenByte(std::string_view(text).substr(at, end - at)));
        ++count;
        at = end;
    }
    hexByteCount = static_cast<std::int32_t>(count);
    while (readTag(tag) != 0) {
    }
    return 1;
}

int TarqoBinFile::readBasic(const std::string& tag, const std::string&) {
    while (readTag(tag) != 0) {
    }
    return 1;
}

void TarqoBinFile::appendEndOfProgram() {
    // Read as the line number 0xFF00, which no program line can have.
    storeDataByte(*currentData, dataPosition, machine::basicEndMarker & 0xFF);
    storeDataByte(*currentData, dataPosition + 1L, machine::basicEndMarker >> 8);
    dataPosition += 2;
}

int TarqoBinFile::readLine(const std::string& tag, const std::string& attributes) {
    const int number = attributeInteger(getAttribute(attributes, "number"));
    const std::string text = readLineText();
    encodeBasicLine(*currentData, dataPosition, number, text);
    while (readTag(tag) != 0) {
    }
    return 1;
}

void TarqoBinFile::encodeBasicLine(TapeLoad::DataBytes& data, int& position, int lineNumber,
                                   const std::string& text) {
    unsigned char number[2];
    wordToBytes(lineNumber, number);
    storeDataByte(data, position, number[0]);
    storeDataByte(data, position + 1L, number[1]);
    position += 2;

    // Forms are matched greedily: a token grows while it is the start of some form. When it
    // stops being one, its characters but the last are stored as they are and the last one
    // starts the next token.
    std::string token;
    bool inString = false;
    std::size_t i = 0;
    while (i < text.size()) {
        token.push_back(text[i]);
        if (token == "\"") {
            inString = !inString;
        }
        int answer = lookupToken(token, inString ? getQuotedTable() : getPlainTable());
        if (answer < 0 && i + 1 == text.size()) {
            answer = 0;
        }
        if (answer < 0) {
            ++i;
        } else if (answer == 0 && token.size() > 1) {
            for (std::size_t k = 0; k + 1 < token.size(); ++k) {
                storeDataByte(data, position++, static_cast<unsigned char>(token[k]));
            }
            token.clear();
        } else {
            const int code = answer == 0 ? static_cast<unsigned char>(token[0]) : answer;
            storeDataByte(data, position++, code);
            token.clear();
            ++i;
        }
    }
    storeDataByte(data, position++, machine::basicLineEnd);
}

void TarqoBinFile::writeScreenDump() {
    if (quiet) {
        return;
    }
    char fileName[32];
    std::snprintf(fileName, sizeof fileName, "screen_%d.txt", currentLoad->getLoadNumber());
    // The picture is the second half of the data; bytes outside the load show as clear.
    const long start = static_cast<long>(std::ceil(dataLength / 2.0));
    std::string picture;
    for (long row = 0; row < screenDumpRows; ++row) {
        for (long column = 0; column < screenBytesPerRow; ++column) {
            const unsigned byte = currentLoad->byteAt(start + row * screenBytesPerRow + column);
            for (const unsigned mask : machine::pixelMasks) {
                picture.push_back((byte & mask) != 0 ? '*' : ' ');
            }
        }
        picture.push_back('\n');
    }
    writeScreenFile(fileName, inputName, picture);
}
