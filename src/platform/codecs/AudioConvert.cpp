#include "platform/codecs/AudioConvert.h"
#include "platform/codecs/CodecLog.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace movara {
namespace {

// Source bytes are converted in slices of this many frames to bound the work buffers.
constexpr int kSliceFrames = 65536;

// Feeds n bytes of interleaved samples as whole frames of align bytes: first completes
// the frame left over from the last call (feedOne), then the whole frames in slices
// (feedSlice), and keeps what is left of a frame for the next call. False as soon as a
// feed fails.
template <class FeedOne, class FeedSlice>
bool FeedWholeFrames(std::vector<uint8_t>& partial, size_t align, const uint8_t* src, size_t n,
                     FeedOne feedOne, FeedSlice feedSlice) {
  bool ok = true;
  if (!partial.empty() && n > 0) {
    const size_t take = std::min(align - partial.size(), n);
    partial.insert(partial.end(), src, src + take);
    src += take;
    n -= take;
    if (partial.size() == align) {
      std::vector<uint8_t> one;
      one.swap(partial);
      ok = feedOne(one.data());
    }
  }
  const size_t frames = n / align;
  for (size_t done = 0; ok && done < frames;) {
    const int slice = static_cast<int>(std::min<size_t>(frames - done, kSliceFrames));
    ok = feedSlice(src + done * align, slice);
    done += static_cast<size_t>(slice);
  }
  if (ok) partial.assign(src + frames * align, src + n);
  return ok;
}

struct TSwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
using TSwrPtr = std::unique_ptr<SwrContext, TSwrDeleter>;

struct TCodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;

struct TFrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using TFramePtr = std::unique_ptr<AVFrame, TFrameDeleter>;

struct TPacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using TPacketPtr = std::unique_ptr<AVPacket, TPacketDeleter>;

struct TFifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using TFifoPtr = std::unique_ptr<AVAudioFifo, TFifoDeleter>;

AVSampleFormat PcmSampleFormat(int bits) {
  return bits == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
}

// A resampler between two layouts of 1 or 2 channels (more use the library's matrix).
// Mono becomes stereo by copying, stereo becomes mono by averaging: a sound keeps its
// level whichever way it goes.
TSwrPtr MakeSwr(int inRate, int inCh, AVSampleFormat inFmt, int outRate, int outCh,
                AVSampleFormat outFmt) {
  AVChannelLayout inLayout;
  AVChannelLayout outLayout;
  av_channel_layout_default(&inLayout, inCh);
  av_channel_layout_default(&outLayout, outCh);
  SwrContext* raw = nullptr;
  const int rc = swr_alloc_set_opts2(&raw, &outLayout, outFmt, outRate, &inLayout, inFmt,
                                     inRate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (rc < 0 || raw == nullptr) return {};
  TSwrPtr swr(raw);
  if (inCh == 1 && outCh == 2) {
    const double m[2] = {1.0, 1.0};
    if (swr_set_matrix(raw, m, 1) < 0) return {};
  } else if (inCh == 2 && outCh == 1) {
    const double m[2] = {0.5, 0.5};
    if (swr_set_matrix(raw, m, 2) < 0) return {};
  }
  if (swr_init(raw) < 0) return {};
  return swr;
}

// Runs interleaved input through a resampler into interleaved output bytes.
bool SwrRun(SwrContext* swr, const uint8_t* in, int frames, size_t outAlign,
            std::vector<uint8_t>& out) {
  const int cap = swr_get_out_samples(swr, frames);
  if (cap < 0) return false;
  if (cap == 0) {
    if (frames == 0) return true;
    // Still feed the input: it fills the filter's look-ahead.
  }
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(cap + 1) * outAlign);
  uint8_t* outPtr = out.data() + start;
  const uint8_t* inPtr = in;
  const int n = swr_convert(swr, &outPtr, cap + 1, in ? &inPtr : nullptr, frames);
  if (n < 0) {
    out.resize(start);
    return false;
  }
  out.resize(start + static_cast<size_t>(n) * outAlign);
  return true;
}

// The codec of a format tag.
AVCodecID CodecOfTag(uint16_t tag) {
  switch (tag) {
    case WAVE_FORMAT_ADPCM: return AV_CODEC_ID_ADPCM_MS;
    case WAVE_FORMAT_IMA_ADPCM: return AV_CODEC_ID_ADPCM_IMA_WAV;
    case WAVE_FORMAT_ALAW: return AV_CODEC_ID_PCM_ALAW;
    case WAVE_FORMAT_MULAW: return AV_CODEC_ID_PCM_MULAW;
    case WAVE_FORMAT_GSM610: return AV_CODEC_ID_GSM_MS;
    case WAVE_FORMAT_MPEGLAYER3: return AV_CODEC_ID_MP3;
    default: return AV_CODEC_ID_NONE;
  }
}

const AVCodec* FindEncoder(uint16_t tag) {
  const AVCodecID id = CodecOfTag(tag);
  if (id == AV_CODEC_ID_NONE) return nullptr;
  if (id == AV_CODEC_ID_MP3) {
    if (const AVCodec* lame = avcodec_find_encoder_by_name("libmp3lame")) return lame;
  }
  return avcodec_find_encoder(id);
}

AVSampleFormat PickEncoderFormat(const AVCodec* codec) {
  if (codec->sample_fmts == nullptr) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) return *f;
  }
  return codec->sample_fmts[0];
}

// ---------------------------------------------------------------------------------------
// PCM to PCM.

class TPcmConverter final : public TAudioConverter {
 public:
  bool Init(const WAVEFORMATEX& s, const WAVEFORMATEX& d) {
    inRate_ = static_cast<int>(s.nSamplesPerSec);
    inCh_ = s.nChannels;
    inBits_ = s.wBitsPerSample;
    outRate_ = static_cast<int>(d.nSamplesPerSec);
    outCh_ = d.nChannels;
    outBits_ = d.wBitsPerSample;
    inAlign_ = static_cast<size_t>(inCh_ * inBits_ / 8);
    outAlign_ = static_cast<size_t>(outCh_ * outBits_ / 8);
    copy_ = inRate_ == outRate_ && inCh_ == outCh_ && inBits_ == outBits_;
    return Start();
  }

  bool Convert(const uint8_t* src, size_t n, bool end, std::vector<uint8_t>& out) override {
    if (!started_ && !Start()) return false;
    bool ok = FeedWholeFrames(
        partial_, inAlign_, src, n, [&](const uint8_t* one) { return Feed(one, 1); },
        [&](const uint8_t* p, int slice) { return Feed(p, slice); });
    if (ok && end && swr_) {
      // The filter's tail; the count below keeps the output to its exact length.
      for (int guard = 0; guard < 64; ++guard) {
        const size_t before = fifo_.size();
        if (!SwrRun(swr_.get(), nullptr, 0, outAlign_, fifo_)) {
          ok = false;
          break;
        }
        if (fifo_.size() == before) break;
      }
    }
    if (!ok) {
      Reset();
      return false;
    }
    Emit(out);
    if (end) Reset();
    return true;
  }

  void Reset() override {
    swr_.reset();
    partial_.clear();
    fifo_.clear();
    fifoPos_ = 0;
    inFrames_ = 0;
    outFrames_ = 0;
    started_ = false;
  }

 private:
  bool Start() {
    Reset();
    if (!copy_) {
      swr_ = MakeSwr(inRate_, inCh_, PcmSampleFormat(inBits_), outRate_, outCh_,
                     PcmSampleFormat(outBits_));
      if (!swr_) return false;
      if (inRate_ != outRate_) {
        // Fill the filter's look-ahead with silence and keep only a few frames of what
        // it gave, so that every later call can deliver its exact share at once.
        const int ratio = std::max(1, (inRate_ + outRate_ - 1) / outRate_);
        const int lead = 64 + 32 * ratio;
        std::vector<uint8_t> silence(static_cast<size_t>(lead) * inAlign_,
                                     inBits_ == 8 ? 0x80 : 0);
        if (!SwrRun(swr_.get(), silence.data(), lead, outAlign_, fifo_)) return false;
        const size_t have = fifo_.size() / outAlign_;
        const size_t keep = std::min<size_t>(have, 4);
        fifoPos_ = (have - keep) * outAlign_;
      }
    }
    started_ = true;
    return true;
  }

  bool Feed(const uint8_t* in, int frames) {
    inFrames_ += frames;
    if (copy_) {
      fifo_.insert(fifo_.end(), in, in + static_cast<size_t>(frames) * inAlign_);
      return true;
    }
    return SwrRun(swr_.get(), in, frames, outAlign_, fifo_);
  }

  void Emit(std::vector<uint8_t>& out) {
    const int64_t expected =
        inFrames_ * static_cast<int64_t>(outRate_) / static_cast<int64_t>(inRate_);
    const int64_t want = std::max<int64_t>(0, expected - outFrames_);
    const size_t avail = (fifo_.size() - fifoPos_) / outAlign_;
    const size_t take = std::min<size_t>(avail, static_cast<size_t>(want));
    out.insert(out.end(), fifo_.begin() + static_cast<std::ptrdiff_t>(fifoPos_),
               fifo_.begin() + static_cast<std::ptrdiff_t>(fifoPos_ + take * outAlign_));
    fifoPos_ += take * outAlign_;
    if (take < static_cast<size_t>(want)) {
      // Only at the very end of a stream shorter than the filter: silence keeps the count.
      out.insert(out.end(), (static_cast<size_t>(want) - take) * outAlign_,
                 outBits_ == 8 ? 0x80 : 0);
    }
    outFrames_ += want;
    if (fifoPos_ > 0 && fifoPos_ * 2 >= fifo_.size()) {
      fifo_.erase(fifo_.begin(), fifo_.begin() + static_cast<std::ptrdiff_t>(fifoPos_));
      fifoPos_ = 0;
    }
  }

  int inRate_ = 0, inCh_ = 0, inBits_ = 0;
  int outRate_ = 0, outCh_ = 0, outBits_ = 0;
  size_t inAlign_ = 1, outAlign_ = 1;
  bool copy_ = false;
  bool started_ = false;
  TSwrPtr swr_;
  std::vector<uint8_t> partial_;
  std::vector<uint8_t> fifo_;
  size_t fifoPos_ = 0;
  int64_t inFrames_ = 0;
  int64_t outFrames_ = 0;
};

// Decoded frames to the destination PCM: the frames' own rate, channels and sample
// format may differ from what the format promised (an MP3 stream says so in each frame).
class TPcmOutput {
 public:
  void SetTarget(const WAVEFORMATEX& dst) { dst_ = dst; }

  bool Put(const AVFrame* frame, std::vector<uint8_t>& out) {
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : static_cast<int>(dst_.nSamplesPerSec);
    const int ch = frame->ch_layout.nb_channels;
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    if (ch < 1 || ch > 8 || frame->nb_samples <= 0) return true;
    if (!swr_ || rate != rate_ || ch != ch_ || fmt != fmt_) {
      Flush(out);
      swr_ = MakeSwr(rate, ch, fmt, static_cast<int>(dst_.nSamplesPerSec), dst_.nChannels,
                     PcmSampleFormat(dst_.wBitsPerSample));
      if (!swr_) return false;
      rate_ = rate;
      ch_ = ch;
      fmt_ = fmt;
    }
    const size_t outAlign = static_cast<size_t>(dst_.nChannels * dst_.wBitsPerSample / 8);
    const int cap = swr_get_out_samples(swr_.get(), frame->nb_samples) + 1;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(cap) * outAlign);
    uint8_t* outPtr = out.data() + start;
    const int n = swr_convert(swr_.get(), &outPtr, cap,
                              const_cast<const uint8_t**>(frame->extended_data),
                              frame->nb_samples);
    if (n < 0) {
      out.resize(start);
      return false;
    }
    out.resize(start + static_cast<size_t>(n) * outAlign);
    return true;
  }

  // The resampler's tail (only when the rates differ).
  void Flush(std::vector<uint8_t>& out) {
    if (!swr_) return;
    const size_t outAlign = static_cast<size_t>(dst_.nChannels * dst_.wBitsPerSample / 8);
    for (int guard = 0; guard < 64; ++guard) {
      const size_t before = out.size();
      if (!SwrRun(swr_.get(), nullptr, 0, outAlign, out) || out.size() == before) break;
    }
  }

  void Reset() { swr_.reset(); }

 private:
  WAVEFORMATEX dst_;
  TSwrPtr swr_;
  int rate_ = 0;
  int ch_ = 0;
  AVSampleFormat fmt_ = AV_SAMPLE_FMT_NONE;
};

// ---------------------------------------------------------------------------------------
// MPEG audio layer III frames: the length of the frame whose header is at p, 0 when p
// holds no layer III header.
size_t Mp3FrameLength(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
  const int version = (p[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
  const int layer = (p[1] >> 1) & 3;    // 1: layer III
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  const int padding = (p[2] >> 1) & 1;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return 0;
  static const int kBitrate1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kBitrate2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static const int kRate[3] = {44100, 48000, 32000};
  int rate = kRate[rateIndex];
  if (version == 2) rate /= 2;
  if (version == 0) rate /= 4;
  const int kbps = version == 3 ? kBitrate1[bitrateIndex] : kBitrate2[bitrateIndex];
  const int factor = version == 3 ? 144000 : 72000;
  return static_cast<size_t>(factor * kbps / rate + padding);
}

// ---------------------------------------------------------------------------------------
// A codec's format to PCM.

class TAudioDecoder final : public TAudioConverter {
 public:
  bool Init(const TWaveFormat& src, const WAVEFORMATEX& dst) {
    src_ = src;
    dst_ = dst;
    out_.SetTarget(dst);
    codecId_ = CodecOfTag(src.wf.wFormatTag);
    if (codecId_ == AV_CODEC_ID_NONE || avcodec_find_decoder(codecId_) == nullptr) return false;
    mp3_ = codecId_ == AV_CODEC_ID_MP3;
    block_ = src.wf.nBlockAlign;
    if (!mp3_ && block_ == 0) return false;
    if (codecId_ == AV_CODEC_ID_PCM_ALAW || codecId_ == AV_CODEC_ID_PCM_MULAW) {
      block_ = static_cast<size_t>(src.wf.nChannels);
      packet_ = block_ * 4096;
    } else {
      packet_ = block_;
    }
    frame_.reset(av_frame_alloc());
    pkt_.reset(av_packet_alloc());
    return frame_ && pkt_ && Open();
  }

  bool Convert(const uint8_t* src, size_t n, bool end, std::vector<uint8_t>& out) override {
    if (!ctx_ && !Open()) return false;
    pending_.insert(pending_.end(), src, src + n);
    size_t pos = 0;
    bool ok = true;
    if (mp3_) {
      while (ok && pos + 4 <= pending_.size()) {
        const size_t len = Mp3FrameLength(pending_.data() + pos);
        if (len == 0) {
          ++pos;  // not a header: look for the next one
          continue;
        }
        if (pos + len > pending_.size()) break;  // the frame ends in a later call
        ok = Decode(pending_.data() + pos, len, out);
        pos += len;
      }
    } else {
      while (ok && pending_.size() - pos >= packet_) {
        ok = Decode(pending_.data() + pos, packet_, out);
        pos += packet_;
      }
      if (ok && pending_.size() - pos >= block_) {
        const size_t len = (pending_.size() - pos) / block_ * block_;
        if (packet_ != block_) {
          ok = Decode(pending_.data() + pos, len, out);
          pos += len;
        }
      }
      if (ok && end && pos < pending_.size() && !mp3_) {
        // A short last block: the decoders take what it holds.
        ok = Decode(pending_.data() + pos, pending_.size() - pos, out);
        pos = pending_.size();
      }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
    if (ok && end) {
      ok = Drain(out);
      out_.Flush(out);
      Reset();
    }
    if (!ok) Reset();
    return ok;
  }

  void Reset() override {
    ctx_.reset();
    pending_.clear();
    out_.Reset();
  }

 private:
  bool Open() {
    const AVCodec* codec = avcodec_find_decoder(codecId_);
    if (codec == nullptr) return false;
    TCodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return false;
    ctx->sample_rate = static_cast<int>(src_.wf.nSamplesPerSec);
    av_channel_layout_default(&ctx->ch_layout, src_.wf.nChannels);
    ctx->block_align = src_.wf.nBlockAlign;
    ctx->bits_per_coded_sample = src_.wf.wBitsPerSample;
    ctx->bit_rate = static_cast<int64_t>(src_.wf.nAvgBytesPerSec) * 8;
    if (!src_.extra.empty()) {
      ctx->extradata = static_cast<uint8_t*>(
          av_mallocz(src_.extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      if (ctx->extradata == nullptr) return false;
      std::memcpy(ctx->extradata, src_.extra.data(), src_.extra.size());
      ctx->extradata_size = static_cast<int>(src_.extra.size());
    }
    RouteCodecLogToTrace();
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return false;
    ctx_ = std::move(ctx);
    return true;
  }

  bool Decode(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
    // The decoders read a little past the end of a packet: give them zeros there.
    packetBuf_.assign(n + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(packetBuf_.data(), data, n);
    pkt_->data = packetBuf_.data();
    pkt_->size = static_cast<int>(n);
    const int rc = avcodec_send_packet(ctx_.get(), pkt_.get());
    pkt_->data = nullptr;
    pkt_->size = 0;
    if (rc < 0 && rc != AVERROR_INVALIDDATA && rc != AVERROR(EAGAIN)) {
      // A packet the decoder rejects is passed over; other failures end the stream.
      if (rc == AVERROR(ENOMEM)) return false;
    }
    return Receive(out);
  }

  bool Drain(std::vector<uint8_t>& out) {
    if (avcodec_send_packet(ctx_.get(), nullptr) < 0) return true;
    return Receive(out);
  }

  bool Receive(std::vector<uint8_t>& out) {
    for (;;) {
      const int rc = avcodec_receive_frame(ctx_.get(), frame_.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return true;  // a broken frame is passed over
      const bool ok = out_.Put(frame_.get(), out);
      av_frame_unref(frame_.get());
      if (!ok) return false;
    }
  }

  TWaveFormat src_;
  WAVEFORMATEX dst_;
  AVCodecID codecId_ = AV_CODEC_ID_NONE;
  bool mp3_ = false;
  size_t block_ = 1;
  size_t packet_ = 1;
  TCodecContextPtr ctx_;
  TFramePtr frame_;
  TPacketPtr pkt_;
  std::vector<uint8_t> pending_;
  std::vector<uint8_t> packetBuf_;
  TPcmOutput out_;
};

// ---------------------------------------------------------------------------------------
// PCM to a codec's format.

class TAudioEncoder final : public TAudioConverter {
 public:
  bool Init(const WAVEFORMATEX& src, const TWaveFormat& dst) {
    src_ = src;
    dst_ = dst;
    codec_ = FindEncoder(dst.wf.wFormatTag);
    if (codec_ == nullptr) return false;
    inAlign_ = static_cast<size_t>(src.nChannels * src.wBitsPerSample / 8);
    frame_.reset(av_frame_alloc());
    pkt_.reset(av_packet_alloc());
    return frame_ && pkt_ && Open();
  }

  bool Convert(const uint8_t* src, size_t n, bool end, std::vector<uint8_t>& out) override {
    if (!ctx_ && !Open()) return false;
    bool ok = FeedWholeFrames(
        partial_, inAlign_, src, n, [&](const uint8_t* one) { return Feed(one, 1); },
        [&](const uint8_t* p, int slice) { return Feed(p, slice) && EncodeWhole(out); });
    if (ok) ok = EncodeWhole(out);
    if (ok && end) ok = Finish(out);
    if (!ok || end) Reset();
    return ok;
  }

  void Reset() override {
    ctx_.reset();
    fifo_.reset();
    swr_.reset();
    partial_.clear();
    pts_ = 0;
  }

 private:
  bool Open() {
    Reset();
    TCodecContextPtr ctx(avcodec_alloc_context3(codec_));
    if (!ctx) return false;
    const WAVEFORMATEX& d = dst_.wf;
    ctx->sample_rate = static_cast<int>(d.nSamplesPerSec);
    av_channel_layout_default(&ctx->ch_layout, d.nChannels);
    ctx->sample_fmt = PickEncoderFormat(codec_);
    ctx->bit_rate = static_cast<int64_t>(d.nAvgBytesPerSec) * 8;
    AVDictionary* opts = nullptr;
    const AVCodecID id = codec_->id;
    if (id == AV_CODEC_ID_ADPCM_MS || id == AV_CODEC_ID_ADPCM_IMA_WAV) {
      av_dict_set_int(&opts, "block_size", d.nBlockAlign, 0);
    }
    if (id == AV_CODEC_ID_GSM_MS && d.nSamplesPerSec != 8000) {
      ctx->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    }
    RouteCodecLogToTrace();
    const int rc = avcodec_open2(ctx.get(), codec_, &opts);
    av_dict_free(&opts);
    if (rc < 0) return false;
    // The encoder must make exactly the blocks the format describes.
    const int samplesPerBlock = dst_.extra.size() >= 2 ? GetLE16(dst_.extra.data()) : 0;
    if (id == AV_CODEC_ID_ADPCM_MS || id == AV_CODEC_ID_ADPCM_IMA_WAV || id == AV_CODEC_ID_GSM_MS) {
      if (ctx->block_align != d.nBlockAlign) return false;
      if (samplesPerBlock != 0 && ctx->frame_size != samplesPerBlock) return false;
    }
    frameSize_ = ctx->frame_size;
    smallLast_ = (codec_->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0 ||
                 (codec_->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    fifo_.reset(av_audio_fifo_alloc(ctx->sample_fmt, d.nChannels, 4096));
    swr_ = MakeSwr(static_cast<int>(src_.nSamplesPerSec), src_.nChannels,
                   PcmSampleFormat(src_.wBitsPerSample), ctx->sample_rate, d.nChannels,
                   ctx->sample_fmt);
    if (!fifo_ || !swr_) return false;
    ctx_ = std::move(ctx);
    return true;
  }

  // Source frames through the resampler into the encoder's queue.
  bool Feed(const uint8_t* in, int frames) {
    return Resample(&in, frames);
  }

  bool Resample(const uint8_t** in, int frames) {
    const int cap = swr_get_out_samples(swr_.get(), frames) + 1;
    if (cap <= 0) return false;
    uint8_t** planes = nullptr;
    int linesize = 0;
    if (av_samples_alloc_array_and_samples(&planes, &linesize, dst_.wf.nChannels, cap,
                                           ctx_->sample_fmt, 0) < 0) {
      return false;
    }
    const int n = swr_convert(swr_.get(), planes, cap, in, in ? frames : 0);
    bool ok = n >= 0;
    if (ok && n > 0) ok = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), n) == n;
    av_freep(&planes[0]);
    av_freep(&planes);
    return ok;
  }

  // Encodes every whole frame in the queue (all of it for codecs of any frame size).
  bool EncodeWhole(std::vector<uint8_t>& out) {
    for (;;) {
      const int have = av_audio_fifo_size(fifo_.get());
      int n = frameSize_ > 0 ? frameSize_ : std::min(have, 4096);
      if (have <= 0 || have < n) return true;
      if (!EncodeFrame(n, n, out)) return false;
    }
  }

  // Sends count queued samples as a frame of size samples (silence after them).
  bool EncodeFrame(int count, int size, std::vector<uint8_t>& out) {
    frame_->nb_samples = size;
    frame_->format = ctx_->sample_fmt;
    frame_->sample_rate = ctx_->sample_rate;
    if (av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) < 0) return false;
    if (av_frame_get_buffer(frame_.get(), 0) < 0) return false;
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), count) != count) {
      av_frame_unref(frame_.get());
      return false;
    }
    if (count < size) {
      av_samples_set_silence(frame_->extended_data, count, size - count,
                             ctx_->ch_layout.nb_channels, ctx_->sample_fmt);
    }
    frame_->pts = pts_;
    pts_ += size;
    const int rc = avcodec_send_frame(ctx_.get(), frame_.get());
    av_frame_unref(frame_.get());
    if (rc < 0) return false;
    return ReceivePackets(out);
  }

  bool ReceivePackets(std::vector<uint8_t>& out) {
    for (;;) {
      const int rc = avcodec_receive_packet(ctx_.get(), pkt_.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      out.insert(out.end(), pkt_->data, pkt_->data + pkt_->size);
      av_packet_unref(pkt_.get());
    }
  }

  bool Finish(std::vector<uint8_t>& out) {
    if (!Resample(nullptr, 0)) return false;  // the resampler's tail
    if (!EncodeWhole(out)) return false;
    const int rest = av_audio_fifo_size(fifo_.get());
    if (rest > 0) {
      const int size = (frameSize_ > 0 && !smallLast_) ? frameSize_ : rest;
      if (!EncodeFrame(rest, size, out)) return false;
    }
    if (avcodec_send_frame(ctx_.get(), nullptr) < 0) return true;
    return ReceivePackets(out);
  }

  WAVEFORMATEX src_;
  TWaveFormat dst_;
  const AVCodec* codec_ = nullptr;
  size_t inAlign_ = 1;
  TCodecContextPtr ctx_;
  TFramePtr frame_;
  TPacketPtr pkt_;
  TFifoPtr fifo_;
  TSwrPtr swr_;
  std::vector<uint8_t> partial_;
  int frameSize_ = 0;
  bool smallLast_ = false;
  int64_t pts_ = 0;
};

}  // namespace

bool IsAcmPcm(const WAVEFORMATEX& wf) {
  return wf.wFormatTag == WAVE_FORMAT_PCM && (wf.nChannels == 1 || wf.nChannels == 2) &&
         (wf.wBitsPerSample == 8 || wf.wBitsPerSample == 16) &&
         wf.nSamplesPerSec >= kAcmMinPcmRate && wf.nSamplesPerSec <= kAcmMaxPcmRate &&
         wf.nBlockAlign == wf.nChannels * wf.wBitsPerSample / 8;
}

bool AudioDecoderExists(uint16_t tag) {
  const AVCodecID id = CodecOfTag(tag);
  return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

bool AudioEncoderExists(uint16_t tag) { return FindEncoder(tag) != nullptr; }

int AudioEncoderDelay(uint16_t tag) {
  static std::mutex mutex;
  static int mp3Delay = -1;
  if (tag != WAVE_FORMAT_MPEGLAYER3) return 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (mp3Delay < 0) {
    mp3Delay = 0;
    if (const AVCodec* codec = FindEncoder(tag)) {
      TCodecContextPtr ctx(avcodec_alloc_context3(codec));
      if (ctx) {
        ctx->sample_rate = 44100;
        av_channel_layout_default(&ctx->ch_layout, 2);
        ctx->sample_fmt = PickEncoderFormat(codec);
        ctx->bit_rate = 128000;
        RouteCodecLogToTrace();
        if (avcodec_open2(ctx.get(), codec, nullptr) >= 0) mp3Delay = ctx->initial_padding;
      }
    }
  }
  return mp3Delay;
}

std::unique_ptr<TAudioConverter> CreatePcmConverter(const WAVEFORMATEX& src,
                                                    const WAVEFORMATEX& dst) {
  if (!IsAcmPcm(src) || !IsAcmPcm(dst)) return nullptr;
  auto c = std::make_unique<TPcmConverter>();
  if (!c->Init(src, dst)) return nullptr;
  return c;
}

std::unique_ptr<TAudioConverter> CreateAudioDecoder(const TWaveFormat& src,
                                                    const WAVEFORMATEX& dst) {
  if (!IsAcmPcm(dst) || src.wf.nChannels < 1 || src.wf.nChannels > 2 ||
      src.wf.nSamplesPerSec < kAcmMinPcmRate || src.wf.nSamplesPerSec > kAcmMaxPcmRate) {
    return nullptr;
  }
  auto c = std::make_unique<TAudioDecoder>();
  if (!c->Init(src, dst)) return nullptr;
  return c;
}

std::unique_ptr<TAudioConverter> CreateAudioEncoder(const WAVEFORMATEX& src,
                                                    const TWaveFormat& dst) {
  if (!IsAcmPcm(src) || dst.wf.nChannels < 1 || dst.wf.nChannels > 2 ||
      dst.wf.nSamplesPerSec < kAcmMinPcmRate || dst.wf.nSamplesPerSec > kAcmMaxPcmRate) {
    return nullptr;
  }
  auto c = std::make_unique<TAudioEncoder>();
  if (!c->Init(src, dst)) return nullptr;
  return c;
}

}  // namespace movara
