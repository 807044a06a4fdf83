#include "recording/pushes_list_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/db_mapping.h"
#include "acquisition/device_passport.h"
#include "acquisition/push_file.h"
#include "medstore/medstore.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace recording {

namespace {

constexpr ui::Colour kBlack = ui::Rgb(0, 0, 0);
constexpr ui::Colour kWhite = ui::Rgb(255, 255, 255);
constexpr ui::Colour kCyan = ui::Rgb(0, 255, 255);
constexpr ui::Colour kLightGrey = ui::Rgb(200, 200, 200);

view::MapPen Pen(ui::Colour c) { return view::MapPen{c, 1, false}; }

Text1251 WithSlash(std::string_view folder) {
  Text1251 f(folder);
  if (!f.empty() && f.back() != '\\') f += '\\';
  return f;
}

}  // namespace

void DrawCommentButton(view::MapCanvas& c, const ui::Rect& r) {
  const int a = r.left, b = r.top, cc = r.right, d = r.bottom;
  const ui::Point grey1[3] = {{a, d}, {a, b}, {cc, b}};
  const ui::Point grey2[3] = {{a + 1, d - 1}, {a + 1, b + 1}, {cc - 1, b + 1}};
  c.Polyline(grey1, 3, Pen(kLightGrey));
  c.Polyline(grey2, 3, Pen(kLightGrey));
  c.Line({a + 5, b + 3}, {cc - 2, b + 3}, Pen(kBlack));
  c.Line({a + 3, b + 6}, {cc - 2, b + 6}, Pen(kBlack));
  c.Line({a + 3, b + 9}, {cc - 2, b + 9}, Pen(kBlack));
  c.Line({a + 3, b + 12}, {cc - 4, b + 12}, Pen(kBlack));
  const ui::Point edge[3] = {{cc, b}, {cc, d}, {a, d}};
  c.Polyline(edge, 3, Pen(kBlack));
}

PushEntry* PushesListModel::Selected() {
  return selected_ >= 0 && selected_ < Count() ? entries_[static_cast<size_t>(selected_)].get()
                                               : nullptr;
}

void PushesListModel::Select(int index) { selected_ = index >= 0 && index < Count() ? index : -1; }

void PushesListModel::ClampIndices() {
  if (Count() == 0) {
    selected_ = -1;
    firstVisible_ = 0;
    return;
  }
  if (selected_ >= Count()) selected_ = Count() - 1;
  firstVisible_ = std::clamp(firstVisible_, 0, Count() - 1);
}

void PushesListModel::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  selected_ = -1;
  firstVisible_ = 0;
}

void PushesListModel::MakeRoom() {
  // 10 slots at first, then twice the count plus 9.
  if (entries_.capacity() == 0)
    entries_.reserve(10);
  else if (entries_.size() == entries_.capacity())
    entries_.reserve(entries_.size() * 2 + 9);
}

void PushesListModel::Append(std::unique_ptr<PushEntry> e) {
  MakeRoom();
  entries_.push_back(std::move(e));
}

int PushesListModel::Reload(std::string_view folder) {
  Clear();
  if (folder.empty()) return 0;  // no operation open
  const Text1251 base = WithSlash(folder);
  std::vector<Text1251> names;
  for (const fsw::DirEntry& d : fsw::ListDirectory(base + "*.psh"))
    if (!d.isDirectory) names.push_back(d.name);
  // Byte order, descending: the newest stop time first.
  std::sort(names.begin(), names.end(), [](const Text1251& a, const Text1251& b) {
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                        [](char x, char y) { return uint8_t(x) < uint8_t(y); });
  });
  for (const Text1251& name : names) {
    auto e = std::make_unique<PushEntry>();
    e->fileName = base + name;
    if (ReadPushFile(e->push, e->fileName) != 0) e->push = CreatePush();
    e->push.fileName = e->fileName;
    ComputePushStatistics(e->push, kAllVisible);
    ReadDescription(*e);
    Append(std::move(e));
  }
  selected_ = Count() > 0 ? 0 : -1;
  firstVisible_ = 0;
  return Count();
}

PushEntry& PushesListModel::AddRecordedPush(std::string_view fileName, int64_t startTime,
                                            int64_t endTime) {
  for (int i = 0; i < Count(); ++i) {
    PushEntry& old = Entry(i);
    if (old.fileName != fileName) continue;
    // The same file again: read it anew, keep its number, state and comment.
    Push fresh;
    if (ReadPushFile(fresh, fileName) != 0) fresh = CreatePush();
    old.push = std::move(fresh);
    old.push.fileName = old.fileName;
    old.push.startTime = startTime;
    ComputePushStatistics(old.push, kAllVisible);
    old.startTime = startTime;
    old.endTime = endTime;
    WriteDescription(old);
    return old;
  }
  auto e = std::make_unique<PushEntry>();
  e->fileName = Text1251(fileName);
  if (ReadPushFile(e->push, e->fileName) != 0) e->push = CreatePush();
  e->push.fileName = e->fileName;
  e->push.startTime = startTime;
  ComputePushStatistics(e->push, kAllVisible);
  e->startTime = startTime;
  e->endTime = endTime;
  e->number = Count();
  WriteDescription(*e);
  PushEntry& added = *e;
  MakeRoom();
  entries_.insert(entries_.begin(), std::move(e));
  // The newest push selected (or none) selects the new one; an older one stays selected.
  selected_ = selected_ > 0 && Count() > 1 ? selected_ + 1 : 0;
  ClampIndices();
  return added;
}

int PushesListModel::ExportFromDatabase(int operationId, push_list* db,
                                        const PassportRegistry& passports,
                                        std::string_view folder) {
  Clear();
  push_list* result = nullptr;
  int* ids = nullptr;
  int count = 0;
  if (!db || operationId == 0 || GetPushID(operationId, &result, &ids, &count, db) != 0) return -1;
  Text1251 base(folder);
  while (!base.empty() && base.back() == '\\') base.pop_back();
  fsw::MakeDirectories(std::string(winpath::kDataRoot) + "ENUMS\\TestPush");
  for (push_item* rec = result ? result->head : nullptr; rec; rec = rec->next) {
    auto e = std::make_unique<PushEntry>();
    PushFromDatabase(e->push, *rec);
    char idText[sizeof rec->DeviceIDTxt + 1] = {};
    std::memcpy(idText, rec->DeviceIDTxt, sizeof rec->DeviceIDTxt);
    if (const DevicePassport* p = FindPassportById(passports, idText)) {
      e->push.passport = *p;
      e->push.hasPassport = true;
    }
    ComputePushStatistics(e->push, kAllVisible);
    char name[600];
    std::snprintf(name, sizeof name, "%s\\%2.2d-%2.2d-%2.2d-%2.2d", base.c_str(), rec->Time[3],
                  rec->Time[4], rec->Time[5], rec->Time[6]);
    // Two pushes of the same millisecond keep both files.
    Text1251 file = Text1251(name) + ".psh";
    for (int k = 2; fsw::FileExists(file); ++k)
      file = Text1251(name) + "_" + std::to_string(k) + ".psh";
    if (rec->Notes) e->comment = rec->Notes;
    e->startTime = e->push.startTime;
    e->endTime = e->push.endTime;
    e->number = Count();
    e->fileName = file;
    e->push.fileName = file;
    WritePushFile(e->push, file);  // a failure is logged by the writer
    WriteDescription(*e);
    Append(std::move(e));
  }
  GetPushID(0, &result, &ids, &count, db);
  selected_ = Count() > 0 ? 0 : -1;
  firstVisible_ = 0;
  return Count();
}

void PushesListModel::Paint(view::MapCanvas& canvas, const ui::Rect& picture,
                            const view::MapDisplayState& recordingState) {
  const int width = std::max(1, picture.Width());
  const int height = std::max(1, picture.Height());
  canvas.FillRect({0, 0, width, height}, kWhite);
  for (auto& e : entries_) e->thumbnail = e->mapRect = e->presentBox = e->commentButton = {};
  const int s = height;
  int k = 0;
  for (int i = std::max(0, firstVisible_); i < Count(); ++i) {
    if (!Visible(i)) continue;
    const ui::Rect cell{k * s + 1, 0, (k + 1) * s, height};
    if (cell.right >= width) break;
    ++k;
    PushEntry& e = Entry(i);
    e.thumbnail = cell;
    const ui::Rect inner = cell.Deflate(1);
    if (i == selected_) canvas.FillRect(inner, kCyan);
    view::MapDisplayState state = recordingState;
    state.host = view::MapHost::kThumbnail;
    state.passport = &e.push.passport;
    state.clientOffset = {};
    view::MapRequest request;
    request.push = &e.push;
    request.frame = -1;
    request.mode = view::kMode19;
    request.role = view::kRoleMain;
    request.decorations = {0, 0, 1, 0};
    request.rect = inner;
    view::DrawSensorMap(canvas, state, request);
    e.mapRect = inner;
    canvas.TextOut(inner.left + 1, inner.top + 1, ThumbnailLine(e));
    e.presentBox = {inner.right - 15, inner.top + 5, inner.right - 5, inner.top + 15};
    view::DrawCheckBox(canvas, e.presentBox, e.present != 0);
    e.commentButton = {inner.left + 5, inner.bottom - 20, inner.left + 20, inner.bottom - 5};
    DrawCommentButton(canvas, e.commentButton);
    const ui::Point frame[5] = {{cell.left, cell.top},
                                {cell.right - 1, cell.top},
                                {cell.right - 1, cell.bottom - 1},
                                {cell.left, cell.bottom - 1},
                                {cell.left, cell.top}};
    canvas.Polyline(frame, 5, Pen(kBlack));
  }
  page_ = std::min(100, width / std::max(1, s));
}

int PushesListModel::Scroll(int code, int pos) {
  const int line = std::max(1, page_);
  const int half = std::max(1, page_ / 2);
  int p = firstVisible_;
  switch (code) {
    case kLineUp:
      p -= line;
      break;
    case kLineDown:
      p += line;
      break;
    case kPageUp:
      p -= half;
      break;
    case kPageDown:
      p += half;
      break;
    case kThumbTrack:
    case kThumbPosition:
      p = pos;
      break;
    case kTop:
      p = 0;
      break;
    case kBottom:
      p = Count() - 1;
      break;
    default:
      return firstVisible_;
  }
  firstVisible_ = Count() > 0 ? std::clamp(p, 0, Count() - 1) : 0;
  return firstVisible_;
}

PushesListModel::Click PushesListModel::LeftButton(ui::Point p) {
  Click c;
  for (int i = 0; i < Count(); ++i) {
    PushEntry& e = Entry(i);
    if (!e.Drawn()) continue;
    if (e.presentBox.Contains(p)) {
      c.hit = Hit::kPresentBox;
      c.index = i;
      e.present = e.present ? 0 : 1;
      if (e.present) {
        selected_ = i;
      } else if (!showDeleted_) {
        int next = -1;
        for (int j = i + 1; j < Count() && next < 0; ++j)
          if (Entry(j).present) next = j;
        for (int j = i - 1; j >= 0 && next < 0; --j)
          if (Entry(j).present) next = j;
        selected_ = next;
      }
      break;
    }
    if (e.commentButton.Contains(p)) {
      c.hit = Hit::kCommentButton;
      c.index = selected_ = i;
      break;
    }
    if (e.mapRect.Contains(p)) {
      c.hit = Hit::kMap;
      c.index = selected_ = i;
      break;
    }
  }
  c.selectionSet = Selected() != nullptr;
  return c;
}

std::vector<int> PushesListModel::DoubleClick(ui::Point p) const {
  std::vector<int> out;
  for (int i = 0; i < Count(); ++i)
    if (Entry(i).Drawn() && Entry(i).thumbnail.Contains(p)) out.push_back(i);
  return out;
}

}  // namespace recording
