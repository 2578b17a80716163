#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>

#include <jpeglib.h>

#include "base/GifFile.h"
#include "base/LoadFailure.h"
#include "base/JpegFile.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

namespace {

void Ffmpeg(const std::string& args) {
  TCommandResult r = RunCommand("ffmpeg -v error -y " + args);
  ASSERT_EQ(r.exitCode, 0) << args << "\n" << r.output;
}

// ffmpeg's own decoding of the first frame, as rgb24 (or rgba) bytes.
std::vector<uint8_t> FfmpegPixels(const TTempDir& dir, const std::string& file,
                                  const std::string& pixFmt = "rgb24") {
  std::string raw = dir.File("decoded.raw");
  Ffmpeg("-i " + Quote(file) + " -frames:v 1 -f rawvideo -pix_fmt " + pixFmt + " " + Quote(raw));
  return ReadBytes(raw);
}

// Per channel differences between a picture and rgb24 bytes.
struct TDiff {
  double mean = 0;
  int max = 0;
  double over = 0;  // share of values differing by more than the limit given
};
TDiff Compare(const TDIB& dib, const std::vector<uint8_t>& rgb, int limit) {
  TDiff d;
  size_t n = 0, over = 0;
  double sum = 0;
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x) {
      TColor c = dib.Pixel(x, y);
      const int ours[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
      for (int k = 0; k < 3; ++k, ++n) {
        int e = std::abs(ours[k] - (n < rgb.size() ? rgb[n] : 1000));
        sum += e;
        d.max = std::max(d.max, e);
        over += e > limit;
      }
    }
  d.mean = n ? sum / static_cast<double>(n) : 0;
  d.over = n ? static_cast<double>(over) / static_cast<double>(n) : 0;
  return d;
}

TDIB FromRgb(const std::vector<uint8_t>& rgb, int w, int h) {
  TDIB dib(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * w + x) * 3;
      dib.SetPixel(x, y, RGBColor(p[0], p[1], p[2]));
    }
  return dib;
}

// A JPEG written by libjpeg itself, for the kinds ffmpeg does not write.
std::vector<uint8_t> LibjpegFile(int w, int h, int comps, J_COLOR_SPACE in,
                                 const std::vector<uint8_t>& pixels,
                                 const std::function<void(jpeg_compress_struct&)>& setup) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long len = 0;
  jpeg_mem_dest(&cinfo, &buf, &len);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = comps;
  cinfo.in_color_space = in;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  setup(cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data()) + static_cast<size_t>(cinfo.next_scanline) * w * comps;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buf, buf + len);
  std::free(buf);
  return out;
}

std::vector<uint8_t> TestSource(const TTempDir& dir, int w, int h) {
  std::string file = dir.File("src.rgb");
  Ffmpeg("-f lavfi -i testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) +
         " -frames:v 1 -f rawvideo -pix_fmt rgb24 " + Quote(file));
  return ReadBytes(file);
}

std::string Probe(const std::string& file) {
  return RunCommand("ffprobe -v error -show_entries stream=width,height,pix_fmt -of csv=p=0 " +
                    Quote(file))
      .output;
}

}  // namespace

TEST(JpegFile, DecodesLikeFfmpegBaselineProgressiveRestartsAndGrey) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  Ffmpeg("-f lavfi -i testsrc=size=160x120 -frames:v 1 " + Quote(dir.File("x.jpg")));
  const std::vector<uint8_t> src = TestSource(dir, 160, 120);
  std::vector<uint8_t> grey(160 * 120);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>((i % 160) + (i / 160) / 2);
  // full-resolution chroma: the two decoders upsample chroma differently
  WriteBytes(dir.File("prog.jpg"), LibjpegFile(160, 120, 3, JCS_RGB, src, [](jpeg_compress_struct& c) {
               c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
               jpeg_simple_progression(&c);
             }));
  WriteBytes(dir.File("rst.jpg"), LibjpegFile(160, 120, 3, JCS_RGB, src, [](jpeg_compress_struct& c) {
               c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
               c.restart_interval = 1;
             }));
  WriteBytes(dir.File("grey.jpg"), LibjpegFile(160, 120, 1, JCS_GRAYSCALE, grey, [](jpeg_compress_struct&) {}));
  WriteBytes(dir.File("greyprog.jpg"), LibjpegFile(160, 120, 1, JCS_GRAYSCALE, grey, [](jpeg_compress_struct& c) {
               jpeg_simple_progression(&c);
             }));
  for (const char* name : {"x.jpg", "prog.jpg", "rst.jpg", "grey.jpg", "greyprog.jpg"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = ReadBytes(dir.File(name));
    TDIB dib;
    ASSERT_TRUE(LoadJpegFromBytes(bytes.data(), bytes.size(), dib));
    EXPECT_EQ(dib.Width(), 160);
    EXPECT_EQ(dib.Height(), 120);
    EXPECT_EQ(dib.BitCount(), 24);
    // only IDCT rounding may differ
    TDiff d = Compare(dib, FfmpegPixels(dir, dir.File(name)), 4);
    EXPECT_LT(d.mean, 0.2);
    EXPECT_EQ(d.over, 0.0);
    if (std::string(name).starts_with("grey")) {
      for (int y = 0; y < 120; y += 7)
        for (int x = 0; x < 160; x += 5) {
          TColor c = dib.Pixel(x, y);
          EXPECT_TRUE(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c));
          EXPECT_NEAR(GetRValue(c), grey[static_cast<size_t>(y) * 160 + x], 4);
        }
    }
  }
}

TEST(JpegFile, CmykAndYcckBecomeRgb) {
  // four flat 32x32 squares of ink: cyan, magenta+yellow, half black, none
  const uint8_t inks[4][4] = {{255, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 128}, {0, 0, 0, 0}};
  const TColor want[4] = {RGBColor(0, 255, 255), RGBColor(255, 0, 0), RGBColor(127, 127, 127),
                          RGBColor(255, 255, 255)};
  for (int kind = 0; kind < 3; ++kind) {  // plain CMYK, Adobe CMYK, Adobe YCCK
    SCOPED_TRACE(kind);
    const bool adobe = kind > 0;
    std::vector<uint8_t> px(64 * 64 * 4);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        for (int k = 0; k < 4; ++k) {
          uint8_t ink = inks[(y / 32) * 2 + x / 32][k];
          px[(static_cast<size_t>(y) * 64 + x) * 4 + k] = adobe ? static_cast<uint8_t>(255 - ink) : ink;
        }
    std::vector<uint8_t> file = LibjpegFile(64, 64, 4, JCS_CMYK, px, [&](jpeg_compress_struct& c) {
      jpeg_set_colorspace(&c, kind == 2 ? JCS_YCCK : JCS_CMYK);
      c.write_Adobe_marker = adobe ? TRUE : FALSE;
      jpeg_set_quality(&c, 100, TRUE);
    });
    TDIB dib;
    ASSERT_TRUE(LoadJpegFromBytes(file.data(), file.size(), dib));
    for (int q = 0; q < 4; ++q) {
      TColor c = dib.Pixel((q % 2) * 32 + 16, (q / 2) * 32 + 16);
      EXPECT_NEAR(GetRValue(c), GetRValue(want[q]), 3) << q;
      EXPECT_NEAR(GetGValue(c), GetGValue(want[q]), 3) << q;
      EXPECT_NEAR(GetBValue(c), GetBValue(want[q]), 3) << q;
    }
  }
}

TEST(JpegFile, EncoderOutputReadsBackInFfmpegAtEveryDepth) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  TDIB pic(161, 97, 24);  // odd sizes: partial MCUs; smooth, so 4:2:0 loses little
  for (int y = 0; y < 97; ++y)
    for (int x = 0; x < 161; ++x) pic.SetPixel(x, y, RGBColor(x * 255 / 160, y * 255 / 96, 255 - (x + y) * 255 / 256));
  std::vector<uint8_t> q90, q20, q0, q1;
  ASSERT_TRUE(SaveJpegToBytes(pic, 90, q90));
  ASSERT_TRUE(SaveJpegToBytes(pic, 20, q20));
  EXPECT_LT(q20.size(), q90.size());
  ASSERT_TRUE(SaveJpegToBytes(pic, 0, q0));  // clamped to 1
  ASSERT_TRUE(SaveJpegToBytes(pic, 1, q1));
  EXPECT_EQ(q0, q1);
  WriteBytes(dir.File("o.jpg"), q90);
  EXPECT_EQ(Probe(dir.File("o.jpg")), "161,97,yuvj420p\n");
  TDiff d = Compare(pic, FfmpegPixels(dir, dir.File("o.jpg")), 16);
  EXPECT_LT(d.mean, 2.0);
  EXPECT_EQ(d.over, 0.0);

  // the same colours held at 8, 24 and 32 bits encode to the same stream
  const TDIB p8 = QuantizeTo8Bit(pic);
  TDIB p24(161, 97, 24), p32(161, 97, 32);
  for (int y = 0; y < 97; ++y)
    for (int x = 0; x < 161; ++x) {
      p24.SetPixel(x, y, p8.Pixel(x, y));
      p32.SetPixel(x, y, p8.Pixel(x, y));
    }
  ASSERT_TRUE(SaveJpegToBytes(p24, 90, q90));
  for (const TDIB* other : std::initializer_list<const TDIB*>{&p32, &p8}) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SaveJpegToBytes(*other, 90, bytes));
    EXPECT_EQ(bytes, q90) << other->BitCount();
  }
  std::vector<uint8_t> untouched{1, 2, 3};
  EXPECT_FALSE(SaveJpegToBytes(TDIB(), 90, untouched));
  EXPECT_EQ(untouched.size(), 3u);
}

TEST(JpegFile, DamagedDataIsRefusedWithoutCrashing) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  Ffmpeg("-f lavfi -i testsrc=size=160x120 -frames:v 1 " + Quote(dir.File("x.jpg")));
  const std::vector<uint8_t> good = ReadBytes(dir.File("x.jpg"));
  const std::vector<uint8_t> src = TestSource(dir, 160, 120);
  const std::vector<uint8_t> prog = LibjpegFile(160, 120, 3, JCS_RGB, src, [](jpeg_compress_struct& c) {
    jpeg_simple_progression(&c);
  });
  TDIB marker(3, 3, 8);
  for (const std::vector<uint8_t>* file : {&good, &prog}) {
    const bool progressive = file == &prog;
    int loaded = 0;
    for (size_t len = 0; len < file->size(); len += 1 + len / 40) {
      TDIB dib = marker;
      if (LoadJpegFromBytes(file->data(), len, dib)) {
        ++loaded;
        EXPECT_EQ(dib.Width(), 160);
        // a progressive file holds the whole picture after its first scans
        if (!progressive) {
          EXPECT_GE(len, file->size() / 3) << "most of the picture is missing";
        }
      } else {
        EXPECT_TRUE(dib == marker) << "a failed load leaves the picture alone";
      }
    }
    EXPECT_GT(loaded, 0);
  }
  // the baseline file cut after 90% of its data keeps its top rows
  TDIB cut;
  ASSERT_TRUE(LoadJpegFromBytes(good.data(), good.size() * 9 / 10, cut));
  TDIB whole;
  ASSERT_TRUE(LoadJpegFromBytes(good.data(), good.size(), whole));
  for (int x = 0; x < 160; x += 3) EXPECT_EQ(cut.Pixel(x, 10), whole.Pixel(x, 10));

  // lying sizes in the frame header
  size_t sof = 0;
  for (size_t i = 0; i + 1 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] == 0xC0) sof = i;
  ASSERT_GT(sof, 0u);
  for (auto [w, h] : {std::pair{65535, 65535}, {20000, 20000}, {30000, 8000}, {0, 120}}) {
    std::vector<uint8_t> bad = good;
    bad[sof + 5] = static_cast<uint8_t>(h >> 8);
    bad[sof + 6] = static_cast<uint8_t>(h);
    bad[sof + 7] = static_cast<uint8_t>(w >> 8);
    bad[sof + 8] = static_cast<uint8_t>(w);
    TDIB dib;
    EXPECT_FALSE(LoadJpegFromBytes(bad.data(), bad.size(), dib)) << w << "x" << h;
  }
  std::vector<uint8_t> garbage(5000);
  uint32_t seed = 7;
  for (uint8_t& b : garbage) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  TDIB dib;
  EXPECT_FALSE(LoadJpegFromBytes(garbage.data(), garbage.size(), dib));
  garbage[0] = 0xFF, garbage[1] = 0xD8;
  EXPECT_FALSE(LoadJpegFromBytes(garbage.data(), garbage.size(), dib));
  EXPECT_FALSE(LoadJpegFromBytes(nullptr, 0, dib));
}

namespace {

// A GIF whose first frame has the given place, palette and interlacing, written with
// giflib itself (rows given top-down; interlaced ones are sent in pass order).
std::vector<uint8_t> CraftGif(int sw, int sh, int bg, int left, int top, int fw, int fh,
                              bool interlace, bool local, int transparent) {
  std::vector<uint8_t> out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, [](GifFileType* g, const GifByteType* b, int n) {
    auto* v = static_cast<std::vector<uint8_t>*>(g->UserData);
    v->insert(v->end(), b, b + n);
    return n;
  }, &err);
  GifColorType globalColours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {10, 20, 30}};
  GifColorType localColours[8];
  for (int i = 0; i < 8; ++i)
    localColours[i] = GifColorType{static_cast<GifByteType>(i * 30), static_cast<GifByteType>(200 - i * 20), 99};
  ColorMapObject* g = GifMakeMapObject(4, globalColours);
  ColorMapObject* l = GifMakeMapObject(8, localColours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, sw, sh, 8, bg, g);
  if (transparent >= 0) {
    GifByteType gce[4] = {1, 0, 0, static_cast<GifByteType>(transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
  }
  EGifPutImageDesc(gif, left, top, fw, fh, interlace, local ? l : nullptr);
  std::vector<int> order;
  if (interlace) {
    for (int start : {0, 4, 2, 1})
      for (int y = start; y < fh; y += start == 0 ? 8 : (start == 4 ? 8 : (start == 2 ? 4 : 2))) order.push_back(y);
  } else {
    for (int y = 0; y < fh; ++y) order.push_back(y);
  }
  for (int y : order) {
    std::vector<GifPixelType> line(static_cast<size_t>(fw));
    for (int x = 0; x < fw; ++x) line[static_cast<size_t>(x)] = static_cast<GifPixelType>((x + y) % (local ? 8 : 4));
    EGifPutLine(gif, line.data(), fw);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(g);
  GifFreeMapObject(l);
  return out;
}

}  // namespace

TEST(GifFile, DecodesFfmpegFilesExactly) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  Ffmpeg("-f lavfi -i testsrc=size=160x120 -frames:v 1 " + Quote(dir.File("s.gif")));
  Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=5 -frames:v 3 " + Quote(dir.File("anim.gif")));
  Ffmpeg("-f lavfi -i \"testsrc=size=64x48:duration=0.1:rate=10,format=rgba,"
         "geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='if(lt(X,32),0,255)'\" -filter_complex "
         "\"split[a][b];[a]palettegen=reserve_transparent=1[p];[b][p]paletteuse=alpha_threshold=128\" "
         "-frames:v 1 " + Quote(dir.File("t.gif")));
  for (const char* name : {"s.gif", "anim.gif"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> bytes = ReadBytes(dir.File(name));
    TDIB dib;
    ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), dib));
    EXPECT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.Width(), 160);
    EXPECT_EQ(dib.Height(), 120);
    EXPECT_EQ(Compare(dib, FfmpegPixels(dir, dir.File(name)), 0).max, 0);
  }
  std::vector<uint8_t> bytes = ReadBytes(dir.File("t.gif"));
  TDIB dib;
  ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), dib));
  ASSERT_GE(dib.TransparentIndex(), 0);
  std::vector<uint8_t> rgba = FfmpegPixels(dir, dir.File("t.gif"), "rgba");
  ASSERT_EQ(rgba.size(), 64u * 48 * 4);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * 64 + x) * 4;
      ASSERT_EQ(dib.ScanLine(y)[x] == dib.TransparentIndex(), p[3] == 0) << x << "," << y;
      if (p[3]) {
        ASSERT_EQ(dib.Pixel(x, y), RGBColor(p[0], p[1], p[2])) << x << "," << y;
      }
    }
}

TEST(GifFile, SmallInterlacedFrameSitsAtItsOffset) {
  // screen 12x14, frame 5x11 at (4,2), local table, interlaced
  for (int transparent : {-1, 6}) {
    SCOPED_TRACE(transparent);
    std::vector<uint8_t> bytes = CraftGif(12, 14, 3, 4, 2, 5, 11, true, true, transparent);
    TDIB dib;
    ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), dib));
    ASSERT_EQ(dib.Width(), 12);
    ASSERT_EQ(dib.Height(), 14);
    EXPECT_EQ(dib.TransparentIndex(), transparent);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 12; ++x) {
        bool inside = x >= 4 && x < 9 && y >= 2 && y < 13;
        if (inside) {
          int i = (x - 4 + y - 2) % 8;
          ASSERT_EQ(dib.ScanLine(y)[x], i) << x << "," << y;
          ASSERT_EQ(dib.Pixel(x, y), RGBColor(i * 30, 200 - i * 20, 99));
        } else if (transparent >= 0) {
          ASSERT_EQ(dib.ScanLine(y)[x], transparent);
        } else {  // the global background colour, added to the local table
          ASSERT_EQ(dib.Pixel(x, y), RGBColor(10, 20, 30)) << x << "," << y;
        }
      }
  }
  // a frame reaching past a too small screen grows the picture; the global table
  std::vector<uint8_t> bytes = CraftGif(4, 4, 0, 2, 1, 6, 5, false, false, -1);
  TDIB dib;
  ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), dib));
  EXPECT_EQ(dib.Width(), 8);
  EXPECT_EQ(dib.Height(), 6);
  EXPECT_EQ(dib.Palette().size(), 4u);
  EXPECT_EQ(dib.Pixel(7, 5), RGBColor(255, 0, 0));  // frame pixel (5,4): index 1
  EXPECT_EQ(dib.Pixel(4, 1), RGBColor(0, 255, 0));  // (2,0): index 2
  EXPECT_EQ(dib.ScanLine(5)[1], 0);                 // background
  EXPECT_EQ(dib.ScanLine(4)[4], 1);                 // frame pixel (2,3)
}

TEST(GifFile, EncoderKeepsPalettesAndQuantizesDeepPictures) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  // indexed pictures of 1, 4 and 8 bits with their own colours and a transparent index
  for (int bpp : {1, 4, 8}) {
    SCOPED_TRACE(bpp);
    TDIB pic(37, 23, bpp);
    int colours = bpp == 8 ? 100 : (1 << bpp);
    pic.Palette().resize(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i)
      pic.Palette()[static_cast<size_t>(i)] =
          TRGBQuad{static_cast<uint8_t>(i * 2), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7 % 256), 0};
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        const TRGBQuad& q = pic.Palette()[static_cast<size_t>((x * 3 + y * 5) % colours)];
        pic.SetPixel(x, y, RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue));
      }
    pic.SetTransparentIndex(1);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SaveGifToBytes(pic, bytes));
    ASSERT_GT(bytes.size(), 6u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    WriteBytes(dir.File("o.gif"), bytes);
    EXPECT_EQ(Probe(dir.File("o.gif")).substr(0, 6), "37,23,");
    std::vector<uint8_t> rgba = FfmpegPixels(dir, dir.File("o.gif"), "rgba");
    ASSERT_EQ(rgba.size(), 37u * 23 * 4);
    TDIB back;
    ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), back));
    EXPECT_EQ(back.TransparentIndex(), 1);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 37; ++x) {
        const uint8_t* p = rgba.data() + (static_cast<size_t>(y) * 37 + x) * 4;
        TColor c = pic.Pixel(x, y);
        ASSERT_EQ(back.Pixel(x, y), c);
        ASSERT_EQ(back.ScanLine(y)[x] == 1, p[3] == 0) << x << "," << y;
        if (p[3]) {
          ASSERT_EQ(RGBColor(p[0], p[1], p[2]), c) << x << "," << y;
        }
      }
  }
  // 24 bits go through the quantiser: ffmpeg sees exactly its palette picture
  const TDIB pic = FromRgb(TestSource(dir, 160, 120), 160, 120);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SaveGifToBytes(pic, bytes));
  WriteBytes(dir.File("q.gif"), bytes);
  EXPECT_EQ(Probe(dir.File("q.gif")).substr(0, 8), "160,120,");
  TDIB quant = QuantizeTo8Bit(pic);
  EXPECT_EQ(Compare(quant, FfmpegPixels(dir, dir.File("q.gif")), 0).max, 0);
  EXPECT_LT(Compare(quant, TestSource(dir, 160, 120), 255).mean, 4.0);
}

TEST(GifFile, QuantizerMapsFewColoursExactlyAndDithersGradients) {
  TDIB few(40, 30, 24);  // 200 colours
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      int i = (x * 7 + y * 13) % 200;
      few.SetPixel(x, y, RGBColor(i, 255 - i, (i * 37) % 256));
    }
  TDIB q = QuantizeTo8Bit(few);
  ASSERT_EQ(q.BitCount(), 8);
  EXPECT_EQ(q.Palette().size(), 200u);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(q.Pixel(x, y), few.Pixel(x, y));

  // a smooth gradient of thousands of colours: small error per pixel, and the
  // dithering keeps local averages right
  TDIB grad(256, 96, 32);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 256; ++x) grad.SetPixel(x, y, RGBColor(x, y * 2 + 40, (x + y) / 3));
  TDIB g = QuantizeTo8Bit(grad);
  EXPECT_EQ(g.Palette().size(), 256u);
  EXPECT_TRUE(g == QuantizeTo8Bit(grad)) << "deterministic";
  double err = 0, blockErr = 0;
  for (int by = 0; by < 96; by += 8)
    for (int bx = 0; bx < 256; bx += 8) {
      int diff[3] = {0, 0, 0};
      for (int y = by; y < by + 8; ++y)
        for (int x = bx; x < bx + 8; ++x) {
          TColor a = grad.Pixel(x, y), b = g.Pixel(x, y);
          int d[3] = {GetRValue(b) - GetRValue(a), GetGValue(b) - GetGValue(a), GetBValue(b) - GetBValue(a)};
          for (int k = 0; k < 3; ++k) err += std::abs(d[k]), diff[k] += d[k];
        }
      for (int k = 0; k < 3; ++k) blockErr += std::abs(diff[k]) / 64.0;
    }
  EXPECT_LT(err / (256 * 96 * 3), 4.5);
  EXPECT_LT(blockErr / (32 * 12 * 3), 0.75);
}

TEST(GifFile, DamagedDataIsRefusedWithoutCrashing) {
  std::vector<uint8_t> good = CraftGif(40, 30, 0, 0, 0, 40, 30, true, true, 2);
  TDIB marker(3, 3, 8);
  for (size_t len = 0; len < good.size(); ++len) {
    TDIB dib = marker;
    bool ok = LoadGifFromBytes(good.data(), len, dib);
    // only the trailer may be missing
    EXPECT_EQ(ok, len + 1 >= good.size()) << len;
    if (!ok) {
      EXPECT_TRUE(dib == marker);
    }
  }
  // Sizes a few bytes cannot hold: a screen of 32767 x 8192 (268 MB, within the picture
  // limits) around a 4 x 4 frame in a 60-byte file is refused, saying why; a screen of
  // 2048 x 2048 is within what any small file may ask.
  for (auto [sw, sh, fw, fh] : {std::array{65535, 65535, 10, 10}, {10, 10, 65535, 65535},
                                {30000, 30000, 4, 4}, {40, 30, 0, 5}, {32767, 8192, 4, 4}, {2048, 2048, 4, 4}}) {
    std::vector<uint8_t> bad = CraftGif(40, 30, 0, 0, 0, 4, 4, false, false, -1);
    ASSERT_LT(bad.size(), 64u);
    bad[6] = static_cast<uint8_t>(sw), bad[7] = static_cast<uint8_t>(sw >> 8);
    bad[8] = static_cast<uint8_t>(sh), bad[9] = static_cast<uint8_t>(sh >> 8);
    size_t desc = 13 + 4 * 3;  // after the global table
    ASSERT_EQ(bad[desc], ',');
    bad[desc + 5] = static_cast<uint8_t>(fw), bad[desc + 6] = static_cast<uint8_t>(fw >> 8);
    bad[desc + 7] = static_cast<uint8_t>(fh), bad[desc + 8] = static_cast<uint8_t>(fh >> 8);
    TDIB dib;
    TakeLoadFailure();
    const bool loaded = LoadGifFromBytes(bad.data(), bad.size(), dib);
    EXPECT_EQ(loaded, sw == 2048) << sw << " " << fw;
    if (sw == 32767) {
      EXPECT_EQ(TakeLoadFailure(), "a GIF of " + std::to_string(bad.size()) +
                                       " bytes cannot hold a picture of 32767 x 8192 pixels");
    }
    if (loaded) {
      EXPECT_EQ(dib.Width() * dib.Height(), 2048 * 2048);
    }
  }
  std::vector<uint8_t> garbage(good);
  for (size_t i = 13; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 77);
  TDIB dib;
  EXPECT_FALSE(LoadGifFromBytes(garbage.data(), garbage.size(), dib));
  EXPECT_FALSE(LoadGifFromBytes(nullptr, 0, dib));
}

TEST(JpegPlanes, YuvPlanesBecomeAJpegOfThatPicture) {
  // a grey ramp with neutral chroma, 90 x 50: neither side a whole number of blocks
  const int w = 90, h = 50;
  for (bool c420 : {true, false}) {
    std::vector<uint8_t> y(96 * 64), u(48 * 64, 128), v(48 * 64, 128);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < 96; ++x) y[static_cast<size_t>(r) * 96 + x] = static_cast<uint8_t>(std::min(x, w - 1) * 2 + r);
    const uint8_t* planes[3] = {y.data(), u.data(), v.data()};
    const int strides[3] = {96, 48, 48};
    unsigned int quant[64];
    for (unsigned int& q : quant) q = 2;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(SaveJpegPlanesToBytes(planes, strides, w, h, c420, quant, bytes)) << c420;
    TDIB d;
    ASSERT_TRUE(LoadJpegFromBytes(bytes.data(), bytes.size(), d));
    ASSERT_EQ(d.Width(), w);
    ASSERT_EQ(d.Height(), h);
    for (int r = 0; r < h; r += 7)
      for (int x = 0; x < w; x += 11) {
        const int want = x * 2 + r;
        EXPECT_NEAR(GetGValue(d.Pixel(x, r)), want, 3) << x << "," << r;
        EXPECT_NEAR(GetRValue(d.Pixel(x, r)), want, 3) << x << "," << r;
      }
    // rows too short for whole blocks are refused, not read past their end
    const int narrow[3] = {90, 48, 48};
    EXPECT_FALSE(SaveJpegPlanesToBytes(planes, narrow, w, h, c420, quant, bytes));
  }
}
