// KCD_ListWithNumber (dialog 148): a numbered list "%d: %s" with an edit for the selected row's
// name, OK and Cancel. KCD_ListWithNumberOrgans ("Органы") and KCD_ListWithNumberDiagnosis
// ("Диагнозы") list the organ table or one organ's diagnoses and, on OK, write renamed entries
// back to the table and its file. The caller maps the chosen row to an id through ids.
// Subclasses with a template of their own may show only some of the names: each row keeps the
// number of its name's position.
#pragma once

#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/dialog.h"
#include "records/enumerations.h"

class KCD_ListWithNumber : public ui::Dialog {
 public:
  KCD_ListWithNumber(Text1251 title, std::vector<Text1251> names, std::vector<int> ids);

  // After OK: the position of the current row (-1 none), the positions of the selected rows
  // and the names taken from the rows.
  int chosenRow = -1;
  std::vector<int> selectedRows;
  std::vector<Text1251> names;
  std::vector<int> ids;
  // The id of the chosen row, 0 when none.
  int ChosenId() const;

 protected:
  KCD_ListWithNumber(int templateId, Text1251 title, std::vector<Text1251> names,
                     std::vector<int> ids);
  bool OnInitDialog() override;
  void OnOK() override;
  // Shows the names at these positions (in this order); the item data of each row is its id.
  void ShowPositions(const std::vector<int>& positions);
  // The position of a row of the list, -1 when none.
  int PositionOfRow(int row) const;
  int RowOfPosition(int position) const;
  // Removes one row (its name stays at its position).
  void RemoveRow(int row);
  // The edit shows the name of the current row (empty without one).
  void ShowCurrentName();
  // What OK records: the chosen and selected positions, the names taken back from the rows.
  void CollectChoice();

 private:
  void OnSelect();
  void OnEdited();
  Text1251 RowText(int position) const;

  Text1251 title_;
  std::vector<int> rowPositions_;
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
