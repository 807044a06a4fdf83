// The 256-step colour scale of the sensor maps: index 0 is the lowest pressure (green), 255 the
// highest (red), running the long way round the hue circle (green, cyan, blue, magenta, red)
// with an S-shaped contrast curve. One table for the whole process; every window takes its own
// brush set from it.
#pragma once

#include <array>
#include <cstdint>

namespace view {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr int kScaleSize = 256;
inline constexpr double kDefaultContrast = 7.0;

using ColourTable = std::array<Rgb, kScaleSize>;

// The colour table for a contrast (values at or below 1e-8 count as 1e-8).
ColourTable ComputeColourScale(double contrast);

// The process-wide table: built with contrast 7 on first use; BuildColourScale recomputes it
// (UI thread only). Asking for 7 keeps the table as it is.
const ColourTable& ColourScaleTable();
void BuildColourScale(double contrast);

// Colour index of a normalized value 0..255: add 0.5 and truncate, clamped to 0..255; NaN is 0.
int ColourIndex(double displayValue);
// Any int clamped to a valid index.
inline int ClampColourIndex(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The brushes of one window: the 256 scale colours and the hidden-sensor colour (colour 0).
// Built when the window opens (MakeBrushes) and whenever it asks again.
struct ColourBrushes {
  ColourTable scale{};
  Rgb hidden{};
  bool built = false;

  void MakeBrushes(double contrast = kDefaultContrast);
  const Rgb& operator[](int index) const { return scale[ClampColourIndex(index)]; }
};

// The two colour-space conversions about the grey axis used by the scale (exposed for tests).
struct HueSaturationIntensity {
  double h = 0, t = 0, i = 0;
};
HueSaturationIntensity RgbToHti(double r, double g, double b);
Rgb HtiToRgb(const HueSaturationIntensity& c);

}  // namespace view
