// OperationDescription: who is operated, by whom, on which organ with which diagnosis, where,
// and when the operation started. Filled by the description dialog (KCDOperationDescription);
// the operation it describes owns it and keeps it in its folder. A fresh one: born 0.0.1900,
// a wireless probe.
#pragma once

#include <array>
#include <cstdint>

#include "platform/cp1251.h"

struct OperationDescription {
  Text1251 firstName;
  Text1251 patronymic;
  Text1251 familyName;
  Text1251 hospital;
  int32_t patientId = 0;
  int32_t sexIndex = 0;  // 0 male, 1 female
  int32_t birthDay = 0, birthMonth = 0, birthYear = 1900;
  int32_t organId = 0;  // index in the OrganTable, 0 none
  Text1251 organDescription;
  Text1251 cardNumber;
  int32_t diagnosisIndex = 0;  // index in the organ's diagnoses, 0 none
  Text1251 diagnosisDescription;
  Text1251 notes;
  int32_t sensorType = 1;  // 0 wired, 1 wireless
  int32_t surgeonId = 0;
  // Start date-time and a second date-time: year, month, day, hour, minute, second each.
  std::array<int32_t, 12> times{};
};
