// The clip player's clock on the silent sound device, its time moved by hand: positions
// after play, pause, resume and seek, the end of a run and of the clip, a run that
// cannot start, a sound without video following the device, and a stop that waits for
// a busy tick only as long as it may.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/DCAviPlayer.h"
#include "base/Clock.h"
#include "media/AudioReader.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "platform/audioout/WaveOut.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::WaitUntil;

class DCAviPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveOutForceSilent(true);
    SetSilentWaveOutClock(clock_);
    player_.SetClock([c = clock_] { return c->NowMicros() / 1000; });
  }
  void TearDown() override {
    player_.Attach(nullptr, nullptr);
    SetSilentWaveOutClock(nullptr);
    SetWaveOutForceSilent(false);
  }
  // 100 frames at 25 per second (4 s) with sound, or 1.5 s of sound alone.
  std::string Make(const std::string& name) {
    const std::string file = dir_.File(name);
    const bool wav = name.find(".wav") != std::string::npos;
    const std::string cmd =
        wav ? "ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100 -t 1.5 -c:a pcm_s16le "
            : "ffmpeg -v error -y -f lavfi -i testsrc2=size=32x24:rate=25 -f lavfi -i "
              "sine=frequency=440:sample_rate=44100 -frames:v 100 -c:v mjpeg -c:a pcm_s16le -shortest ";
    const auto r = test::RunCommand(cmd + test::Quote(file));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return file;
  }
  void Advance(int ms) { clock_->AdvanceMs(ms); }
  bool FrameBecomes(int frame) {
    return WaitUntil([&] { return player_.CurrentFrame() == frame; }, 3000);
  }

  test::TTempDir dir_;
  std::shared_ptr<TManualWaveOutClock> clock_ = std::make_shared<TManualWaveOutClock>();
  TDCAviPlayer player_;
};

TEST_F(DCAviPlayerTest, VideoPositionsThroughPlayPauseResumeSeekAndTheEnd) {
  REQUIRE_PROGRAM("ffmpeg");
  TAVI avi;
  ASSERT_TRUE(avi.Open(Make("clip.avi")));
  auto sound = MakeAudioReaderFromFile(avi.FileName(), 2, 16, 44100);
  ASSERT_TRUE(sound);
  std::atomic<int> stops{0}, starts{0};
  player_.OnStop = [&] { ++stops; };
  player_.OnStart = [&] { ++starts; };
  EXPECT_EQ(player_.ClipState(), csNone);
  EXPECT_FALSE(player_.Play(0, 0));  // nothing attached

  player_.Attach(&avi, sound.get());
  EXPECT_EQ(player_.ClipType(), ctMovie);
  EXPECT_EQ(player_.ClipState(), csReady);
  EXPECT_EQ(player_.LengthTime(), 3960);
  EXPECT_EQ(player_.TimeOfFrames(3), 120);
  EXPECT_EQ(player_.FrameAtTime(1000), 25);

  // a start at or beyond the end plays nothing
  EXPECT_FALSE(player_.Play(3960, 0));
  EXPECT_FALSE(player_.Play(5000, 100));
  EXPECT_EQ(player_.ClipState(), csReady);
  EXPECT_EQ(starts, 0);

  // from 1 s to the end: 400 ms later the clock is at frame 35
  ASSERT_TRUE(player_.Play(1000, 0));
  EXPECT_EQ(player_.ClipState(), csPlaying);
  EXPECT_EQ(player_.TimerPeriod(), 40);
  EXPECT_EQ(player_.StartFrame(), 25);
  EXPECT_EQ(player_.StopFrame(), 99);
  Advance(400);
  ASSERT_TRUE(FrameBecomes(35));
  EXPECT_EQ(player_.CurrentTime(), 1400);
  EXPECT_EQ(avi.Position(), 35);

  // two seconds paused: the clock goes on from the paused frame
  player_.Pause();
  EXPECT_EQ(player_.ClipState(), csPaused);
  Advance(2000);
  SleepMs(120);
  EXPECT_EQ(player_.CurrentFrame(), 35);
  player_.Resume();
  EXPECT_EQ(player_.ClipState(), csPlaying);
  Advance(80);
  ASSERT_TRUE(FrameBecomes(37));

  // setting the time stops and moves there
  player_.SetCurrentTime(2000);
  EXPECT_EQ(player_.ClipState(), csReady);
  EXPECT_EQ(player_.CurrentFrame(), 50);
  EXPECT_EQ(avi.Position(), 50);
  EXPECT_GE(stops, 1);

  // a run of 400 ms from 2 s stops by itself on its last frame
  ASSERT_TRUE(player_.Play(2000, 400));
  const int stopsBefore = stops;
  EXPECT_EQ(player_.StopFrame(), 60);
  Advance(1000);
  ASSERT_TRUE(WaitUntil([&] { return stops == stopsBefore + 1; }, 3000));
  EXPECT_EQ(player_.ClipState(), csReady);
  EXPECT_EQ(player_.CurrentFrame(), 60);
  SleepMs(100);
  EXPECT_EQ(stops, stopsBefore + 1);

  // the clip's end
  ASSERT_TRUE(player_.Play(3800, 0));
  Advance(500);
  ASSERT_TRUE(WaitUntil([&] { return player_.ClipState() == csReady; }, 3000));
  EXPECT_EQ(player_.CurrentFrame(), 99);
  EXPECT_EQ(starts, 3);

  // a player freed while it plays stops without calling its owner, who may be half gone
  auto owned = std::make_unique<TDCAviPlayer>();
  int late = 0;
  owned->Attach(&avi, sound.get());
  ASSERT_TRUE(owned->Play(0, 0));
  owned->OnStop = [&] { ++late; };
  owned->OnRepaint = [&] { ++late; };
  owned.reset();
  EXPECT_EQ(late, 0);
}

TEST_F(DCAviPlayerTest, SoundAloneFollowsTheDeviceAndEndsWithIt) {
  REQUIRE_PROGRAM("ffmpeg");
  auto sound = MakeAudioReaderFromFile(Make("tone.wav"), 2, 16, 44100);
  ASSERT_TRUE(sound);
  player_.Attach(nullptr, sound.get());
  EXPECT_EQ(player_.ClipType(), ctAudio);
  EXPECT_EQ(player_.LengthTime(), 1500);
  ASSERT_TRUE(player_.Play(200, 0));
  EXPECT_EQ(player_.TimerPeriod(), 100);
  EXPECT_EQ(player_.StartFrame(), 2);
  EXPECT_EQ(player_.StopFrame(), 15);
  // the device plays 500 ms: the position is the device's
  Advance(500);
  ASSERT_TRUE(WaitUntil([&] { return player_.CurrentTime() == 700; }, 3000)) << player_.CurrentTime();
  EXPECT_EQ(player_.CurrentFrame(), 7);
  EXPECT_EQ(player_.ClipState(), csPlaying);
  // paused, the device's time does not move the clock
  player_.Pause();
  Advance(300);
  SleepMs(250);
  EXPECT_EQ(player_.CurrentTime(), 700);
  player_.Resume();
  // every buffer played: it stops at once
  for (int k = 0; k < 20 && player_.ClipState() == csPlaying; ++k) {
    Advance(100);
    SleepMs(30);
  }
  ASSERT_TRUE(WaitUntil([&] { return player_.ClipState() == csReady; }, 3000));
  EXPECT_EQ(player_.CurrentFrame(), 15);
}

TEST_F(DCAviPlayerTest, StopWaitsForABusyTickAtMostItsLimits) {
  REQUIRE_PROGRAM("ffmpeg");
  TAVI avi;
  ASSERT_TRUE(avi.Open(Make("clip.avi")));
  player_.Attach(&avi, nullptr);
  EXPECT_EQ(player_.ClipType(), ctAnimation);
  // a tick that takes 4 s
  std::atomic<bool> inTick{false};
  std::atomic<int> ticks{0};
  player_.OnChangePosition = [&](bool&) {
    ++ticks;
    inTick = true;
    SleepMs(4000);
    inTick = false;
  };
  int messages = 0;
  player_.ProcessMessages = [&] { ++messages; };
  ASSERT_TRUE(player_.Play(0, 0));
  Advance(40);
  ASSERT_TRUE(WaitUntil([&] { return inTick.load(); }, 3000));
  const int64_t start = NowMs();
  player_.Stop();
  const int64_t took = NowMs() - start;
  EXPECT_GE(took, TDCAviPlayer::kStopWaitMs);
  EXPECT_LE(took, TDCAviPlayer::kStopWaitMs + TDCAviPlayer::kStopAfterWaitMs + 600);
  EXPECT_GT(messages, 0);
  EXPECT_EQ(player_.ClipState(), csReady);
  // the late tick ends without another one
  ASSERT_TRUE(WaitUntil([&] { return !inTick.load(); }, 5000));
  Advance(400);
  SleepMs(150);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(player_.CurrentFrame(), 1);
  // a new run starts normally
  player_.OnChangePosition = nullptr;
  ASSERT_TRUE(player_.Play(0, 0));
  Advance(200);
  EXPECT_TRUE(FrameBecomes(5));
}

}  // namespace
}  // namespace movara
