#include "output/Mp4Maker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"

namespace movara {

namespace {

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

int Mp4QualityToCrf(int quality) {
  quality = std::clamp(quality, 0, 10000);
  return 40 - RoundInt(static_cast<long double>(quality) * 28 / 10000);
}

std::string Mp4MakerMissing(bool sound) {
  if (!avcodec_find_encoder_by_name("libx264")) return "this FFmpeg has no libx264 encoder for MP4 films";
  if (sound && !avcodec_find_encoder(AV_CODEC_ID_AAC)) return "this FFmpeg has no AAC encoder for MP4 films";
  return std::string();
}

struct TMp4Maker::TImpl {
  AVFormatContext* Oc = nullptr;
  AVCodecContext* Video = nullptr;
  AVCodecContext* Audio = nullptr;
  AVStream* VideoStream = nullptr;
  AVStream* AudioStream = nullptr;
  SwsContext* Sws = nullptr;         // ConvertFrame's
  AVBufferPool* FramePool = nullptr;  // the converted pictures' memory
  int FrameLinesize[4] = {};
  TDIB Converted;  // frames of another depth, as 24 bits
  SwrContext* Swr = nullptr;
  AVAudioFifo* Fifo = nullptr;
  AVFrame* Sound = nullptr;
  AVPacket* Packet = nullptr;
  int64_t SoundPts = 0;

  ~TImpl() {
    sws_freeContext(Sws);
    av_buffer_pool_uninit(&FramePool);  // freed when the last picture comes back
    swr_free(&Swr);
    if (Fifo) av_audio_fifo_free(Fifo);
    av_frame_free(&Sound);
    av_packet_free(&Packet);
    avcodec_free_context(&Video);
    avcodec_free_context(&Audio);
    if (Oc) {
      if (Oc->pb) avio_closep(&Oc->pb);
      avformat_free_context(Oc);
    }
  }

  // Sends a frame (nullptr: the end) and writes what comes out.
  int Encode(AVCodecContext* c, AVStream* st, AVFrame* frame) {
    int r = avcodec_send_frame(c, frame);
    if (r < 0) return r;
    for (;;) {
      r = avcodec_receive_packet(c, Packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
      if (r < 0) return r;
      av_packet_rescale_ts(Packet, c->time_base, st->time_base);
      Packet->stream_index = st->index;
      r = av_interleaved_write_frame(Oc, Packet);
      if (r < 0) return r;
    }
  }

  // Encodes whole frames of sound from the queue (all that is left at the end).
  int EncodeSound(bool end) {
    const int size = Audio->frame_size > 0 ? Audio->frame_size : 1024;
    while (av_audio_fifo_size(Fifo) >= size || (end && av_audio_fifo_size(Fifo) > 0)) {
      const int n = std::min(size, av_audio_fifo_size(Fifo));
      av_frame_unref(Sound);
      Sound->nb_samples = size;
      Sound->format = Audio->sample_fmt;
      Sound->sample_rate = Audio->sample_rate;
      av_channel_layout_copy(&Sound->ch_layout, &Audio->ch_layout);
      int r = av_frame_get_buffer(Sound, 0);
      if (r < 0) return r;
      // A short last frame is filled with silence.
      av_samples_set_silence(Sound->extended_data, 0, size, Audio->ch_layout.nb_channels, Audio->sample_fmt);
      if (av_audio_fifo_read(Fifo, reinterpret_cast<void**>(Sound->extended_data), n) != n) return AVERROR(EIO);
      Sound->pts = SoundPts;
      SoundPts += size;
      r = Encode(Audio, AudioStream, Sound);
      if (r < 0) return r;
    }
    return 0;
  }
};

TMp4Maker::TMp4Maker(const TAviAudioOptions& audio, const TAviVideoOptions& video, int quality,
                     const std::string& fileName)
    : FImpl(std::make_unique<TImpl>()), FAudio(audio), FVideo(video), FFileName(fileName) {
  const std::string missing = Mp4MakerMissing(audio.MakeAudio);
  if (!missing.empty()) {
    Fail(missing);
    return;
  }
  if (!FOutput.Open(fileName)) {
    Fail(FOutput.Reason());
    return;
  }
  FTempName = FOutput.Create(fileName);
  if (FTempName.empty()) {
    Fail(FOutput.Reason());
    return;
  }
  TImpl& m = *FImpl;
  int r = avformat_alloc_output_context2(&m.Oc, nullptr, "mp4", FTempName.c_str());
  if (r < 0 || !m.Oc) {
    Fail("the MP4 writer cannot be set up");
    return;
  }
  m.Packet = av_packet_alloc();
  m.Sound = av_frame_alloc();
  if (!m.Packet || !m.Sound) {
    Fail("no memory");
    return;
  }

  if (video.MakeVideo) {
    if (!video.DIB || video.DIB->Empty()) {
      Fail("no frame picture");
      return;
    }
    const int w = video.DIB->Width(), h = video.DIB->Height();
    if (w % 2 || h % 2) {
      Fail(Format("H.264 in 4:2:0 needs even sides, not %dx%d", w, h));
      return;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    m.Video = avcodec_alloc_context3(codec);
    m.VideoStream = avformat_new_stream(m.Oc, nullptr);
    if (!m.Video || !m.VideoStream) {
      Fail("no memory");
      return;
    }
    const int fps = std::max(1, video.FramesPerSecond);
    m.Video->width = w;
    m.Video->height = h;
    m.Video->time_base = AVRational{1, fps};
    m.Video->framerate = AVRational{fps, 1};
    m.Video->pix_fmt = AV_PIX_FMT_YUV420P;
    m.Video->gop_size = fps * 10;
    // The encoder's own number of threads (one and a half a core), the one the ffmpeg
    // program gives it too: with one a core its frames wait on each other, and the
    // decoders and the film thread do not fill the gaps (a 1080p film took 5 % longer
    // on two cores, for 20 MB less memory).
    m.Video->thread_count = 0;
    // Pictures of high-definition size carry the BT.709 matrix, smaller ones BT.601.
    const bool hd = h >= 720;
    m.Video->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    m.Video->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    m.Video->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    m.Video->color_range = AVCOL_RANGE_MPEG;
    if (m.Oc->oformat->flags & AVFMT_GLOBALHEADER) m.Video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(m.Video->priv_data, "crf", std::to_string(Mp4QualityToCrf(quality)).c_str(), 0);
    av_opt_set(m.Video->priv_data, "preset", "veryfast", 0);
    r = avcodec_open2(m.Video, codec, nullptr);
    if (r < 0) {
      Fail("libx264 does not open (" + AvErrorText(r) + ")");
      return;
    }
    avcodec_parameters_from_context(m.VideoStream->codecpar, m.Video);
    m.VideoStream->time_base = m.Video->time_base;
    m.VideoStream->avg_frame_rate = m.Video->framerate;
    m.Sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!m.Sws) {
      Fail("the picture converter cannot be set up");
      return;
    }
    const int* matrix = sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(m.Sws, sws_getCoefficients(SWS_CS_DEFAULT), 1, matrix, 0, 0, 1 << 16, 1 << 16);
    // rows of whole 64-byte lines in every plane (the converter's vector code likes them)
    uint8_t* planes[4] = {};
    const int frameSize = av_image_fill_linesizes(m.FrameLinesize, AV_PIX_FMT_YUV420P, FFALIGN(w, 128)) < 0
                              ? -1
                              : av_image_fill_pointers(planes, AV_PIX_FMT_YUV420P, h, nullptr, m.FrameLinesize);
    m.FramePool = frameSize > 0 ? av_buffer_pool_init(static_cast<size_t>(frameSize) + 64, nullptr) : nullptr;
    if (!m.FramePool) {
      Fail("no memory");
      return;
    }
  }

  if (audio.MakeAudio) {
    const WAVEFORMATEX& src = audio.SourceFormat;
    const WAVEFORMATEX& dst = audio.DestFormat;
    if (src.nChannels < 1 || src.nChannels > 2 || (src.wBitsPerSample != 8 && src.wBitsPerSample != 16) ||
        src.nSamplesPerSec == 0) {
      Fail("the film's sound is no PCM of one or two channels");
      return;
    }
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    m.Audio = avcodec_alloc_context3(codec);
    m.AudioStream = avformat_new_stream(m.Oc, nullptr);
    if (!m.Audio || !m.AudioStream) {
      Fail("no memory");
      return;
    }
    const int channels = dst.nChannels == 1 ? 1 : 2;
    av_channel_layout_default(&m.Audio->ch_layout, channels);
    m.Audio->sample_rate = dst.nSamplesPerSec > 0 ? static_cast<int>(dst.nSamplesPerSec) : 44100;
    m.Audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m.Audio->bit_rate = channels == 1 ? 96000 : 192000;
    m.Audio->time_base = AVRational{1, m.Audio->sample_rate};
    if (m.Oc->oformat->flags & AVFMT_GLOBALHEADER) m.Audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    r = avcodec_open2(m.Audio, codec, nullptr);
    if (r < 0) {
      Fail(Format("the AAC encoder takes no %d Hz sound (%s)", m.Audio->sample_rate, AvErrorText(r).c_str()));
      return;
    }
    avcodec_parameters_from_context(m.AudioStream->codecpar, m.Audio);
    m.AudioStream->time_base = m.Audio->time_base;
    AVChannelLayout in;
    av_channel_layout_default(&in, src.nChannels);
    r = swr_alloc_set_opts2(&m.Swr, &m.Audio->ch_layout, AV_SAMPLE_FMT_FLTP, m.Audio->sample_rate, &in,
                            src.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                            static_cast<int>(src.nSamplesPerSec), 0, nullptr);
    av_channel_layout_uninit(&in);
    if (r < 0 || swr_init(m.Swr) < 0) {
      Fail("the sound converter cannot be set up");
      return;
    }
    m.Fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, m.Audio->sample_rate);
    if (!m.Fifo) {
      Fail("no memory");
      return;
    }
  }
  if (!m.Video && !m.Audio) {
    Fail("neither picture nor sound");
    return;
  }

  r = avio_open(&m.Oc->pb, FTempName.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) {
    Fail(AvErrorText(r));
    return;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "+faststart", 0);
  r = avformat_write_header(m.Oc, &options);
  av_dict_free(&options);
  if (r < 0) {
    Fail("the MP4 header cannot be written (" + AvErrorText(r) + ")");
    return;
  }
  FInitialized = true;
}

TMp4Maker::~TMp4Maker() {
  if (!FClosed) Abandon();
}

bool TMp4Maker::Fail(const std::string& why) {
  FError = why;
  TraceF("[TMp4Maker] \"%s\": %s", FFileName.c_str(), why.c_str());
  return false;
}

bool TMp4Maker::AddVideoFrame() {
  TImpl& m = *FImpl;
  if (!FInitialized || !m.Video || !FVideo.DIB) return false;
  const TDIB* dib = FVideo.DIB;
  if (dib->Width() != m.Video->width || dib->Height() != m.Video->height)
    return Fail(Format("a frame of %dx%d in a film of %dx%d", dib->Width(), dib->Height(), m.Video->width,
                       m.Video->height));
  TStoredPicture picture = NewStoredPicture();
  if (!picture || !ConvertFrame(*dib, picture.get())) return Fail("no memory");
  return AddStoredPicture(picture.get());
}

bool TMp4Maker::ConvertFrame(const TDIB& frame, AVFrame* picture) {
  TImpl& m = *FImpl;
  // (the writer's thread owns the error text: a frame that cannot be converted is told
  // by the trace and goes to the film as a bad frame)
  if (!FInitialized || !m.Video || !m.FramePool || !picture) return false;
  if (frame.Width() != m.Video->width || frame.Height() != m.Video->height) {
    TraceF("[TMp4Maker] a frame of %dx%d in a film of %dx%d", frame.Width(), frame.Height(), m.Video->width,
           m.Video->height);
    return false;
  }
  const TDIB* dib = &frame;
  if (dib->BitCount() != 24) {
    m.Converted = dib->ConvertTo(24);
    dib = &m.Converted;
  }
  av_frame_unref(picture);
  AVBufferRef* buf = av_buffer_pool_get(m.FramePool);
  if (!buf) return false;
  picture->buf[0] = buf;
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = m.Video->width;
  picture->height = m.Video->height;
  picture->color_range = AVCOL_RANGE_MPEG;
  picture->colorspace = m.Video->colorspace;
  // planes at 64-byte boundaries of the pool's buffer
  uint8_t* base = buf->data + ((64 - reinterpret_cast<uintptr_t>(buf->data) % 64) % 64);
  if (av_image_fill_pointers(picture->data, AV_PIX_FMT_YUV420P, picture->height, base, m.FrameLinesize) < 0)
    return false;
  std::copy_n(m.FrameLinesize, 4, picture->linesize);
  picture->extended_data = picture->data;
  // The picture's rows are stored bottom-up: start at the top row and step back.
  const uint8_t* src[4] = {dib->ScanLine(0), nullptr, nullptr, nullptr};
  const int srcStride[4] = {-dib->RowSize(), 0, 0, 0};
  sws_scale(m.Sws, src, srcStride, 0, dib->Height(), picture->data, picture->linesize);
  return true;
}

bool TMp4Maker::TakesStoredPicture(const AVFrame* picture) const {
  const TImpl& m = *FImpl;
  if (!FInitialized || !m.Video || !picture) return false;
  if (picture->format != AV_PIX_FMT_YUV420P || picture->width != m.Video->width ||
      picture->height != m.Video->height || picture->color_range == AVCOL_RANGE_JPEG)
    return false;
  // the matrix the picture is read with is the film's
  const AVColorSpace space = picture->colorspace;
  if (m.Video->colorspace == AVCOL_SPC_BT709) return space == AVCOL_SPC_BT709;
  return space == AVCOL_SPC_SMPTE170M || space == AVCOL_SPC_BT470BG || space == AVCOL_SPC_UNSPECIFIED;
}

bool TMp4Maker::AddStoredPicture(const AVFrame* picture) {
  TImpl& m = *FImpl;
  if (!TakesStoredPicture(picture)) return Fail("a picture the film does not take as it is");
  // The decoder's picture is shared: the encoder gets a reference of its own with the
  // film's time and none of the source's other marks.
  AVFrame* frame = av_frame_alloc();
  if (!frame) return Fail("no memory");
  frame->format = picture->format;
  frame->width = picture->width;
  frame->height = picture->height;
  for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
    frame->data[i] = picture->data[i];
    frame->linesize[i] = picture->linesize[i];
    if (picture->buf[i]) frame->buf[i] = av_buffer_ref(picture->buf[i]);
  }
  frame->extended_data = frame->data;
  frame->pts = FFramesIn;
  const int r = m.Encode(m.Video, m.VideoStream, frame);
  av_frame_free(&frame);
  if (r < 0) return Fail("a frame was not written (" + AvErrorText(r) + ")");
  ++FFramesIn;
  return true;
}

void TAvFrameFree::operator()(AVFrame* frame) const { av_frame_free(&frame); }

TStoredPicture NewStoredPicture() { return TStoredPicture(av_frame_alloc()); }

bool TMp4Maker::AddVideoSeries(int) { return false; }

bool TMp4Maker::AddAudioData(const void* data, int size) {
  TImpl& m = *FImpl;
  if (!FInitialized || !m.Audio) return false;
  const int align = std::max<int>(1, FAudio.SourceFormat.nBlockAlign);
  const int samples = size / align;
  if (samples <= 0) return true;
  const int room = swr_get_out_samples(m.Swr, samples);
  uint8_t** planes = nullptr;
  int r = av_samples_alloc_array_and_samples(&planes, nullptr, m.Audio->ch_layout.nb_channels, room,
                                             AV_SAMPLE_FMT_FLTP, 0);
  if (r < 0) return Fail("no memory");
  const uint8_t* in[1] = {static_cast<const uint8_t*>(data)};
  const int n = swr_convert(m.Swr, planes, room, in, samples);
  if (n > 0) r = av_audio_fifo_write(m.Fifo, reinterpret_cast<void**>(planes), n);
  av_freep(&planes[0]);
  av_freep(&planes);
  if (n < 0 || r < 0) return Fail("the sound was not converted");
  r = m.EncodeSound(false);
  if (r < 0) return Fail("sound was not written (" + AvErrorText(r) + ")");
  return true;
}

bool TMp4Maker::Close() {
  if (FClosed) return false;
  FClosed = true;
  TImpl& m = *FImpl;
  if (!FInitialized) {
    Release();
    FOutput.Discard();
    FOutput.Release();
    return false;
  }
  bool ok = true;
  if (m.Audio) {
    // What the converter holds back, then the last short frame.
    uint8_t** planes = nullptr;
    const int room = swr_get_out_samples(m.Swr, 0);
    if (room > 0 && av_samples_alloc_array_and_samples(&planes, nullptr, m.Audio->ch_layout.nb_channels, room,
                                                       AV_SAMPLE_FMT_FLTP, 0) >= 0) {
      const int n = swr_convert(m.Swr, planes, room, nullptr, 0);
      if (n > 0) av_audio_fifo_write(m.Fifo, reinterpret_cast<void**>(planes), n);
      av_freep(&planes[0]);
      av_freep(&planes);
    }
    ok = m.EncodeSound(true) >= 0 && m.Encode(m.Audio, m.AudioStream, nullptr) >= 0;
  }
  if (ok && m.Video) ok = m.Encode(m.Video, m.VideoStream, nullptr) >= 0;
  if (ok) {
    const int r = av_write_trailer(m.Oc);
    if (r < 0) ok = Fail("the MP4 index was not written (" + AvErrorText(r) + ")");
  }
  if (m.Oc && m.Oc->pb && avio_closep(&m.Oc->pb) < 0) ok = Fail("the MP4 file was not closed");
  Release();
  if (ok) ok = FOutput.Commit();
  else FOutput.Discard();
  if (!ok && FError.empty()) FError = FOutput.Reason();
  FOutput.Release();
  return ok;
}

void TMp4Maker::Abandon() {
  FClosed = true;
  Release();
  FOutput.Discard();
  FOutput.Release();
}

void TMp4Maker::Release() { FImpl = std::make_unique<TImpl>(); }

}  // namespace movara
