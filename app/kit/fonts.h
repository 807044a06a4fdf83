// The user-interface font: LoadDefaultFont reads "pars\DefaultLogFont.bin" (a 60-byte
// LOGFONTA record, font_record.h) or takes the system's message font; CreateFontWithFallback
// finds a usable font when a description gives none; the records map onto Qt fonts.
#pragma once

#include <QFont>

#include "app/kit/font_record.h"
#include "platform/ui/canvas.h"

// True when the file gave at least one byte, or a system font was taken.
bool LoadDefaultFont(kit::FontRecord& rec);
// The message font, else the fallback faces (font_record.h). False when none was obtained.
bool CreateFontWithFallback(QFont& font);

QFont FontFromRecord(const kit::FontRecord& rec);
kit::FontRecord RecordFromFont(const QFont& font);
ui::Font CanvasFont(const kit::FontRecord& rec);
// A font for drawing: the description if its face exists, else CreateFontWithFallback; when a
// font is obtained it is selected (previous returned in *previous) and true is returned;
// otherwise "(864611)" is logged and the canvas keeps its font.
bool SelectFontOrFallback(ui::Canvas& dc, const kit::FontRecord& rec, ui::Font* previous);
