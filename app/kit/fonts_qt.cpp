#include <QFontDatabase>
#include <QFontInfo>
#include <cstdlib>

#include "app/kit/fonts.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/qt_text.h"

namespace {

bool FamilyExists(const QString& family) {
  if (family.isEmpty()) return false;
  for (const QString& f : QFontDatabase::families())
    if (f.compare(family, Qt::CaseInsensitive) == 0) return true;
  return false;
}

bool SupportsCyrillic(const QString& family) {
  return QFontDatabase::writingSystems(family).contains(QFontDatabase::Cyrillic);
}

}  // namespace

QFont FontFromRecord(const kit::FontRecord& rec) {
  QFont f(ui::ToQString(kit::FaceName(rec)));
  if (rec.height != 0) f.setPixelSize(std::abs(rec.height));
  if (rec.weight > 0) f.setWeight(static_cast<QFont::Weight>(std::clamp(rec.weight / 1, 100, 900)));
  f.setItalic(rec.italic != 0);
  f.setUnderline(rec.underline != 0);
  f.setStrikeOut(rec.strikeOut != 0);
  return f;
}

kit::FontRecord RecordFromFont(const QFont& font) {
  kit::FontRecord rec{};
  const QFontInfo info(font);
  rec.height = -(font.pixelSize() > 0 ? font.pixelSize() : info.pixelSize());
  rec.weight = font.weight();
  rec.italic = font.italic() ? 1 : 0;
  rec.underline = font.underline() ? 1 : 0;
  rec.strikeOut = font.strikeOut() ? 1 : 0;
  rec.charSet = kit::kCyrillicCharset;
  kit::SetFaceName(rec, ui::FromQString(font.family()));
  return rec;
}

ui::Font CanvasFont(const kit::FontRecord& rec) {
  ui::Font f;
  f.face = Cp1251ToUtf8(kit::FaceName(rec));
  f.height = std::abs(rec.height);
  f.weight = rec.weight > 0 ? rec.weight : 400;
  f.italic = rec.italic != 0;
  f.underline = rec.underline != 0;
  return f;
}

bool LoadDefaultFont(kit::FontRecord& rec) {
  const std::string path = std::string(winpath::kDataRoot) + kit::kDefaultFontFile;
  if (kit::ReadFontRecord(path, rec) > 0) return true;
  QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (system.family().isEmpty()) system = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  if (system.family().isEmpty()) return false;
  rec = RecordFromFont(system);
  return true;
}

bool CreateFontWithFallback(QFont& font) {
  const kit::FontRecord system =
      RecordFromFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  kit::FontRecord got{};
  const int r = kit::CreateFontWithFallbackUsing(
      system,
      [&](const kit::FontRecord& rec) {
        const QString family = ui::ToQString(kit::FaceName(rec));
        if (!FamilyExists(family)) return false;
        return rec.charSet != kit::kCyrillicCharset || SupportsCyrillic(family) ||
               rec.charSet == system.charSet;
      },
      &got);
  if (r == 0) return false;
  font = FontFromRecord(got);
  return true;
}

bool SelectFontOrFallback(ui::Canvas& dc, const kit::FontRecord& rec, ui::Font* previous) {
  ui::Font chosen;
  if (FamilyExists(ui::ToQString(kit::FaceName(rec)))) {
    chosen = CanvasFont(rec);
  } else {
    QFont f;
    if (!CreateFontWithFallback(f)) {
      AddLogMessage("(864611)");
      return false;
    }
    chosen = CanvasFont(RecordFromFont(f));
  }
  ui::Font old = dc.SelectFont(chosen);
  if (previous) *previous = old;
  return true;
}
