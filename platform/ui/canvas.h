// A GDI-like drawing surface on QPainter: selected pen, brush and font, text colour and
// background mode, current position for MoveTo/LineTo, clipping. The same drawing code draws
// into a window, an off-screen back buffer (BackBuffer), a printer page or a PDF (PrintJob).
// Coordinates are device pixels; rectangles have exclusive right and bottom edges. No
// antialiasing, so pixels are where the code puts them. Texts are CP1251.
#pragma once

#include <QImage>
#include <QPainter>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/geometry.h"

class QPaintDevice;
class QPrinter;
class QWidget;

namespace ui {

enum class PenStyle { Solid, Dash, Dot, DashDot, Null };

struct Pen {
  Colour colour = Rgb(0, 0, 0);
  int width = 1;
  PenStyle style = PenStyle::Solid;
};

struct Brush {
  Colour colour = Rgb(255, 255, 255);
  bool hollow = false;  // NULL_BRUSH: shapes are outlined only
  static Brush Solid(Colour c) { return {c, false}; }
  static Brush Hollow() { return {0, true}; }
};

struct Font {
  std::string face;  // empty: the application's default face
  int height = 0;    // character height in pixels; 0: the default size
  int weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool underline = false;
};

// Text alignment for TextOut (the reference point is (x, y)).
namespace TextAlign {
inline constexpr unsigned Left = 0, Top = 0;
inline constexpr unsigned Right = 2, Center = 6;
inline constexpr unsigned Bottom = 8, Baseline = 24;
}  // namespace TextAlign

// DrawText format bits.
namespace DrawTextFlags {
inline constexpr unsigned Left = 0, Top = 0, Center = 1, Right = 2, VCenter = 4, Bottom = 8;
inline constexpr unsigned WordBreak = 16, SingleLine = 32, NoClip = 256;
}  // namespace DrawTextFlags

class Canvas {
 public:
  // Paints on a device (owns its painter) or on an active painter (borrowed).
  explicit Canvas(QPaintDevice* device);
  explicit Canvas(QPainter* painter);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool IsActive() const;
  QPainter& Painter() { return *painter_; }
  int Width() const { return width_; }  // device size in pixels
  int Height() const { return height_; }
  int DpiX() const { return dpiX_; }
  int DpiY() const { return dpiY_; }

  // Select* return the previous object so it can be restored.
  Pen SelectPen(const Pen& pen);
  Brush SelectBrush(const Brush& brush);
  Font SelectFont(const Font& font);
  const Pen& CurrentPen() const { return pen_; }
  const Brush& CurrentBrush() const { return brush_; }
  const Font& CurrentFont() const { return font_; }
  Colour SetTextColour(Colour c);
  Colour SetBkColour(Colour c);
  bool SetBkTransparent(bool transparent);  // TRANSPARENT / OPAQUE background for text
  unsigned SetTextAlign(unsigned align);

  void MoveTo(int x, int y);
  void LineTo(int x, int y);  // the end point itself is not drawn, as in GDI
  void Line(int x1, int y1, int x2, int y2) {
    MoveTo(x1, y1);
    LineTo(x2, y2);
  }
  void Polyline(const Point* pts, int n);
  void Polyline(const std::vector<Point>& pts) { Polyline(pts.data(), int(pts.size())); }
  void Polygon(const Point* pts, int n);  // filled with the brush, outlined with the pen
  void Polygon(const std::vector<Point>& pts) { Polygon(pts.data(), int(pts.size())); }
  void Rectangle(const Rect& r);  // inside r, pen outline and brush fill
  void Ellipse(const Rect& r);
  void FillRect(const Rect& r, Colour c);
  void FillRect(const Rect& r, const Brush& b);
  void FrameRect(const Rect& r, Colour c);  // 1-pixel frame inside r
  void SetPixel(int x, int y, Colour c);

  void TextOut(int x, int y, std::string_view text1251);
  Size TextExtent(std::string_view text1251);
  int DrawText(const Rect& r, std::string_view text1251, unsigned flags);  // returns height

  // Clip to r (device pixels); ResetClip removes it.
  void SetClipRect(const Rect& r);
  void ResetClip();

  void DrawImage(int x, int y, const QImage& image);
  void DrawImage(const Rect& dst, const QImage& image, const Rect& src);

 private:
  void ApplyPen();
  void ApplyBrush();
  void ApplyFont();
  void Init(QPaintDevice* device);

  std::unique_ptr<QPainter> owned_;
  QPainter* painter_ = nullptr;
  int width_ = 0, height_ = 0, dpiX_ = 96, dpiY_ = 96;
  Pen pen_;
  Brush brush_;
  Font font_;
  Colour textColour_ = Rgb(0, 0, 0);
  Colour bkColour_ = Rgb(255, 255, 255);
  bool bkTransparent_ = false;
  unsigned textAlign_ = 0;
  Point pos_;
};

// An off-screen bitmap of a fixed size (the back buffer of double-buffered windows).
class BackBuffer {
 public:
  // False when the bitmap cannot be made (zero or absurd size): the caller reports it.
  bool Create(int width, int height);
  void Release() { image_ = QImage(); }
  bool Valid() const { return !image_.isNull(); }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  // A canvas on the bitmap; only one at a time.
  std::unique_ptr<Canvas> Begin();
  // Copies the whole buffer (or src) to dst at (x, y).
  void BlitTo(Canvas& dst, int x, int y) const;
  void BlitTo(Canvas& dst, int x, int y, const Rect& src) const;
  // Writes the buffer (or the part src) as a Windows BMP file. 0 or -1.
  int SaveBmp(std::string_view winPath) const;
  int SaveBmp(std::string_view winPath, const Rect& src) const;

 private:
  QImage image_;
};

// Writes an image as a BMP file through a safe replacing write. 0 or -1.
int SaveImageBmp(const QImage& image, std::string_view winPath);

// One print job on a printer chosen in the print dialog, or on a PDF file. When the
// environment names $TACMON_PRINT_PDF, no dialog is shown and every job goes to that file
// (headless runs and tests); "{n}" in the name is replaced by the job's number in the process.
class PrintJob {
 public:
  PrintJob();
  ~PrintJob();
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  // Shows the print dialog (all pages, no selection, no page numbers, no file option).
  // False when the user cancels.
  bool ChooseInDialog(QWidget* parent);
  // Prints to a PDF file instead (no dialog).
  void UsePdfFile(std::string_view hostPath);

  // GDI-like job steps; each returns a value > 0 on success, a negative one on failure.
  int StartDoc(std::string_view docName1251);
  int StartPage();  // the canvas of the page is Page() until EndPage
  int EndPage();
  int EndDoc();
  Canvas* Page() { return page_.get(); }

  // Page size and resolution in device pixels (valid after the dialog or UsePdfFile).
  int PageWidth() const;
  int PageHeight() const;
  int DpiX() const;
  int DpiY() const;
  QPrinter* Printer() { return printer_.get(); }

 private:
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<Canvas> page_;
  bool started_ = false;
  int pages_ = 0;
};

}  // namespace ui
