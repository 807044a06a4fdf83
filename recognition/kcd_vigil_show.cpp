#include "recognition/kcd_vigil_show.h"

#include <QFontDatabase>
#include <QWidget>
#include <algorithm>

#include "app/kit/fonts.h"
#include "platform/report.h"
#include "platform/thread.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/qt_text.h"
#include "recognition/alert_layout.h"
#include "recognition/recognition.h"
#include "view/map_layout.h"

namespace recognition {
namespace {

KCDVigilShow* current = nullptr;  // UI thread

bool FamilyExists(const Text1251& face) {
  if (face.empty()) return false;
  const QString family = ui::ToQString(face);
  for (const QString& f : QFontDatabase::families())
    if (f.compare(family, Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

KCDVigilShow::KCDVigilShow(void* context, const kit::FontRecord& font)
    : CDialogK(kVigilShowId), context_(context), fontRecord_(font) {
  RegisterRecognitionResources();
  OnMessage(kMsgAlertChanged, [this](uintptr_t, intptr_t) {
    if (HasWindow()) Invalidate(false);
    return 0;
  });
}

KCDVigilShow::~KCDVigilShow() {
  if (registered_) UnregisterAlertSink(context_, this);
  if (current == this) current = nullptr;
}

bool KCDVigilShow::CreatePane(ui::Dialog& owner) { return kit::CreateEmbeddedPane(*this, owner); }

bool KCDVigilShow::OnInitDialog() {
  brushes_.MakeBrushes(7.0);
  if (FamilyExists(kit::FaceName(fontRecord_))) {
    font_ = CanvasFont(fontRecord_);
    haveFont_ = true;
  } else if (QFont f; CreateFontWithFallback(f)) {
    font_ = CanvasFont(RecordFromFont(f));
    haveFont_ = true;
  } else {
    AddLogMessage("(864612)");
  }
  RegisterAlertSink(context_, this);
  registered_ = true;
  current = this;
  const ui::Rect c = ClientRect();
  OnSize(c.Width(), c.Height());
  return true;
}

void KCDVigilShow::OnDestroy() {
  // A callback in progress finishes first; later ones find no window (and answer -1).
  if (registered_) UnregisterAlertSink(context_, this);
  registered_ = false;
  if (current == this) current = nullptr;
}

KCDVigilShow* KCDVigilShow::Current() { return current; }

void KCDVigilShow::SetAlertValues(const int* values) {
  {
    std::lock_guard l(dataLock_);
    std::copy(values, values + kSensorCount, values_.begin());
  }
  Changed();
}

void KCDVigilShow::SetAlertText(const char* text) {
  {
    std::lock_guard l(dataLock_);
    text_ = text ? text : "";
  }
  Changed();
}

void KCDVigilShow::Changed() {
  if (ui::IsUiThread()) {
    if (HasWindow()) Invalidate(false);
  } else {
    PostMessageTo(Handle(), kMsgAlertChanged);
  }
}

std::array<int, kSensorCount> KCDVigilShow::AlertValues() const {
  std::lock_guard l(dataLock_);
  return values_;
}

Text1251 KCDVigilShow::AlertText() const {
  std::lock_guard l(dataLock_);
  return text_;
}

void KCDVigilShow::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  buffer_.Release();
  if (!buffer_.Create(std::max(1, cx), std::max(1, cy))) {
    if (!bufferFailed_) kit::ShowInternalError("KCDVigilShow", 77);
    bufferFailed_ = true;
  } else {
    bufferFailed_ = false;
  }
  Invalidate(false);
}

void KCDVigilShow::OnPaint(ui::Canvas& canvas) {
  const ui::Rect client = ClientRect();
  if (!buffer_.Valid()) {
    Draw(canvas, client);
    return;
  }
  {
    std::unique_ptr<ui::Canvas> back = buffer_.Begin();
    Draw(*back, {0, 0, client.Width(), client.Height()});
  }
  buffer_.BlitTo(canvas, client.left, client.top);
}

void KCDVigilShow::Draw(ui::Canvas& dc, const ui::Rect& r) {
  std::array<int, kSensorCount> values;
  Text1251 text;
  {
    std::lock_guard l(dataLock_);
    values = values_;
    text = text_;
  }
  dc.FillRect(r, ui::Rgb(255, 255, 255));

  const ui::Rect square = AlertMapSquare(r);
  const view::MapPlacement place = view::PlaceMap(square);
  dc.SelectPen(ui::Pen{ui::Rgb(0, 0, 0), 1});
  for (const view::CellSlot& cell : view::LayoutCells(view::kMode19, 0)) {
    if (cell.sensor < 0) continue;
    const view::CellOutline o = view::OutlineOf(place, cell);
    const view::Rgb c = brushes_[view::ClampColourIndex(values[cell.sensor])];
    dc.SelectBrush(ui::Brush::Solid(ui::Rgb(c.r, c.g, c.b)));
    dc.Polygon(o.data(), 6);
  }

  ui::Font previous;
  if (haveFont_) previous = dc.SelectFont(font_);
  dc.SetTextColour(ui::Rgb(0, 0, 0));
  dc.SetBkTransparent(true);
  const unsigned align = dc.SetTextAlign(ui::TextAlign::Left | ui::TextAlign::Bottom);
  const int h = std::max(1, dc.TextExtent("Hy").cy);
  int bottom = r.top + h;
  for (const Text1251& line : AlertLines(text)) {
    if (bottom >= r.bottom) break;
    dc.TextOut(square.right + 2, bottom, line);
    bottom += h;
  }
  dc.SetTextAlign(align);
  if (haveFont_) dc.SelectFont(previous);
}

}  // namespace recognition
