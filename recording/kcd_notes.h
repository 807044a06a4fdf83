// KCD_Notes (dialog 153): edits the comment of a push. The edit keeps its margins when the
// dialog is resized, OK its distances to the bottom and left edges, Cancel to the bottom and
// right. OK takes the edited text; Cancel leaves the comment as it was.
#pragma once

#include "app/kit/dialog_k.h"
#include "platform/cp1251.h"

namespace recording {

inline constexpr int kNotesDialogId = 153;
inline constexpr int kNotesEditId = 1001;

class KCD_Notes : public ui::Dialog {
 public:
  KCD_Notes(const Text1251& comment, const Text1251& caption);
  std::string ClassName() const override { return "KCD_Notes"; }
  // The comment after the run: the edited text after OK, the given one otherwise.
  const Text1251& Comment() const { return comment_; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& dc) override;

 private:
  Text1251 comment_;
  Text1251 caption_;
  ArrangeControls arrange_{*this};
  bool focused_ = false;
};

}  // namespace recording
