#pragma once
// TMp4Maker writes the generated film into an MP4 file: H.264 video through libx264
// (4:2:0, constant quality) and AAC sound, the index at the front ("+faststart") so the
// film plays while it is still arriving. An MP4 has no 2 GB limit: the film is one file
// whatever its size. Nothing is copied into it as stored: every frame is compressed.
//
// The file is written under a temporary name beside its target (TFilmOutput) and takes
// its name when the film is closed; a film abandoned after a failure leaves the older
// file as it was.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "output/AviMaker.h"
#include "output/FilmOutput.h"
#include "output/FilmWriter.h"

struct AVFrame;

namespace movara {

MOVARA_EXCEPTION(EMp4Maker);

// The encoder's constant-quality value (CRF, lower is better) of a quality 0..10000:
// 10000 gives 12, 0 gives 40, the default 7500 gives 19.
int Mp4QualityToCrf(int quality);
// Why an MP4 film cannot be made here ("" when it can): this FFmpeg lacks libx264 or
// the AAC encoder.
std::string Mp4MakerMissing(bool sound);

// A picture as a decoder gave it, owned (see TMp4Maker::AddStoredPicture).
struct TAvFrameFree {
  void operator()(AVFrame* frame) const;
};
using TStoredPicture = std::unique_ptr<AVFrame, TAvFrameFree>;
TStoredPicture NewStoredPicture();

class TMp4Maker : public TFilmWriter {
 public:
  // Opens the file and its streams; Initialized() tells whether the film can be written,
  // Error() why not. quality is 0..10000 (see Mp4QualityToCrf).
  TMp4Maker(const TAviAudioOptions& audio, const TAviVideoOptions& video, int quality, const std::string& fileName);
  ~TMp4Maker() override;
  TMp4Maker(const TMp4Maker&) = delete;
  TMp4Maker& operator=(const TMp4Maker&) = delete;

  bool Initialized() const override { return FInitialized; }
  const std::string& Error() const { return FError; }
  bool AddVideoFrame() override;
  // A clip's picture as its decoder gave it goes to the encoder without the round trip
  // through 24 bits when it is 8-bit 4:2:0 of limited range, of the film's size, in the
  // film's matrix (BT.709 for pictures 720 rows high and more, BT.601 below).
  bool TakesStoredPicture(const AVFrame* picture) const;
  bool AddStoredPicture(const AVFrame* picture);
  // A made frame (the film's size, any depth) as the encoder's 4:2:0 picture in the
  // film's matrix, for AddStoredPicture: the film thread converts its frames itself, so
  // no 24-bit copy waits for the writer (half the memory a frame in flight). The
  // picture's memory comes from a pool of the maker's and goes back to it when the
  // encoder and the picture are done with it. One thread at a time (AddVideoFrame
  // converts through it too).
  bool ConvertFrame(const TDIB& frame, AVFrame* picture);
  // Nothing is copied into an MP4: always false.
  bool AddVideoSeries(int maxFrames) override;
  int LastSeriesFrames() const override { return 0; }
  bool AddAudioData(const void* data, int size) override;
  // An MP4 is never split.
  void SetMaxFileSize(int64_t) override {}
  // Flushes the encoders, writes the index and moves the file into place.
  bool Close() override;
  void Abandon() override;
  const std::vector<std::string>& Files() const override { return FOutput.Committed(); }
  int ContinuationCount() const override { return 0; }

  int VideoFramesWritten() const { return static_cast<int>(FFramesIn); }

 private:
  struct TImpl;
  bool Fail(const std::string& why);
  void Release();

  std::unique_ptr<TImpl> FImpl;
  TAviAudioOptions FAudio;
  TAviVideoOptions FVideo;
  TFilmOutput FOutput;
  std::string FFileName;
  std::string FTempName;
  std::string FError;
  bool FInitialized = false;
  bool FClosed = false;
  int64_t FFramesIn = 0;
};

}  // namespace movara
