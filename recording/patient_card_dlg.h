// CtacmonDlgInfo (dialog 162): the patient card pane of the operation window, drawn only: the
// lines of PatientCardLines in black on white, one under the other from the top left.
#pragma once

#include <vector>

#include "app/kit/dialog_k.h"
#include "recording/operation_panes_host.h"

namespace recording {

inline constexpr int kPatientCardDialogId = 162;

class CtacmonDlgInfo : public CDialogK {
 public:
  explicit CtacmonDlgInfo(OperationPanesHost& host);
  std::string ClassName() const override { return "CtacmonDlgInfo"; }
  // Creates the window as a child of owner's client area (place it with a kit::WidgetPane).
  bool CreatePane(ui::Dialog& owner);
  void Repaint();
  // The lines shown at the last paint.
  const std::vector<Text1251>& Lines() const { return lines_; }

 protected:
  void OnPaint(ui::Canvas& dc) override;

 private:
  OperationPanesHost& host_;
  std::vector<Text1251> lines_;
};

}  // namespace recording
