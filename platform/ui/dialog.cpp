#include "platform/ui/dialog.h"

#include <cxxabi.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/report.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/detail/dispatch.h"
#include "platform/ui/detail/widgets.h"
#include "platform/ui/qt_text.h"

namespace ui {

// ---- the message target of a dialog ---------------------------------------------------------

// Registered with RegisterWindow. `dialog` is read and cleared on the UI thread only; worker
// threads only queue closures that look at it once they run there.
struct DialogTargetState : MessageTarget, std::enable_shared_from_this<DialogTargetState> {
  Dialog* dialog = nullptr;

  void Post(const ThreadMessage& m) override {
    auto self = shared_from_this();
    detail::EnqueuePost([self, m] {
      if (self->dialog) self->dialog->DeliverMessage(m.message, m.wParam, m.lParam);
    });
  }

  bool Send(const ThreadMessage& m, int ms, intptr_t* result) override {
    if (IsUiThread()) {
      intptr_t r = dialog ? dialog->DeliverMessage(m.message, m.wParam, m.lParam) : 0;
      if (result) *result = r;
      return dialog != nullptr;
    }
    auto self = shared_from_this();
    intptr_t r = 0;
    bool delivered = false;
    bool ok = detail::EnqueueSend(
        [self, m, &r, &delivered] {
          if (!self->dialog) return;
          r = self->dialog->DeliverMessage(m.message, m.wParam, m.lParam);
          delivered = true;
        },
        ms);
    if (result) *result = r;
    return ok && delivered;
  }
};

namespace {

std::vector<Dialog*>& Registry() {
  static std::vector<Dialog*> v;
  return v;
}

uint64_t g_stamp = 0;

QString ButtonText(std::string_view caption) {
  QString s = ToQString(caption);
  s.remove('\r');
  return s;
}

QString EditTextIn(std::string_view text1251) {
  QString s = ToQString(text1251);
  s.replace("\r\n", "\n");
  return s;
}

Text1251 EditTextOut(const QString& s) {
  QString t = s;
  t.replace("\n", "\r\n");
  return FromQString(t);
}

int ScrollCodeOf(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return SB_LINEUP;
    case QAbstractSlider::SliderSingleStepAdd:
      return SB_LINEDOWN;
    case QAbstractSlider::SliderPageStepSub:
      return SB_PAGEUP;
    case QAbstractSlider::SliderPageStepAdd:
      return SB_PAGEDOWN;
    case QAbstractSlider::SliderToMinimum:
      return SB_TOP;
    case QAbstractSlider::SliderToMaximum:
      return SB_BOTTOM;
    case QAbstractSlider::SliderMove:
      return SB_THUMBTRACK;
    default:
      return -1;
  }
}

// Keys reach accelerators before the focused control: an accelerator key triggers its command
// even while an edit or list has the focus.
class AcceleratorFilter : public QObject {
 public:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w) return false;
    Dialog* d = DialogOf(w);
    if (!d) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    return d->RouteKey(k->key(), unsigned(k->modifiers()), w);
  }
};

void InstallAcceleratorFilter() {
  static AcceleratorFilter* filter = nullptr;
  if (!filter && qApp) {
    filter = new AcceleratorFilter;
    qApp->installEventFilter(filter);
  }
}

std::string Demangle(const char* name) {
  int status = 0;
  char* s = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string out = status == 0 && s ? s : name;
  std::free(s);
  auto colon = out.rfind("::");
  if (colon != std::string::npos) out = out.substr(colon + 2);
  return out;
}

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

std::vector<Dialog*>& ModalStack() {
  static std::vector<Dialog*> v;
  return v;
}

std::vector<Dialog*> OpenDialogs() { return Registry(); }

Dialog* DialogOf(QWidget* w) {
  if (!w) return nullptr;
  auto* win = dynamic_cast<DialogWindow*>(w->window());
  return win ? win->Owner() : nullptr;
}

// ---- widgets --------------------------------------------------------------------------------

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

// ---- Dialog ---------------------------------------------------------------------------------

Dialog::Dialog(int templateId) : templateId_(templateId) {}

Dialog::~Dialog() {
  if (window_) Teardown();
  life_.reset();
}

std::string Dialog::ClassName() const { return Demangle(typeid(*this).name()); }

bool Dialog::Build(Dialog* owner) {
  if (window_) return true;
  if (!IsUiThread()) {
    AddLogMessageF("(30102)Window %d created outside the user-interface thread", templateId_);
    return false;
  }
  const DialogTemplate* t = FindDialogTemplate(templateId_);
  if (!t) {
    AddLogMessageF("(30101)Dialog template %d not found", templateId_);
    return false;
  }
  template_ = *t;
  InstallAcceleratorFilter();
  window_ = new DialogWindow(this);
  QFont font = QApplication::font();
  font.setPointSize(template_.fontPoints > 0 ? template_.fontPoints : 8);
  window_->setFont(font);
  QFontMetrics fm(font);
  // Windows' base units: average width of the 52 letters, and the font height.
  baseX_ = std::max(
      1,
      (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2);
  baseY_ = std::max(1, fm.height());
  window_->setWindowTitle(ToQString(template_.caption));
  Qt::WindowFlags flags =
      Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (template_.style & Style::NoFrame) flags = Qt::Dialog | Qt::FramelessWindowHint;
  if (template_.style & Style::MinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  if (template_.style & Style::MaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  window_->setWindowFlags(flags);
  client_ = new DialogClient(this, window_);
  if (template_.menuId) BuildMenu(template_.menuId);
  int cw = DialogUnitsToPixelsX(template_.cx), ch = DialogUnitsToPixelsY(template_.cy);
  SetClientSize(cw, ch);
  if (owner && owner->window_) {
    QRect og = owner->window_->frameGeometry();
    window_->move(og.center() - QPoint(window_->width() / 2, window_->height() / 2));
  } else if (template_.x || template_.y) {
    window_->move(DialogUnitsToPixelsX(template_.x), DialogUnitsToPixelsY(template_.y));
  }
  QRadioButton* lastRadio = nullptr;
  QButtonGroup* group = nullptr;
  for (const auto& c : template_.controls) {
    Rect px{DialogUnitsToPixelsX(c.x), DialogUnitsToPixelsY(c.y), DialogUnitsToPixelsX(c.x + c.cx),
            DialogUnitsToPixelsY(c.y + c.cy)};
    CreateFromTemplate(c, px);
    if (c.kind == ControlKind::RadioButton) {
      auto* r = static_cast<QRadioButton*>(controls_.back().widget);
      if (!group || !lastRadio || (c.style & Style::Group)) group = new QButtonGroup(client_);
      group->addButton(r);
      lastRadio = r;
    } else {
      lastRadio = nullptr;
    }
  }
  target_ = std::make_shared<DialogTargetState>();
  target_->dialog = this;
  handle_ = RegisterWindow(target_);
  Registry().push_back(this);
  return true;
}

void Dialog::CreateFromTemplate(const ControlTemplate& c, const Rect& px) {
  CreateControl(c.id, c.kind, c.caption, px, c.style);
}

QWidget* Dialog::CreateControl(int id, ControlKind kind, std::string_view caption, const Rect& r,
                               uint32_t style) {
  if (!client_) return nullptr;
  QWidget* w = nullptr;
  switch (kind) {
    case ControlKind::Button:
    case ControlKind::BitmapButton: {
      auto* b = new QPushButton(client_);
      b->setAutoDefault(false);
      if (style & Style::Default) b->setDefault(true);
      // A bitmap button's caption is the bitmap id in decimal; any other text is shown.
      const std::string digits(caption);
      char* end = nullptr;
      long bmp = digits.empty() ? 0 : std::strtol(digits.c_str(), &end, 10);
      if (kind == ControlKind::BitmapButton && end && !*end && bmp > 0) {
        QImage img = LoadBitmap(int(bmp));
        if (!img.isNull()) {
          b->setIcon(QPixmap::fromImage(img));
          b->setIconSize(img.size());
        }
      } else {
        b->setText(ButtonText(caption));
      }
      w = b;
      break;
    }
    case ControlKind::CheckBox:
      w = new QCheckBox(ButtonText(caption), client_);
      break;
    case ControlKind::RadioButton: {
      auto* rb = new QRadioButton(ButtonText(caption), client_);
      rb->setAutoExclusive(false);
      w = rb;
      break;
    }
    case ControlKind::GroupBox: {
      auto* g = new QGroupBox(ButtonText(caption), client_);
      g->setAttribute(Qt::WA_TransparentForMouseEvents);
      w = g;
      break;
    }
    case ControlKind::Static: {
      auto* l = new QLabel(client_);
      l->setTextFormat(Qt::PlainText);
      l->setText(ButtonText(caption));
      l->setWordWrap(true);
      Qt::Alignment a = Qt::AlignTop;
      a |= (style & Style::Center)  ? Qt::AlignHCenter
           : (style & Style::Right) ? Qt::AlignRight
                                    : Qt::AlignLeft;
      l->setAlignment(a);
      if (style & (Style::Border | Style::Sunken)) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      w = l;
      break;
    }
    case ControlKind::Frame: {
      auto* f = new QFrame(client_);
      f->setFrameStyle((style & Style::Sunken) ? (QFrame::Panel | QFrame::Sunken) : QFrame::Box);
      f->setAttribute(Qt::WA_TransparentForMouseEvents);
      w = f;
      break;
    }
    case ControlKind::Picture: {
      auto* l = new QLabel(client_);
      QImage img = LoadBitmap(std::atoi(std::string(caption).c_str()));
      if (!img.isNull()) l->setPixmap(QPixmap::fromImage(img));
      w = l;
      break;
    }
    case ControlKind::Edit:
      if (style & Style::MultiLine) {
        auto* e = new QPlainTextEdit(client_);
        e->setReadOnly(style & Style::ReadOnly);
        e->setPlainText(EditTextIn(caption));
        e->setVerticalScrollBarPolicy((style & Style::VScroll) ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
        e->setLineWrapMode((style & Style::HScroll) ? QPlainTextEdit::NoWrap
                                                    : QPlainTextEdit::WidgetWidth);
        e->setTabChangesFocus(true);
        w = e;
      } else {
        auto* e = new QLineEdit(client_);
        e->setReadOnly(style & Style::ReadOnly);
        if (style & Style::Password) e->setEchoMode(QLineEdit::Password);
        if (style & Style::Number)
          e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
        if (style & Style::Center) e->setAlignment(Qt::AlignHCenter);
        if (style & Style::Right) e->setAlignment(Qt::AlignRight);
        e->setText(ToQString(caption));
        w = e;
      }
      break;
    case ControlKind::ListBox: {
      auto* l = new QListWidget(client_);
      l->setSelectionMode((style & Style::MultiSelect) ? QAbstractItemView::ExtendedSelection
                                                       : QAbstractItemView::SingleSelection);
      w = l;
      break;
    }
    case ControlKind::ComboBox: {
      auto* cb = new QComboBox(client_);
      cb->setEditable(style & Style::Editable);
      cb->setInsertPolicy(QComboBox::NoInsert);
      w = cb;
      break;
    }
    case ControlKind::ListView: {
      auto* t = new QTreeWidget(client_);
      t->setRootIsDecorated(false);
      t->setUniformRowHeights(true);
      t->setAllColumnsShowFocus(true);
      t->setColumnCount(0);
      t->setHeaderLabels({});
      t->setSelectionMode((style & Style::MultiSelect) ? QAbstractItemView::ExtendedSelection
                                                       : QAbstractItemView::SingleSelection);
      t->setContextMenuPolicy(Qt::CustomContextMenu);
      t->header()->setStretchLastSection(false);
      t->header()->setSectionsClickable(true);
      w = t;
      break;
    }
    case ControlKind::Trackbar: {
      auto* s = new QSlider((style & Style::Vertical) ? Qt::Vertical : Qt::Horizontal, client_);
      s->setTickPosition((style & Style::NoTicks) ? QSlider::NoTicks : QSlider::TicksBelow);
      s->setRange(0, 100);
      s->setPageStep(20);  // the trackbar's default page: a fifth of the default range
      w = s;
      break;
    }
    case ControlKind::ScrollBar: {
      auto* s = new QScrollBar((style & Style::Vertical) ? Qt::Vertical : Qt::Horizontal, client_);
      s->setRange(0, 100);
      w = s;
      break;
    }
    case ControlKind::SpinButton:
      w = new SpinButtonWidget(client_, !(style & Style::Vertical) && (style & Style::HScroll));
      break;
    case ControlKind::ProgressBar: {
      auto* p = new QProgressBar(client_);
      p->setRange(0, 100);
      p->setValue(0);
      p->setTextVisible(false);
      w = p;
      break;
    }
  }
  if (kind == ControlKind::ComboBox) {
    // The template height of a combo box includes its drop-down list.
    int h = std::min(r.Height(), w->sizeHint().height());
    w->setGeometry(r.left, r.top, r.Width(), std::max(h, 1));
  } else {
    w->setGeometry(r.left, r.top, r.Width(), r.Height());
  }
  if (style & Style::Disabled) w->setEnabled(false);
  w->setVisible(!(style & Style::Hidden));
  if (kind == ControlKind::GroupBox || kind == ControlKind::Frame) w->lower();
  w->setProperty("tacmonId", id);
  w->setProperty("tacmonStyle", style);
  controls_.push_back({id, kind, w, style});
  Wire(controls_.back());
  return w;
}

void Dialog::Wire(Control& c) {
  std::weak_ptr<int> alive = life_;
  int id = c.id;
  auto notify = [this, alive, id](Notify code, int item = -1, int sub = -1) {
    if (alive.expired() || !window_) return;
    NotifyInfo n;
    n.id = id;
    n.code = code;
    n.item = item;
    n.subItem = sub;
    Dispatch(n);
  };
  auto scroll = [this, alive, id](int code, int pos) {
    if (alive.expired() || !window_ || code < 0) return;
    NotifyInfo n;
    n.id = id;
    n.code = Notify::Scroll;
    n.scrollCode = code;
    n.pos = pos;
    Dispatch(n);
  };
  QWidget* w = c.widget;
  switch (c.kind) {
    case ControlKind::Button:
    case ControlKind::BitmapButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, w,
                       [notify] { notify(Notify::Clicked); });
      break;
    case ControlKind::Edit:
      if (auto* e = qobject_cast<QLineEdit*>(w))
        QObject::connect(e, &QLineEdit::textChanged, w, [notify] { notify(Notify::Change); });
      else if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
        QObject::connect(pe, &QPlainTextEdit::textChanged, w, [notify] { notify(Notify::Change); });
      break;
    case ControlKind::ListBox: {
      auto* l = static_cast<QListWidget*>(w);
      QObject::connect(l, &QListWidget::itemSelectionChanged, w,
                       [notify, l] { notify(Notify::SelChange, l->currentRow()); });
      QObject::connect(l, &QListWidget::itemDoubleClicked, w, [notify, l](QListWidgetItem* it) {
        notify(Notify::DoubleClicked, l->row(it));
      });
      break;
    }
    case ControlKind::ComboBox: {
      auto* cb = static_cast<QComboBox*>(w);
      QObject::connect(cb, &QComboBox::activated, w,
                       [notify](int index) { notify(Notify::SelChange, index); });
      if (cb->isEditable())
        QObject::connect(cb, &QComboBox::editTextChanged, w, [notify] { notify(Notify::Change); });
      break;
    }
    case ControlKind::ListView: {
      auto* t = static_cast<QTreeWidget*>(w);
      QObject::connect(t, &QTreeWidget::itemClicked, w, [notify, t](QTreeWidgetItem* it, int col) {
        notify(Notify::Clicked, t->indexOfTopLevelItem(it), col);
      });
      QObject::connect(t, &QTreeWidget::itemDoubleClicked, w,
                       [notify, t](QTreeWidgetItem* it, int col) {
                         notify(Notify::DoubleClicked, t->indexOfTopLevelItem(it), col);
                       });
      QObject::connect(t, &QTreeWidget::itemSelectionChanged, w, [notify, t] {
        notify(Notify::SelChange, t->indexOfTopLevelItem(t->currentItem()));
      });
      QObject::connect(t, &QWidget::customContextMenuRequested, w, [notify, t](const QPoint& p) {
        notify(Notify::RightClick, t->indexOfTopLevelItem(t->itemAt(p)));
      });
      QObject::connect(t->header(), &QHeaderView::sectionClicked, w,
                       [notify](int col) { notify(Notify::ColumnClick, -1, col); });
      break;
    }
    case ControlKind::Trackbar:
    case ControlKind::ScrollBar: {
      auto* s = static_cast<QAbstractSlider*>(w);
      // Only user actions: programmatic setValue triggers no action.
      QObject::connect(s, &QAbstractSlider::actionTriggered, w, [scroll, s](int action) {
        scroll(ScrollCodeOf(action), s->sliderPosition());
      });
      QObject::connect(s, &QAbstractSlider::sliderReleased, w,
                       [scroll, s] { scroll(SB_THUMBPOSITION, s->sliderPosition()); });
      break;
    }
    case ControlKind::SpinButton:
      static_cast<SpinButtonWidget*>(w)->onStep = scroll;
      break;
    default:
      break;
  }
  // Focus notifications for edits, lists and combo boxes.
  if (c.kind == ControlKind::Edit || c.kind == ControlKind::ListBox ||
      c.kind == ControlKind::ComboBox) {
    class FocusFilter : public QObject {
     public:
      std::function<void(Notify)> fn;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::FocusIn)
          fn(Notify::SetFocus);
        else if (e->type() == QEvent::FocusOut)
          fn(Notify::KillFocus);
        return false;
      }
    };
    auto* f = new FocusFilter;
    f->setParent(w);
    f->fn = [notify](Notify code) { notify(code); };
    w->installEventFilter(f);
  }
  if (c.kind == ControlKind::Static && (c.style & Style::Notify)) {
    class ClickFilter : public QObject {
     public:
      std::function<void()> fn;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease) fn();
        return false;
      }
    };
    auto* f = new ClickFilter;
    f->setParent(w);
    f->fn = [notify] { notify(Notify::Clicked); };
    w->installEventFilter(f);
  }
}

void Dialog::Dispatch(const NotifyInfo& n) {
  auto it = notifies_.find({n.id, n.code});
  if (it != notifies_.end()) {
    auto fn = it->second;  // the handler may change the map
    fn(n);
    return;
  }
  if (n.code == Notify::Clicked) {
    ControlKind k = ItemKind(n.id);
    if (k == ControlKind::Button || k == ControlKind::BitmapButton || k == ControlKind::CheckBox ||
        k == ControlKind::RadioButton || k == ControlKind::Static)
      RouteCommand(n.id);
  }
}

bool Dialog::RouteCommand(int id) {
  auto it = commands_.find(id);
  if (it != commands_.end()) {
    auto fn = it->second;
    fn();
    return true;
  }
  for (auto& [first, last, fn] : commandRanges_) {
    if (id >= first && id <= last) {
      auto f = fn;
      f(id);
      return true;
    }
  }
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

bool Dialog::SendCommand(int id) { return RouteCommand(id); }

intptr_t Dialog::DeliverMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  auto it = messages_.find(message);
  if (it != messages_.end()) {
    auto fn = it->second;
    return fn(wParam, lParam);
  }
  return OnUnhandledMessage(message, wParam, lParam);
}

intptr_t Dialog::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return DeliverMessage(message, wParam, lParam);
}

bool Dialog::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return handle_ && PostMessageTo(handle_, message, wParam, lParam);
}

bool Dialog::TranslateAccelerator(int key, unsigned modifiers) {
  const unsigned mask = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
  for (const auto& a : accelerators_) {
    if (a.key == key && (a.modifiers & mask) == (modifiers & mask)) {
      RouteCommand(a.command);
      return true;
    }
  }
  return false;
}

bool Dialog::RouteKey(int key, unsigned modifiers, QWidget* target) {
  if (!window_) return false;
  if (TranslateAccelerator(key, modifiers)) return true;
  // Keys aimed at the window itself (no control has the focus) go to OnKeyDown.
  if (target == window_ || target == client_) return OnKeyDown(key, modifiers);
  return false;
}

void Dialog::OnCommand(int id, std::function<void()> handler) {
  commands_[id] = std::move(handler);
}

void Dialog::OnCommandRange(int first, int last, std::function<void(int)> handler) {
  commandRanges_.emplace_back(first, last, std::move(handler));
}

void Dialog::OnNotify(int id, Notify code, std::function<void(const NotifyInfo&)> handler) {
  notifies_[{id, code}] = std::move(handler);
}

void Dialog::OnScroll(int id, std::function<void(int, int)> handler) {
  OnNotify(id, Notify::Scroll,
           [h = std::move(handler)](const NotifyInfo& n) { h(n.scrollCode, n.pos); });
}

void Dialog::OnMessage(uint32_t message, std::function<intptr_t(uintptr_t, intptr_t)> handler) {
  messages_[message] = std::move(handler);
}

int Dialog::DoModal(Dialog* owner) {
  if (window_) return -1;
  // Without an owner the active window owns the dialog (and is disabled while it runs).
  if (!owner) {
    uint64_t best = 0;
    for (Dialog* d : Registry()) {
      if (!d->window_ || !d->window_->isVisible()) continue;
      if (d->window_->ShownStamp() >= best) {
        best = d->window_->ShownStamp();
        owner = d;
      }
    }
  }
  if (!Build(owner)) return -1;
  modal_ = true;
  endCode_ = 0;
  endedEarly_ = false;
  ModalStack().push_back(this);
  inInit_ = true;
  OnInitDialog();
  inInit_ = false;
  int code = endCode_;
  if (!endedEarly_ && window_) {
    // A modal run disables its owner only; other windows stay usable, as on Windows.
    QPointer<QWidget> ownerWindow = owner && owner->window_ ? owner->window_ : nullptr;
    if (ownerWindow) ownerWindow->setEnabled(false);
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->Touch();
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    if (ownerWindow) ownerWindow->setEnabled(true);
    code = endCode_;
  }
  auto& stack = ModalStack();
  stack.erase(std::remove(stack.begin(), stack.end(), this), stack.end());
  modal_ = false;
  if (window_) Teardown();
  return code;
}

bool Dialog::Create(Dialog* owner) {
  if (window_) return true;
  if (!Build(owner)) return false;
  modal_ = false;
  inInit_ = true;
  OnInitDialog();
  inInit_ = false;
  if (window_ && (template_.style & Style::Visible)) window_->show();
  return true;
}

void Dialog::EndDialog(int code) {
  endCode_ = code;
  if (!window_) return;
  if (modal_) {
    if (!loop_) endedEarly_ = true;  // still in OnInitDialog
    window_->hide();
    if (loop_) loop_->exit(code);
  } else {
    window_->hide();
  }
}

void Dialog::DestroyWindow() {
  if (!window_) return;
  if (modal_) {
    EndDialog(IDCANCEL);
    return;
  }
  Teardown();
  std::weak_ptr<int> alive = life_;
  QTimer::singleShot(0, qApp, [this, alive] {
    if (!alive.expired()) PostNcDestroy();
  });
}

void Dialog::Teardown() {
  if (!window_) return;
  OnDestroy();
  while (!timers_.empty()) KillTimer(timers_.begin()->first);
  if (handle_) UnregisterWindow(handle_);
  handle_ = 0;
  if (target_) target_->dialog = nullptr;
  target_.reset();
  auto& reg = Registry();
  reg.erase(std::remove(reg.begin(), reg.end(), this), reg.end());
  if (HasCapture()) client_->releaseMouse();
  DialogWindow* w = window_;
  w->Detach();
  client_->Detach();
  window_ = nullptr;
  client_ = nullptr;
  menuBar_ = nullptr;
  controls_.clear();
  menuActions_.clear();
  w->hide();
  // Deleted from the event loop: the teardown may run inside one of its children's signals.
  w->deleteLater();
}

// ---- controls -------------------------------------------------------------------------------

const Dialog::Control* Dialog::FindControl(int id) const {
  for (const auto& c : controls_)
    if (c.id == id) return &c;
  return nullptr;
}

QWidget* Dialog::Item(int id) const {
  const Control* c = FindControl(id);
  return c ? c->widget : nullptr;
}

ControlKind Dialog::ItemKind(int id) const {
  const Control* c = FindControl(id);
  return c ? c->kind : ControlKind::Static;
}

std::vector<int> Dialog::ItemIds() const {
  std::vector<int> ids;
  for (const auto& c : controls_) ids.push_back(c.id);
  return ids;
}

void Dialog::ShowItem(int id, bool show) {
  if (QWidget* w = Item(id)) w->setVisible(show);
}

bool Dialog::IsItemVisible(int id) const {
  QWidget* w = Item(id);
  return w && !w->isHidden();
}

void Dialog::EnableItem(int id, bool enable) {
  if (QWidget* w = Item(id)) w->setEnabled(enable);
}

bool Dialog::IsItemEnabled(int id) const {
  QWidget* w = Item(id);
  return w && w->isEnabled();
}

void Dialog::SetItemText(int id, std::string_view text) {
  QWidget* w = Item(id);
  if (!w) return;
  if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(ButtonText(text));
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(ButtonText(text));
  else if (auto* g = qobject_cast<QGroupBox*>(w))
    g->setTitle(ButtonText(text));
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(ToQString(text));
  else if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
    pe->setPlainText(EditTextIn(text));
  else if (auto* cb = qobject_cast<QComboBox*>(w)) {
    if (cb->isEditable()) cb->setEditText(ToQString(text));
  }
}

Text1251 Dialog::ItemText(int id) const {
  QWidget* w = Item(id);
  if (!w) return {};
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return FromQString(b->text());
  if (auto* l = qobject_cast<QLabel*>(w)) return EditTextOut(l->text());
  if (auto* g = qobject_cast<QGroupBox*>(w)) return FromQString(g->title());
  if (auto* e = qobject_cast<QLineEdit*>(w)) return FromQString(e->text());
  if (auto* pe = qobject_cast<QPlainTextEdit*>(w)) return EditTextOut(pe->toPlainText());
  if (auto* cb = qobject_cast<QComboBox*>(w)) return FromQString(cb->currentText());
  return {};
}

void Dialog::SetItemInt(int id, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  SetItemText(id, buf);
}

int Dialog::ItemInt(int id, bool* ok) const {
  Text1251 t = ItemText(id);
  int v = 0;
  bool good = std::sscanf(t.c_str(), "%d", &v) == 1;
  if (ok) *ok = good;
  return good ? v : 0;
}

void Dialog::SetCheck(int id, int state) {
  auto* b = qobject_cast<QAbstractButton*>(Item(id));
  if (!b) return;
  QSignalBlocker block(b);
  if (auto* cb = qobject_cast<QCheckBox*>(b); cb && state == 2) {
    cb->setTristate(true);
    cb->setCheckState(Qt::PartiallyChecked);
    return;
  }
  b->setCheckable(true);
  b->setChecked(state != 0);
}

int Dialog::GetCheck(int id) const {
  auto* b = qobject_cast<QAbstractButton*>(Item(id));
  if (!b) return 0;
  if (auto* cb = qobject_cast<QCheckBox*>(b); cb && cb->checkState() == Qt::PartiallyChecked)
    return 2;
  return b->isChecked() ? 1 : 0;
}

void Dialog::CheckRadioButton(int first, int last, int checkId) {
  for (const auto& c : controls_)
    if (c.id >= first && c.id <= last && c.kind == ControlKind::RadioButton)
      SetCheck(c.id, c.id == checkId ? 1 : 0);
}

void Dialog::SetFocusItem(int id) {
  if (QWidget* w = Item(id)) w->setFocus();
}

void Dialog::SetToolTip(int id, std::string_view text) {
  if (QWidget* w = Item(id)) w->setToolTip(ToQString(text));
}

void Dialog::SetItemBitmap(int id, int bitmapId) { SetItemImage(id, LoadBitmap(bitmapId)); }

void Dialog::SetItemImage(int id, const QImage& image) {
  QWidget* w = Item(id);
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setIcon(QPixmap::fromImage(image));
    b->setIconSize(image.size());
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setPixmap(QPixmap::fromImage(image));
  }
}

Rect Dialog::ItemRect(int id) const {
  QWidget* w = Item(id);
  if (!w) return {};
  QRect g = w->geometry();
  return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void Dialog::MoveItem(int id, const Rect& r, bool repaint) {
  QWidget* w = Item(id);
  if (!w) return;
  w->setGeometry(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
  if (repaint) w->update();
}

ListBox Dialog::ListBoxItem(int id) const { return ListBox(qobject_cast<QListWidget*>(Item(id))); }
ComboBox Dialog::ComboItem(int id) const { return ComboBox(qobject_cast<QComboBox*>(Item(id))); }
ListView Dialog::ListViewItem(int id) const {
  return ListView(qobject_cast<QTreeWidget*>(Item(id)));
}
Slider Dialog::SliderItem(int id) const { return Slider(qobject_cast<QAbstractSlider*>(Item(id))); }
SpinButton Dialog::SpinItem(int id) const {
  const Control* c = FindControl(id);
  return SpinButton(c && c->kind == ControlKind::SpinButton
                        ? static_cast<SpinButtonWidget*>(c->widget)
                        : nullptr);
}
ProgressBar Dialog::ProgressItem(int id) const {
  return ProgressBar(qobject_cast<QProgressBar*>(Item(id)));
}

void Dialog::ReplaceItem(int id, QWidget* widget) {
  for (auto& c : controls_) {
    if (c.id != id) continue;
    QWidget* old = c.widget;
    widget->setParent(client_);
    widget->setGeometry(old->geometry());
    widget->setVisible(!old->isHidden());
    widget->setEnabled(old->isEnabled());
    widget->setProperty("tacmonId", id);
    widget->stackUnder(old);
    c.widget = widget;
    old->hide();
    old->deleteLater();
    return;
  }
}

// ---- window ---------------------------------------------------------------------------------

void Dialog::SetCaption(std::string_view text) {
  if (window_) window_->setWindowTitle(ToQString(text));
}

Text1251 Dialog::Caption() const {
  return window_ ? FromQString(window_->windowTitle()) : Text1251();
}

void Dialog::ShowWindow(int mode) {
  if (!window_) return;
  switch (mode) {
    case SW_HIDE:
      window_->hide();
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
      window_->showMinimized();
      break;
    case SW_SHOWMAXIMIZED:
      window_->showMaximized();
      break;
    case SW_RESTORE:
      window_->showNormal();
      break;
    default:
      window_->show();
      window_->Touch();
      break;
  }
}

bool Dialog::IsWindowVisible() const { return window_ && window_->isVisible(); }

Rect Dialog::ClientRect() const {
  if (!client_) return {};
  return {0, 0, client_->width(), client_->height()};
}

Rect Dialog::WindowRect() const {
  if (!window_) return {};
  QRect g = window_->frameGeometry();
  return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void Dialog::MoveWindow(const Rect& r, bool repaint) {
  if (!window_) return;
  QRect frame = window_->frameGeometry(), inner = window_->geometry();
  int extraW = frame.width() - inner.width(), extraH = frame.height() - inner.height();
  int w = std::max(1, r.Width() - extraW), h = std::max(1, r.Height() - extraH);
  if (!(template_.style & Style::Resizable)) window_->setFixedSize(w, h);
  window_->move(r.left, r.top);
  window_->resize(w, h);
  if (repaint) window_->update();
}

void Dialog::SetClientSize(int cx, int cy) {
  if (!window_) return;
  int menuH = menuBar_ ? menuBar_->sizeHint().height() : 0;
  int w = std::max(1, cx), h = std::max(1, cy + menuH);
  if (template_.style & Style::Resizable) {
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    window_->setFixedSize(w, h);
  }
  window_->resize(w, h);
  window_->LayoutChildren();
}

Point Dialog::ClientToScreen(Point p) const {
  if (!client_) return p;
  QPoint q = client_->mapToGlobal(QPoint(p.x, p.y));
  return {q.x(), q.y()};
}

Point Dialog::ScreenToClient(Point p) const {
  if (!client_) return p;
  QPoint q = client_->mapFromGlobal(QPoint(p.x, p.y));
  return {q.x(), q.y()};
}

Rect Dialog::DesktopWorkArea() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return {0, 0, 1024, 768};
  QRect g = s->availableGeometry();
  return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void Dialog::SetOpacity(int alpha) {
  opacity_ = std::clamp(alpha, 0, 255);
  if (window_) window_->setWindowOpacity(opacity_ / 255.0);
}

int Dialog::Opacity() const { return opacity_; }

void Dialog::Invalidate(bool) {
  if (client_) client_->update();
}

void Dialog::UpdateWindow() {
  if (client_) client_->repaint();
}

int Dialog::DialogUnitsToPixelsX(int du) const { return du * baseX_ / 4; }
int Dialog::DialogUnitsToPixelsY(int du) const { return du * baseY_ / 8; }

void Dialog::SetIcon(const QImage& image) {
  if (window_) window_->setWindowIcon(QIcon(QPixmap::fromImage(image)));
}

bool Dialog::SetTimer(int id, int ms) {
  if (!window_) return false;
  auto& t = timers_[id];
  if (!t) {
    t = std::make_unique<QTimer>();
    std::weak_ptr<int> alive = life_;
    QObject::connect(t.get(), &QTimer::timeout, [this, alive, id] {
      if (!alive.expired() && window_) OnTimer(id);
    });
  }
  t->start(std::max(10, ms));  // timers never run faster than every 10 ms
  return true;
}

void Dialog::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // The timer may be the one whose tick is running now: stop it, delete it from the loop.
  it->second->stop();
  it->second.release()->deleteLater();
  timers_.erase(it);
}

void Dialog::SetCapture() {
  if (client_) client_->grabMouse();
}

void Dialog::ReleaseCapture() {
  if (HasCapture()) client_->releaseMouse();
}

bool Dialog::HasCapture() const { return client_ && QWidget::mouseGrabber() == client_; }

void Dialog::SetCursorShape(int cursorResourceId) {
  if (!client_) return;
  if (cursorResourceId == 0)
    client_->unsetCursor();
  else
    client_->setCursor(LoadCursor(cursorResourceId));
}

// ---- menus ----------------------------------------------------------------------------------

namespace {
void AddItems(QMenu* menu, const std::vector<MenuItem>& items, std::map<int, QAction*>& actions);

QAction* MakeAction(QWidget* parent, const MenuItem& item, std::map<int, QAction*>& actions) {
  auto* a = new QAction(ButtonText(item.text), parent);
  if (item.checked) {
    a->setCheckable(true);
    a->setChecked(true);
  }
  a->setEnabled(!item.disabled);
  a->setProperty("tacmonId", item.id);
  actions[item.id] = a;
  return a;
}

void AddItems(QMenu* menu, const std::vector<MenuItem>& items, std::map<int, QAction*>& actions) {
  for (const auto& it : items) {
    if (it.separator)
      menu->addSeparator();
    else if (it.popup)
      AddItems(menu->addMenu(ButtonText(it.text)), it.children, actions);
    else
      menu->addAction(MakeAction(menu, it, actions));
  }
}
}  // namespace

void Dialog::BuildMenu(int menuId) {
  const MenuTemplate* m = FindMenu(menuId);
  if (!m || !window_) return;
  menuBar_ = new QMenuBar(window_);
  for (const auto& it : m->items) {
    if (it.popup)
      AddItems(menuBar_->addMenu(ButtonText(it.text)), it.children, menuActions_);
    else if (!it.separator)
      menuBar_->addAction(MakeAction(menuBar_, it, menuActions_));
  }
  std::weak_ptr<int> alive = life_;
  for (auto& [id, action] : menuActions_) {
    int cmd = id;
    QAction* a = action;
    QObject::connect(a, &QAction::triggered, a, [this, alive, cmd, a] {
      if (alive.expired() || !window_) return;
      // Check marks change only when the program says so.
      if (a->isCheckable()) a->setChecked(!a->isChecked());
      RouteCommand(cmd);
    });
  }
  window_->SetMenuBarWidget(menuBar_);
  menuBar_->show();
}

void Dialog::SetMenu(int menuId) {
  if (!window_) return;
  QRect client = client_->geometry();
  if (menuBar_) {
    menuBar_->deleteLater();
    menuBar_ = nullptr;
    menuActions_.clear();
    window_->SetMenuBarWidget(nullptr);
  }
  if (menuId) BuildMenu(menuId);
  SetClientSize(client.width(), client.height());
}

void Dialog::CheckMenuItem(int command, bool checked) {
  auto it = menuActions_.find(command);
  if (it == menuActions_.end()) return;
  it->second->setCheckable(true);
  it->second->setChecked(checked);
}

bool Dialog::IsMenuItemChecked(int command) const {
  auto it = menuActions_.find(command);
  return it != menuActions_.end() && it->second->isChecked();
}

void Dialog::EnableMenuItem(int command, bool enabled) {
  auto it = menuActions_.find(command);
  if (it != menuActions_.end()) it->second->setEnabled(enabled);
}

void Dialog::AppendSystemMenuItem(int command, std::string_view text) {
  // No system menu here: the item goes to a "?" menu at the end of the menu bar.
  if (!window_) return;
  if (!menuBar_) {
    QRect client = client_->geometry();
    menuBar_ = new QMenuBar(window_);
    window_->SetMenuBarWidget(menuBar_);
    menuBar_->show();
    SetClientSize(client.width(), client.height());
  }
  QMenu* help = nullptr;
  for (QAction* a : menuBar_->actions())
    if (a->menu() && a->text() == "?") help = a->menu();
  if (!help) help = menuBar_->addMenu("?");
  MenuItem item;
  item.id = command;
  item.text = Text1251(text);
  QAction* a = MakeAction(help, item, menuActions_);
  help->addAction(a);
  std::weak_ptr<int> alive = life_;
  QObject::connect(a, &QAction::triggered, a, [this, alive, command] {
    if (!alive.expired() && window_) RouteCommand(command);
  });
}

void Dialog::LoadAccelerators(int tableId) {
  const AcceleratorTable* t = FindAccelerators(tableId);
  accelerators_ = t ? t->entries : std::vector<Accelerator>{};
}

QWidget* Dialog::Widget() const { return window_; }
QWidget* Dialog::ClientWidget() const { return client_; }

// ---- control views --------------------------------------------------------------------------

namespace {
int CompareNoCase(const Text1251& a, const Text1251& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Cp1251Lower(static_cast<unsigned char>(a[i]));
    unsigned char y = Cp1251Lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
constexpr int kDataRole = Qt::UserRole + 1;
}  // namespace

int ListBox::AddString(std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int index = w_->count();
  auto* item = new QListWidgetItem(ToQString(text));
  // Sorted list boxes keep their items in order, case-insensitive.
  QVariant sorted = w_->property("tacmonStyle");
  if (sorted.isValid() && (sorted.toUInt() & Style::Sort)) {
    Text1251 t(text);
    index = 0;
    while (index < w_->count() && CompareNoCase(FromQString(w_->item(index)->text()), t) <= 0)
      ++index;
  }
  w_->insertItem(index, item);
  return index;
}

int ListBox::InsertString(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (index < 0 || index > w_->count()) index = w_->count();
  w_->insertItem(index, ToQString(text));
  return index;
}

int ListBox::DeleteString(int index) {
  if (!w_ || index < 0 || index >= w_->count()) return -1;
  QSignalBlocker b(w_);
  delete w_->takeItem(index);
  return w_->count();
}

void ListBox::ResetContent() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

int ListBox::GetCount() const { return w_ ? w_->count() : 0; }

int ListBox::GetCurSel() const {
  if (!w_) return -1;
  auto sel = w_->selectedItems();
  if (sel.isEmpty()) return -1;
  return w_->selectionMode() == QAbstractItemView::SingleSelection ? w_->row(sel.front())
                                                                   : w_->currentRow();
}

bool ListBox::SetCurSel(int index) {
  if (!w_) return false;
  QSignalBlocker b(w_);
  if (index < 0 || index >= w_->count()) {
    w_->clearSelection();
    w_->setCurrentRow(-1);
    return index == -1;
  }
  w_->setCurrentRow(index);
  w_->item(index)->setSelected(true);
  return true;
}

std::vector<int> ListBox::GetSelItems() const {
  std::vector<int> out;
  if (!w_) return out;
  for (int i = 0; i < w_->count(); ++i)
    if (w_->item(i)->isSelected()) out.push_back(i);
  return out;
}

void ListBox::SetSel(int index, bool selected) {
  if (!w_ || index < 0 || index >= w_->count()) return;
  QSignalBlocker b(w_);
  w_->item(index)->setSelected(selected);
}

Text1251 ListBox::GetText(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return {};
  return FromQString(w_->item(index)->text());
}

void ListBox::SetItemData(int index, intptr_t data) {
  if (w_ && index >= 0 && index < w_->count())
    w_->item(index)->setData(kDataRole, QVariant::fromValue<qlonglong>(data));
}

intptr_t ListBox::GetItemData(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return 0;
  return intptr_t(w_->item(index)->data(kDataRole).toLongLong());
}

int ListBox::FindStringExact(std::string_view text) const {
  if (!w_) return -1;
  Text1251 t(text);
  for (int i = 0; i < w_->count(); ++i)
    if (CompareNoCase(FromQString(w_->item(i)->text()), t) == 0) return i;
  return -1;
}

int ListBox::GetTopIndex() const {
  if (!w_ || w_->count() == 0) return 0;
  QListWidgetItem* it = w_->itemAt(0, 0);
  return it ? w_->row(it) : 0;
}

void ListBox::SetTopIndex(int index) {
  if (w_ && index >= 0 && index < w_->count())
    w_->scrollToItem(w_->item(index), QAbstractItemView::PositionAtTop);
}

int ComboBox::AddString(std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int selected = w_->currentIndex();
  w_->addItem(ToQString(text));
  w_->setCurrentIndex(selected);  // adding selects nothing, as on Windows
  return w_->count() - 1;
}

int ComboBox::InsertString(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (index < 0 || index > w_->count()) index = w_->count();
  int selected = w_->currentIndex();
  w_->insertItem(index, ToQString(text));
  w_->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
  return index;
}

int ComboBox::DeleteString(int index) {
  if (!w_ || index < 0 || index >= w_->count()) return -1;
  QSignalBlocker b(w_);
  w_->removeItem(index);
  return w_->count();
}

void ComboBox::ResetContent() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

int ComboBox::GetCount() const { return w_ ? w_->count() : 0; }
int ComboBox::GetCurSel() const { return w_ ? w_->currentIndex() : -1; }

bool ComboBox::SetCurSel(int index) {
  if (!w_) return false;
  QSignalBlocker b(w_);
  if (index < -1 || index >= w_->count()) return false;
  w_->setCurrentIndex(index);
  return true;
}

Text1251 ComboBox::GetLBText(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return {};
  return FromQString(w_->itemText(index));
}

int ComboBox::SelectString(std::string_view text) {
  if (!w_) return -1;
  int i = w_->findText(ToQString(text), Qt::MatchFixedString);
  if (i >= 0) SetCurSel(i);
  return i;
}

void ComboBox::SetItemData(int index, intptr_t data) {
  if (w_ && index >= 0 && index < w_->count())
    w_->setItemData(index, QVariant::fromValue<qlonglong>(data), kDataRole);
}

intptr_t ComboBox::GetItemData(int index) const {
  if (!w_ || index < 0 || index >= w_->count()) return 0;
  return intptr_t(w_->itemData(index, kDataRole).toLongLong());
}

int ListView::InsertColumn(int column, std::string_view heading, int widthPx, int align) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  int n = w_->columnCount();
  if (column < 0 || column > n) column = n;
  QTreeWidgetItem* header = w_->headerItem();
  QStringList labels;
  for (int i = 0; i < n; ++i) labels << header->text(i);
  labels.insert(column, ToQString(heading));
  w_->setColumnCount(n + 1);
  w_->setHeaderLabels(labels);
  for (int i = 0; i < w_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* it = w_->topLevelItem(i);
    for (int c = n; c > column; --c) it->setText(c, it->text(c - 1));
    it->setText(column, QString());
  }
  w_->setColumnWidth(column, widthPx);
  Qt::Alignment a = align == 1 ? Qt::AlignRight : align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
  header->setTextAlignment(column, a | Qt::AlignVCenter);
  w_->headerItem()->setData(column, kDataRole, int(a));
  return column;
}

int ListView::GetColumnCount() const { return w_ ? w_->columnCount() : 0; }

void ListView::SetColumnWidth(int column, int widthPx) {
  if (w_) w_->setColumnWidth(column, widthPx);
}

int ListView::InsertItem(int index, std::string_view text) {
  if (!w_) return -1;
  QSignalBlocker b(w_);
  if (w_->columnCount() == 0) w_->setColumnCount(1);
  if (index < 0 || index > w_->topLevelItemCount()) index = w_->topLevelItemCount();
  auto* it = new QTreeWidgetItem;
  it->setText(0, ToQString(text));
  for (int c = 0; c < w_->columnCount(); ++c) {
    int a = w_->headerItem()->data(c, kDataRole).toInt();
    if (a) it->setTextAlignment(c, Qt::Alignment(a) | Qt::AlignVCenter);
  }
  w_->insertTopLevelItem(index, it);
  return index;
}

bool ListView::SetItemText(int item, int subItem, std::string_view text) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount() || subItem < 0) return false;
  if (subItem >= w_->columnCount()) return false;
  QSignalBlocker b(w_);
  w_->topLevelItem(item)->setText(subItem, ToQString(text));
  return true;
}

Text1251 ListView::GetItemText(int item, int subItem) const {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount() || subItem < 0) return {};
  return FromQString(w_->topLevelItem(item)->text(subItem));
}

int ListView::GetItemCount() const { return w_ ? w_->topLevelItemCount() : 0; }

bool ListView::DeleteItem(int item) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return false;
  QSignalBlocker b(w_);
  delete w_->takeTopLevelItem(item);
  return true;
}

void ListView::DeleteAllItems() {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->clear();
}

void ListView::SetItemData(int item, intptr_t data) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount())
    w_->topLevelItem(item)->setData(0, kDataRole, QVariant::fromValue<qlonglong>(data));
}

intptr_t ListView::GetItemData(int item) const {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return 0;
  return intptr_t(w_->topLevelItem(item)->data(0, kDataRole).toLongLong());
}

int ListView::GetNextSelected(int after) const {
  if (!w_) return -1;
  for (int i = std::max(0, after + 1); i < w_->topLevelItemCount(); ++i)
    if (w_->topLevelItem(i)->isSelected()) return i;
  return -1;
}

void ListView::SetSelected(int item, bool selected) {
  if (!w_ || item < 0 || item >= w_->topLevelItemCount()) return;
  QSignalBlocker b(w_);
  QTreeWidgetItem* it = w_->topLevelItem(item);
  if (selected) {
    if (w_->selectionMode() == QAbstractItemView::SingleSelection) w_->clearSelection();
    w_->setCurrentItem(it);
  }
  it->setSelected(selected);
}

int ListView::GetSelectionMark() const {
  if (!w_ || !w_->currentItem()) return -1;
  return w_->indexOfTopLevelItem(w_->currentItem());
}

void ListView::EnsureVisible(int item) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount()) w_->scrollToItem(w_->topLevelItem(item));
}

void ListView::SetItemIcon(int item, const QImage& image) {
  if (w_ && item >= 0 && item < w_->topLevelItemCount())
    w_->topLevelItem(item)->setIcon(0, QIcon(QPixmap::fromImage(image)));
}

void ListView::SetIconSize(int cx, int cy) {
  if (w_) w_->setIconSize(QSize(cx, cy));
}

void ListView::SetGridLines(bool on) {
  if (w_) w_->setStyleSheet(on ? "QTreeView::item { border: 1px solid #d0d0d0; }" : "");
}

void Slider::SetRange(int min, int max) {
  if (w_) w_->setRange(min, max);
}
int Slider::GetRangeMin() const { return w_ ? w_->minimum() : 0; }
int Slider::GetRangeMax() const { return w_ ? w_->maximum() : 0; }
void Slider::SetPos(int pos) {
  if (!w_) return;
  QSignalBlocker b(w_);
  w_->setValue(pos);
  w_->setSliderPosition(w_->value());
}
int Slider::GetPos() const { return w_ ? w_->sliderPosition() : 0; }
void Slider::SetPageSize(int page) {
  if (w_) w_->setPageStep(page);
}
void Slider::SetLineSize(int line) {
  if (w_) w_->setSingleStep(line);
}
void Slider::SetTicFreq(int freq) {
  if (auto* s = qobject_cast<QSlider*>(w_)) s->setTickInterval(freq);
}

void SpinButton::SetRange(int min, int max) {
  if (w_) w_->SetRange(min, max);
}
void SpinButton::SetPos(int pos) {
  if (w_) w_->SetPos(pos);
}
int SpinButton::GetPos() const { return w_ ? w_->Pos() : 0; }

void ProgressBar::SetRange(int min, int max) {
  if (w_) w_->setRange(min, max);
}
void ProgressBar::SetPos(int pos) {
  if (w_) w_->setValue(std::clamp(pos, w_->minimum(), w_->maximum()));
}
int ProgressBar::GetPos() const { return w_ ? w_->value() : 0; }
void ProgressBar::StepIt() {
  if (!w_) return;
  int v = w_->value() + step_;
  // Past the end the bar wraps round and starts again from the bottom.
  if (v > w_->maximum()) v = w_->minimum() + (v - w_->maximum());
  w_->setValue(std::clamp(v, w_->minimum(), w_->maximum()));
}

// ---- popup menus ----------------------------------------------------------------------------

namespace {
QMenu* g_openPopup = nullptr;  // the popup being tracked (the automation's "menu" reaches it)
}

QMenu* OpenPopupMenu() { return g_openPopup; }

PopupMenu::PopupMenu() : menu_(std::make_unique<QMenu>()) {}
PopupMenu::~PopupMenu() = default;

void PopupMenu::AppendItem(int command, std::string_view text, bool checked, bool disabled) {
  auto* a = menu_->addAction(ButtonText(text));
  a->setProperty("tacmonId", command);
  if (checked) {
    a->setCheckable(true);
    a->setChecked(true);
  }
  a->setEnabled(!disabled);
}

void PopupMenu::AppendSeparator() { menu_->addSeparator(); }

int PopupMenu::ItemCount() const {
  int n = 0;
  for (QAction* a : menu_->actions())
    if (!a->isSeparator()) ++n;
  return n;
}

int PopupMenu::Track(Dialog*, Point screenPos) {
  QMenu* previous = g_openPopup;
  g_openPopup = menu_.get();
  QAction* chosen = menu_->exec(QPoint(screenPos.x, screenPos.y));
  g_openPopup = previous;
  return chosen ? chosen->property("tacmonId").toInt() : 0;
}

}  // namespace ui
