// Dialog windows built from templates (resources.h), in the manner of a Windows dialog framework:
// controls addressed by numeric id, a message map routing user actions, menu and accelerator
// commands, posted numbered messages and window timers to handlers, modal and modeless runs.
//
//   class KCDExample : public ui::Dialog {
//    public:
//     KCDExample() : Dialog(142) {
//       OnCommand(1000, [this] { StartRecording(); });
//       OnScroll(1009, [this](int code, int pos) { Seek(code, pos); });
//       OnMessage(1046, [this](uintptr_t, intptr_t) { CopyStatus(); return 0; });
//     }
//     bool OnInitDialog() override { SetItemText(1019, "..."_cp); return true; }
//   };
//   KCDExample dlg; int code = dlg.DoModal();
//
// Notifications come from user actions only: setting a list selection, a check mark, a
// trackbar or scroll position from code notifies nothing (as on Windows). Setting an edit's
// text does report Notify::Change, as EN_CHANGE does.
//
// Every dialog with a window is a MessageTarget (platform/thread.h): Handle() can be given to
// worker threads, which PostMessageTo / SendMessageTimeoutTo it; the handlers registered with
// OnMessage run on the UI thread. After the window is destroyed posts fail harmlessly.
// All methods are for the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/cp1251.h"
#include "platform/thread.h"
#include "platform/ui/canvas.h"
#include "platform/ui/geometry.h"
#include "platform/ui/resources.h"

class QWidget;
class QListWidget;
class QComboBox;
class QTreeWidget;
class QAbstractSlider;
class QProgressBar;
class QAbstractButton;
class QMenu;
class QMenuBar;
class QAction;
class QTimer;
class QEventLoop;

namespace ui {

class Dialog;
class DialogWindow;
class DialogClient;
class SpinButtonWidget;
struct DialogTargetState;

// Standard command ids and show modes.
inline constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
                     IDNO = 7, IDHELP = 9;
inline constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
                     SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_RESTORE = 9;

// Scroll codes of trackbars, scroll bars and spin buttons (SB_* / TB_*).
inline constexpr int SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3,
                     SB_THUMBPOSITION = 4, SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7,
                     SB_ENDSCROLL = 8;

// Mouse key flags of the mouse handlers (MK_*).
inline constexpr unsigned MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8,
                          MK_MBUTTON = 16;

enum class Notify {
  Clicked,        // button, check box, radio button, clickable static; list view item click
  DoubleClicked,  // list box / list view item double click
  SelChange,      // list box, combo box selection; list view selected item changed
  Change,         // edit text changed
  SetFocus,
  KillFocus,
  Scroll,       // trackbar, scroll bar, spin button: code and position
  RightClick,   // list view / list box item right click
  ColumnClick,  // list view header
  DropDown,     // combo box list about to open
};

struct NotifyInfo {
  int id = 0;
  Notify code = Notify::Clicked;
  int scrollCode = -1;  // Notify::Scroll: SB_* code
  int pos = 0;          // Notify::Scroll: the new position
  int item = -1;        // list views, list boxes: row
  int subItem = -1;     // list views: column
};

// ---- typed views of controls (cheap values; invalid when the id has no such control) -------

class ListBox {
 public:
  explicit ListBox(QListWidget* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  int AddString(std::string_view text);                // index (sorted lists insert in order)
  int InsertString(int index, std::string_view text);  // -1 appends
  int DeleteString(int index);                         // remaining count, -1 on a bad index
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;      // -1 when none
  bool SetCurSel(int index);  // -1 clears
  std::vector<int> GetSelItems() const;
  void SetSel(int index, bool selected);
  Text1251 GetText(int index) const;
  void SetItemData(int index, intptr_t data);
  intptr_t GetItemData(int index) const;
  int FindStringExact(std::string_view text) const;  // -1 when absent
  int GetTopIndex() const;
  void SetTopIndex(int index);
  QListWidget* Widget() const { return w_; }

 private:
  QListWidget* w_;
};

class ComboBox {
 public:
  explicit ComboBox(QComboBox* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  int AddString(std::string_view text);
  int InsertString(int index, std::string_view text);
  int DeleteString(int index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  bool SetCurSel(int index);
  Text1251 GetLBText(int index) const;
  int SelectString(std::string_view text);  // exact match; the index or -1
  void SetItemData(int index, intptr_t data);
  intptr_t GetItemData(int index) const;
  QComboBox* Widget() const { return w_; }

 private:
  QComboBox* w_;
};

class ListView {
 public:
  explicit ListView(QTreeWidget* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  // align: 0 left, 1 right, 2 centre.
  int InsertColumn(int column, std::string_view heading, int widthPx, int align = 0);
  int GetColumnCount() const;
  void SetColumnWidth(int column, int widthPx);
  int InsertItem(int index, std::string_view text);  // index of the new row
  bool SetItemText(int item, int subItem, std::string_view text);
  Text1251 GetItemText(int item, int subItem) const;
  int GetItemCount() const;
  bool DeleteItem(int item);
  void DeleteAllItems();
  void SetItemData(int item, intptr_t data);
  intptr_t GetItemData(int item) const;
  // Selection: the first selected row after `after` (-1 from the start), or -1.
  int GetNextSelected(int after = -1) const;
  void SetSelected(int item, bool selected);
  int GetSelectionMark() const;  // the current row, -1 when none
  void EnsureVisible(int item);
  void SetItemIcon(int item, const QImage& image);
  void SetIconSize(int cx, int cy);
  void SetGridLines(bool on);
  // Check boxes in the first column (LVS_EX_CHECKBOXES); the user toggles them.
  void SetCheckBoxes(bool on);
  void SetCheck(int item, bool checked);
  bool GetCheck(int item) const;
  QTreeWidget* Widget() const { return w_; }

 private:
  QTreeWidget* w_;
};

// Trackbars and scroll bars.
class Slider {
 public:
  explicit Slider(QAbstractSlider* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  void SetRange(int min, int max);
  int GetRangeMin() const;
  int GetRangeMax() const;
  void SetPos(int pos);
  int GetPos() const;
  void SetPageSize(int page);
  void SetLineSize(int line);
  void SetTicFreq(int freq);
  QAbstractSlider* Widget() const { return w_; }

 private:
  QAbstractSlider* w_;
};

class SpinButton {
 public:
  explicit SpinButton(SpinButtonWidget* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  void SetRange(int min, int max);
  void SetPos(int pos);
  int GetPos() const;

 private:
  SpinButtonWidget* w_;
};

class ProgressBar {
 public:
  explicit ProgressBar(QProgressBar* w) : w_(w) {}
  bool Valid() const { return w_ != nullptr; }
  void SetRange(int min, int max);
  void SetPos(int pos);
  int GetPos() const;
  void SetStep(int step) { step_ = step; }
  void StepIt();

 private:
  QProgressBar* w_;
  int step_ = 10;
};

// A popup (context) menu; Track runs it modally and returns the chosen command (0: none).
class PopupMenu {
 public:
  PopupMenu();
  ~PopupMenu();
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;
  void AppendItem(int command, std::string_view text1251, bool checked = false,
                  bool disabled = false);
  void AppendSeparator();
  int ItemCount() const;
  // screenPos in screen pixels; owner may be null.
  int Track(Dialog* owner, Point screenPos);

 private:
  std::unique_ptr<QMenu> menu_;
};

// ---- the dialog ----------------------------------------------------------------------------

class Dialog {
 public:
  explicit Dialog(int templateId);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Modal run: builds the window, OnInitDialog, runs until EndDialog, destroys the window;
  // returns the EndDialog code (-1 when the template is missing).
  int DoModal(Dialog* owner = nullptr);
  // Modeless: builds the window and runs OnInitDialog; shows it when the template has
  // Style::Visible (otherwise call ShowWindow). False when the template is missing.
  bool Create(Dialog* owner = nullptr);
  void EndDialog(int code);
  // Destroys the window (OnDestroy; PostNcDestroy follows from the event loop).
  void DestroyWindow();
  bool HasWindow() const { return window_ != nullptr; }
  bool IsModal() const { return modal_; }
  int TemplateId() const { return templateId_; }
  WindowHandle Handle() const { return handle_; }
  // Class name shown by the automation dump (the C++ class name by default).
  virtual std::string ClassName() const;

  // ---- message map (register in the constructor or in OnInitDialog) ----
  void OnCommand(int id, std::function<void()> handler);
  void OnCommandRange(int first, int last, std::function<void(int id)> handler);
  void OnNotify(int id, Notify code, std::function<void(const NotifyInfo&)> handler);
  void OnScroll(int id, std::function<void(int code, int pos)> handler);
  void OnMessage(uint32_t message, std::function<intptr_t(uintptr_t, intptr_t)> handler);
  // Routes a command as a button click, menu item or accelerator would (true when handled).
  bool SendCommand(int id);
  // Delivers a numbered message at once on the UI thread (SendMessage to oneself).
  intptr_t SendMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
  bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);

  // ---- controls by id ----
  QWidget* Item(int id) const;
  bool HasItem(int id) const { return Item(id) != nullptr; }
  ControlKind ItemKind(int id) const;
  std::vector<int> ItemIds() const;  // in template (creation) order
  void ShowItem(int id, bool show);
  bool IsItemVisible(int id) const;  // its own visibility flag
  void EnableItem(int id, bool enable);
  bool IsItemEnabled(int id) const;
  void SetItemText(int id, std::string_view text1251);
  Text1251 ItemText(int id) const;
  void SetItemInt(int id, int value);
  int ItemInt(int id, bool* ok = nullptr) const;
  void SetCheck(int id, int state);  // 0, 1 (2 = indeterminate for three-state boxes)
  int GetCheck(int id) const;
  void CheckRadioButton(int first, int last, int checkId);
  void SetFocusItem(int id);
  void SetToolTip(int id, std::string_view text1251);
  void SetItemBitmap(int id, int bitmapId);
  void SetItemImage(int id, const QImage& image);
  Rect ItemRect(int id) const;  // client coordinates
  void MoveItem(int id, const Rect& r, bool repaint = true);
  ListBox ListBoxItem(int id) const;
  ComboBox ComboItem(int id) const;
  ListView ListViewItem(int id) const;
  Slider SliderItem(int id) const;  // trackbars and scroll bars
  SpinButton SpinItem(int id) const;
  ProgressBar ProgressItem(int id) const;
  // Creates a control at run time (pixels, client coordinates) and routes it like template
  // controls. Returns its widget.
  QWidget* CreateControl(int id, ControlKind kind, std::string_view caption1251, const Rect& r,
                         uint32_t style = 0);
  // Puts a widget of one's own in place of control id (taking its geometry, visibility and
  // tab position); the dialog owns it. Notifications of the widget are the caller's affair.
  void ReplaceItem(int id, QWidget* widget);

  // ---- window ----
  void SetCaption(std::string_view text1251);
  Text1251 Caption() const;
  void ShowWindow(int mode);
  bool IsWindowVisible() const;
  Rect ClientRect() const;  // (0, 0, width, height)
  Rect WindowRect() const;  // frame in screen coordinates
  void MoveWindow(const Rect& screenRect, bool repaint = true);
  void SetClientSize(int cx, int cy);
  Point ClientToScreen(Point p) const;
  Point ScreenToClient(Point p) const;
  static Rect DesktopWorkArea();
  void SetOpacity(int alpha);  // 0..255
  int Opacity() const;
  void Invalidate(bool erase = true);  // repaint soon
  void UpdateWindow();                 // repaint now
  int DialogUnitsToPixelsX(int du) const;
  int DialogUnitsToPixelsY(int du) const;
  void SetIcon(const QImage& image);

  // ---- timers, mouse, cursor ----
  // Period in ms, at least 10. Replaces a timer of the same id.
  bool SetTimer(int id, int ms);
  void KillTimer(int id);
  void SetCapture();
  void ReleaseCapture();
  bool HasCapture() const;
  void SetCursorShape(int cursorResourceId);  // 0 restores the arrow

  // ---- menu and accelerators ----
  void SetMenu(int menuId);  // 0 removes it
  void CheckMenuItem(int command, bool checked);
  bool IsMenuItemChecked(int command) const;
  void EnableMenuItem(int command, bool enabled);
  void AppendSystemMenuItem(int command, std::string_view text1251);
  void LoadAccelerators(int tableId);

  QWidget* Widget() const;        // the top-level window
  QWidget* ClientWidget() const;  // the client area holding the controls

  // Key routing (used by the framework's key filter and the automation): accelerators first,
  // then OnKeyDown when the key is aimed at the window itself. True when the key was taken.
  bool RouteKey(int qtKey, unsigned qtModifiers, QWidget* target);

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Closing by the window frame: routed as IDCANCEL by default, as on Windows.
  virtual void OnClose() { SendCommand(IDCANCEL); }
  virtual void OnDestroy() {}
  // After the window is gone (from the event loop); self-deleting windows `delete this` here.
  virtual void PostNcDestroy() {}
  // Paints the client area beneath the controls.
  virtual void OnPaint(Canvas&) {}
  virtual void OnSize(int /*cx*/, int /*cy*/) {}
  virtual void OnMove(int /*x*/, int /*y*/) {}
  virtual void OnTimer(int /*id*/) {}
  virtual void OnLButtonDown(unsigned /*flags*/, Point) {}
  virtual void OnLButtonUp(unsigned /*flags*/, Point) {}
  virtual void OnLButtonDblClk(unsigned /*flags*/, Point) {}
  virtual void OnRButtonDown(unsigned /*flags*/, Point) {}
  virtual void OnRButtonUp(unsigned /*flags*/, Point) {}
  virtual void OnMouseMove(unsigned /*flags*/, Point) {}
  virtual void OnMouseWheel(int /*delta*/, Point) {}
  // A key that no accelerator took; true when handled.
  virtual bool OnKeyDown(int /*qtKey*/, unsigned /*qtModifiers*/) { return false; }
  // Called when a numbered message has no OnMessage handler.
  virtual intptr_t OnUnhandledMessage(uint32_t, uintptr_t, intptr_t) { return 0; }

 private:
  friend class DialogWindow;
  friend class DialogClient;
  friend struct DialogTargetState;
  friend class AutomationAccess;

  struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    QWidget* widget = nullptr;
    uint32_t style = 0;
  };

  bool Build(Dialog* owner);
  void Teardown();
  void CreateFromTemplate(const ControlTemplate& c, const Rect& px);
  void Wire(Control& c);
  void Dispatch(const NotifyInfo& n);
  bool RouteCommand(int id);
  intptr_t DeliverMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  bool TranslateAccelerator(int key, unsigned modifiers);
  const Control* FindControl(int id) const;
  void BuildMenu(int menuId);

  int templateId_;
  DialogTemplate template_;
  DialogWindow* window_ = nullptr;
  DialogClient* client_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  std::vector<Control> controls_;
  std::map<int, std::function<void()>> commands_;
  std::vector<std::tuple<int, int, std::function<void(int)>>> commandRanges_;
  std::map<std::pair<int, Notify>, std::function<void(const NotifyInfo&)>> notifies_;
  std::map<uint32_t, std::function<intptr_t(uintptr_t, intptr_t)>> messages_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  std::vector<Accelerator> accelerators_;
  std::map<int, QAction*> menuActions_;
  std::shared_ptr<DialogTargetState> target_;
  WindowHandle handle_ = 0;
  bool modal_ = false;
  bool inInit_ = false;
  bool endedEarly_ = false;
  QEventLoop* loop_ = nullptr;  // the modal run's loop while it runs
  int endCode_ = 0;
  int opacity_ = 255;
  int baseX_ = 6, baseY_ = 13;  // dialog base units in pixels
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

// Open dialogs with a window, oldest first (UI thread).
std::vector<Dialog*> OpenDialogs();

}  // namespace ui
