#include "recording/kcd_notes.h"

namespace recording {

KCD_Notes::KCD_Notes(const Text1251& comment, const Text1251& caption)
    : Dialog(kNotesDialogId), comment_(comment), caption_(caption) {}

bool KCD_Notes::OnInitDialog() {
  SetItemText(kNotesEditId, comment_);
  SetCaption(caption_);
  arrange_.Register(kNotesEditId,
                    kit::kAnchorTop | kit::kAnchorRight | kit::kAnchorBottom | kit::kAnchorLeft);
  arrange_.Register(ui::IDOK, kit::kAnchorBottom | kit::kAnchorLeft);
  arrange_.Register(ui::IDCANCEL, kit::kAnchorBottom | kit::kAnchorRight);
  arrange_.Finish();
  SetFocusItem(kNotesEditId);
  return false;
}

void KCD_Notes::OnOK() {
  comment_ = ItemText(kNotesEditId);
  EndDialog(ui::IDOK);
}

void KCD_Notes::OnSize(int cx, int cy) { arrange_.Apply(cx, cy); }

void KCD_Notes::OnPaint(ui::Canvas&) {
  if (focused_) return;
  focused_ = true;
  SetFocusItem(kNotesEditId);
}

}  // namespace recording
