// CKFileDialog: the open/save file dialog with "A|*.a|B|*.b||" filters, an optional title,
// confirmation before overwriting, and GetPath with blanks and enclosing quotes removed.
// Scripted runs answer it as a user would, with the automation "file" and "answer" commands.
#pragma once

#include <string_view>

#include "platform/cp1251.h"
#include "platform/ui/dialog.h"

class CKFileDialog {
 public:
  // open: an open dialog, else a save dialog. title may be null (the system's title).
  CKFileDialog(bool open, std::string_view defaultExtension, std::string_view filter,
               ui::Dialog* parent, const char* title = nullptr);

  // The folder the dialog starts in (a Windows path under the roots, or a host path).
  void SetInitialFolder(std::string_view winPath) { initialFolder_ = winPath; }
  int DoModal();  // ui::IDOK or ui::IDCANCEL
  Text1251 GetPath() const;

  char titleBuffer[529] = {};

 private:
  bool open_;
  Text1251 defaultExtension_;
  Text1251 filter_;
  ui::Dialog* parent_;
  bool hasTitle_ = false;
  Text1251 chosen_;
  Text1251 initialFolder_;
};
