#include "tester/protocol_print.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdio>

#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/canvas.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "tester/test_report.h"

namespace tester {

const PrintTexts kTestProtocolTexts = {
    {"Print: General error(2171243)",
     "Print: Job was ended because the application's abort function returned 0(218935)",
     "Print: User ended the job through Print Manager(219013)",
     "Print: Not enough disk space is currently available for spooling(2203925)",
     "Print: Not enough memory is available for spooling(221835)", "Print:Unknown error(2227825)"},
    "Can' finish print job (243261)"};

bool SaveGraphPicture(std::string_view folder, std::string_view name, const QImage& image) {
  const Text1251 base = Text1251(folder) + "\\" + Text1251(name);
  if (ui::SaveImageBmp(image, base + ".bmp") != 0) return false;
  const std::string png = winpath::Resolve(base + ".png").string();
  if (!image.save(QString::fromStdString(png), "PNG"))
    AddLogMessageF("Не удалось записать файл %s"_cp, (base + ".png").c_str());
  return true;
}

namespace {

std::vector<Text1251> SplitLines(const Text1251& text) {
  std::vector<Text1251> out;
  size_t from = 0;
  while (true) {
    const size_t at = text.find('\n', from);
    out.push_back(text.substr(from, at == Text1251::npos ? Text1251::npos : at - from));
    if (at == Text1251::npos) break;
    from = at + 1;
  }
  return out;
}

// One line of text in box, its font made smaller when the line would not fit the width.
void DrawLine(QPainter& p, const QRect& box, const Text1251& text, QFont font, int align) {
  const QString q = ui::ToQString(text);
  const int width = QFontMetrics(font).horizontalAdvance(q);
  if (width > box.width() && width > 0)
    font.setPixelSize(std::max(4, font.pixelSize() * box.width() / width));
  p.setFont(font);
  p.drawText(box, align | Qt::AlignVCenter, q);
}

// Draws the page into the printable area r (device pixels).
void DrawPage(ui::Canvas& canvas, const QRect& r, const ProtocolPage& page, double pxPerMm) {
  QPainter& p = canvas.Painter();
  QFont font("DejaVu Sans");
  font.setPixelSize(std::max(8, int(4.2 * pxPerMm)));  // about 12 pt
  QFont titleFont = font;
  titleFont.setBold(true);
  titleFont.setPixelSize(std::max(10, int(5.0 * pxPerMm)));
  p.setPen(Qt::black);
  int y = r.top();
  // One size for all lines of the title: the widest fits the width.
  const std::vector<Text1251> titleLines = SplitLines(page.title);
  int widest = 0;
  for (const Text1251& line : titleLines)
    widest = std::max(widest, QFontMetrics(titleFont).horizontalAdvance(ui::ToQString(line)));
  if (widest > r.width() && widest > 0)
    titleFont.setPixelSize(std::max(4, titleFont.pixelSize() * r.width() / widest));
  const int titleStep = QFontMetrics(titleFont).lineSpacing();
  for (const Text1251& line : titleLines) {
    DrawLine(p, QRect(r.left(), y, r.width(), titleStep), line, titleFont, Qt::AlignHCenter);
    y += titleStep;
  }
  y += titleStep / 2;
  const int step = QFontMetrics(font).lineSpacing();
  for (const Text1251& line : page.subtitles) {
    DrawLine(p, QRect(r.left(), y, r.width(), step), line, font, Qt::AlignLeft);
    y += step;
  }
  y += step / 2;
  // Pictures side by side in the space the text lines leave.
  const int linesHeight = int(page.lines.size()) * step;
  const bool captions = std::any_of(page.captions.begin(), page.captions.end(),
                                    [](const Text1251& c) { return !c.empty(); });
  const int n = std::max<int>(1, int(page.pictures.size()));
  const int gap = int(5 * pxPerMm);
  const int cellW = (r.width() - gap * (n - 1)) / n;
  const int cellH = std::max(0, r.bottom() - y - linesHeight - step - (captions ? step : 0));
  int pictureBottom = y;
  if (page.drawing && !page.drawingSize.isEmpty() && r.width() > 0 && cellH > 0) {
    const QSize size = page.drawingSize.scaled(r.width(), cellH, Qt::KeepAspectRatio);
    const QRect target(r.left() + (r.width() - size.width()) / 2, y, size.width(), size.height());
    p.save();
    page.drawing(canvas, target, pxPerMm);
    p.restore();
    pictureBottom = target.bottom();
  }
  for (size_t i = 0; i < page.pictures.size(); ++i) {
    const QImage& img = page.pictures[i];
    const int x = r.left() + int(i) * (cellW + gap);
    int top = y;
    if (i < page.captions.size() && !page.captions[i].empty()) {
      DrawLine(p, QRect(x, y, cellW, step), page.captions[i], font, Qt::AlignHCenter);
      top += step;
    }
    if (img.isNull() || cellW <= 0 || cellH <= 0) continue;
    const QSize size = img.size().scaled(cellW, cellH, Qt::KeepAspectRatio);
    const QRect target(x + (cellW - size.width()) / 2, top, size.width(), size.height());
    p.drawImage(target, img);
    pictureBottom = std::max(pictureBottom, target.bottom());
  }
  y = pictureBottom + step;
  for (const Text1251& line : page.lines) {
    DrawLine(p, QRect(r.left(), y, r.width(), step), line, font, Qt::AlignLeft);
    y += step;
  }
}

}  // namespace

int PrintProtocolPage(ui::Dialog* owner, const ProtocolPage& page, const PrintTexts& texts) {
  ui::PrintJob job;
  if (!job.ChooseInDialog(owner ? owner->Widget() : nullptr)) return 0;
  if (job.DpiX() <= 0 || job.DpiY() <= 0 || job.PageWidth() <= 0) {
    ui::MessageBox(owner, "Can't get device information(17678214)");
    return -1;
  }
  if (job.StartDoc(page.docName) <= 0 || job.StartPage() <= 0) {
    ui::MessageBox(owner, "Can't print(171114)");
    return -1;
  }
  const double pxPerMm = job.DpiX() / 25.4;
  const int margin = int(10 * pxPerMm + 0.5);
  const QRect area(margin, margin, job.PageWidth() - 2 * margin, job.PageHeight() - 2 * margin);
  DrawPage(*job.Page(), area, page, pxPerMm);
  int result = 0;
  if (const int r = job.EndPage(); r < 0) {
    ui::MessageBox(owner, texts.endPage[r >= -5 ? -r - 1 : 5]);
    result = -1;
  }
  if (job.EndDoc() < 0) {
    ui::MessageBox(owner, texts.endDoc);
    result = -1;
  }
  return result == 0 ? 1 : -1;
}

}  // namespace tester
