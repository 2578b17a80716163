#pragma once
// What the video codec files share about FFmpeg: owners of its objects, the codes of
// stored formats mapped to its codecs, and the conversion of a decoded picture into
// 24-bit DIB rows. Internal to src/platform/codecs; the public headers stay free of
// FFmpeg.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <vector>

namespace movara::videoff {

struct TCodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TSwsFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextFree>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;
using TSwsPtr = std::unique_ptr<SwsContext, TSwsFree>;

// The codec of a stored four-character code (exact spelling first, then ignoring
// case); AV_CODEC_ID_NONE when we know none.
AVCodecID CodecIdForFourCC(uint32_t fourcc);

// The full-range ("J") YUV layouts are the limited ones with another range: swscale's
// fast paths know only the latter.
AVPixelFormat PlainPixelFormat(AVPixelFormat fmt, bool* fullRange);

// The integer YUV-to-RGB step of swscale for 8-bit samples, folded per sample: R = y * kY
// + v * kVR + cR (and so on), in wrapping 32-bit arithmetic, before clipping to 30 bits.
struct TYuvToRgb {
  uint32_t kY = 0, kVR = 0, kVG = 0, kUG = 0, kUB = 0;
  uint32_t cR = 0, cG = 0, cB = 0;
};

// Converts pictures into 24-bit DIB rows (B, G, R) of the same size. The target is given
// by its top row and the distance to the next row down, so bottom-up rows (a TDIB, a
// packed DIB) are written in place with a negative step. swscale's fast paths write
// whole groups of 8 pixels (and may spill past a row that ends inside a group), so a
// width that is not a multiple of 16 goes through a padded buffer first. 8-bit 4:4:4
// YUV (what Motion JPEG made from RGB pictures carries) has only a slow packed 24-bit
// output in swscale: we convert it ourselves with swscale's own integer arithmetic,
// once checked to give swscale's bytes; should that check fail, swscale's planar RGB
// output (the same arithmetic, vector code) is interleaved here instead. One context is
// kept and reused while the source layout stays the same.
class TBgr24Writer {
 public:
  explicit TBgr24Writer(int swsFlags) : flags_(swsFlags) {}
  bool Write(const AVFrame* frame, uint8_t* topRow, int rowStep);

 private:
  bool WriteThroughPlanes(const AVFrame* frame, uint8_t* topRow, int rowStep);

  int flags_;
  TSwsPtr sws_;
  bool planar_ = false;         // sws_ writes G, B, R planes into planes_
  std::vector<uint8_t> spare_;  // rows for widths swscale cannot write in place
  std::vector<uint8_t> planes_;
  int w_ = 0, h_ = 0, fmt_ = -1, range_ = -1, space_ = -1;
  TYuvToRgb yuv_;  // our 4:4:4 conversion, for yuvRange_ and yuvSpace_
  bool yuvExact_ = false;
  int yuvRange_ = -1, yuvSpace_ = -1;
};

}  // namespace movara::videoff
