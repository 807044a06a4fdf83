#include "kcd_main.h"

#include "acquisition/push_recovery.h"
#include "app/kit/fonts.h"
#include "app/log/message_log.h"
#include "app/main/app_start.h"
#include "app/main/database_callbacks.h"
#include "app/main/kcd_set_parameters.h"
#include "app/main/port_list.h"
#include "app/main/receptor_init_strings.h"
#include "medstore/medstore.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/serial.h"
#include "platform/ui/message_box.h"
#include "records/records.h"
#include "view/ctacmon_dlg.h"
#include "view/sensor_map.h"

namespace {

KCDMain* g_mainDialog = nullptr;

// medstore reports through this callback into the message log.
void ForwardToLog(const char* message) { AddLogMessage(message); }

// The passport registry asks the user through the hub.
void ShowPassportMessage(const char* text) { ui::MessageBox(TheMainDialog(), text); }

// The left column, top to bottom: stacked at start so that hidden buttons leave no gaps.
constexpr int kColumnButtons[] = {1000, 1005, 1011, 1006, 1008, 1009, 1004, 1007, 1010};

}  // namespace

KCDMain* TheMainDialog() { return g_mainDialog; }

Text1251 MainHelpText() {
  static const char* const kLines[] = {
      "Для записи нажатий:"_cp,
      "1)Нажмите на кнопку `Запись операции'."_cp,
      "2)В открывшемся диалоге заполните требуемые поля и нажмите на кнопку `OK'."_cp,
      "3)В диалоге записи операции нажмите кнопку `Connect'."_cp,
      "4)Для начала записи нажатия нажмите кнопку включения механорецептора."_cp,
      "Дождитесь осуществления соединения."_cp,
      "5)Для завершения записи нажатия нажмите кнопку отключения механорецептора."_cp,
      "После этого в списке нажатий появится иконка записанного нажатия."_cp,
      "6)К каждой записи нажатия можно прикрепить текстовый комментарий с помощью "_cp,
      "нажатия на кнопку, расположенную в левом нижнем углу изображения нажатия."_cp,
      "7)Для завершения работы нажмите на кнопку  `Disconnect' и на кнопку `Выйти'."_cp,
      "",
      "Для просмотра нажатий внутри диалога записи операции:"_cp,
      "1)Соединение с механорецептором должно быть предварительно разорвано"_cp,
      "с помощью нажатия на кнопку `Disconnect'"_cp,
      "2)Дважды кликните мышью на изображение нажатия в списке нажатий."_cp,
      "3)В открывшемся диалоге показа нажатия для показа нажатия следует кликнуть"_cp,
      "на кнопку, расположенную в левом нижнем углу диалога."_cp,
      "Изображение состояния механорецептора можно прокручивать по времени с "_cp,
      "помощью ползунка."_cp,
      "",
      "Для просмотра записанной операции операции:"_cp,
      "1)В главном диалоге программы кликните на кнопку"_cp,
      "`Список операций в локальной БД, записанных с рецептора'"_cp,
      "2)Выберите требуемую операцию из списка и нажмите кнопку `Загрузить'"_cp,
      "3)Просмотр записанных нажатий описан выше."_cp,
      "",
      "Если что-то не работает:"_cp,
      "1)Проверьте, не разряжен ли аккумулятор механорецептора."_cp,
      "2)Закройте программу."_cp,
      "3)Отсоедините устройства от компьютера и заново подсоедините их."_cp,
      "",
      "",
      "",
  };
  Text1251 text;
  for (size_t i = 0; i < std::size(kLines); ++i) {
    if (i) text += "\r\n";
    text += kLines[i];
  }
  return text;
}

KCDMain::KCDMain() : Dialog(142), initStrings_(DefaultReceptorInitStrings()) {
  windows_ = MakeHubWindows();
  passports_.showMessage = ShowPassportMessage;
  RegisterHandlers();
  g_mainDialog = this;
}

KCDMain::~KCDMain() {
  CloseDatabases();
  if (g_mainDialog == this) g_mainDialog = nullptr;
}

void KCDMain::RegisterHandlers() {
  OnCommand(1000, [this] { OpenNewOperation(); });
  OnCommand(1005, [this] { windows_->OpenLocalOperations(*this, 0); });
  OnCommand(1011, [this] { windows_->OpenLocalOperations(*this, 1); });
  OnCommand(1006, [this] { OpenStationaryOperations(); });
  OnCommand(1008, [this] { OpenPatients(); });
  OnCommand(1009, [this] { OpenSurgeons(); });
  OnCommand(1004, [this] { OpenParameters(this); });
  OnCommand(1007, [] { ShowMessageWindow(5); });
  OnCommand(1010, [this] { windows_->OpenPassports(*this); });
  OnCommand(1012, [this] { ListPorts(); });
  OnCommand(57670, [this] { ShowHelp(); });

  OnMessage(kHubMsgStatusText, [this](uintptr_t, intptr_t) {
    Text1251 receptor, display;
    {
      std::lock_guard l(statusLock_);
      receptor = receptorStatus_;
      display = displayStatus_;
    }
    SetItemText(1017, receptor);
    SetItemText(1018, display);
    return 0;
  });
  OnMessage(kHubMsgDisplayDisconnected, [this](uintptr_t, intptr_t) {
    displayConnected_ = false;
    return 0;
  });
  OnMessage(kHubMsgDisplayConnected, [this](uintptr_t, intptr_t) {
    displayConnected_ = true;
    if (WorkstationSettings().SetAutoRecord && windows_->RecordingViewOpen())
      windows_->RefreshRecordingView();
    return 0;
  });
  OnMessage(kHubMsgReceptorPortClosed, [this](uintptr_t, intptr_t) {
    receptorConnected_ = false;
    if (WorkstationSettings().SetAutoRecord && windows_->RecordingViewOpen())
      windows_->StopAndStorePush();
    return 0;
  });
  OnMessage(kHubMsgReceptorConnected, [this](uintptr_t, intptr_t) {
    receptorConnected_ = true;
    if (WorkstationSettings().SetAutoRecord && windows_->RecordingViewOpen() &&
        windows_->RecordingViewConnected())
      windows_->StartPush();
    return 0;
  });
}

bool KCDMain::OnInitDialog() {
  SetItemText(1019, MainHelpText());
  // 1. Folders and the bootstrap (which starts the message log).
  CreateDatabaseFolders();
  PrepareDataDirectories();
  // 2. The receptor init strings.
  if (LoadReceptorInitStrings(initStrings_) < 0)
    AddLogMessageF("(3693828)Не удается прочитать или создать файл %s%s"_cp, winpath::kDataRoot,
                   kReceptorInitStringsFile);
  // 3. The workstation settings.
  ReadSettings();
  // 4. The tactile display thread.
  windows_->StartDisplayThread(*this);
  // 5. The buttons of the extended main window.
  const bool extended = TheStartValues().extendedMainWindow;
  for (int id : {1010, 1011, 1004}) ShowItem(id, extended);
  StackColumn();
  // 6. The passports.
  if (TimedLock lock(passportLock_, 1000); lock)
    LoadPassports(passports_);
  else
    AddLogMessage("(3693830)Internal error:can't lock");
  // A push whose recording the last run never closed is kept in its operation folder.
  if (InterruptedPush r = RecoverInterruptedPush(); r.outcome != InterruptedPush::Outcome::kNone) {
    const Text1251 text = InterruptedPushMessage(r);
    AddLogMessage(text.c_str());
    ui::MessageBox(this, text);
  }
  // 7, 8. The stationary databases and their callbacks.
  OpenDatabases();
  RegisterDatabaseCallbacks();
  // 9. The organ and hospital lists.
  LoadEnumerations();
  // 10. The status edits stay hidden.
  ShowItem(1017, false);
  ShowItem(1018, false);
  // 11. The user-interface font.
  LoadDefaultFont(uiFont_);
  InstallViewerHooks();
  return true;
}

void KCDMain::StackColumn() {
  int y = ItemRect(kColumnButtons[0]).top;
  const int step = ItemRect(kColumnButtons[1]).top - y;
  for (int id : kColumnButtons) {
    if (!IsItemVisible(id)) continue;
    ui::Rect r = ItemRect(id);
    MoveItem(id, {r.left, y, r.right, y + (r.bottom - r.top)}, false);
    y += step;
  }
}

void KCDMain::ReadSettings() {
  LoadPars(kHubSettingsSet, &settingsSet_);
  HubSettings s;
  ReadHubSettings(settingsSet_, s);
  // Only a change writes the set: loading alone must not rewrite the file.
  settingsSet_.modified = false;
  {
    std::lock_guard l(settingsLock_);
    settings_ = s;
  }
  PublishSettings(s);
}

HubSettings KCDMain::WorkstationSettings() const {
  std::lock_guard l(settingsLock_);
  return settings_;
}

int KCDMain::SaveSettings(const HubSettings& s) {
  {
    std::lock_guard l(settingsLock_);
    settings_ = s;
  }
  PublishSettings(s);
  const int rc = SaveHubSettings(s, settingsSet_);
  if (rc != 0)
    AddLogMessageF("(3693829)Не удается записать параметры в файл %s"_cp,
                   ParameterFilePath(winpath::kDataRoot, kHubSettingsSet).c_str());
  return rc;
}

// The maps and the normalization read these process-wide copies at every use.
void KCDMain::PublishSettings(const HubSettings& s) {
  view::MapSettings& map = view::CurrentMapSettings();
  map.outputSensorNumbers = s.set_output_sensors_numbers != 0;
  map.useMechDisplay = s.set_use_MechDisplay != 0;
  SetReceptorDataFormat(s.receptor_data_format);
  SetReceptorSensitivity(0, s.SensibilityReceptorV);
  SetReceptorSensitivity(1, s.SensibilitySecondReceptorV);
}

LinkSettings KCDMain::Settings() {
  const HubSettings s = WorkstationSettings();
  LinkSettings l;
  l.autoconnect = s.set_autoconnect;
  l.connect2 = s.set_connect2;
  l.comPort = s.NumCOMPort;
  l.comPort2 = s.NumCOMPort2;
  l.device = s.NumDevice;
  l.device2 = s.NumDevice2;
  l.displayPeriod = s.DtShowVideo;
  l.fileMode = s.set_use_file_instead_COM_port;
  l.debugFile = s.file_instead_COM_port;
  l.autoRecord = s.SetAutoRecord;
  return l;
}

void KCDMain::DataFormatChanged(int format) {
  std::lock_guard l(settingsLock_);
  settings_.receptor_data_format = format;
}

void KCDMain::SetReceptorStatusText(const Text1251& text) {
  std::lock_guard l(statusLock_);
  receptorStatus_ = text;
}

void KCDMain::SetDisplayPortSetting(int number) {
  std::lock_guard l(settingsLock_);
  settings_.NumCOMPortDisp = number;
}

void KCDMain::SetDisplayStatusText(const Text1251& text) {
  std::lock_guard l(statusLock_);
  displayStatus_ = text;
}

void KCDMain::OpenDatabases() {
  const std::string root = winpath::kDatabaseRoot;
  std::string path = root + "DB";
  patients_ = InitUserDB(path.data(), ForwardToLog);
  if (!patients_) ui::MessageBox(this, "Не удается инициализировать базу данных пациентов"_cp);
  path = root + "DB_op";
  operations_ = InitOperationDB(path.data(), ForwardToLog);
  if (!operations_) ui::MessageBox(this, "Не удается инициализировать базу данных операторов"_cp);
  path = root + "DB_doc";
  surgeons_ = InitDoctorDB(path.data(), ForwardToLog);
  if (!surgeons_) ui::MessageBox(this, "Не удается инициализировать базу данных докторов"_cp);
  path = root + "DB_push";
  pushes_ = InitPushDB(path.data(), ForwardToLog);
  if (!pushes_) ui::MessageBox(this, "Не удается инициализировать базу данных нажатий"_cp);
}

void KCDMain::RegisterDatabaseCallbacks() {
  auto compare = reinterpret_cast<void*>(&WildcardMatch);
  auto remove = reinterpret_cast<void*>(&DeletePathTree);
  if (patients_) {
    SetAddUserData(1, compare, 4, patients_);
    SetAddUserData(2, remove, 4, patients_);
  }
  if (operations_) SetAddOperationData(2, remove, 4, operations_);
  if (surgeons_) SetAddDoctorData(2, remove, 4, surgeons_);
  if (pushes_) SetAddPushData(2, remove, 4, pushes_);
}

void KCDMain::CloseDatabases() {
  if (pushes_) ClosePushDB(pushes_);
  if (patients_) CloseUserDB(patients_);
  if (operations_) CloseOperationDB(operations_);
  if (surgeons_) CloseDoctorDB(surgeons_);
  pushes_ = nullptr;
  patients_ = nullptr;
  operations_ = nullptr;
  surgeons_ = nullptr;
}

void KCDMain::OpenNewOperation() {
  // At most one operation window: a new recording replaces the old one.
  windows_->DeleteOperationWindow();
  OperationDescription description;
  if (records::RunOperationDescription(this, *this, description) != ui::IDOK) return;
  windows_->OpenOperationWindow(*this, description);
}

void KCDMain::OpenPatients() { records::RunPatientsDialog(this, *this); }

void KCDMain::OpenSurgeons() { records::RunSurgeonsDialog(this, *this); }

void KCDMain::LoadEnumerations() { records::LoadRecordTables(organs_, hospitals_); }
void KCDMain::FreeEnumerations() { records::FreeRecordTables(organs_, hospitals_); }

void KCDMain::OpenParameters(ui::Dialog* parent) {
  KCD_SetParameters dlg(*this);
  dlg.DoModal(parent);
}

void KCDMain::OpenStationaryOperations() {
  if (!operations_) {
    AddLogMessage("Стационарная БД операций не открыта"_cp);
    return;
  }
  if (!patients_) {
    AddLogMessage("Стационарная БД пациентов не открыта"_cp);
    return;
  }
  if (!pushes_) {
    AddLogMessage("Стационарная БД нажатий механорецептора не открыта"_cp);
    return;
  }
  if (!surgeons_) AddLogMessage("Стационарная БД врачей не открыта"_cp);
  windows_->OpenStationaryOperations(*this);
}

void KCDMain::ListPorts() { SetItemText(1020, PortListText(CanOpenPort)); }

void KCDMain::ShowHelp() { ui::MessageBox(this, MainHelpText(), "Справка"_cp); }

// The push viewer opens the parameters dialog (32779) and asks for the debug input file and
// the current passport through these hooks; its other settings commands belong to windows
// not built into the program yet.
void KCDMain::InstallViewerHooks() {
  view::ViewerHooks& hooks = view::CurrentViewerHooks();
  hooks.externalCommand = [this](int command, ui::Dialog& viewer) {
    if (command == 32779)
      OpenParameters(&viewer);
    else if (command == 32775)
      ShowHelp();
    else
      AddLogMessage("Это окно настроек пока не встроено в программу"_cp);
  };
  hooks.debugInputFile = [this] { return WorkstationSettings().file_instead_COM_port; };
  hooks.currentPassport = [this] {
    TimedLock lock(passportLock_, 1000);
    if (!lock) {
      AddLogMessage("(3693831)Internal error:can't lock");
      return DevicePassport();
    }
    return passports_.current;
  };
}

void KCDMain::OnDestroy() {
  view::ViewerHooks& hooks = view::CurrentViewerHooks();
  hooks.externalCommand = nullptr;
  hooks.debugInputFile = nullptr;
  hooks.currentPassport = nullptr;
  // 1. The tactile display thread.
  windows_->StopDisplayThread();
  // 2. The databases.
  CloseDatabases();
  // 3. The organ and hospital lists.
  FreeEnumerations();
  // 4. The operation window.
  windows_->DeleteOperationWindow();
  // 5. The message log. The settings are written when they change, never here.
  StopMessageLog();
  settingsSet_.modified = false;
  FreePars(&settingsSet_);
}
