// Passports by hand with the real program: passports created, edited, checked and unchecked
// in the passports dialog opened from the hub, with the files they leave compared byte for
// byte; drafts from a push recorded on the simulated probe through the operation window's menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "acquisition/push_file.h"
#include "e2e/sim_process.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;

std::string Crlf(const std::string& text) {
  std::string s;
  for (char ch : text) s += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return s;
}

// Byte-for-byte equality, reporting the size and the first differing offset only.
void ExpectSameBytes(const std::string& actual, const std::string& expected,
                     const std::string& what) {
  EXPECT_EQ(actual.size(), expected.size()) << what;
  const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
  EXPECT_TRUE(diff.first == actual.end() && diff.second == expected.end())
      << what << ": first difference at byte " << (diff.first - actual.begin());
}

std::string AddBin(int flag) {
  std::string s("\x7c\0\0\0\0\0\0\0", 8);
  s[4] = static_cast<char>(flag);
  return s;
}

class Passports : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    fs::create_directories(Root() / "DVP");
  }

  // Probe 5 on COM3 without autoconnection, no display, no automatic recording, format 1.
  void WriteProbe5Settings() {
    WriteSettingsFile(e2e::SettingsText({{"d NumCOMPort", "3"},
                                         {"d NumDevice", "5"},
                                         {"d set_autoconnect", "0"},
                                         {"d set_use_MechDisplay", "0"},
                                         {"d SetAutoRecord", "0"},
                                         {"d receptor_data_format", "1"}}));
  }

  fs::path Dvp(const std::string& name) const { return Root() / "DVP" / name; }
  static std::string Win(const std::string& name) { return "c:\\Tacmon\\DVP\\" + name; }

  // "/p": the hub shows its laboratory buttons, "Паспорта устройств" among them.
  void RunOk(const std::string& script) { SimRun::RunOk(script, {"/p"}); }

  // The passport expected on file: the defaults with the fields given, stamped as the file says.
  static DevicePassport Expected(const fs::path& bin, int number, const char* id,
                                 const char* health, double refSlope, double refShift) {
    DevicePassport p;
    p.deviceNumber = number;
    ParseDeviceId(id, p.deviceId);
    for (int i = 0; i < kPassportChannels; ++i) p.ok[i] = i < 19 && health[i] != '-' ? 1 : 0;
    p.refSlope = refSlope;
    p.refShift = refShift;
    const std::string block = ReadFile(bin);
    DevicePassport stamped;
    EXPECT_GT(
        DecodePassportBlock(reinterpret_cast<const uint8_t*>(block.data()), block.size(), stamped),
        0)
        << bin;
    p.year = stamped.year;
    p.month = stamped.month;
    p.day = stamped.day;
    p.hour = stamped.hour;
    p.minute = stamped.minute;
    p.second = stamped.second;
    return p;
  }

  void ExpectFiles(const std::string& stem, const DevicePassport& p, bool dvp = true) {
    SCOPED_TRACE(stem);
    EXPECT_GT(p.year, 2000);
    if (dvp) {
      EXPECT_EQ(ReadFile(Dvp(stem + ".dvp")), Crlf(FormatDvp(p)));
    }
    // The block keeps the mark the passport had when stored; "Выйти" rewrites "Add.bin" only.
    DevicePassport stored = p;
    stored.useForAutoconnect = 1;
    const auto block = EncodePassportBlock(stored);
    ExpectSameBytes(ReadFile(Dvp(stem + ".bin")), std::string(block.begin(), block.end()),
                    stem + ".bin");
    EXPECT_EQ(ReadFile(Dvp(stem + "Add.bin")), AddBin(p.useForAutoconnect));
  }

  // tacpush record into the last push file of the data root.
  void RecordLastPush(double seconds) {
    const pid_t pid =
        Spawn("tacpush",
              {"record", "c:\\Tacmon\\pars\\tmpSavedData.bin", "--seconds", std::to_string(seconds),
               "--port", "3", "--device", "5", "--format", "1", "--quiet"},
              "/dev/null");
    ASSERT_GT(pid, 0);
    const int status = WaitForEnd(pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
};

TEST_F(Passports, CreatedEditedCheckedAndUncheckedInTheDialog) {
  // Files named like the new passport 7 would be, holding other devices.
  DevicePassport other;
  other.deviceNumber = 70;
  ASSERT_EQ(WriteDvp(Win("pasp7.dvp"), other), 0);
  other.deviceNumber = 71;
  ASSERT_EQ(WriteDvp(Win("pasp7_v1.dvp"), other), 0);
  const std::string pasp7 = ReadFile(Dvp("pasp7.dvp"));

  auto snapshot = [&](const char* name) { return "snapshot " + Picture(name) + "\n"; };
  // Rows at the start: 70, 71 (in the order of the files); then 3, 5 and 7 are added from the
  // last row as template; 5 gets another health string and reference shift (text rewritten),
  // 3 another reference slope with the text file kept; 70 and 5 are unchecked.
  RunOk("click 1010\nwait 100\n" + snapshot("passports_start.png") +
        "click 1000\ntext 1003 3\ntext 1001 0a1b2c3d4e53\nclick 1007\nwait 100\n"
        "click 1000\ntext 1003 5\ntext 1001 0a1b2c3d4e55\nclick 1007\nwait 100\n"
        "click 1000\ntext 1003 7\ntext 1001 0a1b2c3d4e57\nwait 100\n" +
        snapshot("passports_new.png") +
        "click 1007\nwait 100\n"
        "select 1004 3\nclick 1006\ntext 1002 XXXXXXXXXXXXXXXX---\ntext 1011 12.5\nclick 1007\n"
        "answer Yes\nwait 200\n"
        "select 1004 2\nclick 1006\ntext 1010 2.999999\nclick 1007\nanswer No\nwait 200\n"
        "check-row 1004 0 0\ncheck-row 1004 3 0\nwait 100\n" +
        snapshot("passports_marks.png") +
        "dump dlg.json\n"
        "click 1\nwait 100\nclick 1\n");
  const std::string json = ReadFile(dir_ / "dlg.json");
  // The dump flattens the rows' three columns.
  const auto cells = e2e::Controls(json, "KCDPasports")[1004].items;
  ASSERT_EQ(cells.size(), 15u) << json;
  EXPECT_EQ((std::vector<std::string>{cells[0], cells[3], cells[6], cells[9], cells[12]}),
            (std::vector<std::string>{"70", "71", "3", "5", "7"}));
  EXPECT_EQ(cells[10], "0a1b2c3d4e55");
  EXPECT_EQ(cells[11], "XXXXXXXXXXXXXXXX---");

  const char* all = "XXXXXXXXXXXXXXXXXXX";
  DevicePassport p3 = Expected(Dvp("pasp3.bin"), 3, "0a1b2c3d4e53", all, 2.999999, 0);
  DevicePassport p5 =
      Expected(Dvp("pasp5.bin"), 5, "0a1b2c3d4e55", "XXXXXXXXXXXXXXXX---", 1.0, 12.5);
  DevicePassport p7 = Expected(Dvp("pasp7_v2.bin"), 7, "0a1b2c3d4e57", all, 1.0, 0);
  p5.useForAutoconnect = 0;
  ExpectFiles("pasp3", p3, false);
  ExpectFiles("pasp5", p5);
  ExpectFiles("pasp7_v2", p7);
  // "No" to the rewrite question: pasp3.dvp keeps the text written when it was made (reference
  // slope 1) and the passport as stored goes to its "_dvp_" companion.
  DevicePassport first;
  ASSERT_EQ(ReadDvp(first, Win("pasp3.dvp")), 0);
  EXPECT_EQ(first.refSlope, 1.0);
  EXPECT_EQ(first.deviceNumber, 3);
  EXPECT_EQ(ReadFile(Dvp("pasp3._dvp_")), Crlf(FormatDvp(p3)));
  // The files of 70 and 71 are untouched; 70's check mark is in its "Add.bin".
  EXPECT_EQ(ReadFile(Dvp("pasp7.dvp")), pasp7);
  EXPECT_EQ(ReadFile(Dvp("pasp7Add.bin")), AddBin(0));
  EXPECT_FALSE(fs::exists(Dvp("pasp7_v1Add.bin")));

  // A second run lists the files in name order (3, 5, 70, 71, 7) with the marks read back; 70
  // is checked again and 7 unchecked, then the dialog is closed by its close box after
  // unchecking 3: that mark is not stored.
  RunOk(
      "click 1010\nwait 100\ndump again.json\n"
      "check-row 1004 2 1\ncheck-row 1004 4 0\nclick 1\nwait 100\n"
      "click 1010\nwait 100\ncheck-row 1004 0 0\nclose\nwait 100\nclick 1\n");
  const auto again = e2e::Controls(ReadFile(dir_ / "again.json"), "KCDPasports")[1004].items;
  ASSERT_EQ(again.size(), 15u);
  EXPECT_EQ((std::vector<std::string>{again[0], again[3], again[6], again[9], again[12]}),
            (std::vector<std::string>{"3", "5", "70", "71", "7"}));
  EXPECT_EQ(ReadFile(Dvp("pasp7Add.bin")), AddBin(1));
  EXPECT_EQ(ReadFile(Dvp("pasp7_v2Add.bin")), AddBin(0));
  EXPECT_EQ(ReadFile(Dvp("pasp3Add.bin")), AddBin(1));
  EXPECT_EQ(ReadFile(Dvp("pasp5Add.bin")), AddBin(0));
  const std::string log = Log();
  EXPECT_EQ(log.find("\"Паспорта устройств\" пока не встроено"), std::string::npos) << log;
}

TEST_F(Passports, DraftsFromAPushRecordedOnTheSimulatedProbe) {
  InstallProbePassport();
  StartProbe("rest:0.5,press:0.6:0.8,hold:0.4,release:0.5");
  fs::create_directories(Root() / "pars");
  RecordLastPush(3);
  StopProbe();
  Push push = CreatePush();
  ASSERT_EQ(ReadPushFile(push, kStreamFile), 0);
  ASSERT_GT(push.FrameCount(), 20);

  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 143\n"
      "menu 32799\nfile " +
      (Root() / "DVP" / "draft.dvp").string() +
      "\nwait 200\n"
      "activate 143\nmenu 32859\nfile " +
      (Root() / "DVP" / "second.dvp").string() +
      "\nwait 200\nactivate 143\nclose\nwait 200\nclick 1\n");

  DevicePassport draft;
  ASSERT_EQ(ReadDvp(draft, Win("draft.dvp")), 0);
  for (int i = 0; i < kSensorCount; ++i) {
    int32_t lo = 3200000, hi = -3200000;
    for (const SensorFrame& f : push.frames) {
      lo = std::min(lo, f.values[i]);
      hi = std::max(hi, f.values[i]);
    }
    ASSERT_GT(hi - lo, 100) << "sensor " << i << " was pressed";
    const double d = hi - lo;
    EXPECT_NEAR(draft.slopes[i], 32000.0 / d, 1e-6) << i;
    EXPECT_NEAR(draft.shifts[i], -lo * 32000.0 / d, 1e-6 * std::abs(lo * 32000.0 / d) + 1e-5) << i;
    // The push's range spans 0..32000 under the draft.
    EXPECT_NEAR(Calibrate(draft, i, lo), 0.0, 0.01) << i;
    EXPECT_NEAR(Calibrate(draft, i, hi), 32000.0, 0.01) << i;
  }
  // The second device's draft from the aux slots, where 0 is no reading: a sensor without any
  // keeps the default slope and shift and its "MinMax" line holds the start values.
  DevicePassport second;
  ASSERT_EQ(ReadDvp(second, Win("second.dvp")), 0);
  std::string minMax;
  int without = 0;
  for (int i = 0; i < kSensorCount; ++i) {
    int32_t lo = 3200000, hi = -3200000;
    for (const SensorFrame& f : push.frames) {
      if (f.aux[i] == 0) continue;
      lo = std::min(lo, f.aux[i]);
      hi = std::max(hi, f.aux[i]);
    }
    minMax += std::to_string(i) + ": " + std::to_string(lo) + " " + std::to_string(hi) + "\r\n";
    if (lo > hi) {
      ++without;
      EXPECT_EQ(second.slopes[i], 1.0) << i;
      EXPECT_EQ(second.shifts[i], 0.0) << i;
    } else {
      const double d = std::max(1.0, double(hi) - lo);
      EXPECT_NEAR(second.slopes[i], 32000.0 / d, 1e-6 * 32000.0 / d) << i;
    }
  }
  EXPECT_GT(without, 0) << "a sensor without readings in the second device's slots";
  EXPECT_EQ(ReadFile(Dvp("second.MinMax")), minMax);
}

// "Загрузить паспорт устройства" (32800) while the probe is connected: the live map uses the
// loaded passport at once. Its slopes are 0 and its shifts 16000, so every sensor shows the
// middle of the scale, 128, whatever the probe reads.
TEST_F(Passports, ALoadedPassportReachesTheLiveMapAtOnce) {
  InstallProbePassport();
  WriteProbe5Settings();
  DevicePassport flat = e2e::ProbePassport();
  for (int i = 0; i < kSensorCount; ++i) {
    flat.slopes[i] = 0;
    flat.shifts[i] = 16000;
  }
  // Outside "DVP\", where the registry would list it as a second probe 5.
  ASSERT_EQ(WriteDvp("c:\\Tacmon\\pars\\flat.dvp", flat), 0);
  StartProbe("rest:1.5,press:0.5:0.8,hold:600");
  RunOk(
      "click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 144\nclick 1012\n"
      "wait 3500\nmap-values 144 before.txt\nactivate 143\nmenu 32800\nfile " +
      (Root() / "pars" / "flat.dvp").string() +
      "\nwait 500\nmap-values 144 after.txt\nactivate 144\nclick 1013\nwait 300\n"
      "activate 143\nclose\nwait 200\nclick 1\n");
  auto indices = [&](const char* file) {
    std::istringstream in(ReadFile(dir_ / file));
    std::string word;
    in >> word;  // "indices:"
    std::vector<int> out;
    for (int i = 0, v = 0; i < kSensorCount && in >> v; ++i) out.push_back(v);
    return out;
  };
  const std::vector<int> before = indices("before.txt");
  const std::vector<int> after = indices("after.txt");
  ASSERT_EQ(before.size(), 19u);
  EXPECT_GT(*std::max_element(before.begin(), before.end()), 40) << "the probe presses";
  EXPECT_EQ(after, std::vector<int>(19, 128));
}

// The recording view's three protocols ("/p" shows their buttons) print one page each, here
// into a PDF file, and leave their dated folders; the probe streams so the map shows pressure.
TEST_F(Passports, RecordingViewProtocolsPrintOnePage) {
  DevicePassport probe = e2e::ProbePassport();
  probe.diameter = 12.5;
  InstallProbePassport(probe);
  WriteProbe5Settings();
  StartProbe("rest:1,press:0.5:0.8,hold:30");
  const fs::path pictures = Pictures();
  for (int kind : {0, 2}) {
    SCOPED_TRACE(kind);
    const fs::path pdf = pictures / ("recording_protocol" + std::to_string(kind) + ".pdf");
    fs::remove(pdf);
    setenv("TACMON_PRINT_PDF", pdf.c_str(), 1);
    RunOk(
        "click 1000\ntext 1001 Петров\nclick 1\nwait 300\nactivate 144\nclick 1012\n"
        "wait 2500\nclick " +
        std::to_string(1014 + kind) +
        "\nwait 300\nactivate 144\nclick 1013\nwait 300\nactivate 143\nclose\nwait 200\n"
        "click 1\n");
    unsetenv("TACMON_PRINT_PDF");
    const std::string bytes = ReadFile(pdf);
    ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
    EXPECT_EQ(e2e::Count(bytes, "/Type /Page\n"), 1u);
    const std::string cmd = "command -v pdftoppm >/dev/null && pdftoppm -r 60 -png -singlefile " +
                            pdf.string() + " " + (pictures / pdf.stem()).string();
    (void)std::system(cmd.c_str());
  }
  int plain = 0, second = 0;
  for (const auto& e : fs::directory_iterator(Root() / "Logs")) {
    const std::string name = e.path().filename().string();
    plain += std::regex_match(name, std::regex(R"(Tacmon-\d+-\d+-\d{4}--\d+-\d+-\d+)"));
    second += std::regex_match(name, std::regex(R"(Tacmon2-\d+-\d+-\d{4}--\d+-\d+-\d+)"));
  }
  EXPECT_EQ(plain, 1);
  EXPECT_EQ(second, 1);
}

}  // namespace
