// What the patients and surgeons dialogs type, turned into records that medstore stores and
// reads back unchanged, and the texts the dialogs show for records. Qt-free.
//
// The record files read name parts, the card number and the last organ description word by
// word, split organ descriptions at "; ", and start a new field at a line that begins with a
// key. So a typed text is stored in its storable form: trimmed, blanks inside a word field
// joined by "_", ";" in an organ description written as ",", a line of a multi-line text that
// begins with a key indented by one blank, every field cut to its size. Organs with diagnoses
// are stored before organs without (an empty diagnosis row cannot be read back in place).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "medstore/medstore.h"
#include "platform/cp1251.h"
#include "records/enumerations.h"

namespace records {

inline constexpr int NORGANS_MAX = 10;               // organs per patient
inline constexpr int N_DIAGNOSIS_MAX_PER_ORGAN = 9;  // diagnoses one organ gets in the dialog
inline constexpr size_t kNameMax = 63;               // a name part
inline constexpr size_t kCardMax = 127;
inline constexpr size_t kOrganTextMax = 98;  // what the record file reads back of a description

// A word field: control characters dropped, blanks trimmed, inner blank runs joined by "_",
// cut to max bytes.
Text1251 StorableWord(std::string_view typed, size_t max);
// An organ description: as a word field, with ";" written as ",".
Text1251 StorableOrganText(std::string_view typed);
// A multi-line text (notes, general diagnosis) as typed in an edit (CR LF or LF): line ends
// become LF, other control characters but tabs are dropped, a line that begins with a key of
// the patient record gets one blank in front, and the text ends with LF as it reads back.
// nullopt when nothing but blanks and line ends was typed.
std::optional<Text1251> StorableNotes(std::string_view typed);
// A stored multi-line text for an edit: LF as CR LF, without the final line end.
Text1251 EditText(const char* stored);

struct Birthday {
  int day = 0, month = 0, year = 0;  // all 0: not known
};
// "d.m.yyyy", "d m yyyy" or "d-m-yyyy" with a real calendar date (years 1900..2999); an empty
// text, 0.0.0 or 0.0.1900 (a fresh description's) means not known. nullopt for anything else.
std::optional<Birthday> ParseBirthday(std::string_view typed);
Text1251 FormatBirthday(int day, int month, int year);  // "%d.%d.%d"
// The message shown when ParseBirthday refuses a text.
Text1251 BadBirthdayMessage(std::string_view typed);

// One organ of the patient being edited.
struct OrganRow {
  int32_t id = 0;
  Text1251 description;
  std::vector<int32_t> diagnoses;
};

// The organ list's row: the organ's name, "%s (%s)" when a description differs from the name,
// "---" for an id outside the table.
Text1251 OrganRowText(const OrganTable& organs, const OrganRow& row);

struct PatientForm {
  Text1251 names[3];  // family name, first name, patronymic
  Text1251 card;
  int sexIndex = 0;  // 0 male, 1 female, -1 none chosen
  Text1251 birthday;
  Text1251 notes;      // as in the edit
  Text1251 diagnosis;  // as in the edit
  std::vector<OrganRow> organs;
};
PatientForm FormFromPatient(const user_item& item);

// A patient record built from a form; owns the texts its item points to.
class PatientRecord {
 public:
  PatientRecord();
  PatientRecord(const PatientRecord&) = delete;
  PatientRecord& operator=(const PatientRecord&) = delete;
  user_item* Item();  // with Notes and Diagnosis pointing at the texts below
  std::optional<Text1251> notes, diagnosis;
  bool tooManyOrgans = false;  // the form had more than NORGANS_MAX organs; the first were taken

 private:
  user_item item_;
};

// Builds the record of a form. Returns the message for the user when the form cannot be
// stored (a birthday that is no date), else nullopt.
std::optional<Text1251> BuildPatient(const PatientForm& form, const OrganTable& organs,
                                     PatientRecord& out);

struct SurgeonForm {
  Text1251 names[3];
};
doctor_item BuildSurgeon(const SurgeonForm& form);

// Equal in every field the record file keeps.
bool SamePatient(const user_item& a, const user_item& b);
bool SameSurgeon(const doctor_item& a, const doctor_item& b);

// List rows and the summary line.
Text1251 PatientRowText(const user_item& item);    // "%s: %s %s %s" card and names
Text1251 SurgeonRowText(const doctor_item& item);  // "%s %s %s"
Text1251 PatientSummary(const user_item& item);    // "%s %s %s; %d.%d.%d; %s "

// The question before deleting the selected rows (their texts in list order).
Text1251 DeleteQuestion(bool patients, const std::vector<Text1251>& rows);

}  // namespace records
