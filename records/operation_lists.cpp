#include "records/operation_lists.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "app/kit/edit_int_logic.h"
#include "medstore/medstore.h"
#include "platform/paths.h"

namespace records {
namespace {

Text1251 Fixed(const char* field, size_t size) { return Text1251(field, strnlen(field, size)); }

Text1251 OrganNameOf(const OrganTable& organs, int id) {
  const OrganEntry* organ = organs.Organ(id);
  return organ ? organ->name : Text1251();
}

template <class Entry>
void SortDescending(std::vector<Entry>& entries) {
  // Byte-wise: CP1251 letters compare as unsigned bytes, as the date prefixes do.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return std::lexicographical_compare(
        b.text.begin(), b.text.end(), a.text.begin(), a.text.end(), [](char x, char y) {
          return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
  });
}

Text1251 Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return Text1251(s.substr(b, e - b));
}

}  // namespace

Text1251 LocalOperationText(const Text1251& folder, const OperationDescription& d,
                            const Text1251& organName, int pushCount) {
  Text1251 out = folder + " (" + d.cardNumber + ": " + d.firstName + " " + d.patronymic + " " +
                 d.familyName + "; " + organName + ") ";
  if (pushCount > 0) {
    char count[24];
    std::snprintf(count, sizeof count, "%d ", pushCount);
    out += count;
    out += kit::PluralWord(pushCount, "нажатие"_cp, "нажатия"_cp, "нажатий"_cp);
  } else {
    out += " ";
  }
  return out;
}

bool IsCopiedOperationName(std::string_view folder) { return folder.substr(0, 2) == "GL"; }

std::vector<LocalOperationEntry> ScanLocalOperations(int kind, const OrganTable& organs,
                                                     const LocalOperationReader& read) {
  std::vector<LocalOperationEntry> entries;
  for (const fsw::DirEntry& e : fsw::ListDirectory(Text1251(kOperationsRoot) + "*.*")) {
    if (!e.isDirectory || !IsSafeOperationName(e.name)) continue;
    if (IsCopiedOperationName(e.name) != (kind == kCopiedOperations)) continue;
    const LocalOperationInfo info = read(e.name);
    const OperationDescription& d = info.description;
    LocalOperationEntry entry;
    entry.folder = e.name;
    entry.text = LocalOperationText(e.name, d, OrganNameOf(organs, d.organId), info.pushCount);
    entry.organId = d.organId;
    entry.diagnosis = d.diagnosisIndex;
    entry.hospital = d.hospital;
    entries.push_back(std::move(entry));
  }
  SortDescending(entries);
  return entries;
}

bool IsSafeOperationName(std::string_view name) {
  for (char c : name)
    if (c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 32) return false;
  // Windows drops trailing blanks and dots, so "..." and ". ." name the parent or the folder.
  size_t end = name.size();
  while (end > 0 && (name[end - 1] == ' ' || name[end - 1] == '.')) --end;
  return end > 0;
}

bool LocalFilter::Passes(const LocalOperationEntry& e) const {
  return (organId == 0 || organId == e.organId) && (diagnosis == 0 || diagnosis == e.diagnosis) &&
         (hospital.empty() || hospital == e.hospital);
}

std::vector<int> VisibleEntries(const std::vector<LocalOperationEntry>& entries,
                                const LocalFilter& filter) {
  std::vector<int> out;
  for (size_t i = 0; i < entries.size(); ++i)
    if (filter.Passes(entries[i])) out.push_back(static_cast<int>(i));
  return out;
}

Text1251 StationaryOperationText(const int16_t time[6], const Text1251& card,
                                 const char (&names)[3][64], const Text1251& organName) {
  char date[64];
  std::snprintf(date, sizeof date, "%4.4hd.%2.2hd.%2.2hd_%2.2hd-%2.2hd-%2.2hd", time[0], time[1],
                time[2], time[3], time[4], time[5]);
  // An operation keeps the names in the description's order: first, patronymic, family.
  return Text1251(date) + " (" + card + ": " + Fixed(names[0], 64) + " " + Fixed(names[1], 64) +
         " " + Fixed(names[2], 64) + "; " + organName + ")";
}

std::vector<StationaryOperationEntry> BuildStationaryEntries(operation_list* operations,
                                                             user_list* patients,
                                                             const OrganTable& organs) {
  std::vector<StationaryOperationEntry> entries;
  if (!operations) return entries;
  std::unordered_map<int32_t, const user_item*> byId;
  if (patients)
    for (const user_item* p = patients->head; p; p = p->next) byId.emplace(p->idFIO, p);
  operation_search_mask mask{};
  mask.size = sizeof mask;
  mask.version = 3;
  operation_list* found = nullptr;
  int count = 0;
  if (GetOperationsExt(&mask, &found, nullptr, &count, operations) != 0 || !found) {
    if (found) GetOperationsExt(nullptr, &found, nullptr, &count, operations);
    return entries;
  }
  entries.reserve(static_cast<size_t>(std::max(count, 0)));
  for (const operation_item* op = found->head; op; op = op->next) {
    auto at = byId.find(op->idFIO_patient);
    const Text1251 card =
        at != byId.end() ? Fixed(at->second->UserCard, sizeof at->second->UserCard) : Text1251();
    entries.push_back(
        {StationaryOperationText(op->Time, card, op->FIO_patient, OrganNameOf(organs, op->idOrgan)),
         op->ID});
  }
  GetOperationsExt(nullptr, &found, nullptr, &count, operations);
  SortDescending(entries);
  return entries;
}

Text1251 NumberedRow(int position, std::string_view text) {
  char number[24];
  std::snprintf(number, sizeof number, "%d: ", position + 1);
  return number + Text1251(text);
}

Text1251 TextOfRow(std::string_view row) {
  const size_t colon = row.find(": ");
  return Text1251(colon == std::string_view::npos ? row : row.substr(colon + 2));
}

Text1251 ItemOfRow(std::string_view text) {
  const size_t paren = text.rfind('(');
  return Trim(paren == std::string_view::npos ? text : text.substr(0, paren));
}

Text1251 DeleteOperationsQuestion(const std::vector<Text1251>& rows) {
  const size_t n = rows.size();
  if (n == 0) return {};
  if (n == 1) return "Стереть запись операции:\n"_cp + rows[0] + "?";
  const Text1251 head = "Стереть  записи операций:\n"_cp;
  if (n == 2) return head + rows[0] + "\n" + rows[1] + "\n?";
  if (n == 3) return head + rows[0] + "\n" + rows[1] + "\n" + rows[2] + "\n?";
  char total[64];
  std::snprintf(total, sizeof total, "\n (всего %d %s)?"_cp, static_cast<int>(n),
                kit::PluralWord(static_cast<int>(n), "операция"_cp, "операции"_cp, "операций"_cp));
  return head + rows[0] + "\n...\n" + rows[n - 1] + total;
}

void ShiftAfterRemoval(std::vector<int>& rows, int removed) {
  for (int& r : rows)
    if (r > removed) --r;
}

Text1251 FormatDuration(long seconds) {
  if (seconds < 0) seconds = 0;
  const long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  char out[64];
  if (h > 0)
    std::snprintf(out, sizeof out, "%02ld.%02ld.%02ld", h, m, s);
  else if (m > 0)
    std::snprintf(out, sizeof out, "%02ldмин.%02ldсек."_cp, m, s);
  else if (s > 0)
    std::snprintf(out, sizeof out, "%02ldсек."_cp, s);
  else
    return "0.";
  return out;
}

Text1251 RemainingTime::Step(int n, long elapsed) {
  if (n < 1 || elapsed < 1) return {};
  const long projected =
      std::lround(static_cast<double>(elapsed) * static_cast<double>(total_ - first_) / n);
  long remaining = projected - elapsed;
  if (lastRemaining_ >= 0) remaining = std::max(remaining, lastRemaining_ * 4 / 5);
  remaining = std::max(remaining, 0L);
  lastRemaining_ = remaining;
  return "Времени прошло: "_cp + FormatDuration(elapsed) + ";  осталось: "_cp +
         FormatDuration(remaining) + ";  полное время работы: "_cp +
         FormatDuration(elapsed + remaining);
}

}  // namespace records
