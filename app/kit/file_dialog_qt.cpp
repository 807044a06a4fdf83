#include <QFileDialog>
#include <cstring>

#include "app/kit/file_dialog.h"
#include "app/kit/file_filter.h"
#include "platform/paths.h"
#include "platform/ui/qt_text.h"

CKFileDialog::CKFileDialog(bool open, std::string_view ext, std::string_view filter,
                           ui::Dialog* parent, const char* title)
    : open_(open), defaultExtension_(ext), filter_(filter), parent_(parent) {
  if (title) {
    const Text1251 t = kit::DialogTitle(title);
    std::memcpy(titleBuffer, t.data(), t.size());
    titleBuffer[t.size()] = 0;
    hasTitle_ = true;
  }
}

int CKFileDialog::DoModal() {
  QStringList filters;
  for (const auto& f : kit::ParseFileFilter(filter_)) {
    QString patterns = ui::ToQString(f.pattern);
    patterns.replace(';', ' ');
    filters << ui::ToQString(f.name) + " (" + patterns + ")";
  }
  QFileDialog dlg(parent_ ? parent_->Widget() : nullptr);
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(open_ ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dlg.setFileMode(open_ ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (!filters.isEmpty()) dlg.setNameFilters(filters);
  if (!defaultExtension_.empty()) dlg.setDefaultSuffix(ui::ToQString(defaultExtension_));
  if (hasTitle_) dlg.setWindowTitle(ui::ToQString(titleBuffer));
  if (!initialFolder_.empty())
    dlg.setDirectory(QString::fromStdString(winpath::Resolve(initialFolder_).string()));
  dlg.selectFile(QString());
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return ui::IDCANCEL;
  chosen_ = Utf8ToCp1251(dlg.selectedFiles().front().toStdString());
  return ui::IDOK;
}

Text1251 CKFileDialog::GetPath() const { return kit::CleanChosenPath(chosen_); }
