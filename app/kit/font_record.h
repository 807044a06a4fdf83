// The 60-byte font description of "pars\DefaultLogFont.bin": the Windows LOGFONTA layout
// (5 little-endian LONGs, 8 BYTEs, a 32-byte face name) exactly as it lies in memory, so font
// files written on Windows read back unchanged. Mapped onto Qt fonts in fonts.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/cp1251.h"

namespace kit {

#pragma pack(push, 1)
struct FontRecord {
  int32_t height = 0;  // < 0: character height in pixels; > 0: cell height
  int32_t width = 0;
  int32_t escapement = 0;
  int32_t orientation = 0;
  int32_t weight = 0;  // 0 default, 400 normal, 700 bold
  uint8_t italic = 0;
  uint8_t underline = 0;
  uint8_t strikeOut = 0;
  uint8_t charSet = 0;  // 204 Cyrillic, 1 default
  uint8_t outPrecision = 0;
  uint8_t clipPrecision = 0;
  uint8_t quality = 0;
  uint8_t pitchAndFamily = 0;
  char faceName[32] = {};  // CP1251, terminated
};
#pragma pack(pop)
static_assert(sizeof(FontRecord) == 60, "LOGFONTA layout");

inline constexpr uint8_t kCyrillicCharset = 204;
inline constexpr uint8_t kDefaultCharset = 1;

inline const char* kDefaultFontFile = "pars\\DefaultLogFont.bin";
// The file holds one 60-byte record; a far larger file is no font file and is refused unread.
inline constexpr int64_t kFontFileMaxBytes = 4096;

// Reads up to 60 bytes into rec (the rest keeps its contents) and terminates the face name.
// Returns the number of bytes read (0: missing or empty file).
int ReadFontRecord(std::string_view winPath, FontRecord& rec);
// Writes the 60 bytes. 0 or -1.
int WriteFontRecord(std::string_view winPath, const FontRecord& rec);
Text1251 FaceName(const FontRecord& rec);
void SetFaceName(FontRecord& rec, std::string_view face);

// CreateFontWithFallback's order of attempts. tryCreate is asked for each description in turn
// (systemFont first, then the Cyrillic and the default character set for "Roman" 16,
// "Courier", "Times", "Times new Roman" 15) and returns true when it obtained a font. The
// result: 0 failure, 1 success, 2 success with the default set only (logged once per run
// up to 6 times, as is the failure).
int CreateFontWithFallbackUsing(const FontRecord& systemFont,
                                const std::function<bool(const FontRecord&)>& tryCreate,
                                FontRecord* obtained);

}  // namespace kit
