// SPDX-License-Identifier: MIT
// Object-level view of a history text: either one of its own, freed with it, or one that
// belongs to an image.
#pragma once

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

class CText {
  public:
    // A text of its own, with both stamp flags set and no lines.
    CText();
    // Refers to a text without owning it; a null pointer is reported and leaves the wrapper
    // without a text.
    explicit CText(TIplText* pHistory);
    ~CText();
    CText(const CText&) = delete;
    CText& operator=(const CText&) = delete;

    // Adds the line "IPL Version 2.16 " + text, stamped with date and time.
    bool AppendIPL(const char* pCharArray);

    TIplText* GetTIplTextPtr() { return m_pText; }
    const TIplText* GetConstTIplTextPtr() const { return m_pText; }
    bool IsOwner() const { return Owner; }

  private:
    TIplText* m_pText;
    bool Owner;
};

}  // namespace ipl
