// Points, sizes, rectangles and colours with the Windows conventions the drawing code uses:
// a rectangle's right and bottom edges are exclusive; a colour is 0x00BBGGRR.
#pragma once

#include <cstdint>

namespace ui {

using Colour = uint32_t;
constexpr Colour Rgb(int r, int g, int b) {
  return uint32_t(r & 255) | (uint32_t(g & 255) << 8) | (uint32_t(b & 255) << 16);
}
constexpr int RedOf(Colour c) { return c & 255; }
constexpr int GreenOf(Colour c) { return (c >> 8) & 255; }
constexpr int BlueOf(Colour c) { return (c >> 16) & 255; }

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool Empty() const { return right <= left || bottom <= top; }
  Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  Rect Deflate(int d) const { return {left + d, top + d, right - d, bottom - d}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace ui
