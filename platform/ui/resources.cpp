#include "platform/ui/resources.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>

namespace ui {
namespace {

struct Store {
  std::map<int, DialogTemplate> dialogs;
  std::map<int, MenuTemplate> menus;
  std::map<int, AcceleratorTable> accelerators;
  std::map<int, QImage> bitmaps;
  std::map<int, QCursor> cursors;
  std::map<int, QString> bitmapPaths;  // loaded on first use
  bool builtinsLoaded = false;
};

// Resources are registered and read on the UI thread; the lock keeps a stray worker call safe.
std::recursive_mutex g_storeLock;

Store& TheStore() {
  static Store s;
  return s;
}

void LoadBuiltins() {
  std::lock_guard lock(g_storeLock);
  Store& s = TheStore();
  if (s.builtinsLoaded) return;
  s.builtinsLoaded = true;
  QDir dir(":/tacmon");
  const QStringList files = dir.entryList({"*.rc"}, QDir::Files, QDir::Name);
  for (const QString& name : files) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::ReadOnly)) continue;
    std::string error;
    QByteArray text = f.readAll();
    if (!RegisterResources(std::string_view(text.constData(), size_t(text.size())), &error))
      fprintf(stderr, "resources/%s: %s\n", name.toUtf8().constData(), error.c_str());
  }
}

// ---- tokenizer --------------------------------------------------------------------------

struct Token {
  std::string text;
  bool quoted = false;
};

bool Tokenize(std::string_view line, std::vector<Token>& out, std::string& error) {
  out.clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i;
      continue;
    }
    if (c == '"') {
      Token t;
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size()) {
          char e = line[i++];
          switch (e) {
            case 'n':
              t.text += '\n';
              break;
            case 'r':
              t.text += '\r';
              break;
            case 't':
              t.text += '\t';
              break;
            default:
              t.text += e;
              break;
          }
        } else {
          t.text += d;
        }
      }
      if (!closed) {
        error = "unterminated string";
        return false;
      }
      out.push_back(std::move(t));
      continue;
    }
    Token t;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
           line[i] != ',')
      t.text += line[i++];
    out.push_back(std::move(t));
  }
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool ToInt(const Token& t, int& v) {
  if (t.quoted || t.text.empty()) return false;
  char* end = nullptr;
  long x = std::strtol(t.text.c_str(), &end, 0);
  if (*end) return false;
  v = int(x);
  return true;
}

bool StyleBit(const std::string& word, uint32_t& bits) {
  static const std::map<std::string, uint32_t> kBits = {
      {"HIDDEN", Style::Hidden},           {"DISABLED", Style::Disabled},
      {"DEFAULT", Style::Default},         {"MULTILINE", Style::MultiLine},
      {"READONLY", Style::ReadOnly},       {"PASSWORD", Style::Password},
      {"NUMBER", Style::Number},           {"VSCROLL", Style::VScroll},
      {"HSCROLL", Style::HScroll},         {"SORT", Style::Sort},
      {"VERTICAL", Style::Vertical},       {"GROUP", Style::Group},
      {"CENTER", Style::Center},           {"RIGHT", Style::Right},
      {"EDITABLE", Style::Editable},       {"MULTISELECT", Style::MultiSelect},
      {"BORDER", Style::Border},           {"NOTICKS", Style::NoTicks},
      {"WANTRETURN", Style::WantReturn},   {"SUNKEN", Style::Sunken},
      {"NOTIFY", Style::Notify},           {"RESIZABLE", Style::Resizable},
      {"NOFRAME", Style::NoFrame},         {"VISIBLE", Style::Visible},
      {"MINIMIZEBOX", Style::MinimizeBox}, {"MAXIMIZEBOX", Style::MaximizeBox},
  };
  auto it = kBits.find(Upper(word));
  if (it == kBits.end()) return false;
  bits |= it->second;
  return true;
}

struct KindWord {
  const char* word;
  ControlKind kind;
  uint32_t style;
};
const KindWord kKinds[] = {
    {"BUTTON", ControlKind::Button, 0},
    {"DEFBUTTON", ControlKind::Button, Style::Default},
    {"CHECKBOX", ControlKind::CheckBox, 0},
    {"RADIO", ControlKind::RadioButton, 0},
    {"GROUPBOX", ControlKind::GroupBox, 0},
    {"LTEXT", ControlKind::Static, 0},
    {"CTEXT", ControlKind::Static, Style::Center},
    {"RTEXT", ControlKind::Static, Style::Right},
    {"FRAME", ControlKind::Frame, 0},
    {"PICTURE", ControlKind::Picture, 0},
    {"EDIT", ControlKind::Edit, 0},
    {"LISTBOX", ControlKind::ListBox, 0},
    {"COMBOBOX", ControlKind::ComboBox, 0},
    {"LISTVIEW", ControlKind::ListView, 0},
    {"TRACKBAR", ControlKind::Trackbar, 0},
    {"SPIN", ControlKind::SpinButton, 0},
    {"PROGRESS", ControlKind::ProgressBar, 0},
    {"SCROLLBAR", ControlKind::ScrollBar, 0},
    {"BITMAPBUTTON", ControlKind::BitmapButton, 0},
};

// Reads "[STYLE word...]" and keyword options from position i; unknown words are errors.
bool ParseOptions(const std::vector<Token>& t, size_t i, uint32_t& style, int* menuId,
                  int* fontPoints, std::string& error) {
  bool inStyle = false;
  for (; i < t.size(); ++i) {
    std::string w = Upper(t[i].text);
    if (!t[i].quoted && w == "STYLE") {
      inStyle = true;
      continue;
    }
    if (!t[i].quoted && (w == "MENU" || w == "FONT") && (w == "MENU" ? menuId : fontPoints)) {
      int v = 0;
      if (i + 1 >= t.size() || !ToInt(t[i + 1], v)) {
        error = w + " needs a number";
        return false;
      }
      *(w == "MENU" ? menuId : fontPoints) = v;
      ++i;
      inStyle = false;
      continue;
    }
    if (inStyle && !t[i].quoted && StyleBit(t[i].text, style)) continue;
    error = "unexpected '" + t[i].text + "'";
    return false;
  }
  return true;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  auto& m = TheStore().dialogs;
  auto it = m.find(id);
  return it == m.end() ? nullptr : &it->second;
}

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  for (const auto& c : controls)
    if (c.id == controlId) return &c;
  return nullptr;
}

const MenuTemplate* FindMenu(int id) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  auto& m = TheStore().menus;
  auto it = m.find(id);
  return it == m.end() ? nullptr : &it->second;
}

const AcceleratorTable* FindAccelerators(int id) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  auto& m = TheStore().accelerators;
  auto it = m.find(id);
  return it == m.end() ? nullptr : &it->second;
}

QImage LoadBitmap(int id) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  Store& s = TheStore();
  auto it = s.bitmaps.find(id);
  if (it != s.bitmaps.end()) return it->second;
  auto p = s.bitmapPaths.find(id);
  if (p == s.bitmapPaths.end()) return QImage();
  QImage img(p->second);
  s.bitmaps[id] = img;
  return img;
}

QCursor LoadCursor(int id) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  Store& s = TheStore();
  auto it = s.cursors.find(id);
  if (it != s.cursors.end()) return it->second;
  // The program's cursors: splitters and the label tools of the push viewer.
  switch (id) {
    case 145:
      return QCursor(Qt::SplitVCursor);
    case 146:
      return QCursor(Qt::SplitHCursor);
    case 164:
      return QCursor(Qt::CrossCursor);
    case 165:
      return QCursor(Qt::ForbiddenCursor);
    case 166:
      return QCursor(Qt::SizeVerCursor);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

void RegisterDialogTemplate(DialogTemplate t) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  int id = t.id;
  TheStore().dialogs[id] = std::move(t);
}
void RegisterMenu(MenuTemplate m) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  int id = m.id;
  TheStore().menus[id] = std::move(m);
}
void RegisterAccelerators(AcceleratorTable t) {
  LoadBuiltins();
  std::lock_guard lock(g_storeLock);
  int id = t.id;
  TheStore().accelerators[id] = std::move(t);
}
void RegisterBitmap(int id, const QImage& image) {
  std::lock_guard lock(g_storeLock);
  TheStore().bitmaps[id] = image;
}
void RegisterCursor(int id, const QCursor& cursor) {
  std::lock_guard lock(g_storeLock);
  TheStore().cursors[id] = cursor;
}

std::optional<KeyChord> ParseKeyName(std::string_view name) {
  KeyChord k;
  std::string s(name);
  for (;;) {
    std::string u = Upper(s);
    if (u.rfind("CTRL+", 0) == 0) {
      k.modifiers |= Qt::ControlModifier;
      s = s.substr(5);
    } else if (u.rfind("SHIFT+", 0) == 0) {
      k.modifiers |= Qt::ShiftModifier;
      s = s.substr(6);
    } else if (u.rfind("ALT+", 0) == 0) {
      k.modifiers |= Qt::AltModifier;
      s = s.substr(4);
    } else {
      break;
    }
  }
  if (s.empty()) return std::nullopt;
  std::string u = Upper(s);
  static const std::map<std::string, std::pair<int, unsigned>> kNames = {
      {"UP", {Qt::Key_Up, 0}},
      {"DOWN", {Qt::Key_Down, 0}},
      {"LEFT", {Qt::Key_Left, 0}},
      {"RIGHT", {Qt::Key_Right, 0}},
      {"HOME", {Qt::Key_Home, 0}},
      {"END", {Qt::Key_End, 0}},
      {"PAGEUP", {Qt::Key_PageUp, 0}},
      {"PRIOR", {Qt::Key_PageUp, 0}},
      {"PAGEDOWN", {Qt::Key_PageDown, 0}},
      {"NEXT", {Qt::Key_PageDown, 0}},
      {"INSERT", {Qt::Key_Insert, 0}},
      {"DELETE", {Qt::Key_Delete, 0}},
      {"RETURN", {Qt::Key_Return, 0}},
      {"ENTER", {Qt::Key_Return, 0}},
      {"ESCAPE", {Qt::Key_Escape, 0}},
      {"ESC", {Qt::Key_Escape, 0}},
      {"TAB", {Qt::Key_Tab, 0}},
      {"SPACE", {Qt::Key_Space, 0}},
      {"BACK", {Qt::Key_Backspace, 0}},
      {"BACKSPACE", {Qt::Key_Backspace, 0}},
      {"ADD", {Qt::Key_Plus, Qt::KeypadModifier}},
      {"GRAY+", {Qt::Key_Plus, Qt::KeypadModifier}},
      {"SUBTRACT", {Qt::Key_Minus, Qt::KeypadModifier}},
      {"GRAY-", {Qt::Key_Minus, Qt::KeypadModifier}},
      {"MULTIPLY", {Qt::Key_Asterisk, Qt::KeypadModifier}},
      {"GRAY*", {Qt::Key_Asterisk, Qt::KeypadModifier}},
      {"DIVIDE", {Qt::Key_Slash, Qt::KeypadModifier}},
      {"GRAY/", {Qt::Key_Slash, Qt::KeypadModifier}},
  };
  auto it = kNames.find(u);
  if (it != kNames.end()) {
    k.key = it->second.first;
    k.modifiers |= it->second.second;
    return k;
  }
  if (u.size() == 1 && std::isalnum(static_cast<unsigned char>(u[0]))) {
    k.key = u[0];  // Qt::Key_0..9 and Key_A..Z equal their ASCII codes
    return k;
  }
  if (u.size() >= 2 && u[0] == 'F') {
    int n = std::atoi(u.c_str() + 1);
    if (n >= 1 && n <= 24 && u.find_first_not_of("0123456789", 1) == std::string::npos) {
      k.key = Qt::Key_F1 + n - 1;
      return k;
    }
  }
  return std::nullopt;
}

const char* ControlKindName(ControlKind k) {
  switch (k) {
    case ControlKind::Button:
      return "button";
    case ControlKind::CheckBox:
      return "checkbox";
    case ControlKind::RadioButton:
      return "radio";
    case ControlKind::GroupBox:
      return "groupbox";
    case ControlKind::Static:
      return "static";
    case ControlKind::Frame:
      return "frame";
    case ControlKind::Picture:
      return "picture";
    case ControlKind::Edit:
      return "edit";
    case ControlKind::ListBox:
      return "listbox";
    case ControlKind::ComboBox:
      return "combobox";
    case ControlKind::ListView:
      return "listview";
    case ControlKind::Trackbar:
      return "trackbar";
    case ControlKind::SpinButton:
      return "spin";
    case ControlKind::ProgressBar:
      return "progress";
    case ControlKind::ScrollBar:
      return "scrollbar";
    case ControlKind::BitmapButton:
      return "bitmapbutton";
  }
  return "?";
}

// ---- the resource text ---------------------------------------------------------------------

bool RegisterResources(std::string_view rcText, std::string* errorOut) {
  LoadBuiltins();  // the program's own resources first, so later texts may replace them
  std::vector<std::string_view> lines;
  for (size_t pos = 0; pos <= rcText.size();) {
    size_t nl = rcText.find('\n', pos);
    if (nl == std::string_view::npos) nl = rcText.size();
    lines.push_back(rcText.substr(pos, nl - pos));
    pos = nl + 1;
  }
  std::vector<DialogTemplate> dialogs;
  std::vector<MenuTemplate> menus;
  std::vector<AcceleratorTable> tables;
  std::vector<std::pair<int, QString>> bitmaps;

  enum class In { Top, Dialog, Menu, Accel };
  In in = In::Top;
  std::vector<std::vector<MenuItem>*> menuStack;
  size_t blockStart = 0;  // line of the open DIALOG, MENU or ACCELERATORS
  std::string error;
  std::vector<Token> t;
  size_t n = 0;
  auto fail = [&](const std::string& what) {
    if (errorOut) *errorOut = "line " + std::to_string(n) + ": " + what;
    return false;
  };
  for (n = 1; n <= lines.size(); ++n) {
    std::string_view line = lines[n - 1];
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) continue;
    if (line.substr(first, 2) == "//" || line[first] == '#') continue;
    if (!Tokenize(line, t, error)) return fail(error);
    if (t.empty()) continue;
    std::string head = t[0].quoted ? std::string() : Upper(t[0].text);
    switch (in) {
      case In::Top: {
        int id = 0;
        if (t.size() < 2 || !ToInt(t[1], id)) return fail("expected a resource id");
        blockStart = n;
        if (head == "DIALOG") {
          DialogTemplate d;
          d.id = id;
          if (t.size() < 7 || !t[2].quoted || !ToInt(t[3], d.x) || !ToInt(t[4], d.y) ||
              !ToInt(t[5], d.cx) || !ToInt(t[6], d.cy))
            return fail("DIALOG id \"caption\" x y cx cy expected");
          d.caption = Utf8ToCp1251(t[2].text);
          if (!ParseOptions(t, 7, d.style, &d.menuId, &d.fontPoints, error)) return fail(error);
          dialogs.push_back(std::move(d));
          in = In::Dialog;
        } else if (head == "MENU") {
          menus.push_back(MenuTemplate{id, {}});
          menuStack = {&menus.back().items};
          in = In::Menu;
        } else if (head == "ACCELERATORS") {
          tables.push_back(AcceleratorTable{id, {}});
          in = In::Accel;
        } else if (head == "BITMAP") {
          if (t.size() != 3 || !t[2].quoted) return fail("BITMAP id \"path\" expected");
          bitmaps.emplace_back(id, QString::fromStdString(t[2].text));
        } else {
          return fail("unknown resource '" + t[0].text + "'");
        }
        break;
      }
      case In::Dialog: {
        if (head == "END") {
          in = In::Top;
          break;
        }
        const KindWord* kw = nullptr;
        for (const auto& k : kKinds)
          if (head == k.word) kw = &k;
        if (!kw) return fail("unknown control kind '" + t[0].text + "'");
        ControlTemplate c;
        c.kind = kw->kind;
        c.style = kw->style;
        if (t.size() < 6 || !ToInt(t[1], c.id) || !ToInt(t[2], c.x) || !ToInt(t[3], c.y) ||
            !ToInt(t[4], c.cx) || !ToInt(t[5], c.cy))
          return fail(std::string(kw->word) + " id x y cx cy expected");
        size_t i = 6;
        if (i < t.size() && t[i].quoted) c.caption = Utf8ToCp1251(t[i++].text);
        if (!ParseOptions(t, i, c.style, nullptr, nullptr, error)) return fail(error);
        for (const auto& other : dialogs.back().controls)
          if (other.id == c.id && c.id != -1 && c.id != 0xFFFF)
            return fail("control id " + std::to_string(c.id) + " used twice");
        dialogs.back().controls.push_back(std::move(c));
        break;
      }
      case In::Menu: {
        if (head == "END") {
          menuStack.pop_back();
          if (menuStack.empty()) in = In::Top;
          break;
        }
        MenuItem item;
        if (head == "SEPARATOR") {
          item.separator = true;
          menuStack.back()->push_back(item);
        } else if (head == "POPUP") {
          if (t.size() < 2 || !t[1].quoted) return fail("POPUP \"text\" expected");
          item.popup = true;
          item.text = Utf8ToCp1251(t[1].text);
          menuStack.back()->push_back(std::move(item));
          menuStack.push_back(&menuStack.back()->back().children);
        } else if (head == "ITEM") {
          if (t.size() < 3 || !ToInt(t[1], item.id) || !t[2].quoted)
            return fail("ITEM id \"text\" expected");
          item.text = Utf8ToCp1251(t[2].text);
          for (size_t i = 3; i < t.size(); ++i) {
            std::string w = Upper(t[i].text);
            if (w == "CHECKED")
              item.checked = true;
            else if (w == "DISABLED" || w == "GRAYED")
              item.disabled = true;
            else
              return fail("unexpected '" + t[i].text + "'");
          }
          menuStack.back()->push_back(std::move(item));
        } else {
          return fail("POPUP, ITEM, SEPARATOR or END expected");
        }
        break;
      }
      case In::Accel: {
        if (head == "END") {
          in = In::Top;
          break;
        }
        auto key = ParseKeyName(t[0].text);
        int command = 0;
        if (!key) return fail("unknown key '" + t[0].text + "'");
        if (t.size() != 2 || !ToInt(t[1], command)) return fail("KEY command expected");
        tables.back().entries.push_back({key->key, key->modifiers, command});
        break;
      }
    }
  }
  if (in != In::Top) {
    n = blockStart;
    return fail("missing END");
  }
  std::lock_guard lock(g_storeLock);
  Store& s = TheStore();
  for (auto& d : dialogs) s.dialogs[d.id] = std::move(d);
  for (auto& m : menus) s.menus[m.id] = std::move(m);
  for (auto& a : tables) s.accelerators[a.id] = std::move(a);
  for (auto& [id, path] : bitmaps) {
    s.bitmapPaths[id] = path;
    s.bitmaps.erase(id);
  }
  return true;
}

}  // namespace ui
