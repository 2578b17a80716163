// The render thread: film frames of hand-written scripts (pictures, clips, transitions,
// keying, levels, the copy paths) and the preview loop's pause handshake.
#include "script/RenderThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "base/Format.h"
#include "base/UserMessages.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

using test::TTempDir;

constexpr int W = 64, H = 48;

std::string MakeBmp(const TTempDir& dir, const std::string& name, const std::function<TColor(int, int)>& colour,
                    int w = W, int h = H) {
  TDIB d(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) d.SetPixel(x, y, colour(x, y));
  const std::string file = dir.File(name);
  d.SaveToFile(file);
  return file;
}

std::string Flat(const TTempDir& dir, const std::string& name, TColor c) {
  return MakeBmp(dir, name, [c](int, int) { return c; });
}
// Left half one colour, right half another.
std::string Halves(const TTempDir& dir, const std::string& name, TColor left, TColor right) {
  return MakeBmp(dir, name, [=](int x, int) { return x < W / 2 ? left : right; });
}

std::string Script(const std::vector<std::string>& video1, const std::vector<std::string>& video2 = {}) {
  std::string s = "*** Video1 ***\r\n";
  for (const auto& l : video1) s += l + "\r\n";
  if (!video2.empty()) {
    s += "*** Video2 ***\r\n";
    for (const auto& l : video2) s += l + "\r\n";
  }
  return s + "*** Audio1 ***\r\nNop null\r\n";
}

std::string Word(const std::string& file) { return EncodeScriptFileName(file); }
std::string FxWord(int32_t id) { return Format("$%X", static_cast<unsigned>(id)); }

bool Near(TColor a, TColor b, int tol = 2) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tol && std::abs(GetGValue(a) - GetGValue(b)) <= tol &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tol;
}

double MeanDiff(const TDIB& a, const TDIB& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
             std::abs(GetBValue(p) - GetBValue(q));
    }
  return sum / (3.0 * a.Width() * a.Height());
}

class RenderThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateResourceLists();
    frame.SetSize(W, H, 24);
  }
  // Loads the script and links the frame for film output.
  void Load(const std::string& script, TRenderOption option = roRender) {
    thread.LoadScript(script);
    thread.SetFilmMode(true, option, W, H, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    ASSERT_TRUE(thread.OutputReady());
  }
  TColor Left() const { return frame.Pixel(W / 4, H / 2); }
  TColor Right() const { return frame.Pixel(3 * W / 4, H / 2); }

  TTempDir dir;
  TFxRenderThread thread;
  TDIB frame;
};

const TColor Red = RGBColor(255, 0, 0), Green = RGBColor(0, 255, 0), Blue = RGBColor(0, 0, 255),
             Magenta = RGBColor(255, 0, 255), White = RGBColor(255, 255, 255), Black = RGBColor(0, 0, 0);

TEST_F(RenderThreadTest, PlainPictureShowsThePicture) {
  const std::string a = Halves(dir, "a.bmp", Red, Blue);
  const std::string b = Halves(dir, "b.bmp", Green, White);
  Load(Script({"BMP " + Word(a) + " 1000", "BMP " + Word(b) + " 1000", "Nop null"}));
  EXPECT_EQ(thread.RenderFrame(0), rfPicture);
  EXPECT_TRUE(Near(Left(), Red)) << std::hex << Left();
  EXPECT_TRUE(Near(Right(), Blue)) << std::hex << Right();
  EXPECT_EQ(thread.LastFlags() & afNoRender, 0);  // film rendering takes no copy path
  EXPECT_EQ(thread.RenderFrame(-500), rfPicture);  // a time before the film shows its start
  EXPECT_TRUE(Near(Left(), Red));
  EXPECT_EQ(thread.RenderFrame(999), rfPicture);
  EXPECT_TRUE(Near(Left(), Red));
  EXPECT_EQ(thread.RenderFrame(1000), rfPicture);
  EXPECT_TRUE(Near(Left(), Green));
  EXPECT_TRUE(Near(Right(), White));
}

// Where neither track shows a picture (before the first block, between blocks, past the
// closing empty command) the frame is cleared to black, on every path of the renderer.
TEST_F(RenderThreadTest, EmptyStretchesAreBlack) {
  const std::string a = Halves(dir, "a.bmp", Red, Blue);
  const std::string b = Flat(dir, "b.bmp", Green);
  const std::string script = Script({"Nop null 500", "BMP " + Word(a) + " 500", "Nop null 500",
                                     "BMP " + Word(b) + " 500", "Nop null"},
                                    {"Nop null 2200", "BMP " + Word(b) + " 100"});
  const struct {
    int At;
    TColor Left, Right;
  } cases[] = {{0, Black, Black},    {499, Black, Black}, {500, Red, Blue},     {1000, Black, Black},
               {1499, Black, Black}, {1500, Green, Green}, {2000, Black, Black}, {2250, Green, Green},
               {2300, Black, Black}, {60000, Black, Black}};
  for (TRenderOption option : {roRender, roFastCopy}) {
    Load(script, option);
    for (const auto& c : cases) {
      frame.Fill(White);  // nothing of an earlier frame may stay
      ASSERT_EQ(thread.RenderFrame(c.At), rfPicture) << int(option) << " at " << c.At;
      EXPECT_TRUE(Near(Left(), c.Left) && Near(Right(), c.Right))
          << int(option) << " at " << c.At << ": " << std::hex << Left() << " " << Right();
    }
  }
}

// A clip frame that cannot be decoded is no picture: never the frame before it again.
TEST_F(RenderThreadTest, UnreadableClipFrameIsABadFrame) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string made = test::MakeScriptAvi(dir, "clip.avi", 50);
  std::vector<uint8_t> bytes = test::ReadBytes(made);
  // frame 10 (400 ms) loses its picture data
  const std::string movi = "movi", chunk = "00dc";
  auto at = std::search(bytes.begin(), bytes.end(), movi.begin(), movi.end());
  for (int k = 0; k <= 10 && at != bytes.end(); ++k) at = std::search(at + 4, bytes.end(), chunk.begin(), chunk.end());
  ASSERT_NE(at, bytes.end());
  const size_t size = at[4] | (at[5] << 8) | (at[6] << 16) | (at[7] << 24);
  std::fill(at + 8, at + 8 + static_cast<std::ptrdiff_t>(size), 0);
  for (TRenderOption option : {roRender, roFastCopy}) {
    // a clip that failed once stays closed: each path gets its own copy
    const std::string file = dir.File(Format("bad%d.avi", option));
    test::WriteBytes(file, bytes);
    Load(Script({"AVI " + Word(file) + " 2000", "Nop null"}), option);
    ASSERT_EQ(thread.RenderFrame(200), rfPicture) << int(option);
    int result = -1;
    try {
      result = thread.RenderFrame(400);
    } catch (const ERenderFrame& e) {
      EXPECT_NE(std::string(e.what()).find("cannot be read"), std::string::npos) << e.what();
    }
    EXPECT_NE(result, rfPicture) << int(option);
  }
}

TEST_F(RenderThreadTest, TransitionAtHalfEqualsTheSceneStep) {
  const std::string fa = Halves(dir, "a.bmp", Red, Blue);
  const std::string fb = Halves(dir, "b.bmp", Green, White);
  TDIB a, b;
  ASSERT_TRUE(a.LoadFromFile(fa) && b.LoadFromFile(fb));
  const int32_t id = test::SomeFxID(3);
  for (bool reverse : {false, true}) {
    const int32_t fx = reverse ? (id | ScriptReverseFlag) : id;
    thread.LoadScript(Script({"BMP " + Word(fa) + " 1000", "FX " + FxWord(fx) + " 1000", "BMP " + Word(fb) + " 1000",
                              "Nop null"}));
    thread.SetFilmMode(true, roRender, W, H, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    TFxScene scene(W, H, 512);
    TDIB expected;
    for (int step : {0, 250, 500}) {
      ASSERT_EQ(thread.RenderFrame(1000 + step), rfPicture);
      RenderTransitionStep(scene, fx, step, a, b);
      scene.ReadFrame(expected);
      EXPECT_TRUE(frame == expected) << "reverse " << reverse << " step " << step;
    }
    // both directions begin with the picture that leaves
    thread.RenderFrame(1000);
    EXPECT_LT(MeanDiff(frame, a), 8.0) << reverse;
  }
}

TEST_F(RenderThreadTest, ClipFrameAtATime) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = test::MakeScriptAvi(dir, "clip.avi", 100);
  Load(Script({"AVI " + Word(file) + " 4000", "Nop null"}));
  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  auto picture = [&](int index) {
    avi.SetPosition(index);
    return avi.DIB()->Stretched(W, H, 24);
  };
  ASSERT_EQ(thread.RenderFrame(1000), rfPicture);  // frame 25
  const double right = MeanDiff(frame, picture(25));
  EXPECT_LT(right, 12.0);
  EXPECT_LT(right, MeanDiff(frame, picture(5)));
  EXPECT_LT(right, MeanDiff(frame, picture(45)));
}

// A transition between two stretches of one clip: the clip's picture serves both sides,
// so the leaving side must keep its own frame while the coming one is fetched.
TEST_F(RenderThreadTest, TransitionWithinOneClipShowsBothOfItsFrames) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = test::MakeScriptAvi(dir, "clip.avi", 100);
  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  auto picture = [&](int index) {
    avi.SetPosition(index);
    return avi.DIB()->Stretched(W, H, 24);
  };
  // the first stretch ends at frame 25; the second starts at frame 0 (offset 1000 ms)
  Load(Script({"AVI " + Word(file) + " 1000", "FX " + FxWord(0x202) + " 1000",
               "AVI ?" + Word(file) + "*0*-1*1000*100 1000", "Nop null"}));
  ASSERT_EQ(thread.RenderFrame(1000), rfPicture);  // fade step 0: the leaving side only
  const double leaving = MeanDiff(frame, picture(25));
  EXPECT_LT(leaving, 12.0);
  EXPECT_LT(leaving, MeanDiff(frame, picture(0)));
  ASSERT_EQ(thread.RenderFrame(1999), rfPicture);  // almost all the coming side
  const double coming = MeanDiff(frame, picture(24));
  EXPECT_LT(coming, 12.0);
  EXPECT_LT(coming, MeanDiff(frame, picture(49)));
}

TEST_F(RenderThreadTest, SingleColourKeyCutsTheImageTrack) {
  const std::string base = Flat(dir, "base.bmp", Green);
  // a key colour whose red and blue differ, so a byte-order mistake misses it
  const TColor key = RGBColor(250, 0, 120);
  const std::string image = Halves(dir, "image.bmp", key, Blue);
  Load(Script({"BMP " + Word(base) + " 2000", "Nop null"},
              {"BMP " + Word(image) + Format(" 1000 $%X -1 -1 0", static_cast<unsigned>(key)), "Nop null"}));
  ASSERT_EQ(thread.RenderFrame(500), rfPicture);
  EXPECT_TRUE(Near(Left(), Green)) << std::hex << Left();
  EXPECT_TRUE(Near(Right(), Blue)) << std::hex << Right();
  // after the image's span the film track shows alone
  ASSERT_EQ(thread.RenderFrame(1500), rfPicture);
  EXPECT_TRUE(Near(Right(), Green)) << std::hex << Right();
}

TEST_F(RenderThreadTest, ColourRangeKey) {
  const std::string base = Flat(dir, "base.bmp", Green);
  const std::string image = MakeBmp(dir, "image.bmp", [](int x, int) {
    if (x < W / 4) return RGBColor(200, 10, 200);    // inside the range
    if (x < W / 2) return RGBColor(180, 30, 220);    // its corners
    if (x < 3 * W / 4) return RGBColor(200, 40, 200);  // green above the range
    return RGBColor(170, 10, 200);                   // red below it
  });
  const TColor low = RGBColor(180, 0, 180), high = RGBColor(220, 30, 220);
  Load(Script({"BMP " + Word(base) + " 1000", "Nop null"},
              {"BMP " + Word(image) +
               Format(" 1000 $%X $%X -1 0", static_cast<unsigned>(low), static_cast<unsigned>(high))}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_TRUE(Near(frame.Pixel(W / 8, H / 2), Green));
  EXPECT_TRUE(Near(frame.Pixel(3 * W / 8, H / 2), Green));
  EXPECT_TRUE(Near(frame.Pixel(5 * W / 8, H / 2), RGBColor(200, 40, 200)));
  EXPECT_TRUE(Near(frame.Pixel(7 * W / 8, H / 2), RGBColor(170, 10, 200)));
}

TEST_F(RenderThreadTest, KeyModeOneCutsFromTheLowerLayer) {
  const std::string base = Halves(dir, "base.bmp", Magenta, Green);
  const std::string image = Flat(dir, "image.bmp", Blue);
  Load(Script({"BMP " + Word(base) + " 1000", "Nop null"},
              {"BMP " + Word(image) + Format(" 1000 $%X -1 -1 1", static_cast<unsigned>(Magenta))}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_TRUE(Near(Left(), Blue)) << std::hex << Left();  // the new picture where the lower one has the key
  EXPECT_TRUE(Near(Right(), Green)) << std::hex << Right();
}

TEST_F(RenderThreadTest, LevelBlendsHalf) {
  const std::string base = Flat(dir, "base.bmp", White);
  const std::string image = Flat(dir, "image.bmp", Black);
  Load(Script({"BMP " + Word(base) + " 1000", "Nop null"}, {"BMP " + Word(image) + " 1000 -1 -1 128"}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_TRUE(Near(Left(), RGBColor(127, 127, 127), 1)) << std::hex << Left();
  // a level on the base picture blends it over black
  thread.LoadScript(Script({"BMP " + Word(base) + " 1000 -1 -1 64", "Nop null"}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_TRUE(Near(Left(), RGBColor(64, 64, 64), 1)) << std::hex << Left();
  // keyed and levelled over the lower picture: the key shows the lower picture fully
  const std::string keyed = Halves(dir, "keyed.bmp", Magenta, Black);
  thread.LoadScript(Script({"BMP " + Word(base) + " 1000", "Nop null"},
                           {"BMP " + Word(keyed) + Format(" 1000 $%X -1 128 0", static_cast<unsigned>(Magenta))}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_TRUE(Near(Left(), White, 1)) << std::hex << Left();
  EXPECT_TRUE(Near(Right(), RGBColor(127, 127, 127), 1)) << std::hex << Right();
}

TEST_F(RenderThreadTest, RenderedPlainPictureOfTheFramesSizeKeepsEveryPixel) {
  // fine detail that a trip through the renderer's square texture would blur
  TDIB fine(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) fine.SetPixel(x, y, ((x + y) & 1) ? RGBColor(250, 10, 40) : RGBColor(5, 200, 90));
  const std::string file = dir.File("fine.bmp");
  ASSERT_TRUE(fine.SaveToFile(file));
  Load(Script({"BMP " + Word(file) + " 1000", "Nop null"}));
  ASSERT_EQ(thread.RenderFrame(100), rfPicture);
  EXPECT_EQ(thread.LastFlags() & afNoRender, 0);
  EXPECT_TRUE(frame == fine) << MeanDiff(frame, fine);
}

TEST_F(RenderThreadTest, CopyPathForAPlainPictureAlone) {
  const std::string image = Halves(dir, "image.bmp", Red, Blue);
  TDIB expected;
  ASSERT_TRUE(expected.LoadFromFile(image));
  Load(Script({"Nop null 1000", "Nop null"}, {"BMP " + Word(image) + " 1000"}), roFastCopy);
  ASSERT_EQ(thread.RenderFrame(300), rfPicture);
  EXPECT_NE(thread.LastFlags() & afNoRender, 0);
  EXPECT_TRUE(frame == expected);
  // with a key the picture is rendered
  thread.LoadScript(Script({"Nop null 1000", "Nop null"},
                           {"BMP " + Word(image) + Format(" 1000 $%X", static_cast<unsigned>(Red))}));
  ASSERT_EQ(thread.RenderFrame(300), rfPicture);
  EXPECT_EQ(thread.LastFlags() & afNoRender, 0);
  EXPECT_TRUE(Near(Left(), Black));
  EXPECT_TRUE(Near(Right(), Blue));
}

TEST_F(RenderThreadTest, UnchangedClipIsCopiedCompressed) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = test::MakeScriptAvi(dir, "clip.avi", 50);
  TAVI probe;
  ASSERT_TRUE(probe.Open(file));
  TDIB out(32, 24, 24);
  TAVIData raw;
  thread.LoadScript(Script({"AVI " + Word(file) + " 2000", "Nop null"}));
  thread.SetFilmMode(true, roFastCopy, 32, 24, 25, probe.VideoCompressorHandler(), 24);
  thread.SetLinkOutDIB(&out);
  thread.SetRawCopyBuffer(&raw);
  EXPECT_EQ(thread.RenderFrame(0), rfRawCopy);
  EXPECT_NE(thread.LastFlags() & afRawCopy, 0);
  EXPECT_GT(raw.Count(), 0);
  // another compressor needs the frame decoded
  thread.SetFilmMode(true, roFastCopy, 32, 24, 25, 0x20424944 /* "DIB " */, 24);
  EXPECT_EQ(thread.RenderFrame(0), rfPicture);
  EXPECT_EQ(thread.LastFlags() & afRawCopy, 0);
}

TEST_F(RenderThreadTest, BadScriptsAndMissingOutput) {
  EXPECT_EQ(thread.RenderFrame(0), rfNothing);  // no renderer yet
  try {
    thread.LoadScript(Script({"BMP " + Word(dir.File("missing.bmp")) + " 1000"}));
    FAIL() << "no exception";
  } catch (const EScriptException& e) {
    EXPECT_NE(std::string(e.what()).find("Nastąpił błąd w trakcie ładowania pliku"), std::string::npos) << e.what();
  }
  try {
    thread.LoadScript(Script({"Col $FF 1000", "FX " + FxWord(test::UnknownFxID()) + " 1000", "Col $FF00 1000"}));
    FAIL() << "no exception";
  } catch (const EScriptException& e) {
    EXPECT_NE(std::string(e.what()).find("rozpoznania efektu"), std::string::npos) << e.what();
  }
  // nothing on either track: a black frame, whether every frame is rendered or not
  Load(Script({"Nop null 1000", "Nop null"}));
  frame.Fill(White);
  EXPECT_EQ(thread.RenderFrame(10), rfPicture);
  EXPECT_TRUE(Near(Left(), Black));
  thread.SetFilmMode(true, roFastCopy, W, H, 25, 0, 24);
  frame.Fill(White);
  EXPECT_EQ(thread.RenderFrame(10), rfPicture);
  EXPECT_TRUE(Near(Left(), Black));
}

TEST(RenderThreadSizes, SurfacesRoundUpAndBadSizesAreRefused) {
  CreateResourceLists();
  TFxRenderThread thread;
  TDIB odd(30, 21, 24);
  thread.SetLinkOutDIB(&odd);
  EXPECT_EQ(odd.Width(), 32);
  EXPECT_EQ(odd.Height(), 24);
  EXPECT_EQ(odd.BitCount(), 24);
  EXPECT_THROW(thread.SetPreviewSize(0, 10), ESurface);
  EXPECT_THROW(thread.SetPreviewSize(kRmMaxSurfaceSide + 1, 10), ESurface);
  EXPECT_FALSE(thread.SetTextureSize(300));
  EXPECT_FALSE(thread.SetTextureSize(1));
  EXPECT_TRUE(thread.SetTextureSize(256));
  EXPECT_EQ(thread.TextureSize(), 256);
}

TEST(RenderThreadPreview, LoopAnimatesPausesAndResumes) {
  CreateResourceLists();
  TFxThread thread(test::SomeFxID(0), true);
  TDIB a(32, 24, 24), b(32, 24, 24);
  a.Fill(Red);
  b.Fill(Blue);
  thread.SetPreviewSize(32, 24);
  thread.SetTextureA(a);
  thread.SetTextureB(b);
  thread.SetShowOverlay(false);
  bool ended = false;
  thread.SetOnTerminate([&] { ended = true; });
  thread.Resume();
  EXPECT_TRUE(thread.WaitForPreviewFrames(3, 3000));
  thread.Pause();
  EXPECT_TRUE(thread.Paused());
  const int64_t drawn = thread.PreviewFramesDrawn();
  const int progress = thread.PreviewProgress();
  EXPECT_FALSE(thread.WaitForPreviewFrames(drawn + 1, 100));  // no frame while paused
  EXPECT_EQ(thread.PreviewFramesDrawn(), drawn);
  EXPECT_EQ(thread.PreviewProgress(), progress);
  thread.Resume();
  EXPECT_TRUE(thread.WaitForPreviewFrames(drawn + 1, 3000));
  EXPECT_FALSE(thread.Paused());
  thread.Stop();
  EXPECT_TRUE(thread.Terminated());
  EXPECT_TRUE(ended);
  thread.Pause();  // nothing after the end
}

// A loop with nothing to draw waits 50 ms at a time; a pause request ends that wait, and
// Pause returns as soon as the loop reports (it looked again every 30 ms).
TEST(RenderThreadPreview, PauseWakesAnIdleLoop) {
  CreateResourceLists();
  TFxThread thread(test::SomeFxID(0), true);  // no pictures: the loop idles
  std::chrono::steady_clock::duration paused{};
  for (int i = 0; i < 10; ++i) {
    thread.Resume();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the loop is in its idle wait by then
    const auto asked = std::chrono::steady_clock::now();
    thread.Pause();
    paused += std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(thread.Paused());
  }
  EXPECT_LT(paused, std::chrono::milliseconds(250));  // 10 pauses
  thread.Stop();
  EXPECT_TRUE(thread.Terminated());
}

TEST(RenderThreadPreview, ProgressFramesPerSecondAndOverlay) {
  CreateResourceLists();
  TFxThread thread(test::UnknownFxID());
  ASSERT_NE(thread.Effect(), nullptr);  // an unknown effect falls back to the first
  EXPECT_EQ(thread.Effect()->GetFxID(), 0x101);
  thread.SetPreviewProgress(700);
  thread.SetPreviewProgress(1001);
  thread.SetPreviewProgress(-1);
  EXPECT_EQ(thread.PreviewProgress(), 700);
  thread.NoteFrameTime(100);
  thread.NoteFrameTime(100);
  EXPECT_EQ(thread.FramesPerSecond(), 0);
  for (int i = 0; i < 25; ++i) thread.NoteFrameTime(1000 + i * 50);
  EXPECT_EQ(thread.FramesPerSecond(), 21);  // 20000 / 950, rounded
  thread.SetDirection(fdReverse);
  const auto lines = thread.OverlayLines(1234);
  ASSERT_GE(lines.size(), 13u);
  EXPECT_EQ(lines[0].Text, "FPS: 21   Time: 1234");
  EXPECT_EQ(lines[3].Text, "Fx ID  : $101");
  EXPECT_EQ(lines[4].X, 100);
  EXPECT_EQ(lines[5].Text, "Fx Dir : Reverse");
  EXPECT_EQ(lines[5].Y, 56);
}

}  // namespace
}  // namespace movara
