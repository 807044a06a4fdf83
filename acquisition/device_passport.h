// Device passports: the identity and calibration of one mechanoreceptor, its DVP text file, the
// binary passport block carried by push files, the companion files beside a DVP file, the
// passport registry of the workstation and the arithmetic from raw to display values.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

class File;

inline constexpr int kPassportChannels = 128;      // capacity of every per-channel array
inline constexpr int kPassportBlockVersion = 124;  // the block version written
inline constexpr int kPassportBlockSize = 6912;    // bytes of a version 124 block
inline constexpr int kExtraCalibrationSets = 10;   // SLOPES0..9 / SHIFTS0..9
// Passport files (".dvp" text and its binary companions) larger than this are refused unread.
inline constexpr int64_t kDvpFileMaxBytes = int64_t(4) << 20;

struct DevicePassport {
  int32_t headerA = 2;
  int32_t headerB = 0;
  int32_t headerC = 0;
  std::array<char, 128> title{};
  int32_t numChannels = 19;  // as stored; loops use UsedChannels()
  std::array<int32_t, kPassportChannels> rangeLo{};
  std::array<int32_t, kPassportChannels> rangeHi{};
  std::array<int32_t, kPassportChannels> ok{};  // bit 0 used
  int32_t deviceNumber = 0;
  std::array<uint8_t, 6> deviceId{};
  int32_t year = 0, month = 0, day = 0;
  int32_t hour = 0, minute = 0, second = 0;  // set only by the passports dialog
  int32_t refNumber = 1;
  std::array<double, kPassportChannels> slopes{};
  std::array<double, kPassportChannels> shifts{};
  std::array<double, kPassportChannels> noiseLevel{};
  double refSlope = 1.0;
  double refShift = 0.0;
  double diameter = 20.0;
  std::array<double, kPassportChannels> nullValues{};
  std::array<double, kPassportChannels> maxValues{};
  int32_t hasNullValues = 0;
  int32_t hasMaxValues = 0;
  int32_t secondButton = 0;
  int32_t format = 0;   // wire format 0, 1 or 2
  int32_t version = 0;  // the DVP VERSION
  int32_t useForAutoconnect = 1;
  Text1251 fileName;  // path the passport was read from
  // SLOPES0..9 and SHIFTS0..9: read, never used for normalization, never written back.
  std::array<std::array<double, kPassportChannels>, kExtraCalibrationSets> extraSlopes{};
  std::array<std::array<double, kPassportChannels>, kExtraCalibrationSets> extraShifts{};

  DevicePassport();
};

// numChannels bounded to 0..128: the count every loop over the channel arrays uses.
int UsedChannels(const DevicePassport& p);

// Device id as 12 lower-case hex digits, two per byte in byte order.
Text1251 DeviceIdText(const DevicePassport& p);
// Parses 12 hex digits into an id; false (id untouched) for any other text.
bool ParseDeviceId(std::string_view text, std::array<uint8_t, 6>& id);
// Ok flags as one character per used channel: "X" ok, "-" not ok.
Text1251 OkFlagsText(const DevicePassport& p);
// Reads such a string back: "-", blank and "." mean not ok, any other character ok.
void ParseOkFlags(std::string_view text, DevicePassport& p);

// The short number form of the DVP file ("1.", "0.1234", "3.", "0.13").
std::string ShortNumber(double value);

// DVP text file. ReadDvp: 0, or -1 when the file cannot be opened (p then holds the defaults).
int ReadDvp(DevicePassport& p, std::string_view fileName);
// Parses DVP text already in memory (the same rules as ReadDvp; fileName stays as it is).
void ParseDvpText(DevicePassport& p, std::string_view text);
// Writes the DVP text through a safe replacing write; 0, or -1 (reported) on any failure.
int WriteDvp(std::string_view fileName, const DevicePassport& p);
// The exact text WriteDvp writes (with "\n" line ends; the file carries CR LF).
std::string FormatDvp(const DevicePassport& p);

// Passport block (binary, little-endian, written as version 124).
std::vector<uint8_t> EncodePassportBlock(const DevicePassport& p);
// Decodes a block of any version from data; returns the bytes consumed, or -2 when data is
// shorter than the block its version calls for. p starts from the defaults.
int DecodePassportBlock(const uint8_t* data, size_t size, DevicePassport& p);
// Size of a block of the given version.
int PassportBlockSize(int32_t blockVersion);
int WritePassportBlock(const DevicePassport& p, File* file);  // 0; -1 no file or write failed
int ReadPassportBlock(DevicePassport& p, File* file);         // 0; -1 no file; -2 short read

// Companion files beside "name.dvp": "nameAdd.bin", "name.bin" and "name._dvp_".
Text1251 CompanionName(std::string_view dvpFileName, std::string_view suffix);
int WriteAutoconnectFile(const DevicePassport& p, std::string_view dvpFileName);  // 0; -1
int ReadAutoconnectFile(File* file, DevicePassport& p);                           // 0; -1; -2
int WriteBinaryPassport(const DevicePassport& p, std::string_view dvpFileName);   // 0; -1

// The passport registry held by the main hub dialog.
struct PassportRegistry {
  std::vector<DevicePassport> passports;  // in the order the DVP files were listed
  DevicePassport current;                 // first mechanoreceptor
  DevicePassport second;                  // second mechanoreceptor
  // Shows a modal message to the user; nullptr writes it into the message log instead.
  void (*showMessage)(const char* text) = nullptr;

  int Count() const { return static_cast<int>(passports.size()); }
};

// Loads every "DVP\*.dvp" under the data root (or under folder, a Windows path ending in "\").
void LoadPassports(PassportRegistry& r);
void LoadPassports(PassportRegistry& r, std::string_view folder);
int SelectPassport(PassportRegistry& r, int index);         // 0; -1 (logged)
int SelectSecondPassport(PassportRegistry& r, int number);  // 0; -1 (logged)
const DevicePassport* FindPassportById(const PassportRegistry& r, std::string_view idText);
int CheckDuplicateNumbers(const PassportRegistry& r);  // 0; -1 after the message
// Replaces slopes and shifts from "DVP\Manometr\*.dvp" or "DVP\*.dvp" (folder overridable).
void ReloadCalibration(PassportRegistry& r, bool fromManometer);
void ReloadCalibration(PassportRegistry& r, std::string_view pattern);

// Process-wide receptor settings that the normalization reads: the wire format
// ("receptor_data_format", -1 while none determined) and the two sensitivities
// ("SensibilityReceptorV", "SensibilitySecondReceptorV"). The main hub dialog keeps them current.
void SetReceptorDataFormat(int format);
int ReceptorDataFormat();
void SetReceptorSensitivity(int which, double value);  // which: 0 first, 1 second
double ReceptorSensitivity(int which);

// Normalization of raw value x on channel (0-based).
double Calibrate(const DevicePassport& p, int channel, double x);
// 0..255 (NaN maps to 0). The first form reads the process-wide settings.
double DisplayValue(const DevicePassport& p, int channel, double x, int which);
double DisplayValueWith(const DevicePassport& p, int channel, double x, int wireFormat,
                        double sensitivity);
// 0..1 (NaN maps to 0).
double DisplayFraction(const DevicePassport& p, int channel, double x, int which);
double DisplayFractionWith(const DevicePassport& p, int channel, double x, int wireFormat,
                           double sensitivity);
// Integer colour index 0..255 (display value + 0.5, truncated).
int DisplayIndex(const DevicePassport& p, int channel, double x, int which);

// Zero point: frames to collect for a display period dt seconds, and the median of samples
// (the element at n/2 of the sorted values; 0 when empty).
int ZeroPointFrameCount(double dtShowVideo);
double ZeroPointMedian(std::vector<double> samples);
// Corrects shifts[channel] so that the median calibrated sample becomes G + refShift
// (G 32000 in wire format 0 or none determined, else 0). For the second mechanoreceptor the
// median is rounded first. Returns 0, or -1 (shift unchanged) when refSlope is 0 or not finite
// or the correction would not be finite.
int ApplyZeroPoint(DevicePassport& p, int channel, double medianCalibrated, int wireFormat,
                   bool secondReceptor = false);
int ApplyZeroPoint(DevicePassport& p, int channel, double medianCalibrated);
