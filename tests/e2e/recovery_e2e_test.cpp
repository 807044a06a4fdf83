// The start after a recording that never closed: the hub keeps the interrupted push in its
// operation folder, tells the user and writes it into the message log.
#include <gtest/gtest.h>

#include "acquisition/push_recovery.h"
#include "e2e/tacmon_run.h"
#include "platform/cp1251.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::TacmonRun;

using Recovery = TacmonRun;

TEST_F(Recovery, TheHubKeepsAnInterruptedPushAndSaysSo) {
  // A recording of five frames, left as a killed program leaves it.
  fs::create_directories(Root() / "pars");
  fs::create_directories(Root() / "OPERATIONS" / "2026-12-11_06-00");
  UseScratchRoots();
  {
    Push p = CreatePush();
    ASSERT_EQ(OpenOperationPushStream(p, "c:\\Tacmon\\OPERATIONS\\2026-12-11_06-00"), 0);
    ASSERT_EQ(WriteStreamPassport(p, DevicePassport{}), 0);
    for (int i = 0; i < 5; ++i) {
      SensorFrame f;
      f.index = i;
      ASSERT_EQ(AppendStreamFrame(p, f), 0);
    }
    p.stream.markerName.clear();
  }
  e2e::RunResult r = Run("answer OK\ndump state.json\nclick 1\n");
  ASSERT_EQ(r.status, 0) << r.err;

  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(Root() / "OPERATIONS" / "2026-12-11_06-00"))
    kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].extension(), ".psh");
  EXPECT_FALSE(fs::exists(Root() / "pars" / "tmpSavedData.op"));

  const std::string expected = "была прервана. Записанные кадры (5) сохранены как нажатие";
  std::string state = ReadFile(dir_ / "state.json");  // UTF-8
  EXPECT_NE(state.find(expected), std::string::npos) << state;
  std::string log;
  for (const auto& e : fs::directory_iterator(Root() / "Logs")) log += ReadFile(e.path());
  EXPECT_NE(Cp1251ToUtf8(log).find(expected), std::string::npos);
}

}  // namespace
