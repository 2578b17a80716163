// The transition picture, drawn once.
#include "project/Fx3dBitmap.h"

namespace movara {

namespace {

void Frame(TDIB& d, const TRect& r, TColor c) {
  d.FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1), c);
  d.FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom), c);
  d.FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom), c);
  d.FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom), c);
}

TDIB Make() {
  const int w = 72, h = 57;
  TDIB d(w, h, 24);
  d.Fill(RGBColor(236, 233, 216));
  // picture A (blue, upper left) and picture B (orange, lower right)
  const TRect a = Rect(4, 4, 46, 38), b = Rect(26, 19, 68, 53);
  for (int y = a.Top; y < a.Bottom; ++y)
    for (int x = a.Left; x < a.Right; ++x) d.SetPixel(x, y, RGBColor(40 + (x - a.Left) * 2, 90 + (y - a.Top) * 2, 200));
  for (int y = b.Top; y < b.Bottom; ++y)
    for (int x = b.Left; x < b.Right; ++x) {
      // the part over A is the transition: B comes in along diagonal bands
      bool over = x < a.Right && y < a.Bottom;
      bool band = ((x + y) / 4) % 2 == 0;
      if (!over || band) d.SetPixel(x, y, RGBColor(235, 140 + (y - b.Top), 40 + (x - b.Left)));
    }
  Frame(d, a, RGBColor(0, 0, 96));
  Frame(d, b, RGBColor(120, 50, 0));
  // an arrow from A to B
  for (int k = 0; k < 10; ++k) d.SetPixel(52 + k, 8 + k, RGBColor(0, 0, 0));
  for (int k = 0; k < 4; ++k) {
    d.SetPixel(61 - k, 17, RGBColor(0, 0, 0));
    d.SetPixel(61, 17 - k, RGBColor(0, 0, 0));
  }
  return d;
}

}  // namespace

const TDIB& Fx3dBitmap() {
  static const TDIB picture = Make();
  return picture;
}

}  // namespace movara
