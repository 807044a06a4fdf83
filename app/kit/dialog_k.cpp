#include "app/kit/dialog_k.h"

#include <QCursor>
#include <QEvent>
#include <QObject>
#include <cstdio>

#include "platform/ui/message_box.h"
#include "platform/ui/resources.h"

namespace kit {

void WidgetPane::MoveTo(const ui::Rect& r) {
  if (!w_) return;
  w_->setGeometry(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
  w_->update();
}

void ShowInternalError(const char* module, int line) {
  char text[256];
  std::snprintf(text, sizeof text, "Internal error\nFile'%s'\nString #%d", module, line);
  ui::MessageBox(nullptr, text, "");
}

namespace {

// Watches the owner's window: its deferred deletion (how dialog windows go) tears the pane
// down while both windows still exist.
class PaneGuard : public QObject {
 public:
  PaneGuard(ui::Dialog& pane, QWidget* ownerWindow)
      : QObject(pane.Widget()), pane_(pane), owner_(ownerWindow) {
    owner_->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == owner_ && event->type() == QEvent::DeferredDelete && pane_.HasWindow()) {
      owner_->removeEventFilter(this);
      pane_.DestroyWindow();  // deletes this guard with the pane's window
    }
    return false;
  }

 private:
  ui::Dialog& pane_;
  QPointer<QWidget> owner_;
};

}  // namespace

bool CreateEmbeddedPane(ui::Dialog& pane, ui::Dialog& owner) {
  if (!pane.Create(&owner)) return false;
  QWidget* w = pane.Widget();
  if (!w || !owner.ClientWidget() || !owner.Widget()) return true;
  w->setParent(owner.ClientWidget(), Qt::Widget);
  new PaneGuard(pane, owner.Widget());
  w->show();
  return true;
}

}  // namespace kit

namespace {

void EnsureSplitterCursors() {
  static bool done = false;
  if (done) return;
  done = true;
  // Programs without cursor pictures of their own get the toolkit's splitter shapes.
  if (ui::LoadCursor(kit::kCursorHorizontalSplitter).shape() == Qt::ArrowCursor)
    ui::RegisterCursor(kit::kCursorHorizontalSplitter, QCursor(Qt::SplitVCursor));
  if (ui::LoadCursor(kit::kCursorVerticalSplitter).shape() == Qt::ArrowCursor)
    ui::RegisterCursor(kit::kCursorVerticalSplitter, QCursor(Qt::SplitHCursor));
}

}  // namespace

CDialogK::CDialogK(int templateId) : Dialog(templateId) { EnsureSplitterCursors(); }

CDialogK::~CDialogK() {
  if (kit::CurrentDrag().node) {
    // A drag of this dialog's chain must not outlive it.
    for (kit::PaneNode* n = paneRoot; n; n = n->next)
      if (kit::CurrentDrag().node == n) kit::CurrentDrag() = {};
  }
}

void CDialogK::OnSize(int, int) {
  if (!HasWindow()) return;
  const ui::Rect r = GetDrawRect();
  backBuffer.Release();
  if (!backBuffer.Create(std::max(1, r.Width()), std::max(1, r.Height())))
    kit::ShowInternalError("DialogK", 139);
  kit::LayoutChain(paneRoot, r, nullptr);
}

void CDialogK::OnPaint(ui::Canvas& dc) {
  const ui::Rect r = GetDrawRect();
  if (backBuffer.Valid()) {
    {
      auto mem = backBuffer.Begin();
      mem->FillRect({0, 0, r.Width(), r.Height()}, ui::Rgb(200, 200, 255));
      kit::LayoutChain(paneRoot, r, nullptr);
      for (kit::PaneNode* n = paneRoot; n; n = n->next)
        mem->FrameRect(n->paneRect.Offset(-r.left, -r.top), ui::Rgb(0, 0, 0));
    }
    backBuffer.BlitTo(dc, r.left, r.top);
  } else {
    // Without a buffer the frames are drawn straight onto the window.
    dc.FillRect(r, ui::Rgb(200, 200, 255));
    kit::LayoutChain(paneRoot, r, nullptr);
    for (kit::PaneNode* n = paneRoot; n; n = n->next) dc.FrameRect(n->paneRect, ui::Rgb(0, 0, 0));
  }
}

void CDialogK::OnLButtonDown(unsigned, ui::Point p) {
  kit::PaneHit hit = kit::LayoutChain(paneRoot, ClientRect(), &p);
  if (!hit.hit) return;
  kit::SplitterDrag& drag = kit::CurrentDrag();
  drag.dragging = true;
  drag.start = p;
  SetCapture();
  SetCursorShape(hit.cursor);
}

void CDialogK::OnMouseMove(unsigned, ui::Point p) {
  kit::SplitterDrag& drag = kit::CurrentDrag();
  bool mine = false;
  for (kit::PaneNode* n = paneRoot; n; n = n->next) mine = mine || n == drag.node;
  if (drag.dragging && mine) {
    drag.node->fraction = kit::DraggedFraction(drag, p);
    // The pane windows follow at once; the next paint draws the frames.
    kit::LayoutChain(paneRoot, GetDrawRect(), nullptr);
    Invalidate(false);
    return;
  }
  if (!drag.dragging) {
    kit::PaneHit hit = kit::LayoutChain(paneRoot, ClientRect(), &p);
    SetCursorShape(hit.hit ? hit.cursor : 0);
  }
}

void CDialogK::OnLButtonUp(unsigned, ui::Point) { EndSplitterDrag(); }

void CDialogK::EndSplitterDrag() {
  kit::SplitterDrag& drag = kit::CurrentDrag();
  if (!drag.dragging) return;
  drag.dragging = false;
  drag.node = nullptr;
  ReleaseCapture();
}

void ArrangeControls::Register(int id, int flags) {
  entries_.push_back({id, flags, dialog_.ItemRect(id)});
}

void ArrangeControls::Finish() {
  client0_ = dialog_.ClientRect();
  ready_ = true;
  Apply(client0_.Width(), client0_.Height());
}

void ArrangeControls::Apply(int width, int height) {
  if (!ready_ || !dialog_.HasWindow()) return;
  for (const auto& e : entries_)
    if (dialog_.HasItem(e.id))
      dialog_.MoveItem(e.id, kit::ArrangedRect(e, client0_, width, height));
}
