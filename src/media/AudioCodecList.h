#pragma once
// The process-wide catalogue of the audio compression manager's drivers and their
// formats, which the converters and the film settings consult.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/AudioError.h"
#include "platform/codecs/AudioAcm.h"

namespace movara {

// The four values that name a format: tag, channels, bits, rate.
struct TAudioFormatHead {
  uint16_t Tag = 0;
  uint16_t Channels = 0;
  uint16_t Bits = 0;
  uint32_t Rate = 0;
  bool operator==(const TAudioFormatHead&) const = default;
};

TAudioFormatHead HeadOf(const WAVEFORMATEX& wf);
inline TAudioFormatHead HeadOf(const TWaveFormat& f) { return HeadOf(f.wf); }
// A PCM format of a head: block align and bytes per second computed, no extra bytes.
TWaveFormat PcmFormatOf(const TAudioFormatHead& head);

// One format of a driver, keyed by its description text.
struct TAudioCodecFormat {
  std::string Description;
  ACMFORMATDETAILS Details;  // pwfx points at Format
  TWaveFormat Format;
};

class TAudioCodecFormatList {
 public:
  TAudioCodecFormatList() = default;
  TAudioCodecFormatList(const TAudioCodecFormatList&) = delete;
  TAudioCodecFormatList& operator=(const TAudioCodecFormatList&) = delete;

  void Add(const ACMFORMATDETAILS& details, const TWaveFormat& format);
  int Count() const { return static_cast<int>(items_.size()); }
  const TAudioCodecFormat& Item(int i) const { return *items_[static_cast<size_t>(i)]; }
  // The first format with this description, nullptr when none.
  const TAudioCodecFormat* Find(const std::string& description) const;

 private:
  std::vector<std::unique_ptr<TAudioCodecFormat>> items_;
};

// One driver, keyed by its short name.
struct TAudioCodecDriver {
  std::string ShortName;
  ACMDRIVERDETAILS Details;
  HACMDRIVERID DriverId = nullptr;
  TAudioCodecFormatList Formats;
};

class TAudioCodecList {
 public:
  TAudioCodecList();
  TAudioCodecList(const TAudioCodecList&) = delete;
  TAudioCodecList& operator=(const TAudioCodecList&) = delete;

  // Reads the version, the counts and every converter and codec with its formats.
  // Raises EAudioError " Error: %s" when a count cannot be read.
  void RefreshCodecs();

  int DriverCount() const { return static_cast<int>(drivers_.size()); }
  const TAudioCodecDriver& Driver(int i) const { return *drivers_[static_cast<size_t>(i)]; }
  const TAudioCodecDriver* FindDriver(const std::string& shortName) const;

  // The first format, in driver order and then format order, of this head. A codec's
  // format (not PCM) also matches 8 or 16 bits: the film asks for a codec by the depth of
  // its PCM (an MP3 or GSM format has 0 bits, ADPCM 4, G.711 8).
  const TAudioCodecFormat* FindFormat(uint16_t tag, uint16_t channels, uint32_t rate,
                                      uint16_t bits) const;
  // The first format whose first 16 bytes equal the format's and whose extra bytes
  // agree up to the shorter of the two.
  const TAudioCodecFormat* FindMatchingFormat(const TWaveFormat& format) const;
  // A driver that converts the source head into the destination head, with copies of
  // the formats it converts between. A source rate of 0 matches any rate, destination
  // bits of 0 any bits.
  bool FindConversion(const TAudioFormatHead& source, const TAudioFormatHead& destination,
                      HACMDRIVERID& driverId, TWaveFormat& sourceFormat,
                      TWaveFormat& destinationFormat);

  uint32_t Version() const { return version_; }
  uint32_t CodecCount() const { return codecs_; }
  uint32_t ConverterCount() const { return converters_; }
  uint32_t DriverCountMetric() const { return driversMetric_; }
  uint32_t DisabledCount() const { return disabled_; }
  uint32_t FilterCount() const { return filters_; }
  uint32_t HardwareCount() const { return hardware_; }
  // The destination format found by the last successful conversion search.
  const TWaveFormat& LastFoundFormat() const { return lastFound_; }

 private:
  bool SearchConversion(const TAudioFormatHead& source, const TAudioFormatHead& destination,
                        HACMDRIVERID& driverId, TWaveFormat& sourceFormat,
                        TWaveFormat& destinationFormat);
  void AddDriver(HACMDRIVERID id);

  std::vector<std::unique_ptr<TAudioCodecDriver>> drivers_;
  uint32_t version_ = 0;
  uint32_t codecs_ = 0;
  uint32_t converters_ = 0;
  uint32_t driversMetric_ = 0;
  uint32_t disabled_ = 0;
  uint32_t filters_ = 0;
  uint32_t hardware_ = 0;
  TWaveFormat lastFound_;
  std::recursive_mutex mutex_;
};

// The one catalogue, made (and filled) on first use.
TAudioCodecList& AudioCodecList();

}  // namespace movara
