// Laying out and drawing the text items of a page with QtGui. The text is measured
// and drawn line by line as the system text function does with tab expansion and no
// prefix characters: lines break at CR LF, CR or LF, tabs stop every eight average
// character widths, the rectangle is as wide as the widest line and one font height
// per line.
//
// The work of a page is bounded: font sizes and texts are held to what the page editor
// allows (4 to 800 points, 4095 bytes), and an item is shaped once and draws, for each
// of its up to 50 copies (outline rings and shadow), only the glyphs that can reach the
// page.
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "base/Rounding.h"
#include "base/Trace.h"
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
// The page editor's font sizes, in points.
constexpr int32_t kMinFontSize = 4;
constexpr int32_t kMaxFontSize = 800;
constexpr int kMaxPixelSize = (kMaxFontSize * 96 + 36) / 72;
constexpr int kDefaultPixelSize = 16;

int64_t Clamp64(int64_t v, int64_t limit) { return std::clamp(v, -limit, limit); }
int ClampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

// Points at 96 pixels per inch, within the editor's sizes; a negative size is a height
// in pixels, 0 the default.
int PixelSize(int32_t fontSize) {
  int64_t px;
  if (fontSize > 0)
    px = MulDiv64(std::clamp(fontSize, kMinFontSize, kMaxFontSize), 96, 72);
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

// The text as the editor can hold it: at most 4095 bytes.
std::vector<TLine> SplitLines(const std::string& text) {
  const std::u32string cps = DecodeUtf8(LimitTextBytes(text, kMaxItemTextBytes));
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

// The glyphs of an item that can reach the page from any of the places it is drawn
// at, shaped once: per run, with positions from the item's top-left corner (its text
// drawn at (0, 0)).
struct TVisibleGlyphs {
  std::vector<std::pair<QPointF, QGlyphRun>> runs;  // where each run's layout starts
};

// The places an item is drawn at lie within [x0, x1] x [y0, y1] of the page.
struct TOrigins {
  int64_t x0, y0, x1, y1;
};

TVisibleGlyphs VisibleGlyphs(const TLayout& l, const TOrigins& o, int pageW, int pageH) {
  TVisibleGlyphs out;
  const QFontMetrics fm(l.font);
  const QFontMetricsF fmf(l.font);
  // No glyph's ink reaches further than an em beyond its advance and the line's box
  // (italic overhang, accents, marks).
  const qreal em = fmf.height();
  const qreal above = fmf.ascent() + em, below = fmf.descent() + em;
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  for (size_t i = 0; i < l.lines.size(); ++i) {
    const TLine& line = l.lines[i];
    if (line.chars.empty()) continue;
    const int64_t top = int64_t(i) * l.lineHeight;
    // A line whose box (with a line of slack for accents and marks) misses the page
    // from every place is not shaped at all.
    if (o.y1 + top + 2 * l.lineHeight < 0 || o.y0 + top - l.lineHeight > pageH) continue;
    int adv = 0;
    size_t segStart = 0;
    auto add = [&](size_t from, size_t to) {
      if (to <= from) return;
      const QString seg = QString::fromUcs4(line.chars.data() + from, static_cast<qsizetype>(to - from));
      const int segX = adv;
      adv += fm.horizontalAdvance(seg);
      // The segment lies wholly right of the page from every place: so do the rest.
      if (o.x0 + segX - l.lineHeight > pageW) return;
      QTextLayout layout(seg, l.font);
      layout.setTextOption(option);
      layout.beginLayout();
      QTextLine tl = layout.createLine();
      tl.setLineWidth(1e9);
      layout.endLayout();
      // drawText puts the baseline at the line's ascent; the layout at its own.
      const QPointF start(static_cast<qreal>(segX), static_cast<qreal>(top + l.ascent) - tl.ascent());
      for (const QGlyphRun& run : layout.glyphRuns()) {
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        const QList<QPointF> advances = run.rawFont().advancesForGlyphIndexes(glyphs);
        QList<quint32> keptGlyphs;
        QList<QPointF> keptPositions;
        for (qsizetype k = 0; k < glyphs.size() && k < positions.size(); ++k) {
          const qreal gx = start.x() + positions[k].x(), gy = start.y() + positions[k].y();
          const qreal left = gx - em;
          const qreal right = gx + std::max<qreal>(k < advances.size() ? advances[k].x() : 0, 0) + em;
          if (o.x1 + right < 0 || o.x0 + left > pageW || o.y1 + gy + below < 0 || o.y0 + gy - above > pageH) continue;
          keptGlyphs.push_back(glyphs[k]);
          keptPositions.push_back(positions[k]);
        }
        if (keptGlyphs.isEmpty()) continue;
        QGlyphRun kept = run;
        kept.setGlyphIndexes(keptGlyphs);
        kept.setPositions(keptPositions);
        out.runs.emplace_back(start, kept);
      }
    };
    for (size_t k = 0; k < line.chars.size(); ++k) {
      if (line.chars[k] == U'\t') {
        add(segStart, k);
        adv = (adv / l.tabWidth + 1) * l.tabWidth;
        segStart = k + 1;
      }
    }
    add(segStart, line.chars.size());
  }
  return out;
}

void DrawTextAt(QPainter& p, const TVisibleGlyphs& g, int64_t x, int64_t y) {
  for (const auto& [start, run] : g.runs)
    p.drawGlyphRun(QPointF(static_cast<qreal>(x) + start.x(), static_cast<qreal>(y) + start.y()), run);
}

const long double kRingStep = 15.0L * 3.141592653589793238462643383279502884L / 180.0L;

// The offset of the i-th of the 24 copies of the outline ring.
int64_t RingDx(int i, int64_t width) { return RoundHalfEven(sinl(i * kRingStep) * width); }
int64_t RingDy(int i, int64_t width) { return RoundHalfEven(cosl(i * kRingStep) * width); }

// The 24 copies of the outline ring around (x, y).
void DrawRing(QPainter& p, const TVisibleGlyphs& g, int64_t x, int64_t y, int64_t width) {
  for (int i = 0; i < 24; ++i) DrawTextAt(p, g, x + RingDx(i, width), y + RingDy(i, width));
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
  const bool shadow = it.Shadowed && visible(sx, sy);
  const bool main = visible(x, y);
  if (!shadow && !main) return;
  // Every place the item is drawn at: the text, its ring, the shadow and its ring.
  const int64_t r = it.Outlined ? std::abs(ring) : 0;
  TOrigins o{main ? x - r : sx - r, main ? y - r : sy - r, main ? x + r : sx + r, main ? y + r : sy + r};
  if (shadow) o = TOrigins{std::min(o.x0, sx - r), std::min(o.y0, sy - r), std::max(o.x1, sx + r), std::max(o.y1, sy + r)};
  const TVisibleGlyphs g = VisibleGlyphs(l, o, pageW, pageH);
  if (g.runs.empty()) return;
  if (shadow) {
    p.setPen(ToQColor(it.ShadowColor));
    if (it.Outlined) DrawRing(p, g, sx, sy, ring);
    DrawTextAt(p, g, sx, sy);
  }
  if (!main) return;
  if (it.Outlined) {
    p.setPen(ToQColor(it.OutlineColor));
    DrawRing(p, g, x, y, ring);
  }
  p.setPen(ToQColor(it.TextVisible ? it.FontColor : pageColor));
  DrawTextAt(p, g, x, y);
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
  TraceF("[TPageEditBox.RenderToBitmap] %d items on %d x %d", box.ItemCount(), page.Width(), page.Height());
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
