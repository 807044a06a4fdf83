#include "view/ctacmon_dlg.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>

#include "acquisition/push_file.h"
#include "app/kit/file_dialog.h"
#include "app/log/message_log.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "platform/ui/resources.h"
#include "view/ui_map_canvas.h"

namespace view {
namespace {

// The viewer's own template, menu and accelerators; used when the program's resources do not
// define dialog 102.
const char kViewerResources[] = R"rc(
DIALOG 102 "Просмотр данных, снятых с механорецептора" 0 0 620 400 STYLE resizable minimizebox maximizebox MENU 129
  EDIT          1001    3   3 552  12 "" STYLE readonly
  FRAME         1002    3  20  40  40 "Tmp1" STYLE hidden
  FRAME         1003   50  20  64  40 "Tmp2" STYLE hidden
  BUTTON        1000  562   3   4  12 "tmp" STYLE hidden
  BUTTON        1008  570   3  44  14 "+"
  BUTTON        1012  570  20  44  14 "-"
  BUTTON        1013  570  37  44  14 "*"
  BUTTON        1014  570  60  44  14 "19"
  BUTTON        1015  570  77  44  14 "7"
  BUTTON        1016  570  94  44  14 "1"
  BUTTON        1017  570 117  44  14 "^" STYLE hidden
  BITMAPBUTTON  1010    3 350  20  14 "140"
  BITMAPBUTTON  1011   26 350  20  14 "142" STYLE hidden
  TRACKBAR      1009   70 350 490  16 ""
  EDIT          1007    3 370 557  26 "" STYLE multiline readonly vscroll
  DEFBUTTON        1  570 382  44  14 "Выйти"
  BUTTON           2  570 364  44  14 "Отмена" STYLE hidden
END
MENU 129
  POPUP "Файл"
    ITEM 32771 "Загрузить"
    ITEM 32781 "Загрузить данные беспроводного датчика"
    ITEM 32782 "Загрузить данные проводного (мобильного) датчика"
    ITEM 32791 "Загрузить данные из внутреннего бинарного формата"
    SEPARATOR
    ITEM 32857 "Сохранить нажатие"
    ITEM 32789 "Сохранить введенное нажатие как контрольное"
    ITEM 32790 "Сохранить введенное нажатие для ввода отладочного нажатия (вместо COM-порта)"
    SEPARATOR
    ITEM 32773 "Выйти"
  END
  POPUP "Просмотр"
    ITEM 32772 "Запустить/Приостановить"
    ITEM 32774 "Остановить"
    SEPARATOR
    ITEM 32777 "Флаги видимости отдельных сенсоров"
    ITEM 32778 "Значения отдельных сенсоров на них"
    ITEM 32783 "Мин/Макс значения для каждого сенсора"
    ITEM 32780 "Графики значений сенсора на сенсорах"
    SEPARATOR
    ITEM 32840 "19"
    ITEM 32841 "7"
    ITEM 32842 "1"
  END
  POPUP "Метки"
    ITEM 32843 "Вставить метку"
    ITEM 32844 "Уничтожить метку"
    ITEM 32845 "Переместить метку"
    ITEM 32856 "Стереть все метки"
  END
  POPUP "Настройки"
    ITEM 32779 "Параметры"
  END
  POPUP "Чувствительность"
    ITEM 32858 "Чувствительность механорецептора"
    ITEM 32861 "Чувствительность второго механорецептора"
    ITEM 32860 "Характеристики отдельного сенсора механорецептора"
    ITEM 32862 "Характеристики отдельного сенсора второго механорецептора"
    SEPARATOR
    ITEM 32864 "Тактильный дисплей"
  END
  POPUP "?"
    ITEM 32775 "Справка"
  END
END
ACCELERATORS 165
  Down 32846
  Up 32847
  Multiply 32849
  Subtract 32850
  Add 32851
  1 32852
  2 32853
  3 32854
END
)rc";

// Play, pause and stop pictures (140, 141, 142) and the label cursors (164, 165, 166).
QImage ButtonPicture(int id) {
  QImage img(16, 16, QImage::Format_RGB32);
  img.fill(QColor(212, 208, 200));
  QPainter p(&img);
  p.setPen(Qt::NoPen);
  p.setBrush(id == 142 ? QColor(160, 0, 0) : QColor(0, 110, 0));
  if (id == 140)
    p.drawPolygon(QPolygon({QPoint(4, 2), QPoint(13, 8), QPoint(4, 14)}));
  else if (id == 141) {
    p.drawRect(3, 2, 3, 12);
    p.drawRect(10, 2, 3, 12);
  } else {
    p.drawRect(3, 3, 10, 10);
  }
  return img;
}

void EnsureResources() {
  if (ui::FindDialogTemplate(kViewerDialogId)) return;
  std::string error;
  if (!ui::RegisterResources(kViewerResources, &error))
    AddLogMessageF("(30201)Viewer resources: %s", error.c_str());
  for (int id : {140, 141, 142})
    if (ui::LoadBitmap(id).isNull()) ui::RegisterBitmap(id, ButtonPicture(id));
  ui::RegisterCursor(164, QCursor(Qt::CrossCursor));
  ui::RegisterCursor(165, QCursor(Qt::ForbiddenCursor));
  ui::RegisterCursor(166, QCursor(Qt::SizeVerCursor));
}

struct DecorationKey {
  int command;
  int MapDecorations::*field;
  const char* key;
};
const DecorationKey kDecorations[] = {
    {32777, &MapDecorations::visibilityBoxes, "SetShowVisibilityFlagsOnSensors"},
    {32778, &MapDecorations::values, "SetShowVisibilityValuesOnSensors"},
    {32780, &MapDecorations::curves, "SetShowVisibilityGraphicsOnSensors"},
    {32783, &MapDecorations::minMax, "SetShowVisibilityMinMaxOnSensors"},
};

const int kAnchorCodes[][2] = {{1001, 11}, {1002, 13}, {1003, 13}, {1010, 12}, {1011, 12},
                               {1000, 3},  {57670, 3}, {1008, 3},  {1012, 3},  {1013, 3},
                               {1014, 3},  {1015, 3},  {1016, 3},  {1017, 3},  {1009, 14},
                               {1007, 14}, {1, 4},     {2, 6}};

bool HasExtensionNoCase(const Text1251& name, const char* ext) {
  size_t n = std::strlen(ext);
  return name.size() >= n && Cp1251EqualNoCase(std::string_view(name).substr(name.size() - n), ext);
}

Text1251 DebugInputFile() {
  if (CurrentViewerHooks().debugInputFile) return CurrentViewerHooks().debugInputFile();
  ParameterSet hub;
  LoadPars("KCDMain", &hub);
  Text1251 file;
  GetPar("file_instead_COM_port", file, hub);
  hub.modified = false;  // only read here: never rewrite the main dialog's file
  FreePars(&hub);
  return file;
}

}  // namespace

ViewerHooks& CurrentViewerHooks() {
  static ViewerHooks hooks;
  return hooks;
}

// Filled at start and in tests, read on the UI thread only.
static std::map<int, ViewerCommand>& ViewerCommands() {
  static std::map<int, ViewerCommand> commands;
  return commands;
}

void SetViewerCommand(int id, ViewerCommand command) {
  if (command)
    ViewerCommands()[id] = std::move(command);
  else
    ViewerCommands().erase(id);
}

CtacmonDlg::CtacmonDlg(const ViewerSource* source) : CDialogK(kViewerDialogId) {
  EnsureResources();
  if (source) pendingSource_ = std::make_unique<ViewerSource>(*source);
  RegisterHandlers();
}

CtacmonDlg::~CtacmonDlg() { FreePars(&mainSet_); }

CtacmonDlg* CtacmonDlg::Open(const ViewerSource* source, ui::Dialog* parent) {
  auto* dlg = new CtacmonDlg(source);
  if (!dlg->Create(parent)) {
    delete dlg;
    return nullptr;
  }
  dlg->selfDelete_ = true;
  dlg->ShowWindow(ui::SW_SHOW);
  return dlg;
}

void CtacmonDlg::RegisterHandlers() {
  auto repaint = [this](const ViewerEffects& e) { Apply(e); };
  OnCommand(32772, [this] { StartPause(); });
  OnCommand(1010, [this] { StartPause(); });
  OnCommand(32774, [this] { StopPlayback(); });
  OnCommand(1011, [this] { StopPlayback(); });
  for (int id : {32851, 1008}) OnCommand(id, [this, repaint] { repaint(model_.ZoomIn()); });
  for (int id : {32850, 1012}) OnCommand(id, [this, repaint] { repaint(model_.ZoomOut()); });
  for (int id : {32849, 1013}) OnCommand(id, [this, repaint] { repaint(model_.StandardScale()); });
  OnCommand(32846, [this, repaint] { repaint(model_.ScrollCurves(+1)); });
  OnCommand(32847, [this, repaint] { repaint(model_.ScrollCurves(-1)); });
  for (int id : {1014, 32840, 32854}) OnCommand(id, [this] { SetMode(kMode19); });
  for (int id : {1015, 32841, 32853}) OnCommand(id, [this] { SetMode(kMode7); });
  for (int id : {1016, 32842, 32852}) OnCommand(id, [this] { SetMode(kMode1); });
  for (const DecorationKey& d : kDecorations)
    OnCommand(d.command, [this, d] { ToggleDecoration(d.command, d.field); });
  OnCommand(32843, [this] { EnterLabelMode(1, 164); });
  OnCommand(32844, [this] { EnterLabelMode(2, 165); });
  OnCommand(32845, [this] { EnterLabelMode(3, 166); });
  OnCommand(1017, [this] {
    model_.SetLabelMode(5);
    SetCapture();
    SetCursorShape(166);
  });
  OnCommand(32856, [this] {
    if (ui::MessageBox(this, "Уничтожить все метки?"_cp, "", ui::MB_OKCANCEL) != ui::IDOK) return;
    model_.EraseAllLabels();
    Invalidate(false);
  });
  OnCommand(32857, [this] { SaveLabelsAsked(true); });
  OnCommand(32771, [this] { ChooseAndLoad(LoadKind::kLog); });
  OnCommand(32781, [this] { ChooseAndLoad(LoadKind::kWirelessLog); });
  OnCommand(32782, [this] { ChooseAndLoad(LoadKind::kMobileLog); });
  OnCommand(32791, [this] { ChooseAndLoad(LoadKind::kPushFile); });
  OnCommand(32789, [this] { KeepShownPush(true); });
  OnCommand(32790, [this] { KeepShownPush(false); });
  OnCommand(32773, [this] { CloseWithSaving(); });
  for (int id : {32779, 32858, 32860, 32861, 32862, 32864, 32775})
    OnCommand(id, [this, id] {
      if (const auto it = ViewerCommands().find(id); it != ViewerCommands().end())
        it->second(*this);
      else if (CurrentViewerHooks().externalCommand)
        CurrentViewerHooks().externalCommand(id, *this);
      Invalidate(false);
    });
  OnCommand(kAboutCommand, [this] {
    if (ui::FindDialogTemplate(100)) {
      ui::Dialog about(100);
      about.DoModal(this);
    }
  });
  OnScroll(1009, [this](int code, int pos) { Apply(model_.Timeline(code, pos)); });
}

bool CtacmonDlg::OnInitDialog() {
  LoadAccelerators(kViewerAcceleratorsId);
  AppendSystemMenuItem(kAboutCommand, "О проекте tacmon..."_cp);

  for (auto [id, bitmap] : {std::pair{1010, 140}, std::pair{1011, 142}}) {
    QImage img = ui::LoadBitmap(bitmap);
    SetItemBitmap(id, bitmap);
    ui::Rect r = ItemRect(id);
    if (!img.isNull())
      MoveItem(id, {r.left, r.top, r.left + img.width() + 22, r.top + img.height() + 32});
  }
  ShowItem(1011, false);

  for (const auto& a : kAnchorCodes)
    if (HasItem(a[0])) arrange_.Register(a[0], a[1]);
  arrange_.Finish();

  model_.Map().selected = kCentreSensor;
  MarkMessageLogStart();
  LoadPars("Main", &mainSet_);
  MapDecorations& deco = model_.Map().decorations;
  deco = MapDecorations{};
  for (const DecorationKey& d : kDecorations) {
    int32_t v = deco.*d.field;
    GetPar(d.key, v, mainSet_);
    deco.*d.field = v ? 1 : 0;
    CheckMenuItem(d.command, deco.*d.field == 1);
  }

  if (CurrentViewerHooks().currentPassport)
    model_.SetFallbackPassport(CurrentViewerHooks().currentPassport());
  model_.Open(pendingSource_.get());
  pendingSource_.reset();  // our copy now lives in the model
  if (model_.HasSource()) SetItemText(1007, model_.CommentText());
  ShowItem(1007, model_.HasSource());
  RefreshTimeline();
  RefreshStatus();

  ready_ = true;
  Relayout();
  model_.Map().brushes.MakeBrushes(kDefaultContrast);
  SetMode(model_.Map().mode);

  const std::pair<int, const char*> tips[] = {
      {1010, "Начать проигрывание"_cp},
      {1011, "Остановить проигрывание"_cp},
      {1008, "(Gray+) Увеличить масштаб по времени отображения кривых давления"_cp},
      {1012, "(Gray-) Уменьшить масштаб по времени отображения кривых давления"_cp},
      {1013, "(Gray*) Установить стандартный масштаб по времени отображения кривых давления"_cp},
      {1017, "(Up/Down)Переместить мышью кривую давления по времени"_cp},
      {1014, "(3)Сделать видимыми все сенсоры"_cp},
      {1015,
       "(2)Сделать видимыми семь сенсоров вокруг выделенного сенсора (красная треугольная "
       "кнопка в нижней части сенсора)"_cp},
      {1016,
       "(1)Сделать видимым только один выделенный сенсор (красная треугольная кнопка в "
       "нижней части сенсора)"_cp},
  };
  for (const auto& [id, text] : tips) SetToolTip(id, text);
  SetCaption(model_.Title());
  return true;
}

// ---- layout and painting -------------------------------------------------------------------

void CtacmonDlg::OnSize(int cx, int cy) {
  CDialogK::OnSize(cx, cy);
  if (!ready_) return;
  arrange_.Apply(cx, cy);
  Relayout();
}

void CtacmonDlg::Relayout() {
  const ui::Rect status = ItemRect(1001), tmp = ItemRect(1000), track = ItemRect(1009);
  picture_ = {3, status.bottom + 3, tmp.left - 3, track.top - 3};
  const int w = std::max(1, picture_.Width()), h = std::max(1, picture_.Height());
  if (!buffer_.Create(w, h)) {
    buffer_.Release();
    if (!bufferFailed_) kit::ShowInternalError("tacmonDlg", 683);
    bufferFailed_ = true;
  } else {
    bufferFailed_ = false;
  }
  model_.ComputeLayout(w, h, std::max(1, ItemRect(1003).Width()), 1);
  Invalidate(true);
}

void CtacmonDlg::OnPaint(ui::Canvas& canvas) {
  CDialogK::OnPaint(canvas);  // the background; the picture goes on top
  try {
    if (!buffer_.Valid()) return;
    {
      std::unique_ptr<ui::Canvas> back = buffer_.Begin();
      UiMapCanvas mapCanvas(*back);
      model_.Paint(mapCanvas, {picture_.left, picture_.top});
    }
    buffer_.BlitTo(canvas, picture_.left, picture_.top);
    const ViewerHooks& hooks = CurrentViewerHooks();
    if (hooks.framePainted && model_.HasPush()) {
      // The label count as of now (labels may have been set or moved since playback began),
      // counted as ComputeLabelCounts does: the first frame's flag does not count.
      const std::vector<SensorFrame>& frames = model_.Shown().frames;
      const int current = model_.CurrentFrame();
      SensorFrame frame = frames[current];
      frame.labelCount = static_cast<int32_t>(
          std::count_if(frames.begin() + 1, frames.begin() + std::max(current, 0) + 1,
                        [](const SensorFrame& f) { return f.HasLabel(); }));
      hooks.framePainted(model_.CurrentFrameIndices(), frame, model_.MsFromFirstFrame());
    }
  } catch (const std::exception& e) {
    AddLogMessageF("FATAL EXCEPTION (%d) %s", 683001, e.what());
  }
}

// ---- state refresh -------------------------------------------------------------------------

void CtacmonDlg::Apply(const ViewerEffects& e) {
  if (e.releaseMouse) {
    ReleaseCapture();
    SetCursorShape(0);
  }
  if (e.stopTimer) {
    KillTimer(kViewerPlaybackTimer);
    SetItemBitmap(1010, 140);
    ShowItem(1011, model_.Playback() != PlaybackState::kStopped);
  }
  if (e.timelineMoved) SliderItem(1009).SetPos(model_.CurrentFrame());
  if (e.statusChanged) RefreshStatus();
  if (e.repaint) Invalidate(false);
}

void CtacmonDlg::RefreshStatus() { SetItemText(1001, model_.StatusText()); }

void CtacmonDlg::RefreshTimeline() {
  ui::Slider s = SliderItem(1009);
  s.SetRange(0, std::max(0, model_.FrameCount() - 1));
  s.SetPos(model_.CurrentFrame());
}

void CtacmonDlg::RefreshModeChecks() {
  const MapMode m = model_.Map().mode;
  CheckMenuItem(32840, m == kMode19);
  CheckMenuItem(32841, m == kMode7);
  CheckMenuItem(32842, m == kMode1);
}

void CtacmonDlg::SetMode(MapMode mode) {
  model_.SetMapMode(mode);
  RefreshModeChecks();
  Invalidate(true);
}

void CtacmonDlg::ToggleDecoration(int command, int MapDecorations::*field) {
  const bool on = !IsMenuItemChecked(command);
  CheckMenuItem(command, on);
  model_.Map().decorations.*field = on ? 1 : 0;
  Invalidate(false);
}

void CtacmonDlg::EnterLabelMode(int mode, int cursor) {
  model_.SetLabelMode(mode);
  SetCapture();
  SetCursorShape(cursor);
  Invalidate(true);
}

// ---- playback ------------------------------------------------------------------------------

void CtacmonDlg::StartPause() {
  if (!model_.HasPush()) return;
  const ViewerHooks& hooks = CurrentViewerHooks();
  if (model_.StartPause(MonotonicSeconds() * 1000)) {
    if (hooks.pushStarted) hooks.pushStarted();
    SetTimer(kViewerPlaybackTimer, model_.TimerPeriodMs());
    SetItemBitmap(1010, 141);
  } else {
    if (hooks.pushStopped) hooks.pushStopped();
    KillTimer(kViewerPlaybackTimer);
    SetItemBitmap(1010, 140);
  }
  ShowItem(1011, true);
  SliderItem(1009).SetPos(model_.CurrentFrame());
  RefreshStatus();
  Invalidate(false);
}

void CtacmonDlg::StopPlayback() {
  if (CurrentViewerHooks().pushStopped) CurrentViewerHooks().pushStopped();
  Apply(model_.Stop());
  ShowItem(1011, false);
}

void CtacmonDlg::OnTimer(int id) {
  if (id != kViewerPlaybackTimer) return;
  try {
    const ViewerEffects e = model_.Tick(MonotonicSeconds() * 1000);
    if (e.stopTimer && CurrentViewerHooks().pushStopped) CurrentViewerHooks().pushStopped();
    Apply(e);
  } catch (const std::exception& e) {
    AddLogMessageF("FATAL EXCEPTION (%d) %s", 683002, e.what());
  }
}

// ---- mouse ---------------------------------------------------------------------------------

void CtacmonDlg::OnLButtonDown(unsigned flags, ui::Point p) {
  CDialogK::OnLButtonDown(flags, p);
  Apply(model_.LButtonDown(p));
  if (model_.LabelMode() == kLabelModeDragging || model_.LabelMode() == 6) SetCapture();
}

void CtacmonDlg::OnMouseMove(unsigned flags, ui::Point p) {
  CDialogK::OnMouseMove(flags, p);
  Apply(model_.MouseMove(p));
}

void CtacmonDlg::OnLButtonUp(unsigned flags, ui::Point p) {
  CDialogK::OnLButtonUp(flags, p);
  Apply(model_.LButtonUp(p));
}

void CtacmonDlg::OnRButtonDown(unsigned, ui::Point) {
  ViewerEffects e = model_.RButtonDown();
  Apply(e);
  if (e.repaint) Invalidate(true);
}

// ---- files ---------------------------------------------------------------------------------

int CtacmonDlg::LoadFile(LoadKind kind, const Text1251& fileName) {
  if (model_.Playback() != PlaybackState::kStopped) StopPlayback();
  if (CurrentViewerHooks().currentPassport)
    model_.SetFallbackPassport(CurrentViewerHooks().currentPassport());
  int rc = model_.Load(kind, fileName);
  ShowItem(1007, false);
  RefreshTimeline();
  RefreshStatus();
  SetCaption(model_.Title());
  Invalidate(true);
  return rc;
}

void CtacmonDlg::ChooseAndLoad(LoadKind kind) {
  const char* title = "Ввести имя TXT- или TRF-файла"_cp;
  const char* filter = "TXT-файлы (*.txt)|*.txt|TRF-файлы (*.trf)|*.trf|Все файлы (*.*)|*.*||"_cp;
  if (kind == LoadKind::kWirelessLog)
    title = "Ввести имя TXT- или TRF-файла для беспроводного сенсора"_cp;
  if (kind == LoadKind::kMobileLog)
    title = "Ввести имя TXT- или TRF-файла для мобильного сенсора)"_cp;
  if (kind == LoadKind::kPushFile) {
    title = "Ввести имя BIN-файла с данными во внутреннем формате"_cp;
    filter = "BIN-файлы (*.bin)|*.bin|Все файлы (*.*)|*.*||"_cp;
  }
  ParameterSet dirs;
  LoadPars("CtacmonDlg_OnLoadFile", &dirs);
  Text1251 initDir = winpath::kDataRoot;
  GetPar("sinitDir", initDir, dirs);
  CKFileDialog dialog(true, kind == LoadKind::kPushFile ? "bin" : "txt", filter, this, title);
  // The file dialog starts in the current folder: show the remembered one, then go back.
  std::error_code ec;
  const std::filesystem::path previous = std::filesystem::current_path(ec);
  std::filesystem::current_path(winpath::Resolve(initDir), ec);
  const int answer = dialog.DoModal();
  if (!previous.empty()) std::filesystem::current_path(previous, ec);
  if (answer != ui::IDOK) {
    FreePars(&dirs);
    return;
  }
  const Text1251 chosen = dialog.GetPath();
  SetPar("sinitDir", dirs, winpath::FolderPart(chosen));
  SavePars(&dirs);
  FreePars(&dirs);
  LoadFile(kind, chosen);
}

void CtacmonDlg::SaveLabelsAsked(bool fromMenu) {
  if (model_.LabelsChanged()) {
    int answer =
        ui::MessageBox(this, "Метки изменены.\n Сохранить данное нажатие с измененными метками?"_cp,
                       "", ui::MB_YESNO);
    if (answer == ui::IDYES)
      model_.SaveLabels();
    else
      model_.ClearLabelsChanged();
  } else if (fromMenu) {
    ui::MessageBox(this, "В нажатии ничего не изменено. Сохранение не требуется."_cp);
  }
}

void CtacmonDlg::KeepShownPush(bool control) {
  if (!model_.HasPush()) {
    ui::MessageBox(this, "Файл с данными не загружен"_cp);
    return;
  }
  Text1251 target;
  if (control) {
    const int type = model_.Shown().sensorType;
    if (type != kSensorWireless && type != kSensorMobile) {
      ui::MessageBox(this, "Не установлен тип датчика, с которого введены данные"_cp);
      return;
    }
    const char* question =
        type == kSensorWireless
            ? "Сохранить текущее нажатие как контрольное нажатие беспроводного датчика?"_cp
            : "Сохранить текущее нажатие как контрольное нажатие мобильного датчика?"_cp;
    if (ui::MessageBox(this, question, "", ui::MB_YESNO) != ui::IDYES) return;
    target = std::string(winpath::kDataRoot) +
             (type == kSensorWireless ? "pars\\TestWireless.bin" : "pars\\TestWire.bin");
  } else {
    if (ui::MessageBox(
            this,
            "Сохранить введенное нажатие для ввода отладочного нажатия (вместо COM-порта)?"_cp, "",
            ui::MB_YESNO) != ui::IDYES)
      return;
    target = DebugInputFile();
    if (target.empty()) target = std::string(winpath::kDataRoot) + "pars\\test.bin";
  }
  fsw::MakeDirectories(winpath::FolderPart(target));
  model_.WriteShownPush(target);  // a failed write is reported in the message log
}

// ---- closing -------------------------------------------------------------------------------

void CtacmonDlg::CloseWithSaving() {
  SaveLabelsAsked(false);
  for (const DecorationKey& d : kDecorations)
    SetPar(d.key, mainSet_, static_cast<int32_t>(model_.Map().decorations.*d.field));
  SavePars(&mainSet_);
  KillTimer(kViewerPlaybackTimer);
  if (IsModal())
    EndDialog(ui::IDOK);
  else
    DestroyWindow();
}

void CtacmonDlg::OnOK() { CloseWithSaving(); }

void CtacmonDlg::OnCancel() {
  KillTimer(kViewerPlaybackTimer);
  mainSet_.modified = false;  // closing without saving the options: "Main" stays as it is
  if (IsModal())
    EndDialog(ui::IDCANCEL);
  else
    DestroyWindow();
}

void CtacmonDlg::PostNcDestroy() {
  if (selfDelete_) delete this;
}

// ---- automation ----------------------------------------------------------------------------

namespace {

int ReadSource(const Text1251& file, Push& push) {
  if (HasExtensionNoCase(file, ".txt") || HasExtensionNoCase(file, ".trf"))
    return ImportLog(push, file, kSensorUnknown);
  if (HasExtensionNoCase(file, ".bin")) return ReadViewerPushFile(push, file);
  return ReadPushFile(push, file);
}

}  // namespace

void RegisterViewerAutomation() {
  static bool done = false;
  if (done) return;
  done = true;
  namespace au = ui::automation;
  au::RegisterCommand("viewer", [](au::Context& ctx) {
    if (ctx.rest.empty()) {
      ctx.error = "viewer FILE expected";
      return au::Result::Failed;
    }
    ViewerSource source;
    const Text1251 file = Utf8ToCp1251(ctx.rest);
    if (int rc = ReadSource(file, source.push)) {
      ctx.error = "cannot read " + ctx.rest + " (code " + std::to_string(rc) + ")";
      return au::Result::Failed;
    }
    source.push.fileName = file;
    if (!CtacmonDlg::Open(&source, ctx.active)) {
      ctx.error = "the viewer did not open";
      return au::Result::Failed;
    }
    return au::Result::Done;
  });
  au::RegisterCommand("viewer-load", [](au::Context& ctx) {
    auto* viewer = dynamic_cast<CtacmonDlg*>(ctx.active);
    if (!viewer) {
      ctx.error = "the active window is not a push viewer";
      return au::Result::Failed;
    }
    const Text1251 file = Utf8ToCp1251(ctx.rest);
    LoadKind kind = HasExtensionNoCase(file, ".bin") ? LoadKind::kPushFile : LoadKind::kLog;
    if (int rc = viewer->LoadFile(kind, file)) {
      ctx.error = "cannot load " + ctx.rest + " (code " + std::to_string(rc) + ")";
      return au::Result::Failed;
    }
    return au::Result::Done;
  });
}

namespace {
// Registered with the program as soon as the viewer is linked in.
const bool kAutomationRegistered = (RegisterViewerAutomation(), true);
}  // namespace

}  // namespace view
