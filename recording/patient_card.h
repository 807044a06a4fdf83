// The lines of the patient card: the operation's description as sixteen lines of text
// (card number, names, surgeon, sex, birthday, organ, diagnosis, notes).
#pragma once

#include <string_view>
#include <vector>

#include "platform/cp1251.h"
#include "records/enumerations.h"
#include "records/operation_description.h"

struct doctor_list;

namespace recording {

// "января" .. "декабря" for 1..12, a single blank otherwise.
const char* MonthGenitive(int month);
// Line n (from 1) of a text: between line feeds, without a CR at its start or end; empty
// beyond the text.
Text1251 DescriptionLine(std::string_view text, int n);
// The card's lines in order; surgeons may be null.
std::vector<Text1251> PatientCardLines(const OperationDescription& d,
                                       const records::OrganTable& organs, doctor_list* surgeons);

}  // namespace recording
