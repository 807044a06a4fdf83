// Code page 1251 text. Every text inside the system is a Text1251: 8-bit CP1251 bytes, counted
// in bytes as the stored formats count them. Unicode appears only at the Qt boundary and on the
// console (Cp1251ToUtf8 / Utf8ToCp1251). Russian literals are written in UTF-8 in the source and
// converted at compile time with the _cp suffix: "Выйти"_cp is a const char* to CP1251 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using Text1251 = std::string;

namespace cp1251 {

// Unicode code point of each byte 0x80..0xFF (0x98 has none and keeps U+0098).
inline constexpr char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

// Byte for a code point, or -1 when CP1251 has none.
constexpr int FromCodePoint(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
  for (int i = 0; i < 128; ++i)
    if (kHigh[i] == cp) return 0x80 + i;
  return -1;
}

constexpr char32_t ToCodePoint(unsigned char b) {
  return b < 0x80 ? char32_t(b) : char32_t(kHigh[b - 0x80]);
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns U+FFFD for a malformed sequence.
constexpr char32_t DecodeUtf8(std::string_view s, size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t cp = b0 & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) return 0xFFFD;
    auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (b & 0x3F);
    ++i;
  }
  return cp;
}

template <size_t N>
struct Utf8Literal {
  char bytes[N]{};
  consteval Utf8Literal(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) bytes[i] = s[i];
  }
};

template <size_t N>
struct Literal {
  char bytes[N]{};
};

template <size_t N>
consteval Literal<N> Convert(const Utf8Literal<N>& in) {
  Literal<N> out{};
  std::string_view s(in.bytes, N - 1);
  size_t i = 0, o = 0;
  while (i < s.size()) {
    int b = FromCodePoint(DecodeUtf8(s, i));
    if (b < 0) throw "character not in code page 1251";
    out.bytes[o++] = static_cast<char>(b);
  }
  out.bytes[o] = 0;
  return out;
}

template <Utf8Literal S>
inline constexpr auto kConverted = Convert(S);

}  // namespace cp1251

// "Текст"_cp: the CP1251 bytes of a UTF-8 literal, converted at compile time.
template <cp1251::Utf8Literal S>
constexpr const char* operator""_cp() {
  return cp1251::kConverted<S>.bytes;
}

// Runtime conversions. Characters without a CP1251 byte become '?'.
Text1251 Utf8ToCp1251(std::string_view utf8);
std::string Cp1251ToUtf8(std::string_view text);

// ASCII and Cyrillic case folding of one CP1251 byte (for case-insensitive compares).
unsigned char Cp1251Lower(unsigned char c);
unsigned char Cp1251Upper(unsigned char c);
bool Cp1251EqualNoCase(std::string_view a, std::string_view b);
