#include "output/VideoCompressorSession.h"

#include <algorithm>

#include "base/Trace.h"
#include "base/UserMessages.h"

namespace movara {

std::vector<TVideoCompressorInfo> VideoCompressorsFor(const TVideoFormat* input) {
  std::vector<TVideoCompressorInfo> list;
  for (const TVideoCompressorInfo& info : VideoCompressorList()) {
    if (input) {
      const auto session = TVideoCompressorSession::Open(info.fccType, info.fccHandler, ICMODE_QUERY);
      if (!session || session->CompressQuery(*input) != ICERR_OK) continue;
    }
    list.push_back(info);
  }
  return list;
}

TCompressorDialog& TVideoCompressor::CompressorDialogHook() {
  static TCompressorDialog dialog;
  return dialog;
}

TVideoCompressor::TVideoCompressor(TWindowHandle window, int stateSize, const uint8_t* state,
                                   const uint8_t* inputBits, const TVideoFormat* inputFormat,
                                   const TCompVars* compvars, bool useCompvars)
    : FWindow(window), FInputFormat(inputFormat), FInputBits(inputBits) {
  if (useCompvars && compvars) {
    FChooseCompvars = *compvars;
    // The sequence of the copy starts afresh; the handle is opened here.
    FChooseCompvars.hic.reset();
    FChooseCompvars.lpBitsOut = nullptr;
    FChooseCompvars.lFrame = 0;
    FChooseCompvars.lKeyCount = 0;
    FChooseCompvars.Started = false;
    if (state && stateSize > 0) FState.assign(state, state + stateSize);
    OpenCompressor();
  } else {
    FChooseCompvars.fccType = ICTYPE_VIDEO;
    FChooseCompvars.fccHandler = VideoFourCC("DIB ");
    FChooseCompvars.lQ = ICQUALITY_DEFAULT;
  }
}

TVideoCompressor::~TVideoCompressor() { CloseCompressor(); }

bool TVideoCompressor::SelectCompressor() {
  TCompressorDialog& dialog = CompressorDialogHook();
  if (!dialog) return false;
  TCompVars chosen;
  chosen.fccType = FChooseCompvars.fccType;
  chosen.fccHandler = FChooseCompvars.fccHandler;
  chosen.lKey = FChooseCompvars.lKey;
  chosen.lDataRate = FChooseCompvars.lDataRate;
  chosen.lQ = FChooseCompvars.lQ;
  chosen.State = FState;
  if (!dialog(FWindow, "Wybór kompresora video", FInputFormat, chosen)) return false;
  TVideoCompressorInfo info;
  VideoCompressorGetInfo(chosen.fccHandler, info);
  CloseCompressor();
  FChooseCompvars = TCompVars();
  FChooseCompvars.dwFlags = chosen.dwFlags;
  FChooseCompvars.fccType = chosen.fccType;
  FChooseCompvars.fccHandler = chosen.fccHandler;
  FChooseCompvars.lKey = chosen.lKey;
  FChooseCompvars.lDataRate = chosen.lDataRate;
  FChooseCompvars.lQ = chosen.lQ;
  FChooseCompvars.State = chosen.State;
  FState = chosen.State;
  ICCompressorFree(chosen);  // the dialog's own settings
  TraceF("[TVideoCompressor.SelectCompressor] FChooseCompvars.lpState = %p, ChooseCompvars.cbState = %d",
         static_cast<const void*>(FState.data()), static_cast<int>(FState.size()));
  return OpenCompressor();
}

bool TVideoCompressor::OpenCompressor() {
  if (!FChooseCompvars.hic) {
    FChooseCompvars.hic = TVideoCompressorSession::Open(FChooseCompvars.fccType, FChooseCompvars.fccHandler,
                                                        ICMODE_COMPRESS);
  }
  FOutputBI = TVideoFormat();
  FHasOutputBI = false;
  FOutputBISize = 0;
  FMaxCompressedSize = 0;
  FRefused = false;
  if (!FChooseCompvars.hic) return false;
  TVideoCompressorSession& hic = *FChooseCompvars.hic;

  if (!FState.empty()) {
    const int wanted = hic.GetStateSize();
    if (static_cast<int>(FState.size()) > wanted) {
      ShowMessage(
          "Zbyt duży rozmiar danych do ustalenia stanu kompresora. Zostanie wprowadzona korekta długości bufora",
          TMsgKind::Warning);
      FState.resize(static_cast<size_t>(wanted));
    }
    const int r = hic.SetState(FState.data(), FState.size());
    if (r == 0 || r != static_cast<int>(FState.size())) {
      ShowMessage("Nieprawidłowe ustalenie stanu kompresora. Użyte zostaną domyślne parametry.", TMsgKind::Warning);
      if (hic.SetState(nullptr, 0) != ICERR_OK)
        TraceF("[TVideoCompressor.OpenCompressor] Setting default state of the compressed failed. Ignoring error.");
    }
    FState = hic.GetState();
    FChooseCompvars.State = FState;
  }

  if (!FInputFormat) return false;
  FOutputBISize = hic.CompressGetFormatSize(*FInputFormat);
  FLastResult = FOutputBISize == 0 ? ICERR_BADFORMAT : hic.CompressGetFormat(*FInputFormat, FOutputBI);
  if (FLastResult != ICERR_OK) {
    FOutputBI = TVideoFormat();
    FOutputBISize = 0;
    ShowRefusal("Kompresja jest niemożliwa dla zadanych parametrów obrazu.");
    return false;
  }
  FHasOutputBI = true;
  FOutputBISize = static_cast<int>(FOutputBI.ToBytes().size());
  FMaxCompressedSize = hic.CompressGetSize(*FInputFormat, FOutputBI);
  if (FMaxCompressedSize == 0) FMaxCompressedSize = 0xFFFFFF;  // unknown
  return true;
}

bool TVideoCompressor::StartCompression() {
  if (!FHasOutputBI) throw EVideoCompressor("Niepowodzenie inicjalizacji kompresora - FOutputBI = nil");
  if (!Opened()) {
    OpenCompressor();
    if (!Opened() || !FHasOutputBI) {
      ShowMessage("Nieudana próba otwarcia kompresora video", TMsgKind::Error);
      return false;
    }
  }
  TVideoCompressorSession& hic = *FChooseCompvars.hic;
  FLastResult = hic.CompressQuery(*FInputFormat, &FOutputBI);
  if (FLastResult != ICERR_OK) {
    ShowRefusal(
        "Kompresja dla wybranego formatu jest niemożliwa. Spróbuj użyć innego kompresora lub zmień parametry "
        "obrazu tj. głębia kolorów (np. 24 bity) czy rozmiar obrazu (np. 320 x 240).");
    return false;
  }
  if (FFrameRate > 0) hic.CompressFramesInfo(FChooseCompvars.lQ, FChooseCompvars.lKey, FChooseCompvars.lDataRate,
                                             FFrameRate, 1);
  FLastResult = hic.CompressBegin(*FInputFormat, FOutputBI);
  if (FLastResult != ICERR_OK) {
    ShowRefusal(
        "Nieudane rozpoczęcie kompresji. Spróbuj zmienić parametry obrazu tj. głębia kolorów (np. 24 bity) czy "
        "rozmiar obrazu (np. 320 x 240).");
    return false;
  }
  FBegun = true;
  FFramesCompressed = 0;
  FSequenceStarted = ICSeqCompressFrameStart(FChooseCompvars, *FInputFormat);
  return true;
}

bool TVideoCompressor::SetNextFrameAsKeyFrame() {
  if (FFramesCompressed > 0 && FInputFormat) {
    ICSeqCompressFrameEnd(FChooseCompvars);
    FChooseCompvars.lpBitsOut = nullptr;
    FChooseCompvars.lFrame = 0;
    FChooseCompvars.lKeyCount = 0;
    FFramesCompressed = 0;
    // A new sequence begins with a key frame.
    FSequenceStarted = ICSeqCompressFrameStart(FChooseCompvars, *FInputFormat);
  }
  return FSequenceStarted;
}

const uint8_t* TVideoCompressor::CompressFrame(const uint8_t* bits, bool& keyFrame, int32_t& size) {
  keyFrame = false;
  size = FMaxCompressedSize;  // the size the compressor may fill
  if (!bits) bits = FInputBits;
  if (!FSequenceStarted) {
    size = 0;
    return nullptr;
  }
  const uint8_t* data = ICSeqCompressFrame(FChooseCompvars, 0, bits, &keyFrame, &size);
  if (data) {
    ++FFramesCompressed;
  } else {
    size = 0;
  }
  return data;
}

void TVideoCompressor::ShowRefusal(const std::string& text) {
  FRefused = true;
  const std::string why = FChooseCompvars.hic && FInputFormat ? FChooseCompvars.hic->RefusalText(*FInputFormat) : "";
  ShowMessage(why.empty() ? text : text + " " + why, TMsgKind::Error);
}

void TVideoCompressor::CloseCompressor() {
  FFramesCompressed = 0;
  if (FSequenceStarted) ICSeqCompressFrameEnd(FChooseCompvars);
  FSequenceStarted = false;
  if (FBegun && FChooseCompvars.hic) FChooseCompvars.hic->CompressEnd();
  FBegun = false;
  if (Opened()) ICCompressorFree(FChooseCompvars);
}

}  // namespace movara
