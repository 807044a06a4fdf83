#include "view/colour_scale.h"

#include <algorithm>
#include <cmath>

namespace view {
namespace {

const double kSqrt2 = std::sqrt(2.0);
const double kSqrt3 = std::sqrt(3.0);
const double kSqrt6 = std::sqrt(6.0);
constexpr double kPi = 3.14159265358979323846;

uint8_t Channel(double v) {
  // Truncate towards zero, then clamp.
  double t = std::trunc(v);
  if (!(t >= 0)) return 0;
  if (t > 255) return 255;
  return static_cast<uint8_t>(t);
}

struct ProcessScale {
  double contrast = kDefaultContrast;
  ColourTable table = ComputeColourScale(kDefaultContrast);
};

ProcessScale& Scale() {
  static ProcessScale scale;
  return scale;
}

}  // namespace

HueSaturationIntensity RgbToHti(double r, double g, double b) {
  HueSaturationIntensity c;
  c.i = (r + g + b) / kSqrt3;
  double n = std::sqrt(r * r + g * g + b * b);
  double radial = std::sqrt(std::max(0.0, n * n - c.i * c.i));
  c.t = std::asin(std::min(1.0, std::max(0.0, radial / std::max(n, 1e-30))));
  c.h = std::atan2((b - g) / kSqrt2, (2 * r - g - b) / kSqrt6);
  return c;
}

Rgb HtiToRgb(const HueSaturationIntensity& c) {
  double m = c.i / kSqrt3 + 0.5;
  double radius = c.i * std::tan(c.t);
  double ch = std::cos(c.h), sh = std::sin(c.h);
  return Rgb{Channel(m + radius * (2 / kSqrt6) * ch),
             Channel(m + radius * (-ch / kSqrt6 - sh / kSqrt2)),
             Channel(m + radius * (-ch / kSqrt6 + sh / kSqrt2))};
}

ColourTable ComputeColourScale(double contrast) {
  if (!(contrast > 1e-8)) contrast = 1e-8;  // also catches NaN
  const float a = static_cast<float>(contrast / 2);
  const float g = 0.5f / std::atan(a);

  HueSaturationIntensity green = RgbToHti(0, 255, 0);
  HueSaturationIntensity red = RgbToHti(255, 0, 0);
  // Run the long way round: green, cyan, blue, magenta, red.
  if (std::fabs(red.h - green.h) <= 3.14) red.h += red.h > green.h ? -2 * kPi : 2 * kPi;

  ColourTable table{};
  for (int i = 0; i < kScaleSize; ++i) {
    float e = (static_cast<float>(i) / 255 - 0.5f) * a;
    int j = static_cast<int>(std::atan(static_cast<double>(e)) * g * 255 + 128 + 0.5);
    if (j < 1) j = 0;
    if (j > 254) j = 255;
    double t = std::clamp(j / 255.0, 0.0, 1.0);
    table[i] = HtiToRgb({t * red.h + (1 - t) * green.h, t * red.t + (1 - t) * green.t,
                         t * red.i + (1 - t) * green.i});
  }
  return table;
}

const ColourTable& ColourScaleTable() { return Scale().table; }

void BuildColourScale(double contrast) {
  ProcessScale& s = Scale();
  if (contrast == s.contrast) return;  // the usual case: 7, as built at start
  s.contrast = contrast;
  s.table = ComputeColourScale(contrast);
}

int ColourIndex(double displayValue) {
  if (!(displayValue == displayValue)) return 0;  // NaN
  double v = displayValue + 0.5;
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return static_cast<int>(v);
}

void ColourBrushes::MakeBrushes(double contrast) {
  BuildColourScale(contrast);
  scale = ColourScaleTable();
  hidden = scale[0];
  built = true;
}

}  // namespace view
