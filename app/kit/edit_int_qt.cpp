#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "app/kit/date_dialog.h"
#include "app/kit/edit_int.h"
#include "platform/ui/qt_text.h"

// ---- CButtonArrow -----------------------------------------------------------------------------

CButtonArrow::CButtonArrow(QWidget* parent) : QPushButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setObjectName("101");
}

void CButtonArrow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect();
  // Push-button frame, pushed look while held down.
  QStyleOptionButton opt;
  opt.initFrom(this);
  opt.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, &p, this);
  p.fillRect(r.adjusted(2, 2, -2, -2), QColor(200, 200, 200));
  const int left = r.left(), top = r.top(), right = r.right() + 1, bottom = r.bottom() + 1;
  const int centre = (left + right) / 2;
  const QPoint tri[3] = {{left + 3, top + 5}, {right + 1, top + 5}, {centre + 2, bottom - 5}};
  p.setPen(QColor(100, 100, 100));
  p.setBrush(QColor(100, 100, 100));
  p.drawPolygon(tri, 3);
  p.setPen(QColor(150, 150, 150));
  p.drawLine(right - 1, top + 1, right - 1, bottom - 1);
  p.drawLine(right - 2, top + 2, right - 2, bottom - 1);
}

void CButtonArrow::mouseReleaseEvent(QMouseEvent* e) {
  QPushButton::mouseReleaseEvent(e);
  update();
}

// ---- KCEditInt --------------------------------------------------------------------------------

KCEditInt::KCEditInt(QWidget* parent) : QLineEdit(parent) {}

KCEditInt::~KCEditInt() = default;

kit::EditIntRange KCEditInt::Range() const {
  kit::EditIntRange r;
  r.min = min;
  r.max = max;
  r.allowUndefined = allowUndefined != 0;
  for (unsigned i = 0; i < nameCount && i < names.size(); ++i) r.names.push_back(names[i].second);
  return r;
}

Text1251 KCEditInt::Text() const { return ui::FromQString(text()); }
void KCEditInt::SetText(std::string_view t) { setText(ui::ToQString(t)); }

int KCEditInt::GetValue() const { return kit::ParseEditValue(Text(), Range()); }
void KCEditInt::SetValue(int v) { SetText(kit::FormatEditValue(v, Range())); }
void KCEditInt::SetDate(int d, int m, int y) { SetText(kit::FormatDate(d, m, y)); }
void KCEditInt::GetDate(int& d, int& m, int& y) const { kit::ParseDate(Text(), d, m, y); }

void KCEditInt::SpinStep(int code) {
  if (dateMode) {
    if (code == 0 || code == 1) {
      if (auto t = kit::DateStep(Text(), caretPos, code == 0 ? +1 : -1)) {
        SetText(*t);
        setCursorPosition(caretPos);
      }
    }
    return;
  }
  kit::SpinOutcome o = kit::SpinStep(Text(), code, Range());
  if (!o.acted) return;
  if (spin) {
    QSignalBlocker quiet(spin);
    spin->setValue(std::clamp(o.position, -30000, 30000));
  }
  SetText(o.text);
  if (onChange) onChange(changeContext, o.value);
}

void KCEditInt::EnsureChildren() {
  if (!spin) {
    spin = new QScrollBar(Qt::Vertical, this);
    spin->setObjectName("100");
    spin->setRange(-30000, 30000);
    spin->setFocusPolicy(Qt::NoFocus);
    spin->setCursor(Qt::ArrowCursor);
    // Scroll actions as scroll codes (SB_LINEUP ...): the up arrow is "line up" (+1).
    QObject::connect(spin, &QAbstractSlider::actionTriggered, this, [this](int action) {
      int code = -1;
      switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
          code = 0;
          break;
        case QAbstractSlider::SliderSingleStepAdd:
          code = 1;
          break;
        case QAbstractSlider::SliderPageStepSub:
          code = 2;
          break;
        case QAbstractSlider::SliderPageStepAdd:
          code = 3;
          break;
        case QAbstractSlider::SliderMove:
          code = 5;
          break;
        case QAbstractSlider::SliderToMinimum:
          code = 6;
          break;
        case QAbstractSlider::SliderToMaximum:
          code = 7;
          break;
        default:
          break;
      }
      if (code < 0) return;
      const int before = spin->value();
      // The bar itself must not move on its own: the step decides its position.
      spin->setSliderPosition(before);
      SpinStep(code);
    });
    QObject::connect(spin, &QAbstractSlider::sliderReleased, this, [this] { SpinStep(4); });
    spin->show();
  }
  if (!arrow && (valueMenu || dateMode)) {
    arrow = new CButtonArrow(this);
    QObject::connect(arrow, &QPushButton::clicked, this, [this] { OpenArrowPopup(); });
    arrow->show();
  }
  PlaceChildren();
  update();
}

void KCEditInt::PlaceChildren() {
  if (!spin) return;
  const QRect r = rect();
  const int left = std::max(r.right() + 1 - r.height() * 2 / 3, r.left());
  spin->setGeometry(left, 0, r.right() + 1 - left, r.height());
  int textRight = left;
  if (arrow) {
    const int w = r.right() + 1 - left;
    const int aLeft = std::max(left - w, r.left());
    arrow->setGeometry(aLeft, 0, left - aLeft, r.height());
    textRight = aLeft;
  }
  textRect = QRect(r.left(), r.top(), textRight - r.left(), r.height());
  setTextMargins(0, 0, r.right() + 1 - textRight, 0);
}

void KCEditInt::paintEvent(QPaintEvent* e) {
  QLineEdit::paintEvent(e);
  if (!spin) EnsureChildren();
}

void KCEditInt::showEvent(QShowEvent* e) {
  QLineEdit::showEvent(e);
  // Shown means painted next; the bars are there from the first picture on.
  if (!spin) EnsureChildren();
}

void KCEditInt::resizeEvent(QResizeEvent* e) {
  QLineEdit::resizeEvent(e);
  PlaceChildren();
}

void KCEditInt::mousePressEvent(QMouseEvent* e) {
  QLineEdit::mousePressEvent(e);
  if (e->button() == Qt::LeftButton) caretPos = cursorPositionAt(e->position().toPoint());
}

void KCEditInt::contextMenuEvent(QContextMenuEvent* e) {
  if (nameCount == 0) {
    QLineEdit::contextMenuEvent(e);
    return;
  }
  OpenNameMenu();
}

void KCEditInt::OpenNameMenu() {
  popupMenu = std::make_unique<ui::PopupMenu>();
  for (auto& [id, text] : kit::NameMenuItems(Range())) popupMenu->AppendItem(id, text);
  if (popupMenu->ItemCount() == 0) return;
  const QPoint at = mapToGlobal(rect().bottomRight());
  if (int chosen = popupMenu->Track(nullptr, {at.x(), at.y()})) ApplyMenuCommand(chosen);
}

void KCEditInt::OpenArrowPopup() {
  if (dateMode) {
    CKDate dlg(nullptr, Text());
    if (dlg.DoModal() == ui::IDOK) SetDate(dlg.day, dlg.month, dlg.year);
    return;
  }
  if (!kit::ValueListAllowed(min, max)) return;
  popupMenu = std::make_unique<ui::PopupMenu>();
  for (auto& [id, text] : kit::ValueMenuItems(Range())) popupMenu->AppendItem(id, text);
  const QPoint at = mapToGlobal(rect().bottomRight());
  if (int chosen = popupMenu->Track(nullptr, {at.x(), at.y()})) ApplyMenuCommand(chosen);
}

void KCEditInt::ApplyMenuCommand(int command) {
  if (auto t = kit::TextForMenuCommand(command, Range())) SetText(*t);
}
