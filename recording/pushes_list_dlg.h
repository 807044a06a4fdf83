// CtacmonDlgPushesList (dialog 152): the pushes list pane of the operation window. Draws the
// strip of PushesListModel, scrolls it with bar 1116, selects and marks pushes with the left
// button, edits comments in KCD_Notes and opens the push viewer on a double click. The picture
// area runs from the top left to the right edge of hidden button 1000 and to just above the
// scroll bar.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "app/kit/dialog_k.h"
#include "platform/clock.h"
#include "recording/operation_panes_host.h"
#include "recording/pushes_list_model.h"

namespace recording {

inline constexpr int kPushesListDialogId = 152;
inline constexpr int kPushesListScrollBar = 1116;
inline constexpr int kPushesListEdgeButton = 1000;
// Posted by a viewer opened from the list after it saved the labels of its push.
inline constexpr uint32_t kViewerSavedMessage = 0x0400 + 160;

class CtacmonDlgPushesList : public CDialogK {
 public:
  explicit CtacmonDlgPushesList(OperationPanesHost& host);
  std::string ClassName() const override { return "CtacmonDlgPushesList"; }

  // Creates the window as a child of owner's client area (place it with a kit::WidgetPane).
  bool CreatePane(ui::Dialog& owner);

  // ---- what the operation window asks ----
  // Empties the list and reads the pushes of folder; the count.
  int Reload(const Text1251& folder);
  // A push just stored: at the front, with its description file.
  void AddRecordedPush(const Text1251& fileName, int64_t startTime, int64_t endTime = NowSeconds());
  // The pushes of a stationary operation into the operation folder; the count or -1.
  int ExportFromDatabase(int operationId);
  // Null when no push is selected.
  const PushEntry* SelectedEntry();
  // Every push in list order (file name, comment, push with its passport).
  std::vector<const PushEntry*> Entries() const;
  void Repaint();

  PushesListModel& Model() { return model_; }
  ui::Rect PictureArea() const { return picture_; }
  // The picture as last painted (for tests and snapshots).
  const ui::BackBuffer& Picture() const { return pictureBuffer_; }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& dc) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override;
  void OnLButtonDblClk(unsigned flags, ui::Point p) override;

 private:
  void OnScrollBar(int code, int pos);
  void UpdateScrollBar();
  void Relayout();
  void TakeSelectionName();
  void EditComment(int index);
  void OpenViewer(int index);

  OperationPanesHost& host_;
  PushesListModel model_;
  ui::Rect picture_{0, 0, 1, 1};
  ui::BackBuffer pictureBuffer_;
  ArrangeControls arrange_{*this};
  std::map<uintptr_t, Text1251> viewerFiles_;  // viewers opened: which push file each shows
  uintptr_t nextViewer_ = 1;
};

}  // namespace recording
