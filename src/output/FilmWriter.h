#pragma once
// What the film thread asks of the writer of a film file (an AVI, an MP4): frames of the
// frame picture, runs of frames copied as stored, blocks of PCM sound, and the end of
// the film (its files take their names) or its abandonment (older files stay).
#include <cstdint>
#include <string>
#include <vector>

namespace movara {

class TFilmWriter {
 public:
  virtual ~TFilmWriter() = default;
  virtual bool Initialized() const = 0;
  // One frame of the frame picture the writer was given.
  virtual bool AddVideoFrame() = 0;
  // A run of stored frames from the raw-copy buffer, at most maxFrames.
  virtual bool AddVideoSeries(int maxFrames) = 0;
  virtual int LastSeriesFrames() const = 0;
  // One block of PCM sound of the source format.
  virtual bool AddAudioData(const void* data, int size) = 0;
  virtual void SetMaxFileSize(int64_t limit) = 0;
  virtual bool Close() = 0;
  virtual void Abandon() = 0;
  // The files Close moved into place.
  virtual const std::vector<std::string>& Files() const = 0;
  virtual int ContinuationCount() const = 0;
};

}  // namespace movara
