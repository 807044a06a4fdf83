// The tactile display link: what the system relays to the tactile display, a serial device with
// 19 force elements driven by text command lines ("k07=128\r", each answered by the prompt
// "\r\r\n>"). Here: the fixed map from probe sensors to display sensors, the transfer law with
// the display passport "DVP\display.dsp", the constant-force state and the levels last sent.
// The connection (port search, command exchange) is in mech_display_com.h, the display thread
// and the frame hand-over from the renderer in com_write_thread.h. Qt-free.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "acquisition/push.h"
#include "platform/cp1251.h"
#include "platform/thread.h"

namespace display {

inline constexpr int kDisplaySensors = 19;
using Levels = std::array<int, kDisplaySensors>;  // display sensors 1..19 at [0..18]

// Thread messages to the display thread (all with zero parameters).
inline constexpr uint32_t WM_DISPLAY_QUIT = WM_USER + 18;   // 1042
inline constexpr uint32_t WM_DISPLAY_OPEN = WM_USER + 19;   // 1043
inline constexpr uint32_t WM_DISPLAY_CLOSE = WM_USER + 20;  // 1044
inline constexpr uint32_t WM_DISPLAY_FRAME = WM_USER + 21;  // 1045
// Window messages sent to the main hub dialog.
inline constexpr uint32_t WM_STATUS_TEXT_CHANGED = WM_USER + 22;   // 1046
inline constexpr uint32_t WM_DISPLAY_DISCONNECTED = WM_USER + 23;  // 1047
inline constexpr uint32_t WM_DISPLAY_CONNECTED = WM_USER + 25;     // 1049

inline constexpr int kDisplayBaud = 38400;
inline constexpr int kDisplayFirstPort = 2;
inline constexpr int kDisplayPortLimit = 60;  // ports 2..59 are searched
inline constexpr const char* kDisplayPrompt = "\r\r\n>";
inline constexpr const char* kDisplayPassportFile = "DVP\\display.dsp";
inline constexpr const char* kDisplayParameterSet = "CMechDisplay_Com";

// Receptor indices (0..18) of display sensor k at [k-1]: one per display sensor in the
// one-to-one mode, the mean of both otherwise.
struct SensorPair {
  int first;
  int second;
};
extern const std::array<SensorPair, kDisplaySensors> kDisplaySensorMap;

// The 19 colour indices of a map (frame order) in display-sensor order.
// oneToOne: "set_correspond_mech_receptor_sensor_to_display_sensor".
Levels MapToDisplay(const std::array<int, kSensorCount>& receptor, bool oneToOne);

// The display's levels back on the probe's map: display sensor k's level at the cell of its
// first receptor sensor (one cell each), taken back through the transfer law to the colour
// index that gives it (0..255; a level at a limit of the law gives the nearest index, a
// passport with V0 = V1 gives 0).
std::array<int, kSensorCount> LevelsOnReceptorMap(const Levels& levels, double v0, double v1);

// The transfer law: 0.5 + v0 + vIn * (v1 - v0) / 255 in floating point, limited to 0..255 before
// it is truncated (NaN gives 0, so no value of the passport or the input converts out of range).
int TransferLaw(double vIn, double v0, double v1);

// The display passport: process-wide, written on the window thread, read by the display thread.
struct DisplayPassport {
  double v0 = 25;
  double v1 = 500;
};
DisplayPassport CurrentDisplayPassport();
void SetDisplayPassport(const DisplayPassport& p);
// Reads "DVP\display.dsp" into the current passport (a missing file changes nothing).
void LoadDisplayPassport();
// Writes the current passport as "V0: %lg\n", "V1: %lg\n". 0, or -1 when it cannot be written.
int SaveDisplayPassport();
// The reading rule of the file on a text: lines split at the first ':', keys V0 and V1 without
// regard to case, values by "%lg"; anything else is ignored.
void ParseDisplayPassport(std::string_view text, DisplayPassport& p);

// Constant force: value -1 off, 0..255 the level; sensor 1..19 the only display sensor that
// gets it, anything else all of them. Both -1 at start and when dialog 172 goes.
struct ConstantForce {
  int value = -1;
  int sensor = -1;
};
ConstantForce CurrentConstantForce();
void SetConstantForceValue(int value);
void SetConstantForceSensor(int sensor);
// The dialog's step buttons: value + step limited to 0..255 (off counts as -1).
int StepConstantForce(int value, int step);

// The level sent to display sensor k (1..19) for a mapped input: the transfer law, then the
// constant force, then the recording view's visibility flag k - 1 (cleared: 0).
int DisplayLevel(int k, int mapped, const DisplayPassport& p, const ConstantForce& force,
                 bool visible);

// The levels last computed for each display sensor (zeros at every opening), read by the text
// output of the recording window.
Levels LastValuesSent();
void SetLastValueSent(int k, int level);
void ClearLastValuesSent();

// "k%2.2d=%3.3d".
std::string FrameCommand(int k, int level);

}  // namespace display
