// The one place where system texts (CP1251) meet Qt's Unicode strings.
#pragma once

#include <QString>
#include <string_view>

#include "platform/cp1251.h"

namespace ui {

QString ToQString(std::string_view text1251);
Text1251 FromQString(const QString& s);

}  // namespace ui
