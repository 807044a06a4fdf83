// KCDMain, the main hub dialog (dialog 142 "Механорецептор"): runs modally from the start of
// tacmon to its end and is the one holder of the workstation settings (parameter set
// "KCDMain"), the receptor init strings, the passport registry, the four stationary databases,
// the organ and hospital tables, the user-interface font and, through HubWindows, the tactile
// display thread and the operation window. Its buttons open every other part of the system. It
// is the link's host (settings snapshot, passports, status text) and the records dialogs' host
// (databases and tables), and receives the link messages 1046-1050.
//
// Threads: the settings are read by the reading thread through LinkHost::Settings(), so every
// change of them takes settingsLock_; the status texts are set from the link threads under
// statusLock_. Both locks are taken alone. Everything else is for the UI thread.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "acquisition/device_passport.h"
// The link's ImageRing has a member named like Qt's "slots" macro.
#pragma push_macro("slots")
#undef slots
#include "acquisition/link/com_read_thread.h"
#pragma pop_macro("slots")
#include "app/kit/font_record.h"
#include "app/main/hub_settings.h"
#include "app/main/hub_windows.h"
#include "params/parameter_store.h"
#include "platform/ui/dialog.h"
#include "records/records_host.h"

struct user_list;
struct doctor_list;
struct operation_list;
struct push_list;

// Window messages to the hub.
inline constexpr uint32_t kHubMsgStatusText = 1046;
inline constexpr uint32_t kHubMsgDisplayDisconnected = 1047;
inline constexpr uint32_t kHubMsgReceptorPortClosed = 1048;
inline constexpr uint32_t kHubMsgDisplayConnected = 1049;
inline constexpr uint32_t kHubMsgReceptorConnected = 1050;

class KCDMain : public ui::Dialog, public LinkHost, public RecordsHost {
 public:
  KCDMain();
  ~KCDMain() override;

  std::string ClassName() const override { return "KCDMain"; }

  // ---- the settings ----
  // A copy of the workstation settings.
  HubSettings WorkstationSettings() const;
  // Takes new settings and writes the whole set at once in its fixed order; the process-wide
  // copies the maps and the normalization read are updated. The store's result.
  int SaveSettings(const HubSettings& settings);
  const std::vector<Text1251>& ReceptorInitStrings() const { return initStrings_; }
  const kit::FontRecord& UiFont() const { return uiFont_; }

  // ---- the databases (each may be absent) ----
  user_list* Patients() const override { return patients_; }
  operation_list* Operations() const { return operations_; }
  doctor_list* Surgeons() const override { return surgeons_; }
  push_list* Pushes() const { return pushes_; }

  HubWindows& Windows() { return *windows_; }
  bool DisplayConnected() const { return displayConnected_; }
  bool ReceptorConnected() const { return receptorConnected_; }
  // The display link sets its status text here (any thread), then sends 1046.
  void SetDisplayStatusText(const Text1251& text);
  // The display's port search sets "NumCOMPortDisp" (any thread; written with the settings).
  void SetDisplayPortSetting(int number);

  // ---- LinkHost ----
  LinkSettings Settings() override;
  void DataFormatChanged(int format) override;
  PassportRegistry& Passports() override { return passports_; }
  TimedMutex& PassportLock() override { return passportLock_; }
  void SetReceptorStatusText(const Text1251& text) override;
  WindowHandle HubWindow() override { return Handle(); }

  // ---- the buttons whose windows are built by the clinical records ----
  // "Запись операции": the operation description, then a new operation window.
  void OpenNewOperation();
  void OpenPatients();  // "Пациенты"
  void OpenSurgeons();  // "Хирурги"
  // Initialisation step 9: the organ and hospital lists.
  void LoadEnumerations();
  void FreeEnumerations();
  records::OrganTable& Organs() override { return organs_; }
  records::HospitalTable& Hospitals() override { return hospitals_; }

  // The parameters dialog over the hub's settings, owned by parent.
  void OpenParameters(ui::Dialog* parent);

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;

 private:
  void RegisterHandlers();
  void ReadSettings();
  void PublishSettings(const HubSettings& s);
  void OpenDatabases();
  void RegisterDatabaseCallbacks();
  void CloseDatabases();
  void InstallViewerHooks();
  void StackColumn();
  void ListPorts();
  void OpenStationaryOperations();
  void ShowHelp();

  mutable std::mutex settingsLock_;  // guards settings_
  HubSettings settings_;
  ParameterSet settingsSet_;  // the loaded set "KCDMain", written by SaveSettings
  std::vector<Text1251> initStrings_;
  TimedMutex passportLock_;  // guards passports_
  PassportRegistry passports_;
  std::mutex statusLock_;  // guards receptorStatus_, displayStatus_
  Text1251 receptorStatus_;
  Text1251 displayStatus_;
  bool displayConnected_ = false;
  bool receptorConnected_ = false;
  kit::FontRecord uiFont_;
  std::unique_ptr<HubWindows> windows_;

  user_list* patients_ = nullptr;
  operation_list* operations_ = nullptr;
  doctor_list* surgeons_ = nullptr;
  push_list* pushes_ = nullptr;
  records::OrganTable organs_;
  records::HospitalTable hospitals_;
};

// The main hub dialog while it lives, else null.
KCDMain* TheMainDialog();

// The help text of edit 1019 (CP1251, lines joined by CR LF).
Text1251 MainHelpText();
