// The waveOut-like device on its silent backend, driven by a manual clock, and the
// play-from-memory call.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audioout/PlaySound.h"
#include "platform/audioout/WaveOut.h"

namespace movara {
namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Gives the device's poll thread time to act on what it was given (or not to act).
void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

struct TRecorder {
  std::mutex m;
  std::vector<TWaveOutMessage> msgs;
  std::vector<WAVEHDR*> done;
  std::function<void(HWAVEOUT, WAVEHDR*)> onDone;

  TWaveOutCallback Callback() {
    return [this](HWAVEOUT dev, TWaveOutMessage msg, WAVEHDR* hdr) {
      {
        std::lock_guard<std::mutex> lock(m);
        msgs.push_back(msg);
        if (msg == WOM_DONE) done.push_back(hdr);
      }
      if (msg == WOM_DONE && onDone) onDone(dev, hdr);
    };
  }
  size_t DoneCount() {
    std::lock_guard<std::mutex> lock(m);
    return done.size();
  }
};

uint64_t Position(HWAVEOUT dev) {
  uint64_t samples = 12345;
  EXPECT_EQ(waveOutGetPosition(dev, &samples), MMSYSERR_NOERROR);
  return samples;
}

class AudioOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveOutForceSilent(true);
    clock_ = std::make_shared<TManualWaveOutClock>();
    SetSilentWaveOutClock(clock_);
    baseline_ = waveOutOpenCount();
  }
  void TearDown() override {
    PlaySound(nullptr, 0, 0);
    SetSilentWaveOutClock(nullptr);
    EXPECT_EQ(waveOutOpenCount(), baseline_);
  }

  std::shared_ptr<TManualWaveOutClock> clock_;
  int baseline_ = 0;
};

// 8-bit mono at 10000 Hz: 1000 bytes are 100 ms.
const WAVEFORMATEX kMono8 = MakePcmFormat(1, 10000, 8);

TEST_F(AudioOutTest, SilentDeviceChosenWhenAskedOrWithoutApplication) {
  EXPECT_EQ(waveOutNextKind(), wokSilent);
  SetWaveOutForceSilent(false);
  ::setenv("MOVARA_AUDIO", "silent", 1);
  EXPECT_EQ(waveOutNextKind(), wokSilent);
  ::unsetenv("MOVARA_AUDIO");
  // No QCoreApplication in this program: never a Qt sink.
  EXPECT_EQ(waveOutNextKind(), wokSilent);
  SetWaveOutForceSilent(true);
}

TEST_F(AudioOutTest, OpenRefusesWhatIsNotPlayablePcm) {
  HWAVEOUT dev = reinterpret_cast<HWAVEOUT>(1);
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, nullptr, {}), MMSYSERR_INVALPARAM);
  EXPECT_EQ(dev, nullptr);
  WAVEFORMATEX f = MakePcmFormat(2, 44100, 24);
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, {}), WAVERR_BADFORMAT);
  f = MakePcmFormat(3, 44100, 16);
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, {}), WAVERR_BADFORMAT);
  f = MakePcmFormat(2, 44100, 16);
  f.nBlockAlign = 3;
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, {}), WAVERR_BADFORMAT);
  f = MakePcmFormat(1, 22050, 8);
  f.wFormatTag = WAVE_FORMAT_ALAW;
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, {}), WAVERR_BADFORMAT);
  f = MakePcmFormat(1, 0, 8);
  EXPECT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, {}), WAVERR_BADFORMAT);
  f = MakePcmFormat(1, 22050, 8);
  EXPECT_EQ(waveOutOpen(&dev, 3, &f, {}), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutOpenCount(), baseline_);
}

TEST_F(AudioOutTest, CallsOnBadHandlesAndBuffersFail) {
  WAVEHDR h;
  uint64_t pos = 0;
  HWAVEOUT bogus = reinterpret_cast<HWAVEOUT>(0x10);
  EXPECT_EQ(waveOutWrite(bogus, &h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutGetPosition(bogus, &pos), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutClose(nullptr), MMSYSERR_INVALHANDLE);

  TRecorder rec;
  HWAVEOUT dev = nullptr;
  ASSERT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &kMono8, rec.Callback()), MMSYSERR_NOERROR);
  std::vector<uint8_t> data(1000, 128);
  h.lpData = data.data();
  h.dwBufferLength = 1000;
  EXPECT_EQ(waveOutWrite(dev, &h), WAVERR_UNPREPARED);
  EXPECT_EQ(waveOutPrepareHeader(dev, nullptr), MMSYSERR_INVALPARAM);
  ASSERT_EQ(waveOutPrepareHeader(dev, &h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(dev, &h), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.dwFlags & WHDR_INQUEUE);
  EXPECT_EQ(waveOutWrite(dev, &h), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(dev, &h), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutClose(dev), WAVERR_STILLPLAYING);
  ASSERT_EQ(waveOutReset(dev), MMSYSERR_NOERROR);
  EXPECT_EQ(h.dwFlags & (WHDR_INQUEUE | WHDR_DONE), WHDR_DONE);
  EXPECT_EQ(waveOutUnprepareHeader(dev, &h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_INVALHANDLE);
  std::lock_guard<std::mutex> lock(rec.m);
  ASSERT_GE(rec.msgs.size(), 3u);
  EXPECT_EQ(rec.msgs.front(), WOM_OPEN);
  EXPECT_EQ(rec.msgs.back(), WOM_CLOSE);
}

TEST_F(AudioOutTest, SilentDeviceConsumesByTheClockAndLosesTimeWhenDry) {
  TRecorder rec;
  HWAVEOUT dev = nullptr;
  ASSERT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &kMono8, rec.Callback()), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutKindOf(dev), wokSilent);
  std::vector<uint8_t> data(4000, 128);
  WAVEHDR h[4];
  ASSERT_EQ(waveOutPause(dev), MMSYSERR_NOERROR);
  for (int i = 0; i < 3; ++i) {
    h[i].lpData = data.data() + i * 1000;
    h[i].dwBufferLength = 1000;
    ASSERT_EQ(waveOutPrepareHeader(dev, &h[i]), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(dev, &h[i]), MMSYSERR_NOERROR);
  }
  // Paused: time passes, nothing is played and the time is not owed afterwards.
  clock_->AdvanceMs(500);
  Settle();
  EXPECT_EQ(Position(dev), 0u);
  EXPECT_EQ(rec.DoneCount(), 0u);
  ASSERT_EQ(waveOutRestart(dev), MMSYSERR_NOERROR);
  Settle();
  EXPECT_EQ(Position(dev), 0u);

  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([&] { return rec.DoneCount() == 1; }));
  EXPECT_EQ(Position(dev), 1000u);
  clock_->AdvanceMs(50);
  ASSERT_TRUE(WaitUntil([&] { return Position(dev) == 1500; }));
  EXPECT_EQ(rec.DoneCount(), 1u);  // half a buffer is not done

  // 300 ms more with 150 ms queued: the queue runs dry and the rest is lost.
  clock_->AdvanceMs(300);
  ASSERT_TRUE(WaitUntil([&] { return rec.DoneCount() == 3; }));
  Settle();
  EXPECT_EQ(Position(dev), 3000u);
  h[3].lpData = data.data() + 3000;
  h[3].dwBufferLength = 1000;
  ASSERT_EQ(waveOutPrepareHeader(dev, &h[3]), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(dev, &h[3]), MMSYSERR_NOERROR);
  Settle();
  EXPECT_EQ(Position(dev), 3000u);
  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([&] { return rec.DoneCount() == 4; }));
  EXPECT_EQ(Position(dev), 4000u);
  {
    std::lock_guard<std::mutex> lock(rec.m);
    EXPECT_EQ(rec.done, (std::vector<WAVEHDR*>{&h[0], &h[1], &h[2], &h[3]}));
  }
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_NOERROR);
}

TEST_F(AudioOutTest, BuffersAreCutToWholeFramesAndEmptyOnesReturnAtOnce) {
  // 16-bit stereo at 10000 Hz: 4 bytes a frame.
  const WAVEFORMATEX f = MakePcmFormat(2, 10000, 16);
  TRecorder rec;
  HWAVEOUT dev = nullptr;
  ASSERT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &f, rec.Callback()), MMSYSERR_NOERROR);
  std::vector<uint8_t> data(1003, 0);
  WAVEHDR odd, empty;
  odd.lpData = data.data();
  odd.dwBufferLength = 1003;
  empty.lpData = data.data();
  empty.dwBufferLength = 0;
  ASSERT_EQ(waveOutPrepareHeader(dev, &empty), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(dev, &empty), MMSYSERR_NOERROR);
  ASSERT_TRUE(WaitUntil([&] { return rec.DoneCount() == 1; }));
  EXPECT_EQ(Position(dev), 0u);
  ASSERT_EQ(waveOutPrepareHeader(dev, &odd), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(dev, &odd), MMSYSERR_NOERROR);
  clock_->AdvanceMs(1000);
  ASSERT_TRUE(WaitUntil([&] { return rec.DoneCount() == 2; }));
  EXPECT_EQ(Position(dev), 250u);
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_NOERROR);
}

TEST_F(AudioOutTest, ResetReturnsEveryBufferBeforeItReturns) {
  TRecorder rec;
  HWAVEOUT dev = nullptr;
  ASSERT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &kMono8, rec.Callback()), MMSYSERR_NOERROR);
  std::vector<uint8_t> data(1000, 128);
  std::vector<WAVEHDR> h(10);
  for (auto& x : h) {
    x.lpData = data.data();
    x.dwBufferLength = 1000;
    ASSERT_EQ(waveOutPrepareHeader(dev, &x), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(dev, &x), MMSYSERR_NOERROR);
  }
  clock_->AdvanceMs(250);
  ASSERT_TRUE(WaitUntil([&] { return Position(dev) == 2500; }));
  ASSERT_EQ(waveOutReset(dev), MMSYSERR_NOERROR);
  EXPECT_EQ(rec.DoneCount(), 10u);  // no wait: delivered before the reset returned
  EXPECT_EQ(Position(dev), 0u);
  for (auto& x : h) EXPECT_EQ(x.dwFlags, WHDR_PREPARED | WHDR_DONE);
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_NOERROR);
}

TEST_F(AudioOutTest, CallbackMayRequeueButNotClose) {
  TRecorder rec;
  HWAVEOUT dev = nullptr;
  std::vector<uint8_t> data(1000, 128);
  WAVEHDR h;
  h.lpData = data.data();
  h.dwBufferLength = 1000;
  std::atomic<int> rounds{0};
  std::atomic<MMRESULT> closeResult{MMSYSERR_NOERROR};
  rec.onDone = [&](HWAVEOUT d, WAVEHDR* hdr) {
    if (++rounds < 3) {
      waveOutWrite(d, hdr);  // the same buffer again, from inside the notification
    } else {
      closeResult = waveOutClose(d);
    }
  };
  ASSERT_EQ(waveOutOpen(&dev, WAVE_MAPPER, &kMono8, rec.Callback()), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutPrepareHeader(dev, &h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(dev, &h), MMSYSERR_NOERROR);
  for (int i = 1; i <= 3; ++i) {
    clock_->AdvanceMs(100);
    ASSERT_TRUE(WaitUntil([&] { return rounds == i; }));
  }
  EXPECT_EQ(closeResult.load(), MMSYSERR_HANDLEBUSY);
  EXPECT_EQ(Position(dev), 3000u);
  EXPECT_EQ(waveOutClose(dev), MMSYSERR_NOERROR);
}

std::vector<uint8_t> WaveImage(const WAVEFORMATEX& f, size_t dataBytes, size_t claimed) {
  std::vector<uint8_t> out;
  TLEWriter w(out);
  w.FourCC(ckidRIFF);
  w.U32(static_cast<uint32_t>(4 + 8 + 16 + 8 + 8 + 4 + dataBytes));
  w.FourCC(formtypeWAVE);
  w.FourCC(ckidLIST);  // a chunk the player skips
  w.U32(4);
  w.FourCC(mmioFOURCC('I', 'N', 'F', 'O'));
  w.FourCC(ckidWAVEFORMAT);
  w.U32(16);
  w.U16(f.wFormatTag);
  w.U16(f.nChannels);
  w.U32(f.nSamplesPerSec);
  w.U32(f.nAvgBytesPerSec);
  w.U16(f.nBlockAlign);
  w.U16(f.wBitsPerSample);
  w.FourCC(ckidWAVEDATA);
  w.U32(static_cast<uint32_t>(claimed));
  w.Zeros(dataBytes);
  return out;
}

TEST_F(AudioOutTest, PlaySoundPlaysAnImageToItsEndAndStops) {
  // 300 ms, but the data chunk claims more than the image holds.
  const std::vector<uint8_t> img = WaveImage(kMono8, 3000, 90000);
  ASSERT_TRUE(PlaySound(img.data(), img.size(), SND_MEMORY | SND_ASYNC | SND_NODEFAULT));
  EXPECT_TRUE(PlaySoundIsPlaying());
  EXPECT_EQ(waveOutOpenCount(), baseline_ + 1);
  clock_->AdvanceMs(200);
  Settle();
  EXPECT_TRUE(PlaySoundIsPlaying());
  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([] { return !PlaySoundIsPlaying(); }));

  ASSERT_TRUE(PlaySound(img.data(), img.size(), SND_MEMORY | SND_ASYNC));
  EXPECT_TRUE(PlaySoundIsPlaying());
  EXPECT_TRUE(PlaySound(nullptr, 0, 0));
  EXPECT_FALSE(PlaySoundIsPlaying());
  EXPECT_EQ(waveOutOpenCount(), baseline_);
}

TEST_F(AudioOutTest, PlaySoundRefusesWhatItCannotPlay) {
  std::vector<uint8_t> img = WaveImage(kMono8, 100, 100);
  EXPECT_FALSE(PlaySound(img.data(), img.size(), SND_ASYNC));  // not SND_MEMORY
  EXPECT_FALSE(PlaySound(img.data(), 11, SND_MEMORY | SND_ASYNC));
  std::vector<uint8_t> bad = img;
  bad[8] = 'X';  // not WAVE
  EXPECT_FALSE(PlaySound(bad.data(), bad.size(), SND_MEMORY | SND_ASYNC));
  WAVEFORMATEX alaw = kMono8;
  alaw.wFormatTag = WAVE_FORMAT_ALAW;
  bad = WaveImage(alaw, 100, 100);
  EXPECT_FALSE(PlaySound(bad.data(), bad.size(), SND_MEMORY | SND_ASYNC));
  bad.assign(img.begin(), img.begin() + 44);  // cut inside the "fmt " chunk
  EXPECT_FALSE(PlaySound(bad.data(), bad.size(), SND_MEMORY | SND_ASYNC));
  EXPECT_FALSE(PlaySoundIsPlaying());
}

TEST_F(AudioOutTest, SynchronousPlaySoundReturnsWhenPlayed) {
  SetSilentWaveOutClock(std::make_shared<TScaledWaveOutClock>(20.0));
  const std::vector<uint8_t> img = WaveImage(kMono8, 10000, 10000);  // 1 s, 50 ms here
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(PlaySound(img.data(), img.size(), SND_MEMORY));
  EXPECT_FALSE(PlaySoundIsPlaying());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

}  // namespace
}  // namespace movara
