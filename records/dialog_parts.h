// Pieces shared by the records dialogs: filling long sorted lists in one pass, finding a row by
// its item data, showing groups of controls, and handlers that report an exception with their
// site tag instead of letting it escape.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/dialog.h"

namespace records {

using Row = std::pair<Text1251, intptr_t>;  // text and item data

// Sorts the rows as a sorted list box orders them (case-insensitive CP1251, equal texts in
// the given order) and appends them to the list.
void FillSorted(ui::ListBox list, std::vector<Row> rows);
// The same order for a combo box, appended after the rows it has.
void FillSorted(ui::ComboBox combo, std::vector<Row> rows);
// The row whose item data is data, or -1.
int FindRowByData(ui::ListBox list, intptr_t data);
int FindRowByData(ui::ComboBox combo, intptr_t data);

void ShowItems(ui::Dialog& d, std::initializer_list<int> ids, bool show);

// The record list of a patients or surgeons dialog (list box with record ids as item data).
// The id of the row to edit: the current row when it is selected, else the first selected one;
// 0 after telling the user that no row is selected.
int ChosenRecordId(ui::Dialog& d, ui::ListBox list);
// Puts the stored record's row into the list, in place of the row of replacedId (0: none).
void PutRecordRow(ui::ListBox list, int replacedId, const Text1251& text, int id);
// Asks question(texts of the selected rows) and deletes the selected records from the last row
// up: remove(id) answers what the library did, stillThere(id) whether the record is still
// listed by it; a row goes only with its record. Failures are told in one box.
struct DeleteOutcome {
  bool stored = false;
  int id = 0;
  Text1251 why;
};
void DeleteChosenRecords(ui::Dialog& d, ui::ListBox list,
                         const std::function<Text1251(const std::vector<Text1251>&)>& question,
                         const std::function<DeleteOutcome(int)>& remove,
                         const std::function<bool(int)>& stillThere);

// Runs a handler; an exception is reported as "(tag)..." through AddLogMessage.
void Guarded(const char* tag, const std::function<void()>& handler);

}  // namespace records
