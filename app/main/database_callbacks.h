// The callbacks the main hub registers with the four databases of medstore: the patients'
// name compare (type 1) and the remover of a record's folder (type 2). Qt-free.
#pragma once

#include <string_view>

// 1 when name matches pattern ("*" and "?", case-insensitive in CP1251), else 0.
int WildcardMatch(const char* pattern, const char* name);

// Removes a file or a folder with everything below it, never following a symbolic link: a link
// inside the tree is removed as a link, and a path that reaches its target through a link is
// refused. Only paths strictly inside a folder of the database root are accepted (the root and
// its database folders themselves are refused). medstore passes the database path it was given
// followed by "/id"; both separators are understood. 0 done; -1 refused or failed (logged).
int DeletePathTree(const char* path);

// The same remover for paths strictly below winRoot (a Windows path ending in "\"), for
// example the operation folders under "c:\Tacmon\OPERATIONS\".
int DeletePathTreeWithin(std::string_view path, std::string_view winRoot);
