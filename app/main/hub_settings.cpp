#include "hub_settings.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "params/parameter_store.h"

void ReadHubSettings(ParameterSet& set, HubSettings& settings) {
  settings.ForEach([&set](const char* key, auto& value) { GetPar(key, value, set); });
}

void StoreHubSettings(const HubSettings& settings, ParameterSet& set) {
  HubSettings copy = settings;
  copy.ForEach([&set](const char* key, auto& value) { SetPar(key, set, value); });
}

int SaveHubSettings(const HubSettings& settings, ParameterSet& set) {
  StoreHubSettings(settings, set);
  return SavePars(&set);
}

bool ScanInt32(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  int64_t v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > int64_t{INT32_MAX} + 1) return false;  // beyond any int32_t
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

double DisplayPeriodFromText(std::string_view text, double previous) {
  double v = previous;
  double scanned = 0;
  const std::string s(text);
  if (std::sscanf(s.c_str(), "%lg", &scanned) == 1 && std::isfinite(scanned)) v = scanned;
  if (!(v > 0 && v <= 100)) v = 0.05;
  return v;
}

int32_t IntSettingFromEdit(int value, int32_t fallback) {
  return value >= 1 && value <= 1000 ? value : fallback;
}
