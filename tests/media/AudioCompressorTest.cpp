#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "media/AudioCodecList.h"
#include "media/AudioCompressor.h"
#include "media/MmResultText.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

namespace {

std::vector<uint8_t> SineBytes(int rate, int channels, double hz, double seconds) {
  const int n = static_cast<int>(rate * seconds);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(n) * channels * 2);
  for (int i = 0; i < n; ++i) {
    const auto s = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * hz * i / rate)));
    for (int c = 0; c < channels; ++c) {
      out.push_back(static_cast<uint8_t>(s & 0xFF));
      out.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
    }
  }
  return out;
}

std::vector<int16_t> AsSamples(const uint8_t* p, size_t n) {
  std::vector<int16_t> v(n / 2);
  std::memcpy(v.data(), p, v.size() * 2);
  return v;
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int maxLag) {
  double best = -2;
  for (int lag = 0; lag <= maxLag; ++lag) {
    const size_t n = std::min(a.size(), b.size() > static_cast<size_t>(lag) ? b.size() - lag : 0);
    if (n < 100) break;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
      ab += double(a[i]) * b[i + lag];
      aa += double(a[i]) * a[i];
      bb += double(b[i + lag]) * b[i + lag];
    }
    if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
  }
  return best;
}

std::string RaisedText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EAudioError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace

TEST(MmResultText, TableTextsAndUnknownCodes) {
  EXPECT_EQ(MmResultTextCount(), 49);
  EXPECT_EQ(MmResultText(0), "no error");
  EXPECT_EQ(MmResultText(11), "invalid parameter passed");
  EXPECT_EQ(MmResultText(32), "unsupported wave format");
  EXPECT_EQ(MmResultText(513),
            "The conversion stream cannot be closed because an asynchronous conversion is still in progress.");
  EXPECT_EQ(MmResultText(512), "The requested operation cannot be performed.");
  EXPECT_EQ(MmResultText(167), "joystick is unplugged");
  EXPECT_EQ(MmResultText(1000), "(unknown. mmr = $000003e8)");
  EXPECT_EQ(MmResultText(0xDEADBEEF), "(unknown. mmr = $deadbeef)");

  EXPECT_EQ(FormatTagNameCount(), 66);
  EXPECT_EQ(FormatTagName(1), "WAVE_FORMAT_PCM");
  EXPECT_EQ(FormatTagName(2), "WAVE_FORMAT_ADPCM");
  EXPECT_EQ(FormatTagName(0x55), "WAVE_FORMAT_MPEGLAYER3");
  EXPECT_EQ(FormatTagName(0x31), "WAVE_FORMAT_GSM610");
  EXPECT_EQ(FormatTagName(0x1234), "(unknown $00001234)");
}

TEST(AudioCodecList, CatalogueAndFormatSearch) {
  TAudioCodecList& list = AudioCodecList();
  ASSERT_GE(list.DriverCount(), 5);
  EXPECT_EQ(list.Driver(0).ShortName, "MS-PCM");  // the converter heads the list
  EXPECT_EQ(list.ConverterCount(), 1u);
  EXPECT_EQ(list.CodecCount() + list.ConverterCount(), list.DriverCountMetric());
  EXPECT_EQ(static_cast<uint32_t>(list.DriverCount()), list.DriverCountMetric());
  EXPECT_NE(list.Version(), 0u);
  const TAudioCodecDriver* ms = list.FindDriver("MS-ADPCM");
  ASSERT_TRUE(ms);
  const TAudioCodecFormat* f = ms->Formats.Find("22,050 kHz; 4 Bit; Mono");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Details.pwfx, &f->Format);
  EXPECT_EQ(f->Format.wf.nBlockAlign, 512);

  const TAudioCodecFormat* cd = list.FindFormat(WAVE_FORMAT_PCM, 2, 44100, 16);
  ASSERT_TRUE(cd);
  EXPECT_EQ(cd->Description, "44,100 kHz; 16 Bit; Stereo");
  EXPECT_FALSE(list.FindFormat(WAVE_FORMAT_PCM, 2, 44100, 12));
  EXPECT_FALSE(list.FindFormat(WAVE_FORMAT_PCM, 2, 44000, 16));
  // A codec's format is found by the depth of the film's PCM.
  const TAudioCodecFormat* mp3 = list.FindFormat(WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16);
  ASSERT_TRUE(mp3);
  EXPECT_EQ(mp3->Format.wf.wBitsPerSample, 0);
  const TAudioCodecFormat* adpcm = list.FindFormat(WAVE_FORMAT_ADPCM, 1, 22050, 8);
  ASSERT_TRUE(adpcm);
  EXPECT_EQ(adpcm, f);
  EXPECT_EQ(list.FindFormat(WAVE_FORMAT_ADPCM, 1, 22050, 4), f);
  EXPECT_FALSE(list.FindFormat(WAVE_FORMAT_ADPCM, 1, 22050, 12));

  TWaveFormat copy = f->Format;
  copy.extra.resize(2);  // the samples per block only: agrees as far as it goes
  EXPECT_EQ(list.FindMatchingFormat(copy), f);
  copy.wf.nAvgBytesPerSec += 1;
  EXPECT_FALSE(list.FindMatchingFormat(copy));
  copy = f->Format;
  copy.extra[4] ^= 1;  // a different coefficient
  EXPECT_FALSE(list.FindMatchingFormat(copy));
}

TEST(AudioCodecList, ConversionSearch) {
  TAudioCodecList& list = AudioCodecList();
  HACMDRIVERID id = nullptr;
  TWaveFormat s, d;
  // The converter offers any rate it is asked for.
  ASSERT_TRUE(list.FindConversion({WAVE_FORMAT_PCM, 1, 8, 44100}, {WAVE_FORMAT_PCM, 1, 8, 1800}, id, s, d));
  EXPECT_EQ(id, list.Driver(0).DriverId);
  EXPECT_EQ(d.wf.nSamplesPerSec, 1800u);
  EXPECT_EQ(d.wf.nAvgBytesPerSec, 1800u);
  EXPECT_EQ(list.LastFoundFormat(), d);
  // A codec does not change the rate.
  EXPECT_FALSE(list.FindConversion({WAVE_FORMAT_ADPCM, 1, 4, 22050}, {WAVE_FORMAT_PCM, 2, 16, 44100}, id, s, d));
  ASSERT_TRUE(list.FindConversion({WAVE_FORMAT_ADPCM, 1, 4, 22050}, {WAVE_FORMAT_PCM, 1, 16, 22050}, id, s, d));
  EXPECT_EQ(id, list.FindDriver("MS-ADPCM")->DriverId);
  EXPECT_EQ(s.wf.wFormatTag, WAVE_FORMAT_ADPCM);
  EXPECT_EQ(s.extra.size(), 32u);
  // Destination bits 0 take any; a source rate of 0 any rate.
  ASSERT_TRUE(list.FindConversion({WAVE_FORMAT_PCM, 2, 16, 0}, {WAVE_FORMAT_MPEGLAYER3, 2, 0, 44100}, id, s, d));
  EXPECT_EQ(d.wf.wFormatTag, WAVE_FORMAT_MPEGLAYER3);
  EXPECT_EQ(s.wf.nSamplesPerSec, 44100u);
  // A PCM rate no driver lists: the converter is found through a rate it lists, and the
  // copies are the heads as given.
  ASSERT_TRUE(list.FindConversion({WAVE_FORMAT_PCM, 1, 16, 12345}, {WAVE_FORMAT_PCM, 2, 8, 44100}, id, s, d));
  EXPECT_EQ(id, list.Driver(0).DriverId);
  EXPECT_EQ(s.wf.nSamplesPerSec, 12345u);
  EXPECT_EQ(s.wf.nBlockAlign, 2);
  EXPECT_EQ(s.wf.nAvgBytesPerSec, 24690u);
  EXPECT_EQ(d.wf.nBlockAlign, 2);
  EXPECT_TRUE(s.extra.empty());
  // The fallback takes 4-bit heads too (a stream then refuses them), but only PCM ones.
  EXPECT_TRUE(list.FindConversion({WAVE_FORMAT_PCM, 1, 4, 12345}, {WAVE_FORMAT_PCM, 2, 8, 44100}, id, s, d));
  EXPECT_FALSE(list.FindConversion({WAVE_FORMAT_PCM, 3, 16, 12345}, {WAVE_FORMAT_PCM, 2, 8, 44100}, id, s, d));
  EXPECT_FALSE(list.FindConversion({WAVE_FORMAT_ALAW, 1, 8, 12345}, {WAVE_FORMAT_PCM, 2, 8, 44100}, id, s, d));
}

TEST(AudioCompressor, BufferSizesTextsAndOneStagePcm) {
  TAudioCompressor c;
  ASSERT_TRUE(c.SetSourceFormat(MakePcmFormat(1, 22050, 16), 44100));
  ASSERT_TRUE(c.SetDestFormat(WAVE_FORMAT_PCM, 2, 44100, 16));
  EXPECT_EQ(c.SourceBufferSize(), 44100);
  EXPECT_EQ(c.DestBufferSize(), 317520);  // 176400 x 1.8 x 44100 / 44100
  EXPECT_FALSE(c.ShowHourglass());
  EXPECT_EQ(c.SourceText(), "Source: format: WAVE_FORMAT_PCM, 1 channels, 16 bits, 22050 samples per second");
  EXPECT_EQ(c.DestinationText(),
            "Destination: format: WAVE_FORMAT_PCM, 2 channels, 16 bits, 44100 samples per second");
  const std::vector<uint8_t> block = SineBytes(22050, 1, 500, 0.5);  // 22050 bytes
  int n = 0;
  ASSERT_TRUE(c.CompressBlock(block.data(), static_cast<int>(block.size()), n));
  EXPECT_TRUE(c.Ready());
  EXPECT_FALSE(c.TwoStage());
  EXPECT_EQ(n, 88200);  // 11025 frames become 22050 stereo frames of 4 bytes
  ASSERT_TRUE(c.CompressBlock(block.data(), static_cast<int>(block.size()), n));
  EXPECT_EQ(n, 88200);
  EXPECT_EQ(c.TotalSourceBytes(), 44100);
  EXPECT_EQ(c.TotalDestBytes(), 176400);
  // A larger block sets the converter up again, with buffers for it.
  const std::vector<uint8_t> big = SineBytes(22050, 1, 500, 2.0);
  ASSERT_TRUE(c.CompressBlock(big.data(), static_cast<int>(big.size()), n));
  EXPECT_EQ(c.SourceBufferSize(), 88200);
  EXPECT_EQ(c.DestBufferSize(), 635040);
  EXPECT_EQ(n, 352800);
  EXPECT_EQ(c.TotalSourceBytes(), 88200);  // counted afresh
  c.CloseCompression();
  EXPECT_FALSE(c.Ready());
}

TEST(AudioCompressor, TwoStagesThroughAMedialPcmFormat) {
  // ADPCM 22050 mono to PCM 44100 stereo: the codec decodes, the converter resamples.
  TAudioCodecList& list = AudioCodecList();
  const TWaveFormat adpcm = list.FindDriver("MS-ADPCM")->Formats.Find("22,050 kHz; 4 Bit; Mono")->Format;
  const std::vector<uint8_t> pcm = SineBytes(22050, 1, 440, 1.0);
  TAudioCompressor enc;
  ASSERT_TRUE(enc.SetSourceFormat(MakePcmFormat(1, 22050, 16), static_cast<int>(pcm.size())));
  ASSERT_TRUE(enc.SetDestFormat(WAVE_FORMAT_ADPCM, 1, 22050, 4));
  EXPECT_EQ(enc.Destination(), adpcm);  // the catalogue's format, coefficients and all
  EXPECT_TRUE(enc.ShowHourglass());
  int n = 0;
  ASSERT_TRUE(enc.CompressBlock(pcm.data(), static_cast<int>(pcm.size()), n));
  EXPECT_FALSE(enc.TwoStage());
  std::vector<uint8_t> coded(enc.DestBuffer(), enc.DestBuffer() + n);
  EXPECT_EQ(n % 512, 0);
  ASSERT_TRUE(enc.FlushCompression(n));
  coded.insert(coded.end(), enc.DestBuffer(), enc.DestBuffer() + n);
  EXPECT_EQ(coded.size(), 22u * 512);  // ceil(22050 / 1012) blocks

  TAudioCompressor dec;
  ASSERT_TRUE(dec.SetSourceFormat(adpcm, static_cast<int>(coded.size())));
  ASSERT_TRUE(dec.SetDestFormat(WAVE_FORMAT_PCM, 2, 44100, 16));
  ASSERT_TRUE(dec.CompressBlock(coded.data(), static_cast<int>(coded.size()), n));
  EXPECT_TRUE(dec.TwoStage());
  EXPECT_EQ(dec.MedialText(), "Medial: format: WAVE_FORMAT_PCM, 1 channels, 16 bits, 22050 samples per second");
  EXPECT_EQ(dec.MedialBufferSize(),
            static_cast<int>(std::lround(44100 * 1.8 * coded.size() / adpcm.wf.nAvgBytesPerSec)));
  EXPECT_EQ(n, 22 * 1012 * 2 * 4);  // every decoded sample, twice the rate, stereo
  const std::vector<int16_t> out = AsSamples(dec.DestBuffer(), static_cast<size_t>(n));
  std::vector<int16_t> left;
  for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
  std::vector<int16_t> ideal;
  for (int i = 0; i < 44100; ++i) ideal.push_back(static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 440 * i / 44100))));
  EXPECT_GT(Correlation(ideal, left, 80), 0.99);
}

TEST(AudioCompressor, MedialTriesAndTheNumberedErrors) {
  TAudioCompressor c;
  // PCM to ADPCM at a rate the codec does not offer: no medial head works.
  ASSERT_TRUE(c.SetSourceFormat(MakePcmFormat(1, 22050, 16), 4410));
  ASSERT_TRUE(c.SetDestFormat(WAVE_FORMAT_ADPCM, 1, 12000, 4));
  EXPECT_EQ(c.Destination().wf.nBlockAlign, 0);  // computed: 1 x 4 / 8
  EXPECT_FALSE(c.InitCompression());
  int n = 0;
  EXPECT_EQ(RaisedText([&] { c.CompressData(n); }), "(Error $A03) Cannot initialize Compression !");
  std::vector<uint8_t> bigger(8820);
  EXPECT_EQ(RaisedText([&] { c.CompressBlock(bigger.data(), 8820, n); }),
            "(Error $A06) Cannot init compressing for changed source data size: 8820 !");

  // PCM 48000 stereo to MS ADPCM 22050 mono: the medial head (the destination's, 4 bits)
  // fails; 8 bits (the destination has no 16) works.
  TAudioCompressor d;
  const std::vector<uint8_t> pcm = SineBytes(48000, 2, 300, 0.5);
  ASSERT_TRUE(d.SetSourceFormat(MakePcmFormat(2, 48000, 16), static_cast<int>(pcm.size())));
  ASSERT_TRUE(d.SetDestFormat(WAVE_FORMAT_ADPCM, 1, 22050, 4));
  ASSERT_TRUE(d.CompressBlock(pcm.data(), static_cast<int>(pcm.size()), n));
  EXPECT_TRUE(d.TwoStage());
  EXPECT_EQ(d.Medial().wf.nSamplesPerSec, 22050u);
  EXPECT_EQ(d.Medial().wf.wBitsPerSample, 8);
  EXPECT_EQ(d.Medial().wf.nChannels, 1);
  EXPECT_EQ(n % 512, 0);
  EXPECT_GT(n, 0);

  // A source whose format the decoder refuses (no block size) fails at the stream.
  TWaveFormat broken = AudioCodecList().FindDriver("MS-ADPCM")->Formats.Find("22,050 kHz; 4 Bit; Mono")->Format;
  broken.wf.nBlockAlign = 0;
  TAudioCompressor e;
  ASSERT_TRUE(e.SetSourceFormat(broken, 1024));
  ASSERT_TRUE(e.SetDestFormat(WAVE_FORMAT_PCM, 1, 22050, 16));
  EXPECT_EQ(RaisedText([&] { e.CompressData(n); }),
            "(Error $A04) Cannot open stream: The requested operation cannot be performed. !");
  TAudioCompressor f;
  ASSERT_TRUE(f.SetSourceFormat(broken, 1024));
  ASSERT_TRUE(f.SetDestFormat(WAVE_FORMAT_PCM, 2, 44100, 16));
  EXPECT_EQ(RaisedText([&] { f.CompressData(n); }),
            "(Error $A08) Cannot open stream[0]: The requested operation cannot be performed. !");
}

TEST(AudioCompressor, OutputBeyondTheEstimateIsKept) {
  // A source that understates its rate (as a variable-rate MP3 header may) gets a
  // destination buffer too small by the formula; the buffer grows and nothing is lost.
  TAudioCompressor honest;
  TAudioCompressor liar;
  const std::vector<uint8_t> pcm = SineBytes(44100, 2, 300, 1.0);
  ASSERT_TRUE(honest.SetSourceFormat(MakePcmFormat(2, 44100, 16), static_cast<int>(pcm.size())));
  WAVEFORMATEX under = MakePcmFormat(2, 44100, 16);
  under.nAvgBytesPerSec = 4000000;  // the formula then gives a tiny buffer
  ASSERT_TRUE(liar.SetSourceFormat(under, static_cast<int>(pcm.size())));
  for (TAudioCompressor* c : {&honest, &liar}) ASSERT_TRUE(c->SetDestFormat(WAVE_FORMAT_PCM, 1, 22050, 8));
  EXPECT_LT(liar.DestBufferSize(), 2000);
  int a = 0, b = 0;
  ASSERT_TRUE(honest.CompressBlock(pcm.data(), static_cast<int>(pcm.size()), a));
  ASSERT_TRUE(liar.CompressBlock(pcm.data(), static_cast<int>(pcm.size()), b));
  EXPECT_EQ(a, 22050);
  ASSERT_EQ(b, a);
  EXPECT_EQ(0, std::memcmp(honest.DestBuffer(), liar.DestBuffer(), static_cast<size_t>(a)));
}

TEST(AudioCompressor, FilmBlocksToMp3AndTheLastFrames) {
  REQUIRE_PROGRAM("ffmpeg");
  TAudioCompressor c;
  ASSERT_TRUE(c.SetSourceFormat(MakePcmFormat(2, 44100, 16), 176400));
  ASSERT_TRUE(c.SetDestFormat(WAVE_FORMAT_MPEGLAYER3, 2, 44100, 16));
  if (c.Destination().wf.wFormatTag != WAVE_FORMAT_MPEGLAYER3) GTEST_SKIP();
  const std::vector<uint8_t> pcm = SineBytes(44100, 2, 440, 3.0);
  std::vector<uint8_t> mp3;
  int n = 0;
  bool encodes = true;
  try {
    for (size_t at = 0; at < pcm.size(); at += 176400) {
      ASSERT_TRUE(c.CompressBlock(pcm.data() + at, 176400, n));
      mp3.insert(mp3.end(), c.DestBuffer(), c.DestBuffer() + n);
    }
  } catch (const EAudioError&) {
    encodes = false;  // no MP3 encoder in this libavcodec
  }
  if (!encodes) GTEST_SKIP() << "no MP3 encoder";
  const size_t before = mp3.size();
  ASSERT_TRUE(c.FlushCompression(n));
  EXPECT_GT(n, 0);
  mp3.insert(mp3.end(), c.DestBuffer(), c.DestBuffer() + n);
  EXPECT_GT(mp3.size(), before);
  TTempDir tmp;
  WriteBytes(tmp.File("a.mp3"), mp3);
  const TCommandResult r = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                      Quote(tmp.File("a.mp3")));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  // All three seconds, with the encoder's padding.
  EXPECT_NEAR(std::stod(r.output), 3.0, 0.1);
}
