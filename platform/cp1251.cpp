#include "platform/cp1251.h"

Text1251 Utf8ToCp1251(std::string_view utf8) {
  Text1251 out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    int b = cp1251::FromCodePoint(cp1251::DecodeUtf8(utf8, i));
    out.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return out;
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    char32_t cp = cp1251::ToCodePoint(static_cast<unsigned char>(ch));
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

unsigned char Cp1251Lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDF) return c + 32;  // А..Я -> а..я
  switch (c) {
    case 0xA8: return 0xB8;  // Ё
    case 0xAA: return 0xBA;  // Є
    case 0xAF: return 0xBF;  // Ї
    case 0xB2: return 0xB3;  // І
    case 0xA1: return 0xA2;  // Ў
    case 0xA3: return 0xBC;  // Ј
    case 0xA5: return 0xB4;  // Ґ
    case 0xBD: return 0xBE;  // Ѕ
    case 0x80: return 0x90;  // Ђ
    case 0x81: return 0x83;  // Ѓ
    case 0x8A: return 0x9A;  // Љ
    case 0x8C: return 0x9C;  // Њ
    case 0x8D: return 0x9D;  // Ќ
    case 0x8E: return 0x9E;  // Ћ
    case 0x8F: return 0x9F;  // Џ
    default: return c;
  }
}

unsigned char Cp1251Upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0) return c - 32;
  for (int u = 0x80; u < 0x100; ++u)
    if (u != c && Cp1251Lower(static_cast<unsigned char>(u)) == c) return static_cast<unsigned char>(u);
  return c;
}

bool Cp1251EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Cp1251Lower(static_cast<unsigned char>(a[i])) != Cp1251Lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
