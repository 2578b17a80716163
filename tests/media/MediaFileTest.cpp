// Movies and sounds of other containers against files made by the ffmpeg program: frame
// counts and lengths as ffprobe gives them, every frame equal to ffmpeg's decode in
// order and after jumps, sound placed on the picture's clock, sound-only files, WAV
// files our own reader refuses, damaged files and pipes.
#include "media/MediaFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::ReadBytes;
using movara::test::RunCommand;
using movara::test::TTempDir;
using movara::test::WriteBytes;

namespace {

bool HaveEncoder(const std::string& name) {
  return RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + name).exitCode == 0;
}

struct TMovieCase {
  const char* name;     // file name (its extension picks the container)
  const char* encoders;  // encoders the case needs, blank-separated
  const char* size;
  const char* rate;
  const char* codecs;  // ffmpeg output options
  int rotation;        // written into the file afterwards (display matrix), 0: none
  bool variableRate;
};

// Two seconds of a moving test picture and a tone; the corner box and the tone both
// start at one second, so the sound's place on the picture's clock can be seen.
const TMovieCase kMovies[] = {
    {"h264-bframes.mp4", "libx264 aac", "320x240", "25", "-c:v libx264 -bf 3 -g 12 -pix_fmt yuv420p -c:a aac", 0,
     false},
    {"hevc-opus.mkv", "libx265 libopus", "320x240", "25",
     "-c:v libx265 -x265-params log-level=none:keyint=12:bframes=3 -pix_fmt yuv420p -c:a libopus", 0, false},
    {"vp9-odd.webm", "libvpx-vp9 libopus", "321x241", "25",
     "-c:v libvpx-vp9 -g 12 -deadline realtime -cpu-used 8 -c:a libopus", 0, false},
    {"mpeg2-ac3-late.ts", "mpeg2video ac3", "320x240", "25",
     "-c:v mpeg2video -g 12 -bf 2 -q:v 3 -c:a ac3 -output_ts_offset 3.5", 0, false},
    {"mpeg2-ps.mpg", "mpeg2video mp2", "320x240", "25", "-c:v mpeg2video -g 12 -bf 2 -q:v 3 -c:a mp2", 0, false},
    {"h264-ntsc-flac.mkv", "libx264 flac", "320x240", "30000/1001", "-c:v libx264 -g 15 -pix_fmt yuv420p -c:a flac",
     0, false},
    {"h264-ntsc.mov", "libx264 aac", "320x240", "30000/1001", "-c:v libx264 -g 15 -pix_fmt yuv420p -c:a aac", 0,
     false},
    {"portrait.mp4", "libx264 aac", "320x240", "25", "-c:v libx264 -g 12 -pix_fmt yuv420p -c:a aac", 90, false},
    {"vfr.mp4", "libx264 aac", "320x240", "25",
     "-vf select='not(eq(mod(n\\,5)\\,3))' -fps_mode vfr -c:v libx264 -g 12 -pix_fmt yuv420p -c:a aac", 0, true},
};

std::string MakeMovie(const TTempDir& dir, const TMovieCase& c) {
  const std::string file = dir.File(c.name);
  const std::string made = c.rotation ? dir.File(std::string("plain-") + c.name) : file;
  const std::string picture = std::string("testsrc2=size=") + c.size + ":rate=" + c.rate +
                              ":duration=2,drawbox=x=0:y=0:w=48:h=48:color=black:t=fill:enable='lt(t\\,1)',"
                              "drawbox=x=0:y=0:w=48:h=48:color=white:t=fill:enable='gte(t\\,1)'";
  std::string cmd = "ffmpeg -v error -y -f lavfi -i \"" + picture +
                    "\" -f lavfi -i \"sine=frequency=440:sample_rate=48000:duration=2,"
                    "volume=volume=0:enable='lt(t\\,1)'\" " +
                    c.codecs + " " + Quote(made);
  auto r = RunCommand(cmd);
  EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
  if (c.rotation) {
    cmd = "ffmpeg -v error -y -i " + Quote(made) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(c.rotation) +
          " " + Quote(file);
    r = RunCommand(cmd);
    EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
  }
  return file;
}

// Every picture ffmpeg decodes (as shown: rotated), top-down BGR rows, with its time.
struct TReference {
  int width = 0, height = 0;
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<double> times;
  double duration = 0;  // of the video stream, as ffprobe gives it
};

TReference FfmpegReference(const TTempDir& dir, const std::string& file) {
  TReference ref;
  auto r = RunCommand("ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time:"
                      "stream=width,height,duration -of csv=p=0 " +
                      Quote(file));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // The stream line "width,height,duration" comes after the frames' times.
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < r.output.size()) {
    const size_t end = r.output.find('\n', at);
    lines.push_back(r.output.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    // A frame's line holds its time (with a comma after it at times), the stream's three
    // numbers.
    if (std::count(line.begin(), line.end(), ',') < 2) {
      ref.times.push_back(std::atof(line.c_str()));
    } else {
      int w = 0, h = 0;
      double d = 0;
      std::sscanf(line.c_str(), "%d,%d,%lf", &w, &h, &d);
      ref.width = w;
      ref.height = h;
      ref.duration = d;
    }
  }
  std::sort(ref.times.begin(), ref.times.end());
  const std::string raw = dir.File("ref.raw");
  r = RunCommand("ffmpeg -v error -y -i " + Quote(file) + " -map 0:v:0 -f rawvideo -pix_fmt bgr24 -fps_mode passthrough " +
                 Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> all = ReadBytes(raw);
  const size_t count = ref.times.size();
  if (count == 0) return ref;
  const size_t bytes = all.size() / count;
  for (size_t i = 0; i < count; ++i)
    ref.pictures.emplace_back(all.begin() + static_cast<ptrdiff_t>(i * bytes),
                              all.begin() + static_cast<ptrdiff_t>((i + 1) * bytes));
  return ref;
}

double Psnr(const TDIB& ours, const std::vector<uint8_t>& theirs) {
  const int w = ours.Width(), h = ours.Height();
  if (theirs.size() != size_t(w) * h * 3) return 0;
  double sum = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* a = ours.ScanLine(y);
    const uint8_t* b = theirs.data() + size_t(y) * w * 3;
    for (int x = 0; x < w * 3; ++x) sum += double(a[x] - b[x]) * (a[x] - b[x]);
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * w * h * 3 / sum);
}

// The picture shown at frame n of the constant-rate view: the last one whose time has
// come (a quarter of a frame allows for rounded container times).
size_t ShownAt(const TReference& ref, int n, double fps) {
  const double t = ref.times.front() + (n + 0.25) / fps;
  size_t k = 0;
  while (k + 1 < ref.times.size() && ref.times[k + 1] <= t) ++k;
  return k;
}

// Mean brightness of the 32 x 32 corner where the box appears.
double CornerLevel(const TDIB& pic) {
  double sum = 0;
  for (int y = 4; y < 36; ++y)
    for (int x = 4; x < 36; ++x) sum += pic.ScanLine(y)[3 * x + 1];
  return sum / (32 * 32);
}

class MediaMovie : public ::testing::TestWithParam<TMovieCase> {};

TEST_P(MediaMovie, FramesInOrderAndAfterJumpsEqualFfmpegAndSoundKeepsTime) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  const TMovieCase& c = GetParam();
  for (const std::string& enc : {std::string(c.encoders).substr(0, std::string(c.encoders).find(' ')),
                                std::string(c.encoders).substr(std::string(c.encoders).find(' ') + 1)})
    if (!HaveEncoder(enc)) GTEST_SKIP() << "this ffmpeg has no " << enc << " encoder";
  TTempDir dir;
  const std::string file = MakeMovie(dir, c);
  TReference ref = FfmpegReference(dir, file);
  ASSERT_FALSE(ref.pictures.empty());
  if (c.rotation % 180) std::swap(ref.width, ref.height);  // ffprobe gives the stored size

  std::string why;
  std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(file, &why);
  ASSERT_TRUE(video) << why;
  EXPECT_EQ(video->Width(), ref.width);
  EXPECT_EQ(video->Height(), ref.height);
  EXPECT_EQ(video->SourcePictures(), static_cast<int>(ref.pictures.size()));
  const double fps = double(video->Rate()) / video->Scale();
  if (!c.variableRate) {
    EXPECT_EQ(video->FrameCount(), static_cast<int>(ref.pictures.size()));
    if (std::string(c.rate) == "30000/1001") {
      EXPECT_EQ(video->Rate(), 30000u);
      EXPECT_EQ(video->Scale(), 1001u);
    }
  }
  if (ref.duration > 0) {
    EXPECT_NEAR(video->FrameCount() / fps, ref.duration, 1.0 / fps + 1e-6);
  }

  const int frames = video->FrameCount();
  TDIB pic;
  auto check = [&](int n, const char* how) {
    ASSERT_TRUE(video->GetFrame(n, pic)) << how << " frame " << n;
    const size_t k = ShownAt(ref, n, fps);
    EXPECT_GE(Psnr(pic, ref.pictures[k]), 45.0) << how << " frame " << n << " (picture " << k << ")";
  };
  for (int n = 0; n < frames; ++n) check(n, "in order");
  std::vector<int> order(static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) order[static_cast<size_t>(n)] = n;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  order.resize(std::min<size_t>(order.size(), 25));
  for (int n : order) check(n, "after a jump");
  EXPECT_EQ(video->DamagedFrames(), 0);

  // A jump decodes no more than one key-picture interval (15 at most here) and the
  // pictures the decoder holds back.
  ASSERT_TRUE(video->GetFrame(frames - 1, pic));
  const int64_t before = video->FramesDecoded();
  ASSERT_TRUE(video->GetFrame(frames / 2, pic));
  EXPECT_LE(video->FramesDecoded() - before, 15 + 4);

  // The box and the tone start together: within one frame of each other.
  if (c.rotation == 0) {
    int firstBright = -1;
    for (int n = 0; n < frames && firstBright < 0; ++n) {
      ASSERT_TRUE(video->GetFrame(n, pic));
      if (CornerLevel(pic) > 128) firstBright = n;
    }
    ASSERT_GE(firstBright, 0);
    TMediaSound sound;
    ASSERT_TRUE(DecodeMediaSound(file, sound, &why)) << why;
    size_t loud = 0;
    while (loud < sound.Samples.size() && std::abs(sound.Samples[loud]) < 3000) ++loud;
    ASSERT_LT(loud, sound.Samples.size());
    const double toneAt = double(loud / size_t(sound.Channels)) / sound.Rate;
    EXPECT_NEAR(toneAt, firstBright / fps, 1.0 / fps) << "tone at " << toneAt << " s, box at frame " << firstBright;
    const double soundSeconds = double(sound.Samples.size() / size_t(sound.Channels)) / sound.Rate;
    EXPECT_NEAR(soundSeconds, frames / fps, 2.0 / fps);
    // no encoder padding past the stated end (a clip would last a frame longer)
    if (std::string(c.name).find(".mp4") != std::string::npos || std::string(c.name).find(".mov") != std::string::npos) {
      EXPECT_LE(soundSeconds, frames / fps + 0.001);
    }
  }

  // The movie as the program opens it, by its name.
  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  EXPECT_EQ(avi.StopFrame() + 1, frames);
  EXPECT_EQ(avi.FrameWidth(), ref.width);
  avi.SetPosition(frames / 3);
  ASSERT_TRUE(avi.Opened());
  EXPECT_GE(Psnr(*avi.DIB(), ref.pictures[ShownAt(ref, frames / 3, fps)]), 45.0);
  const std::vector<uint8_t>* packed = avi.GetFrame(frames / 4);
  ASSERT_TRUE(packed);
  EXPECT_EQ(packed->size(), 40 + size_t(TDIB::RowSizeFor(ref.width, 24)) * ref.height);
  TAVIData data;
  EXPECT_FALSE(avi.AVIStreamRead(&data, 0, 1000)) << "frames of other containers are never copied";
}

INSTANTIATE_TEST_SUITE_P(Containers, MediaMovie, ::testing::ValuesIn(kMovies),
                         [](const ::testing::TestParamInfo<TMovieCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// Sound files and WAV files our own reader refuses, through the program's sound reader:
// 44.1 kHz 16-bit stereo of the length ffprobe gives, the tone's level in both channels.
TEST(MediaSound, SoundFilesOpenAsTheProgramsSoundsAtTheirLength) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  struct TCase {
    const char* name;
    const char* encoder;
    const char* options;
    double level;  // mean level of each channel at least
  };
  // The tone's mean level is about 2600; made into six channels it is in the centre only,
  // which the mix down to two gives each side at 0.707 of 1 + 0.707 + 0.707.
  const TCase cases[] = {
      {"tone.mp3", "libmp3lame", "-c:a libmp3lame -b:a 128k", 2000},
      {"tone.m4a", "aac", "-c:a aac", 2000},
      {"tone.flac", "flac", "-c:a flac", 2000},
      {"tone.ogg", "libvorbis", "-c:a libvorbis", 2000},
      {"tone.opus", "libopus", "-c:a libopus", 2000},
      {"tone-24bit-6ch.wav", "pcm_s24le", "-c:a pcm_s24le -ac 6", 600},
      {"tone-float.wav", "pcm_f32le", "-c:a pcm_f32le", 2000},
  };
  TTempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!HaveEncoder(c.encoder)) continue;
    const std::string file = dir.File(c.name);
    auto r = RunCommand(std::string("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 ") +
                        c.options + " " + Quote(file));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    r = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(file));
    const double seconds = std::atof(r.output.c_str());
    std::unique_ptr<TCustomAudioReader> reader = MakeAudioReaderFromFile(file, 2, 16, 44100);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->Duration(), seconds * 1000, 30);
    std::vector<int16_t> pcm(44100 * 2);
    const int got = reader->ReadData(1000, 1000, static_cast<int>(pcm.size() * 2), pcm.data());
    ASSERT_EQ(got, 44100 * 4);
    double left = 0, right = 0;
    for (size_t i = 0; i < pcm.size(); i += 2) {
      left += std::abs(pcm[i]);
      right += std::abs(pcm[i + 1]);
    }
    EXPECT_GT(left / 44100, c.level);
    EXPECT_GT(right / 44100, c.level);
  }
}

// Damaged files of each container: the program's movie opens or refuses, never hangs or
// crashes; a picture it cannot decode shows the last good one and is counted. Pipes
// are refused before anything opens them.
TEST(MediaDamage, DamagedFilesGiveTheLastGoodPictureAndPipesAreRefused) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string fifo = dir.File("pipe.mp4");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string why;
  EXPECT_FALSE(TMediaVideo::Open(fifo, &why));
  EXPECT_NE(why.find("pipe"), std::string::npos) << why;
  TAVI avi;
  EXPECT_FALSE(avi.Open(fifo));
  EXPECT_FALSE(MakeAudioReaderFromFile(fifo, 2, 16, 44100));

  const std::string picture = "testsrc2=size=320x240:rate=25:duration=4";
  struct TCase {
    const char* name;
    const char* encoder;
    const char* options;
  };
  const TCase cases[] = {
      {"d.mp4", "libx264", "-c:v libx264 -g 25 -movflags +faststart"},
      {"d.mkv", "libx264", "-c:v libx264 -g 25"},
      {"d.webm", "libvpx-vp9", "-c:v libvpx-vp9 -g 25 -deadline realtime -cpu-used 8"},
      {"d.ts", "mpeg2video", "-c:v mpeg2video -g 25"},
      {"d.mov", "libx264", "-c:v libx264 -g 25"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!HaveEncoder(c.encoder)) continue;
    const std::string good = dir.File(c.name);
    auto r = RunCommand("ffmpeg -v error -y -f lavfi -i " + picture + " " + c.options + " " + Quote(good));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::vector<uint8_t> bytes = ReadBytes(good);
    std::mt19937 random(11);
    // Cut at 60 %, bytes overwritten in the middle, a cut plus noise.
    std::vector<std::vector<uint8_t>> damaged;
    damaged.emplace_back(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(bytes.size() * 6 / 10));
    damaged.push_back(bytes);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 6000 && i < bytes.size(); ++i)
      damaged.back()[i] = static_cast<uint8_t>(random());
    damaged.push_back(damaged.back());
    damaged.back().resize(bytes.size() * 7 / 10);
    for (size_t d = 0; d < damaged.size(); ++d) {
      const std::string file = dir.File(std::to_string(d) + c.name);
      WriteBytes(file, damaged[d]);
      std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(file, &why);
      if (!video) {
        EXPECT_FALSE(why.empty());
        continue;
      }
      TDIB pic;
      for (int n = 0; n < video->FrameCount(); ++n) ASSERT_TRUE(video->GetFrame(n, pic)) << "damage " << d;
      for (int n = video->FrameCount() - 1; n >= 0; n -= 7) ASSERT_TRUE(video->GetFrame(n, pic)) << "damage " << d;
    }
  }

  // A stream cut inside: the index promises every picture, the bytes stop at 60 %.
  if (HaveEncoder("libx264")) {
    const std::string good = dir.File("d.mp4");
    std::vector<uint8_t> bytes = ReadBytes(good);
    bytes.resize(bytes.size() * 6 / 10);
    const std::string file = dir.File("cut.mp4");
    WriteBytes(file, bytes);
    std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(file, &why);
    ASSERT_TRUE(video) << why;
    EXPECT_EQ(video->FrameCount(), 100);
    EXPECT_GT(video->DamagedFrames(), 30);
    EXPECT_LT(video->DamagedFrames(), 50);
    TDIB last, pic;
    ASSERT_TRUE(video->GetFrame(99, last));
    ASSERT_TRUE(video->GetFrame(90, pic));
    EXPECT_TRUE(pic == last) << "the pictures past the cut are the last good one";
    ASSERT_TRUE(video->GetFrame(10, pic));
    EXPECT_FALSE(pic == last);
  }
}

}  // namespace
