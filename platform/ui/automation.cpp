#include "platform/ui/automation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "platform/file.h"
#include "platform/ui/detail/widgets.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"

namespace ui {

// Reaches the private routing of a Dialog on behalf of the scripted user.
class AutomationAccess {
 public:
  static void Notify(Dialog* d, const NotifyInfo& n) { d->Dispatch(n); }
  static QAction* MenuAction(Dialog* d, int id) {
    auto it = d->menuActions_.find(id);
    return it == d->menuActions_.end() ? nullptr : it->second;
  }
  static uint64_t Stamp(Dialog* d) {
    auto* w = static_cast<DialogWindow*>(d->Widget());
    return w ? w->ShownStamp() : 0;
  }
  static void Touch(Dialog* d) {
    if (auto* w = static_cast<DialogWindow*>(d->Widget())) w->Touch();
  }
};

namespace automation {
namespace {

using Clock = std::chrono::steady_clock;

struct State {
  std::string path;
  std::vector<std::string> lines;
  size_t next = 0;
  int attempts = 0;
  Clock::time_point waitUntil{};
  Clock::time_point untilDeadline{};  // of the "until" line being retried
  Clock::time_point retryStart{};
  bool actionPending = false;  // a user action queued but not yet begun
  bool running = false;
  bool quitting = false;
  bool exitWatchdog = false;  // the process ends by force if it outlives quit
  int exitStatus = 0;
  QTimer* timer = nullptr;
  QTimer* quitTimer = nullptr;
  std::map<std::string, Command> commands;
};

State& S() {
  static State s;
  return s;
}

constexpr int kAnswerWaitMs = 30000;  // longest wait for a box to answer
constexpr int64_t kScriptMaxBytes = int64_t(1) << 20;

std::string JsonEscape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out;
}

std::string Q(const QString& s) { return "\"" + JsonEscape(s.toStdString()) + "\""; }
std::string Q1251(const Text1251& s) { return "\"" + JsonEscape(Cp1251ToUtf8(s)) + "\""; }

std::string Geometry(QWidget* w) {
  QRect g = w->frameGeometry();
  std::ostringstream o;
  o << "{\"x\":" << g.x() << ",\"y\":" << g.y() << ",\"width\":" << g.width()
    << ",\"height\":" << g.height() << "}";
  return o.str();
}

// Runs fn from the event loop, so that a modal loop it opens does not block the script.
void Defer(std::function<void()> fn) {
  S().actionPending = true;
  QTimer::singleShot(0, qApp, [fn = std::move(fn)] {
    S().actionPending = false;
    fn();
  });
}

// The window a modal loop is waiting for: a Qt modal box or dialog, else the innermost
// dialog in a modal run.
QWidget* TopModal() {
  QWidget* m = QApplication::activeModalWidget();
  if (m && m->isVisible()) return m;
  auto& stack = ModalStack();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it)
    if ((*it)->Widget() && (*it)->Widget()->isVisible()) return (*it)->Widget();
  return nullptr;
}

QMessageBox* OpenMessageBox() {
  if (auto* box = qobject_cast<QMessageBox*>(TopModal())) return box;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}

bool ParseInt(const std::string& s, int& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  long x = std::strtol(s.c_str(), &end, 10);
  if (*end) return false;
  v = int(x);
  return true;
}

Result NeedActive(Context& c) {
  if (!c.active) {
    c.error = "no active window";
    return Result::Failed;
  }
  return Result::Done;
}

// Control id from args[0] in the active window, usable by a user (visible and enabled).
QWidget* UserControl(Context& c, int& id, bool needEnabled = true) {
  if (NeedActive(c) == Result::Failed) return nullptr;
  if (c.args.empty() || !ParseInt(c.args[0], id)) {
    c.error = "a control id is expected";
    return nullptr;
  }
  QWidget* w = c.active->Item(id);
  if (!w) {
    c.error =
        "no control " + std::to_string(id) + " in window " + std::to_string(c.active->TemplateId());
    return nullptr;
  }
  if (w->isHidden()) {
    c.error = "control " + std::to_string(id) + " is hidden";
    return nullptr;
  }
  if (needEnabled && !w->isEnabled()) {
    c.error = "control " + std::to_string(id) + " is disabled";
    return nullptr;
  }
  return w;
}

Result CmdClick(Context& c) {
  int id = 0;
  QWidget* w = UserControl(c, id);
  if (!w) return Result::Failed;
  auto* b = qobject_cast<QAbstractButton*>(w);
  if (!b) {
    c.error = "control " + std::to_string(id) + " is not a button";
    return Result::Failed;
  }
  QPointer<QAbstractButton> p(b);
  Defer([p] {
    if (p) p->click();
  });
  return Result::Done;
}

Result CmdCheck(Context& c) {
  int id = 0, state = 0;
  QWidget* w = UserControl(c, id);
  if (!w) return Result::Failed;
  auto* b = qobject_cast<QAbstractButton*>(w);
  if (!b || c.args.size() != 2 || !ParseInt(c.args[1], state) || state < 0 || state > 1) {
    c.error = "check ID 0|1 on a check box or radio button";
    return Result::Failed;
  }
  QPointer<QAbstractButton> p(b);
  Defer([p, state] {
    if (!p) return;
    bool want = state == 1;
    if (p->isChecked() != want) p->click();  // a user click toggles and notifies
  });
  return Result::Done;
}

Result CmdText(Context& c) {
  int id = 0;
  QWidget* w = UserControl(c, id);
  if (!w) return Result::Failed;
  // Everything after the id, as written.
  std::string text;
  size_t pos = c.rest.find(c.args[0]);
  if (pos != std::string::npos) {
    pos += c.args[0].size();
    if (pos < c.rest.size() && c.rest[pos] == ' ') ++pos;
    text = c.rest.substr(pos);
  }
  QString q = QString::fromStdString(text);
  QPointer<QWidget> p(w);
  if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
      (qobject_cast<QComboBox*>(w) && static_cast<QComboBox*>(w)->isEditable())) {
    Defer([p, q] {
      if (auto* e = qobject_cast<QLineEdit*>(p.data()))
        e->setText(q);
      else if (auto* pe = qobject_cast<QPlainTextEdit*>(p.data()))
        pe->setPlainText(q);
      else if (auto* cb = qobject_cast<QComboBox*>(p.data()))
        cb->setEditText(q);
    });
    return Result::Done;
  }
  c.error = "control " + std::to_string(id) + " takes no text";
  return Result::Failed;
}

Result CmdSelect(Context& c) {
  int id = 0, index = 0;
  QWidget* w = UserControl(c, id);
  if (!w) return Result::Failed;
  if (c.args.size() != 2 || !ParseInt(c.args[1], index)) {
    c.error = "select ID INDEX";
    return Result::Failed;
  }
  Dialog* d = c.active;
  QPointer<QWidget> p(w);
  if (auto* l = qobject_cast<QListWidget*>(w)) {
    if (index < 0 || index >= l->count()) {
      c.error = "no item " + std::to_string(index) + " in list " + std::to_string(id);
      return Result::Failed;
    }
    Defer([p, index] {
      if (auto* l = qobject_cast<QListWidget*>(p.data())) {
        l->setCurrentRow(index);  // the selection signal notifies as a click would
        l->item(index)->setSelected(true);
      }
    });
    return Result::Done;
  }
  if (auto* cb = qobject_cast<QComboBox*>(w)) {
    if (index < 0 || index >= cb->count()) {
      c.error = "no item " + std::to_string(index) + " in combo box " + std::to_string(id);
      return Result::Failed;
    }
    Defer([p, index] {
      if (auto* cb = qobject_cast<QComboBox*>(p.data())) {
        cb->setCurrentIndex(index);
        emit cb->activated(index);
      }
    });
    return Result::Done;
  }
  if (auto* t = qobject_cast<QTreeWidget*>(w)) {
    if (index < 0 || index >= t->topLevelItemCount()) {
      c.error = "no row " + std::to_string(index) + " in list view " + std::to_string(id);
      return Result::Failed;
    }
    Defer([p, index] {
      if (auto* t = qobject_cast<QTreeWidget*>(p.data())) {
        t->clearSelection();
        t->setCurrentItem(t->topLevelItem(index));
        t->topLevelItem(index)->setSelected(true);
        emit t->itemClicked(t->topLevelItem(index), 0);
      }
    });
    return Result::Done;
  }
  if (qobject_cast<QAbstractSlider*>(w)) {
    Defer([p, index] {
      if (auto* s = qobject_cast<QAbstractSlider*>(p.data())) {
        s->setSliderDown(true);  // a drag: THUMBTRACK, then THUMBPOSITION on release
        s->setSliderPosition(index);
        s->setSliderDown(false);
      }
    });
    (void)d;
    return Result::Done;
  }
  c.error = "control " + std::to_string(id) + " has no items";
  return Result::Failed;
}

Result CmdDblClick(Context& c) {
  int id = 0, index = 0;
  QWidget* w = UserControl(c, id);
  if (!w) return Result::Failed;
  if (c.args.size() != 2 || !ParseInt(c.args[1], index)) {
    c.error = "dblclick ID INDEX";
    return Result::Failed;
  }
  QPointer<QWidget> p(w);
  if (auto* l = qobject_cast<QListWidget*>(w); l && index >= 0 && index < l->count()) {
    Defer([p, index] {
      if (auto* l = qobject_cast<QListWidget*>(p.data())) {
        l->setCurrentRow(index);
        emit l->itemDoubleClicked(l->item(index));
      }
    });
    return Result::Done;
  }
  if (auto* t = qobject_cast<QTreeWidget*>(w); t && index >= 0 && index < t->topLevelItemCount()) {
    Defer([p, index] {
      if (auto* t = qobject_cast<QTreeWidget*>(p.data())) {
        t->clearSelection();
        t->setCurrentItem(t->topLevelItem(index));
        emit t->itemDoubleClicked(t->topLevelItem(index), 0);
      }
    });
    return Result::Done;
  }
  c.error = "no item " + std::to_string(index) + " in list " + std::to_string(id);
  return Result::Failed;
}

Result CmdMenu(Context& c) {
  int id = 0;
  if (c.args.size() != 1 || !ParseInt(c.args[0], id)) {
    c.error = "menu ID";
    return Result::Failed;
  }
  if (QMenu* popup = OpenPopupMenu()) {
    for (QAction* a : popup->actions()) {
      if (a->property("tacmonId").toInt() == id && !a->isSeparator()) {
        QPointer<QMenu> pm(popup);
        QPointer<QAction> pa(a);
        Defer([pm, pa] {
          if (pm && pa) {
            pm->setActiveAction(pa);
            pa->trigger();
            pm->close();
          }
        });
        return Result::Done;
      }
    }
    c.error = "no item " + std::to_string(id) + " in the open popup menu";
    return Result::Failed;
  }
  if (NeedActive(c) == Result::Failed) return Result::Failed;
  QAction* a = AutomationAccess::MenuAction(c.active, id);
  if (!a) {
    c.error = "no menu item " + std::to_string(id) + " in window " +
              std::to_string(c.active->TemplateId());
    return Result::Failed;
  }
  if (!a->isEnabled()) {
    c.error = "menu item " + std::to_string(id) + " is disabled";
    return Result::Failed;
  }
  QPointer<QAction> pa(a);
  Defer([pa] {
    if (pa) pa->trigger();
  });
  return Result::Done;
}

Result CmdKey(Context& c) {
  if (c.args.size() != 1) {
    c.error = "key NAME";
    return Result::Failed;
  }
  auto k = ParseKeyName(c.args[0]);
  if (!k) {
    c.error = "unknown key '" + c.args[0] + "'";
    return Result::Failed;
  }
  QWidget* target = TopModal();
  if (!qobject_cast<QMessageBox*>(target)) {
    if (NeedActive(c) == Result::Failed) return Result::Failed;
    target = c.active->ClientWidget();
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus->window() == c.active->Widget()) target = focus;
  }
  QPointer<QWidget> p(target);
  KeyChord chord = *k;
  Defer([p, chord] {
    if (!p) return;
    QString text;
    if (chord.key >= 0x20 && chord.key < 0x7F && !(chord.modifiers & Qt::ControlModifier))
      text = QChar(chord.key);
    QKeyEvent press(QEvent::KeyPress, chord.key, Qt::KeyboardModifiers(chord.modifiers), text);
    QApplication::sendEvent(p.data(), &press);
    if (!p) return;
    QKeyEvent release(QEvent::KeyRelease, chord.key, Qt::KeyboardModifiers(chord.modifiers), text);
    QApplication::sendEvent(p.data(), &release);
  });
  return Result::Done;
}

Result CmdAnswer(Context& c) {
  if (c.args.size() != 1) {
    c.error = "answer OK|Cancel|Yes|No";
    return Result::Failed;
  }
  static const std::map<std::string, int> kAnswers = {
      {"OK", IDOK},       {"CANCEL", IDCANCEL}, {"YES", IDYES},      {"NO", IDNO},
      {"ABORT", IDABORT}, {"RETRY", IDRETRY},   {"IGNORE", IDIGNORE}};
  std::string u = c.args[0];
  for (char& ch : u) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  auto it = kAnswers.find(u);
  if (it == kAnswers.end()) {
    c.error = "unknown answer '" + c.args[0] + "'";
    return Result::Failed;
  }
  int answer = it->second;
  QWidget* modal = TopModal();
  if (!modal) modal = OpenMessageBox();
  if (!modal) {
    if (c.attempts * 10 >= kAnswerWaitMs) {
      c.error = "no message box or modal dialog to answer";
      return Result::Failed;
    }
    return Result::Retry;
  }
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    for (QAbstractButton* b : box->buttons()) {
      if (b->property("tacmonAnswer").toInt() == answer) {
        QPointer<QAbstractButton> p(b);
        Defer([p] {
          if (p) p->click();
        });
        return Result::Done;
      }
    }
    c.error = "the message box has no " + c.args[0] + " button";
    return Result::Failed;
  }
  if (Dialog* d = DialogOf(modal)) {
    QPointer<QWidget> p(modal);
    Defer([p, d, answer] {
      if (p && DialogOf(p.data()) == d) d->SendCommand(answer);
    });
    return Result::Done;
  }
  if (auto* dlg = qobject_cast<QDialog*>(modal)) {
    if (answer != IDOK && answer != IDCANCEL) {
      c.error = "this dialog answers only OK or Cancel";
      return Result::Failed;
    }
    QPointer<QDialog> p(dlg);
    Defer([p, answer] {
      if (!p) return;
      if (answer == IDOK)
        p->accept();
      else
        p->reject();
    });
    return Result::Done;
  }
  c.error = "the modal window cannot be answered";
  return Result::Failed;
}

Result CmdDump(Context& c) {
  if (c.rest.empty()) {
    c.error = "dump FILE";
    return Result::Failed;
  }
  std::string json = DumpJson();
  if (WriteWholeFile(c.rest, json) != 0) {
    c.error = "cannot write " + c.rest;
    return Result::Failed;
  }
  return Result::Done;
}

Result CmdSnapshot(Context& c) {
  if (c.rest.empty()) {
    c.error = "snapshot FILE.png";
    return Result::Failed;
  }
  QWidget* w = OpenMessageBox();
  if (!w) {
    if (NeedActive(c) == Result::Failed) return Result::Failed;
    w = c.active->Widget();
  }
  QPixmap shot = w->grab();
  if (shot.isNull() || !shot.save(QString::fromStdString(c.rest), "PNG")) {
    c.error = "cannot write " + c.rest;
    return Result::Failed;
  }
  return Result::Done;
}

Result CmdWait(Context& c) {
  int ms = 0;
  if (c.args.size() != 1 || !ParseInt(c.args[0], ms) || ms < 0) {
    c.error = "wait MS";
    return Result::Failed;
  }
  S().waitUntil = Clock::now() + std::chrono::milliseconds(ms);
  return Result::Done;
}

Result CmdQuit(Context&) {
  Quit(0);
  return Result::Done;
}

Result CmdActivate(Context& c) {
  int id = 0;
  if (c.args.size() != 1 || !ParseInt(c.args[0], id)) {
    c.error = "activate TEMPLATE_ID";
    return Result::Failed;
  }
  auto open = OpenDialogs();
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    if ((*it)->TemplateId() == id && (*it)->IsWindowVisible()) {
      AutomationAccess::Touch(*it);
      return Result::Done;
    }
  }
  c.error = "no open window " + std::to_string(id);
  return Result::Failed;
}

Result CmdMouse(Context& c) {
  int x = 0, y = 0;
  if (c.args.size() != 3 || !ParseInt(c.args[1], x) || !ParseInt(c.args[2], y)) {
    c.error = "mouse down|up|move|dblclk|rdown|rup X Y";
    return Result::Failed;
  }
  if (NeedActive(c) == Result::Failed) return Result::Failed;
  return Mouse(*c.active, c.args[0], x, y, c.error);
}

// until ID shown|hidden|enabled|disabled MS: waits until the control of the active window is
// so, at most MS milliseconds.
Result CmdUntil(Context& c) {
  int id = 0, ms = 0;
  static const char* const kStates[] = {"shown", "hidden", "enabled", "disabled"};
  if (c.args.size() != 3 || !ParseInt(c.args[0], id) || !ParseInt(c.args[2], ms) || ms < 0 ||
      std::find(std::begin(kStates), std::end(kStates), c.args[1]) == std::end(kStates)) {
    c.error = "until ID shown|hidden|enabled|disabled MS";
    return Result::Failed;
  }
  if (NeedActive(c) == Result::Failed) return Result::Failed;
  if (c.attempts == 0) S().untilDeadline = Clock::now() + std::chrono::milliseconds(ms);
  QWidget* w = c.active->Item(id);
  if (!w) {
    c.error =
        "no control " + std::to_string(id) + " in window " + std::to_string(c.active->TemplateId());
    return Result::Failed;
  }
  const std::string& state = c.args[1];
  const bool reached = state == "shown"     ? !w->isHidden()
                       : state == "hidden"  ? w->isHidden()
                       : state == "enabled" ? w->isEnabled()
                                            : !w->isEnabled();
  if (reached) return Result::Done;
  if (Clock::now() >= S().untilDeadline) {
    c.error =
        "control " + std::to_string(id) + " not " + state + " within " + std::to_string(ms) + " ms";
    return Result::Failed;
  }
  return Result::Retry;
}

Result CmdFile(Context& c) {
  if (c.rest.empty()) {
    c.error = "file PATH";
    return Result::Failed;
  }
  QFileDialog* dlg = qobject_cast<QFileDialog*>(TopModal());
  if (!dlg) {
    if (c.attempts * 10 >= kAnswerWaitMs) {
      c.error = "no file dialog open";
      return Result::Failed;
    }
    return Result::Retry;
  }
  QPointer<QFileDialog> p(dlg);
  QString path = QString::fromStdString(c.rest);
  Defer([p, path] {
    if (!p) return;
    // Typed as a user would: the folder, then the name in the name field (selectFile goes
    // through the dialog's file system model, which fills itself asynchronously).
    QFileInfo info(path);
    p->setDirectory(info.absolutePath());
    if (auto* edit = p->findChild<QLineEdit*>("fileNameEdit"))
      edit->setText(info.fileName());
    else
      p->selectFile(path);
    static_cast<QDialog*>(p.data())->accept();
  });
  return Result::Done;
}

Result CmdClose(Context& c) {
  if (NeedActive(c) == Result::Failed) return Result::Failed;
  QPointer<QWidget> p(c.active->Widget());
  Defer([p] {
    if (p) p->close();  // as the frame's close button: the dialog's OnClose decides
  });
  return Result::Done;
}

void RegisterBuiltins() {
  auto& m = S().commands;
  if (!m.empty()) return;
  m["click"] = CmdClick;
  m["check"] = CmdCheck;
  m["text"] = CmdText;
  m["select"] = CmdSelect;
  m["menu"] = CmdMenu;
  m["key"] = CmdKey;
  m["answer"] = CmdAnswer;
  m["dump"] = CmdDump;
  m["snapshot"] = CmdSnapshot;
  m["wait"] = CmdWait;
  m["quit"] = CmdQuit;
  m["activate"] = CmdActivate;
  m["mouse"] = CmdMouse;
  m["file"] = CmdFile;
  m["dblclick"] = CmdDblClick;
  m["close"] = CmdClose;
  m["until"] = CmdUntil;
}

void Fail(int line, const std::string& error) {
  std::fprintf(stderr, "%s:%d: %s\n", S().path.c_str(), line, error.c_str());
  std::fflush(stderr);
  Quit(1);
}

void Tick() {
  State& s = S();
  if (s.quitting || s.actionPending) return;
  if (Clock::now() < s.waitUntil) return;
  while (s.next < s.lines.size()) {
    std::string line = s.lines[s.next];
    int lineNo = int(s.next) + 1;
    size_t a = line.find_first_not_of(" \t\r");
    if (a == std::string::npos || line[a] == '#') {
      ++s.next;
      continue;
    }
    size_t b = line.find_last_not_of(" \t\r");
    line = line.substr(a, b - a + 1);
    Context c;
    c.line = lineNo;
    c.active = ActiveWindow();
    c.attempts = s.attempts;
    size_t sp = line.find_first_of(" \t");
    std::string name = line.substr(0, sp);
    if (sp != std::string::npos) {
      c.rest = line.substr(line.find_first_not_of(" \t", sp));
      std::istringstream words(c.rest);
      for (std::string w; words >> w;) c.args.push_back(w);
    }
    auto it = s.commands.find(name);
    if (it == s.commands.end()) {
      ++s.next;
      Fail(lineNo, "unknown command '" + name + "'");
      return;
    }
    // The line counts as taken before it runs: a command may open a modal loop in which
    // the following lines go on.
    ++s.next;
    Result r = it->second(c);
    if (r == Result::Retry) {
      --s.next;
      ++s.attempts;
      return;
    }
    s.attempts = 0;
    if (r == Result::Failed) {
      Fail(lineNo, c.error.empty() ? "failed" : c.error);
      return;
    }
    return;  // one line per idle moment
  }
  if (s.next >= s.lines.size() && s.timer) {
    s.timer->stop();
    s.running = false;
  }
}

void QuitStep() {
  // Ends the innermost modal window first; the main dialog ends last.
  if (QWidget* m = TopModal()) {
    if (auto* box = qobject_cast<QMessageBox*>(m)) {
      QAbstractButton* esc = box->escapeButton();
      if (!esc && !box->buttons().isEmpty()) esc = box->buttons().back();
      if (esc)
        esc->click();
      else
        box->done(0);
    } else if (Dialog* d = DialogOf(m)) {
      d->EndDialog(IDCANCEL);
    } else if (auto* dlg = qobject_cast<QDialog*>(m)) {
      dlg->reject();
    } else {
      m->close();
    }
    return;
  }
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible()) menu->close();
  for (Dialog* d : OpenDialogs())
    if (d->IsModal()) d->EndDialog(IDCANCEL);
}

}  // namespace

void RegisterCommand(const std::string& name, Command command) {
  RegisterBuiltins();
  S().commands[name] = std::move(command);
}

bool Start(const std::string& scriptPath) {
  RegisterBuiltins();
  State& s = S();
  std::string text;
  if (!ReadWholeFile(scriptPath, text, /*textMode=*/false, kScriptMaxBytes)) return false;
  s.path = scriptPath;
  s.lines.clear();
  for (size_t pos = 0; pos < text.size();) {
    size_t end = std::min(text.find('\n', pos), text.size());
    s.lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  s.next = 0;
  s.attempts = 0;
  s.waitUntil = {};
  s.actionPending = false;
  s.quitting = false;
  s.exitStatus = 0;
  if (s.quitTimer) s.quitTimer->stop();
  s.running = true;
  if (!s.timer) {
    s.timer = new QTimer(qApp);
    QObject::connect(s.timer, &QTimer::timeout, [] { Tick(); });
  }
  s.timer->start(10);
  return true;
}

bool Running() { return S().running; }

void ArmExitWatchdog() { S().exitWatchdog = true; }
int ExitStatus() { return S().exitStatus; }

void Quit(int status) {
  State& s = S();
  if (status > s.exitStatus) s.exitStatus = status;
  if (s.quitting) return;
  s.quitting = true;
  s.running = false;
  if (s.timer) s.timer->stop();
  if (!s.quitTimer) {
    s.quitTimer = new QTimer(qApp);
    QObject::connect(s.quitTimer, &QTimer::timeout, [] { QuitStep(); });
  }
  s.quitTimer->start(20);
  // A program that does not leave its dialogs within the limit is ended here.
  if (!s.exitWatchdog) return;
  int code = s.exitStatus;
  std::thread([code] {
    std::this_thread::sleep_for(std::chrono::seconds(15));
    std::fprintf(stderr, "automation: the program did not end after quit\n");
    std::fflush(nullptr);
    std::_Exit(code ? code : 2);
  }).detach();
}

Result Mouse(Dialog& target, const std::string& action, int x, int y, std::string& error) {
  QEvent::Type type;
  Qt::MouseButton button = Qt::LeftButton;
  if (action == "down")
    type = QEvent::MouseButtonPress;
  else if (action == "up")
    type = QEvent::MouseButtonRelease;
  else if (action == "move")
    type = QEvent::MouseMove, button = Qt::NoButton;
  else if (action == "dblclk")
    type = QEvent::MouseButtonDblClick;
  else if (action == "rdown")
    type = QEvent::MouseButtonPress, button = Qt::RightButton;
  else if (action == "rup")
    type = QEvent::MouseButtonRelease, button = Qt::RightButton;
  else {
    error = "unknown mouse action '" + action + "'";
    return Result::Failed;
  }
  QPointer<QWidget> p(target.ClientWidget());
  Defer([p, type, button, x, y] {
    if (!p) return;
    QPointF local(x, y);
    Qt::MouseButtons held = (type == QEvent::MouseButtonRelease) ? Qt::NoButton : button;
    QMouseEvent e(type, local, p->mapToGlobal(local), button, held, Qt::NoModifier);
    QWidget* inner = p->childAt(x, y);
    if (!inner)
      inner = p.data();
    else {
      QMouseEvent ce(type, inner->mapFrom(p.data(), local), p->mapToGlobal(local), button, held,
                     Qt::NoModifier);
      QApplication::sendEvent(inner, &ce);
      return;
    }
    QApplication::sendEvent(inner, &e);
  });
  return Result::Done;
}

Dialog* ActiveWindow() {
  Dialog* best = nullptr;
  uint64_t stamp = 0;
  for (Dialog* d : OpenDialogs()) {
    if (!d->IsWindowVisible()) continue;
    uint64_t st = AutomationAccess::Stamp(d);
    if (!best || st >= stamp) {
      best = d;
      stamp = st;
    }
  }
  return best;
}

std::string DumpJson() {
  std::ostringstream o;
  Dialog* active = ActiveWindow();
  o << "{\n  \"windows\": [";
  bool firstWindow = true;
  for (Dialog* d : OpenDialogs()) {
    QWidget* win = d->Widget();
    if (!win) continue;
    o << (firstWindow ? "\n" : ",\n");
    firstWindow = false;
    o << "    {\"class\":" << Q(QString::fromStdString(d->ClassName()))
      << ",\"template\":" << d->TemplateId() << ",\"caption\":" << Q1251(d->Caption())
      << ",\"visible\":" << (d->IsWindowVisible() ? "true" : "false")
      << ",\"active\":" << (d == active ? "true" : "false")
      << ",\"modal\":" << (d->IsModal() ? "true" : "false") << ",\"geometry\":" << Geometry(win)
      << ",\"controls\":[";
    bool firstControl = true;
    for (int id : d->ItemIds()) {
      QWidget* w = d->Item(id);
      if (!w) continue;
      ControlKind kind = d->ItemKind(id);
      o << (firstControl ? "\n" : ",\n");
      firstControl = false;
      std::string items = "[]";
      std::string selection = "-1";
      bool checked = false;
      if (auto* b = qobject_cast<QAbstractButton*>(w)) checked = b->isChecked();
      if (auto* l = qobject_cast<QListWidget*>(w)) {
        items = "[";
        for (int i = 0; i < l->count(); ++i) items += (i ? "," : "") + Q(l->item(i)->text());
        items += "]";
        selection = std::to_string(d->ListBoxItem(id).GetCurSel());
      } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        items = "[";
        for (int i = 0; i < cb->count(); ++i) items += (i ? "," : "") + Q(cb->itemText(i));
        items += "]";
        selection = std::to_string(cb->currentIndex());
      } else if (auto* t = qobject_cast<QTreeWidget*>(w)) {
        items = "[";
        for (int i = 0; i < t->topLevelItemCount(); ++i) {
          items += i ? ",[" : "[";
          for (int col = 0; col < t->columnCount(); ++col)
            items += (col ? "," : "") + Q(t->topLevelItem(i)->text(col));
          items += "]";
        }
        items += "]";
        selection = std::to_string(d->ListViewItem(id).GetSelectionMark());
      } else if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        selection = std::to_string(s->sliderPosition());
      } else if (auto* pb = qobject_cast<QProgressBar*>(w)) {
        selection = std::to_string(pb->value());
      }
      o << "      {\"id\":" << id << ",\"kind\":\"" << ControlKindName(kind)
        << "\",\"text\":" << Q1251(d->ItemText(id))
        << ",\"visible\":" << (w->isHidden() ? "false" : "true")
        << ",\"enabled\":" << (w->isEnabled() ? "true" : "false")
        << ",\"checked\":" << (checked ? "true" : "false") << ",\"items\":" << items
        << ",\"selection\":" << selection << "}";
    }
    o << (firstControl ? "]}" : "\n    ]}");
  }
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box || !box->isVisible()) continue;
    o << (firstWindow ? "\n" : ",\n");
    firstWindow = false;
    o << "    {\"class\":\"MessageBox\",\"template\":0,\"caption\":" << Q(box->windowTitle())
      << ",\"text\":" << Q(box->text())
      << ",\"visible\":true,\"active\":" << (TopModal() == box ? "true" : "false")
      << ",\"modal\":true,\"geometry\":" << Geometry(box) << ",\"controls\":[";
    bool first = true;
    for (QAbstractButton* b : box->buttons()) {
      o << (first ? "" : ",") << "{\"id\":" << b->property("tacmonAnswer").toInt()
        << ",\"kind\":\"button\",\"text\":" << Q(b->text())
        << ",\"visible\":true,\"enabled\":true,\"checked\":false,\"items\":[],\"selection\":-1}";
      first = false;
    }
    o << "]}";
  }
  // Other modal windows (file and print dialogs): class and caption only.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dlg = qobject_cast<QDialog*>(w);
    if (!dlg || !dlg->isVisible() || qobject_cast<QMessageBox*>(w) || DialogOf(w)) continue;
    o << (firstWindow ? "\n" : ",\n");
    firstWindow = false;
    o << "    {\"class\":" << Q(QString::fromLatin1(dlg->metaObject()->className()))
      << ",\"template\":0,\"caption\":" << Q(dlg->windowTitle())
      << ",\"visible\":true,\"active\":" << (TopModal() == dlg ? "true" : "false")
      << ",\"modal\":" << (dlg->isModal() ? "true" : "false") << ",\"geometry\":" << Geometry(dlg)
      << ",\"controls\":[]}";
  }
  o << (firstWindow ? "],\n" : "\n  ],\n");
  o << "  \"messageBoxes\": [";
  auto history = MessageBoxHistory();
  for (size_t i = 0; i < history.size(); ++i) {
    o << (i ? ",\n" : "\n") << "    {\"caption\":" << Q1251(history[i].caption)
      << ",\"text\":" << Q1251(history[i].text) << ",\"answer\":\"" << AnswerName(history[i].answer)
      << "\"}";
  }
  o << (history.empty() ? "]\n}\n" : "\n  ]\n}\n");
  return o.str();
}

}  // namespace automation
}  // namespace ui
