// SPDX-License-Identifier: MIT
// History texts: stamped lines, copies between texts, the text's own file name and the
// indentation of nested load entries (see kernel_text.h).
#include "ipl/kernel_c/kernel_text.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_string.h"
#include "ipl/time/kernel_time_date.h"

namespace ipl {

namespace {

// The line array starts with room for 4 lines and doubles when full.
constexpr std::uint32_t kFirstLineCapacity = 4;

// Moves a finished line into the text; the text takes over its memory.
bool AddOwnedLine(TIplText* pText, TString* pLine) {
    TStringArray& lines = pText->Lines;
    if (lines.NumberOfStrings == lines.AllocatedStrings) {
        const std::uint32_t capacity =
            lines.AllocatedStrings == 0 ? kFirstLineCapacity : lines.AllocatedStrings * 2;
        if (capacity <= lines.AllocatedStrings || !k_ReAllocText(capacity, pText)) {
            k_EmptyString(pLine);
            return false;
        }
    }
    lines.pStrings[lines.NumberOfStrings++] = *pLine;
    k_InitString(pLine);
    return true;
}

bool AddStamp(bool (*getStamp)(char**), const char* pUnavailable, TString* pLine) {
    char* stamp = nullptr;
    if (!getStamp(&stamp)) {
        return k_AddCharArrayToString(pUnavailable, pLine);
    }
    const bool ok = k_AddCharArrayToString(stamp, pLine) && k_AddCharArrayToString(" ", pLine);
    std::free(stamp);
    return ok;
}

}  // namespace

void k_AppendHistoryIndent() {
    const std::size_t length = std::strlen(HistoryIndent);
    if (length + 1 < HISTORY_INDENT_CAPACITY) {
        HistoryIndent[length] = '\t';
        HistoryIndent[length + 1] = '\0';
    }
}

void k_RemoveHistoryIndent() {
    const std::size_t length = std::strlen(HistoryIndent);
    if (length > 0) {
        HistoryIndent[length - 1] = '\0';
    }
}

void k_InitText(TIplText* pText) {
    *pText = TIplText{};
    pText->UseTime = 1;
    pText->UseDate = 1;
    k_InitFileInfo(&pText->FileInfo);
}

void k_EmptyText(TIplText* pText) {
    TStringArray& lines = pText->Lines;
    for (std::uint32_t i = 0; i < lines.NumberOfStrings; ++i) {
        k_EmptyString(&lines.pStrings[i]);
    }
    std::free(lines.pStrings);
    lines = TStringArray{};
    std::free(pText->pSearchText);
    pText->pSearchText = nullptr;
    pText->SearchPosition = 0;
    k_EmptyFileInfo(&pText->FileInfo);
}

bool k_ReAllocText(std::uint32_t Lines, TIplText* pText) {
    TStringArray& lines = pText->Lines;
    if (Lines <= lines.AllocatedStrings) {
        return true;
    }
    void* grown = std::realloc(lines.pStrings, std::size_t{Lines} * sizeof(TString));
    if (grown == nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_ReAllocText() Realloc failed");
        return false;
    }
    lines.pStrings = static_cast<TString*>(grown);
    lines.AllocatedStrings = Lines;
    return true;
}

bool k_AppendText(TIplText* pText, const char* pLine) {
    if (pText == nullptr || pLine == nullptr) {
        return false;
    }
    if (std::strchr(pLine, '\n') != nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "CText::k_AppendText() String argument=\"%s\" contains a newline "
                         "character - no insertion",
                         pLine);
        return false;
    }
    TString line;
    k_InitString(&line);
    bool ok = k_AddCharArrayToString("# ", &line);
    if (ok && pText->UseDate == 1) {
        ok = AddStamp(k_GetDate, "date not available ", &line);
    }
    if (ok && pText->UseTime == 1) {
        ok = AddStamp(k_GetTime, "time not available ", &line);
    }
    ok = ok && k_AddCharArrayToString(pLine, &line) && k_AddCharArrayToString("\n", &line);
    if (!ok) {
        k_EmptyString(&line);
        return false;
    }
    return AddOwnedLine(pText, &line);
}

bool k_AddIPLText(TIplText* pText, const char* pLine) {
    if (pText == nullptr || pLine == nullptr) {
        return false;
    }
    TString line;
    k_InitString(&line);
    const bool ok = k_SprintfString(&line, "IPL Version %.2f ", IPL_VERSION) &&
                    k_AddCharArrayToString(pLine, &line) && k_AppendText(pText, line.pChars);
    k_EmptyString(&line);
    return ok;
}

bool k_AddLine(TIplText* pText, const char* pLine) {
    TString line;
    k_InitString(&line);
    const std::size_t length = std::strlen(pLine);
    const bool hasEnd = length > 0 && pLine[length - 1] == '\n';
    if (!k_AddCharArrayToString(pLine, &line) ||
        (!hasEnd && !k_AddCharArrayToString("\n", &line))) {
        k_EmptyString(&line);
        return false;
    }
    return AddOwnedLine(pText, &line);
}

bool k_AddLinesFromText(const TIplText* pSource, TIplText* pDest) {
    // Counted first, so that adding a text to itself copies each line once.
    const std::uint32_t count = pSource->Lines.NumberOfStrings;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!k_AddLine(pDest, pSource->Lines.pStrings[i].pChars)) {
            return false;
        }
    }
    return true;
}

bool k_CopyTextLines(const TIplText* pSource, TIplText* pDest) {
    if (pSource == pDest) {
        k_EmptyFileInfo(&pDest->FileInfo);
        return true;
    }
    k_EmptyText(pDest);
    return k_AddLinesFromText(pSource, pDest);
}

bool k_SetFileInfoFromPathFileText(TIplText* pText, const char* pPathAndFileName) {
    if (pPathAndFileName == nullptr) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_SetFileInfoFromPathFileText() pPathAndFileName is a NULL pointer");
        return false;
    }
    // The extension is whatever follows the last dot of the last path component.
    std::string name(pPathAndFileName);
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        name.erase(dot);
    }
    name += ".txt";
    if (!k_SetFileAndPath(name.c_str(), &pText->FileInfo)) {
        k_ShowMessageStd(
            IPL_FILE_AND_LINE, IPL_ERROR,
            "k_SetFileInfoFromPathFileText() Failed setting variables in TFileInfo structure");
        return false;
    }
    return true;
}

}  // namespace ipl
