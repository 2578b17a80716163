// The film thread on scripts of small pictures and sounds: its timing rules, the sound
// formats, the progress range, films read back, picture sequences, the first failed frame
// ending the film, stopping, preview only, and the writer thread giving the same bytes.
#include "output/MakeAviThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/Rounding.h"
#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "platform/avifile/AviFile.h"
#include "platform/codecs/VideoFormat.h"
#include "script/RenderThread.h"
#include "script/ScriptTestMedia.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::TTempDir;

namespace {

namespace fs = std::filesystem;

TFilmSettingsData Settings(const std::string& file, int fps = 25, TAudioBlockMode block = abSecond) {
  TFilmSettingsData s;
  s.FileName = file;
  s.FrameWidth = 64;
  s.FrameHeight = 48;
  s.FramesPerSecond = fps;
  s.AudioBlockMode = block;
  s.Compvars.fccType = 0;  // uncompressed frames
  s.VideoRenderMode = vrmNone;
  return s;
}

// A still for ms milliseconds with a WAV under it.
std::string StillScript(const std::string& bmp, const std::string& wav, int ms) {
  return "*** Video1 ***\r\nBmp " + bmp + " " + std::to_string(ms) + "\r\nNop null\r\n*** Audio1 ***\r\nAud ?" + wav +
         "*0*4000*0*100 4000\r\nNop null\r\n";
}

struct TFilmRun {
  int Error = 0, Good = 0, Bad = 0, Blocks = 0, Sequence = 0;
  std::string ErrorText;
};

TFilmRun RunFilm(const std::string& script, const TFilmSettingsData& s, bool pipeline = true,
                 TMyProgressBar* bar = nullptr) {
  TFxRenderThread render;
  render.LoadScript(script);
  TMakeAviThread film(nullptr, pmNone, true, bar, nullptr, script, &render, nullptr, s);
  film.SetPipeline(pipeline);
  film.StartThread();
  EXPECT_TRUE(film.WaitFor(60000));
  return {film.Error(), film.GoodBlockCount(), film.BadBlockCount(), film.AudioBlocksMade(), film.SequenceCount(),
          film.GetErrorText()};
}

int StreamLength(const std::string& file, FOURCC type) {
  PAVIFILE f = nullptr;
  if (AVIFileOpen(&f, file, OF_READ) != AVIERR_OK) return -1;
  PAVISTREAM s = nullptr;
  int n = -1;
  if (AVIFileGetStream(f, &s, type, 0) == AVIERR_OK) {
    n = AVIStreamLength(s);
    AVIStreamRelease(s);
  }
  AVIFileRelease(f);
  return n;
}

class FilmThread : public ::testing::Test {
 protected:
  void SetUp() override { CreateResourceLists(); }
  TTempDir dir;
  TScopedMessageRecorder messages;
};

TEST_F(FilmThread, StepsFormatsAndProgressFollowTheSettings) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp");
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 3000);
  TFxRenderThread render;
  render.LoadScript(script);
  struct TCase {
    int fps;
    TAudioBlockMode block;
    TFilmContent content;
    TOutputKind kind;
    int step;
    bool soundFirst;
  } cases[] = {
      {25, abSecond, fcVideoAndSound, okAviFilm, 1000, false},  // 25 frames a block
      {7, abHalfSecond, fcVideoAndSound, okAviFilm, 571, false},  // 500 ms is 3.5 frames: 4 frames
      {25, abFrame, fcVideoAndSound, okAviFilm, 40, false},
      {25, abSoundFirst, fcVideoAndSound, okAviFilm, 1000, true},
      {25, abSoundFirst, fcSoundOnly, okAviFilm, 1000, false},  // nothing to come first of
      {7, abHalfSecond, fcSoundOnly, okAviFilm, 500, false},    // no frames to fit
  };
  for (const TCase& c : cases) {
    TFilmSettingsData s = Settings(dir.File("f.avi"), c.fps, c.block);
    s.FilmContent = c.content;
    s.OutputKind = c.kind;
    TMyProgressBar bar;
    TMakeAviThread film(nullptr, pmNone, true, &bar, nullptr, script, &render, nullptr, s);
    EXPECT_EQ(film.StepTimeDuration(), c.step) << c.fps << " " << int(c.block);
    EXPECT_EQ(film.SoundFirst(), c.soundFirst);
    EXPECT_EQ(film.Ranges().LengthAfter(0), 3000);
    const int frames = c.content == fcSoundOnly ? 0 : static_cast<int>(RoundHalfEven(3000.0 * c.fps / 1000));
    const int blocks = (3000 + c.step - 1) / c.step;
    EXPECT_EQ(bar.Max(), frames + blocks) << c.fps << " " << int(c.block);
    EXPECT_EQ(bar.InfoText(), c.content == fcSoundOnly ? "Dźwięk:" : "Animacja i dźwięk:");
  }

  // the mixing rate is one the engine makes; the film keeps the rate asked for
  TFilmSettingsData s = Settings(dir.File("f.avi"));
  s.SamplesPerSecond = 48000;
  s.AudioMode = amMono8;
  s.AudioFormatTag = WAVE_FORMAT_IMA_ADPCM;
  TMakeAviThread film(nullptr, pmNone, true, nullptr, nullptr, script, &render, nullptr, s);
  EXPECT_EQ(film.PcmFormat().wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(film.PcmFormat().nSamplesPerSec, 44100u);
  EXPECT_EQ(film.PcmFormat().nChannels, 1);
  EXPECT_EQ(film.PcmFormat().wBitsPerSample, 8);
  EXPECT_EQ(film.PcmFormat().nAvgBytesPerSec, 44100u);
  EXPECT_EQ(film.DestFormat().wFormatTag, WAVE_FORMAT_IMA_ADPCM);
  EXPECT_EQ(film.DestFormat().nSamplesPerSec, 48000u);

  // a picture sequence has no sound; with only sound asked for there is nothing to do
  s = Settings(dir.File("seq.bmp"));
  s.OutputKind = okBmpSequence;
  s.FilmContent = fcSoundOnly;
  EXPECT_EQ(RunFilm(script, s).ErrorText, "No work to do.");
  EXPECT_FALSE(fs::exists(dir.File("seq0000.BMP")));
}

TEST_F(FilmThread, AFilmOfPictureAndSoundIsWrittenWhole) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp", 64, 48);
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 2600);
  for (bool pipeline : {true, false}) {
    const std::string file = dir.File(pipeline ? "p.avi" : "s.avi");
    TMyProgressBar bar;
    const TFilmRun r = RunFilm(script, Settings(file), pipeline, &bar);
    EXPECT_EQ(r.Error, meNone) << r.ErrorText;
    EXPECT_EQ(r.Good, 65);
    EXPECT_EQ(r.Bad, 0);
    EXPECT_EQ(r.Blocks, 3);  // 1000 + 1000 + 600 ms
    EXPECT_EQ(bar.Position(), bar.Max());
    EXPECT_EQ(StreamLength(file, streamtypeVIDEO), 65);
    EXPECT_EQ(StreamLength(file, streamtypeAUDIO), 2600 * 441 / 10);
  }
  // the writer thread changes nothing in the file but the time it was made
  auto p = test::ReadBytes(dir.File("p.avi")), s = test::ReadBytes(dir.File("s.avi"));
  ASSERT_EQ(p.size(), s.size());
  const std::string created = "Created ";
  auto mask = [&](std::vector<uint8_t>& b) {
    auto it = std::search(b.begin(), b.end(), created.begin(), created.end());
    while (it != b.end() && *it != 0) *it++ = 0;
  };
  mask(p);
  mask(s);
  EXPECT_TRUE(p == s);
}

TEST_F(FilmThread, FramesOfFractionalMillisecondsKeepPictureAndSoundTogether) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp", 64, 48);
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 3000);
  struct TCase {
    int fps;
    TAudioBlockMode block;
  } cases[] = {{30, abFrame}, {60, abFrame}, {7, abHalfSecond}, {30, abSecond}};
  for (const TCase& c : cases) {
    const std::string file = dir.File("grid.avi");
    const TFilmRun r = RunFilm(script, Settings(file, c.fps, c.block));
    EXPECT_EQ(r.Error, meNone) << r.ErrorText;
    EXPECT_EQ(StreamLength(file, streamtypeVIDEO), 3 * c.fps) << c.fps << " fps";
    EXPECT_EQ(StreamLength(file, streamtypeAUDIO), 3 * 44100) << c.fps << " fps";
  }
}

TEST_F(FilmThread, PictureSequencesAreNumberedAndTheFirstFailedFrameEndsThem) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp", 64, 48);
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 13000);
  fs::create_directories(dir.File("out"));
  // frame 310 (12 400 ms) cannot be written: a folder has its name
  fs::create_directories(dir.File("out/film0310.BMP"));
  TFilmSettingsData s = Settings(dir.File("out/film.bmp"));
  s.OutputKind = okBmpSequence;
  const TFilmRun r = RunFilm(script, s);
  EXPECT_EQ(r.Error, meBadFrame);
  EXPECT_EQ(r.ErrorText, "Błąd utworzenia klatki filmu w pozycji = 12400 [ms]");
  EXPECT_EQ(r.Good, 310);
  EXPECT_EQ(r.Bad, 1);
  // a failed sequence leaves none of its pictures (they had temporary names)
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 1);
  const auto texts = messages.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Błąd renderowania. Opuszczono 1 klatek, poprawnie wyrenderowano 310 klatek."),
            texts.end());

  const std::string shortScript = StillScript(bmp, wav, 120);
  EXPECT_EQ(RunFilm(shortScript, s).Good, 3);
  TDIB frame;
  ASSERT_TRUE(frame.LoadFromFile(dir.File("out/film0000.BMP")));
  EXPECT_EQ(frame.Width(), 64);
  EXPECT_EQ(frame.Height(), 48);
  EXPECT_TRUE(fs::exists(dir.File("out/film0002.BMP")));
  EXPECT_FALSE(fs::exists(dir.File("out/film0003.BMP")));

  s = Settings(dir.File("out/g.gif"));
  s.OutputKind = okGifSequence;
  EXPECT_EQ(RunFilm(shortScript, s).Good, 3);
  EXPECT_TRUE(fs::exists(dir.File("out/g0002.GIF")));
  s.FileName = dir.File("out/j.jpg");
  s.OutputKind = okJpegSequence;
  EXPECT_EQ(RunFilm(shortScript, s).Good, 3);
  EXPECT_TRUE(fs::exists(dir.File("out/j0000.JPG")));
}

TEST_F(FilmThread, StoppingMidFilmLeavesAValidShorterFile) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp", 64, 48);
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 600000);
  const std::string file = dir.File("long.avi");
  TFxRenderThread render;
  render.LoadScript(script);
  TMakeAviThread film(nullptr, pmNone, true, nullptr, nullptr, script, &render, nullptr, Settings(file));
  bool done = false;
  film.OnDone = [&] { done = true; };
  film.StartThread();
  ASSERT_TRUE(test::WaitUntil([&] { return film.GoodBlockCount() >= 50; }, 60000));
  const auto asked = std::chrono::steady_clock::now();
  film.DoNothingAndTerminate();
  // the wait ends with the thread, which ends within a frame (it looked again only
  // after 333 ms)
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(333));
  EXPECT_TRUE(film.Terminated());
  EXPECT_TRUE(done);
  EXPECT_EQ(film.Error(), meNone);
  const int frames = StreamLength(file, streamtypeVIDEO);
  EXPECT_GE(frames, 50);
  EXPECT_LT(frames, 15000);
  EXPECT_EQ(frames, film.GoodBlockCount());
}

// A stop during a long run of copied frames ends the run at its next frame: asking for
// it takes no lock that the run holds.
TEST_F(FilmThread, StopInsideALongCopiedRunEndsItAtOnce) {
  REQUIRE_PROGRAM("ffmpeg");
  // ten minutes of tiny Motion JPEG frames, copied unchanged into a film of their size
  const std::string clip = dir.File("long.avi");
  const auto made = test::RunCommand("ffmpeg -v error -y -f lavfi -i color=c=gray:size=16x16:rate=25 -t 600 "
                                     "-c:v mjpeg -q:v 31 " + test::Quote(clip));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const uintmax_t clipSize = fs::file_size(clip);
  TFilmSettingsData s = Settings(dir.File("copy.avi"));
  s.FrameWidth = 16;
  s.FrameHeight = 16;
  s.FilmContent = fcVideoOnly;
  s.Compvars.fccType = ICTYPE_VIDEO;
  s.Compvars.fccHandler = VideoFourCC("MJPG");
  s.VideoRenderMode = vrmMaximal;
  const std::string script = "*** Video1 ***\r\nAvi " + clip + " 600000\r\nNop null\r\n";
  TFxRenderThread render;
  render.LoadScript(script);
  TMakeAviThread film(nullptr, pmNone, true, nullptr, nullptr, script, &render, nullptr, s);
  film.StartThread();
  // the run is under way once a fifth of the clip is in the film (written under a
  // temporary name beside it until the film ends)
  auto written = [&] {
    uintmax_t size = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir.Path(), ec))
      if (e.path().filename().string().rfind(".copy.", 0) == 0) size = std::max(size, e.file_size(ec));
    return size;
  };
  ASSERT_TRUE(test::WaitUntil([&] { return film.Terminated() || written() >= clipSize / 5; }, 60000));
  film.DoNothingAndTerminate();
  EXPECT_TRUE(film.Terminated());
  EXPECT_EQ(film.Error(), meNone) << film.GetErrorText();
  const int frames = StreamLength(s.FileName, streamtypeVIDEO);
  EXPECT_EQ(frames, film.GoodBlockCount());
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 15000 / 2);
}

// A film of nothing is not begun: an older file of its name stays as it was.
TEST_F(FilmThread, AnEmptyFilmIsNoWork) {
  const std::string file = dir.File("old.avi");
  const std::vector<uint8_t> older{'o', 'l', 'd'};
  test::WriteBytes(file, older);
  const TFilmRun r = RunFilm("*** Video1 ***\r\nNop null\r\n", Settings(file));
  EXPECT_EQ(r.Error, meNoWork);
  EXPECT_EQ(r.ErrorText, "No work to do.");
  EXPECT_EQ(test::ReadBytes(file), older);
}

// A box that counts what it is shown.
class TCountingBox : public TPreviewBox {
 public:
  int ClientWidth() const override { return 100; }
  int ClientHeight() const override { return 100; }
  void Paint(const TDIB& picture) override {
    ++Paints;
    EXPECT_EQ(picture.Width(), 100);
  }
  int Paints = 0;
};

TEST_F(FilmThread, PreviewShowsFramesAndWritesNothing) {
  const std::string bmp = test::MakeScriptBmp(dir, "a.bmp", 64, 48);
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  const std::string script = StillScript(bmp, wav, 2000);
  const std::string file = dir.File("preview.avi");
  TFxRenderThread render;
  render.LoadScript(script);
  TCountingBox box;
  {
    TMakeAviThread film(nullptr, pmEveryFrame, true, nullptr, &box, script, &render, nullptr, Settings(file));
    EXPECT_FALSE(film.WriteOutput());
    film.StartThread();
    ASSERT_TRUE(film.WaitFor(30000));
    EXPECT_EQ(film.Error(), meNone);
    EXPECT_EQ(film.GoodBlockCount(), 50);
    EXPECT_TRUE(box.Stretch);
  }
  EXPECT_EQ(box.Paints, 50);
  EXPECT_FALSE(fs::exists(file));

  // every 25th frame of each sound block's step
  box.Paints = 0;
  TMakeAviThread film(nullptr, pmEvery25th, true, nullptr, &box, script, &render, nullptr, Settings(file));
  film.StartThread();
  ASSERT_TRUE(film.WaitFor(30000));
  EXPECT_EQ(box.Paints, 2);
}

TEST(ProgressBar, TextAndEstimatedFinish) {
  TMyProgressBar bar;
  std::time_t wall = 1796720707;  // 8.12.2026 9:05.07 UTC
  int64_t tick = 0;
  bar.WallClock = [&] { return wall; };
  bar.TickClock = [&] { return tick; };
  bar.SetInfoText("Animacja i dźwięk:");
  bar.SetMax(200);
  bar.SetPosition(0);
  EXPECT_EQ(bar.Text(), "Animacja i dźwięk: 0 %");
  EXPECT_EQ(bar.EstimatedFinish(), wall + 200);  // a second a step before anything is known
  tick = 1000;
  bar.SetPosition(8);  // 8 of 200 in a second: 25 s in all
  EXPECT_EQ(bar.EstimatedFinish(), wall + 25);
  tick = 3000;
  bar.SetPosition(9);  // not a multiple of 4: the estimate stays
  EXPECT_EQ(bar.EstimatedFinish(), wall + 25);
  bar.SetPosition(84);
  EXPECT_EQ(bar.Text(), "Animacja i dźwięk: 42 %");
  EXPECT_EQ(bar.EstimatedFinish(), wall + 7);
  bar.SetPosition(500);
  EXPECT_EQ(bar.Position(), 200);

  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(TMyProgressBar::FormatFinish(wall), "8 grudnia 2026, godz. 9:05.07");
  bar.SetPosition(0);
  EXPECT_EQ(bar.EstimateText(), "Przewidywany czas zakończenia operacji: 8 grudnia 2026, godz. 9:08.27");
}

}  // namespace
