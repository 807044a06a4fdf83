// PushesListModel: the pushes of one operation as a strip of thumbnails, newest first, with
// scrolling, selection, present/deleted marks and the hit rectangles of the last paint. Filled
// from the operation folder, from a push just recorded, or from the stationary database. The
// window CtacmonDlgPushesList draws it and routes the mouse to it. UI thread only.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "recording/push_entry.h"
#include "view/map_canvas.h"
#include "view/sensor_map.h"

struct push_list;
struct PassportRegistry;

namespace recording {

class PushesListModel {
 public:
  enum class Hit { kNone, kPresentBox, kCommentButton, kMap };
  struct Click {
    Hit hit = Hit::kNone;
    int index = -1;             // the entry hit
    bool selectionSet = false;  // the selection points at an entry after the click
  };

  int Count() const { return static_cast<int>(entries_.size()); }
  PushEntry& Entry(int i) { return *entries_[static_cast<size_t>(i)]; }
  const PushEntry& Entry(int i) const { return *entries_[static_cast<size_t>(i)]; }
  // Null when nothing is selected.
  PushEntry* Selected();
  int SelectedIndex() const { return selected_; }
  int FirstVisible() const { return firstVisible_; }
  int Page() const { return page_; }
  bool ShowDeleted() const { return showDeleted_; }
  void SetShowDeleted(bool on) { showDeleted_ = on; }
  void Select(int index);

  void Clear();
  // Empties the list and reads every "*.psh" of folder, newest name first, with its description
  // file. Returns the count.
  int Reload(std::string_view folder);
  // Inserts a just recorded push at the front (number = the count before) and writes its
  // description file. A file already in the list is read again in place instead.
  PushEntry& AddRecordedPush(std::string_view fileName, int64_t startTime, int64_t endTime);
  // Empties the list and takes the pushes of a stationary operation: each is written into
  // folder as "hh-mm-ss-ms.psh" with its description file. The count, or -1 when the search
  // fails.
  int ExportFromDatabase(int operationId, push_list* db, const PassportRegistry& passports,
                         std::string_view folder);

  // Draws the strip into picture (origin 0, 0) and records every hit rectangle. state: the
  // recording view's display state (visibility flags and brushes).
  void Paint(view::MapCanvas& canvas, const ui::Rect& picture, const view::MapDisplayState& state);

  // Scroll bar codes (the values of ui::SB_*).
  static constexpr int kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4,
                       kThumbTrack = 5, kTop = 6, kBottom = 7;
  // Scroll bar codes; returns the new first visible entry.
  int Scroll(int code, int pos);
  // The left button at p (picture coordinates): flips a present box, or selects.
  Click LeftButton(ui::Point p);
  // Entries whose thumbnail holds p.
  std::vector<int> DoubleClick(ui::Point p) const;

 private:
  bool Visible(int i) const { return showDeleted_ || Entry(i).present; }
  void MakeRoom();
  void Append(std::unique_ptr<PushEntry> e);
  void ClampIndices();

  std::vector<std::unique_ptr<PushEntry>> entries_;
  int selected_ = 0;
  int firstVisible_ = 0;
  int page_ = 0;
  bool showDeleted_ = false;
};

// The comment button of a thumbnail (corners (a, b) and (c, d) of r).
void DrawCommentButton(view::MapCanvas& canvas, const ui::Rect& r);

}  // namespace recording
