// SPDX-License-Identifier: MIT
// Text and JSON forms of the decoder's report.
#include "companion/decode_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "base/formatted.h"
#include "companion/command_error.h"

namespace {

using kelvanto::decode::DecodedLoad;
using kelvanto::decode::Verdict;

// A line names this many doubtful characters; the JSON report holds the first thousand
// (the decoder keeps no more) and the count of all.
constexpr std::size_t doubtsShown = 6;

// With several takes every place says which recording it is in.
std::string placeText(std::int64_t sample, double seconds, int take, bool takes) {
    std::string text = clockTime(seconds) + " (sample " + std::to_string(sample) + ")";
    if (takes) {
        text += formatted(" in take %d", take + 1);
    }
    return text;
}

std::string chanceText(double chance) {
    if (chance < 1e-6) {
        return "below 1 in a million";
    }
    return formatted("1 in %.0f", 1.0 / chance);
}

const char* doubtText(kelvanto::decode::CharacterDoubt::Kind kind) {
    switch (kind) {
        case kelvanto::decode::CharacterDoubt::Kind::slipped:
            return "unknown (framing slipped)";
        case kelvanto::decode::CharacterDoubt::Kind::lost:
            return "unknown (signal lost)";
        default:
            return "uncertain";
    }
}

const char* polarityName(kelvanto::decode::Polarity polarity) {
    return polarity == kelvanto::decode::Polarity::inverted ? "inverted" : "normal";
}

std::string details(const DecodedLoad& load, bool takes) {
    std::string text;
    for (const auto& repair : load.repairs) {
        text += formatted("; repaired character %zu", repair.character);
        if (repair.bit >= 0) {
            text += formatted(" bit %d", repair.bit);
        }
        if (repair.kind == kelvanto::decode::Repair::Kind::vote) {
            text += " by weighing the takes";
        }
        if (repair.kind == kelvanto::decode::Repair::Kind::slip) {
            text += " (its framing slipped; the checksum settled its reading)";
        }
        if (repair.kind == kelvanto::decode::Repair::Kind::lost) {
            text += " (the signal was lost over it; the checksum gave its value)";
        }
        text += formatted(" (%02x -> %02x) at ", repair.before, repair.after) +
                placeText(repair.sample, repair.seconds, repair.take, takes);
    }
    if (load.verdict == Verdict::repaired) {
        text += "; chance that the repair is wrong: " + chanceText(load.wrongChance);
    }
    if (!load.problem.empty()) {
        text += "; " + load.problem + " at " +
                placeText(load.problemSample, load.problemSeconds, load.take, takes);
    }
    std::size_t shown = 0;
    for (const auto& doubt : load.doubts) {
        if (shown == doubtsShown) {
            break;
        }
        text += formatted("; %s character %zu at ", doubtText(doubt.kind), doubt.character) +
                placeText(doubt.sample, doubt.seconds, doubt.take, takes);
        ++shown;
    }
    if (load.doubtfulCharacters > shown) {
        // Not a list of hundreds of places: where the reading went wrong, and how much.
        text += formatted("; %zu uncertain characters in all", load.doubtfulCharacters);
        if (load.doubtsCrowd) {
            text += formatted(", crowding from character %zu at ", load.crowdFrom.character) +
                    placeText(load.crowdFrom.sample, load.crowdFrom.seconds, load.crowdFrom.take,
                              takes) +
                    " on";
        }
    }
    return text.empty() ? "" : "  " + text.substr(2);
}

nlohmann::json placeJson(std::int64_t sample, double seconds, int take, bool takes) {
    nlohmann::json place = {{"sample", sample}, {"seconds", seconds}};
    if (takes) {
        place["take"] = take + 1;
    }
    return place;
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
    for (std::size_t take = 0; take < decoded.recordings.size(); ++take) {
        const RecordingInfo& recording = decoded.recordings[take];
        out << printable(recording.name)
            << formatted(": %d Hz, %d channel%s, %s", recording.sampleRate, recording.channels,
                         recording.channels == 1 ? "" : "s", clockTime(recording.seconds).c_str());
        // A take that holds no load at all added nothing to the others: most often the wrong
        // file or the wrong side, which the one reading of the rest would not show.
        if (decoded.recordings.size() > 1 && take < decoded.takes.size() &&
            decoded.takes[take].empty()) {
            out << ", no load found in it";
        }
        out << "\n";
    }
    out << "   #  position   characters  checksum  speed  polarity  channel   level\n";
    int counts[3] = {0, 0, 0};
    for (std::size_t i = 0; i < decoded.loads.size(); ++i) {
        const DecodedLoad& load = decoded.loads[i];
        ++counts[static_cast<int>(load.verdict)];
        const std::string channel = load.channel == DecodedLoad::mixedChannels
                                        ? std::string("1+2")
                                        : std::to_string(load.channel + 1);
        out << formatted("%4zu  %9s  %10zu  %-8s  %5.3f  %-8s  %7s  %6.1f dBFS", i + 1,
                         clockTime(load.startSeconds).c_str(), load.characters.size(),
                         kelvanto::decode::verdictName(load.verdict), load.speedRatio,
                         polarityName(load.polarity), channel.c_str(), load.levelDbfs)
            << printable(details(load, decoded.recordings.size() > 1)) << "\n";
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

// One load's entry, its places naming their take where there are several.
nlohmann::json loadEntry(const DecodedLoad& load, bool takes) {
    nlohmann::json entry = {{"startSeconds", load.startSeconds},
                            {"startSample", load.startSample},
                            {"characters", load.characters.size()},
                            {"verdict", kelvanto::decode::verdictName(load.verdict)},
                            {"speed", load.speedRatio},
                            {"polarity", polarityName(load.polarity)},
                            // 0 for the two channels of a stereo recording mixed.
                            {"channel", load.channel + 1},
                            {"levelDbfs", load.levelDbfs},
                            {"headerSeconds", load.headerSeconds},
                            {"footerSeconds", load.footerSeconds},
                            {"gapSeconds", load.gapSeconds}};
    if (takes) {
        entry["take"] = load.take + 1;
    }
    if (!load.problem.empty()) {
        entry["problem"] = placeJson(load.problemSample, load.problemSeconds, load.take, takes);
        entry["problem"]["text"] = load.problem;
    }
    if (load.verdict == Verdict::repaired) {
        entry["repairWrongChance"] = load.wrongChance;
    }
    entry["repairs"] = nlohmann::json::array();
    for (const auto& repair : load.repairs) {
        nlohmann::json item = placeJson(repair.sample, repair.seconds, repair.take, takes);
        item["kind"] = kelvanto::decode::repairKindName(repair.kind);
        item["character"] = repair.character;
        item["bit"] = repair.bit;
        item["before"] = repair.before;
        item["after"] = repair.after;
        entry["repairs"].push_back(item);
    }
    entry["uncertain"] = nlohmann::json::array();
    for (const auto& doubt : load.doubts) {
        nlohmann::json item = placeJson(doubt.sample, doubt.seconds, doubt.take, takes);
        item["kind"] = kelvanto::decode::doubtKindName(doubt.kind);
        item["character"] = doubt.character;
        item["bit"] = doubt.bit;
        item["certainty"] = doubt.certainty;
        entry["uncertain"].push_back(item);
    }
    // The list holds the first maximumDoubts; the count and the place where the doubts
    // crowd tell the rest.
    entry["uncertainCount"] = load.doubtfulCharacters;
    if (load.doubtsCrowd) {
        entry["doubtsCrowdFrom"] =
            placeJson(load.crowdFrom.sample, load.crowdFrom.seconds, load.crowdFrom.take, takes);
        entry["doubtsCrowdFrom"]["character"] = load.crowdFrom.character;
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
    for (std::size_t take = 0; take < decoded.recordings.size(); ++take) {
        const RecordingInfo& recording = decoded.recordings[take];
        recordings.push_back(
            {{"name", recording.name},
             {"sampleRate", recording.sampleRate},
             {"channels", recording.channels},
             {"seconds", recording.seconds},
             // The loads found in this recording on its own, before the takes were merged.
             {"loadsFound", take < decoded.takes.size() ? decoded.takes[take].size() : 0}});
    }
    put("{\n  \"output\": " + jsonText(outputName) +
        ",\n  \"recordings\": " + indented(jsonText(recordings, 2), "  ") + ",\n  \"loads\": [");
    // Load by load: the report of a recording with thousands of loads never stands in
    // memory as a whole.
    const bool takes = decoded.recordings.size() > 1;
    const char* separator = "\n    ";
    for (const DecodedLoad& load : decoded.loads) {
        put(separator);
        put(indented(jsonText(loadEntry(load, takes), 2), "    "));
        separator = ",\n    ";
    }
    put(decoded.loads.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
