#include "platform/ui/qt_text.h"

namespace ui {

QString ToQString(std::string_view text1251) {
  return QString::fromStdString(Cp1251ToUtf8(text1251));
}

Text1251 FromQString(const QString& s) { return Utf8ToCp1251(s.toStdString()); }

}  // namespace ui
