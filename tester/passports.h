// Passports made and changed by hand, without windows: the edit fields and list rows of the
// passports dialog over the hub's passport registry (PassportsEditor), the values list of the
// doubles editor, and the draft passports made from the last recorded push. The dialogs in
// kcd_pasports.h and the operation window's menu commands (draft_passports.h) are thin views
// over these. Qt-free.
#pragma once

#include <array>
#include <functional>
#include <string_view>
#include <vector>

#include "acquisition/device_passport.h"
#include "acquisition/push.h"
#include "platform/cp1251.h"

class TimedMutex;

namespace tester {

// ---- edit fields ----

// The six edit fields of a passport: number, ID, health, reference number, slope and shift.
struct PassportFields {
  Text1251 number, id, health, refNumber, refSlope, refShift;
};

// The texts shown for p: "%d", 12 hex digits, "X"/"-" per channel, "%d", short number forms.
PassportFields FieldsOf(const DevicePassport& p);
// Stores the fields into p. A field that does not scan (or scans to a value out of range, or a
// number that is not finite) keeps p's value. The ID is read as six pairs of hex digits, a
// pair that does not scan repeating the pair before it (0 for the first), so a short ID text
// is fine. The health text sets at most 128 channels; channels beyond it become not ok.
void StoreFields(const PassportFields& f, DevicePassport& p);
void ParseIdPairs(std::string_view text, std::array<uint8_t, 6>& id);
// Whole-text scans used by the edit fields: false (value untouched) for anything else.
bool ScanInt(std::string_view text, int32_t& value);
bool ScanDouble(std::string_view text, double& value);  // finite values only

// A passport file name without its last three characters ("a.dvp" -> "a."); empty when the
// name is shorter than that.
Text1251 WithoutLast3(std::string_view fileName);
// The first free "c:\Tacmon\DVP\pasp%d.dvp", else "pasp%d_v%d.dvp" with 1..999 (the name for
// 999 when all are taken).
Text1251 FreePassportFileName(int deviceNumber);
// Stamps p with the local date and time (0 and -1 when the clock cannot be read).
void StampNow(DevicePassport& p);

// ---- draft passports from a push ----

inline constexpr int32_t kDraftLoStart = 3200000;
inline constexpr int32_t kDraftHiStart = -3200000;

// Smallest and largest value per sensor over frames: the raw values of the first
// mechanoreceptor, or (second) the aux slots 0..18 of the second one, where 0 is no reading.
// Sensors without any value keep the start values 3200000 and -3200000.
struct SensorRanges {
  std::array<int32_t, kSensorCount> lo{};
  std::array<int32_t, kSensorCount> hi{};
  std::array<bool, kSensorCount> seen{};
};
SensorRanges RangesOfFrames(const std::vector<SensorFrame>& frames, bool second);

// Draft calibration: each sensor with values gets range 0..32000, slope 32000 / d and shift
// -lo * 32000 / d with d = hi - lo (1 when at most 1), so its values span 0..32000. A sensor
// without values keeps its slope, shift and range (never a slope of 32000 and a shift of
// -1e11 from the start values).
void ApplyDraftRanges(const SensorRanges& r, DevicePassport& p);
// The frames of the last recorded push "c:\Tacmon\pars\tmpSavedData.bin" (empty when it does
// not read).
std::vector<SensorFrame> LastPushFrames();
// The second device's companion: the passport file name without its last three characters
// plus "MinMax", 19 lines "%d: %d %d" (text mode). 0, or -1 when it cannot be written.
Text1251 MinMaxName(std::string_view passportFile);
int WriteMinMaxFile(std::string_view passportFile, const SensorRanges& r);
// The draft of menu 32799 (second false) or 32859 (second true) written to fileName: a default
// passport calibrated by the last push. 0, or -1 when a file cannot be written.
int WriteDraftPassport(std::string_view fileName, bool second);
// Menu 32800: the passport read from fileName (the defaults when it does not read).
DevicePassport LoadPassportFile(std::string_view fileName);

// ---- the doubles editor ----

// "%d) %s": index from 0 and the value in the short number form.
Text1251 DoubleLine(int index, double value);
// The text of a line after its first ")", trimmed on both sides.
Text1251 DoubleLineValue(std::string_view line);

// ---- the passports dialog ----

// What the editor asks of the user: plain messages, the OK/Cancel question before deleting
// and the Yes/No question before rewriting a DVP file.
struct EditorUser {
  std::function<void(const Text1251&)> message;
  std::function<bool(const Text1251&)> confirm;  // OK
  std::function<bool(const Text1251&)> askYes;   // Yes
};

// The passports dialog's list and edit views over the registry. List row k and registry
// entry k denote the same passport. Every change is made on a copy of the registry's passports,
// checked, and put in place under the registry lock in one step, so the reading thread never
// sees a half-made passport and a refused change leaves the registry as it was.
class PassportsEditor {
 public:
  struct Row {
    int number = 0;
    Text1251 id, health;
    bool checked = true;  // useForAutoconnect
  };

  // lock (may be null) guards registry against the reading thread.
  PassportsEditor(PassportRegistry& registry, TimedMutex* lock, EditorUser user);

  const std::vector<Row>& Rows() const { return rows_; }
  int View() const { return view_; }  // 0 list, 1 edit
  int EditIndex() const { return editIndex_; }
  const PassportFields& Fields() const { return fields_; }
  int ChannelCount() const { return channelCount_; }
  std::array<double, kPassportChannels>& Slopes() { return slopes_; }
  std::array<double, kPassportChannels>& Shifts() { return shifts_; }

  // "Новый": the edit view with the last row's passport as a template and a new edit index;
  // with no passport at all, the default passport's fields (so the first one can be made).
  void New();
  // "Редактировать" on a row (-1: none selected).
  void Edit(int row);
  // "Стереть" on a row (-1: none selected): asks, then deletes the row, the DVP file and its
  // "_dvp_" companion and the registry entry. True when deleted.
  bool Delete(int row);
  // "Add/Update" with the edit fields: true when stored (back to the list view).
  bool AddUpdate(const PassportFields& fields);
  // "Отменить".
  void Cancel() { view_ = 0; }
  // "Выйти": the check marks of the rows go into useForAutoconnect and the "Add.bin" companion
  // of every passport whose mark changed. Returns how many were rewritten.
  int Exit(const std::vector<bool>& checks);

 private:
  bool LoadRow(int row);
  // The registry's passports; false (reported) when the lock cannot be taken.
  bool Snapshot(std::vector<DevicePassport>& out) const;
  bool Commit(std::vector<DevicePassport> passports);
  int FindNumber(int number) const;

  PassportRegistry& registry_;
  TimedMutex* lock_;
  EditorUser user_;
  std::vector<Row> rows_;
  int view_ = 0;
  int editIndex_ = -1;
  PassportFields fields_;
  int channelCount_ = 19;
  std::array<double, kPassportChannels> slopes_{};
  std::array<double, kPassportChannels> shifts_{};
};

}  // namespace tester
