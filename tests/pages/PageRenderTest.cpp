#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/Dib.h"
#include "pages/PageEditBox.h"
#include "pages/PageFonts.h"
#include "support/TestSupport.h"

using namespace movara;

namespace {

int CountColour(const TDIB& d, const TRect& r, TColor c) {
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(d.Height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(d.Width(), r.Right); ++x)
      n += d.Pixel(x, y) == c;
  return n;
}

// Pixels that differ from the page colour.
int CountInk(const TDIB& d, const TRect& r, TColor page) {
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(d.Height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(d.Width(), r.Right); ++x)
      n += d.Pixel(x, y) != page;
  return n;
}

TRect Whole(const TDIB& d) { return Rect(0, 0, d.Width(), d.Height()); }

// The smallest rectangle holding every pixel of colour c.
TRect InkBox(const TDIB& d, TColor c) {
  TRect r{d.Width(), d.Height(), 0, 0};
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x)
      if (d.Pixel(x, y) == c) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

constexpr TColor kPage = RGBColor(0, 0, 64);
constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 255, 0);
constexpr TColor kWhite = RGBColor(255, 255, 255);

// A page with one big bold item.
struct TOneItem {
  TOneItem() {
    box.SetPageColor(kPage);
    item = box.AddFontItem(false, false);
    item->Text = "HOME";
    item->FontName = "Arial";
    item->FontSize = 60;
    item->Bold = true;
    item->FontColor = kRed;
    item->PosX = 100;
    item->PosY = 120;
  }
  TDIB Render() {
    TDIB d;
    EXPECT_TRUE(box.RenderToBitmap(d));
    return d;
  }
  TPageEditBox box;
  TFontItem* item;
};

}  // namespace

TEST(PageRender, TextWhereTheItemIsPageColourElsewhere) {
  TOneItem p;
  p.box.SetPageSize(psFullVideo);
  const TDIB d = p.Render();
  ASSERT_EQ(d.Width(), 768);
  ASSERT_EQ(d.Height(), 576);
  EXPECT_EQ(d.BitCount(), 24);
  const TRect b = p.item->Bounds;
  // The measured rectangle at (100, 120), widened by the width of "I" on both sides.
  EXPECT_EQ(b.Top, 120);
  EXPECT_LT(b.Left, 100);
  EXPECT_GT(b.Width(), 150);
  EXPECT_GT(b.Height(), 60);
  EXPECT_GT(CountColour(d, b, kRed), 2000);
  const TRect ink = InkBox(d, kRed);
  EXPECT_GE(ink.Left, b.Left);
  EXPECT_GE(ink.Top, b.Top);
  EXPECT_LE(ink.Right, b.Right);
  EXPECT_LE(ink.Bottom, b.Bottom);
  // Nothing but page colour outside the item.
  EXPECT_EQ(CountInk(d, Whole(d), kPage), CountInk(d, b, kPage));
}

TEST(PageRender, OutlineRingAroundTheGlyphs) {
  TOneItem p;
  p.item->Outlined = true;
  p.item->OutlineWidth = 3;
  p.item->OutlineColor = kGreen;
  TDIB d = p.Render();
  const TRect text = InkBox(d, kRed);
  const TRect ring = InkBox(d, kGreen);
  EXPECT_GT(CountColour(d, Whole(d), kGreen), 500);
  // The ring reaches about its width beyond the text on every side, never further.
  EXPECT_LE(ring.Left, text.Left - 2);
  EXPECT_LE(ring.Top, text.Top - 2);
  EXPECT_GE(ring.Right, text.Right + 2);
  EXPECT_GE(ring.Bottom, text.Bottom + 2);
  EXPECT_GE(ring.Left, text.Left - 4);
  EXPECT_LE(ring.Right, text.Right + 4);

  // A hidden body leaves the outline around glyphs drawn in the page colour.
  p.item->TextVisible = false;
  d = p.Render();
  EXPECT_EQ(CountColour(d, Whole(d), kRed), 0);
  EXPECT_GT(CountColour(d, Whole(d), kGreen), 500);
  EXPECT_GT(CountColour(d, text, kPage), 1000);  // glyph bodies are page colour
}

TEST(PageRender, ShadowOffsetFromTheGlyphs) {
  TOneItem p;
  p.item->Shadowed = true;
  p.item->ShadowX = 12;
  p.item->ShadowY = 9;
  p.item->ShadowColor = kWhite;
  TDIB d = p.Render();
  const TRect text = InkBox(d, kRed);
  const TRect shadow = InkBox(d, kWhite);
  // The text covers the shadow's top-left; its right and bottom edges show the offset.
  EXPECT_NEAR(shadow.Right - text.Right, 12, 1);
  EXPECT_NEAR(shadow.Bottom - text.Bottom, 9, 1);
  EXPECT_GT(CountColour(d, Whole(d), kWhite), 500);

  // Shadow and outline: the shadow gets a ring of its own in the shadow colour.
  const int plainShadow = CountColour(d, Whole(d), kWhite);
  p.item->Outlined = true;
  p.item->OutlineWidth = 2;
  p.item->OutlineColor = kGreen;
  d = p.Render();
  EXPECT_GT(CountColour(d, Whole(d), kWhite), plainShadow);
  EXPECT_NEAR(InkBox(d, kWhite).Right - InkBox(d, kGreen).Right, 12, 1);
}

TEST(PageRender, SelectedBoundsCoverShadowOutlineAndEightBelow) {
  TOneItem p;
  p.item->Shadowed = true;
  p.item->ShadowX = 6;
  p.item->ShadowY = -4;
  p.item->Outlined = true;
  p.item->OutlineWidth = -3;  // the ring is as wide either way
  p.box.UpdateBounds();
  const TRect plain = p.item->Bounds;
  p.item->Selected = true;
  p.box.UpdateBounds();
  const TRect sel = p.item->Bounds;
  EXPECT_EQ(sel.Left, plain.Left - 3);
  EXPECT_EQ(sel.Right, plain.Right + 6 + 3);
  EXPECT_EQ(sel.Top, plain.Top - 4 - 3);
  EXPECT_EQ(sel.Bottom, plain.Bottom + 3 + 8);
  // Drawing sets the same bounds as laying out.
  TDIB d;
  p.box.RenderToBitmap(d);
  EXPECT_EQ(p.item->Bounds, sel);
}

TEST(PageRender, LinesTabsAndOrder) {
  TOneItem p;
  // "I" measures one "I", widened by one more on either side.
  p.item->Text = "I";
  p.box.UpdateBounds();
  EXPECT_EQ(p.item->Bounds.Width(), 3 * (100 - p.item->Bounds.Left));
  p.item->Text = "HOME";
  p.box.UpdateBounds();
  const TRect one = p.item->Bounds;
  p.item->Text = "HOME\r\nHOME\nHOME";
  p.box.UpdateBounds();
  EXPECT_EQ(p.item->Bounds.Height(), 3 * one.Height());
  EXPECT_EQ(p.item->Bounds.Width(), one.Width());
  p.item->Text = "HO\tME";
  p.box.UpdateBounds();
  EXPECT_GT(p.item->Bounds.Width(), one.Width());
  p.item->Text = "&HOME";  // no prefix processing: the ampersand is drawn
  p.box.UpdateBounds();
  EXPECT_GT(p.item->Bounds.Width(), one.Width());

  // Later items are drawn over earlier ones.
  p.item->Text = "HOME";
  TFontItem* top = p.box.AddFontItem(false, false);
  top->Assign(*p.item);
  top->FontColor = kGreen;
  TDIB d = p.Render();
  EXPECT_EQ(CountColour(d, Whole(d), kRed), 0);
  p.box.SendToBack(top);
  d = p.Render();
  EXPECT_EQ(CountColour(d, Whole(d), kGreen), 0);
}

TEST(PageRender, FontNamesOfPageFilesResolveToMetricTwins) {
  ASSERT_TRUE(EnsurePageFontSystem());
  if (ResolvedPageFontFamily("Liberation Serif") != "Liberation Serif")
    GTEST_SKIP() << "fonts-liberation not installed";
  EXPECT_EQ(ResolvedPageFontFamily("Time New Roman"), ResolvedPageFontFamily("Times New Roman"));
  for (const char* serif : {"Time New Roman", "Times New Roman"})
    EXPECT_TRUE(ResolvedPageFontFamily(serif) == "Liberation Serif" ||
                ResolvedPageFontFamily(serif) == "Times New Roman")
        << serif;
  for (const char* sans : {"Arial", "MS Sans Serif"})
    EXPECT_TRUE(ResolvedPageFontFamily(sans) == "Liberation Sans" ||
                ResolvedPageFontFamily(sans) == "Arial")
        << sans;
  EXPECT_TRUE(ResolvedPageFontFamily("Courier New") == "Liberation Mono" ||
              ResolvedPageFontFamily("Courier New") == "Courier New");
}

TEST(PageRender, HostileValuesDrawNothingAbsurd) {
  TOneItem p;
  p.item->FontSize = INT32_MAX;
  p.item->OutlineWidth = INT32_MIN;
  p.item->Outlined = true;
  p.item->ShadowX = INT32_MAX;
  p.item->ShadowY = INT32_MIN;
  p.item->Shadowed = true;
  p.item->Selected = true;
  p.item->Text = "x";
  TDIB d = p.Render();
  EXPECT_EQ(d.Width(), 720);
  EXPECT_LE(p.item->Bounds.Left, p.item->Bounds.Right);
  // Far off the page: the page stays clean.
  p.item->FontSize = 20;
  p.item->PosX = INT32_MAX;
  p.item->PosY = INT32_MIN;
  d = p.Render();
  EXPECT_EQ(CountInk(d, Whole(d), kPage), 0);
  // A size of zero or below still draws.
  p.item->PosX = p.item->PosY = 10;
  p.item->FontSize = 0;
  p.item->Shadowed = p.item->Outlined = false;
  d = p.Render();
  EXPECT_GT(CountInk(d, Whole(d), kPage), 0);
  p.item->FontSize = -40;  // a height in pixels
  p.box.UpdateBounds();
  EXPECT_GE(p.item->Bounds.Height(), 40);
}

// Font sizes and texts are held to what the page editor allows (4 to 800 points, 4095
// bytes), whatever a file or a caller asks.
TEST(PageRender, SizesAndTextsWithinTheEditorsLimits) {
  TOneItem p;
  auto bounds = [&](int32_t size, const std::string& text) {
    p.item->FontSize = size;
    p.item->Text = text;
    p.box.UpdateBounds();
    return p.item->Bounds;
  };
  EXPECT_EQ(bounds(2048, "HOME"), bounds(800, "HOME"));
  EXPECT_EQ(bounds(INT32_MAX, "HOME"), bounds(800, "HOME"));
  EXPECT_EQ(bounds(1, "HOME"), bounds(4, "HOME"));
  EXPECT_EQ(bounds(20, std::string(6000, 'A')), bounds(20, std::string(4095, 'A')));
  EXPECT_GT(bounds(20, std::string(4095, 'A')).Width(), bounds(20, std::string(4000, 'A')).Width());
}

// Each item draws only the glyphs that can reach the page: a page of long texts
// across all four edges (outlined, shadowed, underlined, right to left, with tabs and
// many lines) draws the same pixels as the same items on a larger page, moved so that
// the smaller page is a window of the larger one.
TEST(PageRender, GlyphsOffThePageAreLeftOutWithoutChangingThePage) {
  ASSERT_TRUE(EnsurePageFontSystem());
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "Wiersz\t" + std::to_string(i) + " zażółć\r\n";
  const struct {
    std::string text;
    int x, y;
    bool underline, italic;
    int size;
  } items[] = {
      {std::string(300, 'W'), -2000, 40, false, false, 90},
      {std::string(300, 'M') + "\tend", 500, 300, true, false, 60},
      {lines, 30, -700, false, true, 40},
      {lines, 400, 380, true, false, 50},
      {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d abc 123 \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d " + std::string(200, 'x'), -900, 200, false, false, 70},
      {"Zażółć gęślą jaźń", 560, 20, false, false, 800},
  };
  // The larger page and where the smaller one sits in it.
  const struct {
    TPageSize big, small;
    int dx, dy;
  } windows[] = {{psFullVideo, psVideo, 48, 0}, {psFullVideo, psVideo, 0, 0}, {psVideo, psSquare512, 100, 64}, {psVideo, psSquare512, 0, 0}};
  for (const auto& w : windows) {
    SCOPED_TRACE(w.dx);
    TDIB pictures[2];
    for (int k = 0; k < 2; ++k) {
      TPageEditBox box;
      box.SetPageSize(k == 0 ? w.big : w.small);
      box.SetPageColor(kPage);
      for (const auto& it : items) {
        TFontItem* item = box.AddFontItem(false, false);
        item->Text = it.text;
        item->FontName = "Arial";
        item->FontSize = it.size;
        item->Underline = it.underline;
        item->Italic = it.italic;
        item->Outlined = item->Shadowed = true;
        item->OutlineWidth = 3;
        item->ShadowX = 7;
        item->ShadowY = -5;
        item->PosX = it.x - (k == 1 ? w.dx : 0);
        item->PosY = it.y - (k == 1 ? w.dy : 0);
      }
      ASSERT_TRUE(box.RenderToBitmap(pictures[k]));
    }
    const TDIB& big = pictures[0];
    const TDIB& small = pictures[1];
    int differ = 0, ink = 0;
    for (int y = 0; y < small.Height(); ++y)
      for (int x = 0; x < small.Width(); ++x) {
        differ += small.Pixel(x, y) != big.Pixel(x + w.dx, y + w.dy);
        ink += small.Pixel(x, y) != kPage;
      }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, small.Width() * small.Height() / 10);
  }
}

TEST(PageRender, CharacterUnderThePointerAndCaret) {
  TOneItem p;
  p.item->Text = "AB\r\nCD";
  p.box.UpdateBounds();
  const TRect b = p.item->Bounds;
  const double lineH = b.Height() / 2.0;
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {100.0, 125.0}), 0);
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {95.0, 125.0}), 0);
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {400.0, 125.0}), 2);  // end of the first line
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {100.0, 120 + lineH + 3}), 4);  // after CR LF
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {400.0, 500.0}), 6);
  const TRect c0 = p.box.CaretRectAt(*p.item, 4);
  EXPECT_EQ(c0.Left, 100);
  EXPECT_EQ(c0.Top, 120 + static_cast<int>(lineH));
  const TRect c1 = p.box.CaretRectAt(*p.item, 1);
  EXPECT_GT(c1.Left, 100);
  EXPECT_EQ(p.box.TextIndexAt(*p.item, {double(c1.Left), 125.0}), 1);
}

TEST(PageRender, ShowcaseForTheEye) {
  // Saved when MOVARA_PAGE_SHOWCASE names a folder: a page to look at.
  const char* dir = std::getenv("MOVARA_PAGE_SHOWCASE");
  if (!dir) GTEST_SKIP() << "set MOVARA_PAGE_SHOWCASE to a folder to save the page";
  TPageEditBox box;
  box.SetPageColor(RGBColor(20, 30, 90));
  TFontItem* a = box.AddFontItem(false, false);
  a->Text = "Wakacje nad morzem\r\nLato 2003";
  a->FontName = "Time New Roman";
  a->FontSize = 48;
  a->Bold = true;
  a->PosX = 60;
  a->PosY = 60;
  a->Shadowed = true;
  a->ShadowX = 4;
  a->ShadowY = 4;
  a->ShadowColor = 0;
  a->Outlined = true;
  a->OutlineWidth = 3;
  a->OutlineColor = RGBColor(200, 0, 0);
  TFontItem* b = box.AddFontItem(false, false);
  b->Text = "Zażółć gęślą jaźń\tArial";
  b->FontName = "Arial";
  b->FontSize = 28;
  b->Italic = true;
  b->Underline = true;
  b->FontColor = RGBColor(255, 255, 255);
  b->PosX = 60;
  b->PosY = 260;
  TFontItem* c = box.AddFontItem(false, false);
  c->Text = "Courier New: outline only";
  c->FontName = "Courier New";
  c->FontSize = 30;
  c->TextVisible = false;
  c->Outlined = true;
  c->OutlineWidth = 2;
  c->OutlineColor = RGBColor(0, 255, 0);
  c->PosX = 60;
  c->PosY = 360;
  TFontItem* d = box.AddFontItem(false, false);
  d->Text = "MS Sans Serif, default colours, shadow";
  d->FontName = "MS Sans Serif";
  d->Shadowed = true;
  d->PosX = 60;
  d->PosY = 460;
  TDIB dib;
  ASSERT_TRUE(box.RenderToBitmap(dib));
  ASSERT_TRUE(dib.SaveToFile(std::string(dir) + "/page.bmp"));
}
