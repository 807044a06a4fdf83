// Files as the stored formats expect them. A mode without 'b' is text mode, as on Windows:
// '\n' is written as CR LF, and CR LF reads back as '\n' (a plain LF is accepted too).
// SafeFile writes a replacement beside the old file and renames it into place on Commit, so a
// failed write leaves the old file as it was.
// Only regular files are opened: a FIFO, a device or a link to one inside a data folder would
// block the opener or never end, so it is refused without waiting on it, and a file opened for
// reading is refused when it is larger than a bound.
#pragma once

#include <sys/types.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/cp1251.h"

// The bound of a read when the caller names none (push files and imported logs are the largest).
inline constexpr int64_t kReadLimit = int64_t(256) << 20;

// open(2) of a host path that succeeds only for a regular file (flags may create one). Never
// waits on a FIFO or a device; for anything that is not a regular file it fails with errno
// EINVAL (ENXIO for a FIFO opened to write without a reader). The descriptor is blocking.
int OpenRegularFile(const std::filesystem::path& hostPath, int flags, mode_t mode = 0666);

class File {
 public:
  File() = default;
  File(std::string_view winPath, const char* mode, int64_t maxBytes = kReadLimit) {
    Open(winPath, mode, maxBytes);
  }
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // fopen modes "r", "w", "a", "r+", "w+", "a+", each optionally with "b" or "t". False for
  // anything but a regular file, and in mode "r" or "r+" for a file of more than maxBytes; such
  // a refusal (not a missing file or a folder) is reported in the message log unless quiet.
  bool Open(std::string_view winPath, const char* mode, int64_t maxBytes = kReadLimit,
            bool quiet = false);
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
  int64_t Size();  // bytes of the open file, -1 without one
  // 0 when every write and the close succeeded, -1 otherwise. Idempotent.
  int Close();
  bool Failed() const { return failed_; }
  // The last Open refused the file: not a regular file, or over the bound (also when quiet).
  bool Refused() const { return refused_; }
  // The C stream, for fscanf of numbers (CR is white space to scanf).
  FILE* Raw() const { return f_; }

 protected:
  FILE* f_ = nullptr;
  bool text_ = false;
  bool failed_ = false;
  bool refused_ = false;
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

// Whole-file helpers. ReadWholeFile returns false when the file cannot be read, is not a regular
// file or holds more than maxBytes (refusals are reported as File::Open does).
bool ReadWholeFile(std::string_view winPath, std::string& out, bool textMode = false,
                   int64_t maxBytes = kReadLimit, bool quiet = false);
// Replacing write through SafeFile; 0 or -1.
int WriteWholeFile(std::string_view winPath, std::string_view data, bool textMode = false);
