#include "project/VfxData.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "base/Format.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

// Captures trace lines for the lifetime of the object.
class TTraceCapture {
 public:
  TTraceCapture() {
    previous_ = SetTraceSink([this](const std::string& line) { lines_.push_back(line); });
  }
  ~TTraceCapture() { SetTraceSink(previous_); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  TraceSink previous_;
  std::vector<std::string> lines_;
};

TEST(VfxDataEnums, OrdinalsAreStable) {
  // files store these ordinals in one byte
  EXPECT_EQ(ctTime, 2);
  EXPECT_EQ(zmOneSecond, 5);
  EXPECT_EQ(zmTwoMinutes, 11);
  EXPECT_EQ(isLarge, 3);
  EXPECT_EQ(ctUniformColor, 5);
  EXPECT_EQ(ltKey, 7);
  EXPECT_EQ(lnFirstClipBottom, 6);
  EXPECT_EQ(lnAudioThird, 9);
  EXPECT_EQ(ucMagenta, 3);
  EXPECT_EQ(cmKeyOnOtherLayer, 2);
  EXPECT_EQ(lsRaised, 2);
  EXPECT_EQ(DefaultZoom, zmOneSecond);
  EXPECT_EQ(DefaultIconSize, isNormal);
  EXPECT_EQ(DefaultLayerStyle, lsRaised);

  TLayerNumber ln = lnNone;
  EXPECT_TRUE(EnumFromOrdinal(9, ln));
  EXPECT_EQ(ln, lnAudioThird);
  EXPECT_FALSE(EnumFromOrdinal(10, ln));
  EXPECT_FALSE(EnumFromOrdinal(-1, ln));
  EXPECT_EQ(ln, lnAudioThird);
  TZoom zm = zmOneFrame;
  EXPECT_FALSE(EnumFromOrdinal(12, zm));
}

TEST(VfxDataEnums, BoxStateSet) {
  TBoxState s;
  EXPECT_TRUE(s.Empty());
  s.Include(bsDraggingItems);
  s.Include(bsNoDrawing);
  EXPECT_TRUE(s.Contains(bsDraggingItems));
  EXPECT_TRUE(s.Contains(bsNoDrawing));
  EXPECT_FALSE(s.Contains(bsCreating));
  EXPECT_EQ(s.Bits(), 0x14);
  s.Exclude(bsDraggingItems);
  EXPECT_EQ(s, TBoxState{bsNoDrawing});
  EXPECT_EQ(TBoxState{} + bsCreating + bsLoadingItems - bsCreating, TBoxState{bsLoadingItems});
  // a bad ordinal sets nothing
  s.Include(static_cast<TBoxStateItem>(9));
  EXPECT_EQ(s, TBoxState{bsNoDrawing});
}

TEST(VfxDataNames, DisplayTexts) {
  EXPECT_STREQ(ClipTypeName(ctNone), "Brak");
  EXPECT_STREQ(ClipTypeName(ctAudio), "Dźwięk");
  EXPECT_STREQ(ClipTypeName(ctMovie), "Animacja z dźwiękiem");
  EXPECT_STREQ(ClipTypeName(ctUniformColor), "Jednolity kolor");
  EXPECT_STREQ(ClipTypeName(static_cast<TClipType>(6)), "");
  EXPECT_STREQ(UniformColorName(ucNone), "");
  EXPECT_STREQ(UniformColorName(ucSelected), "Kolor użytkownika");
  EXPECT_STREQ(UniformColorName(ucMagenta), "Kolor różowy");
  EXPECT_STREQ(ChannelName(1), "Mono");
  EXPECT_STREQ(ChannelName(2), "Stereo");
  EXPECT_STREQ(ChannelName(0), "");
  EXPECT_STREQ(BoolName(false), "False");
  EXPECT_STREQ(BoolName(true), "True");
  EXPECT_STREQ(ProgramVersion, "2.0 DV");
  EXPECT_EQ(UniformColorToColor(ucBlue, 0x123456), 0xFF0000u);
  EXPECT_EQ(UniformColorToColor(ucMagenta, 0x123456), 0xFF00FFu);
  EXPECT_EQ(UniformColorToColor(ucSelected, 0x123456), 0x123456u);
}

TEST(VfxDataZoom, FramesPerThumbOfEveryStep) {
  const int expected[12] = {1, 2, 4, 6, 12, 25, 50, 100, 250, 500, 1500, 3000};
  for (int z = 0; z < 12; ++z)
    for (int s = 0; s < 4; ++s) {
      int want = (z == zmTenSeconds && s == isLarge) ? 500 : expected[z];
      EXPECT_EQ(FramesPerThumb(TZoom(z), TIconSize(s)), want) << z << "," << s;
      // one thumbnail's worth of frames is one thumbnail wide
      EXPECT_EQ(FrameToPixel(TZoom(z), TIconSize(s), want), ThumbSize[s].Width) << z << "," << s;
    }
  EXPECT_EQ(FramesPerThumb(zmTenSeconds, isLarge), FramesPerThumb(zmTwentySeconds, isLarge));
  EXPECT_EQ(FramesPerThumb(static_cast<TZoom>(12), isNormal), 0);
}

TEST(VfxDataZoom, IrregularSubdivisionsAndSizes) {
  EXPECT_EQ(ZoomStep[zmTwelveFrames][isSmallest].Subdivisions, 1);
  EXPECT_EQ(ZoomStep[zmOneSecond][isSmall].Subdivisions, 2);
  EXPECT_EQ(ZoomStep[zmOneSecond][isNormal].Subdivisions, 10);
  EXPECT_EQ(ZoomStep[zmOneSecond][isLarge].Subdivisions, 12);
  EXPECT_EQ(ZoomStep[zmTenSeconds][isLarge].Subdivisions, 10);
  EXPECT_EQ(ZoomStep[zmTwentySeconds][isSmallest].Subdivisions, 2);
  EXPECT_EQ(ZoomStep[zmOneMinute][isNormal].Subdivisions, 15);
  EXPECT_EQ(ZoomStep[zmOneMinute][isSmall].Subdivisions, 4);
  EXPECT_EQ(ThumbSize[isSmallest].Height, 19);
  EXPECT_EQ(ThumbSize[isLarge].Height, 77);
  EXPECT_EQ(IconSizeFactor[isSmallest], 8);
}

TEST(VfxDataZoom, FrameToPixelRounds) {
  TScopedMessageRecorder rec;
  EXPECT_EQ(FrameToPixel(zmOneSecond, isNormal, 25), 72);
  EXPECT_EQ(FrameToPixel(zmOneFrame, isLarge, 1), 96);
  EXPECT_EQ(FrameToPixel(zmOneSecond, isNormal, 1), 3);    // 2.88
  EXPECT_EQ(FrameToPixel(zmOneSecond, isNormal, 13), 37);  // 37.44
  EXPECT_EQ(FrameToPixel(zmOneSecond, isNormal, 0), 0);
  EXPECT_EQ(FrameToPixel(zmTwoMinutes, isNormal, 6000), 144);
  EXPECT_TRUE(rec.Texts().empty());
}

TEST(VfxDataZoom, PixelToFrameRoundsHalvesToEven) {
  TScopedMessageRecorder rec;
  EXPECT_EQ(PixelToFrame(zmOneSecond, isNormal, 72), 25);
  EXPECT_EQ(PixelToFrame(zmTenSeconds, isLarge, 96), 500);
  // zmOneFrame/isNormal: 72 pixels per frame
  EXPECT_EQ(PixelToFrame(zmOneFrame, isNormal, 36), 0);   // 0.5
  EXPECT_EQ(PixelToFrame(zmOneFrame, isNormal, 108), 2);  // 1.5
  EXPECT_EQ(PixelToFrame(zmOneFrame, isNormal, 180), 2);  // 2.5
  EXPECT_EQ(PixelToFrame(zmOneFrame, isNormal, 37), 1);
  EXPECT_TRUE(rec.Texts().empty());
}

TEST(VfxDataZoom, ConversionFailuresShowMessageAndReturnOne) {
  TScopedMessageRecorder rec;
  // 89478 x 24000 still fits 32 bits; 100000 x 24000 does not and must not wrap
  EXPECT_EQ(PixelToFrame(zmTwoMinutes, isSmallest, 89478), 11184750);
  EXPECT_TRUE(rec.Texts().empty());
  EXPECT_EQ(PixelToFrame(zmTwoMinutes, isSmallest, 100000), 1);
  EXPECT_EQ(PixelToFrame(zmTwoMinutes, isSmallest, -100000), 1);
  EXPECT_EQ(FrameToPixel(zmOneFrame, isLarge, INT_MAX), 1);
  EXPECT_EQ(FrameToPixel(static_cast<TZoom>(12), isNormal, 5), 1);
  EXPECT_EQ(PixelToFrame(zmOneSecond, static_cast<TIconSize>(-1), 5), 1);
  auto texts = rec.Texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], "[301] Błąd przeliczania: PixelToFrame( 11, 0 100000) [Zoom, IconSize, Pixels]");
  EXPECT_EQ(texts[2].rfind("[301] Błąd przeliczania: FrameToPixel( 0, 3 2147483647) "
                           "[Zoom, IconSize, Duration] (",
                           0),
            0u);
  EXPECT_EQ(texts[2].back(), ')');
  EXPECT_EQ(texts[3].rfind("[301] Błąd przeliczania: FrameToPixel( 12, 2 5)", 0), 0u);
}

TEST(VfxDataTime, MillisecondConversionsRoundHalfAwayFromZero) {
  EXPECT_EQ(FramesToMilliseconds(1, 25), 40);
  EXPECT_EQ(FramesToMilliseconds(1, 30), 33);
  EXPECT_EQ(FramesToMilliseconds(2, 30), 67);
  EXPECT_EQ(FramesToMilliseconds(1, 16), 63);    // 62.5
  EXPECT_EQ(FramesToMilliseconds(-1, 16), -63);  // -62.5
  EXPECT_EQ(MillisecondsToFrames(20, 25), 1);    // 0.5
  EXPECT_EQ(MillisecondsToFrames(100, 25), 3);   // 2.5
  EXPECT_EQ(MillisecondsToFrames(3600000, 25), 90000);
  // 0 when the division fails
  EXPECT_EQ(FramesToMilliseconds(25, 0), 0);
  EXPECT_EQ(FramesToMilliseconds(INT64_MAX, 1), 0);
  EXPECT_EQ(FramesToMilliseconds(INT64_MAX / 1000, 1), (INT64_MAX / 1000) * 1000);
}

TEST(VfxDataTime, MillisecondClockIsMonotonic) {
  int64_t a = MillisecondClock();
  int64_t b = MillisecondClock();
  EXPECT_GE(b, a);
}

TEST(VfxDataTime, FrameCodeForms) {
  EXPECT_EQ(FormatFrameCode(3845, ctSMPTE, 25), "0:02:33:20");
  EXPECT_EQ(FormatFrameCode(3845, ctTime, 25), "0:02:33:80");
  EXPECT_EQ(FormatFrameCode(3845, ctFrameNumber, 25), "3845");
  EXPECT_EQ(FormatFrameCode(0, ctSMPTE, 25), "0:00:00:00");
  EXPECT_EQ(FormatFrameCode(90000, ctSMPTE, 25), "1:00:00:00");
  EXPECT_EQ(FormatFrameCode(89999, ctSMPTE, 25), "0:59:59:24");
  EXPECT_EQ(FormatFrameCode(89999, ctTime, 25), "0:59:59:96");
  // hours wrap at 24
  EXPECT_EQ(FormatFrameCode(2160000, ctSMPTE, 25), "0:00:00:00");
  EXPECT_EQ(FormatFrameCode(2160000 + 25 * 61 + 3, ctSMPTE, 25), "0:01:01:03");
  EXPECT_EQ(FormatFrameCode(2159999, ctTime, 25), "23:59:59:96");
  // hundredths are rounded, not truncated; halves go to even
  EXPECT_EQ(FormatFrameCode(2, ctTime, 30), "0:00:00:07");  // 6.67
  EXPECT_EQ(FormatFrameCode(1, ctTime, 8), "0:00:00:12");   // 12.5
  EXPECT_EQ(FormatFrameCode(3, ctTime, 8), "0:00:00:38");   // 37.5
}

TEST(VfxDataTime, FrameCodeBadInputsGiveNoText) {
  EXPECT_EQ(FormatFrameCode(100, static_cast<TCountType>(3), 25), "");
  EXPECT_EQ(FormatFrameCode(100, ctSMPTE, 0), "");
  EXPECT_EQ(FormatFrameCode(100, ctTime, -25), "");
  EXPECT_EQ(FormatFrameCode(100, ctFrameNumber, 0), "100");
  EXPECT_EQ(FormatShortDuration(100, 0), "");
}

TEST(VfxDataTime, ShortDurationAndMilliseconds) {
  EXPECT_EQ(FormatShortDuration(3845, 25), "2:33.80");
  EXPECT_EQ(FormatShortDuration(0, 25), "0:00.00");
  EXPECT_EQ(FormatShortDuration(90000 + 3845, 25), "2:33.80");  // hours dropped
  EXPECT_EQ(FormatShortDuration(25 * 60 * 12 + 1, 25), "12:00.04");
  EXPECT_EQ(FormatMilliseconds(0), "00:00:00.00");
  EXPECT_EQ(FormatMilliseconds(3723456), "01:02:03.45");
  EXPECT_EQ(FormatMilliseconds(86400000 + 999), "00:00:00.99");
  EXPECT_EQ(FormatMilliseconds(int64_t(25) * 3600000), "01:00:00.00");
}

TEST(VfxDataFiles, FileKindIsCaseBlind) {
  EXPECT_EQ(FileKindOfName("film.avi"), fkAvi);
  EXPECT_EQ(FileKindOfName("/x/FILM.AvI"), 4);
  EXPECT_EQ(FileKindOfName("a.Bmp"), 1);
  EXPECT_EQ(FileKindOfName("a.jpg"), 2);
  EXPECT_EQ(FileKindOfName("a.GIF"), 3);
  EXPECT_EQ(FileKindOfName("a.wav"), 5);
  EXPECT_EQ(FileKindOfName("a.pte"), 6);
  EXPECT_EQ(FileKindOfName("a.mvf"), 7);
  EXPECT_EQ(FileKindOfName("noext"), 0);
  EXPECT_EQ(FileKindOfName("dir.avi/noext"), 0);
  EXPECT_EQ(FileKindOfName(""), 0);
  EXPECT_EQ(FileNameWithoutExt("/a/b.c/film.avi"), "/a/b.c/film");
  EXPECT_EQ(FileNameWithoutExt("/a/b.c/film"), "/a/b.c/film");
}

TEST(VfxDataFiles, IniAndHelpFiles) {
  test::TTempDir tmp;
  EXPECT_EQ(IniFileName(), tmp.Path() + "home/Movara.Ini");
  EXPECT_TRUE(HelpFileNameValid(HelpFileName()));
  EXPECT_TRUE(HelpFileNameValid("/x/help.CHM"));
  EXPECT_FALSE(HelpFileNameValid("/x/help.chm.txt"));
  EXPECT_FALSE(HelpFileNameValid(""));
}

TEST(VfxDataColors, LightenDarkenClampAndResolveSystemColours) {
  EXPECT_EQ(LightenColor(RGBColor(250, 10, 100), 48), RGBColor(255, 58, 148));
  EXPECT_EQ(DarkenColor(RGBColor(250, 10, 100), 48), RGBColor(202, 0, 52));
  EXPECT_EQ(DarkenColor(RGBColor(1, 2, 3), INT_MIN), RGBColor(255, 255, 255));
  EXPECT_EQ(ColorToRGB(0x8000000F), RGBColor(240, 240, 240));  // button face
  EXPECT_EQ(ColorToRGB(0x80000010), RGBColor(160, 160, 160));  // button shadow
  EXPECT_EQ(ColorToRGB(0x800000FF), 0u);
  EXPECT_EQ(ColorToRGB(0x02123456), 0x123456u);
  EXPECT_EQ(LightenColor(0x8000000F, 10), RGBColor(250, 250, 250));
  TShades sh = ThreeShades(0x8000000F);
  EXPECT_EQ(sh.Face, 0x8000000Fu);
  EXPECT_EQ(sh.Light, RGBColor(255, 255, 255));
  EXPECT_EQ(sh.Dark, RGBColor(192, 192, 192));
}

TEST(VfxDataColors, YuvKnownValues) {
  // packed Y | U << 8 | V << 16
  EXPECT_EQ(RgbToYuv(0, 0, 0), 0x808010u);
  EXPECT_EQ(RgbToYuv(255, 255, 255), 0x8080EBu);
  EXPECT_EQ(RgbToYuv(255, 0, 0), 0xF05B51u);  // V clamped to 240
  EXPECT_EQ(RgbToYuv(0, 255, 0), 0x233790u);
  EXPECT_EQ(RgbToYuv(0, 0, 255), 0x6EEF28u);
  // packed B | G << 8 | R << 16
  EXPECT_EQ(YuvToRgb(16, 128, 128), 0u);
  EXPECT_EQ(YuvToRgb(235, 128, 128), 0xFEFEFEu);
  EXPECT_EQ(YuvToRgb(81, 91, 240), 0xFE0000u);
  EXPECT_EQ(YuvToRgb(0, 0, 0), 0x008700u);  // clamps, G = 135
}

TEST(VfxDataColors, YuvRoundTrip) {
  auto roundTrip = [](int r, int g, int b) {
    uint32_t yuv = RgbToYuv(r, g, b);
    uint32_t bgr = YuvToRgb(yuv & 0xFF, (yuv >> 8) & 0xFF, (yuv >> 16) & 0xFF);
    int r2 = (bgr >> 16) & 0xFF, g2 = (bgr >> 8) & 0xFF, b2 = bgr & 0xFF;
    return std::max({std::abs(r - r2), std::abs(g - g2), std::abs(b - b2)});
  };
  for (int v = 0; v < 256; ++v) EXPECT_LE(roundTrip(v, v, v), 2) << "grey " << v;
  EXPECT_LE(roundTrip(255, 0, 0), 2);
  EXPECT_LE(roundTrip(0, 255, 0), 2);
  EXPECT_LE(roundTrip(0, 0, 255), 4);  // the integer form loses a little blue
  EXPECT_LE(roundTrip(200, 120, 40), 3);
}

TEST(VfxDataColors, ShadeV) {
  // black with V + 32 turns dark red, returned as a colour (red in the low byte)
  EXPECT_EQ(ShadeColorV(RGBColor(0, 0, 0), TransitionEndShade), RGBColor(51, 0, 0));
  EXPECT_EQ(ShadeColorV(RGBColor(0, 0, 0), 0), RGBColor(0, 0, 0));
  TColor c = ShadeColorV(RGBColor(255, 0, 0), 1000);  // V clamps at 255
  EXPECT_EQ(GetRValue(c), 255);
}

TEST(VfxDataColors, HueSaturationValue) {
  EXPECT_EQ(RgbToHsv(RGBColor(255, 0, 0)), (THsv{0, 240, 240}));
  EXPECT_EQ(RgbToHsv(RGBColor(0, 255, 0)), (THsv{80, 240, 240}));
  EXPECT_EQ(RgbToHsv(RGBColor(0, 0, 255)), (THsv{160, 240, 240}));
  EXPECT_EQ(RgbToHsv(RGBColor(255, 0, 255)), (THsv{200, 240, 240}));
  EXPECT_EQ(RgbToHsv(RGBColor(255, 255, 255)), (THsv{0, 0, 240}));
  EXPECT_EQ(RgbToHsv(RGBColor(0, 0, 0)), (THsv{0, 0, 0}));
  EXPECT_EQ(RgbToHsv(RGBColor(255, 128, 0)), (THsv{20, 240, 240}));
  EXPECT_EQ(HsvToRgb(0, 240, 240), RGBColor(255, 0, 0));
  EXPECT_EQ(HsvToRgb(80, 240, 240), RGBColor(0, 255, 0));
  EXPECT_EQ(HsvToRgb(160, 240, 240), RGBColor(0, 0, 255));
  EXPECT_EQ(HsvToRgb(20, 240, 240), RGBColor(255, 128, 0));
  EXPECT_EQ(HsvToRgb(120, 120, 240), RGBColor(128, 255, 255));
  EXPECT_EQ(HsvToRgb(0, 0, 240), RGBColor(255, 255, 255));
  // hue is taken modulo 240
  EXPECT_EQ(HsvToRgb(320, 240, 240), RGBColor(0, 255, 0));
  EXPECT_EQ(HsvToRgb(-80, 240, 240), RGBColor(0, 0, 255));
  for (int h = 0; h < 240; h += 8) {
    TColor c = HsvToRgb(h, 240, 240);
    EXPECT_NEAR(RgbToHsv(c).H, h, 1) << h;
  }
}

TEST(VfxDataHex, HexToBufAndBack) {
  uint8_t buf[8] = {};
  EXPECT_EQ(HexToBuf("0A1bFF", buf, 8), 3);
  EXPECT_EQ(buf[0], 0x0A);
  EXPECT_EQ(buf[1], 0x10);  // lower-case digits count as 0
  EXPECT_EQ(buf[2], 0xFF);
  EXPECT_EQ(HexToBuf("ABC", buf, 8), 1);  // a trailing odd digit is ignored
  EXPECT_EQ(buf[0], 0xAB);
  const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFE};
  EXPECT_EQ(BufToHex(bytes, 4), "007F80FE");
  EXPECT_EQ(BufToHex(bytes, 0), "");
  EXPECT_EQ(BufToHex(nullptr, 4), "");
  uint8_t back[4] = {};
  EXPECT_EQ(HexToBuf(BufToHex(bytes, 4), back, 4), 4);
  EXPECT_EQ(BufToHex(back, 4), "007F80FE");
}

TEST(VfxDataHex, HexToBufTrimsAndTraces) {
  TTraceCapture trace;
  uint8_t buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexToBuf("00112233", buf, 2), 2);
  EXPECT_EQ(buf[0], 0x00);
  EXPECT_EQ(buf[1], 0x11);
  EXPECT_EQ(buf[2], 0xEE);  // nothing written past the size
  ASSERT_EQ(trace.Lines().size(), 1u);
  EXPECT_EQ(trace.Lines()[0], "[VfxData.HexToBuf] Buffer to small. String data trimed ! (4 -> 2)");
  EXPECT_EQ(HexToBuf("0011", buf, 2), 2);
  EXPECT_EQ(trace.Lines().size(), 1u);  // a text that fits is not traced
  EXPECT_EQ(HexToBuf("0011", nullptr, 2), 0);
  EXPECT_EQ(HexToBuf("0011", buf, -5), 0);
}

TEST(VfxDataPlacement, PlayerWindowRect) {
  const TRect client = Rect(0, 0, 1000, 800);
  // no project window
  EXPECT_EQ(PlayerWindowRect({}, client), Rect(0, 30, 312, 286));
  EXPECT_EQ(PlayerWindowRect({{"Odtwarzacz", Rect(0, 0, 100, 100)}}, client), Rect(0, 30, 312, 286));
  auto at = [&](TRect project, TRect area = Rect(0, 0, 1000, 800)) {
    return PlayerWindowRect({{"Inne okno", Rect(5, 5, 50, 50)},
                             {Format("Okno projektu - [%s]", "film.mvf"), project}},
                            area);
  };
  EXPECT_TRUE(IsProjectWindowCaption("Okno projektu"));
  EXPECT_FALSE(IsProjectWindowCaption("Okno projekt"));
  // room below: under the project window
  EXPECT_EQ(at(Rect(0, 0, 600, 300)), Rect(0, 300, 312, 556));
  // would pass the bottom: raised, then kept 150 above the bottom
  EXPECT_EQ(at(Rect(0, 0, 600, 600)), Rect(0, 394, 312, 650));
  // no room below: beside the project window, at its top
  EXPECT_EQ(at(Rect(400, 50, 1000, 750)), Rect(88, 50, 400, 306));
  EXPECT_EQ(at(Rect(100, 50, 1000, 750)), Rect(100, 50, 412, 306));
  EXPECT_EQ(at(Rect(400, 600, 1000, 790)), Rect(88, 394, 400, 650));
  // never above or left of 0
  EXPECT_EQ(at(Rect(400, 0, 800, 150), Rect(0, 0, 1000, 200)), Rect(88, 0, 400, 256));
  EXPECT_EQ(at(Rect(-50, 10, 500, 100)), Rect(0, 100, 312, 356));
}

TEST(VfxDataDragger, Defaults) {
  TClipDragger d;
  EXPECT_EQ(d.ClipGraphic, nullptr);
  EXPECT_EQ(d.ClipType, ctNone);
  EXPECT_TRUE(d.WholeClip());
  d.Length = 0;
  EXPECT_FALSE(d.WholeClip());
}

}  // namespace
}  // namespace movara
