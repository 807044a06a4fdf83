// "tacpush render" draws the golden push as the reference pictures show it.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/scratch_roots.h"

namespace {

struct Reference {
  const char* file;
  const char* options;
};

// The programs' folder: $TACMON_BIN, else the folder of this test (both land in <build>/bin).
std::string BinFolder() {
  if (const char* bin = std::getenv("TACMON_BIN")) return bin;
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// Share of pixels that differ; 1 when the sizes differ or a picture is missing.
double DifferingShare(const QImage& a, const QImage& b) {
  if (a.isNull() || b.isNull() || a.size() != b.size()) return 1;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  long long differ = 0;
  for (int row = 0; row < x.height(); ++row) {
    auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
    auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
    for (int col = 0; col < x.width(); ++col) differ += (p[col] & 0xFFFFFF) != (q[col] & 0xFFFFFF);
  }
  return double(differ) / (double(x.width()) * x.height());
}

TEST(RenderReference, TacpushRenderMatchesTheReferencePictures) {
  const std::string bin = BinFolder();
  ScratchRoots roots;
  const std::string data = TACMON_TEST_DATA;
  const Reference refs[] = {
      {"press_f150_m19.png", "--frame 150"},
      {"press_f150_m7_s5.png", "--frame 150 --mode 7 --sensor 5"},
      {"press_f60_m1_s10.png", "--frame 60 --mode 1 --sensor 10"},
      {"press_f0_m19_1280x720_minmax.png", "--frame 0 --size 1280x720 --minmax"},
  };
  for (const Reference& r : refs) {
    SCOPED_TRACE(r.file);
    const std::string out = (roots.base() / r.file).string();
    const std::string cmd = bin + "/tacpush render '" + data + "/acquisition/press_1006.psh' '" +
                            out + "' " + r.options + " > /dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    QImage drawn(QString::fromStdString(out));
    QImage expected(QString::fromStdString(data + "/view/" + r.file));
    // Text rasterization may move a few pixels between font versions; the geometry may not.
    EXPECT_LT(DifferingShare(drawn, expected), 0.005);
  }
}

TEST(RenderReference, BadArgumentsAreRefused) {
  const std::string bin = BinFolder();
  ScratchRoots roots;
  const std::string out = (roots.base() / "x.png").string();
  const std::string push = std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh";
  const std::string cases[] = {
      "",                                          // no file
      "'" + push + "' '" + out + "' --mode 3",     // no such mode
      "'" + push + "' '" + out + "' --sensor 20",  // no such sensor
      "'" + push + "' '" + out + "' --size 0x0",   // no picture
      "'" + (roots.base() / "missing.psh").string() + "' '" + out + "'",
  };
  for (const std::string& args : cases) {
    const std::string cmd = bin + "/tacpush render " + args + " > /dev/null 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0) << cmd;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
