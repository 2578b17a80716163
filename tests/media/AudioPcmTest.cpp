// PCM blocks (sizes, roundings, scaling and mixing with clipping), the WAV image of a
// block read back by ffprobe, and the reader player on the silent device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <dirent.h>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/AudioPcm.h"
#include "media/AudioReader.h"
#include "platform/avifile/AviIO.h"  // the reader holds its file by a TAviIO
#include "platform/audioout/PlaySound.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

// ---------------------------------------------------------------- blocks

uint8_t* Frame16(std::vector<uint8_t>& buf, int16_t l, int16_t r) {
  buf.resize(4);
  PutLE16(buf.data(), static_cast<uint16_t>(l));
  PutLE16(buf.data() + 2, static_cast<uint16_t>(r));
  return buf.data();
}
int16_t Left16(const uint8_t* p) { return static_cast<int16_t>(GetLE16(p)); }
int16_t Right16(const uint8_t* p) { return static_cast<int16_t>(GetLE16(p + 2)); }

TEST(AudioPcmManager, InitSizesTheBlockAndFillsItWithSilence) {
  TAudioPcmManager m;
  EXPECT_EQ(m.Bits(), 8);  // a new manager: 1 ms of 8-bit mono at 44100 Hz
  EXPECT_EQ(m.FrameCount(), 44);
  EXPECT_EQ(m.Duration(), 1);

  m.Init(16, 2, 1000, 44100);
  EXPECT_EQ(m.FrameCount(), 44100);
  EXPECT_EQ(m.BlockSize(), 176400);
  EXPECT_EQ(m.SampleKind(), skStereo16);
  EXPECT_EQ(m.BytesPerFrame(), 4);
  EXPECT_EQ(m.Duration(), 1000);
  EXPECT_TRUE(std::all_of(m.Block(), m.Block() + m.BlockSize(), [](uint8_t b) { return b == 0; }));

  m.Init(8, 1, 500, 22050);
  EXPECT_EQ(m.BlockSize(), 11025);
  EXPECT_EQ(m.SampleKind(), skMono8);
  EXPECT_TRUE(
      std::all_of(m.Block(), m.Block() + m.BlockSize(), [](uint8_t b) { return b == 128; }));

  // The same size keeps the block but clears it for the new kind.
  m.Init(16, 1, 1000, 11025);
  const uint8_t* before = m.Block();
  m.Block()[7] = 99;
  m.Init(8, 2, 1000, 11025);
  EXPECT_EQ(m.Block(), before);
  EXPECT_EQ(m.SampleKind(), skStereo8);
  EXPECT_EQ(m.Block()[7], 128);
}

TEST(AudioPcmManager, FrameCountAndHeldDurationRoundHalvesToEven) {
  TAudioPcmManager m;
  m.Init(8, 1, 1, 2500);  // 2.5 frames
  EXPECT_EQ(m.FrameCount(), 2);
  m.Init(8, 1, 1, 3500);  // 3.5 frames
  EXPECT_EQ(m.FrameCount(), 4);
  m.Init(8, 1, 3, 400);  // 1.2 -> 1 frame, which holds 2.5 ms
  EXPECT_EQ(m.FrameCount(), 1);
  EXPECT_EQ(m.Duration(), 2);
  m.Init(16, 2, 7, 44100);  // 308.7 frames -> 309, 7.0068 ms
  EXPECT_EQ(m.FrameCount(), 309);
  EXPECT_EQ(m.BlockSize(), 309 * 4);
  EXPECT_EQ(m.Duration(), 7);

  // Half a frame rounds to none: an empty block, and the sample calls do nothing.
  m.Init(16, 2, 1, 500);
  EXPECT_EQ(m.FrameCount(), 0);
  EXPECT_EQ(m.BlockSize(), 0);
  EXPECT_EQ(m.SamplePtr(0), nullptr);
  std::vector<uint8_t> f;
  m.MixSamples(0, Frame16(f, 1, 1), nullptr, nullptr);
  m.PutScaledSample(3, f.data(), 0.5);
}

TEST(AudioPcmManager, InitRefusesOtherFormatsWithTheNumberedError) {
  TAudioPcmManager m;
  try {
    m.Init(12, 1, 1000, 44100);
    FAIL() << "no exception";
  } catch (const EAudioPcm& e) {
    EXPECT_STREQ(e.what(),
                 "[TAudioPcmManager.Init] Error $1A01. One of the following params are not "
                 "allowed: Bits = 12, Channels = 1, SamplesPerSec = 44100, Duration = 1000");
  }
  EXPECT_THROW(m.Init(16, 3, 1000, 44100), EAudioPcm);
  EXPECT_THROW(m.Init(16, 0, 1000, 44100), EAudioPcm);
  EXPECT_THROW(m.Init(16, 2, 0, 44100), EAudioPcm);
  EXPECT_THROW(m.Init(16, 2, 1000, 0), EAudioPcm);
  EXPECT_THROW(m.Init(16, 2, -5, 44100), EAudioPcm);
  // 2^31 ms at 44100 Hz would be an absurd block.
  EXPECT_THROW(m.Init(16, 2, INT_MAX, 44100), EAudioPcm);
  EXPECT_THROW(m.Init(8, 1, INT_MAX, INT_MAX), EAudioPcm);
  // A refused Init leaves the block as it was.
  EXPECT_EQ(m.FrameCount(), 44);
}

TEST(AudioPcmManager, SamplePtrIsClampedToTheBlock) {
  TAudioPcmManager m;
  m.Init(16, 2, 10, 1000);  // 10 frames of 4 bytes
  EXPECT_EQ(m.SamplePtr(-3), m.Block());
  EXPECT_EQ(m.SamplePtr(4), m.Block() + 16);
  EXPECT_EQ(m.SamplePtr(9), m.Block() + 36);
  EXPECT_EQ(m.SamplePtr(1000000), m.Block() + 36);
}

TEST(AudioPcmManager, MixSamplesClipsEachChannel) {
  TAudioPcmManager m;
  m.Init(16, 2, 10, 1000);
  std::vector<uint8_t> a, b, c;
  m.MixSamples(2, Frame16(a, 20000, -20000), Frame16(b, 20000, -20000), Frame16(c, 20000, -20000));
  EXPECT_EQ(Left16(m.SamplePtr(2)), 32767);
  EXPECT_EQ(Right16(m.SamplePtr(2)), -32768);
  m.MixSamples(3, Frame16(a, 1000, -3), Frame16(b, -400, 7), Frame16(c, 5, 32767));
  EXPECT_EQ(Left16(m.SamplePtr(3)), 605);
  EXPECT_EQ(Right16(m.SamplePtr(3)), 32767);
  m.MixSamples(4, Frame16(a, -1234, 4321), nullptr, nullptr);  // missing frames are silence
  EXPECT_EQ(Left16(m.SamplePtr(4)), -1234);
  EXPECT_EQ(Right16(m.SamplePtr(4)), 4321);

  m.Init(8, 2, 10, 1000);
  const uint8_t hi[2] = {200, 10};   // +72, -118
  const uint8_t mid[2] = {130, 127};  // +2, -1
  m.MixSamples(0, hi, hi, hi);
  EXPECT_EQ(m.SamplePtr(0)[0], 255);
  EXPECT_EQ(m.SamplePtr(0)[1], 0);
  m.MixSamples(1, mid, mid, hi);  // 2+2+72, -1-1-118
  EXPECT_EQ(m.SamplePtr(1)[0], 128 + 76);
  EXPECT_EQ(m.SamplePtr(1)[1], 128 - 120);
  m.MixSamples(2, nullptr, nullptr, nullptr);
  EXPECT_EQ(m.SamplePtr(2)[0], 128);
}

TEST(AudioPcmManager, PutScaledSampleRoundsAndClips16Bit) {
  TAudioPcmManager m;
  m.Init(16, 2, 10, 1000);
  std::vector<uint8_t> s;
  m.PutScaledSample(0, Frame16(s, -32768, 12345), 1.0);  // copied as it is
  EXPECT_EQ(Left16(m.SamplePtr(0)), -32768);
  EXPECT_EQ(Right16(m.SamplePtr(0)), 12345);
  m.PutScaledSample(1, Frame16(s, 20000, -20000), 2.0);
  EXPECT_EQ(Left16(m.SamplePtr(1)), 32767);
  EXPECT_EQ(Right16(m.SamplePtr(1)), -32768);
  m.PutScaledSample(2, Frame16(s, 5, -3), 0.5);  // 2.5 -> 2, -1.5 -> -2
  EXPECT_EQ(Left16(m.SamplePtr(2)), 2);
  EXPECT_EQ(Right16(m.SamplePtr(2)), -2);
  m.PutScaledSample(3, Frame16(s, 7, 1000), 1.5);  // 10.5 -> 10, 1500
  EXPECT_EQ(Left16(m.SamplePtr(3)), 10);
  EXPECT_EQ(Right16(m.SamplePtr(3)), 1500);
  m.PutScaledSample(4, Frame16(s, 30000, -30000), 0.0);
  EXPECT_EQ(Left16(m.SamplePtr(4)), 0);
  EXPECT_EQ(Right16(m.SamplePtr(4)), 0);
  m.PutScaledSample(5, Frame16(s, 30000, -30000), std::nan(""));
  EXPECT_EQ(Left16(m.SamplePtr(5)), 0);
  m.PutScaledSample(6, Frame16(s, 1000, -1000), 7.0);  // beyond the range: as 2
  EXPECT_EQ(Left16(m.SamplePtr(6)), 2000);
  EXPECT_EQ(Right16(m.SamplePtr(6)), -2000);
}

TEST(AudioPcmManager, PutScaledSampleWorksAroundTheEightBitOffset) {
  TAudioPcmManager m;
  m.Init(8, 1, 10, 1000);
  const uint8_t loud = 200, low = 0, one = 129, three = 131;
  m.PutScaledSample(0, &loud, 2.0);  // 72 x 2 = 144 -> 127
  EXPECT_EQ(*m.SamplePtr(0), 255);
  m.PutScaledSample(1, &low, 1.5);  // -128 x 1.5 -> -128
  EXPECT_EQ(*m.SamplePtr(1), 0);
  m.PutScaledSample(2, &one, 0.5);  // 0.5 -> 0
  EXPECT_EQ(*m.SamplePtr(2), 128);
  m.PutScaledSample(3, &three, 0.5);  // 1.5 -> 2
  EXPECT_EQ(*m.SamplePtr(3), 130);
  m.PutScaledSample(4, &loud, 0.0);
  EXPECT_EQ(*m.SamplePtr(4), 128);
  m.PutScaledSample(5, &low, 1.0);
  EXPECT_EQ(*m.SamplePtr(5), 0);
  m.PutScaledSample(6, &loud, 0.75);  // 54
  EXPECT_EQ(*m.SamplePtr(6), 182);
}

// ---------------------------------------------------------------- WAV image

std::string Probe(const std::string& file) {
  return test::RunCommand("ffprobe -v error -show_entries stream=codec_name,channels,sample_rate"
                          ":format=duration -of default=noprint_wrappers=1 " +
                          test::Quote(file))
      .output;
}

TEST(AudioPlaySound, PcmImageLayoutAndFfprobe) {
  REQUIRE_PROGRAM("ffprobe");
  test::TTempDir dir;
  TAudioPcmManager m;
  m.Init(16, 2, 1000, 44100);
  for (int i = 0; i < m.FrameCount(); ++i) {
    const int16_t v = static_cast<int16_t>(10000 * std::sin(i * 0.05));
    PutLE16(m.SamplePtr(i), static_cast<uint16_t>(v));
    PutLE16(m.SamplePtr(i) + 2, static_cast<uint16_t>(-v));
  }
  TWaveFormat fmt;
  fmt.wf = MakePcmFormat(2, 44100, 16);
  TAudioPlaySound snd;
  ASSERT_TRUE(snd.BuildWaveImage(&fmt, m.Block(), static_cast<size_t>(m.BlockSize())));
  const std::vector<uint8_t>& img = snd.Image();
  ASSERT_EQ(img.size(), 12u + 8 + 16 + 8 + 176400 + 1);
  EXPECT_EQ(GetLE32(img.data()), ckidRIFF);
  EXPECT_EQ(GetLE32(img.data() + 4), img.size() - 8);
  EXPECT_EQ(GetLE32(img.data() + 8), formtypeWAVE);
  EXPECT_EQ(GetLE32(img.data() + 12), ckidWAVEFORMAT);
  EXPECT_EQ(GetLE32(img.data() + 16), 16u);
  EXPECT_EQ(GetLE32(img.data() + 36), ckidWAVEDATA);
  EXPECT_EQ(GetLE32(img.data() + 40), 176400u);
  EXPECT_TRUE(std::equal(m.Block(), m.Block() + m.BlockSize(), img.begin() + 44));
  EXPECT_EQ(img.back(), 0);

  const std::string file = dir.File("block.wav");
  test::WriteBytes(file, img);
  const std::string out = Probe(file);
  EXPECT_NE(out.find("codec_name=pcm_s16le"), std::string::npos) << out;
  EXPECT_NE(out.find("sample_rate=44100"), std::string::npos) << out;
  EXPECT_NE(out.find("channels=2"), std::string::npos) << out;
  EXPECT_NE(out.find("duration=1.000000"), std::string::npos) << out;

  m.Init(8, 1, 500, 22050);
  fmt.wf = MakePcmFormat(1, 22050, 8);
  ASSERT_TRUE(snd.BuildWaveImage(&fmt, m.Block(), static_cast<size_t>(m.BlockSize())));
  test::WriteBytes(file, snd.Image());
  const std::string out8 = Probe(file);
  EXPECT_NE(out8.find("codec_name=pcm_u8"), std::string::npos) << out8;
  EXPECT_NE(out8.find("duration=0.500000"), std::string::npos) << out8;
}

TEST(AudioPlaySound, NonPcmImagesCarryTheirExtraBytesAndAFactChunk) {
  REQUIRE_PROGRAM("ffprobe");
  test::TTempDir dir;
  // IMA ADPCM, mono 22050 Hz, 256-byte blocks of 505 samples; all-zero blocks are valid.
  TWaveFormat ima;
  ima.wf.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
  ima.wf.nChannels = 1;
  ima.wf.nSamplesPerSec = 22050;
  ima.wf.nAvgBytesPerSec = 11100;
  ima.wf.nBlockAlign = 256;
  ima.wf.wBitsPerSample = 4;
  ima.extra = {0xF9, 0x01};  // 505
  const std::vector<uint8_t> data(256 * 20, 0);
  TAudioPlaySound snd;
  ASSERT_TRUE(snd.BuildWaveImage(&ima, data.data(), data.size()));
  const std::vector<uint8_t>& img = snd.Image();
  ASSERT_EQ(img.size(), 12u + 8 + 20 + 12 + 8 + data.size() + 1);
  EXPECT_EQ(GetLE32(img.data() + 4), img.size() - 8);
  EXPECT_EQ(GetLE32(img.data() + 16), 20u);      // 18 + 2 extra bytes
  EXPECT_EQ(GetLE16(img.data() + 36), 2u);       // cbSize
  EXPECT_EQ(GetLE16(img.data() + 38), 505u);     // the extra bytes
  EXPECT_EQ(GetLE32(img.data() + 40), mmioFOURCC('f', 'a', 'c', 't'));
  EXPECT_EQ(GetLE32(img.data() + 44), 4u);
  EXPECT_EQ(GetLE32(img.data() + 48), 20u * 505);  // samples
  EXPECT_EQ(GetLE32(img.data() + 52), ckidWAVEDATA);
  const std::string file = dir.File("ima.wav");
  test::WriteBytes(file, img);
  const std::string out = Probe(file);
  EXPECT_NE(out.find("codec_name=adpcm_ima_wav"), std::string::npos) << out;
  EXPECT_NE(out.find("sample_rate=22050"), std::string::npos) << out;

  // A-law: one byte a sample, so the count is exact; no extra bytes (fmt of 18).
  TWaveFormat alaw;
  alaw.wf = MakePcmFormat(1, 8000, 8);
  alaw.wf.wFormatTag = WAVE_FORMAT_ALAW;
  const std::vector<uint8_t> a(8000, 0xD5);
  ASSERT_TRUE(snd.BuildWaveImage(&alaw, a.data(), a.size()));
  EXPECT_EQ(GetLE32(snd.Image().data() + 16), 18u);
  EXPECT_EQ(GetLE32(snd.Image().data() + 46), 8000u);
  test::WriteBytes(file, snd.Image());
  const std::string outA = Probe(file);
  EXPECT_NE(outA.find("codec_name=pcm_alaw"), std::string::npos) << outA;
  EXPECT_NE(outA.find("duration=1.000000"), std::string::npos) << outA;

  // A format that does not tell its samples per block: the count is 0.
  TWaveFormat mp3 = alaw;
  mp3.wf.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  ASSERT_TRUE(snd.BuildWaveImage(&mp3, a.data(), a.size()));
  EXPECT_EQ(GetLE32(snd.Image().data() + 46), 0u);
}

TEST(AudioPlaySound, BuildNeedsFormatDataAndSize) {
  TAudioPlaySound snd;
  TWaveFormat fmt;
  fmt.wf = MakePcmFormat(1, 8000, 8);
  const uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_FALSE(snd.BuildWaveImage(nullptr, data, 4));
  EXPECT_FALSE(snd.BuildWaveImage(&fmt, nullptr, 4));
  EXPECT_FALSE(snd.BuildWaveImage(&fmt, data, 0));
  EXPECT_EQ(snd.ImageSize(), 0u);
  // An odd data size: the trailing byte pads it, the RIFF size still counts it.
  const uint8_t odd[3] = {1, 2, 3};
  ASSERT_TRUE(snd.BuildWaveImage(&fmt, odd, 3));
  EXPECT_EQ(snd.ImageSize(), 48u);
  EXPECT_EQ(GetLE32(snd.Image().data() + 4), 40u);
  EXPECT_EQ(GetLE32(snd.Image().data() + 40), 3u);
}

// ---------------------------------------------------------------- TAudioPlay

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// A sound of a given length in 8-bit mono at 8000 Hz (800 bytes = 100 ms); reads as the
// real readers do: round(bytes per second x ms / 1000), cut to the end and to maxBytes.
class TFakeReader : public TAudioPlaySource {
 public:
  explicit TFakeReader(int durationMs, WAVEFORMATEX fmt = MakePcmFormat(1, 8000, 8))
      : duration_(durationMs), fmt_(fmt) {}
  bool Opened() const override { return opened_; }
  int Duration() const override { return duration_; }
  WAVEFORMATEX DestFormat() const override { return fmt_; }
  int ReadData(int timeMs, int durationMs, int maxBytes, uint8_t* buffer) override {
    {
      std::lock_guard<std::mutex> lock(m_);
      reads_.push_back({timeMs, durationMs});
    }
    if (failing_) return 0;
    if (durationMs < 0 || timeMs + durationMs > duration_) durationMs = duration_ - timeMs;
    if (durationMs <= 0) return 0;
    int count = static_cast<int>(RoundHalfEven(static_cast<long double>(fmt_.nAvgBytesPerSec) *
                                               durationMs / 1000));
    count = std::min(count, maxBytes);
    std::fill(buffer, buffer + count, static_cast<uint8_t>(100 + timeMs / 100));
    return count;
  }
  std::vector<std::pair<int, int>> Reads() {
    std::lock_guard<std::mutex> lock(m_);
    return reads_;
  }

  bool opened_ = true;
  bool failing_ = false;

 private:
  int duration_;
  WAVEFORMATEX fmt_;
  std::mutex m_;
  std::vector<std::pair<int, int>> reads_;
};

class AudioPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveOutForceSilent(true);
    clock_ = std::make_shared<TManualWaveOutClock>();
    SetSilentWaveOutClock(clock_);
    devices_ = waveOutOpenCount();
    SetTraceSink([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(traceM_);
      trace_.push_back(line);
    });
  }
  void TearDown() override {
    SetTraceSink({});
    SetSilentWaveOutClock(nullptr);
    EXPECT_EQ(waveOutOpenCount(), devices_);
  }
  // Plays on by the manual clock, 100 ms a step, each step only once the player has
  // refilled its queue: the test never outruns the refill, however slow the machine.
  bool PlayOut(TAudioPlay& play) {
    for (int step = 0; step < 100000; ++step) {
      if (!WaitUntil([&] {
            return play.State() != apsPlaying || play.LeftLengthTime() == 0 ||
                   play.QueuedBuffers() == TAudioPlay::kBuffersInFlight;
          }))
        return false;
      if (play.State() != apsPlaying) return play.State() == apsFinished;
      const uint64_t before = play.DevicePosition();
      clock_->AdvanceMs(100);
      if (!WaitUntil([&] { return play.State() != apsPlaying || play.DevicePosition() > before; }))
        return false;
    }
    return false;
  }
  bool Traced(const std::string& line) {
    std::lock_guard<std::mutex> lock(traceM_);
    return std::find(trace_.begin(), trace_.end(), line) != trace_.end();
  }

  std::shared_ptr<TManualWaveOutClock> clock_;
  int devices_ = 0;
  std::mutex traceM_;
  std::vector<std::string> trace_;
};

TEST_F(AudioPlayTest, KeepsTenBuffersInFlight) {
  TFakeReader reader(5000);
  TAudioPlay play(&reader);
  EXPECT_EQ(play.State(), apsStopped);
  ASSERT_TRUE(play.Play(0, 0));
  EXPECT_TRUE(Traced(
      "[TAudioPlay.Play] Try to play the sound. FCurrentTimeOffset = 0, FLeftLengthTime = 5000"));
  EXPECT_EQ(play.State(), apsPlaying);
  EXPECT_EQ(play.BufferSize(), 800);
  EXPECT_EQ(play.QueuedBuffers(), 10);
  EXPECT_EQ(play.CurrentTimeOffset(), 1000);
  EXPECT_EQ(play.LeftLengthTime(), 4000);

  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([&] { return play.CurrentTimeOffset() == 1100; }));
  EXPECT_EQ(play.QueuedBuffers(), 10);
  EXPECT_EQ(play.DevicePosition(), 800u);
  EXPECT_EQ(play.PlayPosition(), 100);
  clock_->AdvanceMs(250);
  ASSERT_TRUE(WaitUntil([&] { return play.CurrentTimeOffset() == 1300; }));
  EXPECT_EQ(play.QueuedBuffers(), 10);
  EXPECT_EQ(play.PlayPosition(), 350);

  const auto reads = reader.Reads();
  ASSERT_EQ(reads.size(), 13u);
  for (size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].first, static_cast<int>(i) * 100);
    EXPECT_EQ(reads[i].second, 100);
  }
  play.Stop();
  EXPECT_EQ(play.State(), apsStopped);
  EXPECT_EQ(play.QueuedBuffers(), 0);
  EXPECT_EQ(play.PlayPosition(), -1);
  EXPECT_TRUE(Traced("[TAudioPlay.Stop] Stopped."));
}

TEST_F(AudioPlayTest, PlaysToTheEndAndFinishes) {
  TFakeReader reader(2050);  // the last buffer holds 50 ms
  TAudioPlay play(&reader);
  ASSERT_TRUE(play.Play(0, 0));
  ASSERT_TRUE(PlayOut(play));
  EXPECT_EQ(play.QueuedBuffers(), 0);
  EXPECT_EQ(play.LeftLengthTime(), 0);
  EXPECT_EQ(play.CurrentTimeOffset(), 2050);
  EXPECT_EQ(play.DevicePosition(), 2050u * 8);
  const auto reads = reader.Reads();
  ASSERT_EQ(reads.size(), 21u);
  EXPECT_EQ(reads.back(), std::make_pair(2000, 50));
  // Finished: a new Play starts over.
  ASSERT_TRUE(play.Play(1000, 300));
  EXPECT_EQ(play.State(), apsPlaying);
  EXPECT_EQ(play.QueuedBuffers(), 3);
  ASSERT_TRUE(PlayOut(play));
  EXPECT_EQ(play.DevicePosition(), 300u * 8);
}

TEST_F(AudioPlayTest, ALengthPastTheSoundPlaysToItsEnd) {
  TFakeReader reader(2000);
  TAudioPlay play(&reader);
  ASSERT_TRUE(play.Play(1500, 100000));
  EXPECT_TRUE(Traced(
      "[TAudioPlay.Play] Try to play the sound. FCurrentTimeOffset = 1500, FLeftLengthTime = 500"));
  EXPECT_EQ(play.QueuedBuffers(), 5);
  ASSERT_TRUE(PlayOut(play));
  EXPECT_EQ(play.CurrentTimeOffset(), 2000);
  EXPECT_EQ(play.DevicePosition(), 4000u);
  // A negative offset plays from the start; nothing left to play gives false.
  ASSERT_TRUE(play.Play(-300, 200));
  EXPECT_EQ(play.CurrentTimeOffset(), 200);
  EXPECT_FALSE(play.Play(2000, 10));
  EXPECT_FALSE(play.Play(5000, 0));
  play.Stop();
}

TEST_F(AudioPlayTest, PauseHoldsThePositionAndResumeGoesOn) {
  TFakeReader reader(3000);
  TAudioPlay play(&reader);
  play.Pause();  // not playing: nothing happens
  EXPECT_EQ(play.State(), apsStopped);
  ASSERT_TRUE(play.Play(0, 0));
  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([&] { return play.DevicePosition() == 800; }));
  play.Pause();
  EXPECT_EQ(play.State(), apsPaused);
  clock_->AdvanceMs(1000);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(play.DevicePosition(), 800u);
  EXPECT_EQ(play.QueuedBuffers(), 10);
  play.Resume();
  EXPECT_EQ(play.State(), apsPlaying);
  play.Resume();  // not paused: nothing happens
  EXPECT_EQ(play.State(), apsPlaying);
  clock_->AdvanceMs(100);
  ASSERT_TRUE(WaitUntil([&] { return play.DevicePosition() == 1600; }));
  EXPECT_EQ(play.CurrentTimeOffset(), 1200);

  // Play while paused stops first and starts again.
  play.Pause();
  ASSERT_TRUE(play.Play(500, 1000));
  EXPECT_EQ(play.State(), apsPlaying);
  EXPECT_EQ(play.DevicePosition(), 0u);
  EXPECT_EQ(play.PlayPosition(), 500);
  EXPECT_EQ(play.QueuedBuffers(), 10);
  play.Stop();
  EXPECT_EQ(play.State(), apsStopped);
  EXPECT_EQ(play.QueuedBuffers(), 0);
}

TEST_F(AudioPlayTest, NoSoundAndDeviceFailures) {
  TFakeReader closed(1000);
  closed.opened_ = false;
  TAudioPlay none(&closed);
  EXPECT_EQ(none.State(), apsNoSound);
  EXPECT_FALSE(none.Play(0, 0));
  none.Stop();
  EXPECT_EQ(none.State(), apsNoSound);
  TAudioPlay nothing(static_cast<TAudioPlaySource*>(nullptr));
  EXPECT_FALSE(nothing.Play(0, 0));

  TFakeReader deep(1000, MakePcmFormat(2, 44100, 24));
  TAudioPlay refused(&deep);
  EXPECT_FALSE(refused.Play(0, 0));
  EXPECT_TRUE(Traced("[TAudioPlay.OpenDevice] waveOutOpen FAILED ! MmResult = 32 ($20)"));
  EXPECT_TRUE(Traced("[TAudioPlay.Play] OpenDevice FAILED !"));
  EXPECT_EQ(refused.State(), apsStopped);
}

TEST_F(AudioPlayTest, AReaderThatFailsStillComesToAnEnd) {
  TFakeReader reader(1500);
  reader.failing_ = true;
  TAudioPlay play(&reader);
  ASSERT_TRUE(play.Play(0, 0));
  ASSERT_TRUE(PlayOut(play));
  EXPECT_EQ(play.DevicePosition(), 0u);
  EXPECT_EQ(reader.Reads().size(), 15u);
}

TEST_F(AudioPlayTest, StereoSixteenBitBuffersStayWholeFrames) {
  // 11025 Hz 16-bit stereo: 4410 bytes a buffer; 1 ms more than whole buffers.
  TFakeReader reader(301, MakePcmFormat(2, 11025, 16));
  TAudioPlay play(&reader);
  ASSERT_TRUE(play.Play(0, 0));
  EXPECT_EQ(play.BufferSize(), 4410);
  ASSERT_TRUE(PlayOut(play));
  // 3 x 1102 frames (4408 of 4410 bytes) and round(44.1) = 44 bytes = 11 frames.
  EXPECT_EQ(play.DevicePosition(), 3u * 1102 + 11);
}

TEST_F(AudioPlayTest, PlayStopsAMemorySound) {
  TFakeReader reader(1000);
  TAudioPlay play(&reader);
  TAudioPcmManager m;
  m.Init(8, 1, 1000, 8000);
  TWaveFormat fmt;
  fmt.wf = MakePcmFormat(1, 8000, 8);
  TAudioPlaySound snd;
  ASSERT_TRUE(snd.Play(&fmt, m.Block(), static_cast<size_t>(m.BlockSize())));
  EXPECT_TRUE(PlaySoundIsPlaying());
  ASSERT_TRUE(play.Play(0, 0));
  EXPECT_FALSE(PlaySoundIsPlaying());
  play.Stop();
  ASSERT_TRUE(snd.Play(&fmt, m.Block(), static_cast<size_t>(m.BlockSize())));
  snd.Stop();
  EXPECT_FALSE(PlaySoundIsPlaying());
}

TEST_F(AudioPlayTest, PlaysAWaveFileThroughItsReader) {
  REQUIRE_PROGRAM("ffmpeg");
  test::TTempDir dir;
  const std::string file = dir.File("tone.wav");
  ASSERT_EQ(test::RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=1.5 "
                             "-ac 2 -ar 44100 -c:a pcm_s16le " +
                             test::Quote(file))
                .exitCode,
            0);
  TWaveAudioReader reader;
  TAudioPlay early(&reader);  // attached before the file is open: no sound
  EXPECT_EQ(early.State(), apsNoSound);
  ASSERT_TRUE(reader.OpenFile(file));
  ASSERT_EQ(reader.Duration(), 1500);
  TAudioPlay play(&reader);
  EXPECT_EQ(play.State(), apsStopped);
  ASSERT_TRUE(play.Play(0, 0));
  EXPECT_EQ(play.BufferSize(), 17640);
  EXPECT_EQ(play.QueuedBuffers(), 10);
  ASSERT_TRUE(PlayOut(play));
  EXPECT_EQ(play.DevicePosition(), 66150u);
  EXPECT_EQ(play.CurrentTimeOffset(), 1500);
}

TEST_F(AudioPlayTest, DestroyingAPlayingPlayerStopsItsThreads) {
  const int threads = ThreadCount();
  {
    TFakeReader reader(60000);
    TAudioPlay play(&reader);
    ASSERT_TRUE(play.Play(0, 0));
    clock_->AdvanceMs(300);
    ASSERT_TRUE(WaitUntil([&] { return play.CurrentTimeOffset() == 1300; }));
    EXPECT_GT(ThreadCount(), threads);
    EXPECT_EQ(waveOutOpenCount(), devices_ + 1);
  }
  EXPECT_EQ(waveOutOpenCount(), devices_);
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threads; }));
}

}  // namespace
}  // namespace movara
