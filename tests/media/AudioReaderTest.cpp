#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "media/AudioReader.h"
#include "support/TestSupport.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace movara;
using namespace movara::test;

namespace {

// Makes a file with the ffmpeg program: a sine of the given rate and length, then args.
void Ffmpeg(const std::string& args, const std::string& file) {
  const TCommandResult r = RunCommand("ffmpeg -hide_banner -loglevel error -y " + args + " " + Quote(file));
  ASSERT_EQ(r.exitCode, 0) << r.output;
}

std::string SineInput(int rate, double seconds, int hz = 440) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=" + std::to_string(rate) +
         ":duration=" + std::to_string(seconds);
}

bool HaveEncoder(const std::string& name) {
  return RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' " + name + " '").exitCode == 0;
}

// What ffmpeg decodes: 16-bit samples at rate and channels (mono copied to both sides,
// as the reader does).
std::vector<int16_t> FfmpegPcm(const std::string& file, int rate, int channels, bool monoSource) {
  const std::string raw = file + ".raw";
  std::string filter;
  if (monoSource && channels == 2) filter = " -af 'pan=stereo|c0=c0|c1=c0'";
  const TCommandResult r = RunCommand("ffmpeg -hide_banner -loglevel error -y -i " + Quote(file) + filter +
                                      " -f s16le -ar " + std::to_string(rate) + " -ac " +
                                      std::to_string(channels) + " " + Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> b = ReadBytes(raw);
  std::vector<int16_t> v(b.size() / 2);
  std::memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

std::vector<uint8_t> ReadAll(TCustomAudioReader& r) {
  const WAVEFORMATEX& d = r.DestinationFormat();
  std::vector<uint8_t> buf(static_cast<size_t>(static_cast<int64_t>(d.nAvgBytesPerSec) * (r.Duration() + 10) / 1000));
  const int n = r.ReadData(0, -1, static_cast<int>(buf.size()), buf.data());
  buf.resize(static_cast<size_t>(n));
  return buf;
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& b) {
  std::vector<int16_t> v(b.size() / 2);
  std::memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

// Best normalised correlation of b against a for b up to maxLag samples late or early
// (in frames of the given channels), and the RMS ratio b / a.
struct TMatch {
  double correlation = -2;
  double rmsRatio = 0;
};

TMatch Compare(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int maxLag) {
  TMatch m;
  for (int lag = -maxLag; lag <= maxLag; ++lag) {
    const int64_t shift = static_cast<int64_t>(lag) * channels;
    double ab = 0, aa = 0, bb = 0;
    for (int64_t i = 0; i < static_cast<int64_t>(a.size()); ++i) {
      const int64_t j = i + shift;
      if (j < 0 || j >= static_cast<int64_t>(b.size())) continue;
      ab += double(a[static_cast<size_t>(i)]) * b[static_cast<size_t>(j)];
      aa += double(a[static_cast<size_t>(i)]) * a[static_cast<size_t>(i)];
      bb += double(b[static_cast<size_t>(j)]) * b[static_cast<size_t>(j)];
    }
    if (aa > 0 && bb > 0 && ab / std::sqrt(aa * bb) > m.correlation) {
      m.correlation = ab / std::sqrt(aa * bb);
      m.rmsRatio = std::sqrt(bb / aa);
    }
  }
  return m;
}

// A WAV image; extra chunks go before "fmt " (before) or between it and "data" (between).
struct TWavParts {
  WAVEFORMATEX format = MakePcmFormat(2, 44100, 16);
  std::vector<uint8_t> extraFormatBytes;
  std::vector<uint8_t> before;
  std::vector<uint8_t> between;
  std::vector<uint8_t> data;
  int64_t claimedDataSize = -1;  // -1: the real size
};

std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, bool pad = true) {
  std::vector<uint8_t> out;
  TLEWriter w(out);
  w.FourCC(FourCCFromString(id));
  w.U32(static_cast<uint32_t>(body.size()));
  w.Bytes(body.data(), body.size());
  if (pad && (body.size() & 1)) w.U8(0);
  return out;
}

std::vector<uint8_t> WavImage(const TWavParts& p) {
  std::vector<uint8_t> fmt;
  WAVEFORMATEX wf = p.format;
  wf.cbSize = static_cast<uint16_t>(p.extraFormatBytes.size());
  wf.AppendTo(fmt);
  if (p.extraFormatBytes.empty() && wf.wFormatTag == WAVE_FORMAT_PCM) fmt.resize(16);
  fmt.insert(fmt.end(), p.extraFormatBytes.begin(), p.extraFormatBytes.end());
  std::vector<uint8_t> out;
  TLEWriter w(out);
  w.FourCC(ckidRIFF);
  w.U32(0);
  w.FourCC(formtypeWAVE);
  w.Bytes(p.before.data(), p.before.size());
  const std::vector<uint8_t> f = Chunk("fmt ", fmt);
  w.Bytes(f.data(), f.size());
  w.Bytes(p.between.data(), p.between.size());
  w.FourCC(ckidWAVEDATA);
  w.U32(static_cast<uint32_t>(p.claimedDataSize >= 0 ? p.claimedDataSize : static_cast<int64_t>(p.data.size())));
  w.Bytes(p.data.data(), p.data.size());
  PutLE32(out.data() + 4, static_cast<uint32_t>(out.size() - 8));
  return out;
}

// 16-bit samples that say where they are: sample i (of every channel) is i * 7 wrapped.
std::vector<uint8_t> MarkedPcm(size_t frames, int channels) {
  std::vector<uint8_t> out(frames * channels * 2);
  for (size_t i = 0; i < frames; ++i) {
    const auto v = static_cast<uint16_t>(i * 7);
    for (int c = 0; c < channels; ++c) PutLE16(out.data() + (i * channels + c) * 2, static_cast<uint16_t>(v + c));
  }
  return out;
}

std::string RaisedText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EAudioError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

using TTraceCapture = movara::test::TTraceRecorder;

struct TQuietCodecs {
  int old = av_log_get_level();
  TQuietCodecs() { av_log_set_level(AV_LOG_QUIET); }
  ~TQuietCodecs() { av_log_set_level(old); }
};

}  // namespace

TEST(TWaveAudioReader, SameRatePcmIsReadExactly) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  const std::string stereo = tmp.File("s16.wav");
  Ffmpeg(SineInput(44100, 1.5) + " -ac 2 -c:a pcm_s16le -metadata title=x", stereo);
  TWaveAudioReader r;
  EXPECT_EQ(r.DestinationFormat().nChannels, 2);  // a new reader: 2 channels, 16 bits, 44100 Hz
  EXPECT_EQ(r.DestinationFormat().wBitsPerSample, 16);
  EXPECT_EQ(r.DestinationFormat().nSamplesPerSec, 44100u);
  ASSERT_TRUE(r.OpenFile(stereo));
  EXPECT_TRUE(r.SourceIsPCM());
  EXPECT_EQ(r.BlockCount(), 1);
  EXPECT_EQ(r.DataSize(), 264600);
  EXPECT_EQ(r.Duration(), 1500);
  EXPECT_EQ(AsSamples(ReadAll(r)), FfmpegPcm(stereo, 44100, 2, false));

  const std::string mono8 = tmp.File("u8.wav");
  Ffmpeg(SineInput(22050, 1.0) + " -c:a pcm_u8", mono8);
  TWaveAudioReader m;
  ASSERT_TRUE(m.SetDestinationFormat(2, 16, 22050));
  ASSERT_TRUE(m.OpenFile(mono8));
  EXPECT_EQ(m.Duration(), 1000);
  EXPECT_EQ(AsSamples(ReadAll(m)), FfmpegPcm(mono8, 22050, 2, true));
  ASSERT_TRUE(m.SetDestinationFormat(1, 8, 22050));  // the file as it is
  std::vector<uint8_t> raw = ReadBytes(mono8);
  std::vector<uint8_t> data(raw.end() - 22050, raw.end());
  EXPECT_EQ(ReadAll(m), data);
}

TEST(TWaveAudioReader, CompressedAndResampledSoundFollowsFfmpeg) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  struct TCase {
    const char* codec;
    int rate;
    int channels;
  };
  std::vector<TCase> cases = {{"pcm_s16le", 48000, 2}, {"pcm_u8", 22050, 1},       {"adpcm_ms", 22050, 1},
                              {"adpcm_ms", 44100, 2},  {"adpcm_ima_wav", 44100, 2}, {"adpcm_ima_wav", 11025, 1},
                              {"pcm_alaw", 8000, 1},   {"pcm_mulaw", 22050, 2}};
  if (HaveEncoder("libmp3lame")) {
    cases.push_back({"libmp3lame", 44100, 2});
    cases.push_back({"libmp3lame", 22050, 1});
  }
  if (HaveEncoder("libgsm_ms")) cases.push_back({"libgsm_ms", 8000, 1});
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.rate) + " " + std::to_string(c.channels));
    const std::string file = tmp.File(std::string(c.codec) + std::to_string(c.rate) + ".wav");
    Ffmpeg(SineInput(c.rate, 2.0, 300) + " -ac " + std::to_string(c.channels) + " -c:a " + c.codec, file);
    TWaveAudioReader r;
    ASSERT_TRUE(r.OpenFile(file));
    const std::vector<int16_t> ours = AsSamples(ReadAll(r));
    const std::vector<int16_t> theirs = FfmpegPcm(file, 44100, 2, c.channels == 1);
    EXPECT_NEAR(static_cast<double>(ours.size()), static_cast<double>(theirs.size()), theirs.size() * 0.01 + 300);
    const TMatch m = Compare(theirs, ours, 2, 200);
    EXPECT_GT(m.correlation, 0.99);
    EXPECT_NEAR(m.rmsRatio, 1.0, 0.05);
    EXPECT_NEAR(r.Duration(), 2000, 100);  // a padded last block or frame
  }
}

TEST(TWaveAudioReader, LargePcmIsReadInOneSecondBlocks) {
  TTempDir tmp;
  TWavParts p;
  p.data = MarkedPcm(500000, 2);  // 2 000 000 bytes
  const std::string file = tmp.File("big.wav");
  WriteBytes(file, WavImage(p));
  TWaveAudioReader r;
  ASSERT_TRUE(r.OpenFile(file));
  EXPECT_EQ(r.BlockCount(), 12);
  EXPECT_EQ(r.BlockSize(), 176400);
  EXPECT_EQ(r.LastBlockSize(), 59600);
  EXPECT_EQ(r.Duration(), 11338);  // 2000000 / 176400 s
  EXPECT_EQ(r.DataStart(), 44);

  // 1234 ms: source byte 217678 (block 1), 41278 into it, 41280 aligned: frame 54420.
  std::vector<uint8_t> buf(4000);
  ASSERT_EQ(r.ReadData(1234, 10, 4000, buf.data()), 1764);
  EXPECT_EQ(GetLE16(buf.data()), static_cast<uint16_t>(54420 * 7));
  EXPECT_EQ(GetLE16(buf.data() + 2), static_cast<uint16_t>(54420 * 7 + 1));
  EXPECT_EQ(GetLE16(buf.data() + 1760), static_cast<uint16_t>((54420 + 440) * 7));
  EXPECT_EQ(r.BlockIndex(), 1);
  // The same time again gives the same bytes (the read moved the pointer on).
  std::vector<uint8_t> again(4000);
  ASSERT_EQ(r.ReadData(1234, 10, 4000, again.data()), 1764);
  EXPECT_EQ(buf, again);
  // Across a block boundary, and at the end.
  ASSERT_EQ(r.ReadData(990, 20, 4000, buf.data()), 3528);
  EXPECT_EQ(GetLE16(buf.data()), static_cast<uint16_t>(43659 * 7));
  EXPECT_EQ(GetLE16(buf.data() + 3524), static_cast<uint16_t>((43659 + 881) * 7));
  EXPECT_EQ(r.ReadData(r.Duration(), 10, 4000, buf.data()), 0);
  // The last millisecond holds only 0.868 ms of sound.
  EXPECT_EQ(r.ReadData(r.Duration() - 1, 10, 4000, buf.data()), 152);
  EXPECT_EQ(r.ReadData(5000, 1000, 1001, buf.data()), 1000);  // cut to maxBytes, whole frames
  EXPECT_EQ(r.ReadData(5000, -1, 4000, buf.data()), 4000);     // to the end, cut

  // Reading in pieces gives what one read gives.
  const std::vector<uint8_t> whole = ReadAll(r);
  ASSERT_EQ(whole.size(), 2000000u);
  EXPECT_EQ(whole, p.data);
  std::vector<uint8_t> pieces;
  std::vector<uint8_t> piece(17640);
  for (int t = 0; t < r.Duration(); t += 100) {
    const int n = r.ReadData(t, 100, static_cast<int>(piece.size()), piece.data());
    pieces.insert(pieces.end(), piece.begin(), piece.begin() + n);
  }
  EXPECT_EQ(pieces, whole);

  // Another destination: every block converts to its exact share.
  ASSERT_TRUE(r.SetDestinationFormat(1, 8, 22050));
  EXPECT_EQ(r.BlockCount(), 12);
  const std::vector<uint8_t> small = ReadAll(r);
  EXPECT_EQ(small.size(), 250000u);
  EXPECT_EQ(r.SamplesToTime(22050), 1000);
  EXPECT_EQ(r.TimeToSamples(1500), 33075);
}

TEST(TWaveAudioReader, ResampledLargePcmKeepsThePhaseAtAnOffset) {
  TTempDir tmp;
  TWavParts p;
  p.format = MakePcmFormat(1, 22050, 16);
  const int frames = 22050 * 50;  // 2.2 MB: blocks of one second
  p.data.resize(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i)
    PutLE16(p.data.data() + 2 * i, static_cast<uint16_t>(std::lround(9000 * std::sin(2 * M_PI * 500.0 * i / 22050))));
  const std::string file = tmp.File("sine.wav");
  WriteBytes(file, WavImage(p));
  TWaveAudioReader r;
  ASSERT_TRUE(r.OpenFile(file));
  ASSERT_EQ(r.BlockCount(), 51);
  for (int t : {0, 7321, 23500, 49900}) {
    SCOPED_TRACE(t);
    std::vector<uint8_t> buf(17640);
    ASSERT_EQ(r.ReadData(t, 100, static_cast<int>(buf.size()), buf.data()), 17640);
    const std::vector<int16_t> got = AsSamples(buf);
    std::vector<int16_t> left;
    for (size_t i = 0; i < got.size(); i += 2) {
      EXPECT_EQ(got[i], got[i + 1]);
      left.push_back(got[i]);
    }
    std::vector<int16_t> ideal;
    for (int i = 0; i < 4410; ++i)
      ideal.push_back(static_cast<int16_t>(std::lround(9000 * std::sin(2 * M_PI * 500.0 * (t / 1000.0 + i / 44100.0)))));
    // In phase, late by no more than the converter's look-ahead (under 1 ms).
    const TMatch m = Compare(ideal, left, 1, 44);
    EXPECT_GT(m.correlation, 0.995);
  }
}

TEST(TWaveAudioReader, ChunkWalk) {
  TTempDir tmp;
  const std::vector<uint8_t> pcm = MarkedPcm(1000, 2);
  auto open = [&](const TWavParts& p, TWaveAudioReader& r) {
    const std::string file = tmp.File("w.wav");
    WriteBytes(file, WavImage(p));
    return r.OpenFile(file);
  };
  {  // a LIST chunk before "fmt " and one after it
    TWavParts p;
    p.before = Chunk("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 2, 0, 0, 0, 'x', 0});
    p.between = Chunk("LIST", {'I', 'N', 'F', 'O'});
    p.data = pcm;
    TWaveAudioReader r;
    ASSERT_TRUE(open(p, r));
    EXPECT_EQ(ReadAll(r), pcm);
  }
  {  // odd-sized chunks: with their pad byte, and a writer that left it out
    TWavParts p;
    p.between = Chunk("junk", {1, 2, 3});
    p.data = pcm;
    TWaveAudioReader r;
    ASSERT_TRUE(open(p, r));
    EXPECT_EQ(ReadAll(r), pcm);
    p.between = Chunk("junk", {1, 2, 3}, false);
    TWaveAudioReader s;
    ASSERT_TRUE(open(p, s));
    EXPECT_EQ(ReadAll(s), pcm);
  }
  {  // a "data" chunk that claims more than the file holds is read to the end
    TWavParts p;
    p.data = pcm;
    p.claimedDataSize = 4000000;
    TWaveAudioReader r;
    ASSERT_TRUE(open(p, r));
    EXPECT_EQ(r.DataSize(), 4000);
    EXPECT_EQ(ReadAll(r), pcm);
    // ... also when it is large enough to be read in blocks
    p.data = MarkedPcm(300000, 2);
    p.claimedDataSize = 0xFFFFFFF0u;
    TWaveAudioReader big;
    ASSERT_TRUE(open(p, big));
    EXPECT_EQ(big.DataSize(), 1200000);
    EXPECT_EQ(big.BlockCount(), 7);
    EXPECT_EQ(ReadAll(big), p.data);
  }
  {  // a format chunk longer than 18 bytes brings its extra bytes, however cbSize reads
    TWavParts p;
    p.extraFormatBytes = {9, 9, 9, 9};
    p.data = pcm;
    TWaveAudioReader r;
    ASSERT_TRUE(open(p, r));
    EXPECT_EQ(r.SourceFormat().extra.size(), 4u);
  }
}

TEST(TWaveAudioReader, BrokenFilesFailCleanly) {
  TTempDir tmp;
  const std::string file = tmp.File("b.wav");
  auto openBytes = [&](const std::vector<uint8_t>& bytes) {
    WriteBytes(file, bytes);
    TWaveAudioReader r;
    return r.OpenFile(file);
  };
  TWavParts good;
  good.data = MarkedPcm(100, 2);
  const std::vector<uint8_t> image = WavImage(good);

  EXPECT_FALSE(openBytes({'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 0, 0, 0, 0}));
  std::vector<uint8_t> noFmt(image.begin(), image.begin() + 12);
  const std::vector<uint8_t> data = Chunk("data", good.data);
  noFmt.insert(noFmt.end(), data.begin(), data.end());
  EXPECT_FALSE(openBytes(noFmt));
  std::vector<uint8_t> shortFmt = image;
  PutLE32(shortFmt.data() + 16, 14);  // "fmt " of 14 bytes
  EXPECT_FALSE(openBytes(shortFmt));
  EXPECT_FALSE(openBytes(std::vector<uint8_t>(image.begin(), image.begin() + 36)));  // no "data"
  std::vector<uint8_t> noChannels = image;
  PutLE16(noChannels.data() + 22, 0);
  EXPECT_FALSE(openBytes(noChannels));
  TWavParts empty;
  EXPECT_FALSE(openBytes(WavImage(empty)));

  // Reads past the end of the file are errors.
  EXPECT_EQ(RaisedText([&] { openBytes(std::vector<uint8_t>(image.begin(), image.begin() + 10)); }),
            "Error readdata. Too smallest source size: 8 > 2.");
  std::vector<uint8_t> longFmt(image.begin(), image.begin() + 40);
  PutLE32(longFmt.data() + 16, 1000);
  EXPECT_EQ(RaisedText([&] { openBytes(longFmt); }), "Error readdata. Too smallest source size: 1000 > 20.");

  TWaveAudioReader r;
  EXPECT_FALSE(r.OpenFile(tmp.File("missing.wav")));
  EXPECT_FALSE(r.Opened());
  std::vector<uint8_t> buf(100);
  EXPECT_EQ(r.ReadData(0, 10, 100, buf.data()), 0);
  EXPECT_EQ(r.Duration(), 0);
  EXPECT_EQ(r.SamplesToTime(44100), 0);

  // Random bytes behind a good head, and random files: no crash.
  TQuietCodecs quiet;
  std::mt19937 rng(11);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> bytes = image;
    if (i % 2) bytes.resize(rng() % (bytes.size() + 1));
    for (int k = 0; k < 6 && !bytes.empty(); ++k) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
    if (i % 5 == 0 && bytes.size() >= 22) PutLE16(bytes.data() + 20, static_cast<uint16_t>(std::vector<int>{2, 0x11, 0x55, 6, 0x31}[i / 5 % 5]));
    try {
      WriteBytes(file, bytes);
      TWaveAudioReader w;
      if (w.OpenFile(file)) ReadAll(w);
    } catch (const EAudioError&) {
    }
  }
}

TEST(TWaveAudioReader, MissingFileFallsBackToTheDataFolder) {
  TTempDir tmp;
  TWavParts p;
  p.data = MarkedPcm(100, 2);
  WriteBytes(tmp.File("sound.wav"), WavImage(p));
  SetDataFolderForTests(tmp.Path());
  TWaveAudioReader r;
  EXPECT_TRUE(r.OpenFile("/no/such/folder/sound.wav"));
  EXPECT_EQ(r.FileName(), tmp.File("sound.wav"));
  SetDataFolderForTests("");
}

TEST(TWaveAudioReader, SetDestinationFormatReopensOnlyForAChange) {
  TTempDir tmp;
  TWavParts p;
  p.data = MarkedPcm(4410, 2);
  const std::string file = tmp.File("d.wav");
  WriteBytes(file, WavImage(p));
  TWaveAudioReader r;
  ASSERT_TRUE(r.OpenFile(file));
  {
    TTraceCapture trace;
    EXPECT_TRUE(r.SetDestinationFormat(2, 16, 44100));
    EXPECT_TRUE(trace.Has("[TCustomAudioReader.SetDestinationFormat] Reopening File \"" + file +
                          "\" skipped. No needed."));
    EXPECT_FALSE(trace.Has("[TCustomAudioReader.OpenFile] O.K."));
  }
  {
    TTraceCapture trace;
    EXPECT_TRUE(r.SetDestinationFormat(1, 16, 44100));
    EXPECT_TRUE(trace.Has("[TCustomAudioReader.OpenFile] O.K. FileName = " + file));
    EXPECT_TRUE(trace.Has(
        "[TCustomAudioReader.OpenFile] Source: format: WAVE_FORMAT_PCM, 2 channels, 16 bits, 44100 samples per second"));
    EXPECT_TRUE(trace.Has(
        "[TCustomAudioReader.OpenFile] Destination: format: WAVE_FORMAT_PCM, 1 channels, 16 bits, 44100 samples per second"));
  }
  EXPECT_TRUE(r.Opened());
  EXPECT_EQ(r.DestinationFormat().nBlockAlign, 2);
  EXPECT_EQ(r.DestinationFormat().nAvgBytesPerSec, 88200u);
  EXPECT_EQ(ReadAll(r).size(), 8820u);
  // A format nothing converts to: the reopen fails and says so.
  EXPECT_FALSE(r.SetDestinationFormat(3, 16, 44100));
  EXPECT_FALSE(r.Opened());
}

TEST(TWaveAudioReader, AnUnconvertibleSourceRaisesTheInitError) {
  TTempDir tmp;
  TWavParts p;
  p.format.wFormatTag = WAVE_FORMAT_ADPCM;
  p.format.nChannels = 1;
  p.format.nSamplesPerSec = 12000;  // the codec offers no format at this rate
  p.format.nBlockAlign = 256;
  p.format.wBitsPerSample = 4;
  p.format.nAvgBytesPerSec = 6000;
  p.extraFormatBytes = {0xF4, 0x01, 7, 0};
  p.data.assign(2560, 0);
  const std::string file = tmp.File("x.wav");
  WriteBytes(file, WavImage(p));
  TWaveAudioReader r;
  EXPECT_EQ(RaisedText([&] { r.OpenFile(file); }), "(Error $A03) Cannot initialize Compression !");
  EXPECT_FALSE(r.Opened());
}

TEST(TAviAudioReader, SoundStreamsOfFfmpegAvis) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  struct TCase {
    const char* codec;
    int rate;
    int channels;
    double seconds;
  };
  std::vector<TCase> cases = {{"pcm_u8", 22050, 1, 2}, {"pcm_s16le", 44100, 2, 2}, {"pcm_s16le", 44100, 2, 6.5},
                              {"adpcm_ms", 22050, 1, 2}, {"adpcm_ima_wav", 44100, 2, 2}};
  if (HaveEncoder("libmp3lame")) cases.push_back({"libmp3lame", 44100, 2, 2});
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.codec) + " " + std::to_string(c.seconds));
    const std::string file = tmp.File(std::string(c.codec) + ".avi");
    Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=" + std::to_string(c.seconds) + " " +
               SineInput(c.rate, c.seconds, 300) + " -c:v mjpeg -ac " + std::to_string(c.channels) +
               " -c:a " + c.codec,
           file);
    TAviAudioReader r;
    ASSERT_TRUE(r.OpenFile(file));
    EXPECT_EQ(r.AviSnd().StreamInfo().fccType, streamtypeAUDIO);
    if (r.AviSnd().SampleSize() != 0) {
      EXPECT_EQ(r.AviSnd().SampleSize(), r.SourceFormat().wf.nBlockAlign);
    }
    EXPECT_NEAR(r.Duration(), c.seconds * 1000, 100);  // a padded last block or frame
    const std::vector<int16_t> ours = AsSamples(ReadAll(r));
    const std::vector<int16_t> theirs = FfmpegPcm(file, 44100, 2, c.channels == 1);
    if (std::string(c.codec) == "pcm_s16le") {
      EXPECT_EQ(r.BlockCount(), c.seconds > 5 ? 7 : 1);
      EXPECT_EQ(ours, theirs);
    } else {
      const TMatch m = Compare(theirs, ours, 2, 200);
      EXPECT_GT(m.correlation, 0.99);
      EXPECT_NEAR(m.rmsRatio, 1.0, 0.05);
    }
  }

  const std::string silent = tmp.File("silent.avi");
  Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1 -c:v mjpeg", silent);
  TAviAudioReader r;
  TTraceCapture trace;
  EXPECT_FALSE(r.OpenFile(silent));
  EXPECT_TRUE(trace.Has("AVIFileGetStream error: AVIFile doesn`t have streamtypeAUDIO (FileName = " + silent + ")"));
  const std::string notAvi = tmp.File("not.avi");
  WriteBytes(notAvi, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  EXPECT_FALSE(r.OpenFile(notAvi));
  EXPECT_TRUE(trace.Has("AVIFileOpen error (FileName = " + notAvi + ")"));
}
