#pragma once
// DV AVI files as the capture writes them and the simulated camera keeps its tape in
// them: a "dvsd" video stream of PAL DV frames (720 x 576, 25 fps) and a PCM stream of
// the same sound (48 kHz, 16-bit stereo). Written through our AVI service, so a file
// stays valid at any size (OpenDML parts past 1 GB).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile/AviFile.h"

namespace movara {

class TAviIO;

class TDvAviWriter {
 public:
  // Creates (empties) fileName. capacity is what the disk holds for this file in bytes;
  // 0 means the room the file system reports, looked at as the file grows. nullptr when
  // the file cannot be made (error gets the system's text).
  static std::unique_ptr<TDvAviWriter> Create(const std::string& fileName, uint64_t capacity,
                                              std::string* error = nullptr);
  ~TDvAviWriter();
  TDvAviWriter(const TDvAviWriter&) = delete;
  TDvAviWriter& operator=(const TDvAviWriter&) = delete;

  // Appends one frame with its sound (sampleFrames interleaved stereo samples). False,
  // with nothing written, when the disk has no room left for the frame and the file's
  // index, or a write failed; the file then ends with the frames before and stays valid
  // when closed.
  bool WriteFrame(const uint8_t* dv, size_t size, const int16_t* pcm, int sampleFrames);
  int Frames() const { return FFrames; }
  // Bytes of the file so far (data written, index not yet).
  uint64_t BytesWritten() const;
  // Finishes the file (index, headers); false when that could not be written.
  bool Close();

 private:
  TDvAviWriter() = default;
  bool Room(uint64_t more);
  std::shared_ptr<TAviIO> FIO;
  TAviFilePtr FFile;
  TAviStreamPtr FVideo;
  TAviStreamPtr FAudio;
  std::string FFileName;
  uint64_t FCapacity = 0;
  uint64_t FDiskRoom = 0;  // capacity 0: file size + free space when last looked at
  int FFrames = 0;
  bool FFailed = false;
};

// Reads the frames of a DV AVI: the video stream's frames (any PAL DV frame, whatever
// the handler), and the sound of each frame from the PCM stream (48 kHz 16-bit stereo)
// or, without one, out of the DIF blocks.
class TDvAviReader {
 public:
  // nullptr when the file cannot be read or its video is no PAL DV (error tells why).
  static std::unique_ptr<TDvAviReader> Open(const std::string& fileName, std::string* error = nullptr);
  ~TDvAviReader();
  int Frames() const { return FFrames; }
  bool HasAudio() const { return FAudio != nullptr; }
  // Frame n (its bytes as stored) and its sound; false outside the file or on a read
  // error.
  bool ReadFrame(int n, std::vector<uint8_t>& dv, std::vector<int16_t>& pcm);

 private:
  TDvAviReader() = default;
  TAviFilePtr FFile;
  TAviStreamPtr FVideo;
  TAviStreamPtr FAudio;
  int FFrames = 0;
};

// What a file to be played into a DV chain holds: kinds of refusal for the graph.
enum TDvFileCheck { dfcDv, dfcNoFile, dfcNotAvi, dfcNotDv };
TDvFileCheck DvCheckAviFile(const std::string& fileName);

}  // namespace movara
