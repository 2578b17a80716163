#pragma once
// Inside of the AVI service: the file and stream objects behind PAVIFILE and
// PAVISTREAM. Only the service's own sources (and white-box tests) include this.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile/AviFile.h"
#include "platform/avifile/AviIO.h"

namespace movara {

// One chunk of a stream as the index knows it.
struct TAviIndexEntry {
  uint64_t offset = 0;  // file offset of the data (past the 8-byte chunk header)
  uint32_t size = 0;    // data bytes (cut to what the file holds)
  uint32_t flags = 0;   // kEntryKey, kEntryMissing
};
inline constexpr uint32_t kEntryKey = 1;
inline constexpr uint32_t kEntryMissing = 2;  // the data lies outside the file

// OpenDML index types.
inline constexpr uint8_t AVI_INDEX_OF_INDEXES = 0x00;
inline constexpr uint8_t AVI_INDEX_OF_CHUNKS = 0x01;
inline constexpr uint32_t AVI_INDEX_DELTAFRAME = 0x80000000u;  // in a standard index size

// The largest stream format taken from a file; bigger ones are cut.
inline constexpr size_t kMaxAviFormatSize = 1 << 20;
// Stream numbers are two decimal digits in chunk ids.
inline constexpr int kMaxAviStreams = 100;

class TAviFile;

class TAviStream {
 public:
  TAviStream(TAviFile* file, int number) : file_(file), number_(number) {}

  TAviFile* File() const { return file_; }
  int Number() const { return number_; }

  // Reading (the public calls check the handle and forward here).
  AVISTREAMINFO Info() const;
  int32_t Start() const { return static_cast<int32_t>(info_.dwStart); }
  int32_t Length() const { return static_cast<int32_t>(info_.dwLength); }
  HRESULT ReadFormat(void* format, int32_t* size) const;
  HRESULT Read(int32_t start, int32_t samples, void* buffer, int32_t cbBuffer, int32_t* plBytes,
               int32_t* plSamples) const;
  int32_t FindSample(int32_t pos, int flags) const;

  // Writing.
  HRESULT SetFormat(const void* format, int32_t size);
  HRESULT Write(int32_t start, int32_t samples, const void* buffer, int32_t cbBuffer,
                uint32_t flags, int32_t* plSampWritten, int32_t* plBytesWritten);

  std::atomic<uint32_t> refs{0};

  // Filled by the parser (reading) or by the creator (writing).
  AVISTREAMINFO info_;
  std::vector<uint8_t> format_;
  bool hasFormat_ = false;
  // Reading: the sample size in use (0: one chunk is one sample; video is always 0).
  uint32_t sampleSize_ = 0;
  std::vector<TAviIndexEntry> index_;
  std::vector<uint64_t> byteStart_;  // sampleSize_ > 0: stream byte of each chunk, then the total
  std::vector<int32_t> keys_;        // frames (one chunk each) that are key frames, read or written
  // Writing.
  FOURCC chunkId_ = 0;
  uint32_t writeSampleSize_ = 0;
  uint64_t samplesDone_ = 0;   // samples in finished RIFF parts
  uint64_t partSamples_ = 0;   // samples in the current part
  uint32_t partChunks_ = 0;    // chunks in the current part
  uint32_t maxChunk_ = 0;
  uint64_t bytesWritten_ = 0;
  struct TSuperEntry {
    uint64_t offset;
    uint32_t size;
    uint32_t duration;
  };
  std::vector<TSuperEntry> super_;

  uint64_t WrittenLength() const { return samplesDone_ + partSamples_; }

 private:
  // The chunk at an index position, nullptr outside the index.
  const TAviIndexEntry* EntryAt(int64_t i) const;
  // The chunk's own header (read from the file when not given) agrees with the entry.
  bool HeaderAgrees(const TAviIndexEntry& e, const uint8_t* header = nullptr) const;

  TAviFile* file_;
  int number_;
  // Reading fixed-size samples: the chunk whose header the last read saw agree.
  mutable std::atomic<size_t> checkedChunk_{SIZE_MAX};
};

class TAviFile {
 public:
  TAviFile(std::shared_ptr<TAviIO> io, bool writing, const TAviWriteOptions& options);
  ~TAviFile();

  HRESULT OpenRead();  // AviFileParse.cpp
  bool Writing() const { return writing_; }
  TAviIO& IO() { return *io_; }
  uint64_t FileSize() const { return fileSize_; }

  AVIFILEINFO FileInfo() const;
  TAviStream* StreamOf(FOURCC type, int32_t index) const;
  HRESULT CreateStream(const AVISTREAMINFO& info, TAviStream** stream);
  // Called by TAviStream::Write.
  HRESULT WriteChunk(TAviStream& s, const void* data, uint32_t size, bool key);
  bool MoviStarted() const { return moviStarted_; }
  // Writes the header now (AVIFileWriteHeader); nothing to do once it is written.
  HRESULT WriteHeader() { return moviStarted_ ? AVIERR_OK : StartFile(false); }
  // Finishes a written file: indexes, sizes, headers. Called once, at the last release.
  void Finalise();

  std::atomic<uint32_t> refs{1};
  std::vector<std::unique_ptr<TAviStream>> streams_;

  // Main header as read (or as written).
  uint32_t usPerFrame_ = 0;
  uint32_t maxBytesPerSec_ = 0;
  uint32_t avihFlags_ = 0;
  uint32_t totalFrames_ = 0;
  uint32_t suggestedBuffer_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;

 private:
  struct TWriteEntry {
    uint64_t dataPos;
    uint32_t size;
    uint16_t stream;
    uint16_t key;
  };
  HRESULT StartFile(bool allowMissingFormats);
  HRESULT OpenPart();
  HRESULT FinishPart(bool last);
  HRESULT SwitchPart();
  void DropLastChunk();
  std::vector<uint8_t> BuildHeader(bool final) const;
  uint64_t PartIndexBytes(size_t entries) const;
  TAviStream* FirstVideo() const;

  std::shared_ptr<TAviIO> io_;
  bool writing_;
  TAviWriteOptions options_;
  uint64_t fileSize_ = 0;

  // Writing state.
  bool moviStarted_ = false;
  bool partOpen_ = false;
  bool hasIdx1_ = false;
  int part_ = 0;                // 0: the first RIFF ("AVI "), then "AVIX" parts
  uint64_t end_ = 0;            // bytes written so far
  uint64_t headerSize_ = 0;
  uint64_t riffStart_ = 0;      // the current part's RIFF header
  uint64_t moviListPos_ = 0;    // the current part's "LIST" of its movi list
  uint32_t riff0Size_ = 0;
  uint32_t firstPartFrames_ = 0;
  std::vector<TWriteEntry> partEntries_;
};

}  // namespace movara
