#pragma once
// TAVIMaker writes the generated film into an AVI file: one video stream (frames of the
// frame picture, compressed by TVideoCompressor or stored as DIB rows, or runs of
// compressed frames copied unchanged from a source AVI) and one sound stream (PCM
// blocks converted by the audio compressor). When the file would pass its size limit,
// the film goes on in "<name>01.AVI", "<name>02.AVI", ... Every file starts with a key
// frame, holds at least one frame (or block of sound) and ends where the video has
// caught up with the sound.
//
// The files are written under temporary names beside their targets (TFilmOutput) and
// take their names when the film is closed; a film abandoned after a failure leaves the
// older files as they were. Closing also removes continuation files of an older, longer
// film of ours past the last one written.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"
#include "media/AudioCompressor.h"
#include "media/Avi.h"
#include "output/FilmOutput.h"
#include "output/FilmWriter.h"
#include "output/VideoCompressorSession.h"
#include "platform/avifile/AviFile.h"

namespace movara {

MOVARA_EXCEPTION(EAviMaker);

// The smallest file size limit the writer takes (under 4 GB); below it files are not split.
inline constexpr int64_t kSmallestMaxAviFileSize = 20971521;

// The video options of a film (FVO).
struct TAviVideoOptions {
  bool MakeVideo = false;
  bool Compress = false;
  TDIB* DIB = nullptr;  // the frame picture, read at every frame (not owned)
  int FramesPerSecond = 25;
  bool UseGivenSettings = false;  // open the compressor of Compvars instead of asking
  TCompVars Compvars;
  const uint8_t* StateBlock = nullptr;  // the compressor's saved state (not owned)
  int StateSize = 0;
  TAVIData* AVIData = nullptr;  // the raw-copy buffer (not owned)
  // The film's own stop request (not owned): a raw-copy run reads it after every frame,
  // so stopping needs no lock on the maker.
  const std::atomic<bool>* Break = nullptr;
};

// The audio options of a film.
struct TAviAudioOptions {
  bool MakeAudio = false;
  WAVEFORMATEX SourceFormat;  // the PCM of the blocks handed over
  WAVEFORMATEX DestFormat;    // the film's sound (tag, channels, rate, bits)
  int BlockSize = 0;          // bytes of one source block
  int BlockDuration = 0;      // ms of one block
};

class TAVIMaker : public TFilmWriter {
 public:
  // Opens the file and its streams; Initialized() tells whether the film can be written.
  // Raises EAviMaker for a missing frame picture or an unknown sound codec,
  // EVideoCompressor when the compressor cannot start. Nothing of an older film of that
  // name is touched here: a film that cannot start leaves it as it was.
  TAVIMaker(TWindowHandle window, const TAviAudioOptions& audio, const TAviVideoOptions& video,
            const std::string& fileName);
  // Close().
  ~TAVIMaker() override;
  TAVIMaker(const TAVIMaker&) = delete;
  TAVIMaker& operator=(const TAVIMaker&) = delete;

  // The picture's current bits as the next frame.
  bool AddVideoFrame() override;
  // The raw-copy run of FVO.AVIData, cut to maxFrames when 0 < maxFrames < its count.
  bool AddVideoSeries(int maxFrames) override;
  int LastSeriesFrames() const override { return FLastSeriesFrames; }
  // One block of source PCM.
  bool AddAudioData(const void* data, int size) override;
  // Bytes a file may reach before the film goes on in the next one (kSmallestMaxAviFileSize
  // at least; a smaller or negative limit keeps 2 GB, and 4 GB or more never splits).
  void SetMaxFileSize(int64_t limit) override;

  // Ends a raw-copy run after its current frame (set from another thread; see also
  // TAviVideoOptions::Break).
  std::atomic<bool> FBreakVideoSeriesLoop{false};

  // Closes everything now (what destruction does): the last file is trimmed and the
  // film's files take their names. False, after its message, when one could not. Later
  // adds return false.
  bool Close() override;
  // Closes everything and removes the film's files: the older files of these names stay
  // as they were (a film that failed).
  void Abandon() override;
  // The files the closed film left, the film first.
  const std::vector<std::string>& Files() const override { return FOutput.Committed(); }

  bool Initialized() const override { return FInitialized; }
  const std::string& FileName() const { return FFileName; }
  const std::string& BaseName() const { return FBaseName; }
  // The file being written (the first one or the last continuation file), by the name it
  // takes when the film is closed.
  const std::string& CurrentFileName() const { return FCurrentFileName; }
  int ContinuationCount() const override { return FContinuationCount; }
  int64_t MaxFrameDataSize() const { return FMaxFrameDataSize; }
  int64_t TotalWrittenDataSize() const { return fTotalWrittenDataSize; }
  uint32_t MaxFileSize() const { return FMaxFileSize; }
  uint32_t MaxFileSizeOverride() const { return FMaxFileSizeHigh; }
  int VideoFramesWritten() const { return FVideoFramesWritten; }
  int AudioSamplesWritten() const { return FAudioSamplesWritten; }
  int AudioBlocksWritten() const { return FAudioBlocksWritten; }
  double FrameDuration() const { return FFrameDuration; }
  const TVideoCompressor* VideoCompressor() const { return FVideoCompressor.get(); }
  const AVISTREAMINFO& VideoStreamInfo() const { return FVideoInfo; }
  const AVISTREAMINFO& AudioStreamInfo() const { return FAudioInfo; }
  const TWaveFormat& DestAudioFormat() const { return FDestFormat; }

  bool IsSave2GB();
  bool CanSplit2GB();

  // Whether the sound of these options can be made: a converter from the source PCM to
  // the destination format exists (asked before a film replaces an older file).
  static bool CanMakeSound(const TAviAudioOptions& audio);

  // Cuts bytes left behind the last RIFF part of a finished file; a file that does not
  // even start with its RIFF header is removed. False when the file could not be read.
  static bool TrimFile(const std::string& fileName);
  // Whether fileName is an AVI this writer made: a stream named "Created ... - Movara".
  static bool IsOwnFilm(const std::string& fileName);

 private:
  void InitAviFile();
  bool CreateVideoStream();
  bool CreateAudioStream();
  bool CreateVideoFrame();
  int CreateVideoSeriesFrames();
  bool CreateAudioData(const void* data, int size, int& samplesWritten);
  bool SplitToNextFile();
  bool ReCreateVideoStream();
  bool StartVideoStream(const char* where);
  bool ReCreateAudioStream();
  bool StartAudioStream(const char* where);
  bool SplitCheck(const char* traceAfterSplit);
  bool OpenFile(bool firstFile);
  bool WriteHeader(bool firstFile);
  void ShowCannotCreate(bool firstFile, HRESULT code, const std::string& reason) const;
  void RemoveLeftoverFiles();
  bool AskRetryWrite(HRESULT code);
  bool WriteAudioBytes(const uint8_t* data, int size, int& samplesWritten);
  void FlushAudio();
  void CloseAudioStream();
  void CloseVideoStream();
  void ReleaseFile();
  void CountWritten(int bytes);

  TWindowHandle FWindow;
  TAviAudioOptions FAO;
  TAviVideoOptions FVO;
  std::string FFileName;
  std::string FBaseName;
  std::string FCurrentFileName;
  std::string FCurrentTempName;  // where FCurrentFileName is written until the film ends
  int FContinuationCount = 0;
  TFilmOutput FOutput;

  PAVIFILE FFile = nullptr;
  PAVISTREAM FVideoStream = nullptr;
  PAVISTREAM FAudioStream = nullptr;
  AVISTREAMINFO FVideoInfo;
  AVISTREAMINFO FAudioInfo;
  TVideoFormat FVideoInputHeader;
  TWaveFormat FDestFormat;
  std::unique_ptr<TVideoCompressor> FVideoCompressor;
  std::unique_ptr<TAudioCompressor> FAudioCompressor;
  // Converted sound that did not fill a whole destination block yet.
  std::vector<uint8_t> FAudioPending;
  // An uncompressed 32-bit frame as stored: its fourth bytes opaque.
  std::vector<uint8_t> FOpaqueFrame;

  double FFrameDuration = 40;
  int FVideoFramesWritten = 0;
  int FAudioSamplesWritten = 0;
  int FAudioBlocksWritten = 0;
  int64_t FMaxFrameDataSize = 0;
  int64_t fTotalWrittenDataSize = 0;
  uint32_t FMaxFileSize = 0x7FFFFFFF;
  uint32_t FMaxFileSizeHigh = 0;
  int FLastSeriesFrames = 0;
  bool FInitialized = false;
  bool FClosed = false;
  bool FClosedWell = false;
};

}  // namespace movara
