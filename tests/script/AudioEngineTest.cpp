// The audio engine: sound sections of a script rendered into PCM blocks of a second, half
// a second and one frame; a track at gain 1 gives the source samples, envelopes scale and
// clip, three tracks mix and clip, speed changes length and pitch, silence elsewhere.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "media/ResourceLists.h"
#include "script/AudioEngine.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

constexpr int kRate = 44100;

WAVEFORMATEX FilmFormat(int channels = 1, int bits = 16, int rate = kRate) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<uint16_t>(channels);
  f.wBitsPerSample = static_cast<uint16_t>(bits);
  f.nSamplesPerSec = static_cast<uint32_t>(rate);
  f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  return f;
}

// A 16-bit mono WAV at 44100 Hz holding these samples.
std::string WriteWav(const TTempDir& dir, const std::string& name, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&](uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
  };
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  tag("RIFF");
  u32(36 + data);
  tag("WAVE");
  tag("fmt ");
  u32(16);
  u16(1);
  u16(1);
  u32(kRate);
  u32(kRate * 2);
  u16(2);
  u16(16);
  tag("data");
  u32(data);
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
  const std::string file = dir.File(name);
  test::WriteBytes(file, b);
  return file;
}

std::vector<int16_t> Pattern(int ms) {
  std::vector<int16_t> s(static_cast<size_t>(kRate) * ms / 1000);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(static_cast<int>((i * 7919) % 40000) - 20000);
  return s;
}

std::vector<int16_t> Constant(int ms, int16_t v) { return std::vector<int16_t>(static_cast<size_t>(kRate) * ms / 1000, v); }

// Sine tones: each entry is (frequency, ms).
std::vector<int16_t> Tones(const std::vector<std::pair<double, int>>& parts) {
  std::vector<int16_t> s;
  for (auto [freq, ms] : parts) {
    const size_t n = static_cast<size_t>(kRate) * ms / 1000;
    for (size_t i = 0; i < n; ++i)
      s.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * freq * i / kRate))));
  }
  return s;
}

std::string Aud(const std::string& file, int duration, int speed = 100, int start = 0) {
  if (speed == 100 && start == 0) return "Aud " + EncodeScriptFileName(file) + " " + std::to_string(duration);
  return "Aud ?" + EncodeScriptFileName(file) + "*" + std::to_string(start) + "*-1*0*" + std::to_string(speed) + " " +
         std::to_string(duration);
}

// 16-bit mono samples of [time, time + duration), in blocks of step ms.
std::vector<int16_t> Render(TAudioEngine& e, int time, int duration, int step) {
  std::vector<int16_t> out;
  std::vector<uint8_t> buf;
  for (int t = time; t < time + duration; t += step) {
    buf.assign(static_cast<size_t>(e.BlockBytes(step)), 0xAA);
    const int n = e.GetAudioData(t, step, static_cast<int>(buf.size()), buf.data());
    EXPECT_EQ(n, static_cast<int>(buf.size()));
    for (int i = 0; i + 1 < n; i += 2)
      out.push_back(static_cast<int16_t>(buf[static_cast<size_t>(i)] | (buf[static_cast<size_t>(i) + 1] << 8)));
  }
  return out;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& s, int fromMs, int toMs) {
  const size_t a = static_cast<size_t>(kRate) * fromMs / 1000, b = static_cast<size_t>(kRate) * toMs / 1000;
  return std::vector<int16_t>(s.begin() + static_cast<long>(a), s.begin() + static_cast<long>(b));
}

bool Silent(const std::vector<int16_t>& s) {
  for (int16_t v : s)
    if (v != 0) return false;
  return true;
}

int ZeroCrossings(const std::vector<int16_t>& s) {
  int n = 0;
  for (size_t i = 1; i < s.size(); ++i) n += (s[i - 1] < 0) != (s[i] < 0);
  return n;
}

class AudioEngine : public ::testing::Test {
 protected:
  void SetUp() override { CreateResourceLists(); }
  void Load(const std::string& script) { ASSERT_EQ(engine.LoadScript(script, &format), 0); }
  TTempDir dir;
  WAVEFORMATEX format = FilmFormat();
  TAudioEngine engine;
};

// ---------------------------------------------------------------------------------

TEST_F(AudioEngine, ActionsOfATrack) {
  const std::string wav = WriteWav(dir, "a.wav", Pattern(500));
  Load("*** Video1 ***\r\nNop null 9000\r\n*** Audio2 ***\r\nNop null 500\r\n" + Aud(wav, 1000) +
       "\r\nSG 1\r\nSL 200 80\r\nNop null -40\r\n*** Audio3 ***\r\n");
  EXPECT_EQ(engine.CommandList(0).ActionCount(), 0);
  const TAudioEngineCommandList& t = engine.CommandList(1);
  ASSERT_EQ(t.ActionCount(), 3);
  EXPECT_EQ(t.Actions(0)->Kind, aaNop);
  EXPECT_EQ(t.Actions(1)->Kind, aaAudio);
  EXPECT_EQ(t.Actions(1)->Start, 500);
  EXPECT_EQ(t.Actions(1)->Length, 1000);
  EXPECT_EQ(t.Actions(2)->Length, 0);  // a negative duration takes no time
  EXPECT_EQ(engine.GetLength(), 1500);
  // the envelope now counts samples at the film's rate and keeps its point
  const TScriptLevelList& l = *t.Actions(1)->Command->LevelList;
  EXPECT_EQ(l.SampleRate(), kRate);
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Points(1)->Level, 80);
  EXPECT_EQ(l.Points(1)->Sample, 8820);
  EXPECT_EQ(l.Points(2)->Sample, kRate);

  int index = 0;
  EXPECT_EQ(t.FindAction(499, index), t.Actions(0));
  EXPECT_EQ(t.FindAction(500, index), t.Actions(1));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(t.FindAction(99999, index), t.Actions(2));  // past the end: the last one
  EXPECT_EQ(engine.CommandList(2).FindAction(0, index), nullptr);
  EXPECT_EQ(index, -1);

  engine.Clear();
  EXPECT_EQ(engine.GetLength(), 0);
}

TEST_F(AudioEngine, NoFormatAndNoBuffer) {
  TAudioEngine e;
  std::vector<uint8_t> buf(100);
  EXPECT_EQ(e.GetAudioData(0, 1000, 100, buf.data()), 0);  // nothing loaded
  try {
    e.LoadScript("*** Audio1 ***\r\n", nullptr);
    FAIL() << "no exception";
  } catch (const EMovara& x) {
    EXPECT_STREQ(x.what(), "[TAudioEngineCommandList.Generate] Error $2A01: pFormat = nil.");
  }
  const WAVEFORMATEX wide = FilmFormat(2, 24);
  ASSERT_EQ(e.LoadScript("", &wide), 0);
  EXPECT_THROW(e.GetAudioData(0, 1000, 100, buf.data()), EAudioPcm);
  Load("");
  EXPECT_EQ(engine.GetAudioData(0, 1000, 100, nullptr), 0);
  EXPECT_EQ(engine.GetAudioData(0, 0, 100, buf.data()), 0);
}

TEST_F(AudioEngine, ScriptWithoutSoundGivesSilentBlocks) {
  Load("*** Video1 ***\r\nNop null 2000\r\n");
  EXPECT_EQ(engine.GetLength(), 0);
  for (int step : {1000, 500, 40}) {
    const auto s = Render(engine, 0, 1000, step);
    EXPECT_EQ(s.size(), 44100u) << step;
    EXPECT_TRUE(Silent(s)) << step;
  }
}

TEST_F(AudioEngine, SingleTrackAtGainOneReproducesTheSource) {
  const std::vector<int16_t> src = Pattern(2000);
  const std::string wav = WriteWav(dir, "p.wav", src);
  Load("*** Audio1 ***\r\n" + Aud(wav, 2000) + "\r\n");
  EXPECT_EQ(engine.GetLength(), 2000);
  for (int step : {1000, 500, 40}) EXPECT_EQ(Render(engine, 0, 2000, step), src) << step;
  // a block that starts anywhere reads from there; past the command it is silent
  EXPECT_EQ(Render(engine, 520, 40, 40), Slice(src, 520, 560));
  EXPECT_TRUE(Silent(Render(engine, 2000, 1000, 500)));
}

TEST_F(AudioEngine, StartPositionInTheSound) {
  const std::vector<int16_t> src = Pattern(2000);
  const std::string wav = WriteWav(dir, "p.wav", src);
  Load("*** Audio1 ***\r\n" + Aud(wav, 1000, 100, 700) + "\r\n");
  EXPECT_EQ(Render(engine, 0, 1000, 500), Slice(src, 700, 1700));
}

TEST_F(AudioEngine, SilenceBeforeAndBetweenCommands) {
  const std::vector<int16_t> src = Pattern(1000);
  const std::string wav = WriteWav(dir, "p.wav", src);
  Load("*** Audio1 ***\r\nNop null 2000\r\n" + Aud(wav, 1000) + "\r\nNop null 500\r\n" + Aud(wav, 500) + "\r\n");
  // the span 1000..3000 has the sound in its second half
  const auto span = Render(engine, 1000, 2000, 2000);
  ASSERT_EQ(span.size(), 88200u);
  EXPECT_TRUE(Silent(Slice(span, 0, 1000)));
  EXPECT_EQ(Slice(span, 1000, 2000), src);

  // blocks of any size, starting inside a NOP too, give the same film
  const auto second = Render(engine, 0, 4000, 1000);
  EXPECT_EQ(Render(engine, 0, 4000, 40), second);
  EXPECT_EQ(Render(engine, 0, 4000, 500), second);
  EXPECT_EQ(Render(engine, 60, 3880, 40), Slice(second, 60, 3940));
  EXPECT_TRUE(Silent(Slice(second, 3000, 3500)));
  EXPECT_EQ(Slice(second, 3500, 4000), Slice(src, 0, 500));
}

TEST_F(AudioEngine, EnvelopeScalesAndClips) {
  const std::string wav = WriteWav(dir, "c.wav", Constant(2000, 20000));
  // 0 at the start, 100 at 1000 ms, 50 from 1500 ms on
  Load("*** Audio1 ***\r\n" + Aud(wav, 2000) + "\r\nSG 3\r\nSL 0 0\r\nSL 1000 100\r\nSL 1500 50\r\n");
  const auto s = Render(engine, 0, 2000, 40);
  auto at = [&](int sample) { return s[static_cast<size_t>(sample)]; };
  EXPECT_EQ(at(0), 0);           // level 0 silences
  EXPECT_EQ(at(11025), 10000);   // 250 ms: level 25, gain 0.5
  EXPECT_EQ(at(22050), 20000);   // 500 ms: level 50, gain 1
  EXPECT_EQ(at(4410), 4000);     // 100 ms: level 10
  EXPECT_EQ(at(4387), 4000);     // level 9.95 rounds to 10
  EXPECT_EQ(at(33075), 30000);   // 750 ms: level 75
  EXPECT_EQ(at(39690), 32767);   // 900 ms: level 90 would be 36000: clipped
  EXPECT_EQ(at(55125), 30000);   // 1250 ms: level 75 on the way down
  EXPECT_EQ(at(63945), 22000);   // 1450 ms: level 55
  EXPECT_EQ(at(80000), 20000);   // after the last point: unity
  // the same with one-second blocks
  const auto t = Render(engine, 0, 2000, 1000);
  EXPECT_EQ(t, s);
}

TEST_F(AudioEngine, ThreeTracksMixAndClip) {
  const std::string a = WriteWav(dir, "a.wav", Constant(1000, 10000));
  const std::string b = WriteWav(dir, "b.wav", Constant(1000, 15000));
  const std::string c = WriteWav(dir, "c.wav", Constant(1000, 12000));
  const std::string n = WriteWav(dir, "n.wav", Constant(1000, -20000));
  Load("*** Audio1 ***\r\n" + Aud(a, 1000) + "\r\n" + Aud(n, 1000) + "\r\n*** Audio2 ***\r\n" + Aud(b, 1000) + "\r\n" +
       Aud(n, 1000) + "\r\n*** Audio3 ***\r\nNop null 500\r\n" + Aud(c, 1000) + "\r\n");
  const auto s = Render(engine, 0, 2000, 500);
  ASSERT_EQ(s.size(), 88200u);
  EXPECT_EQ(s[100], 25000);    // two tracks
  EXPECT_EQ(s[30000], 32767);  // three: 37000 clipped
  EXPECT_EQ(s[50000], -28000);  // -20000 - 20000 + 12000
  EXPECT_EQ(s[80000], -32768);  // -40000 clipped
  EXPECT_EQ(engine.GetLength(), 2000);
}

TEST_F(AudioEngine, StereoEightBitFilm) {
  const std::string wav = WriteWav(dir, "c.wav", Constant(1000, 16384));
  format = FilmFormat(2, 8, 22050);
  Load("*** Audio1 ***\r\nNop null 500\r\n" + Aud(wav, 500) + "\r\n");
  std::vector<uint8_t> buf(static_cast<size_t>(engine.BlockBytes(1000)));
  ASSERT_EQ(buf.size(), 44100u);
  ASSERT_EQ(engine.GetAudioData(0, 1000, static_cast<int>(buf.size()), buf.data()), 44100);
  EXPECT_EQ(buf[0], 128);  // 8-bit silence
  EXPECT_EQ(buf[22049], 128);
  EXPECT_EQ(buf[22050 + 2000], 128 + 64);  // left, converted from 16 bits
  EXPECT_EQ(buf[44099], 128 + 64);  // right
}

TEST_F(AudioEngine, SmallBufferReceivesOnlyItsSize) {
  const std::string wav = WriteWav(dir, "p.wav", Pattern(1000));
  Load("*** Audio1 ***\r\n" + Aud(wav, 1000) + "\r\n");
  std::vector<uint8_t> full(88200), part(1000, 0xEE);
  ASSERT_EQ(engine.GetAudioData(0, 1000, 88200, full.data()), 88200);
  ASSERT_EQ(engine.GetAudioData(0, 1000, 999, part.data()), 999);
  EXPECT_TRUE(std::equal(part.begin(), part.begin() + 999, full.begin()));
  EXPECT_EQ(part[999], 0xEE);
}

TEST_F(AudioEngine, SpeedChangesLengthAndPitch) {
  const std::string wav = WriteWav(dir, "t.wav", Tones({{440, 1000}}));
  // at 50 one second of sound lasts two, an octave lower; at 200 half a second, higher
  Load("*** Audio1 ***\r\n" + Aud(wav, 3000, 50) + "\r\n*** Audio2 ***\r\nNop null 3000\r\n" + Aud(wav, 1000, 200) +
       "\r\n");
  const auto s = Render(engine, 0, 4000, 1000);
  ASSERT_EQ(s.size(), 4u * kRate);
  EXPECT_NEAR(ZeroCrossings(Slice(s, 100, 1900)), 2 * 220 * 1.8, 8);
  EXPECT_NEAR(ZeroCrossings(Slice(s, 3050, 3450)), 2 * 880 * 0.4, 8);
  // the slowed sound ends at 2000 ms, the fast one at 3500 ms
  EXPECT_FALSE(Silent(Slice(s, 1950, 1990)));
  EXPECT_TRUE(Silent(Slice(s, 2010, 3000)));
  EXPECT_FALSE(Silent(Slice(s, 3450, 3490)));
  EXPECT_TRUE(Silent(Slice(s, 3510, 4000)));
}

TEST_F(AudioEngine, SlowedSoundContinuesAcrossBlocks) {
  // 440 Hz for a second, then 880 Hz: at speed 50 the film hears 220 Hz for two seconds
  // and then 440 Hz for two, whatever the block size
  const std::string wav = WriteWav(dir, "t.wav", Tones({{440, 1000}, {880, 1000}}));
  Load("*** Audio1 ***\r\n" + Aud(wav, 4000, 50) + "\r\n");
  for (int step : {1000, 40}) {
    const auto s = Render(engine, 0, 4000, step);
    ASSERT_EQ(s.size(), 4u * kRate);
    for (int second = 0; second < 4; ++second) {
      const int expected = second < 2 ? 440 : 880;
      EXPECT_NEAR(ZeroCrossings(Slice(s, second * 1000 + 50, second * 1000 + 950)), expected * 0.9, 12)
          << "step " << step << " second " << second;
    }
  }
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  int d = a.size() == b.size() ? 0 : 65536;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) d = std::max(d, std::abs(a[i] - b[i]));
  return d;
}

TEST_F(AudioEngine, ChangedSpeedIsTheSameWhateverTheBlocks) {
  const std::string wav = WriteWav(dir, "t.wav", Tones({{500, 3000}}));
  Load("*** Audio1 ***\r\nNop null 130\r\n" + Aud(wav, 2000, 70, 250) + "\r\nSG 1\r\nSL 1000 100\r\n" +
       Aud(wav, 1000, 130) + "\r\n");
  const auto whole = Render(engine, 0, 3200, 3200);
  ASSERT_EQ(whole.size(), 141120u);
  // 350 Hz, then 650 Hz, and the second command ends before the last 200 ms
  EXPECT_NEAR(ZeroCrossings(Slice(whole, 200, 1000)), 2 * 350 * 0.8, 6);
  EXPECT_NEAR(ZeroCrossings(Slice(whole, 2200, 3000)), 2 * 650 * 0.8, 6);
  EXPECT_TRUE(Silent(Slice(whole, 3140, 3200)));
  // the envelope doubles the tone at its point: 24000 at the peaks
  int peak = 0;
  for (int16_t v : Slice(whole, 1120, 1140)) peak = std::max<int>(peak, v);
  EXPECT_NEAR(peak, 24000, 300);
  // each span starts on a whole frame of the resampled sound: half a frame of phase at
  // most (a seam of silence or a jump of a millisecond would differ by thousands)
  for (int step : {800, 400, 40}) EXPECT_LE(MaxDifference(Render(engine, 0, 3200, step), whole), 700) << step;
}

TEST_F(AudioEngine, SpeedOutOfRangeIsSilent) {
  const std::string wav = WriteWav(dir, "p.wav", Pattern(1000));
  Load("*** Audio1 ***\r\n" + Aud(wav, 1000, 0) + "\r\n" + Aud(wav, 1000, 2000000) + "\r\n");
  EXPECT_EQ(engine.GetLength(), 2000);
  EXPECT_TRUE(Silent(Render(engine, 0, 2000, 1000)));
}

TEST_F(AudioEngine, TonesMadeByFfmpegOnEachTrack) {
  REQUIRE_PROGRAM("ffmpeg");
  std::string files[3];
  const int freq[3] = {300, 1000, 2500};
  for (int i = 0; i < 3; ++i) {
    files[i] = dir.File("tone" + std::to_string(i) + ".wav");
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i sine=frequency=" + std::to_string(freq[i]) +
                            ":sample_rate=22050:duration=1 -ac 2 -c:a pcm_s16le " + test::Quote(files[i]);
    const auto r = test::RunCommand(cmd);
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  // each tone alone in its own second, converted to the film's rate and mono
  Load("*** Audio1 ***\r\n" + Aud(files[0], 1000) + "\r\n*** Audio2 ***\r\nNop null 1000\r\n" + Aud(files[1], 1000) +
       "\r\n*** Audio3 ***\r\nNop null 2000\r\n" + Aud(files[2], 1000) + "\r\n");
  const auto s = Render(engine, 0, 3000, 500);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(ZeroCrossings(Slice(s, i * 1000 + 20, i * 1000 + 980)), 2 * freq[i] * 0.96, 6) << freq[i];
}

}  // namespace
}  // namespace movara
