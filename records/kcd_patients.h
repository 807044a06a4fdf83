// KCD_Patients (dialog 155 "Пациенты"): lists the patients of the stationary database and
// creates, edits and deletes them through medstore, with the organs of a patient (chosen from
// the organ table, each with a description and up to N_DIAGNOSIS_MAX_PER_ORGAN diagnoses).
// Modes: 0 browsing, 1 new record, 2 editing.
#pragma once

#include "app/kit/dialog_k.h"
#include "platform/ui/dialog.h"
#include "records/record_forms.h"
#include "records/records_host.h"

class KCD_Patients : public ui::Dialog {
 public:
  explicit KCD_Patients(RecordsHost& host);

  int mode = 0;
  int editId = 0;  // the record edited in mode 2
  // The organs of the record being edited; row data of list 1124 indexes this.
  const std::vector<records::OrganRow>& Organs() const { return organs_; }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;

 private:
  void OnNew();
  void OnEdit();
  void OnDelete();
  void OnStore();
  void OnCancelEdit();
  void OnPatientSelected();
  void OnAddOrgan();
  void OnRemoveOrgan();
  void OnOrganSelected();
  void OnApplyOrganText();
  void OnAddDiagnosis();
  void OnRemoveDiagnosis();

  void ShowEditing(bool editing);
  void ShowForm(const records::PatientForm& form);
  void RebuildOrganList();
  void ShowDiagnoses();
  records::OrganRow* SelectedOrgan();

  RecordsHost& host_;
  ArrangeControls arrange_{*this};
  std::vector<records::OrganRow> organs_;
  int organIndex_ = -1;  // the selected organ, an index in organs_
};
