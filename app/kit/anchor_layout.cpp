#include "app/kit/anchor_layout.h"

#include <algorithm>
#include <cstdint>

namespace kit {

namespace {
// a * b / c with 64-bit intermediate and a divisor <= 0 counted as 1.
int Scale(int a, int b, int c) {
  if (c <= 0) c = 1;
  return static_cast<int>(static_cast<int64_t>(a) * b / c);
}
}  // namespace

ui::Rect ArrangedRect(const AnchorEntry& e, const ui::Rect& c0, int W, int H) {
  const ui::Rect& r0 = e.rect;
  const int W0 = c0.right - c0.left, H0 = c0.bottom - c0.top;
  const int dW = W - c0.right, dH = H - c0.bottom;
  const int w = r0.right - r0.left, h = r0.bottom - r0.top;
  ui::Rect r;
  if (e.flags & kAnchorRight) {
    r.right = r0.right + dW;
    r.left = (e.flags & kAnchorLeft) ? r0.left : r0.left + dW;
  } else if (e.flags & kAnchorLeft) {
    r.left = r0.left;
    r.right = r0.right;
  } else {
    r.left = std::max(10, Scale(r0.left, W - w, W0 - w));
    r.right = r.left + w;
  }
  if (e.flags & kAnchorBottom) {
    r.bottom = r0.bottom + dH;
    r.top = (e.flags & kAnchorTop) ? r0.top : r0.top + dH;
  } else if (!(e.flags & (kAnchorTop | kAnchorRight))) {
    r.top = std::max(10, Scale(r0.top, H - h, H0 - h));
    r.bottom = r.top + h;
  } else {
    r.top = r0.top;
    r.bottom = r0.bottom;
  }
  return r;
}

}  // namespace kit
