// SPDX-License-Identifier: MIT
// The record-level loader: picks a reader by the file name's extension and records where the
// image came from (see kernel_io.h).
#include "ipl/kernel_c/kernel_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ipl/kernel_c/image/kernel_functions.h"
#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_string.h"
#include "ipl/kernel_c/kernel_text.h"

namespace ipl {

namespace {

using Reader = bool (*)(std::FILE*, TImage*);

// The reader for an upper-case extension, or null.
Reader ReaderFor(const char* pExtension) {
    if (std::strcmp(pExtension, "BMP") == 0) {
        return k_LoadBMP;
    }
    if (std::strcmp(pExtension, "PGM") == 0) {
        return k_LoadPGM;
    }
    if (std::strcmp(pExtension, "PCD") == 0) {
        return k_LoadPCD;
    }
    return nullptr;
}

// Names and history of a freshly read image. Problems here are reported but do not undo the
// load: the pixels are good.
void RecordSource(const char* pPathFileName, TImage* pImage) {
    pImage->Origin = DISC;
    k_SetFileAndPath(pPathFileName, &pImage->FileInfo);
    k_SetFileInfoFromPathFileText(&pImage->History, pImage->FileInfo.PathAndFileName);
    TString entry;
    k_InitString(&entry);
    k_SprintfString(&entry, "%sk_Load(%s)", HistoryIndent, pPathFileName);
    k_AddIPLText(&pImage->History, entry.pChars != nullptr ? entry.pChars : "");
    k_EmptyString(&entry);
}

// Opens a file for reading only when it is a regular file. The name is opened without
// waiting (a FIFO without a writer would block the run) and judged by what was opened.
std::FILE* OpenRegularFile(const char* pPathFileName) {
    const int fd = ::open(pPathFileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() Failed opening file %s",
                         pPathFileName);
        return nullptr;
    }
    struct stat file {};
    if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        ::close(fd);
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() Not a regular file %s",
                         pPathFileName);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* fp = nullptr;
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ||
        (fp = ::fdopen(fd, "rb")) == nullptr) {
        ::close(fd);
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() Failed opening file %s",
                         pPathFileName);
    }
    return fp;
}

}  // namespace

bool k_Load(const char* pPathFileName, TImage* pImage) {
    char* path = nullptr;
    char* fileName = nullptr;
    char* extension = nullptr;
    if (!k_SplitFileName(pPathFileName, &path, &fileName, &extension)) {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() Filename not valid");
        return false;
    }
    bool ok = false;
    if (extension[0] == '\0') {
        k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() No extension found");
    } else {
        k_StringToUpper(extension);
        // The file is opened before its extension is judged, so a missing file is reported
        // as missing whatever its extension.
        std::FILE* fp = OpenRegularFile(pPathFileName);
        if (fp != nullptr) {
            const Reader reader = ReaderFor(extension);
            if (reader == nullptr) {
                k_ShowMessageStd(IPL_FILE_AND_LINE, IPL_ERROR, "k_Load() No valid extension found");
            } else {
                k_EmptyImage(pImage);
                ok = reader(fp, pImage);
                if (ok) {
                    // A depth without row addresses is reported here; the image still loads.
                    k_SetImageMatrix(pImage);
                    RecordSource(pPathFileName, pImage);
                }
            }
            std::fclose(fp);
        }
    }
    std::free(path);
    std::free(fileName);
    std::free(extension);
    return ok;
}

}  // namespace ipl
