#include "app/DemoMedia.h"

#include <cmath>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "fx3d/DDUtils.h"

namespace movara {

TDIB MakeDemoBars(int width, int height) {
  static const TColor bars[] = {RGBColor(192, 192, 192), RGBColor(192, 192, 0),
                                RGBColor(0, 192, 192),   RGBColor(0, 192, 0),
                                RGBColor(192, 0, 192),   RGBColor(192, 0, 0),
                                RGBColor(0, 0, 192)};
  TDIB dib(width, height, 24);
  const int barsBottom = height * 2 / 3;
  for (int i = 0; i < 7; ++i)
    dib.FillRect(Rect(width * i / 7, 0, width * (i + 1) / 7, barsBottom), bars[i]);
  for (int x = 0; x < width; ++x) {
    int v = width > 1 ? x * 255 / (width - 1) : 0;
    dib.FillRect(Rect(x, barsBottom, x + 1, height), RGBColor(v, v, v));
  }
  return dib;
}

TDIB MakeDemoGradient(int width, int height) {
  TDIB dib(width, height, 24);
  const double cx = width / 2.0, cy = height / 2.0, r = std::min(width, height) / 4.0;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      int red = width > 1 ? x * 255 / (width - 1) : 0;
      int blue = height > 1 ? y * 255 / (height - 1) : 0;
      int green = 255 - (red + blue) / 2;
      double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      if (dx * dx + dy * dy <= r * r) {
        red = (red + 255) / 2;
        green = (green + 255) / 2;
        blue = (blue + 255) / 2;
      }
      row[3 * x] = static_cast<uint8_t>(blue);
      row[3 * x + 1] = static_cast<uint8_t>(green);
      row[3 * x + 2] = static_cast<uint8_t>(red);
    }
  }
  return dib;
}

TDIB MakeDemoChecker(int width, int height, int cell, TColor a, TColor b) {
  TDIB dib(width, height, 24);
  if (cell < 1) cell = 1;
  for (int y = 0; y < height; y += cell)
    for (int x = 0; x < width; x += cell)
      dib.FillRect(Rect(x, y, x + cell, y + cell), ((x / cell + y / cell) & 1) ? b : a);
  return dib;
}

std::vector<TDemoFile> MakeDemoPictures(const std::string& folder) {
  struct TItem {
    const char* name;
    TDIB dib;
    const char* what;
  };
  TItem items[] = {
      {"paski.bmp", MakeDemoBars(720, 576), "colour bars"},
      {"gradient.jpg", MakeDemoGradient(720, 576), "colour gradient"},
      {"szachownica.gif", MakeDemoChecker(720, 576, 48, RGBColor(255, 0, 255), RGBColor(0, 0, 0)),
       "magenta checkerboard for keying"},
  };
  std::vector<TDemoFile> made;
  for (TItem& item : items) {
    std::string path = folder + item.name;
    if (!SavePictureFile(item.dib, path, false))
      throw EMovara(Format("cannot write '%s'", path.c_str()));
    made.push_back({path, Format("%s, %d x %d", item.what, item.dib.Width(), item.dib.Height())});
  }
  return made;
}

}  // namespace movara
