#include "recording/patient_card.h"

#include <cstdio>
#include <cstring>

#include "medstore/medstore.h"

namespace recording {

namespace {

Text1251 Printf(const char* fmt, auto... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return {};
  Text1251 out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

// A fixed field of a record, up to its first zero.
Text1251 Field(const char* text, size_t size) { return Text1251(text, strnlen(text, size)); }

}  // namespace

const char* MonthGenitive(int month) {
  static const char* const kNames[12] = {"января"_cp,   "февраля"_cp, "марта"_cp,  "апреля"_cp,
                                         "мая"_cp,      "июня"_cp,    "июля"_cp,   "августа"_cp,
                                         "сентября"_cp, "октября"_cp, "ноября"_cp, "декабря"_cp};
  return month >= 1 && month <= 12 ? kNames[month - 1] : " ";
}

Text1251 DescriptionLine(std::string_view text, int n) {
  if (n < 1) return {};
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) return {};
    start = lf + 1;
  }
  size_t end = text.find('\n', start);
  std::string_view line =
      text.substr(start, end == std::string_view::npos ? text.npos : end - start);
  if (!line.empty() && line.front() == '\r') line.remove_prefix(1);
  // Texts from the edits end their lines with CR LF: the CR is not part of the line either.
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return Text1251(line);
}

std::vector<Text1251> PatientCardLines(const OperationDescription& d,
                                       const records::OrganTable& organs, doctor_list* surgeons) {
  std::vector<Text1251> lines;
  lines.push_back(Printf("Номер болезни: %s"_cp, d.cardNumber.c_str()));
  lines.push_back(Printf("ФИО пациента: %s %s %s"_cp, d.firstName.c_str(), d.patronymic.c_str(),
                         d.familyName.c_str()));
  Text1251 surgeon;
  if (surgeons) {
    if (doctor_item* doc = GetDoctorByID(d.surgeonId, surgeons))
      surgeon = Printf("%s %s %s", Field(doc->FIO[0], 64).c_str(), Field(doc->FIO[1], 64).c_str(),
                       Field(doc->FIO[2], 64).c_str());
  }
  lines.push_back(Printf("ФИО хирурга: %s"_cp, surgeon.c_str()));
  lines.push_back(Printf("Пол: %s"_cp, d.sexIndex == 0 ? "муж."_cp : "жен."_cp));
  lines.push_back(
      Printf("Дата рождения: %d %s %dг."_cp, d.birthDay, MonthGenitive(d.birthMonth), d.birthYear));
  const records::OrganEntry* organ = organs.Organ(d.organId);
  lines.push_back(Printf("Орган: %s"_cp, organ ? organ->name.c_str() : ""));
  for (int n = 1; n <= 2; ++n)
    lines.push_back(Printf("     %s", DescriptionLine(d.organDescription, n).c_str()));
  const Text1251* diagnosis = organs.Diagnosis(d.organId, d.diagnosisIndex);
  lines.push_back(Printf("Предв.диагноз: %s"_cp, diagnosis ? diagnosis->c_str() : ""));
  for (int n = 1; n <= 3; ++n)
    lines.push_back(Printf("     %s", DescriptionLine(d.diagnosisDescription, n).c_str()));
  lines.push_back(Printf("Примечания: %s"_cp, DescriptionLine(d.notes, 1).c_str()));
  for (int n = 2; n <= 4; ++n)
    lines.push_back(Printf("     %s", DescriptionLine(d.notes, n).c_str()));
  return lines;
}

}  // namespace recording
