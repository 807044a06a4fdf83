// The message window CKD_MessageBox (dialog 131 "Сообщения"): a modeless, semi-transparent
// list of the log's newest lines with a detail box, erase and show-all buttons, an opacity
// trackbar, the popup and warning switches and four docking-corner buttons. It shows the
// state the log core keeps (message_log.h); the work thread changes that state and the window
// follows on the UI thread.
#pragma once

#include "platform/ui/dialog.h"

// Lets StartMessageLog create the window (call once on the UI thread before it).
void InstallMessageWindow();

// Control ids of dialog 131.
inline constexpr int kMsgList = 1004, kMsgDetail = 1007, kMsgErase = 1000, kMsgShowAll = 1008,
                     kMsgOpacity = 1009, kMsgNoPopup = 1005, kMsgShowWarnings = 1006,
                     kMsgHelp = 57670, kMsgCornerLT = 121, kMsgCornerLB = 122, kMsgCornerRT = 123,
                     kMsgCornerRB = 124;

class CKD_MessageBox : public ui::Dialog {
 public:
  CKD_MessageBox();
  std::string ClassName() const override { return "CKD_MessageBox"; }

  // Shows the log's current state (UI thread).
  void RefreshFromLog();
  // Moves into corner 1..4 of the desktop work area (0: stays), marked as its own move.
  void MoveToCorner(int corner);
  void ApplyOpacity(int opacity);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void OnSize(int cx, int cy) override;
  void OnMove(int x, int y) override;

 private:
  void ShowSelectedLine();
  void CreateCornerButtons();
  void PlaceCornerButtons();

  uint64_t shownRevision_ = ~0ull;
  std::vector<Text1251> shown_;  // the lines the list box holds
  bool movingByItself_ = true;   // set while the window is created or moves itself
  ui::Rect placedAt_{};          // where it last put itself
  struct Anchor {
    int id, flags;
    ui::Rect rect;
  };
  std::vector<Anchor> anchors_;
  ui::Rect client0_{};
  bool anchorsReady_ = false;
};
