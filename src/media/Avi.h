#pragma once
// TAVI: the video stream of an AVI file, one decompressed frame at a time, as a packed
// DIB (GetFrame) or copied into the picture DIB (Position), optionally flipped
// vertically. For the film writer's path without recompression it also hands out the
// raw compressed frames of a run (AVIStreamRead, AVIStreamReadSingleFrame) through a
// TAVIData buffer.
//
// Frames come from a frame getter over the stream: reading frames in order keeps the
// decoder running; a jump decodes from the key frame at or before the wanted frame.
// Every frame is 24 bits per pixel, whatever the stream stores.
//
// One object serves one thread at a time. No call raises or shows a message: failures
// give false, none or a closed reader, and a trace line.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "platform/avifile/AviFile.h"

struct AVFrame;

namespace movara {

class TAVI;
class TMediaVideo;
class TVideoFrameGetter;

// The raw-copy buffer shared by the render thread and the film writer: the compressed
// frames first..last of one AVI (LinkAvi), read one at a time into a buffer that only
// grows.
class TAVIData {
 public:
  TAVIData() = default;
  TAVIData(const TAVIData&) = delete;
  TAVIData& operator=(const TAVIData&) = delete;

  // The buffer: at least Size() bytes, of which the last raw read filled Bytes().
  uint8_t* Memory() { return FMemory.data(); }
  const uint8_t* Memory() const { return FMemory.data(); }
  size_t Size() const { return FMemory.size(); }
  // Grows the buffer to hold size bytes (it never shrinks); false when the memory
  // cannot be had.
  bool SetSize(int64_t size);

  // Bytes and samples of the last raw read.
  int Bytes() const { return FBytes; }
  int Samples() const { return FSamples; }
  void SetBytes(int bytes) { FBytes = bytes; }
  void SetSamples(int samples) { FSamples = samples; }

  // The stream has at least one key frame.
  bool KeyFramed() const { return FKeyFramed; }
  void SetKeyFramed(bool keyFramed) { FKeyFramed = keyFramed; }

  // First and last source frame of the run.
  int FirstFrame() const { return FFirstFrame; }
  int LastFrame() const { return FLastFrame; }
  void SetFirstFrame(int frame) { FFirstFrame = frame; }
  void SetLastFrame(int frame) { FLastFrame = frame; }
  // last - first + 1, or 0 when last < first. Setting n makes last = first + n - 1
  // (n <= 0: last = first).
  int Count() const { return FLastFrame < FFirstFrame ? 0 : FLastFrame - FFirstFrame + 1; }
  void SetCount(int count);

  // The reader the run comes from (not owned).
  TAVI* LinkAvi() const { return FLinkAvi; }
  void SetLinkAvi(TAVI* avi) { FLinkAvi = avi; }

 private:
  std::vector<uint8_t> FMemory;
  int FBytes = 0;
  int FSamples = 0;
  bool FKeyFramed = false;
  int FFirstFrame = 0;
  int FLastFrame = 0;
  TAVI* FLinkAvi = nullptr;
};

class TAVI {
 public:
  TAVI();
  ~TAVI();
  TAVI(const TAVI&) = delete;
  TAVI& operator=(const TAVI&) = delete;

  // Opens the video stream of fileName (when no file is there, the file of the same
  // name in the "LoadAvi" folder of the data folder) and fetches its first frame into
  // the picture. False, closed, when any of that fails. A movie of another container
  // (by its name: MP4, MOV, MKV, ...) is read through TMediaVideo: the same frames,
  // no AVI streams (VideoStream() and AudioStream() are nullptr) and nothing to copy
  // into a film as stored.
  bool Open(const std::string& fileName);
  // Releases the frame getter, the sound stream, the video stream and the file.
  void Close();

  int StartFrame() const { return FStartFrame; }
  int StopFrame() const { return FStopFrame; }  // length - 1
  // Frames per second (rate / scale); 0 when the scale is 0.
  double PlaybackRate() const { return FPlaybackRate; }

  // The current frame; setting it seeks (clamped to StartFrame..StopFrame) and copies
  // the frame into the picture. A frame that cannot be had closes the reader.
  int Position() const { return FPosition; }
  void SetPosition(int position);
  // The same in milliseconds.
  int PositionOfTime() const { return FramesToMs(FPosition); }
  void SetPositionOfTime(int ms) { SetPosition(MsToFrames(ms)); }
  // Frame position (clamped as SetPosition clamps) as its decoder gave it, for a writer
  // that takes such pictures unconverted (see TMediaVideo::GetStoredPicture): movies of
  // other containers only; the picture and the position stay as they were.
  bool GetStoredPicture(int position, AVFrame* picture);
  int LengthTime() const { return FramesToMs(FStopFrame); }

  int VideoFormatSize() const { return FVideoFormatSize; }
  // The stream's handler code; 0 when nothing is open.
  uint32_t VideoCompressorHandler() const { return FOpened ? FStreamInfo.fccHandler : 0; }
  // True when the handler is not "DIB ": frames are stored compressed.
  bool CompressedCopy() const { return FCompressedCopy; }
  const std::string& FileName() const { return FFileName; }
  const std::string& Name() const { return FName; }  // the stream's name
  bool Opened() const { return FOpened; }
  int FrameWidth() const { return FFrameWidth; }
  int FrameHeight() const { return FFrameHeight; }
  // The picture of the current frame (24 bits; owned by this object).
  TDIB* DIB() { return &FDIB; }
  const TDIB* DIB() const { return &FDIB; }
  // Rows of the picture upside down against the frame (the frame's first row is the
  // picture's last). Changing it makes the next seek fetch and copy again.
  bool FlipDIBY() const { return FFlipDIBY; }
  void SetFlipDIBY(bool flip);

  // The packed DIB of a frame (40-byte header, then bottom-up 24-bit rows), clamped as
  // a seek is; valid until the next call on this object. nullptr when nothing is open
  // or the frame gives no picture. The picture and Position are not touched.
  const std::vector<uint8_t>* GetFrame(int index);

  // frames / PlaybackRate x 1000 and ms / 1000 x PlaybackRate, to the nearest integer
  // with halves to even (0 when the rate is 0).
  int FramesToMs(int frames) const;
  int MsToFrames(int ms) const;
  // The next key frame at or after index is index itself.
  bool IsKeyFrame(int index) const;

  // Prepares the raw copy of the frames shown from startMs for lengthMs: true when
  // the run can go into the film unchanged (it starts on a key frame, or the stream
  // has none, and its frames can be read).
  bool AVIStreamRead(TAVIData* data, int startMs, int lengthMs);
  // Whether stretches of this clip may be copied into a film as stored: not when its
  // frames are stored out of display order (MPEG-4 with B-frames, packed or not), nor
  // H.264 unless every frame is a key frame. Decided once from the first frames.
  bool CanCopyFrames();
  // Reads the stored bytes of one frame into data's buffer; true when a sample came.
  bool AVIStreamReadSingleFrame(TAVIData* data, int index);

  // The 140-byte information of the video stream.
  const AVISTREAMINFO& StreamInfo() const { return FStreamInfo; }
  // The sound stream held open with the video (nullptr when the file has none).
  PAVISTREAM AudioStream() const { return FAudioStream; }
  PAVISTREAM VideoStream() const { return FVideoStream; }
  // Index of the frame last fetched, -1 when none.
  int FrameIndex() const { return FFrameIndex; }
  // Stored frames the decoder has been given since Open (what reading has cost).
  int64_t FramesDecoded() const;

  // The size of a frame format from its header: colour table or colour masks after it.
  static int FormatSizeOf(const BITMAPINFOHEADER& header);

  // The reader of a movie of another container (nullptr for an AVI).
  TMediaVideo* MediaVideo() const { return FMedia.get(); }

  // While on, a frame fetched into the picture right after the frame before it starts
  // the decoding of the next one on a thread of its own (an AVI read frame after frame,
  // as a film reads it, decodes beside the work done with each frame). The pictures are
  // the same; off waits for a decoding under way and frees its picture.
  void SetReadAhead(bool on);
  bool ReadAhead() const { return FAhead != nullptr; }

 private:
  struct TReadAhead;
  // Waits for a decoding of the next frame under way: the decoder and the stream are
  // the caller's again.
  void AwaitReadAhead() const;
  void ReadAheadLoop();
  // Fetches frame index into the picture (and forgets the packed frame); false when
  // no picture came.
  bool FetchIntoPicture(int index, bool forced);
  bool OpenMedia(const std::string& name);
  void UpdateVideoFormatSize();
  void FlipPictureRows();

  PAVIFILE FFile = nullptr;
  PAVISTREAM FVideoStream = nullptr;
  PAVISTREAM FAudioStream = nullptr;
  std::unique_ptr<TVideoFrameGetter> FGetFrame;
  std::unique_ptr<TMediaVideo> FMedia;
  std::unique_ptr<TReadAhead> FAhead;
  std::vector<uint8_t> FMediaPacked;
  AVISTREAMINFO FStreamInfo;

  // The frame held: its index, its header, and its packed DIB once one was asked for.
  int FFrameIndex = -1;
  BITMAPINFOHEADER FFrameHeader;
  const std::vector<uint8_t>* FPacked = nullptr;

  int FVideoFormatSize = 0;
  bool FCompressedCopy = false;
  // The stream stores frames as the getter hands them out (24-bit BI_RGB rows), so
  // the stored format describes them.
  bool FStoredAsFrames = false;
  int FStartFrame = 0;
  int FStopFrame = -1;
  int FLength = 0;
  double FPlaybackRate = 0;
  int FPosition = 0;
  std::string FFileName;
  std::string FName;
  bool FOpened = false;
  int FCanCopy = -1;  // CanCopyFrames: -1 not yet known
  int FFrameWidth = 0;
  int FFrameHeight = 0;
  bool FFlipDIBY = false;
  TDIB FDIB;
  std::vector<uint8_t> FScratchRow;
};

}  // namespace movara
