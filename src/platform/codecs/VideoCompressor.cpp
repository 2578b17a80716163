#include "platform/codecs/VideoCompressor.h"
#include "platform/codecs/CodecLog.h"

extern "C" {
#include <libavutil/crc.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

#include "base/Rounding.h"
#include "base/Trace.h"
#include "platform/codecs/VideoFFmpeg.h"
#include "base/JpegFile.h"
#include "base/LittleEndian.h"
#include "platform/codecs/VideoRgbToYuv.h"

namespace movara {

using namespace videoff;

namespace {

enum TKind { kDib, kMjpeg, kMpeg4, kHuffyuv, kFfv1, kDv, kCinepak, kMsvideo1, kH264 };

struct TEntry {
  TKind kind;
  const char* fourcc;
  const char* aliases[3];
  const char* name;
  const char* description;
  uint32_t flags;
  const char* encoder;      // libavcodec encoder; none for full frames
  uint16_t outBits;         // biBitCount of the output format (0: as the input)
  int32_t defaultOption;
  int32_t maxOption;
  int32_t defaultGop;       // key-frame distance when nobody asks for one
  bool takesKeyRequest;     // makes a key frame when asked in the middle of a run
};

constexpr uint32_t kLossyFlags = VIDCF_QUALITY | VIDCF_CRUNCH | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;

const TEntry kEntries[] = {
    {kDib, "DIB ", {}, "Pełne klatki", "Pełne klatki - bez kompresji", 0, nullptr, 0, 0, 0, 1, true},
    {kMjpeg, "MJPG", {}, "Motion JPEG", "Motion JPEG", VIDCF_QUALITY, "mjpeg", 24, 1, 1, 1, true},
    {kMpeg4, "FMP4", {"XVID", "DIVX", "DX50"}, "MPEG-4", "MPEG-4 Part 2 (zgodny z DivX i Xvid)", kLossyFlags,
     "mpeg4", 24, 0, 0, 300, true},
    {kHuffyuv, "HFYU", {}, "HuffYUV", "HuffYUV - kompresja bezstratna", 0, "huffyuv", 24, 0, 1, 1, true},
    {kFfv1, "FFV1", {}, "FFV1", "FFV1 - kompresja bezstratna", 0, "ffv1", 24, 0, 1, 1, true},
    {kDv, "dvsd", {"dv25"}, "DV", "DV (PAL 720 x 576, NTSC 720 x 480)", 0, "dvvideo", 24, 0, 0, 1, true},
    {kCinepak, "cvid", {}, "Cinepak", "Cinepak", VIDCF_TEMPORAL, "cinepak", 24, 0, 0, 12, false},
    {kMsvideo1, "MSVC", {"CRAM", "WHAM"}, "Video 1", "Microsoft Video 1", VIDCF_TEMPORAL, "msvideo1", 16, 0, 0,
     12, false},
    {kH264, "H264", {"X264"}, "H.264", "H.264 / AVC (x264)", kLossyFlags, "libx264", 24, 4, 8, 250, true},
};

const char* const kX264Presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                    "medium",    "slow",      "slower",   "veryslow"};

constexpr int32_t kDefaultQuality = 7500;

// The MPEG-1 default intra matrix in natural order: libavcodec's Motion JPEG tables.
constexpr int kMpeg1IntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34,
    34, 38, 22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32,
    35, 40, 48, 58, 26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

// libavcodec's Motion JPEG quantisation for quantiser q: the matrix times q / 8, DC step 8.
void MjpegQuantTable(int q, unsigned int quant[64]) {
  for (int i = 0; i < 64; ++i) quant[i] = static_cast<unsigned>(std::clamp((kMpeg1IntraMatrix[i] * q) >> 3, 1, 255));
  quant[0] = 8;
}
constexpr uint32_t kStateMagic = VideoFourCC("MVCS");
constexpr uint16_t kStateVersion = 1;

uint32_t Code(const char* s) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

bool Available(const TEntry& e) { return !e.encoder || avcodec_find_encoder_by_name(e.encoder); }

const TEntry* FindEntry(uint32_t handler) {
  for (const TEntry& e : kEntries) {
    bool match = VideoSameFourCC(Code(e.fourcc), handler);
    for (const char* a : e.aliases)
      if (a && VideoSameFourCC(Code(a), handler)) match = true;
    if (match) return Available(e) ? &e : nullptr;
  }
  return nullptr;
}

TVideoCompressorInfo InfoOf(const TEntry& e, uint32_t handler) {
  TVideoCompressorInfo info;
  info.fccHandler = handler;
  info.dwFlags = e.flags;
  info.szName = e.name;
  info.szDescription = e.description;
  return info;
}

// The settings an encoder is opened with.
struct TSettings {
  int quality = kDefaultQuality;
  int gop = 1;
  int dataRate = 0;  // KB/s
  int option = 0;
  int rateNum = 25, rateDen = 1;
  bool operator==(const TSettings&) const = default;
};

// Quality 0..10000 on the MPEG quantiser scale 31..2 (10000 is the finest).
int QScale(int quality) { return 2 + RoundInt((10000 - quality) * 29 / 10000.0L); }
// ... and on x264's rate factor 51..18.
double RateFactor(int quality) { return 51.0 - quality * 33.0 / 10000.0; }

bool StandardMasks(const TVideoFormat& in) {
  if (in.biCompression != TVideoFormat::kBitFields) return true;
  if (in.biBitCount == 16)
    return (in.RedMask == 0xF800 && in.GreenMask == 0x07E0 && in.BlueMask == 0x001F) ||
           (in.RedMask == 0x7C00 && in.GreenMask == 0x03E0 && in.BlueMask == 0x001F);
  return in.biBitCount == 32 && in.RedMask == 0xFF0000 && in.GreenMask == 0xFF00 && in.BlueMask == 0xFF;
}

// Whether the encoder takes pictures of this size; what it takes when it does not.
bool SizeTaken(const TEntry& e, int width, int height, const char** takes) {
  switch (e.kind) {
    case kDv:  // the DV systems' own frames
      *takes = "przyjmuje tylko 720 x 576 lub 720 x 480";
      return width == 720 && (height == 576 || height == 480);
    case kMpeg4:  // 13 bits for each side in its headers
      *takes = "przyjmuje boki do 8191 pikseli";
      return width <= 8191 && height <= 8191;
    case kCinepak:
    case kMsvideo1:  // blocks of 4 x 4
      *takes = "przyjmuje boki podzielne przez 4";
      return width % 4 == 0 && height % 4 == 0;
    case kH264:  // 4:2:0 chroma
      *takes = "przyjmuje boki parzyste";
      return width % 2 == 0 && height % 2 == 0;
    default:
      return true;
  }
}

// ICERR_OK when the compressor takes frames of this format; else why not (takes).
int CheckInput(const TEntry& e, const TVideoFormat& in, const char** takes = nullptr) {
  const char* why = "przyjmuje tylko nieskompresowane obrazy RGB";
  int r = ICERR_OK;
  if (!in.IsUncompressed() || !in.SaneSize() || !StandardMasks(in)) {
    r = ICERR_BADFORMAT;
  } else {
    const int bits = in.biBitCount;
    const bool rgb = bits == 16 || bits == 24 || bits == 32;
    if (e.kind == kDib ? !rgb && bits != 1 && bits != 4 && bits != 8 : !rgb) {
      why = e.kind == kDib ? "przyjmuje obrazy 1, 4, 8, 16, 24 lub 32 bity" : "przyjmuje obrazy 16, 24 lub 32 bity";
      r = ICERR_BADFORMAT;
    } else if (!SizeTaken(e, in.Width(), in.Height(), &why)) {
      r = ICERR_BADFORMAT;
    }
  }
  if (takes) *takes = why;
  return r;
}

// "24 bity", "16 bitów"
std::string Bits(int n) {
  const int tens = n % 100, ones = n % 10;
  return std::to_string(n) + (n == 1 ? " bit" : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? " bity" : " bitów");
}

AVPixelFormat SourcePixelFormat(const TVideoFormat& in) {
  switch (in.biBitCount) {
    case 16:
      return in.biCompression == TVideoFormat::kBitFields && in.RedMask == 0xF800 ? AV_PIX_FMT_RGB565LE
                                                                                 : AV_PIX_FMT_RGB555LE;
    case 24: return AV_PIX_FMT_BGR24;
    default: return AV_PIX_FMT_BGR0;
  }
}

AVPixelFormat EncoderPixelFormat(const TEntry& e, const TVideoFormat& in, int option) {
  switch (e.kind) {
    case kMjpeg: return option == 1 ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUVJ422P;
    case kHuffyuv:
    case kCinepak: return AV_PIX_FMT_RGB24;
    case kFfv1: return AV_PIX_FMT_BGR0;
    case kDv: return in.Height() == 576 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV411P;
    case kMsvideo1: return AV_PIX_FMT_RGB555LE;
    default: return AV_PIX_FMT_YUV420P;
  }
}

// The input layout an encoder was opened for.
bool SameInput(const TVideoFormat& a, const TVideoFormat& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.biBitCount == b.biBitCount &&
         a.TopDown() == b.TopDown() && SourcePixelFormat(a) == SourcePixelFormat(b);
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  return av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), 0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

// Rows of 16, 24 or 32 bits into 5-5-5 pixels (the top 5 bits of each channel).
void PackRgb555(const TVideoFormat& in, const uint8_t* top, int step, AVFrame* frame) {
  const bool is565 = in.biCompression == TVideoFormat::kBitFields && in.RedMask == 0xF800;
  for (int y = 0; y < in.Height(); ++y) {
    const uint8_t* s = top + static_cast<ptrdiff_t>(y) * step;
    uint8_t* d = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
    for (int x = 0; x < in.Width(); ++x, d += 2) {
      uint32_t v;
      if (in.biBitCount == 16) {
        v = s[x * 2] | (s[x * 2 + 1] << 8);
        if (is565) v = ((v >> 1) & 0x7FE0) | (v & 0x1F);
      } else {
        const uint8_t* p = s + x * (in.biBitCount / 8);
        v = ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
      }
      d[0] = static_cast<uint8_t>(v);
      d[1] = static_cast<uint8_t>(v >> 8);
    }
  }
}

// Whether our 4:2:2 conversion gives swscale's bytes at this width: a few rows of
// edges, ramps, extremes and noise through both.
bool SameAsSwscale(TBgrToYuvj422& ours, int swsFlags) {
  const int w = ours.Width(), h = 16, cw = (w + 1) / 2;
  TSwsPtr sws(sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV422P, swsFlags, nullptr, nullptr, nullptr));
  if (!sws) return false;
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(sws.get(), bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
  const int stride = (3 * w + 63) & ~63;
  std::vector<uint8_t> rgb(static_cast<size_t>(stride) * h + 64);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t value;
      switch (y % 8) {
        case 0: value = static_cast<uint8_t>(x * 255 / (3 * w)); break;             // ramps
        case 1: value = (x / 3 / 5) % 2 ? 255 : 0; break;                           // hard edges
        case 2: value = static_cast<uint8_t>((x % 3) == y % 3 ? 255 : 0); break;     // primaries
        case 3: value = static_cast<uint8_t>(seed >> 24 & 0x80 ? 255 : 0); break;   // extremes at random
        default: value = static_cast<uint8_t>(seed >> 24); break;                   // noise
      }
      rgb[static_cast<size_t>(y) * stride + x] = value;
    }
  const int planeStride = (w + 63) & ~63;
  std::vector<uint8_t> theirs(static_cast<size_t>(planeStride) * h * 3 + 64), mine(theirs.size());
  uint8_t* dst[4] = {theirs.data(), theirs.data() + planeStride * h, theirs.data() + 2 * planeStride * h, nullptr};
  const int dstStride[4] = {planeStride, planeStride, planeStride, 0};
  const uint8_t* src[4] = {rgb.data(), nullptr, nullptr, nullptr};
  const int srcStride[4] = {stride, 0, 0, 0};
  if (sws_scale(sws.get(), src, srcStride, 0, h, dst, dstStride) != h) return false;
  for (int y = 0; y < h; ++y)
    ours.Row(rgb.data() + static_cast<size_t>(y) * stride, mine.data() + y * planeStride,
             mine.data() + planeStride * h + y * planeStride, mine.data() + 2 * planeStride * h + y * planeStride);
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < h; ++y) {
      const size_t at = static_cast<size_t>(plane) * planeStride * h + static_cast<size_t>(y) * planeStride;
      if (!std::equal(mine.begin() + at, mine.begin() + at + (plane ? cw : w), theirs.begin() + at)) {
        TraceF("[TVideoCompressorSession] 4:2:2 conversion differs from swscale at width %d (plane %d row %d)", w,
               plane, y);
        return false;
      }
    }
  return true;
}

}  // namespace

std::vector<TVideoCompressorInfo> VideoCompressorList() {
  std::vector<TVideoCompressorInfo> list;
  for (const TEntry& e : kEntries)
    if (Available(e)) list.push_back(InfoOf(e, Code(e.fourcc)));
  return list;
}

bool VideoCompressorGetInfo(uint32_t fccHandler, TVideoCompressorInfo& info) {
  const TEntry* e = FindEntry(fccHandler);
  if (!e) return false;
  info = InfoOf(*e, Code(e->fourcc));
  return true;
}

struct TVideoCompressorSession::TImpl {
  const TEntry* entry = nullptr;
  uint32_t handler = 0;  // as opened: the code written into the output format
  uint32_t mode = 0;
  TVideoCompressorState state;

  // Settings of the frames to come.
  int32_t seqQuality = ICQUALITY_DEFAULT, seqKeyRate = 0, seqDataRate = 0;
  int rateNum = 25, rateDen = 1;

  // The open encoder (a probe from a query or format request, or the begun one).
  TCodecContextPtr enc;
  TSettings encSettings;
  TVideoFormat encInput;
  AVPixelFormat encPixelFormat = AV_PIX_FMT_NONE;
  TFramePtr frame;
  TPacketPtr packet;
  TSwsPtr sws;
  // 24-bit rows into Motion JPEG's 4:2:2 planes without swscale, where it was found to
  // give swscale's bytes (when libjpeg cannot take the rows itself).
  TBgrToYuvj422 fastYuv;
  bool useFastYuv = false;
  int64_t framesSinceOpen = 0;

  bool begun = false;
  TVideoFormat beginInput;
  std::vector<uint8_t> out;
  std::vector<uint8_t> rows;  // input rows handed to swscale

  TSettings Effective(const TVideoFormat& in) const {
    TSettings s;
    int32_t q = seqQuality >= 0 ? seqQuality : state.Quality;
    if (q < 0) q = kDefaultQuality;
    s.quality = std::clamp(q, 0, 10000);
    // The shortest distance anyone asks for wins; otherwise the codec's own.
    int gop = 0;
    if (seqKeyRate > 0) gop = seqKeyRate;
    if (state.KeyInterval > 0 && (gop == 0 || state.KeyInterval < gop)) gop = state.KeyInterval;
    s.gop = gop > 0 ? gop : entry->defaultGop;
    s.dataRate = seqDataRate > 0 ? seqDataRate : state.DataRate;
    s.option = state.Option;
    s.rateNum = rateNum;
    s.rateDen = rateDen;
    if (entry->kind == kDv) {  // the frame rate belongs to the DV system
      s.rateNum = in.Height() == 576 ? 25 : 30000;
      s.rateDen = in.Height() == 576 ? 1 : 1001;
    }
    return s;
  }

  void CloseEncoder() {
    enc.reset();
    frame.reset();
    packet.reset();
    sws.reset();
    useFastYuv = false;
    framesSinceOpen = 0;
  }

  // Opens (or keeps) an encoder for this input and these settings.
  int OpenEncoder(const TVideoFormat& in, const TSettings& s) {
    if (entry->kind == kDib) return ICERR_OK;
    if (enc && encSettings == s && SameInput(encInput, in)) return ICERR_OK;
    CloseEncoder();
    const AVCodec* codec = avcodec_find_encoder_by_name(entry->encoder);
    if (!codec) return ICERR_UNSUPPORTED;
    TCodecContextPtr c(avcodec_alloc_context3(codec));
    if (!c) return ICERR_MEMORY;
    const AVPixelFormat pix = EncoderPixelFormat(*entry, in, s.option);
    c->width = in.Width();
    c->height = in.Height();
    c->pix_fmt = pix;
    c->time_base = AVRational{s.rateDen, s.rateNum};
    c->framerate = AVRational{s.rateNum, s.rateDen};
    c->sample_aspect_ratio = AVRational{1, 1};
    c->thread_count = 1;
    c->flags |= AV_CODEC_FLAG_BITEXACT;
    c->gop_size = s.gop;
    c->codec_tag = handler;
    const int q = QScale(s.quality);
    switch (entry->kind) {
      case kMjpeg:
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = q * FF_QP2LAMBDA;
        c->color_range = AVCOL_RANGE_JPEG;
        break;
      case kMpeg4:
        c->max_b_frames = 0;
        c->gop_size = std::min(s.gop, 600);
        if (s.dataRate > 0) {
          c->bit_rate = int64_t(s.dataRate) * 8192;
        } else {
          c->flags |= AV_CODEC_FLAG_QSCALE;
          c->global_quality = q * FF_QP2LAMBDA;
        }
        break;
      case kHuffyuv:
        av_opt_set_int(c->priv_data, "pred", s.option == 1 ? 1 : 0, 0);
        break;
      case kFfv1:
        av_opt_set_int(c->priv_data, "coder", s.option == 1 ? -2 : 0, 0);
        break;
      case kCinepak:
      case kMsvideo1:
        c->keyint_min = s.gop;
        break;
      case kH264: {
        av_opt_set(c->priv_data, "preset", kX264Presets[std::clamp(s.option, 0, 8)], 0);
        // One frame in, its data out: no B-frames, no look-ahead.
        av_opt_set(c->priv_data, "x264-params", "bframes=0:rc-lookahead=0:sync-lookahead=0:mbtree=0:force-cfr=1:log=-1", 0);
        av_opt_set_int(c->priv_data, "forced-idr", 1, 0);
        c->max_b_frames = 0;
        if (s.dataRate > 0)
          c->bit_rate = int64_t(s.dataRate) * 8192;
        else
          av_opt_set_double(c->priv_data, "crf", RateFactor(s.quality), 0);
        break;
      }
      default:
        break;
    }
    RouteCodecLogToTrace();
    if (avcodec_open2(c.get(), codec, nullptr) < 0) {
      TraceF("[TVideoCompressorSession.OpenEncoder] %s refuses %d x %d", entry->encoder, in.Width(), in.Height());
      return ICERR_BADFORMAT;
    }
    TFramePtr f(av_frame_alloc());
    TPacketPtr p(av_packet_alloc());
    if (!f || !p) return ICERR_MEMORY;
    f->format = pix;
    f->width = in.Width();
    f->height = in.Height();
    if (av_frame_get_buffer(f.get(), 0) < 0) return ICERR_MEMORY;
    bool fullRange = false;
    const AVPixelFormat plain = PlainPixelFormat(pix, &fullRange);
    // Chroma is filtered from every pixel into YUV; RGB layouts only move bits.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(plain);
    const bool toRgb = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
    const int flags = SWS_BITEXACT | SWS_ACCURATE_RND | (toRgb ? SWS_POINT : SWS_BICUBIC | SWS_FULL_CHR_H_INP);
    TSwsPtr conv;
    if (pix != AV_PIX_FMT_RGB555LE) {  // swscale has no quiet way to 5-5-5: we pack it ourselves
      conv.reset(sws_getContext(in.Width(), in.Height(), SourcePixelFormat(in), in.Width(), in.Height(), plain, flags,
                                nullptr, nullptr, nullptr));
      if (!conv) return ICERR_MEMORY;
    }
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    if (conv) sws_setColorspaceDetails(conv.get(), bt601, 0, bt601, fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
    useFastYuv = conv && FastYuvEnabled() && pix == AV_PIX_FMT_YUVJ422P && SourcePixelFormat(in) == AV_PIX_FMT_BGR24 &&
                 fastYuv.Init(in.Width()) && SameAsSwscale(fastYuv, flags);
    enc = std::move(c);
    frame = std::move(f);
    packet = std::move(p);
    sws = std::move(conv);
    encSettings = s;
    encInput = in;
    encPixelFormat = pix;
    return ICERR_OK;
  }

  int MakeFormat(const TVideoFormat& in, TVideoFormat& outFormat) {
    int r = CheckInput(*entry, in);
    if (r != ICERR_OK) return r;
    if (entry->kind == kDib) {
      outFormat = in;
      if (outFormat.biCompression != TVideoFormat::kBitFields) outFormat.biCompression = TVideoFormat::kRgb;
      outFormat.biSize = TVideoFormat::kHeaderSize;
      outFormat.biSizeImage = static_cast<uint32_t>(in.FrameBytes());
      outFormat.Extra.clear();
      return ICERR_OK;
    }
    r = OpenEncoder(in, Effective(in));
    if (r != ICERR_OK) return r;
    TVideoFormat f;
    f.biWidth = in.Width();
    f.biHeight = in.Height();
    f.biPlanes = 1;
    f.biBitCount = entry->outBits;
    f.biCompression = handler;
    f.biSizeImage = static_cast<uint32_t>(int64_t(f.biWidth) * f.biHeight * f.biBitCount / 8);
    if (enc->extradata && enc->extradata_size > 0)
      f.Extra.assign(enc->extradata, enc->extradata + enc->extradata_size);
    f.biSize = static_cast<uint32_t>(TVideoFormat::kHeaderSize + f.Extra.size());
    outFormat = std::move(f);
    return ICERR_OK;
  }

  // The Motion JPEG picture in out as the frame compressed (every one a key frame).
  int JpegResult(TCompressedFrame& result) {
    ++framesSinceOpen;
    result.Data = out.data();
    result.Size = out.size();
    result.KeyFrame = true;
    return ICERR_OK;
  }

  int Encode(const uint8_t* bits, bool keyFrame, TCompressedFrame& result) {
    const TVideoFormat& in = beginInput;
    // Codecs that make key frames only on their own count start afresh instead.
    if (keyFrame && framesSinceOpen > 0 && !entry->takesKeyRequest) CloseEncoder();
    int r = OpenEncoder(in, Effective(in));
    if (r != ICERR_OK) return r;
    if (av_frame_make_writable(frame.get()) < 0) return ICERR_MEMORY;
    const int64_t stride = in.RowSize();
    const uint8_t* top = in.TopDown() ? bits : bits + stride * (in.Height() - 1);
    const int step = static_cast<int>(in.TopDown() ? stride : -stride);
    if (entry->kind == kMjpeg && FastYuvEnabled() && (in.biBitCount == 24 || in.biBitCount == 32) &&
        in.biCompression == TVideoFormat::kRgb &&
        (encPixelFormat == AV_PIX_FMT_YUVJ420P || encPixelFormat == AV_PIX_FMT_YUVJ422P)) {
      // Motion JPEG straight from the rows: libjpeg-turbo's own colour conversion and
      // chroma averaging are the quickest way to a JPEG picture
      unsigned int quant[64];
      MjpegQuantTable(QScale(encSettings.quality), quant);
      if (SaveJpegBgrRowsToBytes(top, step, in.Width(), in.Height(), in.biBitCount / 8,
                                 encPixelFormat == AV_PIX_FMT_YUVJ420P, quant, out))
        return JpegResult(result);
    }
    if (useFastYuv) {
      for (int y = 0; y < in.Height(); ++y)
        fastYuv.Row(top + static_cast<ptrdiff_t>(y) * step, frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                    frame->data[1] + static_cast<ptrdiff_t>(y) * frame->linesize[1],
                    frame->data[2] + static_cast<ptrdiff_t>(y) * frame->linesize[2]);
    } else if (sws) {
      // swscale reads whole vectors and may pass the end of a row. Rows followed by
      // another row in memory are read in place; the row at the end of the caller's
      // memory goes through a copy with room behind it. The rows pass in two slices,
      // which gives the same picture: no filter of ours reaches across rows.
      const int h = in.Height();
      const size_t rowBytes = static_cast<size_t>(in.Width()) * (in.biBitCount / 8);
      const int last = step < 0 ? 0 : h - 1;  // the row highest in memory
      rows.assign(rowBytes + 64, 0);
      std::memcpy(rows.data(), top + static_cast<ptrdiff_t>(last) * step, rowBytes);
      const int srcStride[4] = {step, 0, 0, 0};
      const int spareStride[4] = {static_cast<int>(rowBytes + 64), 0, 0, 0};
      int done = 0;
      auto slice = [&](const uint8_t* first, const int* stride, int y, int count) {
        if (count <= 0) return;
        const uint8_t* src[4] = {first, nullptr, nullptr, nullptr};
        done += sws_scale(sws.get(), src, stride, y, count, frame->data, frame->linesize);
      };
      if (last == 0) {
        slice(rows.data(), spareStride, 0, 1);
        slice(top + step, srcStride, 1, h - 1);
      } else {
        slice(top, srcStride, 0, h - 1);
        slice(rows.data(), spareStride, h - 1, 1);
      }
      if (done != h) return ICERR_INTERNAL;
    } else {
      PackRgb555(in, top, step, frame.get());
    }
    if (entry->kind == kMjpeg && (encPixelFormat == AV_PIX_FMT_YUVJ420P || encPixelFormat == AV_PIX_FMT_YUVJ422P)) {
      // Motion JPEG frames are JPEG pictures: libjpeg-turbo makes them from the planes
      // about twice as fast as libavcodec, with libavcodec's quantisation (the MPEG-1
      // intra matrix times the quantiser / 8, DC step 8). The blocks past the picture's
      // right edge repeat its last column, so no stale byte reaches the file.
      const bool is420 = encPixelFormat == AV_PIX_FMT_YUVJ420P;
      const int w = in.Width(), h = in.Height(), cw = (w + 1) / 2, ch = is420 ? (h + 1) / 2 : h;
      const int padW = (w + 15) / 16 * 16, padCw = (cw + 7) / 8 * 8;
      if (padW <= frame->linesize[0] && padCw <= frame->linesize[1] && padCw <= frame->linesize[2]) {
        for (int y = 0; y < h && padW > w; ++y) {
          uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
          std::memset(row + w, row[w - 1], static_cast<size_t>(padW - w));
        }
        for (int p = 1; p < 3 && padCw > cw; ++p)
          for (int y = 0; y < ch; ++y) {
            uint8_t* row = frame->data[p] + static_cast<ptrdiff_t>(y) * frame->linesize[p];
            std::memset(row + cw, row[cw - 1], static_cast<size_t>(padCw - cw));
          }
        unsigned int quant[64];
        MjpegQuantTable(QScale(encSettings.quality), quant);
        const uint8_t* const planes[3] = {frame->data[0], frame->data[1], frame->data[2]};
        const int strides[3] = {frame->linesize[0], frame->linesize[1], frame->linesize[2]};
        if (SaveJpegPlanesToBytes(planes, strides, w, h, is420, quant, out)) return JpegResult(result);
      }
      TraceF("[TVideoCompressorSession.Compress] libjpeg refused the planes; libavcodec makes the frame");
    }
    frame->pts = framesSinceOpen;
    frame->pict_type = keyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    frame->quality = enc->global_quality;
    if (avcodec_send_frame(enc.get(), frame.get()) < 0) return ICERR_ERROR;
    ++framesSinceOpen;
    av_packet_unref(packet.get());
    if (avcodec_receive_packet(enc.get(), packet.get()) < 0) {
      TraceF("[TVideoCompressorSession.Compress] %s gave no data for frame %lld", entry->encoder,
             static_cast<long long>(framesSinceOpen - 1));
      return ICERR_ERROR;
    }
    out.assign(packet->data, packet->data + packet->size);
    result.Data = out.data();
    result.Size = out.size();
    result.KeyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    return ICERR_OK;
  }
};

TVideoCompressorSession::TVideoCompressorSession(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TVideoCompressorSession::~TVideoCompressorSession() = default;

std::unique_ptr<TVideoCompressorSession> TVideoCompressorSession::Open(uint32_t fccType, uint32_t fccHandler,
                                                                       uint32_t mode) {
  if (!VideoSameFourCC(fccType, ICTYPE_VIDEO)) return nullptr;
  if (mode != ICMODE_COMPRESS && mode != ICMODE_QUERY) return nullptr;
  const TEntry* e = FindEntry(fccHandler);
  if (!e) return nullptr;
  auto impl = std::make_unique<TImpl>();
  impl->entry = e;
  // The written code is the one asked for, in the spelling of the catalogue.
  impl->handler = Code(e->fourcc);
  for (const char* a : e->aliases)
    if (a && VideoSameFourCC(Code(a), fccHandler)) impl->handler = Code(a);
  impl->mode = mode;
  impl->state.Option = e->defaultOption;
  return std::unique_ptr<TVideoCompressorSession>(new TVideoCompressorSession(std::move(impl)));
}

bool TVideoCompressorSession::GetInfo(TVideoCompressorInfo& info) const {
  info = InfoOf(*impl_->entry, impl_->handler);
  return true;
}

uint32_t TVideoCompressorSession::Handler() const { return impl_->handler; }

std::string TVideoCompressorSession::RefusalText(const TVideoFormat& in) {
  const char* takes = nullptr;
  if (CheckInput(*impl_->entry, in, &takes) == ICERR_OK) {
    TVideoFormat made;
    if (impl_->MakeFormat(in, made) == ICERR_OK) return std::string();
    takes = "jego koder odrzucił ten obraz";
  }
  return std::string(impl_->entry->name) + " (" + VideoFourCCText(impl_->handler) + ") nie przyjmuje obrazu " +
         std::to_string(in.Width()) + " x " + std::to_string(in.Height()) + " (" + Bits(in.biBitCount) + "): " +
         takes + ".";
}
bool TVideoCompressorSession::Begun() const { return impl_->begun; }
const TVideoCompressorState& TVideoCompressorSession::State() const { return impl_->state; }

int TVideoCompressorSession::CompressQuery(const TVideoFormat& in, const TVideoFormat* out) {
  TVideoFormat made;
  const int r = impl_->MakeFormat(in, made);
  if (r != ICERR_OK || !out) return r;
  const bool fits = out->biCompression == made.biCompression && out->biWidth == made.biWidth &&
                    out->Height() == made.Height() && out->biBitCount == made.biBitCount;
  return fits ? ICERR_OK : ICERR_BADFORMAT;
}

int TVideoCompressorSession::CompressGetFormatSize(const TVideoFormat& in) {
  TVideoFormat made;
  if (impl_->MakeFormat(in, made) != ICERR_OK) return 0;
  return static_cast<int>(made.ToBytes().size());
}

int TVideoCompressorSession::CompressGetFormat(const TVideoFormat& in, TVideoFormat& out) {
  return impl_->MakeFormat(in, out);
}

int TVideoCompressorSession::CompressGetSize(const TVideoFormat& in, const TVideoFormat& out) {
  (void)out;
  if (CheckInput(*impl_->entry, in) != ICERR_OK) return 0;
  const int64_t pixels = int64_t(in.Width()) * in.Height();
  int64_t size = 0;
  switch (impl_->entry->kind) {
    case kDib: size = in.FrameBytes(); break;
    case kDv: size = in.Height() == 576 ? 144000 : 120000; break;
    // Even pure noise stays below four bytes a pixel in these codecs.
    default: size = pixels * 4 + 65536; break;
  }
  return static_cast<int>(std::min<int64_t>(size, 0x7FFFFFFF));
}

void TVideoCompressorSession::CompressFramesInfo(int32_t quality, int32_t keyRate, int32_t dataRate, int rateNum,
                                                 int rateDen) {
  TImpl& d = *impl_;
  d.seqQuality = quality < 0 ? ICQUALITY_DEFAULT : std::min(quality, ICQUALITY_HIGH);
  d.seqKeyRate = std::max(0, keyRate);
  d.seqDataRate = std::max(0, dataRate);
  if (rateNum > 0 && rateDen > 0) {
    d.rateNum = rateNum;
    d.rateDen = rateDen;
  }
}

int TVideoCompressorSession::CompressBegin(const TVideoFormat& in, const TVideoFormat& out) {
  TImpl& d = *impl_;
  if (d.mode != ICMODE_COMPRESS) return ICERR_UNSUPPORTED;
  const int r = CompressQuery(in, &out);
  if (r != ICERR_OK) return r;
  if (d.begun && !SameInput(d.beginInput, in)) CompressEnd();
  d.beginInput = in;
  d.begun = true;
  return ICERR_OK;
}

int TVideoCompressorSession::Compress(const uint8_t* bits, size_t size, bool keyFrame, TCompressedFrame& out) {
  TImpl& d = *impl_;
  out = TCompressedFrame{};
  if (!d.begun) return ICERR_BADHANDLE;
  const int64_t need = d.beginInput.FrameBytes();
  if (!bits || need <= 0 || size < static_cast<size_t>(need)) return ICERR_BADSIZE;
  if (d.entry->kind == kDib) {
    d.out.assign(bits, bits + need);
    out.Data = d.out.data();
    out.Size = d.out.size();
    out.KeyFrame = true;
    return ICERR_OK;
  }
  return d.Encode(bits, keyFrame, out);
}

int TVideoCompressorSession::Compress(const TDIB& frame, bool keyFrame, TCompressedFrame& out) {
  const TVideoFormat& in = impl_->beginInput;
  if (!impl_->begun || frame.Width() != in.Width() || frame.Height() != in.Height() ||
      frame.BitCount() != in.biBitCount || in.TopDown())
    return ICERR_BADFORMAT;
  return Compress(frame.Bits(), frame.ImageSize(), keyFrame, out);
}

int TVideoCompressorSession::CompressEnd() {
  TImpl& d = *impl_;
  d.begun = false;
  d.CloseEncoder();
  return ICERR_OK;
}

int TVideoCompressorSession::GetState(uint8_t* block, size_t size) const {
  if (!block || size < static_cast<size_t>(kVideoCompressorStateSize)) return ICERR_BADSIZE;
  const TImpl& d = *impl_;
  std::memset(block, 0, kVideoCompressorStateSize);
  PutLE32(block, kStateMagic);
  block[4] = kStateVersion & 0xFF;
  block[5] = kStateVersion >> 8;
  block[6] = kVideoCompressorStateSize & 0xFF;
  block[7] = kVideoCompressorStateSize >> 8;
  PutLE32(block + 8, Code(d.entry->fourcc));
  PutLE32(block + 12, static_cast<uint32_t>(d.state.Quality));
  PutLE32(block + 16, static_cast<uint32_t>(d.state.KeyInterval));
  PutLE32(block + 20, static_cast<uint32_t>(d.state.DataRate));
  PutLE32(block + 24, static_cast<uint32_t>(d.state.Option));
  PutLE32(block + 28, Crc32(block, 28));
  return ICERR_OK;
}

std::vector<uint8_t> TVideoCompressorSession::GetState() const {
  std::vector<uint8_t> block(kVideoCompressorStateSize);
  GetState(block.data(), block.size());
  return block;
}

int TVideoCompressorSession::SetState(const uint8_t* block, size_t size) {
  TImpl& d = *impl_;
  if (!block) {
    d.state = TVideoCompressorState{};
    d.state.Option = d.entry->defaultOption;
    return ICERR_OK;
  }
  if (size < static_cast<size_t>(kVideoCompressorStateSize)) return 0;
  const uint16_t version = static_cast<uint16_t>(block[4] | (block[5] << 8));
  const uint16_t length = static_cast<uint16_t>(block[6] | (block[7] << 8));
  if (GetLE32(block) != kStateMagic || version != kStateVersion || length != kVideoCompressorStateSize) return 0;
  if (GetLE32(block + 28) != Crc32(block, 28)) return 0;
  // A block saved by another compressor configures nothing here.
  if (FindEntry(GetLE32(block + 8)) != d.entry) return 0;
  TVideoCompressorState s;
  s.Quality = GetLEI32(block + 12);
  s.KeyInterval = GetLEI32(block + 16);
  s.DataRate = GetLEI32(block + 20);
  s.Option = GetLEI32(block + 24);
  if (s.Quality < ICQUALITY_DEFAULT || s.Quality > ICQUALITY_HIGH || s.KeyInterval < 0 ||
      s.KeyInterval > 1000000 || s.DataRate < 0 || s.DataRate > 1000000 || s.Option < 0 ||
      s.Option > d.entry->maxOption)
    return 0;
  d.state = s;
  return kVideoCompressorStateSize;
}

int TVideoCompressorSession::SetState(const TVideoCompressorState& s) {
  TImpl& d = *impl_;
  if (s.Quality < ICQUALITY_DEFAULT || s.Quality > ICQUALITY_HIGH || s.KeyInterval < 0 || s.KeyInterval > 1000000 ||
      s.DataRate < 0 || s.DataRate > 1000000 || s.Option < 0 || s.Option > d.entry->maxOption)
    return ICERR_BADPARAM;
  d.state = s;
  return ICERR_OK;
}

int TVideoCompressorSession::MaxOption() const { return impl_->entry->maxOption; }

bool ICSeqCompressFrameStart(TCompVars& pc, const TVideoFormat& in) {
  if (!pc.hic) return false;
  TVideoCompressorSession& s = *pc.hic;
  s.CompressFramesInfo(pc.lQ, pc.lKey, pc.lDataRate);
  TVideoFormat out;
  if (s.CompressGetFormat(in, out) != ICERR_OK) return false;
  if (s.CompressBegin(in, out) != ICERR_OK) return false;
  pc.lpbiIn = in;
  pc.lpbiOut = std::move(out);
  pc.lpBitsOut = nullptr;
  pc.lFrame = 0;
  pc.lKeyCount = 0;
  pc.Started = true;
  return true;
}

const uint8_t* ICSeqCompressFrame(TCompVars& pc, uint32_t flags, const uint8_t* bits, bool* keyFrame,
                                  int32_t* size) {
  (void)flags;
  if (keyFrame) *keyFrame = false;
  if (size) *size = 0;
  if (!pc.hic || !pc.Started || !bits) return nullptr;
  const bool wantKey = pc.lFrame == 0 || (pc.lKey > 0 && pc.lKeyCount >= pc.lKey);
  TCompressedFrame f;
  const int64_t bytes = pc.lpbiIn.FrameBytes();
  if (pc.hic->Compress(bits, static_cast<size_t>(std::max<int64_t>(bytes, 0)), wantKey, f) != ICERR_OK) return nullptr;
  ++pc.lFrame;
  pc.lKeyCount = f.KeyFrame ? 1 : pc.lKeyCount + 1;
  pc.lpBitsOut = f.Data;
  if (keyFrame) *keyFrame = f.KeyFrame;
  if (size) *size = static_cast<int32_t>(f.Size);
  return f.Data;
}

void ICSeqCompressFrameEnd(TCompVars& pc) {
  if (pc.hic && pc.Started) pc.hic->CompressEnd();
  pc.Started = false;
  pc.lpBitsOut = nullptr;
}

void ICCompressorFree(TCompVars& pc) {
  ICSeqCompressFrameEnd(pc);
  pc.hic.reset();
  pc.lpbiIn = TVideoFormat{};
  pc.lpbiOut = TVideoFormat{};
  pc.dwFlags &= ~ICMF_COMPVARS_VALID;
}

}  // namespace movara
