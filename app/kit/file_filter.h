// CKFileDialog's texts, free of windows: "A|*.a|B|*.b||" filters and the chosen path.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp1251.h"

namespace kit {

struct FileFilter {
  Text1251 name;     // "Passports (*.dvp)"
  Text1251 pattern;  // "*.dvp" (several separated by ';')
  bool operator==(const FileFilter&) const = default;
};
// Pairs of name and pattern up to the "||" end; a name without a pattern is dropped.
std::vector<FileFilter> ParseFileFilter(std::string_view filter);
// Blanks removed at both ends, then one pair of enclosing double quotes.
Text1251 CleanChosenPath(std::string_view path);
// A title as the 529-byte buffer keeps it: at most 528 characters.
Text1251 DialogTitle(std::string_view title);

}  // namespace kit
