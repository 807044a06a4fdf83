// KCDVigilShow (dialog 170): the alert window of the recognition library, a pane of the
// operation window. It shows the library's last answer: 19 alert values as a sensor map (the
// colour scale with contrast 7) and the alert text beside it, up to 10 lines in the hub's font.
// The values and the text are written by the library's callbacks (any thread) and read by the
// paint under one lock; a callback from another thread asks for the repaint through the
// window's message queue.
#pragma once

#include <array>
#include <mutex>

#include "app/kit/dialog_k.h"
#include "app/kit/font_record.h"
#include "platform/cp1251.h"
#include "recognition/vigil_binding.h"
#include "view/colour_scale.h"

namespace recognition {

inline constexpr int kVigilShowId = 170;
// Posted to the window by a callback from another thread: repaint.
inline constexpr uint32_t kMsgAlertChanged = 1230;

class KCDVigilShow : public CDialogK, public AlertSink {
 public:
  // context: the operation window, as given to the library.
  KCDVigilShow(void* context, const kit::FontRecord& font);
  ~KCDVigilShow() override;
  std::string ClassName() const override { return "KCDVigilShow"; }

  // Created as a child pane of the owner's client area.
  bool CreatePane(ui::Dialog& owner);

  // AlertSink (any thread).
  void SetAlertValues(const int* values) override;
  void SetAlertText(const char* text) override;

  std::array<int, kSensorCount> AlertValues() const;
  Text1251 AlertText() const;
  // The alert window with a window (UI thread), or null.
  static KCDVigilShow* Current();

 protected:
  bool OnInitDialog() override;
  void OnDestroy() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& canvas) override;

 private:
  void Changed();
  void Draw(ui::Canvas& dc, const ui::Rect& client);

  void* context_;
  kit::FontRecord fontRecord_;
  ui::Font font_;
  bool haveFont_ = false;
  view::ColourBrushes brushes_;
  ui::BackBuffer buffer_;
  bool bufferFailed_ = false;
  bool registered_ = false;

  mutable std::mutex dataLock_;  // the alert: written by the callbacks, read by the paint
  std::array<int, kSensorCount> values_{};
  Text1251 text_;
};

}  // namespace recognition
