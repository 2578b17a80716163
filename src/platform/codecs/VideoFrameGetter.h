#pragma once
// The frame getter of a video stream: any frame by its position, decompressed to a
// 24-bit packed DIB (40-byte header, then bottom-up rows) that stays valid until the
// next call. Sequential reading keeps the decoder running; a jump backwards, or past
// a key frame, restarts it from the key frame at or before the wanted frame (from the
// frame itself when every frame decodes on its own). An empty stored frame shows the
// picture of the nearest stored frame before it; in a stream whose codec reorders
// pictures (B-frames) empty frames are not counted, so the pictures after one shift.
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Dib.h"
#include "platform/codecs/VideoDecoder.h"
#include "platform/codecs/VideoFormat.h"

namespace movara {

// Where the frame getter reads stored frames.
class IVideoFrameSource {
 public:
  virtual ~IVideoFrameSource() = default;
  virtual int Start() const = 0;   // position of the first frame
  virtual int Length() const = 0;  // number of frames
  // Bytes of the frame at pos (0 for an empty frame); -1 when it cannot be known.
  virtual int64_t FrameSize(int pos) = 0;
  // The stored bytes of the frame at pos and whether it is a key frame.
  virtual bool ReadFrame(int pos, std::vector<uint8_t>& data, bool& keyFrame) = 0;
  // The key frame at or before pos; -1 when there is none.
  virtual int KeyFrameAtOrBefore(int pos) = 0;
};

class TVideoFrameGetter {
 public:
  // nullptr when no decoder takes the stream's format.
  static std::unique_ptr<TVideoFrameGetter> Open(std::shared_ptr<IVideoFrameSource> source,
                                                 const TVideoFormat& format, uint32_t handler = 0,
                                                 const TVideoDecoderOptions& options = {});
  ~TVideoFrameGetter();

  // The packed DIB of the frame at pos; nullptr when pos is outside the stream or the
  // frame gave no picture.
  const std::vector<uint8_t>* GetFrame(int pos);
  // The same picture copied into a TDIB (24 bits).
  bool GetFrame(int pos, TDIB& out);

  TVideoDecoder& Decoder() { return *decoder_; }
  // Stored frames sent to the decoder so far (for tests and traces: how much a seek cost).
  int64_t FramesDecoded() const { return sent_; }

 private:
  TVideoFrameGetter(std::shared_ptr<IVideoFrameSource> source, std::unique_ptr<TVideoDecoder> decoder);
  // The position whose picture serves pos (pos itself unless its frame is empty).
  int Resolve(int pos);
  // Position of the first picture shown when decoding starts at this key frame.
  int FirstShown(int key);
  // Makes the decoder hold the picture of the frame at pos.
  bool Reach(int pos);

  std::shared_ptr<IVideoFrameSource> source_;
  std::unique_ptr<TVideoDecoder> decoder_;
  std::vector<uint8_t> data_;
  std::vector<uint8_t> packed_;
  int fed_ = -1;          // last position sent to the decoder since the last restart
  bool running_ = false;  // the decoder holds the state of the frames up to fed_
  bool ended_ = false;    // the end of the stream was signalled
  int held_ = -1;         // position of the picture the decoder holds
  int packedOf_ = -1;     // position whose picture packed_ holds
  int64_t sent_ = 0;
};

}  // namespace movara
