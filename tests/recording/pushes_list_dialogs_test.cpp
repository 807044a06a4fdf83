// The pushes list and patient card panes in a window of their own on the offscreen platform:
// reloading golden pushes, clicks and double clicks by automation mouse commands, the comment
// dialog, export from a stationary database, and pictures of both panes.
#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <filesystem>

#include "acquisition/db_mapping.h"
#include "acquisition/device_passport.h"
#include "acquisition/push_file.h"
#include "medstore/medstore.h"
#include "platform/ui/automation.h"
#include "recording/kcd_notes.h"
#include "recording/patient_card_dlg.h"
#include "recording/pushes_list_dlg.h"
#include "tests/records/records_test_host.h"
#include "tests/ui/ui_env.h"
#include "view/ctacmon_dlg.h"

namespace {

namespace fs = std::filesystem;
using recording::CtacmonDlgInfo;
using recording::CtacmonDlgPushesList;
using uitest::PumpFor;

const char* kFolder = "c:\\Tacmon\\OPERATIONS\\2026.12.11_10-00";

void RegisterWindowTemplate() {
  static bool done = false;
  if (done) return;
  done = true;
  ASSERT_TRUE(ui::RegisterResources(R"RC(
DIALOG 9860 "Operation" 0 0 500 300 STYLE resizable
END
)RC"));
}

// What the operation window gives its panes, over fresh data roots.
class TestOperationWindow : public CDialogK, public OperationPanesHost {
 public:
  TestOperationWindow() : CDialogK(9860) {
    listNode_.kind = 3;
    listNode_.fraction = 0.45;
    listNode_.window = &listPane_;
    listNode_.next = &cardNode_;
    cardNode_.kind = 3;
    cardNode_.fraction = 0.99;
    cardNode_.window = &cardPane_;
    state.host = view::MapHost::kRecording;
    state.brushes.MakeBrushes();
  }
  ~TestOperationWindow() override {
    if (pushes) ClosePushDB(pushes);
  }

  Text1251 OperationFolder() const override { return kFolder; }
  const OperationDescription& Description() const override { return description; }
  void SetCurrentPushName(const Text1251& name) override { names.push_back(name); }
  const view::MapDisplayState& RecordingMapState() const override { return state; }
  bool ShowDeletedPushes() const override { return showDeleted; }
  RecordsHost& Records() override { return records; }
  push_list* PushesDatabase() const override { return pushes; }
  PassportRegistry& Passports() override { return passports; }

  CtacmonDlgPushesList list{*this};
  CtacmonDlgInfo card{*this};
  OperationDescription description;
  view::MapDisplayState state;
  bool showDeleted = false;
  TestHost records;
  push_list* pushes = nullptr;
  PassportRegistry passports;
  std::vector<Text1251> names;

 protected:
  bool OnInitDialog() override {
    EXPECT_TRUE(list.CreatePane(*this));
    EXPECT_TRUE(card.CreatePane(*this));
    listPane_.Set(list.Widget());
    cardPane_.Set(card.Widget());
    paneRoot = &listNode_;
    return true;
  }

 private:
  kit::WidgetPane listPane_, cardPane_;
  kit::PaneNode listNode_, cardNode_;
};

class PanesWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    RegisterWindowTemplate();
    view::RegisterViewerAutomation();
    win = std::make_unique<TestOperationWindow>();
    root = win->records.roots().data();
    folder = root / "OPERATIONS" / "2026.12.11_10-00";
    fs::create_directories(folder);
    fs::create_directories(root / "pars");
    ASSERT_TRUE(win->Create());
    win->SetClientSize(1000, 560);
    win->ShowWindow(ui::SW_SHOW);
    PumpFor(50);
  }
  void TearDown() override {
    for (ui::Dialog* d : ui::OpenDialogs())
      if (auto* v = dynamic_cast<view::CtacmonDlg*>(d)) v->SendCommand(1);
    PumpFor(20);
    if (win->HasWindow()) win->DestroyWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    PumpFor(20);
    // The panes' windows went before their owner's.
    EXPECT_FALSE(win->list.HasWindow());
    EXPECT_FALSE(win->card.HasWindow());
  }
  // n golden pushes "10-00-00.psh" ..., each with a description whose comment is "push k".
  void Fill(int n) {
    const std::string sources[] = {"press_1006.psh", "push_1005.psh", "push_1004.psh"};
    for (int i = 0; i < n; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "10-00-%2.2d.psh", i);
      fs::copy_file(std::string(TACMON_TEST_DATA) + "/acquisition/" + sources[i % 3], folder / name,
                    fs::copy_options::overwrite_existing);
      recording::PushEntry e;
      e.fileName = std::string(kFolder) + "\\" + name;
      e.number = i;
      e.startTime = 36000 + 10 * i;
      e.endTime = e.startTime + 4;
      e.comment = "push " + std::to_string(i);
      ASSERT_EQ(recording::WriteDescription(e), 0);
    }
    ASSERT_EQ(win->list.Reload(kFolder), n);
    // The hub keeps the receptor's data format in step with the probe; here, the pushes'.
    if (n > 0) SetReceptorDataFormat(Entry(0).push.passport.format);
    PumpFor(30);
  }
  // Runs a script against the open windows until it ends.
  void Run(const std::string& script) {
    const std::string path = (root.parent_path() / "panes.script").string();
    WriteBytes(path, script);
    ASSERT_TRUE(ui::automation::Start(path));
    EXPECT_TRUE(uitest::Pump([] { return !ui::automation::Running(); }, 10000)) << script;
    EXPECT_EQ(ui::automation::ExitStatus(), 0) << script;
  }
  static std::string At(const char* action, ui::Point p) {
    return std::string("mouse ") + action + " " + std::to_string(p.x) + " " + std::to_string(p.y) +
           "\n";
  }
  static ui::Point Centre(const ui::Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  recording::PushEntry& Entry(int i) { return win->list.Model().Entry(i); }
  void Snapshot(const char* name) {
    fs::create_directories(TACMON_PANES_SNAPSHOTS);
    win->Widget()->repaint();
    PumpFor(20);
    ASSERT_TRUE(win->Widget()->grab().save(
        QString::fromStdString(std::string(TACMON_PANES_SNAPSHOTS) + "/" + name), "PNG"));
  }

  std::unique_ptr<TestOperationWindow> win;
  fs::path root, folder;
};

TEST_F(PanesWindow, PicturesOfThePushesListAndThePatientCard) {
  win->description.cardNumber = "A-17";
  win->description.firstName = "Иван"_cp;
  win->description.patronymic = "Петрович"_cp;
  win->description.familyName = "Сидоров"_cp;
  win->description.birthDay = 3;
  win->description.birthMonth = 12;
  win->description.birthYear = 1970;
  win->description.organId = 1;
  win->description.organDescription = "left lobe\r\nsegment 4";
  win->description.diagnosisIndex = 2;
  win->description.notes = "first note\r\nsecond note";
  Fill(6);
  Entry(2).present = 0;
  win->list.Model().Select(1);
  win->showDeleted = true;
  Snapshot("pushes_list_and_card.png");

  // The picture ends left of the edge button and above the scroll bar.
  const ui::Rect picture = win->list.PictureArea();
  EXPECT_EQ(picture.right, win->list.ItemRect(recording::kPushesListEdgeButton).right - 1);
  EXPECT_EQ(picture.bottom, win->list.ItemRect(recording::kPushesListScrollBar).top - 2);
  const int s = picture.Height();
  EXPECT_EQ(win->list.Model().Page(), std::min(100, picture.Width() / s));
  // Newest first: the leftmost thumbnail is the last push; the selected one is cyan.
  EXPECT_EQ(Entry(0).fileName, std::string(kFolder) + "\\10-00-05.psh");
  EXPECT_EQ(Entry(1).thumbnail.left, s + 1);
  const QImage pic = win->list.Picture().Image();
  EXPECT_EQ(pic.pixelColor(2 * s - 6, s - 6), QColor(0, 255, 255));  // bottom right corners
  EXPECT_EQ(pic.pixelColor(s - 6, s - 6), QColor(255, 255, 255));
  EXPECT_EQ(pic.pixelColor(s - 1, 3), QColor(0, 0, 0));  // the frames of the first two
  EXPECT_EQ(pic.pixelColor(s + 1, 3), QColor(0, 0, 0));

  // The card: sixteen lines, the birthday with its month name.
  const auto& lines = win->card.Lines();
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[4], "Дата рождения: 3 декабря 1970г."_cp);
  EXPECT_EQ(lines[5], "Орган: org1"_cp);
  EXPECT_EQ(lines[8], "Предв.диагноз: org1-d1"_cp);
  EXPECT_EQ(lines[13], "     second note");
  const QImage card = win->card.Widget()->grab().toImage();
  int dark = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 5; x < 120; ++x) dark += card.pixelColor(x, y).lightness() < 100;
  EXPECT_GT(dark, 20);  // the first line is drawn at the top left
  EXPECT_EQ(card.pixelColor(card.width() - 3, card.height() - 3), QColor(255, 255, 255));

  // With deleted pushes hidden the deleted push leaves the strip.
  win->showDeleted = false;
  Snapshot("pushes_list_hidden_deleted.png");
  EXPECT_FALSE(Entry(2).Drawn());
  EXPECT_EQ(Entry(3).thumbnail.left, 2 * s + 1);
}

TEST_F(PanesWindow, ClicksSelectAndDoubleClickOpensTheViewer) {
  Fill(5);
  const ui::Point map = Centre(Entry(3).mapRect);
  Run("activate 152\n" + At("down", map) + At("up", map) + "wait 20\n");
  EXPECT_EQ(win->list.Model().SelectedIndex(), 3);
  ASSERT_FALSE(win->names.empty());
  EXPECT_EQ(win->names.back(), "push 1");
  EXPECT_EQ(win->list.SelectedEntry(), &Entry(3));

  Run("activate 152\n" + At("dblclk", Centre(Entry(1).thumbnail)) + "wait 50\n");
  view::CtacmonDlg* viewer = nullptr;
  for (ui::Dialog* d : ui::OpenDialogs())
    if (auto* v = dynamic_cast<view::CtacmonDlg*>(d)) viewer = v;
  ASSERT_NE(viewer, nullptr);
  ASSERT_NE(viewer->Model().Source(), nullptr);
  EXPECT_EQ(viewer->Model().Source()->push.fileName, Entry(1).fileName);
  EXPECT_EQ(viewer->Model().FrameCount(), Entry(1).push.FrameCount());
  EXPECT_EQ(viewer->Model().Source()->comment, "push 3");

  // After the viewer has written labels into the push file it tells the list, which reads the
  // entry's push again.
  Push labelled;
  ASSERT_EQ(ReadPushFile(labelled, Entry(1).fileName), 0);
  for (auto& f : labelled.frames) f.SetLabel(true);
  ASSERT_EQ(WritePushFile(labelled, Entry(1).fileName), 0);
  EXPECT_NE(Entry(1).push.LabelCount(), labelled.FrameCount());
  const view::ViewerSource* source = viewer->Model().Source();
  ASSERT_TRUE(PostMessageTo(source->notify, source->notifyMessage, source->notifyParam));
  PumpFor(30);
  EXPECT_EQ(Entry(1).push.LabelCount(), labelled.FrameCount());
}

TEST_F(PanesWindow, ScrollBarMovesTheStrip) {
  Fill(9);
  const int page = win->list.Model().Page();
  ASSERT_GE(page, 2);
  auto* bar = qobject_cast<QAbstractSlider*>(win->list.Item(recording::kPushesListScrollBar));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 8);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  PumpFor(20);
  EXPECT_EQ(win->list.Model().FirstVisible(), std::min(8, page));
  EXPECT_EQ(bar->value(), std::min(8, page));
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  PumpFor(20);
  EXPECT_EQ(win->list.Model().FirstVisible(), std::max(0, std::min(8, page) - page / 2));
  // A reload to an empty folder leaves no position behind.
  fs::remove_all(folder);
  fs::create_directories(folder);
  EXPECT_EQ(win->list.Reload(kFolder), 0);
  EXPECT_EQ(bar->maximum(), 0);
  EXPECT_EQ(win->list.SelectedEntry(), nullptr);
  PumpFor(20);
}

TEST_F(PanesWindow, DeletingTheOnlyPushKeepsTheTitle) {
  Fill(1);
  win->names = {"before"};
  Run("activate 152\n" + At("down", Centre(Entry(0).presentBox)) + "wait 20\n");
  EXPECT_EQ(Entry(0).present, 0);
  EXPECT_EQ(win->list.SelectedEntry(), nullptr);
  EXPECT_EQ(win->names, std::vector<Text1251>{"before"});
  // The flag is not written to the description file.
  recording::PushEntry stored;
  stored.fileName = Entry(0).fileName;
  ASSERT_EQ(recording::ReadDescription(stored), 0);
  EXPECT_EQ(stored.present, 1);
}

TEST_F(PanesWindow, CommentDialogOkStoresAndCancelKeeps) {
  Fill(3);
  const std::string dump = (root.parent_path() / "notes.json").string();
  const ui::Point button = Centre(Entry(1).commentButton);
  const std::string caption = recording::ThumbnailLine(Entry(1));
  Run("activate 152\n" + At("down", button) + "wait 30\ndump " + dump +
      "\ntext 1001 line one\nclick 1\nwait 20\n");
  EXPECT_NE(ReadBytes(dump).find("\"caption\":\"" + caption + "\""), std::string::npos);
  EXPECT_EQ(Entry(1).comment, "line one");
  EXPECT_EQ(win->names.back(), "line one");
  recording::PushEntry stored;
  stored.fileName = Entry(1).fileName;
  ASSERT_EQ(recording::ReadDescription(stored), 0);
  EXPECT_EQ(stored.comment, "line one");

  Run("activate 152\n" + At("down", button) + "wait 30\ntext 1001 changed\nclick 2\nwait 20\n");
  EXPECT_EQ(Entry(1).comment, "line one");
  ASSERT_EQ(recording::ReadDescription(stored), 0);
  EXPECT_EQ(stored.comment, "line one");
}

TEST(NotesDialog, ResizeKeepsMarginsAndTheEditHasTheFocus) {
  recording::KCD_Notes notes("a\r\nb", "caption");
  ASSERT_TRUE(notes.Create());
  notes.ShowWindow(ui::SW_SHOW);
  notes.Widget()->activateWindow();
  PumpFor(50);
  EXPECT_EQ(notes.ItemText(recording::kNotesEditId), "a\r\nb");
  EXPECT_EQ(notes.Caption(), "caption");
  EXPECT_EQ(QApplication::focusWidget(), notes.Item(recording::kNotesEditId));
  const ui::Rect client = notes.ClientRect();
  const ui::Rect edit = notes.ItemRect(recording::kNotesEditId);
  const ui::Rect ok = notes.ItemRect(ui::IDOK);
  const ui::Rect cancel = notes.ItemRect(ui::IDCANCEL);
  notes.SetClientSize(client.Width() + 120, client.Height() + 70);
  PumpFor(30);
  EXPECT_EQ(notes.ItemRect(recording::kNotesEditId),
            (ui::Rect{edit.left, edit.top, edit.right + 120, edit.bottom + 70}));
  EXPECT_EQ(notes.ItemRect(ui::IDOK), ok.Offset(0, 70));
  EXPECT_EQ(notes.ItemRect(ui::IDCANCEL), cancel.Offset(120, 70));
  notes.DestroyWindow();
  PumpFor(10);
}

TEST_F(PanesWindow, ExportFromTheStationaryDatabase) {
  fs::create_directories(win->records.roots().database() / "DB_push");
  std::string path = "c:\\TacmonData\\DB_push";
  win->pushes = InitPushDB(path.data(), nullptr);
  ASSERT_NE(win->pushes, nullptr);
  for (const char* name : {"press_1006.psh", "push_1005.psh"}) {
    Push p;
    ASSERT_EQ(ReadPushFile(p, std::string(TACMON_TEST_DATA) + "/acquisition/" + name), 0);
    push_item rec{};
    PushToDatabase(rec, p, 12, name);
    ASSERT_EQ(AddPush(&rec, win->pushes), 0);
    ReleasePushRecord(rec);
  }
  EXPECT_EQ(win->list.ExportFromDatabase(12), 2);
  EXPECT_EQ(win->list.Entries().size(), 2u);
  for (const recording::PushEntry* e : win->list.Entries()) {
    EXPECT_TRUE(fsw::FileExists(e->fileName)) << e->fileName;
    EXPECT_TRUE(fsw::FileExists(recording::DescriptionFileName(e->fileName)));
  }
  EXPECT_EQ(win->list.Entries()[1]->comment, "push_1005.psh");
  EXPECT_EQ(win->list.ExportFromDatabase(99), 0);
  EXPECT_EQ(win->list.ExportFromDatabase(12), 2);
  Snapshot("pushes_list_exported.png");
}

}  // namespace
