// SPDX-License-Identifier: MIT
// Reading a decode report back: every field checked for its type, so a file that is not a
// report (or a damaged one) is refused with a reason instead of read as zeros.
#include "companion/report_summary.h"

#include <nlohmann/json.hpp>

#include "companion/command_error.h"

namespace {

using nlohmann::json;

const json& member(const json& object, const char* name, json::value_t type,
                   const std::string& reportName) {
    const auto found = object.find(name);
    const bool numberWanted = type == json::value_t::number_float;
    if (found == object.end() || (numberWanted ? !found->is_number() : found->type() != type)) {
        throw CommandError(reportName, std::string("is not a decode report (no ") + name + ")");
    }
    return *found;
}

// How bad a load is, for choosing the worst: BAD first, then repairs, then doubts.
struct Severity {
    int rank = 0;  // 3 BAD, 2 REPAIRED, 1 uncertain characters only, 0 clean
    std::size_t count = 0;
    bool operator>(const Severity& other) const {
        return rank != other.rank ? rank > other.rank : count > other.count;
    }
};

}  // namespace

ReportSummary summariseReport(const std::string& reportName, const std::string& text) {
    const json report = json::parse(text, nullptr, false);
    if (report.is_discarded() || !report.is_object()) {
        throw CommandError(reportName, "is not a decode report (not a JSON object)");
    }
    ReportSummary summary;
    for (const json& recording : member(report, "recordings", json::value_t::array, reportName)) {
        if (!recording.is_object()) {
            throw CommandError(reportName, "is not a decode report (a recording is no object)");
        }
        const std::string& name = member(recording, "name", json::value_t::string, reportName)
                                      .get_ref<const std::string&>();
        summary.recordings += (summary.recordings.empty() ? "" : "+") + name;
        summary.seconds = std::max(
            summary.seconds,
            member(recording, "seconds", json::value_t::number_float, reportName).get<double>());
    }
    Severity worst;
    for (const json& load : member(report, "loads", json::value_t::array, reportName)) {
        if (!load.is_object()) {
            throw CommandError(reportName, "is not a decode report (a load is no object)");
        }
        ++summary.loads;
        const std::string& verdict = member(load, "verdict", json::value_t::string, reportName)
                                         .get_ref<const std::string&>();
        const json& repairs = member(load, "repairs", json::value_t::array, reportName);
        const json& doubts = member(load, "uncertain", json::value_t::array, reportName);
        Severity severity;
        double place =
            member(load, "startSeconds", json::value_t::number_float, reportName).get<double>();
        std::string what;
        if (verdict == "BAD") {
            ++summary.bad;
            severity = {3, 0};
            const auto problem = load.find("problem");
            if (problem != load.end() && problem->is_object()) {
                what =
                    member(*problem, "text", json::value_t::string, reportName).get<std::string>();
                place = member(*problem, "seconds", json::value_t::number_float, reportName)
                            .get<double>();
            }
        } else if (verdict == "REPAIRED") {
            ++summary.repaired;
            severity = {2, repairs.size()};
            what = std::to_string(repairs.size()) + (repairs.size() == 1 ? " repair" : " repairs");
            if (!repairs.empty() && repairs.front().is_object()) {
                place = member(repairs.front(), "seconds", json::value_t::number_float, reportName)
                            .get<double>();
            }
        } else if (verdict == "OK") {
            ++summary.ok;
            if (!doubts.empty()) {
                severity = {1, doubts.size()};
                what = std::to_string(doubts.size()) + " uncertain";
                if (doubts.front().is_object()) {
                    place =
                        member(doubts.front(), "seconds", json::value_t::number_float, reportName)
                            .get<double>();
                }
            }
        } else {
            throw CommandError(reportName, "is not a decode report (a verdict is " + verdict + ")");
        }
        if (severity > worst) {
            worst = severity;
            summary.worstLoad = summary.loads;
            summary.worstVerdict = verdict;
            summary.worstSeconds = place;
            summary.worstWhat = what;
        }
    }
    return summary;
}
