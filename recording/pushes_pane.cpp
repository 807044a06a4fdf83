#include "recording/pushes_pane.h"

#include <QListWidget>

#include "platform/paths.h"
#include "platform/ui/qt_text.h"

namespace recording {

PushesPane::PushesPane(OperationPanesHost& host, QWidget* parent)
    : host_(host), list_(new QListWidget(parent)) {
  list_->setObjectName("pushes");
}

PushesPane::~PushesPane() = default;

QWidget* PushesPane::Widget() const { return list_; }

int PushesPane::Reload(const Text1251& folder) {
  entries_ = folder.empty() ? std::vector<FolderPush>{} : ListFolderPushes(folder);
  Fill();
  return Count();
}

int PushesPane::ExportFromDatabase(int operationId) {
  const int n = ExportOperationPushes(host_.PushesDatabase(), operationId, host_.OperationFolder());
  Reload(host_.OperationFolder());
  return n;
}

void PushesPane::AddRecordedPush(const Text1251& fileName, int64_t, int64_t) {
  for (const FolderPush& e : entries_)
    if (e.fileName == fileName) return;
  entries_.push_back({fileName, {}});
  Fill();
}

Text1251 PushesPane::Selected() const {
  const int row = list_ ? list_->currentRow() : -1;
  if (row < 0 || row >= Count()) return {};
  return entries_[static_cast<size_t>(Count() - 1 - row)].fileName;
}

void PushesPane::Fill() {
  if (!list_) return;
  list_->clear();
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    list_->addItem(ui::ToQString(winpath::FileNamePart(it->fileName)));
}

}  // namespace recording
