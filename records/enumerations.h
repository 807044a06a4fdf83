// The enumerations of the clinical records: organs with their diagnoses ("enums\organ\organs.txt"
// and one diagnosis file per organ) and hospitals ("enums\hospital\hospitals.txt"), all under
// the data root. The main hub owns one OrganTable and one HospitalTable for the whole run.
// Ids are positions: organ id = entry index (from 1), diagnosis id = index in the organ's
// diagnosis names (from 1); entry 0 is always empty. Every lookup is bounds checked.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace records {

inline constexpr const char* kOrgansFile = "enums\\organ\\organs.txt";
inline constexpr const char* kHospitalFolder = "enums\\hospital";
inline constexpr const char* kHospitalsFile = "enums\\hospital\\hospitals.txt";
// Enumeration lines are read in pieces of at most this many characters.
inline constexpr size_t kEnumLinePiece = 511;
// Longest name an edit may give an enumeration entry (it stays one piece when read back).
inline constexpr size_t kEnumNameMax = 255;

struct OrganEntry {
  Text1251 name;
  Text1251 number;                  // the number token; it names the diagnosis file
  std::vector<Text1251> diagnoses;  // [0] empty, then the names in file order
};

struct OrganTable {
  std::vector<OrganEntry> entries;  // [0] empty, then the accepted lines of organs.txt

  int Count() const { return entries.empty() ? 0 : static_cast<int>(entries.size()) - 1; }
  bool HasOrgan(int id) const { return id >= 1 && id <= Count(); }
  // Null for an id outside the table.
  const OrganEntry* Organ(int id) const { return HasOrgan(id) ? &entries[id] : nullptr; }
  // Number of diagnoses of an organ (0 outside the table).
  int DiagnosisCount(int organId) const;
  // Null for an organ or diagnosis id outside the table.
  const Text1251* Diagnosis(int organId, int diagnosisId) const;
};

struct HospitalTable {
  std::vector<Text1251> names;  // [0] empty, then the hospitals in file order

  int Count() const { return names.empty() ? 0 : static_cast<int>(names.size()) - 1; }
  const Text1251* Name(int index) const {
    return index >= 1 && index <= Count() ? &names[index] : nullptr;
  }
};

// Parsing of one file's text (text mode, "\n" line ends), exposed for the tests.
// organs.txt: a number token (first word after blanks and tabs), blanks, the name to the line
// end; a line is accepted when both are non-empty. Returns (number, name) pairs.
std::vector<std::pair<Text1251, Text1251>> ParseOrganLines(std::string_view text);
// Diagnosis files: trailing blanks removed, empty lines skipped.
std::vector<Text1251> ParseDiagnosisLines(std::string_view text);
// hospitals.txt: leading blanks and tabs skipped, empty lines skipped.
std::vector<Text1251> ParseHospitalLines(std::string_view text);

// Frees the old table and loads organs.txt and each organ's diagnosis file (data root +
// "enums\organ\" + number token + ".txt"). A missing file gives an empty table or an organ
// without diagnoses. Returns the number of organs, -1 when organs.txt cannot be read.
int LoadOrganTable(OrganTable& table);
void FreeOrganTable(OrganTable& table);
// Creates "enums\hospital" and loads hospitals.txt; a missing file is created empty. Returns
// the number of hospitals, -1 when the file could neither be read nor created.
int LoadHospitalTable(HospitalTable& table);
void FreeHospitalTable(HospitalTable& table);

// Writing back what an edit changed (0, or -1 when the file cannot be written; the old file
// then stays). organs.txt is written as "%s %s\n" (number token, name) per entry.
int SaveOrganList(const OrganTable& table);
int SaveDiagnoses(const OrganTable& table, int organId);
int SaveHospitalTable(const HospitalTable& table);

// A name typed for an enumeration entry as it can be stored and read back: line breaks and
// control characters become blanks, blanks and tabs are trimmed at both ends, cut to
// kEnumNameMax. Empty means "no name" (such an edit is not taken: it would shift the ids).
Text1251 EnumName(std::string_view typed);

// Renames entries after a choice dialog: names[i] is the new name of id ids[i]. Empty or
// unchanged names are skipped. Returns true when a name changed.
bool RenameOrgans(OrganTable& table, const std::vector<int>& ids,
                  const std::vector<Text1251>& names);
bool RenameDiagnoses(OrganTable& table, int organId, const std::vector<int>& ids,
                     const std::vector<Text1251>& names);
// Appends a hospital typed in the description dialog unless it is empty or already there;
// returns its index (the existing one when present), 0 for an empty name.
int AddHospital(HospitalTable& table, std::string_view typed);

}  // namespace records
