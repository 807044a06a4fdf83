// Host file system for medstore: database paths in Windows form ("c:\TacmonData\DB", any case,
// "\" or "/") resolved to host folders ($TACMON_DATA, default ~/TacmonData), whole-file reads,
// replacing writes (temp file + rename) and directory listing. Names on disk are UTF-8, names
// inside the library CP1251.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace medstore::detail {

std::string Cp1251ToUtf8(std::string_view text);
// Valid UTF-8 becomes CP1251 ('?' for characters it lacks); anything else is kept as it is.
std::string Utf8ToCp1251(std::string_view utf8);
unsigned char Cp1251Lower(unsigned char c);
bool EqualNoCase(std::string_view a, std::string_view b);

// Host path of a path as the system writes it: the database root "c:\TacmonData" maps to
// $TACMON_DATA, "c:\Tacmon" to $TACMON_ROOT; each component matches an existing entry ignoring
// case; trailing blanks and dots of a component are dropped.
std::string ResolvePath(std::string_view path);

struct Entry {
  std::string name;  // as on disk
  bool isDirectory = false;
};
// Entries of a folder (without "." and ".."); false when it cannot be listed.
bool ListFolder(const std::string& folder, std::vector<Entry>& out);
bool ListFolderAt(int dirFd, std::vector<Entry>& out);  // dirFd stays open

// An entry of the folder whose name equals name ignoring case; exact name preferred.
std::string FindNoCase(const std::string& folder, const std::string& name);

// Reads a file whole, only when it is a regular file of at most maxSize bytes: a FIFO, a device
// or a link to one is never read, so it can neither block nor fill the memory.
enum class ReadResult { kDone, kMissing, kNotRegular, kTooLarge, kFailed };
ReadResult ReadWhole(const std::string& path, std::string& out, size_t maxSize);
ReadResult ReadWholeAt(int dirFd, const char* name, std::string& out, size_t maxSize);

// Writes data into folder/name through a temp file in the same folder renamed over the target;
// the file is synced before the rename and the folder after it, so a crash leaves the old or
// the new content, never an empty file. The old file stays untouched when anything fails.
bool WriteReplacing(const std::string& folder, const std::string& name, std::string_view data);

// Makes a change of the folder's entries (a rename, a new subfolder) durable. A file system that
// cannot sync folders counts as done.
bool SyncFolder(const std::string& folder);

// kExists only for a folder; anything else in the way is kFailed.
enum class MakeDirResult { kCreated, kExists, kFailed };
MakeDirResult MakeDir(const std::string& path);
bool RemoveDir(const std::string& path);  // an empty folder only
// 0 when the file is gone afterwards (also when it was missing), else -1.
int RemoveFileIfPresent(const std::string& path);

}  // namespace medstore::detail
