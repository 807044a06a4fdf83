// tacpush_render: draws a frame of a push as the push viewer shows it (the same layout and
// renderer) into a PNG file. Started by "tacpush render" (tools/tacpush/cmd_render.cpp), which
// passes its arguments on unchanged:
//   tacpush_render FILE OUT.png [--frame N] [--mode 19|7|1] [--sensor S] [--size WxH]
//                  [--cell C] [--minmax]
// N is the frame index from 0 (the caption shows N + 1), S the sensor number 1..19, C the side
// of the small maps of the strip in pixels (default 100).
#include <QGuiApplication>
#include <QImage>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acquisition/push_file.h"
#include "platform/ui/canvas.h"
#include "view/push_viewer_model.h"
#include "view/ui_map_canvas.h"

namespace {

int Usage(const char* what) {
  std::fprintf(stderr,
               "tacpush render: %s\nusage: tacpush render FILE OUT.png [--frame N] "
               "[--mode 19|7|1] [--sensor S] [--size WxH] [--cell C] [--minmax]\n",
               what);
  return 2;
}

bool EndsWithNoCase(const std::string& s, const char* ext) {
  size_t n = std::strlen(ext);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != ext[i]) return false;
  return true;
}

bool ParseInt(const char* s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s || *end) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (argc < 3) return Usage("FILE and OUT.png are needed");
  const std::string file = argv[1], out = argv[2];
  int frame = 0, mode = 19, sensor = 10, width = 800, height = 600, cell = 100;
  bool minMax = false;
  for (int i = 3; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--minmax") {
      minMax = true;
      continue;
    }
    if (i + 1 >= argc) return Usage(("missing value after " + opt).c_str());
    const char* v = argv[++i];
    bool ok = true;
    if (opt == "--frame")
      ok = ParseInt(v, frame) && frame >= 0;
    else if (opt == "--mode")
      ok = ParseInt(v, mode) && (mode == 19 || mode == 7 || mode == 1);
    else if (opt == "--sensor")
      ok = ParseInt(v, sensor) && sensor >= 1 && sensor <= 19;
    else if (opt == "--cell")
      ok = ParseInt(v, cell) && cell >= 8 && cell <= 2000;
    else if (opt == "--size")
      ok = std::sscanf(v, "%dx%d", &width, &height) == 2 && width >= 16 && height >= 16 &&
           width <= 10000 && height <= 10000;
    else
      return Usage(("unknown option " + opt).c_str());
    if (!ok) return Usage(("bad value for " + opt).c_str());
  }

  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  std::setlocale(LC_NUMERIC, "C");

  view::ViewerSource source;
  const Text1251 name = Utf8ToCp1251(file);
  int rc = 0;
  if (EndsWithNoCase(file, ".txt") || EndsWithNoCase(file, ".trf"))
    rc = ImportLog(source.push, name, kSensorUnknown);
  else if (EndsWithNoCase(file, ".bin"))
    rc = ReadViewerPushFile(source.push, name);
  else
    rc = ReadPushFile(source.push, name);
  if (rc != 0) {
    std::fprintf(stderr, "tacpush render: %s: cannot read the push (code %d)\n", file.c_str(), rc);
    return 1;
  }
  source.push.fileName = name;
  // No main dialog here: the wire format of the push's own passport selects the normalization.
  if (source.push.hasPassport) SetReceptorDataFormat(source.push.passport.format);

  view::PushViewerModel model;
  model.Open(&source);
  model.SetCurrentFrame(frame);
  model.Map().selected = sensor - 1;
  model.SetMapMode(mode == 7 ? view::kMode7 : mode == 1 ? view::kMode1 : view::kMode19);
  model.Map().decorations.minMax = minMax ? 1 : 0;
  model.ComputeLayout(width, height, cell);
  model.ComputeLayout(width, height, cell);  // as the window: the second layout counts the legend

  ui::BackBuffer buffer;
  if (!buffer.Create(width, height)) {
    std::fprintf(stderr, "tacpush render: cannot create a %dx%d picture\n", width, height);
    return 1;
  }
  {
    std::unique_ptr<ui::Canvas> canvas = buffer.Begin();
    view::UiMapCanvas mapCanvas(*canvas);
    model.Paint(mapCanvas, {0, 0});
  }
  if (!buffer.Image().save(QString::fromUtf8(out.c_str()), "PNG")) {
    std::fprintf(stderr, "tacpush render: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s: frame %d of %d, mode %d, %dx%d\n", out.c_str(), model.CurrentFrame(),
              model.FrameCount(), mode, width, height);
  return 0;
}
