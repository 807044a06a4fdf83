// The canvas draws where GDI would: checked pixel by pixel in a back buffer.
#include "platform/ui/canvas.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstdlib>
#include <filesystem>

#include "platform/file.h"

namespace {

using ui::Rgb;

ui::Colour At(const ui::BackBuffer& b, int x, int y) {
  QRgb p = b.Image().pixel(x, y);
  return Rgb(qRed(p), qGreen(p), qBlue(p));
}

constexpr ui::Colour kWhite = Rgb(255, 255, 255);
constexpr ui::Colour kBlack = Rgb(0, 0, 0);
constexpr ui::Colour kRed = Rgb(255, 0, 0);
constexpr ui::Colour kBlue = Rgb(0, 0, 255);

TEST(Canvas, BackBufferRefusesSizesThatCannotBeAWindow) {
  ui::BackBuffer b;
  EXPECT_FALSE(b.Create(0, 10));
  EXPECT_FALSE(b.Valid());
  EXPECT_FALSE(b.Create(10, -1));
  EXPECT_FALSE(b.Create(100000, 10));
  EXPECT_EQ(b.Begin(), nullptr);
  ASSERT_TRUE(b.Create(1, 1));
  EXPECT_EQ(At(b, 0, 0), kWhite);
}

TEST(Canvas, LinesLeaveOutTheirEndPointAndMoveTheCurrentPosition) {
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(20, 20));
  {
    auto dc = b.Begin();
    dc->SelectPen({kBlack, 1});
    dc->MoveTo(2, 5);
    dc->LineTo(10, 5);   // pixels 2..9
    dc->LineTo(10, 12);  // from the current position, pixels y 5..11
  }
  EXPECT_EQ(At(b, 2, 5), kBlack);
  EXPECT_EQ(At(b, 9, 5), kBlack);
  EXPECT_EQ(At(b, 1, 5), kWhite);
  EXPECT_EQ(At(b, 10, 5), kBlack);  // the start of the second line
  EXPECT_EQ(At(b, 10, 11), kBlack);
  EXPECT_EQ(At(b, 10, 12), kWhite);
}

TEST(Canvas, RectanglesFillInsideAndFramesStayInside) {
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(30, 30));
  {
    auto dc = b.Begin();
    dc->FillRect({0, 0, 30, 30}, kWhite);
    dc->SelectPen({kBlack, 1});
    dc->SelectBrush(ui::Brush::Solid(kRed));
    dc->Rectangle({5, 5, 15, 12});  // outline x 5..14, y 5..11
    dc->FrameRect({20, 20, 25, 25}, kBlue);
    dc->SelectBrush(ui::Brush::Hollow());
    dc->Rectangle({0, 20, 6, 26});
  }
  EXPECT_EQ(At(b, 5, 5), kBlack);
  EXPECT_EQ(At(b, 14, 11), kBlack);
  EXPECT_EQ(At(b, 15, 11), kWhite);
  EXPECT_EQ(At(b, 14, 12), kWhite);
  EXPECT_EQ(At(b, 10, 8), kRed);
  EXPECT_EQ(At(b, 20, 20), kBlue);
  EXPECT_EQ(At(b, 24, 24), kBlue);
  EXPECT_EQ(At(b, 22, 22), kWhite);
  EXPECT_EQ(At(b, 25, 25), kWhite);
  EXPECT_EQ(At(b, 0, 20), kBlack);
  EXPECT_EQ(At(b, 3, 23), kWhite);  // hollow brush
}

TEST(Canvas, PolygonsAreFilledWithTheBrushAndOutlinedWithThePen) {
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(40, 40));
  const ui::Point hexagon[] = {{20, 2}, {36, 11}, {36, 29}, {20, 38}, {4, 29}, {4, 11}};
  {
    auto dc = b.Begin();
    dc->SelectPen({kBlack, 1});
    dc->SelectBrush(ui::Brush::Solid(kBlue));
    dc->Polygon(hexagon, 6);
  }
  EXPECT_EQ(At(b, 20, 20), kBlue);
  EXPECT_EQ(At(b, 20, 2), kBlack);
  EXPECT_EQ(At(b, 4, 20), kBlack);
  EXPECT_EQ(At(b, 1, 1), kWhite);
  EXPECT_EQ(At(b, 38, 38), kWhite);
}

TEST(Canvas, ClippingKeepsDrawingInsideTheClipRectangle) {
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(20, 20));
  {
    auto dc = b.Begin();
    dc->SetClipRect({5, 5, 10, 10});
    dc->FillRect({0, 0, 20, 20}, kRed);
    dc->ResetClip();
    dc->SetPixel(0, 0, kBlue);
  }
  EXPECT_EQ(At(b, 5, 5), kRed);
  EXPECT_EQ(At(b, 9, 9), kRed);
  EXPECT_EQ(At(b, 4, 5), kWhite);
  EXPECT_EQ(At(b, 10, 9), kWhite);
  EXPECT_EQ(At(b, 0, 0), kBlue);
}

TEST(Canvas, TextHasExtentsAndOpaqueTextFillsItsBackground) {
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(200, 40));
  auto dc = b.Begin();
  ui::Size one = dc->TextExtent("rec=1");
  ui::Size two = dc->TextExtent("rec=1rec=1");
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(one.cy, 0);
  EXPECT_GT(two.cx, one.cx);
  EXPECT_EQ(two.cy, one.cy);
  EXPECT_GT(dc->TextExtent("Выйти"_cp).cx, 0);
  dc->SetBkColour(kBlue);
  dc->SetBkTransparent(false);
  dc->SetTextColour(kRed);
  dc->TextOut(10, 10, "WWW");
  dc.reset();
  // The corner of the text cell is background, and some glyph pixel is red-ish.
  EXPECT_EQ(At(b, 10, 10), kBlue);
  bool glyph = false;
  for (int x = 10; x < 10 + one.cx; ++x)
    for (int y = 10; y < 10 + one.cy; ++y)
      if (ui::RedOf(At(b, x, y)) > 200 && ui::BlueOf(At(b, x, y)) < 60) glyph = true;
  EXPECT_TRUE(glyph);
  EXPECT_EQ(At(b, 9, 10), kWhite);
}

TEST(Canvas, BmpExportWritesAWindowsBitmapOfThePart) {
  char tmpl[] = "/tmp/canvas_bmpXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string path = std::string(tmpl) + "/pic.bmp";
  ui::BackBuffer b;
  ASSERT_TRUE(b.Create(30, 20));
  {
    auto dc = b.Begin();
    dc->FillRect({0, 0, 10, 10}, kRed);
  }
  ASSERT_EQ(b.SaveBmp(path, {0, 0, 10, 10}), 0);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(path, bytes));
  ASSERT_GT(bytes.size(), 54u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  auto le32 = [&](size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
  };
  EXPECT_EQ(le32(2), bytes.size());  // file size in the header
  EXPECT_EQ(le32(18), 10u);          // width
  EXPECT_EQ(le32(22), 10u);          // height
  QImage back(QString::fromStdString(path));
  EXPECT_EQ(back.pixelColor(5, 5), QColor(255, 0, 0));
  EXPECT_EQ(ui::BackBuffer().SaveBmp(path), -1);  // nothing to write
  std::filesystem::remove_all(tmpl);
}

TEST(Canvas, PrintJobWritesPagesToAPdfFile) {
  char tmpl[] = "/tmp/canvas_pdfXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string path = std::string(tmpl) + "/protocol.pdf";
  setenv("TACMON_PRINT_PDF", path.c_str(), 1);
  {
    ui::PrintJob job;
    ASSERT_TRUE(job.ChooseInDialog(nullptr));  // no dialog with $TACMON_PRINT_PDF
    EXPECT_GT(job.DpiX(), 96);
    EXPECT_GT(job.PageWidth(), 0);
    EXPECT_LT(job.PageWidth(), job.PageHeight());  // A4 portrait
    EXPECT_EQ(job.EndPage(), -1);                  // no page started
    ASSERT_GT(job.StartDoc("Knee"), 0);
    ASSERT_GT(job.StartPage(), 0);
    ASSERT_NE(job.Page(), nullptr);
    job.Page()->SelectPen({kBlue, 9});
    job.Page()->Line(100, 100, 1000, 1000);
    job.Page()->TextOut(100, 50, "Протокол"_cp);
    EXPECT_GT(job.EndPage(), 0);
    ASSERT_GT(job.StartPage(), 0);
    EXPECT_GT(job.EndPage(), 0);
    EXPECT_GT(job.EndDoc(), 0);
  }
  unsetenv("TACMON_PRINT_PDF");
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray pdf = f.readAll();
  EXPECT_TRUE(pdf.startsWith("%PDF"));
  EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 2);
  std::filesystem::remove_all(tmpl);
}

}  // namespace
