#include "platform/codecs/VideoDecoder.h"
#include "platform/codecs/CodecLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>

#include "base/LittleEndian.h"
#include "base/Trace.h"
#include "platform/codecs/VideoFFmpeg.h"

namespace movara {

using namespace videoff;

namespace {

// A colour channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct TChannel {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;
  static TChannel Of(uint32_t mask) {
    TChannel c;
    c.mask = mask;
    if (!mask) return c;
    while (!((mask >> c.shift) & 1)) ++c.shift;
    while (c.shift + c.width < 32 && ((mask >> (c.shift + c.width)) & 1)) ++c.width;
    return c;
  }
  // Narrow channels repeat their bits downwards (5 bits abcde -> abcdeabc), as every
  // DIB converter does; wide ones keep their top 8 bits.
  uint8_t Value(uint32_t pixel) const {
    if (!width) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) return static_cast<uint8_t>(v >> (width - 8));
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += width) {
      const int at = 8 - width - filled;
      out |= at >= 0 ? v << at : v >> -at;
    }
    return static_cast<uint8_t>(out);
  }
};

// Uncompressed DIB rows of one format, converted to 24 bits.
class TDibRows {
 public:
  bool Init(const TVideoFormat& f) {
    format_ = f;
    const int bits = f.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (f.biCompression == TVideoFormat::kBitFields) {
      if (bits != 16 && bits != 32) return false;
      red_ = TChannel::Of(f.RedMask);
      green_ = TChannel::Of(f.GreenMask);
      blue_ = TChannel::Of(f.BlueMask);
      if (!red_.width || !green_.width || !blue_.width) return false;
      plain32_ = bits == 32 && f.RedMask == 0xFF0000 && f.GreenMask == 0xFF00 && f.BlueMask == 0xFF;
    } else {
      if (bits == 16) {
        red_ = TChannel::Of(0x7C00);
        green_ = TChannel::Of(0x03E0);
        blue_ = TChannel::Of(0x001F);
      }
      plain32_ = bits == 32;
    }
    if (bits == 16) {
      lut16_.resize(65536 * 3);
      for (uint32_t v = 0; v < 65536; ++v) {
        lut16_[v * 3] = blue_.Value(v);
        lut16_[v * 3 + 1] = green_.Value(v);
        lut16_[v * 3 + 2] = red_.Value(v);
      }
    }
    if (bits <= 8) {
      palette_.fill(0);
      for (size_t i = 0; i < f.Palette.size() && i < 256; ++i) {
        const TRGBQuad& q = f.Palette[i];
        palette_[i * 3] = q.rgbBlue;
        palette_[i * 3 + 1] = q.rgbGreen;
        palette_[i * 3 + 2] = q.rgbRed;
      }
    }
    stride_ = f.RowSize();
    // The last row may come without its padding.
    minBytes_ = stride_ * (f.Height() - 1) + (static_cast<int64_t>(f.Width()) * bits + 7) / 8;
    return stride_ > 0 && f.SaneSize();
  }

  size_t MinBytes() const { return static_cast<size_t>(minBytes_); }

  void Convert(const uint8_t* data, uint8_t* topRow, int rowStep) const {
    const int w = format_.Width(), h = format_.Height();
    const int bits = format_.biBitCount;
    if (bits == 24 && !format_.TopDown() && rowStep == -stride_) {
      // Same layout: one copy of all rows but the short last one.
      uint8_t* bottom = topRow + static_cast<ptrdiff_t>(h - 1) * rowStep;
      std::memcpy(bottom, data, static_cast<size_t>(minBytes_));
      return;
    }
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = data + (format_.TopDown() ? y : h - 1 - y) * stride_;
      uint8_t* d = topRow + static_cast<ptrdiff_t>(y) * rowStep;
      ConvertRow(s, d, w, bits);
    }
  }

 private:
  void ConvertRow(const uint8_t* s, uint8_t* d, int w, int bits) const {
    switch (bits) {
      case 24:
        std::memcpy(d, s, static_cast<size_t>(w) * 3);
        break;
      case 32:
        if (plain32_) {
          for (int x = 0; x < w; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
          }
        } else {
          for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const uint32_t v = GetLE32(s);
            d[0] = blue_.Value(v);
            d[1] = green_.Value(v);
            d[2] = red_.Value(v);
          }
        }
        break;
      case 16:
        for (int x = 0; x < w; ++x, s += 2, d += 3) {
          const uint8_t* c = &lut16_[GetLE16(s) * 3];
          d[0] = c[0];
          d[1] = c[1];
          d[2] = c[2];
        }
        break;
      default: {  // 1, 4, 8 bits: colour table
        const int perByte = 8 / bits;
        const int mask = (1 << bits) - 1;
        for (int x = 0; x < w; ++x, d += 3) {
          const int shift = 8 - bits * (x % perByte + 1);
          const int index = (s[x / perByte] >> shift) & mask;
          const uint8_t* c = &palette_[static_cast<size_t>(index) * 3];
          d[0] = c[0];
          d[1] = c[1];
          d[2] = c[2];
        }
      }
    }
  }

  TVideoFormat format_;
  int64_t stride_ = 0;
  int64_t minBytes_ = 0;
  TChannel red_, green_, blue_;
  bool plain32_ = false;
  std::vector<uint8_t> lut16_;
  std::array<uint8_t, 256 * 3> palette_{};
};

// Bits of an MPEG-4 part 2 header, most significant first; reads past the end give 0.
class TBitReader {
 public:
  TBitReader(const uint8_t* data, size_t size) : data_(data), bits_(size * 8) {}
  uint32_t Get(int count) {
    uint32_t v = 0;
    while (count-- > 0) v = (v << 1) | Bit();
    return v;
  }
  void Skip(int count) { pos_ += static_cast<size_t>(count); }
  uint32_t Bit() {
    if (pos_ >= bits_) {
      over_ = true;
      return 0;
    }
    const uint32_t b = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
    ++pos_;
    return b;
  }
  bool Over() const { return over_ || pos_ > bits_; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t pos_ = 0;
  bool over_ = false;
};

// Bits of a VOP's time increment, from the first video object layer header in the
// data; 0 when there is none.
int VopTimeBits(const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 4 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || (data[i + 3] & 0xF0) != 0x20) continue;
    TBitReader br(data + i + 4, size - i - 4);
    br.Skip(1 + 8);  // random access, object type
    uint32_t verid = 1;
    if (br.Bit()) {
      verid = br.Get(4);
      br.Skip(3);
    }
    if (br.Get(4) == 15) br.Skip(16);  // extended pixel aspect ratio
    if (br.Bit()) {                    // control parameters: chroma, low delay, buffer model
      br.Skip(3);
      if (br.Bit()) br.Skip(79);
    }
    const uint32_t shape = br.Get(2);
    if (shape == 3 && verid != 1) br.Skip(4);
    br.Skip(1);
    const uint32_t resolution = br.Get(16);
    if (br.Over() || resolution == 0) continue;
    int bits = 1;
    while ((1u << bits) < resolution) ++bits;
    return bits;
  }
  return 0;
}

struct TVop {
  uint32_t type;  // 0 I, 1 P, 2 B, 3 S
  bool coded;
};

// The VOPs of one stored frame. Without the time increment size, a frame holding one
// VOP in a handful of bytes is taken for the placeholder of a packed stream.
void ListVops(const uint8_t* data, size_t size, int timeBits, std::vector<TVop>& out) {
  size_t found = out.size();
  for (size_t i = 0; i + 4 < size; ++i) {
    if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || data[i + 3] != 0xB6) continue;
    TBitReader br(data + i + 4, size - i - 4);
    TVop vop{br.Get(2), true};
    if (timeBits > 0) {
      while (br.Bit() && !br.Over()) {
      }
      br.Skip(1);
      br.Skip(timeBits);
      br.Skip(1);
      vop.coded = br.Bit() != 0;
      if (br.Over()) vop.coded = true;
    }
    out.push_back(vop);
  }
  if (timeBits == 0 && out.size() == found + 1 && size <= 19) out.back().coded = false;
}

AVCodecID DecoderFor(const TVideoFormat& format, uint32_t handler, uint32_t* chosen) {
  const uint32_t codes[2] = {format.biCompression, handler};
  for (uint32_t code : codes) {
    if (!code) continue;
    AVCodecID id = CodecIdForFourCC(code);
    if (id != AV_CODEC_ID_NONE && avcodec_find_decoder(id)) {
      *chosen = code;
      return id;
    }
  }
  return AV_CODEC_ID_NONE;
}

}  // namespace

bool VideoFourCCDecodable(uint32_t fourcc) {
  TVideoFormat f;
  f.biCompression = fourcc;
  if (f.IsUncompressed()) return true;
  const AVCodecID id = CodecIdForFourCC(fourcc);
  return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

void VideoMakePackedDib(int width, int height, std::vector<uint8_t>& packed) {
  const uint32_t stride = static_cast<uint32_t>(TDIB::RowSizeFor(width, 24));
  const uint32_t image = stride * static_cast<uint32_t>(height);
  packed.resize(TVideoFormat::kHeaderSize + image);
  uint8_t* p = packed.data();
  std::memset(p, 0, TVideoFormat::kHeaderSize);
  PutLE32(p, TVideoFormat::kHeaderSize);
  PutLE32(p + 4, static_cast<uint32_t>(width));
  PutLE32(p + 8, static_cast<uint32_t>(height));
  p[12] = 1;   // planes
  p[14] = 24;  // bits
  PutLE32(p + 20, image);
}

struct TVideoDecoder::TImpl {
  TVideoFormat format;
  uint32_t fourcc = 0;
  bool raw = false;
  bool intraOnly = false;
  AVCodecID codecId = AV_CODEC_ID_NONE;
  std::string name;

  // Uncompressed rows.
  TDibRows rows;
  std::vector<uint8_t> rawFrame;
  bool rawWaiting = false;
  int rawPosition = 0;

  // libavcodec.
  TCodecContextPtr ctx;
  TPacketPtr packet;
  TFramePtr picture;  // the picture received last
  std::deque<TFramePtr> waiting;  // pictures taken out early to make room for a frame
  std::vector<uint8_t> palette;   // AVPALETTE_SIZE bytes for indexed codecs
  bool paletteDue = true;
  bool ended = false;
  int nextPosition = -1;  // of the next picture, for codecs that reorder
  int decodeCount = 0;    // frames sent through Decode

  bool havePicture = false;
  int pictureWidth = 0, pictureHeight = 0;
  TBgr24Writer writer{SWS_BICUBIC};

  bool OpenCodec(AVCodecID id, const TVideoDecoderOptions& options) {
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return false;
    ctx.reset(avcodec_alloc_context3(codec));
    packet.reset(av_packet_alloc());
    picture.reset(av_frame_alloc());
    if (!ctx || !packet || !picture) return false;
    ctx->codec_tag = fourcc;
    ctx->width = format.Width();
    ctx->height = format.Height();
    ctx->bits_per_coded_sample = format.biBitCount;
    ctx->thread_count = std::max(1, options.Threads);
    if (!format.Extra.empty() && format.Extra.size() < (1u << 28)) {
      ctx->extradata = static_cast<uint8_t*>(av_mallocz(format.Extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!ctx->extradata) return false;
      std::memcpy(ctx->extradata, format.Extra.data(), format.Extra.size());
      ctx->extradata_size = static_cast<int>(format.Extra.size());
    }
    if (format.biBitCount <= 8 && !format.Palette.empty()) {
      palette.assign(AVPALETTE_SIZE, 0);
      for (size_t i = 0; i < format.Palette.size() && i < 256; ++i) {
        const TRGBQuad& q = format.Palette[i];
        const uint32_t argb = 0xFF000000u | (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
        std::memcpy(&palette[i * 4], &argb, 4);  // native order, as libavcodec wants it
      }
    }
    RouteCodecLogToTrace();
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    codecId = id;
    name = codec->name;
    return true;
  }

  // Takes pictures the codec has ready into the waiting list; true when any came.
  bool TakeWaiting() {
    bool any = false;
    for (;;) {
      TFramePtr f(av_frame_alloc());
      if (!f || avcodec_receive_frame(ctx.get(), f.get()) < 0) break;
      waiting.push_back(std::move(f));
      any = true;
    }
    return any;
  }
};

TVideoDecoder::TVideoDecoder(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}
TVideoDecoder::~TVideoDecoder() = default;

std::unique_ptr<TVideoDecoder> TVideoDecoder::Create(const uint8_t* format, size_t size, uint32_t handler,
                                                     const TVideoDecoderOptions& options) {
  TVideoFormat f;
  if (!f.FromBytes(format, size)) return nullptr;
  return Create(f, handler, options);
}

std::unique_ptr<TVideoDecoder> TVideoDecoder::Create(const TVideoFormat& format, uint32_t handler,
                                                     const TVideoDecoderOptions& options) {
  if (!format.SaneSize()) {
    TraceF("[TVideoDecoder.Create] Picture size %d x %d refused", format.biWidth, format.biHeight);
    return nullptr;
  }
  auto impl = std::make_unique<TImpl>();
  impl->format = format;
  if (format.IsUncompressed()) {
    impl->raw = true;
    impl->intraOnly = true;
    impl->fourcc = format.biCompression;
    impl->name = "DIB";
    if (!impl->rows.Init(format)) {
      TraceF("[TVideoDecoder.Create] Uncompressed frames of %d bits (compression %u) not supported",
             format.biBitCount, format.biCompression);
      return nullptr;
    }
    return std::unique_ptr<TVideoDecoder>(new TVideoDecoder(std::move(impl)));
  }
  // Compressed frames are stored bottom-up by definition; a negative height is a lie.
  if (format.TopDown()) impl->format.biHeight = format.Height();
  const AVCodecID id = DecoderFor(format, handler, &impl->fourcc);
  if (id == AV_CODEC_ID_NONE) {
    TraceF("[TVideoDecoder.Create] No decoder for %s (handler %s)", VideoFourCCText(format.biCompression).c_str(),
           VideoFourCCText(handler).c_str());
    return nullptr;
  }
  if (!impl->OpenCodec(id, options)) {
    TraceF("[TVideoDecoder.Create] Decoder for %s did not open", VideoFourCCText(impl->fourcc).c_str());
    return nullptr;
  }
  return std::unique_ptr<TVideoDecoder>(new TVideoDecoder(std::move(impl)));
}

const TVideoFormat& TVideoDecoder::Format() const { return impl_->format; }
uint32_t TVideoDecoder::FourCC() const { return impl_->fourcc; }
bool TVideoDecoder::Uncompressed() const { return impl_->raw; }
bool TVideoDecoder::IntraOnly() const { return impl_->intraOnly; }
std::string TVideoDecoder::CodecName() const { return impl_->name; }
int TVideoDecoder::FrameWidth() const { return impl_->havePicture ? impl_->pictureWidth : 0; }
int TVideoDecoder::FrameHeight() const { return impl_->havePicture ? impl_->pictureHeight : 0; }

bool TVideoDecoder::SendPacket(const uint8_t* data, size_t size, bool keyFrame, int position) {
  TImpl& d = *impl_;
  if (!data || size == 0 || size > (size_t(1) << 30)) return false;
  if (d.raw) {
    if (size < d.rows.MinBytes()) {
      TraceF("[TVideoDecoder.SendPacket] Frame %d has %zu bytes, %zu needed", position, size, d.rows.MinBytes());
      return false;
    }
    d.rawFrame.assign(data, data + d.rows.MinBytes());
    d.rawWaiting = true;
    d.rawPosition = position;
    return true;
  }
  if (d.ended) return false;
  av_packet_unref(d.packet.get());
  if (av_new_packet(d.packet.get(), static_cast<int>(size)) < 0) return false;
  std::memcpy(d.packet->data, data, size);
  d.packet->pts = d.packet->dts = position;
  d.packet->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
  if (d.paletteDue && !d.palette.empty()) {
    uint8_t* side = av_packet_new_side_data(d.packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (side) std::memcpy(side, d.palette.data(), AVPALETTE_SIZE);
  }
  d.paletteDue = false;
  if (d.nextPosition < 0) d.nextPosition = position;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int r = avcodec_send_packet(d.ctx.get(), d.packet.get());
    if (r >= 0) return true;
    // Pictures not yet received block the codec: keep them, in order, and retry.
    if (r != AVERROR(EAGAIN) || !d.TakeWaiting()) {
      TraceF("[TVideoDecoder.SendPacket] Frame %d refused by %s (%d)", position, d.name.c_str(), r);
      return false;
    }
  }
  return false;
}

void TVideoDecoder::SendEndOfStream() {
  TImpl& d = *impl_;
  if (d.raw || d.ended) return;
  d.ended = true;
  if (avcodec_send_packet(d.ctx.get(), nullptr) == AVERROR(EAGAIN)) {
    d.TakeWaiting();
    avcodec_send_packet(d.ctx.get(), nullptr);
  }
}

bool TVideoDecoder::ReceiveFrame(int* position) {
  TImpl& d = *impl_;
  int pos = 0;
  if (d.raw) {
    if (!d.rawWaiting) return false;
    d.rawWaiting = false;
    pos = d.rawPosition;
    d.pictureWidth = d.format.Width();
    d.pictureHeight = d.format.Height();
  } else {
    av_frame_unref(d.picture.get());
    if (!d.waiting.empty()) {
      av_frame_move_ref(d.picture.get(), d.waiting.front().get());
      d.waiting.pop_front();
    } else if (avcodec_receive_frame(d.ctx.get(), d.picture.get()) < 0) {
      d.havePicture = false;
      return false;
    }
    const AVFrame* f = d.picture.get();
    if (f->width <= 0 || f->height <= 0 || f->width > kMaxDibSide || f->height > kMaxDibSide ||
        int64_t(f->width) * f->height > kMaxDibPixels) {
      d.havePicture = false;
      return false;
    }
    const int64_t stamp = f->pts != AV_NOPTS_VALUE ? f->pts : f->pkt_dts;
    // Without reordering each picture carries the position of its frame; otherwise
    // pictures are counted in presentation order.
    if (d.ctx->has_b_frames == 0 && stamp != AV_NOPTS_VALUE)
      pos = static_cast<int>(stamp);
    else
      pos = d.nextPosition >= 0 ? d.nextPosition : static_cast<int>(stamp);
    d.nextPosition = pos + 1;
    d.pictureWidth = f->width;
    d.pictureHeight = f->height;
  }
  d.havePicture = true;
  if (position) *position = pos;
  return true;
}

bool TVideoDecoder::CopyToRows(uint8_t* topRow, int rowStep) {
  TImpl& d = *impl_;
  if (!d.havePicture || !topRow) return false;
  if (d.raw) {
    d.rows.Convert(d.rawFrame.data(), topRow, rowStep);
    return true;
  }
  return d.writer.Write(d.picture.get(), topRow, rowStep);
}

bool TVideoDecoder::CopyTo(TDIB& dib) {
  TImpl& d = *impl_;
  if (!d.havePicture) return false;
  if (dib.Width() != d.pictureWidth || dib.Height() != d.pictureHeight || dib.BitCount() != 24)
    dib.SetSize(d.pictureWidth, d.pictureHeight, 24);
  return CopyToRows(dib.ScanLine(0), -dib.RowSize());
}

bool TVideoDecoder::CopyToPacked(std::vector<uint8_t>& packed) {
  TImpl& d = *impl_;
  if (!d.havePicture) return false;
  VideoMakePackedDib(d.pictureWidth, d.pictureHeight, packed);
  const int stride = TDIB::RowSizeFor(d.pictureWidth, 24);
  uint8_t* top = packed.data() + TVideoFormat::kHeaderSize + static_cast<size_t>(d.pictureHeight - 1) * stride;
  return CopyToRows(top, -stride);
}

bool TVideoDecoder::MayHaveLeadingFrames() const { return impl_->codecId == AV_CODEC_ID_MPEG4; }

int TVideoDecoder::LeadingFrames(const std::vector<std::vector<uint8_t>>& fromKeyFrame) const {
  if (!MayHaveLeadingFrames() || fromKeyFrame.empty()) return 0;
  const std::vector<uint8_t>& key = fromKeyFrame.front();
  int timeBits = VopTimeBits(key.data(), key.size());
  if (!timeBits) timeBits = VopTimeBits(impl_->format.Extra.data(), impl_->format.Extra.size());
  std::vector<TVop> vops;
  for (const auto& frame : fromKeyFrame) ListVops(frame.data(), frame.size(), timeBits, vops);
  // The B-VOPs right after the key frame's I-VOP (placeholders skipped) are shown before it.
  int leading = 0;
  bool afterKey = false;
  for (const TVop& v : vops) {
    if (!v.coded) continue;
    if (!afterKey) {
      if (v.type != 0) return 0;
      afterKey = true;
    } else if (v.type == 2) {
      ++leading;
    } else {
      break;
    }
  }
  return leading;
}

void TVideoDecoder::Flush(int firstPosition) {
  TImpl& d = *impl_;
  d.havePicture = false;
  d.rawWaiting = false;
  if (d.raw) return;
  avcodec_flush_buffers(d.ctx.get());
  av_frame_unref(d.picture.get());
  d.waiting.clear();
  d.ended = false;
  d.nextPosition = firstPosition;
  d.paletteDue = true;
}

bool TVideoDecoder::Decode(const uint8_t* data, size_t size, bool keyFrame, TDIB& out) {
  if (!SendPacket(data, size, keyFrame, impl_->decodeCount++)) return false;
  int got = 0;
  if (!ReceiveFrame(&got)) return false;
  return CopyTo(out);
}

}  // namespace movara
