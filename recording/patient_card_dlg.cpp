#include "recording/patient_card_dlg.h"

#include "recording/patient_card.h"
#include "recording/pushes_list_dlg.h"

namespace recording {

CtacmonDlgInfo::CtacmonDlgInfo(OperationPanesHost& host)
    : CDialogK(kPatientCardDialogId), host_(host) {}

bool CtacmonDlgInfo::CreatePane(ui::Dialog& owner) { return kit::CreateEmbeddedPane(*this, owner); }

void CtacmonDlgInfo::Repaint() {
  if (HasWindow()) Invalidate(false);
}

void CtacmonDlgInfo::OnPaint(ui::Canvas& dc) {
  const ui::Rect client = ClientRect();
  lines_ =
      PatientCardLines(host_.Description(), host_.Records().Organs(), host_.Records().Surgeons());
  dc.FillRect(client, ui::Rgb(255, 255, 255));
  dc.SetTextColour(ui::Rgb(0, 0, 0));
  dc.SetBkColour(ui::Rgb(255, 255, 255));
  // Each line's bottom lies its own height + 3 below the previous line's bottom.
  int bottom = 0;
  for (const Text1251& line : lines_) {
    const int h = dc.TextExtent(line.empty() ? " " : line).cy;
    bottom += h + 3;
    dc.TextOut(5, bottom - h, line);
  }
}

}  // namespace recording
