// The probes around the operation window with the real program: the device search over
// simulated adapters (and a port that streams without end) connecting to the device chosen,
// and the second receptor pane fed by a second probe, each tacprobe on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "acquisition/push.h"
#include "e2e/sim_process.h"

namespace {

namespace fs = std::filesystem;
using e2e::kProbeId;
using e2e::ReadFile;
using e2e::RunResult;

class Devices : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    InstallProbePassport();
  }

  void WriteSettings(bool autoconnect, bool connect2, bool secondWindow, bool textDump = false) {
    WriteSettingsFile(e2e::SettingsText({
        {"l DtShowVideo", "0.05"},
        {"d NumCOMPort", "3"},
        {"d NumCOMPort2", "4"},
        {"d NumDevice", "5"},
        {"d NumDevice2", "7"},
        {"d set_use_MechDisplay", "0"},
        {"d set_disp_autoconnect", "0"},
        {"d set_autoconnect", autoconnect ? "1" : "0"},
        {"d set_connect2", connect2 ? "1" : "0"},
        {"d set_use_file_instead_COM_port", "0"},
        {"d SetAutoRecord", "0"},
        {"d set_output_all_data_into_text_file", textDump ? "1" : "0"},
        {"d set_use_second_receptor_window", secondWindow ? "1" : "0"},
        {"d receptor_data_format", "1"},
        {"l SensibilityReceptorV", "1"},
        {"l SensibilitySecondReceptorV", "1"},
        {"d set_use_recognition_library", "0"},
    }));
  }

  // A tacprobe program on COM<com> with the arguments given (at rest, no noise, quiet).
  void StartProbeOn(int com, std::vector<std::string> more) {
    std::vector<std::string> args = {"--com",    std::to_string(com), "--noise", "0",
                                     "--script", "rest:600",          "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    StartOn(com, "tacprobe", std::move(args));
  }

  // The texts of the message boxes in a dump, in order, with their answers.
  static std::vector<std::pair<std::string, std::string>> Boxes(const std::string& json) {
    std::vector<std::pair<std::string, std::string>> out;
    static const std::regex kBox(
        R"re(\{"caption":"(?:[^"\\]|\\.)*","text":"((?:[^"\\]|\\.)*)","answer":"(\w*)"\})re");
    for (std::sregex_iterator it(json.begin(), json.end(), kBox), e; it != e; ++it)
      out.emplace_back(e2e::Unescape((*it)[1]), (*it)[2]);
    return out;
  }
};

TEST_F(Devices, SearchListsTheSimulatedProbesAndConnectsToTheChosenOne) {
  // COM3: an adapter that sees a probe unknown to the registry (and one more device); COM4: a
  // probe without an adapter that streams as long as the port is open; COM6: an adapter that
  // sees the registry's probe 5.
  StartProbeOn(3, {"--format", "1", "--id", "a1a2a3a4a5a6", "--search-ids",
                   "a1a2a3a4a5a6,b1b2b3b4b5b6", "--search-delay", "0.25"});
  StartProbeOn(4, {"--format", "1", "--direct"});
  StartProbeOn(6, {"--format", "1", "--id", kProbeId});
  WriteSettings(true, false, false);
  const std::string report = Picture("device-search.png");
  const auto started = std::chrono::steady_clock::now();
  RunResult r =
      Run("click 1000\ntext 1001 Поиск\nclick 1\nwait 300\nactivate 143\n"
          "menu 32865\nwait 300\nsnapshot " +
          report +
          "\nanswer Yes\nwait 3000\nactivate 143\ndump connected.json\n"
          "activate 144\nclick 1013\nwait 500\nactivate 143\nclick 1\nwait 200\nclick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_TRUE(fs::exists(report));

  const std::string json = ReadFile(dir_ / "connected.json");
  const auto boxes = Boxes(json);
  ASSERT_EQ(boxes.size(), 1u) << json;
  const std::string& text = boxes[0].first;
  EXPECT_EQ(boxes[0].second, "Yes");
  EXPECT_NE(text.find("COM3:\n\r\nInquiry\r\na1:a2:a3:a4:a5:a6 QRX tacprobe\r\n"
                      "b1:b2:b3:b4:b5:b6 QRX tacprobe\r\nOK\nCOM4:"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("COM4:\n(порт передает данные без остановки, опрос прерван)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("COM6:\n\r\nInquiry\r\n0a:1b:2c:3d:4e:5f QRX tacprobe\r\nOK"),
            std::string::npos);
  EXPECT_NE(text.find("\nРезультаты записаны в файл C:\\Tacmon\\DVP\\search_devices.txt"
                      "\nСоединиться с устройством с номером a1:a2:a3:a4:a5:a6?"),
            std::string::npos)
      << text;
  // The whole run, the search with its streaming port included, ends well within its bounds.
  EXPECT_LT(seconds, 30.0);

  // Yes: autoconnect tried only the device chosen, through the adapter on COM3.
  const std::string log = Log();
  EXPECT_NE(
      log.find("Механорецептор: соединение установлено на порт COM3 (device id=a1a2a3a4a5a6)"),
      std::string::npos)
      << log;
  EXPECT_EQ(log.find("device id=0a1b2c3d4e5f"), std::string::npos) << log;
  EXPECT_NE(log.find("Поиск устройств: COM4 передает данные без остановки"), std::string::npos);
  const auto view = e2e::Controls(json, "CtacmonDlgRecord");
  EXPECT_TRUE(view.at(1013).visible) << "connected: Disconnect is shown";
  // The passport files stay as they were; the search file holds the raw answers.
  std::vector<std::string> dvp;
  for (const fs::path& f : e2e::Files(Root() / "DVP", ".dvp")) dvp.push_back(f.filename());
  EXPECT_EQ(dvp, std::vector<std::string>{"probe5.dvp"});
  const std::string file = ReadFile(Root() / "DVP" / "search_devices.txt");
  EXPECT_EQ(file.find("\r\nInquiry\r\na1:a2:a3:a4:a5:a6 QRX tacprobe\r\n"), 0u) << file.size();
}

TEST_F(Devices, SecondReceptorPaneFollowsTheSecondProbe) {
  // Probe 5 behind its adapter on COM3, probe 7 streaming on COM4: two tacprobe programs.
  // Probe 7 rests for 6 s of its session, which begins with the connection, then is pressed.
  DevicePassport second;
  second.deviceNumber = 7;
  ParseDeviceId("070707070707", second.deviceId);
  second.format = 1;
  for (int i = 0; i < kSensorCount; ++i) {
    // Sensor i reads 1000 + 10 i at rest: 1000 i after slope and shift, 8 i on the scale.
    second.slopes[i] = 100;
    second.shifts[i] = -100000;
  }
  ASSERT_EQ(WriteDvp("c:\\Tacmon\\DVP\\probe7.dvp", second), 0);
  StartProbeOn(3, {"--format", "1", "--id", kProbeId});
  StartProbeOn(4, {"--format", "1", "--direct", "--rest", "1000", "--script",
                   "rest:6,press:1:0.8,hold:600"});
  WriteSettings(false, true, true, true);
  const std::string window = Picture("second-receptor.png");
  // Connect; a push starts at about 1.5 s (a new zero point, both probes at rest) and is
  // stopped while probe 7 is held pressed.
  RunResult r =
      Run("click 1000\ntext 1001 Двое\nclick 1\nwait 300\nactivate 143\n"
          "dump-second-receptor before.txt\n"
          "activate 144\nclick 1012\nwait 1500\nclick 1010\nwait 7500\nactivate 143\nsnapshot " +
          window +
          "\ndump-second-receptor after.txt\ndump window.json\n"
          "activate 144\nclick 1011\nclick 1013\nwait 500\nactivate 143\nclick 1\nanswer OK\n"
          "wait 200\nclick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(window));
  const std::string log = Log();
  EXPECT_NE(log.find("Механорецептор #2: соединение установлено на порт COM4"), std::string::npos)
      << log;
  EXPECT_EQ(ReadFile(dir_ / "before.txt"), "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n")
      << "before the first connection every cell shows colour 0";

  // The push's text dump: its last frame (eight lines) carries probe 7's raw values (line 6)
  // and their normalized values (line 5) through probe 7's passport with the zero point of
  // the rest values.
  const auto ops = Operations();
  ASSERT_EQ(ops.size(), 1u);
  std::vector<fs::path> dumps;
  for (const auto& e : fs::directory_iterator(ops[0]))
    if (e.path().extension() == ".txt") dumps.push_back(e.path());
  ASSERT_EQ(dumps.size(), 1u);
  std::vector<std::string> lines;
  {
    std::istringstream in(ReadFile(dumps[0]));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  ASSERT_GE(lines.size(), 8u);
  auto numbers = [](const std::string& line) {
    std::vector<int> out;
    std::istringstream in(line);
    for (int v; in >> v;) out.push_back(v);
    return out;
  };
  const std::vector<int> normalized = numbers(lines[lines.size() - 4]);
  const std::vector<int> raw = numbers(lines[lines.size() - 3]);
  ASSERT_EQ(raw.size(), 19u);
  ASSERT_EQ(normalized.size(), 19u);
  DevicePassport zeroed;
  ASSERT_EQ(ReadDvp(zeroed, "c:\\Tacmon\\DVP\\probe7.dvp"), 0);
  for (int i = 0; i < kSensorCount; ++i)
    ApplyZeroPoint(zeroed, i, Calibrate(zeroed, i, 1000 + 10 * i), 1, true);
  SetReceptorDataFormat(1);
  SetReceptorSensitivity(1, 1.0);
  std::string expected;
  int pressed = 0;
  for (int i = 0; i < kSensorCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(raw[i], 1000 + 10 * i) << "probe 7 is pressed";
    const double calibrated = Calibrate(zeroed, i, raw[i]);
    EXPECT_EQ(normalized[i], calibrated > 0 ? static_cast<int>(std::floor(calibrated + 0.5)) : 0);
    const int shown = static_cast<int>(DisplayValue(zeroed, i, raw[i], 1) + 0.5);
    pressed += shown > 0;
    expected += (i ? " " : "") + std::to_string(shown);
  }
  EXPECT_EQ(pressed, kSensorCount) << expected;
  // The pane: the same values on the scale (probe 7 held the press from the dump's last frame
  // to the pane's dump).
  EXPECT_EQ(ReadFile(dir_ / "after.txt"), expected + "\n");
  // The pane is the window's fourth, below the patient card.
  EXPECT_NE(ReadFile(dir_ / "window.json").find("\"class\":\"KCDSecondReceptorShow\""),
            std::string::npos);
}

}  // namespace
