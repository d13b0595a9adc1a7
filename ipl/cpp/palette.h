// SPDX-License-Identifier: MIT
// Object-level view of a palette record that belongs to someone else (an image), which it
// refers to without owning.
#pragma once

#include "ipl/kernel_c/ipl_types.h"

namespace ipl {

class CPalette {
  public:
    // Refers to the palette without owning it; a null pointer is reported and leaves the
    // wrapper without a palette.
    explicit CPalette(TPalette* pPal);
    CPalette(const CPalette&) = delete;
    CPalette& operator=(const CPalette&) = delete;

    // Refers to another palette (an image points its wrapper at its palette after a load).
    void Refer(TPalette* pPal) { m_pPalette = pPal; }

    const TPalette* GetConstTPalettePtr() const { return m_pPalette; }
    bool IsOwner() const { return Owner; }

  private:
    TPalette* m_pPalette;
    // A palette wrapper made from a pointer never owns the palette; only a wrapper that made
    // its palette itself would free it, and none does here.
    bool Owner = false;
};

}  // namespace ipl
