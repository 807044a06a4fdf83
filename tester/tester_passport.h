// Tester passports "DVP\*.cfp": the coefficients uploaded to the test instrument, one file per
// instrument (matched by the serial number of its USB-CAN adapter), and the built-in passport
// used until a connection selects one.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace tester {

struct TesterPassport {
  int32_t ID = 0;     // serial number of the instrument's adapter
  int32_t MINUS = 0;  // force reading at no force (the dialog's zero measurement sets it)
  int32_t unused[2] = {0, 0};
  std::array<int32_t, 6> P1{}, P2{}, P3{}, P4{}, K{};
  double SENS = 0;  // force units of the instrument per unit of its reading
};

inline constexpr int kMaxTesterPassports = 100;

TesterPassport BuiltInTesterPassport();

// Reads one ".cfp" text into p (keys ID, MINUS, P1..P4, K, SENS, any case; a value that does
// not parse leaves the field). False when the file cannot be opened.
bool ReadTesterPassportFile(std::string_view path, TesterPassport& p);

// Every "*.cfp" in folder (a Windows path ending in "\", by default "DVP\" under the data root),
// at most 100, in directory order. A file that cannot be opened is logged and still counts,
// holding an empty record.
std::vector<TesterPassport> ReadTesterPassports(std::string_view folder = {});

// The passport for an adapter: the first with that ID; otherwise nullptr (the caller warns and
// takes the first). Empty list: nullptr.
const TesterPassport* FindTesterPassport(const std::vector<TesterPassport>& table, int32_t id);

}  // namespace tester
