// Qt widget classes behind Dialog (internal to platform/ui and its tests).
#pragma once

#include <QDialog>
#include <QMenu>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace ui {

class Dialog;

// The top-level window of a Dialog. Keys, closing and moves are routed to the Dialog.
class DialogWindow : public QDialog {
 public:
  explicit DialogWindow(Dialog* owner);
  Dialog* Owner() const { return owner_; }
  void Detach() { owner_ = nullptr; }
  void SetMenuBarWidget(QWidget* bar);
  void LayoutChildren();
  uint64_t ShownStamp() const { return shownStamp_; }
  void Touch();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void reject() override;

 private:
  Dialog* owner_;
  QWidget* menuBar_ = nullptr;
  uint64_t shownStamp_ = 0;
};

// The client area: paints through Dialog::OnPaint and reports the mouse.
class DialogClient : public QWidget {
 public:
  DialogClient(Dialog* owner, QWidget* parent);
  void Detach() { owner_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  Dialog* owner_;
};

// Up-down arrows: a position in a range, reported as SB_LINEUP / SB_LINEDOWN scrolls.
class SpinButtonWidget : public QWidget {
 public:
  SpinButtonWidget(QWidget* parent, bool horizontal);
  void SetRange(int min, int max);
  void SetPos(int pos);
  int Pos() const { return pos_; }
  // Called after a user step with (code, new position).
  std::function<void(int, int)> onStep;
  void Step(int delta);  // +1 up, -1 down, as a user click

 private:
  int min_ = 0, max_ = 100, pos_ = 0;
};

// Dialogs in a modal run, innermost last.
std::vector<Dialog*>& ModalStack();
// The popup menu being tracked now, or null.
QMenu* OpenPopupMenu();
// The dialog a window belongs to, or null.
Dialog* DialogOf(QWidget* w);
// Window activation order for the automation: newest shown visible dialog wins.
uint64_t NextShownStamp();

}  // namespace ui
