#pragma once
// Decompression of the frames of one video stream into 24-bit pictures.
//
// A decoder is made from the stream's stored format (and its handler code). Frames of
// uncompressed DIB rows (BI_RGB, BI_BITFIELDS; 1, 4, 8, 16, 24 and 32 bits) are
// converted by us; every other code goes to the libavcodec decoder that our table
// names for it (VideoFourCCDecodable).
//
// Order of frames: stored frames are sent in stream order, each with its position in
// the stream; pictures come out in presentation order, numbered with presentation
// positions (picture n is the n-th picture shown when the stream plays from its start).
// Most AVI codecs show each frame as it is decoded; each picture then carries the
// position of the frame that made it, so a frame that failed leaves a gap and the next
// picture still has the right position. Codecs that reorder (MPEG-4 part 2 with
// B-frames, packed into one frame with the next or not, H.264 with B-frames) hold
// pictures back; their pictures are counted in presentation order from the first
// picture after Flush, which is the key frame sent first. MPEG-4 key frames may be
// followed in the stream by B-frames shown before them (an open group of pictures):
// after a seek those cannot be decoded and are dropped, and the key frame's own picture
// is shown LeadingFrames later than its stored position; Flush(position) numbers it.
// To get picture n of such a stream: Flush, send from the key frame at or before n,
// and keep sending (then SendEndOfStream at the end of the stream) until the picture
// numbered n comes out. TVideoFrameGetter does exactly that. H.264 is supported with
// closed groups of pictures (every key frame an IDR picture), as AVI writers make it.
//
// A frame the codec refuses gives no picture; the decoder stays usable and the next
// key frame decodes cleanly. One decoder serves one thread at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "platform/codecs/VideoFormat.h"

namespace movara {

struct TVideoDecoderOptions {
  // Decoding threads of the codec. 1 (the default) decodes on the calling thread and
  // gives the same pictures on every run; more threads add delay but keep positions.
  int Threads = 1;
};

// True when frames of this code can be decoded here (uncompressed rows, or a code our
// table maps to a decoder present in this libavcodec).
bool VideoFourCCDecodable(uint32_t fourcc);

class TVideoDecoder {
 public:
  // A decoder for frames stored in this format. The handler code of the stream is
  // tried when the format's compression code names no codec. nullptr when no decoder
  // fits, the picture size is not sensible or the codec does not open.
  static std::unique_ptr<TVideoDecoder> Create(const TVideoFormat& format, uint32_t handler = 0,
                                               const TVideoDecoderOptions& options = {});
  // The same from the stored bytes of the format.
  static std::unique_ptr<TVideoDecoder> Create(const uint8_t* format, size_t size,
                                               uint32_t handler = 0,
                                               const TVideoDecoderOptions& options = {});
  ~TVideoDecoder();
  TVideoDecoder(const TVideoDecoder&) = delete;
  TVideoDecoder& operator=(const TVideoDecoder&) = delete;

  const TVideoFormat& Format() const;
  // The code that chose the decoder (the compression code or the handler).
  uint32_t FourCC() const;
  bool Uncompressed() const;
  // Every frame decodes by itself: a seek needs no key frame and no flush.
  bool IntraOnly() const;
  // "DIB" for uncompressed rows, else the libavcodec decoder's name.
  std::string CodecName() const;

  // Sends one stored frame (stream order). False when the codec refused it: no picture
  // comes from it. An empty frame is refused (it repeats a picture; the caller knows
  // which) and so is any frame after SendEndOfStream until Flush.
  bool SendPacket(const uint8_t* data, size_t size, bool keyFrame, int position);
  // No more frames: pictures held back come out.
  void SendEndOfStream();
  // The next picture, if one is ready; *position gets its place in the stream. The
  // picture stays readable through the Copy calls until the next ReceiveFrame or Flush.
  bool ReceiveFrame(int* position);
  // Size of the picture received last (0 when none).
  int FrameWidth() const;
  int FrameHeight() const;
  // The picture received last as 24 bits: into a TDIB (resized when needed), as a
  // packed DIB (40-byte header, then bottom-up rows), or into rows given by the top
  // row and the step to the next row down (negative for bottom-up memory).
  bool CopyTo(TDIB& dib);
  bool CopyToPacked(std::vector<uint8_t>& packed);
  bool CopyToRows(uint8_t* topRow, int rowStep);
  // Forgets everything held, before decoding from another key frame. The first picture
  // after it is numbered firstPosition (by default the position of the first frame sent).
  void Flush(int firstPosition = -1);
  // True when key frames may be followed by frames shown before them (MPEG-4 part 2).
  bool MayHaveLeadingFrames() const;
  // How many frames shown before the key frame follow it: from the stored frames of the
  // key frame and those after it (a few are enough; empty ones are skipped).
  int LeadingFrames(const std::vector<std::vector<uint8_t>>& fromKeyFrame) const;

  // For codecs that show each frame as it is decoded: sends the frame, and copies the
  // picture that comes out into out. False when no picture came.
  bool Decode(const uint8_t* data, size_t size, bool keyFrame, TDIB& out);

 private:
  struct TImpl;
  explicit TVideoDecoder(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> impl_;
};

// A 40-byte header of 24-bit bottom-up rows of width x height, followed by room for
// the rows: the packed DIB that the frame getter hands out.
void VideoMakePackedDib(int width, int height, std::vector<uint8_t>& packed);

}  // namespace movara
