#include "recording/pushes_list_dlg.h"

#include <algorithm>

#include "acquisition/push_file.h"
#include "recording/kcd_notes.h"
#include "view/ctacmon_dlg.h"
#include "view/ui_map_canvas.h"

namespace recording {

static_assert(PushesListModel::kLineUp == ui::SB_LINEUP &&
              PushesListModel::kLineDown == ui::SB_LINEDOWN &&
              PushesListModel::kPageUp == ui::SB_PAGEUP &&
              PushesListModel::kPageDown == ui::SB_PAGEDOWN &&
              PushesListModel::kThumbPosition == ui::SB_THUMBPOSITION &&
              PushesListModel::kThumbTrack == ui::SB_THUMBTRACK &&
              PushesListModel::kTop == ui::SB_TOP && PushesListModel::kBottom == ui::SB_BOTTOM);

CtacmonDlgPushesList::CtacmonDlgPushesList(OperationPanesHost& host)
    : CDialogK(kPushesListDialogId), host_(host) {
  OnScroll(kPushesListScrollBar, [this](int code, int pos) { OnScrollBar(code, pos); });
  OnMessage(kViewerSavedMessage, [this](uintptr_t wParam, intptr_t) {
    // The viewer wrote new labels into the push file: read the entry's push again.
    auto it = viewerFiles_.find(wParam);
    if (it == viewerFiles_.end()) return intptr_t(0);
    for (int i = 0; i < model_.Count(); ++i) {
      PushEntry& e = model_.Entry(i);
      if (e.fileName != it->second) continue;
      Push fresh;
      if (ReadPushFile(fresh, e.fileName) == 0) {
        fresh.fileName = e.fileName;
        fresh.startTime = e.push.startTime;
        ComputePushStatistics(fresh, kAllVisible);
        e.push = std::move(fresh);
      }
    }
    Repaint();
    return intptr_t(0);
  });
}

bool CtacmonDlgPushesList::CreatePane(ui::Dialog& owner) {
  return kit::CreateEmbeddedPane(*this, owner);
}

bool CtacmonDlgPushesList::OnInitDialog() {
  arrange_.Register(kPushesListEdgeButton, kit::kAnchorTop | kit::kAnchorRight);
  arrange_.Register(kPushesListScrollBar,
                    kit::kAnchorLeft | kit::kAnchorRight | kit::kAnchorBottom);
  arrange_.Finish();
  Relayout();
  UpdateScrollBar();
  return true;
}

void CtacmonDlgPushesList::Relayout() {
  if (!HasWindow()) return;
  const ui::Rect edge = ItemRect(kPushesListEdgeButton);
  const ui::Rect bar = ItemRect(kPushesListScrollBar);
  picture_ = {0, 0, std::max(1, edge.right - 1), std::max(1, bar.top - 2)};
  pictureBuffer_.Release();
  if (!pictureBuffer_.Create(picture_.Width(), picture_.Height()))
    kit::ShowInternalError("tacmonDlgPushesList", 144);
}

void CtacmonDlgPushesList::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  arrange_.Apply(cx, cy);
  Relayout();
}

void CtacmonDlgPushesList::OnPaint(ui::Canvas& dc) {
  CDialogK::OnPaint(dc);
  if (!pictureBuffer_.Valid()) return;
  model_.SetShowDeleted(host_.ShowDeletedPushes());
  {
    auto mem = pictureBuffer_.Begin();
    view::UiMapCanvas canvas(*mem);
    model_.Paint(canvas, picture_, host_.RecordingMapState());
  }
  pictureBuffer_.BlitTo(dc, 0, 0);
}

void CtacmonDlgPushesList::UpdateScrollBar() {
  if (!HasWindow()) return;
  ui::Slider bar = SliderItem(kPushesListScrollBar);
  if (!bar.Valid()) return;
  bar.SetRange(0, std::max(0, model_.Count() - 1));
  bar.SetPos(model_.FirstVisible());
}

void CtacmonDlgPushesList::OnScrollBar(int code, int pos) {
  model_.Scroll(code, pos);
  UpdateScrollBar();
  Repaint();
}

void CtacmonDlgPushesList::TakeSelectionName() {
  // Without a selected push the title keeps its text.
  if (PushEntry* e = model_.Selected()) host_.SetCurrentPushName(e->comment);
}

void CtacmonDlgPushesList::OnLButtonDown(unsigned flags, ui::Point p) {
  CDialogK::OnLButtonDown(flags, p);
  model_.SetShowDeleted(host_.ShowDeletedPushes());
  const PushesListModel::Click c = model_.LeftButton(p);
  switch (c.hit) {
    case PushesListModel::Hit::kNone:
      return;
    case PushesListModel::Hit::kCommentButton:
      EditComment(c.index);
      break;
    case PushesListModel::Hit::kPresentBox:
    case PushesListModel::Hit::kMap:
      break;
  }
  TakeSelectionName();
  Repaint();
}

void CtacmonDlgPushesList::EditComment(int index) {
  if (index < 0 || index >= model_.Count()) return;
  const Text1251 caption = ThumbnailLine(model_.Entry(index));
  KCD_Notes notes(model_.Entry(index).comment, caption);
  if (notes.DoModal(this) != ui::IDOK) return;
  // The list may have changed while the dialog ran.
  if (index >= model_.Count()) return;
  model_.Entry(index).comment = notes.Comment();
  WriteDescription(model_.Entry(index));
}

void CtacmonDlgPushesList::OnLButtonDblClk(unsigned, ui::Point p) {
  for (int i : model_.DoubleClick(p)) OpenViewer(i);
}

void CtacmonDlgPushesList::OpenViewer(int index) {
  const PushEntry& e = model_.Entry(index);
  view::ViewerSource source;
  CopyPush(source.push, e.push);
  source.push.fileName = e.fileName;
  source.comment = EncodeLineBreaks(e.comment);
  const uintptr_t id = nextViewer_++;
  viewerFiles_[id] = e.fileName;
  source.notify = Handle();
  source.notifyMessage = kViewerSavedMessage;
  source.notifyParam = id;
  view::CtacmonDlg::Open(&source, this);
}

int CtacmonDlgPushesList::Reload(const Text1251& folder) {
  const int n = model_.Reload(folder);
  UpdateScrollBar();
  Repaint();
  return n;
}

void CtacmonDlgPushesList::AddRecordedPush(const Text1251& fileName, int64_t startTime,
                                           int64_t endTime) {
  model_.AddRecordedPush(fileName, startTime, endTime);
  UpdateScrollBar();
  Repaint();
}

int CtacmonDlgPushesList::ExportFromDatabase(int operationId) {
  const int n = model_.ExportFromDatabase(operationId, host_.PushesDatabase(), host_.Passports(),
                                          host_.OperationFolder());
  UpdateScrollBar();
  Repaint();
  return n;
}

const PushEntry* CtacmonDlgPushesList::SelectedEntry() { return model_.Selected(); }

std::vector<const PushEntry*> CtacmonDlgPushesList::Entries() const {
  std::vector<const PushEntry*> out;
  for (int i = 0; i < model_.Count(); ++i) out.push_back(&model_.Entry(i));
  return out;
}

void CtacmonDlgPushesList::Repaint() {
  if (HasWindow()) Invalidate(false);
}

}  // namespace recording
