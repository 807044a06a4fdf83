#include "records/enumerations.h"

#include <algorithm>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace records {
namespace {

Text1251 DataPath(std::string_view relative) {
  return Text1251(winpath::kDataRoot) + Text1251(relative);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The lines of a text as a reader with a 512-byte buffer sees them: each line without its
// line end, a longer line split into pieces of kEnumLinePiece characters.
std::vector<std::string_view> Pieces(std::string_view text) {
  std::vector<std::string_view> out;
  size_t p = 0;
  while (p < text.size()) {
    size_t nl = text.find('\n', p);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(p, end - p);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) out.push_back(line);
    for (size_t i = 0; i < line.size(); i += kEnumLinePiece)
      out.push_back(line.substr(i, kEnumLinePiece));
    p = nl == std::string_view::npos ? text.size() : nl + 1;
  }
  return out;
}

// The number token may only name a file in the organ folder.
bool IsPlainFileName(std::string_view token) {
  return token.find_first_of("\\/:") == std::string_view::npos && token != "." && token != "..";
}

int WriteLines(std::string_view relative, const std::vector<Text1251>& lines) {
  Text1251 text;
  for (const Text1251& l : lines) text += l + "\n";
  int rc = WriteWholeFile(DataPath(relative), text, true);
  if (rc != 0) AddLogMessageF("(8201)Не удается записать файл %s"_cp, DataPath(relative).c_str());
  return rc;
}

}  // namespace

int OrganTable::DiagnosisCount(int organId) const {
  const OrganEntry* o = Organ(organId);
  return o && !o->diagnoses.empty() ? static_cast<int>(o->diagnoses.size()) - 1 : 0;
}

const Text1251* OrganTable::Diagnosis(int organId, int diagnosisId) const {
  if (diagnosisId < 1 || diagnosisId > DiagnosisCount(organId)) return nullptr;
  return &entries[organId].diagnoses[diagnosisId];
}

std::vector<std::pair<Text1251, Text1251>> ParseOrganLines(std::string_view text) {
  std::vector<std::pair<Text1251, Text1251>> out;
  for (std::string_view line : Pieces(text)) {
    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    size_t t = p;
    while (t < line.size() && !IsBlank(line[t])) ++t;
    std::string_view number = line.substr(p, t - p);
    while (t < line.size() && IsBlank(line[t])) ++t;
    std::string_view name = line.substr(t);
    if (!number.empty() && !name.empty()) out.emplace_back(Text1251(number), Text1251(name));
  }
  return out;
}

std::vector<Text1251> ParseDiagnosisLines(std::string_view text) {
  std::vector<Text1251> out;
  for (std::string_view line : Pieces(text)) {
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (!line.empty()) out.emplace_back(line);
  }
  return out;
}

std::vector<Text1251> ParseHospitalLines(std::string_view text) {
  std::vector<Text1251> out;
  for (std::string_view line : Pieces(text)) {
    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p < line.size()) out.emplace_back(line.substr(p));
  }
  return out;
}

int LoadOrganTable(OrganTable& table) {
  FreeOrganTable(table);
  table.entries.emplace_back();
  Text1251 text;
  if (!ReadWholeFile(DataPath(kOrgansFile), text, true)) return -1;
  for (auto& [number, name] : ParseOrganLines(text)) {
    OrganEntry e;
    e.number = number;
    e.name = name;
    e.diagnoses.emplace_back();
    Text1251 diagnoses;
    if (!IsPlainFileName(number)) {
      AddLogMessageF("(8202)Номер органа '%s' не может быть именем файла диагнозов"_cp,
                     number.c_str());
    } else if (ReadWholeFile(DataPath("enums\\organ\\" + number + ".txt"), diagnoses, true)) {
      for (Text1251& d : ParseDiagnosisLines(diagnoses)) e.diagnoses.push_back(std::move(d));
    }
    table.entries.push_back(std::move(e));
  }
  return table.Count();
}

void FreeOrganTable(OrganTable& table) { table.entries.clear(); }

int LoadHospitalTable(HospitalTable& table) {
  FreeHospitalTable(table);
  table.names.emplace_back();
  fsw::MakeDirectories(DataPath(kHospitalFolder));
  Text1251 text;
  if (!ReadWholeFile(DataPath(kHospitalsFile), text, true)) {
    File f(DataPath(kHospitalsFile), "w");
    if (!f || f.Close() != 0) return -1;
    return 0;
  }
  for (Text1251& n : ParseHospitalLines(text)) table.names.push_back(std::move(n));
  return table.Count();
}

void FreeHospitalTable(HospitalTable& table) { table.names.clear(); }

int SaveOrganList(const OrganTable& table) {
  std::vector<Text1251> lines;
  for (int id = 1; id <= table.Count(); ++id)
    lines.push_back(table.entries[id].number + " " + table.entries[id].name);
  return WriteLines(kOrgansFile, lines);
}

int SaveDiagnoses(const OrganTable& table, int organId) {
  const OrganEntry* o = table.Organ(organId);
  if (!o || !IsPlainFileName(o->number)) return -1;
  std::vector<Text1251> lines;
  if (o->diagnoses.size() > 1) lines.assign(o->diagnoses.begin() + 1, o->diagnoses.end());
  return WriteLines("enums\\organ\\" + o->number + ".txt", lines);
}

int SaveHospitalTable(const HospitalTable& table) {
  std::vector<Text1251> lines;
  if (table.names.size() > 1) lines.assign(table.names.begin() + 1, table.names.end());
  return WriteLines(kHospitalsFile, lines);
}

Text1251 EnumName(std::string_view typed) {
  Text1251 s;
  for (char c : typed) s.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  s = s.substr(b, std::min(e - b, kEnumNameMax));
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  return s;
}

namespace {

bool Rename(std::vector<Text1251>& names, const std::vector<int>& ids,
            const std::vector<Text1251>& newNames) {
  bool changed = false;
  for (size_t i = 0; i < ids.size() && i < newNames.size(); ++i) {
    int id = ids[i];
    if (id < 1 || id >= static_cast<int>(names.size())) continue;
    Text1251 n = EnumName(newNames[i]);
    if (n.empty() || n == names[id]) continue;
    names[id] = n;
    changed = true;
  }
  return changed;
}

}  // namespace

bool RenameOrgans(OrganTable& table, const std::vector<int>& ids,
                  const std::vector<Text1251>& names) {
  std::vector<Text1251> current;
  for (const OrganEntry& e : table.entries) current.push_back(e.name);
  if (!Rename(current, ids, names)) return false;
  for (size_t i = 0; i < current.size(); ++i) table.entries[i].name = current[i];
  return true;
}

bool RenameDiagnoses(OrganTable& table, int organId, const std::vector<int>& ids,
                     const std::vector<Text1251>& names) {
  if (!table.HasOrgan(organId)) return false;
  return Rename(table.entries[organId].diagnoses, ids, names);
}

int AddHospital(HospitalTable& table, std::string_view typed) {
  Text1251 n = EnumName(typed);
  if (n.empty()) return 0;
  if (table.names.empty()) table.names.emplace_back();
  for (int i = 1; i <= table.Count(); ++i)
    if (table.names[i] == n) return i;
  table.names.push_back(n);
  return table.Count();
}

}  // namespace records
