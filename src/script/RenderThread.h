#pragma once
// TFxThread: the render thread of the effect preview. It owns the renderer (a TFxScene)
// and, while running, animates the current effect between the pictures of textures A and
// B, a step every time the clock moves on (0..1000 in CycleLength ms, forwards or back).
//
// TFxRenderThread adds the film: it holds the parsed script and, on request, renders the
// frame of the film at a time into the caller's picture (RenderFrame). Film frames are
// rendered on the caller's thread while the preview loop is paused (Pause waits for the
// loop to report it, at most 5000 ms). Effects are shared by the whole process: only one
// render thread may run at a time.
//
// The loop's waits (idle, between steps) end at once on a pause or stop request, and the
// caller's waits end as soon as the loop reports: all of them wait on FRunSignal.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"
#include "fx3d/FxScene.h"
#include "platform/render3d/RmSurface.h"
#include "script/ScriptCommands.h"

namespace movara {

class TAVI;
class TAVIData;
class TFx3d;

// A surface or renderer that cannot be made.
MOVARA_EXCEPTION(ESurface);
// A frame that cannot be rendered.
MOVARA_EXCEPTION(ERenderFrame);

enum TFxDirection { fdNormal, fdReverse };

class TFxThread {
 public:
  // The thread starts at once unless createSuspended. fxId names the effect shown; the
  // first effect ($101) when the catalogue has none of that number.
  explicit TFxThread(int32_t fxId = 0x101, bool createSuspended = true);
  virtual ~TFxThread();
  TFxThread(const TFxThread&) = delete;
  TFxThread& operator=(const TFxThread&) = delete;

  void Resume();
  // Asks the loop to stop and waits (at most 5000 ms) until it has. Nothing when the
  // thread has ended or is suspended.
  void Pause();
  // Ends the loop and joins the thread.
  void Stop();
  bool Paused() const { return FPaused; }
  bool Suspended() const;
  bool Terminated() const { return FTerminated; }

  // The size of the preview picture: makes the renderer (sides rounded up to multiples
  // of 4). Raises ESurface when it cannot be made.
  void SetPreviewSize(int width, int height);
  bool HasScene() const { return FScene != nullptr; }
  // The drawn preview as a 24-bit picture (empty without a renderer).
  void ReadPreview(TDIB& out);

  int PreviewProgress() const { return FPreviewProgress; }
  // Only 0..1000 is taken.
  void SetPreviewProgress(int value);
  TFxDirection Direction() const { return FDirection; }
  void SetDirection(TFxDirection d) { FDirection = d; }
  static constexpr int CycleLength = 3000;  // ms for 0 to 1000 unless a period is set
  // The time (ms) the animation takes from 0 to 1000; values below 1 are refused.
  int Period() const { return FPeriod; }
  void SetPeriod(int ms) {
    if (ms > 0) FPeriod = ms;
  }
  // While the loop is paused (or not started): draws the step that 40 ms of animation
  // lead to, and presents it. False when nothing could be drawn.
  bool StepOnce();
  // Draws and presents the current step while the loop is paused (after a restart at 0
  // or a change of direction); false when nothing could be drawn.
  bool RedrawStep();

  TFx3d* Effect() const { return FEffect; }
  // The effect of that number (the reverse bit is ignored); $101 when unknown.
  void SetEffect(int32_t fxId);
  void SetTextureA(const TDIB& picture);
  void SetTextureB(const TDIB& picture);

  int TextureSize() const { return FTextureSize; }
  // Powers of two above 1; false and a trace for any other value.
  bool SetTextureSize(int value);

  bool ShowOverlay() const { return FShowOverlay; }
  void SetShowOverlay(bool v) { FShowOverlay = v; }
  TColor OverlayColor() const { return FOverlayColor; }
  void SetOverlayColor(TColor c) { FOverlayColor = c; }

  // Where drawn frames go: the window's picture. Called on the thread that drew the
  // frame (the loop's, or the caller's of RenderFrame and StepOnce) with a 24-bit
  // picture of the renderer's size; the sink copies what it keeps. Setting a sink (or
  // none) waits until a call in progress has returned.
  using TFrameSink = std::function<void(const TDIB& frame)>;
  void SetFrameSink(TFrameSink sink);
  bool HasFrameSink() const;

  // The renderer's texture size and filtering and a shift of the picture in pixels
  // (the options of the options window). The renderer is made again when it exists.
  void SetRenderOptions(int textureSize, bool bilinear, double shiftX, double shiftY);
  bool Bilinear() const { return FBilinear; }

  // The scheduling of the loop's thread (the process priority of the keys F9..F11):
  // idle, normal, high. False when the system refuses (raising needs rights).
  enum TPriorityClass { pcIdle, pcNormal, pcHigh };
  bool SetPriorityClass(TPriorityClass value);
  // The overlay lines with their y positions, for the preview window to draw.
  struct TOverlayLine {
    int X, Y;
    std::string Text;
  };
  std::vector<TOverlayLine> OverlayLines(int timeMs) const;

  // Frames per second over the last 20 frames; 0 before two different frame times.
  int FramesPerSecond() const { return FFramesPerSecond; }
  // Enters a frame time (ms) into the history.
  void NoteFrameTime(int64_t ms);

  // Called when the loop ends.
  void SetOnTerminate(std::function<void()> callback) { FOnTerminate = std::move(callback); }

  // Frames drawn by the preview loop (for tests and the window).
  int64_t PreviewFramesDrawn() const { return FPreviewFrames; }
  // Waits at most ms until the loop has drawn count frames in all; true when it has.
  bool WaitForPreviewFrames(int64_t count, int ms);

 protected:
  // Runs f while the preview loop is paused, under the renderer's lock.
  std::unique_ptr<TFxScene> FScene;
  std::mutex FSceneLock;
  int FTextureSize = 512;
  bool FBilinear = false;
  double FShiftX = 0, FShiftY = 0;
  // Hands a drawn frame (the surface, or the renderer's target when none) to the sink;
  // call under FSceneLock.
  void Present(const TRmSurface* surface);
  TFx3d* FEffect = nullptr;
  bool FSceneInvalid = true;  // the effect or pictures changed since the scene was built

 private:
  void Execute();
  void StepPreview(int64_t& clock, int64_t& animated);
  // The loop's own pause of ms: ends early on a pause or stop request.
  void IdleWait(int ms);
  // Draws step p of the current effect and presents it; call under FSceneLock.
  bool DrawStep(int p);

  std::thread FThread;
  // Guards the suspended state; every change of it, of the pause and stop requests, of
  // paused and terminated and of the frame count is signalled on FRunSignal.
  mutable std::mutex FRunLock;
  std::condition_variable FRunSignal;
  bool FSuspended = true;
  std::atomic<bool> FPauseRequested{false};
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FStopping{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<int> FPreviewProgress{0};
  std::atomic<TFxDirection> FDirection{fdNormal};
  std::atomic<bool> FShowOverlay{true};
  std::atomic<TColor> FOverlayColor{0x00FF00};
  std::atomic<int> FPeriod{CycleLength};
  mutable std::mutex FSinkLock;
  TFrameSink FSink;
  TDIB FSinkFrame;
  std::atomic<int> FNativeId{0};  // the loop thread's id for its scheduling
  std::atomic<int> FFramesPerSecond{0};
  std::atomic<int64_t> FPreviewFrames{0};
  std::vector<int64_t> FFrameTimes;
  TDIB FPictureA, FPictureB;
  bool FHaveA = false, FHaveB = false;
  std::function<void()> FOnTerminate;
};

// Results of RenderFrame.
enum TRenderResult {
  rfNothing = 0,  // nothing rendered
  rfControl = 1,  // drawn to the drawing control only
  rfPicture = 2,  // the frame is in the linked picture
  rfRawCopy = 3,  // the raw-copy buffer holds compressed frames
  rfStored = 4    // the stored-picture sink took the frame: a clip's picture as decoded
};

// Render options of the film (the film's video render modes).
enum TRenderOption : uint8_t {
  roRawCopy = 0,   // as roFastCopy; unchanged clips go as compressed data into a raw-copy buffer
  roFastCopy = 1,  // plain pictures copied without the renderer
  roRender = 2     // every frame rendered (default)
};

class TFxRenderThread : public TFxThread {
 public:
  explicit TFxRenderThread(int textureSize = 512);
  ~TFxRenderThread() override;

  // Parses the script; marks the scene for rebuilding; returns Generate's result. Bad
  // lines raise EScriptException (the actions before them stay).
  int LoadScript(const std::string& text);
  TActionCommandList& Actions() { return *FActions; }

  void SetFilmMode(bool on, TRenderOption renderOption, int width, int height, int fps, uint32_t handler,
                   int bitCount);
  TRenderOption RenderOption() const { return FRenderOption; }
  // The caller's frame picture (not owned): the renderer is made at its size rounded up
  // to multiples of 4, and the picture is resized to that size at its own depth. nullptr
  // ends film output. Raises ESurface when the surfaces cannot be made.
  void SetLinkOutDIB(TDIB* dib);
  TDIB* LinkOutDIB() const { return FLinkOutDIB; }
  void SetRawCopyBuffer(TAVIData* data) { FRawCopy = data; }
  // The longest stretch (ms) one call copies; 0 the whole stretch.
  void SetRawCopyLimit(int ms) { FRawCopyLimit = ms; }
  // A frame that is a clip's frame alone, unchanged and of the film's size, is first
  // offered to the sink (the clip and its frame number) outside roRender; when the sink
  // takes it, RenderFrame returns rfStored and the linked picture is left as it was.
  using TStoredPictureSink = std::function<bool(TAVI& avi, int frame)>;
  void SetStoredPictureSink(TStoredPictureSink sink) { FStoredSink = std::move(sink); }
  // The film thread may start: a linked picture with its renderer.
  bool OutputReady() const { return FLinkOutDIB && FScene && FDest.Valid(); }

  // The drawing control of the preview window: its size makes the renderer (unless a
  // film's picture is linked, which keeps its own until it is unlinked); frames are
  // then rendered for the frame sink. Finalising drops the renderer.
  void InitializeControl(int width, int height);
  void FinalizeControl();
  bool ControlInitialized() const { return FControlWidth > 0; }

  // The frame at time (ms): rfNothing, rfControl (drawn for the frame sink only),
  // rfPicture or rfRawCopy (see above). Raises ERenderFrame when film rendering gives
  // no picture.
  TRenderResult RenderFrame(int time);
  // Flags of the last rendered Video1 action (afNoRender, afRawCopy show the path taken).
  uint8_t LastFlags() const { return FLastFlags; }

 private:
  void RenderAction(TScriptAction& item, const TScriptAction& next, int time);
  void RenderPlain(TScriptAction& item, const TScriptAction& next, int time);
  void RenderTransition(TScriptAction& item, int time);
  void MakeSurfaces(int width, int height);
  const TRmSurface* OutSurface() const;
  // The clips of the actions at a film's frame decode ahead; the others stop.
  void KeepReadAhead(const TScriptAction& v1, const TScriptAction& v2);
  void StopReadAhead();
  std::vector<TAVI*> FReadAhead;

  std::unique_ptr<TActionCommandList> FActions;
  TScriptAction FRenderItem, FNextItem;
  TDIB* FLinkOutDIB = nullptr;
  TAVIData* FRawCopy = nullptr;
  TRmSurface FDest, FScratch;
  TRmSurface FStill;  // a plain picture stretched to the frame
  // Where the frame is: nowhere, on the renderer's surface, on FDest, or already in the
  // linked picture (a picture copied there unchanged).
  enum { osNone, osRenderer, osDest, osLinked, osStored } FOut = osNone;
  TStoredPictureSink FStoredSink;
  bool FFilm = false;
  TRenderOption FRenderOption = roRender;
  int FOutWidth = 0, FOutHeight = 0, FFps = 25, FBitCount = 24;
  uint32_t FHandler = 0;
  uint8_t FLastFlags = 0;
  int FRawCopyLimit = 0;
  int FControlWidth = 0, FControlHeight = 0;
  TDIB FPicA;  // the first picture of a transition within one clip
};

}  // namespace movara
