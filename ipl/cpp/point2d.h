// SPDX-License-Identifier: MIT
// A point of the plane with x and y of one number type; a default point is (0,0). Images
// use it for the corners of their region of interest.
#pragma once

namespace ipl {

template <class T>
class CPoint2D {
  public:
    CPoint2D() = default;
    CPoint2D(T x, T y) : m_x(x), m_y(y) {}
    CPoint2D(const CPoint2D&) = default;
    CPoint2D& operator=(const CPoint2D&) = default;
    virtual ~CPoint2D() = default;

    virtual T GetX() const { return m_x; }
    virtual T GetY() const { return m_y; }

  private:
    T m_x{};
    T m_y{};
};

}  // namespace ipl
