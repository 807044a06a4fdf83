// Files as the stored formats expect them. A mode without 'b' is text mode, as on Windows:
// '\n' is written as CR LF, and CR LF reads back as '\n' (a plain LF is accepted too).
// SafeFile writes a replacement beside the old file and renames it into place on Commit, so a
// failed write leaves the old file as it was.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/cp1251.h"

class File {
 public:
  File() = default;
  File(std::string_view winPath, const char* mode) { Open(winPath, mode); }
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // fopen modes "r", "w", "a", "r+", "w+", "a+", each optionally with "b" or "t".
  bool Open(std::string_view winPath, const char* mode);
  bool IsOpen() const { return f_ != nullptr; }
  bool TextMode() const { return text_; }
  explicit operator bool() const { return IsOpen(); }

  size_t Write(const void* data, size_t size);
  bool Puts(std::string_view s) { return Write(s.data(), s.size()) == s.size(); }
  int Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  int VPrintf(const char* fmt, va_list args);

  size_t Read(void* data, size_t size);
  int Getc();  // EOF at the end
  // fgets: at most n-1 bytes, up to and including '\n'; nullptr at the end.
  char* Gets(char* buf, int n);
  // One line without its line end; false at the end of the file.
  bool GetLine(std::string& line);

  bool Seek(long offset, int whence);
  long Tell();
  bool Eof();
  bool Flush();
  // 0 when every write and the close succeeded, -1 otherwise. Idempotent.
  int Close();
  bool Failed() const { return failed_; }
  // The C stream, for fscanf of numbers (CR is white space to scanf).
  FILE* Raw() const { return f_; }

 protected:
  FILE* f_ = nullptr;
  bool text_ = false;
  bool failed_ = false;
  int pending_ = -2;  // one byte read ahead while translating CR LF
};

class SafeFile : public File {
 public:
  SafeFile() = default;
  SafeFile(std::string_view winPath, const char* mode) { OpenReplace(winPath, mode); }
  ~SafeFile();  // without Commit the temporary file is removed and the old file stays
  // mode is "w", "wb" or "wt".
  bool OpenReplace(std::string_view winPath, const char* mode);
  // Flushes, syncs, closes and renames over the target. 0 on success, -1 on any failure.
  int Commit();
  void Abandon();

 private:
  std::string target_;
  std::string temp_;
};

// Whole-file helpers. ReadWholeFile returns false when the file cannot be read.
bool ReadWholeFile(std::string_view winPath, std::string& out, bool textMode = false);
// Replacing write through SafeFile; 0 or -1.
int WriteWholeFile(std::string_view winPath, std::string_view data, bool textMode = false);
