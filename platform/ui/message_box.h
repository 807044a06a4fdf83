// Message boxes through one entry point. Every box shown is remembered (caption, text,
// answer) for the automation's dump. Callable from any thread: from a worker the box is shown
// on the UI thread and the call waits for the answer.
#pragma once

#include <string_view>
#include <vector>

#include "platform/cp1251.h"
#include "platform/ui/dialog.h"

namespace ui {

inline constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2,
                          MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                          MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;

// Shows a modal box owned by owner (may be null) and returns IDOK, IDCANCEL, IDYES, IDNO, ...
// Closing the box without a button answers IDCANCEL (IDNO for MB_YESNO, IDOK for MB_OK).
int MessageBox(Dialog* owner, std::string_view text1251, std::string_view caption1251 = "",
               unsigned type = MB_OK);

struct MessageBoxRecord {
  Text1251 caption;
  Text1251 text;
  int answer = 0;  // 0 while the box is open
};
std::vector<MessageBoxRecord> MessageBoxHistory();

// Name of an answer as the automation writes it ("OK", "Cancel", "Yes", "No", ...).
const char* AnswerName(int answer);

}  // namespace ui
