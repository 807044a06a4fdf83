// The test instrument end to end: the real program with tacprobe on COM3 coupled to
// tacinstrument (usbcan's simulator backend), driven by automation. Connect uploads the
// adapter's ".cfp" passport with its timing, the motion buttons move the head, a standard run
// gives back the probe's sensitivity, manometer and weights modes give their figures, the
// automatic passport is written, and the instrument's faults end in their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "e2e/sim_process.h"
#include "platform/cp1251.h"
#include "platform/paths.h"
#include "sim/push_model.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::RunResult;
using e2e::kProbeId;
using e2e::SimRun;

constexpr double kForceFull = 140;  // tacprobe: this force presses the probe fully
constexpr double kSens = 0.05;      // SENS of the stand's passport
constexpr int kSerial = 777;

std::map<std::string, std::string> Figures(const fs::path& file) {
  std::map<std::string, std::string> out;
  std::istringstream in(ReadFile(file));
  std::string line;
  while (std::getline(in, line)) {
    const size_t sp = line.find(' ');
    if (sp != std::string::npos) out[line.substr(0, sp)] = line.substr(sp + 1);
  }
  return out;
}

class Tester : public SimRun {
 protected:
  void SetUp() override {
    SimRun::SetUp();
    WriteSettingsFile(Settings());
    InstallProbePassport();
    std::ofstream(Root() / "DVP" / "stand.cfp", std::ios::binary)
        << "ID=" << kSerial
        << "\r\nMINUS=0\r\nP1=1 2 3 4 5 6\r\nP2=7 8 9 10 11 12\r\nP3=13 14 15 16 17 18\r\n"
           "P4=19 20 21 22 23 24\r\nK=92 150 150 87 90 150\r\nSENS=0.05\r\n";
    socket_ = dir_ / "usbcan.sock";
    forceFile_ = dir_ / "force.txt";
    setenv("USBCAN_SIM", socket_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("USBCAN_SIM");
    SimRun::TearDown();
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
        {"d set_use_file_instead_COM_port", "0"},
        {"d receptor_data_format", "1"},
        {"l SensibilityReceptorV", "1"},
        {"d set_use_recognition_library", "0"},
        {"d set_use_db_autosave", "0"},
        {"d set_output_all_data_into_text_file", "1"},
    });
  }

  static void WaitFor(const fs::path& p) {
    for (int i = 0; i < 250 && !fs::exists(fs::symlink_status(p)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(fs::symlink_status(p))) << p;
  }

  // tacinstrument (its event log in instrument.log) and tacprobe following its force.
  void StartSimulators(const std::vector<std::string>& faults = {}) {
    std::vector<std::string> inst = {"--socket",      socket_.string(),
                                     "--force-file",  forceFile_.string(),
                                     "--serial",      std::to_string(kSerial),
                                     "--gap",         "10",
                                     "--speed-unit",  "33",
                                     "--stiffness",   "0.6"};
    inst.insert(inst.end(), faults.begin(), faults.end());
    instrument_ = Spawn("tacinstrument", inst, dir_ / "instrument.log");
    WaitFor(socket_);
    WaitFor(forceFile_);
    probe_ = Spawn("tacprobe",
                   {"--com", "3", "--direct", "--format", "1", "--noise", "0", "--id", kProbeId,
                    "--quiet", "--force-file", forceFile_.string(), "--force-full",
                    std::to_string(kForceFull)},
                   dir_ / "probe.log");
    WaitForLink(3);
  }

  // A new operation, connected, with the test dialog open.
  static std::string OpenKnee() {
    return "click 1000\ntext 1001 Стенд\nclick 1\nwait 300\nactivate 144\nclick 1012\n"
           "wait 1500\nactivate 143\nmenu 32838\nwait 200\nactivate 163\n";
  }

  std::vector<std::string> InstrumentLines(const std::string& piece) {
    std::vector<std::string> out;
    std::istringstream in(ReadFile(dir_ / "instrument.log"));
    std::string line;
    while (std::getline(in, line))
      if (line.find(piece) != std::string::npos) out.push_back(line);
    return out;
  }

  // The three reports ("Log" in the standard, manometer and weights modes, in that order): each
  // leaves its dated folder with its log and pictures, the same text appended to the common
  // log, and a one-page protocol.
  void CheckReports(const fs::path& shots, std::map<std::string, std::string>& standard,
                    std::map<std::string, std::string>& manometer) {
    const std::string common = Cp1251ToUtf8(ReadFile(Root() / "Logs" / "log.txt"));
    std::map<std::string, fs::path> folders;  // by mode
    static const std::regex kFolder(R"(\d+-\d+-\d{4}--\d+-\d+-\d+(_\d+)?)");
    const std::pair<const char*, const char*> titles[] = {
        {"weights",
         "Результаты работы с прибором тестирования механорецептора с помощью "
         "калибровочных гирь.\r\n"},
        {"manometer", "Результаты тестирования механорецептора с помощью манометра.\r\n"},
        {"standard",
         "Результаты тестирования механорецептора прибором тестирования механорецептора.\r\n"}};
    for (const auto& e : fs::directory_iterator(Root() / "Logs")) {
      if (!e.is_directory()) continue;
      const std::string name = e.path().filename().string();
      ASSERT_TRUE(std::regex_match(name, kFolder)) << name;
      const std::string own = Cp1251ToUtf8(ReadFile(e.path() / "log.txt"));
      for (const auto& [mode, title] : titles)
        if (own.find(title) != std::string::npos) folders[mode] = e.path();
      // The common log holds the folder's text with the line naming the folder after the
      // header (a dashed line, date and time, the title).
      size_t head = 0;
      for (int i = 0; i < 3 && head != std::string::npos; ++i) head = own.find('\n', head + 1);
      ASSERT_NE(head, std::string::npos) << own;
      const std::string section = own.substr(0, head + 1) +
                                  "Изображения скопированы в папку C:\\Tacmon\\Logs\\" + name +
                                  "\r\n" + own.substr(head + 1);
      EXPECT_NE(common.find(section), std::string::npos) << own << "\n---\n" << common;
    }
    ASSERT_EQ(folders.size(), 3u) << common;
    // Pictures kept beside the snapshots for a person to look at.
    for (const auto& [mode, picture] :
         {std::pair{"standard", "total.png"}, {"manometer", "sensor7.png"}, {"weights", "pic.png"}})
      fs::copy_file(folders[mode] / picture, shots / ("knee-report-" + std::string(mode) + ".png"),
                    fs::copy_options::overwrite_existing);

    auto files = [](const fs::path& dir) {
      std::set<std::string> out;
      for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
      return out;
    };
    std::set<std::string> twenty = {"log.txt", "total.bmp", "total.png"};
    for (int s = 1; s <= 19; ++s)
      for (const char* ext : {".bmp", ".png"}) twenty.insert("sensor" + std::to_string(s) + ext);
    EXPECT_EQ(files(folders["standard"]), twenty);
    EXPECT_EQ(files(folders["manometer"]), twenty);
    EXPECT_EQ(files(folders["weights"]), (std::set<std::string>{"log.txt", "pic.bmp", "pic.png"}));
    // A picture is the graph area of the dialog as a 24-bit BMP.
    const std::string bmp = ReadFile(folders["standard"] / "sensor7.bmp");
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    int32_t width = 0, height = 0;
    std::memcpy(&width, bmp.data() + 18, 4);
    std::memcpy(&height, bmp.data() + 22, 4);
    EXPECT_GT(width, 300);
    EXPECT_GT(std::abs(height), 200);

    auto count = [](const std::string& text, const std::string& piece) {
      size_t n = 0;
      for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
      return n;
    };
    auto fmt = [](const char* f, double v) {
      char buf[64];
      std::snprintf(buf, sizeof buf, f, v);
      return std::string(buf);
    };
    auto round1 = [](const std::string& v) { return std::round(std::stod(v) * 10) / 10 + 0.0; };
    // Standard: the parameters of the run, the probe, the stand, the count of the figures, and
    // the results for all sensors as the dialog showed them.
    const std::string own = Cp1251ToUtf8(ReadFile(folders["standard"] / "log.txt"));
    EXPECT_NE(own.find("Параметры: к-во шагов осреднения=10, время движения механорецептора="
                       "15мсек на 500мсек неподвижности\r\nИспользуется механорецептор #5.\r\n"
                       "Используется прибор тестирования механорецептора с ID=777\r\n"
                       "Использовано " +
                       standard["count"] + " измерени"),
              std::string::npos)
        << own;
    EXPECT_NE(
        own.find("по всем сенсорам: Ср.ошибка=" + fmt("%3.3lg", round1(standard["meanError"])) +
                 "%,  Макс.ошибка=" + fmt("%3.3lg", round1(standard["maxError"])) + "%"),
        std::string::npos)
        << own;
    EXPECT_NE(own.find("Чувств.=" + fmt("%lf", std::stod(standard["sensitivity"])) + "Н/емр\r\n"),
              std::string::npos)
        << own;
    EXPECT_EQ(count(own, "Откл.силы на сен. #"), 19u);
    const std::string mano = Cp1251ToUtf8(ReadFile(folders["manometer"] / "log.txt"));
    EXPECT_NE(mano.find("Использовано 4 измерения.\r\nКоэффициент зависимости давления на "
                        "механорецепторе от давления на манометре="),
              std::string::npos)
        << mano;
    EXPECT_NE(mano.find("Используется механорецептор #5.\r\n\r\n"), std::string::npos) << mano;
    EXPECT_NE(mano.find("по всем сенсорам: Ср.ошибка=" +
                        fmt("%3.3lg", round1(manometer["meanError"])) + "%"),
              std::string::npos)
        << mano;
    EXPECT_EQ(count(mano, "Откл.силы на сен. #"), 19u);
    EXPECT_NE(mano.find("Откл.силы на сен. # 7:  Ср.ошибка="), std::string::npos) << mano;
    const std::string weights = Cp1251ToUtf8(ReadFile(folders["weights"] / "log.txt"));
    EXPECT_NE(weights.find(
                  "Используется прибор тестирования механорецептора с ID=" + std::string(kProbeId) +
                  "\r\nИспользовано 2 калибровочные гири.\r\n\r\nОтклонение от "
                  "линейной зависимости: Ср.ошибка="),
              std::string::npos)
        << weights;

    // The sensor field and "выводить текст" are back as they were; every report ended in its
    // message naming its folder.
    const auto after = e2e::Controls(ReadFile(dir_ / "after-report.json"), "KCDKnee");
    ASSERT_TRUE(after.count(1009));
    EXPECT_EQ(after.at(1009).text, "7");
    EXPECT_FALSE(after.at(1049).checked);
    const std::string dump = ReadFile(dir_ / "knee.json");
    EXPECT_EQ(count(dump, "Результаты измерения выведены:"), 3u) << dump;
    EXPECT_NE(dump.find(folders["weights"].filename().string()), std::string::npos);

    // One page each, its text readable: the title, the date and the lines of the report.
    const char* protocolTitles[] = {"Лабораторного прибора между собой в Зонде D=20 мм.",
                                    "датчиков давления между собой в Зонде D=20 мм.",
                                    "датчика усилия лабораторного прибора от линейности"};
    const char* protocolLines[] = {"Используется прибор тестирования механорецептора с ID=777",
                                   "Коэффициент зависимости давления на механорецепторе",
                                   "Использовано 2 калибровочные гири."};
    for (int n = 1; n <= 3; ++n) {
      SCOPED_TRACE(n);
      const fs::path pdf = shots / ("knee-protocol-" + std::to_string(n) + ".pdf");
      const std::string bytes = ReadFile(pdf);
      ASSERT_EQ(bytes.substr(0, 5), "%PDF-");
      EXPECT_EQ(count(bytes, "/Type /Page\n"), 1u);
      (void)std::system(("command -v pdftoppm >/dev/null && pdftoppm -r 60 -png -singlefile " +
                         pdf.string() + " " + (shots / pdf.stem()).string())
                            .c_str());
      const fs::path text = dir_ / "protocol.txt";
      if (std::system(("pdftotext -layout " + pdf.string() + " " + text.string() + " 2>/dev/null")
                          .c_str()) != 0)
        continue;  // no pdftotext here
      const std::string t = ReadFile(text);
      EXPECT_NE(t.find(protocolTitles[n - 1]), std::string::npos) << t;
      EXPECT_NE(t.find(protocolLines[n - 1]), std::string::npos) << t;
      EXPECT_NE(t.find("Дата: "), std::string::npos) << t;
    }
  }

  fs::path socket_, forceFile_;
  pid_t instrument_ = -1;
};

TEST_F(Tester, StandardManometerAndWeightsRunsAgainstTheCoupledSimulators) {
  StartSimulators();
  const char* keep = std::getenv("TACMON_SNAPSHOT_DIR");
  const fs::path shots = keep && *keep ? fs::path(keep) : dir_;
  const std::string script =
      OpenKnee() +
      // Step time 15 ms, averaging by steps (a step every 300 ms), groups of 10 points, VMax 250,
      // points from a mean and a force of 5 up.
      "text 1028 15\ncheck 1027 1\ntext 1017 10\ntext 1012 250\ntext 1013 5\ntext 1008 5\n"
      "click 1000\nwait 4500\n"
      // The motion buttons: down, stop, up, stop.
      "click 1003\nwait 300\nclick 1010\nwait 400\nclick 1002\nwait 300\nclick 1010\nwait 400\n"
      "click 1016\nwait 12000\nsnapshot " +
      (shots / "knee-standard.png").string() +
      "\nwait 9000\n"
      // Stopped without the automatic passport, which would recompute the points; then a
      // short run ends with it.
      "check 1020 0\nclick 1010\nwait 300\nknee-figures standard.txt\n"
      // Its report ("Log"), printed into the first PDF.
      "click 1048\nanswer OK\nwait 2500\n"
      // "Создать паспорт" from these points; the new run starts with an empty table and its
      // figures are read before its stop (the automatic passport then recomputes the points).
      "click 1021\nfile " +
      (Root() / "DVP" / "calib.dvp").string() +
      "\nwait 300\nclick 1006\n"
      "check 1020 1\nclick 1016\nwait 7000\nknee-figures renormalized.txt\nclick 1010\n"
      "wait 3000\n"
      // Manometer mode: points at 20, 40, 60 and 80 with the stand pressing further each time.
      "click 1029\n"
      "click 1003\nwait 400\nclick 1010\nwait 300\nclick 1030\n"
      "click 1003\nwait 400\nclick 1010\nwait 300\nclick 1031\n"
      "click 1003\nwait 400\nclick 1010\nwait 300\nclick 1032\n"
      "click 1003\nwait 400\nclick 1010\nwait 300\nclick 1033\n"
      "knee-figures manometer.txt\nsnapshot " +
      (shots / "knee-manometer.png").string() +
      // Its report with sensor 7 in the field and "выводить текст" off, which the report
      // restores.
      "\ncheck 1049 0\ntext 1009 7\nclick 1048\nanswer OK\ndump after-report.json\nclick 1024\n"
      "click 1029\n"
      // Weights mode: weights of 500 g and 1000 g, each held for 1 s.
      "click 1045\nclick 1046\nwait 200\nactivate 173\ntext 1001 500\ntext 1002 1\nclick 1\n"
      "wait 1800\nactivate 163\nclick 1046\nwait 200\nactivate 173\ntext 1001 1000\n"
      "text 1002 1\nclick 1\nwait 1800\nactivate 163\nknee-figures weights.txt\nclick 1048\n"
      "answer OK\n"
      "dump knee.json\n"
      // A push recorded while the dialog is open carries its force in the text dump.
      "activate 144\nclick 1010\nwait 1500\nclick 1011\nwait 300\nactivate 163\n"
      "click 1\nwait 500\nquit\n";
  // The protocols of the three reports, one PDF each.
  for (int n = 1; n <= 3; ++n) fs::remove(shots / ("knee-protocol-" + std::to_string(n) + ".pdf"));
  setenv("TACMON_PRINT_PDF", (shots / "knee-protocol-{n}.pdf").c_str(), 1);
  RunResult r = Run(script);
  unsetenv("TACMON_PRINT_PDF");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string log = ReadFile(dir_ / "instrument.log");

  // Connect: command (1, 2) and its 100 ms, then the upload of stand.cfp (200 ms before it)
  // and speed 0, spaced as sent.
  const auto writes = InstrumentLines("write 2:");
  ASSERT_GE(writes.size(), 10u) << log;
  const char* bytes[10] = {"1 2 0 0 0 0 0 0",          "1 1 0 0 0 0 0 0",
                           "0 1 1 2 3 4 5 6",          "0 2 7 8 9 10 11 12",
                           "0 3 13 14 15 16 17 18",    "0 4 19 20 21 22 23 24",
                           "0 5 92 150 150 87 90 150", "1 2 0 0 0 0 0 0",
                           "1 2 0 0 0 0 0 0",          "0 0 20 0 0 0 0 0"};
  const double gaps[10] = {0, 300, 100, 20, 20, 20, 20, 20, 10, 100};
  static const std::regex kGap(R"( \+([0-9.]+)ms$)");
  // Every pause is kept (never shorter) and none is lost; a machine busy with other work may
  // wake the thread late now and then, so the 30 ms holds for the typical (median) pause.
  std::vector<double> late;
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(writes[i]);
    EXPECT_NE(writes[i].find(std::string("write 2: ") + bytes[i]), std::string::npos);
    if (i == 0) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(writes[i], m, kGap));
    const double gap = std::stod(m[1]);
    EXPECT_GE(gap, gaps[i] - 10) << "the protocol's pause is kept";
    EXPECT_LE(gap, gaps[i] + 500) << "no write waits for long";
    late.push_back(gap - gaps[i]);
  }
  std::sort(late.begin(), late.end());
  EXPECT_LE(late[late.size() / 2], 30) << "within 30 ms of the protocol's pauses";
  // The motion buttons moved the head down and up.
  EXPECT_NE(log.find("speed -1"), std::string::npos);
  EXPECT_NE(log.find("speed 1"), std::string::npos);

  // The standard run: the probe reads force / kForceFull of a full press, so its mean display
  // value grows by 16000 / kForceFull * 255 / 32000 * (mean sensor gain) per unit of force.
  double gain = 0;
  const sim::SensorModel probeModel{sim::SensorModelOptions{}};  // tacprobe's default probe
  for (int s = 0; s < 19; ++s) gain += sim::SensorModel::Weight(s) * probeModel.InclusionGain(s);
  gain /= 19;
  const double perForce = 16000.0 / kForceFull * 255.0 / 32000.0 * gain;
  const double expected = kSens / perForce;
  auto standard = Figures(dir_ / "standard.txt");
  std::printf("standard run (expected sensitivity %g):\n%s", expected,
              ReadFile(dir_ / "standard.txt").c_str());
  ASSERT_EQ(standard["fit"], "1") << ReadFile(dir_ / "standard.txt");
  EXPECT_GT(std::stoi(standard["count"]), 300);
  // The line's slope comes from every group; the sensitivity from the two extreme points only,
  // each pairing a force and a display value read at slightly different moments, so a slow
  // machine moves it more.
  EXPECT_NEAR(std::stod(standard["a"]), 1 / perForce, 0.03 / perForce);
  EXPECT_NEAR(std::stod(standard["sensitivity"]), expected, 0.05 * expected)
      << ReadFile(dir_ / "standard.txt");
  // No noise on either simulator: what is left is the rounding of display values.
  EXPECT_LT(std::stod(standard["meanError"]), 1.0);
  // The passport made from the run normalizes the probe onto the stand's force: a new push
  // reads the force within 2 % of the stand's range (200 in the standard mode, the range the
  // dialog gives its own errors in). Force and display value are read at slightly different
  // moments, which moves the line's offset by a unit or two from run to run.
  EXPECT_TRUE(fs::exists(Root() / "DVP" / "calib.dvp"));
  auto renormalized = Figures(dir_ / "renormalized.txt");
  std::printf("after the new passport:\n%s", ReadFile(dir_ / "renormalized.txt").c_str());
  ASSERT_EQ(renormalized["fit"], "1") << ReadFile(dir_ / "renormalized.txt");
  EXPECT_GT(std::stoi(renormalized["count"]), 50);
  EXPECT_NEAR(std::stod(renormalized["a"]), 1.0, 0.02);
  for (double force : {50.0, 100.0, 150.0}) {
    // The receptor value the fitted line gives at this force.
    const double read = (force - std::stod(renormalized["b"])) / std::stod(renormalized["a"]);
    EXPECT_NEAR(read, force, 0.02 * 200) << force;
  }
  // The automatic passport after "W".
  EXPECT_TRUE(fs::exists(Root() / "DVP" / "tmp" / "tmp_saved.dvp"));

  auto manometer = Figures(dir_ / "manometer.txt");
  EXPECT_EQ(manometer["count"], "4");
  EXPECT_EQ(manometer["fit"], "1");
  EXPECT_NE(manometer["line"].find("Порог чувств."), std::string::npos) << manometer["line"];
  auto weights = Figures(dir_ / "weights.txt");
  EXPECT_EQ(weights["count"], "2");
  EXPECT_EQ(weights["fit"], "1");
  EXPECT_GT(std::stod(weights["a"]), 0);
  EXPECT_TRUE(fs::exists(shots / "knee-standard.png"));
  // Closing the dialog disconnected the adapter.
  EXPECT_NE(log.find("deinit can"), std::string::npos);
  EXPECT_FALSE(fs::is_empty(Root() / "KNee")) << "the record file of the recording";
  // The text dump of the push: the last line of every frame holds the converted force (-1
  // without a test dialog).
  std::string dump;
  for (const auto& op : fs::directory_iterator(Root() / "OPERATIONS"))
    for (const auto& f : fs::directory_iterator(op.path()))
      if (f.path().extension() == ".txt") dump += ReadFile(f.path());
  static const std::regex kTesterLine(R"(\r\n(-?\d+) -1 -1\r\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(dump, m, kTesterLine)) << dump.substr(0, 600);
  EXPECT_GE(std::stoi(m[1]), 0);

  CheckReports(shots, standard, manometer);
}

// Faults of the instrument: each ends in its message (a message box for a failed opening, the
// message log for a failed write) and a clean state: after a failed opening or a lost adapter
// no adapter is left (later motion commands send nothing); a refused write during the upload is
// only logged and the instrument stays usable; without frame 4 nothing is published, so no
// force reaches the dialog and no point is taken.
TEST_F(Tester, FaultsOfTheInstrumentEndInTheirMessages) {
  struct Case {
    std::vector<std::string> faults;
    std::string script;
    std::string message;  // empty: none
    bool box;
    const char* fault;  // the instrument's event line of the fault; none: nothing was refused
    bool writesAfter;
  };
  const std::string points = "click 1015\nwait 800\nknee-figures figures.txt\n";
  const Case cases[] = {
      {{"--init-refused", "5"},
       "click 1000\nwait 500\nanswer OK\nwait 300\nclick 1003\nwait 300\ndump knee.json\n"
       "click 1\nwait 300\nquit\n",
       "Can: Failed to init hardware: the module with the corresponding device number is not "
       "connected",
       true,
       "init refused",
       false},
      {{"--lost-after", "1.5"},
       "click 1000\nwait 2500\nclick 1003\nwait 600\nclick 1010\nwait 600\ndump knee.json\n"
       "click 1\nwait 500\nquit\n",
       "Can: Failed to write second can message: USB-CANmodul was disconnected",
       false,
       "adapter lost",
       false},
      {{"--write-fails", "3"},
       "click 1000\nwait 1500\nclick 1003\nwait 300\nclick 1010\nwait 300\ndump knee.json\n"
       "click 1\nwait 500\nquit\n",
       "Can: Failed to write second can message: a request for the driver failed",
       false,
       "write refused",
       true},
      // Here also a report whose printer dialog is cancelled.
      {{"--no-frame4"},
       "click 1000\nwait 1500\n" + points +
           "click 1048\nanswer Cancel\nanswer OK\ndump knee.json\nclick 1\nwait 500\nquit\n",
       "",
       false,
       nullptr,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults[0]);
    StartSimulators(c.faults);
    RunResult r = Run(OpenKnee() + c.script);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string dump = ReadFile(dir_ / "knee.json");
    const std::string log = Cp1251ToUtf8(ReadFile(Root() / "Logs" / "LogFile2.log"));
    if (c.box) {
      EXPECT_NE(dump.find("{\"caption\":\"\",\"text\":\"" + c.message + "\",\"answer\":\"OK\"}"),
                std::string::npos)
          << dump;
    } else if (!c.message.empty()) {
      EXPECT_NE(log.find(c.message), std::string::npos) << log;
    }
    const auto knee = e2e::Controls(dump, "KCDKnee");
    ASSERT_TRUE(knee.count(1001)) << "the dialog stays";
    const std::string instrument = ReadFile(dir_ / "instrument.log");
    if (c.fault) {
      const size_t fault = instrument.find(c.fault);
      ASSERT_NE(fault, std::string::npos) << instrument;
      EXPECT_EQ(instrument.find("write", instrument.find('\n', fault)) != std::string::npos,
                c.writesAfter)
          << instrument;
    } else {
      EXPECT_EQ(instrument.find("frame 4"), std::string::npos);
      EXPECT_NE(knee.at(1001).text.find("tester= 0 "), std::string::npos) << knee.at(1001).text;
      EXPECT_EQ(Figures(dir_ / "figures.txt")["count"], "0");
      // The cancelled printer still left both logs and all pictures.
      EXPECT_NE(dump.find("Результаты измерения выведены:"), std::string::npos) << dump;
      EXPECT_NE(
          Cp1251ToUtf8(ReadFile(Root() / "Logs" / "log.txt")).find("Использовано 0 измерений.\r\n"),
          std::string::npos);
      int folders = 0;
      for (const auto& e : fs::directory_iterator(Root() / "Logs")) {
        if (!e.is_directory()) continue;
        ++folders;
        int pictures = 0;
        for (const auto& f : fs::directory_iterator(e.path()))
          pictures += f.path().extension() == ".bmp";
        EXPECT_EQ(pictures, 20);
        EXPECT_TRUE(fs::exists(e.path() / "log.txt"));
      }
      EXPECT_EQ(folders, 1);
    }
    Stop(probe_);
    Stop(instrument_);
  }
}

}  // namespace
