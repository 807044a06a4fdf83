// KCEditInt: an edit for integers (or a date day.month.year) with a spin bar, an optional
// arrow button (CButtonArrow) opening CKDate or a list of all values, value names with a
// right-click menu, and an undefined state "---". The owner sets the members after
// construction and puts the edit in place of a template edit (Dialog::ReplaceItem).
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <vector>

#include "app/kit/edit_int_logic.h"
#include "platform/cp1251.h"
#include "platform/ui/dialog.h"

class QScrollBar;

// The arrow button: a light grey push button with a downward triangle.
class CButtonArrow : public QPushButton {
 public:
  explicit CButtonArrow(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
};

class KCEditInt : public QLineEdit {
 public:
  using ChangeCallback = void (*)(uintptr_t context, int value);

  explicit KCEditInt(QWidget* parent = nullptr);
  ~KCEditInt() override;

  // Members set by the owner.
  QScrollBar* spin = nullptr;     // id 100, created at the first paint
  CButtonArrow* arrow = nullptr;  // id 101, created at the first paint with valueMenu/dateMode
  QRect textRect;
  int caretPos = 0;
  int dateMode = 0;
  unsigned allowUndefined = 0;
  ChangeCallback onChange = nullptr;
  uintptr_t changeContext = 0;
  int valueMenu = 0;
  int min = kit::kEditIntDefaultMin;
  int max = kit::kEditIntDefaultMax;
  unsigned nameCount = 0;
  std::vector<std::pair<int, Text1251>> names;  // entry v (1-based: names[v-1]) names value v
  std::unique_ptr<ui::PopupMenu> popupMenu;

  int GetValue() const;
  void SetValue(int v);
  void SetDate(int day, int month, int year);
  void GetDate(int& day, int& month, int& year) const;
  Text1251 Text() const;
  void SetText(std::string_view text1251);

  // One spin step with scroll code 0..8 (what the spin bar sends).
  void SpinStep(int code);
  // Creates the spin bar and the arrow if not yet there (the first paint does it).
  void EnsureChildren();
  // The popups; the menu runs modally and its choice is applied.
  void OpenNameMenu();
  void OpenArrowPopup();
  // Applies a popup command as if chosen.
  void ApplyMenuCommand(int command);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  kit::EditIntRange Range() const;
  void PlaceChildren();
};
