// Resources of tacmon: dialog templates, menus, accelerator tables, bitmaps and cursors, all
// addressed by the numeric ids the windows use. Templates are written in a small text format
// (resources/*.rc, compiled into the program) and may also be registered from code:
//
//   DIALOG 142 "Механорецептор" 0 0 320 200 STYLE resizable MENU 0
//     BUTTON     1000  10  10 120 14 "Запись операции"
//     DEFBUTTON     1 250 180  60 14 "Выйти"
//     EDIT       1019  10  30 300 140 "" STYLE multiline readonly vscroll
//   END
//   MENU 129
//     POPUP "Файл"
//       ITEM 32771 "Загрузить"
//       SEPARATOR
//     END
//   END
//   ACCELERATORS 165
//     Down 32846
//     Multiply 32849
//   END
//
// Coordinates are dialog units (x*cx/4, y*cy/8 pixels with the dialog font's base units).
// Texts in the .rc text are UTF-8 with C escapes (\" \n \\) and are stored as CP1251.
// Lines starting with "//" or "#" are comments.
#pragma once

#include <QCursor>
#include <QImage>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"

namespace ui {

enum class ControlKind {
  Button,       // push button (BUTTON); DEFBUTTON is a Button with Style::Default
  CheckBox,     // auto check box
  RadioButton,  // auto radio button; a Style::Group radio starts a new group
  GroupBox,
  Static,   // text label (LTEXT; Style::Center / Style::Right for CTEXT / RTEXT)
  Frame,    // static frame or placeholder rectangle
  Picture,  // static bitmap (caption = bitmap id in decimal)
  Edit,
  ListBox,
  ComboBox,  // drop-down list; Style::Editable for an editable drop-down
  ListView,  // report-style list view with columns
  Trackbar,
  SpinButton,  // up-down arrows
  ProgressBar,
  ScrollBar,     // horizontal unless Style::Vertical
  BitmapButton,  // push button showing a bitmap (caption = bitmap id in decimal, or a text)
};

// Template style bits (several may be combined).
namespace Style {
inline constexpr uint32_t Hidden = 1u << 0;
inline constexpr uint32_t Disabled = 1u << 1;
inline constexpr uint32_t Default = 1u << 2;  // default push button (Enter)
inline constexpr uint32_t MultiLine = 1u << 3;
inline constexpr uint32_t ReadOnly = 1u << 4;
inline constexpr uint32_t Password = 1u << 5;
inline constexpr uint32_t Number = 1u << 6;
inline constexpr uint32_t VScroll = 1u << 7;
inline constexpr uint32_t HScroll = 1u << 8;
inline constexpr uint32_t Sort = 1u << 9;
inline constexpr uint32_t Vertical = 1u << 10;
inline constexpr uint32_t Group = 1u << 11;
inline constexpr uint32_t Center = 1u << 12;
inline constexpr uint32_t Right = 1u << 13;
inline constexpr uint32_t Editable = 1u << 14;
inline constexpr uint32_t MultiSelect = 1u << 15;  // extended selection (list box, list view)
inline constexpr uint32_t Border = 1u << 16;
inline constexpr uint32_t NoTicks = 1u << 17;     // trackbar without tick marks
inline constexpr uint32_t WantReturn = 1u << 18;  // multi-line edit keeps Enter
inline constexpr uint32_t Sunken = 1u << 19;
inline constexpr uint32_t Notify = 1u << 20;  // static control reports clicks
// Dialog styles
inline constexpr uint32_t Resizable = 1u << 24;
inline constexpr uint32_t NoFrame = 1u << 25;  // popup without caption
inline constexpr uint32_t Visible = 1u << 26;  // modeless dialog shows itself on Create
inline constexpr uint32_t MinimizeBox = 1u << 27;
inline constexpr uint32_t MaximizeBox = 1u << 28;
}  // namespace Style

struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  Text1251 caption;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  uint32_t style = 0;
};

struct DialogTemplate {
  int id = 0;
  Text1251 caption;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  uint32_t style = 0;
  int menuId = 0;      // 0: no menu bar
  int fontPoints = 8;  // dialog font size
  std::vector<ControlTemplate> controls;
  const ControlTemplate* Find(int controlId) const;
};

struct MenuItem {
  int id = 0;     // command id; 0 for a separator or a popup
  Text1251 text;  // "&" marks the mnemonic, "\t" starts a shortcut text
  bool separator = false;
  bool checked = false;
  bool disabled = false;
  std::vector<MenuItem> children;  // non-empty (or popup = true) for a popup
  bool popup = false;
};

struct MenuTemplate {
  int id = 0;
  std::vector<MenuItem> items;
};

// Accelerator keys use Qt key codes; modifiers are Qt::KeyboardModifiers bits (Shift,
// Control, Alt, Keypad).
struct Accelerator {
  int key = 0;
  unsigned modifiers = 0;
  int command = 0;
};

struct AcceleratorTable {
  int id = 0;
  std::vector<Accelerator> entries;
};

// Parses resource text and registers what it defines (a later definition of an id replaces
// the earlier one). On a syntax error returns false and sets error to "line N: ...".
bool RegisterResources(std::string_view rcText, std::string* error = nullptr);
void RegisterDialogTemplate(DialogTemplate t);
void RegisterMenu(MenuTemplate m);
void RegisterAccelerators(AcceleratorTable t);
void RegisterBitmap(int id, const QImage& image);
void RegisterCursor(int id, const QCursor& cursor);

// Lookups load the program's own resources (resources/*.rc and pictures) on first use.
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenu(int id);
const AcceleratorTable* FindAccelerators(int id);
QImage LoadBitmap(int id);   // a null image when there is none
QCursor LoadCursor(int id);  // an arrow when there is none

// Key by name as used in accelerator tables and the automation's "key" command: letters and
// digits, F1..F24, Up, Down, Left, Right, Home, End, PageUp, PageDown, Insert, Delete, Return,
// Escape, Tab, Space, Back, Add / Subtract / Multiply / Divide (keypad, also written Gray+,
// Gray-, Gray*, Gray/), with prefixes "Ctrl+", "Shift+", "Alt+". nullopt when unknown.
struct KeyChord {
  int key = 0;
  unsigned modifiers = 0;
};
std::optional<KeyChord> ParseKeyName(std::string_view name);

const char* ControlKindName(ControlKind k);

}  // namespace ui
