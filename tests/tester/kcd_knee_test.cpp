// The test dialog on the offscreen platform with the simulated instrument publishing its words
// in this process: which samples become points, the countdown of a weight, mode switches and
// the tested-sensor field.
#include "tester/kcd_knee.h"

#include <gtest/gtest.h>

#include "platform/ui/dialog.h"
#include "recording/ctacmon_dlg_record.h"
#include "support/instrument_fixture.h"
#include "support/scratch_roots.h"
#include "tester/tdodezori_tester.h"
#include "tests/ui/ui_env.h"

namespace {

using namespace tester;
using uitest::Pump;
using uitest::PumpFor;

class Knee : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetReceptionForTest();
    record_ = std::make_unique<recording::CtacmonDlgRecord>(recording::RecordViewHost{});
    KneeHost host;
    host.thread = [] { return static_cast<CDavavBoilerThread*>(nullptr); };
    host.record = record_.get();
    knee_ = new KCDKnee(host);  // deletes itself when its window is gone
    knee_->onGone = [this] { knee_ = nullptr; };
    ASSERT_TRUE(knee_->Create(nullptr));
  }
  void TearDown() override {
    if (knee_) knee_->DestroyWindow();
    Pump([this] { return knee_ == nullptr; });
    SetCurrentTesterPassport(BuiltInTesterPassport());
  }
  void SetProbe(int value) {
    std::lock_guard l(record_->Latest().lock);
    record_->Latest().indices.fill(value);
    record_->Latest().valid = true;
  }
  static void SetMinus(int minus) {
    TesterPassport p = BuiltInTesterPassport();
    p.MINUS = minus;
    SetCurrentTesterPassport(p);
  }

  ScratchRoots roots_;
  std::unique_ptr<recording::CtacmonDlgRecord> record_;
  KCDKnee* knee_ = nullptr;
};

// A sample becomes a point only when the probe's mean is above "VMinTester=" and the converted
// force above "VMinReceptor=" (both 20 here).
TEST_F(Knee, SamplesBecomePointsAboveBothThresholds) {
  InstrumentFixture instrument(roots_.base());
  TDodezoriTester adapter(&TesterReceive);
  ASSERT_EQ(adapter.Open(), "");
  ASSERT_TRUE(Pump([] { return PublishCount() > 2; }));
  // The force words read 3 x 600 = 1800; converted: MINUS - 1800.
  struct Case {
    int mean;
    int minus;
    bool point;
  };
  const Case cases[] = {{25, 1815, false}, {15, 1830, false}, {25, 1830, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mean);
    knee_->SendCommand(1006);  // empty the table
    SetProbe(c.mean);
    SetMinus(c.minus);
    knee_->SendCommand(1015);  // "v.": points are taken
    PumpFor(150);
    const auto points = knee_->Points();
    EXPECT_EQ(!points.empty(), c.point);
    if (!points.empty()) {
      EXPECT_EQ(points.back().tester, c.minus - 1800);
      EXPECT_EQ(points.back().receptor, c.mean);
    }
    knee_->SendCommand(1010);  // STOP clears the points flag
  }
}

// A weight's countdown ends with the test dialog: nothing runs on a dialog that is gone.
TEST_F(Knee, TheCountdownNeverOutlivesTheDialog) {
  knee_->SendCommand(1045);  // weights mode
  EXPECT_EQ(knee_->Mode(), KneeMode::kWeights);
  knee_->SendCommand(1046);  // "Гиря"
  KCDWeightSet* weight = knee_->WeightDialog();
  ASSERT_NE(weight, nullptr);
  weight->SetItemText(1002, "1");
  weight->SendCommand(1);
  EXPECT_EQ(weight->Remaining(), 1);
  knee_->DestroyWindow();
  ASSERT_TRUE(Pump([this] { return knee_ == nullptr; }));
  for (ui::Dialog* d : ui::OpenDialogs()) EXPECT_NE(d->ClassName(), "KCDWeightSet");
  PumpFor(1300);  // the countdown's second has passed
}

TEST_F(Knee, AWeightGivesAPointAfterItsCountdown) {
  knee_->SendCommand(1045);
  knee_->SendCommand(1046);
  KCDWeightSet* weight = knee_->WeightDialog();
  ASSERT_NE(weight, nullptr);
  weight->SetItemText(1001, "500");
  weight->SetItemText(1002, "1");
  weight->SendCommand(1);
  ASSERT_TRUE(Pump([this] { return knee_->Points().size() == 1; }, 3000));
  EXPECT_EQ(knee_->Points()[0].receptor, 500);
  EXPECT_EQ(knee_->Points()[0].tester, 0) << "no instrument: no force";
  EXPECT_FALSE(knee_->Results().fit) << "a line needs a second weight";
}

TEST_F(Knee, ModesRestoreWhatWasTypedBefore) {
  knee_->SetItemText(1017, "33");
  knee_->SetCheck(1027, 1);
  knee_->SendCommand(1029);  // manometer on
  EXPECT_EQ(knee_->Mode(), KneeMode::kManometer);
  EXPECT_EQ(knee_->ItemText(1017), "1");
  EXPECT_EQ(knee_->GetCheck(1027), 0);
  EXPECT_NE(knee_->Caption().find("Режим работы с манометром."_cp), std::string::npos);
  knee_->SendCommand(1045);  // weights on: manometer off first
  EXPECT_EQ(knee_->Mode(), KneeMode::kWeights);
  knee_->SendCommand(1045);
  EXPECT_EQ(knee_->Mode(), KneeMode::kStandard);
  EXPECT_EQ(knee_->ItemText(1017), "33");
  EXPECT_EQ(knee_->GetCheck(1027), 1);
  EXPECT_NE(knee_->Caption().find("Стандартный режим работы."_cp), std::string::npos);
}

TEST_F(Knee, TheTestedSensorStaysWithinOneToNineteen) {
  knee_->SetItemText(1009, "25");
  knee_->SendCommand(1018);
  EXPECT_EQ(knee_->ItemText(1009), "");
  EXPECT_EQ(knee_->Options().iSensor, 0);
  knee_->SendCommand(1022);
  EXPECT_EQ(knee_->ItemText(1009), "1");
  knee_->SetItemText(1009, "19");
  knee_->SendCommand(1022);
  EXPECT_EQ(knee_->ItemText(1009), "19");
  knee_->SetItemText(1009, "1");
  knee_->SendCommand(1023);
  EXPECT_EQ(knee_->ItemText(1009), "");
}

}  // namespace
