// The sensitivity and sensor characteristics dialogs in the real program: opened from the
// operation window over the live map of tacprobe (pressing steadily) and from the push viewer,
// they change the colour indices of the maps at once, Cancel brings back exactly the indices
// shown before, and OK keeps the change (the sensitivity in "KCDMain", the coefficients in the
// DVP file written by "Save").
#include <gtest/gtest.h>

#include "acquisition/push_file.h"
#include "e2e/sim_process.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;

// What "map-values" wrote: the 19 colour indices of the main map and the highlighted sensor.
struct MapValues {
  std::vector<int> indices;
  int highlighted = -2;
};

MapValues ReadValues(const fs::path& file) {
  MapValues m;
  std::istringstream in(ReadFile(file));
  std::string word;
  in >> word;
  EXPECT_EQ(word, "indices:") << file;
  for (int i = 0; i < 19 && in >> word; ++i) m.indices.push_back(std::stoi(word));
  in >> word >> m.highlighted;
  EXPECT_EQ(m.indices.size(), 19u) << file;
  return m;
}

class Tuning : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    WriteSettingsFile(Settings());
    InstallProbePassport();
  }

  static std::string Settings() {
    return e2e::SettingsText({
        {"l DtShowVideo", "0.05"},
        {"d NumCOMPort", "3"},
        {"d NumDevice", "5"},
        {"d set_use_MechDisplay", "0"},
        {"d set_disp_autoconnect", "0"},
        {"d set_autoconnect", "0"},
        {"d set_connect2", "0"},
        {"d SetAutoRecord", "0"},
        {"d set_output_sensors_numbers", "1"},
        {"l SensibilityReceptorV", "1"},
        {"l SensibilitySecondReceptorV", "1"},
        {"d receptor_data_format", "1"},
    });
  }

  MapValues Values(const std::string& name) const { return ReadValues(dir_ / name); }
};

// tacprobe at rest for the zero point, then pressing steadily.
constexpr const char* kPressSteadily = "rest:2.5,press:0.5:0.5,hold:600";

TEST_F(Tuning, TheLiveMapFollowsBothDialogsAndCancelRestoresItExactly) {
  StartProbe(kPressSteadily);
  const std::string dvp = (dir_ / "edited.dvp").string();
  RunOk(
      // A new operation, connected; the probe presses after the zero point.
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\n"
      "activate 144\nclick 1012\nwait 4500\nmap-values 144 before.txt\n"
      // Sensitivity: the slider, a typed value, texts that do not scan, then Cancel.
      "activate 143\nmenu 32858\nselect 1009 750\nwait 400\nmap-values 144 slider.txt\n"
      "text 1001 0.5\nwait 400\nmap-values 144 typed.txt\n"
      "text 1001 nan\nwait 200\ntext 1001 inf\nwait 400\nmap-values 144 nan.txt\n"
      "dump sensitivity.json\nscreenshot " +
      Picture("sensitivity-live.png") + "\nsnapshot " + Picture("sensitivity-dialog.png") +
      // Beyond the scale: the slider at its end; "=1": the value at opening.
      "\ntext 1001 150\nwait 200\ndump beyond.json\nclick 1000\nwait 400\n"
      "map-values 144 reset.txt\ndump reset.json\nselect 1009 100\n"
      "click 2\nwait 400\nmap-values 144 sensitivity-cancelled.txt\n"
      // Characteristics: sensor 10, arrows of A and B, a typed B, then Cancel.
      "activate 143\nmenu 32860\nwait 300\nmap-values 144 opened.txt\n"
      "text 1001 10\nspin 1136 up\nspin 1140 up\nwait 400\n"
      "map-values 144 arrows.txt\ndump arrows.json\n"
      "text 1003 nan\nwait 200\nmap-values 144 chars-nan.txt\n"
      "text 1001 3\ntext 1003 2000\nwait 400\nmap-values 144 typed-b.txt\nscreenshot " +
      Picture("characteristics-live.png") + "\nsnapshot " + Picture("characteristics-dialog.png") +
      "\nclick 2\nwait 400\nmap-values 144 chars-cancelled.txt\n"
      // OK keeps: the sensitivity written into "KCDMain", the coefficients saved by "Save".
      "activate 143\nmenu 32858\ntext 1001 2\nclick 1\nwait 400\nmap-values 144 sens-ok.txt\n"
      "activate 143\nmenu 32860\ntext 1001 10\nspin 1134 down\nclick 1011\nfile " +
      dvp +
      "\nwait 200\nactivate 167\nclick 1\nwait 400\nmap-values 144 chars-ok.txt\n"
      "activate 144\nclick 1013\nwait 300\nactivate 143\nclick 1\nwait 200\nclick 1\n");
  StopProbe();

  const MapValues before = Values("before.txt");
  // The probe presses: the centre sensors over the inclusion are well above 0, none at 255.
  EXPECT_GT(before.indices[9], 40);
  EXPECT_LT(*std::max_element(before.indices.begin(), before.indices.end()), 200);
  EXPECT_EQ(before.highlighted, -1);

  // Sensitivity 25.75 from the slider, then 0.5 typed: every index scales.
  const MapValues slider = Values("slider.txt");
  const MapValues typed = Values("typed.txt");
  for (int s = 0; s < 19; ++s) {
    // Up to the rounding of the index shown before.
    EXPECT_NEAR(slider.indices[s], std::min(255.0, before.indices[s] * 25.75), 13.5) << s;
    EXPECT_NEAR(typed.indices[s], before.indices[s] * 0.5, 1.0) << s;
  }
  EXPECT_EQ(Values("nan.txt").indices, typed.indices) << "\"nan\" and \"inf\" change nothing";
  const auto dlg = e2e::Controls(ReadFile(dir_ / "sensitivity.json"), "CKD_SensibilitySensorSet");
  EXPECT_EQ(dlg.at(1001).text, "inf");
  const auto beyond = e2e::Controls(ReadFile(dir_ / "beyond.json"), "CKD_SensibilitySensorSet");
  EXPECT_EQ(beyond.at(1009).selection, 1000);
  const auto reset = e2e::Controls(ReadFile(dir_ / "reset.json"), "CKD_SensibilitySensorSet");
  EXPECT_EQ(reset.at(1009).selection, 500);
  EXPECT_EQ(reset.at(1001).text, "1");
  EXPECT_EQ(Values("reset.txt").indices, before.indices);
  EXPECT_EQ(Values("sensitivity-cancelled.txt").indices, before.indices);

  // Characteristics: the edited sensor is highlighted while the dialog is open.
  EXPECT_EQ(Values("opened.txt").highlighted, 0);
  EXPECT_EQ(Values("opened.txt").indices, before.indices) << "opening changes nothing";
  const MapValues arrows = Values("arrows.txt");
  EXPECT_EQ(arrows.highlighted, 9);
  EXPECT_NE(arrows.indices[9], before.indices[9]);
  for (int s = 0; s < 19; ++s)
    if (s != 9) {
      EXPECT_EQ(arrows.indices[s], before.indices[s]) << s;
    }
  const auto chars = e2e::Controls(ReadFile(dir_ / "arrows.json"), "KCD_SetSensorCharacteristics");
  EXPECT_EQ(chars.at(1002).text, "2");
  EXPECT_EQ(Values("chars-nan.txt").indices, arrows.indices);
  const MapValues typedB = Values("typed-b.txt");
  EXPECT_EQ(typedB.highlighted, 2);
  EXPECT_GT(typedB.indices[2], before.indices[2]);
  EXPECT_EQ(typedB.indices[9], arrows.indices[9]) << "sensor 10 keeps its edit until Cancel";
  const MapValues cancelled = Values("chars-cancelled.txt");
  EXPECT_EQ(cancelled.indices, before.indices) << "every sensor edited is restored";
  EXPECT_EQ(cancelled.highlighted, -1);

  // OK: sensitivity 2 stays and is written; the coefficients stay and "Save" wrote them.
  const MapValues sensOk = Values("sens-ok.txt");
  for (int s = 0; s < 19; ++s)
    EXPECT_NEAR(sensOk.indices[s], std::min(255.0, before.indices[s] * 2.0), 1.5) << s;
  const std::string par = ReadFile(Root() / "pars" / "KCDMain.par");
  EXPECT_NE(par.find("l SensibilityReceptorV\r\n2\r\n"), std::string::npos) << par;
  const MapValues charsOk = Values("chars-ok.txt");
  EXPECT_EQ(charsOk.highlighted, -1);
  // A of sensor 10 went down by 0.1: the line turned about the range top, so the pressed
  // sensor shows more.
  EXPECT_GT(charsOk.indices[9], sensOk.indices[9]);
  DevicePassport saved;
  ASSERT_EQ(ReadDvp(saved, dvp), 0);
  EXPECT_DOUBLE_EQ(saved.slopes[9], 0.9);
  EXPECT_EQ(saved.slopes[8], 1.0);
}

TEST_F(Tuning, TheViewerMapFollowsBothDialogsAndCancelRestoresItExactly) {
  // A recorded push of 10 equal frames whose passport maps them to the middle of the scale.
  Push push = CreatePush();
  AllocateFrames(push, 10);
  for (SensorFrame& f : push.frames)
    for (int s = 0; s < kSensorCount; ++s) f.values[s] = 4000 + 500 * s;
  push.hasPassport = true;
  const fs::path file = dir_ / "10-00-00.psh";
  ASSERT_EQ(WritePushFile(push, file.string()), 0);
  ASSERT_EQ(WriteViewerPushFile(push, (dir_ / "loaded.bin").string()), 0);
  RunOk("viewer " + file.string() +
        "\nwait 300\nmap-values 102 before.txt\n"
        "menu 32858\nselect 1009 750\nwait 300\nmap-values 102 slider.txt\nclick 2\nwait 300\n"
        "map-values 102 sensitivity-cancelled.txt\n"
        "menu 32862\ntext 1001 19\nspin 1138 up\nspin 1141 down\nwait 300\n"
        "map-values 102 arrows.txt\nscreenshot " +
        Picture("characteristics-viewer.png") +
        // Closed by its frame: as Cancel.
        "\nclose\nwait 300\nmap-values 102 chars-cancelled.txt\n"
        // A push loaded from a file has no source entry: the command does nothing.
        "viewer-load " +
        (dir_ / "loaded.bin").string() + "\nmenu 32860\nwait 300\ndump loaded.json\nclose\n" +
        "wait 200\nclick 1\n");
  const MapValues before = Values("before.txt");
  EXPECT_EQ(before.highlighted, -1);
  EXPECT_GT(before.indices[0], 20);
  EXPECT_LT(before.indices[18], 200);
  const MapValues slider = Values("slider.txt");
  for (int s = 0; s < 19; ++s)
    EXPECT_NEAR(slider.indices[s], std::min(255.0, before.indices[s] * 25.75), 13.5) << s;
  EXPECT_EQ(Values("sensitivity-cancelled.txt").indices, before.indices);
  EXPECT_EQ(ReadFile(Root() / "pars" / "KCDMain.par"), Settings()) << "Cancel writes no settings";

  const MapValues arrows = Values("arrows.txt");
  EXPECT_EQ(arrows.highlighted, 18) << "the viewer is the dialog's second window";
  EXPECT_NE(arrows.indices[18], before.indices[18]);
  for (int s = 0; s < 18; ++s) EXPECT_EQ(arrows.indices[s], before.indices[s]) << s;
  const MapValues cancelled = Values("chars-cancelled.txt");
  EXPECT_EQ(cancelled.indices, before.indices);
  EXPECT_EQ(cancelled.highlighted, -1);

  const std::string loaded = ReadFile(dir_ / "loaded.json");
  EXPECT_EQ(loaded.find("KCD_SetSensorCharacteristics"), std::string::npos) << loaded;
}

}  // namespace
