// The pushes list without windows: filling from a folder, recorded pushes, scrolling, the left
// button on present boxes and thumbnails, and export from a stationary database.
#include "recording/pushes_list_model.h"

#include <gtest/gtest.h>

#include <cstring>

#include "acquisition/db_mapping.h"
#include "acquisition/device_passport.h"
#include "acquisition/push_file.h"
#include "medstore/medstore.h"
#include "tests/support/scratch_roots.h"
#include "tests/view/recording_canvas.h"

namespace {

using recording::PushesListModel;
namespace fs = std::filesystem;

const std::string kGolden = std::string(TACMON_TEST_DATA) + "/acquisition/press_1006.psh";
const char* kFolder = "c:\\Tacmon\\OPERATIONS\\op";

class PushesList : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    folder = roots.data() / "OPERATIONS" / "op";
    fs::create_directories(folder);
  }
  // n pushes "10-00-00.psh" .. in the folder, then the list reloaded.
  void Fill(int n) {
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "10-00-%2.2d.psh", i);
      fs::copy_file(kGolden, folder / name, fs::copy_options::overwrite_existing);
    }
    ASSERT_EQ(list.Reload(kFolder), n);
  }
  // A picture four thumbnails of 100 pixels wide, plus a little.
  void Paint(int width = 450) { list.Paint(canvas, {0, 0, width, 100}, state); }
  static ui::Point Centre(const ui::Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  std::vector<int> DrawnEntries() const {
    std::vector<int> out;
    for (int i = 0; i < list.Count(); ++i)
      if (list.Entry(i).Drawn()) out.push_back(i);
    return out;
  }

  ScratchRoots roots;
  fs::path folder;
  PushesListModel list;
  RecordingCanvas canvas;
  view::MapDisplayState state;
};

TEST_F(PushesList, ReloadListsNewestFirstWithTheirDescriptions) {
  Fill(3);
  WriteBytes(folder / "notes.txt", "not a push");
  recording::PushEntry described;
  described.fileName = std::string(kFolder) + "\\10-00-01.psh";
  described.number = 7;
  described.comment = "two\r\nlines";
  ASSERT_EQ(recording::WriteDescription(described), 0);
  ASSERT_EQ(list.Reload(kFolder), 3);
  EXPECT_EQ(list.Entry(0).fileName, std::string(kFolder) + "\\10-00-02.psh");
  EXPECT_EQ(list.Entry(2).fileName, std::string(kFolder) + "\\10-00-00.psh");
  EXPECT_GT(list.Entry(0).push.FrameCount(), 0);
  EXPECT_TRUE(list.Entry(0).push.hasPassport);
  EXPECT_EQ(list.Entry(1).number, 7);
  EXPECT_EQ(list.Entry(1).comment, "two\r\nlines");
  // Without a description file the entry keeps its defaults and shows number -1.
  EXPECT_EQ(list.Entry(0).number, -1);
  EXPECT_EQ(recording::ThumbnailLine(list.Entry(0)).substr(0, 3), "-1)");
  Paint();
  auto texts = canvas.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "-1)0:0:0-0:0:0 (0)"), texts.end());
}

TEST_F(PushesList, UnreadablePushFileGivesAnEmptyPush) {
  WriteBytes(folder / "10-00-00.psh", "garbage");
  ASSERT_EQ(list.Reload(kFolder), 1);
  EXPECT_EQ(list.Entry(0).push.FrameCount(), 0);
  Paint();
  EXPECT_TRUE(list.Entry(0).Drawn());
}

TEST_F(PushesList, PaintDrawsWhatFitsAndRecordsHitRectangles) {
  Fill(10);
  Paint(450);
  EXPECT_EQ(list.Page(), 4);
  EXPECT_EQ(DrawnEntries(), (std::vector<int>{0, 1, 2, 3}));
  const auto& e = list.Entry(1);
  EXPECT_EQ(e.thumbnail, (ui::Rect{101, 0, 200, 100}));
  EXPECT_EQ(e.presentBox, (ui::Rect{184, 6, 194, 16}));
  EXPECT_EQ(e.commentButton, (ui::Rect{107, 79, 122, 94}));
  // The selected entry (0 after a reload) is filled cyan.
  bool cyan = false;
  for (const DrawOp* op : canvas.Of(DrawOp::kFill))
    cyan = cyan || (op->fill == ui::Rgb(0, 255, 255) && op->rect == (ui::Rect{2, 1, 99, 99}));
  EXPECT_TRUE(cyan);
  // A picture exactly four cells wide draws three: the fourth cell would reach the edge.
  Paint(400);
  EXPECT_EQ(DrawnEntries().size(), 3u);
}

// Thumbnails use the recording view's visibility flags and brushes, and each push's own
// passport.
TEST_F(PushesList, ThumbnailsFollowTheRecordingViewsVisibility) {
  Fill(1);
  state.brushes.MakeBrushes();
  const ui::Colour hidden = view::ToColour(state.brushes.hidden);
  auto hiddenCells = [&] {
    int n = 0;
    for (const DrawOp* op : canvas.Cells()) n += op->fill == hidden;
    return n;
  };
  Paint();
  EXPECT_EQ(hiddenCells(), 0);
  state.visible[4] = 0;
  state.visible[9] = 0;
  canvas.ops.clear();
  Paint();
  EXPECT_EQ(hiddenCells(), 2);
  EXPECT_EQ(canvas.Cells().size(), 19u);
}

TEST_F(PushesList, ScrollArrowMovesAPageAndTheBarBesideTheThumbHalfAPage) {
  Fill(10);
  Paint();
  struct Step {
    int code, pos, expected;
  } steps[] = {
      {1, 0, 4}, {1, 0, 8},   {1, 0, 9},   // line right, clamped to the last entry
      {0, 0, 5}, {2, 0, 3},   {3, 0, 5},   // line left; page left and right by two
      {5, 7, 7}, {4, 100, 9}, {5, -3, 0},  // thumb tracking, clamped
      {0, 0, 0},
  };
  for (const Step& s : steps) EXPECT_EQ(list.Scroll(s.code, s.pos), s.expected) << s.code;
  list.Scroll(5, 8);
  Paint();
  EXPECT_EQ(DrawnEntries(), (std::vector<int>{8, 9}));
}

TEST_F(PushesList, EmptyListAndReloadKeepIndicesInRange) {
  EXPECT_EQ(list.Reload(""), 0);
  EXPECT_EQ(list.Reload(kFolder), 0);
  EXPECT_EQ(list.SelectedIndex(), -1);
  EXPECT_EQ(list.Selected(), nullptr);
  EXPECT_EQ(list.Scroll(1, 0), 0);
  EXPECT_EQ(list.Scroll(5, 12), 0);
  Paint();
  EXPECT_EQ(list.LeftButton({50, 50}).hit, PushesListModel::Hit::kNone);
  Fill(10);
  Paint();
  list.Scroll(5, 9);
  Paint();
  list.LeftButton(Centre(list.Entry(9).mapRect));
  EXPECT_EQ(list.SelectedIndex(), 9);
  // Fewer pushes after a reload: the old indices do not survive.
  fs::remove_all(folder);
  fs::create_directories(folder);
  Fill(2);
  EXPECT_EQ(list.FirstVisible(), 0);
  EXPECT_EQ(list.SelectedIndex(), 0);
  fs::remove_all(folder);
  fs::create_directories(folder);
  EXPECT_EQ(list.Reload(kFolder), 0);
  EXPECT_EQ(list.Selected(), nullptr);
}

// Present boxes with deleted pushes hidden: where the selection goes.
TEST_F(PushesList, DeletingMovesTheSelectionToAPresentPush) {
  Fill(4);
  Paint();
  auto flip = [&](int i) {
    Paint();
    ASSERT_TRUE(list.Entry(i).Drawn()) << i;
    auto c = list.LeftButton(Centre(list.Entry(i).presentBox));
    EXPECT_EQ(c.hit, PushesListModel::Hit::kPresentBox);
    EXPECT_EQ(c.index, i);
  };
  flip(1);  // the next present push after it
  EXPECT_EQ(list.Entry(1).present, 0);
  EXPECT_EQ(list.SelectedIndex(), 2);
  flip(3);  // the last one: the nearest present before it
  EXPECT_EQ(list.SelectedIndex(), 2);
  flip(2);
  EXPECT_EQ(list.SelectedIndex(), 0);
  Paint();
  EXPECT_EQ(DrawnEntries(), (std::vector<int>{0}));
  flip(0);  // none left
  EXPECT_EQ(list.SelectedIndex(), -1);
  EXPECT_EQ(list.Selected(), nullptr);
  // Shown again: a push marked present becomes the selected one.
  list.SetShowDeleted(true);
  flip(2);
  EXPECT_EQ(list.SelectedIndex(), 2);
  // With deleted pushes shown, deleting keeps the selection where it is.
  flip(2);
  EXPECT_EQ(list.Entry(2).present, 0);
  EXPECT_EQ(list.SelectedIndex(), 2);
}

TEST_F(PushesList, CommentButtonAndMapSelectAndDoubleClickFindsTheThumbnail) {
  Fill(4);
  Paint();
  auto c = list.LeftButton(Centre(list.Entry(2).commentButton));
  EXPECT_EQ(c.hit, PushesListModel::Hit::kCommentButton);
  EXPECT_EQ(list.SelectedIndex(), 2);
  c = list.LeftButton(Centre(list.Entry(3).mapRect));
  EXPECT_EQ(c.hit, PushesListModel::Hit::kMap);
  EXPECT_EQ(list.SelectedIndex(), 3);
  EXPECT_EQ(list.LeftButton({445, 50}).hit, PushesListModel::Hit::kNone);  // beside the cells
  EXPECT_EQ(list.SelectedIndex(), 3);
  EXPECT_EQ(list.DoubleClick(Centre(list.Entry(1).thumbnail)), (std::vector<int>{1}));
  EXPECT_TRUE(list.DoubleClick({445, 50}).empty());
}

// Two pushes stopped in the same second: the copy names the later "_2"; each keeps its entry
// and its own description file, also after a reload.
TEST_F(PushesList, PushesOfTheSameSecondKeepAnEntryEach) {
  fs::create_directories(roots.data() / "pars");
  fs::copy_file(kGolden, roots.data() / "pars" / "tmpSavedData.bin");
  Text1251 first = CopyStoppedPush(kStreamFile, "", kFolder, 10, 0, 0);
  Text1251 second = CopyStoppedPush(kStreamFile, "", kFolder, 10, 0, 0);
  ASSERT_FALSE(first.empty());
  ASSERT_NE(first, second);
  list.Reload(kFolder + std::string("\\none"));
  list.AddRecordedPush(first, 1000, 1010);
  EXPECT_EQ(list.SelectedIndex(), 0);
  list.AddRecordedPush(second, 1010, 1010);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Entry(0).fileName, second);
  EXPECT_EQ(list.Entry(0).number, 1);
  EXPECT_EQ(list.Entry(1).number, 0);
  EXPECT_EQ(list.SelectedIndex(), 0) << "the newest was selected: the new push is";
  EXPECT_TRUE(fs::exists(folder / "10-00-00.dsc"));
  EXPECT_TRUE(fs::exists(folder / "10-00-00_2.dsc"));
  // The same file once more is read again, not listed twice.
  list.AddRecordedPush(second, 1010, 1011);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Entry(0).endTime, 1011);

  PushesListModel again;
  ASSERT_EQ(again.Reload(kFolder), 2);
  EXPECT_EQ(again.Entry(0).fileName, second);
  EXPECT_EQ(again.Entry(0).number, 1);
  EXPECT_EQ(again.Entry(1).number, 0);
  EXPECT_EQ(again.Entry(1).startTime, 1000);
  // An older push selected stays selected when a new one comes.
  list.Select(1);
  ASSERT_EQ(list.SelectedIndex(), 1);
  Text1251 third = CopyStoppedPush(kStreamFile, "", kFolder, 10, 0, 1);
  list.AddRecordedPush(third, 1011, 1012);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.SelectedIndex(), 2);
  EXPECT_EQ(list.Entry(2).fileName, first);
}

TEST_F(PushesList, ListGrowsPastItsFirstSlots) {
  fs::create_directories(roots.data() / "pars");
  for (int i = 0; i < 25; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "11-00-%2.2d.psh", i);
    fs::copy_file(kGolden, folder / name);
    list.AddRecordedPush(std::string(kFolder) + "\\" + name, i, i + 1);
  }
  ASSERT_EQ(list.Count(), 25);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(list.Entry(i).number, 24 - i);
}

TEST_F(PushesList, ExportWritesEachStationaryPushIntoTheFolder) {
  fs::create_directories(roots.database() / "DB_push");
  std::string path = "c:\\TacmonData\\DB_push";
  push_list* db = InitPushDB(path.data(), nullptr);
  ASSERT_NE(db, nullptr);
  Push golden;
  ASSERT_EQ(ReadPushFile(golden, kGolden), 0);
  PassportRegistry passports;
  DevicePassport known = golden.passport;
  known.deviceId = {1, 2, 3, 4, 5, 6};
  known.deviceNumber = 4242;
  passports.passports.push_back(known);
  // Three pushes of operation 5 (two of them stamped with the same millisecond), one of 6.
  const int ms[] = {6, 0, 6, 1};
  for (int k = 0; k < 4; ++k) {
    push_item rec{};
    PushToDatabase(rec, golden, k < 3 ? 5 : 6, k == 0 ? "the first" : "");
    rec.Time[3] = 9;
    rec.Time[4] = 8;
    rec.Time[5] = 7;
    rec.Time[6] = static_cast<int16_t>(ms[k]);
    std::memset(rec.DeviceIDTxt, 0, sizeof rec.DeviceIDTxt);
    const Text1251 id = k == 1 ? DeviceIdText(known) : Text1251("no such probe");
    std::memcpy(rec.DeviceIDTxt, id.data(), id.size());
    ASSERT_EQ(AddPush(&rec, db), 0);
    ReleasePushRecord(rec);
  }
  ASSERT_EQ(list.ExportFromDatabase(5, db, passports, kFolder), 3);
  EXPECT_TRUE(fs::is_directory(roots.data() / "ENUMS" / "TestPush"));
  ASSERT_EQ(list.Entry(0).fileName, std::string(kFolder) + "\\09-08-07-06.psh");
  EXPECT_EQ(list.Entry(1).fileName, std::string(kFolder) + "\\09-08-07-00.psh");
  EXPECT_EQ(list.Entry(2).fileName, std::string(kFolder) + "\\09-08-07-06_2.psh");
  EXPECT_EQ(list.Entry(0).comment, "the first");
  EXPECT_EQ(list.Entry(2).number, 2);
  // The passport of a known probe replaces the one the record carried.
  EXPECT_EQ(list.Entry(1).push.passport.deviceNumber, 4242);
  EXPECT_NE(list.Entry(0).push.passport.deviceNumber, 4242);
  Push back;
  ASSERT_EQ(ReadPushFile(back, list.Entry(1).fileName), 0);
  EXPECT_EQ(back.FrameCount(), golden.FrameCount());
  EXPECT_EQ(back.frames[3].values, golden.frames[3].values);
  EXPECT_EQ(back.passport.deviceNumber, 4242);
  PushesListModel reloaded;
  ASSERT_EQ(reloaded.Reload(kFolder), 3);
  EXPECT_EQ(reloaded.Entry(1).comment, "the first");  // 09-08-07-06.psh after the "_2"
  // An operation without pushes gives an empty list; no database, -1.
  EXPECT_EQ(list.ExportFromDatabase(77, db, passports, kFolder), 0);
  EXPECT_EQ(list.ExportFromDatabase(5, nullptr, passports, kFolder), -1);
  // A folder given with its closing backslash names the same files.
  ASSERT_EQ(list.ExportFromDatabase(6, db, passports, std::string(kFolder) + "\\"), 1);
  EXPECT_EQ(list.Entry(0).fileName, std::string(kFolder) + "\\09-08-07-01.psh");
  ClosePushDB(db);
}

}  // namespace
