#include "params/parameter_store.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"

namespace {

ParameterRecord* Find(ParameterSet* set, const char* key) {
  for (int i = 0; i < set->count && i < static_cast<int>(set->records.size()); ++i)
    if (set->records[i].name == key) return &set->records[i];
  return nullptr;
}

// The record with this key, or a new one at the end.
ParameterRecord& FindOrAdd(ParameterSet* set, const char* key) {
  if (ParameterRecord* r = Find(set, key)) return *r;
  set->records.resize(set->count);
  set->records.emplace_back();
  ++set->count;
  set->records.back().name = key;
  return set->records.back();
}

void StripLineEnd(char* s) {
  size_t n = std::strlen(s);
  while (n > 0 && (s[n - 1] == '\n' || s[n - 1] == '\r')) s[--n] = 0;
}

Text1251 Cut(const char* s, size_t max) {
  size_t n = std::strlen(s);
  return Text1251(s, n > max ? max : n);
}

bool IsTextKind(char k) { return k == 's' || k == 'T' || k == 'D' || k == 'L'; }
bool IsLongKind(char k) { return k == 'D' || k == 'L'; }

// Parses a value line into r by kind. Returns 1 parsed, 0 did not scan, -1 unknown kind.
int ParseValue(char kind, const char* line, ParameterRecord& r) {
  int n;
  switch (kind) {
    case 'd':
    case 'e':
    case 'C':
      return std::sscanf(line, "%d", &r.ints[0]) == 1;
    case 'f': {
      float f;
      if (std::sscanf(line, "%f", &f) != 1) return 0;
      r.reals[0] = f;
      return 1;
    }
    case 'l':
      return std::sscanf(line, "%lf", &r.reals[0]) == 1;
    case 'r':
      n = std::sscanf(line, "%d %d %d %d", &r.ints[0], &r.ints[1], &r.ints[2], &r.ints[3]);
      return n == 4;
    case 'P':
      return std::sscanf(line, "%d %d", &r.ints[0], &r.ints[1]) == 2;
    case 'F':
      return std::sscanf(line, "%lf %lf", &r.reals[0], &r.reals[1]) == 2;
    case 'V':
      return std::sscanf(line, "%lf %d", &r.reals[0], &r.ints[0]) == 2;
    case 's':
    case 'T':
      r.text = Cut(line, kParTextMax);
      return 1;
    case 'D':
    case 'L':
      r.text = Cut(line, kParLongTextMax);
      return 1;
    default:
      return -1;
  }
}

}  // namespace

Text1251 ParameterFilePath(const Text1251& root, const Text1251& name) {
  return root + "pars\\" + name + ".par";
}

void LoadPars(const char* setName, ParameterSet* set) {
  if (!set) return;
  set->root = winpath::kDataRoot;
  fsw::MakeDirectory(set->root + "pars");
  set->name = setName ? setName : "";
  set->modified = true;
  if (set->name.empty()) {
    AddLogMessage("(443509232)Can't load data (no name)");
    return;
  }
  File f(ParameterFilePath(set->root, set->name), "rt", kParFileMaxBytes);
  if (!f) return;
  std::vector<char> header(512), value(kParLongTextMax + 1);
  while (f.Gets(header.data(), 512)) {
    if (std::strlen(header.data()) <= 2) break;  // an empty line ends the file
    StripLineEnd(header.data());
    char kind = header[0];
    const char* key = header.data() + 2;
    if (std::strlen(header.data()) < 2) continue;
    if (*key == 0) continue;  // no key: no value line either
    int limit = IsLongKind(kind) ? kParLongTextMax + 1 : 512;
    if (!f.Gets(value.data(), limit)) break;
    if (IsTextKind(kind)) {
      size_t n = std::strlen(value.data());
      if (n > 0 && value[n - 1] == '\n') value[n - 1] = 0;
    } else {
      StripLineEnd(value.data());
    }
    ParameterRecord parsed;
    int ok = ParseValue(kind, value.data(), parsed);
    if (ok < 0) {
      AddLogMessage("(96350923)Can't restore data (no type)");
      break;
    }
    if (ok == 0) continue;  // a value that does not scan is dropped, never stored as garbage
    ParameterRecord& r = FindOrAdd(set, key);
    Text1251 name = r.name;
    r = parsed;
    r.name = name;
    r.kind = kind == 'e' ? 'd' : kind;
  }
}

int GetPar(const char* key, char kind, void* dest, ParameterSet* set) {
  if (!set || !key || !dest || set->count == 0) return -1;
  const ParameterRecord* r = Find(set, key);
  if (!r) return -1;
  bool real = r->kind == 'l' || r->kind == 'f' || r->kind == 'F' || r->kind == 'V';
  switch (kind) {
    case 'd':
      *static_cast<int32_t*>(dest) = real ? static_cast<int32_t>(r->reals[0]) : r->ints[0];
      return 0;
    case 'l':
      *static_cast<double*>(dest) = real ? r->reals[0] : static_cast<double>(r->ints[0]);
      return 0;
    case 's': {
      char* out = static_cast<char*>(dest);
      size_t n = 0;
      for (char c : r->text) {
        if (n >= static_cast<size_t>(kParTextMax)) break;
        out[n++] = c == 3 ? '\r' : c == 2 ? '\n' : c;
      }
      out[n] = 0;
      return 0;
    }
    default:
      return -1;
  }
}

int GetPar(const char* key, Text1251& v, ParameterSet& s) {
  char buf[kParTextMax + 1];
  if (GetPar(key, 's', buf, &s) != 0) return -1;
  v = buf;
  return 0;
}

int SetPar(const char* key, ParameterSet* set, char kind, const void* src) {
  if (!set) return -1;
  set->modified = true;
  if (kind != 'd' && kind != 'l' && kind != 's') return -1;
  if (!key || !src) return -1;
  ParameterRecord& r = FindOrAdd(set, key);
  r.kind = kind;
  if (kind == 'd') {
    r.ints[0] = *static_cast<const int32_t*>(src);
  } else if (kind == 'l') {
    r.reals[0] = *static_cast<const double*>(src);
  } else {
    Text1251 t = Cut(static_cast<const char*>(src), kParTextMax);
    for (char& c : t) {
      if (c == '\r') c = 3;
      else if (c == '\n') c = 2;
    }
    r.text = std::move(t);
  }
  return 0;
}

int SavePars(ParameterSet* set) {
  if (!set || set->name.empty()) return -1;
  if (!set->modified) return 0;
  if (set->root.empty()) set->root = winpath::kDataRoot;
  fsw::MakeDirectory(set->root + "pars");
  SafeFile f(ParameterFilePath(set->root, set->name), "wt");
  if (!f) return -1;
  for (int i = 0; i < set->count && i < static_cast<int>(set->records.size()); ++i) {
    const ParameterRecord& r = set->records[i];
    const char* k = r.name.c_str();
    switch (r.kind) {
      case 'd': f.Printf("d %s\n%d\n", k, r.ints[0]); break;
      case 'C': f.Printf("C %s\n%d\n", k, r.ints[0]); break;
      case 'f': f.Printf("f %s\n%f\n", k, static_cast<double>(static_cast<float>(r.reals[0]))); break;
      case 'l': f.Printf("l %s\n%lg\n", k, r.reals[0]); break;
      case 's': f.Printf("s %s\n%s\n", k, r.text.c_str()); break;
      case 'T': f.Printf("T %s\n%s\n", k, r.text.c_str()); break;
      case 'r': f.Printf("r %s\n%d %d %d %d\n", k, r.ints[0], r.ints[1], r.ints[2], r.ints[3]); break;
      case 'P': f.Printf("P %s\n%d %d\n", k, r.ints[0], r.ints[1]); break;
      case 'F': f.Printf("F %s\n%lg %lg\n", k, r.reals[0], r.reals[1]); break;
      case 'V': f.Printf("V %s\n%lg %d\n", k, r.reals[0], r.ints[0]); break;
      case 'D': f.Printf("D %s\n%s\n", k, r.text.c_str()); break;
      case 'L': f.Printf("L %s\n%s\n", k, r.text.c_str()); break;
      default:
        AddLogMessage("(56350923)Can't save data (no type)");
        f.Abandon();  // the old file stays; the set stays modified
        return -2;
    }
  }
  if (f.Failed() || f.Commit() != 0) return -1;
  set->modified = false;
  return 0;
}

void FreePars(ParameterSet* set) {
  if (!set) return;
  if (set->modified) SavePars(set);
  set->records.clear();
  set->count = 0;
  set->name.clear();
}
