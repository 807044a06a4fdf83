// Splitter panes of CDialogK, free of windows: a singly linked chain of PaneNode, each cutting
// one pane off the area left by the node before it, and the one splitter drag of the program.
#pragma once

#include "platform/ui/geometry.h"

namespace kit {

inline constexpr int kCursorHorizontalSplitter = 145;
inline constexpr int kCursorVerticalSplitter = 146;

// Where a pane's window goes; the dialog's child windows implement it.
class PaneWindow {
 public:
  virtual ~PaneWindow() = default;
  virtual bool IsLive() const = 0;
  virtual void MoveTo(const ui::Rect& r) = 0;  // and repaint
};

struct PaneNode {
  // 1: right of a vertical splitter; 2: left of one; 3: above a horizontal splitter; 4: below.
  int kind = 1;
  double fraction = 0.5;  // splitter position in the area's width (1, 2) or height (3, 4)
  PaneNode* next = nullptr;
  PaneWindow* window = nullptr;
  ui::Rect paneRect;
  ui::Rect restRect;  // the area handed to next
  ui::Rect bandRect;  // the splitter band of the last layout
};

inline bool IsHorizontalSplitter(int kind) { return kind == 3 || kind == 4; }

// The one splitter drag in progress (UI thread).
struct SplitterDrag {
  bool dragging = false;
  PaneNode* node = nullptr;
  double startFraction = 0;
  ui::Rect area;
  ui::Point start;
  bool horizontal = false;
};
SplitterDrag& CurrentDrag();

// Lays one node out over area (steps 1-3): sets paneRect, restRect and bandRect.
void LayoutNode(PaneNode& node, const ui::Rect& area);

struct PaneHit {
  bool hit = false;
  int cursor = 0;  // 145 or 146 on a hit
};
// Lays the chain out over area. With a point inside a splitter band the pass stops there and
// the node becomes the drag candidate (CurrentDrag().node, startFraction, area); without a
// point every live window is moved one pixel inside its pane.
PaneHit LayoutChain(PaneNode* root, const ui::Rect& area, const ui::Point* point);

// A drag's new fraction for the mouse at p; an area of zero or negative size changes nothing.
double DraggedFraction(const SplitterDrag& drag, ui::Point p);

}  // namespace kit
