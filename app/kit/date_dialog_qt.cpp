#include <mutex>

#include "app/kit/date_dialog.h"
#include "app/kit/edit_int_logic.h"
#include "platform/clock.h"
#include "platform/report.h"
#include "platform/ui/resources.h"

namespace {

// Dialog 150; dialog units.
const char* const kTemplate150 = R"RC(
DIALOG 150 "Дата" 0 0 316 255
  EDIT       1001   7   7  96 14 ""
  BUTTON     1002 108   7  64 14 "<<< Сегодня"
  DEFBUTTON     1 198   7  52 14 "OK"
  BUTTON        2 256   7  52 14 "Отмена"
  BUTTON     1000   7  28  48 14 "1. Январь"
  BUTTON     1004   7  44  48 14 "2. Февраль"
  BUTTON     1005   7  60  48 14 "3. Март"
  BUTTON     1006   7  76  48 14 "4. Апрель"
  BUTTON     1007   7  92  48 14 "5. Май"
  BUTTON     1008   7 108  48 14 "6. Июнь"
  BUTTON     1009  57  28  48 14 "7. Июль"
  BUTTON     1010  57  44  48 14 "8. Август"
  BUTTON     1011  57  60  48 14 "9. Сентябрь"
  BUTTON     1012  57  76  48 14 "10.Октябрь"
  BUTTON     1013  57  92  48 14 "11.Ноябрь"
  BUTTON     1014  57 108  48 14 "12.Декабрь"
  BUTTON     1015 108  28  22 14 "19"
  BUTTON     1016 108  44  22 14 "20"
  BUTTON     1017 134  28  16 14 "0"
  BUTTON     1027 134  44  16 14 "0"
  BUTTON     1018 151  28  16 14 "1"
  BUTTON     1028 151  44  16 14 "1"
  BUTTON     1019 168  28  16 14 "2"
  BUTTON     1029 168  44  16 14 "2"
  BUTTON     1020 185  28  16 14 "3"
  BUTTON     1030 185  44  16 14 "3"
  BUTTON     1021 202  28  16 14 "4"
  BUTTON     1031 202  44  16 14 "4"
  BUTTON     1022 219  28  16 14 "5"
  BUTTON     1032 219  44  16 14 "5"
  BUTTON     1023 236  28  16 14 "6"
  BUTTON     1033 236  44  16 14 "6"
  BUTTON     1024 253  28  16 14 "7"
  BUTTON     1034 253  44  16 14 "7"
  BUTTON     1025 270  28  16 14 "8"
  BUTTON     1035 270  44  16 14 "8"
  BUTTON     1026 287  28  16 14 "9"
  BUTTON     1036 287  44  16 14 "9"
  BUTTON     1037   7 128  12 13 "1"
  BUTTON     1038  19 128  12 13 "2"
  BUTTON     1039  31 128  12 13 "3"
  BUTTON     1040  43 128  12 13 "4"
  BUTTON     1041  55 128  12 13 "5"
  BUTTON     1042  67 128  12 13 "6"
  BUTTON     1043  79 128  12 13 "7"
  BUTTON     1044  91 128  12 13 "8"
  BUTTON     1045   7 142  12 13 "9"
  BUTTON     1046  19 142  12 13 "10"
  BUTTON     1047  31 142  12 13 "11"
  BUTTON     1048  43 142  12 13 "12"
  BUTTON     1049  55 142  12 13 "13"
  BUTTON     1050  67 142  12 13 "14"
  BUTTON     1051  79 142  12 13 "15"
  BUTTON     1052  91 142  12 13 "16"
  BUTTON     1053   7 156  12 13 "17"
  BUTTON     1054  19 156  12 13 "18"
  BUTTON     1055  31 156  12 13 "19"
  BUTTON     1056  43 156  12 13 "20"
  BUTTON     1057  55 156  12 13 "21"
  BUTTON     1058  67 156  12 13 "22"
  BUTTON     1059  79 156  12 13 "23"
  BUTTON     1060  91 156  12 13 "24"
  BUTTON     1061   7 170  12 13 "25"
  BUTTON     1062  19 170  12 13 "26"
  BUTTON     1063  31 170  12 13 "27"
  BUTTON     1064  43 170  12 13 "28"
  BUTTON     1065  55 170  12 13 "29"
  BUTTON     1066  67 170  12 13 "30"
  BUTTON     1067  79 170  12 13 "31"
  BUTTON     1110 108  66  27 12 "П" STYLE disabled
  BUTTON     1111 137  66  27 12 "Вт" STYLE disabled
  BUTTON     1112 166  66  27 12 "Ср" STYLE disabled
  BUTTON     1113 195  66  27 12 "Ч" STYLE disabled
  BUTTON     1114 224  66  27 12 "П" STYLE disabled
  BUTTON     1115 253  66  27 12 "Сб" STYLE disabled
  BUTTON     1116 282  66  27 12 "Вс" STYLE disabled
  BUTTON     1068 108  80  27 14 ""
  BUTTON     1069 137  80  27 14 ""
  BUTTON     1070 166  80  27 14 ""
  BUTTON     1071 195  80  27 14 ""
  BUTTON     1072 224  80  27 14 ""
  BUTTON     1073 253  80  27 14 ""
  BUTTON     1074 282  80  27 14 ""
  BUTTON     1075 108  96  27 14 ""
  BUTTON     1076 137  96  27 14 ""
  BUTTON     1077 166  96  27 14 ""
  BUTTON     1078 195  96  27 14 ""
  BUTTON     1079 224  96  27 14 ""
  BUTTON     1080 253  96  27 14 ""
  BUTTON     1081 282  96  27 14 ""
  BUTTON     1082 108 112  27 14 ""
  BUTTON     1083 137 112  27 14 ""
  BUTTON     1084 166 112  27 14 ""
  BUTTON     1085 195 112  27 14 ""
  BUTTON     1086 224 112  27 14 ""
  BUTTON     1087 253 112  27 14 ""
  BUTTON     1088 282 112  27 14 ""
  BUTTON     1089 108 128  27 14 ""
  BUTTON     1090 137 128  27 14 ""
  BUTTON     1091 166 128  27 14 ""
  BUTTON     1092 195 128  27 14 ""
  BUTTON     1093 224 128  27 14 ""
  BUTTON     1094 253 128  27 14 ""
  BUTTON     1095 282 128  27 14 ""
  BUTTON     1096 108 144  27 14 ""
  BUTTON     1097 137 144  27 14 ""
  BUTTON     1098 166 144  27 14 ""
  BUTTON     1099 195 144  27 14 ""
  BUTTON     1100 224 144  27 14 ""
  BUTTON     1101 253 144  27 14 ""
  BUTTON     1102 282 144  27 14 ""
  BUTTON     1103 108 160  27 14 ""
  BUTTON     1104 137 160  27 14 ""
  BUTTON     1105 166 160  27 14 ""
  BUTTON     1106 195 160  27 14 ""
  BUTTON     1107 224 160  27 14 ""
  BUTTON     1108 253 160  27 14 ""
  BUTTON     1109 282 160  27 14 ""
END
)RC";

}  // namespace

void EnsureDateDialogTemplate() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (ui::FindDialogTemplate(150)) return;
    std::string error;
    if (!ui::RegisterResources(kTemplate150, &error))
      AddLogMessageF("(13218)dialog 150: %s", error.c_str());
  });
}

CKDate::CKDate(ui::Dialog*, std::string_view text) : Dialog(150) {
  EnsureDateDialogTemplate();
  kit::DateModel m;
  m.SetFromText(text);
  Take(m);
  OnCommand(kit::kDateMonthJanuary, [this] { OnButton(kit::kDateMonthJanuary); });
  OnCommandRange(1004, 1014, [this](int id) { OnButton(id); });
  OnCommandRange(kit::kDateToday, kit::kDateToday, [this](int id) { OnButton(id); });
  OnCommandRange(kit::kDateCentury19, kit::kDateGridFirst + kit::kDateGridCells - 1,
                 [this](int id) { OnButton(id); });
  OnNotify(kit::kDateEdit, ui::Notify::Change, [this](const ui::NotifyInfo&) { OnTyped(); });
}

void CKDate::Take(const kit::DateModel& m) {
  year = m.year;
  month = m.month;
  day = m.day;
}

bool CKDate::OnInitDialog() {
  Refresh();
  return true;
}

void CKDate::Refresh() {
  updating = true;
  kit::DateModel m = Model();
  grid_ = m.Refresh();
  Take(m);
  SetItemText(kit::kDateEdit, m.EditText());
  for (int k = 0; k < kit::kDateGridCells; ++k) {
    const int id = kit::kDateGridFirst + k;
    const int d = grid_.day[static_cast<size_t>(k)];
    ShowItem(id, d > 0);
    if (d > 0) SetItemText(id, std::to_string(d));
  }
  SetCaption(m.Title());
  updating = false;
}

void CKDate::OnButton(int id) {
  std::tm now{};
  const bool haveToday = LocalTime(std::time(nullptr), now);
  kit::DateModel m = Model();
  if (!m.ApplyButton(id, grid_, haveToday ? now.tm_mday : day, haveToday ? now.tm_mon + 1 : month,
                     haveToday ? now.tm_year + 1900 : year))
    return;
  Take(m);
  Refresh();
}

void CKDate::OnTyped() {
  if (updating) return;
  kit::DateModel m = Model();
  m.SetFromTyped(ItemText(kit::kDateEdit));
  Take(m);
  SetCaption(m.Title());
}

void CKDate::OnOK() {
  // A typed date is limited like one chosen with the buttons.
  kit::DateModel m = Model();
  m.Refresh();
  Take(m);
  EndDialog(ui::IDOK);
}
