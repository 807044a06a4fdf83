#include "app/kit/pane_layout.h"

#include <algorithm>

namespace kit {

SplitterDrag& CurrentDrag() {
  static SplitterDrag drag;
  return drag;
}

void LayoutNode(PaneNode& n, const ui::Rect& a) {
  n.paneRect = n.restRect = n.bandRect = a;
  if (n.kind == 1 || n.kind == 2) {
    const int s = static_cast<int>(a.left + (a.right - a.left) * n.fraction + 0.5);
    n.bandRect.left = s - 2;
    n.bandRect.right = s + 3;
    if (n.kind == 1) {
      n.paneRect.left = s + 4;
      n.restRect.right = s - 3;
    } else {
      n.paneRect.right = s - 3;
      n.restRect.left = s + 4;
    }
  } else if (n.kind == 3 || n.kind == 4) {
    const int s = static_cast<int>(a.top + (a.bottom - a.top) * n.fraction + 0.5);
    n.bandRect.top = s - 2;
    n.bandRect.bottom = s + 3;
    if (n.kind == 3) {
      n.paneRect.bottom = s - 3;
      n.restRect.top = s + 4;
    } else {
      n.paneRect.top = s + 4;
      n.restRect.bottom = s - 3;
    }
  }
}

PaneHit LayoutChain(PaneNode* root, const ui::Rect& area, const ui::Point* point) {
  SplitterDrag& drag = CurrentDrag();
  ui::Rect a = area;
  for (PaneNode* n = root; n; n = n->next) {
    LayoutNode(*n, a);
    if (!drag.dragging) drag.horizontal = IsHorizontalSplitter(n->kind);
    if (point && (n->kind >= 1 && n->kind <= 4) && n->bandRect.Contains(*point)) {
      drag.node = n;
      drag.startFraction = n->fraction;
      drag.area = a;
      drag.horizontal = IsHorizontalSplitter(n->kind);
      return {true, drag.horizontal ? kCursorHorizontalSplitter : kCursorVerticalSplitter};
    }
    if (n->window && n->window->IsLive()) {
      const ui::Rect& p = n->paneRect;
      n->window->MoveTo({p.left + 1, p.top + 1, p.right - 1, p.bottom - 1});
    }
    a = n->restRect;
  }
  return {};
}

double DraggedFraction(const SplitterDrag& d, ui::Point p) {
  const int span = d.horizontal ? d.area.bottom - d.area.top : d.area.right - d.area.left;
  if (span <= 0) return d.node ? d.node->fraction : d.startFraction;
  const int moved = d.horizontal ? p.y - d.start.y : p.x - d.start.x;
  return std::clamp(d.startFraction + static_cast<double>(moved) / span, 0.01, 1.0);
}

}  // namespace kit
