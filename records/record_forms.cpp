#include "records/record_forms.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/kit/date_logic.h"
#include "app/kit/edit_int_logic.h"
#include "platform/report.h"

namespace records {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

// The keys of the patient record file: a line of a multi-line text must not begin with one.
constexpr std::string_view kPatientKeys[] = {
    "FIO: ",       "idFIO: ",   "UserNumber: ", "UserCard: ",    "Sex: ",       "Birthday: ",
    "NidOrgans: ", "idOrgan: ", "Organ: ",      "idDiagnosis: ", "Diagnosis: ", "Notes: "};

void CopyTo(char* field, size_t cap, std::string_view text) {
  size_t n = std::min(text.size(), cap - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, cap - n);
}

std::string_view Field(const char* field, size_t cap) {
  return std::string_view(field, strnlen(field, cap));
}

Text1251 Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
Text1251 Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  Text1251 out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  va_end(args);
  return out;
}

// One number of a date: 1 to 4 digits.
bool ScanNumber(std::string_view s, size_t& p, int& value) {
  size_t start = p;
  value = 0;
  while (p < s.size() && s[p] >= '0' && s[p] <= '9' && p - start < 5)
    value = value * 10 + (s[p++] - '0');
  return p > start && p - start <= 4 && (p == s.size() || s[p] < '0' || s[p] > '9');
}

// A separator of a date: one '.', one '-', or a run of blanks.
bool ScanSeparator(std::string_view s, size_t& p) {
  if (p < s.size() && (s[p] == '.' || s[p] == '-')) {
    ++p;
    return true;
  }
  size_t start = p;
  while (p < s.size() && IsBlank(s[p])) ++p;
  return p > start;
}

}  // namespace

Text1251 StorableWord(std::string_view typed, size_t max) {
  Text1251 out;
  bool pendingBlank = false;
  for (char c : typed) {
    if (IsBlank(c) || IsControl(c)) {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out.push_back('_');
    pendingBlank = false;
    out.push_back(c);
  }
  if (out.size() > max) out.resize(max);
  return out;
}

Text1251 StorableOrganText(std::string_view typed) {
  Text1251 out = StorableWord(typed, kOrganTextMax);
  std::replace(out.begin(), out.end(), ';', ',');
  return out;
}

std::optional<Text1251> StorableNotes(std::string_view typed) {
  Text1251 text;
  for (char c : typed)
    if (c == '\n' || c == '\t' || !IsControl(c)) text.push_back(c);
  if (text.find_first_not_of(" \t\n") == Text1251::npos) return std::nullopt;
  Text1251 out;
  size_t p = 0;
  while (p < text.size()) {
    size_t nl = text.find('\n', p);
    size_t end = nl == Text1251::npos ? text.size() : nl;
    std::string_view line(text.data() + p, end - p);
    if (p > 0)
      for (std::string_view key : kPatientKeys)
        if (line.substr(0, key.size()) == key) {
          out.push_back(' ');
          break;
        }
    out.append(line);
    out.push_back('\n');
    p = nl == Text1251::npos ? text.size() : nl + 1;
  }
  return out;
}

Text1251 EditText(const char* stored) {
  Text1251 out;
  if (!stored) return out;
  std::string_view s(stored);
  if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
  for (char c : s) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::optional<Birthday> ParseBirthday(std::string_view typed) {
  size_t b = 0, e = typed.size();
  while (b < e && IsBlank(typed[b])) ++b;
  while (e > b && IsBlank(typed[e - 1])) --e;
  std::string_view s = typed.substr(b, e - b);
  if (s.empty()) return Birthday{};
  Birthday d;
  size_t p = 0;
  if (!ScanNumber(s, p, d.day) || !ScanSeparator(s, p) || !ScanNumber(s, p, d.month) ||
      !ScanSeparator(s, p) || !ScanNumber(s, p, d.year) || p != s.size())
    return std::nullopt;
  // No birthday: all zeros, or a fresh description's 0.0.1900.
  if (d.day == 0 && d.month == 0 && (d.year == 0 || d.year == 1900)) return d;
  if (d.year < 1900 || d.year > 2999 || d.month < 1 || d.month > 12 || d.day < 1)
    return std::nullopt;
  int length = d.month == 12 ? 31 : kit::MonthLength(d.year, d.month);
  if (d.day > length) return std::nullopt;
  return d;
}

Text1251 FormatBirthday(int day, int month, int year) {
  return Format("%d.%d.%d", day, month, year);
}

Text1251 BadBirthdayMessage(std::string_view typed) {
  return "Неверная дата рождения \""_cp + Text1251(typed) +
         "\".\nВведите день, месяц и год, например 5.3.1970."_cp;
}

Text1251 OrganRowText(const OrganTable& organs, const OrganRow& row) {
  const OrganEntry* o = organs.Organ(row.id);
  if (!o) return "---";
  if (row.description.empty() || row.description == o->name ||
      row.description == StorableOrganText(o->name))
    return o->name;
  return o->name + " (" + row.description + ")";
}

PatientForm FormFromPatient(const user_item& item) {
  PatientForm f;
  for (int i = 0; i < 3; ++i) f.names[i] = Text1251(Field(item.FIO[i], 64));
  f.card = Text1251(Field(item.UserCard, 128));
  f.sexIndex = item.Sex == 1 ? 0 : item.Sex == 2 ? 1 : -1;
  f.birthday = FormatBirthday(item.Birthday[2], item.Birthday[1], item.Birthday[0]);
  f.notes = EditText(item.Notes);
  f.diagnosis = EditText(item.Diagnosis);
  int n = std::clamp<int>(item.NidOrgans, 0, NORGANS_MAX);
  for (int i = 0; i < n; ++i) {
    OrganRow r;
    r.id = item.idOrgan[i];
    r.description = Text1251(Field(item.Organ[i], 100));
    for (int j = 0; j < MEDSTORE_MAX_DIAGNOSES; ++j)
      if (item.idDiagnosis[i][j] != 0) r.diagnoses.push_back(item.idDiagnosis[i][j]);
    f.organs.push_back(std::move(r));
  }
  return f;
}

PatientRecord::PatientRecord() {
  std::memset(static_cast<void*>(&item_), 0, sizeof item_);
  item_.size = sizeof item_;
  item_.version = MEDSTORE_ITEM_VERSION;
}

user_item* PatientRecord::Item() {
  item_.Notes = notes ? notes->data() : nullptr;
  item_.Diagnosis = diagnosis ? diagnosis->data() : nullptr;
  return &item_;
}

std::optional<Text1251> BuildPatient(const PatientForm& form, const OrganTable& organs,
                                     PatientRecord& out) {
  auto birthday = ParseBirthday(form.birthday);
  if (!birthday) return BadBirthdayMessage(form.birthday);
  user_item& item = *out.Item();
  for (int i = 0; i < 3; ++i) CopyTo(item.FIO[i], 64, StorableWord(form.names[i], kNameMax));
  CopyTo(item.UserCard, 128, StorableWord(form.card, kCardMax));
  item.Sex = form.sexIndex == 0 ? 1 : form.sexIndex == 1 ? 2 : 0;
  item.Birthday[0] = birthday->year;
  item.Birthday[1] = birthday->month;
  item.Birthday[2] = birthday->day;
  out.notes = StorableNotes(form.notes);
  out.diagnosis = StorableNotes(form.diagnosis);

  out.tooManyOrgans = form.organs.size() > static_cast<size_t>(NORGANS_MAX);
  if (out.tooManyOrgans)
    AddLogMessage("(1961932)Слишком много органов; увеличьте внутренний параметр NORGANS_MAX"_cp);
  std::vector<const OrganRow*> taken;
  for (const OrganRow& r : form.organs)
    if (taken.size() < static_cast<size_t>(NORGANS_MAX)) taken.push_back(&r);
  // Rows with diagnoses first: an empty row in between would not read back in its place.
  std::stable_partition(taken.begin(), taken.end(), [](const OrganRow* r) {
    return std::any_of(r->diagnoses.begin(), r->diagnoses.end(), [](int32_t d) { return d != 0; });
  });
  item.NidOrgans = static_cast<int32_t>(taken.size());
  for (size_t i = 0; i < taken.size(); ++i) {
    const OrganRow& r = *taken[i];
    item.idOrgan[i] = r.id;
    const OrganEntry* o = organs.Organ(r.id);
    const Text1251& text = r.description.empty() && o ? o->name : r.description;
    CopyTo(item.Organ[i], 100, StorableOrganText(text));
    int j = 0;
    for (int32_t d : r.diagnoses)
      if (d != 0 && j < MEDSTORE_MAX_DIAGNOSES) item.idDiagnosis[i][j++] = d;
  }
  out.Item();
  return std::nullopt;
}

doctor_item BuildSurgeon(const SurgeonForm& form) {
  doctor_item item;
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
  for (int i = 0; i < 3; ++i) CopyTo(item.FIO[i], 64, StorableWord(form.names[i], kNameMax));
  return item;
}

namespace {

bool SameNames(const char (*a)[64], const char (*b)[64]) {
  for (int i = 0; i < 3; ++i)
    if (Field(a[i], 64) != Field(b[i], 64)) return false;
  return true;
}

bool SameText(const char* a, const char* b) {
  if (!a || !b) return a == b;
  return std::strcmp(a, b) == 0;
}

}  // namespace

bool SamePatient(const user_item& a, const user_item& b) {
  if (!SameNames(a.FIO, b.FIO) || a.idFIO != b.idFIO || a.Sex != b.Sex ||
      a.UserNumber != b.UserNumber || Field(a.UserCard, 128) != Field(b.UserCard, 128) ||
      a.NidOrgans != b.NidOrgans || !SameText(a.Notes, b.Notes) ||
      !SameText(a.Diagnosis, b.Diagnosis))
    return false;
  for (int i = 0; i < 3; ++i)
    if (a.Birthday[i] != b.Birthday[i]) return false;
  int n = std::clamp<int>(a.NidOrgans, 0, MEDSTORE_MAX_ORGANS);
  for (int i = 0; i < n; ++i) {
    if (a.idOrgan[i] != b.idOrgan[i] || Field(a.Organ[i], 100) != Field(b.Organ[i], 100))
      return false;
    for (int j = 0; j < MEDSTORE_MAX_DIAGNOSES; ++j)
      if (a.idDiagnosis[i][j] != b.idDiagnosis[i][j]) return false;
  }
  return true;
}

bool SameSurgeon(const doctor_item& a, const doctor_item& b) {
  return a.idFIO == b.idFIO && SameNames(a.FIO, b.FIO);
}

Text1251 PatientRowText(const user_item& item) {
  return Text1251(Field(item.UserCard, 128)) + ": " + Text1251(Field(item.FIO[0], 64)) + " " +
         Text1251(Field(item.FIO[1], 64)) + " " + Text1251(Field(item.FIO[2], 64));
}

Text1251 SurgeonRowText(const doctor_item& item) {
  return Text1251(Field(item.FIO[0], 64)) + " " + Text1251(Field(item.FIO[1], 64)) + " " +
         Text1251(Field(item.FIO[2], 64));
}

Text1251 PatientSummary(const user_item& item) {
  Text1251 diagnosis = item.Diagnosis ? item.Diagnosis : "";
  while (!diagnosis.empty() && diagnosis.back() == '\n') diagnosis.pop_back();
  std::replace(diagnosis.begin(), diagnosis.end(), '\n', ' ');
  return Text1251(Field(item.FIO[0], 64)) + " " + Text1251(Field(item.FIO[1], 64)) + " " +
         Text1251(Field(item.FIO[2], 64)) + "; " +
         FormatBirthday(item.Birthday[2], item.Birthday[1], item.Birthday[0]) + "; " + diagnosis +
         " ";
}

Text1251 DeleteQuestion(bool patients, const std::vector<Text1251>& rows) {
  const size_t n = rows.size();
  if (n == 0) return {};
  const Text1251 head =
      patients ? "Стереть из списка пациентов:\n"_cp
               : (n == 1 ? "Стереть из списка хирурга:\n"_cp : "Стереть из списка хирургов:\n"_cp);
  if (n == 1) return head + rows[0] + "?";
  if (n <= 3) {
    Text1251 q = head;
    for (const Text1251& r : rows) q += r + "\n";
    return q + "?";
  }
  const int count = static_cast<int>(n);
  const char* word = patients ? kit::PluralWord(count, "пациент"_cp, "пациента"_cp, "пациентов"_cp)
                              : kit::PluralWord(count, "хирурга"_cp, "хирургов"_cp, "хирургов"_cp);
  return head + rows.front() + "\n...\n" + rows.back() +
         Format("\n (всего %d %s)?"_cp, count, word);
}

}  // namespace records
