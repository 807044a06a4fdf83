// The five record kinds: empty items with their defaults, the line parsers of the record
// files, the writers, deep copies and freeing.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "medstore/medstore.h"

namespace medstore::detail {

// Largest HeadNum / RawNum accepted from a file or written.
inline constexpr int32_t kMaxFrameValues = 4096;

struct Reporter {
  medstore_report_fn fn = nullptr;
  void operator()(const char* message) const {
    if (fn) fn(message);
  }
};

// State of reading one record file.
class ParseContext {
 public:
  ParseContext(Reporter report, int32_t* lastId) : report(report), lastId_(lastId) {}
  ~ParseContext() { Flush(); }

  void RaiseLastId(int32_t id) {
    if (lastId_ && id > *lastId_) *lastId_ = id;
  }
  // Diagnosis and Notes take the rest of their line; lines without a key that follow are
  // appended, so multi-line texts survive a read.
  void BeginText(char** target, const char* from, const char* to) {
    Flush();
    target_ = target;
    text_.assign(from, to);
  }
  bool InText() const { return target_ != nullptr; }
  void AppendText(const char* from, const char* to) { text_.append(from, to); }
  void Flush();
  // Each message at most once per line, so a damaged line cannot flood the log.
  void ReportOnce(const char* message, bool& given) {
    if (!given) report(message);
    given = true;
  }

  Reporter report;
  bool framesRead = false;  // push records: the sizes are fixed once frames were read

 private:
  int32_t* lastId_;
  char** target_ = nullptr;
  std::string text_;
};

// Splits a record file into lines (CR LF and LF accepted; a line keeps its "\n") and hands
// them to the parser of the kind. Lines without a key continue a Diagnosis or Notes text.
template <class Parser>
void ParseRecordText(ParseContext& ctx, std::string& text, Parser&& parseLine) {
  char* p = text.data();
  char* end = p + text.size();
  while (p < end) {
    char* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    char* lineEnd = nl ? nl + 1 : end;
    if (nl && nl > p && nl[-1] == '\r') {  // text mode: CR LF reads as LF
      nl[-1] = '\n';
      --lineEnd;
    }
    if (!parseLine(static_cast<const char*>(p), static_cast<const char*>(lineEnd)) && ctx.InText())
      ctx.AppendText(p, lineEnd);
    p = nl ? nl + 1 : end;
  }
  ctx.Flush();
}

void InitItem(user_item& item);
void InitItem(doctor_item& item);
void InitItem(operation_item& item);
void InitItem(push_item& item);
void InitItem(device_item& item);

// Return true when the line started with a key of the kind.
bool ParseLine(ParseContext& ctx, user_item& item, const char* p, const char* end);
bool ParseLine(ParseContext& ctx, doctor_item& item, const char* p, const char* end);
bool ParseLine(ParseContext& ctx, operation_item& item, const char* p, const char* end);
bool ParseLine(ParseContext& ctx, push_item& item, const char* p, const char* end);
bool ParseLine(ParseContext& ctx, device_item& item, const char* p, const char* end);

// Settles what the lines of a record left inconsistent; called after the last line.
inline void FinishRecord(user_item&) {}
inline void FinishRecord(doctor_item&) {}
inline void FinishRecord(operation_item&) {}
void FinishRecord(push_item& item);
inline void FinishRecord(device_item&) {}

void WriteRecord(std::string& out, const user_item& item);
void WriteRecord(std::string& out, const doctor_item& item);
void WriteRecord(std::string& out, const operation_item& item);
void WriteRecord(std::string& out, const push_item& item);
void WriteRecord(std::string& out, const device_item& item);

// Deep copies: 0, or -1 after reporting and freeing the partial copy.
int CopyItem(const user_item& src, user_item** out, Reporter report);
int CopyItem(const doctor_item& src, doctor_item** out, Reporter report);
int CopyItem(const operation_item& src, operation_item** out, Reporter report);
int CopyItem(const push_item& src, push_item** out, Reporter report);
int CopyItem(const device_item& src, device_item** out, Reporter report);

// Free what the item owns (not the item).
void FreeContents(user_item& item);
void FreeContents(doctor_item& item);
void FreeContents(operation_item& item);
void FreeContents(push_item& item);
void FreeContents(device_item& item);

void FreeFileList(file_list* list);
// Clone in the library's way: entries come out in reverse order. Null source: empty list.
int CloneFileList(const file_list* from, file_list** to);

}  // namespace medstore::detail
