// The operation lists of both databases and the small windows around them:
//  - KCD_ListWithNumberOperationsLocal (dialog 156, menu 155): the folders under "OPERATIONS\"
//    of one kind, with filters by organ, diagnosis and hospital that keep the row numbers;
//  - KCD_ListWithNumberOperationsGlobal (dialog 157, menu 156): the operations of the
//    stationary database;
//  - CKProgress2 (dialog 158 "Обработка"): progress of a long run with the remaining time;
//  - KCD_Ask1 (dialog 151): a stationary operation was loaded into the local database before.
// Both lists close with 1 (load) or 101 (copy to the other database) and delete the selected
// operations under the progress window. Loading and deleting act on the stored folder name or
// operation id, never on the row text the user may edit.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "app/kit/dialog_k.h"
#include "platform/cp1251.h"
#include "platform/ui/dialog.h"
#include "records/kcd_list_with_number.h"
#include "records/operation_lists.h"
#include "records/records_host.h"

struct operation_list;
struct push_list;

inline constexpr int kLocalOperationsDialogId = 156;
inline constexpr int kStationaryOperationsDialogId = 157;
inline constexpr int kProgressDialogId = 158;
inline constexpr int kAsk1DialogId = 151;
// Answers of the lists: load, or copy into the other database.
inline constexpr int kListLoad = 1;
inline constexpr int kListCopy = 101;

class CKProgress2 : public ui::Dialog {
 public:
  CKProgress2();
  std::string ClassName() const override { return "CKProgress2"; }

  // Ask "Прервать выполнение?" before aborting.
  bool askOnAbort = true;

  // Shows the window modeless over items first..total.
  bool Open(ui::Dialog* owner, std::string_view title, int first, int total);
  // n items done: updates the bar and the time line, shows the current item when it changed
  // and lets waiting window messages through. False once the user aborted (the flag is
  // cleared).
  bool Step(int n, std::string_view item);
  void Close();

  // The seconds counted since Open (a test may set a clock).
  std::function<long()> elapsedSeconds;

 private:
  int first_ = 0;
  int total_ = 0;
  records::RemainingTime remaining_{0, 0};
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastPaint_;
  Text1251 item_;
  bool abort_ = false;
};

// "Операция уже загружена": 101 load again under another name, 102 open the local copy,
// IDCANCEL.
class KCD_Ask1 : public ui::Dialog {
 public:
  KCD_Ask1();
  std::string ClassName() const override { return "KCD_Ask1"; }
};

// Removes one local operation folder by its name: 0 done.
using OperationFolderRemover = std::function<int(const Text1251& folderName)>;

class KCD_ListWithNumberOperationsLocal : public KCD_ListWithNumber {
 public:
  KCD_ListWithNumberOperationsLocal(RecordsHost& host, int kind, records::LocalOperationReader read,
                                    OperationFolderRemover remove);
  std::string ClassName() const override { return "KCD_ListWithNumberOperationsLocal"; }

  // The entry chosen on closing with 1 or 101, or null.
  const records::LocalOperationEntry* ChosenEntry() const;
  const std::vector<records::LocalOperationEntry>& Entries() const { return entries_; }
  bool Removed(int position) const { return removed_.at(static_cast<size_t>(position)); }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;

 private:
  void Close(int code);
  void OnOrgan();
  void OnDiagnosis();
  void OnHospital();
  void ShowFiltered();
  void DeleteSelected();

  RecordsHost& host_;
  int kind_;
  records::LocalOperationReader read_;
  OperationFolderRemover remove_;
  std::vector<records::LocalOperationEntry> entries_;
  std::vector<bool> removed_;
  records::LocalFilter filter_;
  ArrangeControls arrange_{*this};
};

class KCD_ListWithNumberOperationsGlobal : public KCD_ListWithNumber {
 public:
  KCD_ListWithNumberOperationsGlobal(RecordsHost& host, operation_list* operations,
                                     push_list* pushes);
  std::string ClassName() const override { return "KCD_ListWithNumberOperationsGlobal"; }

  // The operation id chosen on closing with 1 or 101, 0 when none.
  int ChosenOperation() const;
  const std::vector<records::StationaryOperationEntry>& Entries() const { return entries_; }
  bool Removed(int position) const { return removed_.at(static_cast<size_t>(position)); }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;

 private:
  void Close(int code);
  void DeleteSelected();

  RecordsHost& host_;
  operation_list* operations_;
  push_list* pushes_;
  std::vector<records::StationaryOperationEntry> entries_;
  std::vector<bool> removed_;
  ArrangeControls arrange_{*this};
};

// Automation command of the lists (ui/automation.h), registered once:
//   select-rows ID ROW...   selects these rows of list box ID of the active window, the first
//                           one current, as clicks with Ctrl held would
void RegisterOperationListsAutomation();
