#include "tester/kcd_knee.h"

#include <QFontInfo>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/kit/file_dialog.h"
#include "app/kit/fonts.h"
#include "app/main/app_start.h"
#include "app/main/kcd_main.h"
#include "params/parameter_store.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/report.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "platform/ui/resources.h"
#include "recording/ctacmon_dlg_record.h"
#include "tester/cdavav_boiler_thread.h"
#include "tester/passport_fit.h"
#include "tester/protocol_print.h"
#include "tester/report_writer.h"
#include "tester/tdodezori_tester.h"

namespace tester {

namespace {

constexpr int kTickTimer = 1, kStepTimer = 2, kRetractTimer = 3, kCloseTimer = 4;
constexpr int kCountdownTimer = 1;
constexpr const char* kAutoPassportFolder = "c:\\Tacmon\\DVP\\tmp";
constexpr const char* kAutoPassport = kAutoPassportFile;
constexpr int kManometerFirst = 1030, kManometerLast = 1044;
// Motion and mode buttons, enabled once samples arrive.
constexpr int kMotionButtons[] = {1002, 1003, 1010, 1015, 1016, 1014, 1029, 1045, 1046, 1047};

const char kTemplates[] = R"rc(
DIALOG 163 "Обслуживающий прибор механорецептора" 0 0 486 330
  BUTTON    1011    7   7 300 196 "" STYLE hidden
  BUTTON    1000  314   7  80 14 "Начать запись"
  BUTTON    1004  398   7  80 14 "Остановить запись"
  BUTTON    1002  314  25  24 14 "^"
  BUTTON    1003  341  25  24 14 "V"
  BUTTON    1010  368  25  40 14 "STOP"
  BUTTON    1015  411  25  32 14 "v."
  BUTTON    1016  446  25  32 14 "W"
  LTEXT       -1  314  45  14  9 "v="
  EDIT      1007  330  43  30 12 "0" STYLE readonly
  BUTTON    1014  368  43 110 14 "Авто-нажатие"
  BUTTON    1029  314  61  38 14 "pp"
  BUTTON    1045  355  61  38 14 "G"
  BUTTON    1046  396  61  40 14 "Гиря"
  BUTTON    1047  439  61  39 14 "Stop"
  BUTTON    1030  314  78  30 13 "20"
  BUTTON    1031  347  78  30 13 "40"
  BUTTON    1032  380  78  30 13 "60"
  BUTTON    1033  413  78  30 13 "80"
  BUTTON    1034  446  78  30 13 "100"
  BUTTON    1035  314  93  30 13 "120"
  BUTTON    1036  347  93  30 13 "140"
  BUTTON    1037  380  93  30 13 "160"
  BUTTON    1038  413  93  30 13 "180"
  BUTTON    1039  446  93  30 13 "200"
  BUTTON    1040  314 108  30 13 "220"
  BUTTON    1041  347 108  30 13 "240"
  BUTTON    1042  380 108  30 13 "260"
  BUTTON    1043  413 108  30 13 "280"
  BUTTON    1044  446 108  30 13 "300"
  BUTTON    1048  314 126  40 14 "Log"
  BUTTON    1006  357 126 121 14 "Обнулить статистику"
  BUTTON    1050  314 143  80 14 "Установить ноль"
  BUTTON    1021  398 143  80 14 "Создать паспорт"
  LTEXT       -1  314 163  60  9 "NAv="
  EDIT      1017  376 161  34 12 "50"
  LTEXT       -1  314 177  60  9 "VMinReceptor="
  EDIT      1008  376 175  34 12 "20"
  LTEXT       -1  314 191  60  9 "VMinTester="
  EDIT      1013  376 189  34 12 "20"
  LTEXT       -1  314 205  60  9 "iSensor="
  EDIT      1009  376 203  34 12 ""
  BUTTON    1022  413 203  14 12 "+"
  BUTTON    1023  429 203  14 12 "-"
  BUTTON    1024  445 203  14 12 "x"
  LTEXT       -1  314 219  60  9 "VMax="
  EDIT      1012  376 217  34 12 ""
  LTEXT       -1  314 233  60  9 "DT shift="
  EDIT      1028  376 231  34 12 ""
  EDIT      1001    7 207 300  12 "" STYLE readonly
  EDIT      1005    7 222 300  26 "" STYLE multiline readonly
  CHECKBOX  1130    7 252 100 10 "вывод преобр.данных"
  CHECKBOX  1019    7 264 100 10 "прямая по диагонали"
  CHECKBOX  1020    7 276 100 10 "авт.паспорт"
  CHECKBOX  1025  110 252  90 10 "сохранять 0"
  CHECKBOX  1026  110 264  90 10 "рисовать линии"
  CHECKBOX  1027  110 276  90 10 "оср.по шагам"
  CHECKBOX  1049  205 252 100 10 "выводить текст"
  CHECKBOX  1051  205 264 100 10 "большая шкала"
  CHECKBOX  1052  205 276 100 10 "отд.норм.каналов"
  BUTTON    1018  314 310  30 14 ">>>" STYLE hidden
  BUTTON       2  364 310  54 16 "Cancel" STYLE hidden
  DEFBUTTON    1  424 310  54 16 "Выйти"
END
DIALOG 173 "Данные о калибровочной гире" 0 0 200 96
  LTEXT     1101    7   9  70  9 "Вес"
  EDIT      1001   80   7  50 12 ""
  LTEXT     1102  135   9  30  9 "гр."
  LTEXT     1103    7  27  70  9 "Время ожидания"
  EDIT      1002   80  25  50 12 ""
  LTEXT     1104  135  27  30  9 "сек."
  DEFBUTTON    1   40  72  54 16 "OK"
  BUTTON       2  104  72  54 16 "Cancel"
END
)rc";

void RegisterTesterResources() {
  static bool done = false;
  if (done) return;
  done = true;
  std::string error;
  if (!ui::RegisterResources(kTemplates, &error))
    AddLogMessage(("(3427)Internal error: tester templates: " + error).c_str());
}

// The record file of a recording; one for the process (only one dialog records).
struct RecordFile {
  File file;
  Text1251 path;
};
RecordFile& TheRecordFile() {
  static RecordFile r;
  return r;
}

int ParseInt(const Text1251& text, int fallback) {
  int v = 0;
  return std::sscanf(text.c_str(), "%d", &v) == 1 ? v : fallback;
}

}  // namespace

// ---- KCDWeightSet -----------------------------------------------------------------------------

KCDWeightSet::KCDWeightSet(int weight, int seconds, std::function<void(int, int)> started,
                           std::function<void()> finished)
    : ui::Dialog(kWeightDialogId),
      weight_(weight),
      seconds_(seconds),
      started_(std::move(started)),
      finished_(std::move(finished)) {
  RegisterTesterResources();
}

bool KCDWeightSet::OnInitDialog() {
  SetItemText(1001, std::to_string(weight_));
  SetItemText(1002, std::to_string(seconds_));
  return true;
}

void KCDWeightSet::OnOK() {
  weight_ = ParseInt(ItemText(1001), weight_);
  seconds_ = std::max(0, ParseInt(ItemText(1002), seconds_));
  for (int id : {1001, 1002, 1101, 1102, 1103, 1104, 1, 2}) ShowItem(id, false);
  remaining_ = seconds_;
  if (started_) started_(weight_, seconds_);
  SetTimer(kCountdownTimer, 1000);
  Invalidate();
}

void KCDWeightSet::OnCancel() { DestroyWindow(); }

void KCDWeightSet::OnTimer(int id) {
  if (id != kCountdownTimer) return;
  if (--remaining_ > 0) {
    Invalidate();
    return;
  }
  KillTimer(kCountdownTimer);
  auto finished = finished_;  // the call may destroy this window
  DestroyWindow();
  if (finished) finished();
}

void KCDWeightSet::OnPaint(ui::Canvas& canvas) {
  if (remaining_ < 0) return;
  kit::FontRecord rec;
  LoadDefaultFont(rec);
  ui::Font font = CanvasFont(rec);
  font.height = std::max(12, std::abs(font.height ? font.height : 13)) * 5;
  canvas.SelectFont(font);
  canvas.SetBkTransparent(true);
  const Text1251 text = std::to_string(remaining_);
  const ui::Rect c = ClientRect();
  const ui::Size s = canvas.TextExtent(text);
  canvas.TextOut((c.Width() - s.cx) / 2, (c.Height() - s.cy) / 2, text);
}

// ---- KCDKnee ----------------------------------------------------------------------------------

KCDKnee::KCDKnee(KneeHost host) : CDialogK(kKneeDialogId), host_(std::move(host)) {
  RegisterTesterResources();
  RecordFile& rf = TheRecordFile();
  if (rf.file.IsOpen()) {
    ui::MessageBox(nullptr,
                   "(3426)Диалог уже открыт?\n Нельзя запускать параллельно две версии данного "
                   "диалога!"_cp);
    rf.file.Close();
    rf.path.clear();
  }
  RegisterHandlers();
}

KCDKnee::~KCDKnee() { FreePars(&settings_); }

void KCDKnee::RegisterHandlers() {
  OnCommand(1000, [this] { StartRecording(); });
  OnCommand(1004, [this] { StopRecording(); });
  OnCommand(1002, [this] {
    stoppedOrUp_ = true;
    SetSpeed(std::min(20, speed_ + 1));
  });
  OnCommand(1003, [this] {
    stoppedOrUp_ = false;
    SetSpeed(std::max(-20, speed_ - 1));
  });
  OnCommand(1010, [this] {
    stoppedOrUp_ = true;
    guardLatch_ = false;
    Stop();
  });
  OnCommand(1015, [this] {
    ReadStepTime();
    pointsFlag_ = true;
    SetSpeed(0);
    Post(WM_TESTER_STEP);
  });
  OnCommand(1016, [this] { StartStepping(); });
  OnCommand(1014, [this] { SetSpeed(0); });
  OnCommand(1029, [this] { ToggleManometer(); });
  OnCommand(1045, [this] { ToggleWeights(); });
  OnCommandRange(kManometerFirst, kManometerLast,
                 [this](int id) { ManometerPoint(20.0 * (id - kManometerFirst + 1)); });
  OnCommand(1046, [this] {
    if (weight_ && weight_->HasWindow()) return;
    weight_ = std::make_unique<KCDWeightSet>(
        weight_g_, weightTime_,
        [this](int w, int t) {
          weight_g_ = w;
          weightTime_ = t;
          weightsState_ = 2;
          weightSum_ = 0;
          weightCount_ = 0;
          EnableButtons();
          RefreshCaption();
        },
        [this] { EndWeight(); });
    weight_->Create(this);
    weight_->ShowWindow(1);
  });
  OnCommand(1047, [this] {
    if (weight_ && weight_->HasWindow()) weight_->DestroyWindow();
    EndWeight();
  });
  OnCommand(1048, [this] { WriteReport(); });
  OnCommand(1006, [this] {
    if (TimedLock l(pointLock_, 1000); l) points_.Clear();
    Invalidate(false);
  });
  OnCommand(1050, [this] { zero_.Restart(MonotonicSeconds()); });
  OnCommand(1021, [this] {
    CKFileDialog dlg(false, "dvp",
                     "DVP-файлы (*.dvp)|*.dvp|TRF-файлы (*.trf)|*.trf|Все файлы (*.*)|*.*||"_cp,
                     this, "Имя файла с паспортом устройства"_cp);
    dlg.SetInitialFolder(Text1251(winpath::kDataRoot) + "DVP");
    if (dlg.DoModal() == ui::IDOK) CreatePassportFromPoints(dlg.GetPath(), false);
  });
  OnCommand(1022, [this] {
    ReadISensor();
    iSensor_ = std::clamp(iSensor_ + 1, 1, kKneeSensors);
    SetItemText(1009, std::to_string(iSensor_));
  });
  OnCommand(1023, [this] {
    ReadISensor();
    iSensor_ = iSensor_ - 1 < 1 ? 0 : iSensor_ - 1;
    SetItemText(1009, iSensor_ ? std::to_string(iSensor_) : "");
  });
  OnCommand(1024, [this] {
    iSensor_ = 0;
    SetItemText(1009, "");
  });
  OnCommand(1018, [this] { ReadISensor(); });
  for (int id : {1130, 1019, 1020, 1025, 1026, 1027, 1049, 1051, 1052})
    OnCommand(id, [this] { Invalidate(false); });
  for (int id : {1017, 1009, 1012})
    OnNotify(id, ui::Notify::Change, [this](const ui::NotifyInfo&) {
      if (!ready_) return;
      vmax_ = ParseInt(ItemText(1012), 220);
      Invalidate(false);
    });
  OnMessage(WM_KNEE_SAMPLE, [this](uintptr_t, intptr_t) {
    Sample();
    return 0;
  });
  OnMessage(WM_TESTER_STATUS, [this](uintptr_t, intptr_t) {
    SetItemText(1001, TesterStatusText());
    return 0;
  });
  OnMessage(WM_TESTER_DISCONNECTED, [this](uintptr_t, intptr_t) {
    ShowItem(1000, !closePending_);
    for (int id : kMotionButtons) EnableItem(id, false);
    for (int id = kManometerFirst; id <= kManometerLast; ++id) EnableItem(id, false);
    if (closePending_) DestroyWindow();
    return 0;
  });
}

bool KCDKnee::OnInitDialog() {
  LoadPars("KCDKnee", &settings_);
  int32_t v = dtShift_;
  if (GetPar("dt_shift", v, settings_) == 0) dtShift_ = v;
  v = vmax_;
  if (GetPar("m_MaxPermittedDavavKneeValue", v, settings_) == 0) vmax_ = v;
  v = separate_;
  if (GetPar("m_set_use_normir_at_each_sensor", v, settings_) == 0) separate_ = v ? 1 : 0;
  SetItemText(1012, std::to_string(vmax_));
  SetItemText(1028, std::to_string(dtShift_));
  for (int id : {1130, 1020, 1025, 1026, 1049}) SetCheck(id, 1);
  SetCheck(1052, separate_);
  ShowItem(1052, false);
  SetToolTip(1000,
             "Начать запись в новый файл и вывод данных на экран. Заданные в диалоге значения "
             "переносятся в программу только при нажатии этой кнопки."_cp);
  SetToolTip(1004, "Остановить запись в файл и вывод данных на экран."_cp);
  SetToolTip(1002,
             "Увеличить скорость движения тестируемого прибора вверх. Если прибор движется "
             "вниз, то уменьшить скорость прибора"_cp);
  SetToolTip(1003,
             "Увеличить скорость движения тестируемого прибора вниз. Если прибор движется "
             "вверх, то уменьшить скорость прибора"_cp);
  SetToolTip(1010, "Остановить движение прибора"_cp);
  SetToolTip(1015, "Сдвинуть прибор вниз"_cp);
  SetToolTip(1016, "Сдвигать прибор вниз мелкими шагами"_cp);
  SetToolTip(1029, "Начать/остановить запись в режиме работы с манометром"_cp);
  SetToolTip(1048, "Вывод результатов в log-файл (C:\\Tacmon\\Logs\\log.txt)"_cp);
  SetToolTip(1017,
             "Шаг усреднения (в отсчетах данных, полученных от прибора тестирования "
             "механорецептора)"_cp);
  SetToolTip(1008,
             "Если среднее значение, выдаваемое рецептором, меньше данного, то оно "
             "игнорируется"_cp);
  SetToolTip(1013,
             "Если преобразованное значение, выдаваемое тестирующим прибором, меньше данного, "
             "то оно игнорируется"_cp);
  SetToolTip(1009,
             "Номер тестируемого сенсора в механорецепторе (от 1 до 19). Если значение не "
             "задано, то испольуется среднее значение со всех сенсоров."_cp);
  SetToolTip(1012,
             "Максимально возможное значение, получаемое от сенсора (от 0 до 255), при котором "
             "прибор останавливается и начинает движение вверх"_cp);
  SetToolTip(1130,
             "Если флаг установлен, то отсутствие усилия на приборе должно соответствовать 0-му "
             "знач.силы. Увеличение силы соответствует увеличению значения."_cp);
  SetToolTip(1019,
             "Прямая на рисунке (отн.которой вычмсляется точность) должна идти строго по "
             "диагонали, иначе она вычисляется"_cp);
  SetToolTip(1020,
             "После окончания записи с помощью кнопки W происходит автоматическая "
             "перенормировка (пересчет паспорта)"_cp);
  SetToolTip(1025,
             "При установленном флаге: точность приближения хуже, но сохраняется нулевой "
             "уровень нормализованных значений механорецептора"_cp);
  SetToolTip(1026, "Рисовать ломаную между точками на графике"_cp);
  SetToolTip(1027, "Осреднять данные по шагам движения прибора"_cp);
  for (int id : kMotionButtons) EnableItem(id, false);
  for (int id = kManometerFirst; id <= kManometerLast; ++id) EnableItem(id, false);
  ShowItem(1004, true);
  // The template is the compact layout; switch t gives the full one, with the two status
  // lines below the check boxes and a taller window.
  if (TheStartValues().extendedTestWindow) {
    const int dy = DialogUnitsToPixelsY(52);
    for (int id : {1001, 1005}) {
      ui::Rect r = ItemRect(id);
      r.top += dy;
      r.bottom += dy;
      MoveItem(id, r);
    }
    for (int id : {1130, 1019, 1020, 1025, 1026, 1027, 1049, 1051, 1052}) {
      ui::Rect r = ItemRect(id);
      r.top -= DialogUnitsToPixelsY(45);
      r.bottom -= DialogUnitsToPixelsY(45);
      MoveItem(id, r);
    }
    for (int id : {1, 2, 1018}) {
      ui::Rect r = ItemRect(id);
      r.top += DialogUnitsToPixelsY(12);
      r.bottom += DialogUnitsToPixelsY(12);
      MoveItem(id, r);
    }
    const ui::Rect c = ClientRect();
    SetClientSize(c.Width(), c.Height() + DialogUnitsToPixelsY(12));
  }
  RefreshCaption();
  // Words published for an earlier dialog are no force of this one.
  publishAtStart_ = PublishCount();
  ready_ = true;
  SetTimer(kTickTimer, 10);
  return true;
}

std::array<bool, kKneeSensors> KCDKnee::Visible() const {
  std::array<bool, kKneeSensors> v{};
  for (int i = 0; i < kKneeSensors; ++i)
    v[i] = host_.record ? host_.record->Map().visible[i] == 1 : true;
  return v;
}

KneeMode KCDKnee::Mode() const {
  return manometer_      ? KneeMode::kManometer
         : weightsState_ ? KneeMode::kWeights
                         : KneeMode::kStandard;
}

void KCDKnee::Post(uint32_t message, intptr_t wParam) {
  if (CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr)
    t->PostThreadMessage(message, static_cast<uintptr_t>(wParam));
}

void KCDKnee::SetSpeed(int v) {
  speed_ = v;
  SetItemText(1007, std::to_string(v));
  Post(WM_TESTER_SPEED, v);
}

void KCDKnee::ReadStepTime() {
  dtShift_ = std::max(0, ParseInt(ItemText(1028), dtShift_));
  if (CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr) t->stepTime = dtShift_;
}

void KCDKnee::ReadISensor() {
  const int v = ParseInt(ItemText(1009), 0);
  iSensor_ = v >= 1 && v <= kKneeSensors ? v : 0;
  if (!iSensor_ && !ItemText(1009).empty()) SetItemText(1009, "");
}

void KCDKnee::RefreshCaption() {
  const char* mode = manometer_ ? "Режим работы с манометром."_cp
                     : weightsState_ == 1 ? "Режим работы с грузиками. Положите грузик и нажмите "
                                            "кнопку `Гиря'..."_cp
                     : weightsState_ == 2 ? "После окончания интервала времени нажмите кнокпку "
                                            "`Stop' и уберите грузик."_cp
                                          : "Стандартный режим работы."_cp;
  SetCaption(Text1251("Обслуживающий прибор механорецептора. "_cp) + mode);
}

void KCDKnee::EnableButtons() {
  for (int id : {1002, 1003, 1010, 1015, 1016, 1014}) EnableItem(id, true);
  EnableItem(1029, weightsState_ == 0);
  EnableItem(1045, !manometer_);
  EnableItem(1046, weightsState_ == 1);
  EnableItem(1047, weightsState_ == 2);
  for (int id = kManometerFirst; id <= kManometerLast; ++id) EnableItem(id, manometer_);
  ShowItem(1052, manometer_);
}

// ---- acquisition ------------------------------------------------------------------------------

void KCDKnee::OnTimer(int id) {
  if (id == kTickTimer) {
    Tick();
  } else if (id == kStepTimer) {
    ++stepCount_;
    Post(WM_TESTER_PULSE);
    SetItemText(1007, std::to_string(speed_));
  } else if (id == kRetractTimer) {
    KillTimer(kRetractTimer);
    retracting_ = false;
    Stop();
  } else if (id == kCloseTimer) {
    // The thread did not answer the disconnection in time: the window goes anyway.
    KillTimer(kCloseTimer);
    DestroyWindow();
  }
}

void KCDKnee::Tick() {
  std::array<int, kKneeSensors> values{};
  std::array<int, kKneeSensors> raw{};
  if (host_.record) {
    recording::LatestFrame& latest = host_.record->Latest();
    std::lock_guard l(latest.lock);
    values = latest.indices;
    for (int i = 0; i < kKneeSensors; ++i) raw[i] = latest.raw[i];
  }
  const MeanMax mm = VisibleMeanMax(values, Visible());
  const double now = MonotonicSeconds();
  CDavavBoilerThread* thread = host_.thread ? host_.thread() : nullptr;
  if (thread) {
    thread->autoStepping = stepping_;
    thread->pointCount = points_.Count();
    thread->stepTime = dtShift_;
    if (thread->ConnectionTime() != connectionSeen_) {
      connectionSeen_ = thread->ConnectionTime();
      zero_.Restart(now);
    }
  }
  const TesterWords words = PublishedWords();
  const bool sampleSeen = PublishCount() != publishAtStart_;
  const int forceRaw = words.Force();
  if (recording_)
    if (auto minus = zero_.Tick(now, sampleSeen, forceRaw)) SetCurrentMinus(*minus);
  // Without a tester sample since the start (no instrument, or none yet) the force is 0, not
  // MINUS - 0.
  const int force =
      sampleSeen ? ConvertTesterForce(forceRaw, CurrentTesterPassport().MINUS, GetCheck(1130) == 1)
                 : 0;
  SetCurrentTesterValue(force);

  // VMax guard: the instrument stops and goes up, at most once every 3 s.
  if (Mode() == KneeMode::kStandard && now - lastGuard_ >= 3.0 &&
      (mm.max >= vmax_ || force >= vmax_)) {
    lastGuard_ = now;
    pointsFlag_ = false;
    if (stepping_) {
      guardLatch_ = true;
      if (!stoppedOrUp_) Stop();
    } else if (!guardLatch_ && !stoppedOrUp_) {
      stoppedOrUp_ = true;
      Stop();
    }
    return;
  }
  const double receptor = iSensor_ ? values[iSensor_ - 1] : mm.mean;
  if (!outstanding_) {
    outstanding_ = true;
    PostMessage(WM_KNEE_SAMPLE);
  }
  bool point = false;
  {
    TimedLock l(pointLock_, 1000);
    if (!l) {
      AddLogMessage("(235335)Can't lock ");
      return;
    }
    if (weightsState_ == 2) {
      weightSum_ += force;
      ++weightCount_;
    }
    const int vminReceptor = ParseInt(ItemText(1008), 20);
    const int vminTester = ParseInt(ItemText(1013), 20);
    if (pointsFlag_ && Mode() == KneeMode::kStandard && mm.mean > vminTester &&
        force > vminReceptor) {
      KneePoint p;
      p.tester = force;
      p.receptor = receptor;
      p.step = stepCount_;
      for (int i = 0; i < kKneeSensors; ++i) {
        p.sensors[i] = values[i];
        p.raw[i] = raw[i];
      }
      points_.Add(p);
      point = true;
    }
  }
  if (!zero_.InProgress()) {
    char line[160];
    std::snprintf(line, sizeof line,
                  point ? "%d receptor=%d  tester= %d [%d %d %d %d]\n"
                        : "[%d receptor=%d  tester= %d [%d %d %d %d]]\n",
                  sampleNo_, static_cast<int>(receptor), force, words.w[1], words.w[2], words.w[3],
                  words.w[0]);
    sampleLine_ = line;
  }
  ++sampleNo_;
}

void KCDKnee::Sample() {
  if (firstSample_ && recording_) {
    firstSample_ = false;
    ShowItem(1000, false);
    EnableButtons();
  }
  if (!sampleLine_.empty()) SetItemText(1001, sampleLine_);
  Invalidate(false);
  outstanding_ = false;
}

// ---- recording --------------------------------------------------------------------------------

void KCDKnee::StartRecording() {
  TimedLock dl(dialogLock_, 1000);
  if (!dl) {
    AddLogMessage("(153335)Can't lock ");
    return;
  }
  SetCurrentTesterValue(0);
  zero_.Restart(MonotonicSeconds());
  publishAtStart_ = PublishCount();
  ReadISensor();
  stoppedOrUp_ = false;
  {
    TimedLock rl(recordLock_, 1000);
    if (!rl) {
      AddLogMessage("(24335)Can't lock ");
      return;
    }
    recording_ = true;
    firstSample_ = true;
    ShowItem(1000, false);
    RecordFile& rf = TheRecordFile();
    rf.file.Close();
    const Text1251 folder = Text1251(winpath::kDataRoot) + "KNee";
    fsw::MakeDirectories(folder);
    std::tm t{};
    LocalTime(std::time(nullptr), t);
    char path[512];
    if (iSensor_)
      std::snprintf(path, sizeof path, "%s\\%d.%.2d.%.2d_%.2d.%.2d.%.2d__%d.txt", folder.c_str(),
                    t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                    iSensor_);
    else
      std::snprintf(path, sizeof path, "%s\\%d.%.2d.%.2d_%.2d.%.2d.%.2d.txt", folder.c_str(),
                    t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    rf.path = path;
    if (rf.file.Open(rf.path, "w"))
      SetItemText(1001, ">>>" + rf.path);
    else
      ui::MessageBox(this, rf.path, "Can't open file");
  }
  if (CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr) {
    t->SetTesterWindow(Handle());
    t->PostThreadMessage(WM_TESTER_CONNECT);
  }
  RefreshCaption();
  ShowItem(1029, true);
  ShowItem(1045, true);
}

void KCDKnee::StopRecording() {
  TimedLock dl(dialogLock_, 1000);
  if (!dl) {
    AddLogMessage("(178335)Can't lock ");
    return;
  }
  if (stepping_) {
    KillTimer(kStepTimer);
    stepping_ = false;
  }
  Post(WM_TESTER_DISCONNECT);
  for (int id : kMotionButtons) EnableItem(id, false);
  for (int id = kManometerFirst; id <= kManometerLast; ++id) EnableItem(id, false);
  SetItemText(1001, "");
  TimedLock rl(recordLock_, 1000);
  if (!rl) {
    AddLogMessage("(113435)Can't lock ");
    return;
  }
  recording_ = false;
  RecordFile& rf = TheRecordFile();
  rf.file.Close();
  SetItemText(1001, "[" + rf.path + "]");
}

void KCDKnee::Close(bool save) {
  ReadStepTime();
  if (save) {
    SetPar("dt_shift", settings_, static_cast<int32_t>(dtShift_));
    SetPar("m_MaxPermittedDavavKneeValue", settings_,
           static_cast<int32_t>(ParseInt(ItemText(1012), 220)));
    SetPar("m_set_use_normir_at_each_sensor", settings_, static_cast<int32_t>(GetCheck(1052)));
    SavePars(&settings_);
  }
  SetItemText(1005, "ЗАКРЫТИЕ ДИАЛОГА. Дождитесь закрытия окна..."_cp);
  for (int id : {1, 1000, 1004}) ShowItem(id, false);
  closePending_ = true;
  StopRecording();
  CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr;
  if (t && t->Running() && t->TesterWindow() == Handle()) {
    SetTimer(kCloseTimer, 3000);  // destroyed on WM_TESTER_DISCONNECTED, or then
    return;
  }
  DestroyWindow();
}

void KCDKnee::OnOK() { Close(true); }
void KCDKnee::OnCancel() { Close(false); }

void KCDKnee::OnDestroy() {
  KillTimer(kTickTimer);
  KillTimer(kStepTimer);
  KillTimer(kRetractTimer);
  KillTimer(kCloseTimer);
  // The countdown goes with the dialog that would receive its end.
  if (weight_) {
    if (weight_->HasWindow()) weight_->DestroyWindow();
  }
  if (CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr) {
    if (t->TesterWindow() == Handle()) t->SetTesterWindow(0);
    t->autoStepping = false;
  }
  if (recording_) {
    recording_ = false;
    TheRecordFile().file.Close();
  }
}

void KCDKnee::PostNcDestroy() {
  weight_.reset();
  auto gone = onGone;
  delete this;
  if (gone) gone();
}

// ---- motion -----------------------------------------------------------------------------------

void KCDKnee::StartStepping() {
  ReadStepTime();
  SetCurrentTesterValue(0);
  SetSpeed(0);
  stepCount_ = 0;
  pointsFlag_ = true;
  stoppedOrUp_ = false;
  stepping_ = true;
  if (CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr) t->autoStepping = true;
  SetTimer(kStepTimer, GetCheck(1027) == 1 ? std::max(10, dtShift_ * 20) : 500);
}

void KCDKnee::Stop() {
  speed_ = 0;
  SetItemText(1007, "0");
  pointsFlag_ = false;
  if (stepping_) {
    KillTimer(kStepTimer);
    stepping_ = false;
    CDavavBoilerThread* t = host_.thread ? host_.thread() : nullptr;
    if (t) {
      t->autoStepping = false;
      // The instrument goes up at once, besides the commands queued in the thread.
      const Text1251 e = t->SetSpeedDirect(1);
      if (!e.empty()) SetItemText(1001, e);
    }
    retracting_ = true;
    SetTimer(kRetractTimer, 2500);
    if (GetCheck(1020) == 1) AutomaticPassport();
    return;
  }
  Post(WM_TESTER_SPEED, 0);
}

void KCDKnee::AutomaticPassport() {
  fsw::MakeDirectories(kAutoPassportFolder);
  if (points_.Count() > 4) CreatePassportFromPoints(kAutoPassport, true);
}

void KCDKnee::CreatePassportFromPoints(const Text1251& file, bool automatic) {
  TimedLock l(pointLock_, 1000);
  if (!l) {
    AddLogMessage("(235336)Can't lock ");
    return;
  }
  if (!host_.hub) return;
  std::vector<KneePoint> pts = points_.Points();
  FitRequest request;
  request.keepZero = GetCheck(1025) == 1;
  request.wireFormat = ReceptorDataFormat();
  for (const KneePoint& k : pts) {
    CalibrationPoint c;
    for (int i = 0; i < kKneeSensors; ++i) c.raw[i] = static_cast<int32_t>(std::lround(k.raw[i]));
    c.testerValue = k.tester;
    request.points.push_back(c);
  }
  if (request.keepZero) {
    // The zero levels of the push the points came from: its zero point is in the current
    // passport.
    TimedLock pl(host_.hub->PassportLock(), 1000);
    if (!pl) {
      ReportCantLock("235337");
      return;
    }
    request.zero = ZeroLevelsOf(host_.hub->Passports().current, request.wireFormat);
  }
  Text1251 message;
  const bool made =
      PassportFromPoints(host_.hub->Passports(), &host_.hub->PassportLock(), request, file, &message);
  if (!message.empty()) {
    AddLogMessageF("%s", message.c_str());
    if (!automatic) ui::MessageBox(this, message);
  }
  if (!made) return;
  // The points renormalized under the new passport.
  DevicePassport current;
  {
    TimedLock pl(host_.hub->PassportLock(), 1000);
    if (!pl) {
      ReportCantLock("235338");
      return;
    }
    current = host_.hub->Passports().current;
  }
  // Live values use the new passport at once.
  if (host_.record) host_.record->UsePassport(current);
  Visibility visible{};
  const auto shown = Visible();
  for (int i = 0; i < kKneeSensors; ++i) visible[i] = shown[i];
  points_.Clear();
  for (size_t k = 0; k < pts.size(); ++k) {
    const PointValues v = ValuesOfPoint(current, request.points[k], visible, request.wireFormat,
                                        ReceptorSensitivity(0));
    for (int i = 0; i < kKneeSensors; ++i) pts[k].sensors[i] = v.sensors[i];
    pts[k].receptor = v.receptor;
    points_.Add(pts[k]);
  }
  Invalidate(false);
}

// ---- modes ------------------------------------------------------------------------------------

void KCDKnee::ModeSwitched(bool on, bool weights) {
  if (on) {
    savedNav_ = ItemText(1017);
    savedAveraging_ = GetCheck(1027);
    SetCheck(1027, 0);
    if (weights) {
      savedDiagonal_ = GetCheck(1019);
      SetCheck(1019, 0);
    }
    SetItemText(1017, "1");
    if (TimedLock l(pointLock_, 1000); l) points_.Clear();
  } else {
    SetItemText(1017, savedNav_);
    SetCheck(1027, savedAveraging_);
    if (weights) SetCheck(1019, savedDiagonal_);
  }
  zero_.Restart(MonotonicSeconds());
  stoppedOrUp_ = false;
  manometerK_ = {};
  EnableButtons();
  RefreshCaption();
  Invalidate(false);
}

void KCDKnee::ToggleManometer() {
  if (weightsState_) {
    weightsState_ = 0;
    ModeSwitched(false, true);
  }
  manometer_ = !manometer_;
  ModeSwitched(manometer_, false);
}

void KCDKnee::ToggleWeights() {
  if (manometer_) {
    manometer_ = false;
    ModeSwitched(false, false);
  }
  weightsState_ = weightsState_ ? 0 : 1;
  ModeSwitched(weightsState_ != 0, true);
}

void KCDKnee::ManometerPoint(double pressure) {
  std::array<int, kKneeSensors> values{}, raw{};
  if (host_.record) {
    recording::LatestFrame& latest = host_.record->Latest();
    std::lock_guard l(latest.lock);
    values = latest.indices;
    for (int i = 0; i < kKneeSensors; ++i) raw[i] = latest.raw[i];
  }
  TimedLock l(pointLock_, 1000);
  if (!l) {
    AddLogMessage("(290229)Can't lock");
    return;
  }
  const bool first = points_.Count() == 0;
  points_.Add(tester::ManometerPoint(values, raw, Visible(), pressure, GetCheck(1052) == 1, first,
                                     manometerK_, stepCount_));
  Invalidate(false);
}

void KCDKnee::EndWeight() {
  if (weightsState_ != 2) return;
  weightsState_ = 1;
  if (TimedLock l(pointLock_, 1000); l)
    points_.Add(WeightPoint(weightSum_, weightCount_, weight_g_, stepCount_));
  EnableButtons();
  RefreshCaption();
  Invalidate(false);
}

// ---- figures and graph ------------------------------------------------------------------------

std::vector<KneePoint> KCDKnee::Points() {
  TimedLock l(pointLock_, 1000);
  return l ? points_.Points() : std::vector<KneePoint>{};
}

FitOptions KCDKnee::Options() {
  FitOptions o;
  o.mode = Mode();
  o.nav = ParseInt(ItemText(1017), 1);
  const int s = ParseInt(ItemText(1009), 0);
  o.iSensor = s >= 1 && s <= kKneeSensors ? s : 0;
  o.diagonal = GetCheck(1019) == 1;
  o.largeScale = GetCheck(1051) == 1;
  o.sens = CurrentTesterPassport().SENS;
  return o;
}

CalibrationResults KCDKnee::Results() { return ComputeCalibration(Points(), Options()); }

void KCDKnee::OnPaint(ui::Canvas& canvas) {
  CDialogK::OnPaint(canvas);
  if (printFlag_ != 2) PaintGraph(canvas, ItemRect(1011));
}

Text1251 KCDKnee::GraphTitle() {
  const KneeMode mode = Mode();
  if (mode == KneeMode::kWeights)
    return "Проверки отклонения крутизны характеристики \nдатчика усилия лабораторного прибора "
           "от линейности"_cp;
  double diameter = DevicePassport{}.diameter;
  if (host_.hub) {
    TimedLock pl(host_.hub->PassportLock(), 1000);
    if (pl) diameter = host_.hub->Passports().current.diameter;
  }
  char d[64];
  std::snprintf(d, sizeof d, "%g", diameter);
  const char* head = mode == KneeMode::kManometer
                         ? "Протокол проверки чувствительности и отклонения крутизны "
                           "характеристик \nдатчиков давления между собой в Зонде D="_cp
                         : "Протокол проверки чувствительности и откл.крутизны хар-к датчиков "
                           "давления \nЛабораторного прибора между собой в Зонде D="_cp;
  return Text1251(head) + d + " мм."_cp;
}

void KCDKnee::PaintGraph(ui::Canvas& dc, const ui::Rect& area, const KneeGraphStyle& st) {
  const FitOptions o = Options();
  const std::vector<KneePoint> pts = Points();
  const CalibrationResults res = ComputeCalibration(pts, o);
  if (st.screen) {
    const Text1251 line = ResultsLine(res, o);
    if (ItemText(1005) != line && !closePending_) SetItemText(1005, line);
  }
  auto S = [&](int v) { return static_cast<int>(std::lround(v * st.scale)); };

  dc.FillRect(area, ui::Rgb(255, 255, 255));
  if (st.thin <= 1) {
    dc.FrameRect(area, ui::Rgb(0, 0, 0));
  } else {
    dc.SelectPen({ui::Rgb(0, 0, 0), st.thin});
    dc.SelectBrush(ui::Brush::Hollow());
    dc.Rectangle(area);
  }
  ui::Rect r = area;
  if (st.title && GetCheck(1049) == 1) {
    // The title's lines centred over the graph, the font made smaller until they fit.
    QPainter& p = dc.Painter();
    p.save();
    QFont font = p.font();
    font.setBold(true);
    const Text1251 title = GraphTitle();
    std::vector<QString> lines;
    for (size_t from = 0;;) {
      const size_t at = title.find('\n', from);
      lines.push_back(ui::ToQString(title.substr(from, at == Text1251::npos ? at : at - from)));
      if (at == Text1251::npos) break;
      from = at + 1;
    }
    const int room = std::max(1, r.Width() - S(8));
    int widest = 0;
    for (const QString& l : lines)
      widest = std::max(widest, QFontMetrics(font).horizontalAdvance(l));
    if (widest > room) font.setPixelSize(std::max(6, QFontInfo(font).pixelSize() * room / widest));
    p.setFont(font);
    p.setPen(Qt::black);
    const int step = QFontMetrics(font).lineSpacing();
    int y = r.top + S(3);
    for (const QString& l : lines) {
      p.drawText(QRect(r.left, y, r.Width(), step), Qt::AlignHCenter | Qt::AlignVCenter, l);
      y += step;
    }
    p.restore();
    r.top = y;
  }
  const bool weights = o.mode == KneeMode::kWeights;
  double xMax = o.largeScale ? 250 : 200;  // receptor axis
  double yMax = weights ? (o.largeScale ? 250 : 200) : (o.largeScale ? 400 : 200);
  if (weights && !pts.empty()) {
    xMax = 0;
    for (const KneePoint& p : pts) {
      xMax = std::max(xMax, 1.1 * p.receptor);
      if (p.tester > yMax) yMax = 1.05 * p.tester;
    }
    xMax = std::max(xMax, 1.0);
  }
  const ui::Rect plot{r.left + S(34), r.top + S(8), r.right - S(10), r.bottom - S(30)};
  auto X = [&](double x) { return plot.left + static_cast<int>(x / xMax * plot.Width()); };
  auto Y = [&](double y) { return plot.bottom - static_cast<int>(y / yMax * plot.Height()); };
  dc.SetBkTransparent(true);
  dc.SelectPen({ui::Rgb(180, 180, 180), st.thin});
  for (int k = 1; k < 5; ++k) {
    dc.Line(plot.left + plot.Width() * k / 5, plot.top, plot.left + plot.Width() * k / 5,
            plot.bottom);
    dc.Line(plot.left, plot.bottom - plot.Height() * k / 5, plot.right,
            plot.bottom - plot.Height() * k / 5);
  }
  dc.SelectPen({ui::Rgb(0, 0, 0), st.thin});
  dc.Line(plot.left, plot.top, plot.left, plot.bottom);
  dc.Line(plot.left, plot.bottom, plot.right, plot.bottom);
  char tick[32];
  for (int k = 0; k <= 5; ++k) {
    std::snprintf(tick, sizeof tick, "%g", std::round(yMax * k / 5));
    dc.TextOut(r.left + S(2), plot.bottom - plot.Height() * k / 5 - S(6), tick);
    std::snprintf(tick, sizeof tick, "%g", std::round(xMax * k / 5));
    // The last label ends inside the graph area.
    const int x = std::min(plot.left + plot.Width() * k / 5 - S(6),
                           area.right - S(2) - dc.TextExtent(tick).cx);
    dc.TextOut(x, plot.bottom + S(2), tick);
  }
  const char* yCaption = o.mode == KneeMode::kManometer
                             ? (o.largeScale ? "давление (КПа)"_cp : "давление (мм.рт.ст.)"_cp)
                             : "на чашечке"_cp;
  dc.TextOut(plot.left + S(4), plot.top, yCaption);
  const char* xCaption = weights ? "вес (гр)"_cp : "механорецептор"_cp;
  dc.TextOut(plot.right - dc.TextExtent(xCaption).cx, plot.bottom - S(16), xCaption);

  // Group means (or runs of one step with averaging by steps), joined when asked.
  std::vector<ui::Point> marks;
  auto measure = [&](const KneePoint& p) {
    return o.iSensor ? p.sensors[o.iSensor - 1] : p.receptor;
  };
  if (GetCheck(1027) == 1) {
    for (size_t i = 0; i < pts.size();) {
      size_t j = i;
      double sx = 0, sy = 0;
      while (j < pts.size() && pts[j].step == pts[i].step) {
        sx += measure(pts[j]);
        sy += pts[j].tester;
        ++j;
      }
      marks.push_back({X(sx / (j - i)), Y(sy / (j - i))});
      i = j;
    }
  } else {
    const int nav = std::max(1, o.nav);
    for (size_t g = 0; (g + 1) * nav <= pts.size(); ++g) {
      double sx = 0, sy = 0;
      for (size_t k = g * nav; k < (g + 1) * nav; ++k) {
        sx += measure(pts[k]);
        sy += pts[k].tester;
      }
      marks.push_back({X(sx / nav), Y(sy / nav)});
    }
  }
  // Points beyond the axes are held at their edges.
  for (ui::Point& m : marks) {
    m.x = std::clamp(m.x, plot.left, plot.right);
    m.y = std::clamp(m.y, plot.top, plot.bottom);
  }
  if (GetCheck(1026) == 1 && marks.size() > 1) {
    dc.SelectPen({ui::Rgb(0, 0, 0), st.thin});
    dc.Polyline(marks);
  }
  if (res.fit) {
    dc.SelectPen({ui::Rgb(0, 0, 255), st.thick});
    // The fitted line is clipped to the x range where its y stays between 0 and yMax, so it
    // never runs outside the axes.
    double lo = 0, hi = xMax;
    if (res.a != 0) {
      const double xa = -res.b / res.a, xb = (yMax - res.b) / res.a;
      lo = std::max(0.0, std::min(xa, xb));
      hi = std::min(xMax, std::max(xa, xb));
    } else if (res.b < 0 || res.b > yMax) {
      hi = -1;
    }
    if (lo < hi) dc.Line(X(lo), Y(res.a * lo + res.b), X(hi), Y(res.a * hi + res.b));
    // On white, so the line and the points do not cross them.
    dc.SetBkColour(ui::Rgb(255, 255, 255));
    dc.SetBkTransparent(false);
    dc.TextOut(plot.left + S(40), plot.top + S(14), ErrorCaption(res));
    dc.TextOut(plot.left + S(40), plot.top + S(28), SensitivityCaption(res, o));
    dc.SetBkTransparent(true);
  }
  dc.SelectPen({ui::Rgb(0, 0, 0), st.thin});
  dc.SelectBrush(ui::Brush::Solid(ui::Rgb(255, 0, 255)));
  for (const ui::Point& m : marks) dc.Ellipse({m.x - S(3), m.y - S(3), m.x + S(4), m.y + S(4)});
}

// ---- report -----------------------------------------------------------------------------------

QImage KCDKnee::GraphPicture() {
  const ui::Rect r = ItemRect(1011);
  QImage image(std::max(1, r.Width()), std::max(1, r.Height()), QImage::Format_RGB32);
  image.fill(Qt::white);
  ui::Canvas canvas(&image);
  canvas.Painter().setFont(Widget()->font());  // the dialog's font, as on screen
  PaintGraph(canvas, {0, 0, image.width(), image.height()}, {.screen = false});
  return image;
}

void KCDKnee::PrintProtocol(const std::vector<Text1251>& lines) {
  reportLines_ = lines;
  printFlag_ = 2;
  ShowWindow(0);
  ProtocolPage page;
  page.docName = "Knee";
  page.title = GraphTitle();
  page.lines = lines;
  const ui::Rect screen = ItemRect(1011);
  page.drawingSize = QSize(screen.Width(), screen.Height());
  const int screenFont = QFontInfo(Widget()->font()).pixelSize();
  page.drawing = [this, screen, screenFont](ui::Canvas& c, const QRect& target, double pxPerMm) {
    KneeGraphStyle st;
    st.scale = double(target.width()) / std::max(1, screen.Width());
    // 0.25 mm and three times that: thicker than the screen's pixels on a page.
    st.thin = std::max(2, static_cast<int>(std::lround(0.25 * pxPerMm)));
    st.thick = 3 * st.thin;
    st.screen = false;
    st.title = false;  // the page carries it
    QFont font = Widget()->font();
    font.setPixelSize(std::max(4, static_cast<int>(std::lround(screenFont * st.scale))));
    c.Painter().setFont(font);
    PaintGraph(c, {target.left(), target.top(), target.right() + 1, target.bottom() + 1}, st);
  };
  // The page shows the graph of all sensors (the field is left at the last single sensor by
  // the report's pass); the weights graph as it is.
  const Text1251 field = ItemText(1009);
  if (Mode() != KneeMode::kWeights) SetItemText(1009, "");
  PrintProtocolPage(this, page, kTestProtocolTexts);
  SetItemText(1009, field);
  printFlag_ = 0;
  ShowWindow(1);
}

void KCDKnee::WriteReport() {
  if (printFlag_) return;
  ReadStepTime();
  ReadISensor();
  const int savedSensor = iSensor_;
  const Text1251 savedField = ItemText(1009);
  const int savedText = GetCheck(1049);
  SetCheck(1049, 1);

  TestReportInput in;
  const KneeMode mode = Mode();
  in.mode = mode == KneeMode::kWeights     ? TestMode::kWeights
            : mode == KneeMode::kManometer ? TestMode::kManometer
                                           : TestMode::kStandard;
  in.start = FrameTime::Now();
  in.points = static_cast<int>(Points().size());
  if (host_.hub) {
    TimedLock pl(host_.hub->PassportLock(), 1000);
    if (pl) {
      in.deviceId = DeviceIdText(host_.hub->Passports().current);
      in.deviceNumber = host_.hub->Passports().current.deviceNumber;
    } else {
      ReportCantLock("235339");
    }
  }
  in.coefficient = manometerK_.k;
  in.nav = ParseInt(ItemText(1017), 1);
  in.stepMs = dtShift_;
  in.testerId = CurrentTesterPassport().ID;
  in.bigScale = GetCheck(1051) == 1;

  TestReportHooks hooks;
  hooks.graph = [this](int sensor) {
    if (sensor < 0) {
      iSensor_ = 0;
      SetItemText(1009, "");
    } else if (sensor > 0) {
      iSensor_ = sensor;
      SetItemText(1009, std::to_string(sensor));
    }
    Invalidate(false);
    UpdateWindow();
    const CalibrationResults res = Results();
    auto round1 = [](double x) { return std::round(x * 10) / 10 + 0.0; };
    GraphResults g;
    g.errors = {round1(res.meanError), round1(res.maxError), res.threshold, res.sensitivity};
    g.picture = GraphPicture();
    return g;
  };
  hooks.print = [this](const std::vector<Text1251>& lines) { PrintProtocol(lines); };
  hooks.message = [this](const Text1251& text) { ui::MessageBox(this, text); };
  hooks.finished = [&] {
    iSensor_ = savedSensor;
    SetItemText(1009, savedField);
    SetCheck(1049, savedText);
    Invalidate(false);
    UpdateWindow();
  };
  reportLines_ = WriteTestReport(in, hooks).lines;
}

}  // namespace tester
