#pragma once
// Movies and sounds of the containers read through libavformat: MP4/M4V/MOV/3GP,
// MKV/WebM, MPEG-TS and MPEG-PS, MP3, M4A/AAC, FLAC, Ogg, and WAV files whose format our
// own WAV reader refuses. AVI never comes here: our own AVI layer reads it, and a file
// that libavformat finds to be AVI whatever its name is refused.
//
// A video stream is seen at a constant frame rate, its average rate: frame n is the
// source picture shown at start + n / rate, where start is the stream's first picture,
// so variable-rate video repeats or skips pictures to keep its time. Frame n is exactly
// that picture after any jump: decoding restarts at the key frame before it and runs
// forward. A rotation written in the file is applied, so portrait video stands upright.
// Interlaced pictures are shown as stored (no deinterlacing). A picture that cannot be
// decoded shows the last good one; such frames are counted.
//
// Pipes, devices, sockets and folders are refused before anything opens them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"
#include "media/AudioReader.h"

struct AVFrame;

namespace movara {

MOVARA_EXCEPTION(EMediaFile);

// "" when path names a regular file (links followed); otherwise why it is refused.
std::string MediaFileRefusal(const std::string& path);

class TMediaVideo {
 public:
  // nullptr when the file cannot be opened or holds no video stream that decodes;
  // *error then says why.
  static std::unique_ptr<TMediaVideo> Open(const std::string& fileName, std::string* error = nullptr);
  ~TMediaVideo();
  TMediaVideo(const TMediaVideo&) = delete;
  TMediaVideo& operator=(const TMediaVideo&) = delete;

  int FrameCount() const;
  // Frames per second = Rate() / Scale().
  uint32_t Rate() const;
  uint32_t Scale() const;
  // The picture as shown, rotation applied.
  int Width() const;
  int Height() const;
  // Degrees the stored pictures are turned clockwise to be shown: 0, 90, 180 or 270.
  int Rotation() const;
  std::string CodecName() const;
  std::string ContainerName() const;
  // Seconds of the first picture on the file's clock.
  double StartTime() const;
  // Pictures stored in the stream (a variable-rate stream has another FrameCount).
  int SourcePictures() const;
  // Frame n shows a key picture.
  bool IsKeyFrame(int frame) const;

  // Frame n (clamped to the stream) as a 24-bit picture; false only when no picture at
  // all can be decoded.
  bool GetFrame(int frame, TDIB& out);
  // Frame n as the decoder gave it (a new reference in picture), for a writer that takes
  // it without converting it to 24 bits: false when the picture is not stored upright at
  // the stream's size, or when no good picture of its own stands for the frame. A
  // picture that does not name its matrix names the one it is read with.
  bool GetStoredPicture(int frame, AVFrame* picture);
  // Lets the decoder and its pictures go until the next frame is asked for.
  void Park();
  // Stored frames sent to the decoder so far (what reading has cost).
  int64_t FramesDecoded() const;
  // Source pictures that could not be decoded and were shown as the last good one (an
  // MP4 cut short counts the pictures its index names beyond the end of the file).
  int DamagedFrames() const;

 private:
  struct TImpl;
  explicit TMediaVideo(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> FImpl;
};

// The whole sound stream of a file as 16-bit PCM at its own rate, one or two channels
// (more are mixed down to two). In a file with video the first sample is at the time of
// the first picture (sound before it is cut, a late start is padded with silence).
struct TMediaSound {
  int Channels = 0;
  int Rate = 0;
  std::vector<int16_t> Samples;  // interleaved
  std::string CodecName;
  std::string ContainerName;
  int DamagedPackets = 0;  // packets the decoder refused
};
// False (with *error) when the file cannot be opened or has no sound that decodes.
bool DecodeMediaSound(const std::string& fileName, TMediaSound& out, std::string* error = nullptr);

// The sound of a media file for the program's sound readers: decoded whole when opened,
// then served as PCM and converted like any other source.
class TMediaAudioReader : public TCustomAudioReader {
 public:
  TMediaAudioReader() = default;
  ~TMediaAudioReader() override;
  const TMediaSound& Sound() const { return FSound; }

 protected:
  bool OpenStream(const std::string& fileName) override;
  void CloseStream() override;
  void SeekStream(int64_t bytePosition) override;
  int ReadStream(void* buffer, int count) override;

 private:
  TMediaSound FSound;
  int64_t FPosition = 0;
};

}  // namespace movara
