// Colours as the drawing's palette index and as red/green/blue fractions,
// converted by the module's own palette rule.
#pragma once

// A colour held both ways. The two representations always belong together:
// change it only through setIndex and setRgb. Plain value, copied whole.
struct VrmlColor {
  int index;
  double red, green, blue;

  // For 1 <= index <= 255: takes the index and its palette colour, returns 1.
  // Any other index returns 0 and leaves the record unchanged.
  int setIndex(int index);
  // Each value must lie in 0.0 .. 1.0 (NaN does not). On success stores the
  // three values, sets index to nearestIndex of them and returns 1; otherwise
  // returns 0 and leaves the record unchanged.
  int setRgb(double red, double green, double blue);
};

// The palette rule for indices 0 to 255: 0..9 fixed (7, 8 and 9 white),
// 10..249 twenty-four hues of five brightness steps at two saturations,
// 250..255 greys from 0.33 to 1.0. Other indices give black.
void indexToRgb(int index, double& red, double& green, double& blue);

// The palette index nearest to the colour (squared distance, ties to the
// lower index). A grey is matched among 250..255 only; white comes back as 7.
int nearestIndex(double red, double green, double blue);
