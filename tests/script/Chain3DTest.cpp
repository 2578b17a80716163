// The effect preview chain with a window-less preview (the render thread drawing for a
// frame sink): pictures and sound at a time, the sound buffer mixed once per time, the
// chain's life, and the preview loop's controls (period, single steps, the sink).
#include "script/Chain3D.h"

#include <gtest/gtest.h>

#include <mutex>

#include "base/MyIniFile.h"
#include "media/ResourceLists.h"
#include "script/AudioScriptTools.h"
#include "script/RenderThread.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

using test::TTempDir;

constexpr TColor Red = 0x0000FF, Blue = 0xFF0000;

std::string Flat(const TTempDir& dir, const std::string& name, TColor c) {
  TDIB d(64, 48, 24);
  d.Fill(c);
  const std::string file = dir.File(name);
  d.SaveToFile(file);
  return file;
}

// A preview window without a window: its render thread draws for a sink.
class THeadlessPreview : public IFxPreviewWindow {
 public:
  THeadlessPreview() {
    thread.SetShowOverlay(false);
    thread.SetFrameSink([this](const TDIB& frame) {
      std::lock_guard<std::mutex> l(lock);
      last = frame;
      ++frames;
    });
  }
  bool ShowPreview(bool show) override {
    visible = show;
    if (show)
      thread.InitializeControl(64, 48);
    else
      thread.FinalizeControl();
    return true;
  }
  TFxRenderThread* RenderThread() override { return &thread; }
  void SetOptions(const TRenderOptions& o) override { options = o; }

  TFxRenderThread thread;
  std::mutex lock;
  TDIB last;
  int frames = 0;
  bool visible = false;
  TRenderOptions options;
};

class TFixedChooser : public IFxChooserWindow {
 public:
  bool ChooseEffect(int32_t& ref, int period) override {
    asked = ref;
    askedPeriod = period;
    ref = 0x20000130;
    return true;
  }
  int32_t asked = 0;
  int askedPeriod = 0;
};

TEST(Chain3D, FramesAndSoundAtATimeThroughThePreviewWindow) {
  CreateResourceLists();
  TTempDir dir;
  const std::string red = Flat(dir, "red.bmp", Red), blue = Flat(dir, "blue.bmp", Blue);
  const std::string wav = test::MakeScriptWav(dir, "tone.wav", 2000);
  const std::string script = "*** Video1 ***\r\nBMP " + EncodeScriptFileName(red) + " 1000\r\nFX $202 1000\r\nBMP " +
                             EncodeScriptFileName(blue) + " 1000\r\nNop null\r\n*** Audio1 ***\r\nAud " +
                             EncodeScriptFileName(wav) + " 2000\r\n";

  // no window layer: nothing renders, nothing plays
  DoneChain3D();
  SetChain3DWindowFactory({});
  EXPECT_FALSE(ShowFxRenderWindow(false));
  EXPECT_EQ(GetRenderThread(false, ""), nullptr);
  EXPECT_FALSE(PlayPreview(0, 0));
  EXPECT_FALSE(PlayPreview(0, 1));

  THeadlessPreview* preview = nullptr;
  TFixedChooser* chooser = nullptr;
  SetChain3DWindowFactory({[&] {
                             auto c = std::make_unique<TFixedChooser>();
                             chooser = c.get();
                             return std::unique_ptr<IFxChooserWindow>(std::move(c));
                           },
                           [&] {
                             auto p = std::make_unique<THeadlessPreview>();
                             preview = p.get();
                             return std::unique_ptr<IFxPreviewWindow>(std::move(p));
                           }});
  EXPECT_FALSE(ShowFxRenderWindow(false));  // hiding makes no window
  EXPECT_EQ(preview, nullptr);
  EXPECT_TRUE(ShowFxRenderWindow(true));
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->visible);
  LoadPreviewScript(script, 2);
  ASSERT_NE(Chain3DAudioPlayer(), nullptr);
  EXPECT_EQ(Chain3DAudioPlayer()->Buffer().size(), 26460u);  // 150 ms of 44100 Hz stereo 16-bit

  // a frame alone draws for the window and mixes nothing
  EXPECT_TRUE(PlayPreview(500, 0));
  EXPECT_EQ(preview->frames, 1);
  EXPECT_EQ(preview->last.Pixel(32, 24), Red);
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 0);
  // the middle of the cross-fade is half of each picture
  EXPECT_TRUE(PlayPreview(1500, 0));
  const TColor mid = preview->last.Pixel(32, 24);
  EXPECT_NEAR(GetRValue(mid), 128, 8);
  EXPECT_NEAR(GetBValue(mid), 128, 8);
  // with Ctrl: the frame and 150 ms of sound; the same time again replays the buffer
  EXPECT_TRUE(PlayPreview(1000, 2));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 1);
  EXPECT_EQ(Chain3DAudioPlayer()->LastPosition(), 1000);
  bool sound = false;
  for (size_t i = 0; i < Chain3DAudioPlayer()->Buffer().size(); ++i) sound |= Chain3DAudioPlayer()->Buffer()[i] != 0;
  EXPECT_TRUE(sound);
  EXPECT_TRUE(PlayPreview(1000, 2));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 1);
  EXPECT_TRUE(PlayPreview(1040, 1));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 2);
  // the slider's preview loads a script only when it is new or made again
  EXPECT_TRUE(PreviewScriptAt(script, false, 1040, 2));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 2);
  EXPECT_TRUE(PreviewScriptAt(script, true, 1040, 2));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 3);
  EXPECT_TRUE(PreviewScriptAt(script + "*** Audio3 ***\r\nNop null\r\n", false, 1040, 2));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 4);
  // past the end of the longest sound track nothing plays
  EXPECT_FALSE(PlayPreview(2500, 1));
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 4);
  PlayPreview(2500, 2);
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 4);

  // an empty script in mode 0 clears the pictures: a black frame
  LoadPreviewScript("", 0);
  EXPECT_TRUE(PlayPreview(500, 0));
  EXPECT_EQ(preview->last.Pixel(32, 24), 0u);
  // a script that does not parse changes nothing and raises nothing
  LoadPreviewScript("*** Video1 ***\r\nBmp\r\n", 2);

  // the chooser hides the preview window and hands the choice back
  int32_t fx = 0x101;
  EXPECT_TRUE(ChooseFx(fx, 1500));
  EXPECT_FALSE(preview->visible);
  EXPECT_EQ(chooser->asked, 0x101);
  EXPECT_EQ(chooser->askedPeriod, 1500);
  EXPECT_EQ(fx, 0x20000130);
  EXPECT_EQ(FxNameOf(fx), "Przepychanie w prawo");
  EXPECT_NE(GetRandomFxID(), 0x199);

  TRenderOptions o;
  o.TextureSize = 2048;
  SetRenderOptions(o);
  EXPECT_EQ(preview->options.TextureSize, 2048);
  EXPECT_EQ(GetRenderThread(true, script), &preview->thread);

  DoneChain3D();
  EXPECT_EQ(Chain3DPreview(), nullptr);
  EXPECT_EQ(Chain3DChooser(), nullptr);
  EXPECT_EQ(Chain3DAudioPlayer(), nullptr);
  DoneChain3D();
  SetChain3DWindowFactory({});
}

TEST(Chain3D, PreviewLoopControls) {
  CreateResourceLists();
  TFxThread thread(0x202, true);  // the cross-fade: the picture follows the step
  TDIB a(32, 24, 24), b(32, 24, 24);
  a.Fill(Red);
  b.Fill(Blue);
  thread.SetPreviewSize(32, 24);
  thread.SetTextureA(a);
  thread.SetTextureB(b);
  int frames = 0;
  TColor centre = 0;
  thread.SetFrameSink([&](const TDIB& f) {
    ++frames;
    centre = f.Pixel(16, 12);
  });
  // single steps while the loop stands: 40 ms of a 1000 ms period is 40 steps
  thread.SetPeriod(0);
  thread.SetPeriod(1000);
  EXPECT_EQ(thread.Period(), 1000);
  EXPECT_TRUE(thread.StepOnce());
  EXPECT_EQ(thread.PreviewProgress(), 40);
  EXPECT_EQ(frames, 1);
  thread.SetPreviewProgress(500);
  EXPECT_TRUE(thread.RedrawStep());
  EXPECT_NEAR(GetRValue(centre), 128, 8);
  thread.SetDirection(fdReverse);
  thread.SetPreviewProgress(20);
  EXPECT_TRUE(thread.StepOnce());
  EXPECT_EQ(thread.PreviewProgress(), 1000);  // below 0 wraps to the end
  EXPECT_EQ(centre, Blue);
  // the running loop draws for the sink and refuses single steps
  thread.Resume();
  for (int i = 0; i < 300 && frames < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(frames, 5);
  EXPECT_FALSE(thread.StepOnce());
  // the keys F9, F10: the loop's thread idle and back to normal
  EXPECT_TRUE(thread.SetPriorityClass(TFxThread::pcIdle));
  EXPECT_TRUE(thread.SetPriorityClass(TFxThread::pcNormal));
  thread.Pause();
  thread.SetFrameSink(nullptr);
  const int shown = frames;
  EXPECT_TRUE(thread.StepOnce());
  EXPECT_EQ(frames, shown);
  thread.SetOverlayColor(0xFFFFFF);
  EXPECT_EQ(thread.OverlayColor(), 0xFFFFFFu);
  EXPECT_FALSE(TFxThread(0x101, true).SetPriorityClass(TFxThread::pcIdle));  // no thread yet
  thread.Stop();
}

TEST(Chain3D, RenderOptionsFromTheIniFile) {
  TTempDir dir;
  const std::string ini = dir.File("Movara.Ini");
  TRenderOptions o = ReadRenderOptions(ini);
  EXPECT_EQ(o.TextureSize, 1024);
  EXPECT_EQ(o.Filter, 0);
  EXPECT_EQ(o.CameraScaleX, 0.0);
  TMyIniFile f(ini);
  const struct {
    int size, quality, wantSize, wantFilter;
  } cases[] = {{0, 1, 512, 1}, {2, 0, 2048, 0}, {7, 2, 512, 0}, {-1, 1, 512, 1}};
  for (const auto& c : cases) {
    f.WriteInteger("Application Options", "TextureSize", c.size);
    f.WriteInteger("Application Options", "TextureQuality", c.quality);
    f.WriteString("Application Options", "CameraScaleX", "1,5");
    f.WriteString("Application Options", "CameraScaleY", "-2.25");
    o = ReadRenderOptions(ini);
    EXPECT_EQ(o.TextureSize, c.wantSize) << c.size;
    EXPECT_EQ(o.Filter, c.wantFilter) << c.quality;
    EXPECT_DOUBLE_EQ(o.CameraScaleX, 1.5);
    EXPECT_DOUBLE_EQ(o.CameraScaleY, -2.25);
  }
}

}  // namespace
}  // namespace movara
