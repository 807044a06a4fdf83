// ArrangeControls arithmetic: where an anchored control goes when its dialog is resized.
#pragma once

#include "platform/ui/geometry.h"

namespace kit {

// Anchor flags, summed.
inline constexpr int kAnchorTop = 1, kAnchorRight = 2, kAnchorBottom = 4, kAnchorLeft = 8;

struct AnchorEntry {
  int id = 0;
  int flags = 0;
  ui::Rect rect;  // client coordinates when registered
};

// The control's rectangle for the new client size W x H, given the client rectangle recorded
// at registration. Integer arithmetic; a divisor <= 0 counts as 1.
ui::Rect ArrangedRect(const AnchorEntry& e, const ui::Rect& client0, int W, int H);

}  // namespace kit
