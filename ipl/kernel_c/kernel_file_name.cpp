// SPDX-License-Identifier: MIT
// File names of the record level: splitting a name into directory, file name and extension,
// and the TFileInfo record that keeps them (declared in kernel_io.h).
#include <cstdlib>
#include <string>

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_string.h"

namespace ipl {

void k_InitFileInfo(TFileInfo* pInfo) {
    *pInfo = TFileInfo{};
}

void k_EmptyFileInfo(TFileInfo* pInfo) {
    std::free(pInfo->FileName);
    std::free(pInfo->PathName);
    std::free(pInfo->PathAndFileName);
    k_InitFileInfo(pInfo);
}

bool k_SplitFileName(const char* pName, char** ppPath, char** ppFileName, char** ppExtension) {
    *ppPath = *ppFileName = *ppExtension = nullptr;
    if (pName == nullptr || *pName == '\0') {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_WARNING,
                         "k_SplitFileName() The given file name is empty - doing nothing");
        return false;
    }
    // Names written for DOS and Windows separate directories with backslashes.
    std::string name(pName);
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (name.back() == '/') {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_SplitFileName() The given file name ends with a '/' character");
        return false;
    }
    const std::size_t slash = name.rfind('/');
    const std::size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = name.rfind('.');
    const std::size_t extensionStart =
        dot == std::string::npos || dot < fileStart ? name.size() : dot + 1;

    *ppPath = k_CopyChars(name.c_str(), fileStart);
    *ppFileName = k_CopyText(name.c_str() + fileStart);
    *ppExtension = k_CopyText(name.c_str() + extensionStart);
    if (*ppPath == nullptr || *ppFileName == nullptr || *ppExtension == nullptr) {
        std::free(*ppPath);
        std::free(*ppFileName);
        std::free(*ppExtension);
        *ppPath = *ppFileName = *ppExtension = nullptr;
        return false;
    }
    return true;
}

bool k_SetFileAndPath(const char* pName, TFileInfo* pInfo) {
    char* path = nullptr;
    char* fileName = nullptr;
    char* extension = nullptr;
    char* given = pName != nullptr ? k_CopyText(pName) : nullptr;
    if (given == nullptr || !k_SplitFileName(pName, &path, &fileName, &extension)) {
        std::free(given);
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR,
                         "k_SetFileAndPath() Failed setting variables in TFileInfo structure");
        return false;
    }
    std::free(extension);
    k_EmptyFileInfo(pInfo);
    pInfo->FileName = fileName;
    pInfo->PathName = path;
    pInfo->PathAndFileName = given;
    return true;
}

}  // namespace ipl
