#pragma once
// TVideoCompressor: one video compressor driven through a sequence of frames for the
// film writer. It is opened from saved settings (COMPVARS and the compressor's state
// block) or chosen by the user in the compressor dialog, asked for its output format
// and largest frame, and then compresses frame after frame; the sequence can be
// restarted so that the next frame is a key frame.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/codecs/VideoFormat.h"

namespace movara {

MOVARA_EXCEPTION(EVideoCompressor);

// The window that owns the dialogs (opaque to the core).
using TWindowHandle = void*;

// The compressor dialog. The windows install it; it gets the owner, the title, the input
// format (nullptr: offer every compressor) and the settings to start from, and fills
// chosen when the user confirms (true). Without a dialog the choice counts as cancelled.
using TCompressorDialog = std::function<bool(TWindowHandle owner, const std::string& title,
                                             const TVideoFormat* input, TCompVars& chosen)>;

// The compressors of the catalogue that can compress frames of the input format, in
// catalogue order (every one without an input format): what the compressor dialog offers.
std::vector<TVideoCompressorInfo> VideoCompressorsFor(const TVideoFormat* input);

class TVideoCompressor {
 public:
  // With useCompvars the settings and the state block are copied and the compressor is
  // opened; otherwise "DIB " at the default quality, nothing opened. The input format and
  // bits belong to the caller and must outlive the object.
  TVideoCompressor(TWindowHandle window, int stateSize, const uint8_t* state, const uint8_t* inputBits,
                   const TVideoFormat* inputFormat, const TCompVars* compvars, bool useCompvars);
  ~TVideoCompressor();
  TVideoCompressor(const TVideoCompressor&) = delete;
  TVideoCompressor& operator=(const TVideoCompressor&) = delete;

  bool SelectCompressor();
  bool OpenCompressor();
  bool StartCompression();
  // Restarts the sequence when frames went through it, so the next frame is a key frame.
  // True while a sequence runs.
  bool SetNextFrameAsKeyFrame();
  // The next frame of the sequence: its data (valid until the next call) or nullptr.
  const uint8_t* CompressFrame(const uint8_t* bits, bool& keyFrame, int32_t& size);
  void CloseCompressor();

  // Frames per second handed to the compressor with the sequence settings (25 unless set).
  void SetFrameRate(int framesPerSecond) { FFrameRate = framesPerSecond; }
  void SetInputBits(const uint8_t* bits) { FInputBits = bits; }

  TCompVars& ChooseCompvars() { return FChooseCompvars; }
  const TCompVars& ChooseCompvars() const { return FChooseCompvars; }
  // The output format (the stream format of the film); nullptr until the compressor is open.
  const TVideoFormat* OutputBI() const { return FHasOutputBI ? &FOutputBI : nullptr; }
  int OutputBISize() const { return FOutputBISize; }
  std::vector<uint8_t> OutputBIBytes() const { return FOutputBI.ToBytes(); }
  int MaxCompressedSize() const { return FMaxCompressedSize; }
  const std::vector<uint8_t>& StateBlock() const { return FState; }
  bool Opened() const { return FChooseCompvars.hic != nullptr; }
  bool CompressionBegun() const { return FBegun; }
  bool SequenceStarted() const { return FSequenceStarted; }
  int FramesCompressed() const { return FFramesCompressed; }
  int LastResult() const { return FLastResult; }
  // The open compressor refused the input format (its message, with the reason, shown).
  bool Refused() const { return FRefused; }
  uint32_t Handler() const { return FChooseCompvars.fccHandler; }

  static TCompressorDialog& CompressorDialogHook();

 private:
  // The message and why the compressor refuses the input.
  void ShowRefusal(const std::string& text);

  TWindowHandle FWindow;
  TCompVars FChooseCompvars;
  std::vector<uint8_t> FState;
  const TVideoFormat* FInputFormat;
  const uint8_t* FInputBits;
  TVideoFormat FOutputBI;
  bool FHasOutputBI = false;
  int FOutputBISize = 0;
  int FMaxCompressedSize = 0;
  bool FBegun = false;
  bool FSequenceStarted = false;
  int FFramesCompressed = 0;
  int FLastResult = ICERR_OK;
  int FFrameRate = 0;
  bool FRefused = false;
};

}  // namespace movara
