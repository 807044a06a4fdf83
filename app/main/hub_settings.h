// The workstation settings held by the main hub dialog (parameter set "KCDMain"): their
// defaults, reading them from a loaded set and storing them back in their fixed order.
// Members carry the names of their keys. Qt-free.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/cp1251.h"

struct ParameterSet;

inline constexpr const char* kHubSettingsSet = "KCDMain";

struct HubSettings {
  double DtShowVideo = 0.05;  // display period, seconds
  int32_t NAddSensorRectDomainMinUsed = 1;
  int32_t NumCOMPort = 3;
  int32_t NumCOMPort2 = 4;
  int32_t NumDevice = 5;
  int32_t NumDevice2 = 3;
  int32_t NumCOMPortDisp = 4;
  int32_t set_use_MechDisplay = 1;
  int32_t set_disp_autoconnect = 1;
  int32_t set_autoconnect = 1;
  int32_t set_connect2 = 0;
  int32_t set_correspond_mech_receptor_sensor_to_display_sensor = 0;
  Text1251 file_instead_COM_port = "C:\\Tacmon\\pars\\test.bin";
  int32_t set_use_file_instead_COM_port = 0;
  int32_t iSensor = 1;
  int32_t set_use_db_autosave = 1;
  int32_t dt_autosave = 10;
  int32_t CMechDisplay__SensibilityV0 = 6;
  int32_t CMechDisplay__SensibilityV1 = 10;
  int32_t SetAutoRecord = 1;
  int32_t set_output_all_data_into_text_file = 0;  // off on a fresh installation
  int32_t set_output_sensors_numbers = 1;
  double SensibilityReceptorV = 1.0;
  double SensibilitySecondReceptorV = 1.0;
  int32_t set_use_second_receptor_window = 1;
  int32_t receptor_data_format = 0;
  int32_t set_use_recognition_library = 0;

  // Calls f(key, member) for every setting in the save order (member is int32_t&, double& or
  // Text1251&).
  template <class F>
  void ForEach(F&& f);
};

// Reads every key from a loaded set; a missing key keeps the value in settings.
void ReadHubSettings(ParameterSet& set, HubSettings& settings);
// Sets every key in the save order into the set (texts cut to 255 bytes by the store).
void StoreHubSettings(const HubSettings& settings, ParameterSet& set);
// StoreHubSettings, then the set is written. The store's result (0, -1, -2).
int SaveHubSettings(const HubSettings& settings, ParameterSet& set);

template <class F>
void HubSettings::ForEach(F&& f) {
  f("DtShowVideo", DtShowVideo);
  f("NAddSensorRectDomainMinUsed", NAddSensorRectDomainMinUsed);
  f("NumCOMPort", NumCOMPort);
  f("NumCOMPort2", NumCOMPort2);
  f("NumDevice", NumDevice);
  f("NumDevice2", NumDevice2);
  f("NumCOMPortDisp", NumCOMPortDisp);
  f("set_use_MechDisplay", set_use_MechDisplay);
  f("set_disp_autoconnect", set_disp_autoconnect);
  f("set_autoconnect", set_autoconnect);
  f("set_connect2", set_connect2);
  f("set_correspond_mech_receptor_sensor_to_display_sensor",
    set_correspond_mech_receptor_sensor_to_display_sensor);
  f("file_instead_COM_port", file_instead_COM_port);
  f("set_use_file_instead_COM_port", set_use_file_instead_COM_port);
  f("iSensor", iSensor);
  f("set_use_db_autosave", set_use_db_autosave);
  f("dt_autosave", dt_autosave);
  f("CMechDisplay__SensibilityV0", CMechDisplay__SensibilityV0);
  f("CMechDisplay__SensibilityV1", CMechDisplay__SensibilityV1);
  f("SetAutoRecord", SetAutoRecord);
  f("set_output_all_data_into_text_file", set_output_all_data_into_text_file);
  f("set_output_sensors_numbers", set_output_sensors_numbers);
  f("SensibilityReceptorV", SensibilityReceptorV);
  f("SensibilitySecondReceptorV", SensibilitySecondReceptorV);
  f("set_use_second_receptor_window", set_use_second_receptor_window);
  f("receptor_data_format", receptor_data_format);
  f("set_use_recognition_library", set_use_recognition_library);
}

// What the parameters dialog makes of its texts and numbers.
// "DtShowVideo" from the text of its edit: "%lg", where a text that does not scan (also
// "nan", "inf" or a number beyond a double) keeps previous; a result not greater than 0 or
// greater than 100 becomes 0.05.
double DisplayPeriodFromText(std::string_view text, double previous);
// An integer edit's value (1..1000 for a number, 0 for a text that is not one): outside
// 1..1000 the fallback is taken.
int32_t IntSettingFromEdit(int value, int32_t fallback);
// "%d" of a text that fits an int32_t; false when it does not scan or is out of range.
bool ScanInt32(std::string_view text, int32_t& value);
