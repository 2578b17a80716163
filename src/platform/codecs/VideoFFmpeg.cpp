#include "platform/codecs/VideoFFmpeg.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MOVARA_YUV_AVX2 1
#endif

#include "base/Trace.h"
#include "platform/codecs/VideoFormat.h"

namespace movara::videoff {

namespace {

struct TFourCCCodec {
  const char* fourcc;
  AVCodecID id;
};

// Codes found in AVI files and the codec that decodes them. Several vendors wrote the
// same bitstream under their own code; the list is ours, made from the files seen in
// practice.
const TFourCCCodec kFourCCCodecs[] = {
    // Motion JPEG and its capture-card variants.
    {"MJPG", AV_CODEC_ID_MJPEG}, {"AVRn", AV_CODEC_ID_MJPEG}, {"AVDJ", AV_CODEC_ID_MJPEG},
    {"dmb1", AV_CODEC_ID_MJPEG}, {"JPGL", AV_CODEC_ID_MJPEG}, {"LJPG", AV_CODEC_ID_MJPEG},
    {"ijpg", AV_CODEC_ID_MJPEG}, {"ACDV", AV_CODEC_ID_MJPEG}, {"QIVG", AV_CODEC_ID_MJPEG},
    {"SLMJ", AV_CODEC_ID_MJPEG}, {"CJPG", AV_CODEC_ID_MJPEG}, {"IJLV", AV_CODEC_ID_MJPEG},
    {"MVJP", AV_CODEC_ID_MJPEG}, {"AVI1", AV_CODEC_ID_MJPEG}, {"AVI2", AV_CODEC_ID_MJPEG},
    {"MTSJ", AV_CODEC_ID_MJPEG}, {"ZJPG", AV_CODEC_ID_MJPEG}, {"JPEG", AV_CODEC_ID_MJPEG},
    {"MJLS", AV_CODEC_ID_JPEGLS}, {"MJ2C", AV_CODEC_ID_JPEG2000}, {"mjp2", AV_CODEC_ID_JPEG2000},
    {"SP5X", AV_CODEC_ID_SP5X}, {"SP54", AV_CODEC_ID_SP5X},
    // DV.
    {"dvsd", AV_CODEC_ID_DVVIDEO}, {"dvhd", AV_CODEC_ID_DVVIDEO}, {"dvsl", AV_CODEC_ID_DVVIDEO},
    {"dv25", AV_CODEC_ID_DVVIDEO}, {"dv50", AV_CODEC_ID_DVVIDEO}, {"dvh1", AV_CODEC_ID_DVVIDEO},
    {"dvc ", AV_CODEC_ID_DVVIDEO}, {"dvcp", AV_CODEC_ID_DVVIDEO}, {"dvpp", AV_CODEC_ID_DVVIDEO},
    {"CDVC", AV_CODEC_ID_DVVIDEO}, {"CDVH", AV_CODEC_ID_DVVIDEO}, {"CDV5", AV_CODEC_ID_DVVIDEO},
    {"dvis", AV_CODEC_ID_DVVIDEO}, {"pdvc", AV_CODEC_ID_DVVIDEO}, {"SL25", AV_CODEC_ID_DVVIDEO},
    {"SLDV", AV_CODEC_ID_DVVIDEO}, {"AVd1", AV_CODEC_ID_DVVIDEO},
    // MPEG-4 part 2 (DivX 4/5, Xvid and friends).
    {"FMP4", AV_CODEC_ID_MPEG4}, {"XVID", AV_CODEC_ID_MPEG4}, {"DIVX", AV_CODEC_ID_MPEG4},
    {"DX50", AV_CODEC_ID_MPEG4}, {"MP4V", AV_CODEC_ID_MPEG4}, {"M4S2", AV_CODEC_ID_MPEG4},
    {"MP4S", AV_CODEC_ID_MPEG4}, {"3IV2", AV_CODEC_ID_MPEG4}, {"DIGI", AV_CODEC_ID_MPEG4},
    {"RMP4", AV_CODEC_ID_MPEG4}, {"UMP4", AV_CODEC_ID_MPEG4}, {"SEDG", AV_CODEC_ID_MPEG4},
    {"WV1F", AV_CODEC_ID_MPEG4}, {"XVIX", AV_CODEC_ID_MPEG4}, {"BLZ0", AV_CODEC_ID_MPEG4},
    {"DM4V", AV_CODEC_ID_MPEG4}, {"M4CC", AV_CODEC_ID_MPEG4}, {"SMP4", AV_CODEC_ID_MPEG4},
    {"EM4A", AV_CODEC_ID_MPEG4}, {"DXGM", AV_CODEC_ID_MPEG4}, {"GEOV", AV_CODEC_ID_MPEG4},
    {"HDX4", AV_CODEC_ID_MPEG4}, {"DMK2", AV_CODEC_ID_MPEG4}, {"FVFW", AV_CODEC_ID_MPEG4},
    {"MVXM", AV_CODEC_ID_MPEG4}, {"PVMM", AV_CODEC_ID_MPEG4}, {"3IVD", AV_CODEC_ID_MPEG4},
    // Microsoft's MPEG-4 variants (DivX 3 and older).
    {"DIV3", AV_CODEC_ID_MSMPEG4V3}, {"MP43", AV_CODEC_ID_MSMPEG4V3}, {"MPG3", AV_CODEC_ID_MSMPEG4V3},
    {"DIV4", AV_CODEC_ID_MSMPEG4V3}, {"DIV5", AV_CODEC_ID_MSMPEG4V3}, {"DIV6", AV_CODEC_ID_MSMPEG4V3},
    {"AP41", AV_CODEC_ID_MSMPEG4V3}, {"COL1", AV_CODEC_ID_MSMPEG4V3}, {"COL0", AV_CODEC_ID_MSMPEG4V3},
    {"3IVX", AV_CODEC_ID_MSMPEG4V3}, {"NAVI", AV_CODEC_ID_MSMPEG4V3},
    {"MP42", AV_CODEC_ID_MSMPEG4V2}, {"DIV2", AV_CODEC_ID_MSMPEG4V2},
    {"MPG4", AV_CODEC_ID_MSMPEG4V1}, {"MP41", AV_CODEC_ID_MSMPEG4V1}, {"DIV1", AV_CODEC_ID_MSMPEG4V1},
    {"WMV1", AV_CODEC_ID_WMV1}, {"WMV2", AV_CODEC_ID_WMV2}, {"WMV3", AV_CODEC_ID_WMV3},
    {"WVC1", AV_CODEC_ID_VC1}, {"WMVA", AV_CODEC_ID_VC1},
    // H.263 and H.264.
    {"H263", AV_CODEC_ID_H263}, {"U263", AV_CODEC_ID_H263}, {"M263", AV_CODEC_ID_H263},
    {"X263", AV_CODEC_ID_H263}, {"L263", AV_CODEC_ID_H263}, {"s263", AV_CODEC_ID_H263},
    {"I263", AV_CODEC_ID_H263I}, {"FLV1", AV_CODEC_ID_FLV1},
    {"H264", AV_CODEC_ID_H264}, {"X264", AV_CODEC_ID_H264}, {"AVC1", AV_CODEC_ID_H264},
    {"DAVC", AV_CODEC_ID_H264}, {"SMV2", AV_CODEC_ID_H264}, {"VSSH", AV_CODEC_ID_H264},
    {"Q264", AV_CODEC_ID_H264}, {"V264", AV_CODEC_ID_H264}, {"GAVC", AV_CODEC_ID_H264},
    {"UMSV", AV_CODEC_ID_H264}, {"tshd", AV_CODEC_ID_H264}, {"INMC", AV_CODEC_ID_H264},
    {"HEVC", AV_CODEC_ID_HEVC}, {"H265", AV_CODEC_ID_HEVC}, {"hev1", AV_CODEC_ID_HEVC},
    {"hvc1", AV_CODEC_ID_HEVC},
    // MPEG-1 and MPEG-2.
    {"mpg1", AV_CODEC_ID_MPEG1VIDEO}, {"PIM1", AV_CODEC_ID_MPEG1VIDEO}, {"VCR2", AV_CODEC_ID_MPEG2VIDEO},
    {"mpg2", AV_CODEC_ID_MPEG2VIDEO}, {"MPEG", AV_CODEC_ID_MPEG2VIDEO}, {"PIM2", AV_CODEC_ID_MPEG2VIDEO},
    {"DVR ", AV_CODEC_ID_MPEG2VIDEO}, {"MMES", AV_CODEC_ID_MPEG2VIDEO}, {"LMP2", AV_CODEC_ID_MPEG2VIDEO},
    {"slif", AV_CODEC_ID_MPEG2VIDEO}, {"EM2V", AV_CODEC_ID_MPEG2VIDEO}, {"M701", AV_CODEC_ID_MPEG2VIDEO},
    {"hdv1", AV_CODEC_ID_MPEG2VIDEO}, {"hdv2", AV_CODEC_ID_MPEG2VIDEO}, {"hdv3", AV_CODEC_ID_MPEG2VIDEO},
    {"mx5p", AV_CODEC_ID_MPEG2VIDEO}, {"MPGI", AV_CODEC_ID_MPEG2VIDEO},
    // Lossless and intermediate codecs.
    {"HFYU", AV_CODEC_ID_HUFFYUV}, {"FFVH", AV_CODEC_ID_FFVHUFF}, {"FFV1", AV_CODEC_ID_FFV1},
    {"LAGS", AV_CODEC_ID_LAGARITH}, {"MSZH", AV_CODEC_ID_MSZH}, {"ZLIB", AV_CODEC_ID_ZLIB},
    {"ULRA", AV_CODEC_ID_UTVIDEO}, {"ULRG", AV_CODEC_ID_UTVIDEO}, {"ULY0", AV_CODEC_ID_UTVIDEO},
    {"ULY2", AV_CODEC_ID_UTVIDEO}, {"ULY4", AV_CODEC_ID_UTVIDEO}, {"ULH0", AV_CODEC_ID_UTVIDEO},
    {"ULH2", AV_CODEC_ID_UTVIDEO}, {"UQY2", AV_CODEC_ID_UTVIDEO}, {"MAGY", AV_CODEC_ID_MAGICYUV},
    {"M8RG", AV_CODEC_ID_MAGICYUV}, {"M8Y2", AV_CODEC_ID_MAGICYUV}, {"LOCO", AV_CODEC_ID_LOCO},
    {"CFHD", AV_CODEC_ID_CFHD}, {"SNOW", AV_CODEC_ID_SNOW}, {"FPS1", AV_CODEC_ID_FRAPS},
    {"v210", AV_CODEC_ID_V210}, {"AVUI", AV_CODEC_ID_AVUI}, {"CLLC", AV_CODEC_ID_CLLC},
    // Raw YUV in a four-character code (the decoder reads the layout from the code).
    {"YUY2", AV_CODEC_ID_RAWVIDEO}, {"UYVY", AV_CODEC_ID_RAWVIDEO}, {"YUYV", AV_CODEC_ID_RAWVIDEO},
    {"YV12", AV_CODEC_ID_RAWVIDEO}, {"I420", AV_CODEC_ID_RAWVIDEO}, {"IYUV", AV_CODEC_ID_RAWVIDEO},
    {"Y800", AV_CODEC_ID_RAWVIDEO}, {"GREY", AV_CODEC_ID_RAWVIDEO}, {"YVU9", AV_CODEC_ID_RAWVIDEO},
    {"HDYC", AV_CODEC_ID_RAWVIDEO}, {"2vuy", AV_CODEC_ID_RAWVIDEO}, {"UYNV", AV_CODEC_ID_RAWVIDEO},
    {"YUNV", AV_CODEC_ID_RAWVIDEO}, {"V422", AV_CODEC_ID_RAWVIDEO}, {"Y422", AV_CODEC_ID_RAWVIDEO},
    {"NV12", AV_CODEC_ID_RAWVIDEO}, {"NV21", AV_CODEC_ID_RAWVIDEO}, {"YV16", AV_CODEC_ID_RAWVIDEO},
    // Early desktop codecs.
    {"cvid", AV_CODEC_ID_CINEPAK}, {"CRAM", AV_CODEC_ID_MSVIDEO1}, {"MSVC", AV_CODEC_ID_MSVIDEO1},
    {"WHAM", AV_CODEC_ID_MSVIDEO1}, {"mrle", AV_CODEC_ID_MSRLE}, {"IV31", AV_CODEC_ID_INDEO3},
    {"IV32", AV_CODEC_ID_INDEO3}, {"IV41", AV_CODEC_ID_INDEO4}, {"IV50", AV_CODEC_ID_INDEO5},
    {"RT21", AV_CODEC_ID_INDEO2}, {"TSCC", AV_CODEC_ID_TSCC}, {"tsc2", AV_CODEC_ID_TSCC2},
    {"CSCD", AV_CODEC_ID_CSCD}, {"ZMBV", AV_CODEC_ID_ZMBV}, {"AASC", AV_CODEC_ID_AASC},
    {"VCR1", AV_CODEC_ID_VCR1}, {"ASV1", AV_CODEC_ID_ASV1}, {"ASV2", AV_CODEC_ID_ASV2},
    {"DUCK", AV_CODEC_ID_TRUEMOTION1}, {"PVEZ", AV_CODEC_ID_TRUEMOTION1},
    {"TM20", AV_CODEC_ID_TRUEMOTION2}, {"8BPS", AV_CODEC_ID_8BPS}, {"KMVC", AV_CODEC_ID_KMVC},
    {"WNV1", AV_CODEC_ID_WNV1}, {"AURA", AV_CODEC_ID_AURA}, {"AUR2", AV_CODEC_ID_AURA2},
    {"CLJR", AV_CODEC_ID_CLJR}, {"QPEG", AV_CODEC_ID_QPEG}, {"Q1.0", AV_CODEC_ID_QPEG},
    {"Q1.1", AV_CODEC_ID_QPEG}, {"VIXL", AV_CODEC_ID_VIXL}, {"ULTI", AV_CODEC_ID_ULTI},
    {"VMnc", AV_CODEC_ID_VMNC}, {"MSS1", AV_CODEC_ID_MSS1}, {"MSS2", AV_CODEC_ID_MSS2},
    {"G2M2", AV_CODEC_ID_G2M}, {"G2M3", AV_CODEC_ID_G2M}, {"G2M4", AV_CODEC_ID_G2M},
    {"FICV", AV_CODEC_ID_FIC}, {"azpr", AV_CODEC_ID_RPZA}, {"rpza", AV_CODEC_ID_RPZA},
    // Later web codecs that sometimes land in AVI.
    {"VP30", AV_CODEC_ID_VP3}, {"VP31", AV_CODEC_ID_VP3}, {"VP40", AV_CODEC_ID_VP5},
    {"VP50", AV_CODEC_ID_VP5}, {"VP60", AV_CODEC_ID_VP6}, {"VP61", AV_CODEC_ID_VP6},
    {"VP62", AV_CODEC_ID_VP6}, {"VP6F", AV_CODEC_ID_VP6F}, {"FLV4", AV_CODEC_ID_VP6F},
    {"VP6A", AV_CODEC_ID_VP6A}, {"VP70", AV_CODEC_ID_VP7}, {"VP80", AV_CODEC_ID_VP8},
    {"VP90", AV_CODEC_ID_VP9}, {"AV01", AV_CODEC_ID_AV1}, {"theo", AV_CODEC_ID_THEORA},
    {"drac", AV_CODEC_ID_DIRAC},
};

int UpperAscii(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
uint32_t Upper4(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) r |= static_cast<uint32_t>(UpperAscii((v >> (8 * i)) & 0xFF)) << (8 * i);
  return r;
}
uint32_t Code(const char* s) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

int SwsColorSpace(AVColorSpace space) {
  switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_DEFAULT;
  }
}

// ---- 8-bit 4:4:4 YUV to 24-bit BGR, computed as swscale computes it ----
//
// With full chroma swscale scales each sample to 15 bits (v << 7), filters vertically
// with one tap (<< 12, >> 10) and then, for every pixel,
//   Y = ((y << 9) - yOffset) * yCoeff + (1 << 21);  U = (u - 128) << 9;  V likewise
//   R = Y + V * v2r;  G = Y + V * v2g + U * u2g;  B = Y + U * u2b
// each clipped to 0 .. 2^30 - 1 and shifted down by 22. The sums are 32-bit and wrap at
// the extremes of limited range, as swscale's do. The constants come from the public
// matrix (sws_getCoefficients) as swscale derives them; a writer checks the result
// against swscale itself before using it (see Yuv444MatchesSwscale).

int32_t RoundToInt16(int64_t f) {
  const int64_t r = (f + (1 << 15)) >> 16;
  if (r < -0x7FFF) return -0x8000;
  if (r > 0x7FFF) return 0x7FFF;
  return static_cast<int32_t>(r);
}

TYuvToRgb YuvToRgbConstants(int space, bool full) {
  const int* m = sws_getCoefficients(space);
  int64_t crv = m[0], cbu = m[1], cgu = -int64_t(m[2]), cgv = -int64_t(m[3]);
  int64_t cy = 1 << 16, oy = 0;
  if (!full) {
    cy = cy * 255 / 219;
    oy = int64_t(16) << 16;
  } else {
    crv = crv * 224 / 255;
    cbu = cbu * 224 / 255;
    cgu = cgu * 224 / 255;
    cgv = cgv * 224 / 255;
  }
  const uint32_t yOffset = static_cast<uint32_t>(RoundToInt16(oy * (1 << 9)));
  const uint32_t yCoeff = static_cast<uint32_t>(RoundToInt16(cy * (1 << 13)));
  const uint32_t v2r = static_cast<uint32_t>(RoundToInt16(crv * (1 << 13)));
  const uint32_t v2g = static_cast<uint32_t>(RoundToInt16(cgv * (1 << 13)));
  const uint32_t u2g = static_cast<uint32_t>(RoundToInt16(cgu * (1 << 13)));
  const uint32_t u2b = static_cast<uint32_t>(RoundToInt16(cbu * (1 << 13)));
  TYuvToRgb k;
  k.kY = 512u * yCoeff;
  k.kVR = 512u * v2r;
  k.kVG = 512u * v2g;
  k.kUG = 512u * u2g;
  k.kUB = 512u * u2b;
  const uint32_t c = (1u << 21) - yOffset * yCoeff;
  k.cR = c - 65536u * v2r;
  k.cG = c - 65536u * (v2g + u2g);
  k.cB = c - 65536u * u2b;
  return k;
}

inline uint8_t Clip30Shift22(uint32_t v) {
  const int32_t s = static_cast<int32_t>(v);
  return s < 0 ? 0 : s >= (1 << 30) ? 255 : static_cast<uint8_t>(s >> 22);
}

void Yuv444RowScalar(const TYuvToRgb& k, const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* out,
                     int from, int to) {
  for (int x = from; x < to; ++x) {
    const uint32_t y = ys[x] * k.kY, u = us[x], v = vs[x];
    out[3 * x] = Clip30Shift22(y + u * k.kUB + k.cB);
    out[3 * x + 1] = Clip30Shift22(y + v * k.kVG + u * k.kUG + k.cG);
    out[3 * x + 2] = Clip30Shift22(y + v * k.kVR + k.cR);
  }
}

#ifdef MOVARA_YUV_AVX2
// pshufb masks spreading 16 bytes of one channel over 48 bytes of B, G, R triples
struct TInterleaveMasks {
  alignas(16) std::array<std::array<std::array<int8_t, 16>, 3>, 3> m{};  // [channel][part]
  TInterleaveMasks() {
    for (int c = 0; c < 3; ++c)
      for (int part = 0; part < 3; ++part)
        for (int i = 0; i < 16; ++i) {
          const int k = part * 16 + i;
          m[c][part][i] = static_cast<int8_t>(k % 3 == c ? k / 3 : -128);
        }
  }
};

__attribute__((target("avx2"))) inline __m128i ChannelBytes(__m256i lo, __m256i hi) {
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32((1 << 30) - 1);
  lo = _mm256_srli_epi32(_mm256_min_epi32(_mm256_max_epi32(lo, zero), top), 22);
  hi = _mm256_srli_epi32(_mm256_min_epi32(_mm256_max_epi32(hi, zero), top), 22);
  const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xD8);
  return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

__attribute__((target("avx2"))) void Yuv444RowAvx2(const TYuvToRgb& k, const uint8_t* ys, const uint8_t* us,
                                                   const uint8_t* vs, uint8_t* out, int w) {
  const __m256i kY = _mm256_set1_epi32(int(k.kY)), kVR = _mm256_set1_epi32(int(k.kVR));
  const __m256i kVG = _mm256_set1_epi32(int(k.kVG)), kUG = _mm256_set1_epi32(int(k.kUG));
  const __m256i kUB = _mm256_set1_epi32(int(k.kUB)), cR = _mm256_set1_epi32(int(k.cR));
  const __m256i cG = _mm256_set1_epi32(int(k.cG)), cB = _mm256_set1_epi32(int(k.cB));
  static const TInterleaveMasks kInterleave;
  __m128i mask[3][3];
  for (int c = 0; c < 3; ++c)
    for (int part = 0; part < 3; ++part)
      mask[c][part] = _mm_load_si128(reinterpret_cast<const __m128i*>(kInterleave.m[c][part].data()));
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ys + x));
    const __m128i u8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(us + x));
    const __m128i v8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(vs + x));
    __m256i r[2], g[2], b[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i y = _mm256_mullo_epi32(_mm256_cvtepu8_epi32(h ? _mm_srli_si128(y8, 8) : y8), kY);
      const __m256i u = _mm256_cvtepu8_epi32(h ? _mm_srli_si128(u8, 8) : u8);
      const __m256i v = _mm256_cvtepu8_epi32(h ? _mm_srli_si128(v8, 8) : v8);
      r[h] = _mm256_add_epi32(_mm256_add_epi32(y, cR), _mm256_mullo_epi32(v, kVR));
      g[h] = _mm256_add_epi32(_mm256_add_epi32(y, cG),
                              _mm256_add_epi32(_mm256_mullo_epi32(v, kVG), _mm256_mullo_epi32(u, kUG)));
      b[h] = _mm256_add_epi32(_mm256_add_epi32(y, cB), _mm256_mullo_epi32(u, kUB));
    }
    const __m128i bb = ChannelBytes(b[0], b[1]), gb = ChannelBytes(g[0], g[1]), rb = ChannelBytes(r[0], r[1]);
    for (int part = 0; part < 3; ++part) {
      const __m128i o = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(bb, mask[0][part]), _mm_shuffle_epi8(gb, mask[1][part])),
                                     _mm_shuffle_epi8(rb, mask[2][part]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x + 16 * part), o);
    }
  }
  Yuv444RowScalar(k, ys, us, vs, out, x, w);
}

bool HaveAvx2() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return have;
}
#endif

// One row of w pixels; reads and writes nothing beyond them.
void Yuv444Row(const TYuvToRgb& k, const uint8_t* ys, const uint8_t* us, const uint8_t* vs, uint8_t* out, int w) {
#ifdef MOVARA_YUV_AVX2
  if (HaveAvx2()) {
    Yuv444RowAvx2(k, ys, us, vs, out, w);
    return;
  }
#endif
  Yuv444RowScalar(k, ys, us, vs, out, 0, w);
}

// Whether our conversion gives swscale's bytes for this matrix and range: pictures that
// hold every (y, u) pair (all of B) and every (y, v) pair (all of R), with the third
// sample varied, converted both ways. Another swscale version that computes otherwise
// fails here, and the writer then keeps to swscale.
bool Yuv444MatchesSwscale(const TYuvToRgb& k, int swsFlags, int space, bool full) {
  constexpr int kW = 256, kH = 512;
  std::vector<uint8_t> planes(size_t(kW) * kH * 3);
  uint8_t* y = planes.data();
  uint8_t* u = y + kW * kH;
  uint8_t* v = u + kW * kH;
  for (int row = 0; row < kH; ++row)
    for (int col = 0; col < kW; ++col) {
      const int i = row * kW + col, r = row & 255;
      y[i] = static_cast<uint8_t>(col);
      const uint8_t varied = static_cast<uint8_t>((r * 7 + col * 13 + (row >> 8) * 101) & 255);
      u[i] = row < 256 ? static_cast<uint8_t>(r) : varied;
      v[i] = row < 256 ? varied : static_cast<uint8_t>(r);
    }
  TSwsPtr sws(sws_getContext(kW, kH, AV_PIX_FMT_YUV444P, kW, kH, AV_PIX_FMT_BGR24, swsFlags, nullptr, nullptr,
                             nullptr));
  if (!sws) return false;
  sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), full ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 0,
                           0, 1 << 16, 1 << 16);
  std::vector<uint8_t> theirs(size_t(kW) * 3 * kH), ours(theirs.size());
  const uint8_t* src[4] = {y, u, v, nullptr};
  const int srcStride[4] = {kW, kW, kW, 0};
  uint8_t* dst[4] = {theirs.data(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {kW * 3, 0, 0, 0};
  if (sws_scale(sws.get(), src, srcStride, 0, kH, dst, dstStride) != kH) return false;
  for (int row = 0; row < kH; ++row)
    Yuv444Row(k, y + row * kW, u + row * kW, v + row * kW, ours.data() + size_t(row) * kW * 3, kW);
  return ours == theirs;
}

}  // namespace

AVCodecID CodecIdForFourCC(uint32_t fourcc) {
  // The run-length bitmaps of the platform carry a number, not a code.
  if (fourcc == TVideoFormat::kRle8 || fourcc == TVideoFormat::kRle4) return AV_CODEC_ID_MSRLE;
  for (const TFourCCCodec& e : kFourCCCodecs)
    if (Code(e.fourcc) == fourcc) return e.id;
  const uint32_t upper = Upper4(fourcc);
  for (const TFourCCCodec& e : kFourCCCodecs)
    if (Upper4(Code(e.fourcc)) == upper) return e.id;
  return AV_CODEC_ID_NONE;
}

AVPixelFormat PlainPixelFormat(AVPixelFormat fmt, bool* fullRange) {
  AVPixelFormat plain = fmt;
  switch (fmt) {
    case AV_PIX_FMT_YUVJ420P: plain = AV_PIX_FMT_YUV420P; break;
    case AV_PIX_FMT_YUVJ422P: plain = AV_PIX_FMT_YUV422P; break;
    case AV_PIX_FMT_YUVJ444P: plain = AV_PIX_FMT_YUV444P; break;
    case AV_PIX_FMT_YUVJ440P: plain = AV_PIX_FMT_YUV440P; break;
    case AV_PIX_FMT_YUVJ411P: plain = AV_PIX_FMT_YUV411P; break;
    default: break;
  }
  if (fullRange) *fullRange = plain != fmt;
  return plain;
}

bool TBgr24Writer::Write(const AVFrame* frame, uint8_t* topRow, int rowStep) {
  if (!frame || frame->width <= 0 || frame->height <= 0 || !topRow) return false;
  bool full = false;
  const AVPixelFormat src = PlainPixelFormat(static_cast<AVPixelFormat>(frame->format), &full);
  if (frame->color_range == AVCOL_RANGE_JPEG) full = true;
  const int space = SwsColorSpace(frame->colorspace);
  if (src == AV_PIX_FMT_YUV444P) {
    if (yuvRange_ != int(full) || yuvSpace_ != space) {
      yuv_ = YuvToRgbConstants(space, full);
      yuvExact_ = Yuv444MatchesSwscale(yuv_, flags_, space, full);
      yuvRange_ = full;
      yuvSpace_ = space;
      if (!yuvExact_) TraceF("[TBgr24Writer.Write] 4:4:4 YUV: our conversion differs from swscale's, swscale converts");
    }
    if (yuvExact_) {
      for (int y = 0; y < frame->height; ++y)
        Yuv444Row(yuv_, frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                  frame->data[1] + static_cast<ptrdiff_t>(y) * frame->linesize[1],
                  frame->data[2] + static_cast<ptrdiff_t>(y) * frame->linesize[2],
                  topRow + static_cast<ptrdiff_t>(y) * rowStep, frame->width);
      return true;
    }
  }
  if (!sws_ || w_ != frame->width || h_ != frame->height || fmt_ != src) {
    // For 4:4:4 swscale works with full chroma resolution either way, and its planar
    // RGB output computes each pixel exactly as the packed one does, only with vector
    // code; the packed 24-bit output has none and takes about three times as long.
    planar_ = src == AV_PIX_FMT_YUV444P;
    sws_.reset(sws_getContext(frame->width, frame->height, src, frame->width, frame->height,
                              planar_ ? AV_PIX_FMT_GBRP : AV_PIX_FMT_BGR24, flags_, nullptr, nullptr, nullptr));
    if (!sws_) return false;
    w_ = frame->width;
    h_ = frame->height;
    fmt_ = src;
    range_ = space_ = -1;
  }
  if (range_ != int(full) || space_ != space) {
    // Only the YUV-to-RGB matrix and the source range matter for RGB output.
    sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(space), full ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 0, 0, 1 << 16, 1 << 16);
    range_ = full;
    space_ = space;
  }
  if (planar_) return WriteThroughPlanes(frame, topRow, rowStep);
  if (frame->width % 16 == 0) {
    uint8_t* dst[4] = {topRow, nullptr, nullptr, nullptr};
    const int dstStride[4] = {rowStep, 0, 0, 0};
    return sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) == frame->height;
  }
  const size_t rowBytes = static_cast<size_t>(frame->width) * 3;
  const int spareStride = static_cast<int>((rowBytes + 63 + 64) & ~size_t(63));
  spare_.resize(static_cast<size_t>(spareStride) * (frame->height + 1));
  uint8_t* dst[4] = {spare_.data(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {spareStride, 0, 0, 0};
  if (sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride) != frame->height)
    return false;
  for (int y = 0; y < frame->height; ++y)
    std::memcpy(topRow + static_cast<ptrdiff_t>(y) * rowStep, spare_.data() + static_cast<size_t>(y) * spareStride,
                rowBytes);
  return true;
}

bool TBgr24Writer::WriteThroughPlanes(const AVFrame* frame, uint8_t* topRow, int rowStep) {
  // The vector code writes whole groups of up to 32 pixels per row: each plane row is
  // padded beyond the next multiple of 64, and one spare row ends the buffer.
  const int w = frame->width, h = frame->height;
  const int planeStride = (w + 63 + 64) & ~63;
  const size_t planeBytes = static_cast<size_t>(planeStride) * (h + 1);
  planes_.resize(planeBytes * 3);
  uint8_t* const g = planes_.data();
  uint8_t* const b = g + planeBytes;
  uint8_t* const r = b + planeBytes;
  uint8_t* dst[4] = {g, b, r, nullptr};
  const int dstStride[4] = {planeStride, planeStride, planeStride, 0};
  if (sws_scale(sws_.get(), frame->data, frame->linesize, 0, h, dst, dstStride) != h) return false;
  for (int y = 0; y < h; ++y) {
    const size_t at = static_cast<size_t>(y) * planeStride;
    const uint8_t* gs = g + at;
    const uint8_t* bs = b + at;
    const uint8_t* rs = r + at;
    uint8_t* out = topRow + static_cast<ptrdiff_t>(y) * rowStep;
    for (int x = 0; x < w; ++x) {
      out[0] = bs[x];
      out[1] = gs[x];
      out[2] = rs[x];
      out += 3;
    }
  }
  return true;
}

}  // namespace movara::videoff
