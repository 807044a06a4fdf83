#include "recording/kcd_operation_window.h"

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "app/log/message_log.h"
#include "app/main/kcd_main.h"
#include "display/com_write_thread.h"
#include "display/display_link.h"
#include "medstore/medstore.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "recognition/vigil_binding.h"
#include "recording/operation_commands.h"
#include "recording/operation_files.h"
#include "recording/recording_resources.h"
#include "records/kcd_list_with_number.h"
#include "records/kcd_operation_lists.h"
#include "records/operation_lists.h"
#include "records/records.h"

namespace recording {
namespace {

constexpr int kLinkTimer = 1;
constexpr const char* kStreamCopy = "c:\\Tacmon\\pars\\tmpSavedData.bin";
constexpr const char* kControlWireless = "c:\\Tacmon\\pars\\TestWireless.bin";
constexpr const char* kControlWire = "c:\\Tacmon\\pars\\TestWire.bin";
constexpr const char* kTestPushFolder = "c:\\Tacmon\\ENUMS\\TestPush";

}  // namespace

KCDOperationWindow::KCDOperationWindow(KCDMain& hub, const OperationDescription& description,
                                       bool fromList)
    : CDialogK(kOperationWindowId), hub_(hub), description_(description), fromList_(fromList) {
  RegisterRecordingResources();
  RegisterHandlers();
}

KCDOperationWindow::~KCDOperationWindow() {
  NotifyTesterLink(TesterLinkEvent::kWindowGone);
  if (link_) link_->Quit();
}

void KCDOperationWindow::RegisterHandlers() {
  OnCommand(1, [this] { Exit(); });
  OnCommand(32786, [this] { Exit(); });
  OnCommand(1000, [this] {
    if (record_) record_->RequestLabel();
  });
  OnCommand(32784, [this] { NewOperation(); });
  OnCommand(32787, [this] { OpenOperationChosen(); });
  OnCommand(32785, [this] { EditDescription(); });
  OnCommand(32788, [] { ShowMessageWindow(1); });
  OnCommand(32795, [this] { AskAndSave(); });
  OnCommand(32789, [this] { ControlPushFromLast(); });
  OnCommand(32793, [this] { ControlPushFromSelected(); });
  OnCommand(32790, [this] { DebugPushFromLast(); });
  OnCommand(32794, [] {});
  OnCommand(32792, [this] {
    showDeleted_ = !showDeleted_;
    CheckMenuItem(32792, showDeleted_);
    if (pushes_) pushes_->Invalidate(false);
  });
  // Windows of other folders, installed by them (operation_commands.h).
  const std::pair<int, const char*> others[] = {
      {kCmdDisplayPassport, "Паспорт тактильного дисплея"_cp},
      {kCmdDisplayConstantForce, "Постоянное усилие на дисплей"_cp},
      {kCmdSensitivity, "Чувствительность механорецептора"_cp},
      {kCmdSensitivity2, "Чувствительность механорецептора"_cp},
      {kCmdSensorCharacteristics, "Характеристики отдельного сенсора"_cp},
      {kCmdSensorCharacteristics2, "Характеристики отдельного сенсора"_cp},
      {kCmdDeviceSearch, "Поиск устройств"_cp},
      {kCmdTestInstrument, "Обслуживание тестирующего прибора"_cp},
      {kCmdDraftPassport, "Паспорта устройств"_cp},
      {kCmdDraftPassport2, "Паспорта устройств"_cp},
      {kCmdDraftPassport3, "Паспорта устройств"_cp},
  };
  for (const auto& [id, window] : others) {
    OnCommand(id, [this, id = id, window = window] {
      if (id == kCmdTestInstrument && (!record_ || !record_->Connected())) {
        ui::MessageBox(this, "Соединение с механорецептором не установлено"_cp);
        return;
      }
      if (const OperationCommand* command = FindOperationCommand(id))
        (*command)(*this);
      else
        NotThereYet(window);
    });
  }

  OnMessage(kLinkMsgNewImage, [this](uintptr_t, intptr_t) {
    if (record_) record_->FramesArrived();
    if (second_) second_->Invalidate(false);
    return 0;
  });
  OnMessage(kLinkMsgConnected, [this](uintptr_t, intptr_t) {
    if (record_) record_->ConnectionEstablished();
    return 0;
  });
  OnMessage(kMsgDiscardLivePush, [this](uintptr_t, intptr_t) {
    if (record_) record_->DiscardLivePush();
    if (second_) second_->Invalidate(false);
    return 0;
  });
}

void KCDOperationWindow::NotThereYet(const char* window) {
  AddLogMessageF("Окно \"%s\" пока не встроено в программу"_cp, window);
}

// ---- initialisation ----------------------------------------------------------------------------

void KCDOperationWindow::BuildPanes() {
  RecordViewHost h;
  h.link = [this] { return link_.get(); };
  h.settings = [this] { return hub_.WorkstationSettings(); };
  h.currentPassport = [this] {
    TimedLock l(hub_.PassportLock(), 1000);
    return l ? hub_.Passports().current : DevicePassport{};
  };
  h.zeroPointSet = [this](const DevicePassport& p) {
    if (TimedLock l(hub_.PassportLock(), 1000); l) hub_.Passports().current = p;
  };
  h.secondPassport = [this] {
    TimedLock l(hub_.PassportLock(), 1000);
    return l ? hub_.Passports().second : DevicePassport{};
  };
  h.secondZeroPointSet = [this](const DevicePassport& p) {
    if (TimedLock l(hub_.PassportLock(), 1000); l) hub_.Passports().second = p;
  };
  h.operationFolder = [this] { return folder_; };
  h.sensorType = [this] { return description_.sensorType; };
  h.pushStored = [this](const Text1251& file, int64_t start) {
    if (pushes_) pushes_->AddRecordedPush(file, start);
  };
  h.connectionReady = [this] { hub_.SendMessage(kHubMsgReceptorConnected); };
  // The hub's word clears as on a closed port (a push being recorded is already stored).
  h.connectedChanged = [this](bool on) {
    if (!on) hub_.SendMessage(kHubMsgReceptorPortClosed);
  };
  h.displayConnected = [this] { return hub_.DisplayConnected(); };
  record_ = std::make_unique<CtacmonDlgRecord>(std::move(h));
  record_->Create(this);
  // The panes paint all of their area: an update of one never repaints the window beneath,
  // whose paint would place (and update) the panes again.
  auto place = [](ui::Dialog& pane, kit::WidgetPane& slot) {
    QWidget* w = pane.Widget();
    if (!w) return;
    for (QWidget* x : {w, pane.ClientWidget()}) {
      if (!x) continue;
      x->setAttribute(Qt::WA_OpaquePaintEvent);
      x->setAutoFillBackground(true);
    }
    w->show();
    slot.Set(w);
  };
  if (QWidget* w = record_->Widget()) w->setParent(ClientWidget(), Qt::Widget);
  place(*record_, recordPane_);
  pushes_ = std::make_unique<CtacmonDlgPushesList>(*this);
  if (pushes_->CreatePane(*this)) place(*pushes_, pushesPane_);
  card_ = std::make_unique<CtacmonDlgInfo>(*this);
  if (card_->CreatePane(*this)) place(*card_, cardPane_);
  const HubSettings settings = hub_.WorkstationSettings();
  if (settings.set_use_second_receptor_window && settings.set_connect2) {
    second_ = std::make_unique<view::KCDSecondReceptorShow>([this] { return SecondValues(); });
    if (kit::CreateEmbeddedPane(*second_, *this)) place(*second_, secondPane_);
  }
  if (settings.set_use_recognition_library) {
    alerts_ = std::make_unique<recognition::KCDVigilShow>(static_cast<void*>(this), hub_.UiFont());
    if (alerts_->CreatePane(*this)) place(*alerts_, alertsPane_);
  }

  // The chain: each link takes its share of what the links before it left. The patient card
  // shares its column with the optional panes below it (second receptor, alerts).
  struct Link {
    kit::WidgetPane* pane;
    int kind;
    double fraction;
  };
  const int optional = (second_ ? 1 : 0) + (alerts_ ? 1 : 0);
  const double cardShare[] = {6.0 / 7.0, 3.0 / 7.0, 1.0 / 7.0};
  std::vector<Link> links = {
      {&recordPane_, 2, 0.6}, {&pushesPane_, 3, 0.25}, {&cardPane_, 3, cardShare[optional]}};
  if (second_) links.push_back({&secondPane_, 3, (alerts_ ? 3.0 : 5.0) / 7.0});
  if (alerts_) links.push_back({&alertsPane_, 3, 5.0 / 7.0});
  for (size_t i = 0; i < links.size(); ++i) {
    nodes_[i] = {};
    nodes_[i].kind = links[i].kind;
    nodes_[i].fraction = links[i].fraction;
    nodes_[i].window = links[i].pane;
    if (i > 0) nodes_[i - 1].next = &nodes_[i];
  }
  paneRoot = &nodes_[0];
}

bool KCDOperationWindow::OnInitDialog() {
  BuildPanes();
  for (int id : {1, 1000, 57670})
    if (HasItem(id)) arrange_.Register(id, kit::kAnchorRight | kit::kAnchorBottom);
  arrange_.Finish();
  ready_ = true;
  const ui::Rect c = ClientRect();
  OnSize(c.Width(), c.Height());

  LinkOwner owner;
  owner.window = Handle();
  owner.hasRecordingView = [] { return true; };
  owner.discardLivePush = [h = Handle()] { PostMessageTo(h, kMsgDiscardLivePush); };
  link_ = std::make_unique<CCOMReadThread>(hub_, owner);
  link_->Start();
  SetTimer(kLinkTimer, 10);

  CreateOperationFolder();
  ShowWindow(ui::SW_SHOWMAXIMIZED);
  // The tactile display connects (1043); the recognition library's instance opens; the
  // display's transfer law comes from "DVP\display.dsp".
  if (display::CCOMWriteThread* d = display::CurrentDisplayThread()) d->RequestOpen();
  recognition::OpenLibrary(static_cast<void*>(this));
  display::LoadDisplayPassport();
  return true;
}

void KCDOperationWindow::OnTimer(int id) {
  if (id == kLinkTimer && link_) link_->TickTimers();
  if (id == kLinkTimer && record_) record_->CheckDisplayIcon();
}

void KCDOperationWindow::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  if (!ready_) return;
  arrange_.Apply(cx, cy);
}

void KCDOperationWindow::OnPaint(ui::Canvas& canvas) {
  canvas.FillRect(ClientRect(), ui::Rgb(200, 200, 255));
  CDialogK::OnPaint(canvas);
}

// ---- the operation ---------------------------------------------------------------------------

Text1251 KCDOperationWindow::OrganName() const {
  const records::OrganEntry* organ = hub_.Organs().Organ(description_.organId);
  return organ ? organ->name : Text1251();
}

void KCDOperationWindow::SetTitle() {
  SetCaption(OperationTitle(name_, OrganName(), description_, pushName_));
  if (card_) card_->Repaint();
}

void KCDOperationWindow::SetCurrentPushName(const Text1251& name) {
  pushName_ = name;
  SetTitle();
}

void KCDOperationWindow::CreateOperationFolder() {
  if (!fromList_) {
    const int64_t now = NowSeconds();
    std::tm t{};
    LocalTime(static_cast<std::time_t>(now), t);
    const int32_t fields[6] = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                               t.tm_hour,        t.tm_min,     t.tm_sec};
    std::copy(fields, fields + 6, description_.times.begin());
    name_ = NewOperationName(description_.times);
    folder_ = OperationFolderOf(name_);
    fsw::MakeDirectories(folder_);
    if (WritePatientFile(description_, folder_ + "\\" + kPatientFileName) != 0)
      AddLogMessageF("Не удается записать файл %s\\%s"_cp, folder_.c_str(), kPatientFileName);
    if (pushes_) pushes_->Reload(folder_);
  }
  pushName_.clear();
  SetTitle();
  Invalidate();
}

void KCDOperationWindow::OpenLocalOperation(const Text1251& row) {
  OpenLocalFolder(OperationNameOfRow(row));
}

void KCDOperationWindow::OpenLocalFolder(const Text1251& name) {
  // A name that would leave "OPERATIONS\" (or name it) opens nothing.
  if (!records::IsSafeOperationName(name)) {
    AddLogMessageF("Недопустимое имя папки операции: %s"_cp, name.c_str());
    return;
  }
  name_ = name;
  folder_ = OperationFolderOf(name_);
  const Text1251 file = folder_ + "\\" + kPatientFileName;
  if (fsw::FileExists(file)) {
    const int rc = ReadPatientFile(description_, file);
    if (rc != 0) AddLogMessageF("Не удается прочитать файл %s (%d)"_cp, file.c_str(), rc);
  }
  pushName_.clear();
  SetTitle();
  if (pushes_) pushes_->Reload(folder_);
  Invalidate();
}

void KCDOperationWindow::OpenOperationChosen() {
  std::vector<Text1251> rows;
  for (const fsw::DirEntry& e : fsw::ListDirectory(kOperationsFolder + Text1251("*.*"))) {
    OperationDescription d;
    ReadPatientFile(d, OperationFolderOf(e.name) + "\\" + kPatientFileName);
    const records::OrganEntry* organ = hub_.Organs().Organ(d.organId);
    rows.push_back(OperationRow(e.name, d, organ ? organ->name : Text1251()));
  }
  if (rows.empty()) return;
  std::sort(rows.begin(), rows.end(), std::greater<>());
  std::vector<int> ids(rows.size());
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int>(i) + 1;
  KCD_ListWithNumber list("Открыть операцию"_cp, rows, ids);
  if (list.DoModal(this) != ui::IDOK || list.chosenRow < 0 ||
      list.chosenRow >= static_cast<int>(rows.size()))
    return;
  fromList_ = true;
  OpenLocalOperation(rows[static_cast<size_t>(list.chosenRow)]);
}

void KCDOperationWindow::NewOperation() {
  const Text1251 previous = name_;
  const bool previousFromList = fromList_;
  fromList_ = false;
  CreateOperationFolder();
  if (records::RunOperationDescription(this, hub_, description_) == ui::IDOK) {
    WritePatientFile(description_, folder_ + "\\" + kPatientFileName);
    SetTitle();
    return;
  }
  fromList_ = previousFromList;
  OpenLocalOperation(previous);
}

void KCDOperationWindow::EditDescription() {
  if (records::RunOperationDescription(this, hub_, description_, true) != ui::IDOK) return;
  if (WritePatientFile(description_, folder_ + "\\" + kPatientFileName) != 0)
    AddLogMessageF("Не удается записать файл %s\\%s"_cp, folder_.c_str(), kPatientFileName);
  SetTitle();
}

int KCDOperationWindow::OpenStationaryOperation(int operationId) {
  operation_item* op =
      hub_.Operations() ? GetOperationByID(operationId, hub_.Operations()) : nullptr;
  if (!op) {
    AddLogMessage("(125223211)Не удается найти операцию с данным ID"_cp);
    return -1;
  }
  OperationDescription d = description_;
  user_item* patient =
      hub_.Patients() ? GetPatientByID(op->idFIO_patient, hub_.Patients()) : nullptr;
  if (patient)
    CopyPatientInto(d, *patient);
  else
    AddLogMessage("(130021811)Не удается найти пациента с идентификатором из БД"_cp);
  d.patientId = op->idFIO_patient;
  d.surgeonId = op->idFIO_doctor;
  d.organId = op->idOrgan;
  d.organDescription = Text1251(op->Organ, strnlen(op->Organ, sizeof op->Organ));
  d.diagnosisIndex = op->idDiagnosis[0];
  d.diagnosisDescription = op->Diagnosis ? op->Diagnosis : "";
  for (int i = 0; i < 6; ++i) d.times[i] = op->Time[i];

  Text1251 name = StationaryOperationName(op->Time);
  if (fsw::FileExists(OperationFolderOf(name))) {
    KCD_Ask1 ask;
    const int answer = ask.DoModal(this);
    if (answer == 102) {
      fromList_ = true;
      OpenLocalOperation(name);
      return 0;
    }
    if (answer != 101) return -1;
    for (int v = 2; v <= 999; ++v) {
      name = StationaryOperationName(op->Time, v);
      if (!fsw::FileExists(OperationFolderOf(name))) break;
    }
  }
  fromList_ = true;
  description_ = d;
  name_ = name;
  folder_ = OperationFolderOf(name_);
  fsw::MakeDirectories(folder_);
  WritePatientFile(description_, folder_ + "\\" + kPatientFileName);
  pushName_.clear();
  SetTitle();
  if (pushes_) pushes_->ExportFromDatabase(operationId);
  Invalidate();
  return 0;
}

int KCDOperationWindow::SaveToDatabase() {
  operation_item item;
  const doctor_item* surgeon = nullptr;
  if (description_.surgeonId != 0) {
    surgeon = hub_.Surgeons() ? GetDoctorByID(description_.surgeonId, hub_.Surgeons()) : nullptr;
    if (!surgeon) AddLogMessage("Не удается найти хирурга в БД хирургов"_cp);
  }
  FillOperationItem(item, description_, surgeon);
  const int rc = hub_.Operations() ? AddOperation(&item, hub_.Operations()) : 1;
  std::free(item.Diagnosis);
  std::free(item.Notes);
  if (rc != 0) {
    AddLogMessage("Не удается добавить операцию в стационарную базу данных"_cp);
    return -1;
  }
  std::vector<FolderPush> all;
  if (pushes_) {
    for (const PushEntry* e : pushes_->Entries())
      all.push_back({e->fileName, e->comment, e->startTime});
  } else {
    all = ListFolderPushes(folder_);
  }
  int stored = 0;
  for (const FolderPush& p : all) stored += StorePushInDatabase(hub_.Pushes(), item.ID, p);
  AddLogMessageF("Операция %s занесена в стационарную базу данных (ID=%d), нажатий: %d из %d"_cp,
                 name_.c_str(), item.ID, stored, static_cast<int>(all.size()));
  return stored;
}

void KCDOperationWindow::AskAndSave() {
  if (ui::MessageBox(this, "Занести текущую операцию в базу данных?"_cp, "", ui::MB_OKCANCEL) !=
      ui::IDOK)
    return;
  SaveToDatabase();
}

// ---- control and debug pushes --------------------------------------------------------------

void KCDOperationWindow::ControlPushFromLast() {
  if (!record_) return;
  fsw::CopyFileTo(kStreamCopy, kControlWireless, false);
  fsw::CopyFileTo(kStreamCopy, kControlWire, false);
  fsw::MakeDirectories(kTestPushFolder);
  char target[300];
  std::snprintf(target, sizeof target, "%s\\%d.psh", kTestPushFolder,
                hub_.WorkstationSettings().NumCOMPort);
  fsw::CopyFileTo(kStreamCopy, target, false);
}

void KCDOperationWindow::ControlPushFromSelected() {
  const PushEntry* entry = pushes_ ? pushes_->SelectedEntry() : nullptr;
  const Text1251 selected = entry ? entry->fileName : Text1251();
  if (selected.empty()) {
    ui::MessageBox(this, "Запись нажатия не выбрана"_cp);
    return;
  }
  Push push;
  if (ReadPushFile(push, selected) != 0) return;
  fsw::MakeDirectories(kTestPushFolder);
  char target[300];
  std::snprintf(target, sizeof target, "%s\\%d.psh", kTestPushFolder,
                hub_.WorkstationSettings().NumCOMPort);
  if (WritePushFile(push, target) != 0) return;
  fsw::CopyFileTo(target, kControlWireless, false);
  fsw::CopyFileTo(target, kControlWire, false);
}

void KCDOperationWindow::DebugPushFromLast() {
  if (!record_) return;
  if (ui::MessageBox(
          this, "Сохранить введенное нажатие для ввода отладочного нажатия (вместо COM-порта)?"_cp,
          "", ui::MB_YESNO) != ui::IDYES)
    return;
  Text1251 target = hub_.WorkstationSettings().file_instead_COM_port;
  if (target.empty()) target = "c:\\Tacmon\\pars\\test.bin";
  fsw::CopyFileTo(kStreamCopy, target, false);
}

// ---- closing -----------------------------------------------------------------------------------

void KCDOperationWindow::DeleteFolderIfEmpty() {
  if (folder_.empty() || !fsw::IsDirectory(folder_)) return;
  // Two operations started in the same minute share a folder: one holding pushes stays, and
  // so does one holding anything else recorded (a push kept as damaged or recovered after a
  // crash, a text dump): only a folder with nothing but "patient.bin" goes.
  for (const fsw::DirEntry& e : fsw::ListDirectory(folder_ + "\\*"))
    if (e.isDirectory || !Cp1251EqualNoCase(e.name, "patient.bin")) return;
  fsw::RemoveTree(folder_);
}

void KCDOperationWindow::Exit() {
  if (record_ && record_->Connected()) {
    ui::MessageBox(this,
                   "Перед выходом из окна следует разорвать соединение с механорецептором\n(с "
                   "помощью кнокпи Disconnect)"_cp);
    return;
  }
  if (!fromList_) {
    const bool ctrl = QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
    const bool hasPushes = PushCount() > 0;
    if (hasPushes || ctrl) {
      if (ui::MessageBox(this, "Закончить запись текущей операции?"_cp, "", ui::MB_OKCANCEL) !=
          ui::IDOK)
        return;
    } else {
      if (record_) record_->Disconnect();
      DeleteFolderIfEmpty();
    }
  }
  closing_ = true;
  DestroyWindow();
}

void KCDOperationWindow::OnOK() { Exit(); }

void KCDOperationWindow::OnCancel() {
  if (record_ && record_->Connected()) {
    ui::MessageBox(this,
                   "Перед выходом из окна следует разорвать соединение с механорецептором\n(с "
                   "помощью кнокпи Disconnect)"_cp);
    return;
  }
  if (PushCount() == 0) {
    if (record_) record_->Disconnect();
    DeleteFolderIfEmpty();
  }
  closing_ = true;
  DestroyWindow();
}

void KCDOperationWindow::CloseQuietly() {
  if (record_ && record_->State() != RecordState::kStopped) record_->Stop();
  closing_ = true;
  DestroyWindow();
}

void KCDOperationWindow::OnDestroy() {
  // The library goes first: nothing reaches it, and it calls nothing back, from now on.
  recognition::FinishLibrary(static_cast<void*>(this));
  KillTimer(kLinkTimer);
  // The test-instrument window and thread go before the recording view they read.
  NotifyTesterLink(TesterLinkEvent::kWindowGone);
  // The reading thread ends before anything it could reach goes.
  if (link_) {
    link_->RequestStop();
    link_->Quit();
  }
  if (record_) {
    if (record_->State() != RecordState::kStopped) record_->Stop();
    record_->DestroyWindow();
  }
  if (alerts_) alerts_->DestroyWindow();
  paneRoot = nullptr;
  if (onGone) onGone();
}

void KCDOperationWindow::PostNcDestroy() { delete this; }

std::optional<view::SecondReceptorValues> KCDOperationWindow::SecondValues() const {
  if (!record_ || !record_->HasLivePush()) return std::nullopt;
  view::SecondReceptorValues v;
  v.raw = record_->LivePush().secondValues;
  TimedLock l(hub_.PassportLock(), 1000);
  if (l)
    v.passport = hub_.Passports().second;
  else
    ReportCantLock("16903739");
  return v;
}

// ---- OperationPanesHost ------------------------------------------------------------------------

const view::MapDisplayState& KCDOperationWindow::RecordingMapState() const {
  static const view::MapDisplayState none;
  return record_ ? record_->Map() : none;
}
RecordsHost& KCDOperationWindow::Records() { return hub_; }
push_list* KCDOperationWindow::PushesDatabase() const { return hub_.Pushes(); }
PassportRegistry& KCDOperationWindow::Passports() { return hub_.Passports(); }

}  // namespace recording
