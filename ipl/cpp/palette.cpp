// SPDX-License-Identifier: MIT
// Object-level palette wrapper: refers to a palette record and reports a missing one (see
// palette.h).
#include "ipl/cpp/palette.h"

#include "ipl/kernel_c/kernel_error.h"

namespace ipl {

CPalette::CPalette(TPalette* pPal) : m_pPalette(pPal) {
    if (pPal == nullptr) {
        ShowMessage(IPL_ERROR,
                    "CPalette::CPalette(TPalette* pPal) pPal is a NULL-pointer" + IPL_LOCATION);
    }
}

}  // namespace ipl
