// Data roots and Windows-style paths. Paths inside the system keep their Windows form
// ("c:\Tacmon\pars\KCDMain.par") and are resolved only when a file is opened:
//  - "c:\Tacmon\" maps to $TACMON_ROOT (default ~/Tacmon), "c:\TacmonData\" to $TACMON_DATA
//    (default ~/TacmonData), in any letter case, with "\" or "/" as separators;
//  - each component matches an existing entry case-insensitively (new ones are created as
//    spelled); trailing blanks and dots of a component are dropped as on Windows;
//  - names on disk are UTF-8; names inside the system are CP1251.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace winpath {

// The roots as the system writes them, with their trailing backslash.
inline constexpr const char* kDataRoot = "c:\\Tacmon\\";
inline constexpr const char* kDatabaseRoot = "c:\\TacmonData\\";

// Host folders behind the roots; read from the environment on first use (ReloadRoots re-reads).
std::filesystem::path HostDataRoot();
std::filesystem::path HostDatabaseRoot();
// Folder of the COM port links: $TACMON_PORTS, else <data root>/ports.
std::filesystem::path PortsFolder();
void ReloadRoots();

// Host path for a system path. Never fails; missing components are kept as spelled.
std::filesystem::path Resolve(std::string_view winPath);

// Splits "dir\name" into its components the way Windows does (both separators, blanks and dots
// dropped at the end of each component, empty components skipped).
std::vector<Text1251> Components(std::string_view winPath);

// "*" and "?" wildcards, case-insensitive in CP1251.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Text after the last separator, and the folder part with its trailing separator.
Text1251 FileNamePart(std::string_view winPath);
Text1251 FolderPart(std::string_view winPath);

}  // namespace winpath

namespace fsw {

bool FileExists(std::string_view winPath);       // a file or a folder
bool IsDirectory(std::string_view winPath);
// One level, like CreateDirectory: false when it exists already or cannot be made.
bool MakeDirectory(std::string_view winPath);
bool MakeDirectories(std::string_view winPath);  // every missing level; true when it exists after
bool RemoveFile(std::string_view winPath);
// Removes a folder and everything below it; symbolic links are removed, never followed.
bool RemoveTree(std::string_view winPath);
bool CopyFileTo(std::string_view from, std::string_view to, bool failIfExists);
bool MoveFileTo(std::string_view from, std::string_view to);  // replaces an existing target
int64_t FileSize(std::string_view winPath);                   // -1 when missing

struct DirEntry {
  Text1251 name;  // CP1251
  bool isDirectory = false;
  int64_t size = 0;
  std::time_t modified = 0;
};
// Entries of "folder\pattern" (pattern with * and ?, case-insensitive), sorted by name;
// "." and ".." are never listed.
std::vector<DirEntry> ListDirectory(std::string_view winPattern);

}  // namespace fsw
