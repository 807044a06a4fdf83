// UTF-8 literals of the library turned into CP1251, the code page of every tacmon text:
// ASCII passes, Cyrillic А..я, Ё and ё map to their CP1251 bytes, anything else becomes "?".
#pragma once

#include <string>
#include <string_view>

namespace vigil {

inline std::string Cp1251(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      if (cp >= 0x410 && cp <= 0x44F)
        out += static_cast<char>(0xC0 + (cp - 0x410));
      else if (cp == 0x401)
        out += static_cast<char>(0xA8);
      else if (cp == 0x451)
        out += static_cast<char>(0xB8);
      else
        out += '?';
      i += 2;
      continue;
    }
    out += '?';
    ++i;
    while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
  }
  return out;
}

}  // namespace vigil
