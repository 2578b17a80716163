// movara info on AVI and WAV files made by the ffmpeg program: the program prints the
// video and sound facts, and refuses what it cannot read with one line on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::RunCommand;

namespace {

struct TRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CmdInfoAvi : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara program not built";
    REQUIRE_PROGRAM("ffmpeg");
  }
  // Runs "movara info FILE" with stdout and stderr kept apart.
  TRun Info(const std::string& file) {
    const std::string out = tmp_.File("stdout.txt");
    const std::string err = tmp_.File("stderr.txt");
    TRun r;
    r.exitCode = RunCommand("(" + Quote(test::MovaraProgram()) + " info " + Quote(file) + " >" + Quote(out) + " 2>" +
                            Quote(err) + ")")
                     .exitCode;
    auto o = test::ReadBytes(out);
    auto e = test::ReadBytes(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
  }
  std::string Make(const std::string& name, const std::string& inputsAndCodecs) {
    const std::string file = tmp_.File(name);
    const auto r = RunCommand("ffmpeg -v error -y " + inputsAndCodecs + " " + Quote(file));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return file;
  }
  test::TTempDir tmp_;
};

TEST_F(CmdInfoAvi, VideoWithSound) {
  const std::string avi = Make("clip.avi",
                               "-f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i "
                               "sine=sample_rate=22050:duration=2 -t 2 -c:v mpeg4 -vtag XVID -g 12 "
                               "-c:a pcm_s16le -ac 2");
  const TRun r = Info(avi);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "AVI video 160 x 120, XVID (handler XVID), 50 frames at 25 fps, 2000 ms, 5 key frames\n"
            "sound: WAVE_FORMAT_PCM, 2 channels, 16 bits, 22050 Hz, 2000 ms\n")
      << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(CmdInfoAvi, VideoWithoutSoundAndUncompressedFrames) {
  const std::string mjpeg =
      Make("m.avi", "-f lavfi -i testsrc2=size=96x64:rate=30000/1001 -frames:v 10 -c:v mjpeg");
  TRun r = Info(mjpeg);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "AVI video 96 x 64, MJPG (handler MJPG), 10 frames at 29.97 fps, 334 ms, 10 key frames\nno sound\n");

  const std::string raw = Make("raw.avi", "-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 3 -c:v rawvideo "
                                          "-pix_fmt bgr24");
  r = Info(raw);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "AVI video 96 x 64, uncompressed 24 bits, 3 frames at 25 fps, 120 ms, 3 key frames\nno sound\n");
}

TEST_F(CmdInfoAvi, SoundOnlyAviAndCompressedSound) {
  const std::string avi = Make("s.avi", "-f lavfi -i sine=sample_rate=8000:duration=1.5 -c:a pcm_u8");
  TRun r = Info(avi);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "AVI without video\nsound: WAVE_FORMAT_PCM, 1 channel, 8 bits, 8000 Hz, 1500 ms\n");

  const std::string alaw = Make("a.avi", "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i "
                                         "sine=sample_rate=8000:duration=1 -t 1 -c:v mjpeg -c:a pcm_alaw");
  r = Info(alaw);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\nsound: WAVE_FORMAT_ALAW, 1 channel, 8 bits, 8000 Hz, 1000 ms\n"), std::string::npos)
      << r.out;
}

TEST_F(CmdInfoAvi, WaveFiles) {
  const std::string wav = Make("t.wav", "-f lavfi -i sine=sample_rate=44100:duration=1.25 -ac 2 -c:a pcm_s16le");
  TRun r = Info(wav);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "WAV sound: WAVE_FORMAT_PCM, 2 channels, 16 bits, 44100 Hz, 1250 ms\n");

  const std::string ima = Make("ima.wav", "-f lavfi -i sine=sample_rate=22050:duration=1 -c:a adpcm_ima_wav");
  r = Info(ima);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // Tag 0x11 carries its first published name.
  EXPECT_EQ(r.out.rfind("WAV sound: WAVE_FORMAT_DVI_ADPCM, 1 channel, 4 bits, 22050 Hz, ", 0), 0u) << r.out;
}

// A code no decoder takes: what the headers say is printed, and the exit code tells that a
// film cannot use the pictures.
TEST_F(CmdInfoAvi, UndecodableVideoIsDescribedAndFails) {
  for (const bool withSound : {true, false}) {
    const std::string avi = Make(withSound ? "q.avi" : "qs.avi",
                                 "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine=sample_rate=8000:duration=1 "
                                 "-t 1 -c:v mjpeg -c:a pcm_u8" + std::string(withSound ? "" : " -an"));
    std::vector<uint8_t> bytes = test::ReadBytes(avi);
    int patched = 0;
    for (size_t i = 0; i + 4 <= std::min<size_t>(bytes.size(), 4096); ++i)
      if (std::string(bytes.begin() + i, bytes.begin() + i + 4) == "MJPG") {
        std::copy_n("QQQQ", 4, bytes.begin() + i);
        ++patched;
      }
    ASSERT_EQ(patched, 2);  // the stream header's handler and the format's compression
    test::WriteBytes(avi, bytes);
    const TRun r = Info(avi);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out, withSound ? "AVI video QQQQ: not decodable\nsound: WAVE_FORMAT_PCM, 1 channel, 8 bits, 8000 Hz, 1000 ms\n"
                               : "AVI video QQQQ: not decodable\nno sound\n");
    EXPECT_EQ(r.err, "movara info: '" + avi + "' has no video stream movara can decode\n");
  }
}

// A film whose maker was killed (SIGKILL: no size, no index written) tells the frames
// it holds, as many as ffprobe counts.
TEST_F(CmdInfoAvi, KilledFilmTellsTheFramesItHolds) {
  REQUIRE_PROGRAM("ffprobe");
  const std::string demo = tmp_.File("demo");
  // the film grows under a temporary name beside film.avi until it is complete
  const std::string found = tmp_.File("killed.txt");
  const auto killed = RunCommand(
      "sh -c " + Quote(Quote(test::MovaraProgram()) + " demo " + Quote(demo) +
                       " >/dev/null 2>&1 & pid=$!; i=0; while [ $i -lt 600 ]; do f=$(ls " + Quote(demo) +
                       "/.film.movara-*.avi 2>/dev/null | head -n 1); s=$(stat -c %s \"$f\" 2>/dev/null || echo 0); "
                       "[ \"$s\" -gt 1000000 ] && break; sleep 0.1; i=$((i+1)); done; "
                       "kill -KILL $pid; wait $pid; printf %s \"$f\" > " + Quote(found) + "; exit 0"));
  ASSERT_EQ(killed.exitCode, 0) << killed.output;
  const auto name = test::ReadBytes(found);
  const std::string film(name.begin(), name.end());
  ASSERT_FALSE(film.empty()) << "no film was being written";
  const auto bytes = test::ReadBytes(film);
  ASSERT_GT(bytes.size(), 1000000u);
  ASSERT_EQ(bytes[4] | bytes[5] | bytes[6] | bytes[7], 0) << "the film was finished before the kill";
  const auto probe = RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                "stream=nb_read_packets -of csv=p=0 " + Quote(film));
  const int frames = std::atoi(probe.output.c_str());
  EXPECT_GT(frames, 0) << probe.output;
  const TRun r = Info(film);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find(", " + std::to_string(frames) + " frames at 25 fps"), std::string::npos) << r.out;
}

TEST_F(CmdInfoAvi, UnreadableFilesGiveOneLineOnStderr) {
  const std::string notAvi = tmp_.File("text.avi");
  test::WriteBytes(notAvi, std::vector<uint8_t>(300, 'x'));
  TRun r = Info(notAvi);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "movara info: '" + notAvi + "' is not a readable AVI file\n");

  const std::string notWav = tmp_.File("text.wav");
  test::WriteBytes(notWav, std::vector<uint8_t>(300, 'x'));
  r = Info(notWav);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "movara info: '" + notWav + "' is not a readable WAV sound\n");

  // Sounds our own WAV reader refuses are read through libavformat (more than two
  // channels mixed down to two).
  const struct {
    const char* codec;
    const char* format;
  } refused[] = {{"-c:a pcm_s24le", "pcm_s24le, 1 channel, 22050 Hz, 500 ms"},
                 {"-c:a pcm_f32le", "pcm_f32le, 1 channel, 22050 Hz, 500 ms"},
                 {"-c:a pcm_s16le -ac 6", "pcm_s16le, 2 channels, 22050 Hz, 500 ms"}};
  for (const auto& c : refused) {
    const std::string wav = Make("refused.wav", std::string("-f lavfi -i sine=sample_rate=22050:duration=0.5 ") + c.codec);
    r = Info(wav);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("WAV sound (read through libavformat): ") + c.format + "\n");
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
