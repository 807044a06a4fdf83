// The log file "Logs\LogFile2.log": appends messages and cuts the file to its newest 9999
// lines once it holds more than 10000. The writer remembers where each line of the file ends,
// so a message costs one append (and the file is read again only when someone else changed it).
// Not thread-safe: the message log's file thread is its only user.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace msglog {

class LogFileWriter {
 public:
  // Uses winPath from now on; a new path (or force) resolves it again.
  void SetPath(std::string_view winPath, bool force = false);
  const Text1251& Path() const { return path_; }

  // Cuts the file when it holds more than 10000 lines, then appends lines (ended by LF,
  // written as CR LF). 0, or -1 when the file could not be written.
  int AppendLines(std::string_view lfLines);
  // Appends without the cut (the start header of a reload).
  int AppendRaw(std::string_view lfLines);
  // The file's line count (LF characters), or -1 when it cannot be read.
  long LineCount();
  // The file read in pieces of at most 1022 bytes, line ends removed (what a reload reads).
  // False when the file cannot be opened.
  bool ReadPieces(std::vector<Text1251>& pieces);
  // Deletes the file.
  void Remove();
  // Forgets what is known about the file (it is read again before the next append).
  void Invalidate() { known_ = false; }

 private:
  bool Refresh();  // makes lineEnds_ match the file on disk
  int Cut();
  void Remember(int fd);
  void NoteRefusal();  // after an open failed: tells once when the path is no regular file

  Text1251 path_;
  std::filesystem::path host_;
  bool known_ = false;
  // Identity of the file as we left it.
  int64_t size_ = -1;
  ino_t ino_ = 0;
  std::timespec mtime_{};
  // Offset just after each LF of the file.
  std::vector<int64_t> lineEnds_;
  Text1251 refusalNoted_;
};

}  // namespace msglog
