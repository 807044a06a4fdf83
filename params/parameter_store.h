// Parameter store: named, typed settings kept in one text file per set, "pars\<name>.par" under
// the data root. Every window that remembers settings owns a ParameterSet named after itself.
// The store knows nothing of the meaning of the values; owners request each key with the kind
// they store it with ('d' int, 'l' double, 's' text).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cp1251.h"

struct ParameterRecord {
  Text1251 name;   // key, compared byte for byte
  char kind = 0;   // one of d C f l s T r P F V D L ('e' becomes 'd' when loaded)
  int32_t ints[4] = {0, 0, 0, 0};  // d C: ints[0]; r: all four; P: [0],[1]; V: ints[0]
  double reals[2] = {0, 0};        // l: [0]; F: both; V: [0]; f: [0] (kept as float)
  Text1251 text;                   // s T (at most 255 bytes), D L (at most 5119 bytes)
};

struct ParameterSet {
  Text1251 name;
  std::vector<ParameterRecord> records;  // in file order, then in order of first setting
  int count = 0;
  bool modified = false;  // set by LoadPars and SetPar, cleared by a successful SavePars
  Text1251 root;          // data root, copied when the set is loaded
};

inline constexpr int kParTextMax = 255;
inline constexpr int kParLongTextMax = 5119;
// A parameter file larger than this is refused unread (a set holds at most a few hundred keys).
inline constexpr int64_t kParFileMaxBytes = int64_t(16) << 20;

// Merges the file's records into the set.
void LoadPars(const char* setName, ParameterSet* set);
// 0 when found, -1 when the set is empty or holds no such key. dest: int32_t* for 'd',
// double* for 'l', char[256] for 's'.
int GetPar(const char* key, char kind, void* dest, ParameterSet* set);
// 0; -1 for a kind other than 'd', 'l', 's'. src: const int32_t*, const double*, const char*.
int SetPar(const char* key, ParameterSet* set, char kind, const void* src);
// 0 written or nothing to write; -1 no set, no name, or the file cannot be written;
// -2 a record of unknown kind (the old file stays).
int SavePars(ParameterSet* set);
// Saves when modified, then empties the set.
void FreePars(ParameterSet* set);

// Typed conveniences over GetPar/SetPar.
inline int GetPar(const char* key, int32_t& v, ParameterSet& s) { return GetPar(key, 'd', &v, &s); }
inline int GetPar(const char* key, double& v, ParameterSet& s) { return GetPar(key, 'l', &v, &s); }
int GetPar(const char* key, Text1251& v, ParameterSet& s);
inline int SetPar(const char* key, ParameterSet& s, int32_t v) { return SetPar(key, &s, 'd', &v); }
inline int SetPar(const char* key, ParameterSet& s, double v) { return SetPar(key, &s, 'l', &v); }
inline int SetPar(const char* key, ParameterSet& s, const Text1251& v) {
  return SetPar(key, &s, 's', v.c_str());
}

// The file of a set: root + "pars\" + name + ".par".
Text1251 ParameterFilePath(const Text1251& root, const Text1251& name);
