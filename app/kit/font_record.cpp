#include "app/kit/font_record.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/file.h"
#include "platform/report.h"

namespace kit {

int ReadFontRecord(std::string_view winPath, FontRecord& rec) {
  File f(winPath, "rb", kFontFileMaxBytes);
  if (!f) return 0;
  unsigned char buf[sizeof(FontRecord)];
  const size_t n = f.Read(buf, sizeof buf);
  if (n > 0) std::memcpy(&rec, buf, n);
  rec.faceName[sizeof rec.faceName - 1] = 0;
  return static_cast<int>(n);
}

int WriteFontRecord(std::string_view winPath, const FontRecord& rec) {
  return WriteWholeFile(winPath, std::string_view(reinterpret_cast<const char*>(&rec), sizeof rec));
}

Text1251 FaceName(const FontRecord& rec) {
  return Text1251(rec.faceName, strnlen(rec.faceName, sizeof rec.faceName));
}

void SetFaceName(FontRecord& rec, std::string_view face) {
  std::memset(rec.faceName, 0, sizeof rec.faceName);
  std::memcpy(rec.faceName, face.data(), std::min(face.size(), sizeof rec.faceName - 1));
}

int CreateFontWithFallbackUsing(const FontRecord& systemFont,
                                const std::function<bool(const FontRecord&)>& tryCreate,
                                FontRecord* obtained) {
  static std::atomic<int> defaultSetReports{0}, failureReports{0};
  if (tryCreate(systemFont)) {
    if (obtained) *obtained = systemFont;
    return 1;
  }
  struct Face {
    const char* name;
    int height;
  };
  static const Face faces[] = {
      {"Roman", 16}, {"Courier", 15}, {"Times", 15}, {"Times new Roman", 15}};
  const char* last = faces[0].name;
  for (uint8_t charset : {kCyrillicCharset, kDefaultCharset}) {
    for (const Face& f : faces) {
      FontRecord r{};
      r.charSet = charset;
      r.height = f.height;
      SetFaceName(r, f.name);
      last = f.name;
      if (!tryCreate(r)) continue;
      if (obtained) *obtained = r;
      if (charset == kCyrillicCharset) return 1;
      if (defaultSetReports++ < 6)
        AddLogMessageF("(107261030)Can't set russian charset; use default charset for font %s",
                       f.name);
      return 2;
    }
  }
  if (failureReports++ < 6)
    AddLogMessageF("(107261029)%s %s (charset=DEFAULT_CHARSET)", "Не удается установить фонт"_cp,
                   last);
  return 0;
}

}  // namespace kit
