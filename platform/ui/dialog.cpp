#include "platform/ui/dialog.h"

#include <cxxabi.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/report.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/detail/dialog_shared.h"
#include "platform/ui/detail/widgets.h"
#include "platform/ui/qt_text.h"

namespace ui {

namespace {

std::vector<Dialog*>& Registry() {
  static std::vector<Dialog*> v;
  return v;
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

std::string Demangle(const char* name) {
  int status = 0;
  char* s = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string out = status == 0 && s ? s : name;
  std::free(s);
  auto colon = out.rfind("::");
  if (colon != std::string::npos) out = out.substr(colon + 2);
  return out;
}

}  // namespace

namespace detail {

QString ButtonText(std::string_view caption) {
  QString s = ToQString(caption);
  s.remove('\r');
  return s;
}

}  // namespace detail

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
  detail::InstallAcceleratorFilter();
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
        b->setText(detail::ButtonText(caption));
      }
      w = b;
      break;
    }
    case ControlKind::CheckBox:
      w = new QCheckBox(detail::ButtonText(caption), client_);
      break;
    case ControlKind::RadioButton: {
      auto* rb = new QRadioButton(detail::ButtonText(caption), client_);
      rb->setAutoExclusive(false);
      w = rb;
      break;
    }
    case ControlKind::GroupBox: {
      auto* g = new QGroupBox(detail::ButtonText(caption), client_);
      g->setAttribute(Qt::WA_TransparentForMouseEvents);
      w = g;
      break;
    }
    case ControlKind::Static: {
      auto* l = new QLabel(client_);
      l->setTextFormat(Qt::PlainText);
      l->setText(detail::ButtonText(caption));
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
    b->setText(detail::ButtonText(text));
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(detail::ButtonText(text));
  else if (auto* g = qobject_cast<QGroupBox*>(w))
    g->setTitle(detail::ButtonText(text));
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

QWidget* Dialog::Widget() const { return window_; }
QWidget* Dialog::ClientWidget() const { return client_; }

}  // namespace ui
