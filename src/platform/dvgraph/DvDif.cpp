#include "platform/dvgraph/DvDif.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixfmt.h>
}

namespace movara {

namespace {

struct TMemRead {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

int ReadMem(void* opaque, uint8_t* buf, int n) {
  auto* m = static_cast<TMemRead*>(opaque);
  const size_t left = m->size - m->pos;
  if (left == 0) return AVERROR_EOF;
  const size_t k = std::min(left, static_cast<size_t>(n));
  std::memcpy(buf, m->data + m->pos, k);
  m->pos += k;
  return static_cast<int>(k);
}

int WriteMem(void* opaque, uint8_t* buf, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(opaque);
  out->insert(out->end(), buf, buf + n);
  return n;
}

// Frees what the demuxer or muxer over memory holds, in the right order.
struct TCustomIO {
  AVIOContext* io = nullptr;
  ~TCustomIO() {
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }
};

}  // namespace

bool DvIsPalFrame(const uint8_t* frame, size_t size) {
  // The first DIF block is the header section (type 0); its DSF bit marks 625/50.
  return frame && size == static_cast<size_t>(kDvPalFrameBytes) && (frame[0] >> 5) == 0 &&
         (frame[3] & 0x80) != 0;
}

bool DvExtractAudio(const uint8_t* frame, size_t size, std::vector<int16_t>& pcm) {
  pcm.clear();
  if (!DvIsPalFrame(frame, size)) return false;
  TMemRead src{frame, size, 0};
  TCustomIO cio;
  constexpr int kBuf = 16384;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBuf));
  if (!buffer) return false;
  cio.io = avio_alloc_context(buffer, kBuf, 0, &src, ReadMem, nullptr, nullptr);
  if (!cio.io) {
    av_free(buffer);
    return false;
  }
  AVFormatContext* ctx = avformat_alloc_context();
  if (!ctx) return false;
  ctx->pb = cio.io;
  ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&ctx, nullptr, av_find_input_format("dv"), nullptr) < 0) return false;
  AVPacket* pkt = av_packet_alloc();
  bool ok = false;
  while (pkt && av_read_frame(ctx, pkt) >= 0) {
    const AVStream* st = ctx->streams[pkt->stream_index];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && st->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE &&
        st->codecpar->ch_layout.nb_channels == kDvAudioChannels && pcm.empty()) {
      const size_t n = static_cast<size_t>(pkt->size) / 2;
      pcm.resize(n);
      for (size_t i = 0; i < n; ++i)
        pcm[i] = static_cast<int16_t>(pkt->data[2 * i] | (pkt->data[2 * i + 1] << 8));
      ok = n > 0;
    }
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&ctx);
  return ok;
}

bool DvInsertAudio(const uint8_t* frame, size_t size, const int16_t* pcm, int sampleFrames,
                   std::vector<uint8_t>& out) {
  out.clear();
  if (!DvIsPalFrame(frame, size)) return false;
  AVFormatContext* ctx = nullptr;
  if (avformat_alloc_output_context2(&ctx, nullptr, "dv", nullptr) < 0 || !ctx) return false;
  std::vector<uint8_t> bytes;
  TCustomIO cio;
  constexpr int kBuf = 16384;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kBuf));
  cio.io = buffer ? avio_alloc_context(buffer, kBuf, 1, &bytes, nullptr, WriteMem, nullptr) : nullptr;
  if (!cio.io) {
    av_free(buffer);
    avformat_free_context(ctx);
    return false;
  }
  ctx->pb = cio.io;
  ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVStream* vs = avformat_new_stream(ctx, nullptr);
  AVStream* as = avformat_new_stream(ctx, nullptr);
  bool ok = vs && as;
  if (ok) {
    vs->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    vs->codecpar->codec_id = AV_CODEC_ID_DVVIDEO;
    vs->codecpar->width = kDvPalWidth;
    vs->codecpar->height = kDvPalHeight;
    vs->codecpar->format = AV_PIX_FMT_YUV420P;
    vs->time_base = AVRational{1, 25};
    vs->avg_frame_rate = AVRational{25, 1};
    as->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    as->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
    as->codecpar->sample_rate = kDvAudioRate;
    av_channel_layout_default(&as->codecpar->ch_layout, kDvAudioChannels);
    as->time_base = AVRational{1, kDvAudioRate};
    ok = avformat_write_header(ctx, nullptr) >= 0;
  }
  if (ok) {
    std::vector<uint8_t> sound(static_cast<size_t>(kDvPalSamplesPerFrame) * 4, 0);
    const int n = std::min(std::max(sampleFrames, 0), kDvPalSamplesPerFrame);
    for (int i = 0; i < n * 2; ++i) {
      sound[2 * i] = static_cast<uint8_t>(pcm[i] & 0xFF);
      sound[2 * i + 1] = static_cast<uint8_t>((pcm[i] >> 8) & 0xFF);
    }
    AVPacket* pkt = av_packet_alloc();
    ok = pkt != nullptr;
    if (ok) {
      pkt->data = const_cast<uint8_t*>(sound.data());
      pkt->size = static_cast<int>(sound.size());
      pkt->stream_index = as->index;
      pkt->pts = pkt->dts = 0;
      ok = av_write_frame(ctx, pkt) >= 0;
      av_packet_unref(pkt);
      pkt->data = const_cast<uint8_t*>(frame);
      pkt->size = static_cast<int>(size);
      pkt->stream_index = vs->index;
      pkt->pts = pkt->dts = 0;
      ok = ok && av_write_frame(ctx, pkt) >= 0;
      av_packet_free(&pkt);
    }
    ok = av_write_trailer(ctx) >= 0 && ok;
    avio_flush(cio.io);
  }
  avformat_free_context(ctx);
  if (!ok || bytes.size() != size) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace movara
