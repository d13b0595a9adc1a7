// SPDX-License-Identifier: MIT
// The canonical text and binary layouts of a tape image, with the conversion of loads between
// the formats that each layout holds.
#include "tape/tape_writer.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "base/fatal.h"
#include "base/formatted.h"
#include "base/machine.h"
#include "tape/basic_program.h"
#include "tape/hex_text.h"
#include "tape/load_layout.h"
#include "tape/tape_lengths.h"

namespace {

using machine::binaryLoadFormat;
using machine::plainLoadFormat;

constexpr std::size_t hexLineBytes = 16;
// LINE texts longer than this are broken with <BR> forms.
constexpr std::size_t lineBreakLength = 200;
// The root tag's values stand in a stretch of this many characters, blanks after the '>'.
constexpr std::size_t rootStretch = 40;
// Lengths that differ by less than this are the same length on tape.
constexpr double lengthTolerance = 1e-9;

bool sameLength(double a, double b) {
    return a == b || std::fabs(a - b) <= lengthTolerance || (!(a > 0.0) && !(b > 0.0));
}

// The bytes a load's data keeps: its length rounded up to even (binary loads store one more
// byte when odd, and that byte is the filler they send).
std::size_t dataExtent(const TapeLoad& load) {
    const int length = std::max(0, load.getLength());
    return static_cast<std::size_t>(length + length % 2);
}

std::string loadName(int position) {
    return "load " + std::to_string(position) + ": ";
}

// The counted characters a load sends (data characters, then the stated checksum) and the
// filler, so that a load of the other layout's format sends the same and states the same.
std::vector<std::uint8_t> countedCharacters(const LoadCharacters& sent) {
    std::vector<std::uint8_t> counted(
        sent.characters.begin(),
        sent.characters.begin() + static_cast<long>(sent.countedCharacters()));
    if (!counted.empty()) {
        counted.back() = sent.statedCheckSum;
    }
    return counted;
}

TapeLoad withLengthsOf(TapeLoad converted, const TapeLoad& load) {
    converted.setHeaderLength(load.getHeaderLength());
    converted.setFooterLength(load.getFooterLength());
    converted.setGapLength(load.getGapLength());
    return converted;
}

void putWordBytes(std::string& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void putPair(std::string& out, const SecondsPair& pair) {
    out.push_back(static_cast<char>(pair.seconds));
    out.push_back(static_cast<char>(pair.hundredths));
}

// A length as its text reads back; a warning names what changed when it is not the same.
void checkTextLength(const char* what, double length, std::vector<std::string>& changes) {
    const std::string text = lengthText(length);
    if (!sameLength(readLengthText(text), length)) {
        changes.push_back(formatted("%s length %.9g s written as ", what, length) + text + " s");
    }
}

void checkPairLength(const char* what, double length, std::vector<std::string>& changes) {
    const SecondsPair pair = secondsPair(length);
    if (!sameLength(pair.value(), length)) {
        changes.push_back(formatted("%s length %.9g s written as %d.%02d s", what, length,
                                    pair.seconds, pair.hundredths));
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

}  // namespace

bool layoutForName(const std::string& name, TapeLayout& layout) {
    if (name.size() < 4) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == ".bml") {
        layout = TapeLayout::text;
        return true;
    }
    if (extension == ".bin") {
        layout = TapeLayout::binary;
        return true;
    }
    return false;
}

void TapeWriter::textData(const TapeLoad& load, bool basic, std::string& out) const {
    const std::size_t extent = dataExtent(load);
    out += formatted("\t\t<DATA length=%d>\n", load.getLength());
    std::size_t at = 0;
    if (basic) {
        const auto program = findBasicProgram(load, extent);
        out += "\t\t\t<BASIC>\n";
        for (const BasicLine& line : program->lines) {
            out += formatted("\t\t\t\t<LINE number=%4d>", line.number);
            out += basicLineText(line.codes, tables.getPlainTable(), tables.getQuotedTable(),
                                 lineBreakLength);
            out += "</LINE>\n";
        }
        out += "\t\t\t</BASIC>\n";
        at = program->end;
    }
    // The bytes in one run: a HEX line is then a lookup of digits, never a byte at a time
    // through the load's pages. Bytes past the 8192 of a load read as 0, as byteAt() says.
    std::vector<std::uint8_t> bytes(extent + hexLineBytes, 0);
    load.dataBytes.copyTo(bytes.data(), extent);
    while (at < extent) {
        // A run of more than 16 zero bytes is left out: a new load holds zeros already.
        std::size_t zeros = 0;
        while (at + zeros < extent && bytes[at + zeros] == 0) {
            ++zeros;
        }
        if (zeros > hexLineBytes) {
            at += zeros;
            continue;
        }
        const std::size_t count = std::min(hexLineBytes, extent - at);
        out += "\t\t\t<HEX address=";
        hexText::appendNumber(out, static_cast<unsigned>(at), 4);
        out += '>';
        hexText::appendValues(out, bytes.data() + at, count, hexLineBytes);
        out += "<CHAR>";
        hexText::appendCharacters(out, bytes.data() + at, count);
        out += "</CHAR></HEX>\n";
        at += count;
    }
    out += "\t\t</DATA>\n";
}

void TapeWriter::textLoad(const TapeLoad& load, int number, std::string& out) const {
    const std::string header = lengthText(load.getHeaderLength());
    const std::string footer = lengthText(load.getFooterLength());
    const std::string gap = lengthText(load.getGapLength());
    std::string head =
        formatted("\t<LOAD format=%d loadNumber=%d headerLength=", load.getFormat(), number) +
        header + " footerLength=" + footer +
        // Left out where it reads back as none: a gap too short for six decimals is written
        // as 0 (with a warning), and written again from what was read, it must come out the same.
        (readLengthText(gap) != 0.0 ? " gapLength=" + gap : "") +
        formatted(" checkSum=0x%2.2x>\n", load.getCheckSum()) +
        "\t\t<HEADER headerLength=" + header + "></HEADER>\n";
    const std::string tail = "\t\t<FOOTER footerLength=" + footer + "></FOOTER>\n" +
                             "\t\t<GAP gapLength=" + gap + "></GAP>\n" + "\t</LOAD>\n";
    if (findBasicProgram(load, dataExtent(load))) {
        std::string element = head;
        textData(load, true, element);
        element += tail;
        if (readsBack(load, element)) {
            out += element;
            return;
        }
    }
    out += head;
    textData(load, false, out);
    out += tail;
}

bool TapeWriter::readsBack(const TapeLoad& load, const std::string& element) const {
    TarqoBinFile copy;
    copy.setQuiet(true);
    std::istringstream stream("<TARQO format=2>" + element + "</TARQO>");
    try {
        kelvanto::FatalHookScope throwing(kelvanto::throwFatalError);
        copy.read(stream, 0);
    } catch (const kelvanto::FatalError&) {
        return false;
    } catch (const Error::endOfFile&) {
        return false;
    }
    if (copy.loads.size() != 1) {
        return false;
    }
    const TapeLoad& read = copy.loads.front();
    if (read.getLength() != load.getLength() || read.getCheckSum() != load.getCheckSum()) {
        return false;
    }
    const std::size_t extent = dataExtent(load);
    for (std::size_t i = 0; i < extent; ++i) {
        if (read.byteAt(static_cast<long>(i)) != load.byteAt(static_cast<long>(i))) {
            return false;
        }
    }
    return true;
}

namespace {

const std::string textStart = "<TARQO format=2 loadCount=";
const std::string binaryStart = "<TARQO format=1>";
const std::string rootEnd = "</TARQO>";

// The root tag has the same size whatever it states, so that it can be put first as blanks
// and filled in once the length is known.
std::size_t rootSize(TapeLayout layout) {
    return layout == TapeLayout::text ? textStart.size() + rootStretch : binaryStart.size() + 5;
}

std::string rootTag(TapeLayout layout, int count, std::size_t total) {
    std::string start;
    if (layout == TapeLayout::text) {
        std::string stretch = formatted("%d fileLength=%0.0f>", count, static_cast<double>(total));
        stretch.resize(rootStretch - 1, ' ');
        start = textStart + stretch + "\n";
    } else {
        start = binaryStart;
        // The count and the length are for information only; a larger tape keeps their ends.
        start.push_back(static_cast<char>(std::min(count, 255)));
        putWordBytes(start, static_cast<int>(std::min<std::size_t>(total, 0xFFFF)));
        start.push_back('\0');
        start.push_back('\0');
    }
    return start;
}

std::string nameElement(const std::string& name, TapeLayout layout) {
    if (name.empty()) {
        return "";
    }
    return layout == TapeLayout::text ? "\t<NAME>" + name + "</NAME>\n"
                                      : "<NAME>" + name + "</NAME>";
}

// A sink that keeps the whole image, for the callers that want it as one string.
class StringSink : public TapeSink {
  public:
    explicit StringSink(std::string& bytes) : bytes(bytes) {}
    void put(std::string_view more) override { bytes.append(more); }
    bool canReplaceStart() const override { return true; }
    void replaceStart(std::string_view start) override { bytes.replace(0, start.size(), start); }

  private:
    std::string& bytes;
};

}  // namespace

void TapeWriter::appendLoad(const TapeLoad& load, int position, TapeLayout layout, std::string& out,
                            std::vector<std::string>& warnings) const {
    std::vector<std::string> changes;
    const LoadCharacters sent = loadLayout::sentCharacters(load);
    if (layout == TapeLayout::text) {
        TapeLoad converted;
        const TapeLoad* plain = &load;
        if (load.getFormat() == binaryLoadFormat) {
            if (!sent.hasCheckSum) {
                changes.push_back(
                    "a binary load of length 0 sends no characters; written "
                    "as a plain load, which sends a checksum pair");
            } else if (sent.filler && sent.checkSumRight() &&
                       sent.characters.back() != machine::fillerCharacter) {
                changes.push_back(
                    formatted("filler 0x%2.2x written as 0xff", sent.characters.back()));
            }
            converted = withLengthsOf(
                loadLayout::loadSending(plainLoadFormat, countedCharacters(sent), {}), load);
            plain = &converted;
        }
        checkTextLength("header", load.getHeaderLength(), changes);
        checkTextLength("footer", load.getFooterLength(), changes);
        checkTextLength("gap", load.getGapLength(), changes);
        textLoad(*plain, position, out);
    } else {
        TapeLoad converted;
        const TapeLoad* binaryLoad = &load;
        if (load.getFormat() != binaryLoadFormat) {
            const std::vector<std::uint8_t> counted = countedCharacters(sent);
            if (counted.size() > static_cast<std::size_t>(machine::loadDataSize)) {
                throw TapeWriteError(loadName(position) + std::to_string(counted.size()) +
                                     " characters, more than a binary load holds (" +
                                     std::to_string(machine::loadDataSize) + ")");
            }
            std::optional<std::uint8_t> filler;
            if (sent.filler) {
                filler = sent.characters.back();
            }
            converted =
                withLengthsOf(loadLayout::loadSending(binaryLoadFormat, counted, filler), load);
            binaryLoad = &converted;
        }
        checkPairLength("header", load.getHeaderLength(), changes);
        checkPairLength("footer", load.getFooterLength(), changes);
        checkPairLength("gap", load.getGapLength(), changes);
        out += "<LOAD format=3>";
        out.push_back(static_cast<char>(position & 0xFF));
        out += "<HEADER>";
        putPair(out, secondsPair(binaryLoad->getHeaderLength()));
        out += "</HEADER><DATA>";
        putWordBytes(out, binaryLoad->getLength());
        const std::size_t extent = dataExtent(*binaryLoad);
        const std::size_t at = out.size();
        out.resize(at + extent, '\0');
        binaryLoad->dataBytes.copyTo(reinterpret_cast<std::uint8_t*>(out.data() + at), extent);
        out += "</DATA><FOOTER>";
        putPair(out, secondsPair(binaryLoad->getFooterLength()));
        out += "</FOOTER><GAP>";
        putPair(out, secondsPair(binaryLoad->getGapLength()));
        out += "</GAP></LOAD>";
    }
    if (!changes.empty()) {
        warnings.push_back(loadName(position) + joined(changes));
    }
}

WrittenTape TapeWriter::write(const TarqoBinFile& tape, TapeLayout layout) const {
    WrittenTape written;
    StringSink sink(written.bytes);
    written.warnings = write(tape, layout, sink);
    return written;
}

// The root tag states the file's length: into a file it is put as blanks and filled in at
// the end; into a pipe the loads are laid out once to count their bytes, then again to send.
std::vector<std::string> TapeWriter::write(const TarqoBinFile& tape, TapeLayout layout,
                                           TapeSink& out) const {
    const int count = static_cast<int>(tape.loads.size());
    const std::string name = nameElement(tape.getName(), layout);
    std::vector<std::string> warnings;
    std::string piece;
    std::size_t total = rootSize(layout) + name.size() + rootEnd.size();
    const bool measureFirst = !out.canReplaceStart();
    if (measureFirst) {
        int position = 0;
        for (const TapeLoad& load : tape.loads) {
            piece.clear();
            appendLoad(load, ++position, layout, piece, warnings);
            total += piece.size();
        }
        out.put(rootTag(layout, count, total));
    } else {
        out.put(std::string(rootSize(layout), ' '));
    }
    out.put(name);
    int position = 0;
    std::vector<std::string> ignored;
    for (const TapeLoad& load : tape.loads) {
        piece.clear();
        appendLoad(load, ++position, layout, piece, measureFirst ? ignored : warnings);
        if (!measureFirst) {
            total += piece.size();
        }
        out.put(piece);
    }
    out.put(rootEnd);
    if (!measureFirst) {
        out.replaceStart(rootTag(layout, count, total));
    }
    return warnings;
}
