#include "app/log/message_window.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "app/kit/anchor_layout.h"
#include "app/log/log_format.h"
#include "app/log/message_log.h"
#include "app/log/message_window_host.h"
#include "platform/report.h"
#include "platform/ui/app_loop.h"
#include "platform/ui/automation.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt_text.h"
#include "platform/ui/resources.h"

namespace {

// Dialog 131; dialog units.
const char* const kTemplate131 = R"RC(
DIALOG 131 "Сообщения" 0 0 322 229 STYLE resizable
  BUTTON     1000   7   5  95 14 "Стереть все сообщения"
  TRACKBAR   1009 106   5 100 14 "" STYLE noticks
  BUTTON     1008 220   5  95 14 "Показать все сообщения"
  LISTBOX    1004   7  22 308 128 "" STYLE vscroll hscroll
  EDIT       1007   7 153 308  42 "" STYLE multiline readonly vscroll
  CHECKBOX   1005   7 199 170 10 "запретить автоматическое появление"
  CHECKBOX   1006   7 212 170 10 "Показывать предупреждения"
  BUTTON    57670 208 210  50 14 "&Справка" STYLE hidden
  DEFBUTTON     1 265 210  50 14 "OK"
END
)RC";

// Corner button pictures: a 9 x 9 frame with the chosen corner filled (normal and pressed).
void RegisterCornerBitmaps() {
  struct Pic {
    int normal, pressed;
    bool right, bottom;
  } pics[] = {{134, 135, false, false},
              {132, 133, false, true},
              {138, 139, true, false},
              {136, 137, true, true}};
  for (const Pic& p : pics) {
    for (int pressed = 0; pressed < 2; ++pressed) {
      QImage img(9, 9, QImage::Format_RGB32);
      img.fill(pressed ? QColor(160, 160, 160) : QColor(230, 230, 230));
      QPainter g(&img);
      g.setPen(QColor(60, 60, 60));
      g.drawRect(0, 0, 8, 8);
      g.fillRect(p.right ? 5 : 1, p.bottom ? 5 : 1, 3, 3, QColor(0, 0, 128));
      g.end();
      ui::RegisterBitmap(pressed ? p.pressed : p.normal, img);
    }
  }
}

void EnsureResources() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (!ui::FindDialogTemplate(131)) {
      std::string error;
      if (!ui::RegisterResources(kTemplate131, &error))
        AddLogMessageF("(13216)dialog 131: %s", error.c_str());
    }
    RegisterCornerBitmaps();
  });
}

// A corner button: its caption as text, drawn as its normal or (while held down) pressed picture.
class CornerButton : public QAbstractButton {
 public:
  CornerButton(const char* caption, QImage normal, QImage pressed)
      : normal_(std::move(normal)), pressed_(std::move(pressed)) {
    setText(caption);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QImage& img = isDown() && !pressed_.isNull() ? pressed_ : normal_;
    if (!img.isNull()) p.drawImage(rect(), img);
  }

 private:
  QImage normal_, pressed_;
};

// The core's view of the window: every call is carried to the UI thread, where the window
// lives; a call after Destroy finds no window and does nothing.
class MessageWindowBridge : public MessageWindowHost {
 public:
  MessageWindowBridge() : state_(std::make_shared<State>()) {}

  bool Create() {
    EnsureResources();
    auto box = std::make_unique<CKD_MessageBox>();
    if (!box->Create(nullptr)) return false;
    state_->box = std::move(box);
    return true;
  }

  void ListChanged() override {
    if (state_->refreshPending.exchange(true)) return;  // one refresh waiting is enough
    Post([](State& s) {
      s.refreshPending = false;
      s.box->RefreshFromLog();
    });
  }
  void ShowWindow(int mode, int corner) override {
    Post([mode, corner](State& s) {
      s.box->MoveToCorner(corner);
      s.box->ShowWindow(mode == 0 ? ui::SW_HIDE : ui::SW_SHOW);
      s.box->RefreshFromLog();
    });
  }
  void MoveToCorner(int corner) override {
    Post([corner](State& s) { s.box->MoveToCorner(corner); });
  }
  void OpacityChanged(int opacity) override {
    Post([opacity](State& s) { s.box->ApplyOpacity(opacity); });
  }
  void Destroy() override {
    auto state = state_;
    auto finish = [state] {
      if (state->box) state->box->DestroyWindow();
      state->box.reset();
    };
    if (ui::IsUiThread())
      finish();
    else
      ui::PostToUiThread(finish);
  }

 private:
  struct State {
    std::unique_ptr<CKD_MessageBox> box;  // UI thread only
    std::atomic<bool> refreshPending{false};
  };
  void Post(std::function<void(State&)> fn) {
    std::weak_ptr<State> weak = state_;
    ui::PostToUiThread([weak, fn = std::move(fn)] {
      if (auto s = weak.lock(); s && s->box && s->box->HasWindow()) fn(*s);
    });
  }
  std::shared_ptr<State> state_;
};

std::shared_ptr<MessageWindowHost> CreateMessageWindow() {
  auto bridge = std::make_shared<MessageWindowBridge>();
  if (!bridge->Create()) return nullptr;
  return bridge;
}

}  // namespace

void InstallMessageWindow() {
  EnsureResources();
  SetMessageWindowFactory(&CreateMessageWindow);
  // Scripted runs: "message-window 5" shows the window, "message-window 0" hides it,
  // "log-message TEXT..." reports a message.
  ui::automation::RegisterCommand("message-window", [](ui::automation::Context& c) {
    if (c.args.size() != 1 || (c.args[0] != "0" && c.args[0] != "5")) {
      c.error = "message-window needs 0 or 5";
      return ui::automation::Result::Failed;
    }
    ShowMessageWindow(std::stoi(c.args[0]));
    return ui::automation::Result::Done;
  });
  ui::automation::RegisterCommand("log-message", [](ui::automation::Context& c) {
    AddLogMessage(Utf8ToCp1251(c.rest).c_str());
    return ui::automation::Result::Done;
  });
}

// ---- the window ---------------------------------------------------------------------------

CKD_MessageBox::CKD_MessageBox() : Dialog(131) {
  OnCommand(kMsgErase, [this] {
    if (ui::MessageBox(this, "Стереть все сообщения?"_cp, "", ui::MB_YESNO) == ui::IDYES)
      EraseMessageLog();
  });
  OnCommand(kMsgShowAll, [] {
    if (!OpenMessageLogInViewer()) AddLogMessage("(13217)Can't start the text viewer");
  });
  OnCommand(kMsgNoPopup, [this] { SetNoAutoPopup(GetCheck(kMsgNoPopup) != 0); });
  OnCommand(kMsgShowWarnings, [this] { SetShowWarnings(GetCheck(kMsgShowWarnings) != 0); });
  OnNotify(kMsgList, ui::Notify::SelChange, [this](const ui::NotifyInfo&) { ShowSelectedLine(); });
  OnScroll(kMsgOpacity, [](int code, int pos) {
    SetMessageWindowOpacity(msglog::OpacityAfterScroll(MessageWindowOpacity(), code, pos));
  });
}

bool CKD_MessageBox::OnInitDialog() {
  movingByItself_ = true;
  ShowItem(kMsgHelp, false);
  ui::Slider slider = SliderItem(kMsgOpacity);
  slider.SetRange(50, 256);
  slider.SetPageSize(40);
  slider.SetPos(MessageWindowOpacity());
  SetOpacity(MessageWindowOpacity());
  CreateCornerButtons();
  // Anchors: the list grows both ways; the detail box grows in width and keeps its distance to
  // the bottom; the check boxes keep theirs to the bottom; "show all" to the right; OK, help
  // and the corner buttons to the right and bottom; erase and the trackbar stay.
  using namespace kit;
  const std::pair<int, int> table[] = {
      {kMsgList, kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom},
      {kMsgDetail, kAnchorLeft | kAnchorRight | kAnchorBottom},
      {kMsgNoPopup, kAnchorLeft | kAnchorBottom},
      {kMsgShowWarnings, kAnchorLeft | kAnchorBottom},
      {kMsgShowAll, kAnchorRight | kAnchorTop},
      {ui::IDOK, kAnchorRight | kAnchorBottom},
      {kMsgHelp, kAnchorRight | kAnchorBottom},
      {kMsgCornerLT, kAnchorRight | kAnchorBottom},
      {kMsgCornerLB, kAnchorRight | kAnchorBottom},
      {kMsgCornerRT, kAnchorRight | kAnchorBottom},
      {kMsgCornerRB, kAnchorRight | kAnchorBottom},
      {kMsgErase, kAnchorLeft | kAnchorTop},
      {kMsgOpacity, kAnchorLeft | kAnchorTop},
  };
  for (auto [id, flags] : table) anchors_.push_back({id, flags, ItemRect(id)});
  client0_ = ClientRect();
  anchorsReady_ = true;
  RefreshFromLog();
  placedAt_ = WindowRect();
  return true;
}

void CKD_MessageBox::CreateCornerButtons() {
  // 9 x 9 pixels in a 2 x 2 grid just above OK at the right edge: LT over LB, RT over RB.
  const ui::Rect ok = ItemRect(ui::IDOK);
  const int right = ok.right, bottom = ok.top - 2;
  struct B {
    int id, normal, pressed, col, row, corner;
    const char* caption;
  } buttons[] = {{kMsgCornerLT, 134, 135, 0, 0, 1, "LT"},
                 {kMsgCornerLB, 132, 133, 0, 1, 3, "LB"},
                 {kMsgCornerRT, 138, 139, 1, 0, 2, "RT"},
                 {kMsgCornerRB, 136, 137, 1, 1, 4, "RB"}};
  for (const B& b : buttons) {
    const int x = right - (2 - b.col) * 10, y = bottom - (2 - b.row) * 10;
    if (!CreateControl(b.id, ui::ControlKind::BitmapButton, std::to_string(b.normal),
                       {x, y, x + 9, y + 9}))
      continue;
    // The caption stays the button's text (as the dump reports it); the picture is drawn.
    auto* button = new CornerButton(b.caption, ui::LoadBitmap(b.normal), ui::LoadBitmap(b.pressed));
    ReplaceItem(b.id, button);
    SetToolTip(b.id, b.caption);
    const int corner = b.corner;
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [corner] { SetDockingCorner(corner); });
  }
}

void CKD_MessageBox::OnSize(int cx, int cy) {
  if (!anchorsReady_ || !HasWindow()) return;
  for (const Anchor& a : anchors_) {
    kit::AnchorEntry e{a.id, a.flags, a.rect};
    MoveItem(a.id, kit::ArrangedRect(e, client0_, cx, cy));
  }
}

void CKD_MessageBox::OnMove(int x, int y) {
  if (movingByItself_ || (x == placedAt_.left && y == placedAt_.top)) return;
  // The user moved it: no longer docked.
  OnMessageWindowMovedByUser();
  placedAt_ = WindowRect();
}

void CKD_MessageBox::MoveToCorner(int corner) {
  if (corner >= 1 && corner <= 4) {
    movingByItself_ = true;
    msglog::Rect work{}, win{};
    const ui::Rect wa = DesktopWorkArea(), wr = WindowRect();
    work = {wa.left, wa.top, wa.right, wa.bottom};
    win = {wr.left, wr.top, wr.right, wr.bottom};
    const msglog::Rect to = msglog::PlaceInCorner(work, win, corner);
    MoveWindow({to.left, to.top, to.right, to.bottom});
    placedAt_ = WindowRect();
  }
  movingByItself_ = false;
}

void CKD_MessageBox::ApplyOpacity(int opacity) {
  SetOpacity(opacity);
  ui::Slider slider = SliderItem(kMsgOpacity);
  if (slider.GetPos() != opacity) slider.SetPos(opacity);
}

void CKD_MessageBox::OnOK() { ShowMessageWindow(0); }
void CKD_MessageBox::OnCancel() { ShowMessageWindow(0); }

void CKD_MessageBox::RefreshFromLog() {
  MessageListSnapshot s = GetMessageList();
  SetCheck(kMsgNoPopup, s.noAutoPopup ? 1 : 0);
  SetCheck(kMsgShowWarnings, s.showWarnings ? 1 : 0);
  ApplyOpacity(MessageWindowOpacity());
  ui::ListBox list = ListBoxItem(kMsgList);
  if (!list.Valid() || s.revision == shownRevision_) return;
  shownRevision_ = s.revision;
  const std::vector<Text1251>& next = s.lines;
  QListWidget* w = list.Widget();
  const bool intact = list.GetCount() == static_cast<int>(shown_.size());
  // Usually a few lines came on top and some left the bottom: change only those rows.
  size_t added = 0;
  bool incremental = false;
  for (; intact && added <= std::min<size_t>(next.size(), 64); ++added) {
    const size_t kept = next.size() - added;
    if (kept <= shown_.size() &&
        std::equal(next.begin() + static_cast<long>(added), next.end(), shown_.begin())) {
      incremental = true;
      break;
    }
  }
  w->setUpdatesEnabled(false);
  if (incremental) {
    const int kept = static_cast<int>(next.size() - added);
    while (list.GetCount() > kept) list.DeleteString(list.GetCount() - 1);
    for (size_t i = 0; i < added; ++i) list.InsertString(static_cast<int>(i), next[i]);
  } else {
    list.ResetContent();
    for (const auto& line : next) list.AddString(line);
  }
  w->setUpdatesEnabled(true);
  shown_ = next;
}

void CKD_MessageBox::ShowSelectedLine() {
  ui::ListBox list = ListBoxItem(kMsgList);
  const int sel = list.GetCurSel();
  if (sel < 0) return;
  const Text1251 line = list.GetText(sel);
  QWidget* edit = Item(kMsgDetail);
  int width = edit ? edit->width() - 12 : 300;
  QFontMetrics fm(edit ? edit->font() : QFont());
  if (auto* te = qobject_cast<QTextEdit*>(edit)) width = te->viewport()->width() - 8;
  if (auto* pe = qobject_cast<QPlainTextEdit*>(edit)) width = pe->viewport()->width() - 8;
  SetItemText(kMsgDetail, msglog::WrapDetailText(line, std::max(width, 1), [&](std::string_view s) {
                return fm.horizontalAdvance(ui::ToQString(s));
              }));
}
