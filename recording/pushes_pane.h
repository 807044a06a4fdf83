// The pushes of the operation as the operation window needs them: reloaded from the folder,
// a recorded push added, a stationary operation's pushes exported into the folder, the
// selected push and every push with its comment. A plain list of file names; the pushes list
// with thumbnails (CtacmonDlgPushesList) answers the same calls.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/cp1251.h"
#include "recording/operation_files.h"
#include "recording/operation_panes_host.h"

class QListWidget;
class QWidget;

namespace recording {

class PushesPane {
 public:
  PushesPane(OperationPanesHost& host, QWidget* parent);
  ~PushesPane();
  QWidget* Widget() const;

  // Empties the list and reads the pushes of folder; the count.
  int Reload(const Text1251& folder);
  void AddRecordedPush(const Text1251& fileName, int64_t startTime, int64_t endTime = NowSeconds());
  // The pushes of a stationary operation into the operation folder; the count.
  int ExportFromDatabase(int operationId);
  void Repaint() {}
  int Count() const { return static_cast<int>(entries_.size()); }
  // Full path of the selected push, empty when none.
  Text1251 Selected() const;
  const std::vector<FolderPush>& Entries() const { return entries_; }

 private:
  void Fill();
  OperationPanesHost& host_;
  QListWidget* list_ = nullptr;
  std::vector<FolderPush> entries_;  // oldest first; shown newest first
};

}  // namespace recording
