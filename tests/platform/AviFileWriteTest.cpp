// Writing AVI files: what we write must be read by ffmpeg exactly as we wrote it, in a
// single RIFF and when it continues in OpenDML parts; a write failure (a full disk)
// leaves a valid file; the calls refuse what the format cannot hold.
//
// LONG_ tests write more than 1 GB and 4 GB and run only with MOVARA_LONG_TESTS=1:
//   MOVARA_LONG_TESTS=1 build/test_platform --gtest_filter='*LONG_*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/avifile/AviFile.h"
#include "platform/avifile/AviIO.h"
#include "support/TestSupport.h"

extern "C" {
#include <libavutil/md5.h>
}

namespace movara {
namespace {

using test::Quote;
using test::ReadBytes;
using test::RunCommand;
using test::TTempDir;
using test::WriteBytes;

std::string Md5(const std::vector<uint8_t>& v) {
  uint8_t d[16];
  av_md5_sum(d, v.data(), static_cast<int>(v.size()));
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
  return std::string(hex, 32);
}

using TPacket = movara::test::TPacketHash;
using movara::test::FramePackets;

std::string ProbeKeyFlags(const std::string& file) {
  return RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts,flags -of csv=p=0 " + Quote(file))
      .output;
}

int ProbeCount(const std::string& file, const char* what) {
  const std::string entry = std::string("nb_read_") + what;
  const auto r = RunCommand("ffprobe -v error -count_" + std::string(what) + " -select_streams v:0 -show_entries stream=" +
                            entry + " -of csv=p=0 " + Quote(file));
  return r.exitCode == 0 && !r.output.empty() ? std::atoi(r.output.c_str()) : -1;
}

using movara::test::ExpectFfmpegDecodes;

std::vector<uint8_t> ReadSample(PAVISTREAM s, int32_t pos) {
  int32_t bytes = 0, samples = 0;
  if (AVIStreamRead(s, pos, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK) return {};
  std::vector<uint8_t> data(static_cast<size_t>(bytes));
  if (AVIStreamRead(s, pos, 1, data.data(), bytes, &bytes, &samples) != AVIERR_OK) return {};
  return data;
}

std::vector<uint8_t> ReadAllBytes(PAVISTREAM s) {
  std::vector<uint8_t> all;
  for (int32_t pos = AVIStreamStart(s); pos < AVIStreamEnd(s);) {
    int32_t bytes = 0, samples = 0;
    std::vector<uint8_t> d(65536);
    if (AVIStreamRead(s, pos, 16384, d.data(), 65536, &bytes, &samples) != AVIERR_OK || samples <= 0) break;
    all.insert(all.end(), d.begin(), d.begin() + bytes);
    pos += samples;
  }
  return all;
}

size_t CountOf(const std::vector<uint8_t>& bytes, const char* id) {
  size_t n = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) n += std::memcmp(bytes.data() + i, id, 4) == 0 ? 1 : 0;
  return n;
}

// A film as the film writer makes it: uncompressed frames ("DIB ", the sample size is the
// picture size, written with flags 0) and 16-bit stereo PCM, one block per frame.
class TFilmWriter {
 public:
  static constexpr int kRate = 25;
  static constexpr int kBlock = 44100 / kRate * 4;  // 1764 bytes of sound per frame

  TFilmWriter(int width, int height) : width_(width), height_(height) {}

  HRESULT Open(PAVIFILE file, bool withAudio = true) {
    file_ = file;
    AVISTREAMINFO vi;
    vi.fccType = streamtypeVIDEO;
    vi.fccHandler = FourCCFromString("DIB ");
    vi.dwScale = 1;
    vi.dwRate = kRate;
    vi.dwQuality = 0xFFFFFFFFu;
    vi.dwSampleSize = ImageSize();
    vi.rcFrame = RECT{0, 0, width_, height_};
    vi.SetName("Created 1.01.2024 at 9:05.00 - Movara");
    HRESULT r = AVIFileCreateStream(file, &video_, &vi);
    if (r != AVIERR_OK) return r;
    BITMAPINFOHEADER bih;
    bih.biWidth = width_;
    bih.biHeight = height_;
    bih.biBitCount = 24;
    bih.biSizeImage = ImageSize();
    const auto format = bih.Bytes();
    if ((r = AVIStreamSetFormat(video_, 0, format.data(), 40)) != AVIERR_OK) return r;
    if (!withAudio) return AVIERR_OK;
    const WAVEFORMATEX wf = MakePcmFormat(2, 44100, 16);
    AVISTREAMINFO ai;
    ai.fccType = streamtypeAUDIO;
    ai.wPriority = 1;
    ai.dwScale = wf.nBlockAlign;
    ai.dwRate = wf.nAvgBytesPerSec;
    ai.dwLength = 1;
    ai.dwQuality = 10000;
    ai.dwSampleSize = wf.nBlockAlign;
    if ((r = AVIFileCreateStream(file, &audio_, &ai)) != AVIERR_OK) return r;
    const auto wfBytes = TWaveFormat{wf, {}}.Bytes();
    return AVIStreamSetFormat(audio_, 0, wfBytes.data(), static_cast<int32_t>(wfBytes.size()));
  }

  uint32_t ImageSize() const { return static_cast<uint32_t>(((width_ * 3 + 3) & ~3) * height_); }

  std::vector<uint8_t> Frame(int n) const {
    std::vector<uint8_t> f(ImageSize());
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 3 + n * 11 + (i >> 9));
    return f;
  }
  std::vector<uint8_t> Sound(int n) const {
    std::vector<uint8_t> s(kBlock);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(i * 5 + n);
    return s;
  }

  // Writes frame n (at position n) and its sound block.
  HRESULT Add(int n) {
    const auto f = Frame(n);
    int32_t sw = 0, bw = 0;
    HRESULT r = AVIStreamWrite(video_, n, 1, f.data(), static_cast<int32_t>(f.size()), 0, &sw, &bw);
    if (r != AVIERR_OK) return r;
    EXPECT_EQ(sw, 1);
    EXPECT_EQ(bw, static_cast<int32_t>(f.size()));
    if (!audio_) return AVIERR_OK;
    const auto s = Sound(n);
    r = AVIStreamWrite(audio_, n * (kBlock / 4), kBlock / 4, s.data(), kBlock, 0, &sw, &bw);
    if (r == AVIERR_OK) {
      EXPECT_EQ(sw, kBlock / 4);
    }
    return r;
  }

  void Close() {
    AVIStreamRelease(audio_);
    AVIStreamRelease(video_);
    AVIFileRelease(file_);
    file_ = nullptr;
  }

  PAVISTREAM video_ = nullptr;
  PAVISTREAM audio_ = nullptr;

 private:
  int width_, height_;
  PAVIFILE file_ = nullptr;
};

TEST(AviFileWrite, PlainAviThatFfmpegReads) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  const std::string name = dir.File("film.avi");
  TFilmWriter film(64, 48);
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, name, OF_WRITE | OF_CREATE), AVIERR_OK);
  ASSERT_EQ(film.Open(f), AVIERR_OK);
  for (int n = 0; n < 50; ++n) ASSERT_EQ(film.Add(n), AVIERR_OK);
  AVISTREAMINFO written;
  AVIStreamInfo(film.video_, &written, sizeof written);
  EXPECT_EQ(written.dwLength, 50u);
  film.Close();

  const auto bytes = ReadBytes(name);
  EXPECT_EQ(GetLE32(bytes.data() + 4) + 8, bytes.size());
  EXPECT_EQ(CountOf(bytes, "AVIX"), 0u);
  EXPECT_EQ(CountOf(bytes, "indx"), 0u);
  EXPECT_EQ(CountOf(bytes, "idx1"), 1u);

  EXPECT_EQ(ProbeCount(name, "frames"), 50);
  ExpectFfmpegDecodes(name);
  const auto packets = FramePackets(name, "0:v");
  ASSERT_EQ(packets.size(), 50u);
  for (const TPacket& p : packets) EXPECT_EQ(p.md5, Md5(film.Frame(static_cast<int>(p.pts)))) << p.pts;
  // Frames of a fixed size are key frames, whatever flags they were written with.
  const std::string flags = ProbeKeyFlags(name);
  EXPECT_EQ(flags.find("__"), std::string::npos) << flags;
  std::vector<uint8_t> sound;
  for (int n = 0; n < 50; ++n) {
    const auto s = film.Sound(n);
    sound.insert(sound.end(), s.begin(), s.end());
  }
  ASSERT_EQ(RunCommand("ffmpeg -v error -i " + Quote(name) + " -map 0:a -c copy -f data " + Quote(dir.File("a.bin")))
                .exitCode,
            0);
  EXPECT_EQ(Md5(ReadBytes(dir.File("a.bin"))), Md5(sound));

  // And our own reading.
  TAviFilePtr file;
  ASSERT_EQ(AVIFileOpen(&f, name, OF_READ), AVIERR_OK);
  file.reset(f);
  PAVISTREAM v = nullptr, a = nullptr;
  ASSERT_EQ(AVIFileGetStream(f, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  ASSERT_EQ(AVIFileGetStream(f, &a, streamtypeAUDIO, 0), AVIERR_OK);
  TAviStreamPtr audio(a);
  AVISTREAMINFO vi;
  AVIStreamInfo(v, &vi, sizeof vi);
  EXPECT_EQ(vi.fccHandler, FourCCFromString("DIB "));
  EXPECT_EQ(vi.dwRate, 25u);
  EXPECT_EQ(vi.dwScale, 1u);
  EXPECT_EQ(vi.dwLength, 50u);
  EXPECT_EQ(vi.dwSampleSize, film.ImageSize());
  EXPECT_EQ(vi.dwQuality, 0xFFFFFFFFu);
  EXPECT_EQ(vi.rcFrame, (RECT{0, 0, 64, 48}));
  EXPECT_EQ(vi.Name(), "Created 1.01.2024 at 9:05.00 - Movara");
  EXPECT_EQ(ReadSample(v, 17), film.Frame(17));
  EXPECT_EQ(AVIStreamFindSample(v, 0, FIND_KEY | FIND_NEXT), 0);
  EXPECT_EQ(AVIStreamLength(a), 50 * TFilmWriter::kBlock / 4);
  EXPECT_EQ(ReadAllBytes(a), sound);
  AVIFILEINFO fi;
  ASSERT_EQ(AVIFileInfo(f, &fi, sizeof fi), AVIERR_OK);
  EXPECT_EQ(fi.dwStreams, 2u);
  EXPECT_EQ(fi.dwWidth, 64u);
  EXPECT_EQ(fi.dwLength, 50u);
  EXPECT_TRUE(fi.dwFlags & AVIF_HASINDEX);
}

// Compressed frames copied raw from an ffmpeg file into our file with parts of 64 KB:
// ffmpeg reads the OpenDML result as the original, frame for frame, key flags too.
class AviFileOpenDml : public ::testing::TestWithParam<const char*> {};

TEST_P(AviFileOpenDml, RawCopyInSmallParts) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  const std::string source = dir.File("source.avi");
  ASSERT_EQ(RunCommand(std::string("ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i "
                                   "sine=frequency=440:sample_rate=44100 -t 2 ") +
                       GetParam() + " -c:a pcm_s16le " + Quote(source))
                .exitCode,
            0);
  PAVIFILE in = nullptr;
  ASSERT_EQ(AVIFileOpen(&in, source, OF_READ), AVIERR_OK);
  TAviFilePtr inFile(in);
  PAVISTREAM sv = nullptr, sa = nullptr;
  ASSERT_EQ(AVIFileGetStream(in, &sv, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr srcVideo(sv);
  ASSERT_EQ(AVIFileGetStream(in, &sa, streamtypeAUDIO, 0), AVIERR_OK);
  TAviStreamPtr srcAudio(sa);

  const std::string name = dir.File("odml.avi");
  TAviWriteOptions options;
  options.riffLimit = 64 * 1024;
  PAVIFILE out = nullptr;
  ASSERT_EQ(AVIFileOpen(&out, name, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
  PAVISTREAM dv = nullptr, da = nullptr;
  AVISTREAMINFO vi, ai;
  AVIStreamInfo(sv, &vi, sizeof vi);
  AVIStreamInfo(sa, &ai, sizeof ai);
  ASSERT_EQ(AVIFileCreateStream(out, &dv, &vi), AVIERR_OK);
  ASSERT_EQ(AVIFileCreateStream(out, &da, &ai), AVIERR_OK);
  for (auto [from, to] : {std::pair{sv, dv}, std::pair{sa, da}}) {
    int32_t size = 0;
    ASSERT_EQ(AVIStreamFormatSize(from, 0, &size), AVIERR_OK);
    std::vector<uint8_t> format(static_cast<size_t>(size));
    AVIStreamReadFormat(from, 0, format.data(), &size);
    ASSERT_EQ(AVIStreamSetFormat(to, 0, format.data(), size), AVIERR_OK);
  }
  // Interleaved as a film: a frame, then the sound of its time.
  const int32_t frames = AVIStreamLength(sv);
  const int32_t perFrame = 44100 / 25;
  for (int32_t n = 0; n < frames; ++n) {
    const auto data = ReadSample(sv, n);
    const uint32_t flags = AVIStreamIsKeyFrame(sv, n) ? AVIIF_KEYFRAME : 0;
    int32_t sw = 0, bw = 0;
    ASSERT_EQ(AVIStreamWrite(dv, n, 1, data.data(), static_cast<int32_t>(data.size()), flags, &sw, &bw), AVIERR_OK);
    std::vector<uint8_t> pcm(perFrame * 2);
    int32_t samples = 0;
    if (AVIStreamRead(sa, n * perFrame, perFrame, pcm.data(), perFrame * 2, &bw, &samples) == AVIERR_OK) {
      ASSERT_EQ(AVIStreamWrite(da, -1, samples, pcm.data(), bw, 0, &sw, &bw), AVIERR_OK);
    }
  }
  AVIStreamRelease(da);
  AVIStreamRelease(dv);
  AVIFileRelease(out);

  const auto bytes = ReadBytes(name);
  EXPECT_GE(CountOf(bytes, "AVIX"), 2u);
  EXPECT_EQ(CountOf(bytes, "indx"), 2u);
  EXPECT_EQ(CountOf(bytes, "odml"), 1u);
  EXPECT_EQ(CountOf(bytes, "idx1"), 1u);
  // The first RIFF is an AVI 1.0 file of the frames in it: its own size and frame count.
  const uint32_t firstRiff = GetLE32(bytes.data() + 4);
  EXPECT_LE(firstRiff + 8, options.riffLimit);
  EXPECT_LT(GetLE32(bytes.data() + 48), uint32_t(frames));  // avih: frames of the first RIFF

  EXPECT_EQ(ProbeCount(name, "frames"), ProbeCount(source, "frames"));
  ExpectFfmpegDecodes(name);
  const auto expected = FramePackets(source, "0:v");
  const auto got = FramePackets(name, "0:v");
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].pts, expected[i].pts);
    EXPECT_EQ(got[i].md5, expected[i].md5) << i;
  }
  EXPECT_EQ(ProbeKeyFlags(name), ProbeKeyFlags(source));
  ASSERT_EQ(RunCommand("ffmpeg -v error -i " + Quote(name) + " -map 0:a -c copy -f data " + Quote(dir.File("a.bin")))
                .exitCode,
            0);
  EXPECT_EQ(Md5(ReadBytes(dir.File("a.bin"))), Md5(ReadAllBytes(sa)));

  // Our reader takes the OpenDML indexes: every frame and key flag as in the source.
  PAVIFILE back = nullptr;
  ASSERT_EQ(AVIFileOpen(&back, name, OF_READ), AVIERR_OK);
  TAviFilePtr backFile(back);
  PAVISTREAM bv = nullptr, ba = nullptr;
  ASSERT_EQ(AVIFileGetStream(back, &bv, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr backVideo(bv);
  ASSERT_EQ(AVIFileGetStream(back, &ba, streamtypeAUDIO, 0), AVIERR_OK);
  TAviStreamPtr backAudio(ba);
  ASSERT_EQ(AVIStreamLength(bv), frames);
  for (int32_t n = 0; n < frames; ++n) {
    EXPECT_EQ(ReadSample(bv, n), ReadSample(sv, n)) << n;
    EXPECT_EQ(AVIStreamIsKeyFrame(bv, n), AVIStreamIsKeyFrame(sv, n)) << n;
  }
  EXPECT_EQ(ReadAllBytes(ba), ReadAllBytes(sa));
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviFileOpenDml, ::testing::Values("-c:v mjpeg", "-c:v mpeg4 -g 12"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.index == 0 ? "Mjpeg" : "Mpeg4");
                         });

// A disk that fills up: the failed write is reported, and the file closed afterwards
// holds every frame before it and is read by ffmpeg without complaint.
TEST(AviFileWrite, FullDiskLeavesValidFile) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  struct TCase {
    uint64_t capacity;
    uint64_t riffLimit;
    int width;  // 2: 16-byte frames, so the disk is too full for the indexes
  };
  for (const TCase c : {TCase{40000, 1 << 30, 64}, TCase{100000, 1 << 30, 64}, TCase{100300, 1 << 30, 64},
                        TCase{150000, 30000, 64}, TCase{170000, 30000, 64}, TCase{200000, 20000, 64},
                        TCase{13000, 1 << 30, 2}, TCase{30000, 4096, 2}, TCase{30010, 4096, 2}}) {
    SCOPED_TRACE(testing::Message() << c.capacity << " " << c.riffLimit << " " << c.width);
    auto store = std::make_shared<TMemoryAviIO>(c.capacity);
    TAviWriteOptions options;
    options.riffLimit = c.riffLimit;
    PAVIFILE f = nullptr;
    ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
    TFilmWriter film(c.width, c.width * 3 / 4);
    ASSERT_EQ(film.Open(f, c.width > 2), AVIERR_OK);
    int added = 0;
    HRESULT r = AVIERR_OK;
    while (added < 5000 && (r = film.Add(added)) == AVIERR_OK) ++added;
    EXPECT_EQ(r, AVIERR_FILEWRITE);
    // The frame of the failed step is written when only its sound failed.
    const int written = AVIStreamLength(film.video_);
    EXPECT_GE(written, added);
    EXPECT_LE(store->Size(), c.capacity);
    film.Close();

    const auto bytes = store->Bytes();
    PAVIFILE back = nullptr;
    ASSERT_EQ(AVIFileOpenIO(&back, std::make_shared<TMemoryAviIO>(bytes), OF_READ), AVIERR_OK);
    PAVISTREAM v = nullptr;
    ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
    const int32_t frames = AVIStreamLength(v);
    // A single RIFF keeps every frame (idx1 or not); with parts, the last part's
    // indexes need room that its last chunks give up (one big one, or many tiny ones).
    if (c.riffLimit >= bytes.size())
      EXPECT_EQ(frames, written);
    else
      EXPECT_GE(frames, c.width > 2 ? written - 1 : written * 9 / 10);
    EXPECT_LE(frames, written);
    for (int32_t n = 0; n < frames; ++n) EXPECT_EQ(ReadSample(v, n), film.Frame(n)) << n;
    AVIStreamRelease(v);
    AVIFileRelease(back);
    EXPECT_EQ(GetLE32(bytes.data() + 4) + 8 <= bytes.size(), true);

    const std::string name = dir.File("full.avi");
    WriteBytes(name, bytes);
    EXPECT_EQ(ProbeCount(name, "packets"), frames);
    ExpectFfmpegDecodes(name);
  }
}

// After a failed write the writer goes on where it stopped once there is room again
// (the film writer asks the user to free disk space and retries).
TEST(AviFileWrite, RetryAfterFullDisk) {
  auto store = std::make_shared<TMemoryAviIO>(60000);
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE), AVIERR_OK);
  TFilmWriter film(64, 48);
  ASSERT_EQ(film.Open(f, false), AVIERR_OK);
  int n = 0;
  while (film.Add(n) == AVIERR_OK) ++n;
  store->SetCapacity(UINT64_MAX);
  ASSERT_EQ(film.Add(n), AVIERR_OK);
  ASSERT_EQ(film.Add(n + 1), AVIERR_OK);
  film.Close();
  PAVIFILE back = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&back, store, OF_READ), AVIERR_OK);
  TAviFilePtr file(back);
  PAVISTREAM v = nullptr;
  ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  ASSERT_EQ(AVIStreamLength(v), n + 2);
  for (int i = 0; i < n + 2; ++i) EXPECT_EQ(ReadSample(v, i), film.Frame(i)) << i;
}

TEST(AviFileWrite, CallRules) {
  auto store = std::make_shared<TMemoryAviIO>();
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE), AVIERR_OK);
  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = FourCCFromString("MJPG");
  info.dwScale = 1;
  info.dwRate = 0;
  PAVISTREAM v = nullptr;
  EXPECT_EQ(AVIFileCreateStream(f, &v, &info), AVIERR_BADPARAM);  // no rate
  info.dwRate = 10;
  info.dwStart = 3;
  ASSERT_EQ(AVIFileCreateStream(f, &v, &info), AVIERR_OK);
  AVISTREAMINFO ai;
  ai.fccType = streamtypeAUDIO;
  ai.dwScale = 4;
  ai.dwRate = 32000;
  ai.dwSampleSize = 4;
  PAVISTREAM a = nullptr;
  ASSERT_EQ(AVIFileCreateStream(f, &a, &ai), AVIERR_OK);

  const uint8_t frame[5] = {1, 2, 3, 4, 5};
  int32_t sw = -1, bw = -1;
  EXPECT_EQ(AVIStreamWrite(v, 3, 1, frame, 5, AVIIF_KEYFRAME, &sw, &bw), AVIERR_BADFORMAT);  // no format yet
  EXPECT_EQ(sw, 0);
  BITMAPINFOHEADER bih;
  bih.biWidth = 4;
  bih.biHeight = 2;
  bih.biBitCount = 24;
  bih.biCompression = FourCCFromString("MJPG");
  const auto format = bih.Bytes();
  ASSERT_EQ(AVIStreamSetFormat(v, 0, format.data(), 40), AVIERR_OK);
  const auto wf = TWaveFormat{MakePcmFormat(2, 8000, 16), {}}.Bytes();
  ASSERT_EQ(AVIStreamSetFormat(a, 0, wf.data(), static_cast<int32_t>(wf.size())), AVIERR_OK);

  ASSERT_EQ(AVIStreamWrite(v, 3, 1, frame, 5, AVIIF_KEYFRAME, &sw, &bw), AVIERR_OK);
  EXPECT_EQ(sw, 1);
  EXPECT_EQ(bw, 5);
  EXPECT_EQ(AVIStreamWrite(v, 3, 1, frame, 5, 0, &sw, &bw), AVIERR_UNSUPPORTED);  // written already
  EXPECT_EQ(AVIStreamWrite(v, 4, 2, frame, 5, 0, &sw, &bw), AVIERR_UNSUPPORTED);  // one frame a call
  ASSERT_EQ(AVIStreamWrite(v, 6, 1, frame, 4, 0, &sw, &bw), AVIERR_OK);            // 4 and 5 are empty
  ASSERT_EQ(AVIStreamWrite(v, -1, 1, frame, 3, AVIIF_KEYFRAME, &sw, &bw), AVIERR_OK);  // appended: 7
  EXPECT_EQ(AVIStreamWrite(a, 0, 1, frame, 5, 0, &sw, &bw), AVIERR_BADPARAM);  // not whole samples
  ASSERT_EQ(AVIStreamWrite(a, 0, 99, frame, 4, 0, &sw, &bw), AVIERR_OK);
  EXPECT_EQ(sw, 1);  // the count follows from the size
  EXPECT_EQ(AVIStreamLength(v), 5);
  EXPECT_EQ(AVIStreamFindSample(v, 4, FIND_KEY | FIND_NEXT), 7);

  // The layout is fixed once data is written.
  PAVISTREAM late = nullptr;
  EXPECT_EQ(AVIFileCreateStream(f, &late, &info), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIStreamSetFormat(v, 0, format.data(), 40), AVIERR_OK);  // the same format
  bih.biWidth = 8;
  const auto other = bih.Bytes();
  EXPECT_EQ(AVIStreamSetFormat(v, 0, other.data(), 40), AVIERR_UNSUPPORTED);
  int32_t bytes = 0;
  EXPECT_EQ(AVIStreamRead(v, 3, 1, nullptr, 0, &bytes, nullptr), AVIERR_UNSUPPORTED);
  AVIStreamRelease(a);
  AVIStreamRelease(v);
  EXPECT_EQ(AVIFileRelease(f), 0u);

  ASSERT_EQ(AVIFileOpenIO(&f, store, OF_READ), AVIERR_OK);
  TAviFilePtr file(f);
  ASSERT_EQ(AVIFileGetStream(f, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  EXPECT_EQ(AVIStreamWrite(v, -1, 1, frame, 5, 0, &sw, &bw), AVIERR_READONLY);
  EXPECT_EQ(AVIStreamStart(v), 3);
  EXPECT_EQ(AVIStreamLength(v), 5);
  EXPECT_EQ(ReadSample(v, 3), std::vector<uint8_t>(frame, frame + 5));
  EXPECT_TRUE(ReadSample(v, 4).empty());
  EXPECT_EQ(ReadSample(v, 6), std::vector<uint8_t>(frame, frame + 4));
  EXPECT_TRUE(AVIStreamIsKeyFrame(v, 3));
  EXPECT_FALSE(AVIStreamIsKeyFrame(v, 6));
  EXPECT_TRUE(AVIStreamIsKeyFrame(v, 7));
  EXPECT_EQ(AVIStreamFindSample(v, 4, FIND_ANY | FIND_NEXT), 6);
}

// A file whose super indexes are full refuses more data and stays readable.
TEST(AviFileWrite, FullSuperIndexStopsCleanly) {
  auto store = std::make_shared<TMemoryAviIO>();
  TAviWriteOptions options;
  options.riffLimit = 8192;
  options.superIndexEntries = 3;
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
  TFilmWriter film(32, 24);  // 2304-byte frames: three to a part, three parts
  ASSERT_EQ(film.Open(f, false), AVIERR_OK);
  int n = 0;
  HRESULT r;
  while ((r = film.Add(n)) == AVIERR_OK && n < 100) ++n;
  EXPECT_EQ(r, AVIERR_FILEWRITE);
  EXPECT_GT(n, 6);
  EXPECT_LT(n, 12);
  film.Close();
  PAVIFILE back = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&back, store, OF_READ), AVIERR_OK);
  TAviFilePtr file(back);
  PAVISTREAM v = nullptr;
  ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  ASSERT_EQ(AVIStreamLength(v), n);
  EXPECT_EQ(ReadSample(v, n - 1), film.Frame(n - 1));
}

// A film whose writer was killed (the RIFF and movi sizes never written, a part left
// open) is read as far as its data goes, as ffmpeg reads it; a chunk cut short by the
// kill ends it.
TEST(AviFileWrite, KilledFilmReadsAsFarAsItsDataGoes) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  for (const uint64_t riffLimit : {uint64_t(1) << 30, uint64_t(16) << 10}) {
    SCOPED_TRACE(riffLimit);
    auto store = std::make_shared<TMemoryAviIO>();
    TAviWriteOptions options;
    options.riffLimit = riffLimit;
    PAVIFILE f = nullptr;
    ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
    TFilmWriter film(32, 24);  // 2304-byte frames and 1764 bytes of sound: 4 steps a part
    ASSERT_EQ(film.Open(f), AVIERR_OK);
    constexpr int kFrames = 10;
    std::vector<uint8_t> sound;
    for (int n = 0; n < kFrames; ++n) {
      ASSERT_EQ(film.Add(n), AVIERR_OK);
      const auto s = film.Sound(n);
      sound.insert(sound.end(), s.begin(), s.end());
    }
    const std::vector<uint8_t> killed = store->Bytes();  // what the disk holds at the kill
    if (riffLimit > killed.size()) {
      EXPECT_EQ(GetLE32(killed.data() + 4), 0u);
    } else {
      EXPECT_GE(CountOf(killed, "AVIX"), 2u);
    }
    film.Close();

    for (const size_t cut : {size_t(0), size_t(100)}) {
      const std::vector<uint8_t> bytes(killed.begin(), killed.end() - static_cast<std::ptrdiff_t>(cut));
      PAVIFILE back = nullptr;
      ASSERT_EQ(AVIFileOpenIO(&back, std::make_shared<TMemoryAviIO>(bytes), OF_READ), AVIERR_OK);
      TAviFilePtr file(back);
      PAVISTREAM v = nullptr, a = nullptr;
      ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
      TAviStreamPtr video(v);
      ASSERT_EQ(AVIFileGetStream(back, &a, streamtypeAUDIO, 0), AVIERR_OK);
      TAviStreamPtr audio(a);
      ASSERT_EQ(AVIStreamLength(v), kFrames);
      for (int n = 0; n < kFrames; ++n) EXPECT_EQ(ReadSample(v, n), film.Frame(n)) << n;
      const auto got = ReadAllBytes(a);
      ASSERT_EQ(got.size(), sound.size() - cut);  // the last chunk is sound, cut by whole samples
      EXPECT_TRUE(std::equal(got.begin(), got.end(), sound.begin()));
      if (cut == 0) {
        const std::string name = dir.File("killed.avi");
        WriteBytes(name, bytes);
        EXPECT_EQ(ProbeCount(name, "packets"), kFrames);
      }
    }
  }
}

// A film in OpenDML parts whose standard index lies about one chunk's size: the index
// is dropped and the parts walked, and every frame reads as written.
TEST(AviFileWrite, LyingOpenDmlIndexIsDropped) {
  auto store = std::make_shared<TMemoryAviIO>();
  TAviWriteOptions options;
  options.riffLimit = 16 << 10;
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&f, store, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
  TFilmWriter film(32, 24);
  ASSERT_EQ(film.Open(f, false), AVIERR_OK);
  constexpr int kFrames = 20;
  for (int n = 0; n < kFrames; ++n) ASSERT_EQ(film.Add(n), AVIERR_OK);
  film.Close();
  auto bytes = store->Bytes();
  // The second entry of the second part's frame index claims 0x10000 bytes more.
  size_t ix = 0;
  for (size_t at = 0, seen = 0; at + 4 <= bytes.size(); ++at)
    if (std::memcmp(bytes.data() + at, "ix00", 4) == 0 && ++seen == 2) {
      ix = at;
      break;
    }
  ASSERT_GT(ix, 0u);
  const size_t entry = ix + 32 + 8;
  PutLE32(bytes.data() + entry + 4, GetLE32(bytes.data() + entry + 4) + 0x10000);
  PAVIFILE back = nullptr;
  ASSERT_EQ(AVIFileOpenIO(&back, std::make_shared<TMemoryAviIO>(bytes), OF_READ), AVIERR_OK);
  TAviFilePtr file(back);
  PAVISTREAM v = nullptr;
  ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  ASSERT_EQ(AVIStreamLength(v), kFrames);
  for (int n = 0; n < kFrames; ++n) EXPECT_EQ(ReadSample(v, n), film.Frame(n)) << n;
}

// Past 1 GB (and 4 GB): the film continues in AVIX parts and every frame is still there.
// MOVARA_LONG_TESTS=1 build/test_platform --gtest_filter='*LONG_*' (needs 5.5 GB of
// free space in the temporary folder and a few minutes).
void WriteAndCheckLongFilm(int frames) {
  const char* longTests = std::getenv("MOVARA_LONG_TESTS");
  if (!longTests || std::string(longTests) != "1") GTEST_SKIP() << "set MOVARA_LONG_TESTS=1 to run";
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  const std::string name = dir.File("long.avi");
  TFilmWriter film(640, 480);  // 921600-byte frames
  PAVIFILE f = nullptr;
  ASSERT_EQ(AVIFileOpen(&f, name, OF_WRITE | OF_CREATE), AVIERR_OK);
  ASSERT_EQ(film.Open(f), AVIERR_OK);
  for (int n = 0; n < frames; ++n) ASSERT_EQ(film.Add(n), AVIERR_OK) << n;
  film.Close();

  EXPECT_EQ(ProbeCount(name, "packets"), frames);
  const auto check = RunCommand("ffmpeg -v error -i " + Quote(name) + " -map 0 -c copy -f null -");
  EXPECT_EQ(check.output, "");
  PAVIFILE back = nullptr;
  ASSERT_EQ(AVIFileOpen(&back, name, OF_READ), AVIERR_OK);
  TAviFilePtr file(back);
  PAVISTREAM v = nullptr, a = nullptr;
  ASSERT_EQ(AVIFileGetStream(back, &v, streamtypeVIDEO, 0), AVIERR_OK);
  TAviStreamPtr video(v);
  ASSERT_EQ(AVIFileGetStream(back, &a, streamtypeAUDIO, 0), AVIERR_OK);
  TAviStreamPtr audio(a);
  ASSERT_EQ(AVIStreamLength(v), frames);
  for (int n : {0, 1, 1163, 1164, 1165, frames / 2, frames - 2, frames - 1})
    EXPECT_EQ(ReadSample(v, n), film.Frame(n)) << n;
  EXPECT_EQ(AVIStreamLength(a), frames * TFilmWriter::kBlock / 4);
  std::vector<uint8_t> last(TFilmWriter::kBlock);
  int32_t bytes = 0, samples = 0;
  ASSERT_EQ(AVIStreamRead(a, (frames - 1) * TFilmWriter::kBlock / 4, TFilmWriter::kBlock / 4, last.data(),
                          TFilmWriter::kBlock, &bytes, &samples),
            AVIERR_OK);
  EXPECT_EQ(last, film.Sound(frames - 1));

  // The RIFF parts follow one another to the end of the file, none past 1 GB.
  const auto io = OpenAviFileIO(name, false);
  ASSERT_TRUE(io);
  uint64_t at = 0;
  int parts = 0;
  uint8_t riff[12];
  while (at < io->Size()) {
    ASSERT_EQ(io->ReadAt(at, riff, 12), 12u) << at;
    EXPECT_EQ(std::memcmp(riff, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(riff + 8, parts == 0 ? "AVI " : "AVIX", 4), 0);
    EXPECT_LE(GetLE32(riff + 4), 1u << 30);
    at += GetLE32(riff + 4) + 8;
    ++parts;
  }
  EXPECT_EQ(at, io->Size());
  EXPECT_EQ(uint64_t(parts), (io->Size() >> 30) + 1);
}

TEST(AviFileWrite, LONG_PastOneGigabyte) { WriteAndCheckLongFilm(1300); }
TEST(AviFileWrite, LONG_PastFourGigabytes) { WriteAndCheckLongFilm(4800); }

}  // namespace
}  // namespace movara
