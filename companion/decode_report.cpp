// Text and JSON forms of the decoder's report.
#include "companion/decode_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "base/formatted.h"
#include "companion/command_error.h"

namespace {

using kelvanto::decode::DecodedLoad;
using kelvanto::decode::Verdict;

// A line names this many doubtful characters; the JSON report holds the first
// doubtsInReport of them and the count of all.
constexpr std::size_t doubtsShown = 6;
constexpr std::size_t doubtsInReport = 1000;

std::string placeText(std::int64_t sample, double seconds) {
    return clockTime(seconds) + " (sample " + std::to_string(sample) + ")";
}

const char* polarityName(kelvanto::decode::Polarity polarity) {
    return polarity == kelvanto::decode::Polarity::inverted ? "inverted" : "normal";
}

std::string details(const DecodedLoad& load) {
    std::string text;
    for (const auto& repair : load.repairs) {
        text += formatted("; repaired character %zu", repair.character);
        if (repair.bit >= 0) {
            text += formatted(" bit %d", repair.bit);
        }
        text += formatted(" (%02x -> %02x) at ", repair.before, repair.after) +
                placeText(repair.sample, repair.seconds);
    }
    if (!load.problem.empty()) {
        text += "; " + load.problem + " at " + placeText(load.problemSample, load.problemSeconds);
    }
    std::size_t shown = 0;
    for (const auto& doubt : load.doubts) {
        if (shown == doubtsShown) {
            text += formatted("; and %zu more uncertain", load.doubts.size() - shown);
            break;
        }
        text += formatted("; uncertain character %zu at ", doubt.character) +
                placeText(doubt.sample, doubt.seconds);
        ++shown;
    }
    return text.empty() ? "" : "  " + text.substr(2);
}

}  // namespace

std::string clockTime(double seconds) {
    if (!(seconds >= 0.0)) {
        seconds = 0.0;
    }
    const auto millis = static_cast<long long>(std::llround(seconds * 1000.0));
    return formatted("%lld:%02lld.%03lld", millis / 60000, millis / 1000 % 60, millis % 1000);
}

void printDecodeReport(std::ostream& out, const DecodedTape& decoded) {
    for (const RecordingInfo& recording : decoded.recordings) {
        out << printable(recording.name)
            << formatted(": %d Hz, %d channel%s, %s\n", recording.sampleRate, recording.channels,
                         recording.channels == 1 ? "" : "s", clockTime(recording.seconds).c_str());
    }
    out << "   #  position   characters  checksum  speed  polarity  channel   level\n";
    int counts[3] = {0, 0, 0};
    for (std::size_t i = 0; i < decoded.loads.size(); ++i) {
        const DecodedLoad& load = decoded.loads[i];
        ++counts[static_cast<int>(load.verdict)];
        out << formatted("%4zu  %9s  %10zu  %-8s  %5.3f  %-8s  %7d  %6.1f dBFS", i + 1,
                         clockTime(load.startSeconds).c_str(), load.characters.size(),
                         kelvanto::decode::verdictName(load.verdict), load.speedRatio,
                         polarityName(load.polarity), load.channel + 1, load.levelDbfs)
            << printable(details(load)) << "\n";
    }
    out << decoded.loads.size() << (decoded.loads.size() == 1 ? " load: " : " loads: ")
        << counts[static_cast<int>(Verdict::ok)] << " OK, "
        << counts[static_cast<int>(Verdict::repaired)] << " REPAIRED, "
        << counts[static_cast<int>(Verdict::bad)] << " BAD\n";
}

namespace {

// A value as JSON text; names from the file system need not be UTF-8: what is not, is
// replaced.
std::string jsonText(const nlohmann::json& value, int indent = -1) {
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

// One load's entry: at most doubtsInReport doubtful characters, with the count of all.
nlohmann::json loadEntry(const DecodedLoad& load) {
    nlohmann::json entry = {{"startSeconds", load.startSeconds},
                            {"startSample", load.startSample},
                            {"characters", load.characters.size()},
                            {"verdict", kelvanto::decode::verdictName(load.verdict)},
                            {"speed", load.speedRatio},
                            {"polarity", polarityName(load.polarity)},
                            {"channel", load.channel + 1},
                            {"levelDbfs", load.levelDbfs},
                            {"headerSeconds", load.headerSeconds},
                            {"footerSeconds", load.footerSeconds},
                            {"gapSeconds", load.gapSeconds}};
    if (!load.problem.empty()) {
        entry["problem"] = {{"text", load.problem},
                            {"sample", load.problemSample},
                            {"seconds", load.problemSeconds}};
    }
    entry["repairs"] = nlohmann::json::array();
    for (const auto& repair : load.repairs) {
        entry["repairs"].push_back({{"character", repair.character},
                                    {"bit", repair.bit},
                                    {"before", repair.before},
                                    {"after", repair.after},
                                    {"sample", repair.sample},
                                    {"seconds", repair.seconds}});
    }
    entry["uncertainCount"] = load.doubts.size();
    entry["uncertain"] = nlohmann::json::array();
    for (const auto& doubt : load.doubts) {
        if (entry["uncertain"].size() == doubtsInReport) {
            break;
        }
        entry["uncertain"].push_back({{"character", doubt.character},
                                      {"bit", doubt.bit},
                                      {"certainty", doubt.certainty},
                                      {"sample", doubt.sample},
                                      {"seconds", doubt.seconds}});
    }
    return entry;
}

// Indents every line but the first, so that an entry sits inside the list of loads.
std::string indented(const std::string& text, const std::string& margin) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += margin;
        }
    }
    return out;
}

}  // namespace

void writeDecodeReportJson(const std::function<void(std::string_view)>& put,
                           const DecodedTape& decoded, const std::string& outputName) {
    nlohmann::json recordings = nlohmann::json::array();
    for (const RecordingInfo& recording : decoded.recordings) {
        recordings.push_back({{"name", recording.name},
                              {"sampleRate", recording.sampleRate},
                              {"channels", recording.channels},
                              {"seconds", recording.seconds}});
    }
    put("{\n  \"output\": " + jsonText(outputName) +
        ",\n  \"recordings\": " + indented(jsonText(recordings, 2), "  ") + ",\n  \"loads\": [");
    // Load by load: the report of a recording with thousands of loads never stands in
    // memory as a whole.
    const char* separator = "\n    ";
    for (const DecodedLoad& load : decoded.loads) {
        put(separator);
        put(indented(jsonText(loadEntry(load), 2), "    "));
        separator = ",\n    ";
    }
    put(decoded.loads.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
