#include "script/RenderThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/Clock.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "fx3d/Fx3d.h"
#include "fx3d/FxList.h"
#include "media/Avi.h"

namespace movara {
namespace {

int RoundUp4(int v) { return (v + 3) & ~3; }

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
constexpr uint32_t DIBHandler = FourCC('D', 'I', 'B', ' ');

TFx3d* FindFxOrFirst(int32_t fxId) {
  TFxList& list = EnsureFxList();
  if (TFx3d* fx = list.FindByID(fxId & ~ScriptReverseFlag)) return fx;
  if (TFx3d* fx = list.FindByID(0x101)) return fx;
  return list.Count() > 0 ? list.Items(0) : nullptr;
}

void CheckSurface(TRmResult r) {
  if (r != D3DRM_OK) throw ESurface(Format("%s cannot be made", "Surface"));
}

// Copies the whole of src (same size) onto dst.
void CopySurface(TRmSurface& dst, const TRmSurface& src) { dst.BltFast(0, 0, src, src.Bounds()); }

}  // namespace

// ---------------------------------------------------------------------------------
// TFxThread

TFxThread::TFxThread(int32_t fxId, bool createSuspended) {
  FEffect = FindFxOrFirst(fxId);
  if (!createSuspended) Resume();
}

TFxThread::~TFxThread() { Stop(); }

bool TFxThread::Suspended() const {
  std::lock_guard<std::mutex> lock(FRunLock);
  return FSuspended;
}

void TFxThread::Resume() {
  if (FTerminated) return;
  {
    std::lock_guard<std::mutex> lock(FRunLock);
    FSuspended = false;
  }
  if (!FThread.joinable()) {
    FThread = std::thread([this] { Execute(); });
    return;
  }
  FRunSignal.notify_all();
}

void TFxThread::Pause() {
  if (FTerminated || !FThread.joinable() || Suspended()) return;
  std::unique_lock<std::mutex> lock(FRunLock);
  FPauseRequested = true;
  FRunSignal.notify_all();  // the loop may be in one of its waits
  FRunSignal.wait_for(lock, std::chrono::milliseconds(5000), [this] { return FPaused || FTerminated; });
}

void TFxThread::Stop() {
  {
    std::lock_guard<std::mutex> lock(FRunLock);
    FStopping = true;
    FSuspended = false;
  }
  FRunSignal.notify_all();
  if (FThread.joinable()) FThread.join();
  FTerminated = true;
}

void TFxThread::IdleWait(int ms) {
  std::unique_lock<std::mutex> lock(FRunLock);
  FRunSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FPauseRequested || FStopping; });
}

bool TFxThread::WaitForPreviewFrames(int64_t count, int ms) {
  std::unique_lock<std::mutex> lock(FRunLock);
  return FRunSignal.wait_for(lock, std::chrono::milliseconds(ms),
                             [&] { return FPreviewFrames >= count || FTerminated; }) &&
         FPreviewFrames >= count;
}

void TFxThread::SetPreviewSize(int width, int height) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  const int w = RoundUp4(width), h = RoundUp4(height);
  if (width < 1 || height < 1 || w > kRmMaxSurfaceSide || h > kRmMaxSurfaceSide)
    throw ESurface(Format("%s cannot be made", "Surface"));
  try {
    FScene = std::make_unique<TFxScene>(w, h, FTextureSize, FBilinear);
    FScene->SetViewShift(static_cast<float>(2 * FShiftX / w), static_cast<float>(-2 * FShiftY / h));
  } catch (const std::exception&) {
    FScene.reset();
    throw ESurface(Format("%s cannot be made", "Surface"));
  }
  FSceneInvalid = true;
}

void TFxThread::ReadPreview(TDIB& out) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  if (!FScene) {
    out.Clear();
    return;
  }
  FScene->ReadFrame(out);
}

void TFxThread::SetPreviewProgress(int value) {
  if (value >= 0 && value <= 1000) FPreviewProgress = value;
}

void TFxThread::SetEffect(int32_t fxId) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  FEffect = FindFxOrFirst(fxId);
  FSceneInvalid = true;
}

void TFxThread::SetTextureA(const TDIB& picture) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  FPictureA = picture;
  FHaveA = !picture.Empty();
  FSceneInvalid = true;
}

void TFxThread::SetTextureB(const TDIB& picture) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  FPictureB = picture;
  FHaveB = !picture.Empty();
  FSceneInvalid = true;
}

bool TFxThread::SetTextureSize(int value) {
  if (value < 2 || (value & (value - 1)) != 0) {
    TraceF("[TFxThread.SetTextureSize] Not allowed parameter: %d (should be 256, 512, 1024 etc.", value);
    return false;
  }
  FTextureSize = value;
  return true;
}

void TFxThread::NoteFrameTime(int64_t ms) {
  FFrameTimes.push_back(ms);
  if (FFrameTimes.size() > 20) FFrameTimes.erase(FFrameTimes.begin());
  const int64_t span = FFrameTimes.back() - FFrameTimes.front();
  FFramesPerSecond = span == 0 ? 0 : static_cast<int>(std::lround(20000.0 / static_cast<double>(span)));
}

std::vector<TFxThread::TOverlayLine> TFxThread::OverlayLines(int timeMs) const {
  std::vector<TOverlayLine> l;
  const int32_t id = FEffect ? FEffect->GetFxID() : 0;
  std::string name;
  if (FEffect) {
    TFxList& list = EnsureFxList();
    for (int i = 0; i < list.Count(); ++i)
      if (list.Items(i) == FEffect) name = list.Strings(i);
  }
  l.push_back({0, 0, Format("FPS: %d   Time: %d", FFramesPerSecond.load(), timeMs)});
  l.push_back({0, 14, "Device: Software"});
  l.push_back({0, 28, Format("Fx Name: %s", name.c_str())});
  l.push_back({0, 42, Format("Fx ID  : $%3x", static_cast<unsigned>(id))});
  l.push_back({100, 42, Format("Fx count : %2d", EnsureFxList().Count())});
  l.push_back({0, 56, Format("Fx Dir : %s", FDirection == fdNormal ? "Normal" : "Reverse")});
  l.push_back({0, 70, "Texture Quality : D3DRMTEXTURE_NEAREST"});
  l.push_back({0, 84, "Texture Perspective : True"});
  const bool alpha = FEffect && FEffect->Options().Contains(foAlphaBlend);
  l.push_back({0, 98, Format("Texture AlphaBlendEnable : %s", alpha ? "True" : "False")});
  l.push_back({0, 112, Format("Texture SrcBlend : %s", alpha ? "D3DBLEND_SRCALPHA" : "D3DBLEND_ONE")});
  l.push_back({0, 126, Format("Texture DestBlend : %s", alpha ? "D3DBLEND_INVSRCALPHA" : "D3DBLEND_ZERO")});
  l.push_back({0, 140, "Texture MapBlend : D3DTBLEND_MODULATE"});
  l.push_back({0, 154, "ColorKey Enabled : False"});
  if (FHaveA && FHaveB) {
    l.push_back({0, 168, Format("TextureA Size = %dx%d, SystemMemory = %s", FTextureSize, FTextureSize, "True")});
    l.push_back({0, 182, Format("TextureB Size = %dx%d, SystemMemory = %s", FTextureSize, FTextureSize, "True")});
  }
  return l;
}

void TFxThread::StepPreview(int64_t& clock, int64_t& animated) {
  const int64_t now = NowMs();
  const int64_t elapsed = now - clock;
  const int64_t steps = elapsed * 1000 / std::max(1, FPeriod.load());
  if (steps == 0) {
    IdleWait(5);
    return;
  }
  clock = now;
  int p = FPreviewProgress;
  if (FDirection == fdNormal) {
    p += static_cast<int>(steps % 1001);
    if (p > 1000) p = 0;
  } else {
    p -= static_cast<int>(steps % 1001);
    if (p < 0) p = 1000;
  }
  FPreviewProgress = p;
  {
    std::lock_guard<std::mutex> lock(FSceneLock);
    if (!DrawStep(p)) return;
  }
  {
    std::lock_guard<std::mutex> lock(FRunLock);
    ++FPreviewFrames;
  }
  FRunSignal.notify_all();
  NoteFrameTime(now);
  animated += elapsed;
  if (animated >= 5000) {
    animated = 0;
    IdleWait(40);
  }
}

bool TFxThread::DrawStep(int p) {
  if (!FScene || !FHaveA || !FHaveB || !FEffect) return false;
  if (FSceneInvalid || FScene->Effect() != FEffect) {
    FScene->SetPictures(&FPictureA, &FPictureB);
    FScene->SetEffect(FEffect);
    FSceneInvalid = false;
  }
  FScene->RenderStep(static_cast<uint16_t>(std::clamp(p, 0, 1000)));
  Present(nullptr);
  return true;
}

bool TFxThread::StepOnce() {
  if (!FTerminated && FThread.joinable() && !Suspended()) return false;
  // a frame's worth (40 ms) of the animation, at least one step
  const int steps = std::max(1, 40 * 1000 / std::max(1, FPeriod.load()));
  int p = FPreviewProgress;
  if (FDirection == fdNormal) {
    p += steps;
    if (p > 1000) p = 0;
  } else {
    p -= steps;
    if (p < 0) p = 1000;
  }
  FPreviewProgress = p;
  return RedrawStep();
}

bool TFxThread::RedrawStep() {
  if (!FTerminated && FThread.joinable() && !Suspended()) return false;
  std::lock_guard<std::mutex> lock(FSceneLock);
  try {
    if (!DrawStep(FPreviewProgress)) return false;
  } catch (const std::exception& e) {
    TraceF("[TFxThread.StepOnce] %s", e.what());
    return false;
  }
  ++FPreviewFrames;
  NoteFrameTime(NowMs());
  return true;
}

void TFxThread::SetFrameSink(TFrameSink sink) {
  std::lock_guard<std::mutex> lock(FSinkLock);
  FSink = std::move(sink);
}

bool TFxThread::HasFrameSink() const {
  std::lock_guard<std::mutex> lock(FSinkLock);
  return static_cast<bool>(FSink);
}

void TFxThread::Present(const TRmSurface* surface) {
  std::lock_guard<std::mutex> lock(FSinkLock);
  if (!FSink) return;
  if (surface) {
    if (FSinkFrame.Width() != surface->Width() || FSinkFrame.Height() != surface->Height() ||
        FSinkFrame.BitCount() != 24)
      FSinkFrame.SetSize(surface->Width(), surface->Height(), 24);
    if (surface->SaveToDIB(FSinkFrame, surface->Bounds()) != D3DRM_OK) return;
  } else {
    if (!FScene) return;
    FScene->ReadFrame(FSinkFrame);
  }
  FSink(FSinkFrame);
}

void TFxThread::SetRenderOptions(int textureSize, bool bilinear, double shiftX, double shiftY) {
  Pause();
  int width = 0, height = 0;
  {
    std::lock_guard<std::mutex> lock(FSceneLock);
    if (textureSize >= 2 && (textureSize & (textureSize - 1)) == 0) FTextureSize = textureSize;
    FBilinear = bilinear;
    FShiftX = shiftX;
    FShiftY = shiftY;
    if (FScene) {
      width = FScene->Width();
      height = FScene->Height();
    }
  }
  if (width > 0) SetPreviewSize(width, height);
}

bool TFxThread::SetPriorityClass(TPriorityClass value) {
  const int tid = FNativeId;
  if (tid == 0) return false;
  sched_param param{};
  param.sched_priority = 0;
  if (value == pcIdle) return sched_setscheduler(tid, SCHED_IDLE, &param) == 0;
  if (sched_setscheduler(tid, SCHED_OTHER, &param) != 0) return false;
  // normal is nice 0; high asks for a higher priority, which needs the right to it
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), value == pcHigh ? -5 : 0) != 0) {
    TraceF("[TFxThread.SetPriorityClass] The system refused the priority %d.", static_cast<int>(value));
    return false;
  }
  return true;
}

void TFxThread::Execute() {
  FNativeId = static_cast<int>(syscall(SYS_gettid));
  int64_t clock = NowMs(), animated = 0;
  while (!FStopping) {
    if (FPauseRequested) {
      std::unique_lock<std::mutex> lock(FRunLock);
      FPauseRequested = false;
      FSuspended = true;
      FPaused = true;
      FRunSignal.notify_all();
      FRunSignal.wait(lock, [this] { return !FSuspended || FStopping; });
      clock = NowMs();
      FPaused = false;
      continue;
    }
    bool ready;
    {
      std::lock_guard<std::mutex> lock(FSceneLock);
      ready = FScene && FHaveA && FHaveB && FEffect;
    }
    if (ready) {
      try {
        StepPreview(clock, animated);
      } catch (const std::exception& e) {
        TraceF("[TFxThread.Execute] %s", e.what());
        IdleWait(50);
      }
    } else {
      clock = NowMs();
      IdleWait(50);
    }
  }
  FNativeId = 0;
  {
    std::lock_guard<std::mutex> lock(FRunLock);
    FTerminated = true;
  }
  FRunSignal.notify_all();
  if (FOnTerminate) FOnTerminate();
}

// ---------------------------------------------------------------------------------
// TFxRenderThread

TFxRenderThread::TFxRenderThread(int textureSize) : TFxThread(-1, true) {
  FActions = std::make_unique<TActionCommandList>();
  SetTextureSize(textureSize);
}

TFxRenderThread::~TFxRenderThread() {
  Stop();
  StopReadAhead();
}

void TFxRenderThread::StopReadAhead() {
  for (TAVI* avi : FReadAhead) avi->SetReadAhead(false);
  FReadAhead.clear();
}

void TFxRenderThread::KeepReadAhead(const TScriptAction& v1, const TScriptAction& v2) {
  TAVI* now[4] = {};  // two commands of each of the two actions
  int n = 0;
  for (const TScriptAction* v : {&v1, &v2})
    for (const TScriptCommand* c : {v->CommandA, v->CommandC})
      if (c && c->Code == scAvi && c->Avi) now[n++] = c->Avi;
  std::vector<TAVI*> kept;
  for (TAVI* avi : FReadAhead)
    if (std::find(now, now + n, avi) != now + n) kept.push_back(avi);
    else avi->SetReadAhead(false);
  for (int i = 0; i < n; ++i)
    if (std::find(kept.begin(), kept.end(), now[i]) == kept.end()) {
      now[i]->SetReadAhead(true);
      if (now[i]->ReadAhead()) kept.push_back(now[i]);
    }
  FReadAhead = std::move(kept);
}

int TFxRenderThread::LoadScript(const std::string& text) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  StopReadAhead();
  FRenderItem = TScriptAction();
  FNextItem = TScriptAction();
  FSceneInvalid = true;
  return FActions->Generate(text);
}

void TFxRenderThread::SetFilmMode(bool on, TRenderOption renderOption, int width, int height, int fps,
                                  uint32_t handler, int bitCount) {
  if (!on) StopReadAhead();
  FFilm = on;
  FRenderOption = renderOption;
  FOutWidth = width;
  FOutHeight = height;
  FFps = fps;
  FHandler = handler;
  FBitCount = bitCount;
}

void TFxRenderThread::MakeSurfaces(int width, int height) {
  SetPreviewSize(width, height);
  std::lock_guard<std::mutex> lock(FSceneLock);
  CheckSurface(FDest.Create(FScene->Width(), FScene->Height()));
  // the surfaces of keyed and levelled pictures are made when first needed
  FScratch.Release();
  FStill.Release();
}

void TFxRenderThread::SetLinkOutDIB(TDIB* dib) {
  if (!dib || dib->Empty()) {
    const bool wasLinked = FLinkOutDIB != nullptr;
    FLinkOutDIB = nullptr;
    // the preview window's renderer comes back at its own size after a film
    if (wasLinked && FControlWidth > 0) {
      try {
        MakeSurfaces(FControlWidth, FControlHeight);
      } catch (const std::exception& e) {
        TraceF("[TFxRenderThread.SetLinkOutDIB] %s", e.what());
      }
    }
    return;
  }
  MakeSurfaces(dib->Width(), dib->Height());
  if (FScene->Width() != dib->Width() || FScene->Height() != dib->Height())
    dib->SetSize(FScene->Width(), FScene->Height(), dib->BitCount());
  FLinkOutDIB = dib;
}

void TFxRenderThread::InitializeControl(int width, int height) {
  if (width < 1 || height < 1) return;
  FControlWidth = width;
  FControlHeight = height;
  if (!FLinkOutDIB) MakeSurfaces(width, height);
}

void TFxRenderThread::FinalizeControl() {
  FControlWidth = FControlHeight = 0;
  if (FLinkOutDIB) return;
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  FScene.reset();
  FDest.Release();
  FScratch.Release();
  FStill.Release();
  FSceneInvalid = true;
}

const TRmSurface* TFxRenderThread::OutSurface() const {
  switch (FOut) {
    case osRenderer: return FScene ? &FScene->Target() : nullptr;
    case osDest: return &FDest;
    default: return nullptr;
  }
}

TRenderResult TFxRenderThread::RenderFrame(int time) {
  Pause();
  std::lock_guard<std::mutex> lock(FSceneLock);
  if (!FScene || !FDest.Valid()) return rfNothing;
  FSceneInvalid = true;  // the preview loads its own pictures again
  FOut = osNone;
  FLastFlags = 0;

  // before the film its first frame; past its end the last action (the closing empty
  // one of a generated script: a black frame)
  if (time < 0) time = 0;

  TScriptAction v1, v1next, v2, v2next;
  FActions->SelectTrack(0);
  FActions->GetActionAt(time, v1, v1next);
  FActions->SelectTrack(1);
  FActions->GetActionAt(time, v2, v2next);
  FActions->SelectTrack(0);
  // the image track shows its picture only inside its span
  if (v2.Kind != skNone && (time < v2.Start || time >= v2.Start + v2.Length)) {
    v2 = TScriptAction();
    v2next = TScriptAction();
  }

  // a film reads its clips frame after frame: the next frame decodes beside this one
  if (FFilm && FLinkOutDIB) KeepReadAhead(v1, v2);

  // fast paths: one plain picture without key or level is copied, an unchanged clip
  // may be copied as compressed data
  if (FLinkOutDIB && FRenderOption < roRender) {
    TScriptAction* single = nullptr;
    TScriptAction* singleNext = nullptr;
    if (IsPlainKind(v2.Kind) && v1.Kind < skStill) {
      single = &v2;
      singleNext = &v2next;
    } else if (IsPlainKind(v1.Kind) && v2.Kind < skStill) {
      single = &v1;
      singleNext = &v1next;
    }
    const TScriptCommand* c = single ? single->CommandA : nullptr;
    if (c && c->ColorKey == -1 && c->Spare == -1 && c->Level == -1) {
      single->ActionFlags |= afNoRender;
      TAVI* avi = c->Avi;
      if (single->Kind == skAvi && avi && FRawCopy && c->Speed == 100 && avi->FrameWidth() == FOutWidth &&
          avi->FrameHeight() == FOutHeight && std::fabs(avi->PlaybackRate() - FFps) < 0.001 &&
          avi->VideoCompressorHandler() == FHandler && FHandler != DIBHandler && avi->CanCopyFrames()) {
        single->ActionFlags |= afRawCopy;
        const int start = avi->FramesToMs(c->FirstFrame) + c->Offset + (time - single->Start);
        const int end = singleNext->Kind >= skStill ? singleNext->Start : single->Start + single->Length;
        // the film thread takes at most a step of a run: no need to look further
        const int length = FRawCopyLimit > 0 ? std::min(end - time, FRawCopyLimit) : end - time;
        TraceF("[TFxRenderThread.RenderFrame] Avi NoRecompression - copying data. ItemTime = %d, Length = %d", start,
               length);
        if (length > 0 && avi->AVIStreamRead(FRawCopy, start, length)) {
          FLastFlags = single->ActionFlags;
          return rfRawCopy;
        }
        TraceF("[TFxRenderFrame.RenderFrame] at %d Avi.AVIStreamRead returned false. Probably current position is "
               "not key frame. Decompressing signgle avi frame.",
               time);
      }
      FRenderItem = *single;
      FNextItem = *singleNext;
      FRenderItem.ActionFlags |= afPicture;
      RenderAction(FRenderItem, FNextItem, time);
      FLastFlags = FRenderItem.ActionFlags;
      if (FOut == osStored) return rfStored;
      if (FOut == osLinked) return rfPicture;
      // a picture that cannot be read back is a bad frame, not the previous one again
      const TRmSurface* out = OutSurface();
      if (out && out->SaveToDIB(*FLinkOutDIB, Rect(0, 0, FLinkOutDIB->Width(), FLinkOutDIB->Height())) == D3DRM_OK)
        return rfPicture;
      return rfNothing;
    }
  }

  // A plain picture of the frame's size alone (no image over it, no key, no level) is
  // the frame: the renderer would give back the same bytes.
  if (FLinkOutDIB && v2.Kind == skNone && IsPlainKind(v1.Kind) && v1.CommandA && v1.CommandA->ColorKey == -1 &&
      !(v1.ActionFlags & afLevel) && FLinkOutDIB->BitCount() == 24) {
    const TScriptCommand* a = v1.CommandA;
    const TDIB* pic =
        v1.Kind == skStill ? a->SecondPicture : GetAVIFrame(a, v1, false, fmAlone, time - v1.Start);
    if (pic && pic->BitCount() == 24 && pic->Width() == FLinkOutDIB->Width() &&
        pic->Height() == FLinkOutDIB->Height() && pic->ImageSize() == FLinkOutDIB->ImageSize()) {
      std::memcpy(FLinkOutDIB->Bits(), pic->Bits(), pic->ImageSize());
      FLastFlags = v1.ActionFlags;
      return rfPicture;
    }
  }

  // general case: the film track, then the image track over it
  FRenderItem = v1;
  FNextItem = v1next;
  RenderAction(FRenderItem, FNextItem, time);
  FLastFlags = FRenderItem.ActionFlags;
  const bool basePicture = (FRenderItem.ActionFlags & afPicture) != 0;
  FRenderItem = v2;
  FNextItem = v2next;
  if (!basePicture) FRenderItem.ActionFlags |= afPicture;
  RenderAction(FRenderItem, FNextItem, time);

  const TRmSurface* out = OutSurface();
  // the preview window shows a frame with nothing on it as black
  const bool control = !FLinkOutDIB && FControlWidth > 0 && HasFrameSink();
  if (!out && FRenderOption == roRender && !control)
    throw ERenderFrame("Błąd w trakcie renderowania klatki. OutSurface = nil.");
  FSceneInvalid = true;
  if (FLinkOutDIB && out) {
    if (out->SaveToDIB(*FLinkOutDIB, Rect(0, 0, FLinkOutDIB->Width(), FLinkOutDIB->Height())) == D3DRM_OK)
      return rfPicture;
    return rfNothing;
  }
  if (control) {
    if (out) {
      Present(out);
    } else {
      // nothing on either track: a black frame
      FDest.Clear(0);
      Present(&FDest);
    }
    return rfControl;
  }
  return rfNothing;
}

void TFxRenderThread::RenderAction(TScriptAction& item, const TScriptAction& next, int time) {
  if (IsPlainKind(item.Kind)) {
    RenderPlain(item, next, time);
  } else if (IsTransitionKind(item.Kind)) {
    RenderTransition(item, time);
  } else if (item.ActionFlags & afPicture) {
    // the base of a frame where neither track shows a picture: a cleared (black) frame
    FDest.Clear(0);
    FOut = osDest;
  }
}

void TFxRenderThread::RenderPlain(TScriptAction& item, const TScriptAction& next, int time) {
  const TScriptCommand* a = item.CommandA;
  if (!a) return;
  const int t = time - item.Start;
  // a clip's frame alone at the film's size may go to the writer as it was decoded
  if ((item.ActionFlags & afNoRender) && FStoredSink && FLinkOutDIB && item.Kind == skAvi && a->Avi &&
      a->Avi->FrameWidth() == FLinkOutDIB->Width() && a->Avi->FrameHeight() == FLinkOutDIB->Height() &&
      FStoredSink(*a->Avi, AVIFrameOf(*a, item, fmAlone, t))) {
    FOut = osStored;
    return;
  }
  const TDIB* pic = nullptr;
  if (item.Kind == skStill)
    pic = a->SecondPicture;
  else
    pic = GetAVIFrame(a, item, false, fmAlone, t);
  // a clip frame that cannot be read is a bad frame, never the frame before it again
  if (!pic || pic->Empty())
    throw ERenderFrame(Format("A frame of \"%s\" at %d ms cannot be read", a->FileName.c_str(), time));

  if (item.ActionFlags & afNoRender) {
    if (FLinkOutDIB) {
      // the picture goes to the frame unchanged, stretched to its size; a picture of the
      // frame's size and depth is copied straight into it
      if (pic->Width() == FLinkOutDIB->Width() && pic->Height() == FLinkOutDIB->Height() &&
          pic->BitCount() == FLinkOutDIB->BitCount() && pic->BitCount() == 24) {
        std::memcpy(FLinkOutDIB->Bits(), pic->Bits(), std::min(pic->ImageSize(), FLinkOutDIB->ImageSize()));
        FOut = osLinked;
      } else {
        CheckSurface(FDest.LoadFromDIB(*pic, Rect(0, 0, pic->Width(), pic->Height())));
        FOut = osDest;
      }
      if (item.Kind == skStill)
        TraceF("[TFxRenderThread.RenderFrame] Recompressed at %d. Bitmap copied without rendering.", time);
      else
        TraceF("[TFxRenderThread.RenderFrame] Recompressed at %d. Avi frame copied without rendering", time);
      return;
    }
    TraceF("[TFxRenderThread.RenderFrame] afNoRender in FRenderItem.ActionFlags but FLinkOutDIB = nil !!! Skipped "
           "error.");
  }

  const bool base = (item.ActionFlags & afPicture) != 0;
  // the lower picture drawn on the renderer's surface goes to the destination first
  if (!base && FOut == osRenderer) CopySurface(FDest, FScene->Target());
  const bool lower = !base && FOut != osNone;

  const int level = (item.ActionFlags & afLevel) ? InterpolateLevel(a, next.CommandA, t) : -1;
  const bool keyed = a->ColorKey != -1;
  // A plain picture fills the frame, stretched to its size as the still effect shows it,
  // but straight onto a surface: through the renderer's square texture it would come
  // out blurred (a 720 x 576 frame shrunk to 512 x 512 and enlarged again).
  if ((base || !lower) && !keyed && level < 0) {
    CheckSurface(FDest.LoadFromDIB(*pic, Rect(0, 0, pic->Width(), pic->Height())));
    FOut = osDest;
    return;
  }
  if (FStill.Width() != FDest.Width() || FStill.Height() != FDest.Height()) {
    CheckSurface(FStill.Create(FDest.Width(), FDest.Height()));
    CheckSurface(FScratch.Create(FDest.Width(), FDest.Height()));
  }
  CheckSurface(FStill.LoadFromDIB(*pic, Rect(0, 0, pic->Width(), pic->Height())));
  const TRmSurface& p = FStill;

  TRmColorKey key;
  if (keyed) {
    key = TRmColorKey::Single(RmPixelFromColor(static_cast<TColor>(a->ColorKey)));
    if (a->Spare != -1) key.High = RmPixelFromColor(static_cast<TColor>(a->Spare));
  }
  const TRect all = p.Bounds();

  if (base || !lower) {
    if (!keyed) {
      {
        FDest.Clear(0);
        FDest.DrawAlpha(0, 0, p, all, level);
      }
    } else if (level < 0) {
      FDest.Clear(0);
      FDest.BltKeyed(0, 0, p, all, key);
    } else {
      FScratch.Clear(0);
      FScratch.BltKeyed(0, 0, p, all, key);
      FDest.Clear(0);
      FDest.DrawAlpha(0, 0, FScratch, all, level);
    }
  } else if (!keyed) {
    if (level < 0)
      CopySurface(FDest, p);
    else
      FDest.DrawAlpha(0, 0, p, all, level);
  } else if (a->KeyMode == ScriptKeyOnOtherLayer) {
    // the lower picture over the new one, its key pixels left out
    FScratch.BltFast(0, 0, p, all);
    FScratch.BltKeyed(0, 0, FDest, all, key);
    if (level < 0)
      CopySurface(FDest, FScratch);
    else
      FDest.DrawAlpha(0, 0, FScratch, all, level);
  } else if (level < 0) {
    FDest.BltKeyed(0, 0, p, all, key);
  } else {
    CopySurface(FScratch, FDest);
    FScratch.BltKeyed(0, 0, p, all, key);
    FDest.DrawAlpha(0, 0, FScratch, all, level);
  }
  FOut = osDest;
}

void TFxRenderThread::RenderTransition(TScriptAction& item, int time) {
  const TScriptCommand* a = item.CommandA;
  const TScriptCommand* b = item.CommandB;
  const TScriptCommand* c = item.CommandC;
  if (!a || !b || !c) return;
  const int t = time - item.Start;
  const TDIB* pa = a->Code == scAvi ? GetAVIFrame(a, item, false, fmLeaving, t) : a->SecondPicture;
  // both pictures may come from one clip, whose picture the second frame overwrites
  if (pa && a->Code == scAvi && c->Code == scAvi && a->Avi == c->Avi) {
    FPicA = *pa;
    pa = &FPicA;
  }
  const TDIB* pc = c->Code == scAvi ? GetAVIFrame(c, item, false, fmComing, t) : c->SecondPicture;
  if (!pa || !pc)
    throw ERenderFrame(Format("A frame of \"%s\" at %d ms cannot be read", (pa ? c : a)->FileName.c_str(), time));
  TFx3d* fx = EnsureFxList().FindByID(b->FxID);
  if (!fx) throw ERenderFrame(Format("Unknown effect $%X", static_cast<unsigned>(b->FxID)));
  // the scene reads the pictures in RenderStep below, before anything can change them
  if (b->Reverse)
    FScene->SetPictures(pc, pa);
  else
    FScene->SetPictures(pa, pc);
  if (FScene->Effect() != fx) FScene->SetEffect(fx);
  FScene->RenderStep(static_cast<uint16_t>(std::clamp(item.Progress, 0, 1000)));
  FOut = osRenderer;
}

}  // namespace movara
