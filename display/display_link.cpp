#include "display/display_link.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file.h"

namespace display {

const std::array<SensorPair, kDisplaySensors> kDisplaySensorMap = {{
    {9, 9},   {5, 5},   {10, 10}, {14, 14}, {13, 13}, {8, 8},  {4, 4}, {1, 2}, {2, 6}, {6, 11},
    {11, 15}, {15, 18}, {18, 17}, {17, 16}, {16, 12}, {12, 7}, {7, 3}, {3, 0}, {0, 1},
}};

Levels MapToDisplay(const std::array<int, kSensorCount>& receptor, bool oneToOne) {
  Levels out{};
  for (int k = 0; k < kDisplaySensors; ++k) {
    const SensorPair& p = kDisplaySensorMap[k];
    out[k] = oneToOne ? receptor[p.first] : (receptor[p.first] + receptor[p.second]) / 2;
  }
  return out;
}

std::array<int, kSensorCount> LevelsOnReceptorMap(const Levels& levels, double v0, double v1) {
  std::array<int, kSensorCount> out{};
  const double span = v1 - v0;
  for (int k = 0; k < kDisplaySensors; ++k) {
    const double in = (levels[k] - v0) * 255.0 / span;
    out[kDisplaySensorMap[k].first] =
        std::isfinite(in) ? static_cast<int>(std::lround(std::clamp(in, 0.0, 255.0))) : 0;
  }
  return out;
}

int TransferLaw(double vIn, double v0, double v1) {
  const double v = 0.5 + v0 + vIn * (v1 - v0) / 255.0;
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, 0.0, 255.0));
}

namespace {

std::atomic<double> g_v0{25};
std::atomic<double> g_v1{500};
std::atomic<int> g_forceValue{-1};
std::atomic<int> g_forceSensor{-1};
std::array<std::atomic<int>, kDisplaySensors> g_lastSent{};

std::string Trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string(s.substr(a, b - a));
}

bool SameKey(const std::string& key, const char* name) {
  return key.size() == 2 && std::toupper(static_cast<unsigned char>(key[0])) == name[0] &&
         key[1] == name[1];
}

}  // namespace

DisplayPassport CurrentDisplayPassport() { return {g_v0.load(), g_v1.load()}; }

void SetDisplayPassport(const DisplayPassport& p) {
  g_v0 = p.v0;
  g_v1 = p.v1;
}

void ParseDisplayPassport(std::string_view text, DisplayPassport& p) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    // A line beyond 511 characters is read in pieces, as through a fixed line buffer.
    const size_t len = std::min<size_t>(end - at, 511);
    std::string_view line = text.substr(at, len);
    at += len;
    if (at == end) ++at;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = Trim(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    if (key.empty() || value.empty()) continue;
    double* dest = SameKey(key, "V0") ? &p.v0 : SameKey(key, "V1") ? &p.v1 : nullptr;
    double v = 0;
    if (dest && std::sscanf(value.c_str(), "%lg", &v) == 1) *dest = v;
  }
}

void LoadDisplayPassport() {
  std::string text;
  if (!ReadWholeFile(std::string("c:\\Tacmon\\") + kDisplayPassportFile, text, true)) return;
  DisplayPassport p = CurrentDisplayPassport();
  ParseDisplayPassport(text, p);
  SetDisplayPassport(p);
}

int SaveDisplayPassport() {
  const DisplayPassport p = CurrentDisplayPassport();
  SafeFile f(std::string("c:\\Tacmon\\") + kDisplayPassportFile, "w");
  if (!f.IsOpen()) return -1;
  f.Printf("V0: %lg\n", p.v0);
  f.Printf("V1: %lg\n", p.v1);
  return f.Commit() == 0 ? 0 : -1;
}

ConstantForce CurrentConstantForce() { return {g_forceValue.load(), g_forceSensor.load()}; }
void SetConstantForceValue(int value) { g_forceValue = value; }
void SetConstantForceSensor(int sensor) { g_forceSensor = sensor; }

int StepConstantForce(int value, int step) {
  return static_cast<int>(std::clamp<int64_t>(int64_t(value) + step, 0, 255));
}

int DisplayLevel(int k, int mapped, const DisplayPassport& p, const ConstantForce& force,
                 bool visible) {
  int level = TransferLaw(mapped, p.v0, p.v1);
  if (force.value >= 0 && force.value <= 255) {
    const bool one = force.sensor >= 1 && force.sensor <= kDisplaySensors;
    level = one && force.sensor != k ? 0 : force.value;
  }
  return visible ? level : 0;
}

Levels LastValuesSent() {
  Levels out{};
  for (int k = 0; k < kDisplaySensors; ++k) out[k] = g_lastSent[k].load();
  return out;
}

void SetLastValueSent(int k, int level) {
  if (k >= 1 && k <= kDisplaySensors) g_lastSent[k - 1] = level;
}

void ClearLastValuesSent() {
  for (auto& v : g_lastSent) v = 0;
}

std::string FrameCommand(int k, int level) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "k%2.2d=%3.3d", k, level);
  return buf;
}

}  // namespace display
