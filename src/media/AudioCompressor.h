#pragma once
// Converts blocks of sound from a source format into a destination format through the
// audio compression manager: in one stage when a driver converts the two directly, else
// in two stages through an intermediate ("medial") PCM format.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/AudioCodecList.h"
#include "media/AudioError.h"

namespace movara {

class TAudioCompressor {
 public:
  TAudioCompressor();
  ~TAudioCompressor();
  TAudioCompressor(const TAudioCompressor&) = delete;
  TAudioCompressor& operator=(const TAudioCompressor&) = delete;

  // The source format (copied with its extra bytes) and the size of one source block.
  bool SetSourceFormat(const TWaveFormat& format, int bufferSize);
  bool SetSourceFormat(const WAVEFORMATEX& format, int bufferSize) {
    return SetSourceFormat(TWaveFormat{format, {}}, bufferSize);
  }
  // The destination by its head: the catalogue's full format when it lists one, else a
  // format with computed block align and bytes per second.
  bool SetDestFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits);

  // Finds the conversion and opens its streams; the numbered errors are raised.
  bool InitCompression();
  // Converts the whole source buffer (or the size given to the last CompressBlock).
  // False (and 0) on failure; raises "(Error $A03) ..." when it cannot be set up.
  bool CompressData(int& convertedSize);
  bool CompressBlock(const void* data, int size, int& convertedSize);
  // Finishes the stream: what the converters still hold (the last partial frame of an
  // encoder, its delay line) is converted into the destination buffer.
  bool FlushCompression(int& convertedSize);
  void CloseCompression();

  const uint8_t* DestBuffer() const { return destBuffer_.data(); }
  int DestBufferSize() const { return static_cast<int>(destBuffer_.size()); }
  int SourceBufferSize() const { return static_cast<int>(sourceBuffer_.size()); }
  int MedialBufferSize() const { return static_cast<int>(medialBuffer_.size()); }
  uint8_t* SourceBuffer() { return sourceBuffer_.data(); }

  const TWaveFormat& Source() const { return source_; }
  const TWaveFormat& Medial() const { return medial_; }
  const TWaveFormat& Destination() const { return dest_; }
  bool Ready() const { return ready_; }
  bool TwoStage() const { return twoStage_; }
  bool ShowHourglass() const { return showHourglass_; }
  int64_t TotalSourceBytes() const { return totalSource_; }
  int64_t TotalDestBytes() const { return totalDest_; }
  uint32_t LastResult() const { return lastResult_; }

  // "Source: format: WAVE_FORMAT_PCM, 2 channels, 16 bits, 44100 samples per second".
  static std::string FormatText(const char* name, const WAVEFORMATEX& format);
  std::string SourceText() const { return FormatText("Source", source_.wf); }
  std::string MedialText() const { return FormatText("Medial", medial_.wf); }
  std::string DestinationText() const { return FormatText("Destination", dest_.wf); }

  // The windows install a busy cursor here (shown while a compressed format converts).
  static std::function<void(bool busy)>& BusyCursorHook();

 private:
  int BufferSizeFor(uint32_t bytesPerSecond) const;
  bool TryMedial(const TAudioFormatHead& head, HACMDRIVERID& id0, TWaveFormat& med0,
                 HACMDRIVERID& id1, TWaveFormat& med1, TWaveFormat& dst1);
  bool RunStage(int stage, uint32_t srcLength, uint32_t flags, std::vector<uint8_t>& outBuffer,
                uint32_t& srcUsed, uint32_t& produced);
  bool Convert(uint32_t flags, int& convertedSize);
  void SetHeader(int stage, uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength);

  TWaveFormat source_;
  TWaveFormat medial_;
  TWaveFormat dest_;
  std::vector<uint8_t> sourceBuffer_;
  std::vector<uint8_t> medialBuffer_;
  std::vector<uint8_t> destBuffer_;
  uint32_t sourceLength_ = 0;  // stage 0's input length
  bool twoStage_ = false;
  bool ready_ = false;
  std::array<HACMDRIVERID, 2> driverId_{};
  std::array<HACMDRIVER, 2> driver_{};
  std::array<HACMSTREAM, 2> stream_{};
  std::array<ACMSTREAMHEADER, 2> header_{};
  std::array<TWaveFormat, 2> stageSource_;
  std::array<TWaveFormat, 2> stageDest_;
  int64_t totalSource_ = 0;
  int64_t totalDest_ = 0;
  bool showHourglass_ = false;
  uint32_t lastResult_ = 0;
};

}  // namespace movara
