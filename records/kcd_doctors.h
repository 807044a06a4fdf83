// KCD_Doctors (dialog 154 "Хирурги"): lists the surgeons of the stationary database and creates,
// edits and deletes them through medstore. Modes: 0 browsing, 1 new record, 2 editing.
#pragma once

#include "app/kit/dialog_k.h"
#include "platform/ui/dialog.h"
#include "records/records_host.h"

class KCD_Doctors : public ui::Dialog {
 public:
  explicit KCD_Doctors(RecordsHost& host);

  int mode = 0;
  int editId = 0;  // the record edited in mode 2

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;

 private:
  void OnNew();
  void OnEdit();
  void OnDelete();
  void OnStore();
  void OnCancelEdit();
  void ShowEditing(bool editing);

  RecordsHost& host_;
  ArrangeControls arrange_{*this};
};
