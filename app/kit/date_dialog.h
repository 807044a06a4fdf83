// CKDate: the modal date picker (dialog 150 "Дата") with month, century, decade, year-digit
// and day buttons, a calendar grid of 6 rows of 7 (Monday first) and a date edit.
#pragma once

#include <string_view>

#include "app/kit/date_logic.h"
#include "platform/ui/dialog.h"

class CKDate : public ui::Dialog {
 public:
  // text is parsed like KCEditInt::GetDate; unparsable parts keep 1.1.1960.
  CKDate(ui::Dialog* parent, std::string_view text);
  std::string ClassName() const override { return "CKDate"; }

  int year = 1960, month = 1, day = 1;
  bool updating = false;  // while set, changes of the date edit are ignored

  // Shows the date in the edit, the grid and the title (limits the date first).
  void Refresh();

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  kit::DateModel Model() const { return {year, month, day}; }
  void Take(const kit::DateModel& m);
  void OnButton(int id);
  void OnTyped();

  kit::DateGrid grid_{};
};

// Registers dialog 150 unless the program's resources define it.
void EnsureDateDialogTemplate();
