// SPDX-License-Identifier: MIT
// Drawing the timeline: one time scale for every row, so a mark stands at the same x in the
// take it came from and in the merged row. Every name is escaped; nothing is fetched from
// outside the file, so it opens alike in a browser, an editor or a converter.
#include "companion/svg_timeline.h"

#include <algorithm>
#include <cmath>

#include "base/formatted.h"
#include "base/machine.h"
#include "base/printable.h"
#include "companion/decode_report.h"
#include "companion/screen_load.h"

namespace {

using kelvanto::decode::DecodedLoad;
using kelvanto::decode::Verdict;

constexpr double pictureWidth = 1200;
constexpr double plotLeft = 170;
constexpr double plotRight = 1180;
constexpr double rowsTop = 78;
constexpr double takeRowHeight = 96;
constexpr double mergedRowHeight = 56;
constexpr double envelopeHeight = 48;
constexpr double spanHeight = 20;
constexpr double screenBandHeight = 112;
constexpr double axisHeight = 40;

const char* verdictColour(Verdict verdict) {
    switch (verdict) {
        case Verdict::ok:
            return "#2e8b3d";
        case Verdict::repaired:
            return "#e08a00";
        case Verdict::bad:
            return "#cc2a2a";
    }
    return "#888888";
}
constexpr const char* repairColour = "#7b1fa2";
constexpr const char* doubtColour = "#1565c0";
constexpr const char* problemColour = "#000000";

// Text for XML: first made printable (no control bytes, plain ASCII), then escaped.
std::string xmlText(const std::string& raw) {
    std::string text;
    for (char c : kelvanto::printable(raw)) {
        switch (c) {
            case '&':
                text += "&amp;";
                break;
            case '<':
                text += "&lt;";
                break;
            case '>':
                text += "&gt;";
                break;
            case '"':
                text += "&quot;";
                break;
            default:
                text += c;
        }
    }
    return text;
}

std::string number(double value) {
    return formatted("%.2f", std::isfinite(value) ? value : 0.0);
}

class Timeline {
  public:
    explicit Timeline(const DecodedTape& decoded) : decoded(decoded) {
        for (const RecordingInfo& recording : decoded.recordings) {
            span = std::max(span, recording.seconds);
        }
        for (const auto& take : decoded.takes) {
            for (const DecodedLoad& load : take) {
                span = std::max(span, load.endSeconds);
            }
        }
        span = std::max(span, 1.0);
    }

    std::string draw() {
        double y = rowsTop;
        for (std::size_t i = 0; i < decoded.takes.size(); ++i) {
            const RecordingInfo* recording =
                i < decoded.recordings.size() ? &decoded.recordings[i] : nullptr;
            drawRow(recording != nullptr ? recording->name : "take", y, recording,
                    decoded.takes[i]);
            y += takeRowHeight;
        }
        if (decoded.takes.size() > 1) {
            drawRow("merged", y, nullptr, decoded.loads);
            y += mergedRowHeight;
        }
        y += static_cast<double>(drawScreens(y)) * screenBandHeight;
        drawAxis(y);
        y += axisHeight;
        return header(y) + body + "</svg>\n";
    }

  private:
    double x(double seconds) const {
        const double t = std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0, span);
        return plotLeft + t / span * (plotRight - plotLeft);
    }

    std::string header(double height) const {
        std::string names;
        for (const RecordingInfo& recording : decoded.recordings) {
            names += (names.empty() ? "" : " + ") + recording.name;
        }
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) +
                "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(width) + " " +
                number(height) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
        text += "<title>Tape timeline of " + xmlText(names) + "</title>\n";
        text += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
        text += "<text x=\"10\" y=\"22\" font-size=\"15\" font-weight=\"bold\">" + xmlText(names) +
                "</text>\n";
        text += legend();
        return text;
    }

    static std::string legend() {
        std::string text = "<g class=\"legend\">\n";
        double at = 10;
        const std::pair<const char*, Verdict> verdicts[] = {
            {"OK", Verdict::ok}, {"REPAIRED", Verdict::repaired}, {"BAD", Verdict::bad}};
        for (const auto& [name, verdict] : verdicts) {
            text += "<rect class=\"key\" data-verdict=\"" + std::string(name) + "\" x=\"" +
                    number(at) + "\" y=\"34\" width=\"14\" height=\"10\" fill=\"" +
                    verdictColour(verdict) + "\"/><text x=\"" + number(at + 18) + "\" y=\"43\">" +
                    name + "</text>\n";
            at += 30 + 8.0 * std::char_traits<char>::length(name);
        }
        text += "<rect x=\"" + number(at) +
                "\" y=\"34\" width=\"14\" height=\"10\" fill=\"#888888\" fill-opacity=\"0.45\"/>"
                "<text x=\"" +
                number(at + 18) + "\" y=\"43\">header and footer tone</text>\n";
        at += 160;
        const std::pair<const char*, const char*> marks[] = {
            {"repair", repairColour},
            {"uncertain", doubtColour},
            {"where reading failed", problemColour}};
        for (const auto& [name, colour] : marks) {
            text += "<line x1=\"" + number(at + 4) + "\" x2=\"" + number(at + 4) +
                    "\" y1=\"32\" y2=\"46\" stroke=\"" + colour +
                    "\" stroke-width=\"2\"/><text x=\"" + number(at + 10) + "\" y=\"43\">" + name +
                    "</text>\n";
            at += 30 + 6.5 * std::char_traits<char>::length(name);
        }
        text +=
            "<text x=\"10\" y=\"62\" fill=\"#555555\">Each load: its number in the span, "
            "its speed against the standard tone below it.</text>\n";
        return text + "</g>\n";
    }

    void drawRow(const std::string& label, double top, const RecordingInfo* recording,
                 const std::vector<DecodedLoad>& loads) {
        body += "<g class=\"row\" data-label=\"" + xmlText(label) + "\">\n";
        body += "<text x=\"10\" y=\"" + number(top + 18) + "\" font-weight=\"bold\">" +
                xmlText(shortened(label)) + "</text>\n";
        double spanTop = top + 10;
        if (recording != nullptr) {
            body += "<text x=\"10\" y=\"" + number(top + 33) + "\" fill=\"#555555\">" +
                    formatted("%d Hz, %s", recording->sampleRate,
                              clockTime(recording->seconds).c_str()) +
                    "</text>\n";
            drawEnvelope(recording->envelope, top);
            spanTop = top + envelopeHeight + 8;
        }
        for (std::size_t i = 0; i < loads.size(); ++i) {
            drawLoad(static_cast<int>(i) + 1, loads[i], spanTop);
        }
        body += "</g>\n";
    }

    static std::string shortened(const std::string& label) {
        const std::size_t slash = label.rfind('/');
        std::string base = slash == std::string::npos ? label : label.substr(slash + 1);
        return base.size() > 24 ? base.substr(0, 23) + "~" : base;
    }

    // The peak of each pixel column, drawn up and down from a middle line.
    void drawEnvelope(const LevelEnvelope& envelope, double top) {
        if (envelope.peaks.empty() || !(envelope.bucketSeconds > 0)) {
            return;
        }
        const auto columns = static_cast<std::size_t>(plotRight - plotLeft);
        std::vector<float> peaks(columns + 1, 0.0f);
        for (std::size_t i = 0; i < envelope.peaks.size(); ++i) {
            const double column = x(static_cast<double>(i) * envelope.bucketSeconds) - plotLeft;
            const auto at = std::min(columns, static_cast<std::size_t>(std::max(0.0, column)));
            peaks[at] = std::max(peaks[at], envelope.peaks[i]);
        }
        const double middle = top + envelopeHeight / 2;
        const double half = envelopeHeight / 2;
        // Along the top from the left, back along the bottom from the right.
        std::string outline;
        for (std::size_t c = 0; c <= columns; ++c) {
            outline += formatted("%c%.1f %.2f ", c == 0 ? 'M' : 'L',
                                 plotLeft + static_cast<double>(c), middle - peaks[c] * half);
        }
        for (std::size_t c = columns + 1; c-- > 0;) {
            outline += formatted("L%.1f %.2f ", plotLeft + static_cast<double>(c),
                                 middle + peaks[c] * half);
        }
        body += "<line x1=\"" + number(plotLeft) + "\" x2=\"" + number(plotRight) + "\" y1=\"" +
                number(middle) + "\" y2=\"" + number(middle) + "\" stroke=\"#cccccc\"/>\n";
        body +=
            "<path class=\"envelope\" d=\"" + outline + "Z\" fill=\"#9aa4b1\" stroke=\"none\"/>\n";
    }

    void drawLoad(int numberInRow, const DecodedLoad& load, double top) {
        const double left = x(load.startSeconds);
        const double right = std::max(left + 1, x(load.endSeconds));
        const double headerRight = std::min(right, x(load.startSeconds + load.headerSeconds));
        const double footerLeft = std::max(headerRight, x(load.endSeconds - load.footerSeconds));
        const std::string verdict = kelvanto::decode::verdictName(load.verdict);
        const char* colour = verdictColour(load.verdict);
        body += "<g class=\"load\" data-load=\"" + std::to_string(numberInRow) +
                "\" data-verdict=\"" + verdict + "\">\n<title>" +
                xmlText(formatted("load %d: %s, %zu characters, from %s to %s, speed %.3f",
                                  numberInRow, verdict.c_str(), load.characters.size(),
                                  clockTime(load.startSeconds).c_str(),
                                  clockTime(load.endSeconds).c_str(), load.speedRatio) +
                        (load.problem.empty() ? "" : "; " + load.problem)) +
                "</title>\n";
        const auto rect = [&](const char* part, double from, double to, const char* opacity) {
            if (to - from <= 0) {
                return;
            }
            body += "<rect class=\"" + std::string(part) + "\" x=\"" + number(from) + "\" y=\"" +
                    number(top) + "\" width=\"" + number(to - from) + "\" height=\"" +
                    number(spanHeight) + "\" fill=\"" + colour + "\" fill-opacity=\"" + opacity +
                    "\"/>\n";
        };
        rect("header", left, headerRight, "0.45");
        rect("data", headerRight, footerLeft, "1");
        rect("footer", footerLeft, right, "0.45");
        const bool inside = right - left >= 16;
        body += "<text class=\"number\" x=\"" + number((left + right) / 2) + "\" y=\"" +
                number(inside ? top + 14 : top - 2) + "\" text-anchor=\"middle\" fill=\"" +
                (inside ? "#ffffff" : "#000000") + "\">" + std::to_string(numberInRow) +
                "</text>\n";
        // The speed where the span has room for it; always in the span's tooltip.
        if (right - left >= 32) {
            body += "<text class=\"speed\" x=\"" + number(left) + "\" y=\"" +
                    number(top + spanHeight + 11) + "\" font-size=\"9\" fill=\"#555555\">" +
                    formatted("%.3f", load.speedRatio) + "</text>\n";
        }
        for (const auto& doubt : load.doubts) {
            mark("uncertain", doubt.seconds, top - 4, top + spanHeight + 2, doubtColour, 1,
                 formatted("load %d: uncertain character %zu at %s", numberInRow, doubt.character,
                           clockTime(doubt.seconds).c_str()));
        }
        for (const auto& repair : load.repairs) {
            mark("repair", repair.seconds, top - 8, top + spanHeight + 4, repairColour, 1.5,
                 formatted("load %d: repaired character %zu (%02x -> %02x) at %s", numberInRow,
                           repair.character, repair.before, repair.after,
                           clockTime(repair.seconds).c_str()));
        }
        if (load.verdict == Verdict::bad && !load.problem.empty()) {
            mark("problem", load.problemSeconds, top - 10, top + spanHeight + 6, problemColour, 2,
                 formatted("load %d: ", numberInRow) + load.problem + " at " +
                     clockTime(load.problemSeconds));
        }
        body += "</g>\n";
    }

    void mark(const char* kind, double seconds, double top, double bottom, const char* colour,
              double strokeWidth, const std::string& title) {
        const std::string at = number(x(seconds));
        body += "<line class=\"" + std::string(kind) + "\" data-seconds=\"" +
                formatted("%.4f", std::isfinite(seconds) ? seconds : 0.0) + "\" x1=\"" + at +
                "\" x2=\"" + at + "\" y1=\"" + number(top) + "\" y2=\"" + number(bottom) +
                "\" stroke=\"" + colour + "\" stroke-width=\"" + number(strokeWidth) +
                "\"><title>" + xmlText(title) + "</title></line>\n";
    }

    // The picture of every decoded screen load of the result below its span; where pictures
    // would overlap, the later one goes a line further down. Returns the lines used.
    std::size_t drawScreens(double top) {
        if (!decoded.tape) {
            return 0;
        }
        std::vector<double> lineFree;  // where each line of pictures is free from
        for (const TapeLoad& tapeLoad : decoded.tape->loads) {
            const auto screen = screenOf(tapeLoad, false);
            const auto index = static_cast<std::size_t>(tapeLoad.getLoadNumber() - 1);
            if (!screen || index >= decoded.loads.size()) {
                continue;
            }
            const double spanAt = x(decoded.loads[index].startSeconds);
            const double left = std::min(spanAt, plotRight - machine::screenWidth);
            std::size_t line = 0;
            while (line < lineFree.size() && lineFree[line] > left) {
                ++line;
            }
            if (line == lineFree.size()) {
                lineFree.push_back(0.0);
            }
            lineFree[line] = left + machine::screenWidth + 12;
            drawScreen(tapeLoad.getLoadNumber(), screen->bytes, left,
                       top + 12 + static_cast<double>(line) * screenBandHeight, spanAt, top);
        }
        return lineFree.size();
    }

    void drawScreen(int loadNumber, const ScreenBytes& bytes, double left, double top,
                    double spanAt, double bandTop) {
        body += "<g class=\"screen\" data-load=\"" + std::to_string(loadNumber) + "\">\n";
        body += "<line x1=\"" + number(spanAt) + "\" x2=\"" + number(left) + "\" y1=\"" +
                number(bandTop) + "\" y2=\"" + number(top) +
                "\" stroke=\"#888888\" stroke-dasharray=\"2 2\"/>\n";
        body += "<rect x=\"" + number(left - 1) + "\" y=\"" + number(top - 1) + "\" width=\"" +
                number(machine::screenWidth + 2) + "\" height=\"" +
                number(machine::screenHeight + 2) +
                "\" fill=\"#ffffff\" stroke=\"#888888\"/>\n<path fill=\"#000000\" d=\"";
        // Lit pixels as runs along each row.
        for (int y = 0; y < machine::screenHeight; ++y) {
            int x = 0;
            while (x < machine::screenWidth) {
                if (!lit(bytes, x, y)) {
                    ++x;
                    continue;
                }
                const int from = x;
                while (x < machine::screenWidth && lit(bytes, x, y)) {
                    ++x;
                }
                body += formatted("M%s %sh%dv1h-%dz", number(left + from).c_str(),
                                  number(top + y).c_str(), x - from, x - from);
            }
        }
        body += "\"/>\n</g>\n";
    }

    static bool lit(const ScreenBytes& bytes, int x, int y) {
        const std::uint8_t byte =
            bytes[static_cast<std::size_t>(y * machine::screenGroupsPerRow + x / 8)];
        return (byte & machine::pixelMasks[static_cast<std::size_t>(x % 8)]) != 0;
    }

    void drawAxis(double top) {
        static const double steps[] = {0.1, 0.2, 0.5, 1,   2,   5,   10,   15,
                                       30,  60,  120, 300, 600, 900, 1800, 3600};
        double step = steps[std::size(steps) - 1];
        for (double candidate : steps) {
            if (span / candidate <= 12) {
                step = candidate;
                break;
            }
        }
        body += "<g class=\"axis\">\n<line x1=\"" + number(plotLeft) + "\" x2=\"" +
                number(plotRight) + "\" y1=\"" + number(top + 6) + "\" y2=\"" + number(top + 6) +
                "\" stroke=\"#000000\"/>\n";
        for (int i = 0; i * step <= span + 1e-9; ++i) {
            const double seconds = i * step;
            const std::string at = number(x(seconds));
            std::string label = clockTime(seconds);  // m:ss.mmm
            if (step >= 1) {
                label = label.substr(0, label.size() - 4);
            } else {
                label = label.substr(0, label.size() - 2);
            }
            body += "<line class=\"tick\" data-seconds=\"" + formatted("%g", seconds) + "\" x1=\"" +
                    at + "\" x2=\"" + at + "\" y1=\"" + number(top + 2) + "\" y2=\"" +
                    number(top + 10) + "\" stroke=\"#000000\"/><text x=\"" + at + "\" y=\"" +
                    number(top + 22) + "\" text-anchor=\"middle\">" + label + "</text>\n";
        }
        body += "</g>\n";
    }

    const DecodedTape& decoded;
    double span = 1.0;
    double width = pictureWidth;
    std::string body;
};

}  // namespace

std::string timelineSvg(const DecodedTape& decoded) {
    return Timeline(decoded).draw();
}
