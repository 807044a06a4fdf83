// The tactile display with the real program: tacprobe on COM3 and tacdisplay on COM4, driven
// by automation. The display is searched for from COM2 (the probe's port is tried while free
// and passed over once the probe holds it), found, shown by the hub; the frames drawn while a
// push is recorded reach it as "k01=..." ... "k19=..." with the levels of the transfer law and
// the sensor map computed here from the recorded push; the display goes away and comes back
// while the recording goes on; constant force acts; the next search begins at COM4.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <set>

#include "acquisition/push_file.h"
#include "display/display_link.h"
#include "e2e/sim_process.h"
#include "view/colour_scale.h"

namespace {

namespace fs = std::filesystem;
using e2e::Count;
using e2e::ReadFile;
using e2e::RunResult;

// The probe at rest, pressed after 4 s, held, released, at rest.
constexpr const char* kPressOnce = "rest:4,press:1.5:0.9,hold:2,release:1.5,rest:600";

class DisplayRun : public e2e::SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    InstallProbePassport();
  }

  void WriteSettings(int oneToOne) {
    WriteSettingsFile(e2e::DefaultSettingsText(
        {{"NumCOMPort2", "5"},
         {"set_autoconnect", "0"},
         {"set_correspond_mech_receptor_sensor_to_display_sensor", std::to_string(oneToOne)},
         {"SetAutoRecord", "0"},
         {"set_use_second_receptor_window", "0"},
         {"receptor_data_format", "1"}}));
  }

  // "Display: check COM=<n>" in order.
  static std::vector<int> Checked(const std::string& log) {
    std::vector<int> out;
    const std::string key = "Display: check COM=";
    for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
      out.push_back(std::atoi(log.c_str() + at + key.size()));
    return out;
  }

  // The level groups of a tacdisplay command log: every run of k01..k19 in order.
  static std::vector<display::Levels> Frames(const fs::path& log) {
    std::vector<display::Levels> out;
    std::istringstream in(ReadFile(log));
    std::string line;
    display::Levels current{};
    int next = 1;
    while (std::getline(in, line)) {
      const size_t blank = line.find(' ');
      const std::string c = blank == std::string::npos ? line : line.substr(blank + 1);
      int k = 0, level = 0;
      if (std::sscanf(c.c_str(), "k%2d=%3d", &k, &level) != 2 || k != next) {
        next = 1;
        continue;
      }
      current[k - 1] = level;
      if (++next == 20) {
        out.push_back(current);
        next = 1;
      }
    }
    return out;
  }

  // What the display gets for each frame of a recorded push, by the formulas: the colour index
  // of every sensor, the sensor map, the transfer law of the initial passport.
  static std::set<display::Levels> Expected(const Push& push, bool oneToOne) {
    SetReceptorDataFormat(1);
    std::set<display::Levels> out;
    for (const SensorFrame& f : push.frames) {
      std::array<int, kSensorCount> indices{};
      for (int s = 0; s < kSensorCount; ++s)
        indices[s] = view::ColourIndex(DisplayValue(push.passport, s, f.values[s], 0));
      const display::Levels mapped = display::MapToDisplay(indices, oneToOne);
      display::Levels levels{};
      for (int k = 0; k < 19; ++k) levels[k] = display::TransferLaw(mapped[k], 25, 500);
      out.insert(levels);
    }
    return out;
  }

  static Push ReadPush(const fs::path& folder) {
    Push p;
    for (const auto& e : fs::recursive_directory_iterator(folder))
      if (e.path().extension() == ".psh") {
        EXPECT_EQ(ReadPushFile(p, e.path().string()), 0) << e.path();
        return p;
      }
    ADD_FAILURE() << "no push in " << folder;
    return p;
  }

  void CheckRelay(const Push& push, const fs::path& displayLog, bool oneToOne) {
    const std::set<display::Levels> expected = Expected(push, oneToOne);
    const std::vector<display::Levels> got = Frames(displayLog);
    ASSERT_GE(got.size(), 20u) << ReadFile(displayLog);
    // Every frame sent while the push was recorded is one of its frames.
    std::set<display::Levels> matched;
    for (const display::Levels& g : got)
      if (expected.count(g)) matched.insert(g);
    EXPECT_GE(matched.size(), 10u) << "distinct pressed frames relayed with the law and the map";
    if (std::getenv("TACMON_DISPLAY_E2E_VERBOSE"))
      std::printf("relay: %zu frames sent, %zu distinct recorded frames, %zu of them matched\n",
                  got.size(), expected.size(), matched.size());
    EXPECT_GE(Count(ReadFile(displayLog), "k01="), 20u);
  }

  // Pixels of the display icon's colours (connected, not connected) in a snapshot.
  static std::pair<int, int> IconPixels(const std::string& png) {
    const QImage image(QString::fromStdString(png));
    EXPECT_FALSE(image.isNull()) << png;
    int blue = 0, grey = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb c = image.pixel(x, y);
        blue += c == qRgb(40, 110, 200);
        grey += c == qRgb(150, 150, 150);
      }
    return {blue, grey};
  }
};

TEST_F(DisplayRun, SearchRelayLossAndReconnectionWhileRecording) {
  WriteSettings(0);
  StartProbe(kPressOnce);
  // The display leaves after 14 s; another one comes on the same port at 18 s.
  const fs::path first = dir_ / "display1.log", second = dir_ / "display2.log";
  StartOn(4, "tacdisplay", {"--com", "4", "--seconds", "14", "--quiet", "--log", first.string()});
  Spawn("tacdisplay", {"--com", "4", "--start-delay", "18", "--quiet", "--log", second.string()});
  const std::string snapshot = Picture("display-recording.png");
  const std::string lostSnapshot = Picture("display-lost.png");
  RunResult r =
      Run("click 1000\ntext 1001 Дисплеев\nclick 1\nwait 4000\n"
          "activate 144\nclick 1012\nwait 1500\nclick 1010\nwait 4000\n"
          "activate 142\ndump hub.json\nactivate 143\nsnapshot " +
          snapshot + "\nwait 6000\nactivate 142\ndump lost.json\nactivate 143\nsnapshot " +
          lostSnapshot +
          "\nwait 7000\n"
          "activate 142\ndump back.json\nactivate 144\nclick 1011\nclick 1013\nwait 300\n"
          "activate 143\nclick 1\nanswer OK\nwait 200\nclick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = Log();

  // The search: from 2, the probe's port tried once while it was free (no prompt there) and
  // passed over after the loss, while the probe holds it.
  const std::vector<int> checked = Checked(log);
  ASSERT_GE(checked.size(), 3u) << log;
  EXPECT_EQ(std::vector<int>(checked.begin(), checked.begin() + 3), (std::vector<int>{2, 3, 4}));
  EXPECT_GE(std::count(checked.begin(), checked.end(), 3), 2) << log;
  EXPECT_EQ(Count(log, "Такт.дисплей: Не удалось послать команду off"), 1u) << log;
  EXPECT_EQ(Count(log, "Такт.дисплей: соединение установлено на порт COM4"), 2u) << log;
  auto status = [&](const char* file) {
    return e2e::Controls(ReadFile(dir_ / file), "KCDMain")[1018].text;
  };
  EXPECT_EQ(status("hub.json"), "Такт.дисплей: COM4");
  EXPECT_EQ(status("lost.json"), "Такт.дисплей: COM4") << "the text is kept after a loss";
  // The recording view's display icon: blue while connected, grey after the loss.
  const auto [blueOn, greyOn] = IconPixels(snapshot);
  const auto [blueLost, greyLost] = IconPixels(lostSnapshot);
  EXPECT_GT(blueOn, 400);
  EXPECT_LT(greyOn, 100);
  EXPECT_LT(blueLost, 100);
  EXPECT_GT(greyLost, 400);

  // The recording went on untouched through the loss: one push, no frame missing.
  const auto ops = Operations();
  ASSERT_FALSE(ops.empty());
  const Push push = ReadPush(ops.back());
  ASSERT_GE(push.FrameCount(), 250) << "about 17 s at 20 frames a second";
  for (int i = 1; i < push.FrameCount(); ++i)
    ASSERT_EQ(push.frames[i].index, push.frames[i - 1].index + 1) << i;

  CheckRelay(push, first, false);
  // The second display got the test sequence and frames after the reconnection, and "off",
  // "res" when the operation window closed.
  const std::string again = ReadFile(second);
  EXPECT_NE(again.find(" off\n"), std::string::npos) << again;
  EXPECT_GE(Count(again, "k19="), 5u) << again;
  std::vector<std::string> lines;
  std::istringstream in(again);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find(' ') + 1));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "off");
  EXPECT_EQ(lines.back(), "res");
}

TEST_F(DisplayRun, OneToOneMapConstantForceAndTheLastPortFirst) {
  WriteSettings(1);
  // The last port that answered.
  std::ofstream(Root() / "pars" / "CMechDisplay_Com.par", std::ios::binary)
      << "d iComLast\r\n4\r\n";
  StartProbe(kPressOnce);
  const fs::path log = dir_ / "display.log";
  StartOn(4, "tacdisplay", {"--com", "4", "--quiet", "--log", log.string()});
  RunResult r =
      Run("click 1000\ntext 1001 Дисплеев\nclick 1\nwait 1000\n"
          "activate 144\nclick 1012\nwait 2000\nclick 1010\nwait 6000\nclick 1011\n"
          // Constant force 100 to all, then to sensor 5 only; closing its window ends it.
          "activate 143\nmenu 32863\nwait 300\nactivate 172\ntext 1001 100\nwait 800\n"
          "text 1002 5\nwait 800\nclick 1004\nwait 800\n"
          // A cleared visibility flag gives 0 even in constant force, and with the law.
          "activate 144\nrecording-box 9\nwait 800\nactivate 172\nclick 1\nwait 800\n"
          "activate 144\nclick 1013\nwait 300\nactivate 143\nclick 1\nanswer OK\nwait 200\n"
          "click 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = Log();
  const std::vector<int> checked = Checked(text);
  ASSERT_FALSE(checked.empty());
  EXPECT_EQ(checked[0], 4) << text;

  const auto ops = Operations();
  ASSERT_FALSE(ops.empty());
  CheckRelay(ReadPush(ops.back()), log, true);

  const std::vector<display::Levels> frames = Frames(log);
  display::Levels all100, only5, only5at110;
  all100.fill(100);
  only5.fill(0);
  only5[4] = 100;
  only5at110.fill(0);
  only5at110[4] = 110;
  auto has = [&](const display::Levels& l) {
    return std::find(frames.begin(), frames.end(), l) != frames.end();
  };
  EXPECT_TRUE(has(all100));
  EXPECT_TRUE(has(only5));
  EXPECT_TRUE(has(only5at110)) << "+10 from 100";
  // Flag 9 cleared: display sensor 9 gets 0 (position k, not through the map); with the force
  // on sensor 5 nothing changes. After the window closed the law is back: the probe at rest
  // gives 25 everywhere but there.
  display::Levels rest;
  rest.fill(25);
  rest[8] = 0;
  EXPECT_EQ(frames.back(), rest);
}

// The display protocol (1016) prints the probe's map and, beside it, what the display was last
// given, taken back to the probe's colour scale: with a one-to-one map, the identity law
// (V0 0, V1 255, from "DVP\display.dsp") and a held press, both maps carry the same numbers.
TEST_F(DisplayRun, TheDisplayProtocolShowsWhatTheDisplayWasGiven) {
  WriteSettings(1);
  std::ofstream(Root() / "pars" / "CMechDisplay_Com.par", std::ios::binary)
      << "d iComLast\r\n4\r\n";
  fs::create_directories(Root() / "DVP");
  std::ofstream(Root() / "DVP" / "display.dsp", std::ios::binary) << "V0: 0\nV1: 255\n";
  StartProbe("rest:3,press:1:0.9,hold:600");
  StartOn(4, "tacdisplay", {"--com", "4", "--quiet"});
  const fs::path pdf = dir_ / "protocol.pdf";
  setenv("TACMON_PRINT_PDF", pdf.c_str(), 1);
  const RunResult r = Run(
      "click 1000\ntext 1001 Дисплеев\nclick 1\nwait 500\nactivate 144\nclick 1012\n"
      "wait 6000\nclick 1016\nwait 500\nclick 1013\nwait 300\nactivate 143\nclick 1\n"
      "wait 200\nclick 1\n",
      {"/p"});
  unsetenv("TACMON_PRINT_PDF");
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path text = dir_ / "protocol.txt";
  ASSERT_EQ(std::system(("pdftotext -raw " + pdf.string() + " " + text.string()).c_str()), 0)
      << "pdftotext (poppler-utils) is installed by scripts/setup";
  // The numbers of each map in drawing order: every cell's value and sensor number.
  const std::string page = ReadFile(text);
  const size_t probeMap = page.find("Данные механорецептора");
  const size_t displayMap = page.find("Данные, полученные с тактильного дисплея");
  ASSERT_NE(probeMap, std::string::npos) << page;
  ASSERT_NE(displayMap, std::string::npos) << page;
  auto numbers = [](const std::string& piece) {
    std::vector<int> out;
    std::istringstream in(piece);
    for (std::string word; in >> word;)
      if (std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
        out.push_back(std::stoi(word));
    return out;
  };
  const std::vector<int> probe = numbers(page.substr(probeMap, displayMap - probeMap));
  const std::vector<int> shown = numbers(page.substr(displayMap));
  ASSERT_EQ(probe.size(), 38u) << page;
  EXPECT_EQ(shown, probe) << page;
  // The press shows, past where the initial law (V0 25, V1 500) would have saturated: the
  // operation window read the display passport.
  EXPECT_GT(*std::max_element(probe.begin(), probe.end()), 124) << page;
  // $TACMON_SNAPSHOT_DIR keeps the page for a person to see.
  if (const char* keep = std::getenv("TACMON_SNAPSHOT_DIR"); keep && *keep)
    fs::copy_file(pdf, fs::path(keep) / "protocol-display-levels.pdf",
                  fs::copy_options::overwrite_existing);
}

}  // namespace
