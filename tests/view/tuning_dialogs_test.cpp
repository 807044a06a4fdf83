// The tuning dialogs on the offscreen platform: what reaches the setting or the passport when
// the user moves the slider, types, presses arrows, changes the sensor, and ends the dialog.
#include "view/tuning_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

#include "tests/support/scratch_roots.h"
#include "tests/ui/ui_env.h"

namespace {

using uitest::PumpFor;

// One press on an arrow of an up-down control, as a user's click.
void Press(ui::Dialog& d, int id, bool up) {
  const auto arrows = d.Item(id)->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(arrows.size(), 2);
  arrows[up ? 0 : 1]->click();
}

// A user's drag of the slider to pos.
void Drag(ui::Dialog& d, int id, int pos) {
  auto* s = qobject_cast<QAbstractSlider*>(d.Item(id));
  ASSERT_NE(s, nullptr);
  s->setSliderDown(true);
  s->setSliderPosition(pos);
  s->setSliderDown(false);
}

// Runs fn once the modal dialog of template id is up.
void WhenOpen(int id, std::function<void(ui::Dialog&)> fn) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, id, fn] {
    for (ui::Dialog* d : ui::OpenDialogs()) {
      if (d->TemplateId() != id || !d->IsWindowVisible()) continue;
      timer->stop();
      timer->deleteLater();
      fn(*d);
      return;
    }
  });
  timer->start(10);
}

struct SettingLog {
  std::vector<double> applied, saved;
  int repaints = 0;
  view::SensitivitySetting Setting(double value) {
    view::SensitivitySetting s;
    s.value = value;
    s.apply = [this](double v) { applied.push_back(v); };
    s.save = [this](double v) { saved.push_back(v); };
    return s;
  }
  view::TuningWindow Window() {
    return {nullptr, [this] { ++repaints; }};
  }
};

TEST(SensibilityDialog, TheSliderAndTypedValuesReachTheSettingAtOnce) {
  SettingLog log;
  view::CKD_SensibilitySensorSet dlg(log.Setting(1.0004), {log.Window()});
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.ItemText(1001), "1") << "snapped at opening";
  EXPECT_EQ(dlg.SliderItem(1009).GetPos(), 500);
  EXPECT_TRUE(log.applied.empty()) << "opening changes nothing";

  // The value of the position itself, not the value of its rounded text.
  Drag(dlg, 1009, 751);
  ASSERT_FALSE(log.applied.empty());
  EXPECT_EQ(log.applied.back(), view::SensitivityFromSlider(751));
  EXPECT_EQ(dlg.Value(), view::SensitivityFromSlider(751));
  EXPECT_EQ(dlg.ItemText(1001), "25.9484");
  EXPECT_GT(log.repaints, 0);

  const struct {
    const char* text;
    double value;
    int position;
  } typed[] = {{"150", 100, 1000}, {"-2", 0, 0}, {"0.5", 0.5, 250}, {"1.0004", 1, 500}};
  for (const auto& t : typed) {
    dlg.SetItemText(1001, t.text);
    EXPECT_EQ(log.applied.back(), t.value) << t.text;
    EXPECT_EQ(dlg.SliderItem(1009).GetPos(), t.position) << t.text;
    EXPECT_EQ(dlg.ItemText(1001), t.text) << "the typed text stays";
  }
  const size_t count = log.applied.size();
  for (const char* bad : {"nan", "inf", "", "x"}) dlg.SetItemText(1001, bad);
  EXPECT_EQ(log.applied.size(), count);
  EXPECT_EQ(dlg.Value(), 1.0);
  dlg.DestroyWindow();
  PumpFor(10);
}

TEST(SensibilityDialog, CancelAppliesTheValueAtOpeningAndOkSaves) {
  for (int answer : {ui::IDCANCEL, ui::IDOK}) {
    SettingLog log;
    WhenOpen(view::kSensibilityDialogId, [answer](ui::Dialog& d) {
      Drag(d, 1009, 900);
      d.SetItemText(1001, "3");
      d.SendCommand(answer);
    });
    EXPECT_EQ(view::RunSensibilityDialog(nullptr, log.Setting(0.75), {log.Window()}), answer);
    ASSERT_GE(log.applied.size(), 2u);
    if (answer == ui::IDCANCEL) {
      EXPECT_EQ(log.applied.back(), 0.75);
      EXPECT_TRUE(log.saved.empty());
    } else {
      EXPECT_EQ(log.applied.back(), 3.0);
      EXPECT_EQ(log.saved, std::vector<double>{3.0});
    }
  }
}

// A passport behind functions, as the openers hand it over, and the windows' highlights.
struct PassportLog {
  DevicePassport passport;
  std::vector<int> ownerHighlights, secondHighlights;
  view::PassportAccess Access() {
    return {[this] { return passport; },
            [this](int s, double a, double b) {
              passport.slopes[s] = a;
              passport.shifts[s] = b;
            }};
  }
  view::TuningWindow Owner() {
    return {[this](int s) { ownerHighlights.push_back(s); }, nullptr};
  }
  view::TuningWindow Second() {
    return {[this](int s) { secondHighlights.push_back(s); }, nullptr};
  }
};

TEST(CharacteristicsDialog, ShownCoefficientsAreNotRoundedByTheirText) {
  PassportLog log;
  for (int k = 0; k < kSensorCount; ++k) {
    log.passport.slopes[k] = 1.23456789 + k;
    log.passport.shifts[k] = -1000.123456789 * k;
  }
  const DevicePassport opened = log.passport;
  view::KCD_SetSensorCharacteristics dlg(log.Access(), 0, log.Owner(), log.Second());
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.ItemText(1001), "1");
  EXPECT_EQ(dlg.ItemText(1002), "1.23457");
  EXPECT_EQ(log.ownerHighlights, std::vector<int>{0});
  EXPECT_EQ(log.secondHighlights, std::vector<int>{0});
  // Going through every sensor shows each, changing none.
  for (int n = 2; n <= kSensorCount; ++n) dlg.SetItemText(1001, std::to_string(n));
  EXPECT_EQ(dlg.ItemText(1003), "-18002.2");
  EXPECT_EQ(log.ownerHighlights.back(), 18);
  EXPECT_EQ(log.secondHighlights.back(), 18);
  for (int k = 0; k < kSensorCount; ++k) {
    EXPECT_EQ(log.passport.slopes[k], opened.slopes[k]) << k;
    EXPECT_EQ(log.passport.shifts[k], opened.shifts[k]) << k;
  }
  dlg.DestroyWindow();
  PumpFor(10);
}

TEST(CharacteristicsDialog, ArrowsAndTypedValuesActLiveAndCancelRestoresAll) {
  PassportLog log;
  for (int k = 0; k < kSensorCount; ++k) log.passport.shifts[k] = 100;
  log.passport.slopes[0] = 2;
  const DevicePassport opened = log.passport;
  WhenOpen(view::kCharacteristicsDialogId, [&log](ui::Dialog& d) {
    Press(d, 1136, true);  // A of sensor 1: 2 -> 3, B turns about 32000
    EXPECT_EQ(log.passport.slopes[0], 3);
    EXPECT_EQ(log.passport.shifts[0], -15850);
    EXPECT_EQ(d.ItemText(1003), "-15850");
    d.SetItemText(1001, "7");
    Press(d, 1141, false);  // B of sensor 7: 100 -> 0
    Press(d, 1135, true);   // 0 -> 0.1
    EXPECT_DOUBLE_EQ(log.passport.shifts[6], 0.1);
    d.SetItemText(1002, "nan");
    EXPECT_EQ(log.passport.slopes[6], 1.0);
    d.SetItemText(1002, "-0.5");
    EXPECT_EQ(log.passport.slopes[6], -0.5);
    d.SendCommand(ui::IDCANCEL);
  });
  EXPECT_EQ(view::RunCharacteristicsDialog(nullptr, log.Access(), 0, log.Owner(), log.Second()),
            ui::IDCANCEL);
  for (int k = 0; k < kSensorCount; ++k) {
    EXPECT_EQ(log.passport.slopes[k], opened.slopes[k]) << k;
    EXPECT_EQ(log.passport.shifts[k], opened.shifts[k]) << k;
  }
  EXPECT_EQ(log.ownerHighlights.back(), -1);
  EXPECT_EQ(log.secondHighlights.back(), -1);
}

TEST(CharacteristicsDialog, OkKeepsTheEditedCoefficients) {
  PassportLog log;
  WhenOpen(view::kCharacteristicsDialogId, [](ui::Dialog& d) {
    d.SetItemText(1001, "19");
    d.SetItemText(1003, "250");
    d.SendCommand(ui::IDOK);
  });
  EXPECT_EQ(view::RunCharacteristicsDialog(nullptr, log.Access(), 1, {}, log.Second()), ui::IDOK);
  EXPECT_EQ(log.passport.shifts[18], 250);
  EXPECT_EQ(log.secondHighlights, (std::vector<int>{0, 18, -1}));
}

}  // namespace
