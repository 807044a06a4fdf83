// The pushes of the operation as the operation window needs them: reloaded from the folder,
// a recorded push added, the selected push and every push with its comment. A plain list pane
// stands here until the pushes list with thumbnails takes its place.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cp1251.h"
#include "recording/operation_files.h"

class QListWidget;
class QWidget;

namespace recording {

class PushesPane {
 public:
  explicit PushesPane(QWidget* parent);
  ~PushesPane();
  QWidget* Widget() const;

  void Reload(const Text1251& folder);
  void AddRecorded(const Text1251& fileName, int64_t startTime);
  int Count() const { return static_cast<int>(entries_.size()); }
  // Full path of the selected push, empty when none.
  Text1251 Selected() const;
  const std::vector<FolderPush>& Entries() const { return entries_; }

 private:
  void Fill();
  QListWidget* list_ = nullptr;
  std::vector<FolderPush> entries_;  // oldest first; shown newest first
};

}  // namespace recording
