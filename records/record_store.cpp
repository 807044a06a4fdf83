#include "records/record_store.h"

#include <cstdio>

#include "records/record_forms.h"

namespace records {
namespace {

// The library calls its report callback without a context: the capture in progress is kept
// here (the database is used from the UI thread only).
struct Capture {
  medstore_report_fn previous = nullptr;
  std::vector<Text1251>* messages = nullptr;
};
Capture* g_capture = nullptr;

void CaptureReport(const char* message) {
  if (!g_capture) return;
  if (message) g_capture->messages->emplace_back(message);
  if (g_capture->previous) g_capture->previous(message);
}

// Swaps the list's callback for the capture while it lives.
template <class List>
class ReportCapture {
 public:
  ReportCapture(List* list, std::vector<Text1251>& messages) : list_(list) {
    capture_.previous = list->report;
    capture_.messages = &messages;
    outer_ = g_capture;
    g_capture = &capture_;
    list->report = CaptureReport;
  }
  ~ReportCapture() {
    list_->report = capture_.previous;
    g_capture = outer_;
  }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

 private:
  List* list_;
  Capture capture_;
  Capture* outer_ = nullptr;
};

// An edit replaces the record's in-memory list of additional files with the item's: the item
// carries a copy of the old record's list for the call.
template <class Item>
class KeepFiles {
 public:
  KeepFiles(const Item* old, Item& item) : item_(item) {
    if (old && old->files && clone_file_list(old->files, &item.files) != 0) item.files = nullptr;
  }
  ~KeepFiles() {
    if (item_.files) destroy_file_list(item_.files);
    item_.files = nullptr;
  }
  KeepFiles(const KeepFiles&) = delete;
  KeepFiles& operator=(const KeepFiles&) = delete;

 private:
  Item& item_;
};

}  // namespace

Text1251 StoreOutcome::Why() const {
  Text1251 why;
  for (const Text1251& m : messages) {
    why += m;
    if (!m.empty() && m.back() != '\n') why += "\n";
  }
  if (why.empty()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%d)", result);
    why = "Ответ базы данных "_cp + Text1251(buf) + "\n";
  }
  return why;
}

StoreOutcome StorePatient(user_list* list, user_item& item, int id) {
  StoreOutcome out;
  if (!list) {
    out.result = 1;
    out.messages.push_back("Не инициализирована база данных пациентов"_cp);
    return out;
  }
  {
    ReportCapture capture(list, out.messages);
    item.idFIO = id;
    KeepFiles<user_item> keep(id ? GetPatientByID(id, list) : nullptr, item);
    out.result = id == 0 ? AddPatient(&item, list) : EditPatient(id, &item, list);
  }
  out.id = item.idFIO;
  user_item* found = out.id != 0 ? GetPatientByID(out.id, list) : nullptr;
  out.stored = out.result == 0 && found && SamePatient(*found, item);
  if (!out.stored && id == 0 && found && out.result != 0) remove_item_from_user_list(list, found);
  return out;
}

StoreOutcome StoreSurgeon(doctor_list* list, doctor_item& item, int id) {
  StoreOutcome out;
  if (!list) {
    out.result = 1;
    out.messages.push_back("Не инициализирована база данных хирургов"_cp);
    return out;
  }
  {
    ReportCapture capture(list, out.messages);
    item.idFIO = id;
    KeepFiles<doctor_item> keep(id ? GetDoctorByID(id, list) : nullptr, item);
    out.result = id == 0 ? AddDoctor(&item, list) : EditDoctor(id, &item, list);
  }
  out.id = item.idFIO;
  doctor_item* found = out.id != 0 ? GetDoctorByID(out.id, list) : nullptr;
  out.stored = out.result == 0 && found && SameSurgeon(*found, item);
  if (!out.stored && id == 0 && found && out.result != 0) remove_item_from_doctor_list(list, found);
  return out;
}

StoreOutcome DeletePatient(user_list* list, int id) {
  StoreOutcome out;
  out.id = id;
  if (!list) return out;
  {
    ReportCapture capture(list, out.messages);
    out.result = DelPatient(id, list);
  }
  out.stored = out.result == 0 && !GetPatientByID(id, list);
  return out;
}

StoreOutcome DeleteSurgeon(doctor_list* list, int id) {
  StoreOutcome out;
  out.id = id;
  if (!list) return out;
  {
    ReportCapture capture(list, out.messages);
    out.result = DelDoctor(id, list);
  }
  out.stored = out.result == 0 && !GetDoctorByID(id, list);
  return out;
}

}  // namespace records
