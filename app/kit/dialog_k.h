// The dialog kit's windows on the UI framework:
//  - CDialogK: double-buffered dialog base with a chain of splitter panes (pane_layout.h);
//  - ArrangeControls: anchored layout of a dialog's controls (anchor_layout.h);
//  - WidgetPane: a child widget as the window of a pane;
//  - CreateEmbeddedPane: a dialog of its own as a child window of another's client area.
// UI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "app/kit/anchor_layout.h"
#include "app/kit/pane_layout.h"
#include "platform/ui/canvas.h"
#include "platform/ui/dialog.h"

namespace kit {

// A child widget shown in a pane; it is "live" while the widget exists.
class WidgetPane : public PaneWindow {
 public:
  explicit WidgetPane(QWidget* w = nullptr) : w_(w) {}
  void Set(QWidget* w) { w_ = w; }
  QWidget* Widget() const { return w_; }
  bool IsLive() const override { return !w_.isNull(); }
  void MoveTo(const ui::Rect& r) override;

 private:
  QPointer<QWidget> w_;
};

// "Internal error\nFile'%s'\nString #%d" in a modal box without owner and caption.
void ShowInternalError(const char* module, int line);

// Creates pane (a dialog of its own) as a child window of owner's client area. When the
// owner's window goes, the pane's window is destroyed first, so the pane never keeps a window
// its owner has deleted.
bool CreateEmbeddedPane(ui::Dialog& pane, ui::Dialog& owner);

}  // namespace kit

class CDialogK : public ui::Dialog {
 public:
  explicit CDialogK(int templateId);
  ~CDialogK() override;

  // The drawing rectangle; the client rectangle unless a subclass says otherwise.
  virtual ui::Rect GetDrawRect() const { return ClientRect(); }

  kit::PaneNode* paneRoot = nullptr;  // set once by the subclass, which owns the chain
  ui::BackBuffer backBuffer;          // of the GetDrawRect size, made on every resize

 protected:
  // Subclasses that handle these call the base first.
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& dc) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override;
  void OnLButtonUp(unsigned flags, ui::Point p) override;
  void OnMouseMove(unsigned flags, ui::Point p) override;
  // Ends a splitter drag (also for subclasses that handle left-button-up themselves).
  void EndSplitterDrag();
};

// Anchored layout: register (id, flags) when the dialog opens, then Apply on every resize.
class ArrangeControls {
 public:
  explicit ArrangeControls(ui::Dialog& dialog) : dialog_(dialog) {}
  // Takes the control's rectangle in client coordinates now.
  void Register(int id, int flags);
  // Records the client rectangle, sets the ready flag and applies the layout once.
  void Finish();
  // The dialog was resized (ignored until ready or without a window).
  void Apply(int width, int height);
  bool Ready() const { return ready_; }
  const std::vector<kit::AnchorEntry>& Entries() const { return entries_; }

 private:
  ui::Dialog& dialog_;
  std::vector<kit::AnchorEntry> entries_;
  ui::Rect client0_{};
  bool ready_ = false;
};
