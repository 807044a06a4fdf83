// The display's dialogs on the offscreen platform, driven by automation: the display passport
// (171) read, changed and written on OK, left alone on Cancel; the constant force (172) acting
// on every change and ended when its window goes.
#include <gtest/gtest.h>

#include <QWidget>
#include <filesystem>

#include "display/display_link.h"
#include "display/display_windows.h"
#include "platform/ui/automation.h"
#include "support/scratch_roots.h"
#include "tests/ui/ui_env.h"

namespace display {
namespace {

namespace fs = std::filesystem;

class DisplayDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallDisplay();
    fs::create_directories(roots_.data() / "DVP");
    SetDisplayPassport({});
    SetConstantForceValue(-1);
    SetConstantForceSensor(-1);
  }
  // Starts a script; it runs whenever the event loop is idle (also inside a modal run).
  void Start(const std::string& script) {
    const fs::path path = roots_.base() / "dialog.script";
    WriteBytes(path, script);
    ASSERT_TRUE(ui::automation::Start(path.string()));
  }
  void Finish() {
    EXPECT_TRUE(uitest::Pump([] { return !ui::automation::Running(); }, 10000));
    EXPECT_EQ(ui::automation::ExitStatus(), 0);
  }
  static void Snapshot(ui::Dialog& d, const char* name) {
    fs::create_directories(TACMON_DISPLAY_SNAPSHOTS);
    d.Widget()->repaint();
    uitest::PumpFor(20);
    EXPECT_TRUE(d.Widget()->grab().save(
        QString::fromStdString(std::string(TACMON_DISPLAY_SNAPSHOTS) + "/" + name), "PNG"));
  }
  fs::path PassportFile() const { return roots_.data() / "DVP" / "display.dsp"; }

  ScratchRoots roots_;
};

TEST_F(DisplayDialogs, PassportIsReadOnOpeningAndWrittenOnOkOnly) {
  WriteBytes(PassportFile(), "V0: 10\r\nV1: 300\r\n");
  {
    KCDDisplayPassportSet dlg;
    // V1 does not parse: it keeps its value.
    fs::create_directories(TACMON_DISPLAY_SNAPSHOTS);
    Start("dump " + (roots_.base() / "opened.json").string() + "\nsnapshot " +
          TACMON_DISPLAY_SNAPSHOTS + "/display-passport.png" +
          "\ntext 1001 12.5\ntext 1002 abc\nclick 1\n");
    EXPECT_EQ(dlg.DoModal(), ui::IDOK);
    Finish();
  }
  const std::string opened = ReadBytes(roots_.base() / "opened.json");
  EXPECT_NE(opened.find("\"text\":\"10\""), std::string::npos) << opened;
  EXPECT_NE(opened.find("\"text\":\"300\""), std::string::npos) << opened;
  EXPECT_EQ(ReadBytes(PassportFile()), "V0: 12.5\r\nV1: 300\r\n");
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v0, 12.5);

  {
    KCDDisplayPassportSet dlg;
    Start("text 1001 99\ntext 1002 99\nclick 2\n");
    EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL);
    Finish();
  }
  EXPECT_EQ(ReadBytes(PassportFile()), "V0: 12.5\r\nV1: 300\r\n");
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v0, 12.5);
  EXPECT_DOUBLE_EQ(CurrentDisplayPassport().v1, 300);
  SetDisplayPassport({});
}

TEST_F(DisplayDialogs, ConstantForceActsOnEveryChangeAndEndsWithItsWindow) {
  KCDDisplaySetConstantForce* w = KCDDisplaySetConstantForce::Open(nullptr);
  ASSERT_NE(w, nullptr);
  struct Step {
    const char* script;
    int value, sensor;
  } steps[] = {
      {"text 1001 100\n", 100, -1},
      {"text 1002 5\n", 100, 5},
      {"click 1004\n", 110, 5},  // +10
      {"click 1007\n", 60, 5},   // -50
      {"click 1006\nclick 1006\nclick 1006\nclick 1006\n", 255, 5},
      {"text 1002 \n", 255, -1},  // an empty sensor field: all sensors
      {"click 1003\n", -1, -1},   // "x"
      {"click 1004\n", 9, -1},    // +10 from off
      {"text 1001 abc\n", -1, -1},
      {"text 1001 5\nclick 1005\n", 0, -1},  // -10 from 5
  };
  for (const Step& s : steps) {
    Start("activate 172\n" + std::string(s.script));
    Finish();
    EXPECT_EQ(CurrentConstantForce().value, s.value) << s.script;
    EXPECT_EQ(CurrentConstantForce().sensor, s.sensor) << s.script;
  }
  Snapshot(*w, "constant-force.png");
  Start("activate 172\nclick 1\n");
  Finish();
  uitest::PumpFor(50);
  EXPECT_EQ(CurrentConstantForce().value, -1);
  EXPECT_EQ(CurrentConstantForce().sensor, -1);
}

}  // namespace
}  // namespace display
