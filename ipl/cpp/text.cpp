// SPDX-License-Identifier: MIT
// Object-level history text: own or borrowed TIplText, and appending version-stamped lines
// (see text.h).
#include "ipl/cpp/text.h"

#include "ipl/kernel_c/kernel_error.h"
#include "ipl/kernel_c/kernel_text.h"

namespace ipl {

CText::CText() : m_pText(new TIplText), Owner(true) {
    k_InitText(m_pText);
}

CText::CText(TIplText* pHistory) : m_pText(pHistory), Owner(false) {
    if (pHistory == nullptr) {
        ShowMessage(IPL_ERROR,
                    "CText::CText(TIplText* pHistory) pHistory is a NULL-pointer" + IPL_LOCATION);
    }
}

CText::~CText() {
    if (Owner) {
        k_EmptyText(m_pText);
        delete m_pText;
    }
}

bool CText::AppendIPL(const char* pCharArray) {
    if (pCharArray == nullptr) {
        ShowMessage(IPL_ERROR,
                    "CText::AppendIPL(const char* pCharArray) Append failed, pCharArray is a "
                    "NULL pointer" +
                        IPL_LOCATION);
        return false;
    }
    if (m_pText == nullptr || !k_AddIPLText(m_pText, pCharArray)) {
        ShowMessage(IPL_ERROR, "CText::AppendIPL() Append failed" + IPL_LOCATION);
        return false;
    }
    return true;
}

}  // namespace ipl
