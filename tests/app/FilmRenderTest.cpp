// "movara render": films of projects built from clips the ffmpeg program wrote (several
// codecs), checked stream by stream by ffprobe and decoded in full by ffmpeg; split films,
// copied stretches, picture sequences, the writer thread, and what bad input does.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace movara {
namespace {

using test::Quote;
using test::RunCommand;
using test::TTempDir;

// ---------------------------------------------------------------------------------
// input media, made once for the whole suite

struct TMedia {
  std::string Dir;
  std::string Mjpeg;  // 320x240, 25/s, 50 frames, MJPG + PCM 22050 mono
  std::string Xvid;   // 320x240, 25/s, 50 frames, MPEG-4 "XVID" + PCM 44100 mono
  std::string Raw;    // 320x240, 25/s, 52 frames, bgr24 + MP3
  std::string Fmp4;   // 320x240, 25/s, 50 frames, MPEG-4 "FMP4" (a key frame every 12) + IMA ADPCM
  std::string Wav;    // 3 s of 880 Hz at 44100 Hz
  std::string Bmp;    // 320x240
  std::string Jpeg;   // 320x240
  bool Ok = true;
  ~TMedia() {
    std::error_code ec;
    if (!Dir.empty()) fs::remove_all(Dir, ec);
  }
};

bool Ffmpeg(const std::string& args) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -y " + args);
  EXPECT_EQ(r.exitCode, 0) << args << "\n" << r.output;
  return r.exitCode == 0;
}

const TMedia& Media() {
  static std::unique_ptr<TMedia> media;
  if (media) return *media;
  media = std::make_unique<TMedia>();
  TMedia& m = *media;
  std::string tmpl = fs::temp_directory_path().string() + "/movara-film-media-XXXXXX";
  const char* made = ::mkdtemp(tmpl.data());
  if (!made) {
    ADD_FAILURE() << "cannot make " << tmpl;
    m.Ok = false;
    return m;
  }
  m.Dir = std::string(made) + "/";
  m.Mjpeg = m.Dir + "a mjpeg.avi";
  m.Xvid = m.Dir + "b_xvid.avi";
  m.Raw = m.Dir + "c_raw.avi";
  m.Fmp4 = m.Dir + "d_fmp4.avi";
  m.Wav = m.Dir + "e.wav";
  m.Bmp = m.Dir + "f.bmp";
  m.Jpeg = m.Dir + "g.jpg";
  const std::string two = " -t 2 ";
  m.Ok = Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=frequency=440:sample_rate=22050" + two +
                "-c:v mjpeg -q:v 3 -c:a pcm_s16le " + Quote(m.Mjpeg)) &&
         Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=660:sample_rate=44100" + two +
                "-c:v mpeg4 -vtag XVID -q:v 4 -c:a pcm_s16le " + Quote(m.Xvid)) &&
         Ffmpeg("-f lavfi -i smptebars=size=320x240:rate=25 -f lavfi -i sine=frequency=330:sample_rate=22050" + two +
                "-c:v rawvideo -pix_fmt bgr24 -c:a libmp3lame -b:a 64k " + Quote(m.Raw)) &&
         Ffmpeg("-f lavfi -i mandelbrot=size=320x240:rate=25 -f lavfi -i sine=frequency=550:sample_rate=22050" + two +
                "-c:v mpeg4 -vtag FMP4 -g 12 -c:a adpcm_ima_wav " + Quote(m.Fmp4)) &&
         Ffmpeg("-f lavfi -i sine=frequency=880:sample_rate=44100 -t 3 -c:a pcm_s16le " + Quote(m.Wav)) &&
         Ffmpeg("-f lavfi -i rgbtestsrc=size=320x240 -frames:v 1 -pix_fmt bgr24 " + Quote(m.Bmp)) &&
         Ffmpeg("-f lavfi -i testsrc=size=320x240 -frames:v 1 " + Quote(m.Jpeg));
  return m;
}

// ---------------------------------------------------------------------------------
// projects

// Every row in use, a transition between each pair of clips, two stills on the picture row,
// the clips' own sound (PCM, MP3, IMA ADPCM) and a WAV below. 170 frames: 6800 ms.
constexpr int kMixedMs = 6800;

// withRanges: also the range block at frames 25..75 and sequence blocks at 10..30 and 100..130.
void WriteMixedProject(const std::string& project, const TMedia& m, bool withRanges = false) {
  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  TClipGraphic* a = clips.AddFile(m.Mjpeg);
  TClipGraphic* b = clips.AddFile(m.Xvid);
  TClipGraphic* c = clips.AddFile(m.Raw);
  TClipGraphic* d = clips.AddFile(m.Fmp4);
  TClipGraphic* wav = clips.AddFile(m.Wav);
  TClipGraphic* bmp = clips.AddFile(m.Bmp);
  TClipGraphic* jpg = clips.AddFile(m.Jpeg);
  ASSERT_TRUE(a && b && c && d && wav && bmp && jpg);
  const int32_t fx = box.DefaultFx3dID();
  box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, fx, a, 0);
  box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(40, true, true, false, fx, b, 0);
  box.RowByNumber(lnFirstClipTop)->InsertLayerItem(80, true, true, false, fx, c, 0);
  // D's sound runs a little longer than its pictures, and so would the clip: cut to them
  box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(120, false, true, false, fx, d, 50);
  TLayerItem* still = box.RowByNumber(lnImage)->InsertLayerItem(20, false, true, false, -1, bmp, 15);
  still->SetComposeMode(cmKeyOnThisLayer);
  still->SetColorKey(0xFFFFFF);
  box.RowByNumber(lnImage)->InsertLayerItem(140, false, true, false, -1, jpg, 15);
  box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, a, 0);
  box.RowByNumber(lnAudioFirst)->InsertLayerItem(80, true, true, false, -1, c, 0);
  box.RowByNumber(lnAudioSecond)->InsertLayerItem(40, true, true, false, -1, b, 0);
  box.RowByNumber(lnAudioSecond)->InsertLayerItem(120, false, true, false, -1, d, 50);
  box.RowByNumber(lnAudioThird)->InsertLayerItem(10, true, true, false, -1, wav, 0);
  if (withRanges) {
    // the box always holds its one range block
    TLayerItem* range = box.RowByNumber(lnRange)->Items(0);
    ASSERT_TRUE(range);
    range->SetFirstFrame(25);
    range->SetDuration(50);
    box.RowByNumber(lnSequence)->InsertLayerItem(10, false, false, false, -1, nullptr, 20);
    box.RowByNumber(lnSequence)->InsertLayerItem(100, false, false, false, -1, nullptr, 30);
  }
  ASSERT_EQ(box.ProjectEndFrame(false) * 40, kMixedMs);
  TClipBoxResources resources(clips);
  TProjectStream out(project, nullptr, &resources, &box, false);
  ASSERT_TRUE(out.WriteProject(project));
}

// One clip alone from 0 on the upper row with its sound, then a still on the lower row
// right after it (no transition): the clip's stretch is plain.
// With offset, the clip (pictures and sound) starts that many frames in.
void WriteClipThenStill(const std::string& project, const std::string& clipFile, const std::string& stillFile,
                        int stillFrames, int& clipFrames, int offset = 0) {
  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  TClipGraphic* clip = clips.AddFile(clipFile);
  TClipGraphic* still = clips.AddFile(stillFile);
  ASSERT_TRUE(clip && still);
  TLayerItem* v = box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, box.DefaultFx3dID(), clip, 0);
  TLayerItem* a = box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, clip, 0);
  if (offset > 0) {
    for (TLayerItem* item : {v, a}) {
      item->SetOffsetFrame(offset);
      item->SetDuration(item->MaxDuration());
    }
  }
  clipFrames = v->Duration();
  ASSERT_EQ(a->Duration(), clipFrames);
  box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(clipFrames, false, true, false, -1, still, stillFrames);
  TClipBoxResources resources(clips);
  TProjectStream out(project, nullptr, &resources, &box, false);
  ASSERT_TRUE(out.WriteProject(project));
}

// A still and a sound for four minutes: 241600 ms.
constexpr int kLongMs = 241600;

void WriteLongProject(const std::string& project, const TMedia& m) {
  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  TClipGraphic* still = clips.AddFile(m.Bmp);
  TClipGraphic* clip = clips.AddFile(m.Mjpeg);
  TClipGraphic* wav = clips.AddFile(m.Wav);
  ASSERT_TRUE(still && clip && wav);
  box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, box.DefaultFx3dID(), clip, 0);
  box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(40, false, true, false, box.DefaultFx3dID(), still, 6000);
  box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, wav, 0);
  ASSERT_EQ(box.ProjectEndFrame(false) * 40, kLongMs);
  TClipBoxResources resources(clips);
  TProjectStream out(project, nullptr, &resources, &box, false);
  ASSERT_TRUE(out.WriteProject(project));
}

// ---------------------------------------------------------------------------------
// running and checking

test::TCommandResult Render(const std::string& project, const std::string& args) {
  return RunCommand(Quote(test::MovaraProgram()) + " render " + Quote(project) + " " + args);
}

using TFields = std::map<std::string, std::string>;

// The streams of a file as ffprobe sees them, frames counted by decoding.
std::vector<TFields> Streams(const std::string& file) {
  const auto r = RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_type,codec_name,codec_tag_string,width,height,pix_fmt,r_frame_rate,nb_read_frames,sample_rate,"
      "channels -of compact=p=0 " +
      Quote(file));
  EXPECT_EQ(r.exitCode, 0) << file << "\n" << r.output;
  std::vector<TFields> streams;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    TFields f;
    std::istringstream parts(line);
    std::string kv;
    while (std::getline(parts, kv, '|')) {
      const size_t eq = kv.find('=');
      if (eq != std::string::npos) f[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    EXPECT_TRUE(f.count("codec_type")) << "ffprobe said: " << line;
    streams.push_back(f);
  }
  return streams;
}

const TFields* StreamOf(const std::vector<TFields>& streams, const std::string& type) {
  for (const auto& s : streams)
    if (s.at("codec_type") == type) return &s;
  return nullptr;
}

// Sound samples (per channel) of the first sound stream, by decoding it.
long long SoundSamples(const std::string& file) {
  const auto r = RunCommand("ffprobe -v error -select_streams a:0 -show_entries frame=nb_samples -of csv=p=0 " +
                            Quote(file));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  long long total = 0;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) total += std::atoll(line.c_str());
  return total;
}

// Cycles a second of the sound from at (s) for one second, by counting sign changes of
// what ffmpeg decodes (mixed to mono at 44100 Hz).
double SoundPitch(const std::string& file, double at) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -ss " + std::to_string(at) + " -t 1 -i " + Quote(file) +
                            " -map 0:a:0 -ac 1 -ar 44100 -f s16le - 2>/dev/null");
  const std::string& b = r.output;
  int changes = 0;
  bool wasNegative = false;
  for (size_t i = 0; i + 1 < b.size(); i += 2) {
    const auto v = static_cast<int16_t>(static_cast<uint8_t>(b[i]) | (static_cast<uint8_t>(b[i + 1]) << 8));
    if (i > 0 && (v < 0) != wasNegative) ++changes;
    wasNegative = v < 0;
  }
  return b.size() >= 2 ? changes / 2.0 * 88200.0 / static_cast<double>(b.size()) : 0;
}

using movara::test::ExpectFfmpegDecodes;

// md5 of every packet of the first video stream (copied as stored), or of every decoded frame.
std::vector<std::string> VideoMd5(const std::string& file, bool packets) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -map 0:v:0 " +
                            (packets ? "-c copy " : "-pix_fmt yuv420p ") + "-f framemd5 -");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> sums;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.rfind(',');
    std::string md5 = line.substr(comma + 1);
    md5.erase(0, md5.find_first_not_of(' '));
    sums.push_back(md5);
  }
  return sums;
}

// The RIFF size in the header covers the file exactly (closed and trimmed).
void ExpectWholeRiff(const std::string& file) {
  const std::vector<uint8_t> b = test::ReadBytes(file);
  ASSERT_GE(b.size(), 12u) << file;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "AVI ");
  const uint64_t riff = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint64_t>(b[7]) << 24);
  EXPECT_EQ(riff + 8, b.size()) << file;
}

// How alike a frame of one file and a frame of another are (dB; 100 when equal). RGB only:
// ffmpeg reads the unused fourth byte of 32-bit pictures as alpha.
double FramePsnr(const std::string& a, const char* atA, const std::string& b, const char* atB) {
  const auto r = RunCommand("ffmpeg -nostdin -v info -ss " + std::string(atA) + " -i " + Quote(a) + " -ss " + atB +
                            " -i " + Quote(b) +
                            " -lavfi '[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr' -frames:v 1 -f null - 2>&1");
  const size_t at = r.output.find("average:");
  EXPECT_NE(at, std::string::npos) << r.output;
  if (at == std::string::npos) return 0;
  const std::string value = r.output.substr(at + 8, 8);
  return value.rfind("inf", 0) == 0 ? 100 : std::atof(value.c_str());
}

// The picture of the frame at ms as ffmpeg decodes it: its brightest colour byte.
int Brightest(const std::string& film, int ms) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(film) + " -ss " + std::to_string(ms / 1000.0) +
                            " -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
  EXPECT_FALSE(r.output.empty()) << film << " at " << ms;
  int most = 0;
  for (char c : r.output) most = std::max(most, static_cast<int>(static_cast<uint8_t>(c)));
  return most;
}

void WriteProject(const std::string& project, TLayerBox& box, TClipBox& clips) {
  TClipBoxResources resources(clips);
  TProjectStream out(project, nullptr, &resources, &box, false);
  ASSERT_TRUE(out.WriteProject(project));
}

class FilmRender : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("ffprobe") || !test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara not built";
    ASSERT_TRUE(Media().Ok);
  }
  TTempDir dir_;
};

// ---------------------------------------------------------------------------------

struct TFormatCase {
  const char* Args;
  const char* VideoCodec;  // ffprobe's name
  const char* Tag;         // FOURCC in the stream header; "" not checked
  int Width, Height, Fps;
  const char* SoundCodec;
  int Rate, Channels;
  int BlockMs;
};

TEST_F(FilmRender, FilmsInEveryCodecReadBackWithTheirSettings) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  const TFormatCase cases[] = {
      {"--vcodec DIB --size 160x120 --fps 10", "rawvideo", "", 160, 120, 10, "pcm_s16le", 44100, 2, 1000},
      {"--vcodec DIB --depth 16 --size 160x120 --fps 5 --acodec mp3", "rawvideo", "", 160, 120, 5, "mp3", 44100, 2,
       1000},
      {"--vcodec MJPG --size 320x240 --fps 25 --rate 22050 --audio mono16 --block frame", "mjpeg", "MJPG", 320, 240, 25,
       "pcm_s16le", 22050, 1, 40},
      {"--vcodec FMP4 --size 240x176 --fps 30 --acodec imaadpcm --block half", "mpeg4", "FMP4", 240, 176, 30,
       "adpcm_ima_wav", 44100, 2, 500},
  };
  for (const TFormatCase& c : cases) {
    SCOPED_TRACE(c.Args);
    const std::string film = dir_.File("film.avi");
    const auto r = Render(project, std::string(c.Args) + " --quiet -o " + Quote(film));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto streams = Streams(film);
    ASSERT_EQ(streams.size(), 2u);
    const TFields* v = StreamOf(streams, "video");
    const TFields* a = StreamOf(streams, "audio");
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->at("codec_name"), c.VideoCodec);
    if (*c.Tag) {
      EXPECT_EQ(v->at("codec_tag_string"), c.Tag);
    }
    EXPECT_EQ(v->at("width"), std::to_string(c.Width));
    EXPECT_EQ(v->at("height"), std::to_string(c.Height));
    EXPECT_EQ(v->at("r_frame_rate"), std::to_string(c.Fps) + "/1");
    const int frames = kMixedMs * c.Fps / 1000;
    EXPECT_EQ(v->at("nb_read_frames"), std::to_string(frames));
    EXPECT_EQ(a->at("codec_name"), c.SoundCodec);
    EXPECT_EQ(a->at("sample_rate"), std::to_string(c.Rate));
    EXPECT_EQ(a->at("channels"), std::to_string(c.Channels));
    const double soundMs = SoundSamples(film) * 1000.0 / c.Rate;
    EXPECT_NEAR(soundMs, kMixedMs, c.BlockMs);
    ExpectFfmpegDecodes(film);
    ExpectWholeRiff(film);
    // the clips' own sounds where each plays alone: C's MP3 330 Hz, D's IMA ADPCM 550 Hz
    EXPECT_NEAR(SoundPitch(film, 3.7), 330, 5);
    EXPECT_NEAR(SoundPitch(film, 5.4), 550, 5);
  }

  // the pictures are the project's: at 4.0 s clip C (colour bars, from 3.2 s) alone, as
  // ffmpeg decodes it from the source
  const std::string film = dir_.File("look.avi");
  ASSERT_EQ(Render(project, "--vcodec MJPG --size 320x240 --quiet -o " + Quote(film)).exitCode, 0);
  EXPECT_GT(FramePsnr(film, "4.0", Media().Raw, "0.8"), 25);
}

TEST_F(FilmRender, OneFrameSoundBlocksKeepPictureAndSoundTogether) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  for (int fps : {30, 60}) {
    SCOPED_TRACE(fps);
    const std::string film = dir_.File("frames.avi");
    const auto r = Render(project, "--vcodec MJPG --size 64x48 --block frame --fps " + std::to_string(fps) +
                                       " --quiet -o " + Quote(film));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto streams = Streams(film);
    const TFields* v = StreamOf(streams, "video");
    ASSERT_TRUE(v);
    const int frames = std::atoi(v->at("nb_read_frames").c_str());
    EXPECT_EQ(frames, kMixedMs * fps / 1000);
    EXPECT_NEAR(SoundSamples(film) * 1000.0 / 44100, frames * 1000.0 / fps, 1000.0 / fps);
  }
}

TEST_F(FilmRender, SoundOnlyAndPictureOnlyFilms) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));

  const std::string sound = dir_.File("sound.avi");
  auto r = Render(project, "--content audio --acodec imaadpcm --quiet -o " + Quote(sound));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  auto streams = Streams(sound);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "audio");
  EXPECT_EQ(streams[0].at("codec_name"), "adpcm_ima_wav");
  EXPECT_NEAR(SoundSamples(sound) * 1000.0 / 44100, kMixedMs, 1000);
  ExpectFfmpegDecodes(sound);

  const std::string picture = dir_.File("picture.avi");
  r = Render(project, "--content video --size 320x240 --fps 20 --quiet -o " + Quote(picture));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  streams = Streams(picture);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].at("codec_type"), "video");
  EXPECT_EQ(streams[0].at("nb_read_frames"), std::to_string(kMixedMs * 20 / 1000));
  ExpectFfmpegDecodes(picture);
}

// The film and its continuation files NAME01.AVI, NAME02.AVI ... as far as they go.
std::vector<std::string> FilmFiles(const TTempDir& dir, const std::string& name) {
  std::vector<std::string> files{dir.File(name + ".avi")};
  for (int k = 1;; ++k) {
    char next[16];
    std::snprintf(next, sizeof next, "%02d.AVI", k);
    if (!FileExists(dir.File(name + next))) break;
    files.push_back(dir.File(name + next));
  }
  return files;
}

TEST_F(FilmRender, RangeAndSequencesChooseThePartsOfTheFilm) {
  const std::string project = dir_.File("ranges.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media(), true));
  // every frame drawn, uncompressed: the same time gives the same picture
  const std::string args = "--vcodec DIB --size 160x120 --mode none --quiet --range ";
  const std::string all = dir_.File("all.avi"), range = dir_.File("range.avi"), seq = dir_.File("seq.avi");
  ASSERT_EQ(Render(project, args + "all -o " + Quote(all)).exitCode, 0);
  ASSERT_EQ(Render(project, args + "range -o " + Quote(range)).exitCode, 0);
  ASSERT_EQ(Render(project, args + "sequences -o " + Quote(seq)).exitCode, 0);
  const auto allFrames = VideoMd5(all, false), rangeFrames = VideoMd5(range, false), seqFrames = VideoMd5(seq, false);
  ASSERT_EQ(allFrames.size(), 170u);
  ASSERT_EQ(rangeFrames.size(), 50u);
  ASSERT_EQ(seqFrames.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(rangeFrames[i], allFrames[25 + i]) << "range frame " << i;
    EXPECT_EQ(seqFrames[i], allFrames[i < 20 ? 10 + i : 80 + i]) << "sequence frame " << i;
  }
  for (const std::string& f : {range, seq}) {
    EXPECT_NEAR(SoundSamples(f) * 1000.0 / 44100, 2000, 1000) << f;
    ExpectFfmpegDecodes(f);
  }
}

TEST_F(FilmRender, LongFilmsContinueInNumberedFiles) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  // 170 frames of 320x240x24: 39 MB of pictures
  auto r = Render(project, "--vcodec DIB --size 320x240 --max-size 20971521 --quiet -o " + Quote(dir_.File("long.avi")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> files = FilmFiles(dir_, "long");
  ASSERT_GE(files.size(), 2u);
  int frames = 0;
  long long samples = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    EXPECT_LE(fs::file_size(f), 20971521u);
    const auto streams = Streams(f);
    ASSERT_EQ(streams.size(), 2u);
    const TFields* v = StreamOf(streams, "video");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->at("width"), "320");
    frames += std::atoi(v->at("nb_read_frames").c_str());
    samples += SoundSamples(f);
    ExpectFfmpegDecodes(f);
    ExpectWholeRiff(f);
  }
  EXPECT_EQ(frames, kMixedMs * 25 / 1000);
  EXPECT_NEAR(samples * 1000.0 / 44100, kMixedMs, 1000);

  // the writer takes no limit below 20 MB + 1 byte: such a limit is refused, not ignored
  const std::string one = dir_.File("one.avi");
  r = Render(project, "--vcodec DIB --size 320x240 --max-size 20971520 --quiet -o " + Quote(one));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("at least 20971521 bytes"), std::string::npos) << r.output;
  EXPECT_FALSE(FileExists(one));

  // four minutes of sound alone: 42 MB
  const std::string longProject = dir_.File("sound.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteLongProject(longProject, Media()));
  r = Render(longProject, "--content audio --max-size 20971521 --quiet -o " + Quote(dir_.File("sound.avi")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  files = FilmFiles(dir_, "sound");
  ASSERT_GE(files.size(), 3u);
  samples = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    EXPECT_LE(fs::file_size(f), 20971521u);
    ASSERT_EQ(Streams(f).size(), 1u);
    samples += SoundSamples(f);
    ExpectFfmpegDecodes(f);
    ExpectWholeRiff(f);
  }
  EXPECT_NEAR(samples * 1000.0 / 44100, kLongMs, 1000);
}

// A film whose size estimate (a second of the largest frames) passes the size limit goes
// on in a new file at every step: each file holds that step's frames and sound, copied or
// drawn, and the frames go on in order from file to file.
TEST_F(FilmRender, SplitFilmsHoldFramesInEveryFile) {
  const std::string clip = dir_.File("pal.avi");
  ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
                     "-t 4 -c:v mjpeg -q:v 5 -c:a pcm_s16le " + Quote(clip)));
  int clipFrames = 0;
  const std::string project = dir_.File("split.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, clip, Media().Bmp, 5, clipFrames));
  ASSERT_EQ(clipFrames, 100);
  const std::vector<std::string> source = VideoMd5(clip, true);
  ASSERT_EQ(source.size(), 100u);
  for (const char* mode : {"max", "none"}) {
    SCOPED_TRACE(mode);
    const std::string name = std::string("split_") + mode;
    const auto r = Render(project, std::string("--vcodec MJPG --max-size 20971521 --quiet --mode ") + mode + " -o " +
                                       Quote(dir_.File(name + ".avi")));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::vector<std::string> files = FilmFiles(dir_, name);
    EXPECT_GE(files.size(), 4u);
    std::vector<std::string> packets;
    long long samples = 0;
    for (const std::string& f : files) {
      SCOPED_TRACE(f);
      const auto md5 = VideoMd5(f, true);
      EXPECT_GT(md5.size(), 0u);
      packets.insert(packets.end(), md5.begin(), md5.end());
      const long long sound = SoundSamples(f);
      EXPECT_GT(sound, 0);
      samples += sound;
      ExpectFfmpegDecodes(f);
      ExpectWholeRiff(f);
    }
    ASSERT_EQ(packets.size(), 105u);
    EXPECT_NEAR(samples * 1000.0 / 44100, 4200, 50);
    int copied = 0;
    for (size_t i = 0; i < source.size(); ++i) copied += packets[i] == source[i];
    EXPECT_EQ(copied, mode == std::string("max") ? 100 : 0);
  }

  // A shorter film of the same name: the continuation files the longer one left go, but
  // not a file of that pattern that another program made.
  const std::string foreign = dir_.File("split_max02.AVI");
  fs::copy_file(clip, foreign, fs::copy_options::overwrite_existing);
  const size_t longer = FilmFiles(dir_, "split_max").size();
  ASSERT_GE(longer, 4u);
  const auto r = Render(project, "--vcodec MJPG --content video --quiet -o " + Quote(dir_.File("split_max.avi")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // the summary names the one file
  EXPECT_EQ(r.output.rfind("made " + dir_.File("split_max.avi") + ": 105 frames, 4.20 s, generated in ", 0), 0u)
      << r.output;
  for (size_t k = 1; k < longer; ++k) {
    char name[48];
    std::snprintf(name, sizeof name, "split_max%02d.AVI", static_cast<int>(k));
    EXPECT_EQ(fs::exists(dir_.File(name)), k == 2) << name;
  }
  EXPECT_TRUE(test::ReadBytes(foreign) == test::ReadBytes(clip));
  EXPECT_EQ(VideoMd5(dir_.File("split_max.avi"), true).size(), 105u);
}

// Packets of the output equal to source packets must also decode to the source's pictures
// (a copied frame that depends on a frame that was not copied would not).
void ExpectCopiesDecodeAsSource(const std::string& film, const std::string& source, int& copied, int offset = 0) {
  const auto filmPackets = VideoMd5(film, true), filmFrames = VideoMd5(film, false);
  const auto srcPackets = VideoMd5(source, true), srcFrames = VideoMd5(source, false);
  ASSERT_EQ(filmPackets.size(), filmFrames.size());
  ASSERT_EQ(srcPackets.size(), srcFrames.size());
  std::map<std::string, size_t> where;
  for (size_t i = 0; i < srcPackets.size(); ++i) where.emplace(srcPackets[i], i);
  copied = 0;
  for (size_t i = 0; i < filmPackets.size(); ++i) {
    const auto it = where.find(filmPackets[i]);
    if (it == where.end()) continue;
    ++copied;
    EXPECT_EQ(it->second, i + offset) << "packet " << i << " is source packet " << it->second;
    EXPECT_EQ(filmFrames[i], srcFrames[it->second]) << "frame " << i;
  }
}

TEST_F(FilmRender, PlainStretchOfAMatchingClipIsCopiedOnlyAtMaximalOptimisation) {
  int clipFrames = 0;
  const std::string project = dir_.File("copy.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Mjpeg, Media().Bmp, 25, clipFrames));
  ASSERT_EQ(clipFrames, 50);
  const std::vector<std::string> source = VideoMd5(Media().Mjpeg, true);
  ASSERT_EQ(source.size(), 50u);
  // a FOURCC in any case is the catalogue's: "mjpg" films copy MJPG clips too
  for (const char* mode : {"max", "medium", "none", "max mjpg"}) {
    SCOPED_TRACE(mode);
    const std::string m = std::string(mode).substr(0, std::string(mode).find(' '));
    const std::string film = dir_.File(std::string("copy_") + mode + ".avi");
    const auto r = Render(project, std::string("--vcodec ") + (m != mode ? "mjpg" : "MJPG") +
                                       " --size 320x240 --fps 25 --mode " + m + " --quiet -o " + Quote(film));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto packets = VideoMd5(film, true);
    ASSERT_EQ(packets.size(), 75u);
    int same = 0;
    for (size_t i = 0; i < packets.size(); ++i) same += i < source.size() && packets[i] == source[i];
    if (m == "max") {
      EXPECT_EQ(same, 50);
      int copied = 0;
      ExpectCopiesDecodeAsSource(film, Media().Mjpeg, copied);
      EXPECT_EQ(copied, 50);
    } else {
      EXPECT_EQ(same, 0);
    }
    ExpectFfmpegDecodes(film);
  }

  // a clip that starts 7 frames in is copied from there
  const std::string trimmed = dir_.File("trimmed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(trimmed, Media().Mjpeg, Media().Bmp, 25, clipFrames, 7));
  ASSERT_EQ(clipFrames, 43);
  const std::string cut = dir_.File("copy_cut.avi");
  ASSERT_EQ(Render(trimmed, "--vcodec MJPG --size 320x240 --quiet -o " + Quote(cut)).exitCode, 0);
  int copiedCut = 0;
  ExpectCopiesDecodeAsSource(cut, Media().Mjpeg, copiedCut, 7);
  EXPECT_EQ(copiedCut, 43);
  EXPECT_EQ(Streams(cut).at(0).at("nb_read_frames"), "68");
  ExpectFfmpegDecodes(cut);

  // another size: nothing may be copied
  const std::string small = dir_.File("copy_small.avi");
  ASSERT_EQ(Render(project, "--vcodec MJPG --size 160x120 --mode max --quiet -o " + Quote(small)).exitCode, 0);
  const auto smallStreams = Streams(small);
  ASSERT_FALSE(smallStreams.empty());
  EXPECT_EQ(smallStreams[0].at("width"), "160");
  int copied = -1;
  ExpectCopiesDecodeAsSource(small, Media().Mjpeg, copied);
  EXPECT_EQ(copied, 0);
  ExpectFfmpegDecodes(small);
}

TEST_F(FilmRender, CopiedMpeg4StretchKeepsItsReferences) {
  // MPEG-4 with a key frame every 12: a stretch can only be copied from a key frame on;
  // the clip starts 5 frames in, between two
  int clipFrames = 0;
  const std::string project = dir_.File("copy4.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Fmp4, Media().Jpeg, 10, clipFrames, 5));
  const std::string film = dir_.File("copy4.avi");
  const auto r = Render(project, "--vcodec FMP4 --size 320x240 --fps 25 --quiet -o " + Quote(film));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Streams(film).at(0).at("nb_read_frames"), std::to_string(clipFrames + 10));
  int copied = 0;
  ExpectCopiesDecodeAsSource(film, Media().Fmp4, copied, 5);
  EXPECT_GT(copied, 0);
  ExpectFfmpegDecodes(film);
  // the index marks exactly the key frames, copied or made here (seeking relies on it)
  const auto flags = RunCommand("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " +
                                Quote(film));
  const auto kinds = RunCommand("ffprobe -v error -select_streams v -show_entries frame=key_frame -of csv=p=0 " +
                                Quote(film));
  std::istringstream f(flags.output), k(kinds.output);
  std::string flag, key;
  int n = 0, keys = 0;
  while (std::getline(f, flag) && std::getline(k, key)) {
    EXPECT_EQ(flag[0] == 'K', key == "1") << "frame " << n;
    keys += key == "1";
    ++n;
  }
  EXPECT_EQ(n, clipFrames + 10);
  EXPECT_GE(keys, 2);
}

TEST_F(FilmRender, ClipWithBFramesKeepsEveryFrameInOrder) {
  std::vector<std::string> encoders{"-c:v mpeg4 -bf 2"};
  if (RunCommand("ffmpeg -hide_banner -h encoder=libxvid | grep -q libxvid").exitCode == 0)
    encoders.push_back("-c:v libxvid -bf 2");  // packed B-frames, as XviD writes them
  for (const std::string& encoder : encoders) {
    SCOPED_TRACE(encoder);
    const std::string clip = dir_.File("bframes.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i mandelbrot=size=320x240:rate=25 -f lavfi -i sine=sample_rate=22050 -t 2 -g 12 " +
                       encoder + " -vtag FMP4 -c:a pcm_s16le " + Quote(clip)));
    int clipFrames = 0;
    const std::string project = dir_.File("bframes.mvf");
    ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, clip, Media().Bmp, 10, clipFrames));
    const std::string film = dir_.File("bframes_film.avi");
    const auto r = Render(project, "--vcodec FMP4 --size 320x240 --fps 25 --quiet -o " + Quote(film));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectFfmpegDecodes(film);
    EXPECT_EQ(Streams(film).at(0).at("nb_read_frames"), std::to_string(clipFrames + 10));
    // frame by frame like the clip (recompressed frames stay well above 20 dB)
    const auto psnr = RunCommand("ffmpeg -nostdin -v info -i " + Quote(film) + " -i " + Quote(clip) +
                                 " -lavfi '[0:v]trim=end_frame=" + std::to_string(clipFrames) +
                                 ",format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr=stats_file=-' -f null - 2>/dev/null");
    std::istringstream lines(psnr.output);
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
      const size_t at = line.find("psnr_avg:");
      if (at == std::string::npos) continue;
      const std::string v = line.substr(at + 9, 8);
      EXPECT_TRUE(v.rfind("inf", 0) == 0 || std::atof(v.c_str()) > 20) << "frame " << n << ": " << v;
      ++n;
    }
    // a packed clip keeps empty placeholders in its index, which ffmpeg does not count
    EXPECT_EQ(n, std::min(clipFrames, std::stoi(Streams(clip).at(0).at("nb_read_frames"))));
    EXPECT_GE(n, clipFrames - 2);
  }
}

TEST_F(FilmRender, UncompressedClipInAnUncompressedFilmKeepsItsPicture) {
  int clipFrames = 0;
  const std::string project = dir_.File("raw.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Raw, Media().Bmp, 10, clipFrames));
  for (const char* depth : {"24", "16", "32"}) {
    SCOPED_TRACE(depth);
    const std::string film = dir_.File(std::string("raw") + depth + ".avi");
    const auto r = Render(project, std::string("--vcodec DIB --size 320x240 --fps 25 --depth ") + depth +
                                       " --quiet -o " + Quote(film));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectFfmpegDecodes(film);
    EXPECT_GT(FramePsnr(film, "0.8", Media().Raw, "0.8"), depth == std::string("16") ? 30 : 40);
    if (depth == std::string("32")) {
      // players read the fourth byte as alpha: every pixel must be opaque
      const auto rgba = RunCommand("ffmpeg -nostdin -v error -i " + Quote(film) +
                                   " -frames:v 2 -f rawvideo -pix_fmt rgba - 2>/dev/null");
      ASSERT_EQ(rgba.output.size(), 2u * 320 * 240 * 4);
      int transparent = 0;
      for (size_t i = 3; i < rgba.output.size(); i += 4) transparent += static_cast<uint8_t>(rgba.output[i]) != 255;
      EXPECT_EQ(transparent, 0);
    }
  }
}

TEST_F(FilmRender, ClipSoundKeepsItsPitchInEverySoundFormat) {
  // clip A's 440 Hz (22050 Hz mono) alone for two seconds
  int clipFrames = 0;
  const std::string project = dir_.File("tone.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Mjpeg, Media().Bmp, 5, clipFrames));
  for (const char* sound : {"", "--rate 8000 --audio mono8 --acodec alaw", "--rate 22050 --audio mono16 --acodec mp3",
                            "--rate 11025 --acodec imaadpcm", "--rate 48000 --audio stereo8 --acodec msadpcm",
                            "--rate 8000 --audio mono16 --acodec gsm"}) {
    SCOPED_TRACE(sound);
    const std::string film = dir_.File("tone.avi");
    const auto r = Render(project, std::string("--content audio --quiet -o ") + Quote(film) + " " + sound);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NEAR(SoundPitch(film, 0.5), 440, 5);
    EXPECT_NEAR(SoundSamples(film) * 1000.0 / std::atoi(Streams(film).at(0).at("sample_rate").c_str()),
                (clipFrames + 5) * 40, 1000);
    ExpectFfmpegDecodes(film);
  }
}

TEST_F(FilmRender, OutputOverTheProjectItsMediaOrAFolderIsRefused) {
  const std::string clip = dir_.File("a.avi");
  fs::copy_file(Media().Mjpeg, clip);
  int clipFrames = 0;
  const std::string project = dir_.File("own.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, clip, Media().Bmp, 5, clipFrames));
  const std::vector<uint8_t> clipBytes = test::ReadBytes(clip), projectBytes = test::ReadBytes(project);
  for (const std::string& out : {clip, project, dir_.File("./a.avi")}) {
    SCOPED_TRACE(out);
    const auto r = Render(project, "--size 320x240 --quiet -o " + Quote(out));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
    EXPECT_TRUE(test::ReadBytes(clip) == clipBytes);
    EXPECT_TRUE(test::ReadBytes(project) == projectBytes);
    test::WriteBytes(clip, clipBytes);  // each case on its own
    test::WriteBytes(project, projectBytes);
  }
  const std::string folder = dir_.File("folder");
  fs::create_directory(folder);
  const auto r = Render(project, "--size 320x240 --quiet -o " + Quote(folder));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST_F(FilmRender, PictureSequencesHoldOneFilePerFrame) {
  // three seconds: clip A, then the still
  int clipFrames = 0;
  const std::string project = dir_.File("seq.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Mjpeg, Media().Jpeg, 25, clipFrames));
  const struct {
    const char* Kind;
    const char* Ext;
    const char* Codec;
  } kinds[] = {{"bmp", ".BMP", "bmp"}, {"gif", ".GIF", "gif"}, {"jpeg", ".JPG", "mjpeg"}};
  const int frames = (clipFrames + 25) * 40 * 5 / 1000;
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.Kind);
    const std::string folder = dir_.File(k.Kind) + "/";
    fs::create_directories(folder);
    const auto r = Render(project, std::string("--kind ") + k.Kind + " --size 160x120 --fps 5 --quiet -o " +
                                       Quote(folder + "pic.avi"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    std::set<std::string> expected;
    for (int i = 0; i < frames; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "pic%04d%s", i, k.Ext);
      expected.insert(name);
    }
    EXPECT_EQ(names, expected);
    const auto probe = RunCommand("cd " + Quote(folder) + " && for f in pic*" + k.Ext +
                                  "; do ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 "
                                  "\"$f\" || echo bad; done");
    std::istringstream lines(probe.output);
    std::string line;
    int good = 0;
    while (std::getline(lines, line)) {
      EXPECT_EQ(line, std::string(k.Codec) + ",160,120");
      good += line == std::string(k.Codec) + ",160,120";
    }
    EXPECT_EQ(good, frames);
  }
}

TEST_F(FilmRender, WriterThreadMakesTheSameFileAsOneThread) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  // both compressed and copied frames (clip A matches 320x240 MJPG) and sound
  const std::string args = "--vcodec MJPG --size 320x240 --acodec imaadpcm --block frame -o ";
  const std::string one = dir_.File("one.avi"), two = dir_.File("two.avi");
  ASSERT_EQ(Render(project, args + Quote(one) + " --single-thread --quiet").exitCode, 0);
  // progress goes to stderr only, up to 100 %
  const std::string progress = dir_.File("progress.txt");
  const auto r = RunCommand("{ " + Quote(test::MovaraProgram()) + " render " + Quote(project) + " " + args +
                            Quote(two) + " 2>" + Quote(progress) + "; }");
  ASSERT_EQ(r.exitCode, 0);
  // stdout holds the summary alone
  EXPECT_EQ(r.output.rfind("made " + two + ": 170 frames, 6.80 s, generated in ", 0), 0u) << r.output;
  EXPECT_NE(r.output.find(" frames a second\n"), std::string::npos) << r.output;
  EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  const std::vector<uint8_t> lines = test::ReadBytes(progress);
  const std::string text(lines.begin(), lines.end());
  EXPECT_NE(text.find(" 0 %"), std::string::npos) << text;
  EXPECT_NE(text.find(" 100 %"), std::string::npos) << text;
  // not on a terminal: a line every tenth of the film
  EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 11) << text;
  // on a terminal: one line, written over
  if (test::HaveProgram("script")) {
    const auto tty = RunCommand("script -qec " +
                                Quote(Quote(test::MovaraProgram()) + " render " + Quote(project) + " " + args +
                                      Quote(dir_.File("tty.avi")) + " >/dev/null") +
                                " /dev/null");
    EXPECT_EQ(tty.exitCode, 0) << tty.output;
    EXPECT_NE(tty.output.find("\r"), std::string::npos) << tty.output;
    EXPECT_NE(tty.output.find(" 100 %"), std::string::npos) << tty.output;
    EXPECT_LE(std::count(tty.output.begin(), tty.output.end(), '\n'), 2) << tty.output;
  }
  auto masked = [](const std::string& file) {
    std::vector<uint8_t> b = test::ReadBytes(file);
    std::string s(b.begin(), b.end());
    for (size_t at = s.find("Created "); at != std::string::npos; at = s.find("Created ", at + 1)) {
      const size_t end = s.find(" - Movara", at);
      if (end == std::string::npos || end - at > 40) continue;
      for (size_t i = at; i < end; ++i) s[i] = '#';
    }
    return s;
  };
  const std::string a = masked(one), b = masked(two);
  ASSERT_GT(a.size(), 100000u);
  EXPECT_NE(a.find("######## - Movara"), std::string::npos);
  EXPECT_EQ(a.size(), b.size());
  EXPECT_TRUE(a == b);
  ExpectFfmpegDecodes(two);

  // a split film, file by file
  const std::string split = "--vcodec DIB --size 320x240 --max-size 20971521 --quiet -o ";
  ASSERT_EQ(Render(project, split + Quote(dir_.File("s1.avi")) + " --single-thread").exitCode, 0);
  ASSERT_EQ(Render(project, split + Quote(dir_.File("s2.avi"))).exitCode, 0);
  const std::vector<std::string> files1 = FilmFiles(dir_, "s1"), files2 = FilmFiles(dir_, "s2");
  ASSERT_EQ(files1.size(), files2.size());
  EXPECT_GE(files1.size(), 2u);
  for (size_t i = 0; i < files1.size(); ++i) EXPECT_TRUE(masked(files1[i]) == masked(files2[i])) << files2[i];
}

// A time line that starts empty, has a gap between its blocks and ends with sound alone:
// the film has every frame, black where no picture is, the sound going on over the gap,
// and the clip between the empty stretches is still copied unchanged.
TEST_F(FilmRender, EmptyStretchesOfTheTimeLineAreBlackFrames) {
  const std::string project = dir_.File("gaps.mvf");
  {
    CreateResourceLists();
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* a = clips.AddFile(Media().Mjpeg);
    TClipGraphic* still = clips.AddFile(Media().Bmp);
    TClipGraphic* wav = clips.AddFile(Media().Wav);
    ASSERT_TRUE(a && still && wav);
    // clip A over frames 25..75, the still over 100..125, the sound under 60..135
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(25, true, true, false, box.DefaultFx3dID(), a, 0);
    box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(100, false, true, false, box.DefaultFx3dID(), still, 25);
    box.RowByNumber(lnAudioFirst)->InsertLayerItem(60, true, true, false, -1, wav, 0);
    ASSERT_EQ(box.ProjectEndFrame(false), 135);
    ASSERT_NO_FATAL_FAILURE(WriteProject(project, box, clips));
  }
  const std::string film = dir_.File("gaps.avi");
  const auto r = Render(project, "--vcodec MJPG --size 320x240 --mode max --quiet -o " + Quote(film));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto streams = Streams(film);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(StreamOf(streams, "video")->at("nb_read_frames"), "135");
  EXPECT_NEAR(SoundSamples(film) * 1000.0 / 44100, 5400, 1000);
  ExpectFfmpegDecodes(film);
  int copied = 0;
  ExpectCopiesDecodeAsSource(film, Media().Mjpeg, copied, -25);
  EXPECT_EQ(copied, 50);
  for (int ms : {500, 3500, 5200}) EXPECT_LE(Brightest(film, ms), 20) << ms;  // before, between, after
  EXPECT_GT(Brightest(film, 2000), 100);
  EXPECT_GT(Brightest(film, 4400), 100);
  EXPECT_NEAR(SoundPitch(film, 3.2), 880, 5);

  // the frame command renders a frame of the gap the same way
  const std::string bmp = dir_.File("gap.bmp");
  const auto frame = RunCommand(Quote(test::MovaraProgram()) + " frame " + Quote(project) + " --at 3500 --size 64x48 -o " +
                                Quote(bmp));
  ASSERT_EQ(frame.exitCode, 0) << frame.output;
  TDIB picture;
  ASSERT_TRUE(picture.LoadFromFile(bmp));
  int lit = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) lit += picture.Pixel(x, y) != 0;
  EXPECT_EQ(lit, 0);
}

// ---------------------------------------------------------------------------------
// bad input

TEST_F(FilmRender, UnwritableOutputFailsAndLeavesNothing) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  test::WriteBytes(dir_.File("plain"), {1, 2, 3});
  const std::pair<std::string, const char*> targets[] = {{"/proc/movara-film.avi", ""},
                                                          {dir_.File("plain/film.avi"), std::strerror(ENOTDIR)},
                                                          {dir_.File("no/such/film.avi"), std::strerror(ENOENT)}};
  for (const auto& [out, why] : targets) {
    SCOPED_TRACE(out);
    const auto r = Render(project, "--quiet -o " + Quote(out));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
    // the message names the file and the system's reason
    EXPECT_NE(r.output.find(out + "\". (Błąd nr $8004406f): " + why), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
  }
  // a picture sequence into a folder that is a file
  const auto r = Render(project, "--kind jpeg --quiet -o " + Quote(dir_.File("plain/pic.jpg")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
  EXPECT_EQ(test::ReadBytes(dir_.File("plain")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(FilmRender, SoundFormatNoCompressorTakesFailsAndLeavesNothing) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  // GSM holds one channel only; MP3 has no 12345 Hz; no compressor knows tag 0x1234
  for (const char* sound : {"--acodec gsm --audio stereo16", "--acodec mp3 --rate 12345", "--acodec 0x1234"}) {
    for (const char* content : {"both", "audio"}) {
      SCOPED_TRACE(std::string(sound) + " " + content);
      const std::string film = dir_.File("film.avi");
      const auto r = Render(project, std::string(sound) + " --content " + content + " --size 64x48 --quiet -o " +
                                         Quote(film));
      EXPECT_EQ(r.exitCode, 1) << r.output;
      EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
      EXPECT_FALSE(fs::exists(film));
      fs::remove(film);
    }
  }
}

TEST_F(FilmRender, MissingMediaStopUnlessSkippedAndThenKeepTheirTime) {
  // the project's own copies: A, B over a transition from A, C over a transition from B,
  // each with its sound, then a still; B and the still go away
  const std::string a = dir_.File("a.avi"), b = dir_.File("b.avi"), c = dir_.File("c.avi"), p = dir_.File("p.bmp");
  fs::copy_file(Media().Mjpeg, a);
  fs::copy_file(Media().Xvid, b);
  fs::copy_file(Media().Raw, c);
  fs::copy_file(Media().Bmp, p);
  const std::string project = dir_.File("gone.mvf");
  {
    CreateResourceLists();
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* ca = clips.AddFile(a);
    TClipGraphic* cb = clips.AddFile(b);
    TClipGraphic* cc = clips.AddFile(c);
    TClipGraphic* cp = clips.AddFile(p);
    ASSERT_TRUE(ca && cb && cc && cp);
    const int32_t fx = box.DefaultFx3dID();
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, fx, ca, 0);
    box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(40, true, true, false, fx, cb, 0);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(80, true, true, false, fx, cc, 0);
    box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(132, false, true, false, fx, cp, 20);
    box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, ca, 0);
    box.RowByNumber(lnAudioSecond)->InsertLayerItem(40, true, true, false, -1, cb, 0);
    box.RowByNumber(lnAudioFirst)->InsertLayerItem(80, true, true, false, -1, cc, 0);
    ASSERT_EQ(box.RowByNumber(lnFirstFx3d)->ItemCount(), 2);
    ASSERT_EQ(box.ProjectEndFrame(false), 152);
    ASSERT_NO_FATAL_FAILURE(WriteProject(project, box, clips));
  }
  fs::remove(b);
  fs::remove(p);
  const std::string film = dir_.File("gone.avi");
  auto r = Render(project, "--size 320x240 --quiet -o " + Quote(film));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("--skip-missing"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(film));

  r = Render(project, "--size 320x240 --skip-missing --quiet -o " + Quote(film));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find(b), std::string::npos) << r.output;  // named as missing
  EXPECT_NE(r.output.find(p), std::string::npos) << r.output;
  const auto streams = Streams(film);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(StreamOf(streams, "video")->at("nb_read_frames"), "152");  // the whole time line
  EXPECT_NEAR(SoundSamples(film) * 1000.0 / 44100, 152 * 40, 1000);
  ExpectFfmpegDecodes(film);
  EXPECT_LE(Brightest(film, 2600), 20);  // B's own stretch is black
  EXPECT_LE(Brightest(film, 5700), 20);  // and so is the still's
  EXPECT_NEAR(SoundPitch(film, 2.1), 0, 5);  // B's sound is silence
  // C keeps its time: its frame 20 at 4.0 s, its MP3 330 Hz under it
  EXPECT_GT(FramePsnr(film, "4.0", Media().Raw, "0.8"), 25);
  EXPECT_NEAR(SoundPitch(film, 3.7), 330, 5);

  // the script shows it: black for the clips' row, silence for the sound
  const auto script = RunCommand(Quote(test::MovaraProgram()) + " script " + Quote(project));
  EXPECT_EQ(script.exitCode, 1) << script.output;
  EXPECT_NE(script.output.find("Col $00000000 1200"), std::string::npos) << script.output;
  EXPECT_NE(script.output.find("Col $00000000 800"), std::string::npos) << script.output;
  EXPECT_NE(script.output.find("*** Audio2 ***\r\nNop null 1600\r\nNop null 2000\r\n"), std::string::npos)
      << script.output;
}

// With nothing to make the film is not begun: the message says so and an older film
// of that name stays as it was.
TEST_F(FilmRender, NothingToMakeLeavesAnOlderFilmAlone) {
  const std::string clip = dir_.File("a.avi"), still = dir_.File("p.bmp");
  fs::copy_file(Media().Mjpeg, clip);
  fs::copy_file(Media().Bmp, still);
  CreateResourceLists();
  const std::string gone = dir_.File("gone.mvf"), empty = dir_.File("empty.mvf"), silent = dir_.File("silent.mvf");
  {
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* a = clips.AddFile(clip);
    ASSERT_TRUE(a);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, box.DefaultFx3dID(), a, 0);
    box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, a, 0);
    ASSERT_NO_FATAL_FAILURE(WriteProject(gone, box, clips));
  }
  {
    TClipBox clips;
    TLayerBox box;
    ASSERT_NO_FATAL_FAILURE(WriteProject(empty, box, clips));
    TClipGraphic* p = clips.AddFile(still);
    ASSERT_TRUE(p);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, box.DefaultFx3dID(), p, 50);
    ASSERT_NO_FATAL_FAILURE(WriteProject(silent, box, clips));
  }
  fs::remove(clip);
  const std::string film = dir_.File("film.avi");
  const std::vector<uint8_t> older{'o', 'l', 'd'};
  const struct {
    const std::string& Project;
    const char* Args;
  } cases[] = {{gone, "--skip-missing"}, {empty, ""}, {silent, "--content audio"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Project + " " + c.Args);
    test::WriteBytes(film, older);
    const auto r = Render(c.Project, std::string(c.Args) + " --size 320x240 --quiet -o " + Quote(film));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("movara render: No work to do."), std::string::npos) << r.output;
    EXPECT_EQ(test::ReadBytes(film), older);
  }
}

// A sound block that cannot be written ends the film with an error: the sound after it
// would come too early.
TEST_F(FilmRender, SoundThatCannotBeWrittenFailsTheFilm) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  const std::string film = dir_.File("full.avi");
  // a file size limit of 256 kB: the second second of sound does not fit
  const std::string cmd = "trap '' XFSZ; ulimit -f 512; exec " + Quote(test::MovaraProgram()) + " render " +
                          Quote(project) + " --content audio --quiet -o " + Quote(film);
  const auto r = RunCommand("sh -c " + Quote(cmd));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("movara render: "), std::string::npos) << r.output;
}

// A film that fails for any reason (a compressor that refuses the size, a full disk, no
// room for the header) leaves the older film of that name and its continuation files
// exactly as they were, and nothing else; the message says why.
TEST_F(FilmRender, AFailedFilmLeavesTheOlderFilmAsItWas) {
  int clipFrames = 0;
  const std::string project = dir_.File("clip.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Mjpeg, Media().Bmp, 5, clipFrames));
  const std::string out = dir_.File("out/");
  fs::create_directory(out);
  // a file size limit in blocks of 512 bytes (sh), SIGXFSZ ignored: writes past it fail
  // as on a full disk
  const struct {
    const char* Args;
    int Blocks;  // 0: no limit
    std::vector<std::string> Says;
  } cases[] = {
      {"--vcodec dvsd --size 96x64", 0, {"DV (dvsd) nie przyjmuje obrazu 96 x 64 (24 bity): przyjmuje tylko 720 x 576 lub 720 x 480"}},
      {"--vcodec FMP4 --size 8192x16", 0, {"MPEG-4 (FMP4) nie przyjmuje obrazu 8192 x 16", "boki do 8191 pikseli"}},
      {"--vcodec DIB --size 320x240", 512, {"Nieudana próba zapisu nieskompresowanej klatki nr 0."}},
      {"--size 320x240", 8, {"Nie mogę utworzyć pliku \"" + out + "film.avi\". (Błąd nr $", std::strerror(EFBIG)}},
      {"--kind jpeg --size 320x240", 8, {"Nie mogę zapisać pliku \"" + out + "film0000.JPG\". " + std::strerror(EFBIG)}},
  };
  // the older film, a continuation file of it and an older picture sequence
  const std::map<std::string, std::vector<uint8_t>> older = {
      {"film.avi", {'o', 'l', 'd'}}, {"film01.AVI", {'o', 'l', 'd', '1'}}, {"film0000.JPG", {'j', 'p', 'g'}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args);
    for (const auto& [name, bytes] : older) test::WriteBytes(out + name, bytes);
    const std::string film = out + (std::string(c.Args).find("jpeg") != std::string::npos ? "film.jpg" : "film.avi");
    std::string cmd = Quote(test::MovaraProgram()) + " render " + Quote(project) + " " + c.Args + " --quiet -o " +
                      Quote(film);
    if (c.Blocks > 0) cmd = "trap '' XFSZ; ulimit -f " + std::to_string(c.Blocks) + "; exec " + cmd;
    const auto r = RunCommand("sh -c " + Quote(cmd));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    for (const std::string& says : c.Says) EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Kompresja anulowana."), std::string::npos) << r.output;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"film.avi", "film01.AVI", "film0000.JPG"}));
    for (const auto& [name, bytes] : older) EXPECT_EQ(test::ReadBytes(out + name), bytes) << name;
  }
}

// Only a regular file (or nothing) may be replaced by a film: a pipe, a socket, a folder or
// a device (here through a link) is refused and stays what it was; a link to a film is
// followed, so the link stays and the film it names is replaced.
TEST_F(FilmRender, OutputsThatAreNoFilesAreRefusedAndLinksFollowed) {
  int clipFrames = 0;
  const std::string project = dir_.File("clip.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteClipThenStill(project, Media().Mjpeg, Media().Bmp, 5, clipFrames));
  const std::string fifo = dir_.File("pipe.avi"), socketFile = dir_.File("socket.avi"),
                    folder = dir_.File("folder.avi"), device = dir_.File("null.avi");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketFile.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketFile.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_directory(folder);
  fs::create_symlink("/dev/null", device);
  const struct {
    const std::string& Out;
    const char* Says;
    fs::file_type Type;  // what is there after
  } cases[] = {{fifo, "to potok (FIFO), a nie zwykły plik", fs::file_type::fifo},
               {socketFile, "to gniazdo, a nie zwykły plik", fs::file_type::socket},
               {folder, "is a folder", fs::file_type::directory},
               {device, "to urządzenie, a nie zwykły plik", fs::file_type::character}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Out);
    const auto r = Render(project, "--size 320x240 --quiet -o " + Quote(c.Out));
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find(c.Says), std::string::npos) << r.output;
    EXPECT_EQ(fs::status(c.Out).type(), c.Type);
  }
  ::close(sock);
  ASSERT_TRUE(fs::is_symlink(device));
  EXPECT_EQ(fs::read_symlink(device), "/dev/null");

  const std::string real = dir_.File("real.avi"), link = dir_.File("link.avi");
  test::WriteBytes(real, {'o', 'l', 'd'});
  fs::create_symlink("real.avi", link);
  const auto r = Render(project, "--size 320x240 --quiet -o " + Quote(link));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(StreamOf(Streams(real), "video")->at("nb_read_frames"), "55");
}

TEST_F(FilmRender, NoProjectOrBadOptionIsAUsageError) {
  const std::string project = dir_.File("mixed.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteMixedProject(project, Media()));
  test::WriteBytes(dir_.File("empty.mvf"), {});
  const std::string film = dir_.File("film.avi");
  const std::pair<std::string, const char*> notProjects[] = {{Media().Wav, "is not a Movara project"},
                                                               {dir_.File("empty.mvf"), "is not a Movara project"},
                                                               {dir_.File("missing.mvf"), "': no such file"}};
  for (const auto& [notProject, says] : notProjects) {
    const auto r = Render(notProject, "--quiet -o " + Quote(film));
    EXPECT_EQ(r.exitCode, 2) << notProject << "\n" << r.output;
    EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
  }
  const char* const bad[] = {"--size 100x75",  "--size 8x8",       "--size 320",      "--size 8196x240",
                             "--fps 0",        "--fps 101",        "--fps 2.5",       "--depth 8",
                             "--vcodec QQQQ",  "--vcodec TOOLONG", "--quality 10001", "--acodec opus",
                             "--acodec 0",     "--rate 999",       "--audio 5.1",     "--block frames",
                             "--content none", "--range some",     "--mode fast",     "--max-size 0",
                             "--max-size -5",  "--kind png",       "--what 1",        "--fps"};
  for (const char* option : bad) {
    const auto r = Render(project, std::string("--quiet -o ") + Quote(film) + " " + option);
    EXPECT_EQ(r.exitCode, 2) << option << "\n" << r.output;
    EXPECT_NE(r.output.find("movara render: "), std::string::npos) << option << "\n" << r.output;
  }
  const auto two = RunCommand(Quote(test::MovaraProgram()) + " render " + Quote(project) + " " + Quote(project));
  EXPECT_EQ(two.exitCode, 2) << two.output;
  const auto none = RunCommand(Quote(test::MovaraProgram()) + " render");
  EXPECT_EQ(none.exitCode, 2) << none.output;
  EXPECT_FALSE(fs::exists(film));
}

TEST_F(FilmRender, InterruptLeavesAValidShorterFilm) {
  const std::string project = dir_.File("long.mvf");
  ASSERT_NO_FATAL_FAILURE(WriteLongProject(project, Media()));
  // rendered frame by frame at 100 frames a second
  const std::string film = dir_.File("stopped.avi");
  const std::string progress = dir_.File("progress.txt");
  const std::string cmd = Quote(test::MovaraProgram()) + " render " + Quote(project) +
                          " --mode none --fps 100 -o " + Quote(film);
  // the interrupt goes in once the film is being made (a background job of sh ignores it
  // until the program takes it over; at most 60 s of waiting for progress); meanwhile a
  // second film of that name is refused
  const auto r = RunCommand("sh -c " + Quote(cmd + " 2>" + Quote(progress) + " & pid=$!; n=0; until grep -Eq '[1-9][0-9]* %' " +
                                             Quote(progress) + " 2>/dev/null || [ $n -ge 600 ]; do sleep 0.1; n=$((n+1)); done; " +
                                             cmd + " --quiet; echo \"second: $?\"; kill -INT $pid; wait $pid; status=$?; cat " +
                                             Quote(progress) + " >&2; exit $status"));
  ASSERT_EQ(r.exitCode, 130) << r.output;
  EXPECT_NE(r.output.find("movara render: stopped"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("second: 1\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Nie mogę utworzyć pliku \"" + film +
                          "\". (Błąd nr $8004406f): inny film jest właśnie zapisywany pod tą nazwą"),
            std::string::npos)
      << r.output;
  ExpectWholeRiff(film);
  const auto streams = Streams(film);
  ASSERT_EQ(streams.size(), 2u);
  const int frames = std::atoi(StreamOf(streams, "video")->at("nb_read_frames").c_str());
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, kLongMs / 10);
  EXPECT_NEAR(SoundSamples(film) * 1000.0 / 44100, frames * 10.0, 1000);
  ExpectFfmpegDecodes(film);
}


// Phone media into an MP4 film: a portrait H.264 MP4 at 30 frames a second stored turned
// (its upper half white), a Matroska clip and an M4A melody. ffprobe reads H.264 and AAC
// of the film's frames and length, the sound within one frame of the picture, the index
// at the front, ffmpeg decodes it without a word, and the portrait clip stands upright.
TEST_F(FilmRender, PhoneMediaMakeAnMp4FilmThatPlaysEverywhere) {
  if (test::RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw libx264").exitCode != 0)
    GTEST_SKIP() << "this ffmpeg has no libx264";
  const std::string stored = dir_.File("stored.mp4"), phone = dir_.File("phone.mp4");
  const std::string web = dir_.File("web.mkv"), music = dir_.File("music.m4a");
  ASSERT_TRUE(Ffmpeg("-f lavfi -i \"color=black:size=180x320:rate=30:duration=2,drawbox=x=0:y=0:w=180:h=160:"
                     "color=white:t=fill\" -f lavfi -i sine=frequency=440:duration=2 -vf transpose=1 -c:v libx264 "
                     "-pix_fmt yuv420p -c:a aac " + Quote(stored)));
  ASSERT_TRUE(Ffmpeg("-i " + Quote(stored) + " -c copy -metadata:s:v:0 rotate=90 " + Quote(phone)));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -c:v libx264 -pix_fmt yuv420p " +
                     Quote(web)));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=660:duration=5 -c:a aac " + Quote(music)));
  // a recording of sound alone under a movie's name
  const std::string voice = dir_.File("voice.mp4");
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=330:duration=1 -c:a aac " + Quote(voice)));
  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  TClipGraphic* a = clips.AddFile(phone);
  TClipGraphic* b = clips.AddFile(web);
  TClipGraphic* m = clips.AddFile(music);
  ASSERT_TRUE(a && b && m);
  TClipGraphic* v = clips.AddFile(voice);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->ClipType(), ctAudio);
  box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, -1, a, 0);
  box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, a, 0);
  box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(50, false, true, false, -1, b, 0);
  box.RowByNumber(lnAudioSecond)->InsertLayerItem(0, false, true, false, -1, m, 100);
  ASSERT_EQ(box.ProjectEndFrame(false), 100);
  const std::string project = dir_.File("phone.mvf");
  WriteProject(project, box, clips);

  const std::string film = dir_.File("film.mp4");
  const auto r = Render(project, "--kind mp4 --size 320x240 --quality 10000 --quiet -o " + Quote(film));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const auto streams = Streams(film);
  ASSERT_EQ(streams.size(), 2u);
  const TFields* video = StreamOf(streams, "video");
  const TFields* sound = StreamOf(streams, "audio");
  ASSERT_TRUE(video && sound);
  EXPECT_EQ(video->at("codec_name"), "h264");
  EXPECT_EQ(video->at("pix_fmt"), "yuv420p");
  EXPECT_EQ(video->at("width"), "320");
  EXPECT_EQ(video->at("nb_read_frames"), "100");
  EXPECT_EQ(sound->at("codec_name"), "aac");
  EXPECT_NEAR(SoundSamples(film) / 44100.0, 4.0, 0.04);
  ExpectFfmpegDecodes(film);
  const std::vector<uint8_t> bytes = test::ReadBytes(film);
  const std::string head(bytes.begin(), bytes.end());
  EXPECT_LT(head.find("moov"), head.find("mdat")) << "the index comes first";

  // The portrait clip upright: its white half above, stretched over the frame.
  const auto picture = RunCommand("ffmpeg -nostdin -v error -ss 0.5 -i " + Quote(film) +
                                  " -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
  ASSERT_EQ(picture.output.size(), 320u * 240);
  double top = 0, bottom = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 320; ++x) {
      top += static_cast<uint8_t>(picture.output[size_t(y) * 320 + x]);
      bottom += static_cast<uint8_t>(picture.output[size_t(y + 180) * 320 + x]);
    }
  EXPECT_GT(top / (60 * 320), 200);
  EXPECT_LT(bottom / (60 * 320), 50);

  // The web clip, of the film's size, goes to the encoder as it was decoded (through 24
  // bits it comes out about 5 dB worse): each film frame is its own source frame, the
  // moving picture telling neighbours apart.
  auto psnr = [&](int filmFrame, int webFrame) {
    const auto r = RunCommand("ffmpeg -nostdin -v info -i " + Quote(film) + " -i " + Quote(web) +
                              " -lavfi '[0:v]select=eq(n\\," + std::to_string(filmFrame) + "),setpts=0[a];[1:v]select=eq(n\\," +
                              std::to_string(webFrame) + "),setpts=0[b];[a][b]psnr' -frames:v 1 -f null - 2>&1");
    const size_t at = r.output.find("average:");
    EXPECT_NE(at, std::string::npos) << r.output;
    return at == std::string::npos ? 0.0 : std::atof(r.output.c_str() + at + 8);
  };
  for (const int k : {0, 10, 49}) {
    const double same = psnr(50 + k, k);
    EXPECT_GT(same, 46.5) << k;
    EXPECT_GT(same, psnr(50 + k, k == 0 ? 1 : k - 1) + 10) << k;
  }
}

}  // namespace
}  // namespace movara
