// KCD_ListWithNumber (dialog 148): a numbered list "%d: %s" with an edit for the selected row's
// name, OK and Cancel. KCD_ListWithNumberOrgans ("Органы") and KCD_ListWithNumberDiagnosis
// ("Диагнозы") list the organ table or one organ's diagnoses and, on OK, write renamed entries
// back to the table and its file. The caller maps the chosen row to an id through ids.
#pragma once

#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/dialog.h"
#include "records/enumerations.h"

class KCD_ListWithNumber : public ui::Dialog {
 public:
  KCD_ListWithNumber(Text1251 title, std::vector<Text1251> names, std::vector<int> ids);

  // After OK: the current row (-1 none), the selected rows and the names taken from the rows.
  int chosenRow = -1;
  std::vector<int> selectedRows;
  std::vector<Text1251> names;
  std::vector<int> ids;
  // The id of the chosen row, 0 when none.
  int ChosenId() const;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void OnSelect();
  void OnEdited();
  Text1251 RowText(int row) const;

  Text1251 title_;
  bool filling_ = false;
};

class KCD_ListWithNumberOrgans : public KCD_ListWithNumber {
 public:
  explicit KCD_ListWithNumberOrgans(records::OrganTable& organs);

 protected:
  void OnOK() override;

 private:
  records::OrganTable& organs_;
};

class KCD_ListWithNumberDiagnosis : public KCD_ListWithNumber {
 public:
  KCD_ListWithNumberDiagnosis(records::OrganTable& organs, int organId);

 protected:
  void OnOK() override;

 private:
  records::OrganTable& organs_;
  int organId_;
};
