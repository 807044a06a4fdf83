// KCDOperationDescription (dialog 146 "Описание операции"): hospital, patient, surgeon, the
// patient's names, sex and birthday, organ with description, diagnosis with description, notes.
// Offers the stationary database's patients and surgeons and the organ and hospital tables;
// remembers its last entries in the parameter set "KCDOperationDescription".
#pragma once

#include "app/kit/dialog_k.h"
#include "params/parameter_store.h"
#include "platform/ui/dialog.h"
#include "records/operation_description.h"
#include "records/records_host.h"

class KCDOperationDescription : public ui::Dialog {
 public:
  // editing: d is an existing description whose fields are shown; allowSurgeon: choosing a
  // surgeon writes the surgeon id.
  KCDOperationDescription(RecordsHost& host, OperationDescription& d, bool editing,
                          bool allowSurgeon);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnSize(int cx, int cy) override;

 private:
  void OnPatientSelected();
  void OnSurgeonSelected();
  void OnOrganSelected();
  void FillDiagnoses(int organRow);
  int OrganIdOfRow(int row);
  Text1251 ChosenHospital();

  RecordsHost& host_;
  OperationDescription& target_;  // written on OK only
  OperationDescription d_;        // the working copy
  bool editing_;
  bool allowSurgeon_;
  ParameterSet params_;
  ArrangeControls arrange_{*this};
};
