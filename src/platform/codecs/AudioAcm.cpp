#include "platform/codecs/AudioAcm.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "base/Format.h"
#include "platform/codecs/AudioConvert.h"

namespace movara {

// A driver of the catalogue; its id handle points at it.
struct TAcmDriverIdTag {
  std::string shortName;
  std::string longName;
  std::string copyright;
  std::string licensing;
  std::string features;
  uint32_t support = 0;
  uint16_t tag = 0;  // the codec's format tag; 0 for the PCM converter
  bool canEncode = false;
  std::vector<TWaveFormat> formats;
  uint32_t maxFormatSize = WAVEFORMATEX::kSize;
};

struct TAcmDriverTag {
  HACMDRIVERID id = nullptr;
};

struct TAcmStreamTag {
  HACMDRIVERID id = nullptr;
  TWaveFormat src;
  TWaveFormat dst;
  std::unique_ptr<TAudioConverter> converter;
  std::vector<uint8_t> pending;  // converted bytes not yet delivered
  size_t pendingPos = 0;
  std::set<const ACMSTREAMHEADER*> prepared;
};

namespace {

constexpr uint32_t kAcmVersion = 0x01000000;     // 1.00
constexpr uint32_t kDriverVersion = 0x01000000;  // 1.00

// The rates the drivers list. The PCM converter lists every rate the film settings
// offer; the codecs the usual rates of their format.
const uint32_t kPcmRates[] = {5000, 8000, 10000, 11025, 16000, 22050, 32000, 44100, 48000};
const uint32_t kCodecRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
const uint32_t kGsmRates[] = {8000, 11025, 22050, 44100};
const uint32_t kMp3Rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// The MS ADPCM coefficient pairs.
const int16_t kMsAdpcmCoef[7][2] = {{256, 0},  {512, -256}, {0, 0},     {192, 64},
                                    {240, 0},  {460, -208}, {392, -232}};

TWaveFormat PcmFormat(int channels, uint32_t rate, int bits) {
  TWaveFormat f;
  f.wf = MakePcmFormat(channels, static_cast<int>(rate), bits);
  return f;
}

// Blocks of 256 bytes per channel, doubled for every full multiple of 11025 Hz.
uint16_t AdpcmBlockAlign(uint32_t rate, int channels) {
  const uint32_t k = std::max<uint32_t>(1, rate / 11025);
  return static_cast<uint16_t>(256 * channels * k);
}

TWaveFormat MsAdpcmFormat(uint32_t rate, int channels) {
  TWaveFormat f;
  f.wf.wFormatTag = WAVE_FORMAT_ADPCM;
  f.wf.nChannels = static_cast<uint16_t>(channels);
  f.wf.nSamplesPerSec = rate;
  f.wf.nBlockAlign = AdpcmBlockAlign(rate, channels);
  f.wf.wBitsPerSample = 4;
  const int spb = (f.wf.nBlockAlign - 7 * channels) * 8 / (4 * channels) + 2;
  f.wf.nAvgBytesPerSec = static_cast<uint32_t>(static_cast<uint64_t>(rate) * f.wf.nBlockAlign / spb);
  std::vector<uint8_t>& x = f.extra;
  TLEWriter w(x);
  w.U16(static_cast<uint16_t>(spb));
  w.U16(7);
  for (const auto& c : kMsAdpcmCoef) {
    w.I16(c[0]);
    w.I16(c[1]);
  }
  f.wf.cbSize = static_cast<uint16_t>(x.size());
  return f;
}

TWaveFormat ImaAdpcmFormat(uint32_t rate, int channels) {
  TWaveFormat f;
  f.wf.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
  f.wf.nChannels = static_cast<uint16_t>(channels);
  f.wf.nSamplesPerSec = rate;
  f.wf.nBlockAlign = AdpcmBlockAlign(rate, channels);
  f.wf.wBitsPerSample = 4;
  const int spb = (f.wf.nBlockAlign - 4 * channels) * 8 / (4 * channels) + 1;
  f.wf.nAvgBytesPerSec = static_cast<uint32_t>(static_cast<uint64_t>(rate) * f.wf.nBlockAlign / spb);
  TLEWriter w(f.extra);
  w.U16(static_cast<uint16_t>(spb));
  f.wf.cbSize = 2;
  return f;
}

TWaveFormat G711Format(uint16_t tag, uint32_t rate, int channels) {
  TWaveFormat f;
  f.wf.wFormatTag = tag;
  f.wf.nChannels = static_cast<uint16_t>(channels);
  f.wf.nSamplesPerSec = rate;
  f.wf.nBlockAlign = static_cast<uint16_t>(channels);
  f.wf.wBitsPerSample = 8;
  f.wf.nAvgBytesPerSec = rate * static_cast<uint32_t>(channels);
  return f;
}

TWaveFormat GsmFormat(uint32_t rate) {
  TWaveFormat f;
  f.wf.wFormatTag = WAVE_FORMAT_GSM610;
  f.wf.nChannels = 1;
  f.wf.nSamplesPerSec = rate;
  f.wf.nBlockAlign = 65;
  f.wf.wBitsPerSample = 0;
  f.wf.nAvgBytesPerSec = rate * 65 / 320;
  TLEWriter w(f.extra);
  w.U16(320);
  f.wf.cbSize = 2;
  return f;
}

// MPEG-1 rates (32000 Hz and up) carry 1152 samples a frame, the lower ones 576.
TWaveFormat Mp3Format(uint32_t rate, int channels, int codecDelay) {
  int kbps;
  if (rate >= 32000) {
    kbps = channels == 2 ? 128 : 64;
  } else if (rate >= 16000) {
    kbps = channels == 2 ? 64 : 32;
  } else {
    kbps = channels == 2 ? 32 : 16;
  }
  TWaveFormat f;
  f.wf.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  f.wf.nChannels = static_cast<uint16_t>(channels);
  f.wf.nSamplesPerSec = rate;
  f.wf.nAvgBytesPerSec = static_cast<uint32_t>(kbps * 1000 / 8);
  f.wf.nBlockAlign = 1;
  f.wf.wBitsPerSample = 0;
  const int factor = rate >= 32000 ? 144000 : 72000;
  TLEWriter w(f.extra);
  w.U16(1);  // wID: MPEGLAYER3_ID_MPEG
  w.U32(0);  // fdwFlags: MPEGLAYER3_FLAG_PADDING_ISO
  w.U16(static_cast<uint16_t>(factor * kbps / static_cast<int>(rate)));  // nBlockSize
  w.U16(1);  // nFramesPerBlock
  w.U16(static_cast<uint16_t>(codecDelay));
  f.wf.cbSize = 12;
  return f;
}

std::vector<TAcmDriverIdTag> BuildDrivers() {
  std::vector<TAcmDriverIdTag> list;
  const char* kCopyright = "Movara; FFmpeg (LGPL)";
  const char* kLicensing = "The codecs are those of the FFmpeg libraries the program runs with.";

  TAcmDriverIdTag pcm;
  pcm.shortName = "MS-PCM";
  pcm.longName = "PCM converter (libswresample)";
  pcm.copyright = kCopyright;
  pcm.licensing = kLicensing;
  pcm.features = "Converts PCM between sample rates, mono and stereo, 8 and 16 bits.";
  pcm.support = ACMDRIVERDETAILS_SUPPORTF_CONVERTER;
  for (uint32_t rate : kPcmRates) {
    for (int bits : {8, 16}) {
      for (int ch : {1, 2}) pcm.formats.push_back(PcmFormat(ch, rate, bits));
    }
  }
  list.push_back(std::move(pcm));

  auto addCodec = [&](uint16_t tag, const char* shortName, const char* longName,
                      const char* features, auto makeFormats) {
    if (!AudioDecoderExists(tag)) return;
    TAcmDriverIdTag d;
    d.shortName = shortName;
    d.longName = longName;
    d.copyright = kCopyright;
    d.licensing = kLicensing;
    d.features = features;
    d.support = ACMDRIVERDETAILS_SUPPORTF_CODEC;
    d.tag = tag;
    d.canEncode = AudioEncoderExists(tag);
    makeFormats(d.formats);
    // Then the PCM it makes and takes, so that a search from PCM finds the codec.
    std::vector<std::pair<uint32_t, int>> heads;
    for (const TWaveFormat& f : d.formats) {
      const std::pair<uint32_t, int> h(f.wf.nSamplesPerSec, f.wf.nChannels);
      if (std::find(heads.begin(), heads.end(), h) == heads.end()) heads.push_back(h);
    }
    for (const auto& [rate, ch] : heads) {
      for (int bits : {8, 16}) d.formats.push_back(PcmFormat(ch, rate, bits));
    }
    list.push_back(std::move(d));
  };
  addCodec(WAVE_FORMAT_ADPCM, "MS-ADPCM", "MS ADPCM codec (libavcodec)",
           "Compresses 16-bit PCM to 4 bits a sample in blocks with their own predictors.",
           [](std::vector<TWaveFormat>& v) {
             for (uint32_t r : kCodecRates)
               for (int ch : {1, 2}) v.push_back(MsAdpcmFormat(r, ch));
           });
  addCodec(WAVE_FORMAT_IMA_ADPCM, "IMA ADPCM", "IMA ADPCM codec (libavcodec)",
           "Compresses 16-bit PCM to 4 bits a sample (IMA/DVI ADPCM in WAV blocks).",
           [](std::vector<TWaveFormat>& v) {
             for (uint32_t r : kCodecRates)
               for (int ch : {1, 2}) v.push_back(ImaAdpcmFormat(r, ch));
           });
  addCodec(WAVE_FORMAT_ALAW, "CCITT G.711 A-Law", "CCITT G.711 A-Law codec (libavcodec)",
           "Compresses 16-bit PCM to 8-bit A-law samples.", [](std::vector<TWaveFormat>& v) {
             for (uint32_t r : kCodecRates)
               for (int ch : {1, 2}) v.push_back(G711Format(WAVE_FORMAT_ALAW, r, ch));
           });
  addCodec(WAVE_FORMAT_MULAW, "CCITT G.711 µ-Law", "CCITT G.711 µ-Law codec (libavcodec)",
           "Compresses 16-bit PCM to 8-bit µ-law samples.", [](std::vector<TWaveFormat>& v) {
             for (uint32_t r : kCodecRates)
               for (int ch : {1, 2}) v.push_back(G711Format(WAVE_FORMAT_MULAW, r, ch));
           });
  addCodec(WAVE_FORMAT_GSM610, "GSM 6.10", "GSM 6.10 codec (libavcodec)",
           "Compresses speech to 65-byte blocks of 320 samples.",
           [](std::vector<TWaveFormat>& v) {
             for (uint32_t r : kGsmRates) v.push_back(GsmFormat(r));
           });
  addCodec(WAVE_FORMAT_MPEGLAYER3, "MPEG Layer-3", "MPEG audio layer 3 codec (libavcodec)",
           "Decodes MPEG-1, 2 and 2.5 layer 3 audio; encodes it at constant bit rates.",
           [](std::vector<TWaveFormat>& v) {
             const int delay = AudioEncoderDelay(WAVE_FORMAT_MPEGLAYER3);
             for (uint32_t r : kMp3Rates)
               for (int ch : {1, 2}) v.push_back(Mp3Format(r, ch, delay));
           });

  for (TAcmDriverIdTag& d : list) {
    for (const TWaveFormat& f : d.formats) {
      d.maxFormatSize = std::max<uint32_t>(d.maxFormatSize,
                                           static_cast<uint32_t>(WAVEFORMATEX::kSize + f.extra.size()));
    }
  }
  return list;
}

std::vector<TAcmDriverIdTag>& Drivers() {
  static std::vector<TAcmDriverIdTag> drivers = BuildDrivers();
  return drivers;
}

// Open driver and stream handles, so that a stale or foreign handle is refused.
std::mutex g_handleMutex;
std::set<const void*> g_driverHandles;
std::set<const void*> g_streamHandles;

HACMDRIVERID ValidDriverId(HACMOBJ h) {
  for (TAcmDriverIdTag& d : Drivers()) {
    if (&d == h) return &d;
  }
  return nullptr;
}

HACMDRIVER ValidDriver(HACMOBJ h) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  return g_driverHandles.count(h) ? static_cast<HACMDRIVER>(const_cast<void*>(h)) : nullptr;
}

HACMSTREAM ValidStream(HACMOBJ h) {
  std::lock_guard<std::mutex> lock(g_handleMutex);
  return g_streamHandles.count(h) ? static_cast<HACMSTREAM>(const_cast<void*>(h)) : nullptr;
}

void CopyText(char* dst, size_t size, const std::string& text) {
  const size_t n = std::min(size - 1, text.size());
  std::memcpy(dst, text.data(), n);
  dst[n] = '\0';
}

bool SameRateChannels(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.nSamplesPerSec == b.nSamplesPerSec && a.nChannels == b.nChannels;
}

bool ValidCodecSource(const TAcmDriverIdTag& d, const WAVEFORMATEX& wf) {
  return d.tag != 0 && wf.wFormatTag == d.tag && (wf.nChannels == 1 || wf.nChannels == 2) &&
         wf.nSamplesPerSec >= kAcmMinPcmRate && wf.nSamplesPerSec <= kAcmMaxPcmRate;
}

// What a driver converts src into, in its order.
std::vector<TWaveFormat> ConvertTargets(const TAcmDriverIdTag& d, const TWaveFormat& src,
                                        const TWaveFormat* wanted, uint32_t flags) {
  std::vector<TWaveFormat> out;
  if (d.tag == 0) {
    if (!IsAcmPcm(src.wf)) return out;
    out = d.formats;
    if (wanted != nullptr && (flags & ACM_FORMATENUMF_NSAMPLESPERSEC)) {
      const uint32_t rate = wanted->wf.nSamplesPerSec;
      const bool listed = std::any_of(d.formats.begin(), d.formats.end(), [&](const TWaveFormat& f) {
        return f.wf.nSamplesPerSec == rate;
      });
      if (!listed && rate >= kAcmMinPcmRate && rate <= kAcmMaxPcmRate) {
        for (int bits : {8, 16})
          for (int ch : {1, 2}) out.push_back(PcmFormat(ch, rate, bits));
      }
    }
  } else if (ValidCodecSource(d, src.wf)) {
    for (int bits : {16, 8}) out.push_back(PcmFormat(src.wf.nChannels, src.wf.nSamplesPerSec, bits));
  } else if (IsAcmPcm(src.wf) && d.canEncode) {
    for (const TWaveFormat& f : d.formats) {
      if (f.wf.wFormatTag == d.tag && SameRateChannels(f.wf, src.wf)) out.push_back(f);
    }
  }
  return out;
}

bool Conforms(const TWaveFormat& f, const WAVEFORMATEX& r, uint32_t flags) {
  if ((flags & ACM_FORMATENUMF_WFORMATTAG) && f.wf.wFormatTag != r.wFormatTag) return false;
  if ((flags & ACM_FORMATENUMF_NCHANNELS) && f.wf.nChannels != r.nChannels) return false;
  if ((flags & ACM_FORMATENUMF_NSAMPLESPERSEC) && f.wf.nSamplesPerSec != r.nSamplesPerSec) return false;
  if ((flags & ACM_FORMATENUMF_WBITSPERSAMPLE) && f.wf.wBitsPerSample != r.wBitsPerSample) return false;
  return true;
}

// The converter a driver makes for src -> dst, nullptr when it cannot.
std::unique_ptr<TAudioConverter> MakeConverter(const TAcmDriverIdTag& d, const TWaveFormat& src,
                                               const TWaveFormat& dst) {
  if (d.tag == 0) return CreatePcmConverter(src.wf, dst.wf);
  if (ValidCodecSource(d, src.wf) && IsAcmPcm(dst.wf) && SameRateChannels(src.wf, dst.wf)) {
    return CreateAudioDecoder(src, dst.wf);
  }
  if (d.canEncode && IsAcmPcm(src.wf) && ValidCodecSource(d, dst.wf) &&
      SameRateChannels(src.wf, dst.wf)) {
    return CreateAudioEncoder(src.wf, dst);
  }
  return nullptr;
}

bool CountMetric(uint32_t metric) {
  switch (metric) {
    case ACM_METRIC_COUNT_DRIVERS:
    case ACM_METRIC_COUNT_CODECS:
    case ACM_METRIC_COUNT_CONVERTERS:
    case ACM_METRIC_COUNT_FILTERS:
    case ACM_METRIC_COUNT_DISABLED:
    case ACM_METRIC_COUNT_HARDWARE:
    case ACM_METRIC_COUNT_LOCAL_DRIVERS:
    case ACM_METRIC_COUNT_LOCAL_CODECS:
    case ACM_METRIC_COUNT_LOCAL_CONVERTERS:
    case ACM_METRIC_COUNT_LOCAL_FILTERS:
    case ACM_METRIC_COUNT_LOCAL_DISABLED:
      return true;
    default:
      return false;
  }
}

std::string KiloHertz(uint32_t rate) {
  return Format("%u,%03u kHz", rate / 1000, rate % 1000);
}

std::string ChannelsText(int channels) {
  if (channels == 1) return "Mono";
  if (channels == 2) return "Stereo";
  return Format("%d channels", channels);
}

}  // namespace

std::string AcmFormatText(const TWaveFormat& format) {
  const WAVEFORMATEX& w = format.wf;
  switch (w.wFormatTag) {
    case WAVE_FORMAT_MPEGLAYER3:
      return Format("%u kBit/s; %s; %s", w.nAvgBytesPerSec * 8 / 1000,
                    KiloHertz(w.nSamplesPerSec).c_str(), ChannelsText(w.nChannels).c_str());
    case WAVE_FORMAT_GSM610:
      return Format("%s; %s", KiloHertz(w.nSamplesPerSec).c_str(), ChannelsText(w.nChannels).c_str());
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      return Format("%s; %u Bit; %s; %s", KiloHertz(w.nSamplesPerSec).c_str(), w.wBitsPerSample,
                    ChannelsText(w.nChannels).c_str(), w.wFormatTag == WAVE_FORMAT_ALAW ? "A-Law" : "µ-Law");
    default:
      return Format("%s; %u Bit; %s", KiloHertz(w.nSamplesPerSec).c_str(), w.wBitsPerSample,
                    ChannelsText(w.nChannels).c_str());
  }
}

uint32_t acmGetVersion() { return kAcmVersion; }

MMRESULT acmMetrics(HACMOBJ hao, uint32_t uMetric, uint32_t* pMetric) {
  if (pMetric == nullptr) return MMSYSERR_INVALPARAM;
  HACMDRIVERID id = nullptr;
  if (hao != nullptr) {
    id = acmDriverIdOf(hao);
    if (id == nullptr && ValidStream(hao) == nullptr) return MMSYSERR_INVALHANDLE;
  }
  if (CountMetric(uMetric)) {
    if (hao != nullptr) return ACMERR_NOTPOSSIBLE;
    uint32_t n = 0;
    for (const TAcmDriverIdTag& d : Drivers()) {
      switch (uMetric) {
        case ACM_METRIC_COUNT_DRIVERS:
        case ACM_METRIC_COUNT_LOCAL_DRIVERS:
          ++n;
          break;
        case ACM_METRIC_COUNT_CODECS:
        case ACM_METRIC_COUNT_LOCAL_CODECS:
          n += (d.support & ACMDRIVERDETAILS_SUPPORTF_CODEC) ? 1 : 0;
          break;
        case ACM_METRIC_COUNT_CONVERTERS:
        case ACM_METRIC_COUNT_LOCAL_CONVERTERS:
          n += (d.support & ACMDRIVERDETAILS_SUPPORTF_CONVERTER) ? 1 : 0;
          break;
        case ACM_METRIC_COUNT_FILTERS:
        case ACM_METRIC_COUNT_LOCAL_FILTERS:
          n += (d.support & ACMDRIVERDETAILS_SUPPORTF_FILTER) ? 1 : 0;
          break;
        case ACM_METRIC_COUNT_HARDWARE:
          n += (d.support & ACMDRIVERDETAILS_SUPPORTF_HARDWARE) ? 1 : 0;
          break;
        default:  // disabled: none
          break;
      }
    }
    *pMetric = n;
    return MMSYSERR_NOERROR;
  }
  switch (uMetric) {
    case ACM_METRIC_MAX_SIZE_FORMAT: {
      if (hao != nullptr && id == nullptr) return ACMERR_NOTPOSSIBLE;
      uint32_t size = WAVEFORMATEX::kSize;
      for (const TAcmDriverIdTag& d : Drivers()) {
        if (id == nullptr || id == &d) size = std::max(size, d.maxFormatSize);
      }
      *pMetric = size;
      return MMSYSERR_NOERROR;
    }
    case ACM_METRIC_MAX_SIZE_FILTER:
      if (hao != nullptr && id == nullptr) return ACMERR_NOTPOSSIBLE;
      *pMetric = 0;
      return MMSYSERR_NOERROR;
    case ACM_METRIC_DRIVER_SUPPORT:
      if (id == nullptr) return ACMERR_NOTPOSSIBLE;
      *pMetric = id->support;
      return MMSYSERR_NOERROR;
    case ACM_METRIC_DRIVER_PRIORITY: {
      if (id == nullptr) return ACMERR_NOTPOSSIBLE;
      uint32_t i = 1;
      for (const TAcmDriverIdTag& d : Drivers()) {
        if (&d == id) break;
        ++i;
      }
      *pMetric = i;
      return MMSYSERR_NOERROR;
    }
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
}

MMRESULT acmDriverEnum(const ACMDRIVERENUMCB& callback, uint32_t fdwEnum) {
  if (!callback) return MMSYSERR_INVALPARAM;
  if (fdwEnum & ~(ACM_DRIVERENUMF_NOLOCAL | ACM_DRIVERENUMF_DISABLED)) return MMSYSERR_INVALFLAG;
  for (TAcmDriverIdTag& d : Drivers()) {
    if (!callback(&d, d.support)) break;
  }
  return MMSYSERR_NOERROR;
}

MMRESULT acmDriverDetails(HACMDRIVERID hadid, ACMDRIVERDETAILS* padd, uint32_t fdwDetails) {
  if (padd == nullptr) return MMSYSERR_INVALPARAM;
  if (fdwDetails != 0) return MMSYSERR_INVALFLAG;
  HACMDRIVERID id = ValidDriverId(hadid);
  if (id == nullptr) return MMSYSERR_INVALHANDLE;
  ACMDRIVERDETAILS d;
  d.fccType = ACMDRIVERDETAILS_FCCTYPE_AUDIOCODEC;
  d.vdwACM = kAcmVersion;
  d.vdwDriver = kDriverVersion;
  d.fdwSupport = id->support;
  d.cFormatTags = id->tag == 0 ? 1 : 2;
  CopyText(d.szShortName, sizeof d.szShortName, id->shortName);
  CopyText(d.szLongName, sizeof d.szLongName, id->longName);
  CopyText(d.szCopyright, sizeof d.szCopyright, id->copyright);
  CopyText(d.szLicensing, sizeof d.szLicensing, id->licensing);
  CopyText(d.szFeatures, sizeof d.szFeatures, id->features);
  *padd = d;
  return MMSYSERR_NOERROR;
}

MMRESULT acmDriverOpen(HACMDRIVER* phad, HACMDRIVERID hadid, uint32_t fdwOpen) {
  if (phad == nullptr) return MMSYSERR_INVALPARAM;
  *phad = nullptr;
  if (fdwOpen != 0) return MMSYSERR_INVALFLAG;
  HACMDRIVERID id = ValidDriverId(hadid);
  if (id == nullptr) return MMSYSERR_INVALHANDLE;
  auto* h = new TAcmDriverTag;
  h->id = id;
  std::lock_guard<std::mutex> lock(g_handleMutex);
  g_driverHandles.insert(h);
  *phad = h;
  return MMSYSERR_NOERROR;
}

MMRESULT acmDriverClose(HACMDRIVER had, uint32_t fdwClose) {
  if (fdwClose != 0) return MMSYSERR_INVALFLAG;
  std::lock_guard<std::mutex> lock(g_handleMutex);
  if (g_driverHandles.erase(had) == 0) return MMSYSERR_INVALHANDLE;
  delete had;
  return MMSYSERR_NOERROR;
}

HACMDRIVERID acmDriverIdOf(HACMOBJ hao) {
  if (HACMDRIVERID id = ValidDriverId(hao)) return id;
  if (HACMDRIVER h = ValidDriver(hao)) return h->id;
  return nullptr;
}

MMRESULT acmFormatEnum(HACMDRIVER had, ACMFORMATDETAILS* pafd, const ACMFORMATENUMCB& callback,
                       uint32_t fdwEnum, const TWaveFormat* wanted) {
  if (pafd == nullptr || !callback || pafd->pwfx == nullptr) return MMSYSERR_INVALPARAM;
  if (pafd->cbStruct < sizeof(ACMFORMATDETAILS)) return MMSYSERR_INVALPARAM;
  const uint32_t known = ACM_FORMATENUMF_WFORMATTAG | ACM_FORMATENUMF_NCHANNELS |
                         ACM_FORMATENUMF_NSAMPLESPERSEC | ACM_FORMATENUMF_WBITSPERSAMPLE |
                         ACM_FORMATENUMF_CONVERT | ACM_FORMATENUMF_SUGGEST |
                         ACM_FORMATENUMF_HARDWARE | ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT;
  if (fdwEnum & ~known) return MMSYSERR_INVALFLAG;
  if (fdwEnum & (ACM_FORMATENUMF_SUGGEST | ACM_FORMATENUMF_HARDWARE | ACM_FORMATENUMF_INPUT |
                 ACM_FORMATENUMF_OUTPUT)) {
    return MMSYSERR_NOTSUPPORTED;
  }
  HACMDRIVERID only = nullptr;
  if (had != nullptr) {
    HACMDRIVER h = ValidDriver(had);
    if (h == nullptr) return MMSYSERR_INVALHANDLE;
    only = h->id;
  }
  const bool convert = (fdwEnum & ACM_FORMATENUMF_CONVERT) != 0;
  const TWaveFormat source = *pafd->pwfx;
  const WAVEFORMATEX restrict = wanted != nullptr ? wanted->wf : source.wf;
  if (convert && source.wf.wFormatTag == 0) return MMSYSERR_INVALPARAM;
  uint32_t index = 0;
  for (TAcmDriverIdTag& d : Drivers()) {
    if (only != nullptr && only != &d) continue;
    const std::vector<TWaveFormat> list =
        convert ? ConvertTargets(d, source, wanted, fdwEnum) : d.formats;
    for (const TWaveFormat& f : list) {
      if (!Conforms(f, restrict, fdwEnum)) continue;
      if (WAVEFORMATEX::kSize + f.extra.size() > pafd->cbwfx) continue;
      *pafd->pwfx = f;
      pafd->dwFormatIndex = index++;
      pafd->dwFormatTag = f.wf.wFormatTag;
      pafd->fdwSupport = d.support;
      CopyText(pafd->szFormat, sizeof pafd->szFormat, AcmFormatText(f));
      if (!callback(&d, pafd, d.support)) return MMSYSERR_NOERROR;
    }
  }
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const TWaveFormat* pwfxSrc,
                       const TWaveFormat* pwfxDst, uint32_t fdwOpen) {
  const bool query = (fdwOpen & ACM_STREAMOPENF_QUERY) != 0;
  if (phas != nullptr) *phas = nullptr;
  if (fdwOpen & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME))
    return MMSYSERR_INVALFLAG;
  if ((phas == nullptr && !query) || pwfxSrc == nullptr || pwfxDst == nullptr)
    return MMSYSERR_INVALPARAM;
  if (fdwOpen & ACM_STREAMOPENF_ASYNC) return ACMERR_NOTPOSSIBLE;
  HACMDRIVERID only = nullptr;
  if (had != nullptr) {
    HACMDRIVER h = ValidDriver(had);
    if (h == nullptr) return MMSYSERR_INVALHANDLE;
    only = h->id;
  }
  for (TAcmDriverIdTag& d : Drivers()) {
    if (only != nullptr && only != &d) continue;
    std::unique_ptr<TAudioConverter> conv = MakeConverter(d, *pwfxSrc, *pwfxDst);
    if (!conv) continue;
    if (query) return MMSYSERR_NOERROR;
    auto* s = new TAcmStreamTag;
    s->id = &d;
    s->src = *pwfxSrc;
    s->dst = *pwfxDst;
    s->converter = std::move(conv);
    std::lock_guard<std::mutex> lock(g_handleMutex);
    g_streamHandles.insert(s);
    *phas = s;
    return MMSYSERR_NOERROR;
  }
  return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose) {
  if (fdwClose != 0) return MMSYSERR_INVALFLAG;
  std::lock_guard<std::mutex> lock(g_handleMutex);
  if (g_streamHandles.erase(has) == 0) return MMSYSERR_INVALHANDLE;
  delete has;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize) {
  HACMSTREAM s = ValidStream(has);
  if (s == nullptr) return MMSYSERR_INVALHANDLE;
  if (pdwOutputBytes == nullptr || fdwSize > ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALPARAM;
  const WAVEFORMATEX& a = fdwSize == ACM_STREAMSIZEF_SOURCE ? s->src.wf : s->dst.wf;
  const WAVEFORMATEX& b = fdwSize == ACM_STREAMSIZEF_SOURCE ? s->dst.wf : s->src.wf;
  if (a.nAvgBytesPerSec == 0 || b.nAvgBytesPerSec == 0) return ACMERR_NOTPOSSIBLE;
  // By the average rates, with a block of slack either side.
  const uint64_t n = (static_cast<uint64_t>(cbInput) + a.nBlockAlign) * b.nAvgBytesPerSec /
                         a.nAvgBytesPerSec + b.nBlockAlign;
  *pdwOutputBytes = static_cast<uint32_t>(std::min<uint64_t>(n, UINT32_MAX));
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare) {
  HACMSTREAM s = ValidStream(has);
  if (s == nullptr) return MMSYSERR_INVALHANDLE;
  if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
  if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if ((pash->pbSrc == nullptr && pash->cbSrcLength > 0) ||
      (pash->pbDst == nullptr && pash->cbDstLength > 0)) {
    return MMSYSERR_INVALPARAM;
  }
  s->prepared.insert(pash);
  pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare) {
  HACMSTREAM s = ValidStream(has);
  if (s == nullptr) return MMSYSERR_INVALHANDLE;
  if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
  if (pash == nullptr) return MMSYSERR_INVALPARAM;
  if (s->prepared.erase(pash) == 0) return ACMERR_UNPREPARED;
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert) {
  HACMSTREAM s = ValidStream(has);
  if (s == nullptr) return MMSYSERR_INVALHANDLE;
  if (fdwConvert & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START |
                     ACM_STREAMCONVERTF_END)) {
    return MMSYSERR_INVALFLAG;
  }
  if (pash == nullptr) return MMSYSERR_INVALPARAM;
  if (s->prepared.count(pash) == 0) return ACMERR_UNPREPARED;
  if ((pash->pbSrc == nullptr && pash->cbSrcLength > 0) ||
      (pash->pbDst == nullptr && pash->cbDstLength > 0)) {
    return MMSYSERR_INVALPARAM;
  }
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
  pash->cbSrcLengthUsed = 0;
  pash->cbDstLengthUsed = 0;
  if (fdwConvert & ACM_STREAMCONVERTF_START) {
    s->converter->Reset();
    s->pending.clear();
    s->pendingPos = 0;
  }
  // Everything given is taken; what the destination cannot hold waits for the next call.
  if (pash->cbSrcLength > 0 || (fdwConvert & ACM_STREAMCONVERTF_END)) {
    try {
      if (s->pendingPos > 0) {
        s->pending.erase(s->pending.begin(), s->pending.begin() + static_cast<std::ptrdiff_t>(s->pendingPos));
        s->pendingPos = 0;
      }
      if (!s->converter->Convert(pash->pbSrc, pash->cbSrcLength,
                                 (fdwConvert & ACM_STREAMCONVERTF_END) != 0, s->pending)) {
        pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
        return MMSYSERR_ERROR;
      }
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    }
    pash->cbSrcLengthUsed = pash->cbSrcLength;
  }
  const size_t avail = s->pending.size() - s->pendingPos;
  const size_t n = std::min<size_t>(avail, pash->cbDstLength);
  if (n > 0) std::memcpy(pash->pbDst, s->pending.data() + s->pendingPos, n);
  s->pendingPos += n;
  if (s->pendingPos == s->pending.size()) {
    s->pending.clear();
    s->pendingPos = 0;
  }
  pash->cbDstLengthUsed = static_cast<uint32_t>(n);
  pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

}  // namespace movara
