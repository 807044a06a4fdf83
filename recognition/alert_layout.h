// Where the alert window puts things, free of windows: the map square at the left of the client
// area and the lines of the alert text.
#pragma once

#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/geometry.h"

namespace recognition {

// The square of the map: from the left edge to the smaller of L + (B − T) and (L + R)/2, and
// from the top down by the same width.
ui::Rect AlertMapSquare(const ui::Rect& client);

// The lines drawn: the text cut at line feeds into at most 10 lines (the tenth keeps the rest,
// line feeds included), up to the first empty line.
std::vector<Text1251> AlertLines(const Text1251& text);

}  // namespace recognition
