// The DV controller on the simulated camera with a clock that moves only when told.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/UserMessages.h"
#include "dv/DvController.h"
#include "dv/DvMessages.h"
#include "dv/DvTestMedia.h"
#include "platform/dvgraph/DvAviFile.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::DecodedPictures;
using test::DecodedSound;

constexpr size_t kFrameSound = 2 * 1920;

class DvControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    media = test::DvMedia();
    if (!media) GTEST_SKIP() << "ffmpeg not installed";
    tape = dir.File("tape.avi");
    std::filesystem::copy_file(media->Tape, tape);
    clock = std::make_shared<TManualDvClock>();
    Configure({});
  }
  void TearDown() override { DvSetSimulator({}); }

  void Configure(TDvSimSettings s) {
    if (s.TapeFile.empty()) s.TapeFile = tape;
    s.Clock = clock;
    DvSetSimulator(s);
  }

  static TDvSimSettings Sim(const std::function<void(TDvSimSettings&)>& set) {
    TDvSimSettings s;
    set(s);
    return s;
  }

  const test::TDvMedia* media = nullptr;
  test::TTempDir dir;
  std::string tape;
  std::shared_ptr<TManualDvClock> clock;
  TScopedMessageRecorder messages;
};

// Every step of finding the camera and building each mode's graph reports its own
// message, leaves no graph, and the same build succeeds once the fault is gone.
TEST_F(DvControllerTest, EachFailingStepShowsItsMessageAndLeavesNoGraph) {
  struct TCase {
    DvMode mode;
    TDvStep step;
    TDvFilterKind filter;
    int message;
  };
  const TCase cases[] = {
      {dmCameraPreview, dsEnumerate, dfFilterCount, 48}, {dmCameraPreview, dsOutputPin, dfFilterCount, 2},
      {dmCameraPreview, dsInputPin, dfFilterCount, 3},   {dmCameraPreview, dsStreamConfig, dfFilterCount, 4},
      {dmCameraPreview, dsCreateGraph, dfFilterCount, 5}, {dmCameraPreview, dsMediaControl, dfFilterCount, 33},
      {dmCameraPreview, dsAdd, dfCamera, 6},             {dmCameraPreview, dsCreate, dfDvSplitter, 7},
      {dmCameraPreview, dsAdd, dfDvSplitter, 8},         {dmCameraPreview, dsConnect, dfDvSplitter, 9},
      {dmCaptureToFile, dsCreate, dfAviMuxFileWriter, 10}, {dmCaptureToFile, dsFileSink, dfAviMuxFileWriter, 11},
      {dmCaptureToFile, dsFileName, dfAviMuxFileWriter, 12}, {dmCaptureToFile, dsAdd, dfAviMuxFileWriter, 13},
      {dmCaptureToFile, dsConnect, dfAviMuxFileWriter, 14}, {dmCameraPreview, dsCreate, dfDvVideoDecoder, 15},
      {dmCameraPreview, dsAdd, dfDvVideoDecoder, 16},    {dmCameraPreview, dsConnect, dfDvVideoDecoder, 17},
      {dmCameraPreview, dsCreate, dfVideoRenderer, 18},  {dmCameraPreview, dsAdd, dfVideoRenderer, 19},
      {dmCameraPreview, dsConnect, dfVideoRenderer, 20}, {dmCameraPreview, dsCreate, dfAudioRenderer, 21},
      {dmCameraPreview, dsAdd, dfAudioRenderer, 22},     {dmCameraPreview, dsConnect, dfAudioRenderer, 23},
      {dmCameraPreview, dsVideoWindow, dfFilterCount, 0}, {dmFilePreview, dsCreate, dfFileSource, 35},
      {dmFilePreview, dsAdd, dfFileSource, 36},          {dmFilePreview, dsLoad, dfFileSource, 37},
      {dmFilePreview, dsCreate, dfAviSplitter, 38},      {dmFilePreview, dsAdd, dfAviSplitter, 39},
      {dmFilePreview, dsConnect, dfAviSplitter, 40},     {dmFilePreview, dsConnect, dfDvVideoDecoder, 17},
      {dmFileToCamera, dsCreate, dfDvMux, 41},           {dmFileToCamera, dsAdd, dfDvMux, 42},
      {dmFileToCamera, dsConnect, dfDvMux, 43},          {dmFileToCamera, dsConnect, dfCamera, 44},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("message " + std::to_string(c.message) + " mode " + std::to_string(c.mode));
    Configure(Sim([&](TDvSimSettings& s) { s.Faults = {{c.step, c.filter, static_cast<HRESULT>(0x80004005u + c.message)}}; }));
    messages.Recorder().Clear();
    TDvController dv(clock);
    dv.SetCaptureFileName(dir.File("c.avi"));
    dv.PlayList().Add(media->ListA);
    EXPECT_FALSE(dv.SetMode(c.mode));
    EXPECT_EQ(dv.Mode(), dmNone);
    ASSERT_EQ(messages.Texts().size(), 1u);
    // The camera's missing pins have no result of their own.
    const HRESULT result = c.message == 2 || c.message == 3 ? VFW_E_NOT_FOUND : static_cast<HRESULT>(0x80004005u + c.message);
    EXPECT_EQ(messages.Texts()[0], DvMessageText(c.message, result));
    Configure({});
    EXPECT_TRUE(dv.SetMode(c.mode));
    EXPECT_EQ(dv.Mode(), c.mode);
    EXPECT_EQ(messages.Texts().size(), 1u) << messages.Texts().back();
  }
  EXPECT_NE(DvMessageText(4, 0x80004009).find("(Błąd nr $80004009)"), std::string::npos);
  EXPECT_EQ(DvMessageText(34, 0, kDvEnglish), "ERROR during capture - disk possibly full");

  // No camera at all (the simulator lists none without a tape file), a file that is
  // not DV, capture with preview and sending with preview: refused with their texts.
  messages.Recorder().Clear();
  DvSetSimulator(Sim([&](TDvSimSettings& s) { s.Clock = clock; }));
  {
    TDvController dv(clock);
    EXPECT_FALSE(dv.SetMode(dmCameraPreview));
  }
  Configure({});
  TDvController dv(clock);
  dv.PlayList().Add(media->Mjpeg);
  EXPECT_FALSE(dv.SetMode(dmFilePreview));
  EXPECT_FALSE(dv.SetMode(dmCaptureWithPreview));
  EXPECT_FALSE(dv.SetMode(dmFileToCameraWithPreview));
  const std::vector<std::string> expected = {
      DvMessageText(48, static_cast<int>(VFW_E_NOT_FOUND)), DvMessageText(17, static_cast<int>(VFW_E_CANNOT_CONNECT)),
      "Wychwyt i podgląd jednocześnie jest niemożliwy z braku implementacji !",
      "Brak implementacji kodu automatycznej zmiany nazwy pliku zapisu z podglądem!"};
  EXPECT_EQ(messages.Texts(), expected);

  // Run, pause and stop failures: 30 and 31 for run, 47 for pause, 32 for stop.
  messages.Recorder().Clear();
  Configure(Sim([&](TDvSimSettings& s) { s.Faults = {{dsRun, dfFilterCount, E_FAIL}, {dsPause, dfFilterCount, E_FAIL}, {dsStop, dfFilterCount, E_FAIL}}; }));
  TDvController failing(clock);
  failing.PlayList().Add(media->ListA);
  EXPECT_FALSE(failing.StartCameraPreview());
  EXPECT_FALSE(failing.TimerEnabled());
  EXPECT_FALSE(failing.StartFilePreview(true));
  EXPECT_FALSE(failing.Stop());
  const std::vector<std::string> graphTexts = {DvMessageText(30, E_FAIL), DvMessageText(31, E_FAIL),
                                               DvMessageText(47, E_FAIL), DvMessageText(32, E_FAIL)};
  EXPECT_EQ(messages.Texts(), graphTexts);
}

// The first camera whose name holds "DV" in any case is used.
TEST_F(DvControllerTest, TheFirstCameraNamedDvIsUsed) {
  Configure(Sim([&](TDvSimSettings& s) { s.DeviceNames = {"Kamera USB", "Symulator kamery dV", "Druga kamera DV"}; }));
  TDvController dv(clock);
  int w = 0, h = 0;
  dv.OnPictureSize = [&](int a, int b) { w = a, h = b; };
  dv.SetPreviewPanelSize(400, 300);
  ASSERT_TRUE(dv.StartCameraPreview());
  EXPECT_EQ(dv.CameraName(), "Symulator kamery dV");
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 576);
  EXPECT_EQ(dv.VideoWindowRect(), (TDvRect{0, 0, 180, 144}));
}

// Transport commands, the states they leave, which commands are allowed then, and the
// time code after the tape moved on the clock.
TEST_F(DvControllerTest, TransportFollowsTheCommandsAndTheTimeCodeTheTape) {
  TDvController dv(clock);
  std::vector<TDvTime> shown;
  int ticks = 0;
  dv.OnTimeDisplay = [&](const TDvTime& t, int64_t kb) {
    shown.push_back(t);
    EXPECT_EQ(kb, -1);
  };
  dv.OnTick = [&] { ++ticks; };
  ASSERT_TRUE(dv.StartCameraPreview());
  EXPECT_TRUE(dv.TimerEnabled());

  struct TStep {
    const char* what;
    std::function<bool()> command;
    int64_t advanceMs;
    int mode;
    TDvTime time;  // shown by the next tick
    bool play, freeze, stop, ff, rew, step;
  };
  const TStep steps[] = {
      {"start", [] { return true; }, 0, ED_MODE_STOP, {0, 0, 0, 0}, true, false, false, true, true, false},
      {"play 2 s + 3 frames", [&] { return dv.Play(); }, 2120, ED_MODE_PLAY, {0, 0, 2, 3}, false, true, true, true, true, false},
      {"freeze", [&] { return dv.Freeze(); }, 1000, ED_MODE_FREEZE, {0, 0, 2, 3}, true, false, true, true, true, true},
      {"step forward", [&] { return dv.StepForward(); }, 0, ED_MODE_FREEZE, {0, 0, 2, 4}, true, false, true, true, true, true},
      {"step back twice", [&] { return dv.StepBack() && dv.StepBack(); }, 0, ED_MODE_FREEZE, {0, 0, 2, 2}, true, false, true, true, true, true},
      {"thaw 1 s", [&] { return dv.Play(); }, 1000, ED_MODE_PLAY, {0, 0, 3, 2}, false, true, true, true, true, false},
      {"fast forward 0.2 s", [&] { return dv.FastForward(); }, 200, ED_MODE_FF, {0, 0, 0, 0}, true, false, true, false, true, false},
      {"rewind 0.3 s", [&] { return dv.Rewind(); }, 300, ED_MODE_REW, {0, 0, 0, 0}, true, false, true, true, false, false},
      {"stop", [&] { return dv.StopTape(); }, 500, ED_MODE_STOP, {0, 0, 2, 2}, true, false, false, true, true, false},
      {"winding to the end stops", [&] { return dv.FastForward(); }, 5000, ED_MODE_STOP, {0, 0, 6, 0}, true, false, false, true, true, false},
      {"rewinding to the start stops", [&] { return dv.Rewind(); }, 5000, ED_MODE_STOP, {0, 0, 0, 0}, true, false, false, true, true, false},
  };
  for (const TStep& s : steps) {
    SCOPED_TRACE(s.what);
    EXPECT_TRUE(s.command());
    clock->Advance(s.advanceMs);
    EXPECT_EQ(dv.TransportMode(), s.mode);
    shown.clear();
    dv.OnTimer();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], s.time);
    EXPECT_EQ(dv.CanPlay(), s.play);
    EXPECT_EQ(dv.CanFreeze(), s.freeze);
    EXPECT_EQ(dv.CanStopTape(), s.stop);
    EXPECT_EQ(dv.CanFastForward(), s.ff);
    EXPECT_EQ(dv.CanRewind(), s.rew);
    EXPECT_EQ(dv.CanStep(), s.step);
  }
  EXPECT_EQ(ticks, 11);
  EXPECT_EQ(DvDecodeTimeCode(0x23595924), (TDvTime{23, 59, 59, 24}));
  EXPECT_EQ(DvDecodeTimeCode(0x29999999), (TDvTime{23, 59, 59, 24}));
  EXPECT_EQ(DvDecodeTimeCode(DvBcdTimeCode(90000 * 5 + 1500 * 7 + 25 * 9 + 13)), (TDvTime{5, 7, 9, 13}));

  // No tape: nothing moves and no command is offered.
  Configure(Sim([&](TDvSimSettings& s) { s.NoTape = true; }));
  TDvController empty(clock);
  ASSERT_TRUE(empty.StartCameraPreview());
  EXPECT_FALSE(empty.MediumPresent());
  EXPECT_FALSE(empty.Play());
  EXPECT_FALSE(empty.CanPlay() || empty.CanFastForward() || empty.CanRewind());
  TDvTime t;
  EXPECT_FALSE(empty.TimeCode(t));
}

// 100 frames captured from the tape: a DV AVI whose pictures and sound are the tape's
// as ffmpeg decodes both; the written size is reported as it grows.
TEST_F(DvControllerTest, CaptureWritesTheTapesFramesAndSound) {
  TDvController dv(clock);
  const std::string file = dir.File("capture.avi");
  dv.SetCaptureFileName(file);
  std::vector<int64_t> sizes;
  dv.OnTimeDisplay = [&](const TDvTime&, int64_t kb) { sizes.push_back(kb); };
  ASSERT_TRUE(dv.StartCameraPreview());
  ASSERT_TRUE(dv.StartCapture());
  EXPECT_TRUE(dv.Capturing());
  EXPECT_EQ(dv.TransportMode(), ED_MODE_PLAY);
  for (int i = 0; i < 40; ++i) {
    clock->Advance(100);
    dv.ServiceNotify();
  }
  dv.StopCapture();
  EXPECT_FALSE(dv.Capturing());
  EXPECT_EQ(dv.TransportMode(), ED_MODE_FREEZE);
  ASSERT_EQ(sizes.size(), 4u);
  for (size_t i = 0; i < sizes.size(); ++i)
    EXPECT_NEAR(static_cast<double>(sizes[i]), (i + 1) * 25 * (144000 + 7680 + 16) / 1024.0, 64) << i;
  EXPECT_TRUE(messages.Texts().empty());

  test::ExpectFfmpegDecodes(file);
  const std::vector<std::string> pictures = DecodedPictures(file), tapePictures = DecodedPictures(tape);
  ASSERT_EQ(pictures.size(), 100u);
  EXPECT_TRUE(std::equal(pictures.begin(), pictures.end(), tapePictures.begin()));
  const std::vector<int16_t> sound = DecodedSound(file), tapeSound = DecodedSound(tape);
  ASSERT_EQ(sound.size(), 100 * kFrameSound);
  EXPECT_TRUE(std::equal(sound.begin(), sound.end(), tapeSound.begin()));
  const auto probe = test::RunCommand("ffprobe -v error -show_entries stream=codec_tag_string,width,height,sample_rate "
                                      "-of csv=p=0 " + test::Quote(file));
  EXPECT_NE(probe.output.find("dvsd,720,576"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("48000"), std::string::npos) << probe.output;
}

// The time limit ends a capture on the first tick at or after it; the size limit when
// fewer than 16384 KB remain below it; a full disk with message 34 and a valid file.
TEST_F(DvControllerTest, CaptureLimitsAndAFullDisk) {
  {
    TDvController dv(clock);
    dv.SetCaptureFileName(dir.File("t.avi"));
    dv.SetTimeLimit(true, 60000);
    int reached = 0;
    dv.OnLimitReached = [&] { ++reached; };
    ASSERT_TRUE(dv.StartCapture());
    clock->Advance(59999);
    dv.OnTimer();
    EXPECT_EQ(reached, 0);
    clock->Advance(1);
    dv.OnTimer();
    EXPECT_EQ(reached, 1);
    EXPECT_FALSE(dv.TimerEnabled());
    dv.OnTimer();
    EXPECT_EQ(reached, 1);
  }
  DvSetSimulator({});
  std::filesystem::copy_file(media->Tape, tape, std::filesystem::copy_options::overwrite_existing);
  {
    Configure({});
    TDvController dv(clock);
    dv.SetCaptureFileName(dir.File("s.avi"));
    dv.SetSizeLimit(true, 16384 + 5000);  // the second report (about 7400 KB) passes it
    int reached = 0;
    dv.OnLimitReached = [&] { ++reached; };
    ASSERT_TRUE(dv.StartCapture());
    clock->Advance(1000);
    dv.ServiceNotify();
    EXPECT_EQ(reached, 0);
    clock->Advance(1000);
    dv.ServiceNotify();
    EXPECT_EQ(reached, 1);
    dv.StopCapture();
  }
  {
    Configure(Sim([&](TDvSimSettings& s) { s.DiskCapacity = 6u << 20; }));
    TDvController dv(clock);
    const std::string file = dir.File("full.avi");
    dv.SetCaptureFileName(file);
    ASSERT_TRUE(dv.StartCapture());
    clock->Advance(4000);
    dv.ServiceNotify();
    EXPECT_FALSE(dv.Capturing());
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Błąd w czasie wychwytu - prawdopodobnie dysk jest zapełniony."});
    EXPECT_LE(std::filesystem::file_size(file), 6u << 20);
    test::ExpectFfmpegDecodes(file);
    const std::vector<std::string> pictures = DecodedPictures(file), tapePictures = DecodedPictures(media->Tape);
    EXPECT_GT(pictures.size(), 30u);
    EXPECT_LT(pictures.size(), 100u);
    EXPECT_TRUE(std::equal(pictures.begin(), pictures.end(), tapePictures.begin()));
    EXPECT_EQ(DecodedSound(file).size(), pictures.size() * kFrameSound);
  }
}

// A play list sent to the camera with recording on: the tape holds the list's frames
// and sound from the start, then its own; on a write-protected tape or without camera
// control nothing changes.
TEST_F(DvControllerTest, APlayListIsRecordedOntoTheTape) {
  const std::vector<std::string> tapePictures = DecodedPictures(tape);
  const std::vector<int16_t> tapeSound = DecodedSound(tape);
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    std::filesystem::copy_file(media->Tape, tape, std::filesystem::copy_options::overwrite_existing);
    Configure(Sim([&](TDvSimSettings& s) { s.WriteProtected = variant == 1; }));
    TDvController dv(clock);
    dv.PlayList().Assign({media->ListA, dir.File("missing.avi"), media->ListB});
    ASSERT_EQ(dv.PlayList().Count(), 2);
    int ended = 0;
    dv.OnEndOfList = [&] { ++ended; };
    ASSERT_TRUE(dv.StartSendToCamera(variant != 2));
    EXPECT_EQ(dv.Mode(), dmFileToCamera);
    EXPECT_EQ(dv.TransportMode(), variant == 0 ? ED_MODE_RECORD_FREEZE : ED_MODE_STOP);
    ASSERT_TRUE(dv.Run());
    EXPECT_EQ(dv.TransportMode(), variant == 0 ? ED_MODE_RECORD : ED_MODE_STOP);
    clock->Advance(500);
    dv.OnTimer();
    EXPECT_NEAR(dv.MediaPosition(), 0.5, 1e-9);
    clock->Advance(600);
    dv.ServiceNotify();
    EXPECT_EQ(dv.PlayList().Current(), media->ListB);
    clock->Advance(1300);
    dv.ServiceNotify();
    EXPECT_EQ(ended, 1);
    dv.StopSendToCamera();
    EXPECT_EQ(dv.Mode(), dmNone);
    EXPECT_TRUE(messages.Texts().empty());

    const std::vector<std::string> pictures = DecodedPictures(tape);
    const std::vector<int16_t> sound = DecodedSound(tape);
    ASSERT_EQ(pictures.size(), 150u);
    ASSERT_EQ(sound.size(), 150 * kFrameSound);
    if (variant != 0) {
      EXPECT_TRUE(pictures == tapePictures);
      EXPECT_TRUE(sound == tapeSound);
      continue;
    }
    std::vector<std::string> want = DecodedPictures(media->ListA);
    const std::vector<std::string> b = DecodedPictures(media->ListB);
    want.insert(want.end(), b.begin(), b.end());
    ASSERT_EQ(want.size(), 55u);
    want.insert(want.end(), tapePictures.begin() + 55, tapePictures.end());
    EXPECT_TRUE(pictures == want);
    std::vector<int16_t> wantSound = DecodedSound(media->ListA);
    const std::vector<int16_t> bs = DecodedSound(media->ListB);
    wantSound.insert(wantSound.end(), bs.begin(), bs.end());
    ASSERT_EQ(wantSound.size(), 55 * kFrameSound);
    wantSound.insert(wantSound.end(), tapeSound.begin() + 55 * kFrameSound, tapeSound.end());
    EXPECT_TRUE(sound == wantSound);
  }
}

}  // namespace
}  // namespace movara
