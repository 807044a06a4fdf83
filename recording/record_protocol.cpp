// The recording view's test protocols (buttons 1014-1016): one printed page with the title of
// the protocol kind, the probe's id and the sensor map of the current frame.
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "display/display_link.h"
#include "platform/paths.h"
#include "platform/ui/message_box.h"
#include "recording/ctacmon_dlg_record.h"
#include "tester/test_report.h"
#include "view/ui_map_canvas.h"

namespace recording {

namespace {

// Title of each kind; the passport's diameter and the ending follow.
struct ProtocolTitle {
  const char* text;
  const char* ending;
};
const ProtocolTitle kTitles[3] = {
    {"Протокол проверки обеспечение различия\nдвух примыкающих эластичных материалов разной "
     "плотности Зондом D="_cp,
     " мм."_cp},
    {"Протокол проверки обеспечения различия\nдвух примыкающих эластичных материалов разной "
     "плотности Лабораторным прибором D="_cp,
     " мм."_cp},
    {"Проверки соответствия показаний тактильного дисплея\n и тактильной информации, полученной "
     "с тестового объекта (Зонд D="_cp,
     " мм.)"_cp},
};

Text1251 EndPageError(int rc) {
  switch (rc) {
    case -1:
      return "Print: General error(2271243)";
    case -2:
      return "Print: Job was ended because the application's abort function returned 0(218935)";
    case -3:
      return "Print: User ended the job through Print Manager(219013)";
    case -4:
      return "Print: Not enough disk space is currently available for spooling(2203925)";
    case -5:
      return "Print: Not enough memory is available for spooling(221835)";
    default:
      return "Print:Unknown error(2127825)";
  }
}

}  // namespace

void CtacmonDlgRecord::PrintTestProtocol(int kind) {
  if (kind < 0 || kind > 2 || protocolMode_ != 0) return;
  // The protocol's folder, named by the local time; nothing is written into it.
  fsw::MakeDirectories(
      tester::ReportFolderName(FrameTime::Now(), kind == 2 ? "Tacmon2-" : "Tacmon-"));

  protocolMode_ = 2;  // paints draw nothing while the job runs
  ui::PrintJob job;
  if (job.ChooseInDialog(Widget())) {
    if (job.PageWidth() <= 0 || job.PageHeight() <= 0 || job.DpiX() <= 0 || job.DpiY() <= 0) {
      ui::MessageBox(this, "Can't get device information(17678214)");
    } else if (job.StartDoc("Sensor") <= 0 || job.StartPage() <= 0) {
      ui::MessageBox(this, "Can't print(171114)");
    } else {
      const int rc = PrintProtocolPage(job, kind);
      if (rc < 0) ui::MessageBox(this, EndPageError(rc));
      if (job.EndDoc() < 0) ui::MessageBox(this, "Can' finish print job (213261)");
    }
  }
  protocolMode_ = 0;
  Invalidate(false);
}

int CtacmonDlgRecord::PrintProtocolPage(ui::PrintJob& job, int kind) {
  ui::Canvas& page = *job.Page();
  // The page is laid out in screen pixels (96 per inch) and scaled to the printer, so lines
  // and text keep the proportions they have on screen.
  const double scale = job.DpiX() / 96.0;
  page.Painter().save();
  page.Painter().scale(scale, job.DpiY() / 96.0);
  const int mm10 = static_cast<int>(96 / 25.4 * 10 + 0.5);
  const ui::Rect area{mm10, mm10, static_cast<int>(job.PageWidth() / scale) - mm10,
                      static_cast<int>(job.PageHeight() * 96.0 / job.DpiY()) - mm10};
  ui::Font font;
  font.height = 18;
  font.weight = 700;
  page.SelectFont(font);
  page.SetBkTransparent(true);
  page.SetTextColour(ui::Rgb(0, 0, 0));

  // Title: two centred lines where it breaks (the font shrinks until both fit), then the
  // probe's id.
  char diameter[40];
  std::snprintf(diameter, sizeof diameter, "%g", passport_.diameter);
  const Text1251 title = Text1251(kTitles[kind].text) + diameter + kTitles[kind].ending;
  std::vector<Text1251> lines;
  for (size_t from = 0; from <= title.size();) {
    const size_t end = std::min(title.find('\n', from), title.size());
    lines.push_back(title.substr(from, end - from));
    from = end + 1;
  }
  for (; font.height > 8; --font.height) {
    page.SelectFont(font);
    int widest = 0;
    for (const Text1251& line : lines) widest = std::max(widest, page.TextExtent(line).cx);
    if (widest <= area.Width()) break;
  }
  page.SelectFont(font);
  int y = area.top;
  for (const Text1251& line : lines) {
    const ui::Size size = page.TextExtent(line);
    page.TextOut((area.left + area.right - size.cx) / 2, y, line);
    y += size.cy + 4;
  }
  font.height = 15;
  font.weight = 400;
  page.SelectFont(font);
  const Text1251 id = "Зонд ID="_cp + DeviceIdText(passport_);
  page.TextOut(area.left, y + 12, id);
  y += page.TextExtent(id).cy + 30;

  // The map of the current frame as on screen; kind 2 adds the levels the tactile display was
  // last given, on the same map and colour scale.
  view::UiMapCanvas canvas(page);
  view::MapDisplayState state;
  state.host = map_.host;
  state.visible = map_.visible;
  state.decorations = map_.decorations;
  state.recordingLo = map_.recordingLo;
  state.recordingHi = map_.recordingHi;
  state.passport = &passport_;
  state.brushes = map_.brushes;
  if (!state.brushes.built) state.brushes.MakeBrushes();
  view::MapRequest request;
  request.push = hasLive_ ? &live_ : nullptr;
  request.frame = 0;
  request.mode = view::kMode19;
  request.role = view::kRoleMain;
  request.decorations = map_.decorations;
  request.caption = true;
  const int maps = kind == 2 ? 2 : 1;
  const int gap = 20;
  const int side = std::min((area.Width() - (maps - 1) * gap) / maps, area.bottom - y - 30);
  const char* captions[2] = {"Данные механорецептора"_cp,
                             "Данные, полученные с тактильного дисплея"_cp};
  const display::DisplayPassport law = display::CurrentDisplayPassport();
  const std::array<int, kSensorCount> displayed =
      display::LevelsOnReceptorMap(display::LastValuesSent(), law.v0, law.v1);
  for (int m = 0; m < maps; ++m) {
    const int left = area.left + m * (side + gap);
    if (maps == 2) page.TextOut(left, y, captions[m]);
    const int top = y + (maps == 2 ? 24 : 0);
    request.rect = {left, top, left + side, top + side};
    if (m == 1) {
      request.indices = &displayed;
      request.decorations.curves = 0;
      request.caption = false;
    }
    view::DrawSensorMap(canvas, state, request);
  }
  page.Painter().restore();
  return job.EndPage();
}

}  // namespace recording
