// KCDSecondReceptorShow (dialog 169): a pane of the operation window that shows the latest raw
// values of the second probe as a plain 19-sensor map, a square at the left as high as the pane
// (at most half its width): the cells in the colours of the scale, outlined in black, nothing
// else. It takes no input; its owner repaints it whenever a packet image has arrived.
// Automation: "dump-second-receptor FILE" writes the colour indices of its last paint.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "acquisition/device_passport.h"
#include "app/kit/dialog_k.h"
#include "platform/ui/canvas.h"
#include "view/colour_scale.h"
#include "view/map_canvas.h"
#include "view/map_layout.h"

namespace view {

inline constexpr int kSecondReceptorDialogId = 169;

// What the pane shows: the second probe's latest raw values with its current passport.
struct SecondReceptorValues {
  std::array<int32_t, kSensorCount> raw{};
  DevicePassport passport;
};

// The map square: side = the client height, but at most half the client width, at the left.
ui::Rect SecondReceptorSquare(const ui::Rect& client);
// Colour indices of the values (display value of the second probe + 0.5, truncated); all 0
// without values (no recording view, or no live push).
std::array<int, kSensorCount> SecondReceptorIndices(const std::optional<SecondReceptorValues>& v);
// The picture of the pane: white client, the 19 cells in the square.
void DrawSecondReceptorMap(MapCanvas& canvas, const ui::Rect& client,
                           const std::array<int, kSensorCount>& indices,
                           const ColourBrushes& brushes);

class KCDSecondReceptorShow : public CDialogK {
 public:
  // source: the values at each paint; nothing when the owner has no recording view or the
  // view no live push.
  using Source = std::function<std::optional<SecondReceptorValues>()>;
  explicit KCDSecondReceptorShow(Source source);
  ~KCDSecondReceptorShow() override;
  std::string ClassName() const override { return "KCDSecondReceptorShow"; }

  bool Initialised() const { return initialised_; }
  // The colour indices drawn at the last paint.
  const std::array<int, kSensorCount>& Shown() const { return shown_; }

 protected:
  bool OnInitDialog() override;
  void OnSize(int cx, int cy) override;
  void OnPaint(ui::Canvas& dc) override;

 private:
  void MakeBuffer();

  Source source_;
  bool initialised_ = false;
  ui::BackBuffer buffer_;
  bool bufferFailed_ = false;
  ColourBrushes brushes_;
  std::array<int, kSensorCount> shown_{};
};

}  // namespace view
