#include "vrml_color.h"

namespace {

constexpr int kFirstIndex = 1;
constexpr int kLastIndex = 255;
constexpr int kFirstGrey = 250;

struct Rgb {
  double red, green, blue;
};

constexpr Rgb kFixedColors[10] = {
    {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1},
    {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1},
};

// Brightness of the five shades within one hue, by (index mod 10) / 2.
constexpr double kBrightness[5] = {1.0, 0.65, 0.5, 0.3, 0.15};

bool isFraction(double value) {
  // Written so that NaN fails.
  return value >= 0.0 && value <= 1.0;
}

} // namespace

void indexToRgb(int index, double& red, double& green, double& blue) {
  if (index >= 0 && index <= 9) {
    red = kFixedColors[index].red;
    green = kFixedColors[index].green;
    blue = kFixedColors[index].blue;
    return;
  }
  if (index >= 10 && index < kFirstGrey) {
    const int hueStep = (index - 10) / 10;
    const int shade = index % 10;
    const double x = hueStep * 0.25;
    const int sector = static_cast<int>(x);
    const double f = x - sector;
    const double value = kBrightness[shade / 2];
    const double saturation = (shade % 2 == 0) ? 1.0 : 0.5;
    const double p = 1.0 - saturation;
    const double q = 1.0 - saturation * f;
    const double t = 1.0 - saturation * (1.0 - f);
    double r = 0, g = 0, b = 0;
    switch (sector) {
    case 0: r = 1; g = t; b = p; break;
    case 1: r = q; g = 1; b = p; break;
    case 2: r = p; g = 1; b = t; break;
    case 3: r = p; g = q; b = 1; break;
    case 4: r = t; g = p; b = 1; break;
    default: r = 1; g = p; b = q; break;
    }
    red = r * value;
    green = g * value;
    blue = b * value;
    return;
  }
  if (index >= kFirstGrey && index <= kLastIndex) {
    const double grey = 0.33 + 0.134 * (index - kFirstGrey);
    red = green = blue = grey;
    return;
  }
  red = green = blue = 0.0;
}

int nearestIndex(double red, double green, double blue) {
  const bool grey = red == green && green == blue;
  const int first = grey ? kFirstGrey : kFirstIndex;
  int best = first;
  double bestDistance = 1000.0;
  for (int i = first; i <= kLastIndex; ++i) {
    double r, g, b;
    indexToRgb(i, r, g, b);
    const double distance = (b - blue) * (b - blue) + (g - green) * (g - green) + (r - red) * (r - red);
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
      if (distance == 0.0) {
        break;
      }
    }
  }
  // 255 and 7 are both white; the drawing's own white is 7.
  return best == kLastIndex ? 7 : best;
}

int VrmlColor::setIndex(int newIndex) {
  if (newIndex < kFirstIndex || newIndex > kLastIndex) {
    return 0;
  }
  index = newIndex;
  indexToRgb(newIndex, red, green, blue);
  return 1;
}

int VrmlColor::setRgb(double newRed, double newGreen, double newBlue) {
  if (!isFraction(newRed) || !isFraction(newGreen) || !isFraction(newBlue)) {
    return 0;
  }
  red = newRed;
  green = newGreen;
  blue = newBlue;
  index = nearestIndex(newRed, newGreen, newBlue);
  return 1;
}
