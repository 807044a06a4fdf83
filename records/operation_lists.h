// The operation lists of both databases, free of windows: the entries of the local list (one
// per folder under "OPERATIONS\") and of the stationary list (one per operation record), their
// display texts, order, row numbers and filters, the names that may be deleted or loaded, the
// question before deleting many, and the remaining-time estimate of the progress window.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"
#include "records/enumerations.h"
#include "records/operation_description.h"

struct operation_list;
struct user_list;

namespace records {

inline constexpr const char* kOperationsRoot = "c:\\Tacmon\\OPERATIONS\\";

// ---- the local list ----

// Kinds of the local list: operations recorded from the probe, and those copied from the
// stationary database (folder names beginning with "GL").
inline constexpr int kRecordedOperations = 0;
inline constexpr int kCopiedOperations = 1;

// What an operation folder holds, read by the one who knows its files.
struct LocalOperationInfo {
  OperationDescription description;  // empty fields when the folder has none readable
  int pushCount = 0;
};
using LocalOperationReader = std::function<LocalOperationInfo(const Text1251& folderName)>;

struct LocalOperationEntry {
  Text1251 folder;  // the stored folder name: loading and deleting act on it only
  Text1251 text;    // the display text (the user may edit it; it names nothing)
  int organId = 0;
  int diagnosis = 0;
  Text1251 hospital;
};

// "<folder> (card: first patronymic family; organ) N нажатий", or a single blank instead of the
// count when there are no pushes.
Text1251 LocalOperationText(const Text1251& folder, const OperationDescription& d,
                            const Text1251& organName, int pushCount);
bool IsCopiedOperationName(std::string_view folder);
// The folders of "OPERATIONS\" of one kind, each read once, sorted by descending display text.
std::vector<LocalOperationEntry> ScanLocalOperations(int kind, const OrganTable& organs,
                                                     const LocalOperationReader& read);

// A folder name that stays one folder inside "OPERATIONS\": not empty, not "." or ".." (also
// after the trailing blanks and dots that Windows drops), no separator, no drive colon, no
// control character.
bool IsSafeOperationName(std::string_view name);

// The local filters: 0 (or no hospital) lets everything through.
struct LocalFilter {
  int organId = 0;
  int diagnosis = 0;
  Text1251 hospital;
  bool Passes(const LocalOperationEntry& e) const;
};
// Positions of the entries that pass, in list order (each keeps its number position + 1).
std::vector<int> VisibleEntries(const std::vector<LocalOperationEntry>& entries,
                                const LocalFilter& filter);

// ---- the stationary list ----

struct StationaryOperationEntry {
  Text1251 text;
  int id = 0;
};

// "yyyy.mm.dd_hh-mm-ss (card: names; organ)" with the names as the operation stores them
// (first, patronymic, family).
Text1251 StationaryOperationText(const int16_t time[6], const Text1251& card,
                                 const char (&names)[3][64], const Text1251& organName);
// One entry per operation of the database (through an unfiltered search), each patient looked
// up once through a hash of the patients' ids; sorted by descending text. Empty when the search
// fails.
std::vector<StationaryOperationEntry> BuildStationaryEntries(operation_list* operations,
                                                             user_list* patients,
                                                             const OrganTable& organs);

// ---- rows, questions, progress ----

// "%d: %s" with the number position + 1.
Text1251 NumberedRow(int position, std::string_view text);
// The row text after its "N: ", or the whole text without one.
Text1251 TextOfRow(std::string_view row);
// The text up to its last "(", trimmed (the current item of the progress window).
Text1251 ItemOfRow(std::string_view text);
// The question before deleting the selected rows (first, second, third and last shown).
Text1251 DeleteOperationsQuestion(const std::vector<Text1251>& selectedRows);
// After the row at removed went away: the selected rows that followed it move up by one.
void ShiftAfterRemoval(std::vector<int>& rows, int removed);

// "%H.%M.%S", "%Mмин.%Sсек.", "%Sсек." or "0." (two digits each).
Text1251 FormatDuration(long seconds);

// The time line of the progress window for items first..total.
class RemainingTime {
 public:
  RemainingTime(int first, int total) : first_(first), total_(total) {}
  // n items done (n >= 1) after elapsed whole seconds: the line to show, or empty while no
  // second has passed. The remaining time never falls below 4/5 of the one shown before.
  Text1251 Step(int n, long elapsed);
  long LastRemaining() const { return lastRemaining_; }

 private:
  int first_;
  int total_;
  long lastRemaining_ = -1;  // none shown yet
};

}  // namespace records
