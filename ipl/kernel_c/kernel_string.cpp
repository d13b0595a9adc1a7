// SPDX-License-Identifier: MIT
// Growable texts and text helpers of the record level: appending, bounded formatting, upper
// case and copies (see kernel_string.h).
#include "ipl/kernel_c/kernel_string.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ipl/kernel_c/kernel_error.h"

namespace ipl {

void k_InitString(TString* pString) {
    *pString = TString{};
}

void k_EmptyString(TString* pString) {
    std::free(pString->pChars);
    k_InitString(pString);
}

bool k_ReAllocString(std::uint32_t Capacity, TString* pString) {
    if (Capacity <= pString->AllocatedChars) {
        return true;
    }
    char* grown = static_cast<char*>(std::realloc(pString->pChars, Capacity));
    if (grown == nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_ReAllocString() Realloc failed");
        return false;
    }
    if (pString->AllocatedChars == 0) {
        grown[0] = '\0';
    }
    pString->pChars = grown;
    pString->AllocatedChars = Capacity;
    return true;
}

bool k_AddCharArrayToString(const char* pChars, TString* pString) {
    const std::size_t length = std::strlen(pChars);
    const std::size_t needed = pString->NumberOfChars + length + 1;
    if (needed > UINT32_MAX) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_ReAllocString() Realloc failed");
        return false;
    }
    std::size_t capacity = pString->AllocatedChars;
    while (capacity < needed) {
        capacity = capacity < 16 ? 16 : capacity * 2;
    }
    if (capacity > UINT32_MAX) {
        capacity = needed;
    }
    if (!k_ReAllocString(static_cast<std::uint32_t>(capacity), pString)) {
        return false;
    }
    std::memcpy(pString->pChars + pString->NumberOfChars, pChars, length + 1);
    pString->NumberOfChars += static_cast<std::uint32_t>(length);
    return true;
}

bool k_SprintfString(TString* pString, const char* pFormat, ...) {
    char buffer[SPRINTF_BUFFER_SIZE];
    va_list arguments;
    va_start(arguments, pFormat);
    const int written = std::vsnprintf(buffer, sizeof buffer, pFormat, arguments);
    va_end(arguments);
    if (written < 0 || written >= SPRINTF_BUFFER_SIZE) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_SprintfString() array contained in the parameter fmt too long");
        return false;
    }
    return k_AddCharArrayToString(buffer, pString);
}

void k_StringToUpper(char* pText) {
    for (; *pText != '\0'; ++pText) {
        *pText = static_cast<char>(std::toupper(static_cast<unsigned char>(*pText)));
    }
}

char* k_CopyChars(const char* pText, std::size_t Length) {
    char* copy = static_cast<char*>(std::malloc(Length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, pText, Length);
        copy[Length] = '\0';
    }
    return copy;
}

char* k_CopyText(const char* pText) {
    return k_CopyChars(pText, std::strlen(pText));
}

}  // namespace ipl
