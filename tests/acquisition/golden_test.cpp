// The checked-in golden files: their bytes, what the readers decode from them, and tacpush run
// over them end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition/push_file.h"
#include "golden_data.h"

namespace {

const std::filesystem::path kDir = std::filesystem::path(TACMON_TEST_DATA) / "acquisition";

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::string Golden(const std::string& name) { return (kDir / name).string(); }

TEST(GoldenFiles, CheckedInBytesMatchTheirIntendedContent) {
  for (const auto& f : GoldenFiles()) {
    ASSERT_TRUE(std::filesystem::exists(kDir / f.name)) << f.name;
    EXPECT_EQ(Slurp(kDir / f.name), f.bytes)
        << f.name << " differs; regenerate with acquisition_golden_generator";
  }
}

TEST(GoldenFiles, PushFilesDecodeToTheirFrames) {
  for (const auto& g : GoldenPushes()) {
    Push p;
    PushFileInfo info;
    ASSERT_EQ(ReadPushFile(p, Golden(g.name), &info), 0) << g.name;
    EXPECT_EQ(info.version, g.version) << g.name;
    EXPECT_EQ(info.passportBlock, g.passportBlock) << g.name;
    EXPECT_EQ(info.blockVersion, g.blockVersion) << g.name;
    EXPECT_EQ(p.hasPassport, g.passportBlock) << g.name;
    ASSERT_EQ(p.FrameCount(), g.push.FrameCount()) << g.name;
    for (int i = 0; i < p.FrameCount(); ++i) {
      const auto &a = p.frames[i], &b = g.push.frames[i];
      EXPECT_EQ(a.values, b.values) << g.name << " frame " << i;
      EXPECT_EQ(a.index, b.index) << g.name;
      EXPECT_EQ(a.captureTime, b.captureTime) << g.name;
      EXPECT_EQ(a.storedTime, b.storedTime) << g.name;
      EXPECT_EQ(a.aux, b.aux) << g.name << " frame " << i;
      EXPECT_EQ(a.flags, b.flags) << g.name;
      EXPECT_EQ(a.labelCount, b.labelCount) << g.name;
    }
    if (g.passportBlock) {
      EXPECT_EQ(p.passport.deviceNumber, 17);
      EXPECT_EQ(DeviceIdText(p.passport), "0a1b2c3d4e5f");
      // Block 121 has no diameter or autoconnect flag: defaults.
      EXPECT_EQ(p.passport.diameter, 20.0);
    }
  }
}

TEST(GoldenFiles, PressHasLabelsAndAFirmerInclusion) {
  Push p;
  ASSERT_EQ(ReadPushFile(p, Golden("press_1006.psh")), 0);
  ASSERT_EQ(p.FrameCount(), 320);
  EXPECT_EQ(p.LabelCount(), 3);
  EXPECT_TRUE(p.frames[160].HasLabel());
  ComputePushStatistics(p, kAllVisible);
  // Sensors 9, 10 and 13 peak higher than their neighbours; the press starts and ends at rest.
  EXPECT_GT(p.statistics.sensorMax[9], p.statistics.sensorMax[3] + 5000);
  EXPECT_LT(p.frames.front().values[9], 400);
  EXPECT_LT(p.frames.back().values[9], 400);
  EXPECT_EQ(
      p.frames.back().captureTime.ToMilliseconds() - p.frames.front().captureTime.ToMilliseconds(),
      319 * 50);
}

TEST(GoldenFiles, LogsImport) {
  Push txt;
  ASSERT_EQ(ImportLog(txt, Golden("log_wls.txt"), 0), 0);
  EXPECT_EQ(txt.sensorType, kSensorWireless);
  ASSERT_EQ(txt.FrameCount(), 6);
  for (int r = 0; r < 6; ++r) {
    EXPECT_EQ(txt.frames[r].values[0], r * 1000 + 70);   // column 7
    EXPECT_EQ(txt.frames[r].values[6], r * 1000 + 210);  // column 21
  }
  Push trf;
  ASSERT_EQ(ImportLog(trf, Golden("probe.trf"), 0), 0);
  EXPECT_EQ(trf.sensorType, kSensorMobile);
  ASSERT_EQ(trf.FrameCount(), 5);
  EXPECT_EQ(trf.frames[4].values[0], 4 * 2000 + 16 * 3);  // word 16
  EXPECT_EQ(trf.frames[4].values[10], 4 * 2000 + 3);      // word 1
}

TEST(GoldenFiles, Passports) {
  DevicePassport p;
  ASSERT_EQ(ReadDvp(p, Golden("probe17.dvp")), 0);
  EXPECT_EQ(p.deviceNumber, 17);
  EXPECT_EQ(p.format, 1);
  EXPECT_EQ(p.ok[12], 0);
  EXPECT_DOUBLE_EQ(p.slopes[1], 1.01);  // two decimals survive the short number form
  EXPECT_DOUBLE_EQ(p.slopes[7], 1.07);
  EXPECT_DOUBLE_EQ(p.shifts[2], -200);
  DevicePassport q;
  ASSERT_EQ(ReadDvp(q, Golden("loose.dvp")), 0);
  EXPECT_EQ(q.deviceNumber, 23);
  EXPECT_EQ(DeviceIdText(q), "a0b1c2d3e4f5");
  EXPECT_EQ(q.day, 1);
  EXPECT_EQ(q.month, 2);
  EXPECT_EQ(q.year, 2023);
  EXPECT_EQ((std::array<int, 5>{q.ok[0], q.ok[1], q.ok[2], q.ok[3], q.ok[4]}),
            (std::array<int, 5>{1, 0, 1, 1, 1}));
  EXPECT_DOUBLE_EQ(q.slopes[1], 2.5);
  EXPECT_EQ(q.refSlope, 0);
  EXPECT_EQ(q.numChannels, 300);
  // Display values stay in range with REF_SLOPE 0.
  double v = DisplayValueWith(q, 0, 1000, q.format, 1.0);
  EXPECT_TRUE(v >= 0 && v <= 255);
}

// ---- tacpush end to end ----

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Tacpush(const std::string& args) {
  const char* bin = std::getenv("TACMON_BIN");
  std::filesystem::path tool = bin ? std::filesystem::path(bin) / "tacpush" : "tacpush";
  char errName[] = "/tmp/tacpush_err_XXXXXX";
  int fd = mkstemp(errName);
  close(fd);
  std::string cmd = tool.string() + " " + args + " 2>" + errName;
  ToolRun r{};
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.err = Slurp(errName);
  std::filesystem::remove(errName);
  return r;
}

class TacpushTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("TACMON_BIN") ||
        !std::filesystem::exists(std::filesystem::path(std::getenv("TACMON_BIN")) / "tacpush"))
      GTEST_SKIP() << "tacpush not built";
    char tmpl[] = "/tmp/tacpush_test_XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(TacpushTool, InfoOfTheGoldenPress) {
  ToolRun r = Tacpush("info " + Golden("press_1006.psh"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "file: " + Golden("press_1006.psh") +
                       "\n"
                       "kind: push file\n"
                       "version: 1006\n"
                       "variant: with passport block\n"
                       "passport block version: 124\n"
                       "frames: 320\n"
                       "labels: 3\n"
                       "first capture: 2024-03-15T14:21:59.850\n"
                       "last capture: 2024-03-15T14:22:15.800\n"
                       "passport number: 17\n"
                       "device id: 0a1b2c3d4e5f\n");
}

TEST_F(TacpushTool, CsvMatchesTheExpectationOfEveryPushFile) {
  for (const auto& g : GoldenPushes()) {
    ToolRun r = Tacpush("csv " + Golden(g.name));
    EXPECT_EQ(r.status, 0) << g.name << r.err;
    EXPECT_EQ(r.out, Slurp(kDir / (g.name + ".csv"))) << g.name;
  }
  // Display values of the first frame (at rest): near 0 in format 1, near 255 in format 0.
  ToolRun d = Tacpush("csv --display --format 1 " + Golden("press_1006.psh"));
  ASSERT_EQ(d.status, 0);
  std::string second = d.out.substr(d.out.find('\n') + 1);
  EXPECT_EQ(second.substr(0, 30), "0,2024-03-15T14:21:59.850,0,1,");
  d = Tacpush("csv --display " + Golden("press_1006.psh"));
  second = d.out.substr(d.out.find('\n') + 1);
  EXPECT_EQ(second.substr(0, 32), "0,2024-03-15T14:21:59.850,0,254,");
}

TEST_F(TacpushTool, ImportWritesAPushWithPassportBlock) {
  std::string out = (dir_ / "imported.psh").string();
  ToolRun r = Tacpush("import " + Golden("probe.trf") + " " + out + " --wireless");
  ASSERT_EQ(r.status, 0) << r.err;
  Push p;
  PushFileInfo info;
  ASSERT_EQ(ReadPushFile(p, out, &info), 0);
  EXPECT_TRUE(info.passportBlock);
  EXPECT_EQ(p.FrameCount(), 5);
  EXPECT_EQ(p.frames[0].values[0], 65535 - 21 - 65536);  // stored 16 bits, read back signed
}

TEST_F(TacpushTool, PassportShowsAndWritesBack) {
  std::string out = (dir_ / "again.dvp").string();
  ToolRun r = Tacpush("passport " + Golden("probe17.dvp") + " --write " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("device number: 17\n"), std::string::npos);
  EXPECT_NE(r.out.find("ok: XXXXXXXXXXXX-XXXXXX\n"), std::string::npos);
  EXPECT_NE(r.out.find("autoconnect: 0\n"), std::string::npos);  // from probe17Add.bin
  EXPECT_EQ(Slurp(out), Slurp(kDir / "probe17.dvp"));
}

TEST_F(TacpushTool, BadInputGivesAMessageAndAStatus) {
  std::ofstream(dir_ / "v1007.psh", std::ios::binary) << std::string("\xef\x03\0\0xxxx", 8);
  std::ofstream(dir_ / "empty.psh", std::ios::binary) << "";
  std::ofstream(dir_ / "short.txt", std::ios::binary) << "1  2  3\r\n";
  std::filesystem::create_directories(dir_ / "folder.txt");
  struct Case {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {"info " + (dir_ / "missing.psh").string(), 1,
       "tacpush: " + (dir_ / "missing.psh").string() + ": cannot open the file (code -1)\n"},
      {"info " + (dir_ / "v1007.psh").string(), 1,
       "tacpush: " + (dir_ / "v1007.psh").string() +
           ": not a push file: version 1007 is outside 1001..1006 (code -2)\n"},
      {"csv " + (dir_ / "empty.psh").string(), 1,
       "tacpush: " + (dir_ / "empty.psh").string() +
           ": not a push file: version 0 is outside 1001..1006 (code -2)\n"},
      {"import " + Golden("probe.trf") + " " + (dir_ / "no/such/dir.psh").string(), 1,
       "tacpush: " + (dir_ / "no/such/dir.psh").string() +
           ": cannot write the push file (code -1)\n"},
      {"import x.dat y.psh", 1, "tacpush: x.dat: not a .txt or .trf log (code -2)\n"},
      {"import " + (dir_ / "short.txt").string() + " " + (dir_ / "short.psh").string(), 1,
       "tacpush: " + (dir_ / "short.txt").string() +
           ": the log holds no complete frame (code -3)\n"},
      {"info " + (dir_ / "folder.txt").string(), 1,
       "tacpush: " + (dir_ / "folder.txt").string() + ": cannot open the log (code -1)\n"},
      {"passport " + (dir_ / "none.dvp").string(), 1,
       "tacpush: " + (dir_ / "none.dvp").string() + ": cannot open the passport (code -1)\n"},
      {"frobnicate", 2, ""},
      {"csv", 2, ""},
  };
  for (const auto& c : cases) {
    ToolRun r = Tacpush(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    if (!c.err.empty()) {
      EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(r.err.empty()) << c.args;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "short.psh"));
}

}  // namespace
