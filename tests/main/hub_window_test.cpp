// The hub as the other parts see it: the link messages it answers and what it asks of the
// windows of other folders (through HubWindows), the link's settings snapshot and the
// process-wide copies a save publishes, and the order of its closing.
#include <gtest/gtest.h>

#include "acquisition/device_passport.h"
#include "app/main/kcd_main.h"
#include "support/scratch_roots.h"
#include "tests/ui/ui_env.h"
#include "view/sensor_map.h"

namespace {

// Records what the hub asks of the windows of other folders.
struct Calls {
  std::vector<std::string> log;
  bool viewOpen = false;
  bool viewConnected = false;
};
Calls g_calls;

class RecordingWindows : public HubWindows {
 public:
  void StartDisplayThread(KCDMain&) override { g_calls.log.push_back("start display"); }
  void StopDisplayThread() override { g_calls.log.push_back("stop display"); }
  void DeleteOperationWindow() override { g_calls.log.push_back("delete operation window"); }
  bool RecordingViewOpen() const override { return g_calls.viewOpen; }
  bool RecordingViewConnected() const override { return g_calls.viewConnected; }
  void RefreshRecordingView() override { g_calls.log.push_back("refresh"); }
  void StopAndStorePush() override { g_calls.log.push_back("stop push"); }
  void StartPush() override { g_calls.log.push_back("start push"); }
};

class HubWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = {};
    SetHubWindowsFactory(
        []() -> std::unique_ptr<HubWindows> { return std::make_unique<RecordingWindows>(); });
    hub_ = std::make_unique<KCDMain>();
    ASSERT_EQ(TheMainDialog(), hub_.get());
    ASSERT_TRUE(hub_->Create());
    ASSERT_EQ(g_calls.log, std::vector<std::string>{"start display"});
    g_calls.log.clear();
  }
  void TearDown() override {
    if (hub_ && hub_->HasWindow()) hub_->DestroyWindow();
    hub_.reset();
    SetHubWindowsFactory(nullptr);
    uitest::PumpFor(10);
  }
  void SetAutoRecord(int on) {
    HubSettings s = hub_->WorkstationSettings();
    s.SetAutoRecord = on;
    ASSERT_EQ(hub_->SaveSettings(s), 0);
  }

  ScratchRoots roots_;
  std::unique_ptr<KCDMain> hub_;
};

TEST_F(HubWindow, StatusTextsOfBothLinksAreCopiedOn1046) {
  hub_->SetReceptorStatusText("Механорецептор #1: COM3 (device id=0a1b2c3d4e5f)"_cp);
  hub_->SetDisplayStatusText("Такт.дисплей: COM4"_cp);
  EXPECT_EQ(hub_->ItemText(1017), "");
  hub_->SendMessage(kHubMsgStatusText);
  EXPECT_EQ(hub_->ItemText(1017), "Механорецептор #1: COM3 (device id=0a1b2c3d4e5f)"_cp);
  EXPECT_EQ(hub_->ItemText(1018), "Такт.дисплей: COM4"_cp);
  EXPECT_FALSE(hub_->IsItemVisible(1017));
  EXPECT_FALSE(hub_->IsItemVisible(1018));
}

TEST_F(HubWindow, LinkEventsReachTheRecordingViewOnlyWithAutoRecord) {
  struct Case {
    uint32_t message;
    int autoRecord;
    bool viewOpen, viewConnected;
    std::vector<std::string> calls;
  };
  const Case kCases[] = {
      {kHubMsgDisplayConnected, 1, true, false, {"refresh"}},
      {kHubMsgDisplayConnected, 1, false, false, {}},
      {kHubMsgDisplayConnected, 0, true, false, {}},
      {kHubMsgReceptorPortClosed, 1, true, true, {"stop push"}},
      {kHubMsgReceptorPortClosed, 1, false, false, {}},
      {kHubMsgReceptorPortClosed, 0, true, true, {}},
      {kHubMsgReceptorConnected, 1, true, true, {"start push"}},
      {kHubMsgReceptorConnected, 1, true, false, {}},  // the view is not connected
      {kHubMsgReceptorConnected, 1, false, true, {}},
      {kHubMsgReceptorConnected, 0, true, true, {}},
      {kHubMsgDisplayDisconnected, 1, true, true, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.message << " autorecord " << c.autoRecord << " view "
                                    << c.viewOpen << c.viewConnected);
    SetAutoRecord(c.autoRecord);
    g_calls.viewOpen = c.viewOpen;
    g_calls.viewConnected = c.viewConnected;
    g_calls.log.clear();
    hub_->SendMessage(c.message);
    EXPECT_EQ(g_calls.log, c.calls);
  }
  hub_->SendMessage(kHubMsgReceptorConnected);
  hub_->SendMessage(kHubMsgDisplayConnected);
  EXPECT_TRUE(hub_->ReceptorConnected());
  EXPECT_TRUE(hub_->DisplayConnected());
  hub_->SendMessage(kHubMsgReceptorPortClosed);
  hub_->SendMessage(kHubMsgDisplayDisconnected);
  EXPECT_FALSE(hub_->ReceptorConnected());
  EXPECT_FALSE(hub_->DisplayConnected());
}

TEST_F(HubWindow, SavedSettingsReachTheLinkTheMapsAndTheNormalization) {
  HubSettings s = hub_->WorkstationSettings();
  s.set_autoconnect = 0;
  s.set_connect2 = 1;
  s.NumCOMPort = 7;
  s.NumCOMPort2 = 8;
  s.NumDevice = 11;
  s.NumDevice2 = 12;
  s.DtShowVideo = 0.1;
  s.set_use_file_instead_COM_port = 1;
  s.file_instead_COM_port = "C:\\Tacmon\\pars\\другой.bin"_cp;
  s.SetAutoRecord = 0;
  s.set_output_sensors_numbers = 0;
  s.set_use_MechDisplay = 0;
  s.receptor_data_format = 2;
  s.SensibilityReceptorV = 1.5;
  s.SensibilitySecondReceptorV = 0.5;
  ASSERT_EQ(hub_->SaveSettings(s), 0);
  const LinkSettings l = hub_->Settings();
  EXPECT_EQ(l.autoconnect, 0);
  EXPECT_EQ(l.connect2, 1);
  EXPECT_TRUE(l.TwoReceptors());
  EXPECT_EQ(l.comPort, 7);
  EXPECT_EQ(l.comPort2, 8);
  EXPECT_EQ(l.device, 11);
  EXPECT_EQ(l.device2, 12);
  EXPECT_EQ(l.displayPeriod, 0.1);
  EXPECT_EQ(l.fileMode, 1);
  EXPECT_EQ(l.debugFile, "C:\\Tacmon\\pars\\другой.bin"_cp);
  EXPECT_EQ(l.autoRecord, 0);
  EXPECT_FALSE(view::CurrentMapSettings().outputSensorNumbers);
  EXPECT_FALSE(view::CurrentMapSettings().useMechDisplay);
  EXPECT_EQ(ReceptorDataFormat(), 2);
  EXPECT_EQ(ReceptorSensitivity(0), 1.5);
  EXPECT_EQ(ReceptorSensitivity(1), 0.5);

  // The link's change of the wire format is kept and written with the next save.
  hub_->DataFormatChanged(1);
  EXPECT_EQ(hub_->WorkstationSettings().receptor_data_format, 1);
  ParameterSet file;
  LoadPars("KCDMain", &file);
  int32_t format = -1;
  EXPECT_EQ(GetPar("receptor_data_format", format, file), 0);
  EXPECT_EQ(format, 2);
  file.modified = false;
  FreePars(&file);
}

TEST_F(HubWindow, ClosingStopsTheDisplayBeforeTheOperationWindowAndWritesNoSettings) {
  EXPECT_FALSE(std::filesystem::exists(roots_.data() / "pars" / "KCDMain.par"));
  hub_->DestroyWindow();
  EXPECT_EQ(g_calls.log, (std::vector<std::string>{"stop display", "delete operation window"}));
  EXPECT_FALSE(std::filesystem::exists(roots_.data() / "pars" / "KCDMain.par"));
  EXPECT_EQ(hub_->Patients(), nullptr);
  EXPECT_EQ(hub_->Surgeons(), nullptr);
}

}  // namespace
