// SPDX-License-Identifier: MIT
// Time and date texts of history lines, from the local clock through strftime (see
// kernel_time_date.h).
#include "ipl/time/kernel_time_date.h"

#include <ctime>

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_string.h"

namespace ipl {

namespace {

bool FormatNow(const char* pFormat, char** ppText) {
    *ppText = nullptr;
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) {
        return false;
    }
    const std::tm* local = std::localtime(&now);
    if (local == nullptr) {
        return false;
    }
    char buffer[64];
    if (std::strftime(buffer, sizeof buffer, pFormat, local) == 0) {
        return false;
    }
    *ppText = k_CopyText(buffer);
    return *ppText != nullptr;
}

}  // namespace

bool k_GetTime(char** ppTime) {
    if (!FormatNow("%H:%M:%S", ppTime)) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_GetTime() Failed reading the time");
        return false;
    }
    return true;
}

bool k_GetDate(char** ppDate) {
    if (!FormatNow("%a %b %d", ppDate)) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_GetDate() Failed reading the time");
        return false;
    }
    return true;
}

}  // namespace ipl
