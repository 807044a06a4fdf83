// KCDKnee (dialog 163): the test-instrument dialog. It pairs the live values of the connected
// probe (the operation window's recording view) with the instrument's force, moves the
// instrument through the tester thread, collects calibration points in the standard, manometer
// and weights modes, fits a line through them and shows the figures and a graph. Modeless; it
// deletes itself when its window is gone. KCDWeightSet (173) asks for a calibration weight and
// counts its waiting time down; it never outlives the test dialog.
#pragma once

#include <QImage>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/kit/dialog_k.h"
#include "params/parameter_store.h"
#include "platform/file.h"
#include "platform/sync.h"
#include "tester/calibration.h"

class KCDMain;

namespace recording {
class CtacmonDlgRecord;
}

namespace tester {

class CDavavBoilerThread;

inline constexpr int kKneeDialogId = 163;
inline constexpr int kWeightDialogId = 173;
inline constexpr uint32_t WM_KNEE_SAMPLE = 1051;

class KCDWeightSet : public ui::Dialog {
 public:
  KCDWeightSet(int weight, int seconds, std::function<void(int, int)> started,
               std::function<void()> finished);
  std::string ClassName() const override { return "KCDWeightSet"; }
  int Remaining() const { return remaining_; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnTimer(int id) override;
  void OnPaint(ui::Canvas& canvas) override;

 private:
  int weight_, seconds_;
  int remaining_ = -1;  // counting down from the waiting time; -1 before OK
  std::function<void(int, int)> started_;
  std::function<void()> finished_;
};

// Where the dialog reaches the program: the tester thread (none once the probe is
// disconnected), the recording view with the latest frame, the hub.
struct KneeHost {
  std::function<CDavavBoilerThread*()> thread;
  recording::CtacmonDlgRecord* record = nullptr;
  KCDMain* hub = nullptr;
};

// How the graph is drawn: on screen (and its pictures) or scaled onto paper with thicker
// lines, where the page carries the title.
struct KneeGraphStyle {
  double scale = 1;    // of the screen geometry
  int thin = 1;        // black and grey pens
  int thick = 3;       // the fitted line
  bool screen = true;  // the results line of the dialog follows the drawing
  bool title = true;   // the title while "выводить текст" is on
};

class KCDKnee : public CDialogK {
 public:
  explicit KCDKnee(KneeHost host);
  ~KCDKnee() override;
  std::string ClassName() const override { return "KCDKnee"; }

  std::function<void()> onGone;

  // For tests and the automation: the points and the figures of the graph.
  std::vector<KneePoint> Points();
  CalibrationResults Results();
  FitOptions Options();
  KneeMode Mode() const;
  KCDWeightSet* WeightDialog() const { return weight_.get(); }
  // The text lines of the last report (the lines under the graph of its protocol).
  const std::vector<Text1251>& ReportLines() const { return reportLines_; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnDestroy() override;
  void PostNcDestroy() override;
  void OnTimer(int id) override;
  void OnPaint(ui::Canvas& canvas) override;

 private:
  void RegisterHandlers();
  void Tick();
  void Sample();
  void StartRecording();
  void StopRecording();
  void Close(bool save);
  void Stop();
  void StartStepping();
  void SetSpeed(int v);
  void ToggleManometer();
  void ToggleWeights();
  void ModeSwitched(bool on, bool weights);
  void ManometerPoint(double pressure);
  void EndWeight();
  void EnableButtons();
  void RefreshCaption();
  void ReadStepTime();
  void ReadISensor();
  // The passport fitted to the points, written to file and made current; a refused fit is
  // logged (and shown unless automatic).
  void CreatePassportFromPoints(const Text1251& file, bool automatic);
  void AutomaticPassport();
  void Post(uint32_t message, intptr_t wParam = 0);
  std::array<bool, kKneeSensors> Visible() const;
  void PaintGraph(ui::Canvas& canvas, const ui::Rect& r,
                  const KneeGraphStyle& style = KneeGraphStyle());
  // The graph area (the hidden button 1011) drawn off screen.
  QImage GraphPicture();
  Text1251 GraphTitle();
  // "Log": the report with its logs, pictures and printed protocol; the sensor field and
  // "выводить текст" are restored afterwards.
  void WriteReport();
  void PrintProtocol(const std::vector<Text1251>& lines);

  KneeHost host_;
  ParameterSet settings_;
  int dtShift_ = 20;
  int vmax_ = 220;
  int separate_ = 0;
  int iSensor_ = 0;
  int speed_ = 0;
  bool manometer_ = false;
  int weightsState_ = 0;
  bool pointsFlag_ = false;
  bool stoppedOrUp_ = false;
  bool guardLatch_ = false;
  bool stepping_ = false;
  bool retracting_ = false;
  int stepCount_ = 0;
  double lastGuard_ = -1e9;
  bool recording_ = false;
  bool firstSample_ = false;
  bool outstanding_ = false;
  bool closePending_ = false;
  int sampleNo_ = 0;
  Text1251 sampleLine_;
  uint64_t publishAtStart_ = 0;
  int64_t connectionSeen_ = 0;
  ZeroMeasurement zero_;
  Text1251 savedNav_ = "5";
  int savedAveraging_ = 0, savedDiagonal_ = 0;
  ManometerCoefficients manometerK_;
  double weightSum_ = 0;
  int weightCount_ = 0;
  int weight_g_ = 1000, weightTime_ = 30;
  TimedMutex dialogLock_, recordLock_, pointLock_;
  PointTable points_;  // under pointLock_
  std::unique_ptr<KCDWeightSet> weight_;
  bool ready_ = false;
  int printFlag_ = 0;  // 2 while a protocol prints: the graph is not drawn
  std::vector<Text1251> reportLines_;
};

}  // namespace tester
