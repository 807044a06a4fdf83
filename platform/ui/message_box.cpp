#include "platform/ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <mutex>

#include "platform/ui/app_loop.h"
#include "platform/ui/detail/widgets.h"
#include "platform/ui/qt_text.h"

namespace ui {
namespace {

std::mutex g_historyLock;  // guards g_history (boxes may be asked for from any thread)
std::vector<MessageBoxRecord> g_history;

struct ButtonSpec {
  int answer;
  const char* text;  // UTF-8
  QMessageBox::ButtonRole role;
};

std::vector<ButtonSpec> ButtonsOf(unsigned type) {
  const ButtonSpec ok{IDOK, "OK", QMessageBox::AcceptRole};
  const ButtonSpec cancel{IDCANCEL, "Отмена", QMessageBox::RejectRole};
  const ButtonSpec yes{IDYES, "Да", QMessageBox::YesRole};
  const ButtonSpec no{IDNO, "Нет", QMessageBox::NoRole};
  const ButtonSpec abort{IDABORT, "Прервать", QMessageBox::RejectRole};
  const ButtonSpec retry{IDRETRY, "Повтор", QMessageBox::AcceptRole};
  const ButtonSpec ignore{IDIGNORE, "Пропустить", QMessageBox::AcceptRole};
  switch (type & 0xF) {
    case MB_OKCANCEL:
      return {ok, cancel};
    case MB_ABORTRETRYIGNORE:
      return {abort, retry, ignore};
    case MB_YESNOCANCEL:
      return {yes, no, cancel};
    case MB_YESNO:
      return {yes, no};
    case MB_RETRYCANCEL:
      return {retry, cancel};
    default:
      return {ok};
  }
}

int ShowOnUiThread(Dialog* owner, const Text1251& text, const Text1251& caption, unsigned type) {
  size_t index;
  {
    std::lock_guard lock(g_historyLock);
    g_history.push_back({caption, text, 0});
    index = g_history.size() - 1;
  }
  QMessageBox box(owner && owner->Widget() ? owner->Widget() : nullptr);
  box.setWindowTitle(ToQString(caption));
  QString body = ToQString(text);
  body.remove('\r');
  box.setText(body);
  box.setTextFormat(Qt::PlainText);
  switch (type & 0xF0) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  box.setWindowModality(Qt::ApplicationModal);
  auto specs = ButtonsOf(type);
  std::vector<QPushButton*> buttons;
  for (const auto& s : specs) {
    QPushButton* b = box.addButton(QString::fromUtf8(s.text), s.role);
    b->setProperty("tacmonAnswer", s.answer);
    buttons.push_back(b);
  }
  size_t def = (type & MB_DEFBUTTON3) ? 2 : (type & MB_DEFBUTTON2) ? 1 : 0;
  if (def < buttons.size()) box.setDefaultButton(buttons[def]);
  // Closing the box by its frame answers as Windows does: Cancel when there is one,
  // otherwise the only button of an OK box; a Yes/No box cannot be closed that way.
  QPushButton* escape = nullptr;
  for (size_t i = 0; i < specs.size(); ++i)
    if (specs[i].answer == IDCANCEL) escape = buttons[i];
  if (!escape && specs.size() == 1) escape = buttons[0];
  if (escape) box.setEscapeButton(escape);
  box.exec();
  int answer = 0;
  if (auto* clicked = qobject_cast<QPushButton*>(box.clickedButton()))
    answer = clicked->property("tacmonAnswer").toInt();
  if (answer == 0) answer = (type & 0xF) == MB_YESNO ? IDNO : specs.size() == 1 ? IDOK : IDCANCEL;
  {
    std::lock_guard lock(g_historyLock);
    g_history[index].answer = answer;
  }
  return answer;
}

}  // namespace

int MessageBox(Dialog* owner, std::string_view text1251, std::string_view caption1251,
               unsigned type) {
  Text1251 text(text1251), caption(caption1251);
  if (IsUiThread()) return ShowOnUiThread(owner, text, caption, type);
  int answer = IDCANCEL;
  RunOnUiThread([&] { answer = ShowOnUiThread(nullptr, text, caption, type); });
  return answer;
}

std::vector<MessageBoxRecord> MessageBoxHistory() {
  std::lock_guard lock(g_historyLock);
  return g_history;
}

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "Cancel";
    case IDABORT:
      return "Abort";
    case IDRETRY:
      return "Retry";
    case IDIGNORE:
      return "Ignore";
    case IDYES:
      return "Yes";
    case IDNO:
      return "No";
    default:
      return "";
  }
}

}  // namespace ui
