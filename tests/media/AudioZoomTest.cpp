// The waveform cache: level rates, block counts, reading before the sound starts,
// levels converted from the ones below, empty sounds, and the envelope columns.
#include "media/AudioZoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::RunCommand;
using movara::test::TTempDir;

namespace {

using TTraces = movara::test::TTraceRecorder;

// A stereo 16-bit WAV holding a constant half-scale level for the given seconds: the
// level passes every rate conversion, so every zoom level shows it.
std::string MakeLevelWave(const TTempDir& dir, const std::string& name, int seconds) {
  const std::string file = dir.File(name);
  const auto r = RunCommand("ffmpeg -v error -y -f lavfi -i \"aevalsrc=0.5|0.5:s=44100:d=" + std::to_string(seconds) +
                            "\" -c:a pcm_s16le " + Quote(file));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return file;
}

TEST(AudioZoomRates, RowTwoAndRatios) {
  const double expected[12] = {1800, 900, 450, 300, 150, 72, 36, 18, 7.2, 3.6, 1.2, 0.6};
  for (int i = 0; i < 12; ++i) EXPECT_DOUBLE_EQ(ZoomRate(kWaveScaleRow, i), expected[i]) << i;
  EXPECT_DOUBLE_EQ(ZoomRate(0, 0), 600);
  EXPECT_DOUBLE_EQ(ZoomRate(3, 11), 0.8);
  EXPECT_DOUBLE_EQ(ZoomRatio(kWaveScaleRow, 0), 24.5);
  EXPECT_DOUBLE_EQ(ZoomRatio(kWaveScaleRow, 3), 1.5);
  EXPECT_NEAR(ZoomRatio(kWaveScaleRow, 5), 150.0 / 72, 1e-12);
  EXPECT_DOUBLE_EQ(ZoomRatio(kWaveScaleRow, 10), 3);
  EXPECT_EQ(ZoomRate(kWaveScaleRow, 12), 0);
  EXPECT_STREQ(ZoomLevelName(zmTwoMinutes), "zmTwoMinutes");
  EXPECT_STREQ(ZoomLevelName(-1), "");
}

class AudioZoomTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PROGRAM("ffmpeg");
    SetDataFolderForTests(tmp_.File("data/"));
  }
  void TearDown() override {
    AudioZoomReaderList().Clear();
    SetDataFolderForTests("");
  }
  TTempDir tmp_;
};

TEST_F(AudioZoomTest, TenSecondsAtOneSecondIsOneBlockOf720) {
  const std::string wav = MakeLevelWave(tmp_, "ten.wav", 10);
  TTraces traces;
  TAudioZoomReader* z = AudioZoomReaderList().GetItem(wav);
  ASSERT_NE(z, nullptr);
  EXPECT_TRUE(traces.Has("[TAudioZoomReader.Create] Warning! Changing FLinkAudioReader.DestinationFormat from"));
  EXPECT_EQ(AudioZoomReaderList().GetItem(wav), z);
  EXPECT_EQ(AudioZoomReaderList().Count(), 1);
  EXPECT_EQ(z->BlockSize(), 720);
  EXPECT_EQ(z->Duration(), 10000);
  EXPECT_EQ(z->LinkAudioReader()->DestinationFormat().wBitsPerSample, 8);

  std::vector<uint8_t> buf(720, 0);
  EXPECT_TRUE(z->ReadSamples(zmOneSecond, 0, buf.data(), 720));
  ASSERT_NE(z->List(zmOneSecond), nullptr);
  EXPECT_EQ(z->List(zmOneSecond)->BlockCount(), 1);
  EXPECT_EQ(z->List(zmOneSecond)->Duration(), 10000);
  EXPECT_EQ(z->List(0)->BlockCount(), 25);  // 18000 samples at 1800 per second
  EXPECT_EQ(z->List(zmTwoSeconds), nullptr) << "levels above the one read are not made";
  // The half-scale level after the converter's start-up, to the end of the sound.
  EXPECT_NEAR(buf[360], 192, 3);
  EXPECT_NEAR(buf[700], 192, 3);
  // One sample more than the level holds cannot all be had.
  std::vector<uint8_t> more(721);
  EXPECT_FALSE(z->ReadSamples(zmOneSecond, 0, more.data(), 721));
  EXPECT_TRUE(z->ReadSamples(zmOneSecond, 20000, more.data(), 0));
  EXPECT_FALSE(z->ReadSamples(zmOneSecond, 20000, more.data(), 1));
  EXPECT_EQ(more[0], 128);
}

TEST_F(AudioZoomTest, NegativeStartDrawsSilenceFirst) {
  const std::string wav = MakeLevelWave(tmp_, "ten.wav", 10);
  TAudioZoomReader* z = AudioZoomReaderList().GetItem(wav);
  ASSERT_NE(z, nullptr);
  TTraces traces;
  TAudioBox box;
  box.SetAudioZoomReader(z);
  box.SetStartTime(-1000);
  box.SetShowInfo(true);
  const TRect r = Rect(0, 0, 200, 100);
  const std::vector<TAudioLine> lines = box.Lines(r, zmOneSecond, 0);
  EXPECT_TRUE(traces.Has("TimeOffset < 0. Correcting TimeOffset & SampleCount. (TimeOffset was -1000)"));
  ASSERT_EQ(lines.size(), 200u);
  // 72 columns a second: the first 72 before the sound are flat at the centre.
  for (int x = 0; x < 72; ++x) {
    EXPECT_EQ(box.Value(x), 0) << x;
    EXPECT_EQ(lines[size_t(x)].Y1, 50);
    EXPECT_EQ(lines[size_t(x)].Y2, 50);
  }
  EXPECT_NEAR(box.Value(150), 64, 3);
  // Symmetric envelope: centre - round(100 x 0.8 x v / 256) and its mirror.
  const int v = box.Value(150);
  EXPECT_EQ(lines[150].Y1, 50 - int(std::lround(80.0 * v / 256)));
  EXPECT_EQ(lines[150].Y2, 50 + int(std::lround(80.0 * v / 256)));
  EXPECT_LE(box.Min(), 0);
  int highest = -1000;
  for (int c = 0; c < box.ColumnCount(); ++c) highest = std::max(highest, box.Value(c));
  EXPECT_EQ(box.Max(), highest);
  EXPECT_EQ(box.InfoText().substr(0, 22), " Offset: -1.000, Min: ");
  EXPECT_NE(box.InfoText().find(", Zoom = zmOneSecond"), std::string::npos);

  // Starting more than the width before the sound: nothing but silence, and true.
  std::vector<uint8_t> buf(50, 0);
  EXPECT_TRUE(z->ReadSamples(zmOneSecond, -5000, buf.data(), 50));
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 128; }));
}

TEST_F(AudioZoomTest, TwoMinutesConvertsEveryLevelBelow) {
  const std::string wav = MakeLevelWave(tmp_, "ten.wav", 10);
  TAudioZoomReader* z = AudioZoomReaderList().GetItem(wav);
  ASSERT_NE(z, nullptr);
  std::vector<uint8_t> buf(6);
  z->ReadSamples(zmTwoMinutes, 0, buf.data(), 6);
  for (int level = 0; level <= zmTwoMinutes; ++level) {
    ASSERT_NE(z->List(level), nullptr) << level;
    EXPECT_GE(z->List(level)->ConvertedCount(), 1) << ZoomLevelName(level);
  }
  EXPECT_EQ(z->List(zmTwoMinutes)->BlockCount(), 1);  // 6 samples at 0.6 per second
  EXPECT_EQ(z->List(0)->ConvertedCount(), 25) << "the whole sound feeds the coarsest level";
}

// A 440 Hz tone at half scale that starts after five seconds of silence: every level
// shows the tone's full height from the moment it starts, not a smoothed line that
// comes late.
TEST_F(AudioZoomTest, EveryLevelKeepsTheToneHeightAndItsStart) {
  const std::string file = tmp_.File("tone.wav");
  const auto r = RunCommand("ffmpeg -v error -y -f lavfi -i \"aevalsrc=if(gte(t\\,5)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:d=10\" "
                            "-c:a pcm_s16le " + Quote(file));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  TAudioZoomReader* z = AudioZoomReaderList().GetItem(file);
  ASSERT_NE(z, nullptr);
  for (const int level : {0, 3, static_cast<int>(zmOneSecond), 8, 10}) {
    const double rate = ZoomRate(kWaveScaleRow, level);
    const int count = static_cast<int>(std::floor(rate * 10));
    std::vector<uint8_t> buf(static_cast<size_t>(count), 0);
    z->ReadSamples(level, 0, buf.data(), count);
    const auto loud = [](uint8_t s) { return std::abs(s - 128) > 20; };
    const int start = static_cast<int>(std::find_if(buf.begin(), buf.end(), loud) - buf.begin());
    EXPECT_NEAR(start, rate * 5, 1.0) << ZoomLevelName(level);
    int height = 0;
    for (int i = start; i < count - 1; ++i) height = std::max(height, std::abs(buf[size_t(i)] - 128));
    EXPECT_GE(height, 60) << ZoomLevelName(level);
    // peaks are kept sample by sample, not only somewhere
    const int quiet = static_cast<int>(std::count_if(buf.begin() + start, buf.end() - 1, [](uint8_t s) { return std::abs(s - 128) < 40; }));
    if (rate < 400) {
      EXPECT_EQ(quiet, 0) << ZoomLevelName(level);
    }
  }
}

TEST_F(AudioZoomTest, NoSoundGivesEmptyListsAndAFlatLine) {
  TTraces traces;
  TAudioZoomReader empty(nullptr);
  EXPECT_EQ(empty.Duration(), 0);
  std::vector<uint8_t> buf(10, 0);
  EXPECT_FALSE(empty.ReadSamples(zmOneFrame, 0, buf.data(), 10));
  EXPECT_TRUE(traces.Has("[TAudioZoomList.InitList] FAILED ! TimeToSamples( ADuration) = 0 (ADuration = 0)."));
  EXPECT_EQ(empty.List(zmOneFrame)->BlockCount(), 0);
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 128; }));

  TAudioBox box;
  box.SetAudioZoomReader(&empty);
  box.SetScale(150);
  EXPECT_EQ(box.Scale(), 100);
  for (const TAudioLine& l : box.Lines(Rect(10, 20, 60, 60), zmTenSeconds, 0)) {
    EXPECT_EQ(l.Y1, 40);
    EXPECT_EQ(l.Y2, 40);
  }
  EXPECT_EQ(box.Min(), 0);
  EXPECT_EQ(box.Max(), 0);

  EXPECT_EQ(AudioZoomReaderList().GetItem(tmp_.File("missing.wav")), nullptr);
  EXPECT_EQ(AudioZoomReaderList().Count(), 0);
}

}  // namespace
