// Font records, the fallback chain and CKFileDialog's texts.
#include <gtest/gtest.h>

#include <cstring>

#include "app/kit/file_filter.h"
#include "app/kit/font_record.h"
#include "platform/report.h"
#include "tests/support/scratch_roots.h"

using namespace kit;

namespace {
std::vector<std::string> g_logged;
void Capture(const char* text) { g_logged.push_back(text); }
}  // namespace

TEST(FontRecord, LayoutMatchesLogfontA) {
  EXPECT_EQ(offsetof(FontRecord, weight), 16u);
  EXPECT_EQ(offsetof(FontRecord, italic), 20u);
  EXPECT_EQ(offsetof(FontRecord, charSet), 23u);
  EXPECT_EQ(offsetof(FontRecord, faceName), 28u);
}

TEST(FontRecord, FileRoundTripShortFileAndUnterminatedFace) {
  ScratchRoots roots;
  std::filesystem::create_directories(roots.data() / "pars");
  const std::string path = std::string("c:\\Tacmon\\") + kDefaultFontFile;
  const auto host = roots.data() / "pars" / "DefaultLogFont.bin";

  FontRecord rec{};
  EXPECT_EQ(ReadFontRecord(path, rec), 0);  // missing

  FontRecord written{};
  written.height = -13;
  written.weight = 700;
  written.charSet = kCyrillicCharset;
  SetFaceName(written, "Arial");
  ASSERT_EQ(WriteFontRecord(path, written), 0);
  std::string bytes = ReadBytes(host);
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xF3\xFF\xFF\xFF", 4));  // -13 little-endian
  EXPECT_EQ(bytes.substr(16, 4), std::string("\xBC\x02\0\0", 4));     // 700
  EXPECT_EQ(bytes.substr(28, 6), std::string("Arial\0", 6));
  ASSERT_EQ(ReadFontRecord(path, rec), 60);
  EXPECT_EQ(FaceName(rec), "Arial");
  EXPECT_EQ(rec.weight, 700);

  // 10 bytes count as loaded; the rest keeps its contents.
  WriteBytes(host, std::string("\x10\0\0\0\x05\0\0\0\0\0", 10));
  FontRecord keep = written;
  ASSERT_EQ(ReadFontRecord(path, keep), 10);
  EXPECT_EQ(keep.height, 16);
  EXPECT_EQ(keep.width, 5);
  EXPECT_EQ(keep.weight, 700);
  EXPECT_EQ(FaceName(keep), "Arial");

  // A face name filling all 32 bytes is terminated.
  WriteBytes(host, std::string(28, '\0') + std::string(32, 'F'));
  ASSERT_EQ(ReadFontRecord(path, rec), 60);
  EXPECT_EQ(FaceName(rec), std::string(31, 'F'));
}

TEST(FontRecord, FallbackChainOrderAndReports) {
  LogSink old = SetLogSink(&Capture);
  FontRecord system{};
  SetFaceName(system, "System");
  std::vector<std::string> asked;
  auto only = [&](std::string face, int charset) {
    return [&asked, face, charset](const FontRecord& r) {
      asked.push_back(FaceName(r) + "/" + std::to_string(r.charSet) + "/" +
                      std::to_string(r.height));
      return FaceName(r) == face && (charset < 0 || r.charSet == charset);
    };
  };
  FontRecord got{};
  EXPECT_EQ(CreateFontWithFallbackUsing(system, only("System", -1), &got), 1);
  EXPECT_EQ(asked, std::vector<std::string>{"System/0/0"});

  asked.clear();
  EXPECT_EQ(CreateFontWithFallbackUsing(system, only("Times", 204), &got), 1);
  EXPECT_EQ(asked, (std::vector<std::string>{"System/0/0", "Roman/204/16", "Courier/204/15",
                                             "Times/204/15"}));
  EXPECT_TRUE(g_logged.empty());

  EXPECT_EQ(CreateFontWithFallbackUsing(system, only("Courier", 1), &got), 2);
  EXPECT_EQ(FaceName(got), "Courier");
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_EQ(g_logged[0],
            "(107261030)Can't set russian charset; use default charset for font Courier");

  g_logged.clear();
  for (int i = 0; i < 8; ++i) CreateFontWithFallbackUsing(system, only("none", -1), nullptr);
  ASSERT_EQ(g_logged.size(), 6u);  // at most 6 times per run
  EXPECT_EQ(g_logged[0], std::string("(107261029)") + "Не удается установить фонт"_cp +
                             " Times new Roman (charset=DEFAULT_CHARSET)");
  SetLogSink(old);
}

TEST(FileDialogTexts, FiltersPathsAndTitles) {
  EXPECT_EQ(ParseFileFilter("A|*.a|B|*.b||"),
            (std::vector<FileFilter>{{"A", "*.a"}, {"B", "*.b"}}));
  EXPECT_EQ(ParseFileFilter("Pushes (*.psh;*.bin)|*.psh;*.bin||"),
            (std::vector<FileFilter>{{"Pushes (*.psh;*.bin)", "*.psh;*.bin"}}));
  EXPECT_EQ(ParseFileFilter("A|*.a|B||"), (std::vector<FileFilter>{{"A", "*.a"}}));
  EXPECT_TRUE(ParseFileFilter("").empty());

  struct Case {
    const char* in;
    const char* out;
  } paths[] = {{"  /tmp/a b.txt  ", "/tmp/a b.txt"},
               {" \"/tmp/q.txt\" ", "/tmp/q.txt"},
               {"\"", "\""},
               {"\"\"", ""},
               {"x\"", "x\""}};
  for (const auto& c : paths) EXPECT_EQ(CleanChosenPath(c.in), c.out) << c.in;
  EXPECT_EQ(DialogTitle(std::string(600, 't')).size(), 528u);
}
