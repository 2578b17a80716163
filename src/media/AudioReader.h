#pragma once
// Sound readers: a WAV file, or the sound stream of an AVI file, delivered as PCM in one
// destination format chosen by the user, converted on the fly.
//
// A PCM source of more than 999999 bytes is read in blocks of one second of source,
// each converted when it is needed; any other source is converted whole when opened.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/AudioCompressor.h"
#include "media/AudioError.h"
#include "platform/avifile/AviFile.h"
#include "platform/avifile/AviIO.h"
#include "platform/avifile/RiffTypes.h"

namespace movara {

class TAudioPlaySound;

class TCustomAudioReader {
 public:
  TCustomAudioReader();
  virtual ~TCustomAudioReader();
  TCustomAudioReader(const TCustomAudioReader&) = delete;
  TCustomAudioReader& operator=(const TCustomAudioReader&) = delete;

  // The destination becomes PCM of these values. An open reader with another format
  // opens its file again (and returns how that went).
  bool SetDestinationFormat(int channels, int bits, int rate);
  // Opens a file; when it is not there, the file of the same name in the data folder.
  // Conversion set-up errors raise EAudioError; a file that is no sound gives false.
  bool OpenFile(const std::string& fileName);
  void Close();
  // Copies PCM of [timeMs, timeMs + durationMs) (a negative duration: to the end), at
  // most maxBytes, into buffer; returns the bytes written (0 on any failure).
  int ReadData(int timeMs, int durationMs, int maxBytes, void* buffer);

  // Plays a block of sound held in memory (owned by the reader).
  TAudioPlaySound& PlaySound() { return *FPlaySound; }

  bool Opened() const { return FOpened; }
  const std::string& FileName() const { return FFileName; }
  int Duration() const { return FDuration; }  // milliseconds
  const TWaveFormat& SourceFormat() const { return FSourceFormat; }
  const WAVEFORMATEX& DestinationFormat() const { return FDestFormat; }
  bool SourceIsPCM() const { return FSourceIsPCM; }
  int64_t DataStart() const { return FDataStart; }
  int DataSize() const { return FDataSize; }
  int BlockCount() const { return FBlockCount; }
  int BlockSize() const { return FBlockSize; }
  int LastBlockSize() const { return FLastBlockSize; }
  int BlockIndex() const { return FBlockIndex; }
  // round(samples / rate x 1000) and round(ms / 1000 x rate) of the destination; 0 when
  // closed.
  int SamplesToTime(int64_t samples) const;
  int64_t TimeToSamples(int ms) const;

 protected:
  virtual bool OpenStream(const std::string& fileName);
  virtual void CloseStream();
  virtual void SeekStream(int64_t bytePosition);
  virtual int ReadStream(void* buffer, int count);

  // Set by OpenStream.
  TWaveFormat FSourceFormat;
  int64_t FDataStart = 0;
  int FDataSize = 0;

 private:
  bool UpdateBlock(int index);
  bool SetTimePosition(int ms);
  int ReadDataAt(int timeMs, int durationMs, int maxBytes, void* buffer);
  int BlockBytes(int index) const;

  TAudioCompressor FCompressor;
  std::unique_ptr<TAudioPlaySound> FPlaySound;
  std::string FFileName;
  bool FOpened = false;
  bool FSourceIsPCM = false;
  bool FConverterSet = false;
  int FBlockCount = 0;
  int FBlockSize = 0;
  int FLastBlockSize = 0;
  std::vector<uint8_t> FRawData;
  int FRawDataSize = 0;
  std::vector<uint8_t> FDestReadData;
  int FDestReadDataSize = 0;
  int FBlockIndex = -1;
  WAVEFORMATEX FDestFormat;
  int FDuration = 0;
  int FTimePosition = -1;
  int FReadPos = 0;
  int FLeft = 0;
};

class TWaveAudioReader : public TCustomAudioReader {
 public:
  TWaveAudioReader() = default;
  ~TWaveAudioReader() override;

 protected:
  bool OpenStream(const std::string& fileName) override;
  void CloseStream() override;
  void SeekStream(int64_t bytePosition) override;
  int ReadStream(void* buffer, int count) override;

 private:
  void ReadExact(uint64_t offset, void* buffer, size_t count);
  bool FindChunk(FOURCC id, uint64_t& pos, uint32_t& size);
  uint64_t NextChunk(uint64_t pos, uint32_t size);
  bool LooksLikeChunk(uint64_t pos);

  std::unique_ptr<TAviIO> FStream;
  uint64_t FFileSize = 0;
  uint64_t FPosition = 0;
};

// The sound stream of an AVI file, read by samples.
class TAVISnd {
 public:
  TAVISnd() = default;
  ~TAVISnd();
  TAVISnd(const TAVISnd&) = delete;
  TAVISnd& operator=(const TAVISnd&) = delete;

  // False (with a trace line) when the file or its sound stream cannot be opened.
  bool Open(const std::string& fileName);
  void Close();
  bool Opened() const { return FStream != nullptr; }
  void SetPosition(int32_t sample);
  int32_t Position() const { return FPosition; }
  // Reads whole samples from the position into buffer (at most count bytes); returns the
  // bytes read and moves the position on.
  int Read(void* buffer, int count);
  // Bytes of the stream before sample (the whole stream: sample = Start() + Length()).
  int64_t BytesBefore(int32_t sample) const;
  // The sample holding a byte of the stream.
  int32_t SampleAtByte(int64_t byte) const;

  const AVISTREAMINFO& StreamInfo() const { return FStreamInfo; }
  const TWaveFormat& Format() const { return FFormat; }
  uint32_t Scale() const { return FScale; }
  int32_t Start() const { return FStart; }
  int32_t Length() const { return FLength; }
  double Rate() const { return FRate; }
  uint32_t SampleSize() const { return FSampleSize; }
  const std::string& FileName() const { return FFileName; }

 private:
  PAVIFILE FFile = nullptr;
  PAVISTREAM FStream = nullptr;
  AVISTREAMINFO FStreamInfo;
  TWaveFormat FFormat;
  uint32_t FScale = 0;
  int32_t FStart = 0;
  int32_t FLength = 0;
  double FRate = 0;
  uint32_t FSampleSize = 0;
  int32_t FPosition = 0;
  std::string FFileName;
  std::vector<int64_t> FChunkStart;  // streams of chunks of varying size: byte of each, then the total
};

class TAviAudioReader : public TCustomAudioReader {
 public:
  TAviAudioReader() = default;
  ~TAviAudioReader() override;
  const TAVISnd& AviSnd() const { return FAviSnd; }

 protected:
  bool OpenStream(const std::string& fileName) override;
  void CloseStream() override;
  void SeekStream(int64_t bytePosition) override;
  int ReadStream(void* buffer, int count) override;

 private:
  TAVISnd FAviSnd;
};

}  // namespace movara
