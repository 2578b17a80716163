#include "media/MediaFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "platform/codecs/VideoFFmpeg.h"

namespace movara {

namespace {

using videoff::TCodecContextPtr;
using videoff::TFramePtr;
using videoff::TPacketPtr;

struct TFormatClose {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatClose>;
struct TSwrFree {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
using TSwrPtr = std::unique_ptr<SwrContext, TSwrFree>;

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// Opens the container: only plain files (no network or other protocols a playlist or
// a crafted file could name), never AVI (our own AVI layer reads that).
TFormatPtr OpenContainer(const std::string& fileName, std::string& error) {
  const std::string refusal = MediaFileRefusal(fileName);
  if (!refusal.empty()) {
    error = refusal;
    return nullptr;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  // The demuxers of the containers we read, and no others (no playlists naming other
  // files, no AVI).
  av_dict_set(&options, "format_whitelist", "mov,matroska,mpegts,mpeg,mp3,aac,flac,ogg,wav,w64", 0);
  AVFormatContext* raw = nullptr;
  const std::string url = "file:" + fileName;
  int r = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (r < 0) {
    error = "libavformat cannot open it (" + AvErrorText(r) + ")";
    return nullptr;
  }
  TFormatPtr ctx(raw);
  if (std::strcmp(ctx->iformat->name, "avi") == 0) {
    error = "it is an AVI file under another name";
    return nullptr;
  }
  r = avformat_find_stream_info(ctx.get(), nullptr);
  if (r < 0) {
    error = "its streams cannot be read (" + AvErrorText(r) + ")";
    return nullptr;
  }
  return ctx;
}

// The first video stream that is not a cover picture; -1 when none.
int VideoStreamOf(AVFormatContext* ctx) {
  const int best = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (best >= 0 && !(ctx->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC)) return best;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVStream* st = ctx->streams[i];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
      return static_cast<int>(i);
  }
  return -1;
}

TCodecContextPtr OpenDecoder(const AVStream* st, int threads, std::string& error) {
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) {
    error = Format("no decoder for its %s stream", avcodec_get_name(st->codecpar->codec_id));
    return nullptr;
  }
  TCodecContextPtr c(avcodec_alloc_context3(codec));
  if (!c || avcodec_parameters_to_context(c.get(), st->codecpar) < 0) {
    error = "its decoder cannot be set up";
    return nullptr;
  }
  c->pkt_timebase = st->time_base;
  c->thread_count = threads;
  if (avcodec_open2(c.get(), codec, nullptr) < 0) {
    error = Format("its %s decoder does not open", codec->name);
    return nullptr;
  }
  return c;
}

int64_t PacketTime(const AVPacket* p) { return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts; }

// Degrees clockwise that the display matrix turns the stored picture.
int RotationOf(const AVStream* st) {
  const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(angle)) return 0;
  int degrees = static_cast<int>(std::lround(angle / 90.0)) * 90;
  degrees %= 360;
  if (degrees < 0) degrees += 360;
  return degrees;
}

// The nominal rate of film and television when the average is within 0.1 % of one
// (a 29.97 stream measured from rounded times stays 30000/1001).
AVRational NiceRate(AVRational rate) {
  const double r = av_q2d(rate);
  static const AVRational kNominal[] = {{24000, 1001}, {30000, 1001}, {60000, 1001}, {120000, 1001}, {48000, 1001}};
  for (const AVRational& n : kNominal)
    if (std::fabs(r / av_q2d(n) - 1) < 1e-3) return n;
  const double whole = std::round(r);
  if (whole >= 1 && std::fabs(r / whole - 1) < 1e-3) return AVRational{static_cast<int>(whole), 1};
  AVRational reduced;
  av_reduce(&reduced.num, &reduced.den, rate.num, rate.den, 1000000);
  return reduced;
}

// Turns a 24-bit picture clockwise by degrees (90, 180, 270) into out.
void RotatePicture(const TDIB& in, int degrees, TDIB& out) {
  const int w = in.Width(), h = in.Height();
  const int ow = degrees == 180 ? w : h, oh = degrees == 180 ? h : w;
  if (out.Width() != ow || out.Height() != oh || out.BitCount() != 24) out = TDIB(ow, oh, 24);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = in.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      int nx, ny;
      if (degrees == 90) {
        nx = h - 1 - y;
        ny = x;
      } else if (degrees == 270) {
        nx = y;
        ny = w - 1 - x;
      } else {
        nx = w - 1 - x;
        ny = h - 1 - y;
      }
      uint8_t* d = out.ScanLine(ny) + static_cast<size_t>(nx) * 3;
      d[0] = src[3 * x];
      d[1] = src[3 * x + 1];
      d[2] = src[3 * x + 2];
    }
  }
}

}  // namespace

std::string MediaFileRefusal(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return "the file is not there";
  if (S_ISREG(st.st_mode)) return std::string();
  if (S_ISFIFO(st.st_mode)) return "it is a pipe (FIFO), not a file";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a file";
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  return "it is not a regular file";
}

// ---------------------------------------------------------------------------------
// TMediaVideo

struct TMediaVideo::TImpl {
  struct TPicture {
    int64_t Pts;   // presentation time (stream time base)
    int64_t Seek;  // where a seek to it aims
    bool Key;
  };

  TFormatPtr Fmt;
  TCodecContextPtr Dec;
  TPacketPtr Packet{av_packet_alloc()};
  TFramePtr Got{av_frame_alloc()};
  AVStream* Stream = nullptr;
  int StreamIndex = -1;
  std::vector<TPicture> Pictures;  // in presentation order
  std::vector<int> Keys;           // indexes of key pictures in Pictures
  AVRational FrameRate{0, 1};
  int Frames = 0;
  int Rotation = 0;
  int64_t Sent = 0;

  // Decoder state: the last picture received and the one received past the wanted
  // time (kept for the next call).
  TFramePtr Held{av_frame_alloc()};
  int64_t HeldPts = AV_NOPTS_VALUE;
  TFramePtr Ahead{av_frame_alloc()};
  bool HasAhead = false;
  bool Running = false;   // the decoder runs on from the last seek
  bool DemuxEnd = false;  // the end of the file was signalled to the decoder
  bool DecoderEnd = false;
  // After a pass reached the end, pictures after this time cannot be decoded.
  int64_t DeadAfter = INT64_MAX;
  TDIB LastGood;  // picture shown for those

  std::vector<uint8_t> Damaged;  // per picture
  int DamagedCount = 0;
  int Missing = 0;  // pictures the index names beyond the end of the file

  TDIB Upright;
  videoff::TBgr24Writer Writer{SWS_BICUBIC};
  // The decoder is let go while no pictures are asked for (Park) and made again for the
  // next one: a movie held open but not read costs its index only.
  int Threads = 1;  // two above 1920x1088, set when the stream is known
  bool Parked = false;

  bool Scan(std::string& error);
  int PictureOf(int frame) const;
  int KeyAtOrBefore(int64_t pts) const;
  bool Seek(int keyPos);
  // Receives the next picture into Got; false at the end of the stream.
  bool NextPicture();
  bool Convert(const AVFrame* frame, TDIB& out);
  void MarkDamaged(int index);
  // Brings picture index into Held and converts it into *out. Without out only the
  // picture itself will do: false when a substitute (the last good picture) stands for it.
  bool Fetch(int index, TDIB* out);
  bool Unpark();
  void Park();
};

bool TMediaVideo::TImpl::Scan(std::string& error) {
  // Every stored picture: its time and whether it is a key picture. Demuxing only.
  for (unsigned i = 0; i < Fmt->nb_streams; ++i)
    Fmt->streams[i]->discard = static_cast<int>(i) == StreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  int64_t last = AV_NOPTS_VALUE;
  const bool mov = std::strncmp(Fmt->iformat->name, "mov", 3) == 0;
  while (av_read_frame(Fmt.get(), Packet.get()) >= 0) {
    if (Packet->stream_index == StreamIndex && !(Packet->flags & AV_PKT_FLAG_DISCARD)) {
      int64_t t = PacketTime(Packet.get());
      if (t == AV_NOPTS_VALUE) t = last == AV_NOPTS_VALUE ? 0 : last + std::max<int64_t>(Packet->duration, 1);
      last = t;
      // A seek aims at the earlier of the key picture's decode and show times, in MP4 at
      // its show time: MP4 indexes its pictures by a decode time shifted against the
      // packets' (a seek to the packet's decode time lands one key picture early). A seek
      // that lands late is tried again one key earlier.
      int64_t seek = t;
      if (!mov && Packet->dts != AV_NOPTS_VALUE) seek = std::min(seek, Packet->dts);
      Pictures.push_back({t, seek, (Packet->flags & AV_PKT_FLAG_KEY) != 0});
    }
    av_packet_unref(Packet.get());
  }
  if (Pictures.empty()) {
    error = "its video stream holds no pictures";
    return false;
  }
  std::stable_sort(Pictures.begin(), Pictures.end(),
                   [](const TPicture& a, const TPicture& b) { return a.Pts < b.Pts; });
  // Pictures of the same time (a broken stream) count once.
  Pictures.erase(std::unique(Pictures.begin(), Pictures.end(),
                             [](const TPicture& a, const TPicture& b) { return a.Pts == b.Pts; }),
                 Pictures.end());
  for (size_t i = 0; i < Pictures.size(); ++i)
    if (Pictures[i].Key) Keys.push_back(static_cast<int>(i));
  if (Keys.empty()) Keys.push_back(0);  // decoding from the start is all there is

  const AVRational tb = Stream->time_base;
  AVRational rate = Stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = Stream->r_frame_rate;
  if ((rate.num <= 0 || rate.den <= 0) && Pictures.size() > 1) {
    const int64_t span = Pictures.back().Pts - Pictures.front().Pts;
    if (span > 0) rate = av_d2q((Pictures.size() - 1) / (span * av_q2d(tb)), 1000000);
  }
  if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 1000 || av_q2d(rate) < 0.01) rate = AVRational{25, 1};
  FrameRate = NiceRate(rate);
  const long double span = static_cast<long double>(Pictures.back().Pts - Pictures.front().Pts) * tb.num / tb.den;
  const int64_t frames = RoundHalfEven(span * FrameRate.num / FrameRate.den) + 1;
  if (frames > INT_MAX / 2) {
    error = "its video is too long";
    return false;
  }
  Frames = static_cast<int>(std::max<int64_t>(frames, 1));
  // An MP4 or MOV cut short (a recording that was interrupted) still names every picture
  // in its index: the pictures whose bytes are gone show the last good one.
  if (std::strncmp(Fmt->iformat->name, "mov", 3) == 0 && Stream->nb_frames > static_cast<int64_t>(Pictures.size()) &&
      Stream->nb_frames < INT_MAX / 4) {
    Missing = static_cast<int>(Stream->nb_frames - static_cast<int64_t>(Pictures.size()));
    // As long as the track says it is (the pictures read may end in a gap).
    const int64_t declared =
        Stream->duration > 0 ? RoundHalfEven(static_cast<long double>(Stream->duration) * tb.num * FrameRate.num /
                                             (static_cast<long double>(tb.den) * FrameRate.den))
                             : Frames + Missing;
    if (declared > Frames && declared < INT_MAX / 2) Frames = static_cast<int>(declared);
    TraceF("[TMediaVideo] %d pictures of the index are not in the file: the last good picture stands for them",
           Missing);
  }
  Damaged.assign(Pictures.size(), 0);
  return Seek(0);
}

int TMediaVideo::TImpl::PictureOf(int frame) const {
  // The picture shown at first + frame / rate; a quarter of a frame absorbs times
  // rounded by the container (milliseconds in Matroska).
  const AVRational tb = Stream->time_base;
  const long double ticksPerFrame =
      static_cast<long double>(FrameRate.den) * tb.den / (static_cast<long double>(FrameRate.num) * tb.num);
  const long double t = Pictures.front().Pts + (frame + 0.25L) * ticksPerFrame;
  const auto it = std::upper_bound(Pictures.begin(), Pictures.end(), t,
                                   [](long double v, const TPicture& p) { return v < static_cast<long double>(p.Pts); });
  return it == Pictures.begin() ? 0 : static_cast<int>(it - Pictures.begin()) - 1;
}

int TMediaVideo::TImpl::KeyAtOrBefore(int64_t pts) const {
  int pos = 0;
  for (size_t i = 0; i < Keys.size(); ++i)
    if (Pictures[static_cast<size_t>(Keys[i])].Pts <= pts) pos = static_cast<int>(i);
  return pos;
}

void TMediaVideo::TImpl::Park() {
  Dec.reset();
  av_frame_unref(Held.get());
  av_frame_unref(Ahead.get());
  av_frame_unref(Got.get());
  HeldPts = AV_NOPTS_VALUE;
  HasAhead = Running = false;
  Parked = true;
}

bool TMediaVideo::TImpl::Unpark() {
  if (!Parked) return true;
  std::string why;
  Dec = OpenDecoder(Stream, Threads, why);
  if (!Dec) {
    TraceF("[TMediaVideo] the decoder does not open again: %s", why.c_str());
    return false;
  }
  Parked = false;
  return true;
}

bool TMediaVideo::TImpl::Seek(int keyPos) {
  const int64_t target = keyPos <= 0 ? std::min<int64_t>(Pictures.front().Seek, Pictures[static_cast<size_t>(Keys[0])].Seek)
                                     : Pictures[static_cast<size_t>(Keys[static_cast<size_t>(keyPos)])].Seek;
  int r = av_seek_frame(Fmt.get(), StreamIndex, target, AVSEEK_FLAG_BACKWARD);
  if (r < 0 && keyPos <= 0) r = av_seek_frame(Fmt.get(), -1, INT64_MIN, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
  if (r < 0) r = avformat_seek_file(Fmt.get(), StreamIndex, INT64_MIN, target, target, 0);
  avcodec_flush_buffers(Dec.get());
  Running = r >= 0;
  DemuxEnd = DecoderEnd = false;
  HasAhead = false;
  HeldPts = AV_NOPTS_VALUE;
  av_frame_unref(Held.get());
  return Running;
}

bool TMediaVideo::TImpl::NextPicture() {
  if (HasAhead) {
    av_frame_unref(Got.get());
    av_frame_move_ref(Got.get(), Ahead.get());
    HasAhead = false;
    return true;
  }
  int errors = 0;
  while (!DecoderEnd) {
    const int r = avcodec_receive_frame(Dec.get(), Got.get());
    if (r == 0) {
      // A picture that does not name its matrix is read as players read it: high
      // definition as BT.709, smaller pictures as BT.601 (our MP4 films are written so).
      if (Got->colorspace == AVCOL_SPC_UNSPECIFIED && (Got->height >= 720 || Got->width >= 1280))
        Got->colorspace = AVCOL_SPC_BT709;
      return true;
    }
    if (r == AVERROR_EOF || (r != AVERROR(EAGAIN) && ++errors > 1000)) {
      DecoderEnd = true;
      break;
    }
    // A picture the decoder failed on is skipped: on with the next packet.
    if (DemuxEnd) {
      DecoderEnd = true;  // nothing more will come
      break;
    }
    // The decoder wants more: the next packet of the stream, or the end.
    bool sentOne = false;
    while (!sentOne) {
      const int rr = av_read_frame(Fmt.get(), Packet.get());
      if (rr < 0) {
        avcodec_send_packet(Dec.get(), nullptr);
        DemuxEnd = true;
        break;
      }
      if (Packet->stream_index == StreamIndex) {
        ++Sent;
        const int s = avcodec_send_packet(Dec.get(), Packet.get());
        if (s < 0 && s != AVERROR(EAGAIN)) TraceF("[TMediaVideo] a packet was refused: %s", AvErrorText(s).c_str());
        sentOne = true;
      }
      av_packet_unref(Packet.get());
    }
  }
  return false;
}

bool TMediaVideo::TImpl::Convert(const AVFrame* frame, TDIB& out) {
  const int w = Stream->codecpar->width, h = Stream->codecpar->height;
  // A picture of another size than the stream's (the size changed within the stream)
  // is stretched to it: every frame of a movie has one size.
  const bool resized = frame->width != w || frame->height != h;
  TDIB& plain = Rotation == 0 && !resized ? out : Upright;
  if (plain.Width() != frame->width || plain.Height() != frame->height || plain.BitCount() != 24)
    plain = TDIB(frame->width, frame->height, 24);
  if (!Writer.Write(frame, plain.ScanLine(0), -plain.RowSize())) return false;
  if (resized) Upright = Upright.Stretched(w, h, 24);
  if (Rotation != 0) RotatePicture(Upright, Rotation, out);
  else if (resized) out = Upright;
  return true;
}

void TMediaVideo::TImpl::MarkDamaged(int index) {
  if (index < 0 || static_cast<size_t>(index) >= Damaged.size() || Damaged[static_cast<size_t>(index)]) return;
  Damaged[static_cast<size_t>(index)] = 1;
  ++DamagedCount;
  TraceF("[TMediaVideo] picture %d cannot be decoded: the last good picture stands for it", index);
}

bool TMediaVideo::TImpl::Fetch(int index, TDIB* out) {
  const int64_t want = Pictures[static_cast<size_t>(index)].Pts;
  if (want > DeadAfter && !LastGood.Empty()) {
    if (!out) return false;
    MarkDamaged(index);
    *out = LastGood;
    return true;
  }
  if (!Unpark()) return false;
  // The picture received last, asked for again (a repeated picture of variable-rate
  // video, or its stored form and then its converted one).
  if (HeldPts == want && Held->data[0]) return !out || Convert(Held.get(), *out);
  const int key = KeyAtOrBefore(want);
  // Decoding on reaches the picture unless it lies behind, or a key picture nearer
  // than the decoder's position lies before it.
  const bool forward = Running && HeldPts != AV_NOPTS_VALUE && HeldPts < want &&
                       Pictures[static_cast<size_t>(Keys[static_cast<size_t>(key)])].Pts <= HeldPts;
  int tryKey = key;
  if (!forward && !Seek(tryKey)) return false;
  for (;;) {
    if (!NextPicture()) {
      // The end: the picture is not in what can be decoded.
      if (HeldPts == AV_NOPTS_VALUE) {
        if (tryKey > 0 && Seek(--tryKey)) continue;
        return false;
      }
      DeadAfter = HeldPts;
      Running = false;
      if (!Convert(Held.get(), LastGood)) return false;
      if (!out) return false;
      MarkDamaged(index);
      *out = LastGood;
      return true;
    }
    int64_t t = Got->best_effort_timestamp;
    if (t == AV_NOPTS_VALUE) t = Got->pts;
    if (t == AV_NOPTS_VALUE) t = HeldPts == AV_NOPTS_VALUE ? Pictures.front().Pts : HeldPts + 1;
    if (t < want) {
      av_frame_unref(Held.get());
      av_frame_move_ref(Held.get(), Got.get());
      HeldPts = t;
      continue;
    }
    if (t == want) {
      av_frame_unref(Held.get());
      av_frame_move_ref(Held.get(), Got.get());
      HeldPts = t;
      return !out || Convert(Held.get(), *out);
    }
    // Past the picture: it did not come out of the decoder.
    if (HeldPts == AV_NOPTS_VALUE && tryKey > 0) {
      // The seek landed after the picture: start one key picture earlier.
      if (Seek(--tryKey)) continue;
    }
    av_frame_unref(Ahead.get());
    av_frame_move_ref(Ahead.get(), Got.get());
    HasAhead = true;
    if (!out) return false;
    MarkDamaged(index);
    return Convert(HeldPts != AV_NOPTS_VALUE ? Held.get() : Ahead.get(), *out);
  }
}

TMediaVideo::TMediaVideo(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TMediaVideo::~TMediaVideo() = default;

std::unique_ptr<TMediaVideo> TMediaVideo::Open(const std::string& fileName, std::string* error) {
  std::string why;
  auto impl = std::make_unique<TImpl>();
  impl->Fmt = OpenContainer(fileName, why);
  if (impl->Fmt) {
    impl->StreamIndex = VideoStreamOf(impl->Fmt.get());
    if (impl->StreamIndex < 0) why = "it holds no video stream";
  }
  if (impl->Fmt && impl->StreamIndex >= 0) {
    impl->Stream = impl->Fmt->streams[impl->StreamIndex];
    // One thread decodes high definition fast enough and holds the fewest pictures; larger
    // pictures take two.
    const int64_t area = int64_t(impl->Stream->codecpar->width) * impl->Stream->codecpar->height;
    impl->Threads = area > int64_t(1920) * 1088 ? 2 : 1;
    impl->Dec = OpenDecoder(impl->Stream, impl->Threads, why);
    const AVCodecParameters* par = impl->Stream->codecpar;
    if (impl->Dec && (par->width <= 0 || par->height <= 0 || par->width > 16384 || par->height > 16384 ||
                      int64_t(par->width) * par->height > int64_t(8192) * 4352)) {
      why = Format("its picture size %dx%d is not sensible", par->width, par->height);
      impl->Dec.reset();
    }
    impl->Rotation = RotationOf(impl->Stream);
    if (impl->Dec && impl->Packet && impl->Got && impl->Held && impl->Ahead && impl->Scan(why)) {
      // The first frame must decode, or the file is no movie we can show.
      TDIB first;
      if (impl->Fetch(impl->PictureOf(0), nullptr) || impl->Fetch(impl->PictureOf(0), &first))
        return std::unique_ptr<TMediaVideo>(new TMediaVideo(std::move(impl)));
      why = "no picture of it can be decoded";
    }
  }
  TraceF("[TMediaVideo.Open] \"%s\": %s", fileName.c_str(), why.c_str());
  if (error) *error = why;
  return nullptr;
}

int TMediaVideo::FrameCount() const { return FImpl->Frames; }
uint32_t TMediaVideo::Rate() const { return static_cast<uint32_t>(FImpl->FrameRate.num); }
uint32_t TMediaVideo::Scale() const { return static_cast<uint32_t>(FImpl->FrameRate.den); }
int TMediaVideo::Width() const {
  const int w = FImpl->Stream->codecpar->width, h = FImpl->Stream->codecpar->height;
  return FImpl->Rotation % 180 ? h : w;
}
int TMediaVideo::Height() const {
  const int w = FImpl->Stream->codecpar->width, h = FImpl->Stream->codecpar->height;
  return FImpl->Rotation % 180 ? w : h;
}
int TMediaVideo::Rotation() const { return FImpl->Rotation; }
std::string TMediaVideo::CodecName() const { return avcodec_get_name(FImpl->Stream->codecpar->codec_id); }
std::string TMediaVideo::ContainerName() const { return FImpl->Fmt->iformat->name; }
double TMediaVideo::StartTime() const { return FImpl->Pictures.front().Pts * av_q2d(FImpl->Stream->time_base); }
int TMediaVideo::SourcePictures() const { return static_cast<int>(FImpl->Pictures.size()); }
bool TMediaVideo::IsKeyFrame(int frame) const {
  if (frame < 0 || frame >= FImpl->Frames) return false;
  return FImpl->Pictures[static_cast<size_t>(FImpl->PictureOf(frame))].Key;
}

bool TMediaVideo::GetFrame(int frame, TDIB& out) {
  frame = std::clamp(frame, 0, FImpl->Frames - 1);
  return FImpl->Fetch(FImpl->PictureOf(frame), &out);
}

bool TMediaVideo::GetStoredPicture(int frame, AVFrame* picture) {
  if (!picture || FImpl->Rotation != 0) return false;
  frame = std::clamp(frame, 0, FImpl->Frames - 1);
  if (!FImpl->Fetch(FImpl->PictureOf(frame), nullptr)) return false;
  const AVFrame* held = FImpl->Held.get();
  // A picture of another size than the stream's is stretched when converted.
  if (held->width != FImpl->Stream->codecpar->width || held->height != FImpl->Stream->codecpar->height) return false;
  av_frame_unref(picture);
  return av_frame_ref(picture, held) == 0;
}

void TMediaVideo::Park() { FImpl->Park(); }

int64_t TMediaVideo::FramesDecoded() const { return FImpl->Sent; }
int TMediaVideo::DamagedFrames() const { return FImpl->DamagedCount + FImpl->Missing; }

// ---------------------------------------------------------------------------------
// Sound

bool DecodeMediaSound(const std::string& fileName, TMediaSound& out, std::string* error) {
  out = TMediaSound();
  std::string why;
  TFormatPtr fmt = OpenContainer(fileName, why);
  int audio = -1, video = -1;
  TCodecContextPtr dec;
  if (fmt) {
    audio = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    video = VideoStreamOf(fmt.get());
    if (audio < 0) why = "it holds no sound stream";
    else dec = OpenDecoder(fmt->streams[audio], 1, why);
  }
  if (!dec) {
    if (error) *error = why;
    TraceF("[DecodeMediaSound] \"%s\": %s", fileName.c_str(), why.c_str());
    return false;
  }
  for (unsigned i = 0; i < fmt->nb_streams; ++i)
    fmt->streams[i]->discard =
        static_cast<int>(i) == audio || static_cast<int>(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

  const AVStream* st = fmt->streams[audio];
  const int rate = dec->sample_rate > 0 ? dec->sample_rate : st->codecpar->sample_rate;
  if (rate <= 0 || rate > 768000) {
    if (error) *error = "its sound has no sensible sample rate";
    return false;
  }
  out.Rate = rate;
  out.Channels = dec->ch_layout.nb_channels == 1 ? 1 : 2;
  out.CodecName = avcodec_get_name(st->codecpar->codec_id);
  out.ContainerName = fmt->iformat->name;

  TPacketPtr packet(av_packet_alloc());
  TFramePtr frame(av_frame_alloc());
  TSwrPtr swr;
  AVChannelLayout outLayout;
  av_channel_layout_default(&outLayout, out.Channels);
  int swrRate = 0, swrFormat = -1;
  AVChannelLayout swrLayout{};
  std::vector<int16_t> chunk;
  // Time of the first sample (stream time base), and of the first picture when there
  // is video: the sound is placed on the picture's clock.
  int64_t firstSound = AV_NOPTS_VALUE;
  int64_t firstPicture = AV_NOPTS_VALUE;
  const AVRational audioTb = st->time_base;
  AVRational videoTb{1, 1};
  if (video >= 0) videoTb = fmt->streams[video]->time_base;
  const size_t maxSamples = static_cast<size_t>(INT_MAX / 4);

  auto drain = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_frame(dec.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) {
        ++out.DamagedPackets;
        return true;
      }
      if (frame->sample_rate != rate || frame->nb_samples <= 0) {
        av_frame_unref(frame.get());
        continue;  // a rate change mid-stream: those samples cannot be placed
      }
      if (firstSound == AV_NOPTS_VALUE) {
        firstSound = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : 0;
      } else if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        // A gap in the stream (a damaged stretch) keeps its length as silence.
        const long double at = static_cast<long double>(frame->best_effort_timestamp - firstSound) * audioTb.num *
                               rate / audioTb.den;
        const int64_t have = static_cast<int64_t>(out.Samples.size() / static_cast<size_t>(out.Channels));
        const int64_t gap = static_cast<int64_t>(at) - have;
        if (gap > rate / 50 && gap < static_cast<int64_t>(rate) * 60)
          out.Samples.resize(out.Samples.size() + static_cast<size_t>(gap) * out.Channels, 0);
      }
      if (!swr || swrRate != frame->sample_rate || swrFormat != frame->format ||
          av_channel_layout_compare(&swrLayout, &frame->ch_layout) != 0) {
        SwrContext* s = nullptr;
        if (swr_alloc_set_opts2(&s, &outLayout, AV_SAMPLE_FMT_S16, rate, &frame->ch_layout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0 ||
            swr_init(s) < 0) {
          swr_free(&s);
          return false;
        }
        swr.reset(s);
        swrRate = frame->sample_rate;
        swrFormat = frame->format;
        av_channel_layout_uninit(&swrLayout);
        av_channel_layout_copy(&swrLayout, &frame->ch_layout);
      }
      const int room = swr_get_out_samples(swr.get(), frame->nb_samples);
      chunk.resize(static_cast<size_t>(std::max(room, 0)) * out.Channels);
      uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(chunk.data())};
      const int n = swr_convert(swr.get(), dst, room, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
      av_frame_unref(frame.get());
      if (n < 0) return false;
      if (out.Samples.size() + static_cast<size_t>(n) * out.Channels > maxSamples) return false;
      out.Samples.insert(out.Samples.end(), chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(n) * out.Channels);
    }
  };

  bool ok = true;
  while (ok && av_read_frame(fmt.get(), packet.get()) >= 0) {
    if (packet->stream_index == video && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
      const int64_t t = PacketTime(packet.get());
      if (t != AV_NOPTS_VALUE && (firstPicture == AV_NOPTS_VALUE || t < firstPicture)) firstPicture = t;
    } else if (packet->stream_index == audio) {
      const int s = avcodec_send_packet(dec.get(), packet.get());
      if (s < 0 && s != AVERROR(EAGAIN)) ++out.DamagedPackets;
      ok = drain();
    }
    av_packet_unref(packet.get());
  }
  if (ok) {
    avcodec_send_packet(dec.get(), nullptr);
    ok = drain();
  }
  av_channel_layout_uninit(&swrLayout);
  av_channel_layout_uninit(&outLayout);
  if (!ok) {
    if (error) *error = "its sound cannot be converted or is too long";
    return false;
  }
  if (out.Samples.empty()) {
    if (error) *error = "no sound of it can be decoded";
    return false;
  }
  // The padding an encoder adds after the last sample (AAC fills its last frame) is cut
  // where the container says the stream ends; only a stated length counts, and only a
  // tenth of a second of excess.
  if (st->duration > 0 && fmt->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
    const int64_t stated = RoundHalfEven(static_cast<long double>(st->duration) * audioTb.num * rate / audioTb.den);
    const int64_t have = static_cast<int64_t>(out.Samples.size() / static_cast<size_t>(out.Channels));
    if (have > stated && have - stated <= rate / 10)
      out.Samples.resize(static_cast<size_t>(stated) * static_cast<size_t>(out.Channels));
  }
  if (firstPicture != AV_NOPTS_VALUE && firstSound != AV_NOPTS_VALUE) {
    const long double offset = static_cast<long double>(firstSound) * audioTb.num / audioTb.den -
                               static_cast<long double>(firstPicture) * videoTb.num / videoTb.den;
    const int64_t shift = RoundHalfEven(offset * rate);
    const size_t ch = static_cast<size_t>(out.Channels);
    if (shift > 0 && shift < static_cast<int64_t>(rate) * 60) {
      out.Samples.insert(out.Samples.begin(), static_cast<size_t>(shift) * ch, 0);
    } else if (shift < 0) {
      const size_t cut = std::min(out.Samples.size(), static_cast<size_t>(-shift) * ch);
      out.Samples.erase(out.Samples.begin(), out.Samples.begin() + static_cast<ptrdiff_t>(cut));
    }
  }
  if (out.DamagedPackets > 0)
    TraceF("[DecodeMediaSound] \"%s\": %d damaged packets skipped", fileName.c_str(), out.DamagedPackets);
  return !out.Samples.empty();
}

TMediaAudioReader::~TMediaAudioReader() { Close(); }

bool TMediaAudioReader::OpenStream(const std::string& fileName) {
  std::string why;
  if (!DecodeMediaSound(fileName, FSound, &why)) return false;
  FSourceFormat = TWaveFormat();
  FSourceFormat.wf = MakePcmFormat(FSound.Channels, FSound.Rate, 16);
  FDataStart = 0;
  FDataSize = static_cast<int>(FSound.Samples.size() * sizeof(int16_t));
  FPosition = 0;
  return true;
}

void TMediaAudioReader::CloseStream() {
  FSound = TMediaSound();
  FPosition = 0;
}

void TMediaAudioReader::SeekStream(int64_t bytePosition) {
  FPosition = std::clamp<int64_t>(bytePosition, 0, static_cast<int64_t>(FSound.Samples.size() * sizeof(int16_t)));
}

int TMediaAudioReader::ReadStream(void* buffer, int count) {
  const int64_t size = static_cast<int64_t>(FSound.Samples.size() * sizeof(int16_t));
  const int n = static_cast<int>(std::clamp<int64_t>(size - FPosition, 0, std::max(count, 0)));
  if (n > 0) std::memcpy(buffer, reinterpret_cast<const uint8_t*>(FSound.Samples.data()) + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

}  // namespace movara
