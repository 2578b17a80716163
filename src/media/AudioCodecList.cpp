#include "media/AudioCodecList.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "base/Trace.h"
#include "media/MmResultText.h"

namespace movara {
namespace {

// The texts of a failed count.
std::string MetricErrorText(MMRESULT r) {
  switch (r) {
    case MMSYSERR_INVALHANDLE: return "The specified handle is invalid";
    case MMSYSERR_NOTSUPPORTED: return "The index specified in uMetric is not supported";
    case MMSYSERR_INVALPARAM: return "At least one parameter is invalid";
    case ACMERR_NOTPOSSIBLE:
      return "The index specified in uMetric cannot be returned for the specified hao";
    default: return MmResultText(r);
  }
}

uint32_t ReadCount(uint32_t metric) {
  uint32_t value = 0;
  const MMRESULT r = acmMetrics(nullptr, metric, &value);
  if (r != MMSYSERR_NOERROR) throw EAudioError(Format(" Error: %s", MetricErrorText(r).c_str()));
  return value;
}

bool HeadMatchesSource(const WAVEFORMATEX& f, const TAudioFormatHead& source) {
  return f.wFormatTag == source.Tag && f.nChannels == source.Channels &&
         f.wBitsPerSample == source.Bits && (source.Rate == 0 || f.nSamplesPerSec == source.Rate);
}

bool HeadMatchesDestination(const WAVEFORMATEX& f, const TAudioFormatHead& dest) {
  return f.wFormatTag == dest.Tag && f.nChannels == dest.Channels &&
         f.nSamplesPerSec == dest.Rate && (dest.Bits == 0 || f.wBitsPerSample == dest.Bits);
}

bool IsSimplePcmHead(const TAudioFormatHead& h) {
  return h.Tag == WAVE_FORMAT_PCM && (h.Channels == 1 || h.Channels == 2) &&
         (h.Bits == 4 || h.Bits == 8 || h.Bits == 16) && h.Rate != 0;
}

}  // namespace

TAudioFormatHead HeadOf(const WAVEFORMATEX& wf) {
  TAudioFormatHead h;
  h.Tag = wf.wFormatTag;
  h.Channels = wf.nChannels;
  h.Bits = wf.wBitsPerSample;
  h.Rate = wf.nSamplesPerSec;
  return h;
}

TWaveFormat PcmFormatOf(const TAudioFormatHead& head) {
  TWaveFormat f;
  f.wf.wFormatTag = WAVE_FORMAT_PCM;
  f.wf.nChannels = head.Channels;
  f.wf.nSamplesPerSec = head.Rate;
  f.wf.wBitsPerSample = head.Bits;
  f.wf.nBlockAlign = static_cast<uint16_t>(head.Channels * head.Bits / 8);
  f.wf.nAvgBytesPerSec = static_cast<uint32_t>(f.wf.nBlockAlign) * head.Rate;
  return f;
}

void TAudioCodecFormatList::Add(const ACMFORMATDETAILS& details, const TWaveFormat& format) {
  auto item = std::make_unique<TAudioCodecFormat>();
  item->Description = details.szFormat;
  item->Format = format;
  item->Details = details;
  item->Details.pwfx = &item->Format;
  items_.push_back(std::move(item));
}

const TAudioCodecFormat* TAudioCodecFormatList::Find(const std::string& description) const {
  for (const auto& item : items_) {
    if (item->Description == description) return item.get();
  }
  return nullptr;
}

TAudioCodecList::TAudioCodecList() = default;

void TAudioCodecList::RefreshCodecs() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  drivers_.clear();
  version_ = acmGetVersion();
  codecs_ = ReadCount(ACM_METRIC_COUNT_CODECS);
  converters_ = ReadCount(ACM_METRIC_COUNT_CONVERTERS);
  driversMetric_ = ReadCount(ACM_METRIC_COUNT_DRIVERS);
  disabled_ = ReadCount(ACM_METRIC_COUNT_DISABLED);
  filters_ = ReadCount(ACM_METRIC_COUNT_FILTERS);
  hardware_ = ReadCount(ACM_METRIC_COUNT_HARDWARE);
  // Converters first (the PCM converter heads the list), then the codecs.
  for (uint32_t wanted : {ACMDRIVERDETAILS_SUPPORTF_CONVERTER, ACMDRIVERDETAILS_SUPPORTF_CODEC}) {
    acmDriverEnum(
        [&](HACMDRIVERID id, uint32_t support) {
          if (support & wanted) AddDriver(id);
          return true;
        },
        0);
  }
}

void TAudioCodecList::AddDriver(HACMDRIVERID id) {
  for (const auto& d : drivers_) {
    if (d->DriverId == id) return;
  }
  auto driver = std::make_unique<TAudioCodecDriver>();
  if (acmDriverDetails(id, &driver->Details, 0) != MMSYSERR_NOERROR) return;
  driver->ShortName = driver->Details.szShortName;
  driver->DriverId = id;
  HACMDRIVER had = nullptr;
  if (acmDriverOpen(&had, id, 0) != MMSYSERR_NOERROR) return;
  uint32_t maxSize = 0;
  if (acmMetrics(had, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize) != MMSYSERR_NOERROR) maxSize = 0;
  maxSize = std::max<uint32_t>(maxSize, WAVEFORMATEX::kSize);
  TWaveFormat buffer;
  ACMFORMATDETAILS afd;
  afd.pwfx = &buffer;
  afd.cbwfx = maxSize;
  acmFormatEnum(
      had, &afd,
      [&](HACMDRIVERID, ACMFORMATDETAILS* details, uint32_t) {
        driver->Formats.Add(*details, *details->pwfx);
        return true;
      },
      0);
  acmDriverClose(had, 0);
  if (driver->Formats.Count() == 0) return;
  drivers_.push_back(std::move(driver));
}

const TAudioCodecDriver* TAudioCodecList::FindDriver(const std::string& shortName) const {
  for (const auto& d : drivers_) {
    if (d->ShortName == shortName) return d.get();
  }
  return nullptr;
}

const TAudioCodecFormat* TAudioCodecList::FindFormat(uint16_t tag, uint16_t channels,
                                                     uint32_t rate, uint16_t bits) const {
  for (const auto& d : drivers_) {
    for (int i = 0; i < d->Formats.Count(); ++i) {
      const WAVEFORMATEX& f = d->Formats.Item(i).Format.wf;
      // A codec's format is also asked for by the depth of the PCM it is made from.
      const bool bitsMatch = f.wBitsPerSample == bits ||
                             (f.wFormatTag != WAVE_FORMAT_PCM && (bits == 8 || bits == 16));
      if (f.wFormatTag == tag && f.nChannels == channels && f.nSamplesPerSec == rate && bitsMatch) {
        return &d->Formats.Item(i);
      }
    }
  }
  return nullptr;
}

const TAudioCodecFormat* TAudioCodecList::FindMatchingFormat(const TWaveFormat& format) const {
  for (const auto& d : drivers_) {
    for (int i = 0; i < d->Formats.Count(); ++i) {
      const TWaveFormat& f = d->Formats.Item(i).Format;
      const WAVEFORMATEX& a = f.wf;
      const WAVEFORMATEX& b = format.wf;
      if (a.wFormatTag != b.wFormatTag || a.nChannels != b.nChannels ||
          a.nSamplesPerSec != b.nSamplesPerSec || a.nAvgBytesPerSec != b.nAvgBytesPerSec ||
          a.nBlockAlign != b.nBlockAlign || a.wBitsPerSample != b.wBitsPerSample) {
        continue;
      }
      const size_t n = std::min(f.extra.size(), format.extra.size());
      if (n == 0 || std::memcmp(f.extra.data(), format.extra.data(), n) == 0) {
        return &d->Formats.Item(i);
      }
    }
  }
  return nullptr;
}

bool TAudioCodecList::SearchConversion(const TAudioFormatHead& source,
                                       const TAudioFormatHead& destination,
                                       HACMDRIVERID& driverId, TWaveFormat& sourceFormat,
                                       TWaveFormat& destinationFormat) {
  TWaveFormat wanted = PcmFormatOf(destination);
  wanted.wf.wFormatTag = destination.Tag;
  uint32_t flags = ACM_FORMATENUMF_CONVERT | ACM_FORMATENUMF_WFORMATTAG |
                   ACM_FORMATENUMF_NCHANNELS | ACM_FORMATENUMF_NSAMPLESPERSEC;
  if (destination.Bits != 0) flags |= ACM_FORMATENUMF_WBITSPERSAMPLE;
  for (const auto& d : drivers_) {
    for (int i = 0; i < d->Formats.Count(); ++i) {
      const TWaveFormat& candidate = d->Formats.Item(i).Format;
      if (!HeadMatchesSource(candidate.wf, source)) continue;
      HACMDRIVER had = nullptr;
      if (acmDriverOpen(&had, d->DriverId, 0) != MMSYSERR_NOERROR) continue;
      uint32_t maxSize = 0;
      if (acmMetrics(had, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize) != MMSYSERR_NOERROR) maxSize = 0;
      TWaveFormat buffer = candidate;
      ACMFORMATDETAILS afd;
      afd.pwfx = &buffer;
      afd.cbwfx = std::max<uint32_t>(maxSize, WAVEFORMATEX::kSize);
      bool found = false;
      TWaveFormat result;
      acmFormatEnum(
          had, &afd,
          [&](HACMDRIVERID, ACMFORMATDETAILS* details, uint32_t) {
            if (!HeadMatchesDestination(details->pwfx->wf, destination)) return true;
            result = *details->pwfx;
            found = true;
            return false;
          },
          flags, &wanted);
      acmDriverClose(had, 0);
      if (found) {
        driverId = d->DriverId;
        sourceFormat = candidate;
        destinationFormat = result;
        lastFound_ = result;
        return true;
      }
    }
  }
  return false;
}

bool TAudioCodecList::FindConversion(const TAudioFormatHead& source,
                                     const TAudioFormatHead& destination,
                                     HACMDRIVERID& driverId, TWaveFormat& sourceFormat,
                                     TWaveFormat& destinationFormat) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (SearchConversion(source, destination, driverId, sourceFormat, destinationFormat))
    return true;
  if (!IsSimplePcmHead(source) || !IsSimplePcmHead(destination)) return false;
  // A PCM rate the converter does not list: find the converter through a format it
  // lists and let it take the heads as they are.
  TAudioFormatHead standard;
  standard.Tag = WAVE_FORMAT_PCM;
  standard.Channels = 1;
  standard.Bits = 8;
  standard.Rate = 22050;
  HACMDRIVERID id = nullptr;
  TWaveFormat s;
  TWaveFormat d;
  if (!SearchConversion(standard, destination, id, s, d)) return false;
  driverId = id;
  sourceFormat = PcmFormatOf(source);
  destinationFormat = PcmFormatOf(destination);
  lastFound_ = destinationFormat;
  return true;
}

TAudioCodecList& AudioCodecList() {
  static TAudioCodecList list;
  static std::once_flag filled;
  std::call_once(filled, [] { list.RefreshCodecs(); });
  return list;
}

}  // namespace movara
