// SPDX-License-Identifier: MIT
// The tag reader shared by .bml and .bin tape images: tags, attributes and element texts.
// A recursive descent: each element reads the tags under it until its own end tag.
#include <cctype>
#include <optional>

#include "base/fatal.h"
#include "tape/tarqo_bin_file.h"

namespace {

constexpr std::size_t maxTagLength = 255;
constexpr std::size_t maxHexTextLength = 512;
// A LINE text holds fewer characters than this; a BR break may skip this many.
constexpr std::size_t lineLimit = 8000;

// Splits a text the way the C library's tokeniser does: a token starts after any run of its
// separators and ends at the next separator, which is consumed with it.
class Tokens {
  public:
    // A character at a time against the few separators: a tag is short, and a search of the
    // separators for each of its characters would cost a library call each.
    static bool isSeparator(char c, std::string_view separators) {
        for (const char separator : separators) {
            if (c == separator) {
                return true;
            }
        }
        return false;
    }

    explicit Tokens(const std::string& text) : text(text) {}

    // The token is a view into the text, which outlives it.
    std::optional<std::string_view> next(std::string_view separators) {
        std::size_t begin = at;
        while (begin < text.size() && isSeparator(text[begin], separators)) {
            ++begin;
        }
        if (begin == text.size()) {
            at = text.size();
            return std::nullopt;
        }
        std::size_t end = begin;
        while (end < text.size() && !isSeparator(text[end], separators)) {
            ++end;
        }
        at = end == text.size() ? end : end + 1;
        return std::string_view(text).substr(begin, end - begin);
    }

  private:
    const std::string& text;
    std::size_t at = 0;
};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The first word of the tag; a line break does not separate, so a tag split over two lines
// has a name that no rule accepts.
std::string tagName(const std::string& text) {
    return std::string(Tokens(text).next(" \t").value_or(std::string_view()));
}

}  // namespace

int TarqoBinFile::nextByte() {
    if (readIndex >= source.size()) {
        throw Error::endOfFile{};
    }
    return static_cast<unsigned char>(source[readIndex++]);
}

bool TarqoBinFile::readMatches(std::string_view expected) {
    for (const char c : expected) {
        if (nextByte() != static_cast<unsigned char>(c)) {
            return false;
        }
    }
    return true;
}

int TarqoBinFile::readTag(const std::string& parent) {
    // Free text, white space and stray bytes between tags are skipped.
    const std::size_t open = source.find('<', readIndex);
    if (open == std::string_view::npos) {
        readIndex = source.size();
        throw Error::endOfFile{};
    }
    readIndex = open + 1;
    // The tag text up to its '>', found in place: a 256th character that is not '>' is one
    // too many.
    const std::string_view window = source.substr(readIndex, maxTagLength + 1);
    const std::size_t close = window.find('>');
    if (close == std::string_view::npos) {
        readIndex += window.size();
        if (window.size() <= maxTagLength) {
            throw Error::endOfFile{};
        }
        kelvanto::fatal("Tag longer than 255 characters found\n");
    }
    const std::string text(window.substr(0, close));
    readIndex += close + 1;
    const std::string name = tagName(text);
    const int result = dispatchTag(parent, name, text);
    if (result < 0) {
        kelvanto::fatal("Invalid Tag " + kelvanto::printable(name) + " found for parent tag " +
                        parent + "\n");
    }
    return result;
}

int TarqoBinFile::dispatchTag(const std::string& parent, const std::string& tag,
                              const std::string& attributes) {
    if (parent == "OPEN") {
        return readRoot(tag, attributes);
    }
    if (parent == "TARQO") {
        return readRootChild(tag, attributes);
    }
    if (parent == "LOAD") {
        return readLoadChild(tag, attributes);
    }
    if (parent == "DATA") {
        return readDataChild(tag, attributes);
    }
    if (parent == "BASIC") {
        if (tag == "LINE") {
            return readLine(tag, attributes);
        }
        if (tag == "/BASIC") {
            appendEndOfProgram();
            return 0;
        }
        return -1;
    }
    if (parent == "HEX") {
        if (tag == "CHAR") {
            skipCharText();
            readTag("CHAR");
            return 1;
        }
        return tag == "/HEX" ? 0 : -1;
    }
    // The remaining elements hold no child elements: only their own end tag may follow.
    if (parent == "HEADER" || parent == "FOOTER" || parent == "GAP" || parent == "LINE" ||
        parent == "CHAR") {
        return tag == "/" + parent ? 0 : -1;
    }
    return -1;
}

std::string TarqoBinFile::getAttribute(const std::string& attributeText, const std::string& name) {
    Tokens tokens(attributeText);
    tokens.next(" \t>");  // the tag name
    std::string result;
    for (;;) {
        const auto key = tokens.next(" =");
        if (!key) {
            break;
        }
        const auto value = tokens.next(" \t>");
        if (!value) {
            break;
        }
        if (equalIgnoringCase(*key, name)) {
            result = *value;
            break;
        }
    }
    return result.empty() ? "0" : result;
}

std::string TarqoBinFile::readElementText(const std::string& element) {
    std::string text;
    for (int c = nextByte(); c != '<'; c = nextByte()) {
        // Only the NAME element has a text of this kind, and a name holds 255 characters.
        if (text.size() < maxNameLength) {
            text.push_back(static_cast<char>(c));
        }
    }
    const std::string prefix = "Tag " + element + " not properly ended: ";
    if (nextByte() != '/') {
        kelvanto::fatal(prefix + "No slash found in end-tag\n");
    }
    std::string found;
    for (std::size_t i = 0; i < element.size(); ++i) {
        found.push_back(static_cast<char>(nextByte()));
    }
    if (found != element) {
        kelvanto::fatal(prefix + "Found " + found + " instead\n");
    }
    if (nextByte() != '>') {
        kelvanto::fatal(prefix + "closing bracket found on end-tag\n");
    }
    return text;
}

std::string TarqoBinFile::readHexText() {
    // Up to the bracket that opens the next tag, which readTag must see, or 512 characters.
    const std::string_view window = source.substr(readIndex, maxHexTextLength);
    const std::size_t bracket = window.find('<');
    if (bracket != std::string_view::npos) {
        readIndex += bracket;
        return std::string(window.substr(0, bracket));
    }
    readIndex += window.size();
    if (window.size() < maxHexTextLength) {
        throw Error::endOfFile{};
    }
    return std::string(window);
}

std::string TarqoBinFile::readLineText() {
    std::string text;
    for (;;) {
        const int c = nextByte();
        if (c == '<') {
            const std::size_t afterBracket = readPosition();
            if (readMatches("/LINE>")) {
                setReadPosition(afterBracket - 1);
                return text;
            }
            setReadPosition(afterBracket);
            if (readMatches("BR>")) {
                // A break of the file's line: it and its text up to </BR> are not program
                // text. The character after it is taken as it is, even a '<'.
                skipBreak();
                text.push_back(static_cast<char>(nextByte()));
            } else {
                // A '<' that starts no tag is program text, as in A<B.
                setReadPosition(afterBracket);
                text.push_back('<');
            }
        } else {
            text.push_back(static_cast<char>(c));
        }
        if (text.size() >= lineLimit) {
            kelvanto::fatal("Line longer than 8000 characters found in load " +
                            std::to_string(currentLoadPosition()) + "\n");
        }
    }
}

void TarqoBinFile::skipBreak() {
    for (std::size_t count = 0; count < lineLimit; ++count) {
        if (nextByte() != '<') {
            continue;
        }
        const std::size_t afterBracket = readPosition();
        if (readMatches("/BR>")) {
            return;
        }
        setReadPosition(afterBracket);
    }
}

void TarqoBinFile::skipCharText() {
    // The CHAR text renders the HEX bytes as characters and may hold '<' and '>', so it is
    // read by count, never scanned for tags.
    for (std::int32_t i = 0; i < hexByteCount; ++i) {
        nextByte();
    }
}
