// The film writer against the ffmpeg programs: films of moving pictures and sine sound in
// several video and sound codecs are read back by ffprobe and decoded whole by ffmpeg;
// continuation files at a size limit, raw-copy runs from ffmpeg-made files, key frames
// after runs and new files, a full disk, an unwritable folder, trimming, and the
// compressor's own rules.
#include "output/AviMaker.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/UserMessages.h"
#include "output/FilmSettings.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::ReadBytes;
using movara::test::RunCommand;
using movara::test::TTempDir;
using movara::test::WriteBytes;

namespace {

namespace fs = std::filesystem;

constexpr int kW = 320, kH = 240, kFps = 25, kRate = 44100;

// A moving pattern: every frame differs from the one before.
void PaintFrame(TDIB& dib, int k) {
  for (int y = 0; y < dib.Height(); ++y) {
    uint8_t* p = dib.ScanLine(y);
    for (int x = 0; x < dib.Width(); ++x, p += 3) {
      p[0] = static_cast<uint8_t>(x + 4 * k);
      p[1] = static_cast<uint8_t>(y + 2 * k);
      p[2] = static_cast<uint8_t>(((x / 16) ^ (y / 16)) * 20 + k);
    }
  }
}

// Stereo 16-bit sine blocks of ms milliseconds, the phase going on from block to block.
class TSine {
 public:
  std::vector<uint8_t> Block(int ms) {
    const int frames = kRate * ms / 1000;
    std::vector<uint8_t> b(static_cast<size_t>(frames) * 4);
    for (int i = 0; i < frames; ++i, ++n_) {
      const auto v = static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440.0 * n_ / kRate)));
      for (int c = 0; c < 2; ++c) {
        b[static_cast<size_t>(i) * 4 + c * 2] = static_cast<uint8_t>(v & 0xFF);
        b[static_cast<size_t>(i) * 4 + c * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
      }
    }
    return b;
  }

 private:
  int64_t n_ = 0;
};

TAviAudioOptions SoundOptions(uint16_t tag, int blockMs) {
  TAviAudioOptions a;
  a.MakeAudio = tag != 0;
  a.SourceFormat = MakePcmFormat(2, kRate, 16);
  a.DestFormat = MakePcmFormat(2, kRate, 16);
  a.DestFormat.wFormatTag = tag;
  a.BlockSize = kRate * blockMs / 1000 * 4;
  a.BlockDuration = blockMs;
  return a;
}

TAviVideoOptions PictureOptions(TDIB* dib, const char* codec) {
  TAviVideoOptions v;
  v.MakeVideo = codec != nullptr;
  v.DIB = dib;
  v.FramesPerSecond = kFps;
  if (codec && std::string(codec) != "DIB ") {
    v.Compress = true;
    v.UseGivenSettings = true;
    v.Compvars.fccType = ICTYPE_VIDEO;
    v.Compvars.fccHandler = VideoFourCCFromText(codec);
    v.Compvars.lQ = 7500;
  }
  return v;
}

// Interleaved as the film thread writes: one block of sound, then the frames it covers.
void WriteFilm(TAVIMaker& maker, TDIB& dib, int frames, int blockMs, bool sound, int firstFrame = 0) {
  TSine sine;
  const int perBlock = blockMs * kFps / 1000;
  for (int k = 0; k < frames;) {
    if (sound) {
      const auto b = sine.Block(blockMs);
      ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
    }
    for (int j = 0; j < perBlock && k < frames; ++j, ++k) {
      PaintFrame(dib, firstFrame + k);
      ASSERT_TRUE(maker.AddVideoFrame()) << "frame " << k;
    }
  }
}

using TStreamProbe = std::map<std::string, std::string>;

// ffprobe's view of every stream: codec_type, codec_name, width, height, nb_frames, duration.
std::vector<TStreamProbe> Probe(const std::string& file) {
  const auto r = RunCommand("ffprobe -v error -show_entries "
                            "stream=codec_type,codec_name,width,height,nb_frames,duration,sample_rate,channels "
                            "-of compact=p=0 " +
                            Quote(file));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<TStreamProbe> streams;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    TStreamProbe s;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '|')) {
      const auto eq = field.find('=');
      if (eq != std::string::npos) s[field.substr(0, eq)] = field.substr(eq + 1);
    }
    if (!s.empty()) streams.push_back(s);
  }
  return streams;
}

const TStreamProbe* StreamOf(const std::vector<TStreamProbe>& streams, const std::string& type) {
  for (const auto& s : streams)
    if (s.count("codec_type") && s.at("codec_type") == type) return &s;
  return nullptr;
}

// Seconds of the sound as ffmpeg decodes it (the AVI header gives no duration for it).
double SoundSeconds(const std::string& file) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) +
                            " -map 0:a:0 -f s16le -acodec pcm_s16le -ac 2 -ar 44100 - | wc -c");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return std::stod(r.output) / 4 / kRate;
}

using movara::test::ExpectFfmpegDecodes;

// Key-frame flags of the video packets in order ("K" or "_").
std::vector<bool> VideoKeyFlags(const std::string& file) {
  const auto r = RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " + Quote(file));
  std::vector<bool> keys;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) keys.push_back(line[0] == 'K');
  return keys;
}

std::vector<int> VideoPacketSizes(const std::string& file) {
  const auto r = RunCommand("ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 " + Quote(file));
  std::vector<int> sizes;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) sizes.push_back(std::stoi(line));
  return sizes;
}

struct TFilmCase {
  const char* video;     // nullptr: no video
  uint16_t sound;        // 0: no sound
  int blockMs;
  const char* videoCodec;
  const char* soundCodec;
};

class AviMakerFilm : public ::testing::TestWithParam<TFilmCase> {};

TEST_P(AviMakerFilm, FfprobeReadsWhatWasWrittenAndFfmpegDecodesIt) {
  REQUIRE_PROGRAM("ffprobe");
  const TFilmCase c = GetParam();
  TTempDir dir;
  TScopedMessageRecorder messages;
  const std::string file = dir.File("film.avi");
  TDIB dib(kW, kH, 24);
  constexpr int kFrames = 50;
  {
    TAVIMaker maker(nullptr, SoundOptions(c.sound, c.blockMs), PictureOptions(&dib, c.video), file);
    ASSERT_TRUE(maker.Initialized()) << ::testing::PrintToString(messages.Texts());
    if (c.video) {
      WriteFilm(maker, dib, kFrames, c.blockMs, c.sound != 0);
    } else {
      TSine sine;
      for (int t = 0; t < 2000; t += c.blockMs) {
        const auto b = sine.Block(c.blockMs);
        ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
      }
    }
  }
  EXPECT_TRUE(messages.Texts().empty()) << ::testing::PrintToString(messages.Texts());
  const auto streams = Probe(file);
  ASSERT_EQ(streams.size(), size_t((c.video ? 1 : 0) + (c.sound ? 1 : 0)));
  if (c.video) {
    const TStreamProbe* v = StreamOf(streams, "video");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->at("codec_name"), c.videoCodec);
    EXPECT_EQ(v->at("width"), "320");
    EXPECT_EQ(v->at("height"), "240");
    EXPECT_EQ(v->at("nb_frames"), "50");
    EXPECT_NEAR(std::stod(v->at("duration")), 2.0, 1e-6);
  }
  if (c.sound) {
    const TStreamProbe* a = StreamOf(streams, "audio");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->at("codec_name"), c.soundCodec);
    EXPECT_EQ(a->at("sample_rate"), "44100");
    EXPECT_EQ(a->at("channels"), "2");
    // Two seconds of sound, within one block (an encoder rounds up to its own frames).
    EXPECT_NEAR(SoundSeconds(file), 2.0, c.blockMs / 1000.0 + 0.03);
  }
  ExpectFfmpegDecodes(file);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviMakerFilm,
    ::testing::Values(TFilmCase{"DIB ", WAVE_FORMAT_PCM, 1000, "rawvideo", "pcm_s16le"},
                      TFilmCase{"MJPG", WAVE_FORMAT_PCM, 40, "mjpeg", "pcm_s16le"},
                      TFilmCase{"FMP4", WAVE_FORMAT_IMA_ADPCM, 1000, "mpeg4", "adpcm_ima_wav"},
                      TFilmCase{"MJPG", WAVE_FORMAT_MPEGLAYER3, 40, "mjpeg", "mp3"},
                      TFilmCase{"FMP4", 0, 1000, "mpeg4", nullptr},
                      TFilmCase{nullptr, WAVE_FORMAT_IMA_ADPCM, 500, nullptr, "adpcm_ima_wav"}),
    [](const ::testing::TestParamInfo<TFilmCase>& info) {
      std::string n = info.param.video ? VideoFourCCText(VideoFourCCFromText(info.param.video)) : "NoVideo";
      n += info.param.soundCodec ? info.param.soundCodec : "NoSound";
      n += std::to_string(info.param.blockMs);
      std::string clean;
      for (char ch : n)
        if (std::isalnum(static_cast<unsigned char>(ch))) clean += ch;
      return clean;
    });

TEST(AviMaker, SizeEstimateOfUncompressedVideoAndTheLimits) {
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  TAVIMaker maker(nullptr, SoundOptions(0, 1000), PictureOptions(&dib, "DIB "), dir.File("a.avi"));
  ASSERT_TRUE(maker.Initialized());
  EXPECT_EQ(maker.MaxFrameDataSize(), (230400 + 24) * 2);
  EXPECT_EQ(maker.TotalWrittenDataSize(), 2056);
  PaintFrame(dib, 0);
  ASSERT_TRUE(maker.AddVideoFrame());
  EXPECT_EQ(maker.TotalWrittenDataSize(), 2056 + 230400 + 24);

  EXPECT_EQ(maker.MaxFileSize(), 0x7FFFFFFFu);  // before any limit
  const std::string name = maker.VideoStreamInfo().Name();
  EXPECT_EQ(name.rfind("Created ", 0), 0u) << name;
  EXPECT_NE(name.find(" at "), std::string::npos) << name;
  EXPECT_EQ(name.substr(name.size() - 9), " - Movara") << name;
  EXPECT_EQ(maker.VideoStreamInfo().dwSampleSize, 230400u);
  EXPECT_EQ(maker.VideoStreamInfo().dwQuality, 0xFFFFFFFFu);
  EXPECT_EQ(maker.VideoStreamInfo().fccHandler, VideoFourCC("DIB "));
  maker.SetMaxFileSize(10 << 20);
  EXPECT_EQ(maker.MaxFileSize(), 0x7FFFFFFFu);
  EXPECT_EQ(maker.MaxFileSizeOverride(), 0u);
  maker.SetMaxFileSize(20971520);  // 20 MB: still too small
  EXPECT_EQ(maker.MaxFileSize(), 0x7FFFFFFFu);
  maker.SetMaxFileSize(20971521);
  EXPECT_EQ(maker.MaxFileSize(), 20971521u);
  maker.SetMaxFileSize(-1);
  EXPECT_EQ(maker.MaxFileSize(), 0x7FFFFFFFu);
  maker.SetMaxFileSize(int64_t(5) << 30);  // 5 GB: never splits
  EXPECT_EQ(maker.MaxFileSize(), uint32_t((int64_t(5) << 30) & 0xFFFFFFFF));
  EXPECT_EQ(maker.MaxFileSizeOverride(), 1u);
  EXPECT_TRUE(maker.IsSave2GB());
  maker.SetMaxFileSize(100 << 20);
  EXPECT_EQ(maker.MaxFileSize(), 100u << 20);
  EXPECT_EQ(maker.MaxFileSizeOverride(), 0u);
  maker.SetMaxFileSize(TFilmSettingsData().MaxAviFileSize);  // the settings' "2 GB"
  EXPECT_EQ(maker.MaxFileSize(), 0x7FFFFFFFu);
  EXPECT_EQ(maker.MaxFileSizeOverride(), 0u);
}

TEST(AviMaker, SoundAndVideoEstimateAndCompressedSizesWithPadding) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("m.avi");
  const TAviAudioOptions sound = SoundOptions(WAVE_FORMAT_PCM, 1000);
  int64_t total = 0;
  {
    TAVIMaker maker(nullptr, sound, PictureOptions(&dib, "MJPG"), file);
    ASSERT_TRUE(maker.Initialized());
    const int64_t largest = maker.VideoCompressor()->MaxCompressedSize();
    EXPECT_EQ(maker.MaxFrameDataSize(), (largest + 24 + sound.BlockSize + 24) * (kFps + 1));
    WriteFilm(maker, dib, 20, 1000, false);
    total = maker.TotalWrittenDataSize();
  }
  // Every chunk counts its data, 24 bytes and the padding byte of an odd size.
  int64_t expected = 2056;
  int odd = 0;
  for (int s : VideoPacketSizes(file)) {
    expected += s + 24 + (s & 1);
    odd += s & 1;
  }
  EXPECT_EQ(total, expected) << odd << " odd frames";
}

TEST(AviMaker, SplitIntoContinuationFilesWaitsForTheSound) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("film.avi");
  constexpr int64_t kLimit = 22020096;  // 21 MB
  std::vector<int> framesPerFile;
  {
    TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(&dib, "DIB "), file);
    ASSERT_TRUE(maker.Initialized());
    maker.SetMaxFileSize(kLimit);
    TSine sine;
    int frame = 0;
    for (int second = 0; second < 8; ++second) {
      const auto b = sine.Block(1000);
      ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
      for (int j = 0; j < kFps; ++j) {
        // Within a second the video is behind the sound: no split before its last frame.
        const int filesBefore = maker.ContinuationCount();
        PaintFrame(dib, frame++);
        ASSERT_TRUE(maker.AddVideoFrame());
        if (j < kFps - 1) {
          EXPECT_EQ(maker.ContinuationCount(), filesBefore) << "frame " << frame;
        }
      }
    }
    // The last frame filled a file: the next one is begun, and left out as empty. Until
    // the film is closed its files have temporary names.
    EXPECT_EQ(maker.ContinuationCount(), 4);
    EXPECT_EQ(maker.CurrentFileName(), dir.File("film04.AVI"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(maker.Close());
    EXPECT_EQ(maker.Files(), (std::vector<std::string>{file, dir.File("film01.AVI"), dir.File("film02.AVI"),
                                                       dir.File("film03.AVI")}));
  }
  EXPECT_TRUE(messages.Texts().empty());
  // The estimate keeps a second of frames and a block of sound free: two seconds a file.
  const std::vector<std::string> files = {file, dir.File("film01.AVI"), dir.File("film02.AVI"),
                                          dir.File("film03.AVI")};
  const int expectedFrames[] = {50, 50, 50, 50};
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_TRUE(fs::exists(files[i]));
    EXPECT_LE(fs::file_size(files[i]), uint64_t(kLimit));
    const auto streams = Probe(files[i]);
    const TStreamProbe* v = StreamOf(streams, "video");
    const TStreamProbe* a = StreamOf(streams, "audio");
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->at("codec_name"), "rawvideo");
    EXPECT_EQ(a->at("codec_name"), "pcm_s16le");
    EXPECT_EQ(v->at("nb_frames"), std::to_string(expectedFrames[i]));
    // Each file ends where its video has caught up with its sound.
    EXPECT_NEAR(SoundSeconds(files[i]), expectedFrames[i] / double(kFps), 1e-3);
    ExpectFfmpegDecodes(files[i]);
  }
  EXPECT_FALSE(fs::exists(dir.File("film04.AVI")));
}

TEST(AviMaker, SoundOnlyFilmSplitsAfterAnyBlock) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string file = dir.File("sound.avi");
  {
    TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(nullptr, nullptr), file);
    ASSERT_TRUE(maker.Initialized());
    EXPECT_EQ(maker.MaxFrameDataSize(), 176400 + 24);
    maker.SetMaxFileSize(20971521);
    TSine sine;
    for (int k = 0; k < 130; ++k) {
      const auto b = sine.Block(1000);
      ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
    }
    EXPECT_EQ(maker.ContinuationCount(), 1);
  }
  // (20971521 - 2056 - 176424) / 176424 blocks fit before the estimate reaches the limit.
  EXPECT_NEAR(SoundSeconds(file), 118.0, 1e-3);
  EXPECT_NEAR(SoundSeconds(dir.File("sound01.AVI")), 12.0, 1e-3);
  ExpectFfmpegDecodes(dir.File("sound01.AVI"));
}

TEST(AviMaker, AContinuationFileThatCannotBeMadeEndsTheFilm) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  // A folder (not empty) holds the name of the first continuation file.
  fs::create_directory(dir.File("f01.AVI"));
  WriteBytes(dir.File("f01.AVI/x"), {1});
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("f.avi");
  int written = 0;
  {
    TAVIMaker maker(nullptr, SoundOptions(0, 1000), PictureOptions(&dib, "DIB "), file);
    maker.SetMaxFileSize(20971521);
    for (int k = 0; k < 100; ++k) {
      PaintFrame(dib, k);
      if (!maker.AddVideoFrame()) break;
      ++written;
    }
    EXPECT_FALSE(maker.Initialized());
    EXPECT_FALSE(maker.AddVideoFrame());
  }
  // (20971521 - 2056 - 2 x 230424) / 230424 is just above 89: the 90th frame fills the file.
  // It stays in it, though its call reports the failed split.
  EXPECT_EQ(written, 89);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{Format("Nie mogę utworzyć pliku \"%s\": to folder, a nie plik",
                                                                dir.File("f01.AVI").c_str())}));
  const auto streams = Probe(file);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("nb_frames"), "90");
  ExpectFfmpegDecodes(file);
}

TEST(AviMaker, EveryContinuationFileOfACompressedFilmStartsWithAKeyFrame) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  // Noise compresses badly: a few hundred frames pass the smallest limit.
  uint32_t seed = 12345;
  const std::string file = dir.File("k.avi");
  int written = 0;
  {
    TAviVideoOptions v = PictureOptions(&dib, "FMP4");
    v.Compvars.lQ = 10000;
    TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, file);
    ASSERT_TRUE(maker.Initialized());
    maker.SetMaxFileSize(20971521);
    for (int k = 0; k < 600 && maker.ContinuationCount() < 1; ++k) {
      for (int y = 0; y < kH; ++y) {
        uint8_t* p = dib.ScanLine(y);
        for (int x = 0; x < kW * 3; ++x) {
          seed = seed * 1664525u + 1013904223u;
          p[x] = static_cast<uint8_t>(seed >> 24);
        }
      }
      ASSERT_TRUE(maker.AddVideoFrame());
      ++written;
    }
    ASSERT_EQ(maker.ContinuationCount(), 1);
    for (int k = 0; k < 5; ++k) {
      PaintFrame(dib, k);
      ASSERT_TRUE(maker.AddVideoFrame());
    }
  }
  const auto first = VideoKeyFlags(file);
  const auto second = VideoKeyFlags(dir.File("k01.AVI"));
  ASSERT_EQ(first.size(), size_t(written));
  ASSERT_EQ(second.size(), 5u);
  EXPECT_TRUE(first[0]);
  EXPECT_TRUE(second[0]);
  EXPECT_FALSE(second[1]);  // MPEG-4 makes delta frames after the key frame
  ExpectFfmpegDecodes(dir.File("k01.AVI"));
}

// An AVI made by the ffmpeg program, opened for raw copies.
std::string MakeSource(const TTempDir& dir, const std::string& name, const std::string& codecArgs) {
  const std::string src = dir.File(name);
  const auto r = RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 2 " + codecArgs +
                            " -an " + Quote(src));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return src;
}

TEST(AviMaker, RawCopyRunsOfMjpegFramesBetweenCompressedOnes) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  const std::string src = MakeSource(dir, "src.avi", "-c:v mjpeg -q:v 4");
  TAVI avi;
  ASSERT_TRUE(avi.Open(src));
  TAVIData data;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("raw.avi");
  {
    TAviVideoOptions v = PictureOptions(&dib, "MJPG");
    v.AVIData = &data;
    TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, file);
    ASSERT_TRUE(maker.Initialized());
    WriteFilm(maker, dib, 10, 1000, false);
    ASSERT_TRUE(avi.AVIStreamRead(&data, 400, 800));  // frames 10..29
    ASSERT_TRUE(maker.AddVideoSeries(0));
    EXPECT_EQ(maker.LastSeriesFrames(), 20);
    ASSERT_TRUE(avi.AVIStreamRead(&data, 0, 2000));
    ASSERT_TRUE(maker.AddVideoSeries(7));  // cut to 7 frames
    EXPECT_EQ(maker.LastSeriesFrames(), 7);
    EXPECT_EQ(data.Count(), 7);
    WriteFilm(maker, dib, 10, 1000, false, 10);
    EXPECT_EQ(maker.VideoFramesWritten(), 47);
  }
  EXPECT_TRUE(messages.Texts().empty());
  const auto streams = Probe(file);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_name"), "mjpeg");
  EXPECT_EQ(streams[0].at("nb_frames"), "47");
  const auto keys = VideoKeyFlags(file);
  ASSERT_EQ(keys.size(), 47u);
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_TRUE(keys[i]) << i;
  ExpectFfmpegDecodes(file);
  // The copied frames are the source's bytes.
  const auto sizes = VideoPacketSizes(file);
  const auto srcSizes = VideoPacketSizes(src);
  ASSERT_EQ(sizes.size(), 47u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(sizes[10 + static_cast<size_t>(i)], srcSizes[10 + static_cast<size_t>(i)]);
}

TEST(AviMaker, AKeyFrameFollowsEveryRawCopyRunOfMpeg4Frames) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  const std::string src = MakeSource(dir, "src4.avi", "-c:v mpeg4 -vtag FMP4 -g 5 -bf 0 -q:v 4");
  TAVI avi;
  ASSERT_TRUE(avi.Open(src));
  TAVIData data;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("raw4.avi");
  {
    TAviVideoOptions v = PictureOptions(&dib, "FMP4");
    v.AVIData = &data;
    TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, file);
    ASSERT_TRUE(maker.Initialized());
    WriteFilm(maker, dib, 8, 1000, false);
    ASSERT_TRUE(avi.AVIStreamRead(&data, 200, 480));  // frames 5..16, from a key frame
    ASSERT_TRUE(maker.AddVideoSeries(0));
    EXPECT_EQ(maker.LastSeriesFrames(), 12);
    WriteFilm(maker, dib, 8, 1000, false, 8);
    // A run stopped from outside ends after its first frame.
    ASSERT_TRUE(avi.AVIStreamRead(&data, 400, 400));
    maker.FBreakVideoSeriesLoop = true;
    ASSERT_TRUE(maker.AddVideoSeries(0));
    EXPECT_EQ(maker.LastSeriesFrames(), 1);
    WriteFilm(maker, dib, 3, 1000, false, 16);
  }
  EXPECT_TRUE(messages.Texts().empty());
  const auto keys = VideoKeyFlags(file);
  ASSERT_EQ(keys.size(), 32u);
  EXPECT_TRUE(keys[0]);
  EXPECT_FALSE(keys[1]);
  EXPECT_TRUE(keys[8]);    // the run starts on the source's key frame
  EXPECT_FALSE(keys[9]);   // ... and keeps its delta frames
  EXPECT_TRUE(keys[13]);   // the source's next key frame
  EXPECT_TRUE(keys[20]);   // our first frame after the run
  EXPECT_FALSE(keys[21]);
  EXPECT_TRUE(keys[28]);   // the one-frame run
  EXPECT_TRUE(keys[29]);   // and again after it
  ExpectFfmpegDecodes(file);
}

TEST(AviMaker, ARawCopyRunSplitsOnlyBeforeASourceKeyFrame) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  // Noise at the finest quantiser: 12 seconds pass the smallest limit.
  const std::string src = dir.File("noise.avi");
  const auto made = RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i "
                               "\"nullsrc=s=320x240:r=25,geq=lum='random(1)*255':cb=128:cr=128\" -t 12 "
                               "-c:v mpeg4 -vtag FMP4 -q:v 1 -g 7 -bf 0 -an " + Quote(src));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  TAVI avi;
  ASSERT_TRUE(avi.Open(src));
  TAVIData data;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("run.avi");
  {
    TAviVideoOptions v = PictureOptions(&dib, "FMP4");
    v.AVIData = &data;
    TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, file);
    ASSERT_TRUE(maker.Initialized());
    maker.SetMaxFileSize(20971521);
    PaintFrame(dib, 0);
    ASSERT_TRUE(maker.AddVideoFrame());
    ASSERT_TRUE(avi.AVIStreamRead(&data, 0, 12000));
    ASSERT_TRUE(maker.AddVideoSeries(0));
    EXPECT_EQ(maker.LastSeriesFrames(), 300);
    EXPECT_EQ(maker.ContinuationCount(), 1);
    PaintFrame(dib, 1);
    ASSERT_TRUE(maker.AddVideoFrame());
  }
  EXPECT_TRUE(messages.Texts().empty());
  const auto first = VideoKeyFlags(file);
  const auto second = VideoKeyFlags(dir.File("run01.AVI"));
  EXPECT_EQ(first.size() + second.size(), 302u);
  // The source's key frames come every 7 frames from its frame 0 (our frame 1).
  EXPECT_EQ((first.size() - 1) % 7, 0u) << first.size();
  ASSERT_FALSE(second.empty());
  EXPECT_TRUE(second[0]);
  EXPECT_TRUE(second.back());  // after the run
  ExpectFfmpegDecodes(dir.File("run01.AVI"));
}

TEST(AviMaker, RawCopyWithoutBufferOrSourceRaises) {
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  TAVIData data;
  TAviVideoOptions v = PictureOptions(&dib, "MJPG");
  v.AVIData = &data;
  TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, dir.File("x.avi"));
  ASSERT_TRUE(maker.Initialized());
  try {
    maker.AddVideoSeries(0);
    FAIL() << "no exception";
  } catch (const EAviMaker& e) {
    EXPECT_STREQ(e.what(), "[TAviMaker.CreateVideoSeriesFrames] FVO.AVIData.LinkAvi = nil !");
  }
  TAVIMaker plain(nullptr, SoundOptions(0, 1000), PictureOptions(&dib, "MJPG"), dir.File("y.avi"));
  EXPECT_FALSE(plain.AddVideoSeries(0));  // no buffer given
}

TEST(AviMaker, StoppedMidFilmLeavesAReadableFile) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("stop.avi");
  TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_MPEGLAYER3, 1000), PictureOptions(&dib, "FMP4"), file);
  ASSERT_TRUE(maker.Initialized());
  TSine sine;
  const auto b = sine.Block(1000);
  ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
  for (int k = 0; k < 13; ++k) {  // the stop comes in the middle of the block's frames
    PaintFrame(dib, k);
    ASSERT_TRUE(maker.AddVideoFrame());
  }
  maker.Close();
  EXPECT_FALSE(maker.Initialized());
  EXPECT_FALSE(maker.AddVideoFrame());
  EXPECT_FALSE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
  const auto streams = Probe(file);
  const TStreamProbe* v = StreamOf(streams, "video");
  const TStreamProbe* a = StreamOf(streams, "audio");
  ASSERT_TRUE(v && a);
  EXPECT_EQ(v->at("nb_frames"), "13");
  EXPECT_NEAR(SoundSeconds(file), 1.0, 0.06);  // the encoder's last frames are there
  ExpectFfmpegDecodes(file);
}

// Writes past this many bytes of a file fail as on a full disk (for this process only).
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r = old_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(AviMaker, AFullDiskAsksToRetryAndLeavesAValidFile) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  TScopedMessageRecorder messages;
  messages.Recorder().QueueAnswer(TMsgAnswer::Yes);  // the first retry fails again, then No
  TDIB dib(kW, kH, 24);
  const std::string file = dir.File("full.avi");
  int written = 0;
  {
    TFileSizeLimit limit(3 << 20);
    TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(&dib, "DIB "), file);
    ASSERT_TRUE(maker.Initialized());
    TSine sine;
    const auto b = sine.Block(1000);
    ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
    for (int k = 0; k < 25; ++k) {
      PaintFrame(dib, k);
      if (!maker.AddVideoFrame()) break;
      ++written;
    }
    ASSERT_GT(written, 0);
    ASSERT_LT(written, 25);
  }
  const auto texts = messages.Texts();
  const std::string ask = Format(
      "Nestąpił błąd podczas zapisu danych na dysk ($%x). Prawdopodobnie nie ma wystarczająco dużo wolnego "
      "miejsca. Aby kontynuować zwolnij część dysku i naciśnij klawisz `Tak`.",
      static_cast<unsigned>(AVIERR_FILEWRITE));
  ASSERT_GE(texts.size(), 3u) << ::testing::PrintToString(texts);
  EXPECT_EQ(texts[0], ask);
  EXPECT_EQ(texts[1], ask);
  EXPECT_EQ(texts[2], Format("Nieudana próba zapisu nieskompresowanej klatki nr %d.", written));
  const auto streams = Probe(file);
  const TStreamProbe* v = StreamOf(streams, "video");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->at("nb_frames"), std::to_string(written));
  ExpectFfmpegDecodes(file);
}

TEST(AviMaker, AnUnwritableFolderGivesTheMessageAndLeavesNothing) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  WriteBytes(dir.File("plain"), {1, 2, 3});
  const std::string file = dir.File("plain/film.avi");  // a folder that is a file
  TDIB dib(kW, kH, 24);
  TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(&dib, "MJPG"), file);
  EXPECT_FALSE(maker.Initialized());
  EXPECT_FALSE(maker.AddVideoFrame());
  const auto texts = messages.Texts();
  ASSERT_EQ(texts.size(), 1u);
  // the system's reason follows
  EXPECT_EQ(texts[0], Format("Nie mogę utworzyć pliku \"%s\". (Błąd nr $%x): %s", file.c_str(),
                             static_cast<unsigned>(AVIERR_FILEOPEN), std::strerror(ENOTDIR)));
  maker.Close();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(ReadBytes(dir.File("plain")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(AviMaker, AFolderOfTheFilmsNameIsKept) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  const std::string file = dir.File("film.avi");
  fs::create_directories(file);  // empty: removing it would succeed
  TDIB dib(kW, kH, 24);
  TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(&dib, "MJPG"), file);
  EXPECT_FALSE(maker.Initialized());
  maker.Close();
  EXPECT_TRUE(fs::is_directory(file));
  EXPECT_EQ(messages.Texts().size(), 1u);
}

TEST(AviMaker, AMissingPictureRaisesAndLeavesNoFile) {
  TTempDir dir;
  const std::string file = dir.File("nopic.avi");
  TDIB empty;
  for (TDIB* dib : {static_cast<TDIB*>(nullptr), &empty}) {
    try {
      TAVIMaker maker(nullptr, SoundOptions(0, 1000), PictureOptions(dib, "DIB "), file);
      FAIL() << "no exception";
    } catch (const EAviMaker& e) {
      EXPECT_STREQ(e.what(), "Błąd struktury DIB ((FVO.DIB = nil) or (FVO.DIB.Size = 0))");
    }
    EXPECT_FALSE(fs::exists(file));
  }
}

TEST(AviMaker, CancelledCompressorChoiceLeavesTheMakerUninitialised) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  TDIB dib(kW, kH, 24);
  TAviVideoOptions v = PictureOptions(&dib, "MJPG");
  v.UseGivenSettings = false;  // the user is asked; no dialog answers
  TAVIMaker maker(nullptr, SoundOptions(0, 1000), v, dir.File("c.avi"));
  EXPECT_FALSE(maker.Initialized());
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Kompresja anulowana."}));

  // A dialog that picks Motion JPEG.
  TCompressorDialog saved = TVideoCompressor::CompressorDialogHook();
  std::string title;
  TVideoCompressor::CompressorDialogHook() = [&](TWindowHandle, const std::string& t, const TVideoFormat* in,
                                                 TCompVars& chosen) {
    title = t;
    EXPECT_NE(in, nullptr);
    chosen.fccHandler = VideoFourCC("MJPG");
    chosen.lQ = 5000;
    return true;
  };
  TAVIMaker chosen(nullptr, SoundOptions(0, 1000), v, dir.File("d.avi"));
  TVideoCompressor::CompressorDialogHook() = saved;
  EXPECT_TRUE(chosen.Initialized());
  EXPECT_EQ(title, "Wybór kompresora video");
  EXPECT_EQ(chosen.VideoStreamInfo().fccHandler, VideoFourCC("MJPG"));
  EXPECT_EQ(chosen.VideoStreamInfo().dwQuality, 5000u);
}

TEST(AviMaker, CanSplitOnlyWhereTheVideoReachedTheSound) {
  TTempDir dir;
  TDIB dib(kW, kH, 24);
  TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_PCM, 1000), PictureOptions(&dib, "MJPG"), dir.File("s.avi"));
  ASSERT_TRUE(maker.Initialized());
  EXPECT_TRUE(maker.CanSplit2GB());  // nothing written
  TSine sine;
  const auto b = sine.Block(1000);
  ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
  EXPECT_EQ(maker.AudioBlocksWritten(), 1);
  EXPECT_EQ(maker.AudioSamplesWritten(), kRate);  // PCM frames, not bytes
  for (int k = 0; k < 24; ++k) {
    PaintFrame(dib, k);
    ASSERT_TRUE(maker.AddVideoFrame());
  }
  EXPECT_FALSE(maker.CanSplit2GB());  // 24 frames: round(40 + 24 x 40 - 1) = 999 < 1000
  ASSERT_TRUE(maker.AddVideoFrame());
  EXPECT_TRUE(maker.CanSplit2GB());
}

TEST(AviMaker, CompressedSoundCountsDestinationBlocks) {
  TTempDir dir;
  TAVIMaker maker(nullptr, SoundOptions(WAVE_FORMAT_IMA_ADPCM, 1000), PictureOptions(nullptr, nullptr),
                  dir.File("ima.avi"));
  ASSERT_TRUE(maker.Initialized());
  const uint16_t align = maker.DestAudioFormat().wf.nBlockAlign;
  ASSERT_GT(align, 4);
  EXPECT_EQ(maker.AudioStreamInfo().dwScale, align);
  EXPECT_EQ(maker.AudioStreamInfo().dwSampleSize, align);
  EXPECT_EQ(maker.AudioStreamInfo().wPriority, 0);
  TSine sine;
  const auto b = sine.Block(1000);
  ASSERT_TRUE(maker.AddAudioData(b.data(), static_cast<int>(b.size())));
  // The whole ADPCM blocks of one second, not the PCM bytes over the PCM block align.
  const int samplesPerBlock = (align - 4 * 2) * 8 / (4 * 2) + 1;
  EXPECT_EQ(maker.AudioSamplesWritten(), kRate / samplesPerBlock);
  EXPECT_EQ(maker.TotalWrittenDataSize(), 2056 + int64_t(maker.AudioSamplesWritten()) * align + 24);
}

// A file in OpenDML parts, written with a small part limit.
std::string MakeOpenDmlFile(const TTempDir& dir, int frames) {
  const std::string file = dir.File("odml.avi");
  TAviWriteOptions options;
  options.riffLimit = 64 * 1024;
  PAVIFILE f = nullptr;
  EXPECT_EQ(AVIFileOpen(&f, file, OF_WRITE | OF_CREATE, &options), AVIERR_OK);
  AVISTREAMINFO info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = VideoFourCC("DIB ");
  info.dwScale = 1;
  info.dwRate = 25;
  info.rcFrame = RECT{0, 0, 64, 48};
  PAVISTREAM s = nullptr;
  EXPECT_EQ(AVIFileCreateStream(f, &s, &info), AVIERR_OK);
  TDIB dib(64, 48, 24);
  const auto format = TVideoFormat::ForDib(dib).ToBytes();
  EXPECT_EQ(AVIStreamSetFormat(s, 0, format.data(), static_cast<int32_t>(format.size())), AVIERR_OK);
  for (int k = 0; k < frames; ++k) {
    PaintFrame(dib, k);
    EXPECT_EQ(AVIStreamWrite(s, k, 1, dib.Bits(), static_cast<int32_t>(dib.ImageSize()), AVIIF_KEYFRAME, nullptr,
                             nullptr),
              AVIERR_OK);
  }
  AVIStreamRelease(s);
  AVIFileRelease(f);
  return file;
}

TEST(AviMaker, TrimFileKeepsEveryOpenDmlPartAndCutsOnlyTrailingBytes) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  const std::string file = MakeOpenDmlFile(dir, 40);  // 9 KB frames: several AVIX parts
  const auto bytes = ReadBytes(file);
  ASSERT_GT(bytes.size(), 300000u);
  ASSERT_TRUE(TAVIMaker::TrimFile(file));
  EXPECT_EQ(ReadBytes(file), bytes);  // a finished file is left whole

  auto longer = bytes;
  longer.insert(longer.end(), 1001, 0xEE);
  WriteBytes(file, longer);
  ASSERT_TRUE(TAVIMaker::TrimFile(file));
  EXPECT_EQ(ReadBytes(file), bytes);
  const auto streams = Probe(file);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("nb_frames"), "40");
  ExpectFfmpegDecodes(file);
}

TEST(AviMaker, TrimFileOnEmptyAndUnfinishedFiles) {
  TTempDir dir;
  const std::string empty = dir.File("empty.avi");
  WriteBytes(empty, {});
  EXPECT_TRUE(TAVIMaker::TrimFile(empty));
  EXPECT_FALSE(fs::exists(empty));  // no film in it

  // A header whose size was never written: nothing is cut.
  std::vector<uint8_t> unfinished = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
  unfinished.resize(5000, 7);
  const std::string file = dir.File("unfinished.avi");
  WriteBytes(file, unfinished);
  EXPECT_TRUE(TAVIMaker::TrimFile(file));
  EXPECT_EQ(ReadBytes(file), unfinished);

  EXPECT_FALSE(TAVIMaker::TrimFile(dir.File("missing.avi")));
}

// --- the compressor on its own ---

TEST(VideoCompressor, StateBlocksTooLargeOrForeignAreCorrected) {
  TScopedMessageRecorder messages;
  TDIB dib(kW, kH, 24);
  const TVideoFormat in = TVideoFormat::ForDib(dib);
  TCompVars cv;
  cv.fccHandler = VideoFourCC("MJPG");
  // A valid block of the compressor, then padding: too large.
  auto probe = TVideoCompressorSession::Open(ICTYPE_VIDEO, cv.fccHandler, ICMODE_COMPRESS);
  ASSERT_TRUE(probe);
  std::vector<uint8_t> block = probe->GetState();
  block.resize(block.size() + 16, 0);
  {
    TVideoCompressor c(nullptr, static_cast<int>(block.size()), block.data(), dib.Bits(), &in, &cv, true);
    EXPECT_TRUE(c.Opened());
    EXPECT_EQ(c.StateBlock().size(), size_t(kVideoCompressorStateSize));
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Zbyt duży rozmiar danych do ustalenia stanu kompresora. "
                                                          "Zostanie wprowadzona korekta długości bufora"}));
  }
  messages.Recorder().Clear();
  std::vector<uint8_t> junk(kVideoCompressorStateSize, 0x5A);
  TVideoCompressor c(nullptr, static_cast<int>(junk.size()), junk.data(), dib.Bits(), &in, &cv, true);
  EXPECT_TRUE(c.Opened());
  EXPECT_EQ(messages.Texts(),
            (std::vector<std::string>{"Nieprawidłowe ustalenie stanu kompresora. Użyte zostaną domyślne parametry."}));
  EXPECT_EQ(c.StateBlock(), probe->GetState());  // the defaults read back
}

TEST(VideoCompressor, OpeningStartingAndKeyFrames) {
  TScopedMessageRecorder messages;
  TDIB dib(kW, kH, 24);
  const TVideoFormat in = TVideoFormat::ForDib(dib);
  TCompVars cv;
  cv.fccHandler = VideoFourCC("FMP4");

  TVideoCompressor unchosen(nullptr, 0, nullptr, dib.Bits(), &in, &cv, false);
  EXPECT_FALSE(unchosen.Opened());
  EXPECT_EQ(unchosen.Handler(), VideoFourCC("DIB "));
  EXPECT_THROW(unchosen.StartCompression(), EVideoCompressor);

  TCompVars unknown;
  unknown.fccHandler = VideoFourCC("ZZZZ");
  TVideoCompressor none(nullptr, 0, nullptr, dib.Bits(), &in, &unknown, true);
  EXPECT_FALSE(none.Opened());
  EXPECT_EQ(none.OutputBI(), nullptr);

  // DV takes only its own frame sizes.
  TCompVars dv;
  dv.fccHandler = VideoFourCC("dvsd");
  TVideoCompressor wrongSize(nullptr, 0, nullptr, dib.Bits(), &in, &dv, true);
  EXPECT_EQ(wrongSize.OutputBI(), nullptr);
  EXPECT_TRUE(wrongSize.Refused());
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{
                                  "Kompresja jest niemożliwa dla zadanych parametrów obrazu. DV (dvsd) nie przyjmuje "
                                  "obrazu 320 x 240 (24 bity): przyjmuje tylko 720 x 576 lub 720 x 480."}));
  messages.Recorder().Clear();

  TVideoCompressor c(nullptr, 0, nullptr, dib.Bits(), &in, &cv, true);
  ASSERT_TRUE(c.Opened());
  ASSERT_NE(c.OutputBI(), nullptr);
  EXPECT_EQ(c.OutputBI()->biCompression, VideoFourCC("FMP4"));
  EXPECT_GT(c.MaxCompressedSize(), 0);
  ASSERT_TRUE(c.StartCompression());
  EXPECT_TRUE(c.SequenceStarted());
  std::vector<bool> keys;
  for (int k = 0; k < 6; ++k) {
    if (k == 3) {
      EXPECT_TRUE(c.SetNextFrameAsKeyFrame());
    }
    PaintFrame(dib, k);
    bool key = false;
    int32_t size = 0;
    ASSERT_NE(c.CompressFrame(dib.Bits(), key, size), nullptr);
    EXPECT_GT(size, 0);
    keys.push_back(key);
  }
  EXPECT_EQ(keys, (std::vector<bool>{true, false, false, true, false, false}));
  EXPECT_EQ(c.FramesCompressed(), 3);  // since the restart
  // A restart with nothing compressed since changes nothing.
  c.CloseCompressor();
  EXPECT_FALSE(c.Opened());
  EXPECT_FALSE(c.SequenceStarted());
  bool key = true;
  int32_t size = 1;
  EXPECT_EQ(c.CompressFrame(dib.Bits(), key, size), nullptr);
  EXPECT_FALSE(key);
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace
