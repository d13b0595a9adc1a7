// SPDX-License-Identifier: MIT
// The image class the tool uses: construction, loading with history entries, the
// information block and pixel access (see image.h).
#include "ipl/cpp/image.h"

#include <cstdio>
#include <string>

#include "ipl/kernel_c/image/kernel_functions.h"
#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_io.h"
#include "ipl/kernel_c/kernel_string.h"
#include "ipl/kernel_c/kernel_text.h"

namespace ipl {

CImage::CImage() {
    k_InitImage(&KernelImage);
    k_EmptyImage(&KernelImage);
    ROIActive = false;
}

CImage::~CImage() {
    k_EmptyImage(&KernelImage);
}

bool CImage::Load(const char* pPathFileName) {
    const char* name = pPathFileName != nullptr ? pPathFileName : "";
    // The entries are gathered in a text of their own, so that the image's history starts
    // with this call's entry, followed by the deeper ones the record-level loader writes.
    CText loadHistory;
    TString entry;
    k_InitString(&entry);
    k_SprintfString(&entry, "%sCStdImage::Load(%s)", HistoryIndent, name);
    loadHistory.AppendIPL(entry.pChars != nullptr ? entry.pChars : "");
    k_EmptyString(&entry);

    k_AppendHistoryIndent();
    const bool ok = k_Load(pPathFileName, &KernelImage);
    if (ok) {
        Palette.Refer(&KernelImage);
        ROIActive = false;
        k_AddLinesFromText(&KernelImage.History, loadHistory.GetTIplTextPtr());
        k_CopyTextLines(loadHistory.GetConstTIplTextPtr(), &KernelImage.History);
    } else {
        ShowMessage(IPL_ERROR, std::string("CImage::Load(\"") + name + "\") Failed loading image" +
                                   IPL_LOCATION);
    }
    k_RemoveHistoryIndent();
    return ok;
}

void CImage::PrintInfo() const {
    k_PrintImageInfo(&KernelImage);
    if (ROIActive) {
        std::printf(" ROI: (%ld,%ld) -> (%ld,%ld)\n", ROIUpperLeft.GetX(), ROIUpperLeft.GetY(),
                    ROILowerRight.GetX(), ROILowerRight.GetY());
    } else {
        std::printf(" ROI inactive\n");
    }
    std::fflush(stdout);
}

std::uint32_t CImage::GetPixel(int x, int y) const {
    const TImage& image = KernelImage;
    const long long column = static_cast<long long>(x) + image.Origo.x;
    const long long row = static_cast<long long>(y) + image.Origo.y;
    const long long border = image.BorderSize;
    // An image whose read failed may carry sizes but no rows: it has no inside.
    if (column < -border || column >= image.Width + border || row < -border ||
        row >= image.Height + border || image.RowTable == nullptr) {
        ShowMessage(IPL_ERROR, "CImage::GetPixel(" + std::to_string(column) + "," +
                                   std::to_string(row) + ") Outside image and border" +
                                   IPL_LOCATION);
        return 0;
    }
    switch (image.Bits) {
        case 1: {
            const std::uint8_t byte = image.RowTable[row][column >> 3];
            return (byte & (0x80u >> (column & 7))) != 0 ? 1 : 0;
        }
        case 8:
            return image.RowTable[row][column];
        case 24: {
            const std::uint8_t* pixel = image.RowTable[row] + 3 * column;
            return pixel[0] + 256u * pixel[1] + 65536u * pixel[2];
        }
        default:
            ShowMessage(
                IPL_ERROR,
                "CImage::GetPixel() Only implemented for 1,8 and 24 bit per pixels" + IPL_LOCATION);
            return 0;
    }
}

}  // namespace ipl
