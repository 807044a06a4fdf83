// Human-readable dumps of records to standard output.
#include <cstdio>
#include <cstring>
#include <string>

#include "medstore/detail/records.h"
#include "medstore/detail/text.h"
#include "medstore/medstore.h"

namespace medstore::detail {
namespace {

// Dumps go to stdout with plain line feeds; numbers in the C locale.
class Dump {
 public:
  Dump() : w_(out_) {}
  ~Dump() { std::fwrite(out_.data(), 1, out_.size(), stdout); }
  Dump& S(const char* s) {
    w_.Raw(s ? s : "");
    return *this;
  }
  Dump& F(const char* field, size_t cap) {
    out_.append(field, strnlen(field, cap - 1));
    return *this;
  }
  Dump& I(int64_t v) {
    w_.Int(v);
    return *this;
  }
  Dump& D(double v) {
    w_.Double(v);
    return *this;
  }
  // An owned text that ends its line.
  Dump& Text(const char* s) {
    S(s);
    if (!s || !*s || s[std::strlen(s) - 1] != '\n') out_.push_back('\n');
    return *this;
  }
  Dump& Hex(unsigned char b) {
    w_.Hex(&b, 1);
    return *this;
  }
  Dump& Files(const file_list* files) {
    S("Additional files:\n");
    for (const file_item* f = files ? files->head : nullptr; f; f = f->next) S(f->name).S("\n");
    return *this;
  }
  std::string& Out() { return out_; }

 private:
  std::string out_;
  RecordWriter w_;
};

void DumpDevice(Dump& d, const device_item* item) {
  d.S("Device number ").I(item->ID).S(":\n");
  d.S("Type: ").I(item->Type).S("\n");
  d.S("InitString: ").F(item->InitString, 128).S("\n");
  d.S("NSensors: ").I(item->NSensors).S("\n");
  d.S("Max: ").I(item->Max).S("\n");
  d.S("Properties:");
  for (int32_t v : item->Properties) d.S(" ").I(v);
  d.S("\n");
  d.S("DeviceNumber: ").I(item->DeviceNumber).S("\n");
  d.S("DeviceID: ").F(item->DeviceID, 32).S("\n");
  d.S("Date:");
  for (int32_t v : item->Date) d.S(" ").I(v);
  d.S("\n");
  d.S("RefNumber: ").I(item->RefNumber).S("\n");
  d.S("Slopes:");
  for (double v : item->Slopes) d.S(" ").D(v);
  d.S("\nShifts:");
  for (double v : item->Shifts) d.S(" ").D(v);
  d.S("\nNoiseLevel:");
  for (double v : item->NoiseLevel) d.S(" ").D(v);
  d.S("\n");
  d.S("RefSlopes: ").D(item->RefSlopes).S("\n");
  d.S("RefShifts: ").D(item->RefShifts).S("\n");
  d.Files(item->files);
}

void DumpFrames(Dump& d, const push_frame* frames, int32_t n, int32_t perFrame) {
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < perFrame; ++j) {
      if (j) d.S(" ");
      d.I(frames[i].Values ? frames[i].Values[j] : 0);
    }
    d.S(" time:");
    for (int16_t t : frames[i].Time) d.S(" ").I(t);
    d.S("\n");
  }
}

int32_t Clamp(int32_t v, int32_t max) { return v < 0 ? 0 : v > max ? max : v; }

}  // namespace
}  // namespace medstore::detail

using namespace medstore::detail;

extern "C" {

void print_device_item(device_item* item) {
  if (!item) return;
  Dump d;
  DumpDevice(d, item);
}

void print_device_list(device_list* list) {
  if (!list) return;
  for (device_item* i = list->head; i; i = i->next) print_device_item(i);
}

void print_doctor_list(doctor_list* list) {
  if (!list) return;
  for (doctor_item* i = list->head; i; i = i->next) {
    Dump d;
    d.S("Doctor number ").I(i->idFIO).S(":\n");
    d.S("Name: ").F(i->FIO[0], 64).S(" ").F(i->FIO[1], 64).S(" ").F(i->FIO[2], 64).S("\n");
    d.Files(i->files);
  }
}

void print_operation_list(operation_list* list) {
  if (!list) return;
  for (operation_item* i = list->head; i; i = i->next) {
    Dump d;
    d.S("Operation number ").I(i->ID).S(":\n");
    d.S("Operation time: year ").I(i->Time[0]).S(", month ").I(i->Time[1]).S(", day ");
    d.I(i->Time[2]).S("\n");
    d.S("                hour ").I(i->Time[3]).S(", minute ").I(i->Time[4]).S(", second ");
    d.I(i->Time[5]).S("\n");
    d.S("Patient name: ").F(i->FIO_patient[0], 64).S(" ").F(i->FIO_patient[1], 64).S(" ");
    d.F(i->FIO_patient[2], 64).S("\n");
    d.S("Patient ID: ").I(i->idFIO_patient).S("\n");
    d.S("Doctor name: ").F(i->FIO_doctor[0], 64).S(" ").F(i->FIO_doctor[1], 64).S(" ");
    d.F(i->FIO_doctor[2], 64).S("\n");
    d.S("Doctor ID: ").I(i->idFIO_doctor).S("\n");
    d.S("MechReceptor type: ").I(i->TypeMechReceptor).S("\n");
    d.S("MechReceptor subtype: ").I(i->SubTypeMechReceptor).S("\n");
    d.S("Organ ID: ").I(i->idOrgan).S("\n");
    d.S("Organ description: ").F(i->Organ, 100).S("\n");
    d.S("Diagnosis list: ");
    for (int32_t id : i->idDiagnosis)
      if (id != 0) d.I(id).S(" ");
    d.S("\n");
    d.S("Diagnosis description: ").Text(i->Diagnosis);
    d.S("Additional notes: ").Text(i->Notes);
    d.Files(i->files);
  }
}

void print_push_list(push_list* list) {
  if (!list) return;
  for (push_item* i = list->head; i; i = i->next) {
    Dump d;
    int32_t n = i->Press ? (i->NPress > 0 ? i->NPress : 0) : 0;
    d.S("Push ID: ").I(i->ID).S("\n");
    d.S("Operation ID: ").I(i->OperationID).S("\n");
    d.S("Device ID: ").I(i->DeviceID).S("\n");
    d.S("Device ID Txt: ").F(i->DeviceIDTxt, 32).S("\n");
    d.S("Time:");
    for (int16_t t : i->Time) d.S(" ").I(t);
    d.S("\n");
    d.S("DT: ").I(i->DT).S("\n");
    d.S("HeadNum: ").I(i->HeadNum).S("\n");
    d.S("RawNum: ").I(i->RawNum).S("\n");
    d.S("Press series:\n");
    DumpFrames(d, i->Press, n, Clamp(i->HeadNum, kMaxFrameValues));
    d.S("Raw press series:\n");
    if (i->RawPress && n > 0)
      DumpFrames(d, i->RawPress, n, Clamp(i->RawNum, kMaxFrameValues));
    else
      d.S("Empty\n");
    int32_t labels = i->Labels ? (i->NLabels > 0 ? i->NLabels : 0) : 0;
    d.S("Labels: total ").I(labels).S("\n");
    for (int32_t k = 0; k < labels; ++k)
      d.S("Type: ")
          .I(i->Labels[k].Type)
          .S(", elementary push: ")
          .I(i->Labels[k].ElementaryPush)
          .S(", comment: ")
          .S(i->Labels[k].Comment)
          .S("\n");
    d.S("Additional notes: ").Text(i->Notes);
    d.Files(i->files);
    d.S("Device data:");
    for (int k = 0; k < MEDSTORE_DEVICE_DATA_SIZE; ++k) {
      if (k % 35 == 0) d.S("\n");
      d.Hex(i->DeviceData[k]);
    }
    d.S("\n");
  }
}

void print_file_list(file_list* list) {
  if (!list) return;
  Dump d;
  for (const file_item* f = list->head; f; f = f->next) d.S(f->name).S("\n");
}

}  // extern "C"
