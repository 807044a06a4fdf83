// Printed protocols and graph pictures: one page with a title, pictures and text lines, printed
// through the printer dialog (or into the PDF file named by $TACMON_PRINT_PDF, as every print
// job); graph pictures as BMP with a PNG beside for people. UI thread only.
#pragma once

#include <QImage>
#include <QRect>
#include <functional>
#include <string_view>
#include <vector>

#include "acquisition/device_passport.h"
#include "platform/cp1251.h"

namespace ui {
class Canvas;
class Dialog;
}  // namespace ui

namespace tester {

// Writes image as folder\name.bmp and folder\name.png. False when the BMP cannot be written.
bool SaveGraphPicture(std::string_view folder, std::string_view name, const QImage& image);

// The failure texts of a print job.
struct PrintTexts {
  const char* endPage[6];  // results -1..-5, then any other
  const char* endDoc;
};
extern const PrintTexts kTestProtocolTexts;

struct ProtocolPage {
  Text1251 docName;                 // "Knee", "Sensor"
  Text1251 title;                   // lines split at "\n", each centred
  std::vector<Text1251> subtitles;  // left-aligned lines under the title
  std::vector<QImage> pictures;     // side by side, scaled to fit
  std::vector<Text1251> captions;   // one per picture (may be empty)
  std::vector<Text1251> lines;      // under the pictures, one per line
  // A drawing in place of the pictures: drawn straight onto the page into target, a rectangle
  // of drawingSize's proportions fitted into the space left (device pixels, pixels per mm).
  std::function<void(ui::Canvas& page, const QRect& target, double pxPerMm)> drawing;
  QSize drawingSize;
};

// Shows the printer dialog and prints the page within 10 mm margins. 1 printed, 0 cancelled,
// -1 failed (the failure shown to the user with texts).
int PrintProtocolPage(ui::Dialog* owner, const ProtocolPage& page, const PrintTexts& texts);

}  // namespace tester
