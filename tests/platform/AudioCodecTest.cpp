#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/codecs/AudioAcm.h"

extern "C" {
#include <libavutil/log.h>
}
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

namespace {

struct TDriver {
  HACMDRIVERID id;
  uint32_t support;
  ACMDRIVERDETAILS details;
};

std::vector<TDriver> Drivers() {
  std::vector<TDriver> out;
  acmDriverEnum(
      [&](HACMDRIVERID id, uint32_t support) {
        TDriver d{id, support, {}};
        EXPECT_EQ(acmDriverDetails(id, &d.details, 0), MMSYSERR_NOERROR);
        out.push_back(d);
        return true;
      },
      0);
  return out;
}

HACMDRIVERID DriverNamed(const std::string& name) {
  for (const TDriver& d : Drivers())
    if (name == d.details.szShortName) return d.id;
  return nullptr;
}

// The formats a driver lists, or (convert) the ones it turns source into.
std::vector<std::pair<std::string, TWaveFormat>> Formats(HACMDRIVERID id, const TWaveFormat* source = nullptr,
                                                         const TWaveFormat* wanted = nullptr,
                                                         uint32_t flags = 0) {
  std::vector<std::pair<std::string, TWaveFormat>> out;
  HACMDRIVER had = nullptr;
  EXPECT_EQ(acmDriverOpen(&had, id, 0), MMSYSERR_NOERROR);
  TWaveFormat buffer;
  if (source) buffer = *source;
  ACMFORMATDETAILS afd;
  afd.pwfx = &buffer;
  afd.cbwfx = 256;
  acmFormatEnum(
      had, &afd,
      [&](HACMDRIVERID, ACMFORMATDETAILS* d, uint32_t) {
        out.emplace_back(d->szFormat, *d->pwfx);
        return true;
      },
      (source ? ACM_FORMATENUMF_CONVERT : 0) | flags, wanted);
  acmDriverClose(had, 0);
  return out;
}

TWaveFormat Pcm(int ch, int rate, int bits) { return TWaveFormat{MakePcmFormat(ch, rate, bits), {}}; }

const TWaveFormat* FindText(const std::vector<std::pair<std::string, TWaveFormat>>& list,
                            const std::string& text) {
  for (const auto& [t, f] : list)
    if (t == text) return &f;
  return nullptr;
}

// A sine of 16-bit samples, the same in every channel.
std::vector<int16_t> Sine(int rate, int channels, double hz, double seconds, double amp = 12000) {
  const int n = static_cast<int>(rate * seconds);
  std::vector<int16_t> v(static_cast<size_t>(n) * channels);
  for (int i = 0; i < n; ++i) {
    const auto s = static_cast<int16_t>(std::lround(amp * std::sin(2 * M_PI * hz * i / rate)));
    for (int c = 0; c < channels; ++c) v[static_cast<size_t>(i) * channels + c] = s;
  }
  return v;
}

std::vector<uint8_t> AsBytes(const std::vector<int16_t>& v) {
  std::vector<uint8_t> b(v.size() * 2);
  std::memcpy(b.data(), v.data(), b.size());
  return b;
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& b) {
  std::vector<int16_t> v(b.size() / 2);
  std::memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

// A stream that converts with calls of the given sizes (cycled), then finishes.
struct TConverter {
  HACMSTREAM has = nullptr;
  std::vector<size_t> perCall;  // output bytes of every call

  TConverter(HACMDRIVERID id, const TWaveFormat& src, const TWaveFormat& dst) {
    HACMDRIVER had = nullptr;
    EXPECT_EQ(acmDriverOpen(&had, id, 0), MMSYSERR_NOERROR);
    driver = had;
    EXPECT_EQ(acmStreamOpen(&has, had, &src, &dst, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
  }
  ~TConverter() {
    if (has) acmStreamClose(has, 0);
    acmDriverClose(driver, 0);
  }
  std::vector<uint8_t> Run(const std::vector<uint8_t>& input, std::vector<size_t> chunks, bool end = true) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> dst(1 << 20);
    size_t pos = 0;
    size_t k = 0;
    auto call = [&](const uint8_t* p, size_t n, uint32_t flags) {
      std::vector<uint8_t> src(p, p + n);
      ACMSTREAMHEADER h;
      h.pbSrc = src.data();
      h.cbSrcLength = static_cast<uint32_t>(n);
      h.pbDst = dst.data();
      h.cbDstLength = static_cast<uint32_t>(dst.size());
      EXPECT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
      EXPECT_EQ(acmStreamConvert(has, &h, flags), MMSYSERR_NOERROR);
      EXPECT_EQ(h.cbSrcLengthUsed, n);
      out.insert(out.end(), dst.begin(), dst.begin() + h.cbDstLengthUsed);
      perCall.push_back(h.cbDstLengthUsed);
      EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
    };
    while (pos < input.size()) {
      const size_t n = std::min(chunks[k++ % chunks.size()], input.size() - pos);
      call(input.data() + pos, n, ACM_STREAMCONVERTF_BLOCKALIGN);
      pos += n;
    }
    if (end) call(nullptr, 0, ACM_STREAMCONVERTF_END);
    return out;
  }
  HACMDRIVER driver = nullptr;
};

// A WAV file image of the format and data (with a "fact" chunk for compressed sound).
std::vector<uint8_t> WavImage(const TWaveFormat& f, const std::vector<uint8_t>& data, uint32_t samples = 0) {
  std::vector<uint8_t> out;
  TLEWriter w(out);
  const std::vector<uint8_t> fmt = f.Bytes();
  w.FourCC(ckidRIFF);
  w.U32(0);
  w.FourCC(formtypeWAVE);
  w.FourCC(ckidWAVEFORMAT);
  w.U32(static_cast<uint32_t>(fmt.size()));
  w.Bytes(fmt.data(), fmt.size());
  if (f.wf.wFormatTag != WAVE_FORMAT_PCM) {
    w.FourCC(mmioFOURCC('f', 'a', 'c', 't'));
    w.U32(4);
    w.U32(samples);
  }
  w.FourCC(ckidWAVEDATA);
  w.U32(static_cast<uint32_t>(data.size()));
  w.Bytes(data.data(), data.size());
  if (data.size() & 1) w.U8(0);
  PutLE32(out.data() + 4, static_cast<uint32_t>(out.size() - 8));
  return out;
}

// What the ffmpeg program decodes from a file, as 16-bit samples of the given channels.
std::vector<int16_t> FfmpegDecode(const std::string& file, int channels) {
  const std::string raw = file + ".raw";
  const TCommandResult r = RunCommand("ffmpeg -hide_banner -loglevel error -y -i " + Quote(file) +
                                      " -f s16le -ac " + std::to_string(channels) + " " + Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return AsSamples(ReadBytes(raw));
}

// The best normalised correlation of b against a over lags 0..maxLag (b late).
double BestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int maxLag,
                       int* lagOut = nullptr) {
  double best = -2;
  for (int lag = 0; lag <= maxLag; ++lag) {
    const size_t n = std::min(a.size(), b.size() > static_cast<size_t>(lag) ? b.size() - lag : 0);
    if (n < 100) break;
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
      const double x = a[i], y = b[i + static_cast<size_t>(lag)];
      ab += x * y;
      aa += x * x;
      bb += y * y;
    }
    const double c = (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0;
    if (c > best) {
      best = c;
      if (lagOut) *lagOut = lag;
    }
  }
  return best;
}

// Swings through zero (from below -1000 to above 1000 or back): twice a period.
int Swings(const std::vector<int16_t>& v, int channels, int channel) {
  int n = 0;
  int side = 0;
  for (size_t i = static_cast<size_t>(channel); i < v.size(); i += static_cast<size_t>(channels)) {
    const int now = v[i] > 1000 ? 1 : v[i] < -1000 ? -1 : 0;
    if (now != 0 && now != side) {
      if (side != 0) ++n;
      side = now;
    }
  }
  return n;
}

// Quiets the codec library while garbage is decoded on purpose.
struct TQuietCodecs {
  int old = av_log_get_level();
  TQuietCodecs() { av_log_set_level(AV_LOG_QUIET); }
  ~TQuietCodecs() { av_log_set_level(old); }
};

}  // namespace

TEST(AudioAcmCatalogue, DriversCountsAndDetails) {
  const std::vector<TDriver> drivers = Drivers();
  ASSERT_GE(drivers.size(), 5u);
  EXPECT_STREQ(drivers[0].details.szShortName, "MS-PCM");
  EXPECT_EQ(drivers[0].support, ACMDRIVERDETAILS_SUPPORTF_CONVERTER);
  std::map<std::string, uint32_t> support;
  for (const TDriver& d : drivers) {
    support[d.details.szShortName] = d.support;
    EXPECT_EQ(d.details.fccType, ACMDRIVERDETAILS_FCCTYPE_AUDIOCODEC);
    EXPECT_EQ(d.details.fdwSupport, d.support);
    EXPECT_GT(std::strlen(d.details.szLongName), 0u);
  }
  for (const char* name : {"MS-ADPCM", "IMA ADPCM", "CCITT G.711 A-Law", "CCITT G.711 µ-Law", "MPEG Layer-3"}) {
    ASSERT_TRUE(support.count(name)) << name;
    EXPECT_EQ(support[name], ACMDRIVERDETAILS_SUPPORTF_CODEC) << name;
  }

  uint32_t all = 0, codecs = 0, converters = 0, filters = 7, disabled = 7, hardware = 7;
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, &all), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_CODECS, &codecs), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_CONVERTERS, &converters), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_FILTERS, &filters), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DISABLED, &disabled), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_HARDWARE, &hardware), MMSYSERR_NOERROR);
  EXPECT_EQ(all, drivers.size());
  EXPECT_EQ(converters, 1u);
  EXPECT_EQ(codecs + converters, all);
  EXPECT_EQ(filters + disabled + hardware, 0u);

  uint32_t size = 0;
  EXPECT_EQ(acmMetrics(DriverNamed("MS-ADPCM"), ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 50u);  // 18 + samples per block, coefficient count, 7 pairs
  EXPECT_EQ(acmMetrics(DriverNamed("MS-PCM"), ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 18u);
  HACMDRIVER had = nullptr;
  ASSERT_EQ(acmDriverOpen(&had, DriverNamed("MPEG Layer-3"), 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmMetrics(had, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 30u);
  EXPECT_EQ(acmMetrics(had, ACM_METRIC_COUNT_DRIVERS, &size), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmDriverClose(had, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmDriverClose(had, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmMetrics(had, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmMetrics(nullptr, 9999, &size), MMSYSERR_NOTSUPPORTED);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_NE(acmGetVersion(), 0u);
}

TEST(AudioAcmCatalogue, FormatFieldsAndTexts) {
  const auto pcm = Formats(DriverNamed("MS-PCM"));
  EXPECT_EQ(pcm.size(), 36u);  // 9 rates, 8 and 16 bits, mono and stereo
  EXPECT_EQ(pcm.front().first, "5,000 kHz; 8 Bit; Mono");
  const TWaveFormat* cd = FindText(pcm, "44,100 kHz; 16 Bit; Stereo");
  ASSERT_TRUE(cd);
  EXPECT_EQ(cd->wf.nBlockAlign, 4);
  EXPECT_EQ(cd->wf.nAvgBytesPerSec, 176400u);
  EXPECT_TRUE(FindText(pcm, "11,025 kHz; 8 Bit; Mono"));

  const auto ms = Formats(DriverNamed("MS-ADPCM"));
  const TWaveFormat* a = FindText(ms, "22,050 kHz; 4 Bit; Mono");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->wf.wFormatTag, WAVE_FORMAT_ADPCM);
  EXPECT_EQ(a->wf.nBlockAlign, 512);
  EXPECT_EQ(a->wf.cbSize, 32);
  ASSERT_EQ(a->extra.size(), 32u);
  EXPECT_EQ(GetLE16(a->extra.data()), 1012);      // samples per block
  EXPECT_EQ(GetLE16(a->extra.data() + 2), 7);     // coefficient pairs
  EXPECT_EQ(static_cast<int16_t>(GetLE16(a->extra.data() + 8)), 512);  // pair 1
  EXPECT_EQ(static_cast<int16_t>(GetLE16(a->extra.data() + 10)), -256);
  EXPECT_EQ(static_cast<int16_t>(GetLE16(a->extra.data() + 30)), -232);  // pair 6, second
  EXPECT_EQ(a->wf.nAvgBytesPerSec, 22050u * 512 / 1012);
  const TWaveFormat* a44 = FindText(ms, "44,100 kHz; 4 Bit; Stereo");
  ASSERT_TRUE(a44);
  EXPECT_EQ(a44->wf.nBlockAlign, 2048);
  EXPECT_EQ(GetLE16(a44->extra.data()), 2036);

  const auto ima = Formats(DriverNamed("IMA ADPCM"));
  const TWaveFormat* i = FindText(ima, "22,050 kHz; 4 Bit; Mono");
  ASSERT_TRUE(i);
  EXPECT_EQ(i->wf.nBlockAlign, 512);
  EXPECT_EQ(i->wf.cbSize, 2);
  EXPECT_EQ(GetLE16(i->extra.data()), 1017);
  EXPECT_EQ(i->wf.nAvgBytesPerSec, 22050u * 512 / 1017);
  const TWaveFormat* i8 = FindText(ima, "8,000 kHz; 4 Bit; Stereo");
  ASSERT_TRUE(i8);
  EXPECT_EQ(i8->wf.nBlockAlign, 512);
  EXPECT_EQ(GetLE16(i8->extra.data()), 505);

  const auto alaw = Formats(DriverNamed("CCITT G.711 A-Law"));
  const TWaveFormat* g = FindText(alaw, "8,000 kHz; 8 Bit; Mono; A-Law");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->wf.wFormatTag, WAVE_FORMAT_ALAW);
  EXPECT_EQ(g->wf.nAvgBytesPerSec, 8000u);

  const auto mp3 = Formats(DriverNamed("MPEG Layer-3"));
  EXPECT_EQ(mp3.size(), 18u * 3);  // 9 rates, mono and stereo; PCM of 8 and 16 bits for each
  EXPECT_EQ(mp3.front().first, "16 kBit/s; 8,000 kHz; Mono");
  EXPECT_EQ(mp3.back().first, "48,000 kHz; 16 Bit; Stereo");
  const TWaveFormat* m = FindText(mp3, "128 kBit/s; 44,100 kHz; Stereo");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->wf.nAvgBytesPerSec, 16000u);
  EXPECT_EQ(m->wf.nBlockAlign, 1);
  EXPECT_EQ(m->wf.wBitsPerSample, 0);
  ASSERT_EQ(m->extra.size(), 12u);
  EXPECT_EQ(GetLE16(m->extra.data()), 1);        // MPEGLAYER3_ID_MPEG
  EXPECT_EQ(GetLE16(m->extra.data() + 6), 417);  // 144 x 128000 / 44100
  EXPECT_EQ(GetLE16(m->extra.data() + 8), 1);    // frames per block
  EXPECT_TRUE(FindText(mp3, "32 kBit/s; 22,050 kHz; Mono"));

  if (HACMDRIVERID gsm = DriverNamed("GSM 6.10")) {
    const auto list = Formats(gsm);
    const TWaveFormat* f = FindText(list, "8,000 kHz; Mono");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->wf.nBlockAlign, 65);
    EXPECT_EQ(f->wf.nAvgBytesPerSec, 1625u);
    EXPECT_EQ(GetLE16(f->extra.data()), 320);
  }
  // A buffer too small for the coefficient table passes those formats over: only the
  // codec's PCM formats are left.
  HACMDRIVER had = nullptr;
  ASSERT_EQ(acmDriverOpen(&had, DriverNamed("MS-ADPCM"), 0), MMSYSERR_NOERROR);
  TWaveFormat buffer;
  ACMFORMATDETAILS afd;
  afd.pwfx = &buffer;
  afd.cbwfx = 20;
  int seen = 0;
  EXPECT_EQ(acmFormatEnum(
                had, &afd,
                [&](HACMDRIVERID, ACMFORMATDETAILS* d, uint32_t) {
                  EXPECT_EQ(d->dwFormatTag, WAVE_FORMAT_PCM);
                  return ++seen, true;
                },
                0),
            MMSYSERR_NOERROR);
  EXPECT_EQ(seen, 28);  // 7 rates, mono and stereo, 8 and 16 bits
  acmDriverClose(had, 0);
}

TEST(AudioAcmCatalogue, ConvertEnumeration) {
  const TWaveFormat cd = Pcm(2, 44100, 16);
  const auto all = Formats(DriverNamed("MS-PCM"), &cd);
  EXPECT_EQ(all.size(), 36u);
  EXPECT_FALSE(FindText(all, "1,800 kHz; 8 Bit; Mono"));
  // A rate the converter does not list is offered when asked for.
  const TWaveFormat want = Pcm(1, 1800, 8);
  const auto odd = Formats(DriverNamed("MS-PCM"), &cd, &want,
                           ACM_FORMATENUMF_NSAMPLESPERSEC | ACM_FORMATENUMF_WBITSPERSAMPLE);
  ASSERT_EQ(odd.size(), 2u);
  EXPECT_EQ(odd[0].first, "1,800 kHz; 8 Bit; Mono");
  EXPECT_EQ(odd[1].second.wf.nChannels, 2);

  // A codec decodes to PCM of the same rate and channels, and encodes from it.
  const auto ms = Formats(DriverNamed("MS-ADPCM"));
  const TWaveFormat adpcm = *FindText(ms, "22,050 kHz; 4 Bit; Stereo");
  const auto dec = Formats(DriverNamed("MS-ADPCM"), &adpcm);
  ASSERT_EQ(dec.size(), 2u);
  EXPECT_EQ(dec[0].first, "22,050 kHz; 16 Bit; Stereo");
  EXPECT_EQ(dec[1].first, "22,050 kHz; 8 Bit; Stereo");
  const TWaveFormat pcm22 = Pcm(2, 22050, 16);
  const auto enc = Formats(DriverNamed("MS-ADPCM"), &pcm22);
  ASSERT_EQ(enc.size(), 1u);
  EXPECT_EQ(enc[0].second, adpcm);
  const TWaveFormat pcm12 = Pcm(1, 12000, 16);  // no ADPCM format at this rate
  EXPECT_TRUE(Formats(DriverNamed("MS-ADPCM"), &pcm12).empty());
  // The PCM converter takes no compressed source.
  EXPECT_TRUE(Formats(DriverNamed("MS-PCM"), &adpcm).empty());
}

TEST(AudioAcmStream, OpenQueryAndHeaderErrors) {
  const TWaveFormat adpcm = *FindText(Formats(DriverNamed("MS-ADPCM")), "22,050 kHz; 4 Bit; Mono");
  const TWaveFormat pcm22 = Pcm(1, 22050, 16);
  const TWaveFormat pcm44 = Pcm(2, 44100, 16);
  HACMDRIVER had = nullptr;
  ASSERT_EQ(acmDriverOpen(&had, DriverNamed("MS-ADPCM"), 0), MMSYSERR_NOERROR);
  // Codecs do not change rates.
  EXPECT_EQ(acmStreamOpen(nullptr, had, &adpcm, &pcm44, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(nullptr, had, &adpcm, &pcm22, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &pcm22, &pcm44, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
  TWaveFormat bad = pcm22;
  bad.wf.nBlockAlign = 3;  // not what 16-bit mono needs
  EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &bad, &pcm44, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);

  HACMSTREAM has = nullptr;
  ASSERT_EQ(acmStreamOpen(&has, had, &adpcm, &pcm22, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
  std::vector<uint8_t> src(512), dst(4096);
  ACMSTREAMHEADER h;
  h.pbSrc = src.data();
  h.cbSrcLength = 512;
  h.pbDst = dst.data();
  h.cbDstLength = 4096;
  EXPECT_EQ(acmStreamConvert(has, &h, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamPrepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
  EXPECT_EQ(acmStreamConvert(has, &h, 0x8000), MMSYSERR_INVALFLAG);
  EXPECT_EQ(acmStreamConvert(has, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
  EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
  EXPECT_EQ(h.cbDstLengthUsed, 1012u * 2);  // one block of 1012 samples
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamUnprepareHeader(has, &h, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamClose(has, 0), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(acmStreamConvert(has, &h, 0), MMSYSERR_INVALHANDLE);
  acmDriverClose(had, 0);
}

TEST(AudioAcmStream, PcmRateConversionGivesExactCountsAndKeepsThePitch) {
  const TWaveFormat src = Pcm(1, 22050, 16);
  const TWaveFormat dst = Pcm(2, 44100, 16);
  const std::vector<int16_t> sine = Sine(22050, 1, 1000, 1.0);
  TConverter c(DriverNamed("MS-PCM"), src, dst);
  // Odd call sizes, one of them cutting a sample in two.
  const std::vector<uint8_t> out = c.Run(AsBytes(sine), {1000, 3333, 4096, 7});
  size_t in = 0, expected = 0;
  const std::vector<size_t> chunks = {1000, 3333, 4096, 7};
  for (size_t k = 0; k + 1 < c.perCall.size(); ++k) {
    in += std::min(chunks[k % chunks.size()], sine.size() * 2 - in);
    const size_t total = in / 2 * 2;  // frames x 2 rate ratio
    EXPECT_EQ(c.perCall[k], total * 4 - expected) << "call " << k;
    expected = total * 4;
  }
  EXPECT_EQ(c.perCall.back(), 0u);
  ASSERT_EQ(out.size(), 44100u * 4);
  const std::vector<int16_t> s = AsSamples(out);
  for (size_t i = 0; i < s.size(); i += 2) ASSERT_EQ(s[i], s[i + 1]);  // mono copied to both
  EXPECT_NEAR(Swings(s, 2, 0), 1999, 1);
  // Against an ideal sine at the new rate, a little late (the filter's look-ahead).
  int lag = 0;
  const std::vector<int16_t> ideal = Sine(44100, 1, 1000, 1.0);
  std::vector<int16_t> left(s.size() / 2);
  for (size_t i = 0; i < left.size(); ++i) left[i] = s[2 * i];
  EXPECT_GT(BestCorrelation(ideal, left, 200, &lag), 0.999);
  EXPECT_LT(lag, 64);
}

TEST(AudioAcmStream, PcmDownToAnOddRateInWholeBlocks) {
  // The waveform cache feeds 44100 Hz blocks of 17640 bytes for 720 samples at 1800 Hz.
  const TWaveFormat src = Pcm(1, 44100, 8);
  const TWaveFormat dst = Pcm(1, 1800, 8);
  std::vector<uint8_t> input(17640 * 5, 128);
  TConverter c(DriverNamed("MS-PCM"), src, dst);
  c.Run(input, {17640}, false);
  ASSERT_EQ(c.perCall.size(), 5u);
  for (size_t n : c.perCall) EXPECT_EQ(n, 720u);
}

TEST(AudioAcmStream, PcmDepthAndChannelsAtTheSameRateAreExact) {
  const std::vector<int16_t> stereo = {1000, -1000, 32767, -32768, -1, 256, 300, 101};
  {
    TConverter c(DriverNamed("MS-PCM"), Pcm(2, 8000, 16), Pcm(2, 8000, 8));
    const std::vector<uint8_t> out = c.Run(AsBytes(stereo), {16});
    ASSERT_EQ(out.size(), stereo.size());
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], (stereo[i] >> 8) + 128) << i;
  }
  {
    TConverter c(DriverNamed("MS-PCM"), Pcm(2, 8000, 16), Pcm(1, 8000, 16));
    const std::vector<int16_t> out = AsSamples(c.Run(AsBytes(stereo), {16}));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0], 0);
    EXPECT_NEAR(out[1], -1, 1);  // (32767 - 32768) / 2
    EXPECT_NEAR(out[2], 127, 1);
    EXPECT_NEAR(out[3], 200, 1);
  }
  {
    const std::vector<uint8_t> mono8 = {0, 128, 255, 7};
    TConverter c(DriverNamed("MS-PCM"), Pcm(1, 8000, 8), Pcm(2, 8000, 16));
    const std::vector<int16_t> out = AsSamples(c.Run(mono8, {4}));
    const std::vector<int16_t> want = {-32768, -32768, 0, 0, 32512, 32512, -30976, -30976};
    EXPECT_EQ(out, want);
  }
}

TEST(AudioAcmStream, AFullDestinationKeepsTheRestForTheNextCall) {
  TConverter c(DriverNamed("MS-PCM"), Pcm(1, 8000, 16), Pcm(1, 16000, 16));
  const std::vector<uint8_t> input = AsBytes(Sine(8000, 1, 440, 0.5));
  std::vector<uint8_t> src = input;
  std::vector<uint8_t> small(1000);
  ACMSTREAMHEADER h;
  h.pbSrc = src.data();
  h.cbSrcLength = static_cast<uint32_t>(src.size());
  h.pbDst = small.data();
  h.cbDstLength = static_cast<uint32_t>(small.size());
  ASSERT_EQ(acmStreamPrepareHeader(c.has, &h, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(acmStreamConvert(c.has, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(h.cbSrcLengthUsed, src.size());
  size_t total = h.cbDstLengthUsed;
  EXPECT_EQ(total, 1000u);
  h.cbSrcLength = 0;
  for (int guard = 0; guard < 100 && h.cbDstLengthUsed > 0; ++guard) {
    ASSERT_EQ(acmStreamConvert(c.has, &h, 0), MMSYSERR_NOERROR);
    total += h.cbDstLengthUsed;
  }
  EXPECT_EQ(total, input.size() * 2);
  acmStreamUnprepareHeader(c.has, &h, 0);
}

TEST(AudioAcmStream, AdpcmEncodesWholeBlocksAndDecodesBack) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  for (const char* name : {"MS-ADPCM", "IMA ADPCM"}) {
    SCOPED_TRACE(name);
    const auto list = Formats(DriverNamed(name));
    const TWaveFormat adpcm = *FindText(list, "22,050 kHz; 4 Bit; Stereo");
    const int spb = GetLE16(adpcm.extra.data());
    const std::vector<int16_t> sine = Sine(22050, 2, 440, 1.0);
    TConverter enc(DriverNamed(name), Pcm(2, 22050, 16), adpcm);
    const std::vector<uint8_t> coded = enc.Run(AsBytes(sine), {22050 * 4 / 10});
    for (size_t k = 0; k + 1 < enc.perCall.size(); ++k) EXPECT_EQ(enc.perCall[k] % adpcm.wf.nBlockAlign, 0u);
    // 22050 samples make ceil(22050 / spb) blocks, the last one padded by the final call.
    EXPECT_EQ(coded.size(), static_cast<size_t>((22050 + spb - 1) / spb) * adpcm.wf.nBlockAlign);

    // Our decoder, fed in pieces that cut blocks, and the ffmpeg program agree.
    TConverter dec(DriverNamed(name), adpcm, Pcm(2, 22050, 16));
    const std::vector<int16_t> ours = AsSamples(dec.Run(coded, {700, 300}));
    const std::string file = tmp.File(std::string(name) == "MS-ADPCM" ? "ms.wav" : "ima.wav");
    WriteBytes(file, WavImage(adpcm, coded, 22050));
    const std::vector<int16_t> theirs = FfmpegDecode(file, 2);
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(ours, theirs);
    EXPECT_GT(BestCorrelation(sine, ours, 0), 0.99);
  }
}

TEST(AudioAcmStream, G711AndGsmRoundTripThroughTheFfmpegProgram) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  struct TCase {
    const char* driver;
    const char* format;
    int rate;
    int channels;
  };
  const TCase cases[] = {{"CCITT G.711 A-Law", "8,000 kHz; 8 Bit; Mono; A-Law", 8000, 1},
                         {"CCITT G.711 µ-Law", "22,050 kHz; 8 Bit; Stereo; µ-Law", 22050, 2},
                         {"GSM 6.10", "8,000 kHz; Mono", 8000, 1}};
  for (const TCase& t : cases) {
    SCOPED_TRACE(t.driver);
    HACMDRIVERID id = DriverNamed(t.driver);
    if (id == nullptr) continue;  // GSM only with libgsm
    const TWaveFormat f = *FindText(Formats(id), t.format);
    const std::vector<int16_t> sine = Sine(t.rate, t.channels, 300, 1.0);
    TConverter enc(id, Pcm(t.channels, t.rate, 16), f);
    const std::vector<uint8_t> coded = enc.Run(AsBytes(sine), {1234});
    const std::string file = tmp.File("g.wav");
    WriteBytes(file, WavImage(f, coded, static_cast<uint32_t>(t.rate)));
    const std::vector<int16_t> back = FfmpegDecode(file, t.channels);
    EXPECT_GE(back.size(), sine.size());
    EXPECT_GT(BestCorrelation(sine, back, 400), 0.95);
  }
}

TEST(AudioAcmStream, Mp3EncodesFramesAndDecodesAcrossCalls) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir tmp;
  const auto list = Formats(DriverNamed("MPEG Layer-3"));
  const TWaveFormat mp3 = *FindText(list, "128 kBit/s; 44,100 kHz; Stereo");
  const std::vector<int16_t> sine = Sine(44100, 2, 440, 2.0);
  const TWaveFormat pcm = Pcm(2, 44100, 16);
  HACMDRIVER had = nullptr;
  ASSERT_EQ(acmDriverOpen(&had, DriverNamed("MPEG Layer-3"), 0), MMSYSERR_NOERROR);
  const bool canEncode = acmStreamOpen(nullptr, had, &pcm, &mp3, ACM_STREAMOPENF_QUERY) == MMSYSERR_NOERROR;
  acmDriverClose(had, 0);
  if (!canEncode) GTEST_SKIP() << "no MP3 encoder in libavcodec";

  TConverter enc(DriverNamed("MPEG Layer-3"), pcm, mp3);
  const std::vector<uint8_t> coded = enc.Run(AsBytes(sine), {176400 / 4});
  // About 2 s at 128 kbit/s, whole frames starting with a header.
  EXPECT_NEAR(static_cast<double>(coded.size()), 32000.0, 2500.0);
  ASSERT_GE(coded.size(), 4u);
  EXPECT_EQ(coded[0], 0xFF);
  EXPECT_EQ(coded[1] & 0xE0, 0xE0);
  const std::string file = tmp.File("mp3.wav");
  WriteBytes(file, WavImage(mp3, coded, 88200));
  const std::vector<int16_t> theirs = FfmpegDecode(file, 2);
  int lag = 0;
  EXPECT_GT(BestCorrelation(sine, theirs, 3000, &lag), 0.98);

  // Decoding in pieces that cut frames gives what one call gives.
  TConverter whole(DriverNamed("MPEG Layer-3"), mp3, pcm);
  const std::vector<uint8_t> a = whole.Run(coded, {coded.size()});
  TConverter pieces(DriverNamed("MPEG Layer-3"), mp3, pcm);
  const std::vector<uint8_t> b = pieces.Run(coded, {100, 37, 1000});
  EXPECT_EQ(a, b);
  EXPECT_EQ(AsSamples(a), theirs);
}

TEST(AudioAcmStream, GarbageIntoTheDecodersIsHarmless) {
  TQuietCodecs quiet;
  std::mt19937 rng(7);
  std::vector<uint8_t> junk(50000);
  for (auto& b : junk) b = static_cast<uint8_t>(rng());
  // A few MP3-looking headers among the noise.
  for (size_t i = 100; i + 4 < junk.size(); i += 4000) {
    junk[i] = 0xFF;
    junk[i + 1] = 0xFB;
    junk[i + 2] = 0x90;
  }
  for (const char* name : {"MS-ADPCM", "IMA ADPCM", "MPEG Layer-3", "GSM 6.10"}) {
    SCOPED_TRACE(name);
    HACMDRIVERID id = DriverNamed(name);
    if (id == nullptr) continue;
    const auto list = Formats(id);
    const TWaveFormat& f = list.front().second;
    const TWaveFormat pcm = Pcm(f.wf.nChannels, static_cast<int>(f.wf.nSamplesPerSec), 16);
    TConverter dec(id, f, pcm);
    const std::vector<uint8_t> out = dec.Run(junk, {777, 4096});
    // Never more than the format could hold: at most 1152 samples per 24 bytes of MP3.
    EXPECT_LE(out.size(), junk.size() / 24 * 1152 * 4 + 4096);
  }
}
