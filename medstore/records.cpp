// Record files of the five kinds: keys, value syntax, limits and messages.
#include "medstore/detail/records.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "medstore/detail/text.h"

namespace medstore::detail {

// ---------------------------------------------------------------- shared helpers

const char* ScanDouble(const char* p, const char* end, double* value) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  while (p < end && IsSpace(*p)) ++p;
  char buf[128];
  size_t n = 0;
  while (p + n < end && n < sizeof buf - 1 && !IsSpace(p[n]) && p[n] != ';') {
    buf[n] = p[n];
    ++n;
  }
  buf[n] = 0;
  char* stop = buf;
  *value = cLocale ? strtod_l(buf, &stop, cLocale) : std::strtod(buf, &stop);
  return p + (stop - buf);
}

RecordWriter& RecordWriter::Double(double v) {
  // As printf "%f" in the C locale, whatever the process locale is.
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  if (r.ec == std::errc()) out_.append(buf, static_cast<size_t>(r.ptr - buf));
  return *this;
}

void ParseContext::Flush() {
  if (!target_) return;
  char* copy = static_cast<char*>(std::malloc(text_.size() + 1));
  if (copy) {
    std::memcpy(copy, text_.data(), text_.size());
    copy[text_.size()] = 0;
    std::free(*target_);
    *target_ = copy;
  } else {
    report("Error allocating memory\n");
  }
  target_ = nullptr;
  text_.clear();
}

namespace {

// Index of the first key the line starts with, or -1.
template <size_t N>
int MatchKey(const std::string_view (&keys)[N], const char* p, const char* end) {
  for (size_t i = 0; i < N; ++i)
    if (StartsWith(p, end, keys[i])) return static_cast<int>(i);
  return -1;
}

char* DupText(const char* s) {
  if (!s) return nullptr;
  size_t n = std::strlen(s);
  char* c = static_cast<char*>(std::malloc(n + 1));
  if (c) std::memcpy(c, s, n + 1);
  return c;
}

// A duplicate of an owned text: false only when memory is missing.
bool DupOwned(const char* s, char** out) {
  *out = nullptr;
  if (!s) return true;
  *out = DupText(s);
  return *out != nullptr;
}

void Terminate(char* field, size_t cap) { field[cap - 1] = 0; }

// "FIO: " and its kin: three parts separated by blanks, each cut to 63 characters.
bool ParseNames(const char* p, const char* end, char (*fio)[64]) {
  const char* stop = LineEnd(p, end);
  for (int part = 0; part < 2; ++part) {
    const char* blank = Find(p, stop, ' ');
    if (!blank) {
      CopyField(fio[part], 64, p, stop, 63);
      return false;
    }
    CopyField(fio[part], 64, p, blank, 63);
    p = blank + 1;
  }
  const char* blank = Find(p, stop, ' ');
  CopyField(fio[2], 64, p, blank ? blank : stop, 63);
  return true;
}

void WriteNames(RecordWriter& w, const char (*fio)[64]) {
  w.Field(fio[0], 64).Char(' ').Field(fio[1], 64).Char(' ').Field(fio[2], 64).Nl();
}

// The rest of a line that ends at the first blank, semicolon or line end, cut to max.
void CopyWord(char* dst, size_t cap, const char* p, const char* end, size_t max) {
  const char* stop = LineEnd(p, end);
  if (static_cast<size_t>(stop - p) > max) stop = p + max;
  const char* q = p;
  while (q < stop && *q != ' ' && *q != ';') ++q;
  CopyField(dst, cap, p, q, max);
}

void CopyToLineEnd(char* dst, size_t cap, const char* p, const char* end) {
  CopyField(dst, cap, p, LineEnd(p, end), cap - 1);
}

void WriteOwnedText(RecordWriter& w, std::string_view key, const char* text) {
  if (!text) return;
  size_t n = std::strlen(text);
  w.Raw(key).Text(text, n);
  if (n == 0 || text[n - 1] != '\n') w.Nl();
}

int ClampOrgans(int32_t n) { return n < 0 ? 0 : n > MEDSTORE_MAX_ORGANS ? MEDSTORE_MAX_ORGANS : n; }

}  // namespace

void FreeFileList(file_list* list) {
  if (!list) return;
  file_item* f = list->head;
  while (f) {
    file_item* next = f->next;
    std::free(f->name);
    std::free(f);
    f = next;
  }
  std::free(list);
}

int CloneFileList(const file_list* from, file_list** to) {
  *to = static_cast<file_list*>(std::calloc(1, sizeof(file_list)));
  if (!*to) return -1;
  for (const file_item* f = from ? from->head : nullptr; f; f = f->next) {
    auto* c = static_cast<file_item*>(std::calloc(1, sizeof(file_item)));
    char* name = DupText(f->name ? f->name : "");
    if (!c || !name) {
      std::free(c);
      std::free(name);
      FreeFileList(*to);
      *to = nullptr;
      return -1;
    }
    c->name = name;
    c->next = (*to)->head;
    (*to)->head = c;
  }
  return 0;
}

namespace {

// Copies a fixed-layout item and its file list; owned parts are the caller's to duplicate.
template <class Item>
Item* CopyShell(const Item& src) {
  auto* c = static_cast<Item*>(std::malloc(sizeof(Item)));
  if (!c) return nullptr;
  std::memcpy(static_cast<void*>(c), &src, sizeof(Item));
  c->size = sizeof(Item);
  c->version = MEDSTORE_ITEM_VERSION;
  c->prev = nullptr;
  c->next = nullptr;
  c->files = nullptr;
  return c;
}

// Owned texts and files of the items that carry Diagnosis and Notes (patients, operations).
// c is a CopyShell of src; false when memory ran out (what was copied is still c's).
template <class Item>
bool CopyTextsAndFiles(const Item& src, Item& c) {
  c.Diagnosis = c.Notes = nullptr;
  return DupOwned(src.Diagnosis, &c.Diagnosis) && DupOwned(src.Notes, &c.Notes) &&
         CloneFileList(src.files, &c.files) == 0;
}

template <class Item>
void FreeTextsAndFiles(Item& item) {
  std::free(item.Diagnosis);
  std::free(item.Notes);
  FreeFileList(item.files);
  item.Diagnosis = item.Notes = nullptr;
  item.files = nullptr;
}

}  // namespace

// ---------------------------------------------------------------- patients

void InitItem(user_item& item) {
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
}

namespace {

constexpr std::string_view kUserKeys[] = {
    "FIO: ",       "idFIO: ",   "UserNumber: ", "UserCard: ",    "Sex: ",       "Birthday: ",
    "NidOrgans: ", "idOrgan: ", "Organ: ",      "idDiagnosis: ", "Diagnosis: ", "Notes: "};

void ParseOrganTexts(ParseContext& ctx, user_item& item, const char* p, const char* end) {
  int n = ClampOrgans(item.NidOrgans);
  const char* stop = LineEnd(p, end);
  for (int i = 0; i < n; ++i) {
    const char* sep = nullptr;
    for (const char* q = Find(p, stop, ';'); q; q = Find(q + 1, stop, ';'))
      if (q + 1 < stop && q[1] == ' ') {
        sep = q;
        break;
      }
    if (sep) {
      CopyField(item.Organ[i], 100, p, sep, 98);
      p = sep + 2;
      continue;
    }
    CopyWord(item.Organ[i], 100, p, end, 98);
    if (i < n - 1) ctx.report("Error parsing organ description\n");
    return;
  }
}

void ParseUserDiagnoses(ParseContext& ctx, user_item& item, const char* p, const char* end) {
  bool tooManyRows = false, tooManyIds = false;
  int row = 0, col = 0;
  const char* stop = LineEnd(p, end);
  while (p < stop) {
    int32_t v;
    bool digits;
    const char* after = ScanInt(p, stop, &v, &digits);
    if (digits) {
      if (row >= MEDSTORE_MAX_ORGANS) {
        ctx.ReportOnce("Too many organs in diagnosis\n", tooManyRows);
        row = MEDSTORE_MAX_ORGANS - 1;
      }
      if (col >= MEDSTORE_MAX_DIAGNOSES) {
        ctx.ReportOnce("Too many diagnosis for an organ\n", tooManyIds);
        col = MEDSTORE_MAX_DIAGNOSES - 1;
      }
      item.idDiagnosis[row][col++] = v;
      if (after < stop && *after == ';') {
        ++row;
        col = 0;
      }
    }
    const char* blank = Find(after, stop, ' ');
    if (!blank) break;
    p = blank + 1;
  }
}

}  // namespace

bool ParseLine(ParseContext& ctx, user_item& item, const char* p, const char* end) {
  int k = MatchKey(kUserKeys, p, end);
  if (k < 0) return false;
  ctx.Flush();
  p += kUserKeys[k].size();
  switch (k) {
    case 0:
      if (!ParseNames(p, end, item.FIO)) ctx.report("Illegal FIO\n");
      break;
    case 1:
      ScanInt(p, end, &item.idFIO);
      ctx.RaiseLastId(item.idFIO);
      break;
    case 2:
      ScanInt(p, end, &item.UserNumber);
      break;
    case 3: {
      const char* stop = LineEnd(p, end);
      const char* blank = Find(p, stop, ' ');
      CopyField(item.UserCard, 128, p, blank ? blank : stop, 127);
      break;
    }
    case 4:
      if (p < end && *p == 'M') {
        item.Sex = 1;
      } else if (p < end && *p == 'F') {
        item.Sex = 2;
      } else {
        item.Sex = 0;
        ctx.report("Error parsing sex\n");
      }
      break;
    case 5:
      if (ScanIntList(p, end, item.Birthday, 3) < 3) ctx.report("Error parsing birthday\n");
      break;
    case 6:
      ScanInt(p, end, &item.NidOrgans);
      if (item.NidOrgans > MEDSTORE_MAX_ORGANS || item.NidOrgans < 0) {
        ctx.report("Incorrect number of organs\n");
        item.NidOrgans = ClampOrgans(item.NidOrgans);
      }
      break;
    case 7: {
      int n = ClampOrgans(item.NidOrgans);
      if (n > 0 && ScanIntList(p, LineEnd(p, end), item.idOrgan, n) < n)
        ctx.report("Error parsing organ id\n");
      break;
    }
    case 8:
      ParseOrganTexts(ctx, item, p, end);
      break;
    case 9:
      ParseUserDiagnoses(ctx, item, p, end);
      break;
    case 10:
      ctx.BeginText(&item.Diagnosis, p, end);
      break;
    case 11:
      ctx.BeginText(&item.Notes, p, end);
      break;
  }
  return true;
}

void WriteRecord(std::string& out, const user_item& item) {
  RecordWriter w(out);
  w.Raw("FIO: ");
  WriteNames(w, item.FIO);
  w.Raw("idFIO: ").Int(item.idFIO).Nl();
  w.Raw("UserNumber: ").Int(item.UserNumber).Nl();
  w.Raw("UserCard: ").Field(item.UserCard, 128).Nl();
  w.Raw("Sex: ").Char(item.Sex == 1 ? 'M' : item.Sex == 2 ? 'F' : 'U').Nl();
  w.Raw("Birthday: ").Int(item.Birthday[0]).Char(' ').Int(item.Birthday[1]).Char(' ');
  w.Int(item.Birthday[2]).Nl();
  int n = ClampOrgans(item.NidOrgans);
  w.Raw("NidOrgans: ").Int(n).Nl();
  w.Raw("idOrgan:");
  for (int i = 0; i < n; ++i) w.Char(' ').Int(item.idOrgan[i]);
  w.Nl().Raw("Organ:");
  for (int i = 0; i < n; ++i) w.Char(' ').Field(item.Organ[i], 100).Char(';');
  w.Nl().Raw("idDiagnosis:");
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < MEDSTORE_MAX_DIAGNOSES; ++j)
      if (item.idDiagnosis[i][j] != 0) w.Char(' ').Int(item.idDiagnosis[i][j]);
    w.Char(';');
  }
  w.Nl();
  WriteOwnedText(w, "Diagnosis: ", item.Diagnosis);
  WriteOwnedText(w, "Notes: ", item.Notes);
}

int CopyItem(const user_item& src, user_item** out, Reporter report) {
  *out = nullptr;
  user_item* c = CopyShell(src);
  if (!c) {
    report("Warning: memory allocation failed\n");
    return -1;
  }
  for (auto& f : c->FIO) Terminate(f, 64);
  for (auto& o : c->Organ) Terminate(o, 100);
  Terminate(c->UserCard, 128);
  if (!CopyTextsAndFiles(src, *c)) {
    report("Warning: error allocating memory for user item\n");
    FreeContents(*c);
    std::free(c);
    return -1;
  }
  *out = c;
  return 0;
}

void FreeContents(user_item& item) { FreeTextsAndFiles(item); }

// ---------------------------------------------------------------- surgeons

void InitItem(doctor_item& item) {
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
}

bool ParseLine(ParseContext& ctx, doctor_item& item, const char* p, const char* end) {
  static constexpr std::string_view kKeys[] = {"FIO: ", "idFIO: "};
  int k = MatchKey(kKeys, p, end);
  if (k < 0) return false;
  ctx.Flush();
  p += kKeys[k].size();
  if (k == 0) {
    if (!ParseNames(p, end, item.FIO)) ctx.report("Illegal FIO\n");
  } else {
    ScanInt(p, end, &item.idFIO);
    ctx.RaiseLastId(item.idFIO);
  }
  return true;
}

void WriteRecord(std::string& out, const doctor_item& item) {
  RecordWriter w(out);
  w.Raw("FIO: ");
  WriteNames(w, item.FIO);
  w.Raw("idFIO: ").Int(item.idFIO).Nl();
}

int CopyItem(const doctor_item& src, doctor_item** out, Reporter report) {
  *out = nullptr;
  doctor_item* c = CopyShell(src);
  if (!c || CloneFileList(src.files, &c->files) != 0) {
    report("Warning: error allocating memory for doctor item\n");
    std::free(c);
    return -1;
  }
  for (auto& f : c->FIO) Terminate(f, 64);
  *out = c;
  return 0;
}

void FreeContents(doctor_item& item) {
  FreeFileList(item.files);
  item.files = nullptr;
}

// ---------------------------------------------------------------- operations

void InitItem(operation_item& item) {
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
}

bool ParseLine(ParseContext& ctx, operation_item& item, const char* p, const char* end) {
  static constexpr std::string_view kKeys[] = {
      "ID: ",         "Time: ",         "FIO_patient: ",      "idFIO_patient: ",
      "FIO_doctor: ", "idFIO_doctor: ", "TypeMechReceptor: ", "SubTypeMechReceptor: ",
      "idOrgan: ",    "Organ: ",        "idDiagnosis: ",      "Diagnosis: ",
      "Notes: "};
  int k = MatchKey(kKeys, p, end);
  if (k < 0) return false;
  ctx.Flush();
  p += kKeys[k].size();
  switch (k) {
    case 0:
      ScanInt(p, end, &item.ID);
      ctx.RaiseLastId(item.ID);
      break;
    case 1: {
      int32_t t[6] = {};
      int n = ScanIntList(p, LineEnd(p, end), t, 6);
      for (int i = 0; i < n; ++i) item.Time[i] = static_cast<int16_t>(t[i]);
      if (n < 6) ctx.report("Error parsing time\n");
      break;
    }
    case 2:
      if (!ParseNames(p, end, item.FIO_patient)) ctx.report("Illegal FIO_patient\n");
      break;
    case 3:
      ScanInt(p, end, &item.idFIO_patient);
      break;
    case 4:
      if (!ParseNames(p, end, item.FIO_doctor)) ctx.report("Illegal FIO_doctor\n");
      break;
    case 5:
      ScanInt(p, end, &item.idFIO_doctor);
      break;
    case 6:
      ScanInt(p, end, &item.TypeMechReceptor);
      break;
    case 7:
      ScanInt(p, end, &item.SubTypeMechReceptor);
      break;
    case 8:
      ScanInt(p, end, &item.idOrgan);
      break;
    case 9:
      CopyWord(item.Organ, 100, p, end, 98);
      break;
    case 10: {
      const char* stop = LineEnd(p, end);
      int32_t v;
      p = ScanInt(p, stop, &v);
      item.idDiagnosis[0] = v;
      for (int i = 1;; ++i) {
        const char* blank = Find(p, stop, ' ');
        if (!blank) break;
        p = ScanInt(blank + 1, stop, &v);
        if (i >= MEDSTORE_MAX_DIAGNOSES) {
          // Each number beyond the tenth is reported and overwrites the tenth.
          ctx.report("Too many diagnosis for an organ\n");
          i = MEDSTORE_MAX_DIAGNOSES - 1;
        }
        item.idDiagnosis[i] = v;
      }
      break;
    }
    case 11:
      ctx.BeginText(&item.Diagnosis, p, end);
      break;
    case 12:
      ctx.BeginText(&item.Notes, p, end);
      break;
  }
  return true;
}

void WriteRecord(std::string& out, const operation_item& item) {
  RecordWriter w(out);
  w.Raw("ID: ").Int(item.ID).Nl();
  w.Raw("Time:");
  for (int16_t t : item.Time) w.Char(' ').Int(t);
  w.Nl();
  w.Raw("FIO_patient: ");
  WriteNames(w, item.FIO_patient);
  w.Raw("idFIO_patient: ").Int(item.idFIO_patient).Nl();
  w.Raw("FIO_doctor: ");
  WriteNames(w, item.FIO_doctor);
  w.Raw("idFIO_doctor: ").Int(item.idFIO_doctor).Nl();
  w.Raw("TypeMechReceptor: ").Int(item.TypeMechReceptor).Nl();
  w.Raw("SubTypeMechReceptor: ").Int(item.SubTypeMechReceptor).Nl();
  w.Raw("idOrgan: ").Int(item.idOrgan).Nl();
  w.Raw("Organ: ").Field(item.Organ, 100).Nl();
  w.Raw("idDiagnosis:");
  for (int32_t d : item.idDiagnosis)
    if (d != 0) w.Char(' ').Int(d);
  w.Nl();
  WriteOwnedText(w, "Diagnosis: ", item.Diagnosis);
  WriteOwnedText(w, "Notes: ", item.Notes);
}

int CopyItem(const operation_item& src, operation_item** out, Reporter report) {
  *out = nullptr;
  operation_item* c = CopyShell(src);
  if (!c) {
    report("Warning: error allocating memory for operation item\n");
    return -1;
  }
  for (auto& f : c->FIO_patient) Terminate(f, 64);
  for (auto& f : c->FIO_doctor) Terminate(f, 64);
  Terminate(c->Organ, 100);
  if (!CopyTextsAndFiles(src, *c)) {
    report("Warning: error allocating memory for operation item\n");
    FreeContents(*c);
    std::free(c);
    return -1;
  }
  *out = c;
  return 0;
}

void FreeContents(operation_item& item) { FreeTextsAndFiles(item); }

// ---------------------------------------------------------------- pushes

void InitItem(push_item& item) {
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
  item.HeadNum = 19;
  item.RawNum = 26;
}

namespace {

void FreeFrames(push_frame* frames, int32_t from, int32_t to) {
  if (!frames) return;
  for (int32_t i = from; i < to; ++i) {
    std::free(frames[i].Values);
    frames[i].Values = nullptr;
  }
}

int32_t FrameCount(const push_item& item) { return item.NPress > 0 ? item.NPress : 0; }

int32_t ValuesPerFrame(int32_t n) { return n < 0 ? 0 : n > kMaxFrameValues ? kMaxFrameValues : n; }

const char* SkipBlanks(const char* p, const char* stop) {
  while (p < stop && IsBlank(*p)) ++p;
  return p;
}

// One value of a frame; a token that is no number reads as 0 and is skipped to its blank.
// p is at a character that is no blank. The hot loop of opening a push database.
inline const char* FrameNumber(const char* p, const char* stop, int32_t* v) {
  const char* q = p;
  bool negative = false;
  if (*q == '-' || *q == '+') {
    negative = *q == '-';
    ++q;
  }
  const char* digits = q;
  uint64_t acc = 0;
  while (q < stop && static_cast<unsigned>(*q - '0') < 10u) {
    if (acc <= 2147483648u) acc = acc * 10 + static_cast<unsigned>(*q - '0');
    ++q;
  }
  if (q == digits) {  // no number: 0, skipped to its blank
    *v = 0;
    while (p < stop && !IsBlank(*p)) ++p;
    return p;
  }
  int64_t value = negative ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
  *v = static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value);
  return q;
}

struct FrameLineState {
  bool formatError = false;
};

// Reads one frame at p; returns the position after it, or null when the line ended first.
const char* ParseFrame(ParseContext& ctx, FrameLineState& st, const char* p, const char* stop,
                       int32_t* values, int32_t count, int16_t* time) {
  for (int32_t j = 0; j < count; ++j) {
    p = SkipBlanks(p, stop);
    if (p >= stop) return nullptr;
    if (*p == 't' && StartsWith(p, stop, "time:")) {  // fewer values than expected
      ctx.ReportOnce("Warning: format error\n", st.formatError);
      break;
    }
    p = FrameNumber(p, stop, &values[j]);
  }
  p = SkipBlanks(p, stop);
  if (p >= stop) return nullptr;
  if (StartsWith(p, stop, "time: ")) {
    p += 6;
    for (int t = 0; t < 7; ++t) {
      p = SkipBlanks(p, stop);
      if (p >= stop) return nullptr;
      int32_t v;
      p = FrameNumber(p, stop, &v);
      time[t] = static_cast<int16_t>(v);
    }
    if (p < stop && *p == ';') return p + 1;
    if (p >= stop) return nullptr;
    ctx.ReportOnce("Warning: format error\n", st.formatError);
    return p;
  }
  ctx.ReportOnce("Warning: format error\n", st.formatError);
  if (*p == ';') ++p;
  return p;
}

// "Press: " and "RawPress: ": up to NPress frames of perFrame values each.
void ParseFrames(ParseContext& ctx, push_item& item, const char* p, const char* end,
                 int32_t perFrame, push_frame** target, push_frame* other) {
  int32_t wanted = FrameCount(item);
  if (*target) {  // a repeated line replaces the frames read before
    FreeFrames(*target, 0, wanted);
    std::free(*target);
    *target = nullptr;
  }
  ctx.framesRead = true;
  if (wanted == 0) return;
  const char* stop = LineEnd(p, end);
  FrameLineState st;
  std::vector<push_frame> frames;
  bool memoryLost = false;
  size_t valueBytes = static_cast<size_t>(perFrame > 0 ? perFrame : 1) * sizeof(int32_t);
  try {
    // A frame takes at least one character per value, so a line holds no more frames than
    // this: the values allocated stay within a small multiple of the line's length.
    int64_t fit = (stop - p + 1) / (static_cast<int64_t>(perFrame) + 1) + 1;
    int32_t most = fit < wanted ? static_cast<int32_t>(fit) : wanted;
    frames.reserve(static_cast<size_t>(most < 4096 ? most : 4096));
    while (static_cast<int32_t>(frames.size()) < wanted) {
      if (static_cast<int32_t>(frames.size()) == most) {
        ctx.ReportOnce("Warning: format error\n", st.formatError);
        break;
      }
      push_frame f{};
      f.Values = static_cast<int32_t*>(std::calloc(1, valueBytes));
      if (!f.Values) {
        memoryLost = true;
        break;
      }
      const char* next = ParseFrame(ctx, st, p, stop, f.Values, perFrame, f.Time);
      if (!next || next == p) {
        std::free(f.Values);
        break;
      }
      frames.push_back(f);
      p = next;
    }
  } catch (const std::bad_alloc&) {
    memoryLost = true;
  }
  int32_t got = static_cast<int32_t>(frames.size());
  if (memoryLost) {
    ctx.report("Warning: error allocating memory\n");
  } else if (got < wanted) {
    ctx.report("Warning: Not enough pushes\n");
  }
  push_frame* array = nullptr;
  if (got > 0) {
    array = static_cast<push_frame*>(std::malloc(sizeof(push_frame) * static_cast<size_t>(got)));
    if (!array) {
      if (!memoryLost) ctx.report("Warning: error allocating memory\n");
      for (auto& f : frames) std::free(f.Values);
      got = 0;
    } else {
      std::memcpy(array, frames.data(), sizeof(push_frame) * static_cast<size_t>(got));
    }
  }
  // Both frame arrays always hold NPress entries.
  if (got < wanted) FreeFrames(other, got, wanted);
  if (got == 0 && other) {
    std::free(other);
    if (item.Press == other) item.Press = nullptr;
    if (item.RawPress == other) item.RawPress = nullptr;
  }
  *target = array;
  item.NPress = got;
}

void ParseLabels(ParseContext& ctx, push_item& item, const char* p, const char* end) {
  if (item.Labels) {
    for (int32_t i = 0; i < item.NLabels; ++i) std::free(item.Labels[i].Comment);
    std::free(item.Labels);
    item.Labels = nullptr;
  }
  item.NLabels = 0;
  int32_t max = FrameCount(item);
  if (max == 0) return;
  const char* stop = LineEnd(p, end);
  std::vector<push_label> labels;
  bool memoryLost = false;
  try {
    while (static_cast<int32_t>(labels.size()) < max) {
      p = SkipBlanks(p, stop);
      if (p >= stop || *p == '}') break;
      push_label l{};
      const char* q = ScanInt(p, stop, &l.Type);
      const char* c1 = Find(q, stop, ':');
      if (!c1) break;
      q = ScanInt(c1 + 1, stop, &l.ElementaryPush);
      const char* c2 = Find(q, stop, ':');
      if (!c2) break;
      const char* semi = Find(c2 + 1, stop, ';');
      if (!semi) break;  // truncated entry
      size_t n = static_cast<size_t>(semi - (c2 + 1));
      l.Comment = static_cast<char*>(std::malloc(n + 1));
      if (!l.Comment) {
        memoryLost = true;
        break;
      }
      std::memcpy(l.Comment, c2 + 1, n);
      l.Comment[n] = 0;
      labels.push_back(l);
      p = semi + 1;
    }
  } catch (const std::bad_alloc&) {
    memoryLost = true;
  }
  if (!labels.empty() && !memoryLost) {
    item.Labels = static_cast<push_label*>(std::malloc(sizeof(push_label) * labels.size()));
    if (item.Labels) {
      std::memcpy(item.Labels, labels.data(), sizeof(push_label) * labels.size());
      item.NLabels = static_cast<int32_t>(labels.size());
      return;
    }
    memoryLost = true;
  }
  for (auto& l : labels) std::free(l.Comment);
  if (memoryLost) ctx.report("Error allocating memory\n");
}

// Value of a hexadecimal digit in either case; any other character counts as 0.
struct HexTable {
  unsigned char value[256] = {};
  constexpr HexTable() {
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<unsigned char>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<unsigned char>(c - 'A' + 10);
  }
};
constexpr HexTable kHex;

int HexValue(char c) { return kHex.value[static_cast<unsigned char>(c)]; }

void ParseDeviceData(push_item& item, const char* p, const char* end) {
  const char* stop = LineEnd(p, end);
  size_t n = static_cast<size_t>(stop - p);
  if (n > 2 * MEDSTORE_DEVICE_DATA_SIZE) n = 2 * MEDSTORE_DEVICE_DATA_SIZE;
  std::memset(item.DeviceData, 0, sizeof item.DeviceData);
  for (size_t i = 0; i + 1 < n; i += 2)
    item.DeviceData[i / 2] = static_cast<unsigned char>(HexValue(p[i]) << 4 | HexValue(p[i + 1]));
  if (n % 2) item.DeviceData[n / 2] = static_cast<unsigned char>(HexValue(p[n - 1]) << 4);
}

void WriteFrames(RecordWriter& w, const push_frame* frames, int32_t n, int32_t perFrame) {
  for (int32_t i = 0; i < n; ++i) {
    const push_frame& f = frames[i];
    for (int32_t j = 0; j < perFrame; ++j) w.Char(' ').Int(f.Values ? f.Values[j] : 0);
    w.Raw(" time:");
    for (int16_t t : f.Time) w.Char(' ').Int(t);
    w.Char(';');
  }
}

}  // namespace

bool ParseLine(ParseContext& ctx, push_item& item, const char* p, const char* end) {
  static constexpr std::string_view kKeys[] = {
      "ID: ",    "OperationID: ", "DeviceID: ", "DeviceIDTxt: ", "DeviceData: ",
      "Time: ",  "DT: ",          "HeadNum: ",  "RawNum: ",      "NPress: ",
      "Press: ", "RawPress: ",    "Labels: { ", "Notes: "};
  int k = MatchKey(kKeys, p, end);
  if (k < 0) return false;
  ctx.Flush();
  p += kKeys[k].size();
  switch (k) {
    case 0:
      ScanInt(p, end, &item.ID);
      ctx.RaiseLastId(item.ID);
      break;
    case 1:
      ScanInt(p, end, &item.OperationID);
      break;
    case 2:
      ScanInt(p, end, &item.DeviceID);
      break;
    case 3:
      CopyToLineEnd(item.DeviceIDTxt, 32, p, end);
      break;
    case 4:
      ParseDeviceData(item, p, end);
      break;
    case 5: {
      int32_t t[7] = {};
      int n = ScanIntList(p, LineEnd(p, end), t, 7);
      for (int i = 0; i < 7; ++i) item.Time[i] = static_cast<int16_t>(t[i]);
      for (int i = n; i < 6; ++i) ctx.report("Error parsing time\n");
      break;
    }
    case 6:
      ScanInt(p, end, &item.DT);
      break;
    case 7:
    case 8:
    case 9: {
      int32_t v;
      ScanInt(p, end, &v);
      int32_t limit = k == 9 ? INT32_MAX : kMaxFrameValues;
      if (ctx.framesRead || v < 0 || v > limit) {
        // The frames already read fix the sizes; other values out of range are clamped.
        ctx.report("Warning: format error\n");
        if (ctx.framesRead) break;
        v = v < 0 ? 0 : limit;
      }
      (k == 7 ? item.HeadNum : k == 8 ? item.RawNum : item.NPress) = v;
      break;
    }
    case 10:
      ParseFrames(ctx, item, p, end, ValuesPerFrame(item.HeadNum), &item.Press, item.RawPress);
      break;
    case 11:
      ParseFrames(ctx, item, p, end, ValuesPerFrame(item.RawNum), &item.RawPress, item.Press);
      break;
    case 12:
      ParseLabels(ctx, item, p, end);
      break;
    case 13:
      ctx.BeginText(&item.Notes, p, end);
      break;
  }
  return true;
}

void FinishRecord(push_item& item) {
  // A count without frames (no "Press: " line) would promise frames that are not there.
  if (!item.Press) {
    if (item.RawPress) {
      FreeFrames(item.RawPress, 0, FrameCount(item));
      std::free(item.RawPress);
      item.RawPress = nullptr;
    }
    item.NPress = 0;
  }
}

void WriteRecord(std::string& out, const push_item& item) {
  RecordWriter w(out);
  int32_t n = item.Press ? FrameCount(item) : 0;
  int32_t head = ValuesPerFrame(item.HeadNum), raw = ValuesPerFrame(item.RawNum);
  size_t estimate = static_cast<size_t>(n) * static_cast<size_t>(head + raw + 20) * 8;
  out.reserve(out.size() + 41000 + std::min<size_t>(estimate, size_t{4} << 20));
  w.Raw("ID: ").Int(item.ID).Nl();
  w.Raw("OperationID: ").Int(item.OperationID).Nl();
  w.Raw("DeviceID: ").Int(item.DeviceID).Nl();
  w.Raw("DeviceIDTxt: ").Field(item.DeviceIDTxt, 32).Nl();
  w.Raw("Time:");
  for (int16_t t : item.Time) w.Char(' ').Int(t);
  w.Nl();
  w.Raw("DT: ").Int(item.DT).Nl();
  w.Raw("HeadNum: ").Int(head).Nl();
  w.Raw("RawNum: ").Int(raw).Nl();
  w.Raw("NPress: ").Int(n).Nl();
  w.Raw("Press:");
  if (item.Press) WriteFrames(w, item.Press, n, head);
  w.Nl();
  if (item.RawPress && item.Press) {
    w.Raw("RawPress:");
    WriteFrames(w, item.RawPress, n, raw);
    w.Nl();
  }
  if (item.Labels) {
    w.Raw("Labels: { ");
    for (int32_t i = 0; i < item.NLabels; ++i) {
      const push_label& l = item.Labels[i];
      w.Int(l.Type).Char(':').Int(l.ElementaryPush).Char(':').Owned(l.Comment).Raw("; ");
    }
    w.Raw("}").Nl();
  }
  WriteOwnedText(w, "Notes: ", item.Notes);
  w.Raw("DeviceData: ").Hex(item.DeviceData, sizeof item.DeviceData).Nl();
}

namespace {

push_frame* CopyFrames(const push_frame* src, int32_t n, int32_t perFrame) {
  auto* c = static_cast<push_frame*>(std::calloc(static_cast<size_t>(n), sizeof(push_frame)));
  if (!c) return nullptr;
  size_t bytes = static_cast<size_t>(perFrame > 0 ? perFrame : 1) * sizeof(int32_t);
  for (int32_t i = 0; i < n; ++i) {
    std::memcpy(c[i].Time, src[i].Time, sizeof c[i].Time);
    c[i].Values = static_cast<int32_t*>(std::calloc(1, bytes));
    if (!c[i].Values) {
      FreeFrames(c, 0, i);
      std::free(c);
      return nullptr;
    }
    if (src[i].Values && perFrame > 0)
      std::memcpy(c[i].Values, src[i].Values, static_cast<size_t>(perFrame) * sizeof(int32_t));
  }
  return c;
}

}  // namespace

int CopyItem(const push_item& src, push_item** out, Reporter report) {
  *out = nullptr;
  push_item* c = CopyShell(src);
  if (!c) {
    report("Warning: error allocating memory for push item\n");
    return -1;
  }
  c->Press = c->RawPress = nullptr;
  c->Notes = nullptr;
  c->Labels = nullptr;
  Terminate(c->DeviceIDTxt, 32);
  c->HeadNum = ValuesPerFrame(src.HeadNum);
  c->RawNum = ValuesPerFrame(src.RawNum);
  int32_t n = src.Press ? FrameCount(src) : 0;
  c->NPress = n;
  int32_t labels = src.Labels && src.NLabels > 0 ? src.NLabels : 0;
  c->NLabels = labels;
  bool ok = true;
  if (n > 0) {
    c->Press = CopyFrames(src.Press, n, c->HeadNum);
    ok = c->Press != nullptr;
    if (ok && src.RawPress) {
      c->RawPress = CopyFrames(src.RawPress, n, c->RawNum);
      ok = c->RawPress != nullptr;
    }
  }
  ok = ok && DupOwned(src.Notes, &c->Notes) && CloneFileList(src.files, &c->files) == 0;
  if (!ok) {
    report("Warning: error allocating memory for push item\n");
    c->NLabels = 0;
    FreeContents(*c);
    std::free(c);
    return -1;
  }
  if (src.Labels) {
    c->Labels = static_cast<push_label*>(
        std::calloc(static_cast<size_t>(labels > 0 ? labels : 1), sizeof(push_label)));
    ok = c->Labels != nullptr;
    for (int32_t i = 0; ok && i < labels; ++i) {
      c->Labels[i].Type = src.Labels[i].Type;
      c->Labels[i].ElementaryPush = src.Labels[i].ElementaryPush;
      ok = DupOwned(src.Labels[i].Comment ? src.Labels[i].Comment : "", &c->Labels[i].Comment);
    }
    if (!ok) {
      report("Warning: error alocating memory for push item\n");
      FreeContents(*c);
      std::free(c);
      return -1;
    }
  }
  *out = c;
  return 0;
}

void FreeContents(push_item& item) {
  int32_t n = FrameCount(item);
  if (item.Press) FreeFrames(item.Press, 0, n);
  if (item.RawPress) FreeFrames(item.RawPress, 0, n);
  std::free(item.Press);
  std::free(item.RawPress);
  if (item.Labels)
    for (int32_t i = 0; i < item.NLabels; ++i) std::free(item.Labels[i].Comment);
  std::free(item.Labels);
  std::free(item.Notes);
  FreeFileList(item.files);
  item.Press = item.RawPress = nullptr;
  item.Labels = nullptr;
  item.NLabels = 0;
  item.NPress = 0;
  item.Notes = nullptr;
  item.files = nullptr;
}

// ---------------------------------------------------------------- devices

void InitItem(device_item& item) {
  std::memset(static_cast<void*>(&item), 0, sizeof item);
  item.size = sizeof item;
  item.version = MEDSTORE_ITEM_VERSION;
  item.NSensors = 19;
}

namespace {

int ScanDoubleList(const char* p, const char* stop, double* out, int n) {
  p = ScanDouble(p, stop, &out[0]);
  int i = 1;
  for (; i < n; ++i) {
    const char* blank = Find(p, stop, ' ');
    if (!blank) break;
    p = ScanDouble(blank + 1, stop, &out[i]);
  }
  return i;
}

}  // namespace

bool ParseLine(ParseContext& ctx, device_item& item, const char* p, const char* end) {
  static constexpr std::string_view kKeys[] = {
      "ID: ",         "Type: ",         "InitString: ", "NSensors: ",  "Max: ",
      "Properties: ", "DeviceNumber: ", "DeviceID: ",   "Date: ",      "RefNumber: ",
      "Slopes: ",     "Shifts: ",       "NoiseLevel: ", "RefSlopes: ", "RefShifts: "};
  int k = MatchKey(kKeys, p, end);
  if (k < 0) return false;
  ctx.Flush();
  p += kKeys[k].size();
  const char* stop = LineEnd(p, end);
  switch (k) {
    case 0:
      ScanInt(p, stop, &item.ID);
      ctx.RaiseLastId(item.ID);
      break;
    case 1:
      ScanInt(p, stop, &item.Type);
      break;
    case 2:
      CopyToLineEnd(item.InitString, 128, p, end);
      break;
    case 3:
      ScanInt(p, stop, &item.NSensors);
      break;
    case 4:
      ScanInt(p, stop, &item.Max);
      break;
    case 5:
      ScanIntList(p, stop, item.Properties, MEDSTORE_DEVICE_VALUES);
      break;
    case 6:
      ScanInt(p, stop, &item.DeviceNumber);
      break;
    case 7:
      CopyToLineEnd(item.DeviceID, 32, p, end);
      break;
    case 8: {
      int n = ScanIntList(p, stop, item.Date, 6);
      for (int i = n; i < 6; ++i) ctx.report("Error parsing time\n");
      break;
    }
    case 9:
      ScanInt(p, stop, &item.RefNumber);
      break;
    case 10:
      ScanDoubleList(p, stop, item.Slopes, MEDSTORE_DEVICE_VALUES);
      break;
    case 11:
      ScanDoubleList(p, stop, item.Shifts, MEDSTORE_DEVICE_VALUES);
      break;
    case 12:
      ScanDoubleList(p, stop, item.NoiseLevel, MEDSTORE_DEVICE_VALUES);
      break;
    case 13:
      ScanDouble(p, stop, &item.RefSlopes);
      break;
    case 14:
      ScanDouble(p, stop, &item.RefShifts);
      break;
  }
  return true;
}

void WriteRecord(std::string& out, const device_item& item) {
  RecordWriter w(out);
  w.Raw("ID: ").Int(item.ID).Nl();
  w.Raw("Type: ").Int(item.Type).Nl();
  w.Raw("InitString: ").Field(item.InitString, 128).Nl();
  w.Raw("NSensors: ").Int(item.NSensors).Nl();
  w.Raw("Max: ").Int(item.Max).Nl();
  w.Raw("Properties:");
  for (int32_t v : item.Properties) w.Char(' ').Int(v);
  w.Nl();
  w.Raw("DeviceNumber: ").Int(item.DeviceNumber).Nl();
  w.Raw("DeviceID: ").Field(item.DeviceID, 32).Nl();
  w.Raw("Date:");
  for (int32_t v : item.Date) w.Char(' ').Int(v);
  w.Nl();
  w.Raw("RefNumber: ").Int(item.RefNumber).Nl();
  w.Raw("Slopes:");
  for (double v : item.Slopes) w.Char(' ').Double(v);
  w.Nl().Raw("Shifts:");
  for (double v : item.Shifts) w.Char(' ').Double(v);
  w.Nl().Raw("NoiseLevel:");
  for (double v : item.NoiseLevel) w.Char(' ').Double(v);
  w.Nl();
  w.Raw("RefSlopes: ").Double(item.RefSlopes).Nl();
  w.Raw("RefShifts: ").Double(item.RefShifts).Nl();
}

int CopyItem(const device_item& src, device_item** out, Reporter report) {
  *out = nullptr;
  device_item* c = CopyShell(src);
  if (!c || CloneFileList(src.files, &c->files) != 0) {
    report("Warning: error allocating memory for device item\n");
    std::free(c);
    return -1;
  }
  Terminate(c->InitString, 128);
  Terminate(c->DeviceID, 32);
  *out = c;
  return 0;
}

void FreeContents(device_item& item) {
  FreeFileList(item.files);
  item.files = nullptr;
}

}  // namespace medstore::detail
