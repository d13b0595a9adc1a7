// SPDX-License-Identifier: MIT
// One recording's decode report (the JSON that decode --json writes) reduced to what an
// archive overview needs: load counts by verdict, length and the worst place.
#pragma once

#include <optional>
#include <string>

struct ReportSummary {
    std::string recordings;  // the recordings' names, "+" between takes
    int loads = 0;
    int ok = 0;
    int repaired = 0;
    int bad = 0;
    double seconds = 0.0;  // the longest take
    // The worst load: the first BAD one, else the one with most repairs, else the one with
    // most uncertain characters. Position from 1, 0 for none.
    int worstLoad = 0;
    std::string worstVerdict;
    double worstSeconds = 0.0;
    std::string worstWhat;  // the problem, or "N repairs", "N uncertain"
};

// Throws CommandError naming the report when the text is not a decode report.
ReportSummary summariseReport(const std::string& reportName, const std::string& json);
