// The Qt widgets behind a dialog: its window, its client area and the spin buttons.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/detail/widgets.h"
#include "platform/ui/dialog.h"

namespace ui {

namespace {

uint64_t g_stamp = 0;

unsigned MouseFlags(Qt::MouseButtons b, Qt::KeyboardModifiers m) {
  unsigned f = 0;
  if (b & Qt::LeftButton) f |= MK_LBUTTON;
  if (b & Qt::RightButton) f |= MK_RBUTTON;
  if (b & Qt::MiddleButton) f |= MK_MBUTTON;
  if (m & Qt::ShiftModifier) f |= MK_SHIFT;
  if (m & Qt::ControlModifier) f |= MK_CONTROL;
  return f;
}

}  // namespace

uint64_t NextShownStamp() { return ++g_stamp; }

DialogWindow::DialogWindow(Dialog* owner) : QDialog(nullptr), owner_(owner) {
  setSizeGripEnabled(false);
}

void DialogWindow::SetMenuBarWidget(QWidget* bar) {
  menuBar_ = bar;
  LayoutChildren();
}

void DialogWindow::LayoutChildren() {
  int top = 0;
  if (menuBar_) {
    int h = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, width(), h);
    top = h;
  }
  if (owner_ && owner_->client_) owner_->client_->setGeometry(0, top, width(), height() - top);
}

void DialogWindow::Touch() { shownStamp_ = NextShownStamp(); }

void DialogWindow::closeEvent(QCloseEvent* e) {
  e->ignore();  // the dialog decides (OnClose)
  if (owner_) owner_->OnClose();
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
  if (!owner_) return;
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    owner_->SendCommand(IDCANCEL);
    return;
  }
  QDialog::keyPressEvent(e);
}

void DialogWindow::reject() {
  if (owner_) owner_->SendCommand(IDCANCEL);
}

void DialogWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  LayoutChildren();
  if (owner_ && owner_->client_ && !owner_->inInit_)
    owner_->OnSize(owner_->client_->width(), owner_->client_->height());
}

void DialogWindow::moveEvent(QMoveEvent* e) {
  QDialog::moveEvent(e);
  if (owner_ && !owner_->inInit_) owner_->OnMove(x(), y());
}

void DialogWindow::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  Touch();
}

DialogClient::DialogClient(Dialog* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setMouseTracking(true);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::ClickFocus);
}

void DialogClient::paintEvent(QPaintEvent*) {
  if (!owner_) return;
  Canvas dc(static_cast<QPaintDevice*>(this));
  owner_->OnPaint(dc);
}

void DialogClient::mousePressEvent(QMouseEvent* e) {
  if (!owner_) return;
  Point p{int(e->position().x()), int(e->position().y())};
  unsigned f = MouseFlags(e->buttons(), e->modifiers());
  if (e->button() == Qt::LeftButton)
    owner_->OnLButtonDown(f, p);
  else if (e->button() == Qt::RightButton)
    owner_->OnRButtonDown(f, p);
}

void DialogClient::mouseReleaseEvent(QMouseEvent* e) {
  if (!owner_) return;
  Point p{int(e->position().x()), int(e->position().y())};
  unsigned f = MouseFlags(e->buttons(), e->modifiers());
  if (e->button() == Qt::LeftButton)
    owner_->OnLButtonUp(f, p);
  else if (e->button() == Qt::RightButton)
    owner_->OnRButtonUp(f, p);
}

void DialogClient::mouseDoubleClickEvent(QMouseEvent* e) {
  if (!owner_) return;
  Point p{int(e->position().x()), int(e->position().y())};
  if (e->button() == Qt::LeftButton)
    owner_->OnLButtonDblClk(MouseFlags(e->buttons(), e->modifiers()), p);
}

void DialogClient::mouseMoveEvent(QMouseEvent* e) {
  if (!owner_) return;
  owner_->OnMouseMove(MouseFlags(e->buttons(), e->modifiers()),
                      {int(e->position().x()), int(e->position().y())});
}

void DialogClient::wheelEvent(QWheelEvent* e) {
  if (!owner_) return;
  owner_->OnMouseWheel(e->angleDelta().y(), {int(e->position().x()), int(e->position().y())});
}

SpinButtonWidget::SpinButtonWidget(QWidget* parent, bool horizontal) : QWidget(parent) {
  auto* up = new QToolButton(this);
  auto* down = new QToolButton(this);
  up->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
  down->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
  up->setAutoRepeat(true);
  down->setAutoRepeat(true);
  QBoxLayout* box = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(this))
                               : static_cast<QBoxLayout*>(new QVBoxLayout(this));
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  if (horizontal) {
    box->addWidget(down);
    box->addWidget(up);
  } else {
    box->addWidget(up);
    box->addWidget(down);
  }
  for (auto* b : {up, down}) b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  connect(up, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void SpinButtonWidget::SetRange(int min, int max) {
  min_ = std::min(min, max);
  max_ = std::max(min, max);
  pos_ = std::clamp(pos_, min_, max_);
}

void SpinButtonWidget::SetPos(int pos) { pos_ = std::clamp(pos, min_, max_); }

void SpinButtonWidget::Step(int delta) {
  pos_ = std::clamp(pos_ + delta, min_, max_);
  if (onStep) onStep(delta > 0 ? SB_LINEUP : SB_LINEDOWN, pos_);
}

}  // namespace ui
