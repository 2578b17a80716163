#pragma once
// The video compressors: the catalogue of those this build offers, sessions that
// compress frames with one of them, and the sequence calls that drive a session from
// the compressor settings (COMPVARS) as the film writer uses them:
//
//   auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("MJPG"), ICMODE_COMPRESS);
//   hic->SetState(block, size);                       // the user's saved configuration
//   TVideoFormat out;
//   hic->CompressGetFormat(in, out);                  // the stream format to store
//   hic->CompressBegin(in, out);
//   COMPVARS cv; cv.hic = std::move(hic); cv.lQ = 7500; cv.lKey = 25;
//   ICSeqCompressFrameStart(cv, in);
//   data = ICSeqCompressFrame(cv, 0, bits, &key, &size);   // every frame
//   ICSeqCompressFrameEnd(cv); ICCompressorFree(cv);
//
// Results follow the platform's compressor manager: ICERR_OK (0) for success, a
// negative ICERR_ value otherwise. Input frames are uncompressed DIB rows of 16 (5-5-5,
// or 5-6-5 with BI_BITFIELDS), 24 or 32 bits ("DIB " also takes indexed depths).
// Encoding runs on one thread, so the same frames give the same bytes every time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "platform/codecs/VideoFormat.h"

namespace movara {

inline constexpr uint32_t ICTYPE_VIDEO = VideoFourCC("vidc");

inline constexpr uint32_t ICMODE_COMPRESS = 1;
inline constexpr uint32_t ICMODE_DECOMPRESS = 2;
inline constexpr uint32_t ICMODE_QUERY = 4;

inline constexpr int ICERR_OK = 0;
inline constexpr int ICERR_UNSUPPORTED = -1;
inline constexpr int ICERR_BADFORMAT = -2;
inline constexpr int ICERR_MEMORY = -3;
inline constexpr int ICERR_INTERNAL = -4;
inline constexpr int ICERR_BADFLAGS = -5;
inline constexpr int ICERR_BADPARAM = -6;
inline constexpr int ICERR_BADSIZE = -7;
inline constexpr int ICERR_BADHANDLE = -8;
inline constexpr int ICERR_ERROR = -100;

// What a compressor can do (TVideoCompressorInfo::dwFlags).
inline constexpr uint32_t VIDCF_QUALITY = 0x0001;        // takes a quality
inline constexpr uint32_t VIDCF_CRUNCH = 0x0002;         // takes a data rate
inline constexpr uint32_t VIDCF_TEMPORAL = 0x0004;       // frames depend on earlier ones
inline constexpr uint32_t VIDCF_FASTTEMPORALC = 0x0020;  // keeps its own previous frame

inline constexpr int32_t ICQUALITY_LOW = 0;
inline constexpr int32_t ICQUALITY_HIGH = 10000;
inline constexpr int32_t ICQUALITY_DEFAULT = -1;

inline constexpr uint32_t ICMF_COMPVARS_VALID = 0x0001;

struct TVideoCompressorInfo {
  uint32_t fccType = ICTYPE_VIDEO;
  uint32_t fccHandler = 0;
  uint32_t dwFlags = 0;        // VIDCF_ values
  std::string szName;          // short name
  std::string szDescription;   // what the user sees in lists
};

// Every compressor this build offers, "DIB " (full frames) first. Codecs that need an
// encoder libavcodec lacks (H.264 without libx264) are left out.
std::vector<TVideoCompressorInfo> VideoCompressorList();
// The entry of a handler; also older codes of the same bitstream ("XVID", "DIVX" for
// MPEG-4, "CRAM" for Video 1), compared without regard to case. False when unknown.
bool VideoCompressorGetInfo(uint32_t fccHandler, TVideoCompressorInfo& info);

// The configuration of a compressor, kept in its state block. Its fields apply where
// the sequence settings leave a choice open.
struct TVideoCompressorState {
  int32_t Quality = ICQUALITY_DEFAULT;  // quality when the sequence asks for the default
  int32_t KeyInterval = 0;  // longest run between key frames the compressor allows (0: its own)
  int32_t DataRate = 0;     // KB per second when the sequence sets none (0: quality decides)
  // Codec choice: MJPEG 0 = 4:2:2, 1 = 4:2:0 chroma; HuffYUV 0 = left, 1 = plane
  // prediction; FFV1 0 = Golomb-Rice, 1 = range coder; H.264 the speed preset,
  // 0 (fastest) to 8 (slowest), 4 by default; others 0.
  int32_t Option = 0;
  bool operator==(const TVideoCompressorState&) const = default;
};

// The state block: "MVCS", version 1, its size (32), the handler, quality, key
// interval, data rate, option (32-bit little-endian each) and a CRC-32 of the bytes
// before it.
inline constexpr int kVideoCompressorStateSize = 32;

struct TCompressedFrame {
  const uint8_t* Data = nullptr;  // owned by the session, valid until its next call
  size_t Size = 0;
  bool KeyFrame = false;
};

class TVideoCompressorSession {
 public:
  // Opens a compressor of type "vidc" for compressing (or only for its information:
  // ICMODE_QUERY). nullptr for another type or mode, or an unknown handler.
  static std::unique_ptr<TVideoCompressorSession> Open(uint32_t fccType, uint32_t fccHandler,
                                                       uint32_t mode);
  ~TVideoCompressorSession();
  TVideoCompressorSession(const TVideoCompressorSession&) = delete;
  TVideoCompressorSession& operator=(const TVideoCompressorSession&) = delete;

  // The catalogue entry, with the handler the session was opened with.
  bool GetInfo(TVideoCompressorInfo& info) const;
  uint32_t Handler() const;
  // Why frames of this format are refused, for a message: the compressor, the picture and
  // what the compressor takes ("DV (dvsd) nie przyjmuje obrazu 96 x 64 (24 bity):
  // przyjmuje tylko 720 x 576 lub 720 x 480."); "" when they are taken.
  std::string RefusalText(const TVideoFormat& in);

  // ICERR_OK when frames of this format can be compressed (into out, when given: the
  // format CompressGetFormat gives).
  int CompressQuery(const TVideoFormat& in, const TVideoFormat* out = nullptr);
  // Bytes of the stored output format; 0 when the input cannot be compressed.
  int CompressGetFormatSize(const TVideoFormat& in);
  int CompressGetFormat(const TVideoFormat& in, TVideoFormat& out);
  // The largest compressed frame; 0 when unknown.
  int CompressGetSize(const TVideoFormat& in, const TVideoFormat& out);
  // Settings of the frames to come: quality (ICQUALITY_DEFAULT: the state's), key-frame
  // rate (0: none asked), data rate in KB/s (0: none), frames per second as a fraction
  // (25/1 unless set; DV takes its own).
  void CompressFramesInfo(int32_t quality, int32_t keyRate, int32_t dataRate, int rateNum = 0,
                          int rateDen = 0);
  int CompressBegin(const TVideoFormat& in, const TVideoFormat& out);
  // Compresses one frame of the begun input format; keyFrame asks for a key frame.
  int Compress(const uint8_t* bits, size_t size, bool keyFrame, TCompressedFrame& out);
  int Compress(const TDIB& frame, bool keyFrame, TCompressedFrame& out);
  int CompressEnd();
  bool Begun() const;

  int GetStateSize() const { return kVideoCompressorStateSize; }
  // ICERR_OK, ICERR_BADSIZE for a block too small.
  int GetState(uint8_t* block, size_t size) const;
  std::vector<uint8_t> GetState() const;
  // The bytes used (the block's size) when the block is taken; 0 when it is refused
  // (short, not ours, another handler, damaged, values out of range): nothing changes.
  // No block resets the defaults and gives ICERR_OK.
  int SetState(const uint8_t* block, size_t size);
  const TVideoCompressorState& State() const;
  // The configuration as the compressor's own settings dialog sets it: ICERR_OK, or
  // ICERR_BADPARAM for a value out of range (nothing changes then).
  int SetState(const TVideoCompressorState& state);
  // The highest Option this compressor takes (0: it offers no choice).
  int MaxOption() const;

 private:
  struct TImpl;
  explicit TVideoCompressorSession(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> impl_;
};

// The compressor settings chosen by the user and the running sequence.
struct TCompVars {
  int32_t cbSize = 64;
  uint32_t dwFlags = 0;  // ICMF_COMPVARS_VALID
  std::shared_ptr<TVideoCompressorSession> hic;
  uint32_t fccType = ICTYPE_VIDEO;
  uint32_t fccHandler = 0;
  TVideoFormat lpbiIn;   // input format of the running sequence
  TVideoFormat lpbiOut;  // its output format
  const uint8_t* lpBitsOut = nullptr;  // last compressed frame (owned by hic)
  int32_t lFrame = 0;      // frames compressed in the sequence
  int32_t lKey = 0;        // a key frame every lKey frames (0: only the first)
  int32_t lDataRate = 0;   // KB per second (0: none)
  int32_t lQ = ICQUALITY_DEFAULT;
  int32_t lKeyCount = 0;   // frames since the last key frame
  std::vector<uint8_t> State;  // the compressor's state block, as saved
  bool Started = false;    // a sequence runs
};
using COMPVARS = TCompVars;

// Begins a sequence on the open compressor pc.hic for frames of format in: its first
// frame is a key frame. False when the compressor is missing or refuses the format.
bool ICSeqCompressFrameStart(TCompVars& pc, const TVideoFormat& in);
// Compresses the next frame of the sequence (rows of pc.lpbiIn); a key frame comes
// first and then every lKey frames. The data (valid until the next call) or nullptr.
const uint8_t* ICSeqCompressFrame(TCompVars& pc, uint32_t flags, const uint8_t* bits, bool* keyFrame,
                                  int32_t* size);
void ICSeqCompressFrameEnd(TCompVars& pc);
// Ends any sequence and lets the compressor go.
void ICCompressorFree(TCompVars& pc);

}  // namespace movara
