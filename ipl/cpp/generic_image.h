// SPDX-License-Identifier: MIT
// Abstract base of the image classes: loading, the information block and the region of
// interest that an image can carry.
#pragma once

#include "ipl/cpp/point2d.h"

namespace ipl {

class CGenericImage {
  public:
    virtual ~CGenericImage();
    CGenericImage(const CGenericImage&) = delete;
    CGenericImage& operator=(const CGenericImage&) = delete;

    // Reads a file into the image; false (after a printed reason) when it could not.
    virtual bool Load(const char* pPathFileName) = 0;
    // Prints the image information block and the region line on standard output.
    virtual void PrintInfo() const = 0;

  protected:
    CGenericImage() = default;

    bool ROIActive = false;
    CPoint2D<long> ROIUpperLeft;
    CPoint2D<long> ROILowerRight;
};

}  // namespace ipl
