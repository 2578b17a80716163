// Laying out and drawing the text items of a page with QtGui. The text is measured
// and drawn line by line as the system text function does with tab expansion and no
// prefix characters: lines break at CR LF, CR or LF, tabs stop every eight average
// character widths, the rectangle is as wide as the widest line and one font height
// per line.
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "base/Rounding.h"
#include "pages/PageEditBox.h"
#include "pages/PageFonts.h"
#include "pages/PageImage.h"
#include "pages/PageText.h"

namespace movara {
namespace {

// Coordinates and offsets drawn are kept in ranges where no sum overflows; anything
// beyond is far off the page anyway.
constexpr int64_t kMaxCoord = int64_t(1) << 22;
constexpr int64_t kMaxOffset = int64_t(1) << 20;
constexpr int kMaxPixelSize = 2048;
constexpr int kDefaultPixelSize = 16;

int64_t Clamp64(int64_t v, int64_t limit) { return std::clamp(v, -limit, limit); }
int ClampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// Points at 96 pixels per inch; a negative size is a height in pixels, 0 the default.
int PixelSize(int32_t fontSize) {
  int64_t px;
  if (fontSize > 0)
    px = MulDiv64(fontSize, 96, 72);
  else if (fontSize < 0)
    px = -int64_t(fontSize);
  else
    px = kDefaultPixelSize;
  return static_cast<int>(std::clamp<int64_t>(px, 1, kMaxPixelSize));
}

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

struct TLine {
  std::u32string chars;
  int firstIndex = 0;  // index of its first character in the item's text
  QString text;
};

struct TLayout {
  QFont font;
  int ascent = 0;
  int lineHeight = 1;
  int tabWidth = 8;
  int widthI = 0;
  std::vector<TLine> lines;
  int width = 0;
  int height = 0;
};

QFont ItemFont(const TFontItem& it) {
  QFont f;
  f.setFamily(QString::fromUtf8(it.FontName.empty() ? "Arial" : it.FontName.c_str()));
  f.setPixelSize(PixelSize(it.FontSize));
  f.setBold(it.Bold);
  f.setItalic(it.Italic);
  f.setUnderline(it.Underline);
  f.setKerning(false);
  // The same pixels whatever the machine's font settings say.
  f.setStyleStrategy(QFont::NoSubpixelAntialias);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

std::vector<TLine> SplitLines(const std::string& text) {
  const std::u32string cps = DecodeUtf8(text);
  std::vector<TLine> lines(1);
  for (size_t i = 0; i < cps.size(); ++i) {
    const char32_t c = cps[i];
    if (c == U'\r' || c == U'\n') {
      if (c == U'\r' && i + 1 < cps.size() && cps[i + 1] == U'\n') ++i;
      lines.emplace_back();
      lines.back().firstIndex = static_cast<int>(i + 1);
      continue;
    }
    lines.back().chars += c;
  }
  for (TLine& l : lines)
    l.text = QString::fromUcs4(l.chars.data(), static_cast<qsizetype>(l.chars.size()));
  return lines;
}

// x after drawing the line up to (not including) character count chars.
int LineAdvance(const QFontMetrics& fm, const TLine& line, int tabWidth, size_t count) {
  int x = 0;
  size_t segStart = 0;
  auto segment = [&](size_t from, size_t to) {
    if (to > from)
      x += fm.horizontalAdvance(QString::fromUcs4(line.chars.data() + from,
                                                  static_cast<qsizetype>(to - from)));
  };
  for (size_t i = 0; i < count && i < line.chars.size(); ++i) {
    if (line.chars[i] == U'\t') {
      segment(segStart, i);
      x = (x / tabWidth + 1) * tabWidth;
      segStart = i + 1;
    }
  }
  segment(segStart, std::min(count, line.chars.size()));
  return x;
}

TLayout LayoutItem(const TFontItem& it) {
  TLayout l;
  l.lines = SplitLines(it.Text);
  l.font = ItemFont(it);
  const QFontMetrics fm(l.font);
  l.ascent = fm.ascent();
  l.lineHeight = std::max(1, fm.height());
  l.tabWidth = std::max(1, 8 * fm.averageCharWidth());
  l.widthI = fm.horizontalAdvance(QChar(u'I'));
  for (const TLine& line : l.lines)
    l.width = std::max(l.width, LineAdvance(fm, line, l.tabWidth, line.chars.size()));
  l.height = ClampInt(int64_t(l.lineHeight) * static_cast<int64_t>(l.lines.size()));
  return l;
}

// Without a font system the bounds are estimated from the pixel size.
TLayout EstimateLayout(const TFontItem& it) {
  TLayout l;
  l.lines = SplitLines(it.Text);
  const int px = PixelSize(it.FontSize);
  l.ascent = px;
  l.lineHeight = px + px / 6 + 1;
  l.widthI = std::max(1, px / 4);
  for (const TLine& line : l.lines)
    l.width = std::max<int>(l.width, ClampInt(int64_t(line.chars.size()) * (px / 2 + 1)));
  l.height = ClampInt(int64_t(l.lineHeight) * static_cast<int64_t>(l.lines.size()));
  return l;
}

TLayout Layout(const TFontItem& it) {
  return EnsurePageFontSystem() ? LayoutItem(it) : EstimateLayout(it);
}

// The measured rectangle at the item's position, widened by the width of "I" on both
// sides; a selected item's bounds also cover its shadow, its outline and 8 pixels below.
TRect ItemBounds(const TFontItem& it, const TLayout& l) {
  const int64_t x = Clamp64(it.PosX, kMaxCoord), y = Clamp64(it.PosY, kMaxCoord);
  int64_t left = x - l.widthI, right = x + l.width + l.widthI;
  int64_t top = y, bottom = y + l.height;
  if (it.Selected) {
    if (it.Shadowed) {
      const int64_t sx = Clamp64(it.ShadowX, kMaxOffset), sy = Clamp64(it.ShadowY, kMaxOffset);
      (sx > 0 ? right : left) += sx;
      (sy > 0 ? bottom : top) += sy;
    }
    if (it.Outlined) {
      const int64_t w = std::abs(Clamp64(it.OutlineWidth, kMaxOffset));
      left -= w, top -= w, right += w, bottom += w;
    }
    bottom += 8;
  }
  return Rect(ClampInt(left), ClampInt(top), ClampInt(right), ClampInt(bottom));
}

void DrawTextAt(QPainter& p, const TLayout& l, int64_t x, int64_t y) {
  const QFontMetrics fm(l.font);
  for (size_t i = 0; i < l.lines.size(); ++i) {
    const TLine& line = l.lines[i];
    const int64_t base = y + int64_t(i) * l.lineHeight + l.ascent;
    if (line.chars.empty()) continue;
    int adv = 0;
    size_t segStart = 0;
    auto draw = [&](size_t from, size_t to) {
      if (to <= from) return;
      const QString seg =
          QString::fromUcs4(line.chars.data() + from, static_cast<qsizetype>(to - from));
      p.drawText(QPoint(ClampInt(x + adv), ClampInt(base)), seg);
      adv += fm.horizontalAdvance(seg);
    };
    for (size_t k = 0; k < line.chars.size(); ++k) {
      if (line.chars[k] == U'\t') {
        draw(segStart, k);
        adv = (adv / l.tabWidth + 1) * l.tabWidth;
        segStart = k + 1;
      }
    }
    draw(segStart, line.chars.size());
  }
}

// The 24 copies of the outline ring around (x, y).
void DrawRing(QPainter& p, const TLayout& l, int64_t x, int64_t y, int64_t width) {
  static const long double kStep = 15.0L * 3.141592653589793238462643383279502884L / 180.0L;
  for (int i = 0; i < 24; ++i) {
    const int64_t dx = RoundHalfEven(sinl(i * kStep) * width);
    const int64_t dy = RoundHalfEven(cosl(i * kStep) * width);
    DrawTextAt(p, l, x + dx, y + dy);
  }
}

bool Intersects(int64_t l, int64_t t, int64_t r, int64_t b, int w, int h) {
  return r > 0 && b > 0 && l < w && t < h;
}

void DrawItem(QPainter& p, TFontItem& it, TColor pageColor, int pageW, int pageH) {
  const TLayout l = LayoutItem(it);
  it.Bounds = ItemBounds(it, l);
  const int64_t x = Clamp64(it.PosX, kMaxCoord), y = Clamp64(it.PosY, kMaxCoord);
  const int64_t sx = x + Clamp64(it.ShadowX, kMaxOffset), sy = y + Clamp64(it.ShadowY, kMaxOffset);
  const int64_t ring = Clamp64(it.OutlineWidth, 4096);
  const int64_t reach = std::abs(ring) + l.widthI;
  // Text far off the page costs shaping for nothing.
  auto visible = [&](int64_t px, int64_t py) {
    return Intersects(px - reach, py - reach, px + l.width + reach, py + l.height + reach,
                      pageW, pageH);
  };
  p.setFont(l.font);
  if (it.Shadowed && visible(sx, sy)) {
    p.setPen(ToQColor(it.ShadowColor));
    if (it.Outlined) DrawRing(p, l, sx, sy, ring);
    DrawTextAt(p, l, sx, sy);
  }
  if (!visible(x, y)) return;
  if (it.Outlined) {
    p.setPen(ToQColor(it.OutlineColor));
    DrawRing(p, l, x, y, ring);
  }
  p.setPen(ToQColor(it.TextVisible ? it.FontColor : pageColor));
  DrawTextAt(p, l, x, y);
}

// Boundaries between the characters of a line, from its start.
std::vector<int> CharStops(const TLayout& l, const TLine& line) {
  std::vector<int> stops;
  stops.reserve(line.chars.size() + 1);
  if (EnsurePageFontSystem()) {
    const QFontMetrics fm(l.font);
    for (size_t k = 0; k <= line.chars.size(); ++k)
      stops.push_back(LineAdvance(fm, line, l.tabWidth, k));
  } else {
    const int w = line.chars.empty() ? 0 : l.width / static_cast<int>(line.chars.size());
    for (size_t k = 0; k <= line.chars.size(); ++k) stops.push_back(static_cast<int>(k) * w);
  }
  return stops;
}

}  // namespace

void TPageEditBox::UpdateBounds() {
  const int64_t scaledW = int64_t(pageRect_.Width()) * scale_ / 100;
  const int64_t scaledH = int64_t(pageRect_.Height()) * scale_ / 100;
  const int64_t marginX = std::max<int64_t>(0, (viewWidth_ - scaledW) / 2) - scrollX_;
  const int64_t marginY = std::max<int64_t>(0, (viewHeight_ - scaledH) / 2) - scrollY_;
  for (auto& item : items_) {
    item->Bounds = ItemBounds(*item, Layout(*item));
    const TRect& b = item->Bounds;
    item->Frame = Rect(ClampInt(int64_t(b.Left) * scale_ / 100 + marginX),
                       ClampInt(int64_t(b.Top) * scale_ / 100 + marginY),
                       ClampInt(int64_t(b.Right) * scale_ / 100 + marginX),
                       ClampInt(int64_t(b.Bottom) * scale_ / 100 + marginY));
  }
}

bool RenderPageToImage(TPageEditBox& box, QImage& image) {
  const TRect page = box.PageRect();
  const bool fonts = EnsurePageFontSystem();
  image = QImage(page.Width(), page.Height(), QImage::Format_RGB32);
  image.fill(ToQColor(box.PageColor()));
  if (!fonts) return false;
  QPainter p(&image);
  p.setBrush(Qt::NoBrush);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  for (int i = 0; i < box.ItemCount(); ++i)
    DrawItem(p, *box.Items(i), box.PageColor(), page.Width(), page.Height());
  p.end();
  return true;
}

bool TPageEditBox::RenderToBitmap(TDIB& bitmap) {
  QImage image;
  const bool ok = RenderPageToImage(*this, image);
  bitmap.SetSize(image.width(), image.height(), 24);
  for (int y = 0; y < image.height(); ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    uint8_t* dst = bitmap.ScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      dst[3 * x] = static_cast<uint8_t>(qBlue(src[x]));
      dst[3 * x + 1] = static_cast<uint8_t>(qGreen(src[x]));
      dst[3 * x + 2] = static_cast<uint8_t>(qRed(src[x]));
    }
  }
  return ok;
}

bool TPageEditBox::RenderToDIB(TDIB& dib) { return RenderToBitmap(dib); }

int TPageEditBox::TextIndexAt(const TFontItem& item, TPagePoint point) {
  const TLayout l = Layout(item);
  const double rel = (point.Y - item.PosY) / l.lineHeight;
  const size_t line = static_cast<size_t>(
      std::clamp<double>(std::floor(rel), 0, static_cast<double>(l.lines.size() - 1)));
  const std::vector<int> stops = CharStops(l, l.lines[line]);
  const double x = point.X - item.PosX;
  size_t best = 0;
  for (size_t k = 1; k < stops.size(); ++k)
    if (std::abs(stops[k] - x) < std::abs(stops[best] - x)) best = k;
  return l.lines[line].firstIndex + static_cast<int>(best);
}

TRect TPageEditBox::CaretRectAt(const TFontItem& item, int index) {
  const TLayout l = Layout(item);
  size_t line = 0;
  while (line + 1 < l.lines.size() && index >= l.lines[line + 1].firstIndex) ++line;
  const TLine& ln = l.lines[line];
  const int k = std::clamp(index - ln.firstIndex, 0, static_cast<int>(ln.chars.size()));
  const std::vector<int> stops = CharStops(l, ln);
  const int64_t x = Clamp64(item.PosX, kMaxCoord) + stops[static_cast<size_t>(k)];
  const int64_t y = Clamp64(item.PosY, kMaxCoord) + int64_t(line) * l.lineHeight;
  return Rect(ClampInt(x), ClampInt(y), ClampInt(x + 1), ClampInt(y + l.lineHeight));
}

}  // namespace movara
