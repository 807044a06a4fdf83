// Menus, accelerators and popup menus of dialogs.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include "platform/ui/detail/dialog_shared.h"
#include "platform/ui/detail/widgets.h"
#include "platform/ui/dialog.h"
#include "platform/ui/qt_text.h"

namespace ui {

namespace {

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

}  // namespace

namespace detail {

void InstallAcceleratorFilter() {
  static AcceleratorFilter* filter = nullptr;
  if (!filter && qApp) {
    filter = new AcceleratorFilter;
    qApp->installEventFilter(filter);
  }
}

}  // namespace detail

// ---- accelerators ---------------------------------------------------------------------------

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

// ---- menus ----------------------------------------------------------------------------------

namespace {
void AddItems(QMenu* menu, const std::vector<MenuItem>& items, std::map<int, QAction*>& actions);

QAction* MakeAction(QWidget* parent, const MenuItem& item, std::map<int, QAction*>& actions) {
  auto* a = new QAction(detail::ButtonText(item.text), parent);
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
      AddItems(menu->addMenu(detail::ButtonText(it.text)), it.children, actions);
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
      AddItems(menuBar_->addMenu(detail::ButtonText(it.text)), it.children, menuActions_);
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

// ---- popup menus ----------------------------------------------------------------------------

namespace {
QMenu* g_openPopup = nullptr;  // the popup being tracked (the automation's "menu" reaches it)
}

QMenu* OpenPopupMenu() { return g_openPopup; }

PopupMenu::PopupMenu() : menu_(std::make_unique<QMenu>()) {}
PopupMenu::~PopupMenu() = default;

void PopupMenu::AppendItem(int command, std::string_view text, bool checked, bool disabled) {
  auto* a = menu_->addAction(detail::ButtonText(text));
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
