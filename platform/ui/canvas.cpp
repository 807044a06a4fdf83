#include "platform/ui/canvas.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPaintDevice>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <cstdlib>
#include <string>

#include "platform/file.h"
#include "platform/ui/qt_text.h"

namespace ui {
namespace {

QColor ToQColor(Colour c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

QPolygon ToPolygon(const Point* pts, int n) {
  QPolygon poly(n);
  for (int i = 0; i < n; ++i) poly.setPoint(i, pts[i].x, pts[i].y);
  return poly;
}

}  // namespace

Canvas::Canvas(QPaintDevice* device) {
  owned_ = std::make_unique<QPainter>();
  painter_ = owned_.get();
  if (device && painter_->begin(device)) Init(device);
}

Canvas::Canvas(QPainter* painter) : painter_(painter) {
  if (painter_ && painter_->isActive()) Init(painter_->device());
}

Canvas::~Canvas() {
  if (owned_ && owned_->isActive()) owned_->end();
}

void Canvas::Init(QPaintDevice* device) {
  width_ = device->width();
  height_ = device->height();
  dpiX_ = device->logicalDpiX();
  dpiY_ = device->logicalDpiY();
  painter_->setRenderHint(QPainter::Antialiasing, false);
  painter_->setRenderHint(QPainter::TextAntialiasing, true);
  font_.face.clear();
  ApplyPen();
  ApplyBrush();
  ApplyFont();
}

bool Canvas::IsActive() const { return painter_ && painter_->isActive(); }

void Canvas::ApplyPen() {
  if (!IsActive()) return;
  if (pen_.style == PenStyle::Null) {
    painter_->setPen(Qt::NoPen);
    return;
  }
  QPen p(ToQColor(pen_.colour));
  p.setWidth(pen_.width <= 1 ? 0 : pen_.width);  // 0: cosmetic one-pixel pen
  switch (pen_.style) {
    case PenStyle::Dash:
      p.setStyle(Qt::DashLine);
      break;
    case PenStyle::Dot:
      p.setStyle(Qt::DotLine);
      break;
    case PenStyle::DashDot:
      p.setStyle(Qt::DashDotLine);
      break;
    default:
      p.setStyle(Qt::SolidLine);
      break;
  }
  p.setCapStyle(Qt::FlatCap);
  p.setJoinStyle(Qt::MiterJoin);
  painter_->setPen(p);
}

void Canvas::ApplyBrush() {
  if (!IsActive()) return;
  if (brush_.hollow)
    painter_->setBrush(Qt::NoBrush);
  else
    painter_->setBrush(QBrush(ToQColor(brush_.colour)));
}

void Canvas::ApplyFont() {
  if (!IsActive()) return;
  QFont f = painter_->font();
  if (!font_.face.empty()) f.setFamily(QString::fromStdString(Cp1251ToUtf8(font_.face)));
  if (font_.height > 0) f.setPixelSize(font_.height);
  f.setWeight(font_.weight >= 600 ? QFont::Bold : QFont::Normal);
  f.setItalic(font_.italic);
  f.setUnderline(font_.underline);
  painter_->setFont(f);
}

Pen Canvas::SelectPen(const Pen& pen) {
  Pen old = pen_;
  pen_ = pen;
  ApplyPen();
  return old;
}

Brush Canvas::SelectBrush(const Brush& brush) {
  Brush old = brush_;
  brush_ = brush;
  ApplyBrush();
  return old;
}

Font Canvas::SelectFont(const Font& font) {
  Font old = font_;
  font_ = font;
  ApplyFont();
  return old;
}

Colour Canvas::SetTextColour(Colour c) {
  Colour old = textColour_;
  textColour_ = c;
  return old;
}

Colour Canvas::SetBkColour(Colour c) {
  Colour old = bkColour_;
  bkColour_ = c;
  return old;
}

bool Canvas::SetBkTransparent(bool transparent) {
  bool old = bkTransparent_;
  bkTransparent_ = transparent;
  return old;
}

unsigned Canvas::SetTextAlign(unsigned align) {
  unsigned old = textAlign_;
  textAlign_ = align;
  return old;
}

void Canvas::MoveTo(int x, int y) { pos_ = {x, y}; }

void Canvas::LineTo(int x, int y) {
  // With flat caps the raster engine leaves out the last pixel of a line, as GDI does.
  if (IsActive() && pen_.style != PenStyle::Null && (x != pos_.x || y != pos_.y))
    painter_->drawLine(pos_.x, pos_.y, x, y);
  pos_ = {x, y};
}

void Canvas::Polyline(const Point* pts, int n) {
  if (!IsActive() || n < 2 || pen_.style == PenStyle::Null) return;
  painter_->drawPolyline(ToPolygon(pts, n));
}

void Canvas::Polygon(const Point* pts, int n) {
  if (!IsActive() || n < 2) return;
  painter_->drawPolygon(ToPolygon(pts, n));
}

void Canvas::Rectangle(const Rect& r) {
  if (!IsActive() || r.Empty()) return;
  if (!brush_.hollow) painter_->fillRect(r.left, r.top, r.Width(), r.Height(), painter_->brush());
  if (pen_.style != PenStyle::Null) {
    QBrush keep = painter_->brush();
    painter_->setBrush(Qt::NoBrush);
    painter_->drawRect(r.left, r.top, r.Width() - 1, r.Height() - 1);
    painter_->setBrush(keep);
  }
}

void Canvas::Ellipse(const Rect& r) {
  if (!IsActive() || r.Empty()) return;
  painter_->drawEllipse(r.left, r.top, r.Width() - 1, r.Height() - 1);
}

void Canvas::FillRect(const Rect& r, Colour c) {
  if (!IsActive() || r.Empty()) return;
  painter_->fillRect(r.left, r.top, r.Width(), r.Height(), ToQColor(c));
}

void Canvas::FillRect(const Rect& r, const Brush& b) {
  if (b.hollow) return;
  FillRect(r, b.colour);
}

void Canvas::FrameRect(const Rect& r, Colour c) {
  if (!IsActive() || r.Empty()) return;
  QColor q = ToQColor(c);
  painter_->fillRect(r.left, r.top, r.Width(), 1, q);
  painter_->fillRect(r.left, r.bottom - 1, r.Width(), 1, q);
  painter_->fillRect(r.left, r.top, 1, r.Height(), q);
  painter_->fillRect(r.right - 1, r.top, 1, r.Height(), q);
}

void Canvas::SetPixel(int x, int y, Colour c) {
  if (!IsActive()) return;
  painter_->fillRect(x, y, 1, 1, ToQColor(c));
}

Size Canvas::TextExtent(std::string_view text1251) {
  if (!IsActive()) return {};
  QFontMetrics fm(painter_->font(), painter_->device());
  return {fm.horizontalAdvance(ToQString(text1251)), fm.height()};
}

void Canvas::TextOut(int x, int y, std::string_view text1251) {
  if (!IsActive()) return;
  QString s = ToQString(text1251);
  QFontMetrics fm(painter_->font(), painter_->device());
  int w = fm.horizontalAdvance(s);
  int h = fm.height();
  int left = x;
  if ((textAlign_ & TextAlign::Center) == TextAlign::Center)
    left = x - w / 2;
  else if (textAlign_ & TextAlign::Right)
    left = x - w;
  int top = y;
  if ((textAlign_ & TextAlign::Baseline) == TextAlign::Baseline)
    top = y - fm.ascent();
  else if (textAlign_ & TextAlign::Bottom)
    top = y - h;
  if (!bkTransparent_) painter_->fillRect(left, top, w, h, ToQColor(bkColour_));
  painter_->setPen(ToQColor(textColour_));
  painter_->drawText(left, top + fm.ascent(), s);
  ApplyPen();
}

int Canvas::DrawText(const Rect& r, std::string_view text1251, unsigned flags) {
  if (!IsActive()) return 0;
  int qf = 0;
  if (flags & DrawTextFlags::Center)
    qf |= Qt::AlignHCenter;
  else if (flags & DrawTextFlags::Right)
    qf |= Qt::AlignRight;
  else
    qf |= Qt::AlignLeft;
  if (flags & DrawTextFlags::VCenter)
    qf |= Qt::AlignVCenter;
  else if (flags & DrawTextFlags::Bottom)
    qf |= Qt::AlignBottom;
  else
    qf |= Qt::AlignTop;
  if (flags & DrawTextFlags::WordBreak) qf |= Qt::TextWordWrap;
  if (flags & DrawTextFlags::SingleLine) qf |= Qt::TextSingleLine;
  if (flags & DrawTextFlags::NoClip) qf |= Qt::TextDontClip;
  QString s = ToQString(text1251);
  s.remove('\r');
  QRect qr(r.left, r.top, r.Width(), r.Height());
  QRect bound = painter_->boundingRect(qr, qf, s);
  if (!bkTransparent_) painter_->fillRect(bound & qr, ToQColor(bkColour_));
  painter_->setPen(ToQColor(textColour_));
  painter_->drawText(qr, qf, s);
  ApplyPen();
  return bound.height();
}

void Canvas::SetClipRect(const Rect& r) {
  if (!IsActive()) return;
  painter_->setClipRect(r.left, r.top, r.Width(), r.Height());
}

void Canvas::ResetClip() {
  if (!IsActive()) return;
  painter_->setClipping(false);
}

void Canvas::DrawImage(int x, int y, const QImage& image) {
  if (!IsActive() || image.isNull()) return;
  painter_->drawImage(x, y, image);
}

void Canvas::DrawImage(const Rect& dst, const QImage& image, const Rect& src) {
  if (!IsActive() || image.isNull()) return;
  painter_->drawImage(QRect(dst.left, dst.top, dst.Width(), dst.Height()), image,
                      QRect(src.left, src.top, src.Width(), src.Height()));
}

// ---- back buffer ----------------------------------------------------------------------------

bool BackBuffer::Create(int width, int height) {
  image_ = QImage();
  // Beyond 16k pixels a side the request is a layout fault, not a window.
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
  image_ = QImage(width, height, QImage::Format_RGB32);
  if (image_.isNull()) return false;
  image_.fill(Qt::white);
  return true;
}

std::unique_ptr<Canvas> BackBuffer::Begin() {
  if (image_.isNull()) return nullptr;
  return std::make_unique<Canvas>(static_cast<QPaintDevice*>(&image_));
}

void BackBuffer::BlitTo(Canvas& dst, int x, int y) const { dst.DrawImage(x, y, image_); }

void BackBuffer::BlitTo(Canvas& dst, int x, int y, const Rect& src) const {
  dst.DrawImage({x, y, x + src.Width(), y + src.Height()}, image_, src);
}

int BackBuffer::SaveBmp(std::string_view winPath) const { return SaveImageBmp(image_, winPath); }

int BackBuffer::SaveBmp(std::string_view winPath, const Rect& src) const {
  if (image_.isNull()) return -1;
  return SaveImageBmp(image_.copy(src.left, src.top, src.Width(), src.Height()), winPath);
}

int SaveImageBmp(const QImage& image, std::string_view winPath) {
  if (image.isNull()) return -1;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  // 24-bit DIB: the format screen copies are stored in.
  if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP")) return -1;
  return WriteWholeFile(winPath, std::string_view(bytes.constData(), size_t(bytes.size())));
}

// ---- printing -------------------------------------------------------------------------------

PrintJob::PrintJob() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  printer_->setFullPage(true);
}

PrintJob::~PrintJob() {
  page_.reset();
  if (painter_ && painter_->isActive()) painter_->end();
}

bool PrintJob::ChooseInDialog(QWidget* parent) {
  if (const char* pdf = std::getenv("TACMON_PRINT_PDF"); pdf && *pdf) {
    // "{n}" in the name numbers the jobs of the process (1, 2, ...), each its own file.
    static int jobs = 0;
    std::string name = pdf;
    if (const size_t at = name.find("{n}"); at != std::string::npos)
      name.replace(at, 3, std::to_string(++jobs));
    UsePdfFile(name);
    return true;
  }
  QPrintDialog dlg(printer_.get(), parent);
  dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dlg.setOption(QAbstractPrintDialog::PrintToFile, false);
  return dlg.exec() == QDialog::Accepted;
}

void PrintJob::UsePdfFile(std::string_view hostPath) {
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setOutputFileName(QString::fromStdString(std::string(hostPath)));
  printer_->setPageSize(QPageSize(QPageSize::A4));
}

int PrintJob::StartDoc(std::string_view docName1251) {
  if (started_) return -1;
  printer_->setDocName(ToQString(docName1251));
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(printer_.get())) return -1;
  started_ = true;
  pages_ = 0;
  return 1;
}

int PrintJob::StartPage() {
  if (!started_ || page_) return -1;
  if (pages_ > 0 && !printer_->newPage()) return -1;
  page_ = std::make_unique<Canvas>(painter_.get());
  return 1;
}

int PrintJob::EndPage() {
  if (!page_) return -1;
  page_.reset();
  ++pages_;
  return 1;
}

int PrintJob::EndDoc() {
  if (!started_) return -1;
  page_.reset();
  started_ = false;
  return painter_->end() ? 1 : -1;
}

int PrintJob::PageWidth() const { return printer_->width(); }
int PrintJob::PageHeight() const { return printer_->height(); }
int PrintJob::DpiX() const { return printer_->logicalDpiX(); }
int PrintJob::DpiY() const { return printer_->logicalDpiY(); }

}  // namespace ui
