// The Bluetooth adapter's initialisation strings of the mechanoreceptor link, kept one per line
// in "enums\ReceptorInitStrings.txt " under the data root (the name ends with a blank, which the
// path resolution drops). Qt-free.
#pragma once

#include <vector>

#include "platform/cp1251.h"

inline constexpr const char* kReceptorInitStringsFile = "enums\\ReceptorInitStrings.txt ";
inline constexpr size_t kReceptorInitStringsMax = 100;
inline constexpr size_t kReceptorInitStringLength = 255;

// The three strings a fresh installation starts with.
std::vector<Text1251> DefaultReceptorInitStrings();

// Reads the file under the data root into strings: the list is emptied and every line, cut to
// 255 bytes and stripped of its line end and trailing blanks, is appended when not empty (at
// most 100). When the file does not exist it is created with the current strings, one per
// line, and strings stay as they are. Returns 0 read, 1 created, -1 neither possible.
int LoadReceptorInitStrings(std::vector<Text1251>& strings);
